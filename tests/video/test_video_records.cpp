// Video records against their byte tables, the length and rate checks, and the seven YUV layouts
// against the conversion formula on hand-made pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "video/video_records.h"
#include "video/yuv_converts.h"

using namespace orb::video;

TEST(VideoRecords, FormatAndFrameBytes) {
    TVideoFormatRec f;
    f.header.biWidth = 160;
    f.header.biHeight = 120;
    f.header.biBitCount = 24;
    f.header.biCompression = MakeFourcc('M', 'P', '4', '3');
    f.header.biSizeImage = 76800;
    f.framesPerSecond = 5;
    f.keyFrameInterval = 2;
    const uint8_t want[46] = {40, 0, 0, 0, 160, 0, 0, 0, 120, 0, 0, 0, 1, 0, 24, 0, 'M', 'P', '4', '3', 0x00, 0x2C, 0x01,
                              0,  0, 0, 0, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0, 0, 0,  0, 5,   0,   2,   0,   0,    0};
    auto bytes = f.Encode();
    EXPECT_EQ(0, memcmp(want, bytes.data(), 46));
    TVideoFormatRec back;
    ASSERT_TRUE(TVideoFormatRec::Decode(bytes, back));
    EXPECT_EQ(back.header, f.header);
    EXPECT_EQ(back.framesPerSecond, 5);
    EXPECT_EQ(back.keyFrameInterval, 2);

    TVideoFrameRec r{1, 0x0102, 0xAABBCCDD, 7};
    const uint8_t wantFrame[13] = {1, 2, 1, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA, 7, 0, 0, 0};
    EXPECT_EQ(0, memcmp(wantFrame, r.Encode().data(), 13));
}

TEST(VideoRecords, HostileFormatsAndFramesAreRefused) {
    TVideoFormatRec ok;
    ok.header.biWidth = 160;
    ok.header.biHeight = 120;
    auto good = ok.Encode();
    TVideoFormatRec out;
    std::vector<uint8_t> longer(good.begin(), good.end());
    longer.push_back(0);
    EXPECT_FALSE(TVideoFormatRec::Decode(std::span(good).first(45), out));
    EXPECT_FALSE(TVideoFormatRec::Decode(longer, out));
    for (auto [w, h] : {std::pair{0, 120}, {160, 0}, {-160, 120}, {5000, 10}, {10, 5000}, {4096, 4096}, {160, INT32_MIN}}) {
        TVideoFormatRec bad = ok;
        bad.header.biWidth = w;
        bad.header.biHeight = h;
        EXPECT_FALSE(TVideoFormatRec::Decode(bad.Encode(), out)) << w << "x" << h;
    }

    struct Case { std::vector<uint8_t> body; bool ok; };
    auto frame = [](uint32_t size, size_t extra) {
        TVideoFrameRec r{1, size, 0, 0};
        auto b = r.Encode();
        std::vector<uint8_t> v(b.begin(), b.end());
        v.resize(v.size() + extra, 0x55);
        return v;
    };
    const Case cases[] = {{frame(5, 5), true}, {frame(0, 0), true}, {frame(6, 5), false}, {frame(4, 5), false},
                          {frame(0xFFFFFFFF, 5), false}, {std::vector<uint8_t>(12, 0), false}, {{}, false}};
    for (const auto& c : cases) {
        TVideoFrameRec rec;
        std::span<const uint8_t> data;
        EXPECT_EQ(ParseFrameBody(c.body, rec, data), c.ok) << c.body.size();
        if (c.ok) {
            EXPECT_EQ(data.size(), rec.size);
        }
    }
}

