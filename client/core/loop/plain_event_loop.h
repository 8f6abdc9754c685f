#pragma once
// An event loop without a GUI: the thread that constructs it is the main thread and runs queued
// work by calling ProcessPending / RunUntil. Posts to unregistered handles are kept in a log, so
// tests can check what a component notified.

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "loop/event_loop.h"

namespace orb {

struct PostedMessage {
    WindowHandle target = 0;
    uint32_t msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    int64_t timeMs = 0;  // clock time at posting
    uint64_t seq = 0;    // arrival order among posts and synchronous calls
};

class PlainEventLoop final : public IEventLoop {
public:
    explicit PlainEventLoop(IClock& clock = SystemClock::Instance());
    ~PlainEventLoop() override;

    WindowHandle RegisterWindow(MessageHandler handler) override;
    void UnregisterWindow(WindowHandle window) override;
    void Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) override;
    bool InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel = nullptr) override;
    TimerId SetTimer(int64_t intervalMs, std::function<void()> fn) override;
    void KillTimer(TimerId id) override;
    IClock& Clock() override { return clock_; }
    bool InMainThread() const override { return std::this_thread::get_id() == owner_; }

    // Runs everything queued so far and every timer that is due; returns how many items ran.
    int ProcessPending();
    // Processes until pred() holds or timeoutMs of real time passed; returns pred().
    bool RunUntil(const std::function<bool()>& pred, int64_t timeoutMs = 5000);
    // Refuses further synchronous calls and releases those waiting (used at shut-down).
    void Shutdown();

    // Messages posted to handles with no registered handler (for example a window that only a test
    // stands in for), in posting order.
    std::vector<PostedMessage> TakeLog();
    std::vector<PostedMessage> Log() const;

private:
    struct SyncCall;
    struct Timer {
        int64_t interval;
        int64_t due;
        std::shared_ptr<std::function<void()>> fn;
    };

    IClock& clock_;
    std::thread::id owner_;
    mutable std::mutex mu_;
    std::condition_variable work_;  // the main thread waits here for posts and calls
    std::condition_variable done_;  // callers of InvokeSync wait here for their call
    std::deque<PostedMessage> posts_;
    std::deque<SyncCall*> calls_;
    std::map<WindowHandle, std::shared_ptr<MessageHandler>> windows_;
    std::vector<PostedMessage> log_;
    std::map<TimerId, Timer> timers_;
    WindowHandle nextWindow_ = 1;
    TimerId nextTimer_ = 1;
    uint64_t nextSeq_ = 1;
    bool shutdown_ = false;
    std::atomic<bool> hasWork_{false};  // a post or call arrived since ProcessPending last looked
    // Yields a waiting side makes before it sleeps: a synchronous hand-off is usually answered
    // within microseconds, and sleeping costs two context switches per message.
    static constexpr int kSpins = 64;
};

}  // namespace orb
