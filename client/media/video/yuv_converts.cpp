#include "yuv_converts.h"

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

inline int Clamp255(double v) {
    int i = int(v);  // truncation toward zero
    return i < 0 ? 0 : i > 255 ? 255 : i;
}

// The formula's products per byte value, computed once; the sums below are the same operations in
// the same order as the formula's, so the results are identical.
struct TYuvTables {
    double y[256], ub[256], ug[256], vg[256], vr[256];
    TYuvTables() {
        for (int i = 0; i < 256; ++i) {
            y[i] = (i - 16) * 1.1643828125;
            ub[i] = (i - 128) * 2.01723046875;
            ug[i] = (i - 128) * 0.39176171875;
            vg[i] = (i - 128) * 0.81296875;
            vr[i] = (i - 128) * 1.59602734375;
        }
    }
};
const TYuvTables kT;

inline uint32_t Pixel(int y, int u, int v) {
    const double yy = kT.y[y];
    return uint32_t(Clamp255(yy + kT.ub[u])) | (uint32_t(Clamp255(yy - kT.ug[u] - kT.vg[v])) << 8) |
           (uint32_t(Clamp255(yy + kT.vr[v])) << 16);
}

}  // namespace

uint32_t YuvToRgb(int y, int u, int v) {
    if ((y | u | v) & ~0xFF) {
        double yy = (y - 16) * 1.1643828125;
        int b = Clamp255(yy + (u - 128) * 2.01723046875);
        int g = Clamp255(yy - (u - 128) * 0.39176171875 - (v - 128) * 0.81296875);
        int r = Clamp255(yy + (v - 128) * 1.59602734375);
        return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16);
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
    case kConvYUY2:
    case kConvUYVY: {
        const size_t stride = ((w + 1) / 2) * 4;
        const bool yuy2 = id == kConvYUY2;
        for (size_t r = 0; r < h; ++r) {
            const uint8_t* line = s + r * stride;
            uint32_t* o = out(r);
            for (size_t x = 0; x < w; x += 2) {
                const uint8_t* q = line + x * 2;
                int y0 = yuy2 ? q[0] : q[1], u = yuy2 ? q[1] : q[0];
                int y1 = yuy2 ? q[2] : q[3], v = yuy2 ? q[3] : q[2];
                o[x] = Pixel(y0, u, v);
                if (x + 1 < w) o[x + 1] = Pixel(y1, u, v);
            }
        }
        return true;
    }
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
    case kConvI420: {
        const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        const uint8_t* up = s + w * h;
        const uint8_t* vp = up + cw * ch;
        for (size_t r = 0; r < h; ++r) {
            uint32_t* o = out(r);
            const uint8_t* yl = s + r * w;
            const uint8_t* ul = up + (r / 2) * cw;
            const uint8_t* vl = vp + (r / 2) * cw;
            for (size_t x = 0; x < w; ++x) o[x] = Pixel(yl[x], ul[x >> 1], vl[x >> 1]);
        }
        return true;
    }
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
