// Encode and decode a 1920 x 1080 desktop-like picture at each depth, as a key frame and as a
// change-only frame with 5 % of the screen changed, beside zlib's own compress2/uncompress at the
// same level on the same bytes and a memcpy of the frame, all measured in this run.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "../bench_summary.h"
#include "sharing/codec/segment_codec.h"

using namespace orb::appshare;

namespace {

constexpr int W = 1920, H = 1080;

// Best of several runs, in milliseconds; runs until both the count and the time are reached.
double Time(const std::function<void()>& fn, int minRuns = 3, double minMs = 300) {
    double best = 1e300, total = 0;
    for (int i = 0; i < minRuns || total < minMs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, ms);
        total += ms;
        if (i >= 200) break;
    }
    return best;
}

void Rect(std::vector<uint32_t>& px, int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = std::max(0, y0); y < std::min(H, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(W, x1); ++x) px[size_t(y) * W + x] = c;
}

// Text-like rows of small glyph blobs.
void Text(std::vector<uint32_t>& px, std::mt19937& rng, int x0, int y0, int x1, int y1, uint32_t ink) {
    for (int y = y0; y + 12 < y1; y += 16)
        for (int x = x0; x + 8 < x1; x += 7) {
            if (rng() % 6 == 0) continue;  // spaces
            unsigned glyph = rng();
            for (int gy = 0; gy < 10; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if ((glyph >> ((gy * 5 + gx) % 31)) & 1 && gy % 3 != 2) px[size_t(y + gy) * W + x + gx] = ink;
        }
}

std::vector<uint32_t> Desktop(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> px(size_t(W) * H);
    for (int y = 0; y < H; ++y)  // wallpaper gradient
        for (int x = 0; x < W; ++x) px[size_t(y) * W + x] = (uint32_t(20 + y / 8) << 16) | (uint32_t(60 + x / 16) << 8) | 140;
    Rect(px, 0, H - 40, W, H, 0x202830);  // task bar
    for (int i = 0; i < 6; ++i) {         // windows with title bars and text
        int x = int(rng() % (W - 600)), y = int(rng() % (H - 450));
        int w = 400 + int(rng() % 500), h = 300 + int(rng() % 350);
        Rect(px, x, y, x + w, y + h, 0xF0F0F0);
        Rect(px, x, y, x + w, y + 28, 0x3060C0);
        Text(px, rng, x + 8, y + 36, std::min(W, x + w) - 8, std::min(H, y + h) - 8, 0x101010);
    }
    int px0 = 1200, py0 = 150;  // a photo
    for (int y = py0; y < py0 + 300; ++y)
        for (int x = px0; x < px0 + 400; ++x) {
            uint32_t n = rng() & 15;
            px[size_t(y) * W + x] = (uint32_t(100 + (x - px0) / 4 + n) << 16) | (uint32_t(80 + (y - py0) / 3 + n) << 8) | (60 + n);
        }
    return px;
}

ShareBitmap Reduce(uint8_t fmt, const std::vector<uint32_t>& rgb) {
    ShareBitmap b;
    b.SetGeometry(fmt, W, H);
    for (int y = 0; y < H; ++y) StoreRgbRow(fmt, &rgb[size_t(y) * W], W, b.ScanLine(y));
    return b;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& z, size_t size) {
    std::vector<uint8_t> out(size);
    uLongf n = uLongf(size);
    uncompress(out.data(), &n, z.data(), uLong(z.size()));
    out.resize(n);
    return out;
}

void Row(const char* what, double codec, double anchor, const char* anchorName, size_t bytes) {
    std::printf("  %-34s %9.2f ms   %-18s %9.2f ms   ratio %5.2f   %9zu bytes\n", what, codec, anchorName, anchor,
                codec / anchor, bytes);
}

}  // namespace

int main() {
    auto rgb0 = Desktop(1);
    // The change-only frame: rectangles covering 5 % of the screen get new content.
    auto rgb1 = rgb0;
    std::mt19937 rng(7);
    int64_t changed = 0;
    while (changed < int64_t(W) * H / 20) {
        int x = int(rng() % (W - 200)), y = int(rng() % (H - 60)), w = 80 + int(rng() % 120), h = 20 + int(rng() % 40);
        Rect(rgb1, x, y, x + w, y + h, 0xFAFAFA);
        Text(rgb1, rng, x + 2, y + 2, x + w - 2, y + h, 0x0000A0);
        changed += int64_t(w) * h;
    }

    std::printf("Segment codec, %d x %d, 5 segments per line (best of several runs)\n", W, H);
    for (uint8_t fmt : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        const int level = CompressionLevel(fmt);
        std::printf("\n%d bits per pixel, zlib level %d\n", BytesPerPixel(fmt) * 8, level == -1 ? 6 : level);
        ShareBitmap cur0 = Reduce(fmt, rgb0), cur1 = Reduce(fmt, rgb1), delta;
        const size_t cap = kStreamHeadSize + size_t(H) * 5 * kSegmentRecordHeadSize + cur0.ByteSize();

        // Key frame.
        std::vector<uint8_t> key;
        double enc = Time([&] {
            key.clear();
            EncodeBitmapSegments(fmt, cur0, false, 5, key);
        });
        std::vector<uint8_t> raw = Inflate(key, cap);
        std::vector<uint8_t> z(compressBound(uLong(raw.size())));
        double zc = Time([&] {
            uLongf n = uLongf(z.size());
            compress2(z.data(), &n, raw.data(), uLong(raw.size()), level);
        });
        Row("key frame encode", enc, zc, "zlib compress2", key.size());
        if (fmt == kPixelFormat8) orb::bench::Summary("key-frame encode 8 bit vs zlib", "<= 1.1", enc / zc, enc / zc <= 1.1);
        SegmentDecoder dec;
        dec.Start(fmt, W, H);
        double de = Time([&] { dec.Apply(key, false); });
        std::vector<uint8_t> out(raw.size());
        double zi = Time([&] {
            uLongf n = uLongf(out.size());
            uncompress(out.data(), &n, key.data(), uLong(key.size()));
        });
        Row("key frame decode", de, zi, "zlib uncompress", raw.size());

        // Change-only frame.
        delta.SetGeometry(fmt, W, H);
        int64_t segs = 0;
        double own = Time([&] { segs = XorAndCountChanged(delta, cur1, cur0, 5); });
        std::vector<uint8_t> copy(cur0.ByteSize());
        double mc = Time([&] { std::memcpy(copy.data(), cur1.Bits(), copy.size()); });
        Row("XOR + changed-segment scan", own, mc, "memcpy of frame", cur0.ByteSize());
        std::vector<uint8_t> diff;
        double denc = Time([&] {
            XorBitmaps(delta, cur1, cur0);
            diff.clear();
            EncodeBitmapSegments(fmt, delta, true, 5, diff);
        });
        std::vector<uint8_t> draw = Inflate(diff, cap);
        double dzc = Time([&] {
            uLongf n = uLongf(z.size());
            compress2(z.data(), &n, draw.data(), uLong(draw.size()), level);
        });
        Row("change-only encode (with XOR)", denc, dzc, "zlib compress2", diff.size());
        double ddec = Time([&] { dec.Apply(diff, true); });
        double dzi = Time([&] {
            uLongf n = uLongf(out.size());
            uncompress(out.data(), &n, diff.data(), uLong(diff.size()));
        });
        Row("change-only decode", ddec, dzi, "zlib uncompress", draw.size());
        std::printf("  changed segments: %lld of %d\n", static_cast<long long>(segs), H * 5);
    }
    return 0;
}
