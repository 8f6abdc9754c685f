// The voice windows offscreen: what the remote audio window shows for an answer, the silence
// suppression window's switch and slider, and the audio wizard's pages, test sound, loopback gate,
// meter and hand-off; the wizard's sound work also without widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <future>

#include "audio_test_util.h"
#include "dm/dm.h"
#include "frm_audio_test.h"
#include "frm_remote_audio.h"
#include "frm_silence.h"
#include "loop/plain_event_loop.h"
#include "remote_audio_layout.h"
#include "ui_frm_audio_test.h"
#include "ui_frm_remote_audio.h"
#include "ui_frm_silence.h"
#include "wizard_audio.h"

using namespace orb;
using namespace orb::audiotest;

namespace {

void Save(QWidget& w, const char* name) {
    const QString file = QStringLiteral(ORB_ARTIFACTS_DIR "/%1.png").arg(QLatin1String(name));
    EXPECT_TRUE(w.grab().save(file, "PNG")) << file.toStdString();
}

std::vector<uint8_t> ToneBuffer(uint32_t bytes, int16_t top) {
    std::vector<int16_t> s(bytes / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i % 2 ? top : -top);
    return ToBytes(s);
}

}  // namespace

TEST(RemoteAudioWindow, AnswerDecidesStatusSlidersNoteAndBoost) {
    struct Row {
        int32_t status, playback, capture, boost;
        const char* text;
        uint32_t colour;
        bool wave, mike, note, boostEnabled, boostChecked;
    } rows[] = {
        {1, 0, 1, 1, "Operational", kRemoteGreen, true, true, false, true, true},
        {0, -1, 0, 0, "Non-Functional", kRemoteRed, false, true, true, true, false},
        {1, 2, -1, -1, "Operational", kRemoteGreen, true, false, true, false, false},
    };
    for (const Row& r : rows) {
        TRemoteAudioState s;
        s.voiceStatus = r.status;
        s.playbackDevice = r.playback;
        s.captureDevice = r.capture;
        s.boost = r.boost;
        const TRemoteAudioLayout l = RemoteAudioLayout(s);
        EXPECT_EQ(l.status, r.text);
        EXPECT_EQ(l.statusColour, r.colour);
        EXPECT_EQ(l.speakerEnabled, r.wave);
        EXPECT_EQ(l.microphoneEnabled, r.mike);
        EXPECT_EQ(l.noteVisible, r.note);
        EXPECT_EQ(l.boostEnabled, r.boostEnabled);
        EXPECT_EQ(l.boostChecked, r.boostChecked);
    }

    TfrmRemoteAudioControl w;
    w.Open(20, "<b>Pat</b>");
    EXPECT_TRUE(w.TimeOut().isActive());
    EXPECT_EQ(w.ui()->lbAudioStatus->text(), "Retrieving...");
    TRemoteAudioState s;
    s.target = 20;
    s.voiceStatus = 1;
    s.playbackDevice = 0;
    s.speakerVolume = 30000;
    s.captureDevice = -1;
    s.micVolume = 1234;
    w.ShowRemoteState(s, "<b>Pat</b>");
    EXPECT_FALSE(w.TimeOut().isActive());
    EXPECT_EQ(w.ui()->lbAudioStatus->text(), "Operational");
    EXPECT_EQ(w.ui()->xiWaveVolume->value(), 30000);
    EXPECT_TRUE(w.ui()->xiWaveVolume->isEnabled());
    EXPECT_FALSE(w.ui()->xiMikeVolume->isEnabled());
    EXPECT_FALSE(w.ui()->lbNote->isHidden());
    EXPECT_EQ(w.ui()->lbUserName->textFormat(), Qt::PlainText);
    Save(w, "voice_remote_audio");
    w.Open(20, "Pat");
    w.tmrTimeOutTimer();
    EXPECT_EQ(w.ui()->lbAudioStatus->text(), "Unable to retrieve remote settings.");
    w.hide();
}

