#include "yuv_converts.h"

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "video_records.h"

namespace orb::video {

int YuvFormatOf(uint32_t compression) {
    switch (compression) {
    case 0:
    case 3: return kConvRgb;
    case MakeFourcc('Y', 'U', 'Y', '2'): return kConvYUY2;
    case MakeFourcc('U', 'Y', 'V', 'Y'): return kConvUYVY;
    case MakeFourcc('Y', '4', '1', 'P'): return kConvY41P;
    case MakeFourcc('Y', 'V', 'U', '9'): return kConvYVU9;
    case MakeFourcc('I', '4', '2', '0'): return kConvI420;
    case MakeFourcc('Y', '8', ' ', ' '): return kConvY8;
    case MakeFourcc('Y', '2', '1', '1'): return kConvY211;
    default: return kConvUnsupported;
    }
}

namespace {

// Every constant of the formula is an exact multiple of 1/256000 (1.1643828125 = 298082/256000,
// and so on), so each channel is floor(n / 256000) of an integer n, clamped to 0..255: exact, with
// no rounding of a binary fraction. Truncation toward zero and flooring differ only below zero,
// where both clamp to 0.
constexpr int32_t kYc = 298082, kUb = 516411, kUg = 100291, kVg = 208120, kVr = 408583;

// floor(n / 256000) clamped to 0..255 without a division: n is clamped to [0, 256 x 256000), then
// n / 256000 = q / 125 with q = n >> 11 (below 32000). q / 125 is at least 1/125 away from the next
// integer unless it is one, so q x 0.008 + 0.004 in single precision (off by far less than 0.004)
// truncates to the exact quotient; vector units do this faster than a 32-bit multiply.
inline uint32_t Channel(int32_t n) {
    n = n < 0 ? 0 : n > 65535999 ? 65535999 : n;
    return uint32_t(int32_t(float(n >> 11) * 0.008f + 0.004f));
}

inline uint32_t PixelOf(int32_t yTerm, int32_t blue, int32_t green, int32_t red) {
    return Channel(yTerm + blue) | (Channel(yTerm - green) << 8) | (Channel(yTerm + red) << 16);
}

inline uint32_t Pixel(int y, int u, int v) {
    const int32_t yt = kYc * (y - 16), cu = u - 128, cv = v - 128;
    return PixelOf(yt, kUb * cu, kUg * cu + kVg * cv, kVr * cv);
}

// The row kernels: plain loops over per-row pointers that the compiler turns into vector code.
// 4:2:0: the chroma terms of each sample are spread over its two pixels once for the two lines
// that share them, so the pixel loops read everything contiguously.
constexpr size_t kRowChunk = 512;

#if defined(__GNUC__)
#define ORB_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ORB_ALWAYS_INLINE inline
#endif

ORB_ALWAYS_INLINE void RowPairYuv420(const uint8_t* __restrict y0, const uint8_t* __restrict y1,
                                     const uint8_t* __restrict ul, const uint8_t* __restrict vl,
                                     uint32_t* __restrict o0, uint32_t* __restrict o1, size_t w) {
    alignas(64) int32_t cb[kRowChunk], cg[kRowChunk], cr[kRowChunk];
    for (size_t at = 0; at < w; at += kRowChunk) {
        const size_t n = std::min(kRowChunk, w - at);
        const uint8_t* u = ul + at / 2;
        const uint8_t* v = vl + at / 2;
        alignas(64) int32_t hb[kRowChunk / 2], hg[kRowChunk / 2], hr[kRowChunk / 2];
        const size_t half = (n + 1) / 2;
        for (size_t i = 0; i < half; ++i) {
            const int32_t cu = int32_t(u[i]) - 128, cv = int32_t(v[i]) - 128;
            hb[i] = kUb * cu;
            hg[i] = kUg * cu + kVg * cv;
            hr[i] = kVr * cv;
        }
        for (size_t i = 0; i < half; ++i) {
            cb[2 * i] = hb[i];
            cb[2 * i + 1] = hb[i];
        }
        for (size_t i = 0; i < half; ++i) {
            cg[2 * i] = hg[i];
            cg[2 * i + 1] = hg[i];
        }
        for (size_t i = 0; i < half; ++i) {
            cr[2 * i] = hr[i];
            cr[2 * i + 1] = hr[i];
        }
        const uint8_t* ya = y0 + at;
        uint32_t* oa = o0 + at;
        if (!y1) {
            for (size_t x = 0; x < n; ++x) oa[x] = PixelOf(kYc * (int32_t(ya[x]) - 16), cb[x], cg[x], cr[x]);
            continue;
        }
        const uint8_t* yb = y1 + at;
        uint32_t* ob = o1 + at;
        for (size_t x = 0; x < n; ++x) {
            oa[x] = PixelOf(kYc * (int32_t(ya[x]) - 16), cb[x], cg[x], cr[x]);
            ob[x] = PixelOf(kYc * (int32_t(yb[x]) - 16), cb[x], cg[x], cr[x]);
        }
    }
}

// A whole 4:2:0 picture, written bottom row first.
ORB_ALWAYS_INLINE void FrameYuv420(const uint8_t* s, size_t w, size_t h, uint32_t* target) {
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    const uint8_t* up = s + w * h;
    const uint8_t* vp = up + cw * ch;
    // Source line r lands on target line h - 1 - r; lines 2k and 2k + 1 share chroma line k.
    for (size_t r = 0; r < h; r += 2) {
        const bool two = r + 1 < h;
        RowPairYuv420(s + r * w, two ? s + (r + 1) * w : nullptr, up + (r / 2) * cw, vp + (r / 2) * cw,
                      target + (h - 1 - r) * w, two ? target + (h - 2 - r) * w : nullptr, w);
    }
}

// Packed 4:2:2 (YUY2: Y0 U Y1 V; UYVY: U Y0 V Y1), one 4-byte group per pixel pair.
template <int Y0, int U, int Y1, int V>
ORB_ALWAYS_INLINE void RowPacked422(const uint8_t* __restrict q, uint32_t* __restrict o, size_t w) {
    const size_t pairs = w / 2;
    for (size_t i = 0; i < pairs; ++i) {
        const uint8_t* g4 = q + 4 * i;
        const int32_t cu = int32_t(g4[U]) - 128, cv = int32_t(g4[V]) - 128;
        const int32_t b = kUb * cu, g = kUg * cu + kVg * cv, r = kVr * cv;
        o[2 * i] = PixelOf(kYc * (int32_t(g4[Y0]) - 16), b, g, r);
        o[2 * i + 1] = PixelOf(kYc * (int32_t(g4[Y1]) - 16), b, g, r);
    }
    if (w & 1) {
        const uint8_t* g4 = q + 4 * pairs;
        o[w - 1] = Pixel(g4[Y0], g4[U], g4[V]);
    }
}

// A whole packed 4:2:2 picture (lines of whole 4-byte groups), written bottom row first.
template <int Y0, int U, int Y1, int V>
ORB_ALWAYS_INLINE void FramePacked422(const uint8_t* s, size_t w, size_t h, uint32_t* target) {
    const size_t stride = ((w + 1) / 2) * 4;
    for (size_t r = 0; r < h; ++r) RowPacked422<Y0, U, Y1, V>(s + r * stride, target + (h - 1 - r) * w, w);
}

// The converters compiled once more for the wider vector units, picked by what the processor has.
struct TFrameConverters {
    void (*i420)(const uint8_t*, size_t, size_t, uint32_t*);
    void (*yuy2)(const uint8_t*, size_t, size_t, uint32_t*);
    void (*uyvy)(const uint8_t*, size_t, size_t, uint32_t*);
};

#define ORB_I420_CONVERTER(attr, name)                                                                         \
    attr void name##I420(const uint8_t* s, size_t w, size_t h, uint32_t* t) { FrameYuv420(s, w, h, t); }
#define ORB_FRAME_CONVERTERS(attr, name)                                                                       \
    attr void name##Yuy2(const uint8_t* s, size_t w, size_t h, uint32_t* t) {                                \
        FramePacked422<0, 1, 2, 3>(s, w, h, t);                                                               \
    }                                                                                                         \
    attr void name##Uyvy(const uint8_t* s, size_t w, size_t h, uint32_t* t) {                                \
        FramePacked422<1, 0, 3, 2>(s, w, h, t);                                                               \
    }

