#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sharing/records/appshare_records.h"

using namespace orb;
using namespace orb::appshare;

namespace {

// Expected bytes are laid out here by offset, straight from the record tables.
struct Golden {
    std::vector<uint8_t> b;
    explicit Golden(size_t n) : b(n, 0) {}
    void i32(size_t at, uint32_t v) {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
        b[at + 2] = uint8_t(v >> 16);
        b[at + 3] = uint8_t(v >> 24);
    }
    void u8(size_t at, uint8_t v) { b[at] = v; }
    void raw(size_t at, std::initializer_list<uint8_t> v) { std::copy(v.begin(), v.end(), b.begin() + at); }
    void str(size_t at, const char* s) {
        b[at] = uint8_t(std::strlen(s));
        std::memcpy(&b[at + 1], s, std::strlen(s));
    }
};

std::vector<uint8_t> Bytes(const std::function<void(ByteWriter&)>& fn) {
    ByteWriter w;
    fn(w);
    return w.buffer();
}

}  // namespace

TEST(AppShareRecords, DescriptorMatchesTheTableByteForByte) {
    Golden g(519);
    g.i32(0, 1);            // area mode
    g.i32(4, 4711);         // sharer
    g.u8(8, 5);             // 16 bits per pixel
    g.i32(9, 100);          // area left
    g.i32(13, 0xFFFFFFF6);  // area top -10
    g.i32(17, 640);
    g.i32(21, 480);
    g.i32(25, 1920);  // whole screen as the picture
    g.i32(29, 1080);
    g.raw(33, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});  // 1.0
    g.raw(41, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
    g.i32(49, 9);
    g.i32(53, 5);
    g.u8(57, 1);
    g.i32(58, 500);
    g.str(62, "Ana \xC3\xA9");
    g.str(263, "Part of Desktop");

    TAppShareDescriptor d;
    d.shareMode = kShareModeArea;
    d.userId = 4711;
    d.pixelFormat = kPixelFormat16;
    d.sourceLeft = 100;
    d.sourceTop = -10;
    d.sourceWidth = 640;
    d.sourceHeight = 480;
    d.pictureWidth = 1920;
    d.pictureHeight = 1080;
    d.drawCursor = 1;
    d.frameInterval = 500;
    d.sharerName = "Ana \xC3\xA9";
    d.title = "Part of Desktop";
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WriteAppShareDescriptor(w, d); }), g.b);

    ByteReader r(g.b.data(), g.b.size());
    TAppShareDescriptor back;
    ASSERT_TRUE(ReadAppShareDescriptor(r, back));
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(back.sourceTop, -10);
    EXPECT_EQ(back.pictureWidth, 1920);
    EXPECT_EQ(back.segmentsPerLine, 5);
    EXPECT_EQ(back.unused9, 9);
    EXPECT_EQ(back.frameInterval, 500);
    EXPECT_EQ(back.sharerName, "Ana \xC3\xA9");
    EXPECT_EQ(back.title, "Part of Desktop");
    EXPECT_DOUBLE_EQ(back.horizontalScale, 1.0);

    // The relayed start carries the share state after the descriptor; one byte short fails.
    g.b.push_back(2);
    ByteReader r2(g.b.data(), g.b.size());
    uint8_t state = 0;
    ASSERT_TRUE(ReadAppShareStart(r2, back, state));
    EXPECT_EQ(state, 2);
    ByteReader r3(g.b.data(), 519);
    EXPECT_FALSE(ReadAppShareStart(r3, back, state));
    ByteReader r4(g.b.data(), 518);
    EXPECT_FALSE(ReadAppShareDescriptor(r4, back));
}

