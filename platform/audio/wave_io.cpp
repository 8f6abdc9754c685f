#include "audio/wave_io.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "audio/wave_devices.h"

namespace orb::audio {

namespace {

// Playback holds up to this much: room for the largest lead below plus a period of silence.
constexpr unsigned kPlaybackBufferUs = 800000;
// Capture may hold more: what it holds is read as soon as it is there, so the size only decides
// how long a busy machine may keep the reader away before samples are lost.
constexpr unsigned kCaptureBufferUs = 1000000;
constexpr int kWaitMs = 50;
// Playback keeps at least this much queued on the device while it has no block to play, so the
// stream never runs dry; it is also the most a block waits behind silence. A machine too busy to
// wake the device thread in time lets the stream run dry anyway: each time it does, the lead
// doubles, up to half a second (one voice block).
constexpr double kLowWaterMs = 150;
constexpr double kMaxLowWaterMs = 500;
// How long an active playback thread sleeps at most (it reports played blocks meanwhile).
constexpr int kIdleSliceMs = 20;
// A player with nothing to play for this long stops costing anything: its stream is paused (it
// stays open, holding its lead of silence), or, on a device that cannot pause, fed in large periods.
constexpr double kPauseAfterMs = 1000;
constexpr double kIdlePeriodMs = 250;
// Silence beyond the lead written at a time while the stream runs.
constexpr double kSilenceStepMs = 40;
// Capture read while the owner has no buffer queued is kept up to this long.
constexpr double kOverflowSeconds = 2.0;

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::mutex g_handlesMu;
std::map<const void*, int> g_handles;

}  // namespace

WaveDevice::WaveDevice(int deviceId, const WaveFormat& fmt, WaveCallback cb, bool capture)
    : deviceId_(deviceId), format_(fmt), cb_(std::move(cb)), capture_(capture), deviceFormat_(fmt) {
    lowWaterMs_ = kLowWaterMs;
    lowWater_ = kLowWaterMs;
}

WaveDevice::~WaveDevice() {
    StopThread();
    if (pcm_) snd_pcm_close(pcm_);
}

MmResult WaveDevice::OpenPcm(bool capture, int deviceId, const WaveFormat& fmt, snd_pcm_t** pcm, size_t& periodFrames,
                             size_t& bufferFrames) {
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
                           SND_PCM_ACCESS_RW_INTERLEAVED, fmt.channels, fmt.samplesPerSec, 1,
                           capture ? kCaptureBufferUs : kPlaybackBufferUs);
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (e >= 0) e = snd_pcm_get_params(*pcm, &buffer, &period);
    if (e >= 0 && !capture) {
        // Start playing as soon as one period is there: voice blocks come one at a time.
        snd_pcm_sw_params_t* sw = nullptr;
        e = snd_pcm_sw_params_malloc(&sw);
        if (e >= 0) e = snd_pcm_sw_params_current(*pcm, sw);
        if (e >= 0) e = snd_pcm_sw_params_set_start_threshold(*pcm, sw, period);
        // Running dry must not stop the stream: a stopped stream needs a prepare, which makes a
        // sound server open a new one. Played areas turn to silence instead of playing again. A
        // device that refuses this still plays, stopping when it runs dry.
        snd_pcm_uframes_t boundary = 0;
        if (e >= 0 && snd_pcm_sw_params_get_boundary(sw, &boundary) >= 0 &&
            snd_pcm_sw_params_set_stop_threshold(*pcm, sw, boundary) >= 0 &&
            snd_pcm_sw_params_set_silence_threshold(*pcm, sw, 0) >= 0 &&
            snd_pcm_sw_params_set_silence_size(*pcm, sw, boundary) >= 0 && snd_pcm_sw_params(*pcm, sw) >= 0) {
        } else if (e >= 0) {
            e = snd_pcm_sw_params_current(*pcm, sw);
            if (e >= 0) e = snd_pcm_sw_params_set_start_threshold(*pcm, sw, period);
            if (e >= 0) e = snd_pcm_sw_params(*pcm, sw);
        }
        if (sw) snd_pcm_sw_params_free(sw);
    }
    if (e < 0 || period == 0) {
        snd_pcm_close(*pcm);
        *pcm = nullptr;
        return kWaveErrBadFormat;
    }
    periodFrames = period;
    bufferFrames = buffer;
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
    if (capture_) RunCapture();
    else RunPlayback();
}

