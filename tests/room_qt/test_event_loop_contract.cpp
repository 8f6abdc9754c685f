// The event-loop interface's contract, run against both implementations: the plain loop the tests
// use and the Qt loop the program runs on. Whatever passes here holds for a component on either.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "qt_event_loop.h"

using namespace orb;

namespace {

struct PlainLoop {
    FakeClock clock;
    PlainEventLoop loop{clock};
    bool Pump(const std::function<bool()>& pred, int limitMs = 5000) { return loop.RunUntil(pred, limitMs); }
    // Lets the loop run whatever it would run now and a little later.
    void Settle() {
        for (int i = 0; i < 5; ++i) loop.RunUntil([] { return false; }, 5);
    }
};

struct QtLoop {
    FakeClock clock;
    QtEventLoop loop{clock};
    bool Pump(const std::function<bool()>& pred, int limitMs = 5000) {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > limitMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    void Settle() {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

template <class L>
class EventLoopContract : public ::testing::Test {
protected:
    L l_;
};

using Loops = ::testing::Types<PlainLoop, QtLoop>;
TYPED_TEST_SUITE(EventLoopContract, Loops);

using Got = std::vector<std::tuple<uint32_t, std::intptr_t, std::intptr_t>>;

}  // namespace

TYPED_TEST(EventLoopContract, AnyMessageNumberReachesItsTargetOnceAndInOrder) {
    auto& loop = this->l_.loop;
    // Device notices lie below the window-message range; every number must arrive all the same.
    const std::vector<uint32_t> numbers = {0,      1,          0x3BD,          0x3C0,      999,         1000,
                                           0x7FFF, WM_APP,     WM_APP_AUDIOSTATE, WM_APP + 59, 0xFFFF, 0x10000,
                                           0x7FFFFFFF, 0xFFFFFFFF};
    Got a, b;
    const WindowHandle ha = loop.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) {
        EXPECT_TRUE(loop.InMainThread());
        a.emplace_back(m, w, l);
    });
    const WindowHandle hb = loop.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) { b.emplace_back(m, w, l); });
    Got wantA, wantB;
    constexpr int kRounds = 20;
    std::thread poster([&] {
        for (int r = 0; r < kRounds; ++r)
            for (size_t i = 0; i < numbers.size(); ++i) {
                const std::intptr_t w = r * 100 + std::intptr_t(i), l = -w;
                const bool toA = (i + r) % 3 != 0;
                loop.Post(toA ? ha : hb, numbers[i], w, l);
                (toA ? wantA : wantB).emplace_back(numbers[i], w, l);
            }
    });
    poster.join();
    ASSERT_TRUE(this->l_.Pump([&] { return a.size() >= wantA.size() && b.size() >= wantB.size(); }))
        << "got " << a.size() << " of " << wantA.size() << " and " << b.size() << " of " << wantB.size();
    this->l_.Settle();
    EXPECT_EQ(a, wantA);
    EXPECT_EQ(b, wantB);
    loop.UnregisterWindow(ha);
    loop.UnregisterWindow(hb);
}

TYPED_TEST(EventLoopContract, PostsAndSynchronousCallsRunInTheOrderTheyWereMade) {
    auto& loop = this->l_.loop;
    std::vector<std::string> order;
    const WindowHandle h = loop.RegisterWindow([&](uint32_t m, std::intptr_t, std::intptr_t) {
        order.push_back("post " + std::to_string(m));
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            loop.Post(h, uint32_t(10 + i), 0, 0);
            loop.Post(h, uint32_t(20 + i), 0, 0);
            loop.InvokeSync([&, i] { order.push_back("call " + std::to_string(i)); });
        }
        done = true;
    });
    ASSERT_TRUE(this->l_.Pump([&] { return done.load(); }));
    worker.join();
    this->l_.Pump([&] { return order.size() >= 9; });
    EXPECT_EQ(order, (std::vector<std::string>{"post 10", "post 20", "call 0", "post 11", "post 21", "call 1",
                                               "post 12", "post 22", "call 2"}));
    loop.UnregisterWindow(h);
}

