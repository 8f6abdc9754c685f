#include "audio/wave_io.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "audio/wave_devices.h"

namespace orb::audio {

namespace {

constexpr unsigned kLatencyUs = 200000;
constexpr int kWaitMs = 50;

std::mutex g_handlesMu;
std::map<const void*, int> g_handles;

}  // namespace

WaveDevice::WaveDevice(int deviceId, const WaveFormat& fmt, WaveCallback cb, bool capture)
    : deviceId_(deviceId), format_(fmt), cb_(std::move(cb)), capture_(capture), deviceFormat_(fmt) {}

WaveDevice::~WaveDevice() {
    StopThread();
    if (pcm_) snd_pcm_close(pcm_);
}

MmResult WaveDevice::OpenPcm(bool capture, int deviceId, const WaveFormat& fmt, snd_pcm_t** pcm, size_t& periodFrames) {
    if (!fmt.IsPcm() || fmt.channels < 1 || fmt.channels > 2 || fmt.samplesPerSec < 1000 ||
        fmt.samplesPerSec > 192000 || (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16) ||
        fmt.blockAlign != fmt.channels * fmt.bitsPerSample / 8)
        return kWaveErrBadFormat;
    WaveDeviceCaps caps;
    MmResult r = WaveGetDevCaps(capture ? WaveDirection::Input : WaveDirection::Output, deviceId, caps);
    if (r != kMmNoError) return r;
    int e = snd_pcm_open(pcm, caps.pcmName.c_str(), capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                         SND_PCM_NONBLOCK);
    if (e == -EBUSY) return kMmErrAllocated;
    if (e < 0) return kMmErrBadDeviceId;
    e = snd_pcm_set_params(*pcm, fmt.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                           SND_PCM_ACCESS_RW_INTERLEAVED, fmt.channels, fmt.samplesPerSec, 1, kLatencyUs);
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (e >= 0) e = snd_pcm_get_params(*pcm, &buffer, &period);
    if (e >= 0 && !capture) {
        // Start playing as soon as one period is there: voice blocks come one at a time.
        snd_pcm_sw_params_t* sw = nullptr;
        e = snd_pcm_sw_params_malloc(&sw);
        if (e >= 0) e = snd_pcm_sw_params_current(*pcm, sw);
        if (e >= 0) e = snd_pcm_sw_params_set_start_threshold(*pcm, sw, period);
        if (e >= 0) e = snd_pcm_sw_params(*pcm, sw);
        if (sw) snd_pcm_sw_params_free(sw);
    }
    if (e < 0 || period == 0) {
        snd_pcm_close(*pcm);
        *pcm = nullptr;
        return kWaveErrBadFormat;
    }
    periodFrames = period;
    return kMmNoError;
}

MmResult WaveDevice::PrepareHeader(WaveHeader* h) {
    if (!h || !h->data) return kMmErrInvalParam;
    if (h->flags & kWhdrInQueue) return kWaveErrStillPlaying;
    h->flags |= kWhdrPrepared;
    return kMmNoError;
}

MmResult WaveDevice::UnprepareHeader(WaveHeader* h) {
    if (!h) return kMmErrInvalParam;
    std::lock_guard lk(mu_);
    if (h->flags & kWhdrInQueue) return kWaveErrStillPlaying;
    h->flags &= ~kWhdrPrepared;
    return kMmNoError;
}

MmResult WaveDevice::Queue(WaveHeader* h) {
    if (!h || !h->data) return kMmErrInvalParam;
    if (!(h->flags & kWhdrPrepared)) return kWaveErrUnprepared;
    {
        std::lock_guard lk(mu_);
        if (closed_) return kMmErrInvalHandle;
        if (h->flags & kWhdrInQueue) return kWaveErrStillPlaying;
        h->flags = (h->flags & ~kWhdrDone) | kWhdrInQueue;
        if (capture_) h->bytesRecorded = 0;
        h->reserved = 0;
        queue_.push_back(h);
    }
    cv_.notify_all();
    return kMmNoError;
}

void WaveDevice::StartThread() {
    std::lock_guard lk(mu_);
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void WaveDevice::StopThread() {
    {
        std::lock_guard lk(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void WaveDevice::Run() {
    for (;;) {
        WaveHeader* h = nullptr;
        {
            std::unique_lock lk(mu_);
            cv_.wait(lk, [&] { return stop_ || (!queue_.empty() && !failed_); });
            if (stop_) return;
            h = queue_.front();
        }
        if (!Transfer(h)) continue;
        {
            std::lock_guard lk(mu_);
            if (queue_.empty() || queue_.front() != h) continue;  // taken back by a reset meanwhile
            queue_.pop_front();
            h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
        }
        cb_(capture_ ? WaveMsg::InData : WaveMsg::OutDone, h);
    }
}

void WaveDevice::MapBlock(const WaveHeader* h) {
    mappedFor_ = h;
    mappedPos_ = 0;
    mapped_.clear();
    size_t need = 0, used = 0, produced = 0;
    if (mapper_->SizeBySource(h->bufferLength, need) != kMmNoError) return;
    mapped_.resize(need);
    if (mapper_->Convert(h->data, h->bufferLength, used, mapped_.data(), mapped_.size(), produced,
                         kAcmConvertBlockAlign | kAcmConvertStart | kAcmConvertEnd) != kMmNoError)
        produced = 0;
    mapped_.resize(std::min(produced, need));
}

bool WaveDevice::Transfer(WaveHeader* h) {
    const size_t frameBytes = deviceFormat_.blockAlign;
    const bool mapped = !capture_ && mapper_;
    if (mapped && mappedFor_ != h) MapBlock(h);
    uint8_t* const base = mapped ? mapped_.data() : h->data;
    const size_t total = mapped ? mapped_.size() : h->bufferLength;
    const size_t done = capture_ ? h->bytesRecorded : mapped ? mappedPos_ : size_t(h->reserved);
    const size_t left = (total - std::min(done, total)) / frameBytes;
    if (left == 0) {
        mappedFor_ = nullptr;
        return true;
    }
    // A capture stream waits in the prepared state until started (again after a recovered overrun).
    if (capture_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
    int w = snd_pcm_wait(pcm_, kWaitMs);
    {
        std::lock_guard lk(mu_);
        if (stop_) return false;
    }
    if (w == 0) return false;
    const size_t frames = std::min(left, periodFrames_);
    snd_pcm_sframes_t n;
    if (capture_) {
        n = snd_pcm_readi(pcm_, base + done, frames);
    } else {
        const uint8_t* src = base + done;
        const uint32_t volume = WaveOutVolumeOf(deviceId_);
        if (volume != 0xFFFFFFFFu) {
            scratch_.assign(src, src + frames * frameBytes);
            const uint32_t gains[2] = {volume & 0xFFFF, volume >> 16};
            const uint16_t channels = deviceFormat_.channels;
            if (deviceFormat_.bitsPerSample == 16) {
                for (size_t i = 0; i < frames * channels; ++i) {
                    int16_t s;
                    std::memcpy(&s, &scratch_[i * 2], 2);
                    s = int16_t(int32_t(s) * int32_t(gains[i % channels]) / 65535);
                    std::memcpy(&scratch_[i * 2], &s, 2);
                }
            } else {
                for (size_t i = 0; i < frames * channels; ++i)
                    scratch_[i] = uint8_t(128 + (int32_t(scratch_[i]) - 128) * int32_t(gains[i % channels]) / 65535);
            }
            src = scratch_.data();
        }
        n = snd_pcm_writei(pcm_, src, frames);
    }
    if (n == -EAGAIN) return false;
    if (n < 0) {
        if (snd_pcm_recover(pcm_, int(n), 1) < 0) {
            // A device that is gone: stop working on it and keep the queue for the owner's reset.
            std::lock_guard lk(mu_);
            failed_ = true;
        }
        return false;
    }
    if (capture_) h->bytesRecorded += uint32_t(size_t(n) * frameBytes);
    else if (mapped) mappedPos_ += size_t(n) * frameBytes;
    else h->reserved += uint32_t(size_t(n) * frameBytes);
    const size_t now = capture_ ? h->bytesRecorded : mapped ? mappedPos_ : h->reserved;
    if (total - now >= frameBytes) return false;
    mappedFor_ = nullptr;
    return true;
}

MmResult WaveDevice::Reset() {
    StopThread();
    std::deque<WaveHeader*> back;
    {
        std::lock_guard lk(mu_);
        if (closed_) return kMmErrInvalHandle;
        back.swap(queue_);
        for (auto* h : back) h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
        mappedFor_ = nullptr;  // the device thread has stopped
    }
    snd_pcm_drop(pcm_);
    if (snd_pcm_prepare(pcm_) >= 0) {
        std::lock_guard lk(mu_);
        failed_ = false;
    }
    for (auto* h : back) cb_(capture_ ? WaveMsg::InData : WaveMsg::OutDone, h);
    if (!capture_) StartThread();
    return kMmNoError;
}

MmResult WaveDevice::Close() {
    {
        std::lock_guard lk(mu_);
        if (closed_) return kMmErrInvalHandle;
        if (!queue_.empty()) return kWaveErrStillPlaying;
    }
    StopThread();
    std::lock_guard lk(mu_);
    closed_ = true;
    if (!capture_) {
        // Let what was written play out.
        snd_pcm_nonblock(pcm_, 0);
        snd_pcm_drain(pcm_);
    }
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return kMmNoError;
}

MmResult WaveIn::Open(std::unique_ptr<WaveIn>& out, int deviceId, const WaveFormat& fmt, WaveCallback cb, uint32_t) {
    out.reset();
    snd_pcm_t* pcm = nullptr;
    size_t period = 0;
    MmResult r = OpenPcm(true, deviceId, fmt, &pcm, period);
    if (r != kMmNoError) return r;
    std::unique_ptr<WaveIn> w(new WaveIn(deviceId, fmt, std::move(cb), true));
    w->pcm_ = pcm;
    w->periodFrames_ = period;
    {
        std::lock_guard lk(g_handlesMu);
        g_handles[w.get()] = deviceId;
    }
    out = std::move(w);
    return kMmNoError;
}

WaveIn::~WaveIn() {
    std::lock_guard lk(g_handlesMu);
    g_handles.erase(this);
}

MmResult WaveIn::Start() {
    {
        std::lock_guard lk(mu_);
        if (closed_) return kMmErrInvalHandle;
    }
    StartThread();
    return kMmNoError;
}

bool WaveIn::DeviceOfHandle(const void* handle, int& deviceId) {
    std::lock_guard lk(g_handlesMu);
    auto it = g_handles.find(handle);
    if (it == g_handles.end()) return false;
    deviceId = it->second;
    return true;
}

MmResult WaveOut::Open(std::unique_ptr<WaveOut>& out, int deviceId, const WaveFormat& fmt, WaveCallback cb,
                       uint32_t flags) {
    out.reset();
    WaveFormat played = fmt;
    std::unique_ptr<AcmStream> mapper;
    if (!fmt.IsPcm()) {
        // A codec format plays only through the mapper, decoded to 16-bit PCM at its own rate.
        if (!(flags & kWaveMapped) && deviceId != kWaveMapper) return kWaveErrBadFormat;
        played = WaveFormat{};
        played.formatTag = kWaveFormatPcm;
        played.channels = fmt.channels;
        played.samplesPerSec = fmt.samplesPerSec;
        played.bitsPerSample = 16;
        played.blockAlign = uint16_t(2 * fmt.channels);
        played.avgBytesPerSec = fmt.samplesPerSec * played.blockAlign;
        if (AcmStreamOpen(fmt, played, 0, mapper) != kMmNoError) return kWaveErrBadFormat;
    }
    snd_pcm_t* pcm = nullptr;
    size_t period = 0;
    MmResult r = OpenPcm(false, deviceId, played, &pcm, period);
    if (r != kMmNoError) return r;
    std::unique_ptr<WaveOut> w(new WaveOut(deviceId, fmt, std::move(cb), false));
    w->deviceFormat_ = played;
    w->mapper_ = std::move(mapper);
    w->pcm_ = pcm;
    w->periodFrames_ = period;
    w->StartThread();
    out = std::move(w);
    return kMmNoError;
}

}  // namespace orb::audio
