// The voice connection over the program's Qt loop with a microphone on a real-time sound server (a
// private PulseAudio pipe source): every half-second buffer goes out while the floor is held, and a
// microphone that stops delivering is told to the main window (audio state 1), once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio_test_util.h"
#include "protocol/wm_app.h"
#include "qt_event_loop.h"
#include "support/pulse_server.h"
#include "voice/voice_thread.h"
#include "voice_test_env.h"

using namespace orb;

namespace {

bool SpinUntil(const std::function<bool()>& pred, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the devices work in real time
    }
    return true;
}

}  // namespace

TEST(VoiceRealtime, EveryBufferGoesOutAndAMicrophoneThatStopsIsToldOnce) {
    audiotest::TempDir dir;
    test::TPulseServer pulse;
    std::string error;
    ASSERT_TRUE(pulse.Start(dir.path() / "pulse", {"spk"}, {"mic"}, &error)) << error;
    pulse.AlsaConfig(dir.path() / "asound.conf", "spk", "mic");
    setenv("ALSA_CONFIG_PATH", (dir.path() / "asound.conf").c_str(), 1);
    snd_config_update_free_global();

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
    std::atomic<bool> fed{false}, release{false};
    std::thread mic([&] {
        const int fd = open(pulse.SourcePipe("mic").c_str(), O_WRONLY);
        if (fd < 0) return;
        std::vector<int16_t> chunk(320);
        size_t n = 0;
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i) {
            for (auto& v : chunk) v = int16_t(8000 * std::sin(2 * M_PI * 440 * double(n++) / 16000));
            if (write(fd, chunk.data(), chunk.size() * 2) < 0) break;
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
        fed = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        close(fd);
    });
    bool fedWhenTold = false;
    const bool told = SpinUntil(
        [&] {
            fedWhenTold = fed.load();
            return !states.empty();
        },
        30000);
    EXPECT_TRUE(fedWhenTold) << "the microphone was told stopped while it still delivered";
    // Four seconds are eight half-second buffers; the last one may have been cut by the stop.
    EXPECT_GE(vs.voice.VoiceMessages(5), 7);
    SpinUntil([] { return false; }, 4000);
    release = true;
    mic.join();
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
