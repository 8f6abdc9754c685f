#include "audio/wave_format.h"

#include "wire/bytes.h"

namespace orb::audio {

std::vector<uint8_t> WaveFormat::Bytes() const {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.u16(formatTag);
    w.u16(channels);
    w.u32(samplesPerSec);
    w.u32(avgBytesPerSec);
    w.u16(blockAlign);
    w.u16(bitsPerSample);
    w.u16(uint16_t(extra.size()));
    w.bytes(extra.data(), extra.size());
    return out;
}

bool WaveFormat::Parse(std::span<const uint8_t> bytes, WaveFormat& out) {
    ByteReader r(bytes);
    WaveFormat f;
    uint16_t extraSize = 0;
    if (!r.u16(f.formatTag) || !r.u16(f.channels) || !r.u32(f.samplesPerSec) || !r.u32(f.avgBytesPerSec) ||
        !r.u16(f.blockAlign) || !r.u16(f.bitsPerSample) || !r.u16(extraSize))
        return false;
    auto extra = r.view(extraSize);
    if (!r.ok()) return false;
    f.extra.assign(extra.begin(), extra.end());
    out = std::move(f);
    return true;
}

}  // namespace orb::audio
