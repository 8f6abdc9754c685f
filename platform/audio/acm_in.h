#pragma once
// Capture component: records from a wave input device into a ring of buffers and hands each filled
// buffer to OnBufferFull in the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/wave_blocks.h"
#include "audio/wave_format.h"
#include "audio/wave_io.h"
#include "loop/event_loop.h"

namespace orb::media {

// Device notice delivered to the component's hidden window.
constexpr uint32_t MM_WIM_DATA = 0x3C0;

using TACMBufferCount = uint8_t;

class TACMIn {
public:
    using TBufferFullEvent = std::function<void(TACMIn& sender, const uint8_t* data, uint32_t size)>;

    explicit TACMIn(IEventLoop& loop);
    ~TACMIn();
    TACMIn(const TACMIn&) = delete;
    TACMIn& operator=(const TACMIn&) = delete;

    // Throws EACMIn or std::runtime_error with the failing operation's message.
    void Open(const audio::WaveFormat& format, int deviceId);
    void Close();
    bool IsOpen() const { return open_; }

    uint32_t BufferSize() const { return bufferSize_; }
    void SetBufferSize(uint32_t size);  // ignored while open
    TACMBufferCount NumBuffers() const { return numBuffers_; }
    void SetNumBuffers(TACMBufferCount n);  // ignored while open

    // The open device handle (an identifier for the mixer while capturing), nullptr when closed.
    const void* Handle() const { return device_.get(); }
    // Buffers currently owned (queued or being handed over).
    size_t BufferCount() const { return buffers_.Size(); }
    // How often the open device's stream had to start again (0 while it was read in time).
    int DeviceRestarts() const { return device_ ? device_->Restarts() : 0; }
    // Frames the open device has read: they advance while the microphone runs, even when a busy
    // machine hands the buffers over late.
    uint64_t FramesCaptured() const { return device_ ? device_->FramesTransferred() : 0; }

    TBufferFullEvent OnBufferFull;

private:
    void AddBuffer();
    void OnDeviceMessage(uint32_t msg, std::intptr_t lParam);
    void Requeue(uintptr_t serial);
    void Recycle(audio::WaveBlock& b);

    IEventLoop& loop_;
    WindowHandle window_ = 0;
    bool open_ = false;
    uint32_t bufferSize_ = 8192;
    TACMBufferCount numBuffers_ = 4;
    audio::WaveFormat format_;
    std::unique_ptr<audio::WaveIn> device_;
    audio::WaveBlocks buffers_;
};

}  // namespace orb::media