int WaveDevice::Restarts() const { return restarts_.load(); }
int WaveDevice::Underruns() const { return underruns_.load(); }
double WaveDevice::LowWaterMs() const { return lowWater_.load(); }

void WaveDevice::Recover(long error) {
    if (!capture_) RanDry();
    if (snd_pcm_recover(pcm_, int(error), 1) < 0) {
        // A device that is gone: stop working on it and keep the queue for the owner's reset.
        std::lock_guard lk(mu_);
        failed_ = true;
        return;
    }
    ++restarts_;
    paused_ = false;
    pausedNow_ = false;
    fed_ = false;
    // What the device held is gone with the old stream: it counts as played.
    playedBy_ = Clock::now();
}

void WaveDevice::RanDry() {
    ++underruns_;
    lowWaterMs_ = std::min(lowWaterMs_ * 2, kMaxLowWaterMs);
    lowWater_ = lowWaterMs_;
}

long WaveDevice::Held() {
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) return long(avail);
    if (!capture_ && size_t(avail) > bufferFrames_) {
        // Ran dry and kept running: what is written next must follow what plays now, not what
        // was last written.
        snd_pcm_forward(pcm_, snd_pcm_uframes_t(size_t(avail) - bufferFrames_));
        return 0;
    }
    return size_t(avail) < bufferFrames_ ? long(bufferFrames_ - size_t(avail)) : 0;
}

double WaveDevice::LeadMs() {
    const auto now = Clock::now();
    long held = Held();
    if (held < 0) {
        Recover(held);
        held = 0;
    }
    // A device that buffers knows best; one that takes everything at once (a file) is paced by
    // the clock alone.
    if (held > 0)
        playedBy_ = now + std::chrono::microseconds(int64_t(held) * 1000000 / std::max<uint32_t>(deviceFormat_.samplesPerSec, 1));
    const double lead = std::max(0.0, MsBetween(now, playedBy_));
    // Everything written has played out while the stream ran: the thread came too late.
    if (lead == 0 && fed_ && !paused_) {
        fed_ = false;
        RanDry();
    }
    return lead;
}

long WaveDevice::WriteFrames(const uint8_t* src, size_t frames) {
    const size_t frameBytes = deviceFormat_.blockAlign;
    const uint32_t volume = WaveOutVolumeOf(deviceId_);
    if (volume != 0xFFFFFFFFu) {
        scratch_.assign(src, src + frames * frameBytes);
        const uint32_t gains[2] = {volume & 0xFFFF, volume >> 16};
        const uint16_t channels = deviceFormat_.channels;
        if (deviceFormat_.bitsPerSample == 16) {
            for (size_t i = 0; i < frames * channels; ++i) {
                int16_t v;
                std::memcpy(&v, &scratch_[i * 2], 2);
                v = int16_t(int32_t(v) * int32_t(gains[i % channels]) / 65535);
                std::memcpy(&scratch_[i * 2], &v, 2);
            }
        } else {
            for (size_t i = 0; i < frames * channels; ++i)
                scratch_[i] = uint8_t(128 + (int32_t(scratch_[i]) - 128) * int32_t(gains[i % channels]) / 65535);
        }
        src = scratch_.data();
    }
    const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, src, frames);
    if (n > 0) {
        written_ += uint64_t(n);
        frames_ += uint64_t(n);
        fed_ = true;
        const auto now = Clock::now();
        playedBy_ = std::max(playedBy_, now) +
                    std::chrono::microseconds(int64_t(n) * 1000000 / std::max<uint32_t>(deviceFormat_.samplesPerSec, 1));
    }
    return long(n);
}

