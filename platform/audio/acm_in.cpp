#include "audio/acm_in.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "audio/acm_errors.h"
#include "audio/wave_devices.h"

namespace orb::media {

using namespace orb::audio;

TACMIn::TACMIn(IEventLoop& loop) : loop_(loop) {
    window_ = loop_.RegisterWindow([this](uint32_t msg, std::intptr_t, std::intptr_t lParam) { OnDeviceMessage(msg, lParam); });
}

TACMIn::~TACMIn() {
    try {
        Close();
    } catch (...) {
    }
    loop_.UnregisterWindow(window_);
}

void TACMIn::SetBufferSize(uint32_t size) {
    if (!open_) bufferSize_ = size;
}

void TACMIn::SetNumBuffers(TACMBufferCount n) {
    if (!open_) numBuffers_ = n;
}

void TACMIn::Open(const WaveFormat& format, int deviceId) {
    if (open_) return;
    format_ = format;
    // A buffer holds whole samples, so a recorded count is never a split sample.
    const uint32_t align = std::max<uint32_t>(format.blockAlign, 1);
    if (bufferSize_ < align) throw std::runtime_error(WaveErrorMessage("WaveIn-Open", kMmErrInvalParam));
    const uint32_t flags = (format.IsPcm() || deviceId == kWaveMapper) ? 0 : kWaveMapped;
    const WindowHandle window = window_;
    IEventLoop* loop = &loop_;
    CheckWaveIn(WaveIn::Open(device_, deviceId, format,
                             [loop, window](WaveMsg msg, WaveHeader* h) {
                                 if (msg == WaveMsg::InData) loop->Post(window, MM_WIM_DATA, 0, std::intptr_t(h->user));
                             },
                             flags),
                "WaveIn-Open");
    try {
        for (int i = 0; i < numBuffers_; ++i) AddBuffer();
        CheckWaveIn(device_->Start(), "WaveIn-Start");
    } catch (...) {
        device_->Reset();
        device_->Close();
        device_.reset();
        buffers_.TakeAll();
        throw;
    }
    open_ = true;
}

void TACMIn::AddBuffer() {
    const uint32_t size = bufferSize_ - bufferSize_ % std::max<uint32_t>(format_.blockAlign, 1);
    WaveBlock& ref = buffers_.Add(nullptr, size);
    CheckWaveIn(device_->PrepareHeader(&ref.header), "WaveIn-PrepareHeader");
    CheckWaveIn(device_->AddBuffer(&ref.header), "WaveIn-AddBuffer");
}

void TACMIn::Close() {
    if (!open_) return;
    open_ = false;
    // The reset hands every queued buffer back with a notice; those notices arrive after the
    // buffers are freed below and find nothing, so each buffer is freed exactly once, here.
    device_->Reset();
    device_->Close();
    for (auto& [serial, b] : buffers_.TakeAll()) device_->UnprepareHeader(&b->header);
    device_.reset();
}

void TACMIn::OnDeviceMessage(uint32_t msg, std::intptr_t lParam) {
    if (msg != MM_WIM_DATA) return;
    const uintptr_t serial = uintptr_t(lParam);
    WaveBlock* found = buffers_.Find(serial);
    if (!found || !open_) return;
    WaveBlock& b = *found;
    // A handler that throws still gets its buffer back into the ring; the error is passed on after.
    std::exception_ptr failure;
    if (OnBufferFull) {
        const uint32_t n = std::min(b.header.bytesRecorded, b.header.bufferLength);
        std::vector<uint8_t> copy(b.data.begin(), b.data.begin() + n);
        try {
            OnBufferFull(*this, copy.data(), n);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // The handler may have closed the component, which freed the buffer.
    if (open_ && buffers_.Find(serial)) Requeue(serial);
    if (failure) std::rethrow_exception(failure);
}

void TACMIn::Requeue(uintptr_t serial) {
    WaveBlock& b = *buffers_.Find(serial);
    try {
        Recycle(b);
    } catch (const std::exception& e) {
        // A buffer the device refuses back is dropped rather than left half-queued.
        std::fprintf(stderr, "capture: %s\n", e.what());
        buffers_.Erase(serial);
    }
}

void TACMIn::Recycle(WaveBlock& b) {
    CheckWaveIn(device_->UnprepareHeader(&b.header), "WaveIn-UnprepareHeader");
    b.header.bufferLength = uint32_t(b.data.size());
    b.header.bytesRecorded = 0;
    b.header.flags = 0;
    b.header.loops = 0;
    std::fill(b.data.begin(), b.data.end(), uint8_t(0));
    CheckWaveIn(device_->PrepareHeader(&b.header), "WaveIn-PrepareHeader");
    CheckWaveIn(device_->AddBuffer(&b.header), "WaveInAddBuffer");
}

}  // namespace orb::media
