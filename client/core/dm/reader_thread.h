#pragma once
// TReaderThread: reads the room connection one message at a time (22-byte header, then the body of
// the length it gives) and hands the messages to the dispatcher in the main thread in batches.
//
// The reader never waits for a handler: it queues each whole message and wakes the main thread
// with one post for as many messages as arrive meanwhile. The main thread drains the queue in
// turns of at most kMaxPerTurn messages, so repaints, timers and input run between turns however
// fast the server sends. The queue is bounded (kMaxQueued messages, kMaxQueuedBytes bytes); when
// it is full the reader stops reading, and the server's writes wait in the socket.
//
// A handler may leave long work in slices (the whole participant list): while slices are left, a
// turn runs one slice instead of the next message and then yields, so the loop turns between
// slices and the messages behind keep their order.
//
// Keep-alives (kind 100) go ahead of the backlog: they are dispatched as soon as the main thread
// turns, and between two messages of a turn, so the heartbeat answer never waits for the messages
// queued before it. Inside a handler's nested event loop only keep-alives are dispatched; the
// others wait, in order, until the handler has returned.
//
// When the loop ends, for whatever reason, it posts WM_APP_CONNECTIONLOST 1 to its notify window;
// messages read before the end are dispatched first (unless the reader was terminated).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "protocol/vcr_header.h"

class TReaderThread {
public:
    using DispatchFn = std::function<void(const TVCRHeader& header, std::span<const uint8_t> stream)>;

    static constexpr size_t kMaxQueued = 2048;
    static constexpr size_t kMaxQueuedBytes = 4 * 1024 * 1024;
    static constexpr size_t kMaxQueuedKeepAlives = 64;
    static constexpr size_t kMaxPerTurn = 512;

    // Created suspended, in the main thread (it registers the window its wake-ups go to).
    TReaderThread(orb::TTcpClient* connection, orb::IEventLoop& loop, orb::WindowHandle notifyWindow,
                  DispatchFn dispatch);
    // Terminates and waits; messages not yet dispatched are dropped. The owner shuts the connection
    // down first, or the wait lasts until the next message arrives.
    ~TReaderThread();
    TReaderThread(const TReaderThread&) = delete;
    TReaderThread& operator=(const TReaderThread&) = delete;

    // Before Resume: whether a handler left slices, and running the next one (main thread).
    void SetSlices(std::function<bool()> left, std::function<void()> run) {
        slicesLeft_ = std::move(left);
        runSlice_ = std::move(run);
    }

    void Resume();
    // Stops after the current read; nothing more is dispatched.
    void Terminate();
    void WaitFor();
    bool Terminated() const { return terminated_.load(); }
    // True once the loop has ended (and the loss has been posted).
    bool Finished() const { return finished_.load(); }
    // Messages read and queued so far; a message is queued (and the main thread woken) before it
    // counts here.
    size_t MessagesRead() const { return read_.load(); }

private:
    static constexpr size_t kReadBufferSize = 64 * 1024;
    // Handled messages' buffers of up to kPooledCapacity are kept for reuse, at most kMaxPooled of
    // them and kMaxPooledBytes in all (what the queue may hold, so a steady stream of large
    // messages reuses its buffers instead of taking fresh memory); the others are freed once their
    // message is handled.
    static constexpr size_t kPooledCapacity = 128 * 1024;
    static constexpr size_t kMaxPooled = 256;
    static constexpr size_t kMaxPooledBytes = 4 * 1024 * 1024;

    struct Message {
        TVCRHeader header;
        // The message is the first `length` bytes (header at 0, body from 22); a reused buffer
        // keeps its size from earlier messages, so reading into it clears nothing.
        std::vector<uint8_t> stream;
        size_t length = 0;
    };

    void Execute();
    // Reads exactly count bytes of the connection, through a receive buffer for small reads.
    bool ReadExact(void* out, size_t count);
    // Reader side: queues a message (waiting while the queue is full) and wakes the main thread;
    // returns a buffer for the next one. False when terminated meanwhile.
    bool Deliver(Message& m);
    // Reader side, at the end: waits until the main thread has dispatched what was queued.
    void WaitUntilDrained();
    // Main thread: one turn of the queue, or the keep-alives only.
    void Drain();
    void DispatchKeepAlives();
    void DispatchOne(Message& m);
    // Under mu_: gives a handled message's buffer back to the pool, or frees it.
    void Recycle(std::vector<uint8_t>& stream);

    orb::TTcpClient* connection_;
    orb::IEventLoop& loop_;
    orb::WindowHandle notifyWindow_;
    orb::WindowHandle wakeWindow_ = 0;
    DispatchFn dispatch_;
    std::function<bool()> slicesLeft_;
    std::function<void()> runSlice_;

    // Reader thread only.
    std::vector<uint8_t> readBuf_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;

    // Shared, under mu_.
    mutable std::mutex mu_;
    std::condition_variable space_;  // the reader waits here for room in the queue, or for the drain
    std::vector<Message> pending_;
    std::vector<Message> keepAlives_;
    std::vector<std::vector<uint8_t>> pool_;
    size_t pendingBytes_ = 0;
    size_t pooledBytes_ = 0;
    bool wakePosted_ = false;  // a drain wake-up is queued and has not started yet
    bool mainBusy_ = false;    // the main thread holds taken messages not yet all dispatched
    std::atomic<bool> keepAlivePending_{false};

    // Main thread only.
    std::vector<Message> current_;
    size_t cursor_ = 0;
    bool draining_ = false;

    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<size_t> read_{0};
    std::thread thread_;
};