TEST(AppShareRecords, LongNameAndTitleAreCutToTheirCapacities) {
    TAppShareDescriptor d;
    d.sharerName = std::string(199, 'n') + "\xC3\xA9";  // 201 bytes, the last character would split
    d.title = std::string(300, 't');
    auto b = Bytes([&](ByteWriter& w) { WriteAppShareDescriptor(w, d); });
    ASSERT_EQ(b.size(), 519u);
    EXPECT_EQ(b[62], 199);  // cut before the two-byte character, never inside it
    EXPECT_EQ(b[263], 255);
    ByteReader r(b.data(), b.size());
    TAppShareDescriptor back;
    ASSERT_TRUE(ReadAppShareDescriptor(r, back));
    EXPECT_EQ(back.sharerName, std::string(199, 'n'));
    EXPECT_EQ(back.title, std::string(255, 't'));
}

TEST(AppShareRecords, FrameHeaderAndFrameBody) {
    const std::vector<uint8_t> golden = {
        0x07, 0x00, 0x00, 0x00,  // frame 7
        0x00,                    // not a key frame
        0x01,                    // delta
        0x03, 0x00, 0x00, 0x00,  // 3 bytes of stream
        0xF4, 0x01, 0x00, 0x00,  // 500 ms
    };
    TAppShareFrameHeader h{7, 0, 1, 3, 500};
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WriteAppShareFrameHeader(w, h); }), golden);

    std::vector<uint8_t> body = golden;
    body.insert(body.end(), {0xAA, 0xBB, 0xCC, 0xDD});  // one byte beyond the stream is ignored
    TAppShareFrameHeader back;
    std::span<const uint8_t> stream;
    ASSERT_TRUE(ReadAppShareFrame(body, back, stream));
    EXPECT_EQ(back.frameNumber, 7);
    EXPECT_EQ(back.delta, 1);
    EXPECT_EQ(back.interval, 500);
    ASSERT_EQ(stream.size(), 3u);
    EXPECT_EQ(stream[0], 0xAA);

    // A stream length past the body or below zero is refused and leaves the outputs alone.
    body.resize(16);
    back.frameNumber = -1;
    EXPECT_FALSE(ReadAppShareFrame(body, back, stream));
    EXPECT_EQ(back.frameNumber, -1);
    body[6] = 0xFF, body[7] = 0xFF, body[8] = 0xFF, body[9] = 0xFF;
    EXPECT_FALSE(ReadAppShareFrame(body, back, stream));
}

TEST(AppShareRecords, PaneShareInfoMatchesTheTable) {
    Golden g(487);
    g.i32(0, 12);
    g.str(4, "Bo");
    g.str(205, "Desktop");
    g.u8(461, 1);
    g.i32(462, 1024);
    g.i32(466, 768);
    g.i32(470, 4);
    g.i32(474, 3);
    g.u8(478, 6);
    g.raw(479, {1, 2, 3, 4, 5, 6, 7, 8});  // reserved: never read

    ByteReader r(g.b.data(), g.b.size());
    TPaneShareInfo p;
    ASSERT_TRUE(ReadPaneShareInfo(r, p));
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(p.userId, 12);
    EXPECT_EQ(p.sharerName, "Bo");
    EXPECT_EQ(p.title, "Desktop");
    EXPECT_EQ(p.active, 1);
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.columns, 4);
    EXPECT_EQ(p.rows, 3);
    EXPECT_EQ(p.pixelFormat, 6);

    std::fill(g.b.begin() + 479, g.b.end(), 0);
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WritePaneShareInfo(w, p); }), g.b);
}

