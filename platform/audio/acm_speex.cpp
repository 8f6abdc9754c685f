// Speex driver over libspeex: narrowband, wideband and ultra-wideband in constant bit rate, with one
// or two 20 ms frames per block. The standard formats are every quality of every mode; a format's
// block align and byte rate pick the mode, quality and frames per block.
#include <speex/speex.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "audio/block_codec.h"

namespace orb::audio {

namespace {

struct SpeexSetting {
    int modeId = 0;       // SPEEX_MODEID_NB, _WB or _UWB
    int quality = 0;      // 0..10
    int frames = 1;       // frames per block
    int frameSize = 0;    // samples per frame
    WaveFormat format;
};

constexpr uint16_t kExtraVersion = 1;
constexpr size_t kExtraSize = 14;

const SpeexMode* ModeOf(int id) { return speex_lib_get_mode(id); }

// Bits one frame takes at a mode and quality, measured by encoding a frame.
int BitsPerFrame(int modeId, int quality, int& frameSize) {
    void* enc = speex_encoder_init(ModeOf(modeId));
    if (!enc) return 0;
    speex_encoder_ctl(enc, SPEEX_SET_QUALITY, &quality);
    speex_encoder_ctl(enc, SPEEX_GET_FRAME_SIZE, &frameSize);
    std::vector<spx_int16_t> pcm(size_t(std::max(frameSize, 1)));
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = spx_int16_t(8000 * std::sin(double(i) * 0.3));
    SpeexBits bits;
    speex_bits_init(&bits);
    speex_encode_int(enc, pcm.data(), &bits);
    int n = bits.nbBits;
    speex_bits_destroy(&bits);
    speex_encoder_destroy(enc);
    return n;
}

const std::vector<SpeexSetting>& Settings() {
    static std::once_flag once;
    static std::vector<SpeexSetting> list;
    std::call_once(once, [] {
        const int modes[] = {SPEEX_MODEID_NB, SPEEX_MODEID_WB, SPEEX_MODEID_UWB};
        const uint32_t rates[] = {8000, 16000, 32000};
        for (int m = 0; m < 3; ++m) {
            for (int q = 0; q <= 10; ++q) {
                int frameSize = 0;
                int bits = BitsPerFrame(modes[m], q, frameSize);
                if (bits <= 0 || frameSize <= 0) continue;
                for (int frames = 1; frames <= 2; ++frames) {
                    SpeexSetting s;
                    s.modeId = modes[m];
                    s.quality = q;
                    s.frames = frames;
                    s.frameSize = frameSize;
                    WaveFormat& f = s.format;
                    f.formatTag = kWaveFormatSpeex;
                    f.channels = 1;
                    f.samplesPerSec = rates[m];
                    f.bitsPerSample = 16;
                    f.blockAlign = uint16_t((frames * bits + 7) / 8);
                    f.avgBytesPerSec = f.blockAlign * rates[m] / uint32_t(frames * frameSize);
                    const uint16_t extra[7] = {kExtraVersion, uint16_t(modes[m]), uint16_t(q), uint16_t(frames),
                                               uint16_t(frameSize), 0, 0};
                    f.extra.resize(kExtraSize);
                    for (int i = 0; i < 7; ++i) {
                        f.extra[size_t(2 * i)] = uint8_t(extra[i] & 0xFF);
                        f.extra[size_t(2 * i + 1)] = uint8_t(extra[i] >> 8);
                    }
                    // Qualities that share a bit rate encode alike; keep the first.
                    bool dup = std::any_of(list.begin(), list.end(),
                                           [&](const SpeexSetting& o) { return o.format.SameBase(f); });
                    if (!dup) list.push_back(std::move(s));
                }
            }
        }
    });
    return list;
}

// The codec parameters come from our own list, matched on the format's fields: the extra bytes of
// a format from elsewhere are not trusted.
const SpeexSetting* Find(const WaveFormat& f) {
    for (const auto& s : Settings())
        if (s.format.SameBase(f)) return &s;
    return nullptr;
}

class SpeexCodec final : public BlockCodec {
public:
    SpeexCodec(const SpeexSetting& s, bool encode) : s_(s), encode_(encode) {
        speex_bits_init(&bits_);
        if (encode) {
            state_ = speex_encoder_init(ModeOf(s.modeId));
            int q = s.quality;
            if (state_) speex_encoder_ctl(state_, SPEEX_SET_QUALITY, &q);
        } else {
            state_ = speex_decoder_init(ModeOf(s.modeId));
            int enh = 1;
            if (state_) speex_decoder_ctl(state_, SPEEX_SET_ENH, &enh);
        }
    }
    ~SpeexCodec() override {
        if (state_) {
            if (encode_) speex_encoder_destroy(state_);
            else speex_decoder_destroy(state_);
        }
        speex_bits_destroy(&bits_);
    }
    bool ok() const { return state_ != nullptr; }

