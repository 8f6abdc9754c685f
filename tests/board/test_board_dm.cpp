// The data module's whiteboard handlers and senders over a real room connection on loopback.
#include <gtest/gtest.h>

#include "wire/bytes.h"
#include "board_fakes.h"
#include "boardmsg/board_dm_link.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "loopback_pair.h"
#include "protocol/wm_app.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {

constexpr WindowHandle kMainWindow = 700;

struct DmFixture : ::testing::Test {
    LoopbackPair pair;
    PlainEventLoop loop;
    TDM dm{loop, kMainWindow};
    TDMBoardLink link{dm};
    TBoardEngine engine{link};
    TBoardMessages messages{engine, link};

    void SetUp() override {
        ASSERT_TRUE(pair.Open(dm.vcrClient));
        dm.OwnUserId = 31;
        dm.StartWriterThread(1 << 20);
        engine.InitWhiteboards();
        dm.BoardMessages = &messages;
    }
    void TearDown() override {
        dm.BoardMessages = nullptr;
        dm.StopWriterThread();
    }
    void Dispatch(uint16_t kind, const std::vector<uint8_t>& body, int32_t sender = 5) {
        TVCRHeader h;
        h.kind = kind;
        h.sender = sender;
        h.bodyLength = int32_t(body.size());
        const std::vector<uint8_t> stream = BuildPacketStream(h, body.data(), body.size());
        dm.DispatchCommand(h, stream);
    }
    // The next message the server receives.
    std::pair<TVCRHeader, std::vector<uint8_t>> Receive() { return pair.Receive(); }
};

}  // namespace

TEST_F(DmFixture, DispatchedStrokesAndPicturesReachTheEngine) {
    const TStrokeRecord recs[] = {Line(2, 10, 10, 60, 10), Line(2, 10, 20, 60, 20)};
    Dispatch(vkBoardStrokes, BuildBoardStrokesBody(2, recs));
    EXPECT_EQ(engine.CurrentBoard(), 2);
    EXPECT_EQ(dm.CurrentBoard, 2);
    EXPECT_EQ(engine.BoardImage(2).pixel(30, 10), qRgb(0, 0, 0));

    TBoardImageInfo info;
    Dispatch(vkBoardImage, BuildBoardImageBody(2, info, Jpeg(Solid(8, 8, qRgb(0, 0, 255)))), 44);
    loop.ProcessPending();
    bool updated = false;
    for (const PostedMessage& m : loop.Log())
        updated |= m.target == kMainWindow && m.msg == WM_APP_BOARDUPDATED && m.wParam == 44;
    EXPECT_TRUE(updated);

    dm.BoardMessages = nullptr;
    Dispatch(vkClearBoard, {2, 0, 0, 0});
    EXPECT_FALSE(IsWhite(engine.BoardImage(2)));
}

TEST_F(DmFixture, MouseUpSendsOneStrokesMessageOnTheRoomConnection) {
    dm.BoardRight = true;
    engine.SetTool(btRectangle);
    engine.Image5MouseDown(MouseButton::Left, 10, 10);
    engine.Image5MouseMove(true, false, 40, 30);
    engine.Image5MouseUp(MouseButton::Left, 40, 30);
    auto [h, body] = Receive();
    EXPECT_EQ(h.kind, vkBoardStrokes);
    EXPECT_EQ(h.sender, 31);
    EXPECT_EQ(h.bodyLength, 4 + 2 * 20);
    ASSERT_EQ(body.size(), 44u);
    EXPECT_EQ(body[0], 1);
    EXPECT_EQ(body[4 + 1], btMoveTo);
    EXPECT_EQ(body[24 + 1], btRectangle);

    // Received selections are never announced back, the own ones are.
    Dispatch(vkSelectBoard, {3, 0, 0, 0});
    engine.SelectBoard(4, true);
    auto [h2, body2] = Receive();
    EXPECT_EQ(h2.kind, vkSelectBoard);
    EXPECT_EQ(body2, (std::vector<uint8_t>{4, 0, 0, 0}));
}

TEST_F(DmFixture, OwnBoardChangeAnnouncesTheViewForLevelOneOrThree) {
    dm.BoardRight = 1;
    orb::StoreU32(dm.OwnLoginInfo.Raw().data() + 991, 1000);  // third level
    engine.SelectBoard(2, true);
    auto [h1, body1] = Receive();
    EXPECT_EQ(h1.kind, vkViewMode);
    EXPECT_EQ(body1, (std::vector<uint8_t>{0, 0, 0, 0}));
    auto [h2, body2] = Receive();
    EXPECT_EQ(h2.kind, vkSelectBoard);
    EXPECT_EQ(body2, (std::vector<uint8_t>{2, 0, 0, 0}));
}

TEST_F(DmFixture, TheLinkReadsPlaybackAndLevelFromTheDataModule) {
    EXPECT_FALSE(link.PlaybackMode());
    dm.PlaybackMode = true;
    EXPECT_TRUE(link.PlaybackMode());
    dm.PlaybackMode = false;

    // The view mode goes out only for a presenter: nothing for level 0, kind 118 for level 1000.
    link.SendViewMode(1);
    dm.OwnLoginInfo.SetLevel(1000);
    EXPECT_EQ(link.OwnLevel1(), 1000);
    link.SendViewMode(2);
    auto [h, body] = Receive();
    EXPECT_EQ(h.kind, vkViewMode);
    EXPECT_EQ(body, (std::vector<uint8_t>{2, 0, 0, 0}));
}
