#pragma once
// The wave format record: tag, channels, rate, average bytes per second, block align, bits per
// sample and the codec's extra bytes. On the wire and in files it is the 18-byte little-endian head
// followed by the extra bytes.

#include <cstdint>
#include <span>
#include <vector>

namespace orb::audio {

constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatGsm610 = 0x0031;
constexpr uint16_t kWaveFormatSpeex = 0xA109;

constexpr size_t kWaveFormatHeadSize = 18;

struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> extra;  // its size is the record's "extra size" field

    bool IsPcm() const { return formatTag == kWaveFormatPcm; }
    // Equal in everything but the extra bytes: how a driver's format is matched to a template.
    bool SameBase(const WaveFormat& o) const {
        return formatTag == o.formatTag && channels == o.channels && samplesPerSec == o.samplesPerSec &&
               avgBytesPerSec == o.avgBytesPerSec && blockAlign == o.blockAlign &&
               bitsPerSample == o.bitsPerSample;
    }
    bool operator==(const WaveFormat&) const = default;

    std::vector<uint8_t> Bytes() const;
    // Reads a record; fails when the bytes are short or the extra size runs past them.
    static bool Parse(std::span<const uint8_t> bytes, WaveFormat& out);
};

}  // namespace orb::audio
