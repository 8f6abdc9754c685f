#pragma once
// Camera pictures in seven YUV layouts turned into 32-bit RGB pictures (blue in bits 0-7, green
// 8-15, red 16-23), BT.601 studio range. Every converter writes the target bottom row first (a
// bottom-up device-independent picture) and reads the source top row first.

#include <cstddef>
#include <cstdint>
#include <span>

namespace orb::video {

enum TConverterId : int {
    kConvUnsupported = 0,
    kConvRgb = 1,
    kConvYUY2 = 2,
    kConvUYVY = 3,
    kConvY41P = 4,
    kConvYVU9 = 5,
    kConvI420 = 6,
    kConvY8 = 7,
    kConvY211 = 8,
};

// The converter of a camera's compression code (0 for codes outside the table).
int YuvFormatOf(uint32_t compression);
// One pixel from Y, U, V.
uint32_t YuvToRgb(int y, int u, int v);

// Bytes of one source picture of the layout (lines of pixelsPerLine pixels); 0 for an unknown id,
// the RGB id or a size out of range. Packed lines hold whole groups (a partial group at the end of
// a line is padded to a whole one); planar layouts are unpadded planes.
size_t YuvFrameBytes(int id, int lines, int pixelsPerLine);

// Converts one picture. False, with the target untouched, for an id outside the table, the RGB
// id, a source shorter than YuvFrameBytes or a target shorter than lines x pixelsPerLine pixels.
bool ConvertYuvFrame(int id, std::span<const uint8_t> source, std::span<uint32_t> target, int lines,
                     int pixelsPerLine);

// The I420 converters by vector width; ConvertYuvFrame uses the widest this processor runs.
// ConvertI420With converts with the given one: false where the processor cannot run it, or for a
// source or target too short (as ConvertYuvFrame). For tests: every kernel gives the same pixels.
enum TI420Kernel : int { kI420Plain = 0, kI420Avx2 = 1, kI420Avx512 = 2 };
bool ConvertI420With(int kernel, std::span<const uint8_t> source, std::span<uint32_t> target, int lines,
                     int pixelsPerLine);

}  // namespace orb::video
