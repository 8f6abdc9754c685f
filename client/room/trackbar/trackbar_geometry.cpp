#include "trackbar/trackbar_geometry.h"

#include <algorithm>
#include <cmath>

namespace orb::room {

TTrackGeometry TrackGeometry(bool vertical, int width, int height, int offset) {
    TTrackGeometry g;
    const int across = vertical ? width : height;
    const int along = vertical ? height : width;
    g.thumbLength = std::max(0, across - 8);
    g.thumbThickness = g.thumbLength / 2;
    g.trackLength = std::max(0, along - g.thumbThickness);
    offset = std::clamp(offset, 0, g.trackLength);
    if (vertical) {
        g.thumb = {4, offset, g.thumbLength + 4, offset + g.thumbThickness};
        const int w = width / 3 + 1;
        g.slide = {w, 0, width - w, height};
    } else {
        g.thumb = {offset, 4, offset + g.thumbThickness, g.thumbLength + 4};
        const int h = height / 3 + 1;
        g.slide = {0, h, width, height - h};
    }
    return g;
}

int OffsetForPosition(int trackLength, int min, int max, int position) {
    if (max <= min || trackLength <= 0) return 0;
    return int(std::lround(double(trackLength) / double(int64_t(max) - min) * double(int64_t(position) - min)));
}

int PositionForOffset(int trackLength, int min, int max, int offset) {
    if (max <= min || trackLength <= 0) return min;
    return int(int64_t(min) + std::llround(double(int64_t(max) - min) * offset / trackLength));
}

TDrag DragTo(bool vertical, int mouse, int thumbThickness, int trackLength, int min, int max) {
    TDrag d;
    const int raw = vertical ? mouse - 5 : mouse - thumbThickness / 2;
    const int offset = std::clamp(raw, 0, std::max(0, trackLength));
    d.position = std::clamp(PositionForOffset(trackLength, min, max, offset), std::min(min, max), std::max(min, max));
    d.offset = OffsetForPosition(trackLength, min, max, d.position);
    return d;
}

std::vector<int> TickIndexes(TTickStyle style, int frequency, int min, int max) {
    std::vector<int> out;
    if (style == TTickStyle::None || max < min) return out;
    const int64_t last = int64_t(max) - min;
    if (last > 10000) return out;  // more ticks than pixels: none are drawn
    for (int i = 0; i <= last; ++i) {
        const bool ends = i == 0 || i == last;
        const bool kind = style == TTickStyle::Auto || ends;
        const bool step = i == last || frequency == 0 || i % frequency == 0;
        if (kind && step) out.push_back(i);
    }
    return out;
}

int TickTopLeft(int index, int trackLength, int thumbThickness, int min, int max) {
    if (max <= min) return int(std::lround(thumbThickness / 2.0));
    return int(std::lround(double(index) * trackLength / (double(max) - min) + thumbThickness / 2.0));
}

int TickBottomRight(int index, int trackLength, int thumbThickness, int min, int max) {
    if (max <= min) return thumbThickness / 2;
    return int(std::lround(double(index) * trackLength / (double(max) - min))) + thumbThickness / 2;
}

int GradientChannel(int start, int end, int steps, int line) {
    if (steps <= 0) return start;
    return std::clamp(int(start + std::lround(double(end - start) / steps * line)), 0, 255);
}

}  // namespace orb::room
