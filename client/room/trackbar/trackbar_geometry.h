#pragma once
// The trackbar's geometry as plain functions: where the slide, the thumb and the ticks go for a
// client size, and how positions and thumb offsets map onto each other. A range of zero (Max =
// Min) or a track of zero length never divides: the thumb then stays at the start.

#include <cstdint>
#include <vector>

namespace orb::room {

struct TBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const TBox&) const = default;
    bool StrictlyInside(int x, int y) const { return x > left && x < right && y > top && y < bottom; }
};

enum class TTickStyle { None, Auto, Manual };
enum class TTickMarks { BottomRight, TopLeft, Both };

struct TTrackGeometry {
    int thumbLength = 0;     // T
    int thumbThickness = 0;  // W
    int trackLength = 0;     // L, never negative
    TBox thumb;
    TBox slide;
};

// The geometry for a client size and a thumb offset (pixels from the start of the track).
TTrackGeometry TrackGeometry(bool vertical, int width, int height, int offset);
// round(L / (max - min) x (position - min)); 0 when the range or the track is empty.
int OffsetForPosition(int trackLength, int min, int max, int position);
// min + round((max - min) x offset / L); min when the track is empty.
int PositionForOffset(int trackLength, int min, int max, int offset);
// A pressed thumb following the mouse: the offset clamped to 0..L, the position it gives, and the
// offset snapped back to that position.
struct TDrag {
    int offset = 0;
    int position = 0;
};
TDrag DragTo(bool vertical, int mouse, int thumbThickness, int trackLength, int min, int max);
// Tick indexes 0 .. max - min that are drawn.
std::vector<int> TickIndexes(TTickStyle style, int frequency, int min, int max);
// A tick's pixel along the track: the top-left mark (real-number rounding) and the bottom-right mark.
int TickTopLeft(int index, int trackLength, int thumbThickness, int min, int max);
int TickBottomRight(int index, int trackLength, int thumbThickness, int min, int max);
// One channel of a gradient line: start + round((end - start) / steps x line).
int GradientChannel(int start, int end, int steps, int line);

}  // namespace orb::room
