#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "renderer.h"
#include "spooler/monitor_api.h"
#include "test_support.h"

namespace {

using pagorix::PageBitmap;
using pagorix::TvpjRenderer;
using testpm::Stream;

struct SavedPage {
    std::string path;
    int quality;
    PageBitmap bmp;
};

class Renderer : public ::testing::Test {
protected:
    void SetUp() override {
        r.SetNoticeSink([this](const orb::TPrintNotice& n, const std::string& host, int port) {
            notices.push_back(n);
            hosts.push_back(host + ":" + std::to_string(port));
        });
        r.SetPageSaver([this](const PageBitmap& b, int q, const std::string& path) {
            pages.push_back({path, q, b});
            return true;
        });
        r.SetExportFolder("/export/");
        r.SetFilePrefix("Slide_");
        r.BeginDocument();
    }
    void Feed(const Stream& s) { Feed(s.b); }
    void Feed(const std::vector<uint8_t>& b) { r.WriteData(b.data(), uint32_t(b.size())); }
    std::vector<int> Kinds() const {
        std::vector<int> k;
        for (auto& n : notices) k.push_back(n.kind);
        return k;
    }
    // Blue, green, red of a pixel of the live bitmap.
    std::vector<int> Px(int x, int y) {
        const uint8_t* p = r.Bitmap().ScanLine(y) + 3 * x;
        return {p[0], p[1], p[2]};
    }

    TvpjRenderer r;
    std::vector<orb::TPrintNotice> notices;
    std::vector<std::string> hosts;
    std::vector<SavedPage> pages;
};

const std::vector<int> kWhite = {255, 255, 255};

TEST_F(Renderer, PaperResolutionAndQualityTables) {
    Feed(Stream().cmd(0x71));
    EXPECT_EQ(r.BitmapWidth(), 2480);  // A4 at 300 dpi, portrait
    EXPECT_EQ(r.BitmapHeight(), 3507);
    Feed(Stream().cmd(0x26).cmd(0x41));  // A4 landscape, 600 dpi
    EXPECT_EQ(r.BitmapWidth(), 7015);
    EXPECT_EQ(r.BitmapHeight(), 4960);
    struct Row {
        uint8_t paper, res;
        int w, h;
    } rows[] = {{0x21, 0x42, 2550, 3300}, {0x24, 0x43, 2800, 1700}, {0x27, 0x45, 701, 992}, {0x22, 0x44, 1100, 850}};
    for (auto& row : rows) {
        Feed(Stream().cmd(row.paper).cmd(row.res));
        EXPECT_EQ(r.BitmapWidth(), row.w) << int(row.paper);
        EXPECT_EQ(r.BitmapHeight(), row.h) << int(row.paper);
    }
    // 0x01 and 0x02 turn the page of the current paper.
    Feed(Stream().cmd(0x01));
    EXPECT_EQ(r.BitmapWidth(), 850);
    EXPECT_EQ(r.Orientation(), 0);
    // Quality starts at 50; 0x81..0x85 pick 50, 70, 80, 90, 100.
    Feed(Stream().cmd(0x72).cmd(0x73).cmd(0x85).cmd(0x72).cmd(0x73).cmd(0x82).cmd(0x72).cmd(0x73));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].quality, 50);
    EXPECT_EQ(pages[1].quality, 100);
    EXPECT_EQ(pages[2].quality, 70);
}

TEST_F(Renderer, ParametersAndRunsSplitAcrossBuffers) {
    Feed(Stream().cmd(0x71));
    Feed({0x91, 0x58});  // x = 0x0258 = 600/600 inch = 300 pixels at 300 dpi
    EXPECT_EQ(r.ParserState(), TvpjRenderer::stParamHigh);
    Feed({0x02});
    EXPECT_EQ(r.CursorX(), 300);
    Feed({0x92});
    Feed({0x64});
    Feed({0x00});
    EXPECT_EQ(r.CursorY(), 50);
    // A run of two pixels cut after its first parameter byte and inside each pixel.
    Feed({0x93, 0x06});
    Feed({0x00, 10});
    Feed({20, 30, 40});
    Feed({50});
    Feed({60, 0x94});
    EXPECT_EQ(Px(300, 50), (std::vector<int>{30, 20, 10}));
    EXPECT_EQ(Px(301, 50), (std::vector<int>{60, 50, 40}));
    EXPECT_EQ(r.CursorX(), 0);  // 0x94 was read as a command, not a raster byte
}

