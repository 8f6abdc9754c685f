#include "request/frm_request.h"

#include <QMouseEvent>

#include "common/message_box.h"
#include "ui_frm_request.h"

bool orb::room::NoteIsEmpty(const QString& text) { return text.trimmed().isEmpty(); }

TfrmRequest::TfrmRequest(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TfrmRequest>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmRequest"));
    setModal(true);
    connect(ui_->btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QDialog::reject);
    ui_->navRequest->installEventFilter(this);
    ui_->lbTitle->installEventFilter(this);
}

TfrmRequest::~TfrmRequest() = default;

void TfrmRequest::Prepare(const QString& toUser) {
    ui_->eToUser->setText(toUser);
    ui_->eComment->clear();
}

QString TfrmRequest::Note() const { return ui_->eComment->toPlainText(); }

void TfrmRequest::btnSendClick() {
    if (orb::room::NoteIsEmpty(Note())) {
        const QString text = QString::fromLatin1(orb::room::kNothingToSend);
        if (ShowWarning) ShowWarning(text);
        else orb::room::PlainMessageBox(this, QMessageBox::Warning, text);
        return;
    }
    accept();
}

void TfrmRequest::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ui_->eComment->setFocus();
}

bool TfrmRequest::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        auto* m = static_cast<QMouseEvent*>(e);
        dragging_ = m->button() == Qt::LeftButton;
        dragCorner_ = pos();
        dragStart_ = m->globalPosition().toPoint();
        return true;
    }
    if (e->type() == QEvent::MouseMove) {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragging_ && (m->buttons() & Qt::LeftButton)) move(dragCorner_ + (m->globalPosition().toPoint() - dragStart_));
        return true;
    }
    return QDialog::eventFilter(o, e);
}
