#include "appshare/capture/capture.h"

#include <cmath>
#include <cstring>

namespace orb::appshare {

namespace {

bool StoreImage(const RgbImage& img, ShareBitmap& target, uint8_t pixelFormat) {
    if (!target.SetGeometry(pixelFormat, img.width, img.height)) return false;
    for (int32_t y = 0; y < img.height; ++y) StoreRgbRow(pixelFormat, img.Row(y), size_t(img.width), target.ScanLine(y));
    return true;
}

void DrawCursorAt(Screen& screen, RgbImage& img, int32_t x, int32_t y) {
    if (auto c = screen.Cursor()) DrawCursorImage(img, *c, x - c->hotSpot.x, y - c->hotSpot.y);
}

// Scratch pictures kept between frames so a running share does not allocate per frame.
thread_local RgbImage tWork;
thread_local RgbImage tSource;

}  // namespace

void DrawCursorImage(RgbImage& dc, const screencap::CursorImage& cursor, int32_t left, int32_t top) {
    for (int32_t cy = 0; cy < cursor.height; ++cy) {
        const int64_t y = int64_t(top) + cy;
        if (y < 0 || y >= dc.height) continue;
        uint32_t* row = dc.Row(int32_t(y));
        for (int32_t cx = 0; cx < cursor.width; ++cx) {
            const int64_t x = int64_t(left) + cx;
            if (x < 0 || x >= dc.width) continue;
            const uint32_t s = cursor.argb[size_t(cy) * size_t(cursor.width) + size_t(cx)];
            const uint32_t a = s >> 24;
            if (!a) continue;
            const uint32_t d = row[x];
            uint32_t out = 0;
            // The cursor's colour is premultiplied: out = source + destination x (1 - alpha).
            for (int shift = 0; shift <= 16; shift += 8) {
                uint32_t c = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * (255 - a) + 127) / 255;
                out |= std::min<uint32_t>(c, 255) << shift;
            }
            row[x] = out;
        }
    }
}

void DrawCursorOnDC(Screen& screen, RgbImage& dc, Point point, double verticalScale, double horizontalScale) {
    const double x = std::round(point.x * horizontalScale), y = std::round(point.y * verticalScale);
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9) return;
    DrawCursorAt(screen, dc, int32_t(x), int32_t(y));
}

bool CaptureScreenScaled(Screen& screen, RgbImage& pic, int32_t left, int32_t top, int32_t width, int32_t height,
                         int32_t pictureWidth, int32_t pictureHeight, bool drawCursor) {
    if (!PictureGeometryOk(kPixelFormat24, pictureWidth, pictureHeight) ||
        !PictureGeometryOk(kPixelFormat24, width, height))
        return false;
    if (width == pictureWidth && height == pictureHeight) {
        const screencap::Rect root = screen.RootRect();
        const bool onScreen = left >= root.left && top >= root.top && int64_t(left) + width <= int64_t(root.left) + root.width &&
                              int64_t(top) + height <= int64_t(root.top) + root.height;
        if (onScreen) {
            // Every pixel comes from the screen: no fill first.
            pic.width = width;
            pic.height = height;
            pic.pixels.resize(size_t(width) * size_t(height));
        } else {
            pic.Reset(width, height, 0);
        }
        if (!screen.CopyToImage({left, top, width, height}, pic, 0, 0)) return false;
    } else {
        RgbImage& src = tSource;
        src.Reset(width, height, 0);
        if (!screen.CopyToImage({left, top, width, height}, src, 0, 0)) return false;
        // Nearest source pixel for each picture pixel.
        pic.Reset(pictureWidth, pictureHeight, 0);
        std::vector<int32_t> xs(static_cast<size_t>(pictureWidth));
        for (int32_t x = 0; x < pictureWidth; ++x) xs[size_t(x)] = int32_t(int64_t(x) * width / pictureWidth);
        for (int32_t y = 0; y < pictureHeight; ++y) {
            const uint32_t* s = src.Row(int32_t(int64_t(y) * height / pictureHeight));
            uint32_t* d = pic.Row(y);
            for (int32_t x = 0; x < pictureWidth; ++x) d[x] = s[xs[size_t(x)]];
        }
    }
    if (drawCursor) {
        // A source far off the screen puts the pointer outside 32 bits, and outside the picture.
        const auto pos = screen.CursorPos();
        const int64_t px = pos ? int64_t(pos->x) - left : 0, py = pos ? int64_t(pos->y) - top : 0;
        if (pos && px >= INT32_MIN && px <= INT32_MAX && py >= INT32_MIN && py <= INT32_MAX)
            DrawCursorOnDC(screen, pic, {int32_t(px), int32_t(py)}, double(pictureHeight) / height,
                           double(pictureWidth) / width);
    }
    return true;
}

