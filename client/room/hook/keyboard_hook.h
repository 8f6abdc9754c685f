#pragma once
// Push-to-talk must see keys while another application has the focus. The watcher lives in a
// separate library, libvornex.so beside the program, loaded at run time; it posts WM_APP_HOOKKEY
// (virtual key, key flags) to the window given here. A missing library or display only disables
// push-to-talk from other applications: nothing is shown.

#include <string>

#include "loop/event_loop.h"

namespace orb {

// Loads the library (libraryPath, or libvornex.so beside the program, else on the library search
// path) and starts the hook for window. Only the first call installs: false when the library is
// already loaded, or when it, its entry points or the hook cannot be had.
bool InstallKeyboardHook(IEventLoop& loop, WindowHandle window, const std::string& libraryPath = {});
// Stops the hook and joins its thread (nothing is posted after this returns), then unloads the
// library. Called before the client exits.
void UninstallKeyboardHook();
bool KeyboardHookInstalled();

}  // namespace orb
