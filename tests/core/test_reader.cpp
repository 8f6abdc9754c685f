// The reader thread and the data module's dispatch over real TCP on loopback.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "loopback_pair.h"
#include "protocol/wm_app.h"

using namespace orb;

namespace {

constexpr WindowHandle kMainWindow = 500;  // unregistered: what reaches it lands in the loop's log

std::vector<uint8_t> Message(uint16_t kind, int32_t bodyLength, size_t actualBody, uint8_t fill = 0x5A) {
    TVCRHeader h;
    h.kind = kind;
    h.sender = 9;
    h.bodyLength = bodyLength;
    std::vector<uint8_t> body(actualBody, fill);
    return BuildPacketStream(h, body.data(), body.size());
}

struct Seen {
    uint16_t kind;
    size_t streamSize;
    size_t bodyRemaining;
};

// A data module whose room connection is one end of a loopback pair.
struct Fixture {
    LoopbackPair pair;
    PlainEventLoop loop;
    TDM dm{loop, kMainWindow};
    std::vector<Seen> seen;

    bool Open() {
        if (!pair.Open(dm.vcrClient)) return false;
        dm.DispatchObserver = [this](const TVCRHeader& h, std::span<const uint8_t> s) {
            seen.push_back({h.kind, s.size(), dm.BodyReader().remaining()});
        };
        return true;
    }
    void Send(const std::vector<uint8_t>& bytes) { ASSERT_TRUE(pair.server.WriteAll(bytes.data(), bytes.size())); }
    std::vector<PostedMessage> Lost() {
        std::vector<PostedMessage> out;
        for (auto& m : loop.Log())
            if (m.msg == WM_APP_CONNECTIONLOST && m.target == kMainWindow) out.push_back(m);
        return out;
    }
};

}  // namespace

TEST(ReaderFraming, SlicesAndShortReads) {
    std::vector<uint8_t> wire = Message(vkTextMessage, 3 << 20, 3 << 20, 0x11);
    size_t pos = 0;
    auto source = [&](void* out, size_t n) {
        if (n > wire.size() - pos) return false;
        std::memcpy(out, wire.data() + pos, n);
        pos += n;
        return true;
    };
    TVCRHeader h;
    std::vector<uint8_t> stream;
    ASSERT_EQ(ReadVCRMessage(source, h, stream), TReadResult::Message);
    EXPECT_EQ(stream.size(), 22u + (3 << 20));
    EXPECT_EQ(stream.back(), 0x11);

    wire = Message(vkTextMessage, 100, 99);  // the body ends one byte early
    pos = 0;
    EXPECT_EQ(ReadVCRMessage(source, h, stream), TReadResult::Closed);
    // A negative length reads no body: the message is its header alone and framing goes on.
    wire = Message(vkTextMessage, -1, 0);
    pos = 0;
    EXPECT_EQ(ReadVCRMessage(source, h, stream), TReadResult::Message);
    EXPECT_EQ(stream.size(), 22u);
    EXPECT_EQ(h.bodyLength, -1);
    wire = Message(vkTextMessage, kMaxVCRBodyLength + 1, 0);
    pos = 0;
    EXPECT_EQ(ReadVCRMessage(source, h, stream), TReadResult::BadLength);
    wire.resize(21);
    pos = 0;
    EXPECT_EQ(ReadVCRMessage(source, h, stream), TReadResult::Closed);
}

TEST(ReaderLoopback, UnknownKindsAreSkippedAndHeaderOnlyMessagesAre22Bytes) {
    Fixture f;
    ASSERT_TRUE(f.Open());
    f.dm.StartReaderThread();
    f.Send(Message(154, 50, 50));
    f.Send(Message(60000, 7, 7));
    f.Send(Message(vkClearMotions, 0, 0));
    f.Send(Message(vkPresence, 3, 3));
    ASSERT_TRUE(f.loop.RunUntil([&] { return f.seen.size() >= 4; }));
    EXPECT_EQ(f.seen[0].kind, 154);
    EXPECT_EQ(f.seen[0].streamSize, 72u);
    EXPECT_EQ(f.seen[1].kind, 60000);
    EXPECT_EQ(f.seen[2].kind, vkClearMotions);
    EXPECT_EQ(f.seen[2].streamSize, 22u);
    EXPECT_EQ(f.seen[2].bodyRemaining, 0u);
    EXPECT_EQ(f.seen[3].kind, vkPresence);  // framing survived the skipped messages
    EXPECT_EQ(f.seen[3].bodyRemaining, 3u);
    EXPECT_TRUE(f.Lost().empty());
}

