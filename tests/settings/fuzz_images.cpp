// Any bytes as a JPEG or PNG picture: decoding fails cleanly or gives a bitmap of allowed size.
// The decoders live in uninstrumented system libraries, so random bytes rarely get past their
// signatures: besides the raw input, the fuzzer also patches valid pictures (a JPEG made at start,
// a small PNG whose chunk checksums are mended after patching) with (offset, byte) pairs.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "util/images.h"

namespace {

const uint8_t kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x08, 0x02, 0x00, 0x00, 0x00, 0x3b, 0x96, 0x39, 0x91, 0x00,
    0x00, 0x00, 0x2a, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x0d, 0xc7, 0x31, 0x01, 0x00, 0x30, 0x0c, 0xc3,
    0x30, 0x03, 0x2b, 0x88, 0xc0, 0xe9, 0x69, 0x28, 0x01, 0x51, 0x80, 0x9b, 0x3e, 0x01, 0x0e, 0x2e, 0x1e,
    0x42, 0x9c, 0xb8, 0xf1, 0xf2, 0x53, 0xa7, 0x6e, 0xbd, 0xfa, 0x00, 0xe3, 0xb7, 0x0d, 0xf9, 0xc1, 0x3b,
    0x44, 0xf6, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

const std::vector<uint8_t>& BaseJpeg() {
    static const std::vector<uint8_t> jpeg = [] {
        orb::Bitmap b;
        b.width = 16;
        b.height = 16;
        b.rgb.resize(16 * 16 * 3);
        for (size_t i = 0; i < b.rgb.size(); ++i) b.rgb[i] = uint8_t(i * 7);
        std::vector<uint8_t> out;
        if (!orb::BitmapToJpeg(b, 50, out)) std::abort();
        return out;
    }();
    return jpeg;
}

void Patch(std::vector<uint8_t>& img, const uint8_t* p, size_t n) {
    for (size_t i = 0; i + 3 <= n; i += 3) {
        size_t at = (size_t(p[i]) | (size_t(p[i + 1]) << 8)) % img.size();
        img[at] = p[i + 2];
    }
}

// Recomputes every chunk's checksum so that libpng looks past them at the patched contents.
void MendPngChecksums(std::vector<uint8_t>& png) {
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        uint32_t len = uint32_t(png[pos]) << 24 | uint32_t(png[pos + 1]) << 16 | uint32_t(png[pos + 2]) << 8 | png[pos + 3];
        if (len > png.size() - pos - 12) return;
        uLong crc = crc32(0, png.data() + pos + 4, uInt(len + 4));
        size_t c = pos + 8 + len;
        png[c] = uint8_t(crc >> 24);
        png[c + 1] = uint8_t(crc >> 16);
        png[c + 2] = uint8_t(crc >> 8);
        png[c + 3] = uint8_t(crc);
        pos = c + 4;
    }
}

void Check(const std::vector<uint8_t>& bytes) {
    orb::Bitmap bmp;
    if (orb::JpegToBitmap(bytes.data(), bytes.size(), bmp) && (!bmp.Valid() || bmp.width > orb::kMaxPictureSide))
        std::abort();
    if (orb::PngToBitmap(bytes.data(), bytes.size(), bmp) && (!bmp.Valid() || bmp.height > orb::kMaxPictureSide))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    switch (data[0] % 3) {
    case 0:
        Check(std::vector<uint8_t>(data + 1, data + size));
        break;
    case 1: {
        auto jpeg = BaseJpeg();
        Patch(jpeg, data + 1, size - 1);
        Check(jpeg);
        break;
    }
    default: {
        std::vector<uint8_t> png(std::begin(kPng), std::end(kPng));
        Patch(png, data + 1, size - 1);
        MendPngChecksums(png);
        Check(png);
        break;
    }
    }
    return 0;
}
