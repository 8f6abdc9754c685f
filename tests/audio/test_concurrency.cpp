// Playback blocks handed in from other threads while the main thread handles completions, capture
// notices and closes: the credit and the block list stay consistent. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/acm_in.h"
#include "audio/acm_out.h"
#include "audio/acm_player.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "loop/plain_event_loop.h"

using namespace orb::media;
using namespace orb::audiotest;
using orb::audio::WaveFormat;

namespace {

class AudioThreads : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_.file("in.raw"), ToBytes(SpeechLike(16000, 20.0, 9)));
        InstallAlsaConfig(dir_, {{"mic", "Mic", dir_.file("in.raw")}}, {{"spk", "Speaker", dir_.file("out.raw")}});
    }
    TempDir dir_;
    orb::FakeClock clock_;
    orb::PlainEventLoop loop_{clock_};
};

}  // namespace

TEST_F(AudioThreads, PlayFromWorkersWhileTheMainThreadCompletesAndCaptures) {
    const WaveFormat pcm = *BuildPcmFormat(16, 16000);
    TACMOut out(loop_);
    std::atomic<int> played{0};
    out.OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader&) { ++played; };
    out.Open(pcm, 0);

    TACMIn capture(loop_);
    capture.SetBufferSize(3200);
    capture.SetNumBuffers(2);
    int captured = 0;
    capture.OnBufferFull = [&](TACMIn&, const uint8_t*, uint32_t) { ++captured; };
    capture.Open(pcm, 0);

    constexpr int kThreads = 3, kBlocks = 300, kBlockBytes = 640;
    std::atomic<int> accepted{0}, running{kThreads};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            std::vector<uint8_t> block(kBlockBytes, uint8_t(t + 1));
            for (int i = 0; i < kBlocks; ++i) {
                if (out.Play(block.data(), kBlockBytes)) ++accepted;
                if (i % 16 == 0) std::this_thread::yield();
            }
            --running;
        });
    }
    int round = 0;
    while (running.load() > 0) {
        loop_.ProcessPending();
        // Resizing the queue meanwhile moves the credit under the same lock.
        out.SetNumBuffers(uint8_t(2 + (round++ % 5)));
        ASSERT_LE(out.NumBuffersLeft(), out.NumBuffers());
    }
    for (auto& w : workers) w.join();
    out.SetNumBuffers(4);
    ASSERT_TRUE(loop_.RunUntil([&] { return out.BlocksHeld() == 0 && captured >= 4; }));
    capture.Close();
    out.Close();
    EXPECT_EQ(played.load(), accepted.load());
    EXPECT_GT(accepted.load(), 0);
    EXPECT_EQ(WithoutSilence(ReadFile(dir_.file("out.raw"))).size(), size_t(accepted.load()) * kBlockBytes);
}

TEST_F(AudioThreads, CloseAndReopenWhileWorkersPlayThroughAPlayer) {
    WaveFormat codec;
    ASSERT_TRUE(BuildCodecFormat(2, codec));
    const WaveFormat pcm = *BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    TACMPlayer player(loop_, codec, pcm, 3, 0);
    ASSERT_TRUE(player.Success());

    // The voice thread decodes and plays; the main thread closes and reopens the output.
    std::vector<uint8_t> blocks;
    {
        TAcmLiveConverter enc;
        ASSERT_TRUE(enc.Open(pcm, codec, true));
        const auto speech = ToBytes(SpeechLike(16000, 2.0, 4));
        uint32_t n = 0;
        ASSERT_TRUE(enc.Convert(speech.data(), uint32_t(speech.size()), n, blocks));
    }
    std::atomic<bool> stop{false};
    std::thread voice([&] {
        size_t at = 0;
        while (!stop.load()) {
            std::vector<uint8_t> decoded;
            uint32_t n = 0;
            if (player.Decoder().Convert(blocks.data() + at, 800, n, decoded)) player.Out().Play(decoded.data(), n);
            at = (at + 800) % blocks.size();
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 30; ++i) {
        loop_.ProcessPending();
        if (i % 5 == 4) {
            player.Out().Close();
            EXPECT_EQ(player.Out().BlocksHeld(), 0u);
            player.Out().Open(pcm, 0);
        }
        std::this_thread::yield();
    }
    stop = true;
    voice.join();
    player.Out().Close();
    EXPECT_EQ(player.Out().BlocksHeld(), 0u);
    loop_.ProcessPending();
}
