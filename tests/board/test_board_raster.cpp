// Pixel rules of the free-hand line, dabs, thin lines, fills, stamps and axes.
#include <gtest/gtest.h>

#include "board_fakes.h"
#include "util/quadrant.h"

using namespace orb::board;
using namespace orb::board::test;

namespace {
constexpr QRgb kW = 0xFFFFFFFF;
QRgb Grey(int v) { return qRgb(v, v, v); }
int CountNot(const QImage& image, QRgb c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != c;
    return n;
}
}  // namespace

TEST(BoardRaster, SmoothLineHorizontalSkipsStartPixelGoingRight) {
    QImage img = Solid(32, 32, kW);
    DrawSmoothLine(img, 10, 10, 15, 10, kBlack);
    for (int x = 11; x <= 15; ++x) EXPECT_EQ(img.pixel(x, 10), Grey(0)) << x;
    EXPECT_EQ(img.pixel(10, 10), kW);
    EXPECT_EQ(CountNot(img, kW), 5);

    // Leftwards the walk starts on the start pixel and stops before the end pixel.
    QImage left = Solid(32, 32, kW);
    DrawSmoothLine(left, 15, 10, 10, 10, kBlack);
    for (int x = 11; x <= 15; ++x) EXPECT_EQ(left.pixel(x, 10), Grey(0)) << x;
    EXPECT_EQ(left.pixel(10, 10), kW);
}

TEST(BoardRaster, SmoothLineDiagonalIsYMajorOnTies) {
    QImage img = Solid(32, 32, kW);
    DrawSmoothLine(img, 10, 10, 14, 14, kBlack);
    for (int i = 11; i <= 14; ++i) EXPECT_EQ(img.pixel(i, i), Grey(0)) << i;
    EXPECT_EQ(CountNot(img, kW), 4);
}

TEST(BoardRaster, SmoothLineSteepBlendsHorizontalPairs) {
    QImage img = Solid(32, 32, kW);
    DrawSmoothLine(img, 10, 10, 12, 18, kBlack);  // x advances 0.25 per row, from 10.25 on row 11
    // weight w gives round((1 - w) * 255): 0.75 -> 64, 0.5 -> 127.5 -> 128, 0.25 -> 191
    const int left[] = {64, 128, 191, 0, 64, 128, 191, 0};
    const int right[] = {191, 128, 64, 255, 191, 128, 64, 255};
    const int base[] = {10, 10, 10, 11, 11, 11, 11, 12};
    for (int i = 0; i < 8; ++i) {
        const int y = 11 + i;
        EXPECT_EQ(img.pixel(base[i], y), Grey(left[i])) << "row " << y;
        EXPECT_EQ(img.pixel(base[i] + 1, y), Grey(right[i])) << "row " << y;
    }
    EXPECT_EQ(img.pixel(10, 10), kW);

    // Each channel blends on its own: a pen of three different channels over a background of
    // three others gives, pixel for pixel, the blend of the single pixel.
    constexpr TColorRef kPen = 0x3080F0;  // red F0, green 80, blue 30
    constexpr QRgb kBack = 0xFF1060A0;
    QImage colour = Solid(32, 32, kBack);
    DrawSmoothLine(colour, 10, 10, 12, 18, kPen);
    const float weight[] = {0.75f, 0.5f, 0.25f, 1.0f};
    for (int i = 0; i < 8; ++i) {
        const float w = weight[i % 4];
        EXPECT_EQ(colour.pixel(base[i], 11 + i), BlendColor(kPen, kBack, w)) << "row " << 11 + i;
        EXPECT_EQ(colour.pixel(base[i] + 1, 11 + i), BlendColor(kPen, kBack, 1.0f - w)) << "row " << 11 + i;
    }
}

TEST(BoardRaster, BlendRoundsHalfToEven) {
    EXPECT_EQ(BlendColor(0x000000, qRgb(1, 3, 5), 0.5f), qRgb(0, 2, 2));  // 0.5, 1.5, 2.5
    EXPECT_EQ(BlendColor(0x0000FF, qRgb(0, 0, 0), 1.0f), qRgb(255, 0, 0));
    // A point click plots weight 1 on the point, 0 on its right neighbour.
    QImage img = Solid(8, 8, kW);
    DrawSmoothLine(img, 3, 3, 3, 3, 0x0000FF);
    EXPECT_EQ(img.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(4, 3), kW);
}

