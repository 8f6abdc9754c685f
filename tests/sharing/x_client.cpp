#include "x_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace orb::test {

struct XClient::Impl {
    Display* d = nullptr;
    Window win = 0;
};

XClient::XClient(const std::string& display) : impl_(std::make_unique<Impl>()) {
    impl_->d = XOpenDisplay(display.c_str());
}

XClient::~XClient() {
    if (impl_->d) XCloseDisplay(impl_->d);
}

bool XClient::Ok() const { return impl_->d != nullptr; }

void XClient::Paint(int x0, int y0, int w, int h, uint32_t (*colour)(int, int)) {
    Display* d = impl_->d;
    XImage* img = XCreateImage(d, DefaultVisual(d, 0), 24, ZPixmap, 0, nullptr, unsigned(w), unsigned(h), 32, 0);
    img->data = static_cast<char*>(malloc(size_t(img->bytes_per_line) * size_t(h)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) XPutPixel(img, x, y, colour(x0 + x, y0 + y));
    XPutImage(d, DefaultRootWindow(d), DefaultGC(d, 0), img, 0, 0, x0, y0, unsigned(w), unsigned(h));
    XDestroyImage(img);
    XSync(d, False);
}

void XClient::Recorder() {
    Display* d = impl_->d;
    XSetWindowAttributes a{};
    a.event_mask = ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask;
    a.override_redirect = True;
    impl_->win = XCreateWindow(d, DefaultRootWindow(d), 0, 0, kW, kH, 0, CopyFromParent, InputOnly, CopyFromParent,
                               CWEventMask | CWOverrideRedirect, &a);
    XMapWindow(d, impl_->win);
    XSync(d, False);
    XSetInputFocus(d, impl_->win, RevertToParent, CurrentTime);
    XSync(d, False);
}

std::vector<std::string> XClient::Events() {
    Display* d = impl_->d;
    std::vector<std::string> out;
    XSync(d, False);
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ButtonPress)
            out.push_back("press " + std::to_string(e.xbutton.button) + " at " + std::to_string(e.xbutton.x_root) + "," +
                          std::to_string(e.xbutton.y_root));
        if (e.type == KeyPress) {
            KeySym s = XLookupKeysym(&e.xkey, 0);
            const char* name = XKeysymToString(s);
            out.push_back(std::string("key ") + (name ? name : "?"));
        }
    }
    return out;
}

uint32_t XClient::MakeWindow(const char* title, int x, int width, bool mapped) {
    Display* d = impl_->d;
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, 10, unsigned(width), 40, 0, 0, 0xFFFFFF);
    if (title) XStoreName(d, w, title);
    if (mapped) XMapWindow(d, w);
    XSync(d, False);
    return uint32_t(w);
}

void XClient::SetIcon(uint32_t window, std::vector<unsigned long> icon) {
    XChangeProperty(impl_->d, window, XInternAtom(impl_->d, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(icon.data()), int(icon.size()));
    XSync(impl_->d, False);
}

void XClient::SetClientList(const std::vector<uint32_t>& windows) {
    std::vector<unsigned long> v(windows.begin(), windows.end());
    XChangeProperty(impl_->d, DefaultRootWindow(impl_->d), XInternAtom(impl_->d, "_NET_CLIENT_LIST", False), XA_WINDOW,
                    32, PropModeReplace, reinterpret_cast<unsigned char*>(v.data()), int(v.size()));
    XSync(impl_->d, False);
}

void XClient::SetWorkArea(int x, int y, int w, int h) {
    long area[] = {x, y, w, h};
    XChangeProperty(impl_->d, DefaultRootWindow(impl_->d), XInternAtom(impl_->d, "_NET_WORKAREA", False), XA_CARDINAL,
                    32, PropModeReplace, reinterpret_cast<unsigned char*>(area), 4);
    XSync(impl_->d, False);
}

void XClient::Destroy(uint32_t window) {
    XDestroyWindow(impl_->d, window);
    XSync(impl_->d, False);
}

}  // namespace orb::test