ORB_I420_CONVERTER(, Plain)
ORB_FRAME_CONVERTERS(, Plain)
#if defined(__x86_64__) && defined(__GNUC__)
ORB_FRAME_CONVERTERS(__attribute__((target("avx2"))), Avx2)
#if defined(__clang__)
ORB_FRAME_CONVERTERS(__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))), Avx512)
#else
ORB_FRAME_CONVERTERS(__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,prefer-vector-width=512"))), Avx512)
#endif
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// 4:2:0 with 512-bit vectors written out by hand: the compiled loops above spend most of a small
// picture's time on spreading the chroma terms through memory and on clamping each channel. Here
// the terms stay in registers (one permute spreads a sample over its two pixels), the channels are
// clamped by the saturating packs that also interleave them, and a line's tail is a masked load and
// store rather than a scalar loop. Same integers as Channel(): unclamped n only changes values that
// the packs saturate to 0 or 255 anyway (|n >> 11| stays far below where single precision would
// lose the quotient).
#define ORB_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq")))
// GCC 12 takes the intrinsics' deliberately undefined pass-through operands for uninitialised ones.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The quotient floor(q / 125) of q = n >> 11 (see Channel) for 32 channel values at once in 16-bit
// lanes: q is saturated to 0..65535 by the pack that joins two vectors, then q x 33555 >> 22 is the
// exact quotient for every q below 32000 (all that give 0..255) and at least 256 above, where the
// final byte pack saturates to 255 anyway. Half the lanes and no float conversions.
ORB_AVX512 inline __m512i QuotientX32(__m512i a, __m512i b) {
    const __m512i q = _mm512_packus_epi32(_mm512_srai_epi32(a, 11), _mm512_srai_epi32(b, 11));
    return _mm512_srli_epi16(_mm512_mulhi_epu16(q, _mm512_set1_epi16(int16_t(33555))), 6);
}

// Sixteen bytes, or the first of them `m` selects and zeros for the rest: whole steps by a plain
// load, as masked loads of lines not yet in the cache are slow on some processors.
ORB_AVX512 inline __m128i Load16(__mmask16 m, const uint8_t* p) {
    return m == 0xFFFF ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)) : _mm_maskz_loadu_epi8(m, p);
}