TEST(ReaderLoopback, ManySmallAndLargeMessagesInOneStreamArriveWhole) {
    // Small messages share receives, large ones do not, and some straddle a receive's end: every
    // body must still arrive whole and in order.
    Fixture f;
    ASSERT_TRUE(f.Open());
    std::vector<size_t> sizes;
    for (size_t i = 0; i < 600; ++i) sizes.push_back(i % 7 == 0 ? 0 : (i * 37) % 300);
    for (size_t big : {size_t(65535), size_t(65536), size_t(65537), size_t(200000), size_t(1)}) sizes.push_back(big);
    for (size_t i = 0; i < 200; ++i) sizes.push_back((i * 53) % 2100);
    // Every kind but the keep-alive, which goes ahead of the others.
    auto kindOf = [](size_t i) { return uint16_t(1 + i % 153 == vkKeepAlive ? 1 : 1 + i % 153); };
    std::vector<uint8_t> wire;
    for (size_t i = 0; i < sizes.size(); ++i) {
        auto m = Message(kindOf(i), int32_t(sizes[i]), sizes[i], uint8_t(i));
        wire.insert(wire.end(), m.begin(), m.end());
    }
    size_t bad = 0;
    f.dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t> s) {
        const size_t i = f.seen.size();
        f.seen.push_back({h.kind, s.size(), 0});
        if (i >= sizes.size() || h.kind != kindOf(i) || s.size() != 22 + sizes[i]) {
            ++bad;
            return;
        }
        for (size_t k = 22; k < s.size(); ++k)
            if (s[k] != uint8_t(i)) {
                ++bad;
                return;
            }
    };
    f.dm.StartReaderThread();
    std::thread writer([&] {
        // Uneven writes, so message boundaries and receive boundaries rarely meet.
        for (size_t at = 0; at < wire.size();) {
            size_t n = std::min(wire.size() - at, size_t(1 + (at * 7919) % 90000));
            f.pair.server.WriteAll(wire.data() + at, n);
            at += n;
        }
    });
    ASSERT_TRUE(f.loop.RunUntil([&] { return f.seen.size() >= sizes.size(); }, 20000));
    writer.join();
    EXPECT_EQ(f.seen.size(), sizes.size());
    EXPECT_EQ(bad, 0u);
    EXPECT_TRUE(f.Lost().empty());
}

TEST(ReaderLoopback, OverCapLengthAndServerCloseEndTheReaderNegativeLengthDoesNot) {
    for (int variant = 0; variant < 3; ++variant) {
        Fixture f;
        ASSERT_TRUE(f.Open());
        f.dm.StartReaderThread();
        f.Send(Message(vkClearNotes, 0, 0));
        if (variant == 0) f.Send(Message(vkTextMessage, kMaxVCRBodyLength + 1, 16));
        if (variant == 1) {
            // Lengths of 0 or less read no body: both reach their handlers with 22 bytes, and
            // the message after them is still framed right.
            f.Send(Message(vkTextMessage, -5, 0));
            f.Send(Message(vkClearMotions, int32_t(0x80000000u), 0));
            f.Send(Message(vkPresence, 2, 2));
            ASSERT_TRUE(f.loop.RunUntil([&] { return f.seen.size() >= 4; }));
            EXPECT_EQ(f.seen[1].kind, vkTextMessage);
            EXPECT_EQ(f.seen[1].streamSize, 22u);
            EXPECT_EQ(f.seen[1].bodyRemaining, 0u);
            EXPECT_EQ(f.seen[2].streamSize, 22u);
            EXPECT_EQ(f.seen[3].kind, vkPresence);
            EXPECT_EQ(f.seen[3].bodyRemaining, 2u);
            EXPECT_TRUE(f.Lost().empty());
            EXPECT_TRUE(f.dm.vcrClient.Connected());
            continue;
        }
        if (variant == 2) f.pair.server.Disconnect();
        ASSERT_TRUE(f.loop.RunUntil([&] { return !f.Lost().empty(); })) << variant;
        auto lost = f.Lost();
        ASSERT_EQ(lost.size(), 1u);
        EXPECT_EQ(lost[0].target, kMainWindow);
        EXPECT_EQ(lost[0].wParam, 1);
        EXPECT_EQ(lost[0].lParam, 0);
        EXPECT_EQ(f.seen.size(), 1u);           // the bad message reached no handler
        EXPECT_FALSE(f.dm.vcrClient.Connected());  // dropped, not read on from the middle
    }
}