bool CaptureScreenScaled(Screen& screen, ShareBitmap& target, int32_t left, int32_t top, int32_t width,
                         int32_t height, int32_t pictureWidth, int32_t pictureHeight, uint8_t pixelFormat,
                         bool /*captureTranslucent*/, bool drawCursor) {
    if (!PictureGeometryOk(pixelFormat, pictureWidth, pictureHeight)) return false;
    if (!CaptureScreenScaled(screen, tWork, left, top, width, height, pictureWidth, pictureHeight, drawCursor))
        return false;
    return StoreImage(tWork, target, pixelFormat);
}

bool CaptureScreenArea(Screen& screen, RgbImage& pic, int32_t left, int32_t top, int32_t width, int32_t height,
                       int32_t pictureWidth, int32_t pictureHeight, bool drawCursor, bool showBorder) {
    if (!PictureGeometryOk(kPixelFormat24, pictureWidth, pictureHeight) || width < 0 || height < 0) return false;
    pic.Reset(pictureWidth, pictureHeight, kCaptureGrey);
    if (!screen.CopyToImage({left, top, width, height}, pic, left, top)) return false;
    if (drawCursor) {
        if (auto pos = screen.CursorPos()) DrawCursorAt(screen, pic, pos->x, pos->y);
    }
    if (showBorder) {
        const int64_t r = int64_t(left) + width, b = int64_t(top) + height;
        if (r + 4 <= INT32_MAX && b + 4 <= INT32_MAX && left >= INT32_MIN + 4 && top >= INT32_MIN + 4)
            DrawCornerFrame(screen, PenMode::NotXor, 4, kFrameRed, left - 4, top - 4, int32_t(r + 4), int32_t(b + 4));
    }
    return true;
}

bool CaptureScreenArea(Screen& screen, ShareBitmap& target, int32_t left, int32_t top, int32_t width,
                       int32_t height, int32_t pictureWidth, int32_t pictureHeight, uint8_t pixelFormat,
                       bool /*captureTranslucent*/, bool drawCursor, bool showBorder) {
    if (!PictureGeometryOk(pixelFormat, pictureWidth, pictureHeight)) return false;
    // The frame is drawn on the screen after the picture is stored, as before.
    if (!CaptureScreenArea(screen, tWork, left, top, width, height, pictureWidth, pictureHeight, drawCursor, false))
        return false;
    if (!StoreImage(tWork, target, pixelFormat)) return false;
    if (showBorder) {
        const int64_t r = int64_t(left) + width, b = int64_t(top) + height;
        if (r + 4 <= INT32_MAX && b + 4 <= INT32_MAX && left >= INT32_MIN + 4 && top >= INT32_MIN + 4)
            DrawCornerFrame(screen, PenMode::NotXor, 4, kFrameRed, left - 4, top - 4, int32_t(r + 4), int32_t(b + 4));
    }
    return true;
}

bool CaptureWindowToBitmap(Screen& screen, RgbImage& pic, uint32_t window, int32_t pictureWidth,
                           int32_t pictureHeight, bool drawCursor) {
    if (!PictureGeometryOk(kPixelFormat24, pictureWidth, pictureHeight)) return false;
    pic.Reset(pictureWidth, pictureHeight, kCaptureGrey);
    if (auto r = screen.WindowRect(window)) {
        if (!screen.CopyToImage(*r, pic, r->left, r->top)) return false;
    }
    if (drawCursor) {
        if (auto pos = screen.CursorPos()) DrawCursorAt(screen, pic, pos->x, pos->y);
    }
    return true;
}

bool CaptureWindowToBitmap(Screen& screen, ShareBitmap& target, uint32_t window, int32_t pictureWidth,
                           int32_t pictureHeight, uint8_t pixelFormat, bool /*captureTranslucent*/,
                           bool drawCursor) {
    if (!PictureGeometryOk(pixelFormat, pictureWidth, pictureHeight)) return false;
    if (!CaptureWindowToBitmap(screen, tWork, window, pictureWidth, pictureHeight, drawCursor)) return false;
    return StoreImage(tWork, target, pixelFormat);
}

std::vector<std::array<Point, 3>> CornerFrameLines(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    constexpr int32_t arm = 20;
    return {
        {{{left, top + arm}, {left, top}, {left + arm, top}}},
        {{{right - arm, top}, {right, top}, {right, top + arm}}},
        {{{right, bottom - arm}, {right, bottom}, {right - arm, bottom}}},
        {{{left + arm, bottom}, {left, bottom}, {left, bottom - arm}}},
    };
}

bool DrawCornerFrame(Screen& screen, PenMode mode, int penWidth, uint32_t penColour, int32_t left, int32_t top,
                     int32_t right, int32_t bottom) {
    return screen.DrawPolylines(CornerFrameLines(left, top, right, bottom), mode, penWidth, penColour);
}

int GetDragFullWindows(Screen& screen) { return screen.GetDragFullWindows(); }
bool SetDragFullWindows(Screen& screen, int value) { return screen.SetDragFullWindows(value); }

}  // namespace orb::appshare
