#pragma once
// The segment stream of a shared picture: one zlib stream holding a 13-byte head (pixel format,
// width, height, segments per line) and segment records (line, segment index, pixel count, pixels).
// Each scan line is cut into S segments; difference frames carry only the segments that changed.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sharing/codec/share_bitmap.h"

namespace orb::appshare {

constexpr size_t kStreamHeadSize = 13;
constexpr size_t kSegmentRecordHeadSize = 12;
// Bound on segments per line taken from a descriptor or a stream.
constexpr int32_t kMaxSegmentsPerLine = 1024;

// Start pixel and length of segment k of a line `width` pixels wide cut into `segments` segments:
// every segment is width div S long, the last one also takes the remainder.
struct SegmentSpan {
    int32_t start;
    int32_t length;
};
inline SegmentSpan SegmentGeometry(int32_t width, int32_t segments, int32_t k) {
    int32_t base = width / segments;
    return {base * k, k == segments - 1 ? base + width % segments : base};
}

// One pixel of each format as it lies in a scan line and in a segment record (byte-aligned, so a
// pointer to one may point anywhere into a line or a record).
struct Pixel8 {
    uint8_t index;
};
struct Pixel16 {
    uint8_t low, high;
};
struct Pixel24 {
    uint8_t blue, green, red;
};
static_assert(sizeof(Pixel8) == 1 && sizeof(Pixel16) == 2 && sizeof(Pixel24) == 3);

// True when every byte of the segment is zero (true for a count below 1); one per pixel size.
bool IsZeroSegment(const Pixel8* first, int64_t count);
bool IsZeroSegment(const Pixel16* first, int64_t count);
bool IsZeroSegment(const Pixel24* first, int64_t count);

// Writes (or XORs) `count` pixels into scan line `line` from pixel `firstPixel` on; one per pixel
// size. Refuses, and writes nothing, when the run does not lie inside the line or the bitmap's
// pixels are of another size.
bool ApplySegment(ShareBitmap& bitmap, const Pixel8* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line);
bool ApplySegment(ShareBitmap& bitmap, const Pixel16* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line);
bool ApplySegment(ShareBitmap& bitmap, const Pixel24* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line);

// Number of segments of the picture that hold a non-zero byte: the scan the encoder runs over a
// difference picture.
int64_t ChangedSegmentCount(const ShareBitmap& bitmap, int32_t segmentsPerLine);

// dst = a XOR b (all three of one geometry) and the number of segments of the result that hold a
// non-zero byte, in one pass over the pictures: the sharer's difference step. -1 (dst unchanged)
// when the geometries differ or the segment count is out of range.
int64_t XorAndCountChanged(ShareBitmap& dst, const ShareBitmap& a, const ShareBitmap& b, int32_t segmentsPerLine);

// zlib level of a pixel format: best for 16 and 24 bits, zlib's default for 8 bits.
int CompressionLevel(uint8_t pixelFormat);

// Appends one compressed segment stream of `bitmap` to `out`. With `skipZeroSegments` the
// all-zero segments are left out (difference frames). Writes nothing and returns 0 when the format
// is not one the codec handles, differs from the bitmap's own, or the segment count is out of
// range; otherwise returns the number of bytes appended (never 0).
size_t EncodeBitmapSegments(uint8_t pixelFormat, const ShareBitmap& bitmap, bool skipZeroSegments,
                            int32_t segmentsPerLine, std::vector<uint8_t>& out);

// The pixels a frame wrote: columns left .. right - 1 of lines top .. bottom - 1 (empty when
// right <= left).
struct ChangedArea {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

enum class DecodeStatus {
    Applied,
    UnknownFormat,    // the descriptor's format is not one the codec handles: nothing is done
    GeometryMismatch, // the stream's head disagrees with the descriptor and the picture
    Damaged,          // not a complete zlib stream, or a cut head or segment record
    TooLarge,         // inflates past the most a frame of this geometry can hold
    BadSegment,       // a segment record outside the picture, or not as long as its segment
    NoKeyFrame,       // a difference frame before any key frame
};

// Applies one segment stream to `target`, replacing pixels or XOR-ing them into it. The target
// must already have the descriptor's geometry (format `pixelFormat`, picture width and height);
// the stream's head must agree with it and with `segmentsPerLine`, and every record must hold
// exactly the pixels of its segment (count 0 only for a segment of length 0). The whole frame is
// inflated and checked before any pixel is written, so a frame that is not Applied leaves the
// target unchanged.
// `scratch` keeps the inflated bytes between calls (optional).
DecodeStatus DecodeBitmapSegments(uint8_t pixelFormat, ShareBitmap& target,
                                  std::span<const uint8_t> input, bool xorMode,
                                  int32_t segmentsPerLine = kDefaultSegmentsPerLine,
                                  std::vector<uint8_t>* scratch = nullptr, ChangedArea* changed = nullptr);

// The viewer's side of one share: the picture rebuilt from the frames, and the rule that a
// difference frame needs a key frame before it.
class SegmentDecoder {
public:
    // Sets up the picture from the descriptor; false (and no picture) when its format, size or
    // segment count cannot be accepted.
    bool Start(uint8_t pixelFormat, int32_t width, int32_t height,
               int32_t segmentsPerLine = kDefaultSegmentsPerLine);
    void Stop();

    bool Started() const { return started_; }
    bool HasKeyFrame() const { return keyed_; }
    const ShareBitmap& Picture() const { return picture_; }

    // Applies one frame's stream; `delta` is the frame header's delta flag.
    DecodeStatus Apply(std::span<const uint8_t> stream, bool delta);
    // What the last applied frame wrote.
    const ChangedArea& LastChanged() const { return changed_; }

private:
    ShareBitmap picture_;
    std::vector<uint8_t> scratch_;
    ChangedArea changed_;
    uint8_t format_ = 0;
    int32_t segments_ = 0;
    bool started_ = false;
    bool keyed_ = false;
};

}  // namespace orb::appshare
