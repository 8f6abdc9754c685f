// The data module against the test room server: both directions of a session over loopback.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/records.h"
#include "protocol/wm_app.h"
#include "roomserver/room_server.h"

using namespace orb;

TEST(DataModuleSession, SendsReceivesAndNoticesTheServerClosing) {
    test::TRoomServer server;
    server.OnKind(vkHeartBeat, [](test::TRoomServer& s, test::TRoomConnection& c, const TVCRHeader&,
                                  std::span<const uint8_t>) {
        auto rec = NewWideTextRecord(99, 0, 3, u"hi", TTextMessageInfo::mtPublic);
        s.Send(c.id, vkTextMessage, EncodeWideTextMessage(*rec), 99, 3);
    });
    ASSERT_TRUE(server.Start());

    PlainEventLoop loop;
    const WindowHandle mainWindow = 900;
    TDM dm(loop, mainWindow);
    dm.OwnUserId = 5;
    dm.OwnRoom = 3;
    std::u16string text;
    dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        if (h.kind != vkTextMessage) return;
        TTextMessage m;
        auto r = dm.BodyReader();
        if (DecodeTextMessage(r, true, m)) text = m.text;
    };
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 20000));
    dm.StartReaderThread();
    dm.StartWriterThread(1'000'000);
    ASSERT_TRUE(dm.SendCommand(vkHeartBeat));
    ASSERT_TRUE(loop.RunUntil([&] { return !text.empty(); }));
    EXPECT_EQ(text, u"hi");
    auto beats = server.ReceivedOfKind(vkHeartBeat);
    ASSERT_EQ(beats.size(), 1u);
    EXPECT_EQ(beats[0].header.sender, 5);
    EXPECT_EQ(beats[0].header.room, 3);

    server.CloseClient(server.Connections().at(0));
    ASSERT_TRUE(loop.RunUntil([&] {
        for (auto& m : loop.Log())
            if (m.target == mainWindow && m.msg == WM_APP_CONNECTIONLOST && m.wParam == 1) return true;
        return false;
    }));
    dm.StopReaderThread();
    dm.StopWriterThread();
    EXPECT_EQ(dm.SessionNotifyWindow(), 0);
}

namespace {
// A clock whose sleeps wait until the test lets time run: the writer holds after its first step.
class HeldClock final : public IClock {
public:
    int64_t NowMs() override { return now_.load(); }
    void SleepMs(int64_t ms) override {
        std::unique_lock lk(mu_);
        cv_.wait(lk, [&] { return released_; });
        now_ += ms;
    }
    void Release() {
        {
            std::lock_guard lk(mu_);
            released_ = true;
        }
        cv_.notify_all();
    }

private:
    std::atomic<int64_t> now_{1'000'000};
    std::mutex mu_;
    std::condition_variable cv_;
    bool released_ = false;
};
}  // namespace

TEST(DataModuleSession, AFloodOfKeepAlivesQueuesOneHeartbeatAtATime) {
    test::TRoomServer server;
    ASSERT_TRUE(server.Start());
    HeldClock clock;
    PlainEventLoop loop(clock);
    TDM dm(loop, 900);
    size_t keepAlives = 0;
    int64_t mostQueued = 0;
    dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        keepAlives += h.kind == vkKeepAlive;
        if (dm.WriterThread()) mostQueued = std::max(mostQueued, dm.WriterThread()->QueuedBytes());
    };
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 20000));
    ASSERT_TRUE(server.WaitForConnections(1));
    dm.StartReaderThread();
    dm.StartWriterThread(1'000'000);
    ASSERT_TRUE(server.SendKeepAlive(server.Connections().at(0), 500));
    ASSERT_TRUE(loop.RunUntil([&] { return keepAlives == 500; }));
    // The first heartbeat went out and the writer holds; at most one more waits behind it.
    EXPECT_LE(dm.WriterThread()->QueuedBytes(), int64_t(TVCRHeader::kSize));
    EXPECT_LE(mostQueued, int64_t(TVCRHeader::kSize));
    clock.Release();
    ASSERT_TRUE(server.WaitUntil([&] { return dm.WriterThread()->QueuedBytes() == 0 && !server.ReceivedOfKind(vkHeartBeat).empty(); }));
    EXPECT_LE(server.ReceivedOfKind(vkHeartBeat).size(), 2u);
    dm.StopReaderThread();
    dm.StopWriterThread();
}
