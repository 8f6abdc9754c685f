// The board window's decisions as tables: mouse mapping, snapping, tool options, picture fitting,
// capture areas, text entry geometry, library file names and the marching ants.
#include <gtest/gtest.h>

#include "board/logic/board_logic.h"
#include "boardmsg/board_records.h"

using namespace orb::board;

TEST(BoardLogic, MouseMapping) {
    const QSize layer(1024, 768);
    struct Case {
        int x, y;
        bool snap;
        int grid;
        uint8_t tool;
        MouseStage stage;
        QPoint want;
    } cases[] = {
        {-10, 900, false, 25, btLine, MouseStage::Down, {0, 768}},
        {2000, -1, false, 25, btLine, MouseStage::Up, {1024, 0}},
        {12, 12, true, 25, btRectangle, MouseStage::Down, {0, 0}},
        {38, 62, true, 25, btRectangle, MouseStage::Up, {51, 51}},
        {38, 62, true, 25, btRectangle, MouseStage::Move, {51, 51}},
        {38, 62, true, 25, btEllipse, MouseStage::Up, {50, 50}},
        {38, 62, true, 25, btRoundRect, MouseStage::Up, {51, 51}},
        {38, 62, true, 25, btAreaEraser, MouseStage::Up, {51, 51}},
        {38, 62, true, 25, btAreaEraser, MouseStage::Move, {50, 50}},
        {38, 62, false, 25, btRectangle, MouseStage::Up, {38, 62}},
        // Ties go to the even multiple.
        {15, 25, true, 10, btLine, MouseStage::Down, {20, 20}},
        {35, 45, true, 10, btLine, MouseStage::Down, {40, 40}},
        {5, 1015, true, 10, btLine, MouseStage::Down, {0, 770}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapBoardPoint(c.x, c.y, layer, c.snap, c.grid, c.tool, c.stage), c.want) << c.x << "," << c.y;
}

TEST(BoardLogic, ToolOptions) {
    struct Case {
        uint8_t tool;
        bool width, colour, fill;
    } cases[] = {{0, 1, 1, 0}, {1, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 0}, {7, 1, 1, 1},
                 {9, 0, 0, 1}, {10, 1, 0, 0}, {12, 0, 1, 0}, {11, 0, 0, 0}, {16, 0, 0, 0}};
    for (const Case& c : cases) {
        const TToolOptions o = ShowToolOptions(c.tool);
        EXPECT_EQ(o.lineWidth, c.width) << int(c.tool);
        EXPECT_EQ(o.lineColor, c.colour) << int(c.tool);
        EXPECT_EQ(o.fill, c.fill) << int(c.tool);
    }
    EXPECT_EQ(ShowToolOptions(12).OutlineCaptionWidth(), 40);
    EXPECT_EQ(ShowToolOptions(9).OutlineCaptionWidth(), 1);
    EXPECT_EQ(ShowToolOptions(9).FillingCaptionWidth(), 35);
}

TEST(BoardLogic, ShrinkFitsBothWays) {
    const QSize layer(1024, 768);
    EXPECT_EQ(ShrinkToFit({1500, 500}, layer), QSize(1024, 342));
    const QSize tall = ShrinkToFit({1100, 1000}, layer);
    EXPECT_EQ(tall.height(), 768);
    EXPECT_LE(tall.width(), 1024);
    EXPECT_EQ(tall, QSize(844, 768));
    EXPECT_EQ(ShrinkToFit({500, 3000}, layer), QSize(128, 768));
    EXPECT_FALSE(NeedsFitQuestion({1024, 768}, layer));
    EXPECT_TRUE(NeedsFitQuestion({1024, 769}, layer));
}

TEST(BoardLogic, CaptureAreaIsNormalisedAndClipped) {
    const QRect screen(0, 0, 800, 600);
    EXPECT_EQ(CaptureArea({300, 200}, {100, 50}, screen), QRect(100, 50, 200, 150));
    EXPECT_EQ(CaptureArea({-50, -50}, {10, 20}, screen), QRect(0, 0, 10, 20));
    EXPECT_EQ(CaptureArea({790, 590}, {900, 700}, screen), QRect(790, 590, 10, 10));
    EXPECT_TRUE(CaptureArea({10, 10}, {10, 10}, screen).isNull());
    EXPECT_TRUE(CaptureArea({10, 10}, {200, 10}, screen).isNull());
    EXPECT_TRUE(CaptureArea({900, 700}, {1000, 800}, screen).isNull());
}

TEST(BoardLogic, TextEntryGeometry) {
    EXPECT_EQ(TextEntryOrigin(100, 50, {0, 0}), QPoint(105, 45));
    EXPECT_EQ(TextEntryOrigin(100, 50, {20, 10}), QPoint(85, 35));
    EXPECT_EQ(TextEntryToLayer(QRect(105, 45, 60, 20), {20, 10}), QRect(120, 50, 60, 20));
    EXPECT_EQ(NextTextEntryPoint(QRect(105, 45, 60, 20), {0, 0}), QPoint(100, 67));
    EXPECT_EQ(TextEntrySize(12, true, {}), QSize(17, 19));
    EXPECT_EQ(TextEntrySize(12, false, {40, 15}), QSize(57, 17));
}

TEST(BoardLogic, LibraryNamesBecomeSafeBaseNames) {
    struct Case {
        const char* name;
        const char* ext;
        const char* want;
    } cases[] = {
        {"sunset", ".JPG", "sunset.jpg"},
        {"../../etc/passwd", ".jpg", "passwd.jpg"},
        {"..\\..\\boot.ini", "jpg", "boot.ini.jpg"},
        {"/abs/path/pic.jpg", ".jpg", "pic.jpg"},
        {"..", ".jpg", "image.jpg"},
        {"", "", "image.jpg"},
        {"a\nb|c", "./../x", "a_b_c.x"},
        {".hidden", ".png", "hidden.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeLibraryFileName(QString::fromUtf8(c.name), QString::fromUtf8(c.ext)), QString::fromUtf8(c.want))
            << c.name;
    EXPECT_LE(SafeLibraryFileName(QString(5000, QLatin1Char('x')), QStringLiteral("jpg")).size(), 104);
}

TEST(BoardLogic, MarchingAnts) {
    // From phase 128: 5 white pixels and 3 red ones, then again.
    uint8_t pattern = 128;
    std::string seen;
    for (int i = 0; i < 16; ++i) {
        pattern = NextAntPattern(pattern);
        seen += AntPixelWhite(pattern) ? 'w' : 'r';
    }
    EXPECT_EQ(seen, "wwwwwrrrwwwwwrrr");
    EXPECT_EQ(NextAntPhase(128), 32);
    EXPECT_EQ(NextAntPhase(32), 8);
    EXPECT_EQ(NextAntPhase(8), 2);
    EXPECT_EQ(NextAntPhase(2), 128);
}