// Sixteen pixels of two lines that share their chroma, from their Y samples (the first `m` of them)
// and the spread chroma terms; y1 null: one line. Per 128-bit lane the byte pack holds 4 blue,
// 4 green and the 4 red of each line; `order0`/`order1` pick each line's pixels out of it.
ORB_AVX512 inline void PixelsX16(const uint8_t* y0, const uint8_t* y1, uint32_t* o0, uint32_t* o1, __mmask16 m,
                                 __m512i b, __m512i g, __m512i r, __m512i order0, __m512i order1) {
    const __m512i k = _mm512_set1_epi32(kYc);
    const __m512i t0 = _mm512_mullo_epi32(_mm512_cvtepu8_epi32(Load16(m, y0)), k);
    const __m512i bg0 = QuotientX32(_mm512_add_epi32(t0, b), _mm512_sub_epi32(t0, g));
    if (!y1) {
        const __m512i rr = QuotientX32(_mm512_add_epi32(t0, r), _mm512_add_epi32(t0, r));
        _mm512_mask_storeu_epi32(o0, m, _mm512_shuffle_epi8(_mm512_packus_epi16(bg0, rr), order0));
        return;
    }
    const __m512i t1 = _mm512_mullo_epi32(_mm512_cvtepu8_epi32(Load16(m, y1)), k);
    const __m512i bg1 = QuotientX32(_mm512_add_epi32(t1, b), _mm512_sub_epi32(t1, g));
    const __m512i rr = QuotientX32(_mm512_add_epi32(t0, r), _mm512_add_epi32(t1, r));
    const __m512i p0 = _mm512_shuffle_epi8(_mm512_packus_epi16(bg0, rr), order0);
    const __m512i p1 = _mm512_shuffle_epi8(_mm512_packus_epi16(bg1, rr), order1);
    // Whole steps by plain stores: some processors take masked stores far more slowly.
    if (m == 0xFFFF) {
        _mm512_storeu_si512(o0, p0);
        _mm512_storeu_si512(o1, p1);
        return;
    }
    _mm512_mask_storeu_epi32(o0, m, p0);
    _mm512_mask_storeu_epi32(o1, m, p1);
}

