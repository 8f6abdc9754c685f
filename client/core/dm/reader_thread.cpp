#include "dm/reader_thread.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "protocol/message_kinds.h"
#include "protocol/wm_app.h"

namespace {
// Wake-ups to the reader's own window: a turn of the queue, and keep-alives waiting.
constexpr uint32_t kDrainWake = WM_APP + 230;
constexpr uint32_t kKeepAliveWake = WM_APP + 231;
// Waits of the reader are bounded, so a stop is noticed even if a notification were missed.
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
}  // namespace

TReaderThread::TReaderThread(orb::TTcpClient* connection, orb::IEventLoop& loop, orb::WindowHandle notifyWindow,
                             DispatchFn dispatch)
    : connection_(connection), loop_(loop), notifyWindow_(notifyWindow), dispatch_(std::move(dispatch)) {
    // Both batches hold up to the bound from the start, so a flood never grows them.
    pending_.reserve(kMaxQueued);
    current_.reserve(kMaxQueued);
    wakeWindow_ = loop_.RegisterWindow([this](uint32_t msg, std::intptr_t, std::intptr_t) {
        if (msg == kDrainWake) Drain();
        else if (msg == kKeepAliveWake) DispatchKeepAlives();
    });
}

TReaderThread::~TReaderThread() {
    Terminate();
    WaitFor();
    // Wake-ups still queued are dropped with the window.
    loop_.UnregisterWindow(wakeWindow_);
}

void TReaderThread::Resume() {
    if (!thread_.joinable() && !terminated_) thread_ = std::thread([this] { Execute(); });
}

void TReaderThread::Terminate() {
    {
        std::lock_guard lk(mu_);
        terminated_ = true;
    }
    space_.notify_all();
}

void TReaderThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TReaderThread::ReadExact(void* out, size_t count) {
    auto* p = static_cast<uint8_t*>(out);
    const size_t buffered = std::min(count, readEnd_ - readPos_);
    if (buffered > 0) {
        std::memcpy(p, readBuf_.data() + readPos_, buffered);
        readPos_ += buffered;
        p += buffered;
        count -= buffered;
        if (count == 0) return true;
    }
    readPos_ = readEnd_ = 0;
    // Large bodies go straight into the message stream.
    if (count >= kReadBufferSize) return connection_->ReadExact(p, count);
    // Small messages: one receive usually brings this one and the next few.
    if (readBuf_.size() < kReadBufferSize) readBuf_.resize(kReadBufferSize);
    while (readEnd_ < count) {
        const long n = connection_->ReadSome(readBuf_.data() + readEnd_, kReadBufferSize - readEnd_);
        if (n <= 0) return false;
        readEnd_ += size_t(n);
    }
    std::memcpy(p, readBuf_.data(), count);
    readPos_ = count;
    return true;
}

void TReaderThread::Execute() {
    const auto readExact = [this](void* buf, size_t n) { return ReadExact(buf, n); };
    Message m;
    while (!terminated_) {
        if (!connection_ || !connection_->Connected()) break;
        TReadResult r = ReadVCRMessageInto(readExact, m.header, m.stream, m.length);
        if (r != TReadResult::Message) {
            // Past a failed read or a bad length the stream position is lost: never read on from
            // the middle of a message. Shutting down also stops the writer from using the socket.
            connection_->Shutdown();
            break;
        }
        if (terminated_ || !Deliver(m)) break;
        ++read_;
    }
    // What was read before the end is handled before the loss, as it came.
    if (!terminated_) WaitUntilDrained();
    finished_ = true;
    loop_.Post(notifyWindow_, WM_APP_CONNECTIONLOST, 1, 0);
}

bool TReaderThread::Deliver(Message& m) {
    const bool keepAlive = m.header.kind == vkKeepAlive;
    const size_t size = m.length;
    bool wake = false;
    {
        std::unique_lock lk(mu_);
        // A message larger than the bound still goes through, alone.
        auto full = [&] {
            if (keepAlive) return keepAlives_.size() >= kMaxQueuedKeepAlives;
            return !pending_.empty() && (pending_.size() >= kMaxQueued || pendingBytes_ + size > kMaxQueuedBytes);
        };
        while (!terminated_ && full()) space_.wait_for(lk, kWaitSlice);
        if (terminated_) return false;
        if (keepAlive) {
            keepAlives_.push_back(std::move(m));
            keepAlivePending_ = true;
        } else {
            pending_.push_back(std::move(m));
            pendingBytes_ += size;
            wake = !wakePosted_;
            wakePosted_ = true;
        }
        m.stream.clear();
        if (!pool_.empty()) {
            m.stream.swap(pool_.back());
            pool_.pop_back();
            pooledBytes_ -= m.stream.capacity();
        }
    }
    // Every keep-alive wakes the main thread, also inside a handler's nested loop; the others
    // need one wake-up per turn.
    if (keepAlive) loop_.Post(wakeWindow_, kKeepAliveWake, 0, 0);
    else if (wake) loop_.Post(wakeWindow_, kDrainWake, 0, 0);
    return true;
}

