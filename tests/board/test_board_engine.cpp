// The engine driven through the board window's mouse entry points and the replay of records.
#include <gtest/gtest.h>

#include "board_fakes.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {

constexpr QRgb kW = 0xFFFFFFFF;

std::vector<TStrokeRecord> Records(const Sent& s) {
    ByteReader in(s.body.data(), s.body.size());
    int32_t board = 0;
    in.i32(board);
    std::vector<TStrokeRecord> out;
    TStrokeRecord r;
    while (in.remaining() && TStrokeRecord::Read(in, r)) out.push_back(r);
    return out;
}

struct EngineTest : ::testing::Test {
    FakeSession session;
    TBoardEngine engine{session};
    void SetUp() override {
        session.boardRight = false;  // the right arrives after the boards are set up
        engine.InitWhiteboards();
        session.boardRight = true;
    }
    void Drag(uint8_t tool, QPoint a, QPoint b) {
        engine.SetTool(tool);
        engine.Image5MouseDown(MouseButton::Left, a.x(), a.y());
        engine.Image5MouseMove(true, false, b.x(), b.y());
        engine.Image5MouseUp(MouseButton::Left, b.x(), b.y());
    }
    TStrokeRecord Rec(uint8_t tool, int x1, int y1, int x2, int y2, int width = 1, TColorRef pen = kBlack,
                      uint8_t brushStyle = bsClear, TColorRef brush = kWhite, int board = 1) {
        TStrokeRecord r;
        r.board = uint8_t(board);
        r.tool = tool;
        r.x1 = uint16_t(x1);
        r.y1 = uint16_t(y1);
        r.x2 = uint16_t(x2);
        r.y2 = uint16_t(y2);
        r.penWidth = uint8_t(width);
        r.penColor = pen;
        r.brushStyle = brushStyle;
        r.brushColor = brush;
        return r;
    }
};

}  // namespace

TEST_F(EngineTest, StartsOnBoardOneWithToolNoneAndDefaultPen) {
    EXPECT_EQ(engine.CurrentBoard(), 1);
    EXPECT_EQ(session.currentBoard, 1);
    EXPECT_EQ(engine.Tool(), btNone);
    EXPECT_EQ(engine.CurrentLayer().penWidth, 3);
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1024, 768));
    EXPECT_TRUE(session.sent.empty());  // already current: nothing announced
}

TEST_F(EngineTest, ClickWithoutMovementSendsNothing) {
    engine.SetTool(btFreeHand);
    engine.Image5MouseDown(MouseButton::Left, 50, 50);
    engine.Image5MouseUp(MouseButton::Left, 50, 50);
    EXPECT_TRUE(session.sent.empty());
    EXPECT_EQ(engine.Pending().size(), 1u);  // the move-to stays until the next mouse-down
}

TEST_F(EngineTest, ZeroSizeRectangleSendsMoveToAndRectangle) {
    engine.SetPenColor(0x00123456);
    engine.SetBrushStyle(bsCross);
    engine.SetBrushColor(0x00ABCDEF);
    Drag(btRectangle, {10, 10}, {10, 10});
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkBoardStrokes);
    ASSERT_EQ(session.sent[0].body.size(), 4u + 2 * 20u);
    const auto recs = Records(session.sent[0]);
    EXPECT_EQ(recs[0], MakeMoveTo(1, 10, 10, 10, 10));
    EXPECT_EQ(recs[1], Rec(btRectangle, 10, 10, 10, 10, 3, 0x00123456, bsCross, 0x00ABCDEF));
    EXPECT_TRUE(engine.Pending().empty());
}

TEST_F(EngineTest, FreeHandRecordsEveryMoveAsSinglePoint) {
    engine.SetTool(btFreeHand);
    engine.SetPenWidth(1);
    engine.Image5MouseDown(MouseButton::Left, 10, 10);
    engine.Image5MouseMove(true, false, 20, 10);
    engine.Image5MouseMove(true, false, 20, 30);
    engine.Image5MouseUp(MouseButton::Left, 20, 30);
    ASSERT_EQ(session.sent.size(), 1u);
    const auto recs = Records(session.sent[0]);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[1], Rec(btFreeHand, 20, 10, 20, 10));
    EXPECT_EQ(recs[2], Rec(btFreeHand, 20, 30, 20, 30));
    EXPECT_EQ(engine.BoardImage(1).pixel(15, 10), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(1).pixel(20, 20), qRgb(0, 0, 0));
}