TEST(VideoRecords, RegistrationAndRates) {
    orb::TLoginRequest login;
    login.userId = 0x01020304;
    login.password = "pw";
    login.userName = "ann";
    auto body = EncodeVideoRegistration(login, 7, kVideoView);
    ASSERT_EQ(body.size(), 112u);
    EXPECT_EQ(body[0], 4);
    EXPECT_EQ(body[4], 2);
    EXPECT_EQ(body[5], 'p');
    EXPECT_EQ(body[55], 3);
    EXPECT_EQ(body[56], 'a');
    EXPECT_EQ(body[106], 7);
    EXPECT_EQ(body[107], 0);
    EXPECT_EQ(body[108], 1);

    const std::pair<int, int64_t> rates[] = {{0, 950}, {-3, 950}, {1, 950}, {5, 150}, {15, 17}, {20, 10}, {30, 10}, {65535, 10}};
    for (auto [fps, ms] : rates) EXPECT_EQ(PollIntervalMs(fps), ms) << fps;
    EXPECT_EQ(ClampFramesPerSecond(0), 1);
    EXPECT_EQ(ClampFramesPerSecond(1000), 30);
}

TEST(YuvConverts, FormulaGoldenValues) {
    EXPECT_EQ(YuvToRgb(16, 128, 128), 0u);
    EXPECT_EQ(YuvToRgb(235, 128, 128), 0x00FEFEFEu);
    EXPECT_EQ(YuvToRgb(81, 90, 240), 0x00FE0000u);   // red: blue and green truncate below zero to 0
    // 100: Y' = 97.807...; U 200: blue = 97.807 + 72 * 2.01723046875 = 243.05 -> 243
    EXPECT_EQ(YuvToRgb(100, 200, 128) & 0xFF, 243u);
    // Green is exactly 25 here (24.4520390625 + 7.0517109375 - 6.50375); a binary-fraction
    // evaluation lands a hair below and truncates to 24.
    EXPECT_EQ((YuvToRgb(37, 110, 136) >> 8) & 0xFF, 25u);
    EXPECT_EQ(YuvFormatOf(MakeFourcc('Y', '8', ' ', ' ')), kConvY8);
    EXPECT_EQ(YuvFormatOf(3), kConvRgb);
    EXPECT_EQ(YuvFormatOf(MakeFourcc('M', 'J', 'P', 'G')), kConvUnsupported);
}

