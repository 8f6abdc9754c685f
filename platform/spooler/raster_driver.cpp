#include "spooler/raster_driver.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orb::rasterdriver {

namespace {

constexpr int kPaperWidth[4] = {10200, 10200, 9921, 14028};    // 1/1200 inch
constexpr int kPaperHeight[4] = {13200, 16800, 14031, 19848};
constexpr int kDpi[5] = {600, 300, 200, 100, 60};
constexpr int kDivisor[5] = {2, 4, 6, 12, 20};
constexpr int kQuality[5] = {50, 70, 80, 90, 100};

constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = 64ll << 20;
// A run's byte count is a 16-bit parameter: whole pixels only.
constexpr int kMaxRunPixels = 65535 / 3;
// White gaps shorter than this stay inside a run: repositioning costs more than the bytes.
constexpr int kMinGap = 8;

int IndexOf(const int* table, int n, int v) {
    for (int i = 0; i < n; ++i)
        if (table[i] == v) return i;
    return -1;
}

void Param(std::vector<uint8_t>& out, uint8_t cmd, unsigned v) {
    out.push_back(cmd);
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

bool IsWhite(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

// The first pixel at or after x that is not white: eight pixels (24 bytes) a step while they are
// all white, as most of a printed page is.
int SkipWhite(const uint8_t* row, int x, int w) {
    for (; x + 8 <= w; x += 8) {
        uint64_t a, b, c;
        std::memcpy(&a, row + 3 * size_t(x), 8);
        std::memcpy(&b, row + 3 * size_t(x) + 8, 8);
        std::memcpy(&c, row + 3 * size_t(x) + 16, 8);
        if ((a & b & c) != ~uint64_t(0)) break;
    }
    while (x < w && IsWhite(row + 3 * size_t(x))) ++x;
    return x;
}

bool LoadPpm(const std::string& path, RgbImage& out, std::string& error) {
    std::error_code ec;
    auto fileSize = std::filesystem::file_size(path, ec);
    if (ec || fileSize > uint64_t(kMaxPixels) * 3 + 4096) {
        error = ec ? "cannot read " + path : "image too large";
        return false;
    }
    std::ifstream f(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t pos = 2;
    auto token = [&](long& v) {
        for (;;) {
            while (pos < data.size() && std::isspace(uint8_t(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        long n = 0;
        size_t start = pos;
        while (pos < data.size() && std::isdigit(uint8_t(data[pos])) && n <= 1000000) n = n * 10 + (data[pos++] - '0');
        v = n;
        return pos > start && n <= 1000000;
    };
    long w = 0, h = 0, maxval = 0;
    if (!token(w) || !token(h) || !token(maxval) || maxval != 255 || pos >= data.size()) {
        error = "unsupported PPM header";
        return false;
    }
    ++pos;  // the single blank after maxval
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || int64_t(w) * h > kMaxPixels) {
        error = "image too large";
        return false;
    }
    size_t need = size_t(w) * size_t(h) * 3;
    if (data.size() - pos < need) {
        error = "truncated PPM";
        return false;
    }
    out.width = int(w);
    out.height = int(h);
    out.rgb.assign(data.begin() + long(pos), data.begin() + long(pos + need));
    return true;
}

bool LoadPng(const std::string& path, RgbImage& out, std::string& error) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        error = img.message;
        return false;
    }
    if (img.width == 0 || img.height == 0 || img.width > kMaxSide || img.height > kMaxSide ||
        int64_t(img.width) * img.height > kMaxPixels) {
        png_image_free(&img);
        error = "image too large";
        return false;
    }
    img.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&img, &white, px.data(), 0, nullptr)) {
        error = img.message;
        png_image_free(&img);
        return false;
    }
    out.width = int(img.width);
    out.height = int(img.height);
    out.rgb = std::move(px);
    return true;
}

}  // namespace

bool ValidSettings(const DriverSettings& s) {
    int p = int(s.paper);
    return p >= 0 && p < 4 && IndexOf(kDpi, 5, s.dpi) >= 0 && IndexOf(kQuality, 5, s.quality) >= 0;
}

bool PaperOfPoints(unsigned w, unsigned h, Paper& paper, bool& landscape) {
    struct Size {
        Paper paper;
        unsigned w, h;
    };
    static const Size sizes[] = {{Paper::A4, 595, 842}, {Paper::Letter, 612, 792}, {Paper::Legal, 612, 1008},
                                 {Paper::A3, 842, 1191}};
    auto near = [](unsigned a, unsigned b) { return (a > b ? a - b : b - a) <= 3; };
    for (const auto& s : sizes) {
        if (near(w, s.w) && near(h, s.h)) {
            paper = s.paper;
            landscape = false;
            return true;
        }
        if (near(w, s.h) && near(h, s.w)) {
            paper = s.paper;
            landscape = true;
            return true;
        }
    }
    return false;
}

void PageSize(const DriverSettings& s, int& width, int& height) {
    int p = std::clamp(int(s.paper), 0, 3);
    int r = std::max(IndexOf(kDpi, 5, s.dpi), 0);
    int w = kPaperWidth[p] / kDivisor[r];
    int h = kPaperHeight[p] / kDivisor[r];
    width = s.landscape ? h : w;
    height = s.landscape ? w : h;
}

void AppendJobStart(std::vector<uint8_t>& out, const DriverSettings& s) {
    out.push_back(kCmdReset);
    out.push_back(kCmdResetCounter);
    out.push_back(uint8_t(kCmdPaperBase + 2 * std::clamp(int(s.paper), 0, 3) + (s.landscape ? 1 : 0)));
    out.push_back(uint8_t(kCmdResolutionBase + std::max(IndexOf(kDpi, 5, s.dpi), 0)));
    out.push_back(uint8_t(kCmdQualityBase + std::max(IndexOf(kQuality, 5, s.quality), 0)));
}

void AppendPage(std::vector<uint8_t>& out, const RgbImage& page, const DriverSettings& s) {
    int pw = 0, ph = 0;
    PageSize(s, pw, ph);
    // Positions travel in 1/600 inch; the renderer turns p into p x 2 / divisor pixels.
    const unsigned unit = unsigned(kDivisor[std::max(IndexOf(kDpi, 5, s.dpi), 0)] / 2);
    out.push_back(kCmdNewPage);
    int w = std::min(page.width, pw);
    int h = std::min(page.height, ph);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = page.rgb.data() + size_t(y) * size_t(page.width) * 3;
        bool rowPositioned = false;
        int x = 0;
        while (x < w) {
            x = SkipWhite(row, x, w);
            if (x >= w) break;
            int start = x, end = x, gap = 0;
            while (x < w && x - start < kMaxRunPixels) {
                if (IsWhite(row + 3 * x)) {
                    if (++gap >= kMinGap) break;
                } else {
                    gap = 0;
                    end = x + 1;
                }
                ++x;
            }
            x = end;
            if (!rowPositioned) {
                Param(out, kCmdSetY, unsigned(y) * unit);
                rowPositioned = true;
            }
            Param(out, kCmdSetX, unsigned(start) * unit);
            Param(out, kCmdRun, unsigned(end - start) * 3);
            out.insert(out.end(), row + 3 * start, row + 3 * end);
        }
    }
    out.push_back(kCmdEndPage);
}

std::vector<uint8_t> BuildJobStream(const std::vector<RgbImage>& pages, const DriverSettings& s) {
    std::vector<uint8_t> out;
    AppendJobStart(out, s);
    for (auto& p : pages) AppendPage(out, p, s);
    return out;
}

bool LoadPageImage(const std::string& path, RgbImage& out, std::string& error) {
    char magic[8] = {};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        size_t n = std::fread(magic, 1, sizeof magic, f);
        std::fclose(f);
        if (n >= 2 && magic[0] == 'P' && magic[1] == '6') return LoadPpm(path, out, error);
        if (n == 8 && png_sig_cmp(reinterpret_cast<png_const_bytep>(magic), 0, 8) == 0)
            return LoadPng(path, out, error);
        error = "not a PPM or PNG image";
        return false;
    }
    error = "cannot open " + path;
    return false;
}

}  // namespace orb::rasterdriver
