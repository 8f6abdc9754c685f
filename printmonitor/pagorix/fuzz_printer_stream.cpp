// Feeds arbitrary printer streams, cut into buffers of varying size, through the renderer.
#include <cstddef>
#include <cstdint>

#include "renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static pagorix::TvpjRenderer* renderer = [] {
        auto* r = new pagorix::TvpjRenderer;
        r->SetNoticeSink([](const orb::TPrintNotice& n, const std::string&, int) {
            auto bytes = orb::EncodePrintNotice(n);
            if (bytes.size() != orb::kPrintNoticeSize) __builtin_trap();
        });
        // Touch the first and last scan line instead of encoding a JPEG of every page.
        r->SetPageSaver([](const pagorix::PageBitmap& bmp, int quality, const std::string&) {
            if (quality < 1 || quality > 100) __builtin_trap();
            if (bmp.Empty()) return false;
            volatile uint8_t sink = bmp.ScanLine(0)[0] ^ bmp.ScanLine(bmp.height - 1)[bmp.Stride() - 1];
            (void)sink;
            return true;
        });
        r->SetExportFolder("/nonexistent/");
        r->SetFilePrefix("Slide_");
        return r;
    }();
    renderer->BeginDocument();
    // The first byte picks the buffer sizes, so splits at every position get exercised.
    size_t step = size_t(data[0] % 17) + 1;
    size_t pos = 1;
    unsigned turn = 0;
    while (pos < size) {
        size_t n = std::min(size - pos, step + (turn++ % 3));
        renderer->WriteData(data + pos, uint32_t(n));
        pos += n;
    }
    return 0;
}