namespace {

// Per pixel Y, and per chroma sample U and V that the layout builders below place by the table.
int Yat(int x, int y) { return 16 + (x * 7 + y * 13) % 220; }
int Uat(int cx, int cy) { return 60 + (cx * 11 + cy * 5) % 140; }
int Vat(int cx, int cy) { return 70 + (cx * 3 + cy * 17) % 130; }

struct Layout {
    const char* name;
    int id;
    int w, h;
    std::function<std::vector<uint8_t>(int, int)> build;
    // The chroma sample of pixel (x, y), and whether the pixel is converted at all.
    std::function<std::pair<int, int>(int, int)> chroma;
    std::function<int(int, int)> luma = Yat;
    std::function<bool(int, int)> covered = [](int, int) { return true; };
};

std::vector<Layout> Layouts() {
    auto packed2 = [](bool yuy2) {
        return [yuy2](int w, int h) {
            std::vector<uint8_t> s(size_t(h) * ((w + 1) / 2) * 4, 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; x += 2) {
                    uint8_t* q = s.data() + size_t(y) * ((w + 1) / 2) * 4 + x * 2;
                    uint8_t Y0 = uint8_t(Yat(x, y)), Y1 = uint8_t(Yat(x + 1, y)), U = uint8_t(Uat(x / 2, y)),
                            V = uint8_t(Vat(x / 2, y));
                    if (yuy2) { q[0] = Y0; q[1] = U; q[2] = Y1; q[3] = V; }
                    else { q[0] = U; q[1] = Y0; q[2] = V; q[3] = Y1; }
                }
            return s;
        };
    };
    std::vector<Layout> v;
    v.push_back({"YUY2", kConvYUY2, 7, 5, packed2(true), [](int x, int y) { return std::pair{Uat(x / 2, y), Vat(x / 2, y)}; }});
    v.push_back({"UYVY", kConvUYVY, 7, 5, packed2(false), [](int x, int y) { return std::pair{Uat(x / 2, y), Vat(x / 2, y)}; }});
    v.push_back({"Y41P", kConvY41P, 11, 3,
                 [](int w, int h) {
                     const int stride = (w + 7) / 8 * 12;
                     std::vector<uint8_t> s(size_t(h) * stride, 0);
                     const int ypos[8] = {1, 3, 5, 7, 8, 9, 10, 11};
                     for (int y = 0; y < h; ++y)
                         for (int g = 0; g * 8 < w; ++g) {
                             uint8_t* q = s.data() + y * stride + g * 12;
                             q[0] = uint8_t(Uat(g * 2, y)); q[2] = uint8_t(Vat(g * 2, y));
                             q[4] = uint8_t(Uat(g * 2 + 1, y)); q[6] = uint8_t(Vat(g * 2 + 1, y));
                             for (int i = 0; i < 8; ++i) q[ypos[i]] = uint8_t(Yat(g * 8 + i, y));
                         }
                     return s;
                 },
                 [](int x, int y) { return std::pair{Uat(x / 4, y), Vat(x / 4, y)}; }});
    v.push_back({"Y211", kConvY211, 6, 3,
                 [](int w, int h) {
                     const int stride = (w + 3) / 4 * 4;
                     std::vector<uint8_t> s(size_t(h) * stride, 0);
                     for (int y = 0; y < h; ++y)
                         for (int x = 0; x < w; x += 4) {
                             uint8_t* q = s.data() + y * stride + x;
                             q[0] = uint8_t(Yat(x, y)); q[1] = uint8_t(Uat(x / 4, y));
                             q[2] = uint8_t(Yat(x + 2, y)); q[3] = uint8_t(Vat(x / 4, y));
                         }
                     return s;
                 },
                 [](int x, int y) { return std::pair{Uat(x / 4, y), Vat(x / 4, y)}; },
                 [](int x, int y) { return Yat(x / 2 * 2, y); }});
    v.push_back({"I420", kConvI420, 5, 3,
                 [](int w, int h) {
                     const int cw = (w + 1) / 2, ch = (h + 1) / 2;
                     std::vector<uint8_t> s(size_t(w * h + 2 * cw * ch), 0);
                     for (int y = 0; y < h; ++y)
                         for (int x = 0; x < w; ++x) s[y * w + x] = uint8_t(Yat(x, y));
                     for (int cy = 0; cy < ch; ++cy)
                         for (int cx = 0; cx < cw; ++cx) {
                             s[w * h + cy * cw + cx] = uint8_t(Uat(cx, cy));
                             s[w * h + cw * ch + cy * cw + cx] = uint8_t(Vat(cx, cy));
                         }
                     return s;
                 },
                 [](int x, int y) { return std::pair{Uat(x / 2, y / 2), Vat(x / 2, y / 2)}; }});
    v.push_back({"YVU9", kConvYVU9, 9, 6,
                 [](int w, int h) {
                     const int cw = w / 4, ch = h / 4;
                     std::vector<uint8_t> s(size_t(w * h + 2 * cw * ch), 0);
                     for (int y = 0; y < h; ++y)
                         for (int x = 0; x < w; ++x) s[y * w + x] = uint8_t(Yat(x, y));
                     for (int cy = 0; cy < ch; ++cy)
                         for (int cx = 0; cx < cw; ++cx) {
                             s[w * h + cy * cw + cx] = uint8_t(Vat(cx, cy));            // V plane first
                             s[w * h + cw * ch + cy * cw + cx] = uint8_t(Uat(cx, cy));  // then U
                         }
                     return s;
                 },
                 [](int x, int y) { return std::pair{Uat(x / 4, y / 4), Vat(x / 4, y / 4)}; }, Yat,
                 [](int x, int y) { return x < 8 && y < 4; }});
    return v;
}

}  // namespace

