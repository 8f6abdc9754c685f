#pragma once
// The picture the codec works on: a top-down bitmap in one of the share's pixel formats, with
// directly addressable scan lines, and the colour reductions from the capture's 0x00RRGGBB pixels.

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "sharing/records/appshare_records.h"

namespace orb::appshare {

// Bounds for every picture built from a descriptor or a stream.
constexpr int32_t kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = int64_t(64) << 20;

// Bytes per pixel of a format ordinal, 0 for one the codec does not handle.
int BytesPerPixel(uint8_t pixelFormat);

// True when a picture of that format and size may be allocated.
bool PictureGeometryOk(uint8_t pixelFormat, int64_t width, int64_t height);

class ShareBitmap {
public:
    ShareBitmap() = default;
    ShareBitmap(const ShareBitmap&) = default;
    ShareBitmap& operator=(const ShareBitmap&) = default;
    // A bitmap moved from is empty (no format, no size), never a size without its pixels.
    ShareBitmap(ShareBitmap&& o) noexcept { *this = std::move(o); }
    ShareBitmap& operator=(ShareBitmap&& o) noexcept {
        if (this == &o) return *this;
        format_ = o.format_;
        bpp_ = o.bpp_;
        width_ = o.width_;
        height_ = o.height_;
        stride_ = o.stride_;
        pixels_ = std::move(o.pixels_);
        o.format_ = 0;
        o.bpp_ = 0;
        o.width_ = o.height_ = 0;
        o.stride_ = 0;
        o.pixels_.clear();
        return *this;
    }

    uint8_t PixelFormat() const { return format_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int BytesPerPixel() const { return bpp_; }
    // Rows are packed: a row holds exactly width x bytes-per-pixel bytes.
    size_t Stride() const { return stride_; }
    size_t ByteSize() const { return pixels_.size(); }

    uint8_t* ScanLine(int32_t y) { return pixels_.data() + size_t(y) * stride_; }
    const uint8_t* ScanLine(int32_t y) const { return pixels_.data() + size_t(y) * stride_; }
    uint8_t* Bits() { return pixels_.data(); }
    const uint8_t* Bits() const { return pixels_.data(); }

    // Gives the bitmap a format and size. A bitmap that already has them keeps its pixels, so
    // difference frames can build on it; otherwise the pixels start as zero bytes. Fails (and
    // changes nothing) for an unknown format or a size beyond the bounds above.
    bool SetGeometry(uint8_t pixelFormat, int32_t width, int32_t height);
    void Clear();

    // Fills every pixel with one colour given as 0x00RRGGBB (reduced to the bitmap's format).
    void Fill(uint32_t rgb);

    bool SameGeometry(const ShareBitmap& o) const {
        return format_ == o.format_ && width_ == o.width_ && height_ == o.height_;
    }
    bool operator==(const ShareBitmap& o) const { return SameGeometry(o) && pixels_ == o.pixels_; }

private:
    uint8_t format_ = 0;
    int bpp_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    size_t stride_ = 0;
    std::vector<uint8_t> pixels_;
};

// The fixed 256-colour palette of 8-bit pictures (0x00RRGGBB): 3 bits of red, 3 of green, 2 of
// blue, so sender and viewer derive the same table and the index is computed, not searched.
const std::array<uint32_t, 256>& SharePalette();

inline uint8_t PaletteIndex(uint32_t rgb) {
    uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    // Nearest level of each channel (7, 7 and 3 steps).
    return uint8_t((((r * 7 + 127) / 255) << 5) | (((g * 7 + 127) / 255) << 2) | ((b * 3 + 127) / 255));
}

inline uint16_t Rgb565(uint32_t rgb) {
    return uint16_t(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
}

// The 0x00RRGGBB colour a stored pixel stands for.
uint32_t PixelToRgb(uint8_t pixelFormat, const uint8_t* pixel);

// Writes `count` pixels given as 0x00RRGGBB into a row of the given format.
void StoreRgbRow(uint8_t pixelFormat, const uint32_t* rgb, size_t count, uint8_t* row);

// dst = a XOR b over the whole picture, a machine word at a time. The three must share geometry
// (dst may be a or b); returns false and changes nothing otherwise.
bool XorBitmaps(ShareBitmap& dst, const ShareBitmap& a, const ShareBitmap& b);

}  // namespace orb::appshare
