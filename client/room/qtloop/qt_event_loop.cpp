#include "qt_event_loop.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

namespace orb {

namespace {
const QEvent::Type kRunCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Runs one synchronous call, named by its number: each call has its event, so it runs in its
// place among the posted messages, and a call withdrawn meanwhile is simply not found.
class TRunCallEvent final : public QEvent {
public:
    explicit TRunCallEvent(uint64_t seq) : QEvent(kRunCallEvent), seq(seq) {}
    const uint64_t seq;
};
// How long a caller yields before it sleeps: waking the Qt loop and running the call usually takes
// tens of microseconds, and sleeping adds a wake-up of its own to every call. Bounded by time, not
// by count, since a yield costs anything from nothing to a time slice on a busy machine.
constexpr std::chrono::microseconds kSpinFor{50};
// How often a caller whose call has not started looks at its cancel flag (a plain atomic, which
// nobody notifies). Completion and shut-down wake it at once.
constexpr std::chrono::milliseconds kCancelPoll{1};
// How often timers look at a clock other than the system's (a test's clock moves in jumps, which no
// Qt timer can wait for).
constexpr int kForeignClockPollMs = 5;

}  // namespace

QEvent::Type TWindowMessageEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Lives on the caller's stack: the caller does not return while the call is queued or running.
struct QtEventLoop::SyncCall {
    const std::function<void()>* fn = nullptr;
    Waiter* waiter = nullptr;
    uint64_t seq = 0;
    enum State { Pending, Running, Done, Abandoned };
    std::atomic<State> state{Pending};  // changed under mu_; read without it while spinning
};

struct QtEventLoop::Waiter {
    std::condition_variable cv;  // waited on with mu_
};

// Receiver of the messages for a window registered by handler function.
class QtEventLoop::HandlerObject final : public QObject {
public:
    HandlerObject(QtEventLoop& loop, MessageHandler handler) : loop_(loop), handler_(std::move(handler)) {}
    ~HandlerObject() override {
        std::lock_guard lk(loop_.mu_);
        auto it = loop_.ownedReceivers_.find(handle);
        if (it != loop_.ownedReceivers_.end() && it->second == this) loop_.ownedReceivers_.erase(it);
    }

    bool event(QEvent* e) override {
        if (e->type() != TWindowMessageEvent::EventType()) return QObject::event(e);
        auto* m = static_cast<TWindowMessageEvent*>(e);
        if (closed.load()) return true;  // unregistered: what was still queued is dropped
        ++depth;
        struct Leave {
            HandlerObject* self;
            ~Leave() {
                // The handler may have unregistered its own window: this object (and the handler
                // with its captures) must outlive the handler's run, so it goes only now.
                if (--self->depth == 0 && self->closed.load()) self->deleteLater();
            }
        } leave{this};
        try {
            handler_(m->Msg(), m->WParam(), m->LParam());
        } catch (...) {
            ReportLoopFailure("handler of message", m->Msg());
        }
        return true;
    }

