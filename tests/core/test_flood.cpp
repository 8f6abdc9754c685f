// The data module under a flood from the test room server (chat, strokes, joins and leaves with
// keep-alives among them): a keep-alive is answered ahead of the messages queued before it, and
// handling a message keeps nothing once it is handled. Its own program, so that every thread
// allocates from the one heap whose use it measures.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "roomserver/flood.h"
#include "roomserver/room_server.h"

using namespace orb;

namespace {
constexpr size_t kCount = 10'000;
constexpr size_t kKeepAliveEvery = 250;
// The slow windows: the message this many places before a keep-alive is handled only once the
// reader has read that keep-alive.
constexpr size_t kAhead = 100;
// Heap that handling one message may leave behind (what the reader keeps for reuse is reached in
// the first flood and stays).
constexpr size_t kBytesPerMessage = 32;
}  // namespace

TEST(DataModuleFlood, KeepAlivesGoAheadOfTheBacklogAndHandledMessagesLeaveNothing) {
    // All threads on one arena, so the heap figure covers the reader's buffers too.
    mallopt(M_ARENA_MAX, 1);
    test::TRoomServer server;
    ASSERT_TRUE(server.Start());
    FakeClock clock;  // the writer's pacing takes no time
    PlainEventLoop loop(clock);
    // A registered main window: notices to it are handled, not logged.
    const WindowHandle mainWindow = loop.RegisterWindow([](uint32_t, std::intptr_t, std::intptr_t) {});
    TDM dm(loop, mainWindow);
    dm.OwnUserId = 7;
    dm.OwnRoom = 3;
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 5000));
    ASSERT_TRUE(server.WaitForConnections(1));
    const int connection = server.Connections().at(0);
    dm.StartReaderThread();
    dm.StartWriterThread(100'000'000);
    const test::TFlood flood = test::MakeFlood(kCount, kKeepAliveEvery, 3);
    ASSERT_EQ(flood.keepAlives.size(), kCount / kKeepAliveEvery);

    struct Answer {
        size_t keepAlive;     // its position in the flood
        size_t lastHandled;   // the last other message handled before it
    };
    auto runFlood = [&](std::vector<Answer>& answers, bool& inOrder, bool& gateMissed) {
        const size_t readBefore = dm.ReaderThread()->MessagesRead();
        size_t handled = 0, last = 0;
        inOrder = true;
        gateMissed = false;
        dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
            const size_t pos = size_t(h.time);
            if (h.kind == vkKeepAlive) {
                answers.push_back({pos, last});
                return;
            }
            if (handled > 0 && pos <= last) inOrder = false;
            last = pos;
            ++handled;
            if ((pos + kAhead + 1) % kKeepAliveEvery != 0 || gateMissed) return;
            // The deadline only stops a reader that cannot read ahead from hanging the test.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (dm.ReaderThread()->MessagesRead() - readBefore <= pos + kAhead) {
                if (std::chrono::steady_clock::now() > deadline) {
                    gateMissed = true;
                    return;
                }
                std::this_thread::yield();
            }
        };
        std::thread sender([&] { test::SendFlood(server, connection, flood, 0); });
        const bool all = loop.RunUntil([&] { return handled + answers.size() >= kCount; }, 120'000);
        if (!all) ADD_FAILURE() << handled << " handled, " << answers.size() << " keep-alives";
        sender.join();
        dm.DispatchObserver = nullptr;
        return all;
    };

    std::vector<Answer> warm, answers;
    bool inOrder = false, gateMissed = false;
    ASSERT_TRUE(runFlood(warm, inOrder, gateMissed));
    const size_t heapBefore = mallinfo2().uordblks;
    ASSERT_TRUE(runFlood(answers, inOrder, gateMissed));
    const size_t heapAfter = mallinfo2().uordblks;

    EXPECT_TRUE(inOrder);  // everything else keeps its order
    EXPECT_FALSE(gateMissed) << "the reader did not read on while a handler ran";
    ASSERT_EQ(answers.size(), flood.keepAlives.size());
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(answers[i].keepAlive, flood.keepAlives[i]);
        // Dispatched at the latest right after the message that was being handled when it
        // arrived: ahead of the kAhead - 1 messages queued before it.
        EXPECT_LE(answers[i].lastHandled, flood.keepAlives[i] - kAhead) << "keep-alive " << i;
    }
    // The answers went out: at least one heartbeat per burst of keep-alives the writer had not
    // yet taken, so never none.
    EXPECT_TRUE(server.WaitForKind(vkHeartBeat, 1));
    EXPECT_LE(server.ReceivedOfKind(vkHeartBeat).size(), 2 * flood.keepAlives.size());
    EXPECT_EQ(dm.Participants.Count(), 0u);  // every flood user left again
    const double perMessage = heapAfter > heapBefore ? double(heapAfter - heapBefore) / kCount : 0.0;
    EXPECT_LE(perMessage, double(kBytesPerMessage)) << heapBefore << " -> " << heapAfter;
    dm.StopReaderThread();
    dm.StopWriterThread();
}
