#include "board/engine/board_raster.h"
#include "board/engine/pixel_runs.h"

#include "util/quadrant.h"

#include <QPainter>
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orb::board {

namespace {

inline bool Inside(const QImage& image, int x, int y) {
    return x >= 0 && y >= 0 && x < image.width() && y < image.height();
}

// nearbyint of |v| < 2^22 in the default rounding mode (half to even) without a library call:
// v + 2^23 (or v - 2^23) has no bits left for a fraction, so that addition rounds as nearbyint does.
inline float RoundHalfEven(float v) {
    constexpr float kShift = 8388608.0f;  // 2^23
    return v >= 0 ? (v + kShift) - kShift : (v - kShift) + kShift;
}

inline int BlendChannel(float w, int pen, int old) {
    return int(RoundHalfEven(w * float(pen) + (1.0f - w) * float(old)));
}

// BlendColor's body, inline for the smooth line's two pixels a step.
inline QRgb Blend(TColorRef pen, QRgb old, float w) {
    return qRgb(BlendChannel(w, int(pen & 0xFF), qRed(old)), BlendChannel(w, int((pen >> 8) & 0xFF), qGreen(old)),
                BlendChannel(w, int((pen >> 16) & 0xFF), qBlue(old)));
}

// The points of a line from (x0, y0) towards (x1, y1), the end point excluded, handed to fn
// inline: the one walk behind LineDDA, thin lines and lines of dabs.
template <typename Fn>
inline void WalkLine(int x0, int y0, int x1, int y1, Fn&& fn) {
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    int x = x0, y = y0;
    if (dx >= dy) {
        int err = dx / 2;
        for (int i = 0; i < dx; ++i) {
            fn(x, y);
            x += sx;
            err -= dy;
            if (err < 0) {
                y += sy;
                err += dx;
            }
        }
    } else {
        int err = dy / 2;
        for (int i = 0; i < dy; ++i) {
            fn(x, y);
            y += sy;
            err -= dx;
            if (err < 0) {
                x += sx;
                err += dy;
            }
        }
    }
}

// The image as the smooth line plots into it: fetched once for the whole line.
struct PlotTarget {
    uchar* base;
    qsizetype bpl;
    int width, height;
#if defined(__SSE2__)
    __m128 penLanes;  // the pen's blue, green and red as the pixel's bytes lie
#endif
    PlotTarget(QImage& image, TColorRef pen)
        : base(image.bits()), bpl(image.bytesPerLine()), width(image.width()), height(image.height()) {
#if defined(__SSE2__)
        penLanes = _mm_setr_ps(float((pen >> 16) & 0xFF), float((pen >> 8) & 0xFF), float(pen & 0xFF), 0.0f);
#else
        this->pen = pen;
#endif
    }
    void Plot(int x, int y, float w) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        QRgb* p = reinterpret_cast<QRgb*>(base + qsizetype(y) * bpl) + x;
#if defined(__SSE2__)
        // Blend's channels side by side: the same products and sum per channel (no fused
        // multiply-add on this road), rounded half to even by the conversion as RoundHalfEven does.
        const __m128i zero = _mm_setzero_si128();
        const __m128i bytes = _mm_cvtsi32_si128(int(*p));
        const __m128 old = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
        const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w), penLanes), _mm_mul_ps(_mm_set1_ps(1.0f - w), old));
        const __m128i i = _mm_cvtps_epi32(v);
        *p = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(i, zero), zero))) | 0xFF000000u;
#else
        *p = Blend(pen, *p, w);
#endif
    }
#if !defined(__SSE2__)
    TColorRef pen;
#endif
};

// The one-pixel walk of WalkLine in terms of its major axis (the longer one, u, stepping 1 per
// pixel) and minor axis (v, stepping when the error runs out): after i steps the minor axis has
// moved k(i) = (i d + D - 1 - D / 2) div D, the error being D / 2 - i d + k(i) D in [0, D).
struct ThinWalk {
    // a / b (b > 0), in 64 bits when a fits: the library's 128-bit division costs several of those.
    static __int128 Quot(__int128 a, int64_t b) { return a == __int128(int64_t(a)) ? int64_t(a) / b : a / b; }
    int64_t D = 0, d = 0;
    int64_t first = 0, last = -1;  // the steps on the image
    int64_t minor = 0, err = 0;    // k and the error at the first of them
    // Finds the steps of the walk from (u0, v0) whose pixels lie in [0, U) x [0, V); false if none.
    bool Clip(int64_t u0, int su, int U, int64_t v0, int sv, int V) {
        if (D <= 0) return false;
        // The major axis: u0 + su i within [0, U).
        int64_t lo = 0, hi = D - 1;
        if (su > 0) {
            lo = std::max(lo, -u0);
            hi = std::min(hi, U - 1 - u0);
        } else {
            lo = std::max(lo, u0 - (U - 1));
            hi = std::min(hi, u0);
        }
        if (lo > hi) return false;
        // The minor axis: v0 + sv k within [0, V), k rising with i.
        const int64_t kLo = std::max<int64_t>(0, sv > 0 ? -v0 : v0 - (V - 1));
        const int64_t kHi = sv > 0 ? V - 1 - v0 : v0;
        if (kLo > kHi) return false;
        const __int128 c = D - 1 - D / 2;
        if (d == 0) {
            if (kLo > 0) return false;
        } else {
            // k(i) >= kLo from i = ceil((kLo D - c) / d); k(i) <= kHi up to floor(((kHi + 1) D - c - 1) / d).
            const __int128 from = __int128(kLo) * D - c, to = (__int128(kHi) + 1) * D - c - 1;
            const __int128 iLo = from <= 0 ? 0 : Quot(from + d - 1, d);
            const __int128 iHi = to < 0 ? -1 : Quot(to, d);
            if (iLo > lo) lo = iLo > hi ? hi + 1 : int64_t(iLo);
            if (iHi < hi) hi = iHi < lo ? lo - 1 : int64_t(iHi);
            if (lo > hi) return false;
        }
        first = lo;
        last = hi;
        minor = int64_t(Quot(__int128(first) * d + c, D));
        err = int64_t(D / 2 - __int128(first) * d + __int128(minor) * D);
        return true;
    }
};

}  // namespace

QRgb BlendColor(TColorRef pen, QRgb old, float w) { return Blend(pen, old, w); }

void LineDDA(int x0, int y0, int x1, int y1, const std::function<void(int, int)>& fn) {
    WalkLine(x0, y0, x1, y1, fn);
}

