// Replay benchmark, into the data module's own dispatch with the board engine behind it (what a
// person watching a recording waits for):
//  1. A two-minute recording (voice every 500 ms, 10 board messages a second) replayed in real
//     time: drift of the last message against the recorded span, the largest lateness of any
//     message, and voice blocks that never reached the players.
//  2. Fast replay of 10,000 board messages (a jump) against dispatching them directly into the
//     data module on the main thread.
// ORB_BENCH_REPLAY_SECONDS shortens or lengthens the real-time run.
#include <QGuiApplication>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../bench_summary.h"
#include "board/engine/board_engine.h"
#include "boardmsg/board_dm_link.h"
#include "boardmsg/board_messages.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "playback/player_thread.h"
#include "protocol/message_kinds.h"
#include "roomserver/recording_writer.h"

using namespace orb;
using namespace orb::playback;

namespace {

// The data module of a playback session with the board engine, as the program wires them.
struct Viewer {
    PlainEventLoop& loop;
    TDM dm;
    board::TDMBoardLink link;
    board::TBoardEngine engine;
    board::TBoardMessages messages;
    explicit Viewer(PlainEventLoop& l) : loop(l), dm(l, 900), link(dm), engine(link), messages(engine, link) {
        dm.PlaybackMode = true;
        engine.InitWhiteboards();
        dm.BoardMessages = &messages;
        dm.BoardSink = &engine;
    }
    ~Viewer() {
        dm.BoardMessages = nullptr;
        dm.BoardSink = nullptr;
    }
};

// Every replayed message goes on into the data module; its lateness against the recorded time is
// taken as it arrives on the main thread.
struct Target final : IReplayTarget, IReplayVoice {
    Target(IClock& c, TDM& d) : clock(c), dm(d) {}
    void ReplayRecord(const TVCRHeader& h, std::span<const uint8_t> m) override {
        const int64_t now = clock.NowMs();
        if (first < 0) {
            first = now;
            firstTime = h.time;
        }
        const int64_t at = now - first;
        const int64_t recorded = int64_t((h.time - firstTime) * 86400000.0 + 0.5);
        lateness = std::max(lateness, at - recorded);
        last = at - recorded;
        dm.ReplayRecord(h, m);
        ++records;
    }
    void ClearRoomViews() override {}
    void PlayVoice(int32_t, std::span<const uint8_t>) override { ++voice; }
    IClock& clock;
    TDM& dm;
    double firstTime = 0;
    int64_t first = -1, lateness = 0, last = 0;
    int records = 0;
    std::atomic<int> voice{0};
};

// A file in a folder of its own, removed with the folder when the benchmark ends.
std::string TempFile(const char* name) {
    struct TFolders {
        std::vector<std::filesystem::path> made;
        ~TFolders() {
            std::error_code ec;
            for (const auto& d : made) std::filesystem::remove_all(d, ec);
        }
    };
    static TFolders folders;
    char dir[] = "/tmp/bench_replayXXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    folders.made.emplace_back(dir);
    return std::string(dir) + "/" + name;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const char* env = std::getenv("ORB_BENCH_REPLAY_SECONDS");
    const int64_t seconds = env ? std::max(10, std::atoi(env)) : 120;

    // 1. Timing, in real time.
    test::TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    int voiceBlocks = 0;
    for (int64_t ms = 100; ms <= seconds * 1000; ms += 100) {
        w.Add(vkBoardStrokes, ms, test::StrokesBody(1 + int(ms / 100) % 5, 20, uint32_t(ms) & 0xFFFFFF));
        if (ms % 500 == 0) {
            w.Add(vkVoiceIn, ms, test::VoiceBody(uint8_t(ms / 500), 800));
            ++voiceBlocks;
        }
    }
    const std::string path = TempFile("recording.ob6");
    w.WriteFile(path, true);
    {
        PlainEventLoop loop;
        Viewer viewer(loop);
        Target target(loop.Clock(), viewer.dm);
        TPlaybackShared shared;
        shared.SetAvailableBytes(int64_t(w.Bytes(true).size()));
        shared.SetTotalSize(int32_t(w.Bytes(true).size()));
        shared.SetComplete(true);
        TPlayerThreadConfig c;
        c.fileName = path;
        TPlayerThread player(loop, c, shared, target, &target);
        const auto t0 = std::chrono::steady_clock::now();
        player.Resume();
        loop.RunUntil([&] { return player.Finished(); }, (seconds + 600) * 1000);
        const double realS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("timed replay: %zu messages, %lld s recorded, in real time (%.1f s)\n", w.Count(),
                    (long long)seconds, realS);
        std::printf("  drift of the last message: %lld ms (goal < 50)\n", (long long)target.last);
        std::printf("  largest lateness:          %lld ms (goal <= 100)\n", (long long)target.lateness);
        std::printf("  voice blocks dropped:      %d of %d (goal 0)\n", voiceBlocks - target.voice.load(), voiceBlocks);
        orb::bench::Summary("replay in real time: drift of the last message (ms)", "< 50", double(target.last),
                            target.last < 50);
        orb::bench::Summary("replay in real time: largest lateness (ms)", "<= 100", double(target.lateness),
                            target.lateness <= 100);
    }

    // 2. Fast replay against direct dispatch, both into the data module and the board engine.
    test::TRecordingWriter b;
    for (int i = 0; i < 10000; ++i) b.Add(vkBoardStrokes, i, test::StrokesBody(1 + i % 5, 20, uint32_t(i) * 2654435761u & 0xFFFFFF));
    const std::string fast = TempFile("fast.ob6");
    b.WriteFile(fast, true);
    // Rounds of one and the other, each on a fresh data module, so a busy spell of the machine
    // weighs on both alike; the ratio is the median of the rounds'.
    auto direct = [&] {
        PlainEventLoop loop;
        Viewer viewer(loop);
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& m : b.Each()) {
            TVCRHeader h;
            TVCRHeader::Decode(m, h);
            viewer.dm.ReplayRecord(h, m);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    int replayed = 0;
    auto replay = [&] {
        PlainEventLoop loop;
        Viewer viewer(loop);
        Target target(loop.Clock(), viewer.dm);
        TPlaybackShared shared;
        shared.SetAvailableBytes(int64_t(b.Bytes(true).size()));
        shared.SetTotalSize(int32_t(b.Bytes(true).size()));
        shared.SetComplete(true);
        TPlayerThreadConfig c;
        c.fileName = fast;
        c.noTiming = true;
        // The player window, as in the program: its end notice is what tells the main thread.
        c.playerWindow = loop.RegisterWindow([](uint32_t, std::intptr_t, std::intptr_t) {});
        TPlayerThread player(loop, c, shared, target, &target);
        const auto t0 = std::chrono::steady_clock::now();
        player.Resume();
        loop.RunUntil([&] { return player.Finished(); }, 600 * 1000);
        replayed = target.records;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    std::vector<double> directs, replays, ratios;
    for (int round = 0; round < 5; ++round) {
        directs.push_back(direct());
        replays.push_back(replay());
        ratios.push_back(replays.back() > 0 ? directs.back() / replays.back() : 0);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double ratio = median(ratios);
    std::printf("fast replay of %d board messages: %.1f ms; direct dispatch into the data module: %.1f ms "
                "(medians of 5 rounds); speed %.2f of direct\n",
                replayed, median(replays) * 1000, median(directs) * 1000, ratio);
    orb::bench::Summary("fast replay vs direct dispatch into the data module (speed)", ">= 0.7", ratio, ratio >= 0.7);
    return 0;
}
