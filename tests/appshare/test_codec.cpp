#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "sharing/codec/segment_codec.h"

using namespace orb::appshare;

namespace {

// Helpers that write the inflated stream layout by hand, independent of the encoder.
void Put32(std::vector<uint8_t>& v, int32_t x) {
    uint32_t u = uint32_t(x);
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(u >> (8 * i)));
}
std::vector<uint8_t> Head(uint8_t fmt, int32_t w, int32_t h, int32_t s) {
    std::vector<uint8_t> v{fmt};
    Put32(v, w);
    Put32(v, h);
    Put32(v, s);
    return v;
}
void Record(std::vector<uint8_t>& v, int32_t line, int32_t seg, int32_t count, std::vector<uint8_t> px) {
    Put32(v, line);
    Put32(v, seg);
    Put32(v, count);
    v.insert(v.end(), px.begin(), px.end());
}
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw, int level = 6) {
    uLongf n = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(n);
    EXPECT_EQ(compress2(out.data(), &n, raw.data(), uLong(raw.size()), level), Z_OK);
    out.resize(n);
    return out;
}
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& z) {
    std::vector<uint8_t> out(64 << 20);
    uLongf n = uLongf(out.size());
    EXPECT_EQ(uncompress(out.data(), &n, z.data(), uLong(z.size())), Z_OK);
    out.resize(n);
    return out;
}

// A desktop-like picture in 0x00RRGGBB: flat background, a few framed "windows", noisy text rows.
std::vector<uint32_t> DesktopPicture(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> px(size_t(w) * h, 0x3A6EA5);
    for (int n = 0; n < 4; ++n) {
        int x0 = int(rng() % unsigned(w)), y0 = int(rng() % unsigned(h));
        int x1 = std::min(w, x0 + 1 + int(rng() % unsigned(w))), y1 = std::min(h, y0 + 1 + int(rng() % unsigned(h)));
        uint32_t fill = rng() & 0xFFFFFF;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                px[size_t(y) * w + x] = (y % 9 < 2 && rng() % 3 == 0) ? (rng() & 0xFFFFFF) : fill;
    }
    return px;
}

ShareBitmap Reduce(uint8_t fmt, const std::vector<uint32_t>& rgb, int w, int h) {
    ShareBitmap b;
    EXPECT_TRUE(b.SetGeometry(fmt, w, h));
    for (int y = 0; y < h; ++y) StoreRgbRow(fmt, &rgb[size_t(y) * w], size_t(w), b.ScanLine(y));
    return b;
}

void ChangeRect(std::vector<uint32_t>& px, int w, int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) px[size_t(y) * w + x] = c ^ uint32_t(x * 7 + y);
}

// Counts the segment records of an inflated stream (walking the records by hand).
int CountRecords(const std::vector<uint8_t>& raw, int bpp) {
    size_t at = kStreamHeadSize;
    int n = 0;
    while (at + 12 <= raw.size()) {
        int32_t count;
        std::memcpy(&count, &raw[at + 8], 4);
        at += 12 + size_t(count) * bpp;
        ++n;
    }
    EXPECT_EQ(at, raw.size());
    return n;
}

constexpr int kHostileW = 23, kHostileH = 4;  // B = 4, last segment 7 pixels

}  // namespace

TEST(SegmentCodec, ReductionsOfTheFixedFormats) {
    EXPECT_EQ(Rgb565(0xFF0000), 0xF800);
    EXPECT_EQ(Rgb565(0x00FF00), 0x07E0);
    EXPECT_EQ(Rgb565(0x0000FF), 0x001F);
    EXPECT_EQ(Rgb565(0x808080), 0x8410);
    // The primaries, black and white are exact entries of the 8-bit palette.
    for (uint32_t c : {0x000000u, 0xFFFFFFu, 0xFF0000u, 0x00FF00u, 0x0000FFu})
        EXPECT_EQ(SharePalette()[PaletteIndex(c)], c);
    uint8_t px[3];
    uint32_t c = 0x123456;
    StoreRgbRow(kPixelFormat24, &c, 1, px);
    EXPECT_EQ(px[0], 0x56);  // blue first
    EXPECT_EQ(px[2], 0x12);
    EXPECT_EQ(PixelToRgb(kPixelFormat24, px), c);
    StoreRgbRow(kPixelFormat16, &c, 1, px);
    EXPECT_EQ(px[0] | (px[1] << 8), Rgb565(c));
}

