#include "xdesktop/xdesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>

namespace orb::xdesktop {

namespace {

// Xlib reports errors through one process-wide handler; ours is put in place only around our own
// requests, so an error (a window that went away) fails the call instead of ending the program.
std::mutex g_trapMu;
int g_trapped = 0;
int TrapHandler(Display*, XErrorEvent*) {
    ++g_trapped;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : d_(d), lock_(g_trapMu) {
        XSync(d_, False);
        g_trapped = 0;
        old_ = XSetErrorHandler(TrapHandler);
    }
    // True when no error came back for the requests made so far.
    bool Ok() {
        XSync(d_, False);
        return g_trapped == 0;
    }
    ~ErrorTrap() {
        XSync(d_, False);
        XSetErrorHandler(old_);
    }

private:
    Display* d_;
    std::lock_guard<std::mutex> lock_;
    int (*old_)(Display*, XErrorEvent*) = nullptr;
};

std::string Trim(std::string s) {
    auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && space(static_cast<unsigned char>(s.back()))) s.pop_back();
    size_t i = 0;
    while (i < s.size() && space(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(i);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

unsigned long VirtualKeyToKeySym(uint8_t vk) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= 96 && vk <= 105) return XK_KP_0 + (vk - 96);
    if (vk >= 112 && vk <= 135) return XK_F1 + (vk - 112);
    switch (vk) {
        case 8: return XK_BackSpace;
        case 9: return XK_Tab;
        case 12: return XK_Clear;
        case 13: return XK_Return;
        case 16: case 160: return XK_Shift_L;
        case 161: return XK_Shift_R;
        case 17: case 162: return XK_Control_L;
        case 163: return XK_Control_R;
        case 18: case 164: return XK_Alt_L;
        case 165: return XK_Alt_R;
        case 19: return XK_Pause;
        case 20: return XK_Caps_Lock;
        case 27: return XK_Escape;
        case 32: return XK_space;
        case 33: return XK_Prior;
        case 34: return XK_Next;
        case 35: return XK_End;
        case 36: return XK_Home;
        case 37: return XK_Left;
        case 38: return XK_Up;
        case 39: return XK_Right;
        case 40: return XK_Down;
        case 44: return XK_Print;
        case 45: return XK_Insert;
        case 46: return XK_Delete;
        case 91: return XK_Super_L;
        case 92: return XK_Super_R;
        case 93: return XK_Menu;
        case 106: return XK_KP_Multiply;
        case 107: return XK_KP_Add;
        case 109: return XK_KP_Subtract;
        case 110: return XK_KP_Decimal;
        case 111: return XK_KP_Divide;
        case 144: return XK_Num_Lock;
        case 145: return XK_Scroll_Lock;
        case 186: return XK_semicolon;
        case 187: return XK_equal;
        case 188: return XK_comma;
        case 189: return XK_minus;
        case 190: return XK_period;
        case 191: return XK_slash;
        case 192: return XK_grave;
        case 219: return XK_bracketleft;
        case 220: return XK_backslash;
        case 221: return XK_bracketright;
        case 222: return XK_apostrophe;
        default: return 0;
    }
}

struct XDesktop::Impl {
    Display* d = nullptr;
    int screen = 0;
    Window root = 0;
    bool xtest = false;
    bool wmList = false;
    std::set<unsigned> keysDown;
    std::set<int> buttonsDown;

    Atom A(const char* name) { return XInternAtom(d, name, False); }

    // A property's items (format 32 arrives as longs); empty when absent.
    std::vector<unsigned long> Cardinals(Window w, Atom prop, Atom type, long max = 1 << 20) {
        std::vector<unsigned long> out;
        Atom actual = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, prop, 0, max, False, type, &actual, &format, &n, &after, &data) == Success &&
            data && format == 32) {
            auto* p = reinterpret_cast<unsigned long*>(data);
            out.assign(p, p + n);
        }
        if (data) XFree(data);
        return out;
    }

    std::string Title(Window w) {
        std::string title;
        Atom actual = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, A("_NET_WM_NAME"), 0, 64, False, A("UTF8_STRING"), &actual, &format, &n, &after,
                               &data) == Success &&
            data && format == 8)
            title.assign(reinterpret_cast<char*>(data), n);
        if (data) XFree(data);
        if (title.empty()) {
            char* name = nullptr;
            if (XFetchName(d, w, &name) && name) title = name;
            if (name) XFree(name);
        }
        // Read up to 255 characters, as the list shows them.
        if (title.size() > 255) title.resize(255);
        return Trim(title);
    }

    void Icon(Window w, WindowEntry& e) {
        // _NET_WM_ICON: width, height, then width x height ARGB words, repeated per size.
        auto v = Cardinals(w, A("_NET_WM_ICON"), XA_CARDINAL, 1 << 18);
        size_t best = SIZE_MAX, at = 0;
        long bestScore = -1;
        while (at + 2 <= v.size()) {
            const unsigned long iw = v[at], ih = v[at + 1];
            if (iw == 0 || ih == 0 || iw > 1024 || ih > 1024 || iw * ih > v.size() - at - 2) break;
            long score = 100000 - std::labs(long(iw) - 32);
            if (score > bestScore) {
                bestScore = score;
                best = at;
            }
            at += 2 + iw * ih;
        }
        if (best == SIZE_MAX) return;
        e.iconWidth = int32_t(v[best]);
        e.iconHeight = int32_t(v[best + 1]);
        e.icon.resize(size_t(e.iconWidth) * size_t(e.iconHeight));
        for (size_t i = 0; i < e.icon.size(); ++i) e.icon[i] = uint32_t(v[best + 2 + i]);
    }

    bool Entry(Window w, WindowEntry& e) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable || a.c_class == InputOnly) return false;
        if (a.width <= 0 || a.height <= 0) return false;
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(d, w, root, 0, 0, &x, &y, &child)) return false;
        e.window = uint32_t(w);
        e.title = Title(w);
        if (e.title.empty() || EqualNoCase(e.title, "Program Manager")) return false;
        e.rect = {x, y, a.width, a.height};
        Icon(w, e);
        return true;
    }
};

