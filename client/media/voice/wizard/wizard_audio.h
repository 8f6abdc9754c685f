#pragma once
// The audio wizard's sound work, without widgets: the test sound (a WAVE file in memory played on
// a playback device) and the microphone loopback (capture, encode with the room's codec, hand each
// block to a playing thread that plays it through the codec-decoding output).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "audio/acm_converter.h"
#include "audio/acm_in.h"
#include "audio/acm_out.h"
#include "audio/wave_format.h"
#include "audio/wave_io.h"
#include "loop/event_loop.h"

namespace orb {

// The microphone meter of the wizard: empty below the silence threshold, else the peak in percent.
int WizardMeterPercent(int peak, int threshold);
// The list position a device setting selects: the setting when the list has it, else 0 (-1 for
// an empty list).
int DevicePosition(int setting, int count);

// A PCM WAVE file read from memory: its format and sample bytes (whole blocks only).
struct TWaveData {
    audio::WaveFormat format;
    std::vector<uint8_t> samples;
};
// False for anything but uncompressed 8- or 16-bit PCM with 1 or 2 channels, or a file whose
// chunks run past its end.
bool ParseWave(std::span<const uint8_t> bytes, TWaveData& out);

// One slot between the capture handler and the playing thread. A newer block replaces one that was
// not taken yet; Take waits on a condition variable until a block is there or Stop is called, so
// stopping never waits for a time-out and no block put before a Take is lost.
class TWizHandOff {
public:
    void Put(std::vector<uint8_t> block);
    // False once stopped.
    bool Take(std::vector<uint8_t>& out);
    void Stop();
    void Restart();
    // Blocks replaced before they were taken.
    size_t Replaced() const;

private:
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::optional<std::vector<uint8_t>> slot_;
    bool stopped_ = false;
    size_t replaced_ = 0;
};

// Plays a sound once on a playback device. OnFinished runs in the device's thread when the whole
// sound was played (not after Stop).
class TTestSoundPlayer {
public:
    ~TTestSoundPlayer() { Stop(); }
    bool Start(const TWaveData& sound, int deviceId);
    // Hands the rest back at once; safe to call from any thread but the device's.
    void Stop();
    bool Active() const;
    std::function<void()> OnFinished;

private:
    mutable std::mutex mu_;
    std::unique_ptr<audio::WaveOut> out_;
    std::vector<audio::WaveHeader> headers_;
    std::vector<uint8_t> data_;
    size_t pending_ = 0;
    bool active_ = false;
};

// The microphone test's playing thread: plays the encoded blocks handed over by the capture (PlayLoop).
using TWizPlayThread = std::thread;

// The microphone test: what the user says comes back through the room's codec.
class TMicLoopback {
public:
    explicit TMicLoopback(IEventLoop& loop) : loop_(loop) {}
    ~TMicLoopback() { Stop(); }

    // Passes(peak): whether a buffer of that peak is looped back. OnLevel(peak) for every buffer
    // (main thread). False when the codec, the capture or the output cannot be opened.
    bool StartMicLoopback(int codecIndex, int captureDevice, int playbackDevice);
    void Stop();
    bool Running() const { return running_; }
    const void* CaptureHandle() const { return capture_ ? capture_->Handle() : nullptr; }
    // Blocks played back so far.
    size_t Played() const { return played_.load(); }
    // Encoded blocks handed to the playing thread so far.
    size_t HandedOver() const { return handedOver_; }

    std::function<bool(int peak)> Passes;
    std::function<void(int peak)> OnLevel;
    // One captured buffer (main thread); public so a test can drive it without a microphone.
    void OnCaptured(const uint8_t* data, uint32_t size);

private:
    void PlayLoop();

    IEventLoop& loop_;
    audio::WaveFormat codec_, pcm_;
    std::unique_ptr<media::TAcmLiveConverter> encoder_;
    std::unique_ptr<media::TACMIn> capture_;
    std::unique_ptr<media::TACMOut> out_;
    TWizHandOff handOff_;
    TWizPlayThread player_;
    std::atomic<size_t> played_{0};
    size_t handedOver_ = 0;
    bool running_ = false;
};

}  // namespace orb
