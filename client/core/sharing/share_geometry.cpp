#include "sharing/share_geometry.h"

#include <algorithm>
#include <cmath>

namespace orb::sharing {

TRect LetterboxRect(int32_t viewWidth, int32_t viewHeight, int32_t pictureWidth, int32_t pictureHeight) {
    if (viewWidth <= 0 || viewHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return {};
    // Compare the two aspect ratios without division: the narrower one sets the scale.
    int64_t w, h;
    if (int64_t(viewWidth) * pictureHeight <= int64_t(viewHeight) * pictureWidth) {
        w = viewWidth;
        h = std::max<int64_t>(1, (int64_t(pictureHeight) * viewWidth + pictureWidth / 2) / pictureWidth);
    } else {
        h = viewHeight;
        w = std::max<int64_t>(1, (int64_t(pictureWidth) * viewHeight + pictureHeight / 2) / pictureHeight);
    }
    w = std::min<int64_t>(w, viewWidth);
    h = std::min<int64_t>(h, viewHeight);
    return {int32_t((viewWidth - w) / 2), int32_t((viewHeight - h) / 2), int32_t(w), int32_t(h)};
}

std::optional<TPoint> ViewToRemote(const TRect& shown, int32_t x, int32_t y) {
    if (shown.Empty() || !shown.Contains(x, y)) return std::nullopt;
    auto scale = [](int64_t offset, int64_t extent) {
        return int32_t(std::lround(65535.0 / double(extent) * double(offset)));
    };
    return TPoint{std::clamp(scale(int64_t(x) - shown.left, shown.width), 0, 65535),
                  std::clamp(scale(int64_t(y) - shown.top, shown.height), 0, 65535)};
}

std::optional<TPoint> RemoteToScreen(int32_t remoteX, int32_t remoteY, int32_t pictureWidth, int32_t pictureHeight,
                                     const TRect& source, const TRect& screen) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || source.Empty() || screen.Empty()) return std::nullopt;
    auto toPicture = [](int32_t remote, int32_t extent) {
        int64_t v = std::lround(double(std::clamp(remote, 0, 65535)) * double(extent) / 65535.0);
        return std::clamp<int64_t>(v, 0, extent - 1);
    };
    const int64_t px = toPicture(remoteX, pictureWidth), py = toPicture(remoteY, pictureHeight);
    const int64_t sx = source.left + px * source.width / pictureWidth;
    const int64_t sy = source.top + py * source.height / pictureHeight;
    return TPoint{int32_t(std::clamp<int64_t>(sx, screen.left, int64_t(screen.left) + screen.width - 1)),
                  int32_t(std::clamp<int64_t>(sy, screen.top, int64_t(screen.top) + screen.height - 1))};
}

TRect ClipToScreen(const TRect& area, const TRect& screen) {
    const int64_t l = std::max<int64_t>(area.left, screen.left), t = std::max<int64_t>(area.top, screen.top);
    const int64_t r = std::min<int64_t>(int64_t(area.left) + area.width, int64_t(screen.left) + screen.width);
    const int64_t b = std::min<int64_t>(int64_t(area.top) + area.height, int64_t(screen.top) + screen.height);
    if (r <= l || b <= t) return {};
    return {int32_t(l), int32_t(t), int32_t(r - l), int32_t(b - t)};
}

}  // namespace orb::sharing