void DrawThinLine(QImage& image, int x0, int y0, int x1, int y1, TColorRef colour) {
    if (image.isNull()) return;
    const QRgb c = ColorRefToRgb(colour);
    uchar* const base = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    const int w = image.width(), h = image.height();
    // Level and upright lines (the axes and their grid) as runs: the same pixels as the walk.
    if (y0 == y1 && x0 != x1) {
        if (y0 < 0 || y0 >= h) return;
        const int64_t a = std::max<int64_t>(x1 > x0 ? x0 : int64_t(x1) + 1, 0);
        const int64_t b = std::min<int64_t>(x1 > x0 ? int64_t(x1) - 1 : x0, w - 1);
        QRgb* row = reinterpret_cast<QRgb*>(base + y0 * bpl);
        for (int64_t x = a; x <= b; ++x) row[x] = c;
        return;
    }
    if (x0 == x1 && y0 != y1) {
        if (x0 < 0 || x0 >= w) return;
        const int64_t a = std::max<int64_t>(y1 > y0 ? y0 : int64_t(y1) + 1, 0);
        const int64_t b = std::min<int64_t>(y1 > y0 ? int64_t(y1) - 1 : y0, h - 1);
        for (int64_t y = a; y <= b; ++y) reinterpret_cast<QRgb*>(base + y * bpl)[x0] = c;
        return;
    }
    // Any other line: the walk's pixels that fall on the image are one run of its steps, found
    // once, then walked without a test per pixel. The lengths are taken as the walk takes them, in
    // 32 bits.
    const uint32_t ux = uint32_t(x1) - uint32_t(x0), uy = uint32_t(y1) - uint32_t(y0);
    const int64_t adx = int32_t(ux) < 0 ? -int64_t(int32_t(ux)) : int32_t(ux);
    const int64_t ady = int32_t(uy) < 0 ? -int64_t(int32_t(uy)) : int32_t(uy);
    const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    const bool xMajor = adx >= ady;
    ThinWalk walk;
    walk.D = xMajor ? adx : ady;
    walk.d = xMajor ? ady : adx;
    const int64_t u0 = xMajor ? x0 : y0, v0 = xMajor ? y0 : x0;
    const int su = xMajor ? sx : sy, sv = xMajor ? sy : sx;
    if (!walk.Clip(u0, su, xMajor ? w : h, v0, sv, xMajor ? h : w)) return;
    const int64_t first = walk.first;
    const int64_t x = xMajor ? u0 + su * first : v0 + sv * walk.minor;
    const int64_t y = xMajor ? v0 + sv * walk.minor : u0 + su * first;
    const qsizetype stride = bpl / qsizetype(sizeof(QRgb));
    const qsizetype major = xMajor ? sx : sy * stride, minor = xMajor ? sy * stride : sx;
    QRgb* p = reinterpret_cast<QRgb*>(base + y * bpl) + x;
    int64_t err = walk.err;
    const int64_t D = walk.D, d = walk.d;
    // The walk's step without a branch (which the error's turns would mispredict half the time):
    // one row (or column) over when the error runs out, each new error and pointer selected in one
    // step from values taken off the last ones.
    const int64_t back = D - d;
    const qsizetype diagonal = major + minor;
    for (int64_t n = walk.last - first + 1; n > 0; --n) {
        *p = c;
        const int64_t back2 = err + back;
        QRgb* const over = p + diagonal;
        p += major;
#if defined(__x86_64__)
        asm("sub %[d], %[err]\n\t"
            "cmovs %[back2], %[err]\n\t"
            "cmovs %[over], %[p]"
            : [err] "+r"(err), [p] "+r"(p)
            : [d] "r"(d), [back2] "r"(back2), [over] "r"(over)
            : "cc");
#else
        err -= d;
        if (err < 0) {
            err = back2;
            p = over;
        }
#endif
    }
}

void DrawSmoothLine(QImage& image, int x0, int y0, int x1, int y1, TColorRef colour) {
    if (image.isNull()) return;
    const PlotTarget target(image, colour);
    auto Plot = [&target](QImage&, int x, int y, TColorRef, float w) { target.Plot(x, y, w); };
    if (x0 == x1 && y0 == y1) {
        Plot(image, x0, y0, colour, 1.0f);
        Plot(image, x0 + 1, y0, colour, 0.0f);
        return;
    }
    const float fdx = std::fabs(float(x1 - x0)), fdy = std::fabs(float(y1 - y0));
#if defined(__SSE2__)
    // A stroke's next line lands where the board has not been touched for a while, and each pixel
    // is read before it is blended: ask for all its rows at once, so their fetches overlap instead
    // of each blend waiting for its own. The line lies in the box of its ends, one pixel more below
    // and to the right.
    {
        // In 64 bits: an end at the largest int takes its neighbour without overflowing.
        const int64_t left = std::max(std::min(x0, x1), 0), right = std::min<int64_t>(int64_t(std::max(x0, x1)) + 1, target.width - 1);
        const int64_t top = std::max(std::min(y0, y1), 0), bottom = std::min<int64_t>(int64_t(std::max(y0, y1)) + 1, target.height - 1);
        if (left <= right && bottom - top < 64)
            for (int64_t y = top; y <= bottom; ++y) {
                const char* row = reinterpret_cast<const char*>(target.base + qsizetype(y) * target.bpl);
                _mm_prefetch(row + left * 4, _MM_HINT_T0);
                _mm_prefetch(row + right * 4, _MM_HINT_T0);
            }
    }
#endif
    if (fdx > fdy) {
        const int steps = int(fdx);
        const float yinc = float(y1 - y0) / float(steps);
        const int xinc = x1 >= x0 ? 1 : -1;
        const float offset = x1 >= x0 ? 1.0f : 0.0f;
        int x = x0 + int(offset);
        float y = float(y0) + offset * yinc;
        for (int i = 0; i < steps; ++i) {
            const float t = std::trunc(y), f = y - t;
            Plot(image, x, int(t), colour, 1.0f - f);
            Plot(image, x, int(t) + 1, colour, f);
            x += xinc;
            y += yinc;
        }
    } else {
        const int steps = int(fdy);
        const float xinc = float(x1 - x0) / float(steps);
        const int yinc = y1 >= y0 ? 1 : -1;
        const float offset = y1 >= y0 ? 1.0f : 0.0f;
        int y = y0 + int(offset);
        float x = float(x0) + offset * xinc;
        for (int i = 0; i < steps; ++i) {
            const float t = std::trunc(x), f = x - t;
            Plot(image, int(t), y, colour, 1.0f - f);
            Plot(image, int(t) + 1, y, colour, f);
            x += xinc;
            y += yinc;
        }
    }
}

// round(((100 - i) * old + i * colour) / 100), half to even, in exact integers.
static inline int DabChannel(int i, int old, int colour) {
    const int n = (100 - i) * old + i * colour;
    int q = n / 100;
    const int rem = n % 100;
    if (rem > 50 || (rem == 50 && (q & 1))) ++q;
    return q;
}

void TAirBrush::PrepareTable() const {
    const int a = intensity_;
    if (a == lutIntensity_ && color_ == lutColor_) return;
    // One table per channel: a dab is then three look-ups per pixel. Each entry is the rounded
    // quotient of a numerator below 25,600 by 100, taken by a multiply and a shift (exact in that
    // range), so the loop has no division and no carried state and the compiler runs it in vectors.
    const int colour[3] = {int(color_ & 0xFF), int((color_ >> 8) & 0xFF), int((color_ >> 16) & 0xFF)};
    for (int c = 0; c < 3; ++c) {
        uint8_t* out = lut_[c].data();
        const uint32_t base = uint32_t(a * colour[c]), step = uint32_t(100 - a);
        for (uint32_t old = 0; old < 256; ++old) {
            const uint32_t n = base + step * old;
            const uint32_t q = (n * 5243u) >> 19;  // n / 100 for n < 43,699
            const uint32_t rem = n - 100 * q;
            out[old] = uint8_t(q + (rem > 50 || (rem == 50 && (q & 1))));
        }
    }
    lutIntensity_ = a;
    lutColor_ = color_;
}

