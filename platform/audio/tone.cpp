#include "audio/tone.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "audio/init_sound.h"
#include "audio/wave_io.h"

namespace orb::media {

std::vector<int16_t> SineTone(int frequency, int durationMs, int rate) {
    if (frequency <= 0 || durationMs <= 0 || rate <= 0) return {};
    durationMs = std::min(durationMs, 10000);
    const size_t n = size_t(int64_t(rate) * durationMs / 1000);
    const size_t fade = std::min(n / 2, size_t(rate / 200));
    std::vector<int16_t> out(n);
    const double step = 2.0 * M_PI * frequency / rate;
    for (size_t i = 0; i < n; ++i) {
        double gain = 1.0;
        if (fade > 0) gain = std::min({1.0, double(i) / fade, double(n - 1 - i) / fade});
        out[i] = int16_t(std::lround(std::sin(step * double(i)) * 12000.0 * gain));
    }
    return out;
}

TTonePlayer::~TTonePlayer() {
    if (worker_.joinable()) worker_.join();
}

bool TTonePlayer::Play(int frequency, int durationMs) {
    std::vector<int16_t> samples = SineTone(frequency, durationMs, kRate);
    if (samples.empty()) return false;
    std::optional<audio::WaveFormat> fmt = BuildPcmFormat(16, kRate);
    if (!fmt) return false;
    // Try the device here, so a machine without one falls back at once.
    {
        std::unique_ptr<audio::WaveOut> probe;
        if (audio::WaveOut::Open(probe, deviceId_, *fmt, [](audio::WaveMsg, audio::WaveHeader*) {}) !=
            audio::kMmNoError)
            return false;
        probe->Close();
    }
    std::lock_guard lk(mu_);
    if (busy_) return true;
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    worker_ = std::thread([this, s = std::move(samples)]() mutable { Run(std::move(s)); });
    return true;
}

void TTonePlayer::Run(std::vector<int16_t> samples) {
    std::optional<audio::WaveFormat> fmt = BuildPcmFormat(16, kRate);
    std::mutex m;
    std::condition_variable done;
    bool finished = false;
    audio::WaveHeader h;
    h.data = reinterpret_cast<uint8_t*>(samples.data());
    h.bufferLength = uint32_t(samples.size() * sizeof(int16_t));
    std::unique_ptr<audio::WaveOut> out;
    if (fmt && audio::WaveOut::Open(out, deviceId_, *fmt, [&](audio::WaveMsg, audio::WaveHeader*) {
            std::lock_guard lk(m);
            finished = true;
            done.notify_all();
        }) == audio::kMmNoError) {
        out->PrepareHeader(&h);
        if (out->Write(&h) == audio::kMmNoError) {
            std::unique_lock lk(m);
            done.wait_for(lk, std::chrono::milliseconds(samples.size() * 1000 / kRate + 1000), [&] { return finished; });
        }
        // Closing drains what the device still holds, so the tone is heard to its end; only a
        // device that never reported the block is stopped.
        bool played;
        {
            std::lock_guard lk(m);
            played = finished;
        }
        if (!played) out->Reset();
        out->UnprepareHeader(&h);
        out->Close();
    }
    std::lock_guard lk(mu_);
    busy_ = false;
}

}  // namespace orb::media