TEST(BoardRaster, AirbrushDabSquareAndLimits) {
    QImage img = Solid(16, 16, Grey(0));
    TAirBrush brush;
    brush.SetSize(4);
    brush.SetIntensity(50);
    brush.SetColor(0x0000FF);  // red
    brush.Dab(img, 5, 5);      // square 3..6 x 3..6
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 3 && x <= 6 && y >= 3 && y <= 6;
            EXPECT_EQ(img.pixel(x, y), in ? qRgb(128, 0, 0) : Grey(0)) << x << "," << y;  // 127.5 -> 128
        }
    brush.SetSize(0);
    brush.SetSize(201);
    brush.SetIntensity(101);
    EXPECT_EQ(brush.Size(), 4);
    EXPECT_EQ(brush.Intensity(), 50);
    // A dab whose result is pure white writes nothing; one at the corner stays inside the image.
    QImage grey = Solid(8, 8, Grey(254));
    brush.SetColor(kWhite);
    brush.SetIntensity(100);
    brush.Dab(grey, 0, 0);
    EXPECT_EQ(grey.pixel(0, 0), Grey(254));
    brush.SetColor(kBlack);
    brush.SetSize(200);
    brush.Dab(grey, 7, 7);
    EXPECT_EQ(grey.pixel(0, 0), Grey(0));
}

// A line of dabs is the dabs of LineDDA's points, in every direction and across the edges, whether
// it counts the dabs on each pixel or (for brushes whose dabs can come out pure white, which are
// not written) goes dab by dab; one brush draws all lines, as a stroke does.
TEST(BoardRaster, AirbrushLineIsTheDabsOfItsPoints) {
    const QLine lines[] = {{20, 20, 60, 25}, {60, 25, 20, 20}, {30, 5, 33, 70}, {33, 70, 30, 5},
                           {-10, -10, 15, 12}, {70, 50, 90, 90}, {40, 40, 40, 40}, {41, 40, 40, 40}};
    struct Brush {
        TColorRef colour;
        int grey, intensity;  // intensity 0: 6 for the highlighter's size 15, else 50
    };
    const Brush brushes[] = {{0x00336699, 200, 0}, {kWhite, 254, 60}, {0x00FEFFFF, 250, 0}};
    for (const Brush& b : brushes)
        for (int size : {1, 4, 15, 40}) {
            TAirBrush brush;
            brush.SetSize(size);
            brush.SetIntensity(b.intensity ? b.intensity : size == 15 ? 6 : 50);
            brush.SetColor(b.colour);
            for (const QLine& l : lines) {
                QImage one = Solid(80, 80, Grey(b.grey)), many = one;
                brush.DabLine(one, l.x1(), l.y1(), l.x2(), l.y2());
                LineDDA(l.x1(), l.y1(), l.x2(), l.y2(), [&](int x, int y) { brush.Dab(many, x, y); });
                EXPECT_EQ(one, many) << b.colour << " " << size << " " << l.x1() << "," << l.y1() << " " << l.x2()
                                     << "," << l.y2();
            }
        }
}