TEST(SegmentCodec, EncoderWritesTheStreamLayout) {
    // 7 x 2 at 24 bits with 5 segments: four 1-pixel segments and a last one of 3 pixels.
    ShareBitmap b;
    ASSERT_TRUE(b.SetGeometry(kPixelFormat24, 7, 2));
    for (int i = 0; i < 7; ++i) b.ScanLine(1)[3 * i] = uint8_t(i + 1);  // only line 1 has colour
    b.ScanLine(1)[3 * 2] = 0;                                            // segment 2 stays black

    std::vector<uint8_t> expected = Head(6, 7, 2, 5);
    Record(expected, 1, 0, 1, {1, 0, 0});
    Record(expected, 1, 1, 1, {2, 0, 0});
    Record(expected, 1, 3, 1, {4, 0, 0});
    Record(expected, 1, 4, 3, {5, 0, 0, 6, 0, 0, 7, 0, 0});

    std::vector<uint8_t> z{0xEE};  // the stream is appended after what is there
    ASSERT_GT(EncodeBitmapSegments(kPixelFormat24, b, true, 5, z), 0u);
    EXPECT_EQ(z[0], 0xEE);
    z.erase(z.begin());
    EXPECT_EQ(Inflate(z), expected);
    EXPECT_EQ(z[0], 0x78);  // zlib header
    EXPECT_EQ(z[1], 0xDA);  // level 9 for 24 bits

    // Without skipping every segment is written, the all-black ones too.
    z.clear();
    ASSERT_GT(EncodeBitmapSegments(kPixelFormat24, b, false, 5, z), 0u);
    EXPECT_EQ(CountRecords(Inflate(z), 3), 10);

    ShareBitmap b8;
    ASSERT_TRUE(b8.SetGeometry(kPixelFormat8, 7, 2));
    z.clear();
    ASSERT_GT(EncodeBitmapSegments(kPixelFormat8, b8, true, 5, z), 0u);
    EXPECT_EQ(z[1], 0x9C);                             // zlib's default level for 8 bits
    EXPECT_EQ(Inflate(z), Head(3, 7, 2, 5));           // unchanged picture: the head alone
    EXPECT_EQ(EncodeBitmapSegments(kPixelFormat24, b8, true, 5, z), 0u);  // format differs
    EXPECT_EQ(EncodeBitmapSegments(kPixelFormat4, b8, true, 5, z), 0u);
    EXPECT_EQ(EncodeBitmapSegments(kPixelFormat8, b8, true, 0, z), 0u);
}

