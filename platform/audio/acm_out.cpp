#include "audio/acm_out.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "audio/acm_errors.h"
#include "audio/wave_devices.h"

namespace orb::media {

using namespace orb::audio;

TACMOut::TACMOut(IEventLoop& loop) : loop_(loop) {
    window_ = loop_.RegisterWindow([this](uint32_t msg, std::intptr_t, std::intptr_t lParam) { OnDeviceMessage(msg, lParam); });
}

TACMOut::~TACMOut() {
    try {
        Close();
    } catch (...) {
    }
    loop_.UnregisterWindow(window_);
}

bool TACMOut::IsOpen() const {
    std::lock_guard lk(mu_);
    return open_;
}

void TACMOut::Open(const WaveFormat& format, int deviceId) {
    std::lock_guard dev(deviceMu_);
    {
        std::lock_guard lk(mu_);
        if (open_) return;
        numBuffersLeft_ = numBuffers_;
    }
    format_ = format;
    const uint32_t flags = (format.IsPcm() || deviceId == kWaveMapper) ? 0 : kWaveMapped;
    const WindowHandle window = window_;
    IEventLoop* loop = &loop_;
    // The device only posts its notice; all completion work runs in the main thread.
    CheckWaveOut(WaveOut::Open(device_, deviceId, format,
                               [loop, window](WaveMsg msg, WaveHeader* h) {
                                   if (msg == WaveMsg::OutDone) loop->Post(window, MM_WOM_DONE, 0, std::intptr_t(h->user));
                               },
                               flags),
                 "WaveOutOpen");
    std::lock_guard lk(mu_);
    open_ = true;
}

bool TACMOut::Play(const uint8_t* data, uint32_t size) {
    if (size == 0 || !data) return false;
    std::lock_guard dev(deviceMu_);
    WaveBlock* block = nullptr;
    uintptr_t serial = 0;
    {
        std::lock_guard lk(mu_);
        if (!open_) return false;
        // Without credit nothing is allocated, so a refused block cannot leak.
        if (numBuffersLeft_ == 0) return false;
        --numBuffersLeft_;
        block = &blocks_.Add(data, size);
        serial = block->header.user;
    }
    MmResult r = device_->PrepareHeader(&block->header);
    const char* op = "WaveOut-PrepareHeader";
    if (r == kMmNoError) {
        r = device_->Write(&block->header);
        op = "WaveOut-Write";
        if (r != kMmNoError) device_->UnprepareHeader(&block->header);
    }
    if (r != kMmNoError) {
        std::lock_guard lk(mu_);
        blocks_.Erase(serial);
        numBuffersLeft_ = uint8_t(std::min<int>(numBuffersLeft_ + 1, numBuffers_));
    }
    CheckWaveOut(r, op);
    return true;
}

void TACMOut::OnDeviceMessage(uint32_t msg, std::intptr_t lParam) {
    if (msg != MM_WOM_DONE) return;
    std::unique_ptr<WaveBlock> block;
    {
        std::lock_guard lk(mu_);
        if (!open_) return;
        block = blocks_.Take(uintptr_t(lParam));
        if (!block) return;
    }
    // A handler that throws must not cost a unit of credit; the error is passed on after.
    std::exception_ptr failure;
    if (OnBufferPlayed) {
        try {
            OnBufferPlayed(*this, block->header);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    {
        std::lock_guard dev(deviceMu_);
        if (device_) device_->UnprepareHeader(&block->header);
    }
    block.reset();
    {
        std::lock_guard lk(mu_);
        numBuffersLeft_ = uint8_t(std::min<int>(numBuffersLeft_ + 1, numBuffers_));
    }
    if (failure) std::rethrow_exception(failure);
}

void TACMOut::Close() {
    std::lock_guard dev(deviceMu_);
    {
        std::lock_guard lk(mu_);
        if (!open_) return;
        open_ = false;
    }
    device_->Reset();
    device_->Close();
    WaveBlocks::Map held;
    {
        std::lock_guard lk(mu_);
        held = blocks_.TakeAll();
    }
    for (auto& [serial, b] : held) device_->UnprepareHeader(&b->header);
    device_.reset();
}

uint8_t TACMOut::NumBuffers() const {
    std::lock_guard lk(mu_);
    return numBuffers_;
}

void TACMOut::SetNumBuffers(uint8_t n) {
    std::lock_guard lk(mu_);
    const int left = int(numBuffersLeft_) + int(n) - int(numBuffers_);
    numBuffers_ = n;
    numBuffersLeft_ = uint8_t(std::clamp(left, 0, 255));
}

uint8_t TACMOut::NumBuffersLeft() const {
    std::lock_guard lk(mu_);
    return numBuffersLeft_;
}

void TACMOut::SetNumBuffersLeft(uint8_t n) {
    std::lock_guard lk(mu_);
    numBuffersLeft_ = n;
}

size_t TACMOut::BlocksHeld() const {
    std::lock_guard lk(mu_);
    return blocks_.Size();
}

}  // namespace orb::media

namespace orb::media {

int TACMOut::DeviceRestarts() const {
    std::lock_guard dev(deviceMu_);
    return device_ ? device_->Restarts() : 0;
}

int TACMOut::DeviceUnderruns() const {
    std::lock_guard dev(deviceMu_);
    return device_ ? device_->Underruns() : 0;
}

bool TACMOut::DevicePaused() const {
    std::lock_guard dev(deviceMu_);
    return device_ && device_->Paused();
}

}  // namespace orb::media