TEST(YuvConverts, EveryLayoutBottomUpByTheFormula) {
    for (const Layout& l : Layouts()) {
        SCOPED_TRACE(l.name);
        std::vector<uint8_t> src = l.build(l.w, l.h);
        ASSERT_EQ(src.size(), YuvFrameBytes(l.id, l.h, l.w));
        std::vector<uint32_t> out(size_t(l.w * l.h), 0xDEADBEEF);
        ASSERT_TRUE(ConvertYuvFrame(l.id, src, out, l.h, l.w));
        for (int y = 0; y < l.h; ++y)
            for (int x = 0; x < l.w; ++x) {
                auto [u, v] = l.chroma(x, y);
                uint32_t want = l.covered(x, y) ? YuvToRgb(l.luma(x, y), u, v) : 0;
                // Source row y is target row h - 1 - y.
                ASSERT_EQ(out[size_t((l.h - 1 - y) * l.w + x)], want) << x << "," << y;
            }
        // A frame one byte short, or a target one pixel short, is refused and nothing is written.
        std::vector<uint32_t> untouched(size_t(l.w * l.h), 7);
        EXPECT_FALSE(ConvertYuvFrame(l.id, std::span(src).first(src.size() - 1), untouched, l.h, l.w));
        EXPECT_EQ(untouched[0], 7u);
        EXPECT_FALSE(ConvertYuvFrame(l.id, src, std::span(untouched).first(untouched.size() - 1), l.h, l.w));
    }
}

// Every Y and U against the formula worked in exact decimal integers (units of 1e-11), through the
// row converters of both chroma layouts, for a spread of V.
TEST(YuvConverts, RowConvertersAreExactForEveryValue) {
    auto ch = [](int64_t n) { return uint32_t(std::clamp<int64_t>(n < 0 ? 0 : n / 100000000000, 0, 255)); };
    auto want = [&](int y, int u, int v) {
        const int64_t yy = (y - 16) * int64_t(116438281250);
        return ch(yy + (u - 128) * int64_t(201723046875)) |
               (ch(yy - (u - 128) * int64_t(39176171875) - (v - 128) * int64_t(81296875000)) << 8) |
               (ch(yy + (v - 128) * int64_t(159602734375)) << 16);
    };
    const int w = 512, h = 256;  // pixel pair i of line u: Y i and 255 - i
    std::vector<uint32_t> out(size_t(w) * h);
    for (int v = 0; v < 256; v += v == 135 ? 1 : 5) {
        std::vector<uint8_t> yuy2(size_t(w) * h * 2), i420(size_t(w) * h + 2 * size_t(w / 2) * (h / 2));
        for (int u = 0; u < h; ++u)
            for (int i = 0; i < w / 2; ++i) {
                uint8_t* q = &yuy2[(size_t(u) * w + 2 * i) * 2];
                q[0] = uint8_t(i); q[1] = uint8_t(u); q[2] = uint8_t(255 - i); q[3] = uint8_t(v);
                i420[size_t(u) * w + 2 * i] = uint8_t(i);
                i420[size_t(u) * w + 2 * i + 1] = uint8_t(255 - i);
            }
        for (size_t c = 0; c < size_t(w / 2) * (h / 2); ++c) {
            i420[size_t(w) * h + c] = uint8_t(c / (w / 2) * 2);       // U of chroma line c: 2 x line
            i420[size_t(w) * h + size_t(w / 2) * (h / 2) + c] = uint8_t(v);
        }
        ASSERT_TRUE(ConvertYuvFrame(kConvYUY2, yuy2, out, h, w));
        for (int u = 0; u < h; ++u)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(out[size_t(h - 1 - u) * w + x], want(x % 2 ? 255 - x / 2 : x / 2, u, v)) << x << "," << u << "," << v;
        // Every I420 converter the processor runs (-1: the one ConvertYuvFrame picks among them).
        for (int kernel : {-1, int(kI420Plain), int(kI420Avx2), int(kI420Avx512)}) {
            if (kernel < 0 ? !ConvertYuvFrame(kConvI420, i420, out, h, w) : !ConvertI420With(kernel, i420, out, h, w)) {
                ASSERT_GT(kernel, int(kI420Plain));
                continue;
            }
            for (int line = 0; line < h; ++line)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(out[size_t(h - 1 - line) * w + x], want(x % 2 ? 255 - x / 2 : x / 2, line / 2 * 2, v))
                        << kernel << ": " << x << "," << line;
        }
        for (int y = 0; y < 256; y += 17) ASSERT_EQ(YuvToRgb(y, 255 - y, v), want(y, 255 - y, v));
    }
}

