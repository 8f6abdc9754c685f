#pragma once
// "Audio Setup Wizard": a playback page that plays a built-in test sound on the chosen speakers,
// and a microphone page that loops the user's voice back through the room's codec with a level
// meter, the volume sliders, the microphone boost and the silence suppression window. It works on
// the audio settings only; a running voice connection takes them at its next start.

#include <QWidget>

#include <functional>
#include <memory>

#include "settings/settings.h"
#include "wizard_audio.h"

class TDM;
class TfrmSilenceSuppression;

namespace Ui {
class TfrmAudioTest;
}

class TfrmAudioTest : public QWidget {
    Q_OBJECT
public:
    // `loadSettings` reloads the settings from the store first, as every opening of the wizard does.
    TfrmAudioTest(TDM& dm, orb::Settings& settings, QWidget* parent = nullptr,
                  const std::function<void(orb::Settings&)>& loadSettings = {});
    ~TfrmAudioTest() override;

    // Stores the settings (unset: the settings store); tests replace it.
    std::function<void()> SaveSettings;

    void btnNextWizClick();
    void btnPlayClick();
    void btnStopPlayClick();
    void btnStartMikeTestClick();
    void btnStopMikeClick();
    void cbBoostClick();
    void lbSSClick();
    // The microphone meter for a captured buffer's peak.
    void MicLevel(int peak);

    bool PlaybackPageShown() const;
    bool MicTestRunning() const { return loopback_.Running(); }
    bool SoundPlaying() const { return player_.Active(); }
    TfrmSilenceSuppression* SilenceWindow() const { return silence_; }
    Ui::TfrmAudioTest* ui() const { return ui_.get(); }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowPlaybackPage();
    void ShowMicrophonePage();
    void FillPlaybackPage();
    void FillMicrophonePage();
    void SetSliders();
    void SoundStopped();
    void StopAll();
    bool Ask(const QString& text);
    void Error(const QString& text);

    std::unique_ptr<Ui::TfrmAudioTest> ui_;
    TDM& dm_;
    orb::Settings& settings_;
    TfrmSilenceSuppression* silence_ = nullptr;
    orb::TWaveData sample_;
    orb::TTestSoundPlayer player_;
    orb::TMicLoopback loopback_;
    bool filling_ = false;
};
