#include "polls/breakout_tree.h"

#include "wire/bytes.h"

namespace orb::polls {

std::string TBreakoutRoom::Caption() const {
    // Appended in order: a short literal put in front of a string is an overlapping copy to GCC 12
    // at -O3.
    std::string caption = "#";
    caption += std::to_string(Id());
    caption += ": ";
    caption += info.RoomName();
    return caption;
}

TBreakoutRoom* TBreakoutTree::Find(int32_t room) {
    for (auto& r : rooms_)
        if (r.Id() == room) return &r;
    return nullptr;
}

std::vector<int32_t> TBreakoutTree::SetRooms(std::span<const uint8_t> body) {
    rooms_.clear();
    std::vector<int32_t> ids;
    for (size_t off = 0; off + TRoomInfo::kSize <= body.size() && rooms_.size() < kMaxBreakoutRooms;
         off += TRoomInfo::kSize) {
        TBreakoutRoom r;
        r.info.Assign(body.subspan(off).first<TRoomInfo::kSize>());
        // One node per room: a repeated id would make moves and removals ambiguous.
        if (Find(r.Id())) continue;
        ids.push_back(r.Id());
        rooms_.push_back(std::move(r));
    }
    return ids;
}

bool TBreakoutTree::SetMembers(std::span<const uint8_t> body) {
    ByteReader r(body);
    int32_t id = 0;
    if (!r.i32(id) || id <= 0) return false;
    TBreakoutRoom* room = Find(id);
    if (!room) return false;
    room->members.clear();
    for (size_t off = 4; off + TLoginInfo::kSize <= body.size() && room->members.size() < kMaxBreakoutMembers;
         off += TLoginInfo::kSize) {
        TLoginInfo m;
        m.Assign(body.subspan(off).first<TLoginInfo::kSize>());
        room->members.push_back(m);
    }
    return true;
}

bool TBreakoutTree::RemoveMember(int32_t room, int32_t user) {
    TBreakoutRoom* r = Find(room);
    if (!r) return false;
    for (auto it = r->members.begin(); it != r->members.end(); ++it)
        if (it->UserId() == user) {
            r->members.erase(it);
            return true;
        }
    return false;
}

std::vector<TBreakoutMove> TBreakoutTree::ReturnAllMoves(int32_t mainRoom) const {
    std::vector<TBreakoutMove> moves;
    for (const auto& r : rooms_)
        for (const auto& m : r.members) moves.push_back({m.UserId(), mainRoom});
    return moves;
}

std::optional<TBreakoutMove> DropMove(const TBreakoutNode& dragged, const TBreakoutNode& target) {
    if (!CanDrag(dragged) || !target.isRoom || target.roomId <= 0) return std::nullopt;
    if (dragged.roomId == target.roomId) return std::nullopt;
    return TBreakoutMove{dragged.userId, target.roomId};
}

}  // namespace orb::polls
