#pragma once
// Span drawing of the board's shapes straight into the rows of a 32-bit image: boxes with rounded
// corners (a rectangle, a round rectangle, an ellipse and a circle are each such a box) outlined
// with a pen of any width and filled with a brush, wide lines with round ends, and plain boxes of
// one colour. Coordinates come from the network: everything is clipped to the image, whatever the
// numbers, and pen widths are bounded.

#include <QImage>
#include <cstdint>

#include "boardmsg/board_records.h"

namespace orb::board {

// Widest pen drawn; a record carries at most 255.
constexpr int kMaxPenWidth = 255;

// The hatch of a brush style as eight rows of eight bits: pixel (x, y) is set when bit x mod 8 of
// row y mod 8 is set, so the pattern is anchored at the image's top-left. Null for the solid and
// the clear style (and unknown codes).
const uint8_t* HatchRows(uint8_t style);

struct TShapePaint {
    TColorRef pen = kBlack;
    int penWidth = 1;  // clamped to 1..kMaxPenWidth
    uint8_t brushStyle = bsClear;
    TColorRef brush = kWhite;
};

// The box [left, right) x [top, bottom) with corner ellipses of radii rx x ry (0: square corners,
// half the box: an ellipse). A pixel belongs to the shape when its centre lies inside or on the
// edge. The pen of width 1 takes the shape's outermost pixels; a wider pen grows the shape by
// (width - 1) / 2 on every side and is width pixels deep, with round corners. The brush fills what
// the pen leaves inside. Nothing is drawn for an empty box or an image that is not 32 bits deep.
void DrawRoundBox(QImage& image, int left, int top, int right, int bottom, double rx, double ry,
                  const TShapePaint& paint);

// A line of the given width from (x0, y0) to (x1, y1) with round ends: every pixel whose centre is
// within width / 2 of the segment (an even width sits half a pixel up and left of the points).
// Nothing when both ends are the same point.
void DrawWideLine(QImage& image, int x0, int y0, int x1, int y1, int width, TColorRef colour);
// Where the processor has AVX-512, DrawWideLine draws eight rows at a time and DrawRoundBox writes
// its rows by masked stores; false draws as on one without it (the same pixels), so both ways can
// be checked on one machine.
void AllowWideLanes(bool allowed);

// The box [left, right) x [top, bottom) in one colour.
void FillBox(QImage& image, int left, int top, int right, int bottom, TColorRef colour);

}  // namespace orb::board
