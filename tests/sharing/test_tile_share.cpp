// The tile scheme's viewer: grid set-up, tiles drawn and refused, stamps and the cursor.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "sharing/share_session.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::sharing;
using namespace orb::appshare;

namespace {

std::vector<uint8_t> Png(int w, int h, QRgb colour) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return {bytes.begin(), bytes.end()};
}

TPaneShareInfo Info(int32_t w, int32_t h, int32_t cols, int32_t rows) {
    TPaneShareInfo i;
    i.userId = 5;
    i.active = 1;
    i.width = w;
    i.height = h;
    i.columns = cols;
    i.rows = rows;
    return i;
}

void AddTile(std::vector<uint8_t>& body, TPaneHeader h, const std::vector<uint8_t>& png) {
    ByteWriter w(body);
    h.pngLength = int32_t(png.size());
    WritePaneHeader(w, h);
    w.bytes(png.data(), png.size());
}

TEST(TileShare, GridGeometryAndHostileGridsRefused) {
    EXPECT_EQ(TileShareCaption("Ana Tester", "Desktop"), "Ana Tester sharing Desktop");
    TAppShareObject t;
    ASSERT_TRUE(t.Create(Info(103, 50, 4, 3)));
    EXPECT_EQ(t.TileWidth(), 25);
    EXPECT_EQ(t.LastColumnWidth(), 28);
    EXPECT_EQ(t.TileHeight(), 16);
    EXPECT_EQ(t.LastRowHeight(), 18);
    ASSERT_EQ(t.Panes().size(), 12u);
    // Column by column: index = column x rows + row.
    EXPECT_EQ(t.Panes()[5].header.left, 25);
    EXPECT_EQ(t.Panes()[5].header.top, 32);
    EXPECT_EQ(t.Panes()[5].height, 18);
    ASSERT_TRUE(t.Create(Info(100, 50, 4, 5)));
    EXPECT_EQ(t.LastColumnWidth(), 25);
    for (const TPaneShareInfo& bad : {Info(100, 50, 0, 5), Info(100, 50, 4, 0), Info(100, 50, -1, -1),
                                      Info(100, 50, 101, 1), Info(100, 50, 0x10000, 0x10000),
                                      Info(0, 50, 1, 1), Info(20000, 20000, 1, 1), Info(60000, 60000, 300, 300)}) {
        EXPECT_FALSE(t.Create(bad)) << bad.width << "x" << bad.height << " " << bad.columns << "x" << bad.rows;
        EXPECT_FALSE(t.Exists());
    }
}

TEST(TileShare, TilesDrawnClippedOrRefusedOneRepaintPerMessage) {
    TAppShareObject t;
    ASSERT_TRUE(t.Create(Info(40, 20, 2, 2)));
    std::vector<uint8_t> body;
    TPaneHeader h{0, 3, 0, 0, 20, 10, 0, 0};
    AddTile(body, h, Png(20, 10, qRgb(255, 0, 0)));
    // Reaches past the right edge: cut off at the picture.
    AddTile(body, TPaneHeader{3, 4, 0, 0, 30, 10, 10, 30}, Png(30, 10, qRgb(0, 0, 255)));
    // No picture follows: skipped.
    {
        ByteWriter w(body);
        WritePaneHeader(w, TPaneHeader{1, 9, 0, 0, 20, 10, 10, 0});
    }
    // Outside the picture, outside the grid, not a PNG: refused.
    AddTile(body, TPaneHeader{2, 5, 0, 0, 20, 10, 0, 40}, Png(20, 10, qRgb(0, 255, 0)));
    AddTile(body, TPaneHeader{4, 5, 0, 0, 20, 10, 0, 0}, Png(20, 10, qRgb(0, 255, 0)));
    AddTile(body, TPaneHeader{2, 5, 0, 0, 20, 10, 0, 20}, {1, 2, 3, 4});
    // A PNG length past the body ends the message.
    {
        ByteWriter w(body);
        WritePaneHeader(w, TPaneHeader{2, 6, 1000, 0, 20, 10, 0, 20});
        w.u8(0);
    }
    auto r = t.DrawPaneFrame(body);
    EXPECT_EQ(r.applied, 2);
    EXPECT_EQ(r.refused, 3);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.dirty, (TRect{0, 0, 40, 20}));
    EXPECT_EQ(t.Picture().Row(0)[0], 0xFFFF0000u);
    EXPECT_EQ(t.Picture().Row(15)[39], 0xFF0000FFu);
    EXPECT_EQ(t.Picture().Row(0)[25], 0xFF000000u);
    EXPECT_EQ(t.Stamps(), (std::vector<int32_t>{3, 0, 0, 4}));
}

TEST(TileShare, SessionSendsStampsOnlyWhileATileShareExists) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> sent;
    TShareTransport tr;
    tr.Send = [&](uint16_t k, std::span<const uint8_t> b) {
        sent.push_back({k, {b.begin(), b.end()}});
        return true;
    };
    tr.Connected = [] { return true; };
    tr.OwnUserId = [] { return 9; };
    TShareSession s(loop, tr);
    EXPECT_FALSE(s.SendPaneStamps());
    EXPECT_FALSE(s.SendShareCursorRequest());
    std::vector<uint8_t> info;
    {
        ByteWriter w(info);
        WritePaneShareInfo(w, Info(40, 20, 2, 2));
    }
    TVCRHeader h;
    h.kind = vkShareStarted;
    s.OnTileStarted(h, info);
    ASSERT_TRUE(s.Tiles().Exists());
    EXPECT_TRUE(s.SendPaneStamps());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, vkSharePanes);
    EXPECT_EQ(sent[0].second.size(), 16u);
    // A cursor record with no picture leaves the cursor; one with a PNG sets it.
    std::vector<uint8_t> cur;
    {
        ByteWriter w(cur);
        WriteShareCursorHeader(w, {5, 6, 0, 0});
    }
    s.OnTileCursor(h, cur);
    EXPECT_TRUE(s.Tiles().CursorRect().Empty());
    cur.clear();
    auto png = Png(32, 32, qRgb(1, 2, 3));
    {
        ByteWriter w(cur);
        WriteShareCursorHeader(w, {5, 6, int32_t(png.size()), 0});
        w.bytes(png.data(), png.size());
    }
    s.OnTileCursor(h, cur);
    EXPECT_EQ(s.Tiles().CursorRect(), (TRect{5, 6, 32, 32}));
    EXPECT_EQ(s.Tiles().CursorImage().Row(0)[0], 0u);  // the lower-left colour is transparent
    // Control of the tile share from the server, not from the own user.
    h.sender = 9;
    s.OnTileControl(h, true);
    EXPECT_FALSE(s.TileControl());
    h.sender = 0;
    s.OnTileControl(h, true);
    EXPECT_TRUE(s.TileControl());
    s.OnTileStopped();
    EXPECT_FALSE(s.Tiles().Exists());
    EXPECT_FALSE(s.TileControl());
    EXPECT_FALSE(s.SendPaneStamps());
}

}  // namespace
