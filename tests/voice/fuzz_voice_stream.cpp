// What the voice server sends is untrusted: any byte stream goes through the receive loop's framing
// and checks, and whatever passes them through the decoder of the codec the first byte picks. The
// same bytes are read as a remote audio record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "audio/peak_level.h"
#include "voice/voice_records.h"
#include "voice/voice_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    orb::TRemoteAudioState state;
    orb::TRemoteAudioState::Decode(std::span<const uint8_t>(data, size), state);
    static const int kIndexes[] = {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22};
    const int index = kIndexes[data[0] % std::size(kIndexes)];
    orb::media::WaveFormat codec;
    if (!orb::media::BuildCodecFormat(index, codec)) return 0;
    const auto pcm = orb::media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    orb::media::TAcmLiveConverter dec;
    if (!pcm || !dec.Open(codec, *pcm, true)) return 0;
    size_t at = 1;
    const orb::TVoiceRead read = [&](void* buffer, size_t count) {
        if (size - at < count) return false;
        std::memcpy(buffer, data + at, count);
        at += count;
        return true;
    };
    const orb::TVoicePlay play = [&](const TVCRHeader&, std::span<const uint8_t> body) {
        std::vector<uint8_t> out;
        uint32_t n = 0;
        if (dec.Convert(body.data(), uint32_t(body.size()), n, out)) orb::media::PeakLevel(out.data(), n, 16);
    };
    std::vector<uint8_t> body;
    while (orb::ReceiveVoiceMessage(read, codec.blockAlign, body, play)) {
    }
    return 0;
}
