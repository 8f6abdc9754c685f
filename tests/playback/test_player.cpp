// The replay thread on the fake clock: timing, voice, jumps, pause, buffering and stopping.
#include <gtest/gtest.h>

#include "loop/plain_event_loop.h"
#include "playback/playback.h"
#include "protocol/wm_app.h"
#include "roomserver/recording_writer.h"
#include "test_support.h"

using namespace orb;
using namespace orb::playback;
using orb::test::TRecordingWriter;

namespace {

constexpr WindowHandle kPlayer = 700, kMain = 900;

struct Replay {
    FakeClock clock;
    PlainEventLoop loop{clock};
    playtest::TempDir dir;
    playtest::TReplayLog log{clock};
    TPlaybackShared shared;
    std::unique_ptr<TPlayerThread> thread;

    void Start(const TRecordingWriter& w, bool head = true, bool complete = true, bool noTiming = false) {
        const auto bytes = w.Bytes(head);
        w.WriteFile(dir.File("r.ob6"), head);
        shared.SetTotalSize(head ? int32_t(bytes.size()) : int32_t(bytes.size() + 740));
        shared.SetMessageCount(uint32_t(w.Count()));
        shared.SetAvailableBytes(int64_t(bytes.size()));
        shared.SetComplete(complete);
        TPlayerThreadConfig c;
        c.fileName = dir.File("r.ob6");
        c.hasHead = head;
        c.noTiming = noTiming;
        c.playerWindow = kPlayer;
        c.mainWindow = kMain;
        thread = std::make_unique<TPlayerThread>(loop, c, shared, log, &log);
        ASSERT_TRUE(thread->Opened());
        thread->Resume();
    }
    bool RunToEnd() {
        if (!loop.RunUntil([&] { return thread->Finished(); }, 20000)) return false;
        thread->WaitFor();  // its last notice is posted by then
        loop.ProcessPending();
        return true;
    }
    std::vector<PostedMessage> Posts(uint32_t msg) {
        std::vector<PostedMessage> out;
        for (auto& m : loop.Log())
            if (m.msg == msg) out.push_back(m);
        return out;
    }
};

std::vector<uint16_t> Kinds(const std::vector<playtest::TReplayLog::Item>& items) {
    std::vector<uint16_t> k;
    for (auto& i : items) k.push_back(i.kind);
    return k;
}

TEST(PlayerThread, ReplaysOnTheRecordedTimeline) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2))
        .Add(vkBoardStrokes, 5000, test::StrokesBody(1, 2))   // 5 s later: waited
        .Add(vkVoiceIn, 5008, test::VoiceBody(4))              // 8 ms later: no sleep
        .Add(vkTextMessage, 17008, test::ChatBody(7, 3, u"late"))  // 12 s later: not waited
        .Add(vkBoardPointer, 17500, std::vector<uint8_t>(12, 0))
        .Add(vkTextMessage, 17400, test::ChatBody(7, 3, u"early"));  // stamped earlier: at once
    const int64_t t0 = r.clock.NowMs();
    r.Start(w);
    ASSERT_TRUE(r.RunToEnd());
    auto items = r.log.Items();
    ASSERT_EQ(Kinds(items), (std::vector<uint16_t>{vkEnterRoom, vkBoardStrokes, vkTextMessage, vkBoardPointer,
                                                   vkTextMessage}));
    const int64_t start = items[0].atMs;
    EXPECT_LT(start - t0, TPlayerThread::kSliceMs);
    EXPECT_EQ(items[1].atMs - start, 5000);
    // 8 ms and a 12 s gap later: no wait (the timeline is at 5008, less than 11 ms ahead).
    EXPECT_EQ(items[2].atMs - start, 5000);
    EXPECT_EQ(items[3].atMs - start, 5500);
    EXPECT_EQ(items[4].atMs - start, 5500);
    ASSERT_EQ(r.log.Voice().size(), 1u);
    EXPECT_EQ(r.log.Voice()[0].body, test::VoiceBody(4));
    EXPECT_EQ(r.log.Voice()[0].kind, 7);  // the sender
    EXPECT_EQ(r.thread->CodecIndex(), 2);
    EXPECT_EQ(r.Posts(WM_APP_PLAYBACKSTARTED).at(0).target, kMain);
    auto positions = r.Posts(WM_APP_PLAYERPOSITION);
    ASSERT_EQ(positions.size(), 6u);
    EXPECT_EQ(positions.back().wParam, 6);
    EXPECT_EQ(r.Posts(WM_APP_PLAYERSTOPPED).size(), 1u);
    EXPECT_EQ(r.shared.ElapsedMs(), 17400);
}

