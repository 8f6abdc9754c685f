// The room's own state at room entry (reset and own rights), the board steps of the sequence, and
// the plain requests the room window sends after entering a room.

#include "boardmsg/board_messages.h"
#include "dm/dm.h"
#include "protocol/wm_app.h"

using namespace orb;

namespace {

template <class F, class... A>
void Call(const F& f, A&&... a) {
    if (f) f(std::forward<A>(a)...);
}

}  // namespace

void TDM::ResetRoomState() {
    Room.VoiceRight = false;
    BoardRight = false;
    Room.DocumentRight = false;
    Room.VideoRight = false;
    Room.VideoPublishing = false;
    Call(RoomHooks.OnRoomStateReset);
    for (int32_t board = 1; board <= 5; ++board) ClearBoard(board);
    Participants.Clear();
}

void TDM::ApplyOwnRights() {
    const bool moderator = HasModerationRights();
    Room.VoiceRight = moderator;
    BoardRight = moderator;
    Room.DocumentRight = moderator && RoomInfo.ModeratorsGetDocumentTools();
    Room.VideoRight = moderator && RoomInfo.ModeratorVideoAllowed();
    Call(RoomHooks.ShowModerationActions, moderator);
}

void TDM::SelectBoard(int32_t board, bool announce) {
    if (BoardSink) BoardSink->SelectBoard(board, announce);
}

void TDM::ClearBoard(int32_t board) {
    if (BoardSink) BoardSink->ClearBoard(board);
}

namespace {

std::vector<uint8_t> I32Body(int32_t v) {
    std::vector<uint8_t> body;
    ByteWriter(body).i32(v);
    return body;
}

}  // namespace

bool TDM::SendUserListRequest() { return SendCommand(vkUserList); }
bool TDM::SendTakeMicrophone() { return SendCommand(vkTakeMicrophone); }
bool TDM::SendReleaseMicrophone() {
    // The voice thread stops sending before the floor is given back, whichever input gives it up.
    Call(RoomHooks.SetTransmit, false);
    Transmitting = false;
    return SendCommand(vkReleaseMicrophone);
}

bool TDM::SendAcknowledge(int32_t user) {
    // A push of this user's own (a moderator's own navigation) needs no answer: acknowledging it
    // would mark the pusher's row as having acknowledged on everybody's list.
    if (user == 0 || (user == OwnUserId && OwnUserId != 0)) return false;
    return SendCommand(vkAcknowledge, I32Body(user));
}

bool TDM::SendCurrentBoard() { return SendCommand(vkCurrentBoard, I32Body(CurrentBoard)); }
bool TDM::SendUserRightsRequest() { return SendCommand(vkUserRights); }
bool TDM::SendViewModeRequest() { return SendCommand(vkViewModeQuery, I32Body(0)); }
bool TDM::SendWebPageRequest() { return SendCommand(vkWebPage); }
bool TDM::SendChatPermissionRequest() { return SendCommand(vkChatPermissionQuery); }
bool TDM::SendNotesSwitchRequest() { return SendCommand(vkNotesSwitchQuery); }
bool TDM::SendBreakoutAllowedRequest() { return SendCommand(vkBreakoutAllowed); }
bool TDM::SendKind148() { return SendCommand(vkKind148); }
bool TDM::SendRoomProfileRequest() { return SendCommand(vkRoomProfile); }

void TDM::SpeakToggle() {
    if (!vcrClient.Connected()) return;
    if (Room.SpeakOn) {
        const bool queued = SendReleaseMicrophone();
        Room.SpeakOn = false;
        Room.SpeakLatch = false;
        if (!queued) Loop().Post(MainWindow(), WM_APP_AUDIOSTATE, 5, 0);
        return;
    }
    // Checked only once the request is on its way, so a failed queue leaves nothing latched.
    if (!SendTakeMicrophone()) {
        Loop().Post(MainWindow(), WM_APP_AUDIOSTATE, 5, 0);
        return;
    }
    Room.SpeakOn = true;
    Room.SpeakLatch = true;
}
