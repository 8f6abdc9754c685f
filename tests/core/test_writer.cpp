#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "loop/plain_event_loop.h"
#include "loopback_pair.h"
#include "protocol/vcr_header.h"
#include "protocol/wm_app.h"
#include "sendqueue/vcr_writer_thread.h"

using namespace orb;

namespace {

constexpr WindowHandle kMainWindow = 77;  // not registered: its posts land in the loop's log

std::vector<PostedMessage> PostsOf(PlainEventLoop& loop, uint32_t msg) {
    std::vector<PostedMessage> out;
    for (auto& m : loop.Log())
        if (m.msg == msg) out.push_back(m);
    return out;
}

bool WaitForPosts(PlainEventLoop& loop, uint32_t msg, size_t n) {
    return loop.RunUntil([&] { return PostsOf(loop, msg).size() >= n; }, 5000);
}

void Append(TVCRWriterThread& w, const std::vector<uint8_t>& bytes) {
    w.LockQueue();
    w.AppendToQueue(bytes.data(), bytes.size());
    w.UnlockQueue();
}

std::vector<uint8_t> Message(uint16_t kind, size_t bodyLength, uint8_t fill) {
    TVCRHeader h;
    h.kind = kind;
    h.bodyLength = int32_t(bodyLength);
    std::vector<uint8_t> body(bodyLength, fill);
    return BuildPacketStream(h, body.data(), body.size());
}

// A clock whose sleeps wait for the test to open a gate, so a test can act in the middle of a batch.
class GatedClock : public IClock {
public:
    int64_t NowMs() override { return now_.load(); }
    void SleepMs(int64_t ms) override {
        std::unique_lock lk(mu_);
        ++sleepers_;
        cv_.notify_all();
        cv_.wait(lk, [&] { return open_ > 0; });
        --open_;
        now_ += ms;
    }
    void WaitForSleeper() {
        std::unique_lock lk(mu_);
        cv_.wait(lk, [&] { return sleepers_ > 0; });
        --sleepers_;
    }
    void Open(int n = 1) {
        std::lock_guard lk(mu_);
        open_ += n;
        cv_.notify_all();
    }

private:
    std::atomic<int64_t> now_{5000};
    std::mutex mu_;
    std::condition_variable cv_;
    int sleepers_ = 0;
    int open_ = 0;
};

}  // namespace

TEST(WriterPacing, BatchGoesOutInStepsOfATenthOfTheRate) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow);
    w.Resume();
    EXPECT_EQ(w.SendRate(), 65536);
    std::vector<uint8_t> batch(6600);
    for (size_t i = 0; i < batch.size(); ++i) batch[i] = uint8_t(i);
    Append(w, batch);
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, 2));
    auto sent = PostsOf(loop, WM_APP_BYTESSENT);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].wParam, 6553);
    EXPECT_EQ(sent[1].wParam, 47);
    EXPECT_EQ(sent[1].timeMs - sent[0].timeMs, 100);
    EXPECT_EQ(sent[0].lParam, 0);  // elapsed before sleeping, on the fake clock
    std::vector<uint8_t> got(6600);
    ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
    EXPECT_EQ(got, batch);
    EXPECT_EQ(w.QueuedBytes(), 0);

    // An exact multiple: two full steps, no empty rest step.
    loop.TakeLog();
    Append(w, std::vector<uint8_t>(2 * 6553, 1));
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, 2));
    loop.RunUntil([] { return false; }, 50);
    sent = PostsOf(loop, WM_APP_BYTESSENT);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].wParam, 6553);
    EXPECT_EQ(sent[1].wParam, 6553);

    // Smaller than a step: one write, one report.
    loop.TakeLog();
    Append(w, std::vector<uint8_t>(10, 2));
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, 1));
    loop.RunUntil([] { return false; }, 50);
    EXPECT_EQ(PostsOf(loop, WM_APP_BYTESSENT).size(), 1u);
    std::vector<uint8_t> rest(2 * 6553 + 10);
    ASSERT_TRUE(p.server.ReadExact(rest.data(), rest.size()));
}