    WindowHandle handle = 0;
    std::atomic<bool> closed{false};
    int depth = 0;  // main thread only: how many deliveries to this object are running

private:
    QtEventLoop& loop_;
    MessageHandler handler_;
};

QtEventLoop::QtEventLoop(IClock& clock, QObject* parent) : QObject(parent), clock_(clock) {
    pump_ = new QTimer(this);
    pump_->setSingleShot(true);
    pump_->setTimerType(Qt::PreciseTimer);
    connect(pump_, &QTimer::timeout, this, &QtEventLoop::RunDueTimers);
}

QtEventLoop::~QtEventLoop() {
    Shutdown();
    std::map<WindowHandle, HandlerObject*> owned;
    {
        std::lock_guard lk(mu_);
        owned.swap(ownedReceivers_);
        timers_.clear();
        windows_.clear();
    }
    for (auto& [h, o] : owned) delete o;
}

bool QtEventLoop::InMainThread() const { return QThread::currentThread() == thread(); }

WindowHandle QtEventLoop::RegisterWindow(MessageHandler handler) {
    auto* receiver = new HandlerObject(*this, std::move(handler));
    if (!InMainThread()) receiver->moveToThread(thread());
    std::lock_guard lk(mu_);
    WindowHandle h = nextWindow_++;
    receiver->handle = h;
    windows_[h] = receiver;
    ownedReceivers_[h] = receiver;
    return h;
}

WindowHandle QtEventLoop::RegisterObject(QObject* window) {
    WindowHandle h;
    {
        std::lock_guard lk(mu_);
        h = nextWindow_++;
        windows_[h] = window;
    }
    // Direct: runs in the destroying thread before the object is gone, so a concurrent Post (which
    // holds the lock while it posts) never reaches a dead object.
    connect(window, &QObject::destroyed, this, [this, h] {
        std::lock_guard lk(mu_);
        windows_.erase(h);
    }, Qt::DirectConnection);
    return h;
}

void QtEventLoop::UnregisterWindow(WindowHandle window) {
    bool owned = false;
    {
        std::lock_guard lk(mu_);
        windows_.erase(window);
        auto it = ownedReceivers_.find(window);
        if (it != ownedReceivers_.end()) {
            // From here on its event() drops every message, delivered or still queued.
            it->second->closed.store(true);
            owned = true;
        }
    }
    if (!owned) return;
    // Only the main thread deletes a receiver: it alone knows whether the handler is running, and a
    // deferred delete posted from another thread could run inside a nested event loop of that very
    // handler.
    if (InMainThread()) ReapReceiver(window);
    else QMetaObject::invokeMethod(this, [this, window] { ReapReceiver(window); }, Qt::QueuedConnection);
}

void QtEventLoop::ReapReceiver(WindowHandle window) {
    HandlerObject* receiver = nullptr;
    {
        std::lock_guard lk(mu_);
        auto it = ownedReceivers_.find(window);
        if (it == ownedReceivers_.end()) return;
        receiver = it->second;
    }
    // Deleting it also drops the messages still queued for it.
    if (receiver->depth == 0) delete receiver;
}

void QtEventLoop::Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lk(mu_);
    auto it = windows_.find(target);
    if (it == windows_.end() || !it->second) {
        // A window that is gone drops what still comes for it; a handle never handed out is a fault
        // of the poster.
        if (target <= 0 || target >= nextWindow_)
            std::fprintf(stderr, "event loop: message 0x%X posted to window %lld, which was never registered\n",
                         unsigned(msg), static_cast<long long>(target));
        return;
    }
    QCoreApplication::postEvent(it->second.data(), new TWindowMessageEvent(msg, wParam, lParam));
}

bool QtEventLoop::InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel) {
    if (InMainThread()) {
        if (cancel && cancel->load()) return false;
        fn();
        return true;
    }
    SyncCall call;
    call.fn = &fn;
    std::unique_lock lk(mu_);
    if (shutdown_ || (cancel && cancel->load())) return false;
    if (idleWaiters_.empty()) {
        waiters_.push_back(std::make_unique<Waiter>());
        idleWaiters_.push_back(waiters_.back().get());
    }
    call.waiter = idleWaiters_.back();
    idleWaiters_.pop_back();
    call.seq = nextCall_++;
    calls_.push_back(&call);
    lk.unlock();
    QCoreApplication::postEvent(this, new TRunCallEvent(call.seq));
    // The main thread usually answers within tens of microseconds: look for a while before sleeping.
    auto spinUntil = std::chrono::steady_clock::now() + kSpinFor;
    while (call.state.load() < SyncCall::Done && std::chrono::steady_clock::now() < spinUntil) std::this_thread::yield();
    lk.lock();
    SyncCall::State state;
    while (true) {
        state = call.state.load();
        if (state == SyncCall::Done || state == SyncCall::Abandoned) break;
        if (state == SyncCall::Running) {
            // A call that has started is always waited for: it may use the caller's stack.
            call.waiter->cv.wait(lk);
            continue;
        }
        if (shutdown_ || (cancel && cancel->load())) {
            // Not started, so it never will be: take it out of the queue, since it lives on this stack.
            calls_.erase(std::find(calls_.begin(), calls_.end(), &call));
            state = SyncCall::Abandoned;
            break;
        }
        call.waiter->cv.wait_for(lk, kCancelPoll);
    }
    idleWaiters_.push_back(call.waiter);
    return state == SyncCall::Done;
}