TEST_F(EngineTest, ShapesRubberBandInOverlayOnlyAndCommitAtMouseUp) {
    engine.SetTool(btLine);
    engine.SetPenWidth(1);
    engine.Image5MouseDown(MouseButton::Left, 10, 10);
    engine.Image5MouseMove(true, false, 50, 10);
    EXPECT_TRUE(IsWhite(engine.BoardImage(1)));
    EXPECT_NE(engine.Overlay().pixel(30, 10), 0u);
    engine.Image5MouseMove(true, false, 10, 50);
    EXPECT_EQ(qAlpha(engine.Overlay().pixel(30, 10)), 0);  // the old band is gone
    EXPECT_EQ(engine.Pending().size(), 1u);
    engine.Image5MouseUp(MouseButton::Left, 10, 50);
    EXPECT_EQ(qAlpha(engine.Overlay().pixel(10, 30)), 0);
    EXPECT_EQ(engine.BoardImage(1).pixel(10, 30), qRgb(0, 0, 0));
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(Records(session.sent[0]).size(), 2u);
}

TEST_F(EngineTest, RubberBandsShowAsNotXorOverTheBoard) {
    // Left half black, right half white.
    const TStrokeRecord fill[] = {Rec(btRectangle, 0, 0, 512, 768, 1, kBlack, bsSolid, kBlack)};
    engine.ReplayStrokes(fill);
    engine.SetPenWidth(1);
    engine.SetPenColor(0x000000FF);  // red
    engine.SetBrushStyle(bsSolid);
    engine.SetBrushColor(0x00FF0000);  // blue
    engine.SetTool(btRectangle);
    engine.Image5MouseDown(MouseButton::Left, 400, 100);
    engine.Image5MouseMove(true, false, 600, 200);
    const QImage& o = engine.Overlay();
    EXPECT_EQ(o.pixel(550, 100), qRgb(255, 0, 0));    // red over white stays red
    EXPECT_EQ(o.pixel(450, 100), qRgb(0, 255, 255));  // red over black shows inverted
    EXPECT_EQ(o.pixel(550, 150), qRgb(0, 0, 255));    // the brush is part of the band
    EXPECT_EQ(o.pixel(450, 150), qRgb(255, 255, 0));
    EXPECT_EQ(qAlpha(o.pixel(650, 150)), 0);
    // A white pen leaves the board as it is, as not-xor does.
    engine.SetPenColor(kWhite);
    engine.SetBrushStyle(bsClear);
    engine.Image5MouseMove(true, false, 610, 210);
    EXPECT_EQ(o.pixel(450, 100), qRgb(0, 0, 0));
    EXPECT_EQ(o.pixel(550, 100), kW);
}

TEST_F(EngineTest, NoRightOrNoConnectionSendsNothingAndPrivateBoardNeverSends) {
    session.boardRight = false;
    Drag(btRectangle, {10, 10}, {40, 40});
    EXPECT_TRUE(session.sent.empty());
    session.boardRight = true;
    session.connected = false;
    Drag(btRectangle, {10, 10}, {40, 40});
    EXPECT_TRUE(session.sent.empty());
    EXPECT_TRUE(engine.Pending().empty());  // flushed without sending
    session.connected = true;
    engine.SelectBoard(0, true);
    EXPECT_EQ(engine.CurrentBoard(), 0);
    Drag(btRectangle, {10, 10}, {40, 40});
    EXPECT_TRUE(session.sent.empty());
    EXPECT_NE(engine.BoardImage(0).pixel(10, 20), kW);
}

TEST_F(EngineTest, ClampAndSnap) {
    engine.SetTool(btLine);
    engine.Image5MouseDown(MouseButton::Left, -10, 900);
    EXPECT_EQ(engine.Pending()[0], MakeMoveTo(1, 0, 768, 0, 768));
    engine.SetSnapToGrid(true);
    Drag(btRectangle, {12, 12}, {38, 62});
    auto recs = Records(session.sent.back());
    EXPECT_EQ(recs[1].x1, 0);
    EXPECT_EQ(recs[1].x2, 51);
    EXPECT_EQ(recs[1].y2, 51);
    Drag(btEllipse, {12, 12}, {38, 62});
    recs = Records(session.sent.back());
    EXPECT_EQ(recs[1].x2, 50);
    EXPECT_EQ(recs[1].y2, 50);
}