TEST(SegmentCodec, HandWrittenStreamDecodes) {
    // 16-bit 6 x 3 with 5 segments (B = 1, last segment 2 pixels).
    std::vector<uint8_t> raw = Head(5, 6, 3, 5);
    Record(raw, 2, 4, 2, {0x1F, 0x00, 0x00, 0xF8});
    Record(raw, 1, 0, 1, {0xE0, 0x07});
    SegmentDecoder d;
    ASSERT_TRUE(d.Start(kPixelFormat16, 6, 3));
    ASSERT_EQ(d.Apply(Deflate(raw), false), DecodeStatus::Applied);
    const ShareBitmap& p = d.Picture();
    EXPECT_EQ(PixelToRgb(5, p.ScanLine(2) + 8), 0x0000FFu);
    EXPECT_EQ(PixelToRgb(5, p.ScanLine(2) + 10), 0xFF0000u);
    EXPECT_EQ(PixelToRgb(5, p.ScanLine(1)), 0x00FF00u);

    // XOR mode flips exactly the bits given.
    std::vector<uint8_t> x = Head(5, 6, 3, 5);
    Record(x, 2, 4, 2, {0x1F, 0x00, 0x00, 0x00});
    ASSERT_EQ(d.Apply(Deflate(x), true), DecodeStatus::Applied);
    EXPECT_EQ(PixelToRgb(5, p.ScanLine(2) + 8), 0u);
    EXPECT_EQ(PixelToRgb(5, p.ScanLine(2) + 10), 0xFF0000u);

    // Narrower than the segment count (3 pixels, 5 segments): segments 0 to 3 are empty records
    // between the others, and the frame goes on after them.
    std::vector<uint8_t> narrow = Head(6, 3, 2, 5);
    Record(narrow, 0, 4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (int k = 0; k < 4; ++k) Record(narrow, 1, k, 0, {});
    Record(narrow, 1, 4, 3, {9, 8, 7, 6, 5, 4, 3, 2, 1});
    SegmentDecoder n;
    ASSERT_TRUE(n.Start(kPixelFormat24, 3, 2));
    ASSERT_EQ(n.Apply(Deflate(narrow), false), DecodeStatus::Applied);
    EXPECT_EQ(PixelToRgb(6, n.Picture().ScanLine(0) + 6), 0x090807u);
    EXPECT_EQ(PixelToRgb(6, n.Picture().ScanLine(1)), 0x070809u);
}

// Key frame, frames with a few changed rectangles, then an unchanged frame, at every depth and at
// widths that do and do not divide by the segment count (3 is below it).
TEST(SegmentCodec, RoundTripsRebuildEveryPicture) {
    for (uint8_t fmt : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        for (int w : {1023, 7, 3}) {
            SCOPED_TRACE(testing::Message() << "format " << int(fmt) << " width " << w);
            const int h = 37;
            auto rgb = DesktopPicture(w, h, uint32_t(w * 31 + fmt));
            SegmentDecoder dec;
            ASSERT_TRUE(dec.Start(fmt, w, h));
            ShareBitmap previous, delta;
            for (int frame = 0; frame < 5; ++frame) {
                if (frame == 1) ChangeRect(rgb, w, w / 3, 2, std::min(w, w / 3 + 40), 9, 0xFF00FF);
                if (frame == 2) ChangeRect(rgb, w, 0, 30, w, 31, 0x00FFFF);
                if (frame == 3) ChangeRect(rgb, w, w - 1, 0, w, h, 0x101010);
                ShareBitmap current = Reduce(fmt, rgb, w, h);
                std::vector<uint8_t> z;
                bool key = frame == 0;
                int64_t changed = 0;
                if (key) {
                    ASSERT_GT(EncodeBitmapSegments(fmt, current, false, 5, z), 0u);
                    EXPECT_EQ(CountRecords(Inflate(z), BytesPerPixel(fmt)), h * 5);
                } else {
                    ASSERT_TRUE(delta.SetGeometry(fmt, w, h));
                    ASSERT_TRUE(XorBitmaps(delta, current, previous));
                    changed = ChangedSegmentCount(delta, 5);
                    ASSERT_GT(EncodeBitmapSegments(fmt, delta, true, 5, z), 0u);
                    EXPECT_EQ(CountRecords(Inflate(z), BytesPerPixel(fmt)), changed);
                }
                if (frame == 4) {
                    EXPECT_EQ(changed, 0);
                }
                if (frame == 1 || frame == 3) {
                    EXPECT_GT(changed, 0);
                    EXPECT_LT(changed, h * 5);
                }
                ASSERT_EQ(dec.Apply(z, !key), DecodeStatus::Applied);
                ASSERT_TRUE(dec.Picture() == current) << "frame " << frame;
                previous = current;
            }
        }
    }
}

TEST(SegmentCodec, ZeroScanSeesEveryByte) {
    std::vector<uint8_t> buf(101, 0);
    const auto* p8 = reinterpret_cast<const Pixel8*>(buf.data());
    const auto* p16 = reinterpret_cast<const Pixel16*>(buf.data());
    const auto* p24 = reinterpret_cast<const Pixel24*>(buf.data());
    EXPECT_TRUE(IsZeroSegment(p8, 101));
    EXPECT_TRUE(IsZeroSegment(p24, 0));
    EXPECT_TRUE(IsZeroSegment(p16, -5));
    for (size_t i = 0; i < buf.size(); ++i) {
        buf[i] = 0x10;
        EXPECT_FALSE(IsZeroSegment(p8, 101)) << i;
        if (i < 100) {
            EXPECT_FALSE(IsZeroSegment(p16, 50)) << i;
        } else {
            EXPECT_TRUE(IsZeroSegment(p16, 50));  // the byte after the last pixel
        }
        if (i < 99) {
            EXPECT_FALSE(IsZeroSegment(p24, 33)) << i;
        }
        buf[i] = 0;
    }
    ShareBitmap a, b, c;
    ASSERT_TRUE(a.SetGeometry(kPixelFormat16, 3, 3));
    ASSERT_TRUE(b.SetGeometry(kPixelFormat16, 3, 4));
    EXPECT_FALSE(XorBitmaps(a, a, b));
    EXPECT_FALSE(XorBitmaps(c, c, c));  // no picture yet
}

TEST(SegmentCodec, GeometryBoundsRefuseBeforeAllocating) {
    SegmentDecoder d;
    EXPECT_FALSE(d.Start(kPixelFormat4, 100, 100));  // the 4-bit ordinal is not handled
    EXPECT_FALSE(d.Start(0, 100, 100));
    EXPECT_FALSE(d.Start(kPixelFormat8, 16385, 10));
    EXPECT_FALSE(d.Start(kPixelFormat8, 10, 0));
    EXPECT_FALSE(d.Start(kPixelFormat8, -1, 10));
    EXPECT_FALSE(d.Start(kPixelFormat24, 16384, 16384));  // side fits, area does not
    EXPECT_FALSE(d.Start(kPixelFormat8, 10, 10, 0));
    EXPECT_FALSE(d.Start(kPixelFormat8, 10, 10, -5));
    EXPECT_FALSE(d.Started());
    EXPECT_TRUE(d.Start(kPixelFormat8, 16384, 4096));
    EXPECT_EQ(d.Apply(Deflate(Head(3, 16384, 4096, 5)), true), DecodeStatus::NoKeyFrame);

    ShareBitmap b;
    ASSERT_TRUE(b.SetGeometry(kPixelFormat8, 4, 4));
    b.ScanLine(3)[3] = 9;
    EXPECT_FALSE(b.SetGeometry(kPixelFormat8, 4, 16385));
    EXPECT_EQ(b.Height(), 4);
    EXPECT_TRUE(b.SetGeometry(kPixelFormat8, 4, 4));  // same geometry keeps the pixels
    EXPECT_EQ(b.ScanLine(3)[3], 9);

    const uint8_t raw[6] = {0xF0, 0x0F};
    const auto* px = reinterpret_cast<const Pixel8*>(raw);
    const ShareBitmap before = b;
    EXPECT_FALSE(ApplySegment(b, px, 2, false, 3, 0));  // one pixel past the line
    EXPECT_FALSE(ApplySegment(b, px, 1, false, 0, 4));
    EXPECT_FALSE(ApplySegment(b, px, 1, false, -1, 0));
    EXPECT_FALSE(ApplySegment(b, px, INT64_MAX, false, 2, 0));
    // Pixels of another size than the bitmap's are refused.
    EXPECT_FALSE(ApplySegment(b, reinterpret_cast<const Pixel16*>(raw), 1, false, 0, 0));
    EXPECT_FALSE(ApplySegment(b, reinterpret_cast<const Pixel24*>(raw), 1, false, 0, 0));
    EXPECT_TRUE(b == before);
    EXPECT_TRUE(ApplySegment(b, px, 2, false, 2, 3));
    EXPECT_TRUE(ApplySegment(b, px, 1, true, 3, 3));
    EXPECT_EQ(b.ScanLine(3)[2], 0xF0);
    EXPECT_EQ(b.ScanLine(3)[3], 0x0F ^ 0xF0);
}

// Every hostile frame is refused whole and leaves the picture exactly as it was.
TEST(SegmentCodec, HostileFramesChangeNothing) {
    constexpr int W = kHostileW, H = kHostileH;
    SegmentDecoder d;
    ASSERT_TRUE(d.Start(kPixelFormat16, W, H));

    std::vector<uint8_t> pixels(8, 0x5A);  // segment 0: 4 pixels of 2 bytes
    auto good = [&](std::vector<uint8_t>& v) { Record(v, 0, 0, 4, pixels); };
    auto frame = [&](std::function<void(std::vector<uint8_t>&)> tail, uint8_t fmt = 5, int w = kHostileW,
                     int h = kHostileH, int s = 5) {
        std::vector<uint8_t> v = Head(fmt, w, h, s);
        good(v);  // a good record first: it must not be applied either
        tail(v);
        return v;
    };

    // Before a key frame a difference frame is refused.
    EXPECT_EQ(d.Apply(Deflate(frame([](auto&) {})), true), DecodeStatus::NoKeyFrame);
    EXPECT_FALSE(d.HasKeyFrame());

    ShareBitmap key = Reduce(5, DesktopPicture(W, H, 5), W, H);
    std::vector<uint8_t> kz;
    ASSERT_GT(EncodeBitmapSegments(5, key, false, 5, kz), 0u);
    ASSERT_EQ(d.Apply(kz, false), DecodeStatus::Applied);
    ASSERT_TRUE(d.HasKeyFrame());
    const ShareBitmap before = d.Picture();

    struct Case {
        const char* name;
        std::vector<uint8_t> raw;
        DecodeStatus want;
    };
    auto rec = [&](int32_t line, int32_t seg, int32_t count, size_t bytes) {
        return [=](std::vector<uint8_t>& v) { Record(v, line, seg, count, std::vector<uint8_t>(bytes, 1)); };
    };
    std::vector<Case> cases = {
        {"24-bit stream for a 16-bit picture", frame([](auto&) {}, 6), DecodeStatus::GeometryMismatch},
        {"wider than the picture", frame([](auto&) {}, 5, W + 1), DecodeStatus::GeometryMismatch},
        {"taller than the picture", frame([](auto&) {}, 5, W, H + 1), DecodeStatus::GeometryMismatch},
        {"other segment count", frame([](auto&) {}, 5, W, H, 4), DecodeStatus::GeometryMismatch},
        {"line below the picture", frame(rec(H, 0, 1, 2)), DecodeStatus::BadSegment},
        {"negative line", frame(rec(-1, 0, 1, 2)), DecodeStatus::BadSegment},
        {"segment index too high", frame(rec(0, 5, 1, 2)), DecodeStatus::BadSegment},
        {"negative segment index", frame(rec(0, -1, 1, 2)), DecodeStatus::BadSegment},
        {"negative count", frame(rec(0, 0, -1, 0)), DecodeStatus::BadSegment},
        {"run past the end of the line", frame(rec(0, 4, 8, 16)), DecodeStatus::BadSegment},
        {"run shorter than its segment", frame(rec(0, 4, 6, 12)), DecodeStatus::BadSegment},
        {"empty record for a segment that has pixels", frame(rec(0, 1, 0, 0)), DecodeStatus::BadSegment},
        {"count that overflows 32 bits", frame(rec(1, 4, 0x7FFFFFFF, 4)), DecodeStatus::BadSegment},
        {"pixels cut short", frame(rec(0, 4, 7, 13)), DecodeStatus::Damaged},
        {"record head cut short", frame([](auto& v) { v.insert(v.end(), {0, 0, 0, 0, 1}); }),
         DecodeStatus::Damaged},
        {"head cut short", Head(5, W, H, 5), DecodeStatus::Damaged},
    };
    cases.back().raw.resize(9);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool xorMode : {false, true}) {
            EXPECT_EQ(d.Apply(Deflate(c.raw), xorMode), c.want);
            ASSERT_TRUE(d.Picture() == before);
        }
    }

    // Damaged and cut zlib data.
    std::vector<uint8_t> z = Deflate(frame([](auto&) {}));
    std::vector<uint8_t> flipped = z;
    flipped[flipped.size() - 1] ^= 0x40;  // checksum
    std::vector<uint8_t> cut(z.begin(), z.end() - 5);
    for (const auto& bad : {flipped, cut, std::vector<uint8_t>{}, std::vector<uint8_t>{1, 2, 3, 4}}) {
        EXPECT_EQ(d.Apply(bad, true), DecodeStatus::Damaged);
        ASSERT_TRUE(d.Picture() == before);
    }

    // More data than a frame of this geometry holds, even made of valid records, is refused while
    // inflating; the inflate buffer never grows past that bound.
    std::vector<uint8_t> many = Head(5, W, H, 5);
    for (int i = 0; i < H * 5 + 1; ++i) Record(many, 0, 4, 7, std::vector<uint8_t>(14, 3));
    EXPECT_EQ(d.Apply(Deflate(many), true), DecodeStatus::TooLarge);
    ASSERT_TRUE(d.Picture() == before);

    ShareBitmap big;
    ASSERT_TRUE(big.SetGeometry(kPixelFormat8, 64, 64));
    std::vector<uint8_t> bomb = Head(3, 64, 64, 5);
    bomb.resize(64 << 20, 0);  // 64 MiB of zeros deflate to about 64 KiB
    std::vector<uint8_t> scratch;
    EXPECT_EQ(DecodeBitmapSegments(kPixelFormat8, big, Deflate(bomb, 9), true, 5, &scratch),
              DecodeStatus::TooLarge);
    EXPECT_LE(scratch.size(), 13u + 64 * 5 * 12 + 64 * 64 + 1);

    // A descriptor format the codec does not know makes the decoder do nothing.
    EXPECT_EQ(DecodeBitmapSegments(kPixelFormat4, big, Deflate(bomb, 9), false), DecodeStatus::UnknownFormat);
    // A picture not set up from the descriptor takes nothing.
    ShareBitmap none;
    EXPECT_EQ(DecodeBitmapSegments(kPixelFormat8, none, Deflate(Head(3, 1, 1, 5)), false),
              DecodeStatus::GeometryMismatch);
}
