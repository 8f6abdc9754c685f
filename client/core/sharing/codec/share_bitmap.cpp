#include "sharing/codec/share_bitmap.h"

#include <cstring>

namespace orb::appshare {

int BytesPerPixel(uint8_t pixelFormat) {
    switch (pixelFormat) {
        case kPixelFormat8: return 1;
        case kPixelFormat16: return 2;
        case kPixelFormat24: return 3;
        default: return 0;
    }
}

bool PictureGeometryOk(uint8_t pixelFormat, int64_t width, int64_t height) {
    return BytesPerPixel(pixelFormat) != 0 && width >= 1 && height >= 1 && width <= kMaxPictureSide &&
           height <= kMaxPictureSide && width * height <= kMaxPicturePixels;
}

bool ShareBitmap::SetGeometry(uint8_t pixelFormat, int32_t width, int32_t height) {
    if (!PictureGeometryOk(pixelFormat, width, height)) return false;
    if (pixelFormat == format_ && width == width_ && height == height_ &&
        pixels_.size() == size_t(width) * size_t(appshare::BytesPerPixel(pixelFormat)) * size_t(height))
        return true;
    format_ = pixelFormat;
    bpp_ = appshare::BytesPerPixel(pixelFormat);
    width_ = width;
    height_ = height;
    stride_ = size_t(width) * size_t(bpp_);
    pixels_.assign(stride_ * size_t(height), 0);
    return true;
}

void ShareBitmap::Clear() {
    format_ = 0;
    bpp_ = 0;
    width_ = height_ = 0;
    stride_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
}

void ShareBitmap::Fill(uint32_t rgb) {
    if (!bpp_) return;
    std::vector<uint32_t> row(size_t(width_), rgb);
    StoreRgbRow(format_, row.data(), row.size(), ScanLine(0));
    for (int32_t y = 1; y < height_; ++y) std::memcpy(ScanLine(y), ScanLine(0), stride_);
}

const std::array<uint32_t, 256>& SharePalette() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = ((i >> 5) & 7) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
            t[i] = (r << 16) | (g << 8) | b;
        }
        return t;
    }();
    return table;
}

uint32_t PixelToRgb(uint8_t pixelFormat, const uint8_t* p) {
    switch (pixelFormat) {
        case kPixelFormat8: return SharePalette()[p[0]];
        case kPixelFormat16: {
            uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8);
            uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
            return (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
        }
        case kPixelFormat24: return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        default: return 0;
    }
}

void StoreRgbRow(uint8_t pixelFormat, const uint32_t* rgb, size_t count, uint8_t* row) {
    switch (pixelFormat) {
        case kPixelFormat8:
            for (size_t i = 0; i < count; ++i) row[i] = PaletteIndex(rgb[i]);
            break;
        case kPixelFormat16:
            for (size_t i = 0; i < count; ++i) {
                uint16_t v = Rgb565(rgb[i]);
                row[2 * i] = uint8_t(v);
                row[2 * i + 1] = uint8_t(v >> 8);
            }
            break;
        case kPixelFormat24:
            for (size_t i = 0; i < count; ++i) {
                row[3 * i] = uint8_t(rgb[i]);            // blue
                row[3 * i + 1] = uint8_t(rgb[i] >> 8);   // green
                row[3 * i + 2] = uint8_t(rgb[i] >> 16);  // red
            }
            break;
        default: break;
    }
}

bool XorBitmaps(ShareBitmap& dst, const ShareBitmap& a, const ShareBitmap& b) {
    if (!dst.SameGeometry(a) || !dst.SameGeometry(b) || !dst.BytesPerPixel()) return false;
    uint8_t* d = dst.Bits();
    const uint8_t* pa = a.Bits();
    const uint8_t* pb = b.Bits();
    size_t n = dst.ByteSize(), i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, pa + i, 8);
        std::memcpy(&y, pb + i, 8);
        x ^= y;
        std::memcpy(d + i, &x, 8);
    }
    for (; i < n; ++i) d[i] = uint8_t(pa[i] ^ pb[i]);
    return true;
}

}  // namespace orb::appshare
