// Every drawing tool driven by real mouse events on the board window: the kind 11 message it sends,
// replayed by a second engine as a receiver would, gives the same pixels as the sender's board.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include "board/pickers/pickers.h"
#include <QTest>
#include <gtest/gtest.h>

#include "board/window/frm_board.h"
#include "board_fakes.h"
#include "raw_client.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {

std::vector<TStrokeRecord> Records(const Sent& s, int32_t* board = nullptr) {
    ByteReader in(s.body.data(), s.body.size());
    int32_t b = 0;
    in.i32(b);
    if (board) *board = b;
    std::vector<TStrokeRecord> out;
    TStrokeRecord r;
    while (in.remaining() && TStrokeRecord::Read(in, r)) out.push_back(r);
    return out;
}

int Differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return n;
}

struct ToolCase {
    uint8_t tool;
    int width;
    std::vector<QPoint> path;  // press at the first, moves, release at the last
    size_t records;            // records in the kind 11 message
};

}  // namespace

// Two members of one room on the test room server: what the sender's engine sends goes through
// the server to the receiver.
class BoardTools : public ::testing::TestWithParam<ToolCase> {
protected:
    static void SetUpTestSuite() {
        server_ = new orb::test::TRoomServer;
        orb::test::TRoomHandshakeScript script;
        script.perLoginAccounts = true;
        handshake_ = new std::shared_ptr<orb::test::TRoomHandshake>(orb::test::InstallRoomHandshake(*server_, script));
        rooms_ = new orb::test::TRoomService(*server_, *handshake_);
        ASSERT_TRUE(server_->Start("127.0.0.1", 0));
        sender_ = new RawClient;
        receiver_ = new RawClient;
        ASSERT_TRUE(sender_->SignIn(server_->Port(), "moderator1") && sender_->Enter(1002));
        ASSERT_TRUE(receiver_->SignIn(server_->Port(), "bea") && receiver_->Enter(1002));
    }
    static void TearDownTestSuite() {
        delete sender_;
        delete receiver_;
        delete rooms_;
        delete server_;
        delete handshake_;
    }
    static inline orb::test::TRoomServer* server_ = nullptr;
    static inline std::shared_ptr<orb::test::TRoomHandshake>* handshake_ = nullptr;
    static inline orb::test::TRoomService* rooms_ = nullptr;
    static inline RawClient* sender_ = nullptr;
    static inline RawClient* receiver_ = nullptr;
};

TEST_P(BoardTools, MouseDrawingMatchesTheReceiversReplay) {
    const ToolCase& c = GetParam();
    FakeSession session;
    TBoardEngine engine(session);
    TfrmBoard window;
    window.SetEngine(&engine);
    engine.InitWhiteboards();
    window.resize(1100, 900);
    window.show();
    // Something to fill and to erase.
    FakeSession receiverSession;
    TBoardEngine receiver(receiverSession);
    receiver.InitWhiteboards();
    for (TBoardEngine* e : {&engine, &receiver}) {
        e->SetTool(btRectangle);
        e->ApplyStrokeStyle(1, TStrokeRecord{1, btRectangle, 0, 0, 0, 0, 2, 0x00008000, bsClear, kWhite});
        e->DrawShape(1, {150, 150}, false, PenMode::Copy, {400, 300});
        e->SetTool(btNone);
    }
    window.SetPenDefaults(c.width, 0x000000FF);
    window.FillColor()->SetColorValue(0x00FF0000);
    window.SelectTool(c.tool);
    ASSERT_EQ(engine.Tool(), c.tool);
    session.sent.clear();

    QWidget* canvas = window.Canvas();
    QTest::mousePress(canvas, Qt::LeftButton, {}, c.path.front());
    for (size_t i = 1; i < c.path.size(); ++i) QTest::mouseMove(canvas, c.path[i]);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, c.path.back());

    ASSERT_EQ(session.sent.size(), 1u);
    ASSERT_EQ(session.sent[0].kind, vkBoardStrokes);
    int32_t board = 0;
    const std::vector<TStrokeRecord> records = Records(session.sent[0], &board);
    EXPECT_EQ(board, 1);
    ASSERT_EQ(records.size(), c.records);
    EXPECT_EQ(records[0].tool, btMoveTo);
    EXPECT_EQ(QPoint(records[0].x1, records[0].y1), c.path.front());
    EXPECT_EQ(records[1].tool, c.tool);
    EXPECT_EQ(records[1].penColor, 0x000000FFu);
    EXPECT_EQ(records[1].penWidth, c.width);
    // Through the room server to the other member, whose own handler draws it.
    ASSERT_TRUE(sender_->Send(vkBoardStrokes, session.sent[0].body, 1002));
    TVCRHeader header;
    std::vector<uint8_t> relayed;
    ASSERT_TRUE(receiver_->Next(vkBoardStrokes, header, relayed));
    EXPECT_EQ(relayed, session.sent[0].body);
    FakeRoom room;
    TBoardMessages handler(receiver, room);
    ASSERT_TRUE(handler.Handle(header, relayed));
    EXPECT_EQ(Differences(engine.BoardImage(1), receiver.BoardImage(1)), 0);
    EXPECT_GT(Differences(engine.BoardImage(1), receiver.BoardImage(2)), 0);
    // The overlay holds no rubber band once the mouse is up.
    const QImage& overlay = engine.Overlay();
    bool clean = true;
    for (int y = 0; y < overlay.height() && clean; y += 3)
        for (int x = 0; x < overlay.width() && clean; x += 3) clean = qAlpha(overlay.pixel(x, y)) == 0;
    EXPECT_TRUE(clean);
}

