#pragma once
// X key symbols to the virtual-key codes the client's settings use (16 Shift, 17 Ctrl, 27 Esc,
// 'A'..'Z', F1 = 112, ...). 0 for a key without a code.

#include <cstdint>

namespace vornex {
uint32_t KeySymToVirtualKey(unsigned long keysym);
}
