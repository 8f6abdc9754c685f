// The span drawing of shapes: exact pixels of small shapes, hatch anchoring, clipping at the image's
// edges and coordinates, widths and styles no sender should send.
#include <gtest/gtest.h>

#include <QPainter>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "board/engine/board_shapes.h"
#include "board_fakes.h"

using namespace orb::board;
using namespace orb::board::test;

namespace {

constexpr QRgb kW = 0xFFFFFFFF;
constexpr TColorRef kRed = 0x000000FF;

// '.' white, '#' black (the pen), 'o' red (the brush), '?' anything else.
std::string Mask(const QImage& image) {
    std::string out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out += p == kW ? '.' : p == qRgb(0, 0, 0) ? '#' : p == qRgb(255, 0, 0) ? 'o' : '?';
        }
        out += '\n';
    }
    return out;
}

std::string Rows(std::initializer_list<const char*> rows) {
    std::string out;
    for (const char* r : rows) (out += r) += '\n';
    return out;
}

enum class Kind { Box, Line };
struct Case {
    const char* name;
    Kind kind;
    int a, b, c, d;  // box: left, top, right, bottom; line: x0, y0, x1, y1
    double rx, ry;
    int pen;
    uint8_t brush;
    std::string expected;
};

void Draw(QImage& image, const Case& k, int dx = 0, int dy = 0) {
    if (k.kind == Kind::Box)
        DrawRoundBox(image, k.a + dx, k.b + dy, k.c + dx, k.d + dy, k.rx, k.ry, TShapePaint{kBlack, k.pen, k.brush, kRed});
    else
        DrawWideLine(image, k.a + dx, k.b + dy, k.c + dx, k.d + dy, k.pen, kBlack);
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"rectangle, pen 1, right and bottom edges excluded", Kind::Box, 1, 1, 8, 5, 0, 0, 1, bsSolid, Rows({
             "..........",
             ".#######..",
             ".#ooooo#..",
             ".#ooooo#..",
             ".#######..",
             "..........",
         })},
        {"rectangle, pen 2: one pixel out on every side, round corners", Kind::Box, 2, 2, 9, 6, 0, 0, 2, bsSolid, Rows({
             "...........",
             "..#######..",
             ".#########.",
             ".##ooooo##.",
             ".##ooooo##.",
             ".#########.",
             "..#######..",
             "...........",
         })},
        {"rectangle, pen 3, clear brush", Kind::Box, 2, 2, 9, 7, 0, 0, 3, bsClear, Rows({
             "...........",
             ".#########.",
             ".#########.",
             ".#########.",
             ".###...###.",
             ".#########.",
             ".#########.",
             ".#########.",
         })},
        {"ellipse, pen 1", Kind::Box, 1, 1, 12, 9, 5.5, 4, 1, bsSolid, Rows({
             ".............",
             "....#####....",
             "..##ooooo##..",
             ".#ooooooooo#.",
             ".#ooooooooo#.",
             ".#ooooooooo#.",
             ".#ooooooooo#.",
             "..##ooooo##..",
             "....#####....",
             ".............",
         })},
        {"circle of radius 3, pen 1, clear brush", Kind::Box, 1, 1, 7, 7, 3, 3, 1, bsClear, Rows({
             "........",
             "..####..",
             ".#....#.",
             ".#....#.",
             ".#....#.",
             ".#....#.",
             "..####..",
             "........",
         })},
        {"round rectangle, pen 9: a pen past the unrolled erosions and the tabled discs", Kind::Box, 5, 5, 19, 17, 4, 4, 9,
         bsSolid, Rows({
             "........................",
             "......############......",
             "....################....",
             "...##################...",
             "..####################..",
             "..####################..",
             ".######################.",
             ".######################.",
             ".######################.",
             ".######################.",
             ".#########oooo#########.",
             ".#########oooo#########.",
             ".######################.",
             ".######################.",
             ".######################.",
             ".######################.",
             "..####################..",
             "..####################..",
             "...##################...",
             "....################....",
             "......############......",
             "........................",
         })},
        {"horizontal hatch anchored at the image's row 3", Kind::Box, 0, 0, 6, 12, 0, 0, 1, bsHorizontal, Rows({
             "######",
             "#....#",
             "#....#",
             "#oooo#",
             "#....#",
             "#....#",
             "#....#",
             "#....#",
             "#....#",
             "#....#",
             "#....#",
             "######",
         })},
        {"forward diagonal hatch", Kind::Box, 0, 0, 12, 4, 0, 0, 1, bsFDiagonal, Rows({
             "############",
             "#o.......o.#",
             "#.o.......o#",
             "############",
         })},
        {"line, pen 2, sits up and left of its points, round ends", Kind::Line, 3, 2, 8, 2, 0, 0, 2, 0, Rows({
             "...........",
             "..#######..",
             "..#######..",
             "...........",
         })},
        {"line, pen 3", Kind::Line, 3, 2, 8, 2, 0, 0, 3, 0, Rows({
             "...........",
             "..########.",
             "..########.",
             "..########.",
             "...........",
         })},
        {"line, pen 2, steep: rows between the round ends", Kind::Line, 2, 1, 6, 13, 0, 0, 2, 0, Rows({
             ".##.......", ".##.......", ".###......", "..##......", "..##......",
             "..###.....", "...##.....", "...##.....", "...###....", "....##....",
             "....##....", "....###...", ".....##...", ".....##...", "..........",
         })},
        {"line, pen 3, steep, leaning the other way", Kind::Line, 7, 2, 3, 12, 0, 0, 3, 0, Rows({
             "..........", "......###.", "......###.", ".....####.", ".....###..",
             ".....###..", "....####..", "....###...", "...####...", "...###....",
             "...###....", "..####....", "..###.....", "..###.....", "..........",
         })},
        {"line, pen 3, one point only: nothing", Kind::Line, 3, 2, 3, 2, 0, 0, 3, 0, Rows({
             "......",
             "......",
             "......",
         })},
    };
    return cases;
}

}  // namespace

