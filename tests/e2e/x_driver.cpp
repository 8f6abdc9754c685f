#include "x_driver.h"

#include <X11/XKBlib.h>
#include <unistd.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace orb::test {

namespace {

// Windows come and go while the tree is searched; an error about a vanished window must not end
// the test program (Xlib's default handler exits).
int IgnoreXError(::Display*, XErrorEvent*) { return 0; }

std::optional<std::vector<unsigned char>> Property(::Display* d, ::Window w, Atom name, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, name, 0, 1024, False, type, &actualType, &format, &count, &after, &data) != Success ||
        !data)
        return std::nullopt;
    std::vector<unsigned char> out;
    if (actualType == type) {
        // Format 32 properties come back as longs.
        const size_t unit = format == 32 ? sizeof(long) : size_t(format / 8);
        out.assign(data, data + count * unit);
    }
    XFree(data);
    if (actualType != type) return std::nullopt;
    return out;
}

int Shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

}  // namespace

bool TXDriver::Open(const std::string& display, std::string* error) {
    Close();
    XSetErrorHandler(IgnoreXError);
    display_ = XOpenDisplay(display.c_str());
    if (!display_) {
        *error = "cannot open display " + display;
        return false;
    }
    int event = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event, &errorBase, &major, &minor)) {
        *error = "the X server has no XTEST extension";
        Close();
        return false;
    }
    return true;
}

void TXDriver::Close() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
}

void TXDriver::Sync() { XSync(display_, False); }

std::string TXDriver::Title(Window w) {
    const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    if (auto name = Property(display_, w, netName, utf8)) return std::string(name->begin(), name->end());
    if (auto name = Property(display_, w, XA_WM_NAME, XA_STRING)) return std::string(name->begin(), name->end());
    return {};
}

// Visits the viewable windows below the root, depth first, until `visit` returns true.
void TXDriver::ForEachViewable(const std::function<bool(Window, long pid)>& visit) {
    const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    std::vector<::Window> pending = {DefaultRootWindow(display_)};
    while (!pending.empty()) {
        const ::Window w = pending.back();
        pending.pop_back();
        if (w != DefaultRootWindow(display_)) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable) continue;
            auto p = Property(display_, w, pidAtom, XA_CARDINAL);
            const long pid = p && p->size() >= sizeof(long) ? *reinterpret_cast<const long*>(p->data()) : 0;
            if (visit(w, pid)) return;
        }
        ::Window root = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display_, w, &root, &parent, &children, &count) && children) {
            pending.insert(pending.end(), children, children + count);
            XFree(children);
        }
    }
}

std::optional<TXDriver::Window> TXDriver::FindWindow(const std::function<bool(const std::string&)>& match, pid_t pid) {
    std::optional<Window> found;
    ForEachViewable([&](Window w, long owner) {
        if ((pid <= 0 || owner == long(pid)) && match(Title(w))) found = w;
        return found.has_value();
    });
    return found;
}

std::string TXDriver::DescribeWindows() {
    std::string out;
    ForEachViewable([&](Window w, long pid) {
        const std::string title = Title(w);
        auto g = Geometry(w);
        if (!title.empty() && g)
            out += "\"" + title + "\" pid " + std::to_string(pid) + " " + std::to_string(g->width) + "x" +
                   std::to_string(g->height) + "+" + std::to_string(g->x) + "+" + std::to_string(g->y) + "\n";
        return false;
    });
    return out;
}

std::optional<TXDriver::Window> TXDriver::WaitForWindow(const std::function<bool(const std::string&)>& match, pid_t pid,
                                                        int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto w = FindWindow(match, pid)) return w;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::optional<TScreenRect> TXDriver::Geometry(Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
    int x = 0, y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child)) return std::nullopt;
    return TScreenRect{x, y, a.width, a.height};
}

void TXDriver::MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    Sync();
}

void TXDriver::Click(int x, int y, int button) {
    MoveTo(x, y);
    XTestFakeButtonEvent(display_, unsigned(button), True, CurrentTime);
    XTestFakeButtonEvent(display_, unsigned(button), False, CurrentTime);
    Sync();
}

void TXDriver::Raise(Window w) {
    XRaiseWindow(display_, w);
    Sync();
}

void TXDriver::AskToClose(Window w) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &ev);
    Sync();
}

void TXDriver::Drag(const std::vector<std::pair<int, int>>& points, int button) {
    if (points.empty()) return;
    MoveTo(points.front().first, points.front().second);
    XTestFakeButtonEvent(display_, unsigned(button), True, CurrentTime);
    Sync();
    for (size_t i = 1; i < points.size(); ++i) {
        // Each step reaches the client as its own motion event.
        usleep(20 * 1000);
        MoveTo(points[i].first, points[i].second);
    }
    usleep(20 * 1000);
    XTestFakeButtonEvent(display_, unsigned(button), False, CurrentTime);
    Sync();
}

bool TXDriver::Key(KeySym key, std::initializer_list<KeySym> modifiers) {
    const KeyCode code = XKeysymToKeycode(display_, key);
    if (code == 0) return false;
    std::vector<KeyCode> held;
    for (KeySym m : modifiers)
        if (KeyCode c = XKeysymToKeycode(display_, m)) held.push_back(c);
    if (XkbKeycodeToKeysym(display_, code, 0, 0) != key && XkbKeycodeToKeysym(display_, code, 0, 1) == key)
        held.push_back(XKeysymToKeycode(display_, XK_Shift_L));
    for (KeyCode c : held) XTestFakeKeyEvent(display_, c, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    for (auto c = held.rbegin(); c != held.rend(); ++c) XTestFakeKeyEvent(display_, *c, False, CurrentTime);
    Sync();
    return true;
}

bool TXDriver::Type(const std::string& text) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        // Printable ASCII keysyms have the character's own code.
        const KeySym key = c == '\n' ? XK_Return : c == '\t' ? XK_Tab : (c >= 0x20 && c < 0x7f) ? KeySym(c) : 0;
        if (key == 0 || !Key(key)) return false;
    }
    return true;
}

QImage TXDriver::Capture(std::optional<Window> window) {
    if (window) {
        // The window's part of the screen: what is shown there, also where other windows overlap it.
        auto g = Geometry(*window);
        return g ? Capture().copy(g->x, g->y, g->width, g->height) : QImage();
    }
    const ::Window w = DefaultRootWindow(display_);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a) || a.width <= 0 || a.height <= 0) return {};
    XImage* x = XGetImage(display_, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return {};
    const int rs = Shift(x->red_mask), gs = Shift(x->green_mask), bs = Shift(x->blue_mask);
    const unsigned long rm = x->red_mask >> rs, gm = x->green_mask >> gs, bm = x->blue_mask >> bs;
    QImage out(a.width, a.height, QImage::Format_RGB32);
    if (rm && gm && bm) {
        for (int yy = 0; yy < a.height; ++yy) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(yy));
            for (int xx = 0; xx < a.width; ++xx) {
                const unsigned long p = XGetPixel(x, xx, yy);
                line[xx] = qRgb(int(((p >> rs) & rm) * 255 / rm), int(((p >> gs) & gm) * 255 / gm),
                                int(((p >> bs) & bm) * 255 / bm));
            }
        }
    } else {
        out = {};  // not a true-colour visual
    }
    XDestroyImage(x);
    return out;
}

int DistinctColours(const QImage& image, const TScreenRect& area) {
    std::set<QRgb> colours;
    for (int y = std::max(0, area.y); y < std::min(image.height(), area.y + area.height); ++y)
        for (int x = std::max(0, area.x); x < std::min(image.width(), area.x + area.width); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

}  // namespace orb::test
