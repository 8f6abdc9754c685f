#include "board/engine/board_shapes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>
#include <vector>

#include "board/engine/board_raster.h"
#include "board/engine/pixel_runs.h"

namespace orb::board {

namespace {

// Positions beyond this never reach a board and keep every conversion to int in range.
constexpr double kFar = 1 << 24;

// Brush patterns, anchored at the image's top-left: the same hatches as the flood fill's brushes.
constexpr uint8_t kHatch[6][8] = {
    {0, 0, 0, 0xFF, 0, 0, 0, 0},                              // horizontal
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10},          // vertical
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},          // forward diagonal
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},          // backward diagonal
    {0x10, 0x10, 0x10, 0xFF, 0x10, 0x10, 0x10, 0x10},          // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},          // diagonal cross
};

// The rows of a 32-bit image as the span writers see them.
struct Rows {
    uchar* base;
    qsizetype bpl;
    int width, height;
    explicit Rows(QImage& image)
        : base(image.bits()), bpl(image.bytesPerLine()), width(image.width()), height(image.height()) {}
    QRgb* Row(int y) const { return reinterpret_cast<QRgb*>(base + qsizetype(y) * bpl); }
};

// Pixels a..b of a row (either may lie off the image) in one colour.
inline void Span(QRgb* row, int width, int a, int b, QRgb c) {
    a = std::max(a, 0);
    b = std::min(b, width - 1);
    if (a <= b) FillRun(row + a, b - a + 1, c);
}

// n >= 1 pixels in one colour, for the spans of a line's rows: as few stores as the width allows,
// up to 16 pixels without a loop (one store, two overlapping pairs, two or four overlapping quads).
inline void ShortRun(QRgb* p, int n, QRgb c) {
    if (n > 16) {
        FillRun(p, n, c);
        return;
    }
    if (n < 4) {
        // One pixel, or two overlapping pairs.
        if (n == 1) {
            p[0] = c;
            return;
        }
        const uint64_t pair = uint64_t(c) << 32 | c;
        std::memcpy(p, &pair, sizeof pair);
        std::memcpy(p + n - 2, &pair, sizeof pair);
        return;
    }
    typedef uint32_t Quad __attribute__((vector_size(16)));
    const Quad q = {c, c, c, c};
    std::memcpy(p, &q, sizeof q);
    std::memcpy(p + n - 4, &q, sizeof q);
    if (n > 8) {
        std::memcpy(p + 4, &q, sizeof q);
        std::memcpy(p + n - 8, &q, sizeof q);
    }
}

// floor and ceil for |x| <= 2 kFar without a library call.
inline int Floor(double x) { return int(int64_t(x + 2 * kFar) - int64_t(2 * kFar)); }
inline int Ceil(double x) { return -Floor(-x); }
// Index of the first pixel whose centre is at or after edge e, and of the last one at or before
// it, kept near the image. Centres on an edge belong to the shape, so both sides treat it alike.
inline int FirstFrom(double e, int lo, int hi) { return std::clamp(Ceil(std::clamp(e, -kFar, kFar) - 0.5), lo, hi); }
inline int LastTo(double e, int lo, int hi) { return std::clamp(Floor(std::clamp(e, -kFar, kFar) - 0.5), lo, hi); }

// For a pen of width w: the half extents k(d) = floor(sqrt(w^2 - d^2)), d = 0..w, of the disc the
// inside is eroded by, so the pen's band is w pixels deep across the shape's edge.
const std::vector<int>& DiscRows(int w) {
    thread_local int cachedWidth = 0;
    thread_local std::vector<int> rows;
    if (cachedWidth != w) {
        rows.assign(size_t(w) + 1, 0);
        for (int d = 0; d <= w; ++d) {
            int k = int(std::sqrt(double(w * w - d * d)));
            while (k * k > w * w - d * d) --k;
            while ((k + 1) * (k + 1) <= w * w - d * d) ++k;
            rows[size_t(d)] = k;
        }
        cachedWidth = w;
    }
    return rows;
}

// For a pen, the half width of a round end in the rows k = -kCapReach .. kCapReach from its centre's
// row (-1 where the end does not reach): (k + shift)^2 against r^2 as a line's rows test it. Kept per
// pen, as lines change pens often.
constexpr int kCapReach = kMaxPenWidth / 2 + 3;
const double* CapHalves(int pen) {
    // Shared by all threads and never freed: a constant table per pen, so a thread that finds it
    // missing computes its own and keeps whichever was stored first. No guard or thread-local
    // lookup on the way in.
    static std::atomic<const double*> tables[kMaxPenWidth + 1];
    if (const double* t = tables[pen].load(std::memory_order_acquire)) return t + kCapReach;
    double* const t = new double[2 * kCapReach + 1];
    const double shift = pen % 2 ? 0.0 : 0.5, r = pen / 2.0, r2 = r * r, eps = 1e-7;
    for (int k = -kCapReach; k <= kCapReach; ++k) {
        const double v = k + shift;
        t[k + kCapReach] = v * v <= r2 + eps ? std::sqrt(std::max(0.0, r2 - v * v)) : -1.0;
    }
    const double* expected = nullptr;
    if (tables[pen].compare_exchange_strong(expected, t, std::memory_order_acq_rel)) return t + kCapReach;
    delete[] t;
    return expected + kCapReach;
}

// The same for the usual pens, ready at compile time: the pen changes from record to record.
constexpr int kSmallDiscPens = 8;
constexpr auto kSmallDiscs = [] {
    std::array<std::array<int, kSmallDiscPens + 1>, kSmallDiscPens + 1> discs{};
    for (int w = 1; w <= kSmallDiscPens; ++w)
        for (int d = 0; d <= w; ++d) {
            int k = 0;
            while ((k + 1) * (k + 1) <= w * w - d * d) ++k;
            discs[size_t(w)][size_t(d)] = k;
        }
    return discs;
}();

// Pixels a..b of a row (within it) where the hatch row's bits are set: four of a bit's pixels a
// step, most hatch rows having one bit.
inline void HatchRun(QRgb* row, int a, int b, unsigned bits, QRgb c) {
    if (bits == 0xFF) {
        FillRun(row + a, b - a + 1, c);
        return;
    }
    for (; bits; bits &= bits - 1) {
        int x = a + ((int(__builtin_ctz(bits)) - a) & 7);
        for (; x + 24 <= b; x += 32) row[x] = row[x + 8] = row[x + 16] = row[x + 24] = c;
        for (; x <= b; x += 8) row[x] = c;
    }
}

// Scratch ints of this thread, at least n; they only grow, so a smaller shape costs nothing.
int* Scratch(size_t n) {
    thread_local std::vector<int> ints;
    if (ints.size() < n) ints.resize(n);
    return ints.data();
}

