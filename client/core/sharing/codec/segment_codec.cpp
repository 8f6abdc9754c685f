#include "sharing/codec/segment_codec.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

#include "wire/bytes.h"

namespace orb::appshare {

namespace {

bool IsZeroBytes(const uint8_t* p, size_t n) {
    size_t i = 0;
    // Four words per step with one test keeps the scan near memory speed.
    for (; i + 32 <= n; i += 32) {
        uint64_t a, b, c, d;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, p + i + 8, 8);
        std::memcpy(&c, p + i + 16, 8);
        std::memcpy(&d, p + i + 24, 8);
        if (a | b | c | d) return false;
    }
    for (; i + 8 <= n; i += 8) {
        uint64_t a;
        std::memcpy(&a, p + i, 8);
        if (a) return false;
    }
    for (; i < n; ++i)
        if (p[i]) return false;
    return true;
}

void XorBytes(uint8_t* dst, const uint8_t* src, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, dst + i, 8);
        std::memcpy(&b, src + i, 8);
        a ^= b;
        std::memcpy(dst + i, &a, 8);
    }
    for (; i < n; ++i) dst[i] ^= src[i];
}

bool IsZeroRun(int bpp, const uint8_t* first, int64_t count) {
    if (count < 1) return true;
    return IsZeroBytes(first, size_t(count) * size_t(bpp));
}

bool ApplyRun(ShareBitmap& bitmap, int bpp, const uint8_t* pixels, int64_t count, bool xorMode, int64_t firstPixel,
              int64_t line) {
    if (bitmap.BytesPerPixel() != bpp || line < 0 || line >= bitmap.Height() || firstPixel < 0 || count < 0 ||
        firstPixel > bitmap.Width() || count > bitmap.Width() - firstPixel)
        return false;
    const size_t n = size_t(count) * size_t(bpp);
    if (!n) return true;
    uint8_t* dst = bitmap.ScanLine(int32_t(line)) + size_t(firstPixel) * size_t(bpp);
    if (xorMode)
        XorBytes(dst, pixels, n);
    else
        std::memcpy(dst, pixels, n);
    return true;
}

const uint8_t* AsBytes(const void* p) { return static_cast<const uint8_t*>(p); }

bool SegmentsPerLineOk(int32_t s) { return s >= 1 && s <= kMaxSegmentsPerLine; }

// Inflates `input` into buf[0..used). Stops with TooLarge as soon as the output would pass `cap`
// bytes, so a small hostile stream cannot make us allocate without bound.
DecodeStatus InflateCapped(std::span<const uint8_t> input, uint64_t cap, std::vector<uint8_t>& buf,
                           size_t& used) {
    used = 0;
    z_stream zs{};
    if (inflateInit2(&zs, 15) != Z_OK) return DecodeStatus::Damaged;
    // One byte past the cap tells "exactly full" apart from "more to come".
    const uint64_t limit = cap + 1;
    if (buf.size() < 65536 && buf.size() < limit) buf.resize(size_t(std::min<uint64_t>(65536, limit)));
    zs.next_in = const_cast<Bytef*>(input.data());
    DecodeStatus result = DecodeStatus::Damaged;
    size_t inLeft = input.size();
    for (;;) {
        if (used == buf.size()) {
            if (buf.size() >= limit) {
                result = DecodeStatus::TooLarge;
                break;
            }
            buf.resize(size_t(std::min<uint64_t>(limit, uint64_t(buf.size()) * 2)));
        }
        // zlib counts in 32 bits: feed at most 1 GiB at a time.
        uInt inChunk = uInt(std::min<size_t>(inLeft, size_t(1) << 30));
        uInt outChunk = uInt(std::min<size_t>(buf.size() - used, size_t(1) << 30));
        zs.avail_in = inChunk;
        zs.next_out = buf.data() + used;
        zs.avail_out = outChunk;
        int rc = inflate(&zs, Z_NO_FLUSH);
        inLeft -= inChunk - zs.avail_in;
        used += outChunk - zs.avail_out;
        if (rc == Z_STREAM_END) {
            result = used > cap ? DecodeStatus::TooLarge : DecodeStatus::Applied;
            break;
        }
        if (rc == Z_OK || rc == Z_BUF_ERROR) {
            if (zs.avail_out == 0) continue;  // more room needed
            if (inLeft > 0 && rc == Z_OK) continue;
            break;  // input ended before the stream did
        }
        break;  // damaged data, wrong header, missing dictionary, no memory
    }
    inflateEnd(&zs);
    return result;
}

