#include "util/quadrant.h"

namespace orb {

namespace {

void DrawOne(ILineCanvas& c, int x0, int y0, int w, int s, int q, int h) {
    const int sx = (q == 1 || q == 4) ? 1 : -1;
    const int sy = (q == 1 || q == 2) ? -1 : 1;  // screen y grows downwards
    c.Line(x0, y0, x0 + sx * w, y0, kQuadrantXAxisColour, 1);
    c.Line(x0, y0, x0, y0 + sy * h, kQuadrantYAxisColour, 1);
    if (s <= 0) return;
    for (long d = s; d < w; d += s) {
        int x = x0 + sx * static_cast<int>(d);
        c.Line(x, y0, x, y0 + sy * h, kQuadrantGridColour, 1);
    }
    for (long d = s; d < h; d += s) {
        int y = y0 + sy * static_cast<int>(d);
        c.Line(x0, y, x0 + sx * w, y, kQuadrantGridColour, 1);
    }
}

}  // namespace

void DrawQuadrantGrid(ILineCanvas& canvas, int originX, int originY, int width, int gridStep, int quadrant,
                      int height) {
    if (quadrant == 0) {
        for (int q = 1; q <= 4; ++q) DrawOne(canvas, originX, originY, width, gridStep, q, height);
    } else if (quadrant >= 1 && quadrant <= 4) {
        DrawOne(canvas, originX, originY, width, gridStep, quadrant, height);
    }
}

}  // namespace orb
