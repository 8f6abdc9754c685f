#include "frm_audio_test.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMouseEvent>

#include "audio/init_sound.h"
#include "common/message_box.h"
#include "dm/dm.h"
#include "frm_silence.h"
#include "ui_frm_audio_test.h"

namespace {

const char* const kBoostOnCaption = "Microphone Boost is ON. It is recommended that you turn this setting OFF.";

}  // namespace

// The test sound lives in this library's resources, which a static library must register itself.
static void InitWizardResources() { Q_INIT_RESOURCE(wizard); }

using namespace orb;

TfrmAudioTest::TfrmAudioTest(TDM& dm, Settings& settings, QWidget* parent,
                             const std::function<void(orb::Settings&)>& loadSettings)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TfrmAudioTest>()), dm_(dm), settings_(settings),
      loopback_(dm.Loop()) {
    if (loadSettings) loadSettings(settings_);
    InitWizardResources();
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmAudioTest"));
    silence_ = new TfrmSilenceSuppression(this);
    silence_->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    silence_->Bind(&settings_);
    SaveSettings = [this] { orb::SaveSettings(settings_); };

    QFile wav(QStringLiteral(":/wave/SAMPLE"));
    if (wav.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = wav.readAll();
        ParseWave(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())),
                  sample_);
    }
    // The end of the sound is noticed in the device's thread; the buttons change in ours.
    player_.OnFinished = [this] { QMetaObject::invokeMethod(this, [this] { SoundStopped(); }, Qt::QueuedConnection); };
    loopback_.Passes = [this](int peak) { return !settings_.SuppressSilence || peak >= settings_.SilenceSuppressionLevel; };
    loopback_.OnLevel = [this](int peak) { MicLevel(peak); };

    connect(ui_->btnNextWiz, &QPushButton::clicked, this, [this] { btnNextWizClick(); });
    connect(ui_->btnClosetWiz, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->btnPlay, &QPushButton::clicked, this, [this] { btnPlayClick(); });
    connect(ui_->btnStopPlay, &QPushButton::clicked, this, [this] { btnStopPlayClick(); });
    connect(ui_->btnStartMikeTest, &QPushButton::clicked, this, [this] { btnStartMikeTestClick(); });
    connect(ui_->btnStopMike, &QPushButton::clicked, this, [this] { btnStopMikeClick(); });
    connect(ui_->cbBoost, &QCheckBox::clicked, this, [this] { cbBoostClick(); });
    connect(ui_->btnSS, &QPushButton::clicked, this, [this] { lbSSClick(); });
    connect(ui_->cbAoudioOutDevices, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!filling_ && i >= 0) settings_.AudioOutDeviceID = i;
    });
    connect(ui_->cbMikes, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!filling_ && i >= 0) settings_.AudioInDeviceID = i;
    });
    connect(ui_->xiWaveVolume, &QSlider::valueChanged, this, [this](int v) {
        if (!filling_) media::SetWaveOutVolume(settings_.AudioOutDeviceID, uint32_t(v));
    });
    connect(ui_->xiMikeVolume, &QSlider::valueChanged, this, [this](int v) {
        if (filling_) return;
        if (loopback_.Running() && loopback_.CaptureHandle())
            media::SetMicVolume(intptr_t(loopback_.CaptureHandle()), uint32_t(v), audio::MixerIdKind::WaveInHandle);
        else
            media::SetMicVolume(settings_.AudioInDeviceID, uint32_t(v), audio::MixerIdKind::WaveIn);
    });
    ShowPlaybackPage();
}

TfrmAudioTest::~TfrmAudioTest() {
    player_.OnFinished = nullptr;
    player_.Stop();
    loopback_.Stop();
}

bool TfrmAudioTest::PlaybackPageShown() const { return ui_->pages->currentWidget() == ui_->pagePlayback; }