namespace {

// The image as a dab sees it: fetched once for a whole line of dabs.
struct DabTarget {
    uchar* base;
    qsizetype bpl;
    int width, height;
};

// The blend of each pixel: by the tables, or (for a line too short to pay for building them) by
// the formula itself.
struct TableBlend {
    const uint8_t *lr, *lg, *lb;
    uint32_t operator()(QRgb old) const {
        return (uint32_t(lr[(old >> 16) & 0xFF]) << 16) | (uint32_t(lg[(old >> 8) & 0xFF]) << 8) | lb[old & 0xFF];
    }
};
struct FormulaBlend {
    int a, r, g, b;
    uint32_t operator()(QRgb old) const {
        return (uint32_t(DabChannel(a, int((old >> 16) & 0xFF), r)) << 16) |
               (uint32_t(DabChannel(a, int((old >> 8) & 0xFF), g)) << 8) | uint32_t(DabChannel(a, int(old & 0xFF), b));
    }
};

template <typename Blend>
inline void DabAt(const DabTarget& t, int size, const Blend& blend, int x, int y) {
    const int left = std::max(0, x - size / 2), top = std::max(0, y - size / 2);
    const int right = std::min(t.width, x - size / 2 + size);
    const int bottom = std::min(t.height, y - size / 2 + size);
    for (int py = top; py < bottom; ++py) {
        QRgb* row = reinterpret_cast<QRgb*>(t.base + py * t.bpl);
        for (int px = left; px < right; ++px) {
            const uint32_t rgb = blend(row[px]);
            // Pure white results are not written, so a white brush leaves no trace.
            if (rgb == 0xFFFFFFu) continue;
            row[px] = 0xFF000000u | rgb;
        }
    }
}

// A dab at each point of the line: each dab costs only its pixels.
template <typename Blend>
void DabWalk(const DabTarget& t, int size, const Blend& blend, int x0, int y0, int x1, int y1) {
    WalkLine(x0, y0, x1, y1, [&](int x, int y) { DabAt(t, size, blend, x, y); });
}

}  // namespace

void TAirBrush::Dab(QImage& image, int x, int y) const {
    FlushRun();
    if (image.isNull()) return;
    PrepareTable();
    const DabTarget t{image.bits(), image.bytesPerLine(), image.width(), image.height()};
    DabAt(t, size_, TableBlend{lut_[0].data(), lut_[1].data(), lut_[2].data()}, x, y);
}

namespace {

// One dab more on 256 values of a channel: out[v] is the blend of in[v], by PrepareTable's
// quotient. A stroke builds up to Size() of these tables, so they are built 16 values at a time.
inline void FoldChannel(const uint8_t* in, uint8_t* out, int a, int colour) {
#if defined(__SSE2__)
    // Numerators (plus the half added for rounding) stay below 25,600, so 16-bit lanes hold them,
    // and the high half of n * 5243 shifted by 3 more is the quotient's (n * 5243) >> 19.
    const __m128i base = _mm_set1_epi16(short(a * colour + 50)), step = _mm_set1_epi16(short(100 - a));
    const __m128i magic = _mm_set1_epi16(5243), hundred = _mm_set1_epi16(100);
    const __m128i one = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    auto blend = [&](__m128i old) {
        const __m128i n = _mm_add_epi16(base, _mm_mullo_epi16(step, old));
        const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(n, magic), 3);
        // Rounded half up; a half that went up to an odd quotient comes back down to the even one.
        const __m128i tie = _mm_cmpeq_epi16(_mm_sub_epi16(n, _mm_mullo_epi16(q, hundred)), zero);
        return _mm_sub_epi16(q, _mm_and_si128(_mm_and_si128(tie, q), one));
    };
    for (int v = 0; v < 256; v += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + v));
        const __m128i r = _mm_packus_epi16(blend(_mm_unpacklo_epi8(x, zero)), blend(_mm_unpackhi_epi8(x, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + v), r);
    }
#else
    const uint32_t base = uint32_t(a * colour), step = uint32_t(100 - a);
    for (int v = 0; v < 256; ++v) {
        const uint32_t n = base + step * in[v];
        const uint32_t q = (n * 5243u) >> 19;  // n / 100 for n < 43,699
        const uint32_t rem = n - 100 * q;
        out[v] = uint8_t(q + (rem > 50 || (rem == 50 && (q & 1))));
    }
#endif
}

constexpr int kFoldBytes = 768;  // red, green, blue

#if defined(__x86_64__)
#define ORB_BYTE_LANES __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#include <immintrin.h>

std::atomic<bool> byteLanesAllowed{true};
bool HasByteLanes() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has && byteLanesAllowed.load(std::memory_order_relaxed);
}

// out[v] = one[in[v]] for each channel's 256 values: one dab more taken from the table of one
// dab (the same values FoldChannel computes), 64 look-ups in a 256-byte table at a time.
ORB_BYTE_LANES void FoldByLookup(const uint8_t* in, const uint8_t* one, uint8_t* out) {
    for (int c = 0; c < 3; ++c, in += 256, one += 256, out += 256) {
        const __m512i t0 = _mm512_loadu_epi32(one), t1 = _mm512_loadu_epi32(one + 64);
        const __m512i t2 = _mm512_loadu_epi32(one + 128), t3 = _mm512_loadu_epi32(one + 192);
        for (int v = 0; v < 256; v += 64) {
            const __m512i idx = _mm512_loadu_epi32(in + v);
            const __m512i lo = _mm512_permutex2var_epi8(t0, idx, t1), hi = _mm512_permutex2var_epi8(t2, idx, t3);
            _mm512_storeu_epi32(out + v, _mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), lo, hi));
        }
    }
}

// Byte j of a channel is byte 4j + c of the pixels (of the 128 bytes of pixels 0..31, or 32..63).
alignas(64) constexpr std::array<uint8_t, 64> kChannelBytes = [] {
    std::array<uint8_t, 64> v{};
    for (size_t j = 0; j < 64; ++j) v[j] = uint8_t((4 * j) & 127);
    return v;
}();
// Pixel p of register r takes byte 16r + p of each channel.
alignas(64) constexpr std::array<std::array<uint8_t, 64>, 4> kPixelBytes = [] {
    std::array<std::array<uint8_t, 64>, 4> v{};
    for (size_t r = 0; r < 4; ++r)
        for (size_t b = 0; b < 64; ++b) v[r][b] = uint8_t(16 * r + b / 4);
    return v;
}();

