// orb-rastertopagorix: the CUPS filter of the document printer. Reads CUPS raster pages (8-bit RGB,
// or 8-bit grey) and writes the printer byte stream the print monitor renders, starting with the
// reset and counter-reset commands so every job's pages are numbered from 1.
//   orb-rastertopagorix job-id user title copies options [file]
// Options: OrbQuality=50|70|80|90|100 (JPEG quality of the pages, default 80).

#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "spooler/filter_input.h"
#include "spooler/raster_driver.h"

namespace {

using namespace orb::rasterdriver;

constexpr int kPipeBytes = 1 << 20;  // the usual limit for an unprivileged process (fs/pipe-max-size)

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

void WidenPipe(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
}

}  // namespace

int main(int argc, char** argv) {
    const int fd = orb::rasterdriver::OpenFilterInput(argc, argv);
    if (fd < 0) return 1;
    cups_option_t* options = nullptr;
    int optionCount = cupsParseOptions(argv[5], 0, &options);
    int quality = 80;
    if (const char* q = cupsGetOption("OrbQuality", optionCount, options)) quality = std::atoi(q);
    cupsFreeOptions(optionCount, options);

    // A page is megabytes of raster in and out: with the pipes' default 64 KB the renderer before
    // us and the backend after us would wait on each other some fifty times a page.
    WidenPipe(fd);
    WidenPipe(STDOUT_FILENO);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (!raster) {
        std::fprintf(stderr, "ERROR: not a CUPS raster stream\n");
        return 1;
    }
    cups_page_header2_t header;
    std::vector<uint8_t> line, out;
    // One page's pixels, kept from page to page so later pages reuse the memory.
    RgbImage page;
    bool started = false;
    int pages = 0;
    int status = 0;
    while (cupsRasterReadHeader2(raster, &header)) {
        const unsigned w = header.cupsWidth, h = header.cupsHeight;
        const bool rgb = (header.cupsColorSpace == CUPS_CSPACE_RGB || header.cupsColorSpace == CUPS_CSPACE_SRGB) &&
                         header.cupsBitsPerPixel == 24;
        const bool grey = (header.cupsColorSpace == CUPS_CSPACE_W || header.cupsColorSpace == CUPS_CSPACE_SW) &&
                          header.cupsBitsPerPixel == 8;
        if (header.cupsBitsPerColor != 8 || (!rgb && !grey) || header.cupsColorOrder != CUPS_ORDER_CHUNKED ||
            w == 0 || h == 0 || w > 16384 || h > 16384 || uint64_t(w) * h > (64ull << 20) ||
            header.cupsBytesPerLine != w * (rgb ? 3u : 1u)) {
            std::fprintf(stderr, "ERROR: unsupported raster page (%ux%u, %u bits per pixel, colour space %u)\n", w, h,
                         header.cupsBitsPerPixel, unsigned(header.cupsColorSpace));
            status = 1;
            break;
        }
        DriverSettings s;
        s.dpi = int(header.HWResolution[0]);
        s.quality = quality;
        if (!PaperOfPoints(header.PageSize[0], header.PageSize[1], s.paper, s.landscape)) {
            std::fprintf(stderr, "INFO: page size %ux%u points printed on A4\n", header.PageSize[0],
                         header.PageSize[1]);
            s.landscape = header.PageSize[0] > header.PageSize[1];
        }
        if (!ValidSettings(s)) {
            std::fprintf(stderr, "ERROR: %d dpi or quality %d is not offered by the document printer\n", s.dpi,
                         s.quality);
            status = 1;
            break;
        }
        page.width = int(w);
        page.height = int(h);
        page.rgb.resize(size_t(w) * h * 3);
        // The whole page in one call (at most 192 MB by the checks above): libcups then reads the
        // stream in large pieces instead of a system call per line. RGB pages land straight in
        // the page; grey ones are spread after.
        const unsigned bytes = header.cupsBytesPerLine * h;
        if (!rgb) line.resize(bytes);
        if (cupsRasterReadPixels(raster, rgb ? page.rgb.data() : line.data(), bytes) != bytes) {
            std::fprintf(stderr, "ERROR: raster page %d cut off\n", pages + 1);
            status = 1;
        }
        if (!rgb && !status) {
            // Grey pages are white-based (W or SW), so a sample is the value of all three colours.
            for (size_t i = 0; i < size_t(w) * h; ++i) page.rgb[3 * i] = page.rgb[3 * i + 1] = page.rgb[3 * i + 2] = line[i];
        }
        if (status) break;
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
    cupsRasterClose(raster);
    if (fd > 0) close(fd);
    if (status == 0 && pages == 0) {
        std::fprintf(stderr, "ERROR: no page in the raster stream\n");
        status = 1;
    }
    return status;
}
