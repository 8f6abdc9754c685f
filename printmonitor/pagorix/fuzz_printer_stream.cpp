// Feeds arbitrary printer streams, cut into buffers of varying size, through the renderer.
#include <cstddef>
#include <cstdint>

#include "renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    pagorix::TvpjRenderer r;
    r.SetNoticeSink([](const orb::TPrintNotice& n, const std::string&, int) {
        if (orb::EncodePrintNotice(n).size() != orb::kPrintNoticeSize) __builtin_trap();
    });
    // Touch the first and last byte of the page instead of encoding a JPEG of every page.
    r.SetPageSaver([](const pagorix::PageBitmap& bmp, int quality, const std::string&) {
        if (quality < 1 || quality > 100 || bmp.Empty()) __builtin_trap();
        if (bmp.pixels.size() != bmp.Stride() * size_t(bmp.height)) __builtin_trap();
        volatile uint8_t sink = bmp.ScanLine(0)[0] ^ bmp.ScanLine(bmp.height - 1)[bmp.Stride() - 1];
        (void)sink;
        return true;
    });
    // Pages up to A3 at 60 dpi are painted; larger ones take the error path. Filling hundreds of
    // megabytes per input would leave the fuzzer no time for the parser.
    r.SetBitmapByteLimit(4u << 20);
    r.SetExportFolder("/nonexistent/");
    r.SetFilePrefix("Slide_");
    r.BeginDocument();
    // The first byte picks the buffer sizes, so splits at every position get exercised; a second
    // document on the same renderer starts halfway.
    size_t step = size_t(data[0] % 17) + 1;
    size_t pos = 1, restart = size / 2;
    unsigned turn = 0;
    while (pos < size) {
        size_t n = std::min(size - pos, step + (turn++ % 3));
        if (pos < restart && pos + n > restart) n = restart - pos;
        r.WriteData(data + pos, uint32_t(n));
        pos += n;
        if (pos == restart && (data[0] & 0x80)) r.BeginDocument();
    }
    return 0;
}
