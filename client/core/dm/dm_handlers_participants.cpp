// Participant, rights and moderation handlers.

#include "dm/dm.h"
#include "participants/user_info.h"
#include "protocol/wm_app.h"
#include "wire/text.h"

using namespace orb;

namespace {

template <class F, class... A>
void Call(const F& f, A&&... a) {
    if (f) f(std::forward<A>(a)...);
}

constexpr uint32_t kMaroon = 0x000080;
constexpr uint32_t kBlue = 0xFF0000;
constexpr int32_t kResultNoFreeMicrophone = 54;

}  // namespace

void TDM::HandleUserList() {
    ByteReader r = BodyReader();
    // The head is a whole record's size; only its count is read. A count larger than the records
    // that follow is cut to them.
    std::array<uint8_t, TUserInfo::kSize> head;
    if (!r.bytes(head.data(), head.size())) return;
    int32_t count = int32_t(LoadU32(head.data()));
    Participants.Clear();
    const size_t fit = r.remaining() / TUserInfo::kSize;
    const size_t n = count <= 0 ? 0 : std::min<size_t>(size_t(count), fit);
    TUserListSlices& s = userListSlices_;
    s.records.resize(n * TUserInfo::kSize);
    if (!s.records.empty() && !r.bytes(s.records.data(), s.records.size())) s.records.clear();
    s.next = 0;
    s.count = s.records.size() / TUserInfo::kSize;
    s.context = RenderContext();
    // Dispatched by the reader, the loop turns after the 1st, 51st, 101st ... record, and the
    // messages behind this one wait for the last; dispatched directly, the list is done at once.
    RenderUserListSlice();
    if (!sliced_)
        while (SlicesLeft()) RenderUserListSlice();
}

void TDM::RenderUserListSlice() {
    TUserListSlices& s = userListSlices_;
    constexpr size_t kSlice = 50;
    bool endOfSlice = false;
    while (s.next < s.count && !endOfSlice) {
        ByteReader r(std::span<const uint8_t>(s.records).subspan(s.next * TUserInfo::kSize, TUserInfo::kSize));
        endOfSlice = s.next % kSlice == 0;
        ++s.next;
        TUserInfo info;
        if (!TUserInfo::Decode(r, info)) {
            s.next = s.count;
            break;
        }
        Participants.RenderUserNode(info, s.context);
    }
    UpdateParticipantsCaption();
    if (s.next < s.count) return;
    userListSlices_ = {};
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, 0, 0);
}

void TDM::HandleMicrophoneTaken() {
    const TVCRHeader& h = CurrentHeader();
    if (h.sender != OwnUserId || OwnUserId == 0) {
        Loop().Post(MainWindow(), WM_APP_USERSPEAKING, h.sender, 1);
        return;
    }
    if (h.result == 0) {
        Room.SpeakOn = true;
        Call(ParticipantHooks.SetSpeakChecked, true);
        Transmitting = true;
        Call(RoomHooks.SetTransmit, true);
        Loop().Post(MainWindow(), WM_APP_USERSPEAKING, OwnUserId, 1);
        Call(ParticipantHooks.SetSpeakImage, 42);
        return;
    }
    Room.SpeakOn = false;
    Room.SpeakLatch = false;
    Call(ParticipantHooks.SetSpeakChecked, false);
    if (h.result == kResultNoFreeMicrophone) {
        if (HookInstalled) {
            Call(ParticipantHooks.AddNotice, std::string("Audio"),
                 std::string("No more free microphones. Please wait for a microphone and try again later."), kMaroon);
            if (OwnLoginInfo.Level() > 0)
                Call(ParticipantHooks.AddNotice, std::string("Audio"),
                     std::string("You are a moderator and you can add more microphones in this session by visiting "
                                 "File -> Settings -> Audio Compression."),
                     kBlue);
            Loop().Post(MainWindow(), WM_APP_CHATTARGET, 0, 0);
            Call(ParticipantHooks.Beep, 700, 30);
        } else {
            Call(ParticipantHooks.ShowInformation,
                 std::string("No more free microphones. Please wait for a microphone and try later."));
        }
    } else {
        Loop().Post(MainWindow(), WM_APP_SHOWERROR, 0, h.result);
    }
    Call(RoomHooks.SetTransmit, false);
    Loop().Post(MainWindow(), WM_APP_USERSPEAKING, OwnUserId, 0);
    Transmitting = false;
}

