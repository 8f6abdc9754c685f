// Participant, rights and moderation senders, and the helpers their handlers share.

#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "util/time_text.h"
#include "wire/text.h"

using namespace orb;

namespace {

std::vector<uint8_t> I32Body(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    for (int32_t v : values) w.i32(v);
    return body;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Only web addresses: the base comes from the server, and the HTTP layer would open other schemes.
bool IsWebBase(const std::string& base) {
    auto starts = [&](std::string_view p) {
        if (base.size() <= p.size()) return false;
        for (size_t i = 0; i < p.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(base[i])) != p[i]) return false;
        return true;
    };
    if (!starts("http://") && !starts("https://")) return false;
    for (char c : base)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace

void TDM::ClearStatusIcons() { Participants.ClearStatusIcons(); }

bool TDM::SendClearMotions() {
    if (!vcrClient.Connected()) return false;
    ClearStatusIcons();
    return SendCommand(vkClearMotions);
}

bool TDM::SendRightChange(bool grant, bool microphone, int32_t user) {
    const uint16_t kind = microphone ? (grant ? vkGiveMicrophone : vkRevokeMicrophone)
                                     : (grant ? vkGiveBoard : vkRevokeBoard);
    return SendCommand(kind, I32Body({user}));
}

bool TDM::SendKickUser(int32_t user, const std::string& reason) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    w.i32(user);
    // 49 bytes of whole characters in the 50-byte field.
    w.shortString(49, CutUtf8(Trim(reason), 49));
    return SendCommand(vkKickUser, body);
}

bool TDM::SendPresence(uint8_t status) { return SendCommand(vkPresence, &status, 1); }

bool TDM::SendUserLevel(int32_t user, int32_t level) { return SendCommand(vkUserLevel, I32Body({user, level})); }

bool TDM::SendUserFeedback(int32_t motionBits) { return SendCommand(vkUserFeedback, I32Body({motionBits})); }

bool TDM::SendTypingState(int32_t state) { return SendCommand(vkTypingState, I32Body({state})); }

bool TDM::DownloadUserImage(int32_t user, WindowHandle window, uint32_t message) {
    if (PlaybackMode || UserImagesFolder.empty()) return false;
    std::string base = Trim(RoomProfile.WebBase());
    if (base.empty() || !IsWebBase(base)) return false;
    const std::string name = std::to_string(user) + ".jpg";
    StartHttpDownload(window, message, user, UserImagesFolder + name, base + "/userimages/" + name);
    return true;
}

TRenderContext TDM::RenderContext() const {
    TRenderContext c;
    c.ownUserId = OwnUserId;
    c.showMe = ShowMe;
    c.roomTimeOffset = RoomInfo.TimeOffsetMinutes();
    try {
        c.machineBias = GetTimeZoneBias();
    } catch (...) {
        c.machineBias = 0;
    }
    c.ownBias = OwnLoginInfo.TimeZoneBias();
    c.playback = PlaybackMode;
    return c;
}

bool TDM::FromServerOrModerator() const {
    if (PlaybackMode) return true;
    const int32_t sender = CurrentHeader().sender;
    if (sender == 0) return true;
    if (sender == OwnUserId && OwnUserId != 0) return HasModerationRights();
    const TParticipantRow* row = Participants.FindUser(sender);
    return row && (row->role != urParticipant || row->level >= 1000);
}

void TDM::UpdateParticipantsCaption() {
    if (ParticipantHooks.SetParticipantsCaption)
        ParticipantHooks.SetParticipantsCaption(" Participants [" + std::to_string(Participants.Count()) + "]");
}

void TDM::ApplyUserRights(const TUserRights& r) {
    TParticipantRow* row = Participants.FindUser(r.userId);
    if (!row) return;
    if (row->motions != r.motion) Participants.SetMotion(*row, r.motion);
    uint8_t mic = r.micState;
    uint8_t cam = r.camState;
    row->maySpeak = r.MaySpeak();
    if (PlaybackMode) {
        row->maySpeak = true;
        if (mic != msSpeaking) mic = msAllowed;
        cam = csNone;
    }
    Participants.SetMikeState(*row, mic);
    Participants.SetCamState(*row, cam);
    row->cameraRight = r.MayUseCamera();
    row->boardRight = r.boardRight != 0;
    if (r.userId == OwnUserId) {
        Room.VoiceRight = row->maySpeak;
        Room.VideoRight = row->cameraRight;
        BoardRight = row->boardRight;
        if (ParticipantHooks.BoardRightsChanged) ParticipantHooks.BoardRightsChanged(false);
    }
    Participants.Changed(r.userId);
}
