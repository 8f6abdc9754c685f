// GSM 6.10 driver over libgsm in its WAV49 packing: two frames of 160 samples in 65 bytes.
extern "C" {
#include <gsm.h>
}

#include <algorithm>
#include <cstring>

#include "audio/block_codec.h"

namespace orb::audio {

namespace {

constexpr size_t kSamplesPerBlock = 320;
constexpr size_t kBlockAlign = 65;

WaveFormat GsmFormat() {
    WaveFormat f;
    f.formatTag = kWaveFormatGsm610;
    f.channels = 1;
    f.samplesPerSec = 8000;
    f.avgBytesPerSec = 1625;
    f.blockAlign = kBlockAlign;
    f.bitsPerSample = 0;
    f.extra = {uint8_t(kSamplesPerBlock & 0xFF), uint8_t(kSamplesPerBlock >> 8)};  // samples per block
    return f;
}

WaveFormat GsmPcm() {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = 1;
    f.samplesPerSec = 8000;
    f.avgBytesPerSec = 16000;
    f.blockAlign = 2;
    f.bitsPerSample = 16;
    return f;
}

class GsmCodec final : public BlockCodec {
public:
    GsmCodec() : g_(gsm_create()) {
        int one = 1;
        if (g_) gsm_option(g_, GSM_OPT_WAV49, &one);
    }
    ~GsmCodec() override {
        if (g_) gsm_destroy(g_);
    }
    bool ok() const { return g_ != nullptr; }

    void Encode(const int16_t* pcm, uint8_t* block) override {
        // In WAV49 mode the first frame of a pair packs into 32 bytes and the second into 33.
        gsm_byte frame[33] = {};
        gsm_encode(g_, const_cast<gsm_signal*>(pcm), frame);
        std::memcpy(block, frame, 32);
        gsm_encode(g_, const_cast<gsm_signal*>(pcm + 160), frame);
        std::memcpy(block + 32, frame, 33);
    }
    void Decode(const uint8_t* block, int16_t* pcm) override {
        // ...and the decoder takes them back as 33 bytes, then 32.
        gsm_byte frame[33] = {};
        std::memcpy(frame, block, 33);
        int a = gsm_decode(g_, frame, pcm);
        std::memset(frame, 0, sizeof frame);
        std::memcpy(frame, block + 33, 32);
        int b = gsm_decode(g_, frame, pcm + 160);
        if (a < 0 || b < 0) std::fill(pcm, pcm + kSamplesPerBlock, int16_t(0));
    }

private:
    gsm g_;
};

class GsmDriver final : public AcmDriver {
public:
    std::string ShortName() const override { return "GSM 6.10"; }
    std::vector<uint16_t> FormatTags() const override { return {kWaveFormatPcm, kWaveFormatGsm610}; }
    size_t FormatCount(uint16_t tag) const override {
        return tag == kWaveFormatGsm610 || tag == kWaveFormatPcm ? 1 : 0;
    }
    bool FormatDetails(uint16_t tag, size_t index, WaveFormat& out) const override {
        if (index != 0) return false;
        if (tag == kWaveFormatGsm610) out = GsmFormat();
        else if (tag == kWaveFormatPcm) out = GsmPcm();
        else return false;
        return true;
    }
    size_t MaxFormatSize() const override { return kWaveFormatHeadSize + 2; }
    MmResult OpenStream(const WaveFormat& src, const WaveFormat& dst, std::unique_ptr<AcmStream>& out) override {
        const WaveFormat gsm = GsmFormat(), pcm = GsmPcm();
        bool encode = src == pcm && dst.SameBase(gsm);
        bool decode = src.SameBase(gsm) && dst == pcm;
        if (!encode && !decode) return kAcmErrNotPossible;
        auto codec = std::make_unique<GsmCodec>();
        if (!codec->ok()) return kMmErrNoMem;
        out = std::make_unique<BlockCodecStream>(std::move(codec), encode, kSamplesPerBlock, kBlockAlign);
        return kMmNoError;
    }
};

}  // namespace

std::shared_ptr<AcmDriver> MakeGsmDriver() { return std::make_shared<GsmDriver>(); }

}  // namespace orb::audio