void TDM::HandleMicrophoneReleased() {
    const int32_t sender = CurrentHeader().sender;
    if (sender == OwnUserId && OwnUserId != 0) {
        Call(ParticipantHooks.ReleaseSpeakButton);
        Call(ParticipantHooks.SetSpeakImage, Room.VoiceRight ? 43 : 50);
        Transmitting = false;
        Call(RoomHooks.SetTransmit, false);
        Room.SpeakOn = false;
        Room.SpeakLatch = false;
        Call(ParticipantHooks.SetSpeakChecked, false);
    }
    Loop().Post(MainWindow(), WM_APP_USERSPEAKING, sender, 0);
    Loop().Post(MainWindow(), WM_APP_SPEAKERLEVEL, 0, 0);
}

namespace {

// Shared by kinds 12 and 153: the row, the beep, the notice.
void Joined(TDM& dm, const TUserInfo& info) {
    TParticipantRow& row = dm.Participants.RenderUserNode(info, dm.RenderContext());
    dm.UpdateParticipantsCaption();
    if (dm.BeepOnUserConnect && !dm.PlaybackMode) Call(dm.ParticipantHooks.Beep, 3000, 300);
    Call(dm.ParticipantHooks.AddNotice, std::string("System"), "\xC2\xBB " + ChatName(&row) + " joined the session",
         uint32_t(0));
    dm.Loop().Post(dm.MainWindow(), WM_APP_CHATTARGET, 0, 0);
}

}  // namespace

void TDM::HandleUserJoined() {
    ByteReader r = BodyReader();
    TUserInfo info;
    if (!TUserInfo::Decode(r, info)) return;
    Joined(*this, info);
}

void TDM::HandleUserLeft() {
    const TVCRHeader& h = CurrentHeader();
    Call(ParticipantHooks.KeepFocus);
    if (const TParticipantRow* row = Participants.FindUser(h.sender)) {
        Call(ParticipantHooks.AddNotice, std::string("System"), "\xC2\xAB " + ChatName(row) + " left the session",
             uint32_t(0));
        Loop().Post(MainWindow(), WM_APP_CHATTARGET, 0, 0);
        Participants.DeleteUser(h.sender);
        if (BeepOnUserDisconnect && !PlaybackMode) Call(ParticipantHooks.Beep, 10000, 300);
    }
    UpdateParticipantsCaption();
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, 0, 0);
    if (IsModerator() && BreakoutWindow) Loop().Post(BreakoutWindow, WM_APP_BREAKOUTUSERMOVED, h.sender, h.room);
    Call(ParticipantHooks.RestoreFocus);
}

void TDM::HandleDuplicateLogin() {
    Call(ParticipantHooks.ShowInformation,
         std::string("You were disconnected from the server because \r\nanother user with your ID has just logged in"));
}

void TDM::HandleClearMotions() {
    if (!FromServerOrModerator()) return;
    for (size_t i = 0; i < Participants.Count(); ++i) {
        TParticipantRow& row = Participants.Row(i);
        Participants.SetMotion(row, 0);
        if (row.mikeState == msRequested) Participants.SetMikeState(row, msNone);
        if (row.camState == csRequested) Participants.SetCamState(row, csNone);
        Participants.SetStatusIcon(row, -1);
    }
    // The hands counter went back to 0 with the motions.
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, 100, 0);
}