// The corner rows of the outside shape: their spans from the corner ellipse's edges.
struct Edges {
    double upper, lower, invRy, Rx, L, R;
    int lo, hi;
};
// Rows ya..yb (and up to seven more), eight at a time in four independent pairs, by the same
// operations as one at a time. The rows lie all above the flat rows (Above: dy = upper - yc) or
// all below them (dy = yc - lower). An edge L + inset or R - inset lies within L..R, so it needs
// no clamp to kFar, and floor and ceil are taken as in Floor and Ceil (the sums are positive and
// below 2^31, so truncating to 32 bits gives what truncating to 64 bits does). Without Clamp the
// caller has L - 1 >= lo and R + 1 <= hi, so every span is within lo..hi already.
template <bool Above, bool Clamp>
__attribute__((noinline)) void SpanRows(const Edges& k, int* starts, int* ends, int ya, int yb) {
    typedef double Pair __attribute__((vector_size(16)));
    typedef int32_t Quad __attribute__((vector_size(16)));
    const Pair centre = Pair{} + (Above ? k.upper : k.lower), one = {1, 1}, two = {2, 2};
    const Pair vInvRy = Pair{} + k.invRy, vRx = Pair{} + k.Rx, vL = Pair{} + k.L, vR = Pair{} + k.R;
    const Pair half = {0.5, 0.5}, twoFar = {2 * kFar, 2 * kFar};
    const Quad vLo = Quad{} + k.lo, vHi = Quad{} + k.hi, offset = Quad{} + int(2 * kFar);
    // Two rows' 2 kFar - ceil(first - 0.5) and floor(last - 0.5) + 2 kFar in the low halves.
    auto edges = [&](Pair yc, __m128i& first, __m128i& last) {
        const Pair x = (Above ? centre - yc : yc - centre) * vInvRy;
        const Pair q = x < one ? x : one;
        const Pair inset = vRx * (one - Pair(_mm_sqrt_pd(__m128d(one - q * q))));
        first = _mm_cvttpd_epi32(__m128d(-((vL + inset) - half) + twoFar));
        last = _mm_cvttpd_epi32(__m128d(((vR - inset) - half) + twoFar));
    };
    auto store = [&](int y, __m128i firstA, __m128i lastA, __m128i firstB, __m128i lastB) {
        // In unsigned lanes: the rows a batch computes past its last one may convert from NaN (to
        // INT_MIN), and their wrapped values are never used.
        typedef uint32_t UQuad __attribute__((vector_size(16)));
        Quad s = Quad(UQuad(offset) - UQuad(_mm_unpacklo_epi64(firstA, firstB)));
        Quad e = Quad(UQuad(_mm_unpacklo_epi64(lastA, lastB)) - UQuad(offset));
        if (Clamp) {
            s = s < vLo ? vLo : vHi < s ? vHi : s;
            e = e < vLo ? vLo : vHi < e ? vHi : e;
        }
        std::memcpy(starts + y, &s, sizeof s);
        std::memcpy(ends + y, &e, sizeof e);
    };
    for (int y = ya; y <= yb; y += 8) {
        const Pair ycA = {y + 0.5, y + 1.5}, ycB = ycA + two, ycC = ycB + two, ycD = ycC + two;
        __m128i firstA, lastA, firstB, lastB, firstC, lastC, firstD, lastD;
        edges(ycA, firstA, lastA);
        edges(ycB, firstB, lastB);
        edges(ycC, firstC, lastC);
        edges(ycD, firstD, lastD);
        store(y, firstA, lastA, firstB, lastB);
        store(y + 4, firstC, lastC, firstD, lastD);
    }
}

// The inside of rows ya..yb (and up to three more), four at a time, from the rows step, 2 step,
// .. pen step away. Pen is Pen, or pen when Pen is 0; for a fixed pen the loop over the disc
// unrolls with its half widths as constants.
template <int Pen>
void Erode(const int* starts, const int* ends, int* inStarts, int* inEnds, int ya, int yb, int step, const int* disc,
           int pen = Pen) {
    typedef int32_t Quad __attribute__((vector_size(16)));
    if (Pen) pen = Pen;
    for (int y = ya; y <= yb; y += 4) {
        Quad s, e;
        std::memcpy(&s, starts + y, sizeof s);
        std::memcpy(&e, ends + y, sizeof e);
        s += pen;  // disc[0]
        e -= pen;
        for (int d = 1; d <= pen; ++d) {
            const int k = Pen ? kSmallDiscs[size_t(Pen)][size_t(d)] : disc[d];
            Quad so, eo;
            std::memcpy(&so, starts + y + d * step, sizeof so);
            std::memcpy(&eo, ends + y + d * step, sizeof eo);
            so += k;
            eo -= k;
            s = so > s ? so : s;
            e = eo < e ? eo : e;
        }
        std::memcpy(inStarts + y, &s, sizeof s);
        std::memcpy(inEnds + y, &e, sizeof e);
    }
}

// The bounds of a wide line's band in its middle rows: row y is cut in
// [max(c0 + m y, e0 + n y), min(c1 + m y, e1 + n y)] when top <= y <= bottom.
struct BandBounds {
    double top, bottom, m, n, c0, c1, e0, e1;
};

#define ORB_WIDE_AVX512 __attribute__((target("avx512f,avx512vl")))
// vmaxpd, vminpd and vcvttpd2dq on eight lanes, written with every lane selected: the plain
// intrinsics start from an undefined vector, which GCC 12 warns of.
ORB_WIDE_AVX512 inline __m512d Max8(__m512d a, __m512d b) { return _mm512_mask_max_pd(a, __mmask8(0xFF), a, b); }
ORB_WIDE_AVX512 inline __m512d Min8(__m512d a, __m512d b) { return _mm512_mask_min_pd(a, __mmask8(0xFF), a, b); }
ORB_WIDE_AVX512 inline __m256i Trunc8(__m512d a) {
    return _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), __mmask8(0xFF), a);
}

// A round end's half width in the eight rows from y (-1 in rows it does not reach): the table is only
// read in those rows, and a masked load neither reads nor faults elsewhere.
ORB_WIDE_AVX512 inline __m512d CapHalves8(const double* caps, int y, int centre, __mmask8 near) {
    const auto at = reinterpret_cast<const double*>(reinterpret_cast<uintptr_t>(caps) +
                                                    uintptr_t(intptr_t(y - centre) * intptr_t(sizeof(double))));
    return _mm512_mask_loadu_pd(_mm512_set1_pd(-1.0), near, at);
}

