// The capture and playback components over the program's Qt loop, on a sound server that consumes
// and produces in real time (a private PulseAudio through ALSA's pulse plugin): ten times their
// buffer credit goes through, every block played or delivered, in order, on one stream.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "audio/acm_in.h"
#include "audio/acm_out.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "qt_event_loop.h"
#include "support/pulse_server.h"
#include "support/qt_spin.h"
#include "wizard_audio.h"

using namespace orb;
using namespace orb::media;
using namespace orb::audiotest;

namespace {

using orb::test::SpinQtUntil;

class RealtimeDevices : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(pulse_.Start(dir_.path() / "pulse", {"spk"}, {"mic"}, &error)) << error;
        pulse_.UseInThisProcess(dir_.path() / "asound.conf", "spk", "mic");
    }

    TempDir dir_;
    orb::test::TPulseServer pulse_;
    QtEventLoop loop_;
};

}  // namespace

TEST_F(RealtimeDevices, PlaybackPlaysEveryBlockInOrderOnOneStream) {
    const audio::WaveFormat pcm = *BuildPcmFormat(16, 16000);
    TACMOut out(loop_);
    out.SetNumBuffers(3);
    constexpr int kBlocks = 30;       // ten times the credit
    constexpr uint32_t kBytes = 3200;  // a tenth of a second each
    std::vector<int> played;
    out.OnBufferPlayed = [&](TACMOut&, const audio::WaveHeader& h) {
        EXPECT_TRUE(loop_.InMainThread());
        played.push_back(int(h.data[0]));
    };
    out.Open(pcm, 0);
    // A speaker's blocks come from another thread and find credit only as blocks are played.
    std::atomic<int> accepted{0}, refused{0};
    std::atomic<bool> stop{false};
    std::thread speaker([&] {
        for (int i = 0; i < kBlocks && !stop;) {
            if (out.NumBuffersLeft() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            std::vector<uint8_t> block(kBytes, uint8_t(i + 1));
            if (out.Play(block.data(), kBytes)) {
                ++accepted;
                ++i;
            } else {
                ++refused;
            }
        }
    });
    const bool all = SpinQtUntil([&] { return int(played.size()) == kBlocks; }, 30000);
    stop = true;
    speaker.join();
    EXPECT_TRUE(all) << "played " << played.size() << " of " << kBlocks;
    EXPECT_EQ(accepted.load(), kBlocks);
    EXPECT_EQ(refused.load(), 0);
    for (int i = 0; i < int(played.size()); ++i) EXPECT_EQ(played[i], i + 1);
    // A stream made again per block (the fault this guards against) would count thirty; a busy
    // machine may starve the device once or twice.
    EXPECT_LE(out.DeviceRestarts(), 2) << "the stream ran dry and was made again";
    EXPECT_EQ(pulse_.PlaybackStreams(), 1);
    out.Close();
}

TEST_F(RealtimeDevices, CaptureDeliversEveryBufferOfWhatTheMicrophoneGives) {
    const audio::WaveFormat pcm = *BuildPcmFormat(16, 16000);
    // A counting signal, never 0, so a gap or a repeat shows.
    constexpr size_t kSamples = 16000 * 3;
    std::vector<int16_t> signal(kSamples);
    for (size_t i = 0; i < kSamples; ++i) signal[i] = int16_t(1 + i % 30000);
    TACMIn capture(loop_);
    capture.SetBufferSize(3200);  // a tenth of a second
    capture.SetNumBuffers(2);
    constexpr int kBuffers = 20;  // ten times the ring
    std::vector<int16_t> got;
    int buffers = 0;
    capture.OnBufferFull = [&](TACMIn&, const uint8_t* d, uint32_t n) {
        EXPECT_TRUE(loop_.InMainThread());
        EXPECT_EQ(n, 3200u);
        ++buffers;
        const auto s = ToSamples(std::vector<uint8_t>(d, d + n));
        got.insert(got.end(), s.begin(), s.end());
    };
    capture.Open(pcm, 0);
    // The microphone: the source's pipe, fed as a sound card would, a little at a time.
    std::thread mic([&] {
        const int fd = open(pulse_.SourcePipe("mic").c_str(), O_WRONLY);
        if (fd < 0) return;
        const auto bytes = ToBytes(signal);
        for (size_t at = 0; at < bytes.size(); at += 1600) {
            if (write(fd, bytes.data() + at, std::min<size_t>(1600, bytes.size() - at)) < 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        close(fd);
    });
    const bool all = SpinQtUntil(
        [&] {
            size_t first = 0;
            while (first < got.size() && got[first] == 0) ++first;  // the source's silence before
            return got.size() - first >= size_t(kBuffers) * 1600;
        },
        30000);
    mic.join();
    EXPECT_TRUE(all) << "delivered " << buffers << " buffers";
    size_t first = 0;
    while (first < got.size() && got[first] == 0) ++first;
    ASSERT_LT(first, got.size());
    const size_t n = std::min(got.size() - first, kSamples);
    EXPECT_TRUE(std::equal(got.begin() + long(first), got.begin() + long(first + n), signal.begin()))
        << "what was captured is not the microphone's signal without gaps";
    EXPECT_LE(capture.DeviceRestarts(), 2);
    capture.Close();
}

// A player with nothing to play pauses its stream instead of feeding it silence, keeps it, and the
// next block plays on it at once; a player whose thread comes too late keeps a longer lead after.
TEST_F(RealtimeDevices, AnIdlePlayerPausesItsStreamAndTheNextBlockPlaysOnIt) {
    const audio::WaveFormat pcm = *BuildPcmFormat(16, 16000);
    TACMOut out(loop_);
    int played = 0;
    out.OnBufferPlayed = [&](TACMOut&, const audio::WaveHeader&) { ++played; };
    out.Open(pcm, 0);
    const std::vector<uint8_t> block(3200, 0x10);  // a tenth of a second
    ASSERT_TRUE(out.Play(block.data(), uint32_t(block.size())));
    ASSERT_TRUE(SpinQtUntil([&] { return played == 1; }, 20000));
    ASSERT_TRUE(SpinQtUntil([&] { return out.DevicePaused(); }, 20000)) << "the idle stream was not paused";
    // (A loaded machine may have let it run dry once before.)
    const int restarts = out.DeviceRestarts();
    // Paused: the process spends next to nothing while a second passes.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    getrusage(RUSAGE_SELF, &after);
    const auto us = [](const rusage& r) {
        return int64_t(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000 + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    EXPECT_LT(us(after) - us(before), 20000) << "an idle player kept the process busy";
    ASSERT_TRUE(out.Play(block.data(), uint32_t(block.size())));
    EXPECT_TRUE(SpinQtUntil([&] { return played == 2; }, 20000));
    EXPECT_FALSE(out.DevicePaused());
    EXPECT_EQ(out.DeviceRestarts(), restarts) << "the paused stream was made again";
    EXPECT_EQ(pulse_.PlaybackStreams(), 1);
    out.Close();
}

// The audio wizard on the same server: the microphone loopback goes on block after block for as
// long as it runs, and the test sound is played to its end.
TEST_F(RealtimeDevices, WizardLoopbackKeepsGoingAndTheTestSoundEnds) {
    orb::test::TToneMicrophone mic(pulse_.SourcePipe("mic"));
    TMicLoopback loopback(loop_);
    ASSERT_TRUE(loopback.StartMicLoopback(2, 0, 0));
    // Half-second buffers: ten of them is five times the capture ring and more than three times
    // the output's credit.
    const bool went = SpinQtUntil([&] { return loopback.Played() >= 10; }, 30000);
    mic.Stop();
    EXPECT_TRUE(went) << "looped back " << loopback.Played() << " blocks, " << loopback.HandedOver() << " handed over";
    loopback.Stop();

    TWaveData sound;
    sound.format = *BuildPcmFormat(16, 16000);
    sound.samples = ToBytes(std::vector<int16_t>(16000, 3000));  // one second
    TTestSoundPlayer player;
    std::atomic<bool> finished{false};
    player.OnFinished = [&] { finished = true; };
    ASSERT_TRUE(player.Start(sound, 0));
    EXPECT_TRUE(SpinQtUntil([&] { return finished.load(); }, 20000));
    EXPECT_FALSE(player.Active());
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
