#pragma once
// What the downloaders, the replay thread and the player window share: the bytes of the session
// file that may be read, whether more can still arrive, the recording's totals and the elapsed
// time of the last replayed message. Every field is safe to read and write from any thread.

#include <atomic>
#include <cstdint>
#include <mutex>

namespace orb::playback {

class TPlaybackShared {
public:
    int64_t GetAvailableBytes() const {
        std::lock_guard<std::mutex> lock(mu_);
        return available_;
    }
    void SetAvailableBytes(int64_t bytes) {
        std::lock_guard<std::mutex> lock(mu_);
        available_ = bytes < 0 ? 0 : bytes;
    }
    // Nothing more will be written to the session file (a local file, or a download that ended).
    bool Complete() const { return complete_.load(); }
    void SetComplete(bool complete) { complete_.store(complete); }

    // From the session record: bytes of the whole recording (record included) and messages.
    int32_t TotalSize() const { return total_.load(); }
    void SetTotalSize(int32_t total) { total_.store(total); }
    uint32_t MessageCount() const { return count_.load(); }
    void SetMessageCount(uint32_t count) { count_.store(count); }

    // Milliseconds from the first recorded message to the last one replayed.
    int64_t ElapsedMs() const { return elapsed_.load(); }
    void SetElapsedMs(int64_t ms) { elapsed_.store(ms); }

    // Messages written by the download from the room server.
    uint32_t DownloadedMessages() const { return downloaded_.load(); }
    void SetDownloadedMessages(uint32_t n) { downloaded_.store(n); }

private:
    mutable std::mutex mu_;
    int64_t available_ = 0;
    std::atomic<bool> complete_{false};
    std::atomic<int32_t> total_{0};
    std::atomic<uint32_t> count_{0};
    std::atomic<int64_t> elapsed_{0};
    std::atomic<uint32_t> downloaded_{0};
};

}  // namespace orb::playback