TEST(BoardShapes, SmallShapesPixelExact) {
    for (const Case& k : Cases()) {
        const int h = int(std::count(k.expected.begin(), k.expected.end(), '\n'));
        const int w = int(k.expected.find('\n'));
        QImage image = Solid(w, h, kW);
        Draw(image, k);
        EXPECT_EQ(Mask(image), k.expected) << k.name;
    }
}

TEST(BoardShapes, HatchesAreTheFloodFillBrushes) {
    // A hatched shape and a hatched flood fill side by side must show one pattern.
    for (uint8_t style : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross}) {
        QImage brush = Solid(16, 16, kW);
        {
            QPainter p(&brush);
            p.fillRect(brush.rect(), MakeBrush(style, kBlack));
        }
        const uint8_t* rows = HatchRows(style);
        ASSERT_NE(rows, nullptr);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(brush.pixel(x, y) != kW, bool(rows[y & 7] & (1u << (x & 7)))) << int(style) << " " << x << "," << y;
    }
    EXPECT_EQ(HatchRows(bsSolid), nullptr);
    EXPECT_EQ(HatchRows(bsClear), nullptr);
    EXPECT_EQ(HatchRows(200), nullptr);
}

TEST(BoardShapes, ClippedAtEveryEdgeAsOnALargerImage) {
    // Each case drawn across each edge and corner of a small image must give the same pixels as
    // the part of a large image it covers (shifts by multiples of 8 keep the hatch in place).
    for (const Case& k : Cases()) {
        for (const auto& [dx, dy] : {std::pair{-8, 0}, {0, -8}, {-8, -8}, {8, 0}, {0, 8}, {-16, -16}, {8, 8}}) {
            QImage big = Solid(64, 64, kW);
            Draw(big, k, 24 + dx, 24 + dy);
            QImage small = Solid(12, 12, kW);
            Draw(small, k, dx, dy);
            EXPECT_EQ(Mask(small), Mask(big.copy(24, 24, 12, 12))) << k.name << " at " << dx << ", " << dy;
        }
    }
}