TEST_F(Renderer, RunEdgeCases) {
    Feed(Stream().cmd(0x71).cmd(0x72));
    // A zero-length run takes no raster byte: 0x72 right after it is the next command.
    Feed(Stream().param(0x93, 0).cmd(0x72));
    EXPECT_EQ(Kinds(), (std::vector<int>{4, 4}));
    // Seven bytes paint two pixels; the seventh byte makes none and the cursor does not move.
    Feed(Stream().y(200).x(20).run({10, 20, 30, 40, 50, 60, 70}));
    EXPECT_EQ(Px(10, 100), (std::vector<int>{30, 20, 10}));
    EXPECT_EQ(Px(11, 100), (std::vector<int>{60, 50, 40}));
    EXPECT_EQ(Px(12, 100), kWhite);
    EXPECT_EQ(r.CursorX(), 10);
    EXPECT_EQ(r.ParserState(), TvpjRenderer::stCommand);
    // A run from the last column paints that column only: nothing wraps onto the next row.
    Feed(Stream().y(400).x(2479 * 2).fill(3, 255, 0, 0));
    EXPECT_EQ(Px(2479, 200), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Px(0, 201), kWhite);
    EXPECT_EQ(Px(1, 201), kWhite);
    // Positions far outside the page drop their pixels.
    Feed(Stream().y(65535).x(0).fill(10, 0, 0, 0).y(0).x(65535).fill(10, 0, 0, 0));
    EXPECT_EQ(r.CursorX(), 32767);
    EXPECT_EQ(Px(0, 0), kWhite);
    // A run longer than the row stops at the right edge.
    Feed(Stream().y(600).x(4000).fill(21845, 0, 255, 0).cmd(0x73));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Px(1999, 300), kWhite);
    EXPECT_EQ(Px(2000, 300), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(Px(2479, 300), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(Px(0, 301), kWhite);
}

TEST_F(Renderer, PagesNumbersAndFileNames) {
    // Commands that only have to be consumed, and 0x50 with its discarded parameter (0x72 0x72).
    Feed(Stream().cmd(0x10).cmd(0x31).cmd(0x32).cmd(0x60).cmd(0x75).cmd(0xA0).cmd(0xA1).param(0x50, 0x7272));
    EXPECT_TRUE(notices.empty());
    Feed(Stream().cmd(0x71).cmd(0x74).cmd(0x72).cmd(0x73).cmd(0x72).cmd(0x73).cmd(0x71).cmd(0x72).cmd(0x73));
    ASSERT_EQ(notices.size(), 6u);
    int expectPage[] = {1, 1, 2, 2, 1, 1};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(notices[i].kind, i % 2 ? 5 : 4);
        EXPECT_EQ(notices[i].pageNumber, expectPage[i]);
        EXPECT_EQ(notices[i].pageValue, expectPage[i]);
    }
    EXPECT_EQ(notices[0].path, "/export/");
    // The reset restarts page numbers but not the file counter; 0x74 restarts that.
    EXPECT_EQ(notices[1].path, "/export/Slide_1.jpg");
    EXPECT_EQ(notices[3].path, "/export/Slide_2.jpg");
    EXPECT_EQ(notices[5].path, "/export/Slide_3.jpg");
    Feed(Stream().cmd(0x74).cmd(0x72).cmd(0x73).cmd(0x72).cmd(0x73));
    EXPECT_EQ(pages[3].path, "/export/Slide_1.jpg");
    EXPECT_EQ(pages[4].path, "/export/Slide_2.jpg");
    // The prefix never takes the file out of the export folder.
    r.SetFilePrefix("../../etc/Page_");
    Feed(Stream().cmd(0x72).cmd(0x73));
    EXPECT_EQ(pages.back().path, "/export/Page_3.jpg");
    for (auto& h : hosts) EXPECT_EQ(h, "127.0.0.1:22227");
}