bool WaveDevice::WriteFrom(WaveHeader* h) {
    const size_t frameBytes = deviceFormat_.blockAlign;
    const bool mapped = mapper_ != nullptr;
    if (mapped && mappedFor_ != h) MapBlock(h);
    const uint8_t* const base = mapped ? mapped_.data() : h->data;
    const size_t total = mapped ? mapped_.size() : h->bufferLength;
    for (;;) {
        const size_t done = mapped ? mappedPos_ : size_t(h->reserved);
        const size_t left = (total - std::min(done, total)) / frameBytes;
        if (left == 0) {
            mappedFor_ = nullptr;
            return true;
        }
        {
            std::lock_guard lk(mu_);
            if (stop_) return false;
        }
        const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
        if (room < 0) {
            Recover(long(room));
            return false;
        }
        if (room == 0) return false;
        const long n = WriteFrames(base + done, std::min(left, size_t(room)));
        if (n == -EAGAIN || n == 0) return false;
        if (n < 0) {
            Recover(n);
            return false;
        }
        if (mapped) mappedPos_ += size_t(n) * frameBytes;
        else h->reserved += uint32_t(size_t(n) * frameBytes);
    }
}

void WaveDevice::FeedSilence(double extraMs) {
    const double lead = LeadMs();
    if (lead >= lowWaterMs_) return;
    const uint32_t rate = deviceFormat_.samplesPerSec;
    // Silence written while a speaker talks goes before the next block: a little at a time, once
    // the stream runs; a stream that has not started yet needs a whole period to start.
    const size_t margin = snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED
                              ? periodFrames_
                              : std::min(periodFrames_, size_t(kSilenceStepMs * rate / 1000));
    size_t frames = size_t((lowWaterMs_ + extraMs - lead) * rate / 1000) + margin;
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room < 0) {
        Recover(long(room));
        return;
    }
    frames = std::min(frames, size_t(room));
    if (frames == 0) return;
    silence_.resize(frames * deviceFormat_.blockAlign);
    std::fill(silence_.begin(), silence_.end(), deviceFormat_.bitsPerSample == 8 ? uint8_t(0x80) : uint8_t(0));
    const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, silence_.data(), frames);
    if (n > 0) {
        written_ += uint64_t(n);
        fed_ = true;
        playedBy_ = std::max(playedBy_, Clock::now()) + std::chrono::microseconds(int64_t(n) * 1000000 / std::max<uint32_t>(rate, 1));
    } else if (n < 0 && n != -EAGAIN) {
        Recover(long(n));
    }
}

void WaveDevice::ReportPlayed() {
    long held = Held();
    if (held < 0) {
        Recover(held);
        held = 0;
    }
    const uint64_t played = written_ - std::min<uint64_t>(written_, uint64_t(held));
    std::vector<WaveHeader*> done;
    {
        std::lock_guard lk(mu_);
        while (!writtenHeaders_.empty() && writtenHeaders_.front().end <= played) {
            WaveHeader* h = writtenHeaders_.front().header;
            writtenHeaders_.pop_front();
            h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
            done.push_back(h);
        }
    }
    for (WaveHeader* h : done) cb_(WaveMsg::OutDone, h);
}

bool WaveDevice::NextQueued(WaveHeader*& h) {
    std::unique_lock lk(mu_);
    // A failed stream waits for its recovery.
    cv_.wait(lk, [&] { return stop_ || !failed_; });
    if (stop_) return false;
    h = queue_.empty() ? nullptr : queue_.front();
    return true;
}

