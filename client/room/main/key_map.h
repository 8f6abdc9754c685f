#pragma once
// Qt key codes to the virtual-key codes the push-to-talk setting stores.

namespace orb::room {

// 0 for keys that have no virtual-key code of their own here.
int QtKeyToVirtualKey(int qtKey);

}  // namespace orb::room
