#pragma once
// Picture conversions between JPEG, PNG and plain bitmaps, with libjpeg-turbo and libpng.
// Pictures from outside are refused above 16384 pixels a side or 64 megapixels.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orb {

// 24-bit RGB, rows top-down without padding.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes
    bool Valid() const {
        return width > 0 && height > 0 && rgb.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    }
};

inline constexpr int kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = 64ll << 20;

// Each returns false and leaves the output empty when the input cannot be converted.
bool JpegToBitmap(const uint8_t* jpeg, size_t size, Bitmap& out);
bool PngToBitmap(const uint8_t* png, size_t size, Bitmap& out);  // transparency over white
bool BitmapToJpeg(const Bitmap& bitmap, int quality, std::vector<uint8_t>& out);
// Through a bitmap, at quality 100.
bool PngToJpeg(const uint8_t* png, size_t size, std::vector<uint8_t>& out);

}  // namespace orb
