#include "vk_map.h"

#include <X11/keysym.h>

namespace vornex {

uint32_t KeySymToVirtualKey(unsigned long ks) {
    if (ks >= XK_a && ks <= XK_z) return uint32_t('A' + (ks - XK_a));
    if (ks >= XK_A && ks <= XK_Z) return uint32_t('A' + (ks - XK_A));
    if (ks >= XK_0 && ks <= XK_9) return uint32_t('0' + (ks - XK_0));
    if (ks >= XK_F1 && ks <= XK_F24) return uint32_t(112 + (ks - XK_F1));
    if (ks >= XK_KP_0 && ks <= XK_KP_9) return uint32_t(96 + (ks - XK_KP_0));
    switch (ks) {
    case XK_BackSpace: return 8;
    case XK_Tab: case XK_ISO_Left_Tab: return 9;
    case XK_Return: case XK_KP_Enter: return 13;
    case XK_Shift_L: case XK_Shift_R: return 16;
    case XK_Control_L: case XK_Control_R: return 17;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: case XK_ISO_Level3_Shift: return 18;
    case XK_Pause: return 19;
    case XK_Caps_Lock: return 20;
    case XK_Escape: return 27;
    case XK_space: return 32;
    case XK_Prior: case XK_KP_Prior: return 33;
    case XK_Next: case XK_KP_Next: return 34;
    case XK_End: case XK_KP_End: return 35;
    case XK_Home: case XK_KP_Home: return 36;
    case XK_Left: case XK_KP_Left: return 37;
    case XK_Up: case XK_KP_Up: return 38;
    case XK_Right: case XK_KP_Right: return 39;
    case XK_Down: case XK_KP_Down: return 40;
    case XK_Print: return 44;
    case XK_Insert: case XK_KP_Insert: return 45;
    case XK_Delete: case XK_KP_Delete: return 46;
    case XK_Super_L: return 91;
    case XK_Super_R: return 92;
    case XK_Menu: return 93;
    case XK_KP_Multiply: return 106;
    case XK_KP_Add: return 107;
    case XK_KP_Subtract: return 109;
    case XK_KP_Decimal: return 110;
    case XK_KP_Divide: return 111;
    case XK_Num_Lock: return 144;
    case XK_Scroll_Lock: return 145;
    default: return 0;
    }
}

}  // namespace vornex