TEST_F(EngineTest, CircleRadiusAndRoundRectBothWays) {
    engine.SetPenWidth(1);
    Drag(btCircle, {50, 50}, {53, 54});  // radius 5
    const QImage& img = engine.BoardImage(1);
    EXPECT_NE(img.pixel(45, 50), kW);
    EXPECT_NE(img.pixel(54, 50), kW);
    EXPECT_NE(img.pixel(50, 45), kW);
    EXPECT_EQ(img.pixel(44, 50), kW);
    EXPECT_EQ(img.pixel(55, 50), kW);
    EXPECT_EQ(img.pixel(50, 50), kW);  // clear brush

    Drag(btRoundRect, {100, 100}, {180, 160});
    engine.SelectBoard(2, false);
    engine.SetPenWidth(1);
    Drag(btRoundRect, {180, 160}, {100, 100});
    EXPECT_EQ(engine.BoardImage(1).copy(90, 90, 100, 80), engine.BoardImage(2).copy(90, 90, 100, 80));
    EXPECT_EQ(engine.BoardImage(2).pixel(100, 100), kW);  // rounded corner
    EXPECT_NE(engine.BoardImage(2).pixel(140, 100), kW);  // top edge
    EXPECT_EQ(engine.BoardImage(2).pixel(140, 159), engine.BoardImage(2).pixel(140, 100));
}

TEST_F(EngineTest, AxesToolsPickQuadrantByDragAndReturnToNone) {
    const QRgb maroon = qRgb(128, 0, 0), blue = qRgb(0, 0, 255);
    Drag(btAxes1, {100, 200}, {160, 140});  // right and up: quadrant 1
    EXPECT_EQ(engine.Tool(), btNone);
    const QImage& a = engine.BoardImage(1);
    EXPECT_EQ(a.pixel(110, 200), maroon);
    EXPECT_EQ(a.pixel(100, 190), blue);
    Drag(btAxes1, {400, 100}, {340, 160});  // left and down: quadrant 3
    EXPECT_EQ(a.pixel(390, 100), maroon);
    EXPECT_EQ(a.pixel(410, 100), kW);
    EXPECT_EQ(a.pixel(400, 110), blue);
    EXPECT_EQ(a.pixel(400, 90), kW);
    Drag(btAxes1, {500, 100}, {560, 100});  // no vertical extent: origin (x1, y2), quadrant 1
    EXPECT_EQ(a.pixel(530, 100), maroon);
    Drag(btAxes4, {600, 300}, {700, 400});  // origin (650, 350), half sizes 50
    EXPECT_EQ(a.pixel(610, 350), maroon);
    EXPECT_EQ(a.pixel(690, 350), maroon);
    EXPECT_EQ(a.pixel(650, 310), blue);
    EXPECT_EQ(a.pixel(650, 390), blue);
}

TEST_F(EngineTest, StampDrawsChosenImageAndBadIndexNothing) {
    engine.SetMarkTag(8);  // image 9
    Drag(btMarkStamp, {100, 100}, {300, 300});
    const auto recs = Records(session.sent.back());
    EXPECT_EQ(recs[1], Rec(btMarkStamp, 100, 100, 9, 0, 3));
    const QImage stamp = engine.GetMarkBitmap(9);
    EXPECT_EQ(engine.BoardImage(1).copy(100, 100, 24, 24), stamp);
    EXPECT_FALSE(IsWhite(stamp));
    EXPECT_TRUE(engine.GetMarkBitmap(13).isNull());
    QImage picture, mask;
    ASSERT_TRUE(engine.LoadMarkCursor(3, picture, mask));
    EXPECT_EQ(mask.pixel(0, 0), kW);  // the mask is black exactly where the picture is drawn
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) EXPECT_EQ(mask.pixel(x, y) == kW, picture.pixel(x, y) == kW);
    EXPECT_FALSE(engine.LoadMarkCursor(12, picture, mask));
    engine.SelectBoard(2, false);
    const TStrokeRecord bad[] = {Rec(btMarkStamp, 10, 10, 99, 0, 1, kBlack, bsClear, kWhite, 2)};
    engine.ReplayStrokes(bad);
    EXPECT_TRUE(IsWhite(engine.BoardImage(2)));
}

