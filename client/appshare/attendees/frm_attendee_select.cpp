#include "appshare/attendees/frm_attendee_select.h"

#include <QCloseEvent>
#include <QMouseEvent>

#include "ui_frm_attendee_select.h"

TfrmAttendeeSelect::TfrmAttendeeSelect(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmAttendeeSelect>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmAttendeeSelect"));
    ui_->Panel2->installEventFilter(this);
    auto grant = [this](bool give) {
        const int32_t user = SelectedUser();
        if (user && GrantControl) GrantControl(user, give);
    };
    connect(ui_->btnGive, &QPushButton::clicked, this, [grant] { grant(true); });
    connect(ui_->btnDeprive, &QPushButton::clicked, this, [grant] { grant(false); });
    connect(ui_->JvXPButton2, &QPushButton::clicked, this, [this] { close(); });
    connect(ui_->lvAttendees, &QListWidget::currentRowChanged, this, [this] {
        const bool enabled = SelectedUser() != 0;
        ui_->btnGive->setEnabled(enabled);
        ui_->btnDeprive->setEnabled(enabled);
    });
}

TfrmAttendeeSelect::~TfrmAttendeeSelect() { GiveBack(); }

void TfrmAttendeeSelect::GiveBack() {
    QWidget* list = borrowed_;
    borrowed_ = nullptr;
    if (!list) return;
    ui_->pListHolder->layout()->removeWidget(list);
    if (ReturnList) ReturnList(list);
    ui_->lvAttendees->show();
}

void TfrmAttendeeSelect::closeEvent(QCloseEvent* e) {
    GiveBack();
    QWidget::closeEvent(e);
}

void TfrmAttendeeSelect::Refill() {
    ui_->lvAttendees->clear();
    if (!Participants) return;
    for (const auto& [id, name] : Participants()) {
        auto* item = new QListWidgetItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
        item->setData(Qt::UserRole, id);
        ui_->lvAttendees->addItem(item);
    }
    ui_->btnGive->setEnabled(false);
    ui_->btnDeprive->setEnabled(false);
}

int32_t TfrmAttendeeSelect::SelectedUser() const {
    int32_t id = 0;
    if (borrowed_) {
        id = SelectedParticipant ? SelectedParticipant() : 0;
    } else if (const QListWidgetItem* item = ui_->lvAttendees->currentItem()) {
        id = item->data(Qt::UserRole).toInt();
    }
    return OwnUserId && id == OwnUserId() ? 0 : id;
}

void TfrmAttendeeSelect::ShowDetached(int left, int top, int height, int width) {
    if (isVisible()) {
        close();
        return;
    }
    setParent(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(left, top, width, height);
    if (!borrowed_ && BorrowList) borrowed_ = BorrowList();
    if (borrowed_) {
        ui_->lvAttendees->hide();
        borrowed_->setParent(ui_->pListHolder);
        ui_->pListHolder->layout()->addWidget(borrowed_);
        borrowed_->show();
        // The panel's own selection decides; the buttons check it when pressed.
        ui_->btnGive->setEnabled(true);
        ui_->btnDeprive->setEnabled(true);
    } else {
        Refill();
    }
    ui_->pBtnHolder->setVisible(OwnShareRunning && OwnShareRunning());
    show();
    raise();
}

bool TfrmAttendeeSelect::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_->Panel2) {
        if (e->type() == QEvent::MouseButtonPress) {
            pressWindow_ = pos();
            pressPointer_ = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
            return true;
        }
        if (e->type() == QEvent::MouseMove && (static_cast<QMouseEvent*>(e)->buttons() & Qt::LeftButton)) {
            move(pressWindow_ + static_cast<QMouseEvent*>(e)->globalPosition().toPoint() - pressPointer_);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}