TEST_F(Renderer, PagesStartWhiteAndNeedABegunPage) {
    // End of page without a begun page saves nothing.
    Feed(Stream().cmd(0x73));
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(notices.empty());
    Feed(Stream().cmd(0x71).cmd(0x45).cmd(0x72).y(100).x(100).fill(50, 0, 0, 0).cmd(0x73).cmd(0x72).cmd(0x73));
    ASSERT_EQ(pages.size(), 2u);
    const PageBitmap& second = pages[1].bmp;
    ASSERT_EQ(second.width, 496);
    ASSERT_EQ(second.height, 701);
    // Page two is white everywhere above the footer, also where page one was painted.
    for (int y = 0; y < second.height - 16; ++y)
        for (size_t i = 0; i < second.Stride(); ++i) ASSERT_EQ(second.ScanLine(y)[i], 0xFF) << y;
    EXPECT_EQ(pages[0].bmp.ScanLine(10)[3 * 10], 0);
    // A reset in the middle of a page does not end it: the page is still saved, now numbered 0.
    Feed(Stream().cmd(0x72).cmd(0x71).cmd(0x73));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(notices.back().kind, 5);
    EXPECT_EQ(notices.back().pageNumber, 0);
    EXPECT_EQ(notices.back().pageValue, 0);
}

TEST_F(Renderer, TurningThePageKeepsWhatOverlaps) {
    // 60 dpi A4: 496 x 701 in portrait, 701 x 496 in landscape.
    Feed(Stream().cmd(0x71).cmd(0x45).cmd(0x72).y(100).x(100).fill(2, 0, 0, 0).y(5500).x(50).fill(1, 0, 0, 0));
    Feed(Stream().cmd(0x02).y(200).x(1300).fill(1, 0, 0, 0));
    ASSERT_EQ(r.BitmapWidth(), 701);
    EXPECT_EQ(Px(10, 10), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(11, 10), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(130, 20), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(600, 10), kWhite);  // the part that came new is white
    // Back to portrait: the pixel right of column 496 is outside and gone, the rest stays.
    Feed(Stream().cmd(0x01).y(40).x(40).fill(1, 0, 0, 0));
    EXPECT_EQ(Px(10, 10), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(130, 20), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(4, 4), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Px(5, 550), kWhite);   // row 550 was cut off in landscape
    EXPECT_EQ(Px(495, 10), kWhite);
    Feed(Stream().cmd(0x73).cmd(0x72).cmd(0x73));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].bmp.ScanLine(10)[3 * 10], 0);
    // The next page is white again wherever the turned page was painted.
    for (int y = 0; y < pages[1].bmp.height - 16; ++y)
        for (size_t i = 0; i < pages[1].bmp.Stride(); ++i) ASSERT_EQ(pages[1].bmp.ScanLine(y)[i], 0xFF) << y;
}

TEST_F(Renderer, ErrorDropsTheRestOfTheDocument) {
    SetLastError(0);
    r.SetBitmapByteLimit(1000);
    Feed(Stream().cmd(0x71).cmd(0x72).cmd(0x74).cmd(0x72));
    EXPECT_EQ(GetLastError(), pagorix::kRenderErrorCode);
    ASSERT_EQ(Kinds(), (std::vector<int>{1}));
    EXPECT_EQ(notices[0].path, "/export/");
    EXPECT_EQ(notices[0].pageValue, 0);
    // Later buffers of the same document are not interpreted.
    r.SetBitmapByteLimit(TvpjRenderer::LargestBitmapBytes());
    Feed(Stream().cmd(0x72).cmd(0x73));
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(GetLastError(), pagorix::kRenderErrorCode);
    r.BeginDocument();
    Feed(Stream().cmd(0x72));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(Kinds(), (std::vector<int>{1, 4}));
    // An empty buffer leaves the last error alone.
    SetLastError(77);
    r.WriteData(nullptr, 5);
    EXPECT_EQ(GetLastError(), 77u);
}