// The round end centred at x in row `centre` widens the eight rows' spans [lo, hi] where it reaches
// them (rows within [from, to]).
ORB_WIDE_AVX512 inline void AddRoundEnd8(__m512d Y, __m512d from, __m512d to, __m512d x, const double* caps, int y,
                                         int centre, __m512d& lo, __m512d& hi) {
    const __mmask8 near = _mm512_cmp_pd_mask(Y, from, _CMP_GE_OS) & _mm512_cmp_pd_mask(Y, to, _CMP_LE_OS);
    const __m512d half = CapHalves8(caps, y, centre, near);
    const __mmask8 reach = _mm512_cmp_pd_mask(half, _mm512_setzero_pd(), _CMP_GE_OS);
    lo = _mm512_mask_blend_pd(reach, lo, Min8(_mm512_sub_pd(x, half), lo));
    hi = _mm512_mask_blend_pd(reach, hi, Max8(_mm512_add_pd(x, half), hi));
}

// A wide line's rows ya..yb eight at a time, in AVX-512 lanes where the processor has them: per row
// the same operations on the same doubles as DrawWideLine's rows (no fused multiply-add, which would
// round differently), the round ends' half widths loaded from their table for the rows they reach,
// and each row's span written by one masked store (32 bytes up to 8 pixels, 64 up to 16), a longer
// one by plain 64-byte stores.
struct WideLineRows {
    BandBounds band;
    double px, qx;
    int pLo, pHi, qLo, qHi;  // the rows each round end can reach
    int pRow, qRow;          // its centre's whole row
    const double* caps;
};
// The wide line's rows also take 64-bit lanes and shifts of whole mask registers (every processor
// with the lanes above has them too; DrawWideLine checks).
#define ORB_LINE_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

// n >= 16 pixels in one colour: plain 64-byte stores, the last one ending at the run's end.
ORB_WIDE_AVX512 inline void LongRun(QRgb* p, int n, __m512i colour) {
    for (int i = 0; i < n - 16; i += 16) _mm512_storeu_epi32(p + i, colour);
    _mm512_storeu_epi32(p + n - 16, colour);
}

// Row k's first pixel, from its offset in lane k.
template <int K>
ORB_LINE_AVX512 inline QRgb* RowAt(uintptr_t passBase, __m512i offsets) {
    const __m128i pair = _mm512_maskz_extracti64x2_epi64(__mmask8(0x3), offsets, K / 2);
    return reinterpret_cast<QRgb*>(passBase + uint64_t(K % 2 ? _mm_extract_epi64(pair, 1) : _mm_cvtsi128_si64(pair)));
}

