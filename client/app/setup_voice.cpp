// Voice connection, remote audio control, audio wizard: what the program binds for this area.
#include <QApplication>
#include <QCursor>

#include "audio/init_sound.h"
#include "frm_audio_test.h"
#include "program.h"
#include "trackbar/xi_trackbar.h"
#include "ui_frm_main.h"
#include "voice/voice_thread.h"

namespace orb {

namespace {

// The main window's volume sliders as the mixer is read into them, and their change handlers:
// the microphone by the voice capture's open handle when there is one, the speakers by the
// playback device (the devices opened, which the last reading noted); each change is remembered in
// the settings.
class TMainVolumeControls final : public QObject, public IVolumeView {
public:
    TMainVolumeControls(TfOrbeloMain& main, TDM& dm, Settings& settings)
        : QObject(&main), main_(main), ui_(main.Ui()), dm_(dm), settings_(settings) {}

    void SetVolumeHandlersAttached(bool attached) override {
        QObject::disconnect(mike_);
        QObject::disconnect(wave_);
        if (!attached) return;
        mike_ = connect(ui_.xiMikeVolume, &TXiTrackBar::Changed, this, [this] {
            const int v = ui_.xiMikeVolume->Position();
            const auto volume = uint32_t(v);
            if (dm_.Voice.thread && dm_.Voice.thread->CaptureHandle())
                media::SetMicVolume(intptr_t(dm_.Voice.thread->CaptureHandle()), volume, audio::MixerIdKind::WaveInHandle);
            else
                media::SetMicVolume(dm_.Voice.volumeCaptureDevice, volume, audio::MixerIdKind::WaveIn);
            settings_.StoredMicVolume = v;
        });
        wave_ = connect(ui_.xiWaveVolume, &TXiTrackBar::Changed, this, [this] {
            const int v = ui_.xiWaveVolume->Position();
            media::SetWaveOutVolume(dm_.Voice.volumePlaybackDevice, uint32_t(v));
            settings_.StoredWavVolume = v;
        });
    }
    void SetMicrophoneVolume(bool available, uint32_t volume) override {
        ui_.xiMikeVolume->setEnabled(available);
        if (available) ui_.xiMikeVolume->SetPosition(int(volume));
    }
    void SetMicrophoneBoost(bool enabled, bool checked) override { main_.SetMicrophoneBoostItem(enabled, checked); }
    void SetSpeakerVolume(bool available, uint32_t volume) override {
        ui_.xiWaveVolume->setEnabled(available);
        if (available) ui_.xiWaveVolume->SetPosition(int(volume));
    }

private:
    TfOrbeloMain& main_;
    Ui::TfOrbeloMain& ui_;
    TDM& dm_;
    Settings& settings_;
    QMetaObject::Connection mike_, wave_;
};

}  // namespace

void TProgram::SetupVoice() {
    TDM& dm = *tdm_;
    dm.AudioSettings = &settings_;
    dm.Voice.volumeView = new TMainVolumeControls(*main_, dm, settings_);
    if (auto* remote = Form<TfrmRemoteAudioControl>()) {
        remote->Bind(&dm);
        dm.Voice.remoteAudioView = remote;
    }
    if (auto* silence = Form<TfrmSilenceSuppression>()) silence->Bind(&settings_);

    dm.RoomHooks.StartVoiceThread = [this](int32_t room, int32_t user) { return tdm_->StartRoomVoice(room, user); };
    dm.RoomHooks.SetTransmit = [this](bool on) { tdm_->SetVoiceTransmit(on); };
    dm.SessionHooks.StopVoiceThread = [this] { tdm_->StopVoiceThread(); };
    dm.VoiceHooks.AddChatLine = [this](const std::string& who, const std::string& text, uint32_t colour) {
        main_->AddChatLine(who, text, colour, false);
    };
    dm.VoiceHooks.BusyCursor = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    dm.VoiceHooks.SendToMainWindow = [this](uint32_t msg, std::intptr_t w, std::intptr_t l) {
        if (controller_) controller_->HandleMessage(msg, w, l);
    };
    dm.VoiceHooks.ReconnectSession = [this] {
        if (controller_) controller_->ReconnectSession();
    };

    // The voice commands of the room window's menus.
    auto& ui = main_->Ui();
    QObject::connect(ui.acReconnectAudio, &QAction::triggered, main_.get(), [this] {
        if (!tdm_->PlaybackMode) tdm_->ReconnectAudio();
    });
    // The whole wizard sequence, as the settings dialog's button runs it.
    QObject::connect(ui.acAudioWizard, &QAction::triggered, main_.get(), [this] { RunAudioWizard(main_.get()); });

    // The sliders show the devices' volumes from the start, not only once a room's voice runs.
    dm.InitVolumeControls();

    // Before the windows go: the voice thread posts to the main window and plays on its devices.
    shutdownSteps_.push_back([this] { tdm_->StopVoiceThread(); });
}

}  // namespace orb
