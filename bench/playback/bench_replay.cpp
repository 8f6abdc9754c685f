// Replay benchmark:
//  1. A 10-minute synthetic recording (voice every 500 ms, 10 board messages a second) replayed on
//     the real clock compressed by a factor: drift of the last message against the recorded span,
//     the largest lateness of any message, and voice blocks that never reached the players.
//  2. Fast replay of 10,000 board messages (a jump) against dispatching them directly.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "loop/plain_event_loop.h"
#include "playback/player_thread.h"
#include "protocol/message_kinds.h"
#include "roomserver/recording_writer.h"

using namespace orb;
using namespace orb::playback;

namespace {

// The real clock running `factor` times faster.
class CompressedClock final : public IClock {
public:
    explicit CompressedClock(double factor) : factor_(factor), origin_(std::chrono::steady_clock::now()) {}
    int64_t NowMs() override {
        const double real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - origin_).count();
        return int64_t(real * factor_);
    }
    void SleepMs(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(double(ms) / factor_));
    }

private:
    double factor_;
    std::chrono::steady_clock::time_point origin_;
};

struct Target final : IReplayTarget, IReplayVoice {
    explicit Target(IClock& c) : clock(c) {}
    void ReplayRecord(const TVCRHeader& h, std::span<const uint8_t> m) override {
        if (first < 0) first = clock.NowMs();
        const int64_t at = clock.NowMs() - first;
        const int64_t recorded = int64_t((h.time - startTime) * 86400000.0 + 0.5);
        lateness = std::max(lateness, at - recorded);
        last = at - recorded;
        checksum += m.size() + h.kind;
        ++records;
    }
    void ClearRoomViews() override {}
    void PlayVoice(int32_t, std::span<const uint8_t>) override { ++voice; }
    IClock& clock;
    double startTime = 46000.5;
    int64_t first = -1, lateness = 0, last = 0;
    uint64_t checksum = 0;
    int records = 0;
    std::atomic<int> voice{0};
};

std::string TempFile(const char* name) {
    char dir[] = "/tmp/bench_replayXXXXXX";
    return std::string(mkdtemp(dir)) + "/" + name;
}

}  // namespace

int main(int argc, char** argv) {
    const double factor = argc > 1 ? std::atof(argv[1]) : 20.0;

    // 1. Timing.
    test::TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    int voiceBlocks = 0;
    for (int64_t ms = 100; ms <= 600000; ms += 100) {
        w.Add(vkBoardStrokes, ms, test::StrokesBody(1, 1));
        if (ms % 500 == 0) {
            w.Add(vkVoiceIn, ms, test::VoiceBody(uint8_t(ms / 500), 800));
            ++voiceBlocks;
        }
    }
    const std::string path = TempFile("ten_minutes.ob6");
    w.WriteFile(path, true);
    {
        CompressedClock clock(factor);
        PlainEventLoop loop(clock);
        Target target(clock);
        TPlaybackShared shared;
        shared.SetAvailableBytes(int64_t(w.Bytes(true).size()));
        shared.SetTotalSize(int32_t(w.Bytes(true).size()));
        shared.SetComplete(true);
        TPlayerThreadConfig c;
        c.fileName = path;
        TPlayerThread player(loop, c, shared, target, &target);
        const auto t0 = std::chrono::steady_clock::now();
        player.Resume();
        loop.RunUntil([&] { return player.Finished(); }, 3600 * 1000);
        const double realS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("timed replay: %zu messages, 600 s recorded, compressed x%.0f (%.1f s real)\n", w.Count(), factor,
                    realS);
        std::printf("  drift of the last message: %lld ms (target < 50)\n", (long long)target.last);
        std::printf("  largest lateness:          %lld ms\n", (long long)target.lateness);
        std::printf("  voice blocks dropped:      %d of %d (target 0)\n", voiceBlocks - target.voice.load(), voiceBlocks);
    }

    // 2. Fast replay against direct dispatch.
    test::TRecordingWriter b;
    for (int i = 0; i < 10000; ++i) b.Add(vkBoardStrokes, i, test::StrokesBody(1 + i % 5, 2));
    const std::string fast = TempFile("fast.ob6");
    b.WriteFile(fast, true);
    double directS = 0, replayS = 0;
    {
        SystemClock& clock = SystemClock::Instance();
        Target target(clock);
        const auto t0 = std::chrono::steady_clock::now();
        for (int rep = 0; rep < 5; ++rep)
            for (const auto& m : b.Each()) {
                TVCRHeader h;
                TVCRHeader::Decode(m, h);
                target.ReplayRecord(h, m);
            }
        directS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / 5;
    }
    {
        PlainEventLoop loop;
        Target target(loop.Clock());
        TPlaybackShared shared;
        shared.SetAvailableBytes(int64_t(b.Bytes(true).size()));
        shared.SetTotalSize(int32_t(b.Bytes(true).size()));
        shared.SetComplete(true);
        TPlayerThreadConfig c;
        c.fileName = fast;
        c.noTiming = true;
        TPlayerThread player(loop, c, shared, target, &target);
        const auto t0 = std::chrono::steady_clock::now();
        player.Resume();
        loop.RunUntil([&] { return player.Finished(); }, 600 * 1000);
        replayS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("fast replay of %d board messages: %.1f ms; direct dispatch: %.3f ms; ratio %.1f\n",
                    target.records, replayS * 1000, directS * 1000, directS > 0 ? replayS / directS : 0.0);
    }
    return 0;
}