void TDM::HandleMicrophoneRight() {
    if (!FromServerOrModerator()) return;
    ByteReader r = BodyReader();
    int32_t user;
    if (!r.i32(user)) return;
    const bool granted = CurrentHeader().kind == vkGiveMicrophone;
    Loop().Post(MainWindow(), WM_APP_VOICERIGHT, granted ? 0 : 1, user);
    if (user == OwnUserId) Room.VoiceRight = granted;
}

void TDM::HandleBoardRightChange() {
    if (!FromServerOrModerator()) return;
    ByteReader r = BodyReader();
    int32_t user;
    if (!r.i32(user)) return;
    const bool granted = CurrentHeader().kind == vkGiveBoard;
    if (user == OwnUserId) {
        BoardRight = granted;
        if (granted && BoardWindow) Loop().Post(BoardWindow, WM_APP_BOARDRIGHT, 0, 0);
    }
    if (TParticipantRow* row = Participants.FindUser(user)) {
        row->boardRight = granted;
        Participants.Changed(user);
    }
    Call(ParticipantHooks.BoardRightsChanged, true);
}

void TDM::HandleAcknowledge() {
    if (TParticipantRow* row = Participants.FindUser(CurrentHeader().sender))
        Participants.SetStatusIcon(*row, kIconAcknowledged);
}

void TDM::HandleKickUser() {
    if (!FromServerOrModerator()) return;
    ByteReader r = BodyReader();
    int32_t user;
    std::string reason;
    if (!r.i32(user) || !r.shortString(49, reason)) return;
    // Sent to the removed user; one that names someone else is not this user's removal.
    if (user != OwnUserId) return;
    Room.KickReason = TrimPartialUtf8(reason);
    Loop().Post(MainWindow(), WM_APP_KICKED, CurrentHeader().sender, 0);
}

void TDM::HandlePresence() {
    ByteReader r = BodyReader();
    uint8_t status;
    if (!r.u8(status)) return;
    Loop().Post(MainWindow(), WM_APP_USERSTATUS, CurrentHeader().sender, status);
}

void TDM::HandleUserLevel() {
    if (!FromServerOrModerator()) return;
    ByteReader r = BodyReader();
    int32_t user, level;
    if (!r.i32(user) || !r.i32(level)) return;
    Loop().Post(MainWindow(), WM_APP_USERLEVEL, user, level);
}

void TDM::HandleUserRights() {
    if (!FromServerOrModerator()) return;
    if (Progress) Progress->HideProgress();
    ByteReader r = BodyReader();
    TUserRights rights;
    while (r.remaining() >= TUserRights::kSize && TUserRights::Decode(r, rights)) ApplyUserRights(rights);
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, 0, 0);
}

void TDM::HandleUserFeedback() {
    ByteReader r = BodyReader();
    int32_t value;
    if (!r.i32(value)) return;
    const int32_t sender = CurrentHeader().sender;
    TParticipantRow* row = Participants.FindUser(sender);
    if (!row) return;
    Participants.SetMotion(*row, value);
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, value, sender);
    if (value != 0 && BeepOnUserMotions) Call(ParticipantHooks.Beep, 500, 30);
}

void TDM::HandleTypingState() {
    ByteReader r = BodyReader();
    int32_t state;
    if (!r.i32(state)) return;
    if (TParticipantRow* row = Participants.FindUser(CurrentHeader().sender)) Participants.SetTypingState(*row, state);
}

void TDM::HandleRoomProfile() {
    ByteReader r = BodyReader();
    ::TRoomProfile profile;
    if (!::TRoomProfile::Decode(r, profile)) return;
    RoomProfile = profile;
}

void TDM::HandleUserJoinedEx() {
    ByteReader r = BodyReader();
    TUserInfo info;
    TUserRights rights;
    if (!TUserInfo::Decode(r, info)) return;
    const bool withRights = TUserRights::Decode(r, rights);
    Joined(*this, info);
    // The record introduces one user: its rights are that user's only.
    if (withRights && rights.userId == info.UserId()) ApplyUserRights(rights);
}