// Blends pixels row[0..Regs * 16) (those before n) by their counts of dabs, the running sums of
// step[] from carry on: a pixel under k dabs takes the product of the tables of 2^i dabs for the
// bits i of k (all powers of the table of one dab, so their order does not matter and the result
// is the table of k dabs), each channel of all the pixels in the byte lanes of one register.
// Pixels under no dab are left alone.
template <int Regs>
ORB_BYTE_LANES inline void BlendChunk(QRgb* row, const int* step, int n, const uint8_t* powers, int tables,
                                      __m512i& carry) {
    const __m512i zero = _mm512_setzero_si512();
    __m512i k[Regs], px[Regs], any = zero;
    __mmask16 under[Regs];
    __mmask16 some = 0;
    for (int r = 0; r < Regs; ++r) {
        const __mmask16 inside = __mmask16((1u << std::clamp(n - 16 * r, 0, 16)) - 1);
        __m512i v = _mm512_maskz_loadu_epi32(inside, step + 16 * r);
        // The running sum: each lane plus the lanes 1, 2, 4 and 8 before it (the forms with a
        // mask, as those without leave GCC 12 warning of an unset register).
        v = _mm512_add_epi32(v, _mm512_maskz_alignr_epi32(0xFFFF, v, zero, 15));
        v = _mm512_add_epi32(v, _mm512_maskz_alignr_epi32(0xFFFF, v, zero, 14));
        v = _mm512_add_epi32(v, _mm512_maskz_alignr_epi32(0xFFFF, v, zero, 12));
        v = _mm512_add_epi32(v, _mm512_maskz_alignr_epi32(0xFFFF, v, zero, 8));
        v = _mm512_add_epi32(v, carry);
        carry = _mm512_maskz_permutexvar_epi32(0xFFFF, _mm512_set1_epi32(15), v);
        k[r] = _mm512_maskz_max_epi32(inside, v, zero);
        under[r] = _mm512_test_epi32_mask(k[r], k[r]);
        some |= under[r];
        any = _mm512_or_si512(any, k[r]);
    }
    if (!some) return;
    alignas(64) int lanesOr[16];
    _mm512_store_si512(lanesOr, any);
    int bits = 0;
    for (const int v : lanesOr) bits |= v;
    for (int r = 0; r < Regs; ++r) px[r] = _mm512_maskz_loadu_epi32(under[r], row + 16 * r);
    __m512i ch[3];  // blue, green, red
    const __m512i gather = _mm512_load_si512(kChannelBytes.data());
    for (int c = 0; c < 3; ++c) {
        const __m512i idx = _mm512_add_epi8(gather, _mm512_set1_epi8(char(c)));
        if constexpr (Regs == 1)
            ch[c] = _mm512_maskz_permutexvar_epi8(~__mmask64(0), idx, px[0]);
        else if constexpr (Regs == 2)
            ch[c] = _mm512_permutex2var_epi8(px[0], idx, px[1]);
        else
            ch[c] = _mm512_mask_blend_epi8(__mmask64(0xFFFFFFFF00000000ull), _mm512_permutex2var_epi8(px[0], idx, px[1]),
                                           _mm512_permutex2var_epi8(px[2], idx, px[3]));
    }
    for (int i = 0; bits && i < tables; ++i, bits >>= 1) {
        if (!(bits & 1)) continue;
        const __m512i bit = _mm512_set1_epi32(1 << i);
        __mmask64 m = 0;
        for (int r = 0; r < Regs; ++r) m |= __mmask64(_mm512_test_epi32_mask(k[r], bit)) << (16 * r);
        const uint8_t* table = powers + size_t(i) * kFoldBytes;
        for (int c = 0; c < 3; ++c) {
            const uint8_t* t = table + (2 - c) * 256;  // the tables are red, green, blue
            const __m512i lo = _mm512_permutex2var_epi8(_mm512_loadu_si512(t), ch[c], _mm512_loadu_si512(t + 64));
            const __m512i hi = _mm512_permutex2var_epi8(_mm512_loadu_si512(t + 128), ch[c], _mm512_loadu_si512(t + 192));
            ch[c] = _mm512_mask_mov_epi8(ch[c], m, _mm512_mask_blend_epi8(_mm512_movepi8_mask(ch[c]), lo, hi));
        }
    }
    constexpr __mmask64 kBlue = 0x1111111111111111ull, kGreen = kBlue << 1, kRed = kBlue << 2;
    const __m512i alpha = _mm512_set1_epi32(int(0xFF000000u));
    for (int r = 0; r < Regs; ++r) {
        if (!under[r]) continue;
        const __m512i to = _mm512_load_si512(kPixelBytes[size_t(r)].data());
        __m512i v = _mm512_mask_permutexvar_epi8(px[r], kBlue, to, ch[0]);
        v = _mm512_mask_permutexvar_epi8(v, kGreen, to, ch[1]);
        v = _mm512_mask_permutexvar_epi8(v, kRed, to, ch[2]);
        _mm512_mask_storeu_epi32(row + 16 * r, under[r], _mm512_or_si512(v, alpha));
    }
}

// Blends the n pixels of row by their counts of dabs, the running sums of step[0..n) (none under a
// dab before row[0]), 64 pixels at a time and the rest in 16 or 32.
ORB_BYTE_LANES void BlendByPowers(QRgb* row, const int* step, int n, const uint8_t* powers, int tables) {
    __m512i carry = _mm512_setzero_si512();
    int x = 0;
    for (; n - x > 32; x += 64) BlendChunk<4>(row + x, step + x, n - x, powers, tables, carry);
    if (n - x > 16)
        BlendChunk<2>(row + x, step + x, n - x, powers, tables, carry);
    else if (n - x > 0)
        BlendChunk<1>(row + x, step + x, n - x, powers, tables, carry);
}
#else
bool HasByteLanes() { return false; }
void FoldByLookup(const uint8_t*, const uint8_t*, uint8_t*) {}
void BlendByPowers(QRgb*, const int*, int, const uint8_t*, int) {}
#endif

}  // namespace

void AllowByteLanes(bool allowed) {
#if defined(__x86_64__)
    byteLanesAllowed.store(allowed, std::memory_order_relaxed);
#else
    (void)allowed;
#endif
}

void TAirBrush::PrepareFoldsFor(int count, int intensity, TColorRef colour) const {
    if (intensity != foldIntensity_ || colour != foldColor_) {
        foldCount_ = 0;
        foldIntensity_ = intensity;
        foldColor_ = colour;
    }
    if (count <= foldCount_) return;
    if (folds_.size() < size_t(count) * kFoldBytes) folds_.resize(size_t(count) * kFoldBytes);
    const int channel[3] = {int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)};
    static const std::array<uint8_t, 256> kIdentity = [] {
        std::array<uint8_t, 256> v{};
        for (int i = 0; i < 256; ++i) v[size_t(i)] = uint8_t(i);
        return v;
    }();
    const bool lanes = HasByteLanes();
    for (int k = foldCount_; k < count; ++k) {
        uint8_t* out = folds_.data() + size_t(k) * kFoldBytes;
        if (k > 0 && lanes) {
            FoldByLookup(out - kFoldBytes, folds_.data(), out);
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            const uint8_t* in = k == 0 ? kIdentity.data() : out - kFoldBytes + c * 256;
            FoldChannel(in, out + c * 256, intensity, channel[c]);
        }
    }
    foldCount_ = count;
}

void TAirBrush::PreparePowersFor(int count, int intensity, TColorRef colour) const {
    if (intensity != powerIntensity_ || colour != powerColor_) {
        powerCount_ = 0;
        powerIntensity_ = intensity;
        powerColor_ = colour;
    }
    if (count <= powerCount_) return;
    if (powers_.size() < size_t(count) * kFoldBytes) powers_.resize(size_t(count) * kFoldBytes);
    if (powerCount_ == 0) {
        PrepareFoldsFor(1, intensity, colour);
        std::memcpy(powers_.data(), folds_.data(), kFoldBytes);
        powerCount_ = 1;
    }
    // The table of 2^(i+1) dabs is that of 2^i looked up in itself.
    for (int i = powerCount_; i < count; ++i) {
        const uint8_t* half = powers_.data() + size_t(i - 1) * kFoldBytes;
        FoldByLookup(half, half, powers_.data() + size_t(i) * kFoldBytes);
    }
    powerCount_ = count;
}

