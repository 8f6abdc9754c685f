#include "frm_player.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>
#include <cstdio>

#include "common/message_box.h"
#include "player_logic.h"
#include "protocol/wm_app.h"
#include "qt_event_loop.h"
#include "ui_frm_player.h"

using namespace orb;

namespace {
QColor FromColorRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
}  // namespace

TfrmPlayer::TfrmPlayer(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmPlayer>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmPlayer"));
    // The caption gives way in a narrow column instead of holding the window wide.
    caption_ = ui_->lbCaption->text();
    ui_->lbCaption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui_->lbCaption->installEventFilter(this);
    ui_->pBarDownload->setFormat(QString());
    ui_->pSlider->installEventFilter(this);
    ui_->MainCaption->installEventFilter(this);
    ui_->lbCaption->installEventFilter(this);
    QPalette pal = ui_->MainCaption->palette();
    pal.setColor(QPalette::Window, QColor(0x2B, 0x4C, 0x7E));
    pal.setColor(QPalette::WindowText, Qt::white);
    ui_->MainCaption->setPalette(pal);
    ui_->lbCaption->setPalette(pal);
    QPalette sp = ui_->pSlider->palette();
    sp.setColor(QPalette::Window, QColor(0x40, 0x70, 0xC0));
    ui_->pSlider->setPalette(sp);
    ui_->pSlider->setCursor(Qt::SizeHorCursor);
    connect(ui_->btnClose, &QToolButton::clicked, this, [this] {
        if (playback_) playback_->Stop();
    });
    connect(ui_->tbStop, &QToolButton::clicked, this, [this] {
        if (playback_) playback_->Stop();
    });
    connect(ui_->tbPlay, &QToolButton::clicked, this, [this] {
        if (playback_) playback_->Play();
    });
    connect(ui_->tbPause, &QToolButton::clicked, this, [this] {
        if (playback_) playback_->PauseToggle();
    });
    connect(ui_->xiWaveVolume, &QSlider::valueChanged, this, [this](int v) {
        if (SetVolume) SetVolume(uint32_t(v));
    });
    connect(ui_->tbFullScreen, &QToolButton::toggled, this, [this](bool down) {
        if (OnFullScreen) OnFullScreen(down);
    });
}

TfrmPlayer::~TfrmPlayer() = default;

void TfrmPlayer::SetStatus(const QString& text, uint32_t colour) {
    // Status changes on standard error when asked for (end-to-end runs watch them).
    static const bool trace = qEnvironmentVariableIsSet("ORB_PLAYER_TRACE");
    if (trace && text != ui_->lbStatus->text()) std::fprintf(stderr, "player status: %s\n", text.toUtf8().constData());
    ui_->lbStatus->setText(text);
    QPalette p = ui_->lbStatus->palette();
    p.setColor(QPalette::WindowText, FromColorRef(colour));
    ui_->lbStatus->setPalette(p);
}

void TfrmPlayer::SetCaption(const QString& text) {
    caption_ = text;
    ui_->lbCaption->setToolTip(text);
    FitCaption();
}

void TfrmPlayer::FitCaption() {
    const QString shown = ui_->lbCaption->fontMetrics().elidedText(caption_, Qt::ElideRight, ui_->lbCaption->width());
    if (ui_->lbCaption->text() != shown) ui_->lbCaption->setText(shown);
}

QSize TfrmPlayer::sizeHint() const {
    const QSize laidOut = QWidget::sizeHint();
    return {std::max(laidOut.width(), 380), laidOut.height()};
}
void TfrmPlayer::Dock(QWidget* column) {
    setParent(column);
    if (QLayout* l = column->layout()) l->addWidget(this);
}

QString TfrmPlayer::Status() const { return ui_->lbStatus->text(); }
QString TfrmPlayer::Caption() const { return caption_; }
int TfrmPlayer::DownloadBar() const { return ui_->pBarDownload->value(); }
int TfrmPlayer::PositionBar() const { return ui_->pBarPlay->value(); }

int64_t TfrmPlayer::Count() const { return playback_ ? int64_t(playback_->Shared().MessageCount()) : 0; }
int TfrmPlayer::BarWidth() const { return ui_->pBarPlay->width(); }

void TfrmPlayer::Prepare() {
    ui_->Label5->setText(QStringLiteral("0 %"));
    ui_->pBarPlay->setMaximum(int(std::min<int64_t>(std::max<int64_t>(Count(), 1), INT32_MAX)));
    ui_->pBarPlay->setValue(0);
    PlaceSlider(player::SliderLeft(0, Count(), BarWidth(), ui_->pSlider->width()));
    ui_->lbTimer->setText(Q(player::ElapsedText(0)));
    uint32_t volume = 0;
    const bool ok = GetVolume && GetVolume(volume);
    ui_->xiWaveVolume->setEnabled(ok);
    if (ok) {
        QSignalBlocker block(ui_->xiWaveVolume);
        ui_->xiWaveVolume->setValue(int(std::min<uint32_t>(volume, 65535)));
    }
}

void TfrmPlayer::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Prepare();
}