TEST(WriterPacing, NineBytesPerSecondWritesAtOnceWithoutReports) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow);
    w.SetSendRate(9);
    w.Resume();
    int64_t before = clock.NowMs();
    Append(w, std::vector<uint8_t>(500, 3));
    std::vector<uint8_t> got(500);
    ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
    loop.RunUntil([] { return false; }, 50);
    EXPECT_TRUE(loop.Log().empty());
    EXPECT_EQ(clock.NowMs(), before);  // no pacing sleep either
}

TEST(WriterPacing, RateChangeAppliesToTheNextBatch) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    GatedClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow, &clock);
    w.Resume();
    Append(w, std::vector<uint8_t>(6600, 4));
    clock.WaitForSleeper();     // first step written, the thread sleeps to the step boundary
    w.SetSendRate(1'000'000);   // during the batch
    clock.Open(2);
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, 2));
    auto sent = PostsOf(loop, WM_APP_BYTESSENT);
    EXPECT_EQ(sent[1].wParam, 47);  // the running batch kept its step size

    loop.TakeLog();
    Append(w, std::vector<uint8_t>(6600, 5));
    clock.WaitForSleeper();
    clock.Open(1);
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, 1));
    EXPECT_EQ(PostsOf(loop, WM_APP_BYTESSENT)[0].wParam, 6600);
    std::vector<uint8_t> got(13200);
    ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
}

TEST(WriterLifecycle, StopIsNoticedWhileIdleAndBetweenSteps) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    {
        FakeClock clock;
        PlainEventLoop loop(clock);
        TVCRWriterThread w(&p.client, loop, kMainWindow);
        w.Resume();
        // Idle: the stop ends the thread without anything queued (a hang fails by the time-out).
        w.Terminate();
        w.WaitFor();
    }
    // A slow batch: the stop comes after the first step; no further step is written.
    GatedClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow, &clock);
    w.SetSendRate(100);  // 10 bytes per step
    w.Resume();
    Append(w, std::vector<uint8_t>(1000, 6));
    clock.WaitForSleeper();
    w.Terminate();
    clock.Open(1);
    w.WaitFor();
    loop.ProcessPending();
    EXPECT_EQ(PostsOf(loop, WM_APP_BYTESSENT).size(), 1u);
    p.client.Shutdown();
    std::vector<uint8_t> got(11);
    EXPECT_FALSE(p.server.ReadExact(got.data(), got.size()));  // only 10 bytes ever went out
}

TEST(WriterFailure, FailedWritePostsConnectionLostOnceAndStopsWriting) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow);
    w.SetSendRate(1000);  // 100 bytes per step
    p.ResetFromServer();
    w.Resume();
    Append(w, std::vector<uint8_t>(100 * 50, 7));
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_CONNECTIONLOST, 1));
    EXPECT_TRUE(w.WriteFailed());
    Append(w, std::vector<uint8_t>(100 * 50, 8));
    Append(w, std::vector<uint8_t>(10, 9));
    loop.RunUntil([&] { return w.QueuedBytes() == 0; }, 2000);
    loop.RunUntil([] { return false; }, 50);
    auto lost = PostsOf(loop, WM_APP_CONNECTIONLOST);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].wParam, 5);
    EXPECT_EQ(lost[0].lParam, 0);
    // The rest of the failing batch and the later batches wrote nothing.
    EXPECT_LT(PostsOf(loop, WM_APP_BYTESSENT).size(), 3u);
}