bool TAirBrush::FoldsExact() const {
    const int a = intensity_;
    // A dab moves each channel towards the colour and keeps its order, so when white itself leaves
    // white in some channel no dab ever yields pure white, the one result a dab does not write:
    // then k dabs on a pixel are the k-fold blend, whatever their order.
    return DabChannel(a, 255, int(color_ & 0xFF)) != 255 || DabChannel(a, 255, int((color_ >> 8) & 0xFF)) != 255 ||
           DabChannel(a, 255, int((color_ >> 16) & 0xFF)) != 255;
}

bool TAirBrush::FoldsPayOff(int64_t dabs) const {
    const int a = intensity_;
    if (!FoldsExact()) return false;
    // Dabs of one pixel never overlap, nor does a lone dab; but the counting road fetches all rows
    // of its line at once, which pays while the rows are short.
    const int64_t s = size_;
    if (s < 2 || (dabs < 2 && s > 24)) return false;
    // The tables this line needs beyond those at hand cost about as much as eight of the pixels
    // their dabs would blend one by one (measured on strokes in new colours).
    const bool ready = a == foldIntensity_ && color_ == foldColor_;
    const int64_t missing = std::max<int64_t>(0, std::min(s, dabs) - (ready ? foldCount_ : 0));
    return dabs * s * s >= 8 * missing;
}

void TAirBrush::FoldLine(QImage& image, int x0, int y0, int x1, int y1) const {
    const int w = image.width(), h = image.height(), s = size_, half = s / 2;
    // Only the dabs that meet the image: a run of the walk, as its points go one way in x and y.
    std::vector<std::pair<int, int>>& points = linePoints_;
    points.clear();
    WalkLine(x0, y0, x1, y1, [&](int x, int y) {
        if (x > half - s && x < w + half && y > half - s && y < h + half) points.emplace_back(x, y);
    });
    if (points.empty()) return;
    if (points.front().second > points.back().second) std::reverse(points.begin(), points.end());
    const int m = int(points.size());
    uchar* const base = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    const int rowLo = std::max(0, points.front().second - half);
    const int rowHi = std::min(h, points.back().second - half + s);
#if defined(__SSE2__)
    // A line lands where the board has not been touched for a while: ask for all its pixels at
    // once, so their fetches overlap each other and the tables. The dabs first..end - 1 cover a
    // row; their columns join, as the points step by one.
    for (int py = rowLo, first = 0, end = 0; py < rowHi; ++py) {
        while (end < m && points[size_t(end)].second - half <= py) ++end;
        while (first < end && points[size_t(first)].second - half + s <= py) ++first;
        if (first == end) continue;
        const int a = points[size_t(first)].first, b = points[size_t(end - 1)].first;
        const int lo = std::max(0, std::min(a, b) - half), hi = std::min(w, std::max(a, b) - half + s);
        const char* row = reinterpret_cast<const char*>(base + py * bpl);
        for (int px = lo; px < hi; px += 16) _mm_prefetch(row + px * 4, _MM_HINT_T0);
        _mm_prefetch(row + (hi - 1) * 4, _MM_HINT_T0);
    }
#endif
    // A pixel lies in at most s dabs: the points step one pixel along the major axis.
    const int most = std::min(s, m);
    PrepareFolds(most);
    // The table of k dabs, 1 <= k <= most, starts at folds + (k - 1) * kFoldBytes.
    const uint8_t* folds = folds_.data();
    const int limit = most * kFoldBytes;
    const int colLo = std::max(0, std::min(points.front().first, points.back().first) - half);
    const int colHi = std::min(w, std::max(points.front().first, points.back().first) - half + s);
    if (rowCounts_.size() < size_t(colHi - colLo + 1)) rowCounts_.resize(size_t(colHi - colLo + 1), 0);
    int* const counts = rowCounts_.data();  // from column colLo on
    // Each dab adds one table over its columns while the rows pass through it: the running sum along
    // a row is then the offset of the pixel's table. The dabs enter and leave in order, so every
    // count is back to zero at the end.
    auto count = [&](int j, int table) {
        const int x = points[size_t(j)].first - half;
        counts[std::max(0, x) - colLo] += table;
        counts[std::min(w, x + s) - colLo] -= table;
    };
    int first = 0, end = 0;
    for (int py = rowLo; py < rowHi; ++py) {
        while (end < m && points[size_t(end)].second - half <= py) count(end++, kFoldBytes);
        while (first < end && points[size_t(first)].second - half + s <= py) count(first++, -kFoldBytes);
        if (first == end) continue;
        const int a = points[size_t(first)].first, b = points[size_t(end - 1)].first;
        const int lo = std::max(0, std::min(a, b) - half), hi = std::min(w, std::max(a, b) - half + s);
        QRgb* row = reinterpret_cast<QRgb*>(base + py * bpl);
        int offset = 0;
        for (int px = lo; px < hi; ++px) {
            offset += counts[px - colLo];
            const unsigned at = unsigned(offset - kFoldBytes);
            if (at >= unsigned(limit)) continue;
            const uint8_t* f = folds + at;
            const QRgb old = row[px];
            row[px] = 0xFF000000u | (uint32_t(f[(old >> 16) & 0xFF]) << 16) |
                      (uint32_t(f[256 + ((old >> 8) & 0xFF)]) << 8) | f[512 + (old & 0xFF)];
        }
    }
    while (first < end) count(first++, -kFoldBytes);
}

void TAirBrush::DabLine(QImage& image, int x0, int y0, int x1, int y1) const {
    FlushRun();
    if (image.isNull() || (x0 == x1 && y0 == y1)) return;
    const DabTarget t{image.bits(), image.bytesPerLine(), image.width(), image.height()};
    const int64_t dabs = std::max(std::abs(int64_t(x1) - x0), std::abs(int64_t(y1) - y0));
    const bool tableReady = intensity_ == lutIntensity_ && color_ == lutColor_;
    // A stroke goes on in the colour of the line before it: the table pays off over the stroke.
    const bool sameStroke = intensity_ == lineIntensity_ && color_ == lineColor_;
    lineIntensity_ = intensity_;
    lineColor_ = color_;
    if (FoldsPayOff(dabs)) {
        FoldLine(image, x0, y0, x1, y1);
        return;
    }
    if (!tableReady && !sameStroke && dabs * size_ * size_ < 256) {
        // A lone short line in a new colour: fewer pixels than a table has entries, so the
        // formula per pixel is cheaper.
        const FormulaBlend blend{intensity_, int(color_ & 0xFF), int((color_ >> 8) & 0xFF), int((color_ >> 16) & 0xFF)};
        DabWalk(t, size_, blend, x0, y0, x1, y1);
        return;
    }
    PrepareTable();
    DabWalk(t, size_, TableBlend{lut_[0].data(), lut_[1].data(), lut_[2].data()}, x0, y0, x1, y1);
}

namespace {

// Tables a run builds at most without byte permutes: a pixel under more dabs takes the last table
// again and again (k dabs are that many, then k minus that many), as tables cost more than look-ups.
constexpr int kRunTables = 16;
// Dabs a run holds at most.
constexpr size_t kMaxRunDabs = 1 << 16;

}  // namespace

