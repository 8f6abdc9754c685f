#pragma once
// The publisher's frame queue between the camera's thread and the writer: a fixed capacity (one
// frame in this client), so a slow network drops frames at the source instead of queueing them.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "video_records.h"

namespace orb::video {

struct TVideoFrame {
    TVideoFrameRec rec;
    std::vector<uint8_t> data;
};
using PVideoFrame = std::unique_ptr<TVideoFrame>;

class TeVideoBuffer {
public:
    explicit TeVideoBuffer(size_t capacity) : capacity_(capacity) {}

    // Accepts the frame while there is room: stamps the running sequence number and counts up.
    // False when full (the frame stays with the caller).
    bool Add(PVideoFrame& frame) {
        {
            std::lock_guard lock(mu_);
            if (!frame || items_.size() >= capacity_) return false;
            frame->rec.sequence = sequence_++;
            items_.push_back(std::move(frame));
        }
        ready_.notify_one();
        return true;
    }
    // The oldest frame, or null when empty.
    PVideoFrame Take() {
        std::lock_guard lock(mu_);
        if (items_.empty()) return nullptr;
        PVideoFrame f = std::move(items_.front());
        items_.pop_front();
        return f;
    }
    // Waits up to timeoutMs for a frame (or a Wake); null when none came.
    PVideoFrame TakeWait(int timeoutMs) {
        std::unique_lock lock(mu_);
        ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !items_.empty() || woken_; });
        woken_ = false;
        if (items_.empty()) return nullptr;
        PVideoFrame f = std::move(items_.front());
        items_.pop_front();
        return f;
    }
    void Wake() {
        {
            std::lock_guard lock(mu_);
            woken_ = true;
        }
        ready_.notify_all();
    }
    void Clear() {
        std::lock_guard lock(mu_);
        items_.clear();
    }
    size_t Count() const {
        std::lock_guard lock(mu_);
        return items_.size();
    }

private:
    mutable std::mutex mu_;
    std::condition_variable ready_;
    std::deque<PVideoFrame> items_;
    size_t capacity_;
    uint32_t sequence_ = 0;
    bool woken_ = false;
};

}  // namespace orb::video