TEST(ReaderLoopback, AHandlersNestedLoopAnswersKeepAlivesAndKeepsTheRestInOrder) {
    // A handler that runs a nested loop (a box left open, say): the reader reads on, keep-alives
    // are dispatched inside it, everything else waits until the handler has returned.
    Fixture f;
    ASSERT_TRUE(f.Open());
    std::vector<uint16_t> order, inside;
    bool nested = false;
    f.dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        order.push_back(h.kind);
        if (nested) inside.push_back(h.kind);
        if (h.kind != vkClearMotions || nested) return;
        nested = true;
        for (uint16_t kind : {vkClearNotes, vkKeepAlive, vkPresence, vkKeepAlive, vkUserLeft})
            f.Send(Message(kind, 0, 0));
        f.loop.RunUntil([&] { return std::count(order.begin(), order.end(), vkKeepAlive) == 2; });
        // Give the others every chance to overtake.
        f.loop.RunUntil([&] { return f.dm.ReaderThread()->MessagesRead() >= 6; });
        f.loop.ProcessPending();
        nested = false;
    };
    f.dm.StartReaderThread();
    f.Send(Message(vkClearMotions, 0, 0));
    ASSERT_TRUE(f.loop.RunUntil([&] { return order.size() >= 6; }));
    EXPECT_EQ(inside, (std::vector<uint16_t>{vkKeepAlive, vkKeepAlive}));
    EXPECT_EQ(order, (std::vector<uint16_t>{vkClearMotions, vkKeepAlive, vkKeepAlive, vkClearNotes, vkPresence,
                                            vkUserLeft}));
    EXPECT_TRUE(f.Lost().empty());
}

TEST(ReaderLoopback, AWholeParticipantListLetsTheLoopTurnEveryFiftyRecordsAndKeepsTheRestBehindIt) {
    Fixture f;
    ASSERT_TRUE(f.Open());
    auto record = [](int32_t id) {
        TUserInfo u;
        u.SetUserId(id);
        u.SetDisplayName("User " + std::to_string(id));
        return std::vector<uint8_t>(u.raw.begin(), u.raw.end());
    };
    std::vector<uint8_t> body(TUserInfo::kSize, 0);
    StoreU32(body.data(), 120);
    for (int32_t id = 1; id <= 120; ++id) {
        auto r = record(id);
        body.insert(body.end(), r.begin(), r.end());
    }
    TVCRHeader h;
    h.kind = vkUserList;
    h.bodyLength = int32_t(body.size());
    std::vector<uint8_t> wire = BuildPacketStream(h, body.data(), body.size());
    TVCRHeader j;
    j.kind = vkUserJoined;
    j.sender = 500;
    auto joined = record(500);
    j.bodyLength = int32_t(joined.size());
    const std::vector<uint8_t> join = BuildPacketStream(j, joined.data(), joined.size());
    wire.insert(wire.end(), join.begin(), join.end());

    // A message of the loop's own that posts itself again runs between any two turns of the reader
    // (the reader keeps at most one wake of its own queued), and notes the rows it sees there.
    std::vector<size_t> between;
    size_t rowsAtJoin = 0;
    WindowHandle marker = 0;
    marker = f.loop.RegisterWindow([&](uint32_t, std::intptr_t, std::intptr_t) {
        const size_t rows = f.dm.Participants.Count();
        if (rows > 0 && (between.empty() || between.back() != rows)) between.push_back(rows);
        if (rows < 121) f.loop.Post(marker, WM_APP + 1, 0, 0);
    });
    f.dm.DispatchObserver = [&](const TVCRHeader& m, std::span<const uint8_t>) {
        if (m.kind == vkUserJoined) rowsAtJoin = f.dm.Participants.Count();
    };
    f.dm.StartReaderThread();
    f.loop.Post(marker, WM_APP + 1, 0, 0);
    f.Send(wire);
    ASSERT_TRUE(f.loop.RunUntil([&] { return f.dm.Participants.Count() == 121; }, 30000));
    ASSERT_GE(between.size(), 3u);
    EXPECT_EQ(std::vector<size_t>(between.begin(), between.begin() + 3), (std::vector<size_t>{1, 51, 101}));
    EXPECT_EQ(rowsAtJoin, 120u);
    EXPECT_FALSE(f.dm.SlicesLeft());
    f.dm.StopReaderThread();
    f.loop.UnregisterWindow(marker);
}

