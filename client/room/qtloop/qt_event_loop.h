#pragma once
// orb::IEventLoop over the Qt event loop of the thread that creates it (the main thread):
//  - a notification of any number (WM_APP+n, and the device notices below WM_APP) becomes a posted
//    TWindowMessageEvent of one event type of its own that carries the number;
//  - a synchronous call is queued with an event of its own, so it runs in its place among the
//    posted messages, while the caller waits (and honours the
//    caller's cancel flag, so a stopping worker never keeps its owner from joining it); the call
//    lives on the caller's stack and its caller alone is woken when it is done;
//  - timers fire on the loop's clock, as the plain loop's do.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "loop/event_loop.h"

namespace orb {

// A posted window message. Windows recognise it in event() by its class and read its number from
// Msg(): message numbers are not Qt event types (device notices lie below QEvent::User).
class TWindowMessageEvent final : public QEvent {
public:
    TWindowMessageEvent(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType()), msg_(msg), wParam_(wParam), lParam_(lParam) {}
    static QEvent::Type EventType();
    uint32_t Msg() const { return msg_; }
    std::intptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

private:
    uint32_t msg_;
    std::intptr_t wParam_;
    std::intptr_t lParam_;
};

class QtEventLoop final : public QObject, public IEventLoop {
    Q_OBJECT
public:
    explicit QtEventLoop(IClock& clock = SystemClock::Instance(), QObject* parent = nullptr);
    ~QtEventLoop() override;

    WindowHandle RegisterWindow(MessageHandler handler) override;
    // A window that handles the messages itself: they arrive as TWindowMessageEvent in its event().
    // The handle is dropped by itself when the object is destroyed.
    WindowHandle RegisterObject(QObject* window);
    void UnregisterWindow(WindowHandle window) override;
    void Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) override;
    bool InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel = nullptr) override;
    TimerId SetTimer(int64_t intervalMs, std::function<void()> fn) override;
    void KillTimer(TimerId id) override;
    IClock& Clock() override { return clock_; }
    bool InMainThread() const override;

    // Refuses further synchronous calls and releases those waiting (at shut-down, before the
    // owners of worker threads join them).
    void Shutdown();

protected:
    bool event(QEvent* e) override;

private:
    struct SyncCall;
    struct Waiter;
    class HandlerObject;
    struct Timer {
        int64_t interval;
        int64_t due;
        std::shared_ptr<std::function<void()>> fn;
    };
    void RunQueuedCall(uint64_t seq);
    // Main thread: runs the timers that are due on the clock and arms the pump for the next one.
    void RunDueTimers();
    void ArmTimerPump();
    // Main thread: deletes an unregistered receiver unless its handler is running (then the
    // receiver deletes itself once the handler has returned).
    void ReapReceiver(WindowHandle window);

    IClock& clock_;
    std::mutex mu_;
    std::map<WindowHandle, QPointer<QObject>> windows_;
    // Receivers made by RegisterWindow, including unregistered ones not yet deleted.
    std::map<WindowHandle, HandlerObject*> ownedReceivers_;
    std::deque<SyncCall*> calls_;
    // Wake-ups of waiting callers, one per caller at a time; kept for the loop's life, so the main
    // thread may notify one after its caller has returned (a spurious wake for its next user).
    std::vector<std::unique_ptr<Waiter>> waiters_;
    std::vector<Waiter*> idleWaiters_;
    uint64_t nextCall_ = 1;
    std::map<TimerId, Timer> timers_;
    QTimer* pump_ = nullptr;  // main thread only
    WindowHandle nextWindow_ = 1;
    TimerId nextTimer_ = 1;
    bool shutdown_ = false;
};

}  // namespace orb
