#pragma once
// Short tones (the room's beeps) played on a playback device: a sine of the given frequency and
// length, generated and played on a worker thread so the caller never waits for the sound card.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace orb::media {

// 16-bit mono samples of a sine with 5 ms fades (no clicks), at `rate` samples per second.
std::vector<int16_t> SineTone(int frequency, int durationMs, int rate);

class TTonePlayer {
public:
    static constexpr int kRate = 22050;

    explicit TTonePlayer(int deviceId) : deviceId_(deviceId) {}
    ~TTonePlayer();
    TTonePlayer(const TTonePlayer&) = delete;
    TTonePlayer& operator=(const TTonePlayer&) = delete;

    // False when the device cannot be opened (the caller then uses the desktop's bell); a tone
    // asked for while another plays is dropped.
    bool Play(int frequency, int durationMs);

private:
    void Run(std::vector<int16_t> samples);

    int deviceId_;
    std::mutex mu_;
    std::thread worker_;
    bool busy_ = false;
};

}  // namespace orb::media
