#pragma once
#include <cstddef>
#include <cstdint>

namespace orb::media {

// Level 0..1000 of a PCM block: the largest positive swing of its whole samples. 8 and 16 bits
// only; any other depth gives -1.
int PeakLevel(const uint8_t* data, size_t size, int bitsPerSample);

}  // namespace orb::media