TEST(ReaderLoopback, StoppingFromTheMainThreadNeverDeadlocks) {
    // The reader waits for the main thread to dispatch while the main thread stops it.
    Fixture f;
    ASSERT_TRUE(f.Open());
    f.dm.StartReaderThread();
    f.Send(Message(vkClearMotions, 0, 0));
    // Do not process: the message waits in the reader's queue for the main thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    f.dm.StopReaderThread();
    EXPECT_EQ(f.dm.ReaderThread(), nullptr);
    f.loop.ProcessPending();
    EXPECT_TRUE(f.seen.empty());  // the abandoned dispatch never ran

    // Stopping from inside a handler that the reader's own dispatch is running.
    Fixture g;
    ASSERT_TRUE(g.Open());
    g.dm.DispatchObserver = [&](const TVCRHeader&, std::span<const uint8_t>) { g.dm.StopReaderThread(); };
    g.dm.StartReaderThread();
    g.Send(Message(vkDuplicateLogin, 0, 0));
    ASSERT_TRUE(g.loop.RunUntil([&] { return g.dm.ReaderThread() == nullptr; }));
    g.dm.StartReaderThread();  // collects the retired reader
    g.dm.StopReaderThread();
}

TEST(ReaderLoopback, DisconnectingFromTheMainThreadEndsTheReaderWithConnectionLost1) {
    Fixture f;
    ASSERT_TRUE(f.Open());
    f.dm.StartReaderThread();
    f.dm.StartWriterThread(1'000'000);
    f.Send(Message(vkClearMotions, 0, 0));
    ASSERT_TRUE(f.loop.RunUntil([&] { return f.seen.size() == 1; }));
    // The session still runs; the main thread drops the connection under the blocked read.
    f.dm.vcrClient.Disconnect();
    ASSERT_TRUE(f.loop.RunUntil([&] { return !f.Lost().empty(); }));
    auto lost = f.Lost();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].wParam, 1);
    EXPECT_EQ(lost[0].lParam, 0);
    EXPECT_TRUE(f.dm.ReaderThread()->Finished());
    // Queuing now fails instead of reaching a closed socket; ending the session adds no loss.
    EXPECT_FALSE(f.dm.SendCommand(vkHeartBeat));
    f.dm.StopReaderThread();
    f.dm.StopWriterThread();
    f.loop.RunUntil([] { return false; }, 50);
    EXPECT_EQ(f.Lost().size(), 1u);
}

