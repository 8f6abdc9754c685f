#include "keyboard_hook.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>

#include "protocol/wm_app.h"
#include "vornex.h"

static_assert(VORNEX_WM_APP_HOOKKEY == WM_APP_HOOKKEY, "the library posts the push-to-talk message");

namespace orb {

namespace {

std::mutex g_mu;
void* g_library = nullptr;
HookKeyboardProc g_hookKeyboard = nullptr;
UnHookKeyboardProc g_unHookKeyboard = nullptr;
bool g_installed = false;
VornexWindow g_window{};  // must outlive the hook

void PostToLoop(void* context, intptr_t window, uint32_t msg, intptr_t wParam, intptr_t lParam) {
    static_cast<IEventLoop*>(context)->Post(window, msg, wParam, lParam);
}

std::string BesideProgram(const char* name) {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string exe(buf, static_cast<size_t>(n));
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1) + name;
}

}  // namespace

bool InstallKeyboardHook(IEventLoop& loop, WindowHandle window, const std::string& libraryPath) {
    std::lock_guard lk(g_mu);
    if (g_library) return false;
    if (!libraryPath.empty()) {
        g_library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    } else {
        std::string beside = BesideProgram("libvornex.so");
        if (!beside.empty()) g_library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!g_library) g_library = dlopen("libvornex.so", RTLD_NOW | RTLD_LOCAL);
    }
    g_installed = false;
    if (!g_library) return false;
    g_hookKeyboard = reinterpret_cast<HookKeyboardProc>(dlsym(g_library, "HookKeyboard"));
    g_unHookKeyboard = reinterpret_cast<UnHookKeyboardProc>(dlsym(g_library, "UnHookKeyboard"));
    if (!g_hookKeyboard || !g_unHookKeyboard) return false;
    g_window = VornexWindow{PostToLoop, &loop, window};
    g_installed = g_hookKeyboard(&g_window, g_library) != 0;
    return g_installed;
}

void UninstallKeyboardHook() {
    std::lock_guard lk(g_mu);
    if (g_installed && g_unHookKeyboard) g_unHookKeyboard();
    g_installed = false;
    g_hookKeyboard = nullptr;
    g_unHookKeyboard = nullptr;
    if (g_library) dlclose(g_library);
    g_library = nullptr;
}

bool KeyboardHookInstalled() {
    std::lock_guard lk(g_mu);
    return g_installed;
}

}  // namespace orb
