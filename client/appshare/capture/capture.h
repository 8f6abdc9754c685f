#pragma once
// Capture of the screen, an area of it or one window into a share picture, with the pointer's
// cursor drawn in on request, and the corner frame that marks a shared area on the screen.

#include <array>
#include <cstdint>
#include <vector>

#include "sharing/codec/share_bitmap.h"
#include "screencap/screen.h"

namespace orb::appshare {

using screencap::PenMode;
using screencap::Point;
using screencap::RgbImage;
using screencap::Screen;

// Background of area and window pictures outside what is captured.
constexpr uint32_t kCaptureGrey = 0x808080;
constexpr uint32_t kFrameRed = 0xFF0000;

// The source rectangle of the screen stretched into a picture of pictureWidth x pictureHeight in
// the given format; with `drawCursor` the cursor is drawn at its scaled position. Parts of the
// source off the screen come out black. False (target unchanged) for sizes out of bounds or when
// the screen cannot be read. `captureTranslucent` is accepted for the caller's settings: an X
// screen image already holds every window as shown.
bool CaptureScreenScaled(Screen& screen, ShareBitmap& target, int32_t left, int32_t top, int32_t width,
                         int32_t height, int32_t pictureWidth, int32_t pictureHeight, uint8_t pixelFormat,
                         bool captureTranslucent, bool drawCursor);

// The area copied at its own screen position into a grey picture of the picture size. With
// `showBorder` the red corner frame is drawn on the screen around the area (4 pixels outside it)
// after the capture, in not-XOR mode, so the next capture's drawing takes it away again.
bool CaptureScreenArea(Screen& screen, ShareBitmap& target, int32_t left, int32_t top, int32_t width,
                       int32_t height, int32_t pictureWidth, int32_t pictureHeight, uint8_t pixelFormat,
                       bool captureTranslucent, bool drawCursor, bool showBorder);

// The window's current screen rectangle copied at its screen position into a grey picture, with
// whatever lies over the window. A window that no longer exists yields the grey picture.
bool CaptureWindowToBitmap(Screen& screen, ShareBitmap& target, uint32_t window, int32_t pictureWidth,
                           int32_t pictureHeight, uint8_t pixelFormat, bool captureTranslucent, bool drawCursor);

// Draws the current cursor into `dc` with its hot spot at the scaled point; nothing when the
// screen gives no cursor.
void DrawCursorOnDC(Screen& screen, RgbImage& dc, Point point, double verticalScale, double horizontalScale);
// The same with a cursor already at hand.
void DrawCursorImage(RgbImage& dc, const screencap::CursorImage& cursor, int32_t x, int32_t y);

// The four corner brackets (arms of 20 pixels) of the rectangle left, top, right, bottom.
std::vector<std::array<Point, 3>> CornerFrameLines(int32_t left, int32_t top, int32_t right, int32_t bottom);
bool DrawCornerFrame(Screen& screen, PenMode mode, int penWidth, uint32_t penColour, int32_t left, int32_t top,
                     int32_t right, int32_t bottom);

// The same three captures into a plain 0x00RRGGBB picture, with no reduction to a share format:
// what the sharer's frame tick takes before it hands the picture to the encoder.
bool CaptureScreenScaled(Screen& screen, RgbImage& picture, int32_t left, int32_t top, int32_t width, int32_t height,
                         int32_t pictureWidth, int32_t pictureHeight, bool drawCursor);
bool CaptureScreenArea(Screen& screen, RgbImage& picture, int32_t left, int32_t top, int32_t width, int32_t height,
                       int32_t pictureWidth, int32_t pictureHeight, bool drawCursor, bool showBorder);
bool CaptureWindowToBitmap(Screen& screen, RgbImage& picture, uint32_t window, int32_t pictureWidth,
                           int32_t pictureHeight, bool drawCursor);

int GetDragFullWindows(Screen& screen);
bool SetDragFullWindows(Screen& screen, int value);

}  // namespace orb::appshare
