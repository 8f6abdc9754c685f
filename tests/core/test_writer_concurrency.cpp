// Several threads appending at once: every message arrives whole, each thread's messages in order.
// Also runs under ThreadSanitizer.

#include <gtest/gtest.h>

#include <thread>

#include "loop/plain_event_loop.h"
#include "loopback_pair.h"
#include "protocol/vcr_header.h"
#include "sendqueue/vcr_writer_thread.h"

using namespace orb;

TEST(WriterConcurrency, AppendsFromManyThreadsNeverInterleave) {
    constexpr int kThreads = 6;
    constexpr int kPerThread = 300;
    LoopbackPair p;
    ASSERT_TRUE(p.Open());
    FakeClock clock;  // pacing sleeps cost no real time
    PlainEventLoop loop(clock);
    TVCRWriterThread w(&p.client, loop, 1);
    w.SetSendRate(100'000'000);
    w.Resume();

    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                TVCRHeader h;
                h.kind = uint16_t(100 + t);
                h.sender = i;
                size_t len = size_t((i * 37 + t * 11) % 700);
                h.bodyLength = int32_t(len);
                std::vector<uint8_t> head;
                h.AppendTo(head);
                std::vector<uint8_t> body(len, uint8_t(t * 16 + i % 16));
                // Header and body as two appends under one lock, as a sender may do.
                w.LockQueue();
                w.AppendToQueue(head.data(), head.size());
                w.AppendToQueue(body.data(), body.size());
                w.UnlockQueue();
                if (i % 50 == 0) (void)w.QueuedBytes();
            }
        });
    }
    std::vector<int> next(kThreads, 0);
    for (int n = 0; n < kThreads * kPerThread; ++n) {
        uint8_t hb[TVCRHeader::kSize];
        ASSERT_TRUE(p.server.ReadExact(hb, sizeof hb));
        TVCRHeader h;
        ASSERT_TRUE(TVCRHeader::Decode(hb, h));
        int t = h.kind - 100;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        ASSERT_EQ(h.sender, next[t]) << "messages of one thread out of order";
        size_t len = size_t((h.sender * 37 + t * 11) % 700);
        ASSERT_EQ(size_t(h.bodyLength), len);
        std::vector<uint8_t> body(len);
        ASSERT_TRUE(p.server.ReadExact(body.data(), body.size()));
        for (uint8_t b : body) ASSERT_EQ(b, uint8_t(t * 16 + h.sender % 16));
        ++next[t];
    }
    for (auto& s : senders) s.join();
}