TEST(ReaderLoopback, ALateLossFromAStoppedSessionNeverReachesTheNextOne) {
    Fixture f;
    ASSERT_TRUE(f.Open());
    f.dm.StartReaderThread();
    uint64_t first = f.dm.SessionGeneration();
    f.pair.server.Disconnect();
    // The old reader has posted its loss, but the main thread has not handled it yet.
    for (int i = 0; i < 5000 && !f.dm.ReaderThread()->Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(f.dm.ReaderThread()->Finished());
    f.dm.StopReaderThread();

    // Next session on a new connection.
    LoopbackPair next;
    ASSERT_TRUE(next.Open(f.dm.vcrClient));
    f.dm.StartReaderThread();
    EXPECT_GT(f.dm.SessionGeneration(), first);
    f.loop.RunUntil([] { return false; }, 100);
    EXPECT_TRUE(f.Lost().empty());
    // The new session's own loss is delivered.
    next.server.Disconnect();
    ASSERT_TRUE(f.loop.RunUntil([&] { return f.Lost().size() == 1; }));
}

TEST(DataModuleSender, QueuesWholeMessagesWithTheOwnIdentity) {
    Fixture f;
    ASSERT_TRUE(f.Open());
    f.dm.OwnUserId = 4711;
    f.dm.OwnRoom = 1002;
    const uint8_t body[4] = {3, 0, 0, 0};
    EXPECT_FALSE(f.dm.SendCommand(vkSelectBoard, body, 4));  // no writer yet
    f.dm.StartWriterThread(1'000'000);
    ASSERT_TRUE(f.dm.SendCommand(vkSelectBoard, body, 4));
    ASSERT_TRUE(f.dm.SendCommandToRoom(vkRoomList, 0));
    uint8_t got[22 + 4 + 22];
    ASSERT_TRUE(f.pair.server.ReadExact(got, sizeof got));
    TVCRHeader h;
    ASSERT_TRUE(TVCRHeader::Decode(std::span<const uint8_t>(got, 22), h));
    EXPECT_EQ(h.kind, vkSelectBoard);
    EXPECT_EQ(h.sender, 4711);
    EXPECT_EQ(h.room, 1002);
    EXPECT_EQ(h.bodyLength, 4);
    EXPECT_EQ(h.result, 0);
    EXPECT_EQ(got[22], 3);
    ASSERT_TRUE(TVCRHeader::Decode(std::span<const uint8_t>(got + 26, 22), h));
    EXPECT_EQ(h.kind, vkRoomList);
    EXPECT_EQ(h.room, 0);
    EXPECT_EQ(h.bodyLength, 0);

    f.dm.vcrClient.Shutdown();
    EXPECT_FALSE(f.dm.SendCommand(vkHeartBeat));  // not connected: nothing queued
    EXPECT_EQ(f.dm.WriterThread()->QueuedBytes(), 0);
}

TEST(DataModuleDispatch, EveryHandledKindHasItsHandler) {
    // The kinds the client handles; every other kind up to 153 has no handler.
    const std::vector<int> handled = {
        1,   2,   4,   5,   6,   7,   11,  12,  13,  15,  17,  18,  19,  20,  23,  24,  25,  30,  31,  32,
        33,  36,  37,  38,  39,  40,  41,  42,  43,  44,  49,  53,  55,  56,  58,  60,  61,  62,  63,  64,
        65,  66,  74,  75,  79,  80,  81,  82,  86,  87,  88,  89,  90,  91,  93,  94,  95,  96,  97,  98,
        99,  100, 101, 102, 103, 104, 105, 107, 108, 113, 115, 117, 118, 119, 120, 121, 122, 124, 125, 126,
        127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 144, 145, 147, 149,
        151, 152, 153};
    const auto& table = TDM::DispatchTable();
    ASSERT_EQ(table.size(), 154u);
    for (int k = 0; k < 154; ++k) {
        bool expect = std::find(handled.begin(), handled.end(), k) != handled.end();
        EXPECT_EQ(table[k].handler != nullptr, expect) << "kind " << k;
    }
    // Kinds that share a handler tell themselves apart by the current header.
    EXPECT_STREQ(table[130].name, "HandleTextMessage");
    EXPECT_EQ(table[130].handler, table[131].handler);
    EXPECT_EQ(table[105].handler, table[147].handler);
    EXPECT_STREQ(table[11].name, "HandleBoardStrokes");
    EXPECT_STREQ(table[138].name, "HandleNotesSwitch");
}

TEST(DataModuleDispatch, CurrentMessageIsValidDuringTheCallAndNestedDispatchRestoresIt) {
    PlainEventLoop loop;
    TDM dm(loop, kMainWindow);
    auto outer = Message(vkBoardContents, 5, 5, 0x01);
    auto inner = Message(vkClearBoard, 4, 4, 0x02);
    std::vector<uint16_t> kindsDuring;
    dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        if (h.kind == vkBoardContents) {
            TVCRHeader ih;
            TVCRHeader::Decode(inner, ih);
            dm.DispatchCommand(ih, inner);
            kindsDuring.push_back(dm.CurrentHeader().kind);
            EXPECT_EQ(dm.CurrentMessage().size(), outer.size());
        }
    };
    TVCRHeader oh;
    TVCRHeader::Decode(outer, oh);
    dm.DispatchCommand(oh, outer);
    ASSERT_EQ(kindsDuring.size(), 1u);
    EXPECT_EQ(kindsDuring[0], vkBoardContents);
    EXPECT_TRUE(dm.CurrentMessage().empty());
    EXPECT_FALSE(dm.BodyReader().remaining());

    // A throwing handler is contained.
    dm.DispatchObserver = [](const TVCRHeader&, std::span<const uint8_t>) { throw std::runtime_error("x"); };
    EXPECT_NO_THROW(dm.DispatchCommand(oh, outer));
}
