#include "frm_remote_audio.h"

#include <QGuiApplication>
#include <QScreen>

#include "common/theme_icons.h"
#include "common/window_drag.h"
#include "dm/dm.h"
#include "remote_audio_layout.h"
#include "ui_frm_remote_audio.h"

namespace {

QString Colour(uint32_t bgr) {
    return QStringLiteral("color: #%1%2%3;")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

}  // namespace

TfrmRemoteAudioControl::TfrmRemoteAudioControl(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmRemoteAudioControl>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmRemoteAudioControl"));
    tmrTimeOut.setInterval(kTimeOutMs);
    connect(&tmrTimeOut, &QTimer::timeout, this, [this] { tmrTimeOutTimer(); });
    connect(ui_->xiWaveVolume, &QSlider::valueChanged, this, [this] { xiWaveVolumeChange(); });
    connect(ui_->xiMikeVolume, &QSlider::valueChanged, this, [this] { xiMikeVolumeChange(); });
    connect(ui_->cbBoost, &QCheckBox::clicked, this, [this] { cbBoostClick(); });
    connect(ui_->btnClose, &QPushButton::clicked, this, &QWidget::hide);
    connect(ui_->btnTitleClose, &QToolButton::clicked, this, &QWidget::hide);
    new orb::room::TWindowDrag(this, {ui_->pTitle});
    ui_->lbNote->hide();
    // Centred on the screen at first.
    if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
}

TfrmRemoteAudioControl::~TfrmRemoteAudioControl() = default;

void TfrmRemoteAudioControl::Open(int32_t user, const std::string& userName) {
    target_ = user;
    show();
    raise();
    tmrTimeOut.start();
    ui_->lbUserName->setText(QString::fromUtf8(userName.data(), qsizetype(userName.size())));
    SetStatus("Retrieving...", orb::kRemoteGrey);
    ui_->lbNote->hide();
    if (dm_) dm_->SendRemoteAudioQuery(user);
}

void TfrmRemoteAudioControl::ShowRemoteState(const orb::TRemoteAudioState& state, const std::string& userName) {
    tmrTimeOut.stop();
    target_ = state.target;
    const orb::TRemoteAudioLayout l = orb::RemoteAudioLayout(state);
    SetStatus(l.status, l.statusColour);
    ui_->xiWaveVolume->setEnabled(l.speakerEnabled);
    ui_->xiMikeVolume->setEnabled(l.microphoneEnabled);
    {
        // Positions from the answer are not commands.
        const QSignalBlocker a(ui_->xiWaveVolume), b(ui_->xiMikeVolume), c(ui_->cbBoost);
        ui_->xiWaveVolume->setValue(l.speakerVolume);
        ui_->xiMikeVolume->setValue(l.microphoneVolume);
        ui_->cbBoost->setEnabled(l.boostEnabled);
        ui_->cbBoost->setChecked(l.boostChecked);
    }
    ui_->lbUserName->setText(QString::fromUtf8(userName.data(), qsizetype(userName.size())));
    ui_->lbNote->setVisible(l.noteVisible);
}

void TfrmRemoteAudioControl::SendCommand(int32_t command, int32_t boost) {
    if (!dm_ || target_ == 0) return;
    dm_->SendRemoteAudioCommand(target_, command, uint16_t(ui_->xiWaveVolume->value()),
                                uint16_t(ui_->xiMikeVolume->value()), boost);
}

void TfrmRemoteAudioControl::xiWaveVolumeChange() { SendCommand(orb::TRemoteAudioState::cmdApply, -1); }
void TfrmRemoteAudioControl::xiMikeVolumeChange() { SendCommand(orb::TRemoteAudioState::cmdApply, -1); }
void TfrmRemoteAudioControl::cbBoostClick() {
    SendCommand(orb::TRemoteAudioState::cmdApply, ui_->cbBoost->isChecked() ? 1 : 0);
}

void TfrmRemoteAudioControl::tmrTimeOutTimer() {
    tmrTimeOut.stop();
    SetStatus("Unable to retrieve remote settings.", orb::kRemoteMaroon);
}

void TfrmRemoteAudioControl::SetStatus(const std::string& text, uint32_t colour) {
    ui_->lbAudioStatus->setText(QString::fromStdString(text));
    ui_->lbAudioStatus->setStyleSheet(Colour(colour));
}

void TfrmRemoteAudioControl::hideEvent(QHideEvent* e) {
    tmrTimeOut.stop();
    QWidget::hideEvent(e);
}
