#include "wizard_audio.h"

#include <algorithm>
#include <cmath>

#include "audio/init_sound.h"
#include "audio/peak_level.h"
#include "wire/bytes.h"

namespace orb {

using namespace orb::media;

int WizardMeterPercent(int peak, int threshold) {
    if (peak < threshold) return 0;
    return std::clamp(int(std::lround(peak / 1000.0 * 100.0)), 0, 100);
}

int DevicePosition(int setting, int count) {
    if (count <= 0) return -1;
    return setting >= 0 && setting < count ? setting : 0;
}

bool ParseWave(std::span<const uint8_t> bytes, TWaveData& out) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    audio::WaveFormat f;
    size_t at = 12;
    while (bytes.size() - at >= 8) {
        const uint8_t* chunk = bytes.data() + at;
        const uint32_t size = LoadU32(chunk + 4);
        if (size > bytes.size() - at - 8) return false;
        const uint8_t* body = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) return false;
            f.formatTag = LoadU16(body);
            f.channels = LoadU16(body + 2);
            f.samplesPerSec = LoadU32(body + 4);
            f.avgBytesPerSec = LoadU32(body + 8);
            f.blockAlign = LoadU16(body + 12);
            f.bitsPerSample = LoadU16(body + 14);
            if (f.formatTag != audio::kWaveFormatPcm || (f.bitsPerSample != 8 && f.bitsPerSample != 16) ||
                f.channels < 1 || f.channels > 2 || f.blockAlign != f.channels * f.bitsPerSample / 8 ||
                f.samplesPerSec < 4000 || f.samplesPerSec > 96000 || f.avgBytesPerSec != f.samplesPerSec * f.blockAlign)
                return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return false;
            out.format = f;
            out.samples.assign(body, body + (size - size % f.blockAlign));
            return true;
        }
        at += 8 + size + (size & 1);
        if (at > bytes.size()) return false;
    }
    return false;
}

void TWizHandOff::Put(std::vector<uint8_t> block) {
    {
        std::lock_guard lk(mu_);
        if (slot_) ++replaced_;
        slot_ = std::move(block);
    }
    cv_.notify_one();
}

bool TWizHandOff::Take(std::vector<uint8_t>& out) {
    std::unique_lock lk(mu_);
    cv_.wait(lk, [&] { return stopped_ || slot_.has_value(); });
    if (stopped_) return false;
    out = std::move(*slot_);
    slot_.reset();
    return true;
}

void TWizHandOff::Stop() {
    {
        std::lock_guard lk(mu_);
        stopped_ = true;
        slot_.reset();
    }
    cv_.notify_all();
}

void TWizHandOff::Restart() {
    std::lock_guard lk(mu_);
    stopped_ = false;
    slot_.reset();
}

size_t TWizHandOff::Replaced() const {
    std::lock_guard lk(mu_);
    return replaced_;
}

bool TTestSoundPlayer::Start(const TWaveData& sound, int deviceId) {
    Stop();
    if (sound.samples.empty()) return false;
    std::unique_ptr<audio::WaveOut> out;
    auto done = [this](audio::WaveMsg msg, audio::WaveHeader*) {
        if (msg != audio::WaveMsg::OutDone) return;
        bool finished = false;
        {
            std::lock_guard lk(mu_);
            if (pending_ > 0 && --pending_ == 0 && active_) {
                active_ = false;
                finished = true;
            }
        }
        if (finished && OnFinished) OnFinished();
    };
    if (audio::WaveOut::Open(out, deviceId, sound.format, done) != audio::kMmNoError || !out) return false;
    std::lock_guard lk(mu_);
    data_ = sound.samples;
    // Quarter-second pieces, all queued at once.
    const size_t piece = std::max<size_t>(sound.format.blockAlign, sound.format.avgBytesPerSec / 4 /
                                                                     sound.format.blockAlign * sound.format.blockAlign);
    headers_.assign((data_.size() + piece - 1) / piece, audio::WaveHeader{});
    out_ = std::move(out);
    active_ = true;
    pending_ = headers_.size();
    for (size_t i = 0; i < headers_.size(); ++i) {
        auto& h = headers_[i];
        h.data = data_.data() + i * piece;
        h.bufferLength = uint32_t(std::min(piece, data_.size() - i * piece));
        out_->PrepareHeader(&h);
    }
    for (auto& h : headers_) out_->Write(&h);
    return true;
}

void TTestSoundPlayer::Stop() {
    std::unique_ptr<audio::WaveOut> out;
    {
        std::lock_guard lk(mu_);
        active_ = false;
        out = std::move(out_);
    }
    if (!out) return;
    // Reset hands every queued piece back at once (its notices take the lock, so it is not held).
    out->Reset();
    for (auto& h : headers_) out->UnprepareHeader(&h);
    out->Close();
    out.reset();
    std::lock_guard lk(mu_);
    pending_ = 0;
    headers_.clear();
    data_.clear();
}

bool TTestSoundPlayer::Active() const {
    std::lock_guard lk(mu_);
    return active_;
}

bool TMicLoopback::StartMicLoopback(int codecIndex, int captureDevice, int playbackDevice) {
    Stop();
    try {
        if (!BuildCodecFormat(codecIndex, codec_)) return false;
        auto pcm = BuildPcmFormat(codec_.bitsPerSample, codec_.samplesPerSec);
        if (!pcm) return false;
        pcm_ = *pcm;
        encoder_ = std::make_unique<TAcmLiveConverter>();
        if (!encoder_->Open(pcm_, codec_, true)) {
            Stop();
            return false;
        }
        capture_ = std::make_unique<TACMIn>(loop_);
        capture_->SetBufferSize(pcm_.avgBytesPerSec / 2);
        capture_->SetNumBuffers(2);
        capture_->OnBufferFull = [this](TACMIn&, const uint8_t* d, uint32_t n) { OnCaptured(d, n); };
        // The output takes the codec's blocks and decodes them itself.
        out_ = std::make_unique<TACMOut>(loop_);
        out_->Open(codec_, playbackDevice);
        handOff_.Restart();
        player_ = TWizPlayThread([this] { PlayLoop(); });
        capture_->Open(pcm_, captureDevice);
        running_ = true;
        return true;
    } catch (...) {
        Stop();
        return false;
    }
}

void TMicLoopback::OnCaptured(const uint8_t* data, uint32_t size) {
    if (!data || size == 0 || !encoder_) return;
    const int peak = std::max(0, PeakLevel(data, size, pcm_.bitsPerSample ? pcm_.bitsPerSample : 16));
    if (!Passes || Passes(peak)) {
        std::vector<uint8_t> encoded;
        uint32_t n = 0;
        if (encoder_->Convert(data, size, n, encoded) && n > 0) {
            handOff_.Put(std::move(encoded));
            ++handedOver_;
        }
    }
    if (OnLevel) OnLevel(peak);
}

void TMicLoopback::PlayLoop() {
    std::vector<uint8_t> block;
    while (handOff_.Take(block)) {
        if (out_ && out_->Play(block.data(), uint32_t(block.size()))) ++played_;
    }
}

void TMicLoopback::Stop() {
    if (capture_) {
        try {
            capture_->Close();
        } catch (...) {
        }
    }
    // The playing thread waits on the hand-off; stopping it wakes it at once.
    handOff_.Stop();
    if (player_.joinable()) player_.join();
    if (out_) {
        try {
            out_->Close();
        } catch (...) {
        }
    }
    capture_.reset();
    out_.reset();
    encoder_.reset();
    running_ = false;
}

}  // namespace orb