void WaveDevice::RunPlayback() {
    playedBy_ = Clock::now();
    auto idleSince = Clock::now();
    bool idle = false;
    for (;;) {
        WaveHeader* h = nullptr;
        if (!NextQueued(h)) return;
        ReportPlayed();
        if (h) {
            idle = false;
            if (paused_) {
                // The lead of silence it paused with plays first, so the block cannot find it dry.
                if (snd_pcm_pause(pcm_, 0) < 0 && snd_pcm_recover(pcm_, -EPIPE, 1) >= 0) ++restarts_;
                paused_ = false;
                pausedNow_ = false;
            }
            if (WriteFrom(h)) {
                std::lock_guard lk(mu_);
                // Taken back by a reset meanwhile: nothing more to do with it.
                if (!queue_.empty() && queue_.front() == h) {
                    queue_.pop_front();
                    writtenHeaders_.push_back({h, written_});
                }
            } else {
                snd_pcm_wait(pcm_, kWaitMs);
            }
            continue;
        }
        {
            std::lock_guard lk(mu_);
            if (!writtenHeaders_.empty()) idle = false;
            else if (!idle) {
                idle = true;
                idleSince = Clock::now();
            }
        }
        const bool longIdle = idle && MsBetween(idleSince, Clock::now()) >= kPauseAfterMs;
        if (!paused_) FeedSilence(longIdle && !canPause_ ? kIdlePeriodMs : 0);
        if (longIdle && canPause_ && !paused_ && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING &&
            snd_pcm_pause(pcm_, 1) >= 0) {
            paused_ = true;
            pausedNow_ = true;
        }
        if (paused_ || (longIdle && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED)) {
            // Nothing plays: nothing to do until a block comes.
            std::unique_lock lk(mu_);
            cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
            continue;
        }
        const double lead = LeadMs();
        const double slice = longIdle ? kIdlePeriodMs : double(kIdleSliceMs);
        const int sleepMs = int(std::clamp(lead - lowWaterMs_, 1.0, slice));
        std::unique_lock lk(mu_);
        cv_.wait_for(lk, std::chrono::milliseconds(sleepMs), [&] { return stop_ || !queue_.empty(); });
    }
}