TEST_F(EngineTest, WhitePenLeavesNoTraceWithDabsButDrawsWithSmoothLine) {
    engine.SetPenColor(kWhite);
    engine.SetPenWidth(4);
    Drag(btFreeHand, {10, 10}, {60, 60});
    EXPECT_TRUE(IsWhite(engine.BoardImage(1)));
    // On white with a width-1 pen the smooth line draws white: also no visible trace, but pixels are set.
    engine.SetPenColor(kBlack);
    engine.SetBrushStyle(bsSolid);
    engine.SetBrushColor(kBlack);
    Drag(btFloodFill, {5, 5}, {5, 5});
    EXPECT_EQ(engine.BoardImage(1).pixel(500, 500), qRgb(0, 0, 0));
    engine.SetPenColor(kWhite);
    engine.SetPenWidth(1);
    Drag(btFreeHand, {10, 10}, {60, 10});
    EXPECT_EQ(engine.BoardImage(1).pixel(30, 10), kW);
    // Highlighter: 15 x 15 dabs of intensity 6 along the segment.
    const TStrokeRecord recs[] = {Rec(btMoveTo, 100, 100, 100, 100, 0, 0, 0, 0),
                                  Rec(btHighlighter, 130, 100, 130, 100, 1, 0x0000FF)};
    engine.ReplayStrokes(recs);
    const QRgb mid = engine.BoardImage(1).pixel(115, 100);
    EXPECT_GT(qRed(mid), 0);
    EXPECT_EQ(qGreen(mid), 0);
    EXPECT_EQ(engine.BoardImage(1).pixel(92, 100), qRgb(0, 0, 0));
    EXPECT_NE(engine.BoardImage(1).pixel(93, 100), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(1).pixel(115, 108), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(1).pixel(115, 93), engine.BoardImage(1).pixel(115, 107));
}

TEST_F(EngineTest, ReplayLeavesLocalToolPenBrushAndSavedStateAlone) {
    engine.SetTool(btEllipse);
    engine.SetPenColor(0x00010203);
    engine.SetPenWidth(7);
    engine.SetBrushStyle(bsVertical);
    engine.SetBrushColor(0x00040506);
    engine.SaveDrawState(1);  // as a text entry or a picture placement does
    const TDrawState before = engine.CaptureDrawState(1);
    engine.SetPenColor(0x00AAAAAA);
    const TDrawState changed = engine.CaptureDrawState(1);
    const TStrokeRecord recs[] = {Rec(btMoveTo, 10, 10, 10, 10, 0, 0, 0, 0),
                                  Rec(btAxes4, 10, 10, 200, 200, 9, 0x00FF0000),
                                  Rec(btAxes1, 10, 10, 200, 200, 9, 0x00FF0000),
                                  Rec(btRectangle, 300, 300, 400, 400, 5, 0x0000FF00, bsSolid, 0x000000FF),
                                  Rec(btFreeHand, 50, 300, 50, 300, 4, 0x0000FF00),
                                  Rec(btEraser, 60, 300, 60, 300, 12),
                                  Rec(btMoveTo, 10, 10, 10, 10, 0, 0, 0, 0, 2),
                                  Rec(btLine, 20, 20, 90, 20, 2, 0x00FF00FF, bsSolid, 0, 2)};
    engine.ReplayStrokes(recs);
    EXPECT_EQ(engine.CaptureDrawState(1).penColor, changed.penColor);
    EXPECT_EQ(engine.Tool(), btEllipse);
    EXPECT_EQ(engine.CurrentLayer().penWidth, 7);
    EXPECT_EQ(engine.CurrentLayer().brushStyle, bsVertical);
    EXPECT_EQ(engine.Layer(2).penColor, kBlack);
    EXPECT_TRUE(session.sent.empty());  // nothing recorded or sent by a replay
    EXPECT_TRUE(engine.Pending().empty());
    EXPECT_EQ(engine.BoardImage(1).pixel(350, 350), qRgb(255, 0, 0));
    EXPECT_NE(engine.BoardImage(2).pixel(50, 20), kW);
    engine.RestoreDrawState(1);
    EXPECT_EQ(engine.CaptureDrawState(1).penColor, before.penColor);
}

