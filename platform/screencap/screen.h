#pragma once
// Our layer over the X server for screen capture: what the sharing code needs of the screen, and
// nothing of X leaks through it. Pixels come out as 0x00RRGGBB words, top row first.
//
// Every call checks its reply: an X error (a window that vanished, a rectangle off the screen) makes
// the call fail and never ends the program. One Screen is used from one thread at a time.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orb::screencap {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

// A plain 32-bit picture: one 0x00RRGGBB word per pixel.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    // Sizes the picture and fills it with one colour.
    void Reset(int32_t w, int32_t h, uint32_t rgb) {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h), rgb);
    }
    uint32_t* Row(int32_t y) { return pixels.data() + size_t(y) * size_t(width); }
    const uint32_t* Row(int32_t y) const { return pixels.data() + size_t(y) * size_t(width); }
};

// The pointer's cursor: position of its hot spot on the screen and its picture, 0xAARRGGBB with
// the colour already multiplied by alpha.
struct CursorImage {
    Point position;
    Point hotSpot;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> argb;
};

enum class PenMode {
    Copy,
    NotXor,  // drawing the same lines twice restores what was beneath
};

class Screen {
public:
    // Connects to the display (empty name: $DISPLAY). Shared memory is used when the server offers
    // it and `useSharedMemory` is set. Null with a message in `error` when it cannot connect.
    static std::unique_ptr<Screen> Open(const std::string& displayName = {}, std::string* error = nullptr,
                                        bool useSharedMemory = true);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    Rect RootRect() const;
    bool UsesSharedMemory() const;

    // Copies the screen rectangle `source` into `target` with its top-left corner at (atX, atY) of
    // the target. The rectangle is clipped to the screen and to the target first; pixels outside
    // either stay as they were. False when the server refused (the target may be partly written).
    bool CopyToImage(const Rect& source, RgbImage& target, int32_t atX, int32_t atY);

    // The window's rectangle on the screen, or nothing when the id names no window.
    std::optional<Rect> WindowRect(uint32_t window);
    bool IsWindow(uint32_t window);
    // The window the window manager names active (_NET_ACTIVE_WINDOW on the root), raised to its
    // top-level frame (the ancestor that is a child of the root); nothing without such a window.
    std::optional<uint32_t> ActiveWindow();

    std::optional<Point> CursorPos();
    // Nothing when the server has no cursor image to give (no XFixes, no pointer).
    std::optional<CursorImage> Cursor();

    // Three-point polylines drawn straight onto the screen, over every window.
    bool DrawPolylines(const std::vector<std::array<Point, 3>>& lines, PenMode mode, int penWidth,
                       uint32_t rgb);

    // X has no system-wide drag-full-windows option: reading gives -1 (cannot be read) and setting
    // changes nothing.
    int GetDragFullWindows() const { return -1; }
    bool SetDragFullWindows(int) { return false; }

    const std::string& LastError() const;

private:
    struct Impl;
    explicit Screen(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace orb::screencap
