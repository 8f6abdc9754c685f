// Hostile segment streams against the viewer's decoder. The first bytes pick the picture's format,
// size and segment count and whether the rest is taken as a zlib stream or as the inflated records
// (deflated here, so the record checks are reached without forging checksums). A frame that is not
// applied must leave the picture exactly as it was.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "sharing/codec/segment_codec.h"

using namespace orb::appshare;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t flags = data[0];
    const uint8_t formats[] = {kPixelFormat8, kPixelFormat16, kPixelFormat24, kPixelFormat4};
    const uint8_t fmt = formats[(flags >> 2) & 3];
    const int32_t w = 1 + data[1] % 64, h = 1 + data[2] % 32, s = 1 + data[3] % 8;
    data += 4;
    size -= 4;

    ShareBitmap picture;
    if (!picture.SetGeometry(fmt == kPixelFormat4 ? kPixelFormat8 : fmt, w, h)) return 0;
    for (size_t i = 0; i < picture.ByteSize(); ++i) picture.Bits()[i] = uint8_t(i * 13);
    const ShareBitmap before = picture;

    std::vector<uint8_t> stream;
    if (flags & 2) {
        std::vector<uint8_t> raw;
        if (!(flags & 16)) {  // a matching head, so the records themselves are exercised
            raw.push_back(fmt);
            for (int32_t v : {w, h, s})
                for (int i = 0; i < 4; ++i) raw.push_back(uint8_t(uint32_t(v) >> (8 * i)));
        }
        raw.insert(raw.end(), data, data + size);
        uLongf n = compressBound(uLong(raw.size()));
        stream.resize(n);
        if (compress2(stream.data(), &n, raw.data(), uLong(raw.size()), 1) != Z_OK) return 0;
        stream.resize(n);
    } else {
        stream.assign(data, data + size);
    }

    std::vector<uint8_t> scratch;
    DecodeStatus st = DecodeBitmapSegments(fmt, picture, stream, flags & 1, s, &scratch);
    if (st != DecodeStatus::Applied && !(picture == before)) abort();
    if (!picture.SameGeometry(before)) abort();
    const uint64_t cap = 13 + uint64_t(h) * s * 12 + uint64_t(w) * h * 3 + 1;
    if (scratch.size() > std::max<uint64_t>(cap, 65536)) abort();
    return 0;
}
