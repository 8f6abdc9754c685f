#include "frm_roomlist.h"

#include <algorithm>

#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QShowEvent>

#include "ui_frm_roomlist.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Navy, as the first two columns of a row are drawn.
const QColor kNavy(0, 0, 128);

constexpr int kNumberWidth = TfrmRoomList::kNameLeft - TfrmRoomList::kNumberLeft - 2;
constexpr int kNameWidth = TfrmRoomList::kAccessLeft - TfrmRoomList::kNameLeft - 5;
constexpr int kAccessWidth = 120;
constexpr int kLabelHeight = 18;
constexpr int kSmallestTitlePoints = 7;
constexpr int kTitleGap = 3;

// Our own header picture where the icon theme has none: two people in the header band's colours.
QPixmap PeoplePicture(int size, qreal ratio) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal s = size;
    const struct {
        qreal x, y, scale;
        QColor colour;
    } people[] = {{0.34, 0.1, 0.85, QColor(0xd8, 0xdc, 0xe2)}, {0.6, 0.2, 1.0, QColor(0xf0, 0xa8, 0x30)}};
    for (const auto& person : people) {
        const qreal k = s * person.scale;
        p.setBrush(person.colour);
        p.drawEllipse(QPointF(s * person.x, s * person.y + k * 0.18), k * 0.16, k * 0.16);
        p.drawRoundedRect(QRectF(s * person.x - k * 0.28, s * person.y + k * 0.4, k * 0.56, k * 0.42), k * 0.2,
                          k * 0.2);
    }
    return pixmap;
}

QFont RowFont() {
    QFont font;
    // Tahoma where it is installed; otherwise the system's sans font.
    font.setFamilies({QStringLiteral("Tahoma")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    return font;
}

}  // namespace

TfrmRoomList::TfrmRoomList(std::string server, const orb::TLoginInfo& account,
                           std::function<void(int32_t)> enterRoom, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TfrmRoomList>()),
      server_(std::move(server)),
      account_(account),
      enterRoom_(std::move(enterRoom)) {
    ui_->setupUi(this);
    const int iconSize = ui_->imgHeader->minimumWidth();
    const QIcon people = QIcon::fromTheme(QStringLiteral("system-users"));
    const QPixmap header = people.isNull() ? PeoplePicture(iconSize, devicePixelRatioF())
                                           : people.pixmap(QSize(iconSize, iconSize), devicePixelRatioF());
    ui_->imgHeader->setPixmap(header);
    setWindowIcon(people.isNull() ? QIcon(header) : people);

    timer1_.setInterval(kTimeoutMs);
    connect(&timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(ui_->Label7, &QLabel::linkActivated, this, [this] { Label7Click(); });
    ui_->sb1Rows->setMinimumSize(kAccessLeft + kAccessWidth + 10, kFirstRowTop + 10);
    setFixedSize(size());
}

TfrmRoomList::~TfrmRoomList() = default;

QString TfrmRoomList::AccessText(const orb::TRoomListItem& room) {
    switch (room.state) {
        case 0: return QStringLiteral("Disabled");
        case 2: return QStringLiteral("Unavailable");
        case 3: return QStringLiteral("Expired");
        default: return QString::fromLatin1(room.PrivacyText());
    }
}

QLabel* TfrmRoomList::AddLabel(const QString& text, int left, int top, int width, const QFont& font, bool title) {
    auto* label = new QLabel(ui_->sb1Rows);
    // Room names come from the server: never rich text.
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    if (title) {
        label->setText(text);
        width = std::max(width, label->sizeHint().width());
    } else {
        // Server texts are cut to their column so that they never run into the next one.
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, width));
    }
    label->setGeometry(left, top, width, kLabelHeight);
    label->show();
    return label;
}

