// The whole road of a printed page: page images through our raster driver, the spooler layer and
// the monitor library loaded at run time, to JPEG files and notices, checked with djpeg.
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <png.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "registry/registry.h"
#include "spooler/raster_driver.h"
#include "spooler/spooler.h"
#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using orb::spooler::Spooler;

constexpr const char* kMonitorKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader";
constexpr const char* kPrinter = "Orbelo Live 6 Document Loader";

// A document-like page: margins, a coloured heading bar, lines of "text" and a grey box.
testpm::Rgb MakePage(int w, int h, int variant) {
    testpm::Rgb img;
    img.w = w;
    img.h = h;
    img.px.assign(size_t(w) * size_t(h) * 3, 255);
    auto rect = [&](int x0, int y0, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = y0; y < std::min(h, y0 + rh); ++y)
            for (int x = x0; x < std::min(w, x0 + rw); ++x) {
                uint8_t* p = img.px.data() + (size_t(y) * size_t(w) + size_t(x)) * 3;
                p[0] = r, p[1] = g, p[2] = b;
            }
    };
    rect(60, 60, w - 120, 60, variant ? 20 : 200, 40, variant ? 200 : 30);
    for (int line = 0; line < 30; ++line)
        for (int word = 0; word < 8; ++word) rect(60 + word * 85, 160 + line * 24, 40 + (line * 7 + word * 13) % 35, 10, 0, 0, 0);
    rect(w / 2, h - 300, 200, 150, 128, 128, 128);
    return img;
}

void WritePpm(const std::string& path, const testpm::Rgb& img) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << img.w << " " << img.h << "\n255\n";
    f.write(reinterpret_cast<const char*>(img.px.data()), std::streamsize(img.px.size()));
}

void WritePng(const std::string& path, const testpm::Rgb& img) {
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    p.width = png_uint_32(img.w);
    p.height = png_uint_32(img.h);
    p.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&p, path.c_str(), 0, img.px.data(), 0, nullptr));
}

// Reads the PPM that djpeg writes.
bool ReadPpm(const std::string& data, testpm::Rgb& out) {
    std::istringstream in(data);
    std::string magic;
    int maxval = 0;
    in >> magic >> out.w >> out.h >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || out.w <= 0 || out.h <= 0) return false;
    out.px.resize(size_t(out.w) * size_t(out.h) * 3);
    in.read(reinterpret_cast<char*>(out.px.data()), std::streamsize(out.px.size()));
    return bool(in);
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs a command with extra environment, optional standard input from a file, capturing output.
Outcome RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& stdinFile,
            const fs::path& scratch) {
    Outcome o;
    std::string outFile = (scratch / "stdout").string(), errFile = (scratch / "stderr").string();
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, stdinFile.empty() ? "/dev/null" : stdinFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) envs.emplace_back(*e);
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> a, e;
    for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (auto& s : envs) e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, a[0], &fa, nullptr, a.data(), e.data()) == 0) {
        int st = 0;
        waitpid(pid, &st, 0);
        o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    auto slurp = [](const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    o.out = slurp(outFile);
    o.err = slurp(errFile);
    return o;
}

// Mean absolute difference per channel over the page above its footer.
double MeanError(const testpm::Rgb& a, const testpm::Rgb& b) {
    double sum = 0;
    int rows = a.h - 20;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < a.w; ++x)
            for (int c = 0; c < 3; ++c) sum += std::abs(int(a.at(x, y)[c]) - int(b.at(x, y)[c]));
    return sum / (double(rows) * a.w * 3);
}

