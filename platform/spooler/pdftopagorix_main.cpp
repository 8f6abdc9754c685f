// orb-pdftopagorix: the document printer's CUPS filter for PDF. Renders each page with poppler at
// the printer's resolution and writes the printer byte stream the print monitor renders, as
// orb-rastertopagorix does for raster pages: the page never travels as megabytes of raster through
// a pipe between a renderer and a second filter.
//   orb-pdftopagorix job-id user title copies options [file]
// Options: Resolution=60dpi|100dpi|200dpi|300dpi|600dpi (else the PPD's default, else 100 dpi),
// OrbQuality=50|70|80|90|100 (JPEG quality of the pages, default 80).

#include <cups/cups.h>
#include <fcntl.h>
#include <malloc.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "spooler/filter_input.h"
#include "spooler/raster_driver.h"

namespace {

using namespace orb::rasterdriver;

constexpr unsigned kMaxSide = 16384;                 // as the raster filter: pixels a side
constexpr uint64_t kMaxPixels = 64ull << 20;         // and pixels a page
constexpr size_t kMaxDocumentBytes = size_t(1) << 30;

bool WriteAll(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool ReadAll(int fd, std::vector<char>& out) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + size_t(n) > kMaxDocumentBytes) return false;
        out.insert(out.end(), buf, buf + n);
    }
}

// "100dpi" or "100x100dpi": the horizontal figure; 0 for anything else.
int DpiOf(const std::string& v) {
    char* end = nullptr;
    long dpi = std::strtol(v.c_str(), &end, 10);
    if (end == v.c_str() || dpi <= 0 || dpi > 100000) return 0;
    if (*end == 'x') {
        char* rest = nullptr;
        std::strtol(end + 1, &rest, 10);
        end = rest;
    }
    return std::strcmp(end, "dpi") == 0 ? int(dpi) : 0;
}

// The PPD's *DefaultResolution (the PPD is ours: one plain line).
int PpdDefaultDpi() {
    const char* path = std::getenv("PPD");
    if (!path || !*path) return 0;
    std::ifstream in(path);
    std::string line;
    const std::string key = "*DefaultResolution:";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string v = line.substr(key.size());
        v.erase(0, v.find_first_not_of(" \t"));
        v.erase(v.find_last_not_of(" \t\r") + 1);
        return DpiOf(v);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int fd = orb::rasterdriver::OpenFilterInput(argc, argv);
    if (fd < 0) return 1;
    // Every page takes a page-sized bitmap from the renderer and gives it back: kept in the heap
    // instead of mapped and unmapped each time, later pages reuse memory the first one touched.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    cups_option_t* options = nullptr;
    int optionCount = cupsParseOptions(argv[5], 0, &options);
    int quality = 80;
    if (const char* q = cupsGetOption("OrbQuality", optionCount, options)) quality = std::atoi(q);
    int dpi = 0;
    if (const char* r = cupsGetOption("Resolution", optionCount, options)) dpi = DpiOf(r);
    cupsFreeOptions(optionCount, options);
    if (dpi == 0) dpi = PpdDefaultDpi();
    if (dpi == 0) dpi = 100;

    // Our pages go out in one write each, megabytes at 600 dpi: a wider pipe to the backend.
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);

    std::vector<char> pdf;
    const bool read = ReadAll(fd, pdf);
    if (fd > 0) close(fd);
    if (!read || pdf.empty()) {
        std::fprintf(stderr, "ERROR: cannot read the document\n");
        return 1;
    }
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(pdf.data(), int(pdf.size())));
    if (!doc || doc->is_locked()) {
        std::fprintf(stderr, "ERROR: not a PDF document this filter can open\n");
        return 1;
    }
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_image_format(poppler::image::format_rgb24);

    std::vector<uint8_t> out;
    RgbImage page;  // kept from page to page so later pages reuse the memory
    bool started = false;
    int pages = 0;
    int status = 0;
    for (int i = 0; i < doc->pages(); ++i) {
        std::unique_ptr<poppler::page> p(doc->create_page(i));
        if (!p) {
            std::fprintf(stderr, "ERROR: page %d cannot be read\n", i + 1);
            status = 1;
            break;
        }
        // The page as it is shown: a quarter turn swaps its sides.
        const poppler::rectf box = p->page_rect(poppler::media_box);
        const bool turned =
            p->orientation() == poppler::page::landscape || p->orientation() == poppler::page::seascape;
        const double wPt = turned ? box.height() : box.width(), hPt = turned ? box.width() : box.height();
        const double wPx = std::ceil(wPt * dpi / 72.0), hPx = std::ceil(hPt * dpi / 72.0);
        if (!(wPt > 0 && hPt > 0) || wPx > kMaxSide || hPx > kMaxSide || wPx * hPx > double(kMaxPixels)) {
            std::fprintf(stderr, "ERROR: unsupported page %d (%.0fx%.0f points at %d dpi)\n", i + 1, wPt, hPt, dpi);
            status = 1;
            break;
        }
        DriverSettings s;
        s.dpi = dpi;
        s.quality = quality;
        const unsigned wRound = unsigned(std::lround(wPt)), hRound = unsigned(std::lround(hPt));
        if (!PaperOfPoints(wRound, hRound, s.paper, s.landscape)) {
            std::fprintf(stderr, "INFO: page size %ux%u points printed on A4\n", wRound, hRound);
            s.landscape = wRound > hRound;
        }
        if (!ValidSettings(s)) {
            std::fprintf(stderr, "ERROR: %d dpi or quality %d is not offered by the document printer\n", s.dpi,
                         s.quality);
            status = 1;
            break;
        }
        const poppler::image img = renderer.render_page(p.get(), dpi, dpi);
        if (!img.is_valid() || img.format() != poppler::image::format_rgb24 || img.width() <= 0 ||
            img.height() <= 0) {
            std::fprintf(stderr, "ERROR: page %d could not be rendered\n", i + 1);
            status = 1;
            break;
        }
        // Rows of the rendering are padded; the driver takes them tight.
        const size_t rowBytes = size_t(img.width()) * 3;
        page.width = img.width();
        page.height = img.height();
        page.rgb.resize(rowBytes * size_t(img.height()));
        for (int y = 0; y < img.height(); ++y)
            std::memcpy(page.rgb.data() + size_t(y) * rowBytes, img.const_data() + size_t(y) * size_t(img.bytes_per_row()),
                        rowBytes);
        out.clear();
        if (!started) {
            AppendJobStart(out, s);
            started = true;
        }
        AppendPage(out, page, s);
        if (!WriteAll(out)) {
            std::fprintf(stderr, "ERROR: cannot write the printer stream\n");
            status = 1;
            break;
        }
        ++pages;
        std::fprintf(stderr, "PAGE: %d 1\n", pages);
    }
    if (status == 0 && pages == 0) {
        std::fprintf(stderr, "ERROR: no page in the document\n");
        status = 1;
    }
    return status;
}
