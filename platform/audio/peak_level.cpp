#include "audio/peak_level.h"

namespace orb::media {

int PeakLevel(const uint8_t* data, size_t size, int bitsPerSample) {
    if (bitsPerSample == 16) {
        int peak = 0;
        for (size_t i = 0; i + 1 < size; i += 2) {
            int s = int16_t(uint16_t(data[i] | (data[i + 1] << 8)));
            if (s > peak) peak = s;
        }
        return peak * 1000 / 32767;
    }
    if (bitsPerSample == 8) {
        int peak = 0;
        for (size_t i = 0; i < size; ++i)
            if (data[i] > peak) peak = data[i];
        return peak >= 128 ? (peak - 128) * 1000 / 127 : 0;
    }
    return -1;
}

}  // namespace orb::media