void TfrmRoomList::AddRoomRow(const orb::TRoomListItem& room) {
    const int top = rowCount_ * kRowHeight + kFirstRowTop;
    QLabel* labels[] = {
        AddLabel(QString::number(room.roomNumber), kNumberLeft, top, kNumberWidth, RowFont(), false),
        AddLabel(Q(room.roomName), kNameLeft, top, kNameWidth, RowFont(), false),
        AddLabel(AccessText(room), kAccessLeft, top, kAccessWidth, RowFont(), false),
    };
    for (int i = 0; i < 3; ++i) {
        QLabel* label = labels[i];
        if (i < 2) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::WindowText, kNavy);
            label->setPalette(palette);
        }
        label->setCursor(Qt::PointingHandCursor);
        label->setProperty("tag", room.roomNumber);
        label->installEventFilter(this);
        rowLabels_.push_back(label);
    }
    ++rowCount_;
    ui_->sb1Rows->setMinimumHeight(rowCount_ * kRowHeight + kFirstRowTop + 10);
}

std::vector<QLabel*> TfrmRoomList::RowLabels(int row) const {
    if (row < 0 || row >= rowCount_) return {};
    auto first = rowLabels_.begin() + row * 3;
    return {first, first + 3};
}

void TfrmRoomList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmRoomList::FormShow() {
    closing_ = false;
    timer1_.start();
    ui_->lbName->setText(Q(account_.FirstName()) + QLatin1Char(','));
    ui_->lbFullName->setText(Q(account_.FullName()));
    ui_->lbEmail->setText(Q(account_.Email()));
    ui_->lbUserName->setText(Q(account_.UserName()));
    ui_->lbAddress->setText(Q(account_.Address()));
    ui_->lbAcctType->setText(account_.Level() < 1000 ? QStringLiteral("Participant account")
                                                     : QStringLiteral("Moderator account"));
    ui_->lbServer->setText(Q(server_));
    if (!titlesShown_) {
        titlesShown_ = true;
        // The window's font, bold; wide system fonts would run "Room" into "Name", so all titles
        // take the largest size at which it keeps apart.
        QFont font = ui_->sb1Rows->font();
        font.setBold(true);
        while (font.pointSize() > kSmallestTitlePoints &&
               QFontMetrics(font).horizontalAdvance(QStringLiteral("Room")) > kNumberWidth - kTitleGap)
            font.setPointSize(font.pointSize() - 1);
        AddLabel(QStringLiteral("Room"), kNumberLeft, kTitleTop, kNumberWidth, font, true);
        AddLabel(QStringLiteral("Name"), kNameLeft, kTitleTop, kNameWidth, font, true);
        AddLabel(QStringLiteral("Access"), kAccessLeft, kTitleTop, kAccessWidth, font, true);
    }
}

bool TfrmRoomList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* label = qobject_cast<QLabel*>(watched);
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (label && mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            ChooseRoom(label->property("tag").toInt());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmRoomList::ChooseRoom(int32_t room) {
    // A room is chosen once; the request is not sent twice by a quick second click.
    if (closing_) return;
    chosenRoom_ = room;
    // Whatever the access column says: the server's answer to the entry request tells why not.
    if (enterRoom_) enterRoom_(room);
    done(QDialog::Accepted);
}

void TfrmRoomList::Label7Click() {
    timer1_.stop();
    chosenRoom_ = -1;
    done(QDialog::Rejected);
}

void TfrmRoomList::Timer1Timer() {
    timer1_.stop();
    chosenRoom_ = -1;
    done(QDialog::Rejected);
}

void TfrmRoomList::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TfrmRoomList::FormClose() {
    closing_ = true;
    timer1_.stop();
}

int RunRoomList(QWidget* parent, const std::string& server, const orb::TLoginInfo& account,
                const std::vector<orb::TRoomListItem>& rooms, std::function<void(int32_t)> enterRoom) {
    // Owned here, not by the parent: the chosen room is read before the window is freed.
    auto window = std::make_unique<TfrmRoomList>(server, account, std::move(enterRoom), parent);
    for (const orb::TRoomListItem& room : rooms) window->AddRoomRow(room);
    window->exec();
    return window->ChosenRoom();
}
