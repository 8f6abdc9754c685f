#pragma once
// Geometry of a shared picture on both sides: where the viewer shows it (letterboxed in fit mode),
// how a viewer's pointer position becomes the 0..65535 coordinates of remote input, and how the
// sharer turns those back into a point of its screen through the shared source rectangle.

#include <cstdint>
#include <optional>

namespace orb::sharing {

struct TRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool Empty() const { return width <= 0 || height <= 0; }
    bool Contains(int32_t x, int32_t y) const {
        return x >= left && y >= top && int64_t(x) < int64_t(left) + width && int64_t(y) < int64_t(top) + height;
    }
    bool operator==(const TRect&) const = default;
};

struct TPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TPoint&) const = default;
};

// The rectangle of a view of viewWidth x viewHeight in which a picture of pictureWidth x
// pictureHeight is shown scaled to fit with its proportions kept, centred (the rest is margin).
// Empty when either size is not positive.
TRect LetterboxRect(int32_t viewWidth, int32_t viewHeight, int32_t pictureWidth, int32_t pictureHeight);

// The remote-input coordinates (0..65535 across the picture in each direction) of a view point
// inside the rectangle where the picture is shown; nothing for a point outside it or an empty
// rectangle. Clicks and moves map alike.
std::optional<TPoint> ViewToRemote(const TRect& shown, int32_t x, int32_t y);

// The sharer's side: remote-input coordinates (clamped to 0..65535) to a pixel of the picture
// (pictureWidth x pictureHeight), then through the source rectangle the picture was captured
// from to a point of the screen, clamped to the screen. Nothing when a size is not positive.
std::optional<TPoint> RemoteToScreen(int32_t remoteX, int32_t remoteY, int32_t pictureWidth, int32_t pictureHeight,
                                     const TRect& source, const TRect& screen);

// A shared area cut down to the screen (nothing left: empty).
TRect ClipToScreen(const TRect& area, const TRect& screen);

}  // namespace orb::sharing
