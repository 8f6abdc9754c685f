// Room-list and members replies of any shape into the breakout tree.
#include <cstddef>
#include <cstdint>
#include <span>

#include "polls/breakout_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    orb::polls::TBreakoutTree tree;
    const size_t half = size / 2;
    tree.SetRooms(in.first(half));
    tree.SetMembers(in.subspan(half));
    for (const auto& r : tree.Rooms()) (void)r.Caption();
    (void)tree.ReturnAllMoves(1002);
    return 0;
}