TEST_F(Renderer, CutOffJobDoesNotEatTheNextJob) {
    // The first job stops inside a run that announced 300 bytes.
    Feed(Stream().cmd(0x71).cmd(0x72).y(0).x(0).param(0x93, 300).cmd(1).cmd(2).cmd(3));
    r.BeginDocument();
    Feed(Stream().cmd(0x72).cmd(0x73));
    EXPECT_EQ(Kinds(), (std::vector<int>{4, 4, 5}));
    // The unfinished first page is lost; the second is saved.
    EXPECT_EQ(pages.size(), 1u);
}

// A multi-page stream with every kind of command, runs of odd lengths and runs over the edges.
std::vector<uint8_t> BuildMixedStream() {
    std::mt19937 rng(1234);
    Stream s;
    s.cmd(0x71).cmd(0x74).cmd(0x25).cmd(0x44).cmd(0x83).cmd(0x10).param(0x50, 0x9393).cmd(0xA1);
    for (int page = 0; page < 3; ++page) {
        s.cmd(page == 1 ? 0x02 : 0x01).cmd(0x72);
        for (int row = 0; row < 120; ++row) {
            s.y(uint16_t(row * 7 * 6));
            s.x(uint16_t(rng() % 6000));
            std::vector<uint8_t> bytes(rng() % 400);
            for (auto& b : bytes) b = uint8_t(rng());
            s.run(bytes);
            if (row % 17 == 0) s.cmd(0x94).fill(5, 1, 2, 3);
            if (row % 23 == 0) s.x(uint16_t(848 * 6)).fill(9, 200, 10, 10).param(0x93, 0);
            if (row % 31 == 0) s.cmd(0x60).cmd(0x32);
        }
        s.cmd(0x73);
    }
    return s.b;
}

struct RenderOutcome {
    std::vector<std::vector<uint8_t>> notices;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> pages;
};

RenderOutcome RenderInChunks(const std::vector<uint8_t>& stream, const std::function<size_t()>& nextSize) {
    RenderOutcome out;
    TvpjRenderer r;
    r.SetNoticeSink([&](const orb::TPrintNotice& n, const std::string&, int) {
        out.notices.push_back(orb::EncodePrintNotice(n));
    });
    r.SetPageSaver([&](const PageBitmap& b, int, const std::string& path) {
        out.pages.emplace_back(path, b.pixels);
        return true;
    });
    r.SetExportFolder("/e/");
    r.SetFilePrefix("P");
    r.BeginDocument();
    size_t pos = 0;
    while (pos < stream.size()) {
        size_t n = std::min(stream.size() - pos, std::max<size_t>(nextSize(), 1));
        r.WriteData(stream.data() + pos, uint32_t(n));
        pos += n;
    }
    return out;
}

TEST(RendererChunks, AnySplitGivesTheSamePagesAndNotices) {
    auto stream = BuildMixedStream();
    auto whole = RenderInChunks(stream, [&] { return stream.size(); });
    ASSERT_EQ(whole.pages.size(), 3u);
    ASSERT_EQ(whole.notices.size(), 6u);
    // The stream really paints: some pixel of each page is neither white nor footer blue.
    for (auto& p : whole.pages)
        EXPECT_TRUE(std::any_of(p.second.begin(), p.second.end(), [](uint8_t v) { return v != 0xFF && v != 0; }));
    for (size_t fixed : {1, 2, 3, 7}) {
        auto chunked = RenderInChunks(stream, [&] { return fixed; });
        EXPECT_EQ(chunked.notices, whole.notices) << "chunk " << fixed;
        EXPECT_TRUE(chunked.pages == whole.pages) << "chunk " << fixed;
    }
    std::mt19937 rng(99);
    auto randomSized = RenderInChunks(stream, [&] { return size_t(rng() % 5000); });
    EXPECT_EQ(randomSized.notices, whole.notices);
    EXPECT_TRUE(randomSized.pages == whole.pages);
}