class PrintRoad : public ::testing::Test {
protected:
    void SetUp() override {
        userConfig = dir.path / "config";
        machine = dir.path / "machine";
        export_ = dir.path / "export";
        fs::create_directories(export_);
        // The monitor inside this process (loaded at run time) and the commands find the same files.
        setenv("XDG_CONFIG_HOME", userConfig.c_str(), 1);
        setenv("ORB_REGISTRY_MACHINE_DIR", machine.c_str(), 1);
        orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
        using namespace orb::reg;
        Key mk = CreateKey(HKEY_LOCAL_MACHINE, kMonitorKey);
        ASSERT_TRUE(mk.WriteString("FilesRoot", (dir.path / "unused").string()));
        ASSERT_TRUE(mk.WriteString("PortName", "OrbeloLive6DocLoader"));
        // What the client's print path writes before printing.
        Key uk = CreateKey(HKEY_CURRENT_USER, "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6 Document Loader");
        ASSERT_TRUE(uk.WriteString("CurrentExportFolder", export_.string() + "/"));
        ASSERT_TRUE(uk.WriteString("FileNamePattern", "Slide_"));
        ASSERT_TRUE(uk.WriteString("Host", "127.0.0.1"));
        ASSERT_TRUE(uk.WriteDWord("Port", uint32_t(udp.port())));
    }

    std::vector<orb::TPrintNotice> Notices(size_t count) {
        std::vector<orb::TPrintNotice> all;
        std::vector<uint8_t> d;
        while (all.size() < count && udp.Receive(d)) {
            EXPECT_EQ(d.size(), 518u);
            orb::TPrintNotice n;
            if (orb::DecodePrintNotice(d, n)) all.push_back(n);
        }
        return all;
    }

    testpm::TempDir dir;
    testpm::UdpListener udp;
    fs::path userConfig, machine, export_;
};