bool TAirBrush::DeferLine(QImage& image, int x0, int y0, int x1, int y1) const {
    // A line in the settings of the run at hand joins it (the colour was found fit when it began).
    if (runImage_ != &image || runSize_ != size_ || runIntensity_ != intensity_ || runColor_ != color_ ||
        runWidth_ != image.width() || runHeight_ != image.height()) {
        FlushRun();
        if (image.isNull() || !FoldsExact()) return false;
    }
    lineIntensity_ = intensity_;
    lineColor_ = color_;
    if (x0 == x1 && y0 == y1) return true;
    const int w = image.width(), h = image.height(), s = size_, half = s / 2;
    // The dabs that meet the image, added to the run's: a run of the walk, its points going one way
    // in x and in y.
    std::vector<std::pair<int, int>>& points = runPoints_;
    if (!runImage_) points.clear();
    const size_t from = points.size();
    WalkLine(x0, y0, x1, y1, [&](int x, int y) {
        if (x > half - s && x < w + half && y > half - s && y < h + half) points.emplace_back(x, y);
    });
    if (points.size() == from) return true;
    const auto [xa, ya] = points[from];
    const auto [xb, yb] = points.back();
    const int left = std::max(0, std::min(xa, xb) - half), right = std::min(w, std::max(xa, xb) - half + s);
    const int top = std::max(0, std::min(ya, yb) - half), bottom = std::min(h, std::max(ya, yb) - half + s);
    const int64_t area = int64_t(right - left) * (bottom - top);
    if (runImage_) {
        // The run's box is swept at the flush: it may outgrow its lines' own boxes only a little,
        // else the run so far is drawn and this line starts the next one.
        const int64_t joined = int64_t(std::max(right, runRight_) - std::min(left, runLeft_)) *
                               (std::max(bottom, runBottom_) - std::min(top, runTop_));
        if (joined > 2 * (runLineArea_ + area) + 4096 || points.size() > kMaxRunDabs) {
            linePoints_.assign(points.begin() + ptrdiff_t(from), points.end());
            points.resize(from);
            FlushRun();
            points.assign(linePoints_.begin(), linePoints_.end());
        }
    }
    if (!runImage_) {
        runImage_ = &image;
        runWidth_ = w;
        runHeight_ = h;
        runSize_ = size_;
        runIntensity_ = intensity_;
        runColor_ = color_;
        runLeft_ = left;
        runTop_ = top;
        runRight_ = right;
        runBottom_ = bottom;
        runLineArea_ = 0;
    } else {
        runLeft_ = std::min(runLeft_, left);
        runTop_ = std::min(runTop_, top);
        runRight_ = std::max(runRight_, right);
        runBottom_ = std::max(runBottom_, bottom);
    }
    runLineArea_ += area;
    return true;
}

void TAirBrush::FlushRun() const {
    if (!runImage_) return;
    QImage& image = *runImage_;
    runImage_ = nullptr;
    const std::vector<std::pair<int, int>>& points = runPoints_;
    // The dabs were kept for an image of this size (one replaced since has nothing of them).
    if (points.empty() || image.width() != runWidth_ || image.height() != runHeight_) return;
    const int w = runWidth_, h = runHeight_, s = runSize_, half = s / 2;
    int cxLo = std::numeric_limits<int>::max(), cxHi = std::numeric_limits<int>::min();
    int cyLo = cxLo, cyHi = cxHi;
    for (const auto& [x, y] : points) {
        cxLo = std::min(cxLo, x);
        cxHi = std::max(cxHi, x);
        cyLo = std::min(cyLo, y);
        cyHi = std::max(cyHi, y);
    }
    // The dabs sorted by row (a counting sort): they enter and leave the rows in that order.
    const int centres = cyHi - cyLo + 1;
    std::vector<int>& buckets = runBuckets_;
    buckets.assign(size_t(centres) + 1, 0);
    for (const auto& p : points) ++buckets[size_t(p.second - cyLo) + 1];
    for (int i = 0; i < centres; ++i) buckets[size_t(i) + 1] += buckets[size_t(i)];
    std::vector<std::pair<int, int>>& sorted = runSorted_;
    sorted.resize(points.size());
    for (const auto& p : points) sorted[size_t(buckets[size_t(p.second - cyLo)]++)] = p;
    const int m = int(sorted.size());
    const int rowLo = std::max(0, cyLo - half), rowHi = std::min(h, cyHi - half + s);
    // The columns of each row: those of the dabs over it, from the least and greatest centre of the
    // rows of centres that reach it (empty where no dab does).
    std::vector<int>& spans = runSpans_;
    spans.assign(size_t(centres) * 2 + size_t(rowHi - rowLo) * 2, 0);
    int* const cMin = spans.data();
    int* const cMax = cMin + centres;
    std::fill(cMin, cMin + centres, std::numeric_limits<int>::max());
    std::fill(cMax, cMax + centres, std::numeric_limits<int>::min());
    for (const auto& [x, y] : points) {
        cMin[y - cyLo] = std::min(cMin[y - cyLo], x);
        cMax[y - cyLo] = std::max(cMax[y - cyLo], x);
    }
    int* const rowSpan = cMax + centres;  // lo, hi of each row from rowLo
    uchar* const base = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    for (int py = rowLo; py < rowHi; ++py) {
        int a = std::numeric_limits<int>::max(), b = std::numeric_limits<int>::min();
        for (int cy = std::max(cyLo, py + half - s + 1), e = std::min(cyHi, py + half); cy <= e; ++cy) {
            a = std::min(a, cMin[cy - cyLo]);
            b = std::max(b, cMax[cy - cyLo]);
        }
        int* span = rowSpan + 2 * (py - rowLo);
        span[0] = a > b ? 0 : std::max(0, a - half);
        span[1] = a > b ? 0 : std::min(w, b - half + s);
#if defined(__SSE2__)
        // The run lands where the board has not been touched for a while: all its rows are asked
        // for at once, so their fetches overlap.
        const char* row = reinterpret_cast<const char*>(base + py * bpl);
        for (int px = span[0]; px < span[1]; px += 16) _mm_prefetch(row + px * 4, _MM_HINT_T0);
        if (span[1] > span[0]) _mm_prefetch(row + (span[1] - 1) * 4, _MM_HINT_T0);
#endif
    }
    const int colLo = std::max(0, cxLo - half), colHi = std::min(w, cxHi - half + s);
    if (rowCounts_.size() < size_t(colHi - colLo + 1)) rowCounts_.resize(size_t(colHi - colLo + 1), 0);
    int* const counts = rowCounts_.data();  // from column colLo on; all zero between lines
    // Each dab adds one table over its columns while the rows pass through it: the running sum
    // along a row is then the pixel's count of dabs, in bytes of tables.
    auto count = [&](int j, int d) {
        const int x = sorted[size_t(j)].first - half;
        counts[std::max(0, x) - colLo] += d;
        counts[std::min(w, x + s) - colLo] -= d;
    };
    // With byte permutes the counts are of dabs, and the pixels are blended by the tables of
    // powers of two dabs: a pixel is under at most m dabs.
    const bool lanes = HasByteLanes();
    const int unit = lanes ? 1 : kFoldBytes;
    const int powers = std::bit_width(unsigned(m));
    if (lanes) PreparePowersFor(powers, runIntensity_, runColor_);
    // Tables are built as the counts ask for them, up to `most`; a pixel under more dabs takes the
    // last table again.
    const int most = kRunTables;
    int ready = runIntensity_ == foldIntensity_ && runColor_ == foldColor_ ? std::min(foldCount_, most) : 0;
    int readyBytes = ready * kFoldBytes;
    const int mostBytes = most * kFoldBytes;
    // No table's address is formed before it is built (the tables may not exist yet at all).
    const uint8_t* folds = folds_.data();
    // The dabs of each row of centres are a range of the sorted ones (buckets[c] is where those of
    // row cyLo + c end): they enter at the row their square starts on and leave s rows later, taken
    // as ranges rather than tested dab by dab. The rows above the image only count.
    const int* const bucketEnds = buckets.data();
    auto enter = [&](int c, int d) {
        const int from = c ? bucketEnds[c - 1] : 0, to = bucketEnds[c];
        for (int j = from; j < to; ++j) count(j, d);
        return to - from;
    };
    int active = 0;
    for (int py = cyLo - half; py < rowHi; ++py) {
        const int in = py + half - cyLo, out = in - s;
        if (in < centres) active += enter(in, unit);
        if (out >= 0 && out < centres) active -= enter(out, -unit);
        if (py < rowLo || !active) continue;
        const int* span = rowSpan + 2 * (py - rowLo);
        QRgb* row = reinterpret_cast<QRgb*>(base + py * bpl);
        if (lanes) {
            BlendByPowers(row + span[0], counts + (span[0] - colLo), span[1] - span[0], powers_.data(), powers);
            continue;
        }
        int k = 0;
        for (int px = span[0], hi = span[1]; px < hi; ++px) {
            k += counts[px - colLo];
            if (k <= 0) continue;
            if (k > readyBytes && readyBytes < mostBytes) {
                ready = std::min(k / kFoldBytes, most);
                PrepareFoldsFor(ready, runIntensity_, runColor_);
                readyBytes = ready * kFoldBytes;
                folds = folds_.data();
            }
            const QRgb old = row[px];
            uint32_t r = (old >> 16) & 0xFF, g = (old >> 8) & 0xFF, bl = old & 0xFF;
            int left = k;
            // Past the last table all of them were built.
            for (; left > mostBytes; left -= mostBytes) {
                const uint8_t* f = folds + (mostBytes - kFoldBytes);
                r = f[r];
                g = f[256 + g];
                bl = f[512 + bl];
            }
            const uint8_t* f = folds + (left - kFoldBytes);
            row[px] = 0xFF000000u | (uint32_t(f[r]) << 16) | (uint32_t(f[256 + g]) << 8) | f[512 + bl];
        }
    }
    std::fill(counts, counts + (colHi - colLo + 1), 0);
}

