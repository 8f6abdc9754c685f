// PCM "driver": lists the plain PCM formats and converts a PCM format to itself by copying.
#include <cstring>

#include "audio/acm.h"

namespace orb::audio {

namespace {

constexpr uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr uint16_t kBits[] = {8, 16};
constexpr uint16_t kChannels[] = {1, 2};
constexpr size_t kCount = std::size(kRates) * std::size(kBits) * std::size(kChannels);

class CopyStream final : public AcmStream {
public:
    explicit CopyStream(uint16_t blockAlign) : align_(blockAlign) {}
    MmResult SizeBySource(size_t srcBytes, size_t& dstBytes) const override {
        dstBytes = srcBytes - srcBytes % align_;
        return kMmNoError;
    }
    MmResult Convert(const uint8_t* src, size_t srcLen, size_t& srcUsed, uint8_t* dst, size_t dstLen,
                     size_t& dstUsed, uint32_t) override {
        size_t n = std::min(srcLen, dstLen);
        n -= n % align_;
        if (n) std::memcpy(dst, src, n);
        srcUsed = dstUsed = n;
        return kMmNoError;
    }

private:
    size_t align_;
};

class PcmDriver final : public AcmDriver {
public:
    std::string ShortName() const override { return "PCM"; }
    std::vector<uint16_t> FormatTags() const override { return {kWaveFormatPcm}; }
    size_t FormatCount(uint16_t tag) const override { return tag == kWaveFormatPcm ? kCount : 0; }
    bool FormatDetails(uint16_t tag, size_t index, WaveFormat& out) const override {
        if (tag != kWaveFormatPcm || index >= kCount) return false;
        const uint16_t channels = kChannels[index % std::size(kChannels)];
        index /= std::size(kChannels);
        const uint16_t bits = kBits[index % std::size(kBits)];
        index /= std::size(kBits);
        const uint32_t rate = kRates[index];
        out = WaveFormat{};
        out.formatTag = kWaveFormatPcm;
        out.channels = channels;
        out.samplesPerSec = rate;
        out.bitsPerSample = bits;
        out.blockAlign = uint16_t(bits / 8 * channels);
        out.avgBytesPerSec = rate * out.blockAlign;
        return true;
    }
    size_t MaxFormatSize() const override { return kWaveFormatHeadSize; }
    MmResult OpenStream(const WaveFormat& src, const WaveFormat& dst, std::unique_ptr<AcmStream>& out) override {
        if (!src.IsPcm() || !(src == dst) || src.blockAlign == 0 || src.channels == 0 ||
            src.blockAlign != src.channels * ((src.bitsPerSample + 7) / 8))
            return kAcmErrNotPossible;
        out = std::make_unique<CopyStream>(src.blockAlign);
        return kMmNoError;
    }
};

}  // namespace

std::shared_ptr<AcmDriver> MakePcmDriver() { return std::make_shared<PcmDriver>(); }

}  // namespace orb::audio