TYPED_TEST(EventLoopContract, AWindowGoneOrAHandlerThatThrowsStopsNothingElse) {
    auto& loop = this->l_.loop;
    std::vector<uint32_t> got, gone;
    const WindowHandle h = loop.RegisterWindow([&](uint32_t m, std::intptr_t, std::intptr_t) {
        got.push_back(m);
        if (m == 0x3BD) throw std::runtime_error("handler failed");
    });
    const WindowHandle g = loop.RegisterWindow([&](uint32_t m, std::intptr_t, std::intptr_t) { gone.push_back(m); });
    loop.Post(g, 1, 0, 0);
    loop.UnregisterWindow(g);  // what is still queued for it is dropped
    loop.Post(g, 2, 0, 0);
    for (uint32_t m : {0x3C0u, 0x3BDu, WM_APP_AUDIOSTATE, 0x3BDu, 7u}) loop.Post(h, m, 0, 0);
    ASSERT_TRUE(this->l_.Pump([&] { return got.size() >= 5; }));
    this->l_.Settle();
    EXPECT_EQ(got, (std::vector<uint32_t>{0x3C0, 0x3BD, WM_APP_AUDIOSTATE, 0x3BD, 7}));
    EXPECT_TRUE(gone.empty());
    loop.UnregisterWindow(h);
}

TYPED_TEST(EventLoopContract, TimersFireOnTheLoopsClock) {
    auto& loop = this->l_.loop;
    FakeClock& clock = this->l_.clock;
    int ticks = 0, other = 0;
    TimerId id = loop.SetTimer(1000, [&] {
        EXPECT_TRUE(loop.InMainThread());
        ++ticks;
    });
    TimerId fromWorker = 0;
    std::thread([&] { fromWorker = loop.SetTimer(250, [&] { ++other; }); }).join();
    this->l_.Settle();
    EXPECT_EQ(ticks, 0) << "the clock has not moved";
    EXPECT_EQ(other, 0);
    clock.Advance(999);
    this->l_.Settle();
    EXPECT_EQ(ticks, 0);
    clock.Advance(1);
    ASSERT_TRUE(this->l_.Pump([&] { return ticks == 1; }));
    EXPECT_GE(other, 1);
    // Far behind: one tick, then the period counts from now.
    clock.Advance(10000);
    ASSERT_TRUE(this->l_.Pump([&] { return ticks == 2; }));
    this->l_.Settle();
    EXPECT_EQ(ticks, 2);
    loop.KillTimer(fromWorker);
    loop.KillTimer(id);
    const int otherBefore = other;
    clock.Advance(5000);
    this->l_.Settle();
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(other, otherBefore);
}

TYPED_TEST(EventLoopContract, InvokeSyncRunsInTheMainThreadAndReturnsAtOnceAfterShutdown) {
    auto& loop = this->l_.loop;
    std::atomic<bool> ranInMain{false}, result{false}, returned{false};
    std::thread t([&] {
        result = loop.InvokeSync([&] { ranInMain = loop.InMainThread(); });
        returned = true;
    });
    ASSERT_TRUE(this->l_.Pump([&] { return returned.load(); }));
    t.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranInMain);

    loop.Shutdown();
    // Nobody runs the loop from here on: the caller must come back by itself, without its call.
    std::atomic<bool> ran{false};
    std::thread([&] { result = loop.InvokeSync([&] { ran = true; }); }).join();
    EXPECT_FALSE(result);
    this->l_.Settle();
    EXPECT_FALSE(ran);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#if defined(__SANITIZE_THREAD__)
    // Qt is not built for the race detector, so the locking of its event queue is invisible to it:
    // under it only the plain loop (all our own code) is checked.
    ::testing::GTEST_FLAG(filter) = "EventLoopContract/0.*";
#endif
    return RUN_ALL_TESTS();
}