TEST(BoardRaster, ThinLineAndLineDdaExcludeEndPoint) {
    QImage img = Solid(16, 16, kW);
    DrawThinLine(img, 2, 2, 6, 2, kBlack);
    EXPECT_EQ(CountNot(img, kW), 4);
    EXPECT_EQ(img.pixel(6, 2), kW);
    int calls = 0;
    LineDDA(3, 3, 3, 3, [&](int, int) { ++calls; });
    EXPECT_EQ(calls, 0);
    std::vector<QPoint> pts;
    LineDDA(0, 0, 3, -6, [&](int x, int y) { pts.emplace_back(x, y); });
    ASSERT_EQ(pts.size(), 6u);
    EXPECT_EQ(pts.front(), QPoint(0, 0));
    EXPECT_EQ(pts.back().y(), -5);
    // Lines that leave the image are cut, not written outside.
    DrawThinLine(img, -100, 8, 100, 8, kBlack);
    EXPECT_EQ(img.pixel(0, 8), Grey(0));
    EXPECT_EQ(img.pixel(15, 8), Grey(0));
    // Level and upright lines, drawn as runs, and slanted ones, cut to the image before their walk,
    // set exactly the walk's points, either way and cut.
    const QLine lines[] = {{2, 5, 9, 5},    {9, 5, 2, 5},     {5, -3, 5, 20},   {5, 20, 5, -3},  {-5, 3, -1, 3},
                           {20, 3, 30, 3},  {-7, -3, 22, 9},  {22, 9, -7, -3},  {3, 21, 11, -9}, {-4, -4, 19, 19},
                           {14, 2, -6, 13}, {-30, 40, 40, -29}, {20, 1, 30, 9}, {7, 7, 8, 9}};
    for (const QLine& l : lines) {
        QImage runs = Solid(16, 16, kW), walk = Solid(16, 16, kW);
        DrawThinLine(runs, l.x1(), l.y1(), l.x2(), l.y2(), kBlack);
        LineDDA(l.x1(), l.y1(), l.x2(), l.y2(), [&](int x, int y) {
            if (walk.rect().contains(x, y)) walk.setPixel(x, y, Grey(0));
        });
        EXPECT_EQ(runs, walk) << l.x1() << "," << l.y1() << " " << l.x2() << "," << l.y2();
    }
}

TEST(BoardRaster, FloodFillWholeBoardBoundedAndHatched) {
    QImage board = Solid(1024, 768, kW);
    FloodFillSurface(board, 5, 5, MakeBrush(bsSolid, 0x0000FF));
    EXPECT_EQ(CountNot(board, qRgb(255, 0, 0)), 0);

    QImage boxed = Solid(40, 40, kW);
    DrawThinLine(boxed, 10, 10, 20, 10, kBlack);
    DrawThinLine(boxed, 20, 10, 20, 20, kBlack);
    DrawThinLine(boxed, 20, 20, 10, 20, kBlack);
    DrawThinLine(boxed, 10, 20, 10, 10, kBlack);
    FloodFillSurface(boxed, 15, 15, MakeBrush(bsSolid, 0x00FF00));
    EXPECT_EQ(boxed.pixel(15, 15), qRgb(0, 255, 0));
    EXPECT_EQ(boxed.pixel(11, 19), qRgb(0, 255, 0));
    EXPECT_EQ(boxed.pixel(5, 5), kW);
    EXPECT_EQ(boxed.pixel(10, 15), Grey(0));

    // Hatch fill: only pattern pixels change, the rest of the area keeps its colour.
    QImage hatch = Solid(32, 32, kW);
    FloodFillSurface(hatch, 0, 0, MakeBrush(bsHorizontal, kBlack));
    const int changed = CountNot(hatch, kW);
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, 32 * 32 / 2);
    // What one fill marked does not hold back the next, on another picture of the same size.
    QImage again = Solid(40, 40, kW);
    FloodFillSurface(again, 0, 0, MakeBrush(bsSolid, 0x00FF00));
    EXPECT_EQ(CountNot(again, qRgb(0, 255, 0)), 0);
    // A clear brush fills nothing; a start outside the image does nothing.
    QImage clear = Solid(8, 8, kW);
    FloodFillSurface(clear, 1, 1, MakeBrush(bsClear, kBlack));
    FloodFillSurface(clear, 8, 1, MakeBrush(bsSolid, kBlack));
    EXPECT_TRUE(IsWhite(clear));
}

TEST(BoardRaster, FloodFillFollowsLongSerpentineWithoutRecursion) {
    // Walls every other column, open alternately at the top and the bottom: one path of
    // about 400,000 pixels that a recursive fill could not follow.
    QImage img = Solid(1024, 768, kW);
    for (int x = 1; x < 1024; x += 2) {
        const int gap = (x / 2) % 2 ? 0 : 767;
        for (int y = 0; y < 768; ++y)
            if (y != gap) img.setPixel(x, y, qRgb(0, 0, 0));
    }
    const int whiteBefore = 1024 * 768 - CountNot(img, kW);
    FloodFillSurface(img, 0, 0, MakeBrush(bsSolid, 0x0000FF));
    EXPECT_EQ(CountNot(img, kW), 1024 * 768);
    int red = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) red += img.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_EQ(red, whiteBefore);
}