TEST_F(EngineTest, WidePensDrawSolidEvenWhenTheCanvasKeptADottedStyle) {
    engine.SetPenStyle(PenStyle::Dot);  // as a capture's placement frame leaves it
    const TStrokeRecord recs[] = {Rec(btRectangle, 100, 100, 200, 150, 3, kBlack),
                                  Rec(btLine, 100, 300, 200, 300, 2, kBlack)};
    engine.ReplayStrokes(recs);
    const QImage& img = engine.BoardImage(1);
    for (int x = 100; x < 200; ++x) {
        EXPECT_EQ(img.pixel(x, 99), qRgb(0, 0, 0)) << x;
        EXPECT_EQ(img.pixel(x, 300), qRgb(0, 0, 0)) << x;
    }
}

TEST_F(EngineTest, FreeHandReplayJoinsFromSharedRemoteLastPoint) {
    const TStrokeRecord recs[] = {Rec(btMoveTo, 10, 10, 10, 10, 0, 0, 0, 0),
                                  Rec(btFreeHand, 20, 10, 20, 10, 1, kBlack, 0, 0, 1),
                                  Rec(btFreeHand, 30, 10, 30, 10, 1, kBlack, 0, 0, 2)};
    engine.ReplayStrokes(recs);
    EXPECT_EQ(engine.BoardImage(1).pixel(15, 10), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(2).pixel(25, 10), qRgb(0, 0, 0));  // from (20, 10) of board 1
    EXPECT_EQ(engine.RemoteLastPoint(), QPoint(30, 10));
}

TEST_F(EngineTest, ReplayClipsHugeCoordinatesToTheBoard) {
    const TStrokeRecord recs[] = {Rec(btMoveTo, 65535, 65535, 0, 0, 0, 0, 0, 0),
                                  Rec(btHighlighter, 0, 0, 0, 0, 1, kBlack),
                                  Rec(btCircle, 65535, 65535, 0, 0, 1, kBlack)};
    engine.ReplayStrokes(recs);
    EXPECT_EQ(engine.RemoteLastPoint(), QPoint(0, 0));
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1024, 768));
    EXPECT_NE(engine.BoardImage(1).pixel(1000, 740), kW);  // the dabs ran along the clipped diagonal
}

// The view repaints what TakeDirty gives: each replayed stroke's box widened by its pen, drawn either
// way, summed over a message; a fill gives the whole board, a record on another board nothing.
TEST_F(EngineTest, ReplayedStrokesAddTheirBoxesToWhatTheViewRepaints) {
    struct Case {
        std::vector<TStrokeRecord> records;
        QRect dirty;
    };
    const Case cases[] = {
        {{MakeMoveTo(1, 100, 100, 100, 100), Rec(btEraser, 110, 105, 0, 0)}, QRect(98, 98, 15, 10)},
        {{MakeMoveTo(1, 110, 105, 110, 105), Rec(btEraser, 100, 100, 0, 0)}, QRect(99, 99, 13, 8)},
        {{MakeMoveTo(1, 50, 50, 50, 50), Rec(btFreeHand, 40, 60, 0, 0, 3)}, QRect(37, 46, 17, 19)},
        {{MakeMoveTo(1, 10, 10, 10, 10), Rec(btEraser, 20, 10, 0, 0), Rec(btEraser, 5, 30, 0, 0)}, QRect(4, 8, 19, 25)},
        {{Rec(btEraser, 5, 5, 0, 0), Rec(btWhiteFill, 0, 0, 10, 10)}, QRect(0, 0, 1024, 768)},
        {{Rec(btEraser, 5, 5, 0, 0, 1, kBlack, bsClear, kWhite, 2)}, QRect()},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        engine.TakeDirty();
        engine.ReplayStrokes(cases[i].records);
        EXPECT_EQ(engine.TakeDirty(), cases[i].dirty) << "case " << i;
    }
}