TEST(RendererFiles, SavesJpegPagesWithTheirFooter) {
    testpm::TempDir dir;
    testpm::UdpListener udp;
    TvpjRenderer r;
    r.SetExportFolder(dir.folder());
    r.SetFilePrefix("Slide_");
    r.SetNoticeHost("127.0.0.1");
    r.SetNoticePort(udp.port());
    r.SetJobId(31);
    r.BeginDocument();
    // 60 dpi A4: 496 x 701. Page 1 has a red block at (40, 60) of 100 x 50 pixels.
    Stream s;
    s.cmd(0x71).cmd(0x74).cmd(0x45).cmd(0x84).cmd(0x72);
    for (int y = 60; y < 110; ++y) s.y(uint16_t(y * 10)).x(400).fill(100, 255, 0, 0);
    s.cmd(0x73).cmd(0x72).cmd(0x73);
    r.WriteData(s.b.data(), uint32_t(s.b.size()));

    std::vector<uint8_t> d;
    std::vector<orb::TPrintNotice> got;
    while (got.size() < 4 && udp.Receive(d)) {
        ASSERT_EQ(d.size(), 518u);
        orb::TPrintNotice n;
        ASSERT_TRUE(orb::DecodePrintNotice(d, n));
        EXPECT_EQ(n.jobId, 31);
        got.push_back(n);
    }
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].kind, 5);
    EXPECT_EQ(got[1].path, dir.folder() + "Slide_1.jpg");
    EXPECT_EQ(got[3].path, dir.folder() + "Slide_2.jpg");

    testpm::Rgb page;
    ASSERT_TRUE(testpm::DecodeJpegFile(dir.folder() + "Slide_1.jpg", page));
    ASSERT_EQ(page.w, 496);
    ASSERT_EQ(page.h, 701);
    double m[3];
    testpm::MeanColour(page, 45, 65, 90, 40, m);
    EXPECT_GT(m[0], 230);
    EXPECT_LT(m[1], 25);
    EXPECT_LT(m[2], 25);
    testpm::MeanColour(page, 200, 300, 100, 100, m);
    EXPECT_GT(m[0] + m[1] + m[2], 3 * 250);
    // The footer: blue text along the bottom left, from x = 2 and y = height - 15.
    int blue = 0;
    for (int y = page.h - 15; y < page.h; ++y)
        for (int x = 0; x < 400; ++x) {
            const uint8_t* p = page.at(x, y);
            if (p[2] > 150 && p[0] < 120 && p[1] < 120) ++blue;
        }
    EXPECT_GT(blue, 200);
    for (int x = 0; x < page.w; ++x) ASSERT_GT(page.at(x, page.h - 40)[0], 200);
    ASSERT_TRUE(testpm::DecodeJpegFile(dir.folder() + "Slide_2.jpg", page));
}

TEST(RendererFiles, PageFilesThatCannotBeWrittenSendKindOne) {
    testpm::TempDir dir;
    std::vector<orb::TPrintNotice> notices;
    TvpjRenderer r;
    r.SetNoticeSink([&](const orb::TPrintNotice& n, const std::string&, int) { notices.push_back(n); });
    r.SetFilePrefix("Slide_");
    r.BeginDocument();
    auto page = Stream().cmd(0x71).cmd(0x74).cmd(0x45).cmd(0x72).cmd(0x73).b;
    // A folder that does not exist.
    r.SetExportFolder(dir.folder() + "missing/");
    r.WriteData(page.data(), uint32_t(page.size()));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].kind, 1);
    EXPECT_EQ(notices[1].path, dir.folder() + "missing/");
    EXPECT_EQ(GetLastError(), 0u);  // the stream itself was fine
    // A planted symbolic link is not followed.
    std::string target = dir.folder() + "target";
    { std::ofstream(target) << "keep"; }
    std::filesystem::create_symlink(target, dir.folder() + "Slide_1.jpg");
    r.SetExportFolder(dir.folder());
    r.WriteData(page.data(), uint32_t(page.size()));
    EXPECT_EQ(notices.back().kind, 1);
    std::ifstream in(target);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep");
    // A path the notice cannot hold is not written, and the notice carries the cut folder.
    std::string deep = dir.folder() + std::string(240, 'd') + "/";
    std::filesystem::create_directory(deep);
    r.SetExportFolder(deep);
    r.WriteData(page.data(), uint32_t(page.size()));
    EXPECT_EQ(notices.back().kind, 1);
    EXPECT_EQ(notices.back().path.size(), 250u);
    EXPECT_FALSE(std::filesystem::exists(deep + "Slide_1.jpg"));
}

}  // namespace
