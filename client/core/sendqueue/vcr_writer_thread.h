#pragma once
// TVCRWriterThread: every sender on the room connection appends its message to one queue; this
// thread takes the whole queue at once and writes it to the connection in steps of rate/10 bytes
// every 100 ms, reporting each step to the notify window with WM_APP_BYTESSENT.
//
// Senders: LockQueue; AppendToQueue (whole messages only); UnlockQueue (always, also on failure).
//
// A failed write posts WM_APP_CONNECTIONLOST 5 once, drops the rest of that batch and everything
// queued later: a stream that lost bytes in the middle of a message cannot be resumed, so nothing
// more is written until the session restarts with a new writer.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "net/tcp_client.h"

class TVCRWriterThread {
public:
    static constexpr int kDefaultSendRate = 65536;
    static constexpr int64_t kStepMs = 100;
    static constexpr int64_t kIdleWaitMs = 1000;

    // Created suspended: nothing is written before Resume. The clock paces the steps (the event
    // loop's clock when none is given).
    TVCRWriterThread(orb::TTcpClient* connection, orb::IEventLoop& loop, orb::WindowHandle notifyWindow,
                     orb::IClock* clock = nullptr);
    // Terminates and waits; messages still queued are dropped.
    ~TVCRWriterThread();
    TVCRWriterThread(const TVCRWriterThread&) = delete;
    TVCRWriterThread& operator=(const TVCRWriterThread&) = delete;

    void Resume();
    // Asks the thread to stop; noticed at once while idle and between steps of a batch.
    void Terminate();
    void WaitFor();
    bool Terminated() const { return terminated_.load(); }

    void LockQueue();
    void AppendToQueue(const void* bytes, size_t count);
    void UnlockQueue();
    // The whole protocol in one call for one message (header bytes, then body): room for both is
    // made first, so a failure (which throws) leaves the queue as it was.
    void AppendMessage(std::span<const uint8_t> header, std::span<const uint8_t> body);

    void SetSendRate(int bytesPerSecond);
    int SendRate() const;

    int64_t QueuedBytes();
    // Removes every whole message of the given kind from the queue, keeping the others in order.
    void DropQueuedKind(uint16_t kind);
    // True while a whole message of the given kind waits in the queue (not yet taken for writing).
    bool HasQueuedKind(uint16_t kind);

    // True once a write has failed; the thread then writes nothing more.
    bool WriteFailed() const { return failed_.load(); }

    // Bytes of one queue chunk: messages are appended into chunks of this size (a larger message
    // gets a chunk of its own), and written chunks are kept for reuse up to kSpareChunks of them,
    // so a long burst neither moves the queue to grow it nor touches fresh memory for every byte.
    static constexpr size_t kChunkBytes = 256 * 1024;
    static constexpr size_t kSpareChunks = 32;

private:
    using Chunk = std::vector<uint8_t>;
    void Execute();
    void SendPaced(const std::vector<Chunk>& batch, size_t size);
    void Fail();
    // Calls fn(kind, start, end) for each whole message at the head of the chunk; stops at the
    // first that does not parse or when fn returns false. Returns where parsing stopped.
    template <class Fn>
    static size_t ForEachQueued(const Chunk& chunk, Fn fn);
    // The chunk the next `count` bytes go to, made first so a failure leaves the queue as it was.
    Chunk& RoomFor(size_t count);

    orb::TTcpClient* connection_;
    orb::IEventLoop& loop_;
    orb::WindowHandle notifyWindow_;
    orb::IClock& clock_;

    std::mutex queueLock_;
    std::condition_variable wake_;
    // The queue: whole messages in order, none split over two chunks (AppendToQueue only ever
    // extends the last chunk).
    std::vector<Chunk> queue_;
    size_t queuedBytes_ = 0;
    std::vector<Chunk> spare_;    // emptied chunks of kChunkBytes, guarded by queueLock_
    std::vector<Chunk> batch_;    // owned by the thread; swapped with the queue to take it
    size_t batchBytes_ = 0;
    bool signalled_ = false;      // the wake-up event, guarded by queueLock_

    mutable std::mutex rateLock_;
    int sendRate_ = kDefaultSendRate;

    std::atomic<bool> terminated_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};