TEST(WriterQueue, DropQueuedKindKeepsTheOthersInOrder) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow);
    auto a = Message(vkBoardStrokes, 20, 0xA1);
    auto f1 = Message(vkAppShareFrame, 300, 0xF1);
    auto b = Message(vkHeartBeat, 0, 0);
    auto f2 = Message(vkAppShareFrame, 5, 0xF2);
    auto c = Message(vkTextMessage, 23, 0xC3);
    for (auto* m : {&a, &f1, &b, &f2, &c}) Append(w, *m);
    EXPECT_EQ(w.QueuedBytes(), int64_t(a.size() + f1.size() + b.size() + f2.size() + c.size()));
    w.DropQueuedKind(vkKind148);  // none of that kind: unchanged
    EXPECT_EQ(w.QueuedBytes(), int64_t(a.size() + f1.size() + b.size() + f2.size() + c.size()));
    EXPECT_TRUE(w.HasQueuedKind(vkAppShareFrame));
    EXPECT_TRUE(w.HasQueuedKind(vkTextMessage));  // the last message counts too
    w.DropQueuedKind(vkAppShareFrame);
    EXPECT_EQ(w.QueuedBytes(), int64_t(a.size() + b.size() + c.size()));
    EXPECT_FALSE(w.HasQueuedKind(vkAppShareFrame));
    EXPECT_FALSE(w.HasQueuedKind(vkKind148));
    w.Resume();
    std::vector<uint8_t> expect = a;
    expect.insert(expect.end(), b.begin(), b.end());
    expect.insert(expect.end(), c.begin(), c.end());
    std::vector<uint8_t> got(expect.size());
    ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
    EXPECT_EQ(got, expect);

    TVCRWriterThread only(&p.client, loop, kMainWindow);
    Append(only, f1);
    Append(only, f2);
    only.DropQueuedKind(vkAppShareFrame);
    EXPECT_EQ(only.QueuedBytes(), 0);
}

// A burst larger than a few queue chunks (one message larger than a chunk): every message goes out
// whole and in order, a dropped kind leaves from every chunk, and steps that do not match the
// chunks' ends still carry a tenth of the rate each.
TEST(WriterQueue, BurstOverManyChunksGoesOutWholeAndInOrder) {
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, kMainWindow);
    w.SetSendRate(1000030);  // steps of 100003 bytes
    std::vector<uint8_t> expect;
    size_t frames = 0;
    for (int i = 0; i < 40; ++i) {
        const bool frame = i % 3 == 0;
        const size_t body = frame ? 60000 + size_t(i) * 7 : i == 20 ? TVCRWriterThread::kChunkBytes + 5 : size_t(i) * 11;
        auto m = Message(frame ? vkAppShareFrame : vkTextMessage, body, uint8_t(i));
        TVCRHeader h;
        ASSERT_TRUE(TVCRHeader::Decode(m, h));
        w.AppendMessage(std::span(m).first(TVCRHeader::kSize), std::span(m).subspan(TVCRHeader::kSize));
        if (frame) ++frames;
        else expect.insert(expect.end(), m.begin(), m.end());
    }
    ASSERT_GT(frames, 0u);
    w.DropQueuedKind(vkAppShareFrame);
    EXPECT_FALSE(w.HasQueuedKind(vkAppShareFrame));
    EXPECT_TRUE(w.HasQueuedKind(vkTextMessage));
    EXPECT_EQ(w.QueuedBytes(), int64_t(expect.size()));
    w.Resume();
    std::vector<uint8_t> got(expect.size());
    ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
    EXPECT_EQ(got, expect);
    const size_t steps = (expect.size() + 100002) / 100003;
    ASSERT_TRUE(WaitForPosts(loop, WM_APP_BYTESSENT, steps));
    auto sent = PostsOf(loop, WM_APP_BYTESSENT);
    ASSERT_EQ(sent.size(), steps);
    for (size_t i = 0; i + 1 < steps; ++i) EXPECT_EQ(sent[i].wParam, 100003);
    EXPECT_EQ(size_t(sent.back().wParam), expect.size() - (steps - 1) * 100003);
}