TEST(PlayerThread, HeadlessStreamsKindZeroTailsAndDamagedLengthsEndCleanly) {
    struct Case {
        const char* name;
        std::vector<uint8_t> tail;
        bool head;
    };
    const std::vector<Case> cases = {
        {"no head", {}, false},
        {"kind-0 tail after a complete download", TRecordingWriter::KindZeroHeader(), false},
        {"partial last body", TRecordingWriter::PartialMessage(vkTextMessage, 500, 100), true},
        {"body above 16 MiB", TRecordingWriter::PartialMessage(vkTextMessage, 0x7FFFFFF0, 10), true},
    };
    // Without timing the tail is met while reading ahead, among bytes read already.
    for (const bool noTiming : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (noTiming ? ", no timing" : ""));
        Replay r;
        TRecordingWriter w;
        w.Add(vkEnterRoom, 0, test::RoomEntryBody(3)).Add(vkTextMessage, 300, test::ChatBody(7, 3, u"x"));
        w.AddRaw(c.tail);
        r.Start(w, c.head, true, noTiming);
        ASSERT_TRUE(r.RunToEnd());
        EXPECT_EQ(Kinds(r.log.Items()), (std::vector<uint16_t>{vkEnterRoom, vkTextMessage}));
        EXPECT_TRUE(r.Posts(WM_APP_PLAYERBUFFERING).empty());
        EXPECT_EQ(r.thread->CodecIndex(), 3);
    }
}

TEST(PlayerThread, JumpsForwardWithoutVoiceAndBackFromAnEmptyRoom) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    for (int i = 1; i < 20; ++i) {
        w.Add(vkBoardStrokes, 1000 * i, test::StrokesBody(1, 1));
        w.Add(vkVoiceIn, 1000 * i + 100, test::VoiceBody(uint8_t(i)));
        w.Add(vkBoardPointer, 1000 * i + 200, std::vector<uint8_t>(12, 0));
    }
    bool forward = false, back = false;
    r.log.onRecord = [&](const TVCRHeader&, size_t) {
        const uint32_t n = r.thread->Counter();
        if (!forward && n == 4) {
            forward = true;
            r.thread->ReleaseSlider(40);  // at rest: starts a jump
        } else if (forward && !back && n == 46) {
            back = true;
            r.thread->ReleaseSlider(7);
        }
    };
    r.Start(w);
    ASSERT_TRUE(r.RunToEnd());
    auto items = r.log.Items();
    // Forward: the strokes of seconds 2 to 13 at once, right after the pointer that asked for it.
    ASSERT_GT(items.size(), 16u);
    EXPECT_EQ(items[2].kind, vkBoardPointer);
    for (size_t i = 3; i <= 14; ++i) {
        EXPECT_EQ(items[i].kind, vkBoardStrokes);
        EXPECT_EQ(items[i].atMs, items[2].atMs);
    }
    EXPECT_GT(items[15].atMs, items[2].atMs);
    // Voice is never played during a jump: second 1, then 14 and 15, then again from 3 after the
    // jump back.
    std::vector<uint8_t> tags, expected = {1, 14, 15};
    for (auto& v : r.log.Voice()) tags.push_back(v.body[0]);
    for (uint8_t t = 3; t < 20; ++t) expected.push_back(t);
    EXPECT_EQ(tags, expected);
    // The jump back starts from an empty room and replays the first seven messages at once.
    size_t clear = 0;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].kind == 0xFFFF) clear = i;
    ASSERT_GT(clear, 0u);
    EXPECT_EQ(items[clear + 1].kind, vkEnterRoom);
    for (size_t i = clear + 1; i <= clear + 3; ++i) EXPECT_EQ(items[i].atMs, items[clear].atMs);
    EXPECT_GT(items[clear + 4].atMs, items[clear].atMs);
    auto modes = r.Posts(WM_APP_PLAYERMODE);
    EXPECT_TRUE(std::any_of(modes.begin(), modes.end(), [](auto& m) { return m.wParam == 1; }));
    auto positions = r.Posts(WM_APP_PLAYERPOSITION);
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [](auto& m) { return m.wParam == 40 && m.lParam == 1; }));
    EXPECT_EQ(positions.back().wParam, 58);
}

