// Room-list and members replies of any shape into the breakout tree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "polls/breakout_tree.h"

namespace {
constexpr size_t kRoomRecordSize = 1430;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte says how many whole room records make the room list; the rest is the members
    // reply. So a room reaches the tree and its members can be read into it.
    std::span<const uint8_t> in(data + 1, size - 1);
    const size_t rooms = std::min<size_t>(data[0] % 8, in.size() / kRoomRecordSize) * kRoomRecordSize;
    orb::polls::TBreakoutTree tree;
    tree.SetRooms(in.first(rooms));
    tree.SetMembers(in.subspan(rooms));
    for (const auto& r : tree.Rooms()) (void)r.Caption();
    (void)tree.ReturnAllMoves(1002);
    return 0;
}
