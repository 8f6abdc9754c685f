// The voice connection over the program's Qt loop with a microphone on a real-time sound server (a
// private PulseAudio pipe source): every half-second buffer goes out while the floor is held, and a
// microphone that stops delivering is told to the main window (audio state 1), once.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "audio_test_util.h"
#include "protocol/wm_app.h"
#include "qt_event_loop.h"
#include "support/pulse_server.h"
#include "support/qt_spin.h"
#include "voice/voice_thread.h"
#include "voice_test_env.h"

using namespace orb;

using orb::test::SpinQtUntil;

TEST(VoiceRealtime, EveryBufferGoesOutAndAMicrophoneThatStopsIsToldOnce) {
    audiotest::TempDir dir;
    test::TPulseServer pulse;
    std::string error;
    ASSERT_TRUE(pulse.Start(dir.path() / "pulse", {"spk"}, {"mic"}, &error)) << error;
    pulse.UseInThisProcess(dir.path() / "asound.conf", "spk", "mic");

    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(5, "pw");
    QtEventLoop loop;
    std::vector<std::intptr_t> states;
    const WindowHandle main = loop.RegisterWindow([&](uint32_t msg, std::intptr_t w, std::intptr_t) {
        if (msg == WM_APP_AUDIOSTATE) states.push_back(w);
    });
    TVoiceThread t(loop, 20, main, 1, 5, 1, {});  // PCM: every buffer is sent as it was captured
    ASSERT_TRUE(t.AudioReady());
    ASSERT_TRUE(t.Capturing());
    t.SetSilenceSuppression(false);
    ASSERT_EQ(t.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "pw", 5), 0);
    t.Resume();
    vs.voice.GrantFloor(1, 5);
    t.SetTransmit(true);

    // Four seconds of microphone in real time, then nothing more (the pipe stays open, so the
    // source gives nothing, as a microphone that stopped).
    test::TToneMicrophone mic(pulse.SourcePipe("mic"), 200);
    bool fedWhenTold = false;
    const bool told = SpinQtUntil(
        [&] {
            fedWhenTold = mic.Fed();
            return !states.empty();
        },
        30000);
    EXPECT_TRUE(fedWhenTold) << "the microphone was told stopped while it still delivered";
    // Four seconds are eight half-second buffers; the last one may have been cut by the stop.
    EXPECT_GE(vs.voice.VoiceMessages(5), 7);
    SpinQtUntil([] { return false; }, 4000);
    mic.Stop();
    ASSERT_TRUE(told);
    EXPECT_EQ(states, std::vector<std::intptr_t>{1}) << "told once";
    t.Stop();
    loop.UnregisterWindow(main);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