void FloodFillSurface(QImage& image, int x, int y, const QBrush& brush) {
    if (!Inside(image, x, y) || brush.style() == Qt::NoBrush) return;
    const int w = image.width(), h = image.height();
    uchar* const base = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    auto row = [&](int py) { return reinterpret_cast<const QRgb*>(base + py * bpl); };
    const QRgb target = row(y)[x] | 0xFF000000u;
    // The mask stays allocated and all zero between fills: each fill clears only what it marked,
    // so a small fill does not pay for the whole board.
    thread_local std::vector<uint8_t> tMask;
    if (tMask.size() < size_t(w) * size_t(h)) tMask.assign(size_t(w) * size_t(h), 0);
    std::vector<uint8_t>& mask = tMask;
    auto matches = [&](const QRgb* pixels, const uint8_t* m, int px) {
        return !m[px] && (pixels[px] | 0xFF000000u) == target;
    };
    int minX = x, maxX = x, minY = y, maxY = y;
    // Whatever the fill marked is cleared when it ends, however it ends.
    struct ClearMask {
        std::vector<uint8_t>& mask;
        const int &w, &minX, &maxX, &minY, &maxY;
        ~ClearMask() {
            for (int py = minY; py <= maxY; ++py)
                std::memset(&mask[size_t(py) * size_t(w) + size_t(minX)], 0, size_t(maxX - minX + 1));
        }
    } clear{mask, w, minX, maxX, minY, maxY};
    // Scanline fill with an explicit stack of seeds: no recursion, so any area size is safe.
    std::vector<std::pair<int, int>> seeds;
    seeds.emplace_back(x, y);
    while (!seeds.empty()) {
        auto [sx, sy] = seeds.back();
        seeds.pop_back();
        const QRgb* pixels = row(sy);
        uint8_t* m = &mask[size_t(sy) * size_t(w)];
        if (!matches(pixels, m, sx)) continue;
        int l = sx, r = sx;
        while (l > 0 && matches(pixels, m, l - 1)) --l;
        while (r + 1 < w && matches(pixels, m, r + 1)) ++r;
        std::memset(m + l, 1, size_t(r - l + 1));
        minX = std::min(minX, l);
        maxX = std::max(maxX, r);
        minY = std::min(minY, sy);
        maxY = std::max(maxY, sy);
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= h) continue;
            const QRgb* npix = row(ny);
            const uint8_t* nm = &mask[size_t(ny) * size_t(w)];
            bool inRun = false;
            for (int px = l; px <= r; ++px) {
                if (matches(npix, nm, px)) {
                    if (!inRun) seeds.emplace_back(px, ny);
                    inRun = true;
                } else {
                    inRun = false;
                }
            }
        }
    }
    if (brush.style() == Qt::SolidPattern) {
        const QRgb c = brush.color().rgb();
        for (int py = minY; py <= maxY; ++py) {
            QRgb* row = reinterpret_cast<QRgb*>(base + py * bpl);
            const uint8_t* m = &mask[size_t(py) * size_t(w)];
            for (int px = minX; px <= maxX; ++px)
                if (m[px]) row[px] = c;
        }
        return;
    }
    // Hatch brushes: paint the pattern over a copy of the area, take it where the mask is set.
    const QRect box(minX, minY, maxX - minX + 1, maxY - minY + 1);
    QImage patterned = image.copy(box);
    {
        QPainter p(&patterned);
        p.setBrushOrigin(-box.left(), -box.top());
        p.fillRect(QRect(0, 0, box.width(), box.height()), brush);
    }
    for (int py = minY; py <= maxY; ++py) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(py));
        const QRgb* src = reinterpret_cast<const QRgb*>(patterned.constScanLine(py - minY));
        const uint8_t* m = &mask[size_t(py) * size_t(w)];
        for (int px = minX; px <= maxX; ++px)
            if (m[px]) row[px] = src[px - minX];
    }
}

void StampAnd(QImage& image, const QImage& stamp, int x, int y) {
    if (image.isNull() || stamp.isNull()) return;
    // The stamps are kept in this format: a converted copy only for another.
    QImage converted;
    const QImage& s = stamp.format() == QImage::Format_RGB32 ? stamp : (converted = stamp.convertToFormat(QImage::Format_RGB32));
    uchar* const base = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    const uchar* const stampBase = s.constBits();
    const qsizetype stampBpl = s.bytesPerLine();
    const int w = image.width(), h = image.height(), sw = s.width(), sh = s.height();
    // Only the part of the stamp that lands on the image.
    const int x0 = std::max(0, -x), x1 = int(std::min<int64_t>(sw, int64_t(w) - x));
    for (int sy = std::max(0, -y); sy < sh && int64_t(y) + sy < h; ++sy) {
        const QRgb* src = reinterpret_cast<const QRgb*>(stampBase + sy * stampBpl);
        QRgb* row = reinterpret_cast<QRgb*>(base + (y + sy) * bpl);
        for (int sx = x0; sx < x1; ++sx) row[x + sx] = (row[x + sx] & src[sx]) | 0xFF000000u;
    }
}