TEST(PlayerThread, BuffersWhileTheFileGrowsThenPlaysOn) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2)).Add(vkTextMessage, 100, test::ChatBody(7, 3, u"a"));
    w.Add(vkTextMessage, 200, test::ChatBody(7, 3, u"b"));
    const auto all = w.Bytes(true);
    r.Start(w, true, false);
    // Only the first message and 21 bytes of the next are there.
    const int64_t firstEnd = 740 + int64_t(w.Each()[0].size());
    r.shared.SetAvailableBytes(firstEnd + 21);
    ASSERT_TRUE(r.loop.RunUntil([&] { return !r.Posts(WM_APP_PLAYERBUFFERING).empty(); }));
    EXPECT_EQ(Kinds(r.log.Items()), (std::vector<uint16_t>{vkEnterRoom}));
    r.shared.SetAvailableBytes(int64_t(all.size()));
    r.shared.SetComplete(true);
    ASSERT_TRUE(r.RunToEnd());
    EXPECT_EQ(Kinds(r.log.Items()), (std::vector<uint16_t>{vkEnterRoom, vkTextMessage, vkTextMessage}));
    // Buffering retries every 3 s; playing on after it does not catch up in a burst.
    auto buffering = r.Posts(WM_APP_PLAYERBUFFERING);
    if (buffering.size() > 1) {
        EXPECT_EQ(buffering[1].timeMs - buffering[0].timeMs, TPlayerThread::kBufferingWaitMs);
    }
    auto items = r.log.Items();
    EXPECT_EQ(items[2].atMs - items[1].atMs, 100);
}

// The controller: pause holds the replay and its timeline, and a stop from inside a replayed message
// neither deadlocks nor leaves the thread behind.
TEST(Playback, PauseAndStopFromInsideAReplayedMessage) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    playtest::TempDir dir;
    playtest::TReplayLog log(clock);
    TTcpClient room;
    TPlayback p(loop, room, log);
    p.PlayerWindow = kPlayer;
    std::vector<std::string> status;
    p.Hooks.SetPlayerStatus = [&](const std::string& s, uint32_t) { status.push_back(s); };
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    for (int i = 1; i <= 6; ++i) w.Add(vkTextMessage, 1000 * i, test::ChatBody(7, 3, u"m"));
    w.WriteFile(dir.File("s.ob6"), true);
    p.Shared().SetAvailableBytes(int64_t(w.Bytes(true).size()));
    p.Shared().SetComplete(true);
    p.Shared().SetTotalSize(int32_t(w.Bytes(true).size()));
    int64_t pausedAt = 0;
    log.onRecord = [&](const TVCRHeader&, size_t n) {
        if (n == 2) {
            p.PauseToggle();
            pausedAt = clock.NowMs();
        }
        if (n == 4) p.StopPlayback();  // inside the dispatch the thread waits for
    };
    ASSERT_TRUE(p.StartPlayer(dir.File("s.ob6"), false, true));
    ASSERT_TRUE(loop.RunUntil([&] { return log.Items().size() == 2; }));
    EXPECT_EQ(status.back(), "PAUSED");
    loop.RunUntil([] { return false; }, 100);
    EXPECT_EQ(log.Items().size(), 2u);
    clock.Advance(60000);  // a long pause
    p.PauseToggle();
    EXPECT_EQ(status.back(), "PLAYING");
    ASSERT_TRUE(loop.RunUntil([&] { return log.Items().size() == 4 && !p.Running(); }));
    auto items = log.Items();
    // After the pause the next message keeps its distance to the last one before it.
    EXPECT_GE(items[2].atMs - pausedAt, 60000);
    EXPECT_LE(items[2].atMs - pausedAt, 60000 + 1000);
    ASSERT_TRUE(loop.RunUntil([&] { return p.PlayerThread() == nullptr; }));
    loop.RunUntil([] { return false; }, 200);
    EXPECT_EQ(log.Items().size(), 4u);
}

}  // namespace