// A message's highlighter lines are blended together; they must draw what the brush draws line by
// line: overlapping moves, a near-white pen (whose dabs are drawn one by one), turns that make the
// run too wide (drawn in parts), a line drawn in the middle and a change of colour.
TEST_F(EngineTest, ReplayedAirbrushLinesDrawAsTheBrushDrawsThemOneByOne) {
    struct Step {
        int x, y;
        uint8_t tool = btHighlighter;
        TColorRef colour = 0x3A5FC0;
        int pen = 3;
    };
    std::vector<Step> walk;
    for (int i = 0, x = 500, y = 400; i < 40; ++i, x += (i * 7) % 21 - 10, y += (i * 13) % 21 - 10)
        walk.push_back({x, y});
    // Back and forth over one spot: pixels under hundreds of dabs.
    std::vector<Step> scrub{{400, 300}};
    for (int i = 0; i < 40; ++i) scrub.push_back({i % 2 ? 400 : 411, 300 + i % 3});
    const std::vector<Step> cases[] = {
        walk,
        scrub,
        {{100, 100}, {108, 104, btHighlighter, 0xFAFAFA}, {100, 110, btHighlighter, 0xFAFAFA}, {96, 100, btHighlighter, 0xFAFAFA}},
        {{10, 10}, {1000, 10}, {1000, 700}, {5, 700}, {65535, 20}, {500, 400}, {510, 395}, {0, 65535}},
        // Along the top edge: dabs whose squares start above the board.
        {{40, 3}, {60, 1}, {80, 4}, {90, 0}, {70, 2}},
        {{300, 300}, {310, 306}, {302, 312}, {320, 300, btLine, 0x000000}, {312, 290}, {300, 300, btHighlighter, 0x00F0F0},
         {306, 310, btHighlighter, 0x00F0F0}},
        // Free-hand airbrush lines, a one-pixel free-hand line between them, then the highlighter.
        {{200, 200}, {207, 203, btFreeHand}, {199, 209, btFreeHand}, {205, 201, btFreeHand, 0x000000, 1},
         {212, 204, btFreeHand}, {204, 198, btFreeHand, 0x102030, 2}, {210, 206}},
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        const std::vector<Step>& steps = cases[c];
        std::vector<TStrokeRecord> recs{MakeMoveTo(1, steps[0].x, steps[0].y, 0, 0)};
        for (size_t i = 1; i < steps.size(); ++i)
            recs.push_back(Rec(steps[i].tool, steps[i].x, steps[i].y, steps[i].x - 20, steps[i].y, steps[i].pen, steps[i].colour));
        engine.ClearBoard(1);
        engine.ReplayStrokes(recs);
        // The same records one per message, with the brush's tables built without byte lanes.
        engine.ClearBoard(2);
        AllowByteLanes(false);
        for (TStrokeRecord r : recs) {
            r.board = 2;
            engine.ReplayStrokes(std::span(&r, 1));
        }
        AllowByteLanes(true);
        EXPECT_TRUE(engine.BoardImage(1) == engine.BoardImage(2)) << c;
        if (c >= 5) continue;  // a line, or brushes of other sizes
        QImage drawn(1024, 768, QImage::Format_RGB32);
        drawn.fill(Qt::white);
        TAirBrush brush;
        brush.SetSize(15);
        brush.SetIntensity(6);
        QPoint last(steps[0].x, steps[0].y);
        for (size_t i = 1; i < steps.size(); ++i) {
            const QPoint p(std::min(steps[i].x, 1024), std::min(steps[i].y, 768));
            brush.SetColor(steps[i].colour);
            brush.DabLine(drawn, last.x(), last.y(), p.x(), p.y());
            last = p;
        }
        EXPECT_TRUE(engine.BoardImage(1) == drawn) << c;
    }
}