ORB_LINE_AVX512 void WideRowsOct(const Rows& rows, int ya, int yb, const WideLineRows& line, QRgb c) {
    constexpr double eps = 1e-7;
    const BandBounds& band = line.band;
    const __m512d top = _mm512_set1_pd(band.top), bottom = _mm512_set1_pd(band.bottom);
    const __m512d m = _mm512_set1_pd(band.m), n = _mm512_set1_pd(band.n);
    const __m512d c0 = _mm512_set1_pd(band.c0), c1 = _mm512_set1_pd(band.c1);
    const __m512d e0 = _mm512_set1_pd(band.e0), e1 = _mm512_set1_pd(band.e1);
    const __m512d px = _mm512_set1_pd(line.px), qx = _mm512_set1_pd(line.qx);
    const __m512d far = _mm512_set1_pd(kFar), nearFar = _mm512_set1_pd(-kFar), twoFar = _mm512_set1_pd(2 * kFar);
    // Clamping an edge to [-kFar, kFar] before it is moved by eps and clamped to the row gives what
    // clamping it once to the row does, with the row's end taken no farther than kFar moved by eps
    // (all the steps are monotone, and the edges are finite).
    const double right = std::min(double(rows.width), kFar - eps), last = std::min(double(rows.width - 1), kFar + eps);
    const __m512d epsV = _mm512_set1_pd(eps), rightV = _mm512_set1_pd(right), lastV = _mm512_set1_pd(last);
    const __m512d minusOne = _mm512_set1_pd(-1.0), zero = _mm512_setzero_pd(), eight = _mm512_set1_pd(8.0);
    const __m512d pLo = _mm512_set1_pd(line.pLo), pHi = _mm512_set1_pd(line.pHi);
    const __m512d qLo = _mm512_set1_pd(line.qLo), qHi = _mm512_set1_pd(line.qHi);
    const __m512d lastRow = _mm512_set1_pd(yb);
    // Only a level or upright line's band has a top and a bottom.
    const bool bounded = band.top > ya || band.bottom < yb + 7.0;
    const __m512i fourFarLess1 = _mm512_set1_epi64(int64_t(4 * kFar) - 1), allOnes = _mm512_set1_epi64(-1);
    const __m512i eightPixels = _mm512_set1_epi64(8), sixteenPixels = _mm512_set1_epi64(16);
    const __m256i colour = _mm256_set1_epi32(int(c));
    const __m512i colour16 = _mm512_set1_epi32(int(c));
    // Each row's address as a number: the pass's first row, and each row's offset from it, 4 (2 kFar
    // - t) bytes along for the row's first pixel 2 kFar - t. A row not drawn is written through an
    // empty mask, which neither writes nor faults.
    const qsizetype bpl = rows.bpl;
    const int64_t far8 = int64_t(8 * kFar);
    const __m512i rowOffsets = _mm512_set_epi64(7 * bpl + far8, 6 * bpl + far8, 5 * bpl + far8, 4 * bpl + far8,
                                                3 * bpl + far8, 2 * bpl + far8, bpl + far8, far8);
    uintptr_t passBase = reinterpret_cast<uintptr_t>(rows.base) + uintptr_t(qsizetype(ya) * bpl);
    __m512d Y = _mm512_add_pd(_mm512_set1_pd(double(ya)), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    for (int y = ya; y <= yb; y += 8, passBase += uintptr_t(8 * bpl), Y = _mm512_add_pd(Y, eight)) {
        __mmask8 inBand = 0xFF;
        if (bounded) inBand = _mm512_cmp_pd_mask(Y, top, _CMP_GE_OS) & _mm512_cmp_pd_mask(Y, bottom, _CMP_LE_OS);
        __m512d mY = _mm512_mul_pd(m, Y), nY = _mm512_mul_pd(n, Y);
        // AVX-512 brings fused multiply-add with it: keep the products rounded, as the other loops do.
        asm("" : "+v"(mY), "+v"(nY));
        const __m512d a = Max8(_mm512_add_pd(c0, mY), _mm512_add_pd(e0, nY));
        const __m512d b = Min8(_mm512_add_pd(c1, mY), _mm512_add_pd(e1, nY));
        const __mmask8 bandRow = _mm512_mask_cmp_pd_mask(inBand, a, b, _CMP_LE_OS);
        // The round ends, in the passes that reach their rows; in the others a row is the band's or
        // empty, and an empty row's edges are never used.
        __m512d lo = a, hi = b;
        __mmask8 live = bandRow;
        const bool nearP = y + 7 >= line.pLo && y <= line.pHi, nearQ = y + 7 >= line.qLo && y <= line.qHi;
        if (nearP || nearQ) {
            lo = _mm512_mask_blend_pd(bandRow, far, a);
            hi = _mm512_mask_blend_pd(bandRow, nearFar, b);
            if (nearP) AddRoundEnd8(Y, pLo, pHi, px, line.caps, y, line.pRow, lo, hi);
            if (nearQ) AddRoundEnd8(Y, qLo, qHi, qx, line.caps, y, line.qRow, lo, hi);
            live = _mm512_cmp_pd_mask(lo, hi, _CMP_LE_OS);
        }
        const __mmask8 inRows = _mm512_cmp_pd_mask(Y, lastRow, _CMP_LE_OS), ok = live & inRows;
        if (!ok) continue;
        // Ceil(clamp(lo) - eps) and Floor(clamp(hi) + eps), clamped to the row, as the two-lane loop:
        // the first pixel is 2 kFar - t, the last u - 2 kFar.
        const __m512d ta = Min8(Max8(_mm512_sub_pd(lo, epsV), zero), rightV);
        const __m512d tb = Min8(Max8(_mm512_add_pd(hi, epsV), minusOne), lastV);
        const __m512i t = _mm512_maskz_cvttpd_epi64(__mmask8(0xFF), _mm512_sub_pd(twoFar, ta));
        const __m512i u = _mm512_maskz_cvttpd_epi64(__mmask8(0xFF), _mm512_add_pd(tb, twoFar));
        const __m512i count = _mm512_sub_epi64(_mm512_add_epi64(t, u), fourFarLess1);
        const __mmask8 draw = _mm512_mask_cmpgt_epi64_mask(ok, count, _mm512_setzero_si512());
        // The rows not drawn (those past the last among them) take the pass's first row's start: an
        // empty mask over memory that may not be mapped is slow on some processors.
        const __m512i offsets = _mm512_maskz_sub_epi64(draw, rowOffsets, _mm512_maskz_slli_epi64(__mmask8(0xFF), t, 2));
        // The masks of up to 16 pixels, ~(-1 << n), none in the rows not drawn.
        const __m512i masks = _mm512_maskz_andnot_epi64(draw, _mm512_maskz_sllv_epi64(__mmask8(0xFF), allOnes, count), allOnes);
#define at(k) RowAt<k>(passBase, offsets)
        if (!_mm512_mask_cmpgt_epi64_mask(draw, count, eightPixels)) {
            // Rows of up to 8 pixels (a steep line's): one masked store each.
            const __mmask64 bytes = _cvtu64_mask64(uint64_t(_mm_cvtsi128_si64(_mm512_maskz_cvtepi64_epi8(__mmask8(0xFF), masks))));
            _mm256_mask_storeu_epi32(at(0), __mmask8(bytes), colour);
            _mm256_mask_storeu_epi32(at(1), __mmask8(_kshiftri_mask64(bytes, 8)), colour);
            _mm256_mask_storeu_epi32(at(2), __mmask8(_kshiftri_mask64(bytes, 16)), colour);
            _mm256_mask_storeu_epi32(at(3), __mmask8(_kshiftri_mask64(bytes, 24)), colour);
            _mm256_mask_storeu_epi32(at(4), __mmask8(_kshiftri_mask64(bytes, 32)), colour);
            _mm256_mask_storeu_epi32(at(5), __mmask8(_kshiftri_mask64(bytes, 40)), colour);
            _mm256_mask_storeu_epi32(at(6), __mmask8(_kshiftri_mask64(bytes, 48)), colour);
            _mm256_mask_storeu_epi32(at(7), __mmask8(_kshiftri_mask64(bytes, 56)), colour);
        } else if (!_mm512_mask_cmpgt_epi64_mask(draw, count, sixteenPixels)) {
            // Up to 16: one 64-byte masked store each.
            const __m128i words = _mm512_maskz_cvtepi64_epi16(__mmask8(0xFF), masks);
            const __mmask64 w03 = _cvtu64_mask64(uint64_t(_mm_cvtsi128_si64(words)));
            const __mmask64 w47 = _cvtu64_mask64(uint64_t(_mm_extract_epi64(words, 1)));
            _mm512_mask_storeu_epi32(at(0), __mmask16(w03), colour16);
            _mm512_mask_storeu_epi32(at(1), __mmask16(_kshiftri_mask64(w03, 16)), colour16);
            _mm512_mask_storeu_epi32(at(2), __mmask16(_kshiftri_mask64(w03, 32)), colour16);
            _mm512_mask_storeu_epi32(at(3), __mmask16(_kshiftri_mask64(w03, 48)), colour16);
            _mm512_mask_storeu_epi32(at(4), __mmask16(w47), colour16);
            _mm512_mask_storeu_epi32(at(5), __mmask16(_kshiftri_mask64(w47, 16)), colour16);
            _mm512_mask_storeu_epi32(at(6), __mmask16(_kshiftri_mask64(w47, 32)), colour16);
            _mm512_mask_storeu_epi32(at(7), __mmask16(_kshiftri_mask64(w47, 48)), colour16);
        } else {
            // A shallow line's long rows, one at a time.
            alignas(64) int64_t o8[8], n8[8];
            _mm512_store_epi64(o8, offsets);
            _mm512_store_epi64(n8, count);
            for (unsigned rest = draw; rest; rest &= rest - 1) {
                const int k = __builtin_ctz(rest), nk = int(n8[k]);
                QRgb* const p = reinterpret_cast<QRgb*>(passBase + uint64_t(o8[k]));
                if (nk <= 8)
                    _mm256_mask_storeu_epi32(p, __mmask8((1u << nk) - 1), colour);
                else if (nk <= 16)
                    _mm512_mask_storeu_epi32(p, __mmask16((1u << nk) - 1), colour16);
                else
                    LongRun(p, nk, colour16);
            }
        }
#undef at
    }
}

// Four 64-byte steps of a row from p under one mask.
ORB_WIDE_AVX512 inline void FourSteps(QRgb* p, __mmask16 m, __m512i colour) {
    _mm512_mask_storeu_epi32(p, m, colour);
    _mm512_mask_storeu_epi32(p + 16, m, colour);
    _mm512_mask_storeu_epi32(p + 32, m, colour);
    _mm512_mask_storeu_epi32(p + 48, m, colour);
}

// Pixels a..b (0 <= a <= b) of a row where a 16-bit pattern is set (bit i for the pixels x with
// x mod 16 == i), a masked store per 16 pixels from a multiple of 16, so each store covers one
// 64-byte line of a row that starts on one. Masked-off pixels are neither read nor written.
ORB_WIDE_AVX512 inline void PatternRun(QRgb* row, int a, int b, unsigned pattern, __m512i colour) {
    int x = a & ~15;
    const int last = b & ~15;
    const unsigned head = pattern & (0xFFFFu << (a - x));
    if (x == last) {
        _mm512_mask_storeu_epi32(row + x, __mmask16(head & (0xFFFFu >> (15 - (b - x)))), colour);
        return;
    }
    _mm512_mask_storeu_epi32(row + x, __mmask16(head), colour);
    if (last - x > 64) {
        // Four or more whole steps between: four a turn, the last turn ending at the tail's step (it
        // may store steps again, with the same pixels). The turns change count four times less
        // often from row to row of a round shape than the steps would, so the loop's end is
        // mispredicted less (about a tenth off a circle's time).
        const __mmask16 m = __mmask16(pattern);
        for (x += 16; last - x > 64; x += 64) FourSteps(row + x, m, colour);
        FourSteps(row + last - 64, m, colour);
        _mm512_mask_storeu_epi32(row + last, __mmask16(pattern & (0xFFFFu >> (15 - (b - last)))), colour);
        return;
    }
    // The whole steps between: a plain store where every pixel is set (a masked store costs about
    // two plain ones).
    if (pattern == 0xFFFF)
        for (x += 16; x < last; x += 16) _mm512_storeu_epi32(row + x, colour);
    else
        for (x += 16; x < last; x += 16) _mm512_mask_storeu_epi32(row + x, __mmask16(pattern), colour);
    _mm512_mask_storeu_epi32(row + x, __mmask16(pattern & (0xFFFFu >> (15 - (b - x)))), colour);
}

// Pixels a..b of a row (nothing when a > b): a pen's run, most of them up to 8 pixels long.
ORB_WIDE_AVX512 inline void PenRun(QRgb* row, int a, int b, __m256i colour, QRgb c) {
    const int n = b - a + 1;
    if (n <= 0) return;
    if (n <= 8)
        _mm256_mask_storeu_epi32(row + a, __mmask8((1u << n) - 1), colour);
    else
        FillRun(row + a, n, c);
}

// SpanRows in eight lanes: the same operations on the same doubles, a product kept rounded before
// it is added to (AVX-512 brings fused multiply-add with it).
template <bool Above, bool Clamp>
ORB_WIDE_AVX512 __attribute__((noinline)) void SpanRowsOct(const Edges& k, int* starts, int* ends, int ya, int yb) {
    const __m512d centre = _mm512_set1_pd(Above ? k.upper : k.lower), one = _mm512_set1_pd(1.0);
    const __m512d invRy = _mm512_set1_pd(k.invRy), Rx = _mm512_set1_pd(k.Rx);
    const __m512d L = _mm512_set1_pd(k.L), R = _mm512_set1_pd(k.R);
    const __m512d half = _mm512_set1_pd(0.5), twoFar = _mm512_set1_pd(2 * kFar);
    const __m512d lanes = _mm512_setr_pd(0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5);
    const __m256i lo = _mm256_set1_epi32(k.lo), hi = _mm256_set1_epi32(k.hi), offset = _mm256_set1_epi32(int(2 * kFar));
    for (int y = ya; y <= yb; y += 8) {
        const __m512d yc = _mm512_add_pd(_mm512_set1_pd(double(y)), lanes);
        __m512d x = _mm512_mul_pd(Above ? _mm512_sub_pd(centre, yc) : _mm512_sub_pd(yc, centre), invRy);
        // x < 1 ? x : 1, as vminpd takes it (its second operand when either is not a number).
        const __m512d q = Min8(x, one);
        __m512d q2 = _mm512_mul_pd(q, q);
        asm("" : "+v"(q2));
        __m512d inset = _mm512_mul_pd(Rx, _mm512_sub_pd(one, _mm512_mask_sqrt_pd(one, __mmask8(0xFF), _mm512_sub_pd(one, q2))));
        asm("" : "+v"(inset));
        const __m512d first = _mm512_add_pd(_mm512_sub_pd(_mm512_setzero_pd(), _mm512_sub_pd(_mm512_add_pd(L, inset), half)), twoFar);
        const __m512d last = _mm512_add_pd(_mm512_sub_pd(_mm512_sub_pd(R, inset), half), twoFar);
        // Wrapping, as the two-lane loop: rows past the last may convert from NaN.
        __m256i s = _mm256_sub_epi32(offset, Trunc8(first)), e = _mm256_sub_epi32(Trunc8(last), offset);
        if (Clamp) {
            s = _mm256_min_epi32(_mm256_max_epi32(s, lo), hi);
            e = _mm256_min_epi32(_mm256_max_epi32(e, lo), hi);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(starts + y), s);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ends + y), e);
    }
}

