// Golden bytes of the whiteboard records and message bodies, written out from the record tables.
#include <gtest/gtest.h>

#include "board_fakes.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int b : v) out.push_back(uint8_t(b));
    return out;
}
}  // namespace

TEST(BoardRecords, StrokeRecordLayoutAndUnsignedCoordinates) {
    TStrokeRecord r;
    r.board = 3;
    r.tool = btRectangle;
    r.x1 = 40000;
    r.y1 = 65535;
    r.x2 = 1;
    r.y2 = 0x1234;
    r.penWidth = 7;
    r.penColor = 0x00112233;  // blue 0x11, green 0x22, red 0x33
    r.brushStyle = bsCross;
    r.brushColor = 0x00AABBCC;
    uint8_t out[20];
    r.Encode(out);
    const std::vector<uint8_t> expected = Bytes({0x03, 0x01, 0x40, 0x9C, 0xFF, 0xFF, 0x01, 0x00, 0x34, 0x12, 0x07,
                                                 0x33, 0x22, 0x11, 0x00, 0x06, 0xCC, 0xBB, 0xAA, 0x00});
    EXPECT_EQ(std::vector<uint8_t>(out, out + 20), expected);

    ByteReader in(expected.data(), expected.size());
    TStrokeRecord back;
    ASSERT_TRUE(TStrokeRecord::Read(in, back));
    EXPECT_EQ(back.x1, 40000);  // read back unsigned, never negative
    EXPECT_EQ(back.y1, 65535);
    EXPECT_EQ(back, r);
    ByteReader shortIn(expected.data(), 19);
    EXPECT_FALSE(TStrokeRecord::Read(shortIn, back));
}

TEST(BoardRecords, StrokesBodyIsBoardThenRecords) {
    const TStrokeRecord a = MakeMoveTo(2, 5, 6, 5, 6);
    TStrokeRecord b;
    b.board = 2;
    b.tool = btFreeHand;
    const TStrokeRecord recs[] = {a, b, b};
    const std::vector<uint8_t> body = BuildBoardStrokesBody(2, recs);
    ASSERT_EQ(body.size(), 4u + 20u * 3u);
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 24),
              Bytes({2, 0, 0, 0, 2, 100, 5, 0, 6, 0, 5, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(BoardRecords, ImageBodyIsJpegPlus28) {
    TBoardImageInfo info;
    info.board = 4;
    info.left = 10;
    info.top = -2;
    info.right = 110;
    info.bottom = 48;
    const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xD9, 0x00};
    const std::vector<uint8_t> body = BuildBoardImageBody(4, info, jpeg);
    EXPECT_EQ(body, Bytes({4, 0, 0, 0, 4, 0, 0, 0, 10, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 110, 0, 0, 0, 48, 0, 0, 0,
                           5, 0, 0, 0, 0xFF, 0xD8, 0xFF, 0xD9, 0x00}));
}

TEST(BoardRecords, BoardTextCountsUtf16UnitsIncludingSurrogates) {
    TBoardTextObject t;
    t.board = 2;
    t.left = 1;
    t.top = 2;
    t.right = 3;
    t.bottom = 4;
    t.fontName = "Arial";
    t.fontSize = 12;
    t.fontColor = 0x000000FF;
    t.text = u"A\U0001F600";  // one character outside the basic plane: two UTF-16 units
    const std::vector<uint8_t> body = BuildBoardTextBody(t);
    const size_t n = 2 * 3 + 3;
    ASSERT_EQ(body.size(), 4 + 165 + n);  // header length 169 + N
    ByteReader in(body.data(), body.size());
    int32_t lead = 0, board = 0, count = 0, size = 0, colour = 0;
    in.i32(lead);
    in.i32(board);
    EXPECT_EQ(lead, 2);
    EXPECT_EQ(board, 2);
    EXPECT_EQ(body[4 + 20], 5);  // font name length byte
    EXPECT_EQ(std::string(body.begin() + 4 + 21, body.begin() + 4 + 26), "Arial");
    ByteReader at(body.data() + 4 + 149, 16);
    at.i32(size);
    at.i32(colour);
    at.skip(4);
    at.i32(count);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(colour, 0xFF);
    EXPECT_EQ(count, int32_t(n));
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 169, body.end()),
              Bytes({'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0}));

    ByteReader back(body.data() + 4, body.size() - 4);
    TBoardTextObject decoded;
    ASSERT_TRUE(ReadBoardTextInfo(back, decoded));
    EXPECT_EQ(decoded.text, t.text);
    EXPECT_EQ(decoded.right, 3);
}

TEST(BoardRecords, PointerAndSlideBodies) {
    EXPECT_EQ(BuildBoardPointerBody(40000, 65535, 3, 2), Bytes({0x40, 0x9C, 0xFF, 0xFF, 3, 0, 2, 0}));
    TResourceInfo pres;
    pres.id = 0x01020304;
    pres.fileName = "deck.ppt";
    pres.extension = ".PPT";
    pres.fileSize = 0xABCD;
    pres.number = 20;
    const std::vector<uint8_t> body = BuildSlideToBoardBody(5, pres, 12);
    ASSERT_EQ(body.size(), 777u);  // header length 777
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 8), Bytes({5, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(body[8], 12);  // "Slide_12.JPG"
    EXPECT_EQ(std::string(body.begin() + 9, body.begin() + 21), "Slide_12.JPG");
    EXPECT_EQ(body[4 + 406], 0xCD);  // file size kept
    EXPECT_EQ(body[4 + 407], 0xAB);
    EXPECT_EQ(body[4 + 410], 4);
    EXPECT_EQ(std::string(body.begin() + 4 + 411, body.begin() + 4 + 415), ".JPG");
    EXPECT_EQ(body[4 + 769], 20);  // slide count kept
}