TEST_F(EngineTest, ReplayEndsTheLocalDrag) {
    engine.SetTool(btFreeHand);
    engine.SetPenWidth(1);
    engine.Image5MouseDown(MouseButton::Left, 100, 100);
    engine.Image5MouseMove(true, false, 110, 100);
    const TStrokeRecord recs[] = {Rec(btMoveTo, 5, 5, 5, 5, 0, 0, 0, 0), Rec(btLine, 5, 5, 50, 5)};
    engine.ReplayStrokes(recs);
    EXPECT_FALSE(engine.Drawing());
    engine.Image5MouseMove(true, false, 130, 100);  // draws and records nothing more
    engine.Image5MouseUp(MouseButton::Left, 130, 100);
    EXPECT_EQ(engine.BoardImage(1).pixel(120, 100), kW);
    ASSERT_EQ(session.sent.size(), 1u);  // what was drawn before the replay still goes out
    const auto sent = Records(session.sent[0]);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], MakeMoveTo(1, 100, 100, 100, 100));
    EXPECT_EQ(sent[1].x1, 110);

    // A shape dragged through a replay is not committed, and its rubber band goes away.
    engine.SetTool(btRectangle);
    engine.Image5MouseDown(MouseButton::Left, 200, 200);
    engine.Image5MouseMove(true, false, 260, 260);
    EXPECT_NE(qAlpha(engine.Overlay().pixel(230, 200)), 0);
    engine.ReplayStrokes({});
    EXPECT_EQ(qAlpha(engine.Overlay().pixel(230, 200)), 0);
    engine.Image5MouseMove(true, false, 280, 280);
    engine.Image5MouseUp(MouseButton::Left, 280, 280);
    EXPECT_TRUE(IsWhite(engine.BoardImage(1).copy(190, 190, 100, 100)));
    EXPECT_EQ(session.sent.size(), 1u);
}

TEST_F(EngineTest, ClearDuringADragRestartsTheStrokeWhereTheDragIs) {
    engine.SetTool(btFreeHand);
    engine.SetPenWidth(1);
    engine.Image5MouseDown(MouseButton::Left, 100, 100);
    engine.Image5MouseMove(true, false, 110, 100);
    engine.ClearBoard(1);  // a clear received from the room
    engine.Image5MouseMove(true, false, 120, 100);
    engine.Image5MouseUp(MouseButton::Left, 120, 100);
    ASSERT_EQ(session.sent.size(), 1u);
    const auto sent = Records(session.sent[0]);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], MakeMoveTo(1, 110, 100, 110, 100));
    EXPECT_EQ(sent[1].x1, 120);
    // Another client that got the clear and then this stroke shows the same board.
    FakeSession otherSession;
    TBoardEngine other(otherSession);
    other.ReplayStrokes(sent);
    EXPECT_EQ(other.BoardImage(1), engine.BoardImage(1));
    EXPECT_EQ(engine.BoardImage(1).pixel(105, 100), kW);
    EXPECT_EQ(engine.BoardImage(1).pixel(0, 0), kW);

    // A clear of another board during the drag leaves the outgoing stroke whole.
    engine.Image5MouseDown(MouseButton::Left, 100, 200);
    engine.Image5MouseMove(true, false, 110, 200);
    engine.ClearBoard(3);
    engine.Image5MouseMove(true, false, 120, 200);
    engine.Image5MouseUp(MouseButton::Left, 120, 200);
    ASSERT_EQ(session.sent.size(), 2u);
    const auto whole = Records(session.sent[1]);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[0], MakeMoveTo(1, 100, 200, 100, 200));
}

TEST_F(EngineTest, ClearResetsSizeAndClearForAllSendsKind80) {
    engine.GrowLayer(1, 2000, 1000);
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(2000, 1000));
    Drag(btRectangle, {10, 10}, {40, 40});
    engine.SetTool(btEllipse);
    engine.ClearBoardForAll(1);
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1024, 768));
    EXPECT_TRUE(IsWhite(engine.BoardImage(1)));
    EXPECT_EQ(engine.Tool(), btEllipse);
    ASSERT_EQ(session.sent.back().kind, vkClearBoard);
    EXPECT_EQ(session.sent.back().body, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(engine.Pending()[0], MakeMoveTo(1, 0, 0, 0, 0));
}

TEST_F(EngineTest, SelectBoardAnnouncesOnlyWithRightAndFlag) {
    engine.SetTool(btLine);
    engine.SelectBoard(3, false);
    EXPECT_TRUE(session.sent.empty());
    EXPECT_EQ(engine.Tool(), btNone);
    EXPECT_EQ(session.currentBoard, 3);
    engine.SelectBoard(4, true);
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.viewModes, std::vector<int32_t>{0});
    EXPECT_EQ(session.sent[0].kind, vkSelectBoard);
    EXPECT_EQ(session.sent[0].body, (std::vector<uint8_t>{4, 0, 0, 0}));
    session.boardRight = false;
    engine.SelectBoard(5, true);
    EXPECT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(engine.CurrentBoard(), 5);
    engine.SelectBoard(6, true);
    EXPECT_EQ(engine.CurrentBoard(), 5);
}