bool TfrmAudioTest::Ask(const QString& text) {
    return room::PlainMessageBox(this, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TfrmAudioTest::Error(const QString& text) {
    room::PlainMessageBox(this, QMessageBox::Critical, text, QMessageBox::Ok);
}

void TfrmAudioTest::btnNextWizClick() {
    StopAll();
    if (PlaybackPageShown())
        ShowMicrophonePage();
    else
        ShowPlaybackPage();
}

void TfrmAudioTest::ShowPlaybackPage() {
    ui_->pages->setCurrentWidget(ui_->pagePlayback);
    ui_->lbHeading->setText(QStringLiteral("Audio Playback Test"));
    ui_->btnNextWiz->setText(QStringLiteral("Microphone Test"));
    FillPlaybackPage();
}

void TfrmAudioTest::ShowMicrophonePage() {
    ui_->pages->setCurrentWidget(ui_->pageMicrophone);
    ui_->lbHeading->setText(QStringLiteral("Microphone Test"));
    ui_->btnNextWiz->setText(QStringLiteral("<< Back"));
    FillMicrophonePage();
}

void TfrmAudioTest::FillPlaybackPage() {
    filling_ = true;
    std::vector<std::string> devices;
    media::FillWaveOutDevices(devices);
    ui_->cbAoudioOutDevices->clear();
    for (const auto& d : devices) ui_->cbAoudioOutDevices->addItem(room::FromUtf8(d));
    const bool any = !devices.empty();
    ui_->pWaveAvailable->setVisible(any);
    ui_->pWaveNotAvailable->setVisible(!any);
    if (any) {
        settings_.AudioOutDeviceID = DevicePosition(settings_.AudioOutDeviceID, int(devices.size()));
        ui_->cbAoudioOutDevices->setCurrentIndex(settings_.AudioOutDeviceID);
    }
    ui_->btnPlay->setEnabled(any);
    ui_->btnStopPlay->setEnabled(false);
    ui_->lbPlaying->hide();
    filling_ = false;
    SetSliders();
}

void TfrmAudioTest::FillMicrophonePage() {
    filling_ = true;
    std::vector<std::string> devices;
    media::FillWaveInDevices(devices);
    ui_->cbMikes->clear();
    for (const auto& d : devices) ui_->cbMikes->addItem(room::FromUtf8(d));
    const bool any = !devices.empty();
    ui_->pMikeAvailable->setVisible(any);
    ui_->pMikeNotAvailable->setVisible(!any);
    if (any) {
        settings_.AudioInDeviceID = DevicePosition(settings_.AudioInDeviceID, int(devices.size()));
        ui_->cbMikes->setCurrentIndex(settings_.AudioInDeviceID);
    }
    ui_->btnStartMikeTest->setEnabled(any);
    ui_->btnStopMike->setEnabled(false);
    ui_->peakMicrophone->setValue(0);
    filling_ = false;
    SetSliders();
    uint32_t boost = 0;
    const bool readable = any && media::GetMicBoost(settings_.AudioInDeviceID, boost);
    ui_->cbBoost->setVisible(readable);
    ui_->lbBoost->setVisible(readable);
    {
        const QSignalBlocker b(ui_->cbBoost);
        ui_->cbBoost->setChecked(readable && boost == 1);
    }
    ui_->cbBoost->setText(QStringLiteral("Microphone Boost"));
    if (readable && boost == 1) {
        ui_->cbBoost->setText(QString::fromLatin1(kBoostOnCaption));
        if (Ask(QStringLiteral("Your microphone is currently in \"boost\" mode. This may cause voice echo and increasing "
                               "of backgound noise.We recommend that you turn the Microphone Boost off.\r\nDo you want "
                               "to turn the microphone boost off?"))) {
            media::SetMicBoost(settings_.AudioInDeviceID, 0);
            const QSignalBlocker b(ui_->cbBoost);
            ui_->cbBoost->setChecked(false);
            ui_->cbBoost->setText(QStringLiteral("Microphone Boost"));
        }
    }
}

void TfrmAudioTest::SetSliders() {
    filling_ = true;
    uint32_t mic = 0, wave = 0;
    const bool micOk = loopback_.Running() && loopback_.CaptureHandle()
                           ? media::GetMicVolume(intptr_t(loopback_.CaptureHandle()), mic, audio::MixerIdKind::WaveInHandle)
                           : media::GetMicVolume(settings_.AudioInDeviceID, mic, audio::MixerIdKind::WaveIn);
    ui_->xiMikeVolume->setEnabled(micOk);
    if (micOk) ui_->xiMikeVolume->setValue(int(mic));
    ui_->lbMikeNotAvailable->setVisible(!micOk);
    const bool waveOk = media::GetWaveOutVolume(settings_.AudioOutDeviceID, wave);
    ui_->xiWaveVolume->setEnabled(waveOk);
    if (waveOk) ui_->xiWaveVolume->setValue(int(wave));
    ui_->lbWaveNotAvailable->setVisible(!waveOk);
    filling_ = false;
}

void TfrmAudioTest::btnPlayClick() {
    if (player_.Active()) return;
    const int device = ui_->cbAoudioOutDevices->currentIndex();
    if (player_.Start(sample_, device)) {
        ui_->btnPlay->setEnabled(false);
        ui_->cbAoudioOutDevices->setEnabled(false);
        ui_->btnStopPlay->setEnabled(true);
        ui_->lbPlaying->show();
        return;
    }
    Error(QStringLiteral("The audio sample cannot be played with the selected playback device!\r\nPlease check if this "
                         "is the playback device that you want to use and all its drivers are properly installed."));
    SoundStopped();
}

void TfrmAudioTest::btnStopPlayClick() { SoundStopped(); }

void TfrmAudioTest::SoundStopped() {
    player_.Stop();
    if (SaveSettings) SaveSettings();
    ui_->btnPlay->setEnabled(ui_->cbAoudioOutDevices->count() > 0);
    ui_->cbAoudioOutDevices->setEnabled(true);
    ui_->btnStopPlay->setEnabled(false);
    ui_->lbPlaying->hide();
}

void TfrmAudioTest::btnStartMikeTestClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = loopback_.StartMicLoopback(dm_.VoiceCodecIndex, settings_.AudioInDeviceID, settings_.AudioOutDeviceID);
    QApplication::restoreOverrideCursor();
    ui_->btnStartMikeTest->setEnabled(!ok);
    ui_->cbMikes->setEnabled(!ok);
    ui_->btnStopMike->setEnabled(ok);
    if (ok) SetSliders();
}

void TfrmAudioTest::btnStopMikeClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    loopback_.Stop();
    QApplication::restoreOverrideCursor();
    ui_->btnStopMike->setEnabled(false);
    ui_->btnStartMikeTest->setEnabled(ui_->cbMikes->count() > 0);
    ui_->cbMikes->setEnabled(true);
    ui_->peakMicrophone->setValue(0);
}