TEST(SilenceWindow, SwitchAndThresholdFollowTheSettings) {
    Settings s;
    s.SuppressSilence = false;
    s.SilenceSuppressionLevel = 7;
    TfrmSilenceSuppression w;
    w.Bind(&s);
    w.show();
    EXPECT_FALSE(w.ui()->cbSupressSilence->isChecked());
    EXPECT_FALSE(w.ui()->tbMicThreshold->isEnabled());  // off: disabled but keeps its value
    EXPECT_EQ(w.ui()->tbMicThreshold->value(), 7);
    EXPECT_EQ(w.ui()->lbThreshold->text(), "(7)");
    w.ui()->cbSupressSilence->setChecked(true);
    EXPECT_TRUE(s.SuppressSilence);
    EXPECT_TRUE(w.ui()->tbMicThreshold->isEnabled());
    for (int p : {0, 20}) {
        w.ui()->tbMicThreshold->setValue(p);
        EXPECT_EQ(w.ui()->lbThreshold->text(), QStringLiteral("(%1)").arg(p));
        EXPECT_EQ(s.SilenceSuppressionLevel, p);
    }
    Save(w, "voice_silence_suppression");
    w.ui()->JvXPButton1->click();
    EXPECT_FALSE(w.isVisible());
}

TEST(WizardAudio, MeterDevicePositionAndTheShippedSample) {
    EXPECT_EQ(WizardMeterPercent(15, 20), 0);
    EXPECT_EQ(WizardMeterPercent(20, 20), 2);
    EXPECT_EQ(WizardMeterPercent(1000, 0), 100);
    EXPECT_EQ(WizardMeterPercent(994, 0), 99);
    EXPECT_EQ(DevicePosition(1, 2), 1);  // the last line stays
    EXPECT_EQ(DevicePosition(2, 2), 0);  // beyond the list
    EXPECT_EQ(DevicePosition(-1, 2), 0);
    EXPECT_EQ(DevicePosition(0, 0), -1);

    Q_INIT_RESOURCE(wizard);
    QFile f(QStringLiteral(":/wave/SAMPLE"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::vector<uint8_t> wav(bytes.begin(), bytes.end());
    TWaveData d;
    ASSERT_TRUE(ParseWave(wav, d));
    EXPECT_EQ(d.format.samplesPerSec, 16000u);
    EXPECT_EQ(d.format.bitsPerSample, 16);
    EXPECT_EQ(d.samples.size(), wav.size() - 44);
    // A data chunk longer than the file, a compressed format, and no RIFF head are refused.
    auto cut = wav;
    cut.resize(1000);
    EXPECT_FALSE(ParseWave(cut, d));
    auto gsm = wav;
    gsm[20] = 0x31;
    EXPECT_FALSE(ParseWave(gsm, d));
    EXPECT_FALSE(ParseWave(std::vector<uint8_t>(wav.begin() + 4, wav.end()), d));
}

TEST(WizardAudio, HandOffKeepsTheNewestBlockAndStopWakesTheWaiterAtOnce) {
    TWizHandOff h;
    h.Put({1});
    h.Put({2});
    std::vector<uint8_t> got;
    ASSERT_TRUE(h.Take(got));
    EXPECT_EQ(got, std::vector<uint8_t>{2});
    EXPECT_EQ(h.Replaced(), 1u);
    // A waiting taker gets a block put later, and a stop releases it without a time-out.
    auto taken = std::async(std::launch::async, [&] {
        std::vector<uint8_t> b;
        return h.Take(b) ? int(b.at(0)) : -1;
    });
    h.Put({3});
    EXPECT_EQ(taken.get(), 3);
    auto stopped = std::async(std::launch::async, [&] {
        std::vector<uint8_t> b;
        return h.Take(b);
    });
    h.Stop();
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_FALSE(stopped.get());
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_.file("mic.raw"), ToBytes(SpeechLike(16000, 2.0, 9)));
        InstallAlsaConfig(dir_, {{"mic", "Desk Mic", dir_.file("mic.raw")}},
                          {{"spk1", "Speakers", dir_.file("spk1.raw")}, {"spk2", "Headset", dir_.file("spk2.raw")}});
        dm_.VoiceCodecIndex = 2;
    }
    TempDir dir_;
    FakeClock clock_;
    PlainEventLoop loop_{clock_};
    TDM dm_{loop_, 900};
    Settings settings_;
};