TEST_F(EngineTest, PointerGestureNeedsRightAndSendsTypes) {
    session.boardRight = false;
    engine.Image5MouseDown(MouseButton::Right, 10, 20);
    EXPECT_TRUE(session.sent.empty());
    EXPECT_EQ(engine.PointerType(), 0);
    session.boardRight = true;
    engine.SetPointerButtons(true, false);
    engine.Image5MouseDown(MouseButton::Right, 10, 20);
    engine.Image5MouseMove(false, true, 30, 40);
    engine.Image5MouseUp(MouseButton::Right, 30, 40);
    ASSERT_EQ(session.sent.size(), 3u);
    EXPECT_EQ(session.sent[0].body, BuildBoardPointerBody(10, 20, 1, 1));
    EXPECT_EQ(session.sent[1].body, BuildBoardPointerBody(30, 40, 1, 1));
    EXPECT_EQ(session.sent[2].body, BuildBoardPointerBody(30, 40, 1, 0));
    EXPECT_EQ(engine.PointerType(), 0);
}

TEST_F(EngineTest, PlacingAPictureGrowsToItsEdgeAndSendsJpeg) {
    engine.SetTool(btLine);
    engine.SetPenColor(0x00000080);
    engine.BeginPlacement(Solid(100, 50, qRgb(0, 0, 255)), true);
    EXPECT_EQ(engine.Tool(), btPlaceBitmap);
    engine.Image5MouseMove(false, false, 1000, 740);
    EXPECT_TRUE(IsWhite(engine.BoardImage(1)));
    engine.Image5MouseDown(MouseButton::Left, 1000, 740);
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1100, 790));
    EXPECT_EQ(engine.BoardImage(1).pixel(1050, 760), qRgb(0, 0, 255));
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkBoardImage);
    ByteReader in(session.sent[0].body.data(), session.sent[0].body.size());
    int32_t board = 0;
    TBoardImageInfo info;
    in.i32(board);
    TBoardImageInfo::Read(in, info);
    EXPECT_EQ(info.left, 1000);
    EXPECT_EQ(info.right, 1100);
    EXPECT_EQ(info.bottom, 790);
    EXPECT_EQ(size_t(info.jpegSize) + 28, session.sent[0].body.size());
    const QImage sentPicture = QImage::fromData(session.sent[0].body.data() + 28, info.jpegSize, "JPEG");
    ASSERT_EQ(sentPicture.size(), QSize(100, 50));
    EXPECT_GT(qBlue(sentPicture.pixel(50, 25)), 200);
    EXPECT_LT(qRed(sentPicture.pixel(50, 25)), 60);
    EXPECT_EQ(session.statusClears, 1);
    EXPECT_EQ(engine.Tool(), btNone);
    EXPECT_EQ(engine.CurrentLayer().penColor, 0x00000080u);  // draw state restored
}

TEST_F(EngineTest, SlideToBoardAsksBelowModeratorLevel) {
    TResourceInfo pres;
    pres.fileName = "deck.ppt";
    pres.number = 7;
    session.level1 = 10;
    EXPECT_FALSE(engine.SendSlideToBoard(&pres, 3, [] { return false; }));
    EXPECT_TRUE(session.sent.empty());
    // The private board never travels: the slide opens here from our own copy and nothing is sent.
    EXPECT_TRUE(engine.SendSlideToBoard(&pres, 3, [] { return true; }, [] { return Solid(1100, 40, qRgb(0, 0, 255)); }));
    EXPECT_EQ(engine.CurrentBoard(), 0);
    EXPECT_TRUE(session.sent.empty());
    EXPECT_EQ(engine.BoardImage(0).size(), QSize(1100, 768));
    EXPECT_EQ(engine.BoardImage(0).pixel(1050, 20), qRgb(0, 0, 255));
    EXPECT_EQ(engine.BoardImage(0).pixel(1050, 60), qRgb(255, 255, 255));
    // On the private board already, the room is asked as usual (board 0 in the body).
    EXPECT_TRUE(engine.SendSlideToBoard(&pres, 3, [] { return true; }));
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkSlideToBoard);
    EXPECT_EQ(session.sent[0].body.size(), 777u);
    EXPECT_EQ(session.sent[0].body[0], 0);
    session.playback = true;
    EXPECT_FALSE(engine.SendSlideToBoard(&pres, 3, nullptr));
}
