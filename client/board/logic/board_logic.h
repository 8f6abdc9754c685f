#pragma once
// The board window's decisions as plain functions of plain state, so they can be checked as tables:
// where a mouse event lands on a layer, what each tool button does, how an opened picture is fitted,
// the rectangle of an area capture, where a text entry sits, and the local name of a library file.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>

namespace orb::board {

// Which step of a drag a point belongs to: the +1 of the snapped end point differs per step.
enum class MouseStage { Down, Move, Up };

// Clamps to 0..width and 0..height (the far edge included), then, when snapping, rounds each
// coordinate to the nearest multiple of grid (ties to even) and adds the tool's extra pixel.
QPoint MapBoardPoint(int x, int y, QSize layer, bool snap, int grid, uint8_t tool, MouseStage stage);
// The extra pixel added to a snapped point: rectangles and round rectangles while dragging and at
// release, the area eraser at release only.
int SnapExtra(uint8_t tool, MouseStage stage);

enum class LayerCursor { Unchanged, Arrow, Cross, Pen, IBeam, Mark };
enum class SnapChange { Unchanged, Clear, Set };

struct TToolButton {
    const char* name;     // object name of the button
    const char* hint;
    const char* caption;  // short text shown on the button
    uint8_t code;
    LayerCursor cursor;
    SnapChange snap;
};
// The tool buttons in their order on the tool bar.
const std::array<TToolButton, 14>& ToolButtons();
const TToolButton* FindToolButton(uint8_t code);

// Which pickers a tool shows, and the widths of the panels and captions.
struct TToolOptions {
    bool lineWidth = false;
    bool lineColor = false;
    bool fill = false;  // fill style and fill colour
    int PanelWidth(bool shown) const { return shown ? 60 : 1; }
    int OutlineCaptionWidth() const { return lineWidth || lineColor ? 40 : 1; }
    int FillingCaptionWidth() const { return fill ? 35 : 1; }
};
TToolOptions ShowToolOptions(uint8_t tool);

// The marks of the mark menu: caption and image of the stamp list.
struct TMarkItem {
    const char* caption;
    int image;
};
const std::array<TMarkItem, 5>& MarkItems();

// An opened picture larger than the layer, shrunk: the axis that limits is the one with the smaller
// scale (so the result fits both ways); the other side follows the picture's ratio width / (height + 1).
QSize ShrinkToFit(QSize picture, QSize layer);
bool NeedsFitQuestion(QSize picture, QSize layer);

// The dragged area of a capture: corners in any order, clipped to the screen. Empty when the area
// has no width or height after clipping.
QRect CaptureArea(QPoint a, QPoint b, QRect screen);

// Text entry geometry. The layers sit at (5, 5) of the scroll area's client.
// Top-left of a new entry panel for a click at layer point (x, y).
QPoint TextEntryOrigin(int x, int y, QPoint scroll);
// The panel rectangle (scroll-area client) in layer pixels.
QRect TextEntryToLayer(QRect panel, QPoint scroll);
// The layer point at which the next entry opens after Enter.
QPoint NextTextEntryPoint(QRect panel, QPoint scroll);
// Panel size for a text of the measured size (an empty text: the font size alone).
QSize TextEntrySize(int fontSize, bool empty, QSize measured);
constexpr int kTextEntryMaxLength = 250;

// A file name from the server made into a plain base name for our own folder: no folders, no
// parent references, no control or reserved characters, a bounded length, never empty. The
// extension is reduced to letters and digits.
QString SafeLibraryFileName(const QString& name, const QString& extension);

// Marching ants: the pattern after one pixel, and whether that pixel is white.
uint8_t NextAntPattern(uint8_t pattern);
inline bool AntPixelWhite(uint8_t pattern) { return pattern < 32; }
// The phase after one timer tick: 128, 32, 8, 2, then 128 again.
uint8_t NextAntPhase(uint8_t phase);

}  // namespace orb::board