bool QtEventLoop::event(QEvent* e) {
    if (e->type() == kRunCallEvent) {
        RunQueuedCall(static_cast<TRunCallEvent*>(e)->seq);
        return true;
    }
    return QObject::event(e);
}

void QtEventLoop::RunQueuedCall(uint64_t seq) {
    std::unique_lock lk(mu_);
    auto it = std::find_if(calls_.begin(), calls_.end(), [seq](SyncCall* c) { return c->seq == seq; });
    if (it == calls_.end()) return;  // withdrawn by its cancelled caller, or abandoned at shut-down
    SyncCall* call = *it;
    calls_.erase(it);
    Waiter* waiter = call->waiter;
    call->state.store(SyncCall::Running);
    lk.unlock();
    try {
        (*call->fn)();
    } catch (...) {
        // A failing call must not leave its caller waiting for ever.
    }
    lk.lock();
    call->state.store(SyncCall::Done);  // the caller may return (and free the call) from here on
    lk.unlock();
    waiter->cv.notify_one();  // the waiter outlives the call
}

TimerId QtEventLoop::SetTimer(int64_t intervalMs, std::function<void()> fn) {
    if (intervalMs < 1) intervalMs = 1;
    TimerId id;
    {
        std::lock_guard lk(mu_);
        id = nextTimer_++;
        timers_[id] = Timer{intervalMs, clock_.NowMs() + intervalMs, std::make_shared<std::function<void()>>(std::move(fn))};
    }
    if (InMainThread()) ArmTimerPump();
    else QMetaObject::invokeMethod(this, [this] { ArmTimerPump(); }, Qt::QueuedConnection);
    return id;
}

void QtEventLoop::KillTimer(TimerId id) {
    // The pump finds nothing due for it; a tick already running goes on to its end.
    std::lock_guard lk(mu_);
    timers_.erase(id);
}

void QtEventLoop::ArmTimerPump() {
    int64_t wait = -1;
    {
        std::lock_guard lk(mu_);
        if (timers_.empty()) {
            pump_->stop();
            return;
        }
        int64_t due = INT64_MAX;
        for (auto& [id, t] : timers_) due = std::min(due, t.due);
        wait = std::max<int64_t>(0, due - clock_.NowMs());
    }
    if (&clock_ != &SystemClock::Instance()) wait = std::min<int64_t>(wait, kForeignClockPollMs);
    pump_->start(static_cast<int>(std::min<int64_t>(wait, INT32_MAX)));
}

void QtEventLoop::RunDueTimers() {
    std::vector<std::pair<TimerId, std::shared_ptr<std::function<void()>>>> due;
    {
        std::lock_guard lk(mu_);
        const int64_t now = clock_.NowMs();
        for (auto& [id, t] : timers_) {
            if (t.due <= now) {
                due.emplace_back(id, t.fn);
                // A timer that fell far behind fires once, then keeps its period from now.
                t.due = now + t.interval;
            }
        }
    }
    // Armed before the ticks run: a tick that runs a modal dialog must not hold the other timers.
    ArmTimerPump();
    for (auto& [id, fn] : due) {
        {
            std::lock_guard lk(mu_);
            if (!timers_.count(id)) continue;  // killed by an earlier tick of this round
        }
        try {
            (*fn)();
        } catch (...) {
            ReportLoopFailure("timer", unsigned(id));
        }
    }
}

void QtEventLoop::Shutdown() {
    std::vector<Waiter*> wake;
    {
        std::lock_guard lk(mu_);
        shutdown_ = true;
        for (SyncCall* c : calls_) {
            wake.push_back(c->waiter);
            c->state.store(SyncCall::Abandoned);
        }
        calls_.clear();
    }
    for (Waiter* w : wake) w->cv.notify_one();
}

}  // namespace orb
