// Breakout room and session-notes switch handlers.

#include "dm/dm.h"
#include "protocol/wm_app.h"

namespace {
std::span<const uint8_t> Body(std::span<const uint8_t> message) { return message.subspan(std::min<size_t>(22, message.size())); }
}  // namespace

// The rooms changed on the server: ask for the list again.
void TDM::HandleBreakoutChanged() { SendBreakoutRoomListRequest(); }

void TDM::HandleBreakoutRoomList() {
    const std::vector<int32_t> ids = Breakout.SetRooms(Body(CurrentMessage()));
    if (PollsHooks.BreakoutChanged) PollsHooks.BreakoutChanged(0);
    if (BreakoutWindow)
        for (int32_t id : ids) Loop().Post(BreakoutWindow, WM_APP_BREAKOUTROOMREFRESH, id, 0);
}

void TDM::HandleBreakoutMembers() {
    const auto body = Body(CurrentMessage());
    if (!Breakout.SetMembers(body)) return;
    orb::ByteReader r(body);
    int32_t room = 0;
    r.i32(room);
    if (PollsHooks.BreakoutChanged) PollsHooks.BreakoutChanged(room);
}

// Someone moved between rooms: moderators take the user out of the room left and ask for the
// members of the room entered.
void TDM::HandleBreakoutUpdate() {
    if (!IsModerator()) return;
    orb::ByteReader r = BodyReader();
    int32_t left = 0, entered = 0;
    if (!r.i32(left) || !r.i32(entered)) return;
    if (BreakoutWindow) Loop().Post(BreakoutWindow, WM_APP_BREAKOUTUSERMOVED, CurrentHeader().sender, left);
    SendBreakoutMembersRequest(entered);
}

// A moderator moves this user to a room: voice off, then enter it. A move of someone else, to the
// room the user is in, or to a room number no header can carry does nothing.
void TDM::HandleBreakoutMove() {
    orb::ByteReader r = BodyReader();
    int32_t user = 0, room = 0;
    if (!r.i32(user) || !r.i32(room)) return;
    if (user != OwnUserId || room == OwnRoom || room <= 0 || room > 32767) return;
    if (Room.SpeakOn) SpeakToggle();
    SendEnterRoom(room);
}

void TDM::HandleNotesSwitch() {
    orb::ByteReader r = BodyReader();
    int32_t value = 0;
    if (!r.i32(value)) return;
    NotesSwitch = value;
    Loop().Post(MainWindow(), WM_APP_NOTESPERMISSION, value, 0);
}

void TDM::HandleBreakoutAllowed() {
    orb::ByteReader r = BodyReader();
    uint8_t allowed = 0;
    if (!r.u8(allowed)) return;
    BreakoutAllowed = allowed != 0;
}