namespace {

// The shared axes routine hands its one-pixel lines to this, level and upright ones only. Each is
// drawn as it comes, unless the image's rows are 4 KB apart: then every pixel of an upright line
// falls in the same cache set and evicts the one before, so the lines are kept and drawn in bands
// of rows, each band taking the lines over it in the routine's order. Either way a pixel ends with
// the colour of the last line over it, as when each line is drawn whole in turn. Each band's lines
// are listed once, so a band does not look at the lines off it.
class GridLines : public ILineCanvas {
public:
    explicit GridLines(QImage& image)
        : image_(image), w_(image.width()), h_(image.height()), base_(image.bits()), bpl_(image.bytesPerLine()),
          banded_(bpl_ % 4096 == 0), buffers_(Buffers()) {
        buffers_.lines.clear();
    }
    void Line(int x0, int y0, int x1, int y1, uint32_t colour, int) override {
        if (!banded_) {
            // Rows not 4 KB apart: an upright line's pixels fall in different cache sets, so each
            // line is drawn whole as it comes, which is the order itself.
            if (x0 != x1 && y0 != y1) {
                DrawThinLine(image_, x0, y0, x1, y1, colour);
                return;
            }
            Pixels l;
            if (Cover(x0, y0, x1, y1, colour, l)) DrawPart(l, l.ya, l.yb);
            return;
        }
        if (x0 != x1 && y0 != y1) {
            slanted_ = true;
            buffers_.lines.push_back({0, 0, 0, 0, ColorRefToRgb(colour), {x0, y0, x1, y1, colour}, true});
            return;
        }
        Pixels l;
        if (!Cover(x0, y0, x1, y1, colour, l)) return;
        buffers_.lines.push_back(l);
        top_ = std::min(top_, l.ya);
        bottom_ = std::max(bottom_, l.yb);
    }
    void Draw() {
        if (!banded_) return;
        std::vector<Pixels>& lines = buffers_.lines;
        auto draw = [&](const Pixels& l, int a, int e) { DrawPart(l, a, e); };
        if (slanted_) {
            // Not the axes' lines: each drawn whole, in turn.
            for (const Pixels& l : lines) {
                if (l.slanted)
                    DrawThinLine(image_, l.raw.x0, l.raw.y0, l.raw.x1, l.raw.y1, l.raw.colour);
                else
                    draw(l, l.ya, l.yb);
            }
            return;
        }
        if (lines.empty()) return;
        constexpr int kBand = 8;
        // The lines over each band, in order: counted, then placed (a counting sort that keeps order).
        std::vector<uint32_t>& start = buffers_.start;
        std::vector<uint32_t>& fill = buffers_.fill;
        std::vector<uint32_t>& order = buffers_.order;
        const size_t bands = size_t((bottom_ - top_) / kBand) + 1;
        start.assign(bands + 1, 0);
        for (const Pixels& l : lines)
            for (int b = (l.ya - top_) / kBand; b <= (l.yb - top_) / kBand; ++b) ++start[size_t(b) + 1];
        for (size_t b = 0; b < bands; ++b) start[b + 1] += start[b];
        order.resize(start[bands]);
        fill.assign(start.begin(), start.end() - 1);
        for (uint32_t i = 0; i < uint32_t(lines.size()); ++i) {
            const Pixels& l = lines[i];
            for (int b = (l.ya - top_) / kBand; b <= (l.yb - top_) / kBand; ++b) order[fill[size_t(b)]++] = i;
        }
        for (size_t b = 0; b < bands; ++b) {
            const int band = top_ + int(b) * kBand, last = std::min(band + kBand - 1, bottom_);
            for (uint32_t k = start[b]; k < start[b + 1]; ++k) {
                const Pixels& l = lines[order[k]];
                draw(l, std::max(l.ya, band), std::min(l.yb, last));
            }
        }
    }

private:
    struct Raw {
        int x0, y0, x1, y1;
        uint32_t colour;
    };
    // What a line covers of the image: columns xa..xb of rows ya..yb (one of them a single one); a
    // slanted line (never one of the axes') is kept as it came.
    struct Pixels {
        int xa, xb, ya, yb;
        QRgb c;
        Raw raw;
        bool slanted;
    };
    // Kept between grids: a grid allocates nothing once they have grown.
    struct Store {
        std::vector<Pixels> lines;
        std::vector<uint32_t> start, fill, order;  // each band's lines: order[start[b] .. start[b + 1])
    };
    // The pixels a level or upright line covers (the end point is left out, as DrawThinLine draws
    // it) on the image: all DrawThinLine would draw of it. False if none.
    bool Cover(int x0, int y0, int x1, int y1, uint32_t colour, Pixels& l) const {
        if (x0 == x1 && y0 == y1) return false;  // no pixel, as DrawThinLine draws it
        const bool level = y0 == y1;
        const int64_t xa = std::max<int64_t>(level ? (x1 > x0 ? x0 : int64_t(x1) + 1) : x0, 0);
        const int64_t xb = std::min<int64_t>(level ? (x1 > x0 ? int64_t(x1) - 1 : x0) : x0, w_ - 1);
        const int64_t ya = std::max<int64_t>(level ? y0 : y1 > y0 ? y0 : int64_t(y1) + 1, 0);
        const int64_t yb = std::min<int64_t>(level ? y0 : y1 > y0 ? int64_t(y1) - 1 : y0, h_ - 1);
        if (xa > xb || ya > yb) return false;
        l = {int(xa), int(xb), int(ya), int(yb), ColorRefToRgb(colour), {}, false};
        return true;
    }
    // Rows a..e of what a line covers.
    void DrawPart(const Pixels& l, int a, int e) const {
        if (l.xa == l.xb) {
            uchar* p = base_ + qsizetype(a) * bpl_ + qsizetype(l.xa) * 4;
            for (int y = a; y <= e; ++y, p += bpl_) *reinterpret_cast<QRgb*>(p) = l.c;
        } else {
            FillRun(reinterpret_cast<QRgb*>(base_ + qsizetype(a) * bpl_) + l.xa, l.xb - l.xa + 1, l.c);
        }
    }
    static Store& Buffers() {
        thread_local Store store;
        return store;
    }
    QImage& image_;
    const int w_, h_;
    uchar* const base_;
    const qsizetype bpl_;
    const bool banded_;  // rows 4 KB apart: kept and drawn in bands
    Store& buffers_;
    bool slanted_ = false;
    int top_ = std::numeric_limits<int>::max(), bottom_ = std::numeric_limits<int>::min();
};

}  // namespace

void DrawQuadrantGrid(QImage& image, int x0, int y0, int width, int step, int quadrant, int height) {
    if (image.isNull()) return;
    GridLines lines(image);
    orb::DrawQuadrantGrid(lines, x0, y0, width, step, quadrant, height);
    lines.Draw();
}

QBrush MakeBrush(uint8_t style, TColorRef colour) {
    const QColor c(ColorRefToRgb(colour));
    switch (style) {
    case bsSolid: return QBrush(c, Qt::SolidPattern);
    case bsHorizontal: return QBrush(c, Qt::HorPattern);
    case bsVertical: return QBrush(c, Qt::VerPattern);
    case bsFDiagonal: return QBrush(c, Qt::FDiagPattern);
    case bsBDiagonal: return QBrush(c, Qt::BDiagPattern);
    case bsCross: return QBrush(c, Qt::CrossPattern);
    case bsDiagCross: return QBrush(c, Qt::DiagCrossPattern);
    default: return QBrush(Qt::NoBrush);
    }
}

}  // namespace orb::board