void WaveDevice::RunCapture() {
    const size_t frameBytes = deviceFormat_.blockAlign;
    lastSpare_ = Clock::now();
    for (;;) {
        WaveHeader* h = nullptr;
        if (!NextQueued(h)) return;
        bool full = false;
        if (h && !overflow_.empty()) {
            // What was read while no buffer was queued comes first.
            const size_t room = (h->bufferLength - std::min(h->bytesRecorded, h->bufferLength)) / frameBytes * frameBytes;
            const size_t n = std::min(room, overflow_.size());
            std::copy(overflow_.begin(), overflow_.begin() + std::ptrdiff_t(n), h->data + h->bytesRecorded);
            overflow_.erase(overflow_.begin(), overflow_.begin() + std::ptrdiff_t(n));
            h->bytesRecorded += uint32_t(n);
            full = h->bufferLength - h->bytesRecorded < frameBytes;
        } else {
            // A capture stream waits in the prepared state until started (again after a recovered overrun).
            if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
            const int w = snd_pcm_wait(pcm_, kWaitMs);
            {
                std::lock_guard lk(mu_);
                if (stop_) return;
            }
            if (w == 0) continue;
            snd_pcm_sframes_t n;
            if (h) {
                const size_t left = (h->bufferLength - std::min(h->bytesRecorded, h->bufferLength)) / frameBytes;
                n = left == 0 ? 0 : snd_pcm_readi(pcm_, h->data + h->bytesRecorded, std::min(left, periodFrames_));
                if (n > 0) {
                    h->bytesRecorded += uint32_t(size_t(n) * frameBytes);
                    frames_ += uint64_t(n);
                }
                full = h->bufferLength - h->bytesRecorded < frameBytes;
                lastSpare_ = Clock::now();
            } else {
                // No buffer queued: keep reading so the stream never overruns, but no faster than the
                // clock (a file device gives everything at once).
                const auto now = Clock::now();
                const size_t due = size_t(MsBetween(lastSpare_, now) * deviceFormat_.samplesPerSec / 1000);
                const size_t frames = std::min(due, periodFrames_);
                if (frames == 0) {
                    std::unique_lock lk(mu_);
                    cv_.wait_for(lk, std::chrono::milliseconds(5), [&] { return stop_ || !queue_.empty(); });
                    continue;
                }
                scratch_.resize(frames * frameBytes);
                n = snd_pcm_readi(pcm_, scratch_.data(), frames);
                if (n > 0) {
                    frames_ += uint64_t(n);
                    lastSpare_ += std::chrono::microseconds(int64_t(n) * 1000000 / std::max<uint32_t>(deviceFormat_.samplesPerSec, 1));
                    overflow_.insert(overflow_.end(), scratch_.begin(), scratch_.begin() + std::ptrdiff_t(size_t(n) * frameBytes));
                    const size_t cap = size_t(kOverflowSeconds * deviceFormat_.avgBytesPerSec) / frameBytes * frameBytes;
                    if (overflow_.size() > cap) overflow_.erase(overflow_.begin(), overflow_.begin() + std::ptrdiff_t(overflow_.size() - cap));
                }
            }
            if (n == -EAGAIN) continue;
            if (n < 0) {
                Recover(long(n));
                continue;
            }
        }
        if (!full) continue;
        {
            std::lock_guard lk(mu_);
            if (queue_.empty() || queue_.front() != h) continue;  // taken back by a reset meanwhile
            queue_.pop_front();
            h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
        }
        cb_(WaveMsg::InData, h);
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

MmResult WaveDevice::Reset() {
    StopThread();
    std::deque<WaveHeader*> back;
    {
        std::lock_guard lk(mu_);
        if (closed_) return kMmErrInvalHandle;
        // Written blocks first: they were queued before the ones still waiting.
        for (auto& w : writtenHeaders_) back.push_back(w.header);
        writtenHeaders_.clear();
        for (auto* h : queue_) back.push_back(h);
        queue_.clear();
        for (auto* h : back) h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
        mappedFor_ = nullptr;  // the device thread has stopped
        overflow_.clear();
        written_ = 0;
        fed_ = false;
        paused_ = false;
        pausedNow_ = false;
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
        if (!queue_.empty() || !writtenHeaders_.empty()) return kWaveErrStillPlaying;
    }
    StopThread();
    std::lock_guard lk(mu_);
    closed_ = true;
    if (!capture_ && !paused_) {
        // Let what was written play out (a paused stream holds only silence).
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
    size_t buffer = 0;
    MmResult r = OpenPcm(true, deviceId, fmt, &pcm, period, buffer);
    if (r != kMmNoError) return r;
    std::unique_ptr<WaveIn> w(new WaveIn(deviceId, fmt, std::move(cb), true));
    w->pcm_ = pcm;
    w->periodFrames_ = period;
    w->bufferFrames_ = buffer;
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
    size_t buffer = 0;
    MmResult r = OpenPcm(false, deviceId, played, &pcm, period, buffer);
    if (r != kMmNoError) return r;
    std::unique_ptr<WaveOut> w(new WaveOut(deviceId, fmt, std::move(cb), false));
    w->deviceFormat_ = played;
    w->mapper_ = std::move(mapper);
    w->pcm_ = pcm;
    w->periodFrames_ = period;
    w->bufferFrames_ = buffer;
    {
        snd_pcm_hw_params_t* hw = nullptr;
        if (snd_pcm_hw_params_malloc(&hw) >= 0) {
            if (snd_pcm_hw_params_current(pcm, hw) >= 0) w->canPause_ = snd_pcm_hw_params_can_pause(hw) == 1;
            snd_pcm_hw_params_free(hw);
        }
    }
    w->StartThread();
    out = std::move(w);
    return kMmNoError;
}

}  // namespace orb::audio