ORB_AVX512 void RowPairYuv420X16(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                                 uint32_t* o0, uint32_t* o1, size_t w) {
    const __m512i order0 = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1));
    const __m512i order1 = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 12, -1, 1, 5, 13, -1, 2, 6, 14, -1, 3, 7, 15, -1));
    const __m512i lo = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i hi = _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    // kYc x (y - 16) = kYc x y + off: the constant part rides on the chroma terms.
    const __m512i c128 = _mm512_set1_epi32(128), off = _mm512_set1_epi32(-16 * kYc);
    for (size_t x = 0; x < w; x += 32) {
        const size_t n = std::min<size_t>(32, w - x);
        const __mmask16 mc = __mmask16((1u << ((n + 1) / 2)) - 1);
        const __m512i cu = _mm512_sub_epi32(_mm512_cvtepu8_epi32(Load16(mc, u + x / 2)), c128);
        const __m512i cv = _mm512_sub_epi32(_mm512_cvtepu8_epi32(Load16(mc, v + x / 2)), c128);
        const __m512i b = _mm512_add_epi32(_mm512_mullo_epi32(cu, _mm512_set1_epi32(kUb)), off);
        const __m512i g = _mm512_sub_epi32(_mm512_add_epi32(_mm512_mullo_epi32(cu, _mm512_set1_epi32(kUg)),
                                                            _mm512_mullo_epi32(cv, _mm512_set1_epi32(kVg))),
                                           off);
        const __m512i r = _mm512_add_epi32(_mm512_mullo_epi32(cv, _mm512_set1_epi32(kVr)), off);
        const __m512i bl = _mm512_permutexvar_epi32(lo, b), gl = _mm512_permutexvar_epi32(lo, g),
                      rl = _mm512_permutexvar_epi32(lo, r);
        const __m512i bh = _mm512_permutexvar_epi32(hi, b), gh = _mm512_permutexvar_epi32(hi, g),
                      rh = _mm512_permutexvar_epi32(hi, r);
        const __mmask16 m0 = __mmask16(n >= 16 ? 0xFFFFu : (1u << n) - 1);
        const __mmask16 m1 = __mmask16(n >= 32 ? 0xFFFFu : n > 16 ? (1u << (n - 16)) - 1 : 0u);
        const uint8_t* ya = y0 + x;
        const uint8_t* yb = y1 ? y1 + x : nullptr;
        uint32_t* oa = o0 + x;
        uint32_t* ob = y1 ? o1 + x : nullptr;
        PixelsX16(ya, yb, oa, ob, m0, bl, gl, rl, order0, order1);
        if (m1) PixelsX16(ya + 16, yb ? yb + 16 : nullptr, oa + 16, ob ? ob + 16 : nullptr, m1, bh, gh, rh, order0, order1);
    }
}