void TfrmAudioTest::MicLevel(int peak) {
    ui_->peakMicrophone->setValue(WizardMeterPercent(peak, settings_.SilenceSuppressionLevel));
}

void TfrmAudioTest::cbBoostClick() {
    if (!ui_->cbBoost->isChecked()) {
        media::SetMicBoost(settings_.AudioInDeviceID, 0);
        ui_->cbBoost->setText(QStringLiteral("Microphone Boost"));
        return;
    }
    if (Ask(QStringLiteral("Boosting your microphone will increase the microphone input level.\r\nOn most system however "
                           "this causes feedback (echo) and increases the level of background noises.\r\nWe recommend "
                           "that you boost your microphone only in case you can't adjust its volume with the volume "
                           "slider.\r\n\r\nDo you want to boost the microphone?"))) {
        ui_->cbBoost->setText(QString::fromLatin1(kBoostOnCaption));
        media::SetMicBoost(settings_.AudioInDeviceID, 1);
    } else {
        const QSignalBlocker b(ui_->cbBoost);
        ui_->cbBoost->setChecked(false);
        ui_->cbBoost->setText(QStringLiteral("Microphone Boost"));
    }
}

void TfrmAudioTest::lbSSClick() {
    // To the right of the wizard, bottom edges aligned.
    silence_->adjustSize();
    const QRect f = frameGeometry();
    silence_->move(f.right() + 1, f.bottom() - silence_->frameGeometry().height() + 1);
    silence_->show();
    silence_->raise();
}

void TfrmAudioTest::StopAll() {
    if (player_.Active()) SoundStopped();
    if (loopback_.Running()) btnStopMikeClick();
}

void TfrmAudioTest::closeEvent(QCloseEvent* e) {
    player_.Stop();
    loopback_.Stop();
    silence_->hide();
    if (SaveSettings) SaveSettings();
    QWidget::closeEvent(e);
}
