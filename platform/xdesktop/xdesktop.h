#pragma once
// Our layer over the X server for remote control and the share settings: input replayed through
// XTest (keys by their virtual-key codes, absolute pointer moves, buttons, the wheel), the list of
// top-level windows from the window manager (_NET_CLIENT_LIST, with titles and icons; without a
// window manager the root's mapped children), and the work area. Nothing of X leaks through it.
//
// One XDesktop is used from one thread at a time. X errors (a window that vanished) make the call
// fail; they never end the program.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orb::xdesktop {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct WindowEntry {
    uint32_t window = 0;
    std::string title;  // UTF-8
    Rect rect;          // on the screen, at listing time
    // The window's icon nearest to 32 pixels, 0xAARRGGBB, empty when it has none.
    int32_t iconWidth = 0;
    int32_t iconHeight = 0;
    std::vector<uint32_t> icon;
};

// The X key symbol a virtual-key code stands for (letters as lower case); 0 for none.
unsigned long VirtualKeyToKeySym(uint8_t virtualKey);

class XDesktop {
public:
    // Null with a message in `error` when the display cannot be opened.
    static std::unique_ptr<XDesktop> Open(const std::string& displayName = {}, std::string* error = nullptr);
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    Rect ScreenRect() const;
    // _NET_WORKAREA of the current desktop, or the whole screen without a window manager.
    Rect WorkArea();

    // False when the server has no XTest.
    bool CanInject() const;
    bool MoveTo(int32_t x, int32_t y);
    // 1 left, 2 middle, 3 right.
    bool Button(int button, bool down);
    // Positive turns away from the user (button 4), negative towards (button 5); one click per
    // 120 units, at least one.
    bool Wheel(int32_t delta);
    bool Key(uint8_t virtualKey, bool up);
    // Lets go of every key and button this object pressed and has not released.
    void ReleaseAll();

    // Shareable windows: mapped, with a non-empty trimmed title other than "Program Manager", of
    // positive size. Uses the window manager's client list, or the root's mapped children when no
    // window manager publishes one.
    std::vector<WindowEntry> ListWindows();
    bool UsedWindowManagerList() const;

private:
    struct Impl;
    explicit XDesktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace orb::xdesktop