XDesktop::XDesktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

XDesktop::~XDesktop() {
    if (impl_ && impl_->d) {
        ReleaseAll();
        XCloseDisplay(impl_->d);
    }
}

std::unique_ptr<XDesktop> XDesktop::Open(const std::string& displayName, std::string* error) {
    auto impl = std::make_unique<Impl>();
    impl->d = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!impl->d) {
        if (error) *error = "cannot open the X display";
        return nullptr;
    }
    impl->screen = DefaultScreen(impl->d);
    impl->root = RootWindow(impl->d, impl->screen);
    int ev = 0, er = 0, major = 0, minor = 0;
    impl->xtest = XTestQueryExtension(impl->d, &ev, &er, &major, &minor) == True;
    return std::unique_ptr<XDesktop>(new XDesktop(std::move(impl)));
}

Rect XDesktop::ScreenRect() const {
    return {0, 0, DisplayWidth(impl_->d, impl_->screen), DisplayHeight(impl_->d, impl_->screen)};
}

Rect XDesktop::WorkArea() {
    ErrorTrap trap(impl_->d);
    auto desk = impl_->Cardinals(impl_->root, impl_->A("_NET_CURRENT_DESKTOP"), XA_CARDINAL);
    auto area = impl_->Cardinals(impl_->root, impl_->A("_NET_WORKAREA"), XA_CARDINAL);
    size_t i = desk.empty() ? 0 : size_t(desk[0]) * 4;
    const Rect screen = ScreenRect();
    if (area.size() < i + 4) return screen;
    Rect r{int32_t(area[i]), int32_t(area[i + 1]), int32_t(area[i + 2]), int32_t(area[i + 3])};
    if (r.width <= 0 || r.height <= 0 || r.width > screen.width || r.height > screen.height) return screen;
    return r;
}

bool XDesktop::CanInject() const { return impl_->xtest; }

bool XDesktop::MoveTo(int32_t x, int32_t y) {
    if (!impl_->xtest) return false;
    ErrorTrap trap(impl_->d);
    XTestFakeMotionEvent(impl_->d, impl_->screen, x, y, CurrentTime);
    return trap.Ok();
}

bool XDesktop::Button(int button, bool down) {
    if (!impl_->xtest || button < 1 || button > 5) return false;
    ErrorTrap trap(impl_->d);
    XTestFakeButtonEvent(impl_->d, unsigned(button), down ? True : False, CurrentTime);
    if (down)
        impl_->buttonsDown.insert(button);
    else
        impl_->buttonsDown.erase(button);
    return trap.Ok();
}

bool XDesktop::Wheel(int32_t delta) {
    if (!impl_->xtest || delta == 0) return false;
    const unsigned button = delta > 0 ? 4 : 5;
    const int clicks = std::clamp(std::abs(delta) / 120, 1, 20);
    ErrorTrap trap(impl_->d);
    for (int i = 0; i < clicks; ++i) {
        XTestFakeButtonEvent(impl_->d, button, True, CurrentTime);
        XTestFakeButtonEvent(impl_->d, button, False, CurrentTime);
    }
    return trap.Ok();
}

bool XDesktop::Key(uint8_t virtualKey, bool up) {
    if (!impl_->xtest) return false;
    const KeySym sym = VirtualKeyToKeySym(virtualKey);
    if (!sym) return false;
    const KeyCode code = XKeysymToKeycode(impl_->d, sym);
    if (!code) return false;
    ErrorTrap trap(impl_->d);
    XTestFakeKeyEvent(impl_->d, code, up ? False : True, CurrentTime);
    if (up)
        impl_->keysDown.erase(code);
    else
        impl_->keysDown.insert(code);
    return trap.Ok();
}

void XDesktop::ReleaseAll() {
    if (!impl_->xtest || (impl_->keysDown.empty() && impl_->buttonsDown.empty())) return;
    ErrorTrap trap(impl_->d);
    for (unsigned code : impl_->keysDown) XTestFakeKeyEvent(impl_->d, code, False, CurrentTime);
    for (int b : impl_->buttonsDown) XTestFakeButtonEvent(impl_->d, unsigned(b), False, CurrentTime);
    impl_->keysDown.clear();
    impl_->buttonsDown.clear();
}

std::vector<WindowEntry> XDesktop::ListWindows() {
    std::vector<WindowEntry> out;
    ErrorTrap trap(impl_->d);
    auto clients = impl_->Cardinals(impl_->root, impl_->A("_NET_CLIENT_LIST"), XA_WINDOW);
    impl_->wmList = !clients.empty();
    std::vector<Window> windows(clients.begin(), clients.end());
    if (windows.empty()) {
        // No window manager: the root's children, bottom to top.
        Window rootRet = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(impl_->d, impl_->root, &rootRet, &parent, &children, &n) && children) {
            windows.assign(children, children + n);
            XFree(children);
        }
    }
    for (Window w : windows) {
        WindowEntry e;
        if (impl_->Entry(w, e)) out.push_back(std::move(e));
    }
    return out;
}

bool XDesktop::UsedWindowManagerList() const { return impl_->wmList; }

}  // namespace orb::xdesktop