// Asks for the source lines of the pair `ahead` pairs on: a camera picture arrives cold, and with
// six streams at once (four read, two written) the hardware's own prefetch falls behind.
inline void PrefetchPair(const uint8_t* s, const uint8_t* up, const uint8_t* vp, size_t w, size_t h, size_t cw,
                         size_t r) {
    if (r >= h) return;
    const char* y = reinterpret_cast<const char*>(s + r * w);
    const size_t ybytes = std::min<size_t>(2, h - r) * w;
    for (size_t i = 0; i < ybytes; i += 64) _mm_prefetch(y + i, _MM_HINT_T0);
    const char* u = reinterpret_cast<const char*>(up + (r / 2) * cw);
    const char* v = reinterpret_cast<const char*>(vp + (r / 2) * cw);
    for (size_t i = 0; i < cw; i += 64) {
        _mm_prefetch(u + i, _MM_HINT_T0);
        _mm_prefetch(v + i, _MM_HINT_T0);
    }
}

ORB_AVX512 void Avx512I420(const uint8_t* s, size_t w, size_t h, uint32_t* target) {
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    const uint8_t* up = s + w * h;
    const uint8_t* vp = up + cw * ch;
    for (size_t r = 0; r < h; r += 2) {
        const bool two = r + 1 < h;
        PrefetchPair(s, up, vp, w, h, cw, r + 4);
        RowPairYuv420X16(s + r * w, two ? s + (r + 1) * w : nullptr, up + (r / 2) * cw, vp + (r / 2) * cw,
                         target + (h - 1 - r) * w, two ? target + (h - 2 - r) * w : nullptr, w);
    }
}
// The same with 256-bit vectors for processors without the 512-bit ones: eight pixels a step, and
// the last pixels of a line (fewer than a step of sixteen) one by one.
#define ORB_AVX2 __attribute__((target("avx2,fma")))

ORB_AVX2 inline __m256i ChannelX8(__m256i n) {
    const __m256 q = _mm256_cvtepi32_ps(_mm256_srai_epi32(n, 11));
    return _mm256_cvttps_epi32(_mm256_fmadd_ps(q, _mm256_set1_ps(0.008f), _mm256_set1_ps(0.004f)));
}

ORB_AVX2 inline void PixelsX8(const uint8_t* y, uint32_t* o, __m256i b, __m256i g, __m256i r, __m256i order) {
    const __m256i y8 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)));
    const __m256i yt = _mm256_mullo_epi32(y8, _mm256_set1_epi32(kYc));
    const __m256i bl = ChannelX8(_mm256_add_epi32(yt, b)), gr = ChannelX8(_mm256_sub_epi32(yt, g)),
                  rd = ChannelX8(_mm256_add_epi32(yt, r));
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(bl, gr), _mm256_packs_epi32(rd, rd));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_shuffle_epi8(bytes, order));
}

ORB_AVX2 void RowPairYuv420X8(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                              uint32_t* o0, uint32_t* o1, size_t w) {
    const __m256i order = _mm256_setr_epi8(0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1, 0, 4, 8, -1, 1, 5, 9,
                                           -1, 2, 6, 10, -1, 3, 7, 11, -1);
    const __m256i lo = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3), hi = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    const __m256i c128 = _mm256_set1_epi32(128), off = _mm256_set1_epi32(-16 * kYc);
    size_t x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m256i cu = _mm256_sub_epi32(_mm256_cvtepu8_epi32(u8), c128);
        const __m256i cv = _mm256_sub_epi32(_mm256_cvtepu8_epi32(v8), c128);
        const __m256i b = _mm256_add_epi32(_mm256_mullo_epi32(cu, _mm256_set1_epi32(kUb)), off);
        const __m256i g = _mm256_sub_epi32(_mm256_add_epi32(_mm256_mullo_epi32(cu, _mm256_set1_epi32(kUg)),
                                                            _mm256_mullo_epi32(cv, _mm256_set1_epi32(kVg))),
                                           off);
        const __m256i r = _mm256_add_epi32(_mm256_mullo_epi32(cv, _mm256_set1_epi32(kVr)), off);
        const __m256i bl = _mm256_permutevar8x32_epi32(b, lo), gl = _mm256_permutevar8x32_epi32(g, lo),
                      rl = _mm256_permutevar8x32_epi32(r, lo);
        const __m256i bh = _mm256_permutevar8x32_epi32(b, hi), gh = _mm256_permutevar8x32_epi32(g, hi),
                      rh = _mm256_permutevar8x32_epi32(r, hi);
        PixelsX8(y0 + x, o0 + x, bl, gl, rl, order);
        PixelsX8(y0 + x + 8, o0 + x + 8, bh, gh, rh, order);
        if (y1) {
            PixelsX8(y1 + x, o1 + x, bl, gl, rl, order);
            PixelsX8(y1 + x + 8, o1 + x + 8, bh, gh, rh, order);
        }
    }
    for (; x < w; ++x) {
        o0[x] = Pixel(y0[x], u[x / 2], v[x / 2]);
        if (y1) o1[x] = Pixel(y1[x], u[x / 2], v[x / 2]);
    }
}

