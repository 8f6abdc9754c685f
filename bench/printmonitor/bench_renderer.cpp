// One A4 page at 300 dpi of document-like content: printer stream -> renderer -> JPEG file, in
// milliseconds per page, beside libjpeg-turbo's own encode of the same bitmap at the same quality
// and a memcpy of the bitmap, all measured in this run.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "renderer.h"
#include "spooler/raster_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Lines of "words", a coloured heading, a photo-like block and a table's rules.
orb::rasterdriver::RgbImage DocumentPage(int w, int h) {
    orb::rasterdriver::RgbImage img;
    img.width = w;
    img.height = h;
    img.rgb.assign(size_t(w) * size_t(h) * 3, 255);
    auto px = [&](int x, int y) { return img.rgb.data() + (size_t(y) * size_t(w) + size_t(x)) * 3; };
    auto rect = [&](int x0, int y0, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = y0; y < std::min(h, y0 + rh); ++y)
            for (int x = x0; x < std::min(w, x0 + rw); ++x) {
                uint8_t* p = px(x, y);
                p[0] = r, p[1] = g, p[2] = b;
            }
    };
    unsigned seed = 7;
    auto rnd = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    rect(240, 240, w - 480, 120, 30, 60, 160);
    for (int line = 0; line < 90; ++line) {
        int y = 480 + line * 32;
        if (y > h - 600) break;
        int x = 240;
        while (x < w - 300) {
            int word = 30 + int(rnd() % 120);
            // Glyph-like strokes: short vertical bars and a base line.
            for (int g = 0; g < word; g += 9) rect(x + g, y, 4, 18 + int(rnd() % 6), 0, 0, 0);
            rect(x, y + 18, word, 2, 0, 0, 0);
            x += word + 20;
        }
    }
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 700; ++x) {
            uint8_t* p = px(1500 + x, 2600 + y);
            p[0] = uint8_t(x * 255 / 700);
            p[1] = uint8_t(y * 255 / 500);
            p[2] = uint8_t((x + y) % 256);
        }
    for (int r = 0; r < 8; ++r) rect(240, 2600 + r * 60, 1100, 3, 90, 90, 90);
    return img;
}

double LibjpegEncode(const pagorix::PageBitmap& bmp, int quality, size_t& bytes) {
    auto t0 = Clock::now();
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(bmp.width);
    c.image_height = JDIMENSION(bmp.height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bmp.ScanLine(int32_t(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    bytes = size;
    std::free(mem);
    return Ms(Clock::now() - t0);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    orb::rasterdriver::DriverSettings s;  // A4, 300 dpi
    s.quality = 80;
    int w = 0, h = 0;
    orb::rasterdriver::PageSize(s, w, h);
    auto page = DocumentPage(w, h);
    std::vector<uint8_t> stream;
    orb::rasterdriver::AppendJobStart(stream, s);
    size_t pageStart = stream.size();
    orb::rasterdriver::AppendPage(stream, page, s);
    // Everything up to the end-of-page command: interpretation alone.
    std::vector<uint8_t> body(stream.begin(), stream.end() - 1);

    std::string folder = std::filesystem::temp_directory_path().string() + "/bench-renderer-" +
                         std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);

    pagorix::TvpjRenderer r;
    r.SetNoticeSink([](const orb::TPrintNotice&, const std::string&, int) {});
    r.SetExportFolder(folder);
    r.SetFilePrefix("Page_");
    std::vector<double> interpret, whole, encode, copy;
    size_t jpegBytes = 0;
    std::vector<uint8_t> copyTarget(size_t(w) * size_t(h) * 3);
    for (int i = 0; i < rounds; ++i) {
        r.BeginDocument();
        auto t0 = Clock::now();
        r.WriteData(body.data(), uint32_t(body.size()));
        interpret.push_back(Ms(Clock::now() - t0));
        uint8_t end = 0x73;
        r.WriteData(&end, 1);

        r.BeginDocument();
        t0 = Clock::now();
        r.WriteData(stream.data(), uint32_t(stream.size()));
        whole.push_back(Ms(Clock::now() - t0));

        encode.push_back(LibjpegEncode(r.Bitmap(), 80, jpegBytes));
        t0 = Clock::now();
        std::memcpy(copyTarget.data(), r.Bitmap().pixels.data(), copyTarget.size());
        copy.push_back(Ms(Clock::now() - t0));
    }
    std::filesystem::remove_all(folder);

    double tInterp = Median(interpret), tWhole = Median(whole), tEnc = Median(encode), tCopy = Median(copy);
    std::printf("page %d x %d, stream %zu bytes (%zu of raster and commands), JPEG %zu bytes, %d rounds\n", w, h,
                stream.size(), stream.size() - pageStart, jpegBytes, rounds);
    std::printf("memcpy of the bitmap          %8.2f ms\n", tCopy);
    std::printf("libjpeg-turbo encode (q80)    %8.2f ms   1.00x\n", tEnc);
    std::printf("stream interpretation         %8.2f ms   %.2fx encode\n", tInterp, tInterp / tEnc);
    std::printf("stream -> JPEG file           %8.2f ms   %.2fx encode\n", tWhole, tWhole / tEnc);
    return 0;
}
