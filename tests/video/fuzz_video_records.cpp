// The viewer's side of the video connection: a reply's body as a format record or a frame, and
// the frame fed to the decompressor after a valid key frame.
#include <cstddef>
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
    if (size > 13) {
        // The rest of the input as a key frame, so the decoder itself sees hostile bytes.
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
        TPicture picture;
        codec->DecodeFrame(in.subspan(13), true, ++sequence, picture);
    }
    if (size >= 4) {
        int id = 2 + data[0] % 7;
        int lines = 1 + data[1] % 32, pixels = 1 + data[2] % 32;
        std::vector<uint32_t> out(size_t(lines * pixels));
        ConvertYuvFrame(id, in.subspan(3), out, lines, pixels);
    }
    return 0;
}
