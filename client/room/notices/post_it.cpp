#include "post_it.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QScreen>

#include "ui_post_it.h"

TNoticeScreen TNoticeScreen::Primary() {
    TNoticeScreen s;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        s.workArea = screen->availableGeometry();
        s.screenHeight = screen->geometry().y() + screen->geometry().height();
    } else {
        s.workArea = QRect(0, 0, 1024, 768);
        s.screenHeight = 768;
    }
    return s;
}

TfrmPostIt::TfrmPostIt(orb::IEventLoop& loop, orb::Settings& settings, TNoticeScreen screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      loop_(loop),
      settings_(settings),
      screen_(screen),
      ui_(std::make_unique<Ui::TfrmPostIt>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(298, 174);
    FitCheckBox();
    ui_->JvXPCheckbox1->setChecked(settings_.NoPopUpsOnPostIt);
    connect(ui_->JvXPCheckbox1, &QCheckBox::clicked, this, [this](bool checked) {
        settings_.NoPopUpsOnPostIt = checked;
        settings_.DonPopUpChatMessages = checked;
    });
    connect(ui_->lbClose, &QLabel::linkActivated, this, [this] { close(); });
    connect(ui_->btnCaptionClose, &QToolButton::clicked, this, [this] { close(); });
    ui_->navCaption->installEventFilter(this);
}

void TfrmPostIt::FitCheckBox() {
    // The window is narrow for the box's caption beside "[Close]": the caption gets the smaller
    // font it needs to be read whole, whatever font the desktop gives.
    QLayout* frame = ui_->navCaption->layout();
    const QMargins m = frame->contentsMargins();
    const int spacing = std::max(ui_->layoutBottom->spacing(), 0);
    const int room = width() - 2 * ui_->navCaption->frameWidth() - m.left() - m.right() - spacing -
                     ui_->lbClose->sizeHint().width();
    QCheckBox* box = ui_->JvXPCheckbox1;
    QFont f = box->font();
    while (box->sizeHint().width() > room && f.pointSizeF() > 6.0) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        box->setFont(f);
    }
    box->setMinimumWidth(box->sizeHint().width());
}

TfrmPostIt::~TfrmPostIt() {
    Kill(tmrRequest);
    Kill(tmrRollOut);
    Kill(tmrRollIn);
}

void TfrmPostIt::Kill(orb::TimerId& id) {
    if (id) loop_.KillTimer(id);
    id = 0;
}

void TfrmPostIt::SetFrom(const QString& sender) { ui_->lbFrom->setText(sender); }
void TfrmPostIt::SetText(const QString& text) { ui_->lbDescription->setPlainText(text); }
void TfrmPostIt::SetTime(const QString& time) { ui_->lbTime->setText(time); }

void TfrmPostIt::PlaceAtRight() { move(screen_.workArea.x() + screen_.workArea.width() - width() - kMargin, y()); }

void TfrmPostIt::ShowSessionNote() { StartSliding(kSessionNoteMs, QStringLiteral("Session Note")); }

void TfrmPostIt::ShowChatNotice() {
    chatNotice_ = true;
    StartSliding(kChatNoticeMs, QStringLiteral("New Chat Message"));
}

void TfrmPostIt::StartSliding(int displayMs, const QString& caption) {
    // Starts just below the visible part of the work area.
    move(x(), screen_.workArea.y() + screen_.workArea.height());
    displayMs_ = displayMs;
    ui_->lbCaption->setText(caption);
    setWindowTitle(caption);
    show();
    Kill(tmrRollOut);
    tmrRollOut = loop_.SetTimer(kRollIntervalMs, [this] { tmrRollOutTimer(); });
}

void TfrmPostIt::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The display time runs while the note is still sliding up.
    Kill(tmrRequest);
    tmrRequest = loop_.SetTimer(displayMs_, [this] { tmrRequestTimer(); });
}

void TfrmPostIt::tmrRollOutTimer() {
    int rest = screen_.workArea.y() + screen_.workArea.height() - height() - kMargin;
    if (y() > rest)
        move(x(), y() - kStepPixels);
    else
        Kill(tmrRollOut);
}

void TfrmPostIt::tmrRequestTimer() {
    Kill(tmrRequest);
    StartRollIn();
}

void TfrmPostIt::StartRollIn() {
    Kill(tmrRollOut);
    Kill(tmrRollIn);
    tmrRollIn = loop_.SetTimer(kRollIntervalMs, [this] { tmrRollInTimer(); });
}

void TfrmPostIt::Renew() {
    Kill(tmrRequest);
    tmrRequest = loop_.SetTimer(displayMs_, [this] { tmrRequestTimer(); });
    if (tmrRollIn) {
        Kill(tmrRollIn);
        tmrRollOut = loop_.SetTimer(kRollIntervalMs, [this] { tmrRollOutTimer(); });
    }
}

void TfrmPostIt::tmrRollInTimer() {
    if (y() >= screen_.screenHeight) {
        Kill(tmrRollIn);
        close();
        return;
    }
    move(x(), y() + kStepPixels);
}

bool TfrmPostIt::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_->navCaption) {
        if (e->type() == QEvent::MouseButtonPress) {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->button() == Qt::LeftButton) {
                dragging_ = true;
                dragOffset_ = me->globalPosition().toPoint() - pos();
                return true;
            }
        } else if (e->type() == QEvent::MouseMove && dragging_) {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->buttons() & Qt::LeftButton) {
                move(me->globalPosition().toPoint() - dragOffset_);
                return true;
            }
        } else if (e->type() == QEvent::MouseButtonRelease) {
            dragging_ = false;
        }
    }
    return QWidget::eventFilter(watched, e);
}

TNoticeWindows::TNoticeWindows(orb::IEventLoop& loop, orb::Settings& settings, std::optional<TNoticeScreen> screen)
    : loop_(loop), settings_(settings), screen_(screen) {}

TNoticeWindows::~TNoticeWindows() {
    // Their timers run on the loop, which may go next.
    delete chat_.data();
    delete note_.data();
}

TfrmPostIt* TNoticeWindows::Create() {
    auto* note = new TfrmPostIt(loop_, settings_, screen_ ? *screen_ : TNoticeScreen::Primary());
    note->PlaceAtRight();
    return note;
}

TfrmPostIt* TNoticeWindows::ShowChat(bool playbackMode, const QString& text, const QString& sender,
                                     const QString& timeText) {
    if (settings_.DonPopUpChatMessages || playbackMode) return nullptr;
    const bool shown = chat_ != nullptr;
    if (!shown) chat_ = Create();
    chat_->SetFrom(sender);
    chat_->SetText(text);
    chat_->SetTime(timeText);
    if (shown)
        chat_->Renew();
    else
        chat_->ShowChatNotice();
    return chat_;
}

TfrmPostIt* TNoticeWindows::ShowNote(const QString& sender, const QString& text, const QString& timeText) {
    const bool shown = note_ != nullptr;
    if (!shown) {
        notes_.clear();
        note_ = Create();
    }
    notes_.prepend(timeText + QLatin1Char(' ') + sender + QStringLiteral(": ") + text);
    while (notes_.size() > kListedNotes) notes_.removeLast();
    note_->SetFrom(sender);
    note_->SetTime(timeText);
    // One note shows as it came; several are listed, one a line, the newest first (in sight).
    note_->SetText(notes_.size() == 1 ? text : notes_.join(QLatin1Char('\n')));
    if (shown)
        note_->Renew();
    else
        note_->ShowSessionNote();
    return note_;
}