    void Encode(const int16_t* pcm, uint8_t* block) override {
        speex_bits_reset(&bits_);
        std::vector<spx_int16_t> frame(size_t(s_.frameSize));
        for (int i = 0; i < s_.frames; ++i) {
            std::memcpy(frame.data(), pcm + size_t(i) * frame.size(), frame.size() * 2);
            speex_encode_int(state_, frame.data(), &bits_);
        }
        speex_bits_insert_terminator(&bits_);
        const int align = s_.format.blockAlign;
        std::memset(block, 0, size_t(align));
        speex_bits_write(&bits_, reinterpret_cast<char*>(block), align);
    }

    void Decode(const uint8_t* block, int16_t* pcm) override {
        std::vector<char> copy(block, block + s_.format.blockAlign);
        speex_bits_read_from(&bits_, copy.data(), int(copy.size()));
        for (int i = 0; i < s_.frames; ++i) {
            spx_int16_t* out = pcm + size_t(i) * size_t(s_.frameSize);
            if (speex_decode_int(state_, &bits_, out) != 0) std::fill(out, out + s_.frameSize, spx_int16_t(0));
        }
    }

private:
    SpeexSetting s_;
    bool encode_;
    void* state_ = nullptr;
    SpeexBits bits_;
};

class SpeexDriver final : public AcmDriver {
public:
    std::string ShortName() const override { return "Speex"; }
    std::vector<uint16_t> FormatTags() const override { return {kWaveFormatSpeex}; }
    size_t FormatCount(uint16_t tag) const override { return tag == kWaveFormatSpeex ? Settings().size() : 0; }
    bool FormatDetails(uint16_t tag, size_t index, WaveFormat& out) const override {
        if (tag != kWaveFormatSpeex || index >= Settings().size()) return false;
        out = Settings()[index].format;
        return true;
    }
    size_t MaxFormatSize() const override { return kWaveFormatHeadSize + kExtraSize; }
    MmResult OpenStream(const WaveFormat& src, const WaveFormat& dst, std::unique_ptr<AcmStream>& out) override {
        const bool encode = src.IsPcm();
        const WaveFormat& pcm = encode ? src : dst;
        const SpeexSetting* s = Find(encode ? dst : src);
        if (!s || !pcm.IsPcm() || pcm.channels != 1 || pcm.bitsPerSample != 16 || pcm.blockAlign != 2 ||
            pcm.samplesPerSec != s->format.samplesPerSec)
            return kAcmErrNotPossible;
        auto codec = std::make_unique<SpeexCodec>(*s, encode);
        if (!codec->ok()) return kMmErrNoMem;
        out = std::make_unique<BlockCodecStream>(std::move(codec), encode, size_t(s->frames * s->frameSize),
                                                 s->format.blockAlign);
        return kMmNoError;
    }
};

}  // namespace

std::shared_ptr<AcmDriver> MakeSpeexDriver() { return std::make_shared<SpeexDriver>(); }

}  // namespace orb::audio
