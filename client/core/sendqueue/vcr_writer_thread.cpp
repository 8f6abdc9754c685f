#include "sendqueue/vcr_writer_thread.h"

#include <algorithm>
#include <chrono>

#include "protocol/vcr_header.h"
#include "protocol/wm_app.h"

TVCRWriterThread::TVCRWriterThread(orb::TTcpClient* connection, orb::IEventLoop& loop,
                                   orb::WindowHandle notifyWindow, orb::IClock* clock)
    : connection_(connection), loop_(loop), notifyWindow_(notifyWindow), clock_(clock ? *clock : loop.Clock()) {}

TVCRWriterThread::~TVCRWriterThread() {
    Terminate();
    WaitFor();
    std::lock_guard lk(queueLock_);
    queue_.clear();
    queue_.shrink_to_fit();
}

void TVCRWriterThread::Resume() {
    if (!thread_.joinable() && !terminated_) thread_ = std::thread([this] { Execute(); });
}

void TVCRWriterThread::Terminate() {
    {
        std::lock_guard lk(queueLock_);
        terminated_ = true;
    }
    wake_.notify_all();
}

void TVCRWriterThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TVCRWriterThread::LockQueue() { queueLock_.lock(); }

void TVCRWriterThread::AppendToQueue(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    queue_.insert(queue_.end(), p, p + count);
    signalled_ = true;
    wake_.notify_one();
}

void TVCRWriterThread::UnlockQueue() { queueLock_.unlock(); }

void TVCRWriterThread::AppendMessage(std::span<const uint8_t> header, std::span<const uint8_t> body) {
    bool wake = false;
    {
        std::lock_guard lk(queueLock_);
        const size_t need = queue_.size() + header.size() + body.size();
        if (need > queue_.capacity()) queue_.reserve(std::max(need, 2 * queue_.capacity()));
        queue_.insert(queue_.end(), header.begin(), header.end());
        queue_.insert(queue_.end(), body.begin(), body.end());
        // Only the first message since the writer took the queue needs to wake it.
        wake = !signalled_;
        signalled_ = true;
    }
    if (wake) wake_.notify_one();
}

void TVCRWriterThread::SetSendRate(int bytesPerSecond) {
    std::lock_guard lk(rateLock_);
    sendRate_ = bytesPerSecond;
}

int TVCRWriterThread::SendRate() const {
    std::lock_guard lk(rateLock_);
    return sendRate_;
}

int64_t TVCRWriterThread::QueuedBytes() {
    std::lock_guard lk(queueLock_);
    return int64_t(queue_.size());
}

template <class Fn>
size_t TVCRWriterThread::ForEachQueued(Fn fn) {
    size_t pos = 0;
    while (pos < queue_.size()) {
        TVCRHeader h;
        if (!TVCRHeader::Decode(std::span<const uint8_t>(queue_).subspan(pos), h)) break;
        size_t body = h.bodyLength > 0 ? size_t(h.bodyLength) : 0;
        if (body > queue_.size() - pos - TVCRHeader::kSize) break;
        size_t end = pos + TVCRHeader::kSize + body;
        if (!fn(h.kind, pos, end)) break;
        pos = end;
    }
    return pos;
}

void TVCRWriterThread::DropQueuedKind(uint16_t kind) {
    std::lock_guard lk(queueLock_);
    std::vector<uint8_t> kept;
    kept.reserve(queue_.size());
    size_t pos = ForEachQueued([&](uint16_t k, size_t start, size_t end) {
        if (k != kind) kept.insert(kept.end(), queue_.begin() + long(start), queue_.begin() + long(end));
        return true;
    });
    // Whatever does not parse as whole messages stays as it was, behind the kept ones.
    kept.insert(kept.end(), queue_.begin() + long(pos), queue_.end());
    queue_.swap(kept);
}

bool TVCRWriterThread::HasQueuedKind(uint16_t kind) {
    std::lock_guard lk(queueLock_);
    bool found = false;
    ForEachQueued([&](uint16_t k, size_t, size_t) {
        found = k == kind;
        return !found;
    });
    return found;
}

void TVCRWriterThread::Execute() {
    while (!terminated_) {
        {
            std::unique_lock lk(queueLock_);
            wake_.wait_for(lk, std::chrono::milliseconds(kIdleWaitMs), [&] { return signalled_ || terminated_.load(); });
            if (terminated_) break;
            if (!signalled_) continue;
            batch_.clear();
            batch_.swap(queue_);
            signalled_ = false;
        }
        if (batch_.empty()) continue;
        if (failed_ || !connection_ || !connection_->Connected()) continue;  // dropped silently
        SendPaced(batch_);
    }
}

void TVCRWriterThread::Fail() {
    if (!failed_.exchange(true)) loop_.Post(notifyWindow_, WM_APP_CONNECTIONLOST, 5, 0);
}

void TVCRWriterThread::SendPaced(const std::vector<uint8_t>& batch) {
    const size_t size = batch.size();
    const int rate = SendRate();
    const int step = rate / 10;
    if (step < 1) {
        // Too slow to pace: one write, no progress.
        if (!connection_->WriteAll(batch.data(), size)) Fail();
        return;
    }
    const size_t stepSize = size_t(step);
    const size_t full = size / stepSize;
    const size_t rest = size - full * stepSize;
    size_t offset = 0;
    for (size_t i = 1; offset < size; ++i) {
        if (terminated_) return;
        const int64_t start = clock_.NowMs();
        const size_t count = i <= full ? stepSize : rest;
        if (!connection_->WriteAll(batch.data() + offset, count)) {
            Fail();
            return;
        }
        offset += count;
        const int64_t elapsed = clock_.NowMs() - start;
        if (elapsed < kStepMs) clock_.SleepMs(kStepMs - elapsed);
        loop_.Post(notifyWindow_, WM_APP_BYTESSENT, std::intptr_t(count), std::intptr_t(elapsed));
    }
}