INSTANTIATE_TEST_SUITE_P(
    EachTool, BoardTools,
    ::testing::Values(ToolCase{btLine, 1, {{20, 30}, {200, 90}, {300, 120}}, 2},
                      ToolCase{btLine, 4, {{20, 30}, {300, 120}}, 2},
                      ToolCase{btRectangle, 2, {{40, 40}, {120, 90}, {260, 200}}, 2},
                      ToolCase{btEllipse, 3, {{300, 100}, {500, 260}}, 2},
                      ToolCase{btCircle, 1, {{600, 400}, {660, 480}}, 2},
                      ToolCase{btFreeHand, 1, {{10, 10}, {40, 20}, {80, 70}, {81, 140}, {30, 200}}, 5},
                      ToolCase{btFreeHand, 5, {{10, 10}, {40, 20}, {80, 70}, {120, 75}}, 4},
                      ToolCase{btHighlighter, 1, {{100, 500}, {200, 510}, {300, 560}}, 3},
                      ToolCase{btEraser, 4, {{140, 140}, {260, 220}, {420, 310}}, 3},
                      ToolCase{btFloodFill, 1, {{200, 200}, {200, 200}}, 2},
                      ToolCase{btAreaEraser, 1, {{100, 100}, {250, 180}}, 2},
                      ToolCase{btMarkStamp, 1, {{700, 100}, {700, 100}}, 2},
                      ToolCase{btAxes1, 1, {{500, 500}, {640, 400}}, 2},
                      ToolCase{btAxes4, 1, {{700, 500}, {900, 700}}, 2}));

TEST(BoardWindowMouse, SnapAndClampThroughTheWindow) {
    FakeSession session;
    TBoardEngine engine(session);
    TfrmBoard window;
    window.SetEngine(&engine);
    engine.InitWhiteboards();
    window.show();
    session.sent.clear();
    window.SelectTool(btRectangle);
    window.SnapBox()->setChecked(true);
    QTest::mousePress(window.Canvas(), Qt::LeftButton, {}, {12, 12});
    QTest::mouseMove(window.Canvas(), {38, 62});
    QTest::mouseRelease(window.Canvas(), Qt::LeftButton, {}, {38, 62});
    ASSERT_EQ(session.sent.size(), 1u);
    auto r = Records(session.sent[0]);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(QRect(QPoint(r[1].x1, r[1].y1), QPoint(r[1].x2, r[1].y2)), QRect(QPoint(0, 0), QPoint(51, 51)));
    // Free hand clears the snap box; the axes set it.
    window.SelectTool(btFreeHand);
    EXPECT_FALSE(window.SnapBox()->isChecked());
    window.SelectTool(btAxes4);
    EXPECT_TRUE(window.SnapBox()->isChecked());
    // After an axes drag the tool returns to "Nothing".
    QTest::mousePress(window.Canvas(), Qt::LeftButton, {}, {100, 100});
    QTest::mouseRelease(window.Canvas(), Qt::LeftButton, {}, {200, 200});
    EXPECT_EQ(engine.Tool(), btNone);
    EXPECT_TRUE(window.ToolButton(btNone)->isChecked());
}

TEST(BoardWindowMouse, PresenterPointerNeedsTheRight) {
    FakeSession session;
    session.boardRight = false;
    TBoardEngine engine(session);
    TfrmBoard window;
    window.SetEngine(&engine);
    engine.InitWhiteboards();
    window.show();
    QWidget* canvas = window.Canvas();
    QTest::mousePress(canvas, Qt::RightButton, {}, {50, 60});
    QTest::mouseRelease(canvas, Qt::RightButton, {}, {50, 60});
    EXPECT_TRUE(session.sent.empty());
    EXPECT_FALSE(window.PointerImage(false)->isVisible());

    session.boardRight = true;
    window.findChild<QAbstractButton*>(QStringLiteral("ptLeft"))->setChecked(true);
    QTest::mousePress(canvas, Qt::RightButton, {}, {50, 60});
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkBoardPointer);
    EXPECT_TRUE(window.PointerImage(true)->isVisible());
    EXPECT_EQ(window.PointerImage(true)->pos(), QPoint(50, 60));
    QTest::mouseRelease(canvas, Qt::RightButton, {}, {70, 80});
    ASSERT_EQ(session.sent.size(), 2u);
    EXPECT_FALSE(window.PointerImage(true)->isVisible());
    // Body: x, y, board, type as the builder lays them out; the last one hides the pointer.
    EXPECT_EQ(session.sent[1].body, BuildBoardPointerBody(70, 80, 1, 0));
    EXPECT_EQ(session.sent[0].body, BuildBoardPointerBody(50, 60, 1, 1));
}