TEST_F(PrintRoad, PageImagesBecomeJpegPagesThroughTheBackend) {
    // 100 dpi A4: 826 x 1169 pixels.
    auto page1 = MakePage(826, 1169, 0);
    auto page2 = MakePage(826, 1169, 1);
    WritePpm((dir.path / "p1.ppm").string(), page1);
    WritePng((dir.path / "p2.png").string(), page2);
    std::string stream = (dir.path / "job.prn").string();
    auto r = RunCommand({ORB_RASTERIZE_COMMAND, "--paper", "A4", "--dpi", "100", "--quality", "90", "-o", stream,
                  (dir.path / "p1.ppm").string(), (dir.path / "p2.png").string()},
                 {}, "", dir.path);
    ASSERT_EQ(r.status, 0) << r.err;

    std::vector<std::string> env = {"DEVICE_URI=pagorix:/OrbeloLive6DocLoader", std::string("PRINTER=") + kPrinter,
                                    std::string("ORB_PRINT_MONITOR=") + PAGORIX_LIBRARY};
    // The job's file named on the command line.
    r = RunCommand({ORB_SPOOL_COMMAND, "41", "ann", "lecture.pdf", "1", "", stream}, env, "", dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    // The monitor deleted the job itself; the spooler did not have to.
    EXPECT_EQ(r.err.find("removed by the spooler"), std::string::npos) << r.err;

    auto notices = Notices(6);
    ASSERT_EQ(notices.size(), 6u);
    int kinds[] = {2, 4, 5, 4, 5, 3};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(notices[i].kind, kinds[i]);
        EXPECT_EQ(notices[i].jobId, 41);
    }
    EXPECT_EQ(notices[2].path, export_.string() + "/Slide_1.jpg");
    EXPECT_EQ(notices[4].path, export_.string() + "/Slide_2.jpg");

    const testpm::Rgb* sources[] = {&page1, &page2};
    for (int i = 0; i < 2; ++i) {
        std::string jpeg = export_.string() + "/Slide_" + std::to_string(i + 1) + ".jpg";
        auto d = RunCommand({"/usr/bin/djpeg", "-pnm", jpeg}, {}, "", dir.path);
        ASSERT_EQ(d.status, 0) << d.err;
        testpm::Rgb decoded;
        ASSERT_TRUE(ReadPpm(d.out, decoded));
        ASSERT_EQ(decoded.w, 826);
        ASSERT_EQ(decoded.h, 1169);
        EXPECT_LT(MeanError(decoded, *sources[i]), 4.0) << jpeg;
        double m[3];
        testpm::MeanColour(decoded, 100, 70, 400, 40, m);
        EXPECT_NEAR(m[0], sources[i]->at(100, 70)[0], 12);
        EXPECT_NEAR(m[2], sources[i]->at(100, 70)[2], 12);
    }

    // The same stream from standard input, as a CUPS filter chain delivers it.
    r = RunCommand({ORB_SPOOL_COMMAND, "42", "ann", "again", "1", "media=A4"}, env, stream, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    notices = Notices(6);
    ASSERT_EQ(notices.size(), 6u);
    EXPECT_EQ(notices[0].jobId, 42);
    EXPECT_EQ(notices[4].path, export_.string() + "/Slide_2.jpg");
}

TEST_F(PrintRoad, DriverRefusesWhatIsNotAPage) {
    std::string bad = (dir.path / "bad.ppm").string();
    { std::ofstream(bad) << "P6\n4000 4000\n255\n" << std::string(100, 'x'); }
    auto r = RunCommand({ORB_RASTERIZE_COMMAND, "-o", (dir.path / "s").string(), bad}, {}, "", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("truncated PPM"), std::string::npos) << r.err;
    { std::ofstream(bad) << "P6\n100000 100000\n255\n"; }
    r = RunCommand({ORB_RASTERIZE_COMMAND, "-o", (dir.path / "s").string(), bad}, {}, "", dir.path);
    EXPECT_NE(r.err.find("image too large"), std::string::npos) << r.err;
    { std::ofstream(bad) << "GIF89a"; }
    r = RunCommand({ORB_RASTERIZE_COMMAND, bad}, {}, "", dir.path);
    EXPECT_NE(r.err.find("not a PPM or PNG"), std::string::npos) << r.err;
    EXPECT_EQ(RunCommand({ORB_RASTERIZE_COMMAND, "--dpi", "150", bad}, {}, "", dir.path).status, 2);
}

// The CUPS filter: an RGB page, a grey page (spread to RGB) and a page cut short give the
// driver's stream of the first two and an error for the third.
TEST_F(PrintRoad, RasterFilterTurnsRasterPagesIntoTheStream) {
    const unsigned w = 496, h = 701;  // A4 at 60 dpi
    const testpm::Rgb colour = MakePage(int(w), int(h), 1);
    std::vector<uint8_t> grey(size_t(w) * h);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t((i / w) % 7 == 0 ? (i * 13) % 256 : 255);
    const std::string raster = (dir.path / "job.ras").string();
    {
        int fd = open(raster.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        auto page = [&](cups_cspace_t space, unsigned bpp, const uint8_t* px, unsigned lines) {
            cups_page_header2_t hd;
            std::memset(&hd, 0, sizeof hd);
            hd.HWResolution[0] = hd.HWResolution[1] = 60;
            hd.PageSize[0] = 595;
            hd.PageSize[1] = 842;
            hd.cupsWidth = w;
            hd.cupsHeight = h;
            hd.cupsBitsPerColor = 8;
            hd.cupsBitsPerPixel = bpp;
            hd.cupsBytesPerLine = w * bpp / 8;
            hd.cupsColorOrder = CUPS_ORDER_CHUNKED;
            hd.cupsColorSpace = space;
            ASSERT_TRUE(cupsRasterWriteHeader2(r, &hd));
            ASSERT_EQ(cupsRasterWritePixels(r, const_cast<uint8_t*>(px), lines * hd.cupsBytesPerLine),
                      lines * hd.cupsBytesPerLine);
        };
        page(CUPS_CSPACE_RGB, 24, colour.px.data(), h);
        page(CUPS_CSPACE_W, 8, grey.data(), h);
        page(CUPS_CSPACE_RGB, 24, colour.px.data(), h / 2);
        cupsRasterClose(r);
        close(fd);
    }
    auto r = RunCommand({ORB_RASTER_FILTER_COMMAND, "7", "ann", "doc", "1", "OrbQuality=70", raster}, {}, "", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: raster page 3 cut off"), std::string::npos) << r.err;

    using namespace orb::rasterdriver;
    DriverSettings s;
    s.paper = Paper::A4;
    s.dpi = 60;
    s.quality = 70;
    RgbImage first{int(w), int(h), colour.px}, second{int(w), int(h), {}};
    for (uint8_t v : grey) second.rgb.insert(second.rgb.end(), 3, v);
    const std::vector<uint8_t> want = BuildJobStream({first, second}, s);
    EXPECT_EQ(r.out.size(), want.size());
    EXPECT_TRUE(r.out == std::string(want.begin(), want.end()));  // not printed: megabytes of binary
}

// A PDF of the given pages' media boxes ("w h"), each with one filled black square.
std::string MakePdf(const std::vector<std::string>& boxes) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (size_t i = 0; i < boxes.size(); ++i) {
        kids += std::to_string(3 + 2 * i) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + boxes[i] + "] /Contents " +
                          std::to_string(4 + 2 * i) + " 0 R >>");
        const std::string draw = "0 g 100 100 200 200 re f\n";
        objects.push_back("<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "endstream");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(boxes.size()) + " >>";
    std::string pdf = "%PDF-1.4\n", xref;
    for (size_t i = 0; i < objects.size(); ++i) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
        xref += entry;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t at = pdf.size();
    return pdf + "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n" + xref +
           "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(at) + "\n%%EOF\n";
}

// The PDF filter renders every page into the driver's stream at the asked resolution and
// refuses what is not a PDF or a page too large to paint.
TEST_F(PrintRoad, PdfFilterRendersEachPageAndRefusesWhatItCannot) {
    struct Case {
        const char* name;
        std::string document;
        int status;
        const char* err;
    } cases[] = {
        {"two pages", MakePdf({"595 842", "842 595"}), 0, "PAGE: 2 1"},
        {"not a pdf", "GIF89a and so on", 1, "ERROR: not a PDF"},
        {"page too large", MakePdf({"595 842", "200000 200000"}), 1, "ERROR: unsupported page 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = (dir.path / "doc.pdf").string();
        std::ofstream(file, std::ios::binary) << c.document;
        auto r = RunCommand({ORB_PDF_FILTER_COMMAND, "7", "ann", "doc", "1", "Resolution=60dpi OrbQuality=50", file},
                            {}, "", dir.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.status != 0) continue;
        // Reset, counter reset, A4 portrait, 60 dpi, quality 50; then the pages.
        const std::string start = {char(0x71), char(0x74), char(0x25), char(0x45), char(0x81), char(0x72)};
        EXPECT_EQ(r.out.substr(0, start.size()), start);
        // The square, 200 points at 60 dpi: 167 rows of black runs of at least 166 pixels.
        EXPECT_NE(r.out.find(std::string(166 * 3, '\0')), std::string::npos);
    }
}

TEST_F(PrintRoad, BackendRefusesBadArguments) {
    auto r = RunCommand({ORB_SPOOL_COMMAND}, {}, "", dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("direct pagorix", 0), 0u);
    std::vector<std::string> env = {std::string("ORB_PRINT_MONITOR=") + PAGORIX_LIBRARY};
    EXPECT_EQ(RunCommand({ORB_SPOOL_COMMAND, "x", "u", "t", "1", ""}, env, "", dir.path).status, 1);
    EXPECT_EQ(RunCommand({ORB_SPOOL_COMMAND, "1", "u", "t", "0", ""}, env, "", dir.path).status, 1);
    EXPECT_EQ(RunCommand({ORB_SPOOL_COMMAND, "1", "u", "t", "1", "", "/nonexistent"}, env, "", dir.path).status, 1);
    r = RunCommand({ORB_SPOOL_COMMAND, "1", "u", "t", "1", ""}, {"ORB_PRINT_MONITOR=/nonexistent/libx.so"}, "", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: cannot load"), std::string::npos);
    // A port the monitor does not have.
    env.push_back("DEVICE_URI=pagorix:/NoSuchPort");
    r = RunCommand({ORB_SPOOL_COMMAND, "1", "u", "t", "1", ""}, env, "", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("OpenPort failed with error 123"), std::string::npos) << r.err;
}

TEST_F(PrintRoad, SpoolerLayerDrivesTheLoadedMonitorInChunks) {
    std::string error;
    auto lib = orb::spooler::MonitorLibrary::Load(PAGORIX_LIBRARY, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader", error);
    ASSERT_TRUE(lib) << error;
    EXPECT_EQ(lib->Table().dwMonitorSize, sizeof(MONITOR));
    auto& spooler = Spooler::Instance();
    spooler.AddPrinter(u"Room", u"OrbeloLive6DocLoader");

    orb::rasterdriver::DriverSettings s;
    s.dpi = 60;
    auto stream = orb::rasterdriver::BuildJobStream({}, s);
    orb::rasterdriver::RgbImage img;
    img.width = 496;
    img.height = 701;
    img.rgb.assign(size_t(img.width) * img.height * 3, 255);
    for (int i = 0; i < 3000; ++i) img.rgb[size_t(i) * 97 % img.rgb.size()] = 0;
    orb::rasterdriver::AppendPage(stream, img, s);

    for (size_t chunk : {size_t(1), size_t(7), size_t(4096)}) {
        DWORD id = spooler.AddJob(u"Room", u"ann", u"doc");
        ASSERT_NE(id, 0u);
        orb::spooler::PrintJob job{u"OrbeloLive6DocLoader", u"Room", id, u"doc", chunk};
        size_t pos = 0;
        auto r = orb::spooler::RunPrintJob(lib->Entries(), job, [&](uint8_t* buf, size_t cap) -> long {
            size_t n = std::min(cap, stream.size() - pos);
            std::memcpy(buf, stream.data() + pos, n);
            pos += n;
            return long(n);
        });
        EXPECT_TRUE(r.ok) << r.failedStep << " " << r.lastError;
        EXPECT_EQ(r.bytesWritten, stream.size());
        EXPECT_EQ(size_t(r.writeCalls), (stream.size() + chunk - 1) / chunk);
        EXPECT_FALSE(spooler.HasJob(id)) << "chunk " << chunk;
        auto notices = Notices(4);
        ASSERT_EQ(notices.size(), 4u);
        EXPECT_EQ(notices[2].path, export_.string() + "/Slide_1.jpg");
    }

    // A read error still ends the document and closes the port, so the next job can open it.
    DWORD id = spooler.AddJob(u"Room", u"ann", u"doc");
    orb::spooler::PrintJob job{u"OrbeloLive6DocLoader", u"Room", id, u"doc", 64};
    auto r = orb::spooler::RunPrintJob(lib->Entries(), job, [](uint8_t*, size_t) -> long { return -1; });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedStep, "read");
    EXPECT_FALSE(spooler.HasJob(id));
    HANDLE h = nullptr;
    std::u16string port = u"OrbeloLive6DocLoader";
    ASSERT_TRUE(lib->Entries().pfnOpenPort(port.data(), &h));
    EXPECT_TRUE(lib->Entries().pfnClosePort(h));
}

}  // namespace

TEST_F(PrintRoad, BackendFailsWhenNoPageCouldBeSaved) {
    auto page = MakePage(826, 1169, 0);
    WritePpm((dir.path / "p1.ppm").string(), page);
    std::string stream = (dir.path / "job.prn").string();
    ASSERT_EQ(RunCommand({ORB_RASTERIZE_COMMAND, "--dpi", "100", "-o", stream, (dir.path / "p1.ppm").string()}, {}, "",
                         dir.path)
                  .status,
              0);
    // An export folder that does not exist: the page cannot be written.
    orb::reg::Key uk = orb::reg::OpenKey(orb::reg::Root::CurrentUser,
                               "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6 Document Loader");
    ASSERT_TRUE(uk.WriteString("CurrentExportFolder", (dir.path / "missing" / "deeper").string() + "/"));
    std::vector<std::string> env = {"DEVICE_URI=pagorix:/OrbeloLive6DocLoader", std::string("PRINTER=") + kPrinter,
                                    std::string("ORB_PRINT_MONITOR=") + PAGORIX_LIBRARY};
    auto r = RunCommand({ORB_SPOOL_COMMAND, "43", "ann", "lost", "1", "", stream}, env, "", dir.path);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("page file not written"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("bytes printed"), std::string::npos) << r.err;
    auto notices = Notices(4);
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[2].kind, 1);  // the error notice the client ends the job on
}