ORB_WIDE_AVX512 inline __m256i Load8(const int* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Erode eight rows at a time.
template <int Pen>
ORB_WIDE_AVX512 void ErodeOct(const int* starts, const int* ends, int* inStarts, int* inEnds, int ya, int yb, int step,
                              const int* disc, int pen = Pen) {
    if (Pen) pen = Pen;
    const __m256i penV = _mm256_set1_epi32(pen);
    for (int y = ya; y <= yb; y += 8) {
        __m256i s = _mm256_add_epi32(Load8(starts + y), penV), e = _mm256_sub_epi32(Load8(ends + y), penV);
        for (int d = 1; d <= pen; ++d) {
            const __m256i k = _mm256_set1_epi32(Pen ? kSmallDiscs[size_t(Pen)][size_t(d)] : disc[d]);
            s = _mm256_max_epi32(s, _mm256_add_epi32(Load8(starts + y + d * step), k));
            e = _mm256_min_epi32(e, _mm256_sub_epi32(Load8(ends + y + d * step), k));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(inStarts + y), s);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(inEnds + y), e);
    }
}

// A round box's rows v0..v1 from their spans: the pen's runs, and the brush between them in the
// rows ia..ib whose inside is not empty.
struct BoxRows {
    const int *starts, *ends, *inStarts, *inEnds;
    int v0, v1, ia, ib;
    QRgb pen, brush;
    bool solid;
    const uint8_t* hatch;
};
// The rows for one kind of brush (0 clear, 1 solid, 2 hatch), so its choice is not taken per row.
// For a convex shape the rows with an inside are one run of rows: the rows before and after it are
// the pen's alone.
template <int Brush>
ORB_WIDE_AVX512 void BoxRowsOf(const Rows& rows, const BoxRows& box) {
    const __m512i brush = _mm512_set1_epi32(int(box.brush));
    const __m256i pen = _mm256_set1_epi32(int(box.pen));
    const QRgb c = box.pen;
    // In locals: the stores to the rows could otherwise alias them.
    const int w = rows.width, v0 = box.v0, v1 = box.v1;
    const int *const starts = box.starts, *const ends = box.ends, *const inStarts = box.inStarts, *const inEnds = box.inEnds;
    unsigned patterns[8] = {};
    if (Brush == 2)
        for (int k = 0; k < 8; ++k) patterns[k] = box.hatch[k] | unsigned(box.hatch[k]) << 8;
    uchar* const base = rows.base;
    const qsizetype bpl = rows.bpl;
    auto rowAt = [&](int y) { return reinterpret_cast<QRgb*>(base + qsizetype(y) * bpl); };
    int i0 = std::max(box.ia, v0), i1 = std::min(box.ib, v1);
    while (i0 <= i1 && inStarts[i0] > inEnds[i0]) ++i0;
    while (i1 >= i0 && inStarts[i1] > inEnds[i1]) --i1;
    // The rows above and below the inside: the pen's alone (all of them when there is none).
    const bool inside = i0 <= i1;
    const int penRows[2][2] = {{v0, inside ? i0 - 1 : v1}, {inside ? i1 + 1 : v1 + 1, v1}};
    for (const auto& range : penRows)
        for (int y = range[0]; y <= range[1]; ++y) {
            const int a = std::max(starts[y], 0), b = std::min(ends[y], w - 1);
            if (a <= b) PenRun(rowAt(y), a, b, pen, c);
        }
    for (int y = i0; y <= i1; ++y) {
        const int a = std::max(starts[y], 0), b = std::min(ends[y], w - 1);
        if (a > b) continue;
        QRgb* const row = rowAt(y);
        const int in0 = inStarts[y], in1 = inEnds[y];
        PenRun(row, a, std::min(in0 - 1, b), pen, c);
        if (Brush) {
            const int fa = std::max(in0, 0), fb = std::min(in1, w - 1);
            if (fa <= fb) {
                if (Brush == 1)
                    PatternRun(row, fa, fb, 0xFFFF, brush);
                else if (const unsigned pattern = patterns[y & 7])
                    PatternRun(row, fa, fb, pattern, brush);
            }
        }
        PenRun(row, std::max(in1 + 1, a), b, pen, c);
    }
}
ORB_WIDE_AVX512 void BoxRowsMasked(const Rows& rows, const BoxRows& box) {
    if (box.solid)
        BoxRowsOf<1>(rows, box);
    else if (box.hatch)
        BoxRowsOf<2>(rows, box);
    else
        BoxRowsOf<0>(rows, box);
}

