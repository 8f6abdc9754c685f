#include "qt_event_loop.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace orb {

namespace {
const QEvent::Type kRunCallsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

struct QtEventLoop::SyncCall {
    std::function<void()> fn;
    enum State { Pending, Running, Done, Abandoned } state = Pending;
};

// Receiver of the messages for a window registered by handler function.
class QtEventLoop::HandlerObject final : public QObject {
public:
    explicit HandlerObject(MessageHandler handler) : handler_(std::move(handler)) {}
    bool event(QEvent* e) override {
        if (auto* m = dynamic_cast<TWindowMessageEvent*>(e)) {
            handler_(m->Msg(), m->WParam(), m->LParam());
            return true;
        }
        return QObject::event(e);
    }

private:
    MessageHandler handler_;
};

QtEventLoop::QtEventLoop(IClock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

QtEventLoop::~QtEventLoop() {
    Shutdown();
    std::map<WindowHandle, QObject*> owned;
    std::map<TimerId, QObject*> timers;
    {
        std::lock_guard lk(mu_);
        owned.swap(ownedReceivers_);
        timers.swap(timers_);
        windows_.clear();
    }
    for (auto& [h, o] : owned) delete o;
    for (auto& [id, t] : timers) delete t;
}

bool QtEventLoop::InMainThread() const { return QThread::currentThread() == thread(); }

WindowHandle QtEventLoop::RegisterWindow(MessageHandler handler) {
    auto* receiver = new HandlerObject(std::move(handler));
    if (!InMainThread()) receiver->moveToThread(thread());
    std::lock_guard lk(mu_);
    WindowHandle h = nextWindow_++;
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
    QObject* owned = nullptr;
    {
        std::lock_guard lk(mu_);
        windows_.erase(window);
        auto it = ownedReceivers_.find(window);
        if (it != ownedReceivers_.end()) {
            owned = it->second;
            ownedReceivers_.erase(it);
        }
    }
    // Deleting the receiver also drops the messages still queued for it.
    if (owned) {
        if (InMainThread()) delete owned;
        else owned->deleteLater();
    }
}

void QtEventLoop::Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (!IsValidMessageNumber(msg)) return;
    std::lock_guard lk(mu_);
    auto it = windows_.find(target);
    if (it == windows_.end() || !it->second) return;
    QCoreApplication::postEvent(it->second.data(), new TWindowMessageEvent(msg, wParam, lParam));
}

bool QtEventLoop::InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel) {
    if (InMainThread()) {
        if (cancel && cancel->load()) return false;
        fn();
        return true;
    }
    auto call = std::make_shared<SyncCall>();
    call->fn = fn;
    std::unique_lock lk(mu_);
    if (shutdown_ || (cancel && cancel->load())) return false;
    calls_.push_back(call);
    QCoreApplication::postEvent(this, new QEvent(kRunCallsEvent));
    while (call->state == SyncCall::Pending || call->state == SyncCall::Running) {
        if (call->state == SyncCall::Pending && (shutdown_ || (cancel && cancel->load()))) {
            // Never started, so it never will; a running call is waited for since it may use the
            // caller's stack.
            call->state = SyncCall::Abandoned;
            return false;
        }
        cv_.wait_for(lk, std::chrono::milliseconds(10));
    }
    return call->state == SyncCall::Done;
}

bool QtEventLoop::event(QEvent* e) {
    if (e->type() == kRunCallsEvent) {
        RunQueuedCalls();
        return true;
    }
    return QObject::event(e);
}

void QtEventLoop::RunQueuedCalls() {
    std::unique_lock lk(mu_);
    while (!calls_.empty()) {
        auto call = calls_.front();
        calls_.pop_front();
        if (call->state != SyncCall::Pending) continue;
        call->state = SyncCall::Running;
        lk.unlock();
        try {
            call->fn();
        } catch (...) {
            // A failing call must not leave its caller waiting for ever.
        }
        lk.lock();
        call->state = SyncCall::Done;
        cv_.notify_all();
    }
}

TimerId QtEventLoop::SetTimer(int64_t intervalMs, std::function<void()> fn) {
    if (intervalMs < 1) intervalMs = 1;
    TimerId id;
    {
        std::lock_guard lk(mu_);
        id = nextTimer_++;
        timers_[id] = nullptr;
    }
    auto create = [this, id, intervalMs, fn = std::move(fn)]() mutable {
        std::lock_guard lk(mu_);
        auto it = timers_.find(id);
        if (it == timers_.end()) return;  // killed before it could start
        auto* timer = new QTimer(this);
        timer->setInterval(static_cast<int>(std::min<int64_t>(intervalMs, INT32_MAX)));
        connect(timer, &QTimer::timeout, this, [this, id, fn = std::move(fn)] {
            {
                std::lock_guard g(mu_);
                if (!timers_.count(id)) return;
            }
            fn();
        });
        timer->start();
        it->second = timer;
    };
    if (InMainThread()) create();
    else QMetaObject::invokeMethod(this, std::move(create), Qt::QueuedConnection);
    return id;
}

void QtEventLoop::KillTimer(TimerId id) {
    QObject* timer = nullptr;
    {
        std::lock_guard lk(mu_);
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        timer = it->second;
        timers_.erase(it);
    }
    if (!timer) return;
    // The timer may be the one whose tick is running now.
    if (InMainThread()) static_cast<QTimer*>(timer)->stop();
    timer->deleteLater();
}

void QtEventLoop::Shutdown() {
    {
        std::lock_guard lk(mu_);
        shutdown_ = true;
        for (auto& c : calls_) c->state = SyncCall::Abandoned;
        calls_.clear();
    }
    cv_.notify_all();
}

}  // namespace orb