struct Head {
    uint8_t format = 0;
    int32_t width = 0, height = 0, segments = 0;
};

}  // namespace

bool IsZeroSegment(const Pixel8* first, int64_t count) { return IsZeroRun(1, AsBytes(first), count); }
bool IsZeroSegment(const Pixel16* first, int64_t count) { return IsZeroRun(2, AsBytes(first), count); }
bool IsZeroSegment(const Pixel24* first, int64_t count) { return IsZeroRun(3, AsBytes(first), count); }

bool ApplySegment(ShareBitmap& bitmap, const Pixel8* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line) {
    return ApplyRun(bitmap, 1, AsBytes(pixels), count, xorMode, firstPixel, line);
}
bool ApplySegment(ShareBitmap& bitmap, const Pixel16* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line) {
    return ApplyRun(bitmap, 2, AsBytes(pixels), count, xorMode, firstPixel, line);
}
bool ApplySegment(ShareBitmap& bitmap, const Pixel24* pixels, int64_t count, bool xorMode, int64_t firstPixel,
                  int64_t line) {
    return ApplyRun(bitmap, 3, AsBytes(pixels), count, xorMode, firstPixel, line);
}

int64_t ChangedSegmentCount(const ShareBitmap& bitmap, int32_t segmentsPerLine) {
    if (!bitmap.BytesPerPixel() || !SegmentsPerLineOk(segmentsPerLine)) return 0;
    const int bpp = bitmap.BytesPerPixel();
    int64_t changed = 0;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* line = bitmap.ScanLine(y);
        for (int32_t k = 0; k < segmentsPerLine; ++k) {
            SegmentSpan s = SegmentGeometry(bitmap.Width(), segmentsPerLine, k);
            if (!IsZeroRun(bpp, line + size_t(s.start) * bpp, s.length)) ++changed;
        }
    }
    return changed;
}

namespace {

// dst[0..n) = a ^ b; true when any byte of the result is non-zero. 16 bytes at a time where the
// machine has SSE2 (every x86-64 does), words elsewhere.
bool XorRun(uint8_t* __restrict d, const uint8_t* __restrict a, const uint8_t* __restrict b, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    __m128i any = _mm_setzero_si128();
    for (; i + 32 <= n; i += 32) {
        __m128i x0 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        __m128i x1 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 16)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), x0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), x1);
        any = _mm_or_si128(any, _mm_or_si128(x0, x1));
    }
    bool nonZero = _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF;
#else
    bool nonZero = false;
#endif
    uint64_t acc = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, z;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&z, b + i, 8);
        x ^= z;
        acc |= x;
        std::memcpy(d + i, &x, 8);
    }
    for (; i < n; ++i) {
        d[i] = uint8_t(a[i] ^ b[i]);
        acc |= d[i];
    }
    return nonZero || acc != 0;
}

}  // namespace

int64_t XorAndCountChanged(ShareBitmap& dst, const ShareBitmap& a, const ShareBitmap& b, int32_t segmentsPerLine) {
    if (!dst.SameGeometry(a) || !dst.SameGeometry(b) || !dst.BytesPerPixel() || !SegmentsPerLineOk(segmentsPerLine))
        return -1;
    const size_t bpp = size_t(dst.BytesPerPixel());
    int64_t changed = 0;
    for (int32_t y = 0; y < dst.Height(); ++y) {
        uint8_t* d = dst.ScanLine(y);
        const uint8_t* pa = a.ScanLine(y);
        const uint8_t* pb = b.ScanLine(y);
        for (int32_t k = 0; k < segmentsPerLine; ++k) {
            const SegmentSpan s = SegmentGeometry(dst.Width(), segmentsPerLine, k);
            const size_t at = size_t(s.start) * bpp;
            changed += XorRun(d + at, pa + at, pb + at, size_t(s.length) * bpp);
        }
    }
    return changed;
}

