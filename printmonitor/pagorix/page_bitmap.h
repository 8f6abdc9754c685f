#pragma once
// The 24-bit page bitmap: top-down scan lines of blue, green, red bytes, no padding.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagorix {

struct PageBitmap {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;

    size_t Stride() const { return size_t(width) * 3; }
    uint8_t* ScanLine(int32_t row) { return pixels.data() + size_t(row) * Stride(); }
    const uint8_t* ScanLine(int32_t row) const { return pixels.data() + size_t(row) * Stride(); }
    bool Empty() const { return width <= 0 || height <= 0; }
};

}  // namespace pagorix