namespace {

TEST(PlayerThread, AJumpBeyondTheDownloadStopsAtTheLastMessageThere) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    for (int i = 1; i < 10; ++i) w.Add(vkBoardStrokes, 1000 * i, test::StrokesBody(1, 1));
    r.log.onRecord = [&](const TVCRHeader&, size_t n) {
        if (n == 1) r.thread->ReleaseSlider(100);
    };
    r.Start(w, true, false);
    // Four messages are there so far.
    int64_t four = 740;
    for (int i = 0; i < 4; ++i) four += int64_t(w.Each()[size_t(i)].size());
    r.shared.SetAvailableBytes(four);
    ASSERT_TRUE(r.loop.RunUntil([&] { return !r.Posts(WM_APP_PLAYERBUFFERING).empty(); }));
    EXPECT_EQ(r.log.Items().size(), 4u);
    EXPECT_EQ(r.thread->Counter(), 4u);
    EXPECT_FALSE(r.thread->Jumping());
    r.thread->Terminate();
    ASSERT_TRUE(r.RunToEnd());
    auto positions = r.Posts(WM_APP_PLAYERPOSITION);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back().wParam, 4);
}

}  // namespace

namespace {

// Without timing the messages go to the main thread in batches, still one by one and in file order:
// the counter a message sees is its own number, voice and pointer moves are left out, a pause asked
// for inside a message holds the replay right after it, and the position is told once per batch.
TEST(PlayerThread, NoTimingReplaysInOrderInBatchesAndHoldsForAPauseAtOnce) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    std::vector<uint32_t> numbers;  // file numbers of the messages that reach the main thread
    for (int i = 1; i <= 300; ++i) {
        const uint16_t kind = i % 10 == 3 ? vkVoiceIn : i % 10 == 7 ? vkBoardPointer : vkBoardStrokes;
        w.Add(kind, 10 * i, kind == vkVoiceIn ? test::VoiceBody(uint8_t(i)) : kind == vkBoardPointer
                                                   ? std::vector<uint8_t>(12, 0)
                                                   : test::StrokesBody(1, 1, uint32_t(i)));
        if (kind == vkBoardStrokes) numbers.push_back(uint32_t(i + 1));
    }
    std::vector<uint32_t> seen;
    r.log.onRecord = [&](const TVCRHeader&, size_t n) {
        seen.push_back(r.thread->Counter());
        if (n == 100) r.thread->Suspend();
    };
    r.Start(w, true, true, true);
    ASSERT_TRUE(r.loop.RunUntil([&] { return r.log.Items().size() == 100; }));
    r.loop.RunUntil([] { return false; }, 100);
    EXPECT_EQ(r.log.Items().size(), 100u);
    r.thread->Resume();
    ASSERT_TRUE(r.RunToEnd());
    numbers.insert(numbers.begin(), 1);
    EXPECT_EQ(seen, numbers);
    EXPECT_TRUE(r.log.Voice().empty());
    auto positions = r.Posts(WM_APP_PLAYERPOSITION);
    ASSERT_FALSE(positions.empty());
    EXPECT_LT(positions.size(), numbers.size() / 4);
    EXPECT_EQ(positions.back().wParam, 301);
    EXPECT_EQ(r.shared.ElapsedMs(), 3000);
}

}  // namespace

namespace {

// Messages read ahead are handed on as views into what one read of the file brought in: across
// several such reads, messages too large for one, and a batch cut short by its time budget, every
// message still arrives whole and in order.
TEST(PlayerThread, NoTimingHandsOnEveryMessageWholeAcrossReadsAndCutBatches) {
    Replay r;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2));
    std::vector<std::vector<uint8_t>> bodies;
    for (int i = 0; i < 400; ++i) {
        // Mostly a few kilobytes; every 97th is larger than half a read, so it is read on its own.
        std::vector<uint8_t> body(i % 97 == 50 ? 700 * 1024 : 1000 + size_t(i) * 37 % 9000);
        for (size_t k = 0; k < body.size(); ++k) body[k] = uint8_t(k * 131 + size_t(i));
        w.Add(vkTextMessage, 10 * (i + 1), body);
        bodies.push_back(std::move(body));
    }
    r.log.onRecord = [&](const TVCRHeader&, size_t n) {
        if (n % 150 == 0) r.clock.Advance(TPlayerThread::kBatchMs);  // a slow message
    };
    r.Start(w, true, true, true);
    ASSERT_TRUE(r.RunToEnd());
    const auto items = r.log.Items();
    ASSERT_EQ(items.size(), bodies.size() + 1);
    for (size_t i = 0; i < bodies.size(); ++i) ASSERT_EQ(items[i + 1].body, bodies[i]) << "message " << i;
}

}  // namespace