int CompressionLevel(uint8_t pixelFormat) {
    return pixelFormat == kPixelFormat8 ? Z_DEFAULT_COMPRESSION : Z_BEST_COMPRESSION;
}

size_t EncodeBitmapSegments(uint8_t pixelFormat, const ShareBitmap& bitmap, bool skipZeroSegments,
                            int32_t segmentsPerLine, std::vector<uint8_t>& out) {
    const int bpp = BytesPerPixel(pixelFormat);
    if (!bpp || bitmap.PixelFormat() != pixelFormat || !SegmentsPerLineOk(segmentsPerLine)) return 0;

    z_stream zs{};
    if (deflateInit(&zs, CompressionLevel(pixelFormat)) != Z_OK) return 0;
    const size_t start = out.size();
    size_t used = start;
    bool failed = false;

    // Records are gathered in a staging buffer and handed to zlib in pieces of 64 KB: small enough
    // to stay in the processor's cache beside zlib's own tables (and under malloc's threshold for
    // mapping fresh pages), large enough that the calls into zlib cost nothing.
    constexpr size_t kStage = size_t(64) << 10;
    std::vector<uint8_t> stage;
    stage.reserve(kStage + 64);
    auto deflateStage = [&](int flush) {
        zs.next_in = stage.data();
        zs.avail_in = uInt(stage.size());
        for (;;) {
            if (out.size() - used < 4096) out.resize(used + std::max<size_t>(65536, stage.size() / 4));
            zs.next_out = out.data() + used;
            zs.avail_out = uInt(std::min<size_t>(out.size() - used, size_t(1) << 30));
            uInt before = zs.avail_out;
            int rc = deflate(&zs, flush);
            used += before - zs.avail_out;
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                failed = true;
                break;
            }
            if (flush != Z_FINISH && zs.avail_in == 0 && zs.avail_out != 0) break;
        }
        stage.clear();
    };

    ByteWriter head(stage);
    head.u8(pixelFormat);
    head.i32(bitmap.Width());
    head.i32(bitmap.Height());
    head.i32(segmentsPerLine);

    for (int32_t y = 0; y < bitmap.Height() && !failed; ++y) {
        const uint8_t* line = bitmap.ScanLine(y);
        for (int32_t k = 0; k < segmentsPerLine; ++k) {
            SegmentSpan s = SegmentGeometry(bitmap.Width(), segmentsPerLine, k);
            const uint8_t* pixels = line + size_t(s.start) * bpp;
            if (skipZeroSegments && IsZeroRun(bpp, pixels, s.length)) continue;
            size_t at = stage.size();
            size_t n = size_t(s.length) * bpp;
            stage.resize(at + kSegmentRecordHeadSize + n);
            StoreU32(&stage[at], uint32_t(y));
            StoreU32(&stage[at + 4], uint32_t(k));
            StoreU32(&stage[at + 8], uint32_t(s.length));
            if (n) std::memcpy(&stage[at + kSegmentRecordHeadSize], pixels, n);
            if (stage.size() >= kStage) deflateStage(Z_NO_FLUSH);
        }
    }
    if (!failed) deflateStage(Z_FINISH);
    deflateEnd(&zs);
    if (failed) {
        out.resize(start);
        return 0;
    }
    out.resize(used);
    return used - start;
}