std::atomic<bool> lanesAllowed{true};
bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    return has && lanesAllowed.load(std::memory_order_relaxed);
}

}  // namespace

const uint8_t* HatchRows(uint8_t style) {
    switch (style) {
    case bsHorizontal: return kHatch[0];
    case bsVertical: return kHatch[1];
    case bsFDiagonal: return kHatch[2];
    case bsBDiagonal: return kHatch[3];
    case bsCross: return kHatch[4];
    case bsDiagCross: return kHatch[5];
    default: return nullptr;
    }
}

void DrawRoundBox(QImage& image, int left, int top, int right, int bottom, double rx, double ry,
                  const TShapePaint& paint) {
    if (image.isNull() || image.depth() != 32 || right <= left || bottom <= top) return;
    const Rows rows(image);
    const int w = image.width(), h = image.height();
    const int pen = std::clamp(paint.penWidth, 1, kMaxPenWidth);
    // The outside of the pen: the box grown by (pen - 1) / 2, its corner radii by the same and at
    // least half the pen (round corners for a wide pen, as the pen's round end turns them).
    const double grow = (pen - 1) / 2.0;
    const double L = std::clamp(left - grow, -kFar, kFar), R = std::clamp(right + grow, -kFar, kFar);
    const double T = std::clamp(top - grow, -kFar, kFar), B = std::clamp(bottom + grow, -kFar, kFar);
    const double boxRx = std::clamp(std::isfinite(rx) ? rx : 0.0, 0.0, (double(right) - left) / 2);
    const double boxRy = std::clamp(std::isfinite(ry) ? ry : 0.0, 0.0, (double(bottom) - top) / 2);
    const double Rx = std::min((R - L) / 2, std::max(0.0, boxRx - 0.5) + pen / 2.0);
    const double Ry = std::min((B - T) / 2, std::max(0.0, boxRy - 0.5) + pen / 2.0);
    // Rows of the outside shape, and those the visible rows need for the erosion: pen rows either side.
    const int fTop = FirstFrom(T, -pen - 1, h + pen), fBottom = LastTo(B, -pen - 2, h + pen - 1);
    const int v0 = std::max(fTop, 0), v1 = std::min(fBottom, h - 1);
    if (v0 > v1) return;
    const int r0 = std::max(fTop, v0 - pen), r1 = std::min(fBottom, v1 + pen);
    // Each row's span of pixel centres inside the outside shape, starts and ends apart (empty when
    // start > end), then the inside's; each array with room for the rows the loops below compute
    // past their last in eights and fours.
    const int stride = r1 - r0 + 1 + 8;
    int* const starts = Scratch(4 * size_t(stride)) - r0;
    int* const ends = starts + stride;
    int* const inStarts = ends + stride;
    int* const inEnds = inStarts + stride;
    const int lo = -pen - 2, hi = w + pen + 1;
    // Rows between the corners share one span.
    const int flatStart = FirstFrom(L, lo, hi), flatEnd = LastTo(R, lo, hi);
    const double upper = T + Ry, lower = B - Ry;
    const Edges edges{upper, lower, 1 / Ry, Rx, L, R, lo, hi};
    // The flat rows, whose centre lies between upper and lower (dy is 0 only there: the difference
    // of two unequal doubles is never 0), take the flat span without the corner's arithmetic. Rows
    // above them have dy = upper - yc, rows below them and not above (yc >= upper) yc - lower. The
    // corner rows are computed first, so the rows they overrun are set after them.
    int flat0 = int(std::clamp(std::ceil(upper - 0.5), double(r0), double(r1) + 1));
    while (flat0 > r0 && flat0 - 0.5 >= upper) --flat0;
    while (flat0 <= r1 && flat0 + 0.5 < upper) ++flat0;
    int flat1 = int(std::clamp(std::floor(lower - 0.5), double(r0) - 1, double(r1)));
    while (flat1 < r1 && flat1 + 1.5 <= lower) ++flat1;
    while (flat1 >= r0 && flat1 + 0.5 > lower) --flat1;
    const bool clamp = !(L - 1 >= lo && R + 1 <= hi);
    const bool lanes = HasAvx512();
    auto spanRows = [&](int ya, int yb) {
        const int aboveEnd = std::min(yb, flat0 - 1), belowStart = std::max({ya, flat0, flat1 + 1});
        if (ya <= aboveEnd) {
            if (lanes)
                (clamp ? SpanRowsOct<true, true> : SpanRowsOct<true, false>)(edges, starts, ends, ya, aboveEnd);
            else
                (clamp ? SpanRows<true, true> : SpanRows<true, false>)(edges, starts, ends, ya, aboveEnd);
        }
        if (belowStart <= yb) {
            if (lanes)
                (clamp ? SpanRowsOct<false, true> : SpanRowsOct<false, false>)(edges, starts, ends, belowStart, yb);
            else
                (clamp ? SpanRows<false, true> : SpanRows<false, false>)(edges, starts, ends, belowStart, yb);
        }
        for (int y = std::max(ya, flat0), end = std::min(yb, flat1); y <= end; ++y) {
            starts[y] = flatStart;
            ends[y] = flatEnd;
        }
    };
    // The shape is symmetric about its middle row (top + bottom is whole): a row of the lower half
    // whose twin is among these rows takes the twin's span, which also keeps the two halves
    // exactly alike. So the rows are the upper half, its twins, then lower rows without a twin.
    const int64_t mirror = int64_t(top) + bottom - 1;
    const int upperEnd = int(std::clamp<int64_t>(mirror >> 1, int64_t(r0) - 1, r1));
    const int twinEnd = int(std::clamp<int64_t>(mirror - r0, upperEnd, r1));
    spanRows(r0, upperEnd);
    for (int y = upperEnd + 1; y <= twinEnd; ++y) {
        starts[y] = starts[mirror - y];
        ends[y] = ends[mirror - y];
    }
    spanRows(twinEnd + 1, r1);

    // The inside of the rows with pen rows of the shape either side: the pixels whose disc of
    // radius pen lies within the outside shape, so the tightest of each row within pen rows drawn
    // in by the disc's half width at that distance. The spans only narrow from the middle row
    // outwards (the shape is convex, the same operations on a growing distance), so of a row d
    // above and one d below, the one farther from the middle is the tighter: only the outward rows
    // are walked, four rows at a time.
    const int* const disc = pen <= kSmallDiscPens ? kSmallDiscs[size_t(pen)].data() : DiscRows(pen).data();
    const int ia = std::max(v0, fTop + pen), ib = std::min(v1, fBottom - pen);
    auto erode = [&](int ya, int yb, int step) {
        if (lanes) {
            switch (pen) {
            case 1: ErodeOct<1>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
            case 2: ErodeOct<2>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
            case 3: ErodeOct<3>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
            case 4: ErodeOct<4>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
            default: ErodeOct<0>(starts, ends, inStarts, inEnds, ya, yb, step, disc, pen); return;
            }
        }
        switch (pen) {
        case 1: Erode<1>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
        case 2: Erode<2>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
        case 3: Erode<3>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
        case 4: Erode<4>(starts, ends, inStarts, inEnds, ya, yb, step, disc); return;
        default: Erode<0>(starts, ends, inStarts, inEnds, ya, yb, step, disc, pen);
        }
    };
    const int middle = int(std::clamp<int64_t>(mirror >> 1, int64_t(ia) - 1, ib));
    erode(ia, middle, -1);
    erode(middle + 1, ib, 1);

    const QRgb penColour = ColorRefToRgb(paint.pen), brushColour = ColorRefToRgb(paint.brush);
    const bool solid = paint.brushStyle == bsSolid;
    const uint8_t* hatch = HatchRows(paint.brushStyle);
    if (lanes) {
        BoxRowsMasked(rows, BoxRows{starts, ends, inStarts, inEnds, v0, v1, ia, ib, penColour, brushColour, solid, hatch});
        return;
    }
    for (int y = v0; y <= v1; ++y) {
        const int s = starts[y], e = ends[y];
        if (s > e) continue;
        QRgb* row = rows.Row(y);
        const int a = std::max(s, 0), b = std::min(e, w - 1);
        const int in0 = inStarts[y], in1 = inEnds[y];
        if (y < ia || y > ib || in0 > in1) {
            if (a <= b) FillRun(row + a, b - a + 1, penColour);
            continue;
        }
        // The pen on either side, the brush between.
        const int a1 = std::min(in0 - 1, w - 1), b0 = std::max(in1 + 1, 0);
        if (a <= a1) FillRun(row + a, a1 - a + 1, penColour);
        const int fa = std::max(in0, 0), fb = std::min(in1, w - 1);
        if (fa <= fb) {
            if (solid)
                FillRun(row + fa, fb - fa + 1, brushColour);
            else if (hatch)
                HatchRun(row, fa, fb, hatch[y & 7], brushColour);
        }
        if (b0 <= b) FillRun(row + b0, b - b0 + 1, penColour);
    }
}