TEST_F(Wizard, TestSoundPlaysOnTheChosenDeviceAndStops) {
    settings_.AudioOutDeviceID = 1;
    TfrmAudioTest w(dm_, settings_);
    int saves = 0;
    w.SaveSettings = [&] { ++saves; };
    w.show();
    EXPECT_TRUE(w.PlaybackPageShown());
    EXPECT_EQ(w.ui()->cbAoudioOutDevices->count(), 2);
    EXPECT_EQ(w.ui()->cbAoudioOutDevices->currentIndex(), 1);
    EXPECT_EQ(w.ui()->lbHeading->text(), "Audio Playback Test");
    w.btnPlayClick();
    EXPECT_FALSE(w.ui()->btnPlay->isEnabled());
    EXPECT_TRUE(w.ui()->btnStopPlay->isEnabled());
    Save(w, "voice_wizard_playback");
    // Played to its end on the headset: the tune is in its file.
    ASSERT_TRUE(loop_.RunUntil([&] {
        QApplication::processEvents();
        return !w.SoundPlaying() && w.ui()->btnPlay->isEnabled();
    }, 10000));
    EXPECT_GE(ReadFile(dir_.file("spk2.raw")).size(), 40000u);
    EXPECT_EQ(saves, 1);
    // Stopped early, it ends at once.
    w.btnPlayClick();
    w.btnStopPlayClick();
    EXPECT_FALSE(w.SoundPlaying());
    EXPECT_FALSE(w.ui()->lbPlaying->isVisibleTo(&w));
    w.close();
}

TEST_F(Wizard, MicrophonePageLoopsBackOnlyWhatPassesTheSilenceGate) {
    settings_.AudioOutDeviceID = 7;  // beyond the list: the first line
    settings_.SuppressSilence = true;
    settings_.SilenceSuppressionLevel = 20;
    TfrmAudioTest w(dm_, settings_);
    w.SaveSettings = [] {};
    w.show();
    EXPECT_EQ(settings_.AudioOutDeviceID, 0);
    w.btnNextWizClick();
    EXPECT_FALSE(w.PlaybackPageShown());
    EXPECT_EQ(w.ui()->btnNextWiz->text(), "<< Back");
    EXPECT_EQ(w.ui()->cbMikes->count(), 1);
    w.btnStartMikeTestClick();
    ASSERT_TRUE(w.MicTestRunning());
    EXPECT_TRUE(w.ui()->btnStopMike->isEnabled());
    // The speech from the file device comes back through the codec.
    ASSERT_TRUE(loop_.RunUntil([&] { return ReadFile(dir_.file("spk1.raw")).size() > 8000; }, 10000));
    Save(w, "voice_wizard_microphone");
    w.btnStopMikeClick();
    EXPECT_FALSE(w.MicTestRunning());

    // Peak 15 against threshold 20: an empty meter, and nothing looped back; with suppression off
    // the same buffer goes back while the meter still shows 0.
    TMicLoopback lb(loop_);
    lb.Passes = [&](int peak) { return !settings_.SuppressSilence || peak >= settings_.SilenceSuppressionLevel; };
    int meter = -1;
    lb.OnLevel = [&](int peak) { meter = WizardMeterPercent(peak, settings_.SilenceSuppressionLevel); };
    ASSERT_TRUE(lb.StartMicLoopback(2, 0, 0));
    const auto quiet = ToneBuffer(16000, 500);  // peak 15
    // The loop is not run here, so the file microphone's buffers do not come in between.
    const size_t before = lb.HandedOver();
    lb.OnCaptured(quiet.data(), uint32_t(quiet.size()));
    EXPECT_EQ(meter, 0);
    EXPECT_EQ(lb.HandedOver(), before);
    settings_.SuppressSilence = false;
    lb.OnCaptured(quiet.data(), uint32_t(quiet.size()));
    EXPECT_EQ(meter, 0);
    EXPECT_EQ(lb.HandedOver(), before + 1);
    lb.Stop();

    w.lbSSClick();
    ASSERT_TRUE(w.SilenceWindow()->isVisible());
    EXPECT_GE(w.SilenceWindow()->x(), w.frameGeometry().right());
    w.close();
    EXPECT_FALSE(w.SilenceWindow()->isVisible());
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
