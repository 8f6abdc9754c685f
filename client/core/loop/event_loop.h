#pragma once
// The one way core code and worker threads reach the main thread:
//  - Post: queue a numbered WM_APP+n notification with wParam/lParam for a window (any thread);
//  - InvokeSync: run a call in the main thread and wait for it (worker threads);
//  - timers that fire in the main thread;
//  - the clock.
// The program implements it over Qt; tests use PlainEventLoop.

#include <atomic>
#include <cstdint>
#include <functional>

#include "loop/clock.h"

namespace orb {

using WindowHandle = std::intptr_t;  // 0 = no window
using TimerId = int;                 // 0 = no timer
using MessageHandler = std::function<void(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam)>;

class IEventLoop {
public:
    virtual ~IEventLoop() = default;

    // Gives a window a handle; its handler runs in the main thread for every message posted to it.
    virtual WindowHandle RegisterWindow(MessageHandler handler) = 0;
    // After this, messages still queued for the window are dropped.
    virtual void UnregisterWindow(WindowHandle window) = 0;

    // Thread-safe; never blocks on the main thread. Every message number is delivered, once and in
    // posting order, to a registered window; messages to unknown handles are dropped. A handler or
    // timer that throws is reported and the loop goes on.
    virtual void Post(WindowHandle target, uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) = 0;

    // Runs fn in the main thread and waits until it has returned; it runs in its place among the
    // posted messages (after what was posted before it). Called from the main thread it runs
    // fn at once. Returns false without running fn when the loop is shutting down, or when *cancel is
    // (or becomes) true while waiting: that is how a stopping worker is released so its owner can
    // join it from the main thread without deadlock.
    virtual bool InvokeSync(const std::function<void()>& fn, const std::atomic<bool>* cancel = nullptr) = 0;

    // Repeating timer in the main thread; fires every intervalMs of the loop's clock until killed. A
    // timer that fell behind fires once and keeps its period from then.
    virtual TimerId SetTimer(int64_t intervalMs, std::function<void()> fn) = 0;
    virtual void KillTimer(TimerId id) = 0;

    virtual IClock& Clock() = 0;

    // True when called from the thread that runs the loop.
    virtual bool InMainThread() const = 0;
};

// Called from a catch handler: a handler or timer that threw is a fault of that component; both
// loops report it on stderr and go on delivering.
void ReportLoopFailure(const char* what, uint32_t msg);

}  // namespace orb
