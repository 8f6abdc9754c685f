// Any bytes as a JPEG or PNG picture: decoding fails cleanly or gives a bitmap of allowed size.
#include <cstdint>
#include <cstdlib>

#include "util/images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orb::Bitmap bmp;
    if (orb::JpegToBitmap(data, size, bmp) && (!bmp.Valid() || bmp.width > orb::kMaxPictureSide)) std::abort();
    if (orb::PngToBitmap(data, size, bmp) && (!bmp.Valid() || bmp.height > orb::kMaxPictureSide)) std::abort();
    return 0;
}