TEST(BoardRaster, StampIsAndedIntoTheBoard) {
    QImage stamp = Solid(4, 4, kW);
    stamp.setPixel(1, 1, qRgb(0, 0, 255));
    QImage img = Solid(8, 8, qRgb(200, 100, 50));
    StampAnd(img, stamp, 6, 6);  // partly outside
    EXPECT_EQ(img.pixel(7, 7), qRgb(0, 0, 50 & 255));
    EXPECT_EQ(img.pixel(6, 6), qRgb(200, 100, 50));
}

TEST(BoardRaster, QuadrantGridColoursAndOrder) {
    const QRgb maroon = qRgb(128, 0, 0), blue = qRgb(0, 0, 255), silver = qRgb(192, 192, 192);
    QImage img = Solid(300, 300, kW);
    DrawQuadrantGrid(img, 100, 200, 60, 25, 1, 60);
    EXPECT_EQ(img.pixel(110, 200), maroon);
    EXPECT_EQ(img.pixel(159, 200), maroon);
    EXPECT_EQ(img.pixel(160, 200), kW);      // end point not drawn
    EXPECT_EQ(img.pixel(100, 200), blue);    // y axis drawn after the x axis
    EXPECT_EQ(img.pixel(100, 141), blue);
    EXPECT_EQ(img.pixel(100, 140), kW);
    EXPECT_EQ(img.pixel(125, 200), silver);  // grid line starts on the x axis
    EXPECT_EQ(img.pixel(150, 160), silver);
    EXPECT_EQ(img.pixel(130, 175), silver);
    EXPECT_EQ(img.pixel(175, 175), kW);      // 75 is not inside a width of 60
    EXPECT_EQ(img.pixel(99, 200), kW);
    EXPECT_EQ(img.pixel(125, 201), kW);

    QImage all = Solid(300, 300, kW);
    DrawQuadrantGrid(all, 150, 150, 50, 0, 0, 50);  // no grid with step 0
    EXPECT_EQ(all.pixel(120, 150), maroon);
    EXPECT_EQ(all.pixel(180, 150), maroon);
    EXPECT_EQ(all.pixel(150, 120), blue);
    EXPECT_EQ(all.pixel(150, 180), blue);
    EXPECT_EQ(CountNot(all, kW), 99 + 99 - 1);  // the axes run 101..199 and share the origin
}

// The axes are drawn line by line, or in bands of rows on an image whose rows are 4 KB apart; either
// way each pixel must end as when every line of the shared routine is drawn whole, in its order, by
// the thin-line rule.
TEST(BoardRaster, QuadrantGridInBandsMatchesLineByLine) {
    struct Whole : orb::ILineCanvas {
        QImage& image;
        explicit Whole(QImage& i) : image(i) {}
        void Line(int x0, int y0, int x1, int y1, uint32_t colour, int) override { DrawThinLine(image, x0, y0, x1, y1, colour); }
    };
    struct Case {
        int x, y, width, step, quadrant, height;
    };
    const Case cases[] = {
        {100, 80, 150, 25, 1, 120},  {100, 80, 150, 25, 2, 120}, {100, 80, 150, 25, 3, 120},
        {100, 80, 150, 25, 4, 120},  {150, 100, 90, 25, 0, 70},  {150, 100, 90, 1, 0, 70},  // every row a grid line
        {-40, -30, 500, 7, 0, 400},  {290, 190, 20, 25, 0, 20},                             // beyond the image's edges
        {10, 10, 70000, 25, 4, 70000}, {150, 100, 0, 25, 0, 50}, {150, 100, 60, 25, 9, 60}, // huge, flat, no quadrant
    };
    for (const int width : {300, 1024})  // 1024 pixels: rows 4 KB apart, drawn in bands
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(width) + ": " + std::to_string(c.x) + "," + std::to_string(c.y) + " q" +
                         std::to_string(c.quadrant));
            QImage grid = Solid(width, 200, kW), whole = Solid(width, 200, kW);
            DrawQuadrantGrid(grid, c.x, c.y, c.width, c.step, c.quadrant, c.height);
            Whole lines(whole);
            orb::DrawQuadrantGrid(lines, c.x, c.y, c.width, c.step, c.quadrant, c.height);
            EXPECT_EQ(grid, whole);
        }
}
