#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "protocol/wm_app.h"
#include "qt_event_loop.h"

using namespace orb;

namespace {

// Processes Qt events until pred holds or a generous real-time limit passes.
bool SpinUntil(const std::function<bool()>& pred, int limitMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct MessageWindow : QObject {
    std::vector<std::tuple<int, std::intptr_t, std::intptr_t>> got;
    bool event(QEvent* e) override {
        if (auto* m = dynamic_cast<TWindowMessageEvent*>(e)) {
            got.emplace_back(int(m->Msg()), m->WParam(), m->LParam());
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

TEST(QtEventLoop, PostedMessagesArriveInOrderAsEventsCarryingTheirNumber) {
    QtEventLoop loop;
    MessageWindow window;
    auto h = loop.RegisterObject(&window);
    std::vector<uint32_t> viaHandler;
    auto h2 = loop.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) {
        EXPECT_TRUE(loop.InMainThread());
        viaHandler.push_back(m + uint32_t(w) + uint32_t(l));
    });
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) loop.Post(h, WM_APP_CONNECTIONLOST, i, -i);
        loop.Post(h2, WM_APP_ROOMLIST, 1, 2);
        loop.Post(12345678, WM_APP_ROOMLIST, 0, 0);  // unknown handle: dropped
    });
    worker.join();
    ASSERT_TRUE(SpinUntil([&] { return window.got.size() == 50 && viaHandler.size() == 1; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(std::get<0>(window.got[i]), int(WM_APP_CONNECTIONLOST));
        EXPECT_EQ(std::get<1>(window.got[i]), i);
        EXPECT_EQ(std::get<2>(window.got[i]), -i);
    }
    EXPECT_EQ(viaHandler[0], WM_APP_ROOMLIST + 3);
}

TEST(QtEventLoop, UnregisteredOrDestroyedWindowsReceiveNothingMore) {
    QtEventLoop loop;
    int count = 0;
    auto h = loop.RegisterWindow([&](uint32_t, std::intptr_t, std::intptr_t) { ++count; });
    loop.Post(h, WM_APP_HOOKKEY, 0, 0);
    loop.UnregisterWindow(h);  // also drops what is still queued
    loop.Post(h, WM_APP_HOOKKEY, 0, 0);
    auto* window = new MessageWindow;
    auto h2 = loop.RegisterObject(window);
    loop.Post(h2, WM_APP_HOOKKEY, 0, 0);
    delete window;
    loop.Post(h2, WM_APP_HOOKKEY, 0, 0);  // must not touch the dead object
    // Unregistered from a worker thread with messages queued: none is delivered.
    auto h3 = loop.RegisterWindow([&](uint32_t, std::intptr_t, std::intptr_t) { ++count; });
    loop.Post(h3, WM_APP_HOOKKEY, 0, 0);
    std::thread([&] { loop.UnregisterWindow(h3); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 0);
}

TEST(QtEventLoop, InvokeSyncRunsInTheMainThreadAndCancelOrShutdownReleaseTheCaller) {
    QtEventLoop loop;
    std::atomic<bool> ranInMain{false};
    std::atomic<bool> result{false};
    std::thread t([&] { result = loop.InvokeSync([&] { ranInMain = loop.InMainThread(); }); });
    ASSERT_TRUE(SpinUntil([&] { return ranInMain.load(); }));
    t.join();
    EXPECT_TRUE(result);

    // The main thread is busy joining: the cancel flag alone must bring the worker back.
    std::atomic<bool> cancel{false};
    std::atomic<bool> ran{false};
    std::atomic<bool> started{false};
    std::thread t2([&] {
        started = true;
        result = loop.InvokeSync([&] { ran = true; }, &cancel);
    });
    while (!started) std::this_thread::yield();
    cancel = true;
    t2.join();
    EXPECT_FALSE(result);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);

    std::thread t3([&] { result = loop.InvokeSync([&] { ran = true; }); });
    loop.Shutdown();
    t3.join();
    EXPECT_FALSE(result);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(QtEventLoop, AWindowMayUnregisterItselfInItsOwnHandler) {
    QtEventLoop loop;
    // The handler's captures stand for the receiver: they live exactly as long as it does.
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> alive = token;
    int count = 0;
    WindowHandle h = 0;
    h = loop.RegisterWindow([&, token](uint32_t, std::intptr_t, std::intptr_t) {
        ++count;
        loop.UnregisterWindow(h);
        // Still running: the receiver and the handler's captures must not be gone yet.
        EXPECT_FALSE(alive.expired());
        EXPECT_EQ(*token, 0);
        loop.Post(h, WM_APP_HOOKKEY, 0, 0);  // to a handle that is no longer there
    });
    token.reset();
    for (int i = 0; i < 3; ++i) loop.Post(h, WM_APP_HOOKKEY, i, 0);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(alive.expired());  // deleted once its handler had returned

    // Unregistered from another thread while its handler runs a nested event loop (a modal
    // dialog): the deletion that request queues runs in that nested loop, and must wait too.
    auto token2 = std::make_shared<int>(0);
    std::weak_ptr<int> alive2 = token2;
    int count2 = 0;
    WindowHandle h2 = 0;
    h2 = loop.RegisterWindow([&, token2](uint32_t, std::intptr_t, std::intptr_t) {
        ++count2;
        std::thread([&] { loop.UnregisterWindow(h2); }).join();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        EXPECT_FALSE(alive2.expired());
    });
    token2.reset();
    loop.Post(h2, WM_APP_HOOKKEY, 0, 0);
    loop.Post(h2, WM_APP_HOOKKEY, 1, 0);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(count2, 1);
    EXPECT_TRUE(alive2.expired());
}

TEST(QtEventLoop, AStartedCallIsWaitedForEvenWhenCancelledOrShutDownMeanwhile) {
    for (bool byShutdown : {false, true}) {
        QtEventLoop loop;
        std::atomic<bool> cancel{false};
        std::atomic<bool> returned{false};
        bool result = false;
        int onCallerStack = 0;
        int* target = nullptr;
        std::thread worker([&] {
            int value = 0;
            target = &value;
            result = loop.InvokeSync([&] {
                if (byShutdown) loop.Shutdown();
                else cancel = true;
                // The caller must not have returned: the call still uses its stack.
                EXPECT_FALSE(SpinUntil([&] { return returned.load(); }, 50));
                *target = 7;
            }, &cancel);
            onCallerStack = value;
            returned = true;
        });
        ASSERT_TRUE(SpinUntil([&] { return returned.load(); }));
        worker.join();
        EXPECT_TRUE(result);
        EXPECT_EQ(onCallerStack, 7);
    }
}

TEST(QtEventLoop, ManyCallersAreServedAndCallsQueuedDuringACallRunInItsNestedLoop) {
    QtEventLoop loop;
    constexpr int kCallers = 4, kCalls = 300;
    std::vector<int> done(kCallers, 0);  // touched only in the main thread
    std::atomic<int> finished{0};
    std::atomic<bool> nestedStarted{false};
    std::atomic<bool> nestedSawOthers{false};
    std::vector<std::thread> workers;
    for (int c = 0; c < kCallers; ++c) {
        workers.emplace_back([&, c] {
            // The others start once the first caller's call is running its nested loop.
            while (c != 0 && !nestedStarted) std::this_thread::yield();
            for (int i = 0; i < kCalls; ++i) {
                bool ok = loop.InvokeSync([&] {
                    EXPECT_TRUE(loop.InMainThread());
                    EXPECT_EQ(done[c], i);  // each caller's calls run once, in order
                    ++done[c];
                    if (c == 0 && i == 0) {
                        // A call that runs an event loop of its own (a modal dialog): the other
                        // callers' calls queued meanwhile must run in it, not wait for it.
                        nestedStarted = true;
                        nestedSawOthers = SpinUntil([&] { return done[1] >= 10; });
                    }
                });
                EXPECT_TRUE(ok);
            }
            ++finished;
        });
    }
    EXPECT_TRUE(SpinUntil([&] { return finished.load() == kCallers; }, 20000));
    for (auto& w : workers) w.join();
    EXPECT_TRUE(nestedSawOthers);
    for (int c = 0; c < kCallers; ++c) EXPECT_EQ(done[c], kCalls);
}

TEST(QtEventLoop, TimersTickInTheMainThreadUntilKilledEvenFromTheirOwnTick) {
    QtEventLoop loop;
    int ticks = 0;
    TimerId id = 0;
    id = loop.SetTimer(1, [&] {
        EXPECT_TRUE(loop.InMainThread());
        if (++ticks == 3) loop.KillTimer(id);
    });
    ASSERT_TRUE(SpinUntil([&] { return ticks >= 3; }));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(ticks, 3);

    // A timer set from a worker thread still ticks in the main thread.
    std::atomic<int> workerTicks{0};
    TimerId wid = 0;
    std::thread t([&] { wid = loop.SetTimer(1, [&] { EXPECT_TRUE(loop.InMainThread()); ++workerTicks; }); });
    t.join();
    ASSERT_TRUE(SpinUntil([&] { return workerTicks.load() >= 1; }));
    loop.KillTimer(wid);
}

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
