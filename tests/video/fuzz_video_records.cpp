// The viewer's side of the video connection: a reply's body as a format record or a frame, and
// its frames fed to the decompressor after a valid key frame.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <span>

#include "video/video_codec.h"
#include "video/video_records.h"
#include "video/yuv_converts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orb::video;
    std::span<const uint8_t> in(data, size);
    TVideoFormatRec format;
    TVideoFormatRec::Decode(in, format);
    TVideoFrameRec rec;
    std::span<const uint8_t> frame;
    ParseFrameBody(in, rec, frame);
    if (size > TVideoFrameRec::kSize) {
        // The input as the frames a viewer receives, each a record and its bytes (a size past the
        // end takes the rest): the first is decoded as a key frame whatever its record says, so
        // the decoder itself sees hostile bytes; those after it as their records say, so a
        // difference frame follows its key frame.
        static uint32_t sequence = 0;
        static TVideoCoDec* codec = [] {
            auto* c = new TVideoCoDec;
            TBitmapInfoHeader in, out;
            in.biWidth = 160;
            in.biHeight = 120;
            in.biCompression = kFourccMP43;
            c->InitDecompressor(in, out, 2, 1000);
            c->StartDecompress();
            return c;
        }();
        std::span<const uint8_t> rest = in;
        for (bool first = true; rest.size() > TVideoFrameRec::kSize; first = false) {
            TVideoFrameRec head;
            TVideoFrameRec::Decode(rest, head);
            const size_t n = std::min<size_t>(head.size, rest.size() - TVideoFrameRec::kSize);
            TPicture picture;
            codec->DecodeFrame(rest.subspan(TVideoFrameRec::kSize, n), first || head.keyFrame != 0, ++sequence, picture);
            rest = rest.subspan(TVideoFrameRec::kSize + n);
        }
    }
    if (size >= 4) {
        int id = 2 + data[0] % 7;
        int lines = 1 + data[1] % 32, pixels = 1 + data[2] % 32;
        std::vector<uint32_t> out(size_t(lines * pixels));
        ConvertYuvFrame(id, in.subspan(3), out, lines, pixels);
    }
    return 0;
}
