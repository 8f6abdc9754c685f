#include "loop/plain_event_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace orb {

// Lives on the caller's stack: the caller does not return while the call is queued or running.
struct PlainEventLoop::SyncCall {
    const std::function<void()>* fn = nullptr;
    uint64_t seq = 0;
    enum State { Pending, Running, Done, Abandoned };
    std::atomic<State> state{Pending};
};

PlainEventLoop::PlainEventLoop(IClock& clock) : clock_(clock), owner_(std::this_thread::get_id()) {}

PlainEventLoop::~PlainEventLoop() { Shutdown(); }

WindowHandle PlainEventLoop::RegisterWindow(MessageHandler handler) {
    std::lock_guard lk(mu_);
    WindowHandle h = nextWindow_++;
    windows_[h] = std::make_shared<MessageHandler>(std::move(handler));
    return h;
}

void PlainEventLoop::UnregisterWindow(WindowHandle window) {
    std::lock_guard lk(mu_);
    windows_.erase(window);
}

void PlainEventLoop::Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
    {
        std::lock_guard lk(mu_);
        posts_.push_back({target, msg, wParam, lParam, clock_.NowMs(), nextSeq_++});
        hasWork_.store(true);
    }
    work_.notify_one();
}

bool PlainEventLoop::InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel) {
    if (InMainThread()) {
        if (cancel && cancel->load()) return false;
        fn();
        return true;
    }
    SyncCall call;
    call.fn = &fn;
    std::unique_lock lk(mu_);
    if (shutdown_ || (cancel && cancel->load())) return false;
    call.seq = nextSeq_++;
    calls_.push_back(&call);
    hasWork_.store(true);
    lk.unlock();
    work_.notify_one();
    // The main thread usually answers within microseconds: look a few times before sleeping.
    for (int i = 0; i < kSpins && call.state.load() < SyncCall::Done; ++i) std::this_thread::yield();
    lk.lock();
    while (call.state == SyncCall::Pending || call.state == SyncCall::Running) {
        if (call.state == SyncCall::Pending && (shutdown_ || (cancel && cancel->load()))) {
            // Not started, so it never will be: take it out of the queue, since it lives on this
            // stack. A call already running is waited for, since it may use the caller's stack too.
            calls_.erase(std::find(calls_.begin(), calls_.end(), &call));
            return false;
        }
        // Completion is notified; the time-out only notices a cancel flag set by another thread.
        done_.wait_for(lk, std::chrono::milliseconds(10));
    }
    return call.state == SyncCall::Done;
}

TimerId PlainEventLoop::SetTimer(int64_t intervalMs, std::function<void()> fn) {
    std::lock_guard lk(mu_);
    if (intervalMs < 1) intervalMs = 1;
    TimerId id = nextTimer_++;
    timers_[id] = Timer{intervalMs, clock_.NowMs() + intervalMs, std::make_shared<std::function<void()>>(std::move(fn))};
    return id;
}

void PlainEventLoop::KillTimer(TimerId id) {
    std::lock_guard lk(mu_);
    timers_.erase(id);
}

int PlainEventLoop::ProcessPending() {
    int ran = 0;
    std::unique_lock lk(mu_);
    hasWork_.store(false);
    // Posts and calls run in the order they arrived, as the Qt loop's one event queue runs them;
    // calls that arrive while this round runs are run in it too, after the posts taken for it.
    std::deque<PostedMessage> posts;
    posts.swap(posts_);
    while (!calls_.empty() || !posts.empty()) {
        // A call that arrived during this round runs after every post made before it, also those
        // that arrived during the round.
        if (!calls_.empty())
            while (!posts_.empty() && posts_.front().seq < calls_.front()->seq) {
                posts.push_back(posts_.front());
                posts_.pop_front();
            }
        if (!calls_.empty() && (posts.empty() || calls_.front()->seq < posts.front().seq)) {
            SyncCall* call = calls_.front();
            calls_.pop_front();
            call->state = SyncCall::Running;
            lk.unlock();
            try {
                (*call->fn)();
            } catch (...) {
            }
            lk.lock();
            call->state = SyncCall::Done;  // the caller may return (and free the call) from here on
            lk.unlock();
            done_.notify_all();
            lk.lock();
            ++ran;
            continue;
        }
        PostedMessage m = posts.front();
        posts.pop_front();
        auto it = windows_.find(m.target);
        if (it == windows_.end()) {
            log_.push_back(m);
            continue;
        }
        auto handler = it->second;
        lk.unlock();
        try {
            (*handler)(m.msg, m.wParam, m.lParam);
        } catch (...) {
            ReportLoopFailure("handler of message", m.msg);
        }
        lk.lock();
        ++ran;
    }
    int64_t now = clock_.NowMs();
    std::vector<std::pair<TimerId, std::shared_ptr<std::function<void()>>>> due;
    for (auto& [id, t] : timers_) {
        if (t.due <= now) {
            due.emplace_back(id, t.fn);
            // A timer that fell far behind fires once, then keeps its period from now.
            t.due = now + t.interval;
        }
    }
    lk.unlock();
    for (auto& [id, fn] : due) {
        {
            std::lock_guard g(mu_);
            if (!timers_.count(id)) continue;  // killed by an earlier timer in this round
        }
        try {
            (*fn)();
        } catch (...) {
            ReportLoopFailure("timer", unsigned(id));
        }
        ++ran;
    }
    return ran;
}

bool PlainEventLoop::RunUntil(const std::function<bool()>& pred, int64_t timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        ProcessPending();
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        for (int i = 0; i < kSpins && !hasWork_.load(); ++i) std::this_thread::yield();
        std::unique_lock lk(mu_);
        work_.wait_for(lk, std::chrono::milliseconds(2), [&] { return !posts_.empty() || !calls_.empty(); });
    }
}

void PlainEventLoop::Shutdown() {
    {
        std::lock_guard lk(mu_);
        shutdown_ = true;
        for (SyncCall* c : calls_) c->state = SyncCall::Abandoned;
        calls_.clear();
    }
    done_.notify_all();
    work_.notify_all();
}

std::vector<PostedMessage> PlainEventLoop::TakeLog() {
    std::lock_guard lk(mu_);
    std::vector<PostedMessage> out;
    out.swap(log_);
    return out;
}

std::vector<PostedMessage> PlainEventLoop::Log() const {
    std::lock_guard lk(mu_);
    return log_;
}

}  // namespace orb