ORB_AVX2 void Avx2I420(const uint8_t* s, size_t w, size_t h, uint32_t* target) {
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    const uint8_t* up = s + w * h;
    const uint8_t* vp = up + cw * ch;
    for (size_t r = 0; r < h; r += 2) {
        const bool two = r + 1 < h;
        PrefetchPair(s, up, vp, w, h, cw, r + 4);
        RowPairYuv420X8(s + r * w, two ? s + (r + 1) * w : nullptr, up + (r / 2) * cw, vp + (r / 2) * cw,
                        target + (h - 1 - r) * w, two ? target + (h - 2 - r) * w : nullptr, w);
    }
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

using TI420Fn = void (*)(const uint8_t*, size_t, size_t, uint32_t*);

// The 4:2:0 converter of each kernel, null where this processor cannot run it.
TI420Fn I420Of(int kernel) {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (kernel == kI420Avx512 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return Avx512I420;
    if (kernel == kI420Avx2 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Avx2I420;
#endif
    return kernel == kI420Plain ? PlainI420 : nullptr;
}

TFrameConverters PickConverters() {
    TI420Fn i420 = I420Of(kI420Avx512);
    if (!i420) i420 = I420Of(kI420Avx2);
    if (!i420) i420 = PlainI420;
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return {i420, Avx512Yuy2, Avx512Uyvy};
    if (__builtin_cpu_supports("avx2")) return {i420, Avx2Yuy2, Avx2Uyvy};
#endif
    return {i420, PlainYuy2, PlainUyvy};
}
const TFrameConverters kConverters = PickConverters();

}  // namespace

bool ConvertI420With(int kernel, std::span<const uint8_t> source, std::span<uint32_t> target, int lines,
                     int pixelsPerLine) {
    const TI420Fn fn = I420Of(kernel);
    const size_t need = YuvFrameBytes(kConvI420, lines, pixelsPerLine);
    if (!fn || need == 0 || source.size() < need || target.size() < size_t(lines) * size_t(pixelsPerLine))
        return false;
    fn(source.data(), size_t(pixelsPerLine), size_t(lines), target.data());
    return true;
}

uint32_t YuvToRgb(int y, int u, int v) {
    // Out-of-range inputs go through the same integers, in 64 bits.
    if ((y | u | v) & ~0xFF) {
        const int64_t yt = int64_t(kYc) * (y - 16);
        auto ch = [](int64_t n) { return uint32_t(n < 0 ? 0 : n / 256000 > 255 ? 255 : n / 256000); };
        return ch(yt + int64_t(kUb) * (u - 128)) | (ch(yt - int64_t(kUg) * (u - 128) - int64_t(kVg) * (v - 128)) << 8) |
               (ch(yt + int64_t(kVr) * (v - 128)) << 16);
    }
    return Pixel(y, u, v);
}

size_t YuvFrameBytes(int id, int lines, int pixelsPerLine) {
    if (lines <= 0 || pixelsPerLine <= 0 || lines > kMaxVideoSide || pixelsPerLine > kMaxVideoSide) return 0;
    size_t h = size_t(lines), w = size_t(pixelsPerLine);
    switch (id) {
    case kConvYUY2:
    case kConvUYVY: return h * ((w + 1) / 2) * 4;
    case kConvY41P: return h * ((w + 7) / 8) * 12;
    case kConvY211: return h * ((w + 3) / 4) * 4;
    case kConvY8: return h * w;
    case kConvI420: return h * w + 2 * ((h + 1) / 2) * ((w + 1) / 2);
    case kConvYVU9: return h * w + 2 * (h / 4) * (w / 4);
    default: return 0;
    }
}

bool ConvertYuvFrame(int id, std::span<const uint8_t> source, std::span<uint32_t> target, int lines,
                     int pixelsPerLine) {
    size_t need = YuvFrameBytes(id, lines, pixelsPerLine);
    if (need == 0 || source.size() < need) return false;
    const size_t w = size_t(pixelsPerLine), h = size_t(lines);
    if (target.size() < w * h) return false;
    const uint8_t* s = source.data();
    // Source line r lands on target line h - 1 - r.
    auto out = [&](size_t r) { return target.data() + (h - 1 - r) * w; };

    switch (id) {
    case kConvYUY2: kConverters.yuy2(s, w, h, target.data()); return true;
    case kConvUYVY: kConverters.uyvy(s, w, h, target.data()); return true;
    case kConvY41P: {
        const size_t stride = ((w + 7) / 8) * 12;
        static constexpr int kY[8] = {1, 3, 5, 7, 8, 9, 10, 11};
        for (size_t r = 0; r < h; ++r) {
            const uint8_t* line = s + r * stride;
            uint32_t* o = out(r);
            for (size_t x = 0; x < w; x += 8) {
                const uint8_t* q = line + (x / 8) * 12;
                for (size_t i = 0; i < 8 && x + i < w; ++i) {
                    int u = i < 4 ? q[0] : q[4], v = i < 4 ? q[2] : q[6];
                    o[x + i] = Pixel(q[kY[i]], u, v);
                }
            }
        }
        return true;
    }
    case kConvY211: {
        const size_t stride = ((w + 3) / 4) * 4;
        for (size_t r = 0; r < h; ++r) {
            const uint8_t* line = s + r * stride;
            uint32_t* o = out(r);
            for (size_t x = 0; x < w; x += 4) {
                const uint8_t* q = line + x;
                int u = q[1], v = q[3];
                for (size_t i = 0; i < 4 && x + i < w; ++i) o[x + i] = Pixel(i < 2 ? q[0] : q[2], u, v);
            }
        }
        return true;
    }
    case kConvY8:
        for (size_t r = 0; r < h; ++r) {
            uint32_t* o = out(r);
            for (size_t x = 0; x < w; ++x) {
                uint32_t y = s[r * w + x];
                o[x] = y | (y << 8) | (y << 16);
            }
        }
        return true;
    case kConvI420: kConverters.i420(s, w, h, target.data()); return true;
    case kConvYVU9: {
        // Only whole 4 x 4 blocks carry chroma; the rest of the target is left black.
        const size_t cw = w / 4, ch = h / 4;
        const uint8_t* vp = s + w * h;
        const uint8_t* up = vp + cw * ch;
        for (size_t r = 0; r < h; ++r) {
            uint32_t* o = out(r);
            for (size_t x = 0; x < w; ++x)
                o[x] = (r < ch * 4 && x < cw * 4)
                           ? Pixel(s[r * w + x], up[(r / 4) * cw + x / 4], vp[(r / 4) * cw + x / 4])
                           : 0;
        }
        return true;
    }
    default: return false;
    }
}

}  // namespace orb::video