DecodeStatus DecodeBitmapSegments(uint8_t pixelFormat, ShareBitmap& target,
                                  std::span<const uint8_t> input, bool xorMode,
                                  int32_t segmentsPerLine, std::vector<uint8_t>* scratch, ChangedArea* changed) {
    const int bpp = BytesPerPixel(pixelFormat);
    if (!bpp) return DecodeStatus::UnknownFormat;
    if (target.PixelFormat() != pixelFormat || !SegmentsPerLineOk(segmentsPerLine) ||
        !PictureGeometryOk(pixelFormat, target.Width(), target.Height()))
        return DecodeStatus::GeometryMismatch;
    const int32_t W = target.Width(), H = target.Height(), S = segmentsPerLine;

    // The most a frame of this geometry holds: every segment once with its record head.
    const uint64_t cap = kStreamHeadSize + uint64_t(H) * uint64_t(S) * kSegmentRecordHeadSize +
                         uint64_t(W) * uint64_t(H) * uint64_t(bpp);
    std::vector<uint8_t> local;
    std::vector<uint8_t>& buf = scratch ? *scratch : local;
    size_t used = 0;
    DecodeStatus st = InflateCapped(input, cap, buf, used);
    if (st != DecodeStatus::Applied) return st;

    ByteReader r(buf.data(), used);
    Head h;
    if (!r.u8(h.format) || !r.i32(h.width) || !r.i32(h.height) || !r.i32(h.segments))
        return DecodeStatus::Damaged;
    if (h.format != pixelFormat || h.width != W || h.height != H || h.segments != S)
        return DecodeStatus::GeometryMismatch;
    const size_t recordsAt = r.pos();

    // First pass: every record must lie inside the picture and carry exactly the pixels of its
    // segment before any pixel is touched.
    ChangedArea area{W, H, 0, 0};
    while (r.remaining() > 0) {
        int32_t line, seg, count;
        if (!r.i32(line) || !r.i32(seg) || !r.i32(count)) return DecodeStatus::Damaged;
        if (line < 0 || line >= H || seg < 0 || seg >= S || count < 0) return DecodeStatus::BadSegment;
        const int64_t startPx = int64_t(W / S) * seg;
        if (startPx + int64_t(count) > int64_t(W) || count != SegmentGeometry(W, S, seg).length)
            return DecodeStatus::BadSegment;
        if (!r.skip(size_t(count) * size_t(bpp))) return DecodeStatus::Damaged;
        if (count > 0) {
            area.left = std::min(area.left, int32_t(startPx));
            area.right = std::max(area.right, int32_t(startPx + count));
            area.top = std::min(area.top, line);
            area.bottom = std::max(area.bottom, line + 1);
        }
    }
    if (changed) *changed = area.Empty() ? ChangedArea{} : area;

    // Second pass: apply, straight from the inflated bytes into the scan lines.
    r.seek(recordsAt);
    while (r.remaining() > 0) {
        int32_t line = 0, seg = 0, count = 0;
        r.i32(line);
        r.i32(seg);
        r.i32(count);
        const uint8_t* src = r.current();
        r.skip(size_t(count) * size_t(bpp));
        // A record with count 0 is empty, not the end of the frame.
        const int64_t first = int64_t(W / S) * seg;
        switch (bpp) {
            case 1: ApplySegment(target, reinterpret_cast<const Pixel8*>(src), count, xorMode, first, line); break;
            case 2: ApplySegment(target, reinterpret_cast<const Pixel16*>(src), count, xorMode, first, line); break;
            default: ApplySegment(target, reinterpret_cast<const Pixel24*>(src), count, xorMode, first, line); break;
        }
    }
    return DecodeStatus::Applied;
}

bool SegmentDecoder::Start(uint8_t pixelFormat, int32_t width, int32_t height, int32_t segmentsPerLine) {
    Stop();
    if (!SegmentsPerLineOk(segmentsPerLine) || !picture_.SetGeometry(pixelFormat, width, height)) return false;
    format_ = pixelFormat;
    segments_ = segmentsPerLine;
    started_ = true;
    return true;
}

void SegmentDecoder::Stop() {
    picture_.Clear();
    scratch_.clear();
    scratch_.shrink_to_fit();
    format_ = 0;
    segments_ = 0;
    started_ = false;
    keyed_ = false;
}

DecodeStatus SegmentDecoder::Apply(std::span<const uint8_t> stream, bool delta) {
    if (!started_) return DecodeStatus::GeometryMismatch;
    if (delta && !keyed_) return DecodeStatus::NoKeyFrame;
    DecodeStatus st = DecodeBitmapSegments(format_, picture_, stream, delta, segments_, &scratch_, &changed_);
    if (st == DecodeStatus::Applied && !delta) keyed_ = true;
    return st;
}

}  // namespace orb::appshare
