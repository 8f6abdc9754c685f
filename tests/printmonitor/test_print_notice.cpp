#include <gtest/gtest.h>

#include "printnotice/print_notice.h"

namespace {

// The record laid out by hand: job at 0, empty string at 4, page at 255, path at 259, value at
// 510, kind at 514.
std::vector<uint8_t> Expected(int32_t job, int32_t page, const std::string& path, int32_t value, int32_t kind) {
    std::vector<uint8_t> b(518, 0);
    auto put = [&](size_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
    };
    put(0, job);
    b[4] = 0;
    put(255, page);
    b[259] = uint8_t(path.size());
    for (size_t i = 0; i < path.size(); ++i) b[260 + i] = uint8_t(path[i]);
    put(510, value);
    put(514, kind);
    return b;
}

TEST(PrintNotice, EncodesTheFixedLayout) {
    auto n = orb::BuildPrintNotice(0x01020304, "", 7, "/srv/export/Slide_7.jpg", 7, orb::pnPageSaved);
    EXPECT_EQ(orb::EncodePrintNotice(n), Expected(0x01020304, 7, "/srv/export/Slide_7.jpg", 7, 5));
    auto e = orb::BuildPrintNotice(-1, "", 0, "/x/", 0, orb::pnRenderError);
    EXPECT_EQ(orb::EncodePrintNotice(e), Expected(-1, 0, "/x/", 0, 1));
}

TEST(PrintNotice, CutsLongTextAtACharacterBoundary) {
    std::string ascii(300, 'a');
    auto n = orb::BuildPrintNotice(1, std::string(260, 'z'), 1, ascii, 1, 4);
    auto bytes = orb::EncodePrintNotice(n);
    ASSERT_EQ(bytes.size(), 518u);
    EXPECT_EQ(bytes[4], 250);
    EXPECT_EQ(bytes[259], 250);
    EXPECT_EQ(bytes[514], 4);
    // 249 ASCII bytes and a two-byte character: the character does not fit and is left out whole.
    std::string utf8 = std::string(249, 'b') + "\xC3\xA9";
    auto u = orb::EncodePrintNotice(orb::BuildPrintNotice(1, "", 1, utf8, 1, 4));
    EXPECT_EQ(u[259], 249);
}

TEST(PrintNotice, DecodesOnlyWholeRecords) {
    auto bytes = Expected(42, 3, "C:/pages/", 3, 4);
    orb::TPrintNotice n;
    EXPECT_FALSE(orb::DecodePrintNotice(std::span(bytes.data(), 517), n));
    EXPECT_EQ(n.kind, 0);
    bytes.push_back(0xEE);  // trailing bytes after the record are ignored
    ASSERT_TRUE(orb::DecodePrintNotice(bytes, n));
    EXPECT_EQ(n.jobId, 42);
    EXPECT_EQ(n.pageNumber, 3);
    EXPECT_EQ(n.path, "C:/pages/");
    EXPECT_EQ(n.pageValue, 3);
    EXPECT_EQ(n.kind, 4);
    // A length byte above the field's capacity is clamped to it.
    bytes[259] = 255;
    ASSERT_TRUE(orb::DecodePrintNotice(bytes, n));
    EXPECT_EQ(n.path.size(), 250u);
}

}  // namespace
