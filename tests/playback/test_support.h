#pragma once
// Shared by the playback tests: a temporary folder and the fakes the replay talks to.

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "loop/clock.h"
#include "playback/player_thread.h"

namespace orb::playtest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// What reached the main thread and the voice players, with the clock time of each.
struct TReplayLog final : playback::IReplayTarget, playback::IReplayVoice {
    struct Item {
        uint16_t kind;
        int64_t atMs;
        std::vector<uint8_t> body;
    };
    explicit TReplayLog(IClock& clock) : clock_(clock) {}
    void ReplayRecord(const TVCRHeader& h, std::span<const uint8_t> m) override {
        size_t n = 0;
        {
            std::lock_guard<std::mutex> lock(mu);
            items.push_back({h.kind, clock_.NowMs(), std::vector<uint8_t>(m.begin() + 22, m.end())});
            n = items.size();
        }
        if (onRecord) onRecord(h, n);
    }
    void ClearRoomViews() override {
        std::lock_guard<std::mutex> lock(mu);
        items.push_back({0xFFFF, clock_.NowMs(), {}});
    }
    void PlayVoice(int32_t sender, std::span<const uint8_t> body) override {
        std::lock_guard<std::mutex> lock(mu);
        voice.push_back({uint16_t(sender), clock_.NowMs(), std::vector<uint8_t>(body.begin(), body.end())});
    }
    std::vector<Item> Items() {
        std::lock_guard<std::mutex> lock(mu);
        return items;
    }
    std::vector<Item> Voice() {
        std::lock_guard<std::mutex> lock(mu);
        return voice;
    }
    std::function<void(const TVCRHeader&, size_t count)> onRecord;
    std::mutex mu;
    std::vector<Item> items, voice;

private:
    IClock& clock_;
};

}  // namespace orb::playtest
