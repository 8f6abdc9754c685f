#include <gtest/gtest.h>

#include <thread>

#include "loop/plain_event_loop.h"

using namespace orb;

TEST(PlainEventLoop, PostsReachRegisteredWindowsAndTheRestAreLogged) {
    PlainEventLoop loop;
    std::vector<uint32_t> got;
    auto w = loop.RegisterWindow([&](uint32_t m, std::intptr_t, std::intptr_t) { got.push_back(m); });
    std::thread t([&] {
        loop.Post(w, 1, 0, 0);
        loop.Post(999, 2, 5, 6);
    });
    t.join();
    loop.ProcessPending();
    EXPECT_EQ(got, std::vector<uint32_t>{1});
    auto log = loop.TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].msg, 2u);
    EXPECT_EQ(log[0].lParam, 6);
}

TEST(PlainEventLoop, InvokeSyncRunsInTheMainThreadAndCancelReleasesTheCaller) {
    PlainEventLoop loop;
    auto mainId = std::this_thread::get_id();
    bool ranInMain = false;
    bool result = false;
    std::thread t([&] { result = loop.InvokeSync([&] { ranInMain = std::this_thread::get_id() == mainId; }); });
    ASSERT_TRUE(loop.RunUntil([&] { return ranInMain; }));
    t.join();
    EXPECT_TRUE(result);

    std::atomic<bool> cancel{false};
    bool ran = false;
    std::thread t2([&] { result = loop.InvokeSync([&] { ran = true; }, &cancel); });
    cancel = true;  // the main thread never processes: the caller must come back by itself
    t2.join();
    EXPECT_FALSE(result);
    loop.ProcessPending();
    EXPECT_FALSE(ran);
}

TEST(PlainEventLoop, TimersFollowTheInjectedClock) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    int fired = 0;
    auto id = loop.SetTimer(1000, [&] { ++fired; });
    loop.ProcessPending();
    EXPECT_EQ(fired, 0);
    clock.Advance(1000);
    loop.ProcessPending();
    EXPECT_EQ(fired, 1);
    clock.Advance(999);
    loop.ProcessPending();
    EXPECT_EQ(fired, 1);
    loop.KillTimer(id);
    clock.Advance(5000);
    loop.ProcessPending();
    EXPECT_EQ(fired, 1);
}

TEST(PlainEventLoop, ShutdownReleasesWaitingCallersAndRefusesNewOnes) {
    PlainEventLoop loop;
    std::atomic<int> results{0};
    bool ran = false;
    std::vector<std::thread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([&] {
            if (!loop.InvokeSync([&] { ran = true; })) ++results;
        });
    // Let them queue, then shut down without ever processing.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Shutdown();
    for (auto& t : callers) t.join();
    EXPECT_EQ(results.load(), 3);
    std::thread late([&] { EXPECT_FALSE(loop.InvokeSync([&] { ran = true; })); });
    late.join();
    loop.ProcessPending();
    EXPECT_FALSE(ran);
}