void TfrmPlayer::closeEvent(QCloseEvent* e) {
    // The player lives for the whole run; its close button stops the replay instead.
    e->ignore();
}

void TfrmPlayer::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ui_->pBarPlay->setGeometry(8, 2, std::max(40, ui_->pBarHolder->width() - 16), 16);
    PlaceSlider(player::SliderLeft(ui_->pBarPlay->value(), Count(), BarWidth(), ui_->pSlider->width()));
}

void TfrmPlayer::PlaceSlider(int left) { ui_->pSlider->move(ui_->pBarPlay->x() + left, 0); }

bool TfrmPlayer::event(QEvent* e) {
    if (auto* m = dynamic_cast<TWindowMessageEvent*>(e)) {
        switch (m->Msg()) {
        case WM_APP_PLAYERDOWNLOAD: Download(int64_t(m->WParam()), int64_t(m->LParam())); return true;
        case WM_APP_PLAYERPOSITION: Position(uint32_t(m->WParam()), m->LParam() != 0); return true;
        case WM_APP_PLAYERSTOPPED: Stopped(); return true;
        case WM_APP_PLAYERMODE:
            if (m->WParam() == 1)
                SetStatus(QStringLiteral("FAST MODE"), playback::kStatusBlue);
            else
                SetStatus(QStringLiteral("PLAYING"), playback::kStatusGreen);
            return true;
        case WM_APP_PLAYERBUFFERING: SetStatus(QStringLiteral("Buffering"), playback::kStatusRed); return true;
        case WM_APP_PLAYERDOWNLOADCAPPED:
            // Shown without waiting: the replay of what arrived goes on.
            orb::room::ShowPlainMessage(this, QMessageBox::Warning, Q(player::DownloadCappedText(int64_t(m->WParam()))));
            return true;
        default: break;
        }
    }
    return QWidget::event(e);
}

void TfrmPlayer::Download(int64_t total, int64_t soFar) {
    SetCaption(Q(player::DownloadTitle(total, soFar)));
    ui_->pBarDownload->setValue(player::DownloadBarValue(total, soFar, ui_->pBarDownload->value()));
}

void TfrmPlayer::Position(uint32_t n, bool fast) {
    ui_->Label5->setText(Q(player::PositionPercent(n, Count())));
    ui_->pBarPlay->setMaximum(int(std::min<int64_t>(std::max<int64_t>(Count(), 1), INT32_MAX)));
    ui_->pBarPlay->setValue(int(std::min<int64_t>(n, ui_->pBarPlay->maximum())));
    if (!dragging_)
        PlaceSlider(player::SliderLeft(fast ? jumpTarget_ : n, Count(), BarWidth(), ui_->pSlider->width()));
    if (playback_) {
        playback_->Position = n;
        ui_->lbTimer->setText(Q(player::ElapsedText(playback_->Shared().ElapsedMs())));
    }
}

void TfrmPlayer::Stopped() {
    if (playback_) playback_->PlayerStopped();
    SetStatus(QStringLiteral("STOPPED"), playback::kStatusBlack);
    ui_->pBarPlay->setValue(ui_->pBarPlay->maximum());
}

bool TfrmPlayer::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_->lbCaption) {
        if (e->type() == QEvent::Resize) FitCaption();
        return false;
    }
    if (watched == ui_->pSlider) {
        auto* me = dynamic_cast<QMouseEvent*>(e);
        if (!me) return false;
        // The bar is the slider's sibling, not its parent: its x is taken from the screen position.
        const int x = ui_->pBarPlay->mapFromGlobal(me->globalPosition().toPoint()).x();
        if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::LeftButton) {
            dragging_ = true;
            return true;
        }
        if (e->type() == QEvent::MouseMove && (me->buttons() & Qt::LeftButton)) {
            const int left = player::SliderLeftAtMouse(x, BarWidth(), ui_->pSlider->width());
            PlaceSlider(left);
            const QString hint = Q(player::PercentText(BarWidth() > 0 ? double(left) / BarWidth() * 100.0 : 0));
            ui_->pSlider->setToolTip(hint);
            QToolTip::showText(me->globalPosition().toPoint(), hint, ui_->pSlider);
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease && me->button() == Qt::LeftButton) {
            dragging_ = false;
            jumpTarget_ = player::SliderTarget(Count(), BarWidth(), x);
            if (playback_) playback_->ReleaseSlider(jumpTarget_);
            ui_->pSlider->setToolTip(QString::fromLatin1(player::kSliderHint));
            return true;
        }
        return false;
    }
    if (watched == ui_->MainCaption || watched == ui_->lbCaption) {
        auto* me = dynamic_cast<QMouseEvent*>(e);
        if (!me) return false;
        // Dragging the title moves the window (a floating player only).
        if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::LeftButton && isWindow()) {
            dragOrigin_ = me->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (e->type() == QEvent::MouseMove && (me->buttons() & Qt::LeftButton) && isWindow()) {
            move(me->globalPosition().toPoint() - dragOrigin_);
            return true;
        }
    }
    return false;
}
