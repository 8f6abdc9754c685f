#pragma once
// Playback component: plays blocks on a wave output device with at most NumBuffers blocks queued.
// Play may be called from any thread; completions run in the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/wave_blocks.h"
#include "audio/wave_format.h"
#include "audio/wave_io.h"
#include "loop/event_loop.h"

namespace orb::media {

constexpr uint32_t MM_WOM_DONE = 0x3BD;

class TACMOut {
public:
    using TBufferPlayedEvent = std::function<void(TACMOut& sender, const audio::WaveHeader& header)>;

    explicit TACMOut(IEventLoop& loop);
    ~TACMOut();
    TACMOut(const TACMOut&) = delete;
    TACMOut& operator=(const TACMOut&) = delete;

    // Throws EACMOut or std::runtime_error with the failing operation's message.
    void Open(const audio::WaveFormat& format, int deviceId);
    void Close();
    bool IsOpen() const;

    // Queues a copy of the block when credit is left; false when the block was dropped (closed,
    // empty, or no credit: late blocks are dropped rather than queued).
    bool Play(const uint8_t* data, uint32_t size);

    uint8_t NumBuffers() const;
    // Moves the credit by the same difference, never below 0.
    void SetNumBuffers(uint8_t n);
    uint8_t NumBuffersLeft() const;
    void SetNumBuffersLeft(uint8_t n);
    // Blocks held (queued on the device or waiting for their completion notice).
    size_t BlocksHeld() const;
    // How often the open device's stream had to start again (0 while it was kept fed).
    int DeviceRestarts() const;
    // How often the open device ran dry, and whether its stream is paused for want of blocks.
    int DeviceUnderruns() const;
    bool DevicePaused() const;

    TBufferPlayedEvent OnBufferPlayed;

private:
    void OnDeviceMessage(uint32_t msg, std::intptr_t lParam);

    IEventLoop& loop_;
    WindowHandle window_ = 0;
    // Serialises Play against Open and Close, so a block is never written to a device being closed.
    mutable std::mutex deviceMu_;
    // Guards the credit, the counters and the block list, shared with the completion handler.
    mutable std::mutex mu_;
    bool open_ = false;
    uint8_t numBuffers_ = 4;
    uint8_t numBuffersLeft_ = 0;
    audio::WaveFormat format_;
    std::unique_ptr<audio::WaveOut> device_;
    audio::WaveBlocks blocks_;
};

}  // namespace orb::media
