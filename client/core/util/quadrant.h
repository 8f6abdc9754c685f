#pragma once
// Coordinate axes with an optional grid, drawn on a whiteboard for one quadrant or all four.

#include <cstdint>

namespace orb {

// Where the lines go; the board's canvas implements it. Colours are 0x00BBGGRR.
class ILineCanvas {
public:
    virtual ~ILineCanvas() = default;
    virtual void Line(int x0, int y0, int x1, int y1, uint32_t colour, int width) = 0;
};

inline constexpr uint32_t kQuadrantXAxisColour = 128;       // maroon
inline constexpr uint32_t kQuadrantYAxisColour = 0xFF0000;  // blue
inline constexpr uint32_t kQuadrantGridColour = 0xC0C0C0;   // silver

// Axes from (originX, originY) for quadrant 1..4 (1 upper right, then counter-clockwise), or all
// four in order for 0; with gridStep > 0, grid lines every gridStep pixels strictly inside the
// width and height. Other quadrant numbers draw nothing.
void DrawQuadrantGrid(ILineCanvas& canvas, int originX, int originY, int width, int gridStep, int quadrant,
                      int height);

}  // namespace orb