TEST(AppShareRecords, PaneRunsSplitIntoTiles) {
    const std::vector<uint8_t> header = {
        0x05, 0, 0, 0,  // index 5
        0x09, 0, 0, 0,  // stamp 9
        0x02, 0, 0, 0,  // 2 bytes of PNG
        0x77, 0, 0, 0,  // reserved
        0x40, 0, 0, 0,  // 64 wide
        0x20, 0, 0, 0,  // 32 high
        0x60, 0, 0, 0,  // top 96
        0x80, 0, 0, 0,  // left 128
    };
    TPaneHeader h{5, 9, 2, 0x77, 64, 32, 96, 128};
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WritePaneHeader(w, h); }), header);

    // A header with length 0 is followed at once by the next header.
    std::vector<uint8_t> body = header;
    body.insert(body.end(), {0xAB, 0xCD});
    std::vector<uint8_t> empty = header;
    empty[8] = 0;
    body.insert(body.end(), empty.begin(), empty.end());
    body.insert(body.end(), header.begin(), header.end());
    body.push_back(0xEE);  // the third tile's PNG is cut short

    std::vector<PaneTile> tiles;
    EXPECT_FALSE(ReadSharePanes(body, tiles));
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].header.left, 128);
    EXPECT_EQ(tiles[0].header.top, 96);
    ASSERT_EQ(tiles[0].png.size(), 2u);
    EXPECT_EQ(tiles[0].png[1], 0xCD);
    EXPECT_TRUE(tiles[1].png.empty());

    body.push_back(0xEF);
    tiles.clear();
    EXPECT_TRUE(ReadSharePanes(body, tiles));
    EXPECT_EQ(tiles.size(), 3u);

    std::vector<uint8_t> negative = header;
    negative[11] = 0x80;
    tiles.clear();
    EXPECT_FALSE(ReadSharePanes(negative, tiles));
    EXPECT_TRUE(tiles.empty());

    const int32_t stamps[] = {1, -1, 258};
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WritePaneStamps(w, stamps); }),
              (std::vector<uint8_t>{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 1, 0, 0}));
}

TEST(AppShareRecords, CursorControlAndStateBodies) {
    std::vector<uint8_t> cursor = {
        0x0A, 0, 0, 0,           // x 10
        0xFE, 0xFF, 0xFF, 0xFF,  // y -2
        0x03, 0, 0, 0,           // 3 bytes of PNG
        0, 0, 0, 0,              // reserved
        0x89, 0x50, 0x4E,
    };
    TShareCursorHeader c;
    std::span<const uint8_t> png;
    ASSERT_TRUE(ReadShareCursor(cursor, c, png));
    EXPECT_EQ(c.x, 10);
    EXPECT_EQ(c.y, -2);
    ASSERT_EQ(png.size(), 3u);
    EXPECT_EQ(png[0], 0x89);
    EXPECT_EQ(Bytes([&](ByteWriter& w) { WriteShareCursorHeader(w, c); }),
              std::vector<uint8_t>(cursor.begin(), cursor.begin() + 16));
    cursor[8] = 4;  // longer than what follows
    EXPECT_FALSE(ReadShareCursor(cursor, c, png));
    cursor[8] = 0;  // no picture: the bytes after the head are not a PNG
    ASSERT_TRUE(ReadShareCursor(cursor, c, png));
    EXPECT_TRUE(png.empty());

    const std::vector<uint8_t> grant = {0x2A, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(Bytes([](ByteWriter& w) { WriteRemoteControlGrant(w, {42, 1}); }), grant);
    ByteReader gr(grant.data(), grant.size());
    TRemoteControlGrant g;
    ASSERT_TRUE(ReadRemoteControlGrant(gr, g));
    EXPECT_EQ(g.userId, 42);
    EXPECT_EQ(g.on, 1);

    const uint8_t states[] = {1, 2, 0, 3};
    uint8_t s = 0;
    ByteReader sr1(states, 1), sr2(states + 1, 1), sr3(states + 2, 1), sr4(states + 3, 1);
    EXPECT_TRUE(ReadAppShareState(sr1, s));
    EXPECT_EQ(s, 1);
    EXPECT_TRUE(ReadAppShareState(sr2, s));
    EXPECT_EQ(s, 2);
    EXPECT_FALSE(ReadAppShareState(sr3, s));
    EXPECT_FALSE(ReadAppShareState(sr4, s));
    EXPECT_EQ(s, 2);
}
