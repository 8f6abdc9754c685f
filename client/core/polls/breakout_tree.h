#pragma once
// The breakout rooms as the moderator's window shows them: rooms (a copy of each room record) with
// their members (a copy of each account record), filled from the server's replies, and the
// decisions of dragging a member onto a room and of returning everybody.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "session/session_records.h"

namespace orb::polls {

// A reply holds at most this many rooms, and a room this many members; more are not read.
inline constexpr size_t kMaxBreakoutRooms = 500;
inline constexpr size_t kMaxBreakoutMembers = 1000;

struct TBreakoutRoom {
    TRoomInfo info;
    std::vector<TLoginInfo> members;
    int32_t Id() const { return info.RoomNumber(); }
    // "#" + id + ": " + name.
    std::string Caption() const;
};

// A node of the tree: a room, or a member (of roomId).
struct TBreakoutNode {
    bool isRoom = false;
    int32_t roomId = 0;
    int32_t userId = 0;
};

// A move: the user to send and the room to send them to.
struct TBreakoutMove {
    int32_t user = 0;
    int32_t room = 0;
    bool operator==(const TBreakoutMove&) const = default;
};

class TBreakoutTree {
public:
    const std::vector<TBreakoutRoom>& Rooms() const { return rooms_; }
    TBreakoutRoom* Find(int32_t room);

    // A room-list reply body: whole 1430-byte records up to the end (a trailing part is ignored).
    // Returns the ids of the rooms now in the tree.
    std::vector<int32_t> SetRooms(std::span<const uint8_t> body);
    // A members reply body: the room id, then whole 1119-byte records. False (no change) when the
    // body is short, the id is not above 0 or the room is not in the tree.
    bool SetMembers(std::span<const uint8_t> body);
    bool RemoveMember(int32_t room, int32_t user);
    void Clear() { rooms_.clear(); }

    // The moves that return every member of every room to the main room, in tree order.
    std::vector<TBreakoutMove> ReturnAllMoves(int32_t mainRoom) const;

private:
    std::vector<TBreakoutRoom> rooms_;
};

// Dropping `dragged` on `target`: only a member dropped on another room moves someone.
std::optional<TBreakoutMove> DropMove(const TBreakoutNode& dragged, const TBreakoutNode& target);
// Only member nodes can be dragged.
inline bool CanDrag(const TBreakoutNode& node) { return !node.isRoom && node.userId != 0; }

}  // namespace orb::polls
