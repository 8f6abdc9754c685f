// orb-rasterize: the raster printer driver as a command. Turns page images (binary PPM or PNG, one
// file per page) into the printer byte stream, on standard output or into the file given by -o.
//   orb-rasterize [--paper Letter|Legal|A4|A3] [--landscape] [--dpi 600|300|200|100|60]
//                 [--quality 50|70|80|90|100] [-o stream] page...

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "spooler/raster_driver.h"

int main(int argc, char** argv) {
    using namespace orb::rasterdriver;
    DriverSettings s;
    std::string outPath;
    std::vector<std::string> pages;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orb-rasterize: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--paper") {
            std::string p = value();
            if (p == "Letter") s.paper = Paper::Letter;
            else if (p == "Legal") s.paper = Paper::Legal;
            else if (p == "A4") s.paper = Paper::A4;
            else if (p == "A3") s.paper = Paper::A3;
            else s.paper = Paper(-1);
        } else if (a == "--landscape") {
            s.landscape = true;
        } else if (a == "--dpi") {
            s.dpi = std::atoi(value().c_str());
        } else if (a == "--quality") {
            s.quality = std::atoi(value().c_str());
        } else if (a == "-o") {
            outPath = value();
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "orb-rasterize: unknown option %s\n", a.c_str());
            return 2;
        } else {
            pages.push_back(a);
        }
    }
    if (!ValidSettings(s) || pages.empty()) {
        std::fprintf(stderr,
                     "usage: orb-rasterize [--paper Letter|Legal|A4|A3] [--landscape] [--dpi 600|300|200|100|60] "
                     "[--quality 50|70|80|90|100] [-o stream] page...\n");
        return 2;
    }
    std::vector<uint8_t> stream;
    AppendJobStart(stream, s);
    for (auto& p : pages) {
        RgbImage img;
        std::string err;
        if (!LoadPageImage(p, img, err)) {
            std::fprintf(stderr, "orb-rasterize: %s: %s\n", p.c_str(), err.c_str());
            return 1;
        }
        AppendPage(stream, img, s);
    }
    FILE* f = outPath.empty() ? stdout : std::fopen(outPath.c_str(), "wb");
    if (!f || std::fwrite(stream.data(), 1, stream.size(), f) != stream.size() || std::fflush(f) != 0) {
        std::fprintf(stderr, "orb-rasterize: cannot write the stream\n");
        return 1;
    }
    if (f != stdout) std::fclose(f);
    return 0;
}