TEST(YuvConverts, GreyAndRefusals) {
    const uint8_t src[6] = {16, 235, 100, 16, 50, 255};
    std::vector<uint32_t> out(6);
    ASSERT_TRUE(ConvertYuvFrame(kConvY8, src, out, 2, 3));
    EXPECT_EQ(out[3], 0x00101010u);  // first source row at the bottom, Y unscaled
    EXPECT_EQ(out[4], 0x00EBEBEBu);
    EXPECT_EQ(out[0], 0x00101010u);
    EXPECT_FALSE(ConvertYuvFrame(kConvRgb, src, out, 2, 3));
    EXPECT_FALSE(ConvertYuvFrame(9, src, out, 2, 3));
    EXPECT_FALSE(ConvertYuvFrame(kConvY8, src, out, 0, 3));
    EXPECT_FALSE(ConvertYuvFrame(kConvY8, src, out, -2, 3));
}

// Lines whose length is not a whole number of vector steps end in a partial step: with every
// converter this processor runs, every width around the step sizes, odd and even line counts,
// exact per pixel and nothing written past the picture.
TEST(YuvConverts, I420LineTailsExactAndInBounds) {
    int kernels = 0;
    for (int kernel : {kI420Plain, kI420Avx2, kI420Avx512}) {
        for (int w : {1, 2, 7, 15, 16, 17, 31, 32, 33, 47, 63, 65, 161}) {
            for (int h : {1, 2, 5}) {
                SCOPED_TRACE(std::to_string(kernel) + ": " + std::to_string(w) + "x" + std::to_string(h));
                const int cw = (w + 1) / 2, ch = (h + 1) / 2;
                std::vector<uint8_t> src(YuvFrameBytes(kConvI420, h, w));
                for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 97 + (i >> 3) * 31);
                std::vector<uint32_t> out(size_t(w * h) + 40, 0xDEADBEEF);
                if (!ConvertI420With(kernel, src, std::span(out).first(size_t(w * h)), h, w)) {
                    ASSERT_NE(kernel, kI420Plain);  // the plain one runs everywhere
                    continue;
                }
                kernels += w == 1 && h == 1;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int c = (y / 2) * cw + x / 2;
                        ASSERT_EQ(out[size_t((h - 1 - y) * w + x)],
                                  YuvToRgb(src[size_t(y * w + x)], src[size_t(w * h + c)], src[size_t(w * h + cw * ch + c)]))
                            << x << "," << y;
                    }
                for (size_t i = size_t(w * h); i < out.size(); ++i) ASSERT_EQ(out[i], 0xDEADBEEFu);
            }
        }
    }
    EXPECT_GE(kernels, 1);
    // Too short a source or target is refused, as by ConvertYuvFrame.
    std::vector<uint8_t> src(YuvFrameBytes(kConvI420, 4, 4));
    std::vector<uint32_t> out(16);
    EXPECT_FALSE(ConvertI420With(kI420Plain, std::span(src).first(src.size() - 1), out, 4, 4));
    EXPECT_FALSE(ConvertI420With(kI420Plain, src, std::span(out).first(15), 4, 4));
}
