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
    std::vector<Chunk>().swap(queue_);
    std::vector<Chunk>().swap(spare_);
    queuedBytes_ = 0;
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

TVCRWriterThread::Chunk& TVCRWriterThread::RoomFor(size_t count) {
    if (!queue_.empty() && queue_.back().capacity() - queue_.back().size() >= count) return queue_.back();
    Chunk chunk;
    if (count <= kChunkBytes && !spare_.empty()) {
        chunk.swap(spare_.back());
        spare_.pop_back();
    } else {
        chunk.reserve(std::max(count, kChunkBytes));
    }
    try {
        queue_.reserve(queue_.size() + 1);
    } catch (...) {
        if (chunk.capacity() == kChunkBytes) spare_.push_back(std::move(chunk));
        throw;
    }
    queue_.push_back(std::move(chunk));
    return queue_.back();
}

void TVCRWriterThread::AppendToQueue(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    // A message given in several pieces stays in one chunk: only the last chunk is extended.
    Chunk& chunk = queue_.empty() ? RoomFor(count) : queue_.back();
    chunk.insert(chunk.end(), p, p + count);
    queuedBytes_ += count;
    signalled_ = true;
    wake_.notify_one();
}

void TVCRWriterThread::UnlockQueue() { queueLock_.unlock(); }

void TVCRWriterThread::AppendMessage(std::span<const uint8_t> header, std::span<const uint8_t> body) {
    bool wake = false;
    {
        std::lock_guard lk(queueLock_);
        Chunk& chunk = RoomFor(header.size() + body.size());
        // Within the chunk's capacity: these cannot fail.
        chunk.insert(chunk.end(), header.begin(), header.end());
        chunk.insert(chunk.end(), body.begin(), body.end());
        queuedBytes_ += header.size() + body.size();
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
    return int64_t(queuedBytes_);
}

template <class Fn>
size_t TVCRWriterThread::ForEachQueued(const Chunk& chunk, Fn fn) {
    size_t pos = 0;
    while (pos < chunk.size()) {
        TVCRHeader h;
        if (!TVCRHeader::Decode(std::span<const uint8_t>(chunk).subspan(pos), h)) break;
        size_t body = h.bodyLength > 0 ? size_t(h.bodyLength) : 0;
        if (body > chunk.size() - pos - TVCRHeader::kSize) break;
        size_t end = pos + TVCRHeader::kSize + body;
        if (!fn(h.kind, pos, end)) break;
        pos = end;
    }
    return pos;
}

void TVCRWriterThread::DropQueuedKind(uint16_t kind) {
    std::lock_guard lk(queueLock_);
    // Once something does not parse as whole messages, it and everything behind it stay as they
    // were, behind the kept ones.
    bool parsing = true;
    size_t bytes = 0;
    for (Chunk& chunk : queue_) {
        if (!parsing) {
            bytes += chunk.size();
            continue;
        }
        Chunk kept;
        kept.reserve(chunk.capacity());
        size_t pos = ForEachQueued(chunk, [&](uint16_t k, size_t start, size_t end) {
            if (k != kind) kept.insert(kept.end(), chunk.begin() + long(start), chunk.begin() + long(end));
            return true;
        });
        parsing = pos == chunk.size();
        kept.insert(kept.end(), chunk.begin() + long(pos), chunk.end());
        chunk.swap(kept);
        bytes += chunk.size();
    }
    queuedBytes_ = bytes;
}

bool TVCRWriterThread::HasQueuedKind(uint16_t kind) {
    std::lock_guard lk(queueLock_);
    for (const Chunk& chunk : queue_) {
        bool found = false;
        const size_t pos = ForEachQueued(chunk, [&](uint16_t k, size_t, size_t) {
            found = k == kind;
            return !found;
        });
        if (found) return true;
        if (pos != chunk.size()) return false;
    }
    return false;
}

void TVCRWriterThread::Execute() {
    while (!terminated_) {
        {
            std::unique_lock lk(queueLock_);
            wake_.wait_for(lk, std::chrono::milliseconds(kIdleWaitMs), [&] { return signalled_ || terminated_.load(); });
            if (terminated_) break;
            if (!signalled_) continue;
            // The chunks written last time go back for reuse before the queue is taken.
            for (Chunk& chunk : batch_) {
                if (chunk.capacity() == kChunkBytes && spare_.size() < kSpareChunks) {
                    chunk.clear();
                    spare_.push_back(std::move(chunk));
                }
            }
            batch_.clear();
            batch_.swap(queue_);
            batchBytes_ = queuedBytes_;
            queuedBytes_ = 0;
            signalled_ = false;
        }
        if (batchBytes_ == 0) continue;
        if (failed_ || !connection_ || !connection_->Connected()) continue;  // dropped silently
        SendPaced(batch_, batchBytes_);
    }
}

void TVCRWriterThread::Fail() {
    if (!failed_.exchange(true)) loop_.Post(notifyWindow_, WM_APP_CONNECTIONLOST, 5, 0);
}

void TVCRWriterThread::SendPaced(const std::vector<Chunk>& batch, size_t size) {
    size_t chunkAt = 0, inChunk = 0;
    // The next `count` bytes of the batch, chunk by chunk.
    auto write = [&](size_t count) {
        while (count > 0) {
            const Chunk& chunk = batch[chunkAt];
            const size_t n = std::min(count, chunk.size() - inChunk);
            if (n > 0 && !connection_->WriteAll(chunk.data() + inChunk, n)) return false;
            count -= n;
            inChunk += n;
            if (inChunk == chunk.size()) {
                ++chunkAt;
                inChunk = 0;
            }
        }
        return true;
    };
    const int rate = SendRate();
    const int step = rate / 10;
    if (step < 1) {
        // Too slow to pace: one write, no progress.
        if (!write(size)) Fail();
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
        if (!write(count)) {
            Fail();
            return;
        }
        offset += count;
        const int64_t elapsed = clock_.NowMs() - start;
        if (elapsed < kStepMs) clock_.SleepMs(kStepMs - elapsed);
        loop_.Post(notifyWindow_, WM_APP_BYTESSENT, std::intptr_t(count), std::intptr_t(elapsed));
    }
}