namespace {
bool HasLineLanes() {
    static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
    return has && HasAvx512();
}
}  // namespace

void DrawWideLine(QImage& image, int x0, int y0, int x1, int y1, int width, TColorRef colour) {
    // A null image has depth 0.
    if ((x0 == x1 && y0 == y1) || image.depth() != 32) return;
    const Rows rows(image);
    const int w = rows.width, h = rows.height;
    const int pen = std::clamp(width, 1, kMaxPenWidth);
    const double shift = pen % 2 ? 0.0 : 0.5, r = pen / 2.0, eps = 1e-7;
    const double px = std::clamp(double(x0), -kFar, kFar) - shift, py = std::clamp(double(y0), -kFar, kFar) - shift;
    const double qx = std::clamp(double(x1), -kFar, kFar) - shift, qy = std::clamp(double(y1), -kFar, kFar) - shift;
    const double dx = qx - px, dy = qy - py, len2 = dx * dx + dy * dy, rl = r * std::sqrt(len2);
    // The band along the segment, within r of its line and between the normals at its ends, is
    // cut by each row in [max(c0, e0), min(c1, e1)] + y * (slopes): two straight bounds each.
    double c0 = -kFar, c1 = kFar, m = 0, e0 = -kFar, e1 = kFar, n = 0;
    double bandTop = -kFar, bandBottom = kFar;
    if (dy != 0) {
        m = dx / dy;
        const double reach = rl / std::fabs(dy);
        c0 = px - m * py - reach;
        c1 = px - m * py + reach;
    } else {
        bandTop = py - r - eps;
        bandBottom = py + r + eps;
    }
    if (dx != 0) {
        n = -dy / dx;
        const double a = px - n * py, b = a + len2 / dx;
        e0 = std::min(a, b);
        e1 = std::max(a, b);
    } else {
        bandTop = std::max(bandTop, std::min(py, qy) - eps);
        bandBottom = std::min(bandBottom, std::max(py, qy) + eps);
    }
    // Within 2 kFar, so the library's ceil and floor are not needed.
    const int ya = std::max(0, Ceil(std::min(py, qy) - r - eps));
    const int yb = std::min(h - 1, Floor(std::max(py, qy) + r + eps));
    const QRgb c = ColorRefToRgb(colour);
    // The rows a round end can reach: |y - centre| <= sqrt(r^2 + eps) < r + 1. Rows outside both
    // take the band alone, tested and computed as before.
    const int pLo = Floor(py - r) - 1, pHi = Ceil(py + r) + 1;
    const int qLo = Floor(qy - r) - 1, qHi = Ceil(qy + r) + 1;
    // A round end's half width in row y depends only on y less its centre's whole row (y - py is
    // exactly that plus the pen's shift): from the pen's table, as computed there once.
    const double* const caps = CapHalves(pen);
    const int pRow = int(std::clamp(double(y0), -kFar, kFar)), qRow = int(std::clamp(double(y1), -kFar, kFar));
    if (HasLineLanes()) {
        const WideLineRows line{{bandTop, bandBottom, m, n, c0, c1, e0, e1}, px, qx, pLo, pHi, qLo, qHi, pRow, qRow, caps};
        WideRowsOct(rows, ya, yb, line, c);
        return;
    }
    auto row = [&](int y, bool nearP, bool nearQ) __attribute__((always_inline)) {
        double lo = kFar, hi = -kFar;
        if (y >= bandTop && y <= bandBottom) {
            const double a = std::max(c0 + m * y, e0 + n * y), b = std::min(c1 + m * y, e1 + n * y);
            if (a <= b) {
                lo = a;
                hi = b;
            }
        }
        // The round ends.
        if (nearP) {
            const double half = caps[y - pRow];
            if (half >= 0) {
                lo = std::min(lo, px - half);
                hi = std::max(hi, px + half);
            }
        }
        if (nearQ) {
            const double half = caps[y - qRow];
            if (half >= 0) {
                lo = std::min(lo, qx - half);
                hi = std::max(hi, qx + half);
            }
        }
        if (lo > hi) return;
        // Ceil(...) clamped to [-1, w] and then to the row is the same as clamped to [0, w] at once.
        const int a = std::clamp(Ceil(std::clamp(lo, -kFar, kFar) - eps), 0, w);
        const int b = std::clamp(Floor(std::clamp(hi, -kFar, kFar) + eps), -1, w - 1);
        if (a <= b) ShortRun(rows.Row(y) + a, b - a + 1, c);
    };
    for (int y = ya; y <= yb; ++y) {
        const bool nearP = y >= pLo && y <= pHi, nearQ = y >= qLo && y <= qHi;
        if (nearP || nearQ) {
            row(y, nearP, nearQ);
            continue;
        }
        // The middle rows, up to the next row a round end reaches.
        int stop = yb;
        if (pLo > y) stop = std::min(stop, pLo - 1);
        if (qLo > y) stop = std::min(stop, qLo - 1);
        // Two rows at a time in SSE2 lanes: the same operations on the same doubles as row().
        for (; y < stop; y += 2) {
            const __m128d Y = _mm_set_pd(double(y + 1), double(y));
            const __m128d inBand = _mm_and_pd(_mm_cmpge_pd(Y, _mm_set1_pd(bandTop)), _mm_cmple_pd(Y, _mm_set1_pd(bandBottom)));
            const __m128d mY = _mm_mul_pd(_mm_set1_pd(m), Y), nY = _mm_mul_pd(_mm_set1_pd(n), Y);
            const __m128d a = _mm_max_pd(_mm_add_pd(_mm_set1_pd(c0), mY), _mm_add_pd(_mm_set1_pd(e0), nY));
            const __m128d b = _mm_min_pd(_mm_add_pd(_mm_set1_pd(c1), mY), _mm_add_pd(_mm_set1_pd(e1), nY));
            const int ok = _mm_movemask_pd(_mm_and_pd(inBand, _mm_cmple_pd(a, b)));
            if (!ok) continue;
            // Ceil(clamp(a) - eps) and Floor(clamp(b) + eps), both through 2 kFar as Floor takes them;
            // the sums lie in [kFar, 3 kFar], so a 32-bit truncation is the 64-bit one. Both are
            // monotone and keep whole numbers, so clamping their results to the row ([0, w] and
            // [-1, w - 1]) is clamping their arguments there first.
            const __m128d far = _mm_set1_pd(kFar), nearFar = _mm_set1_pd(-kFar), twoFar = _mm_set1_pd(2 * kFar);
            const __m128d ta = _mm_min_pd(
                _mm_max_pd(_mm_sub_pd(_mm_min_pd(_mm_max_pd(a, nearFar), far), _mm_set1_pd(eps)), _mm_setzero_pd()),
                _mm_set1_pd(w));
            const __m128d tb = _mm_min_pd(
                _mm_max_pd(_mm_add_pd(_mm_min_pd(_mm_max_pd(b, nearFar), far), _mm_set1_pd(eps)), _mm_set1_pd(-1.0)),
                _mm_set1_pd(w - 1));
            const __m128i two = _mm_set1_epi32(int(2 * kFar));
            const __m128i s = _mm_sub_epi32(two, _mm_cvttpd_epi32(_mm_sub_pd(twoFar, ta)));
            const __m128i e = _mm_sub_epi32(_mm_cvttpd_epi32(_mm_add_pd(tb, twoFar)), two);
            const __m128i count = _mm_sub_epi32(e, _mm_sub_epi32(s, _mm_set1_epi32(1)));
            const int draw = ok & _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(count, _mm_setzero_si128())));
            if (draw & 1) ShortRun(rows.Row(y) + _mm_cvtsi128_si32(s), _mm_cvtsi128_si32(count), c);
            if (draw & 2)
                ShortRun(rows.Row(y + 1) + _mm_cvtsi128_si32(_mm_shuffle_epi32(s, 1)),
                         _mm_cvtsi128_si32(_mm_shuffle_epi32(count, 1)), c);
        }
        if (y == stop) row(y++, false, false);
        --y;
    }
}

void AllowWideLanes(bool allowed) { lanesAllowed.store(allowed, std::memory_order_relaxed); }

void FillBox(QImage& image, int left, int top, int right, int bottom, TColorRef colour) {
    if (image.isNull() || image.depth() != 32) return;
    const Rows rows(image);
    const int x0 = std::max(left, 0), x1 = std::min(right, rows.width) - 1;
    const int y0 = std::max(top, 0), y1 = std::min(bottom, rows.height) - 1;
    const QRgb c = ColorRefToRgb(colour);
    for (int y = y0; y <= y1; ++y) Span(rows.Row(y), rows.width, x0, x1, c);
}

}  // namespace orb::board
