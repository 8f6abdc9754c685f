#pragma once
/* The keyboard-hook library's interface. The client loads libvornex.so at run time and binds the
 * two entry points by name; the library then reports every key event it sees, also while another
 * application has the focus, as a posted WM_APP_HOOKKEY message:
 *   wParam = virtual-key code, lParam = key flags (bit 31 on release, bit 30 on auto-repeat).
 * The library keeps no record of keys and writes none anywhere. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How the library reaches a window: the client's own posting routine (thread-safe, non-blocking)
 * and the window's handle for it. The structure must stay valid until UnHookKeyboard returns. */
typedef void (*VornexPostMessage)(void* context, intptr_t window, uint32_t msg, intptr_t wParam, intptr_t lParam);
typedef struct VornexWindow {
    VornexPostMessage post;
    void* context;
    intptr_t window;
} VornexWindow;

/* Starts watching the keyboard for one window. Non-zero on success; 0 when there is no X display,
 * the server lacks the input extension, or a hook is already installed. */
typedef int (*HookKeyboardProc)(const VornexWindow* window, void* libraryHandle);
/* Stops watching and joins the watcher thread; nothing is posted after it returns. */
typedef void (*UnHookKeyboardProc)(void);

#if defined(VORNEX_BUILDING)
__attribute__((visibility("default"))) int HookKeyboard(const VornexWindow* window, void* libraryHandle);
__attribute__((visibility("default"))) void UnHookKeyboard(void);
#endif

#define VORNEX_WM_APP_HOOKKEY (0x8000u + 51u)
#define VORNEX_KEY_UP_FLAG 0x80000000u
#define VORNEX_REPEAT_FLAG 0x40000000u

#ifdef __cplusplus
}
#endif