void TReaderThread::WaitUntilDrained() {
    std::unique_lock lk(mu_);
    while (!terminated_ && (!pending_.empty() || !keepAlives_.empty() || mainBusy_)) space_.wait_for(lk, kWaitSlice);
}

void TReaderThread::Recycle(std::vector<uint8_t>& stream) {
    const size_t capacity = stream.capacity();
    if (capacity <= kPooledCapacity && pool_.size() < kMaxPooled && pooledBytes_ + capacity <= kMaxPooledBytes) {
        // Kept at its size: the next message read into it overwrites rather than clears.
        pool_.push_back(std::move(stream));
        pooledBytes_ += capacity;
    } else {
        std::vector<uint8_t>().swap(stream);
    }
}

void TReaderThread::DispatchOne(Message& m) {
    try {
        dispatch_(m.header, std::span<const uint8_t>(m.stream.data(), m.length));
    } catch (...) {
        // A failing handler loses its message only.
    }
}

void TReaderThread::DispatchKeepAlives() {
    while (!terminated_ && keepAlivePending_.load()) {
        std::vector<Message> taken;
        {
            std::lock_guard lk(mu_);
            taken.swap(keepAlives_);
            keepAlivePending_ = false;
        }
        space_.notify_all();
        for (auto& m : taken) {
            if (terminated_) return;
            DispatchOne(m);
        }
        std::lock_guard lk(mu_);
        for (auto& m : taken) Recycle(m.stream);
    }
}

void TReaderThread::Drain() {
    if (terminated_) return;
    DispatchKeepAlives();
    if (draining_) {
        // A nested loop inside a handler of this very drain: the rest waits for that handler, so
        // messages keep their order and the buffers in use stay as they are. The next message
        // wakes the loop again.
        std::lock_guard lk(mu_);
        wakePosted_ = false;
        return;
    }
    draining_ = true;
    {
        std::lock_guard lk(mu_);
        wakePosted_ = false;
    }
    size_t ran = 0;
    bool sliced = false;
    auto slicesLeft = [this] { return slicesLeft_ && slicesLeft_(); };
    while (ran < kMaxPerTurn && !terminated_) {
        if (slicesLeft()) {
            // One slice a turn, and nothing else in that turn.
            if (ran > 0 || sliced) break;
            runSlice_();
            sliced = true;
            if (keepAlivePending_.load(std::memory_order_relaxed)) DispatchKeepAlives();
            continue;
        }
        if (cursor_ == current_.size()) {
            // The batch is done: hand its buffers back and take whatever has queued meanwhile.
            {
                std::lock_guard lk(mu_);
                for (auto& m : current_) Recycle(m.stream);
                current_.clear();
                cursor_ = 0;
                current_.swap(pending_);
                pendingBytes_ = 0;
                mainBusy_ = !current_.empty();
            }
            space_.notify_all();
            if (current_.empty()) break;
        }
        DispatchOne(current_[cursor_]);
        ++cursor_;
        ++ran;
        if (keepAlivePending_.load(std::memory_order_relaxed)) DispatchKeepAlives();
    }
    draining_ = false;
    if (terminated_) return;
    bool wake = false;
    const bool slicing = slicesLeft();
    {
        std::lock_guard lk(mu_);
        const bool more = cursor_ < current_.size() || !pending_.empty() || slicing;
        if (!more && mainBusy_) {
            mainBusy_ = false;
            // Keep the memory of a burst of large messages only until the burst is over.
            for (auto& m : current_) Recycle(m.stream);
            current_.clear();
            cursor_ = 0;
        }
        if (more && !wakePosted_) {
            wakePosted_ = true;
            wake = true;
        }
    }
    space_.notify_all();
    // More than one turn's worth: the rest comes after what else the loop has to do.
    if (wake) loop_.Post(wakeWindow_, kDrainWake, 0, 0);
}
