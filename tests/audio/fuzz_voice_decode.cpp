// Voice blocks come from the network: every codec's decoder, and the format record reader, must
// take any bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const int kIndexes[] = {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22};
    const int index = kIndexes[data[0] % std::size(kIndexes)];
    orb::media::WaveFormat codec;
    if (!orb::media::BuildCodecFormat(index, codec)) return 0;
    const auto pcm = orb::media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    orb::media::TAcmLiveConverter dec;
    if (!pcm || !dec.Open(codec, *pcm, true)) return 0;
    std::vector<uint8_t> out;
    uint32_t n = 0;
    dec.Convert(data + 1, uint32_t(size - 1), n, out);
    orb::audio::WaveFormat parsed;
    orb::audio::WaveFormat::Parse(std::span<const uint8_t>(data + 1, size - 1), parsed);
    return 0;
}