TEST(BoardShapes, WideLanesDrawTheSamePixels) {
    // The eight-row lanes (where the processor has them) against the row-by-row drawing, on lines
    // of every direction, partly off the image, with pens whose round ends meet or overlap.
    std::mt19937 rng(5);
    for (int i = 0; i < 400; ++i) {
        const int x0 = int(rng() % 80) - 10, y0 = int(rng() % 60) - 10, pen = 1 + int(rng() % (i % 4 ? 6 : 40));
        const int x1 = i % 5 == 0 ? x0 + int(rng() % 3) - 1 : int(rng() % 80) - 10, y1 = int(rng() % 60) - 10;
        QImage lanes = Solid(64 + i % 3, 48, kW), rows = lanes.copy();
        DrawWideLine(lanes, x0, y0, x1, y1, pen, kBlack);
        AllowWideLanes(false);
        DrawWideLine(rows, x0, y0, x1, y1, pen, kBlack);
        AllowWideLanes(true);
        ASSERT_EQ(lanes, rows) << x0 << "," << y0 << " to " << x1 << "," << y1 << ", pen " << pen;
    }
    // Boxes of every brush, rounded or not, partly off the image, with their rows written by masked
    // stores against the plain runs; every other one on a wide image, whose rows take several
    // 64-byte steps.
    for (int i = 0; i < 600; ++i) {
        const int wide = i % 2 ? 0 : 180;
        const int left = int(rng() % (90 + wide)) - 20, top = int(rng() % 70) - 20;
        const int right = left + 1 + int(rng() % (70 + wide)), bottom = top + 1 + int(rng() % 50);
        const double rx = i % 3 ? (right - left) / 2.0 : rng() % 12, ry = i % 3 ? (bottom - top) / 2.0 : rng() % 12;
        const TShapePaint paint{kBlack, 1 + int(rng() % (i % 5 ? 5 : 30)), uint8_t(rng() % 8), kRed};
        QImage lanes = Solid(64 + wide + i % 5, 48, kW), rows = lanes.copy();
        DrawRoundBox(lanes, left, top, right, bottom, rx, ry, paint);
        AllowWideLanes(false);
        DrawRoundBox(rows, left, top, right, bottom, rx, ry, paint);
        AllowWideLanes(true);
        ASSERT_EQ(lanes, rows) << left << "," << top << " to " << right << "," << bottom << ", pen " << paint.penWidth
                               << ", brush " << int(paint.brushStyle);
    }
}

TEST(BoardShapes, HostileNumbersStayInsideTheImage) {
    // Boxes reaching past every edge: the brush covers the image, the pen lies outside it.
    QImage image = Solid(16, 8, kW);
    DrawRoundBox(image, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, TShapePaint{kBlack, 3, bsSolid, kRed});
    EXPECT_EQ(Mask(image), Mask(Solid(16, 8, qRgb(255, 0, 0))));
    // Widths beyond a byte, none, and radii that are not numbers draw a bounded shape.
    for (int pen : {0, -5, 1000, INT_MAX}) {
        QImage img = Solid(16, 8, kW);
        DrawRoundBox(img, 4, 2, 6, 4, NAN, INFINITY, TShapePaint{kBlack, pen, bsSolid, kRed});
        DrawWideLine(img, -100000, 4, INT_MAX, 4, pen, kBlack);
        EXPECT_EQ(img.pixel(10, 4), qRgb(0, 0, 0)) << pen;
    }
    // Empty boxes, far-off shapes and images of another depth draw nothing.
    QImage blank = Solid(16, 8, kW);
    DrawRoundBox(blank, 5, 5, 5, 9, 0, 0, TShapePaint{kBlack, 1, bsSolid, kRed});
    DrawRoundBox(blank, 9, 5, 3, 9, 0, 0, TShapePaint{kBlack, 1, bsSolid, kRed});
    DrawRoundBox(blank, INT_MAX - 10, 0, INT_MAX, 8, 5, 4, TShapePaint{kBlack, 255, bsSolid, kRed});
    DrawWideLine(blank, INT_MIN, INT_MIN, INT_MIN + 5, INT_MIN, 255, kBlack);
    FillBox(blank, 20, 0, 40, 8, kBlack);
    EXPECT_TRUE(IsWhite(blank));
    QImage indexed(8, 8, QImage::Format_Indexed8);
    indexed.fill(0);
    DrawRoundBox(indexed, 0, 0, 8, 8, 0, 0, TShapePaint{kBlack, 1, bsSolid, kRed});
    DrawWideLine(indexed, 0, 0, 7, 7, 3, kBlack);
    FillBox(indexed, 0, 0, 8, 8, kBlack);
    EXPECT_EQ(indexed.pixelIndex(3, 3), 0);
}
