// Watches the keyboard of the X server through XInput2 raw key events, which arrive whichever
// window has the focus, and posts each key event to the client's window.
#define VORNEX_BUILDING 1
#include "vornex.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <bitset>
#include <mutex>
#include <thread>

#include "vk_map.h"

namespace {

struct Hook {
    Display* display = nullptr;
    int xiOpcode = 0;
    int wakeRead = -1;
    int wakeWrite = -1;
    VornexWindow target{};
    std::thread thread;
    std::atomic<bool> stop{false};
};

std::mutex g_mu;  // guards g_hook against concurrent Hook/UnHook calls
Hook* g_hook = nullptr;
thread_local bool t_displayLost = false;

void OnDisplayLost(Display*, void*) {
    // Instead of Xlib's default (ending the whole process) the watcher just stops.
    t_displayLost = true;
}

void Watch(Hook* h) {
    std::bitset<256> down;
    pollfd fds[2] = {{ConnectionNumber(h->display), POLLIN, 0}, {h->wakeRead, POLLIN, 0}};
    while (!h->stop.load() && !t_displayLost) {
        while (!h->stop.load() && !t_displayLost && XPending(h->display) > 0) {
            XEvent ev;
            XNextEvent(h->display, &ev);
            if (t_displayLost) break;
            XGenericEventCookie* cookie = &ev.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != h->xiOpcode) continue;
            if (!XGetEventData(h->display, cookie)) continue;
            if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
                auto* raw = static_cast<XIRawEvent*>(cookie->data);
                unsigned keycode = static_cast<unsigned>(raw->detail) & 0xFF;
                KeySym ks = XkbKeycodeToKeysym(h->display, static_cast<KeyCode>(keycode), 0, 0);
                uint32_t vk = vornex::KeySymToVirtualKey(ks);
                uint32_t flags = 0;
                if (cookie->evtype == XI_RawKeyRelease) {
                    flags |= VORNEX_KEY_UP_FLAG;
                    down.reset(keycode);
                } else {
                    // A press of a key that is already down is the server's auto-repeat.
                    if (down.test(keycode)) flags |= VORNEX_REPEAT_FLAG;
                    down.set(keycode);
                }
                if (vk != 0)
                    h->target.post(h->target.context, h->target.window, VORNEX_WM_APP_HOOKKEY,
                                   static_cast<intptr_t>(vk), static_cast<intptr_t>(static_cast<int32_t>(flags)));
            }
            XFreeEventData(h->display, cookie);
        }
        if (h->stop.load() || t_displayLost) break;
        fds[0].revents = fds[1].revents = 0;
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) break;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
    }
}

void CloseHook(Hook* h) {
    if (h->wakeRead >= 0) close(h->wakeRead);
    if (h->wakeWrite >= 0) close(h->wakeWrite);
    if (h->display) XCloseDisplay(h->display);
    delete h;
}

}  // namespace

extern "C" int HookKeyboard(const VornexWindow* window, void* /*libraryHandle*/) {
    std::lock_guard lk(g_mu);
    if (g_hook || !window || !window->post) return 0;
    auto* h = new Hook;
    h->target = *window;
    h->display = XOpenDisplay(nullptr);
    if (!h->display) {
        CloseHook(h);
        return 0;
    }
    XSetIOErrorExitHandler(h->display, OnDisplayLost, nullptr);
    int event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(h->display, "XInputExtension", &h->xiOpcode, &event, &error) ||
        XIQueryVersion(h->display, &major, &minor) != Success || major < 2) {
        CloseHook(h);
        return 0;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(h->display, DefaultRootWindow(h->display), &mask, 1);
    XSync(h->display, False);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        CloseHook(h);
        return 0;
    }
    h->wakeRead = pipeFds[0];
    h->wakeWrite = pipeFds[1];
    h->thread = std::thread(Watch, h);
    g_hook = h;
    return 1;
}

extern "C" void UnHookKeyboard(void) {
    std::lock_guard lk(g_mu);
    Hook* h = g_hook;
    if (!h) return;
    g_hook = nullptr;
    h->stop = true;
    char b = 1;
    ssize_t ignored = write(h->wakeWrite, &b, 1);
    (void)ignored;
    if (h->thread.joinable()) h->thread.join();
    CloseHook(h);
}
