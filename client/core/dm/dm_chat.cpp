// Chat, session notes and requests: the senders and the row action of requests.

#include <cmath>
#include <vector>

#include "dm/dm.h"
#include "protocol/date_time.h"
#include "protocol/wm_app.h"
#include "wire/bytes.h"
#include "wire/text.h"

bool TDM::SendTextRecord(int32_t sender, int32_t addressee, std::span<const std::u16string> lines, int16_t room,
                         int16_t type) {
    if (!vcrClient.Connected()) return false;
    // The record builder cuts text beyond what the record's 16-bit byte count can carry.
    ::PWideTextRecord record = ::NewWideTextRecord(sender, addressee, room, lines, type);
    std::vector<uint8_t> body = ::EncodeWideTextMessage(*record);
    TVCRHeader header;
    InitVCRHeader(type == TTextMessageInfo::mtPublic ? vkTextMessage : vkPrivateTextMessage, sender, room, header);
    const bool queued = QueueMessage(header, body);
    ::FreeWideTextRecord(record);
    return queued;
}

bool TDM::SendChatText(const std::u16string& text) {
    const int16_t type = Room.ChatTargetType == 0 ? TTextMessageInfo::mtPublic : TTextMessageInfo::mtPrivate;
    const int32_t to = type == TTextMessageInfo::mtPublic ? 0 : Room.ChatTargetUser;
    // The input's lines travel joined by CR LF, whichever line ends the editor used.
    std::vector<std::u16string> lines(1);
    for (char16_t ch : text) {
        if (ch == u'\n') {
            if (!lines.back().empty() && lines.back().back() == u'\r') lines.back().pop_back();
            lines.emplace_back();
        } else {
            lines.back() += ch;
        }
    }
    return SendTextRecord(OwnUserId, to, lines, OwnRoom, type);
}

bool TDM::ShowSessionMessageDialog(int32_t user) {
    if (!ChatView) return false;
    std::string addressee = "All Attendees in the room";
    if (user != 0) {
        const orb::TParticipantRow* row = Participants.FindUser(user);
        addressee = row ? row->caption : "Unknown User";
    }
    std::u16string text;
    if (!ChatView->AskSessionMessage(addressee, text)) return false;
    const std::u16string lines[] = {text};
    // A note always travels as kind 130, whatever its type says.
    ::PWideTextRecord record = ::NewWideTextRecord(OwnUserId, user, OwnRoom, lines, TTextMessageInfo::mtNote);
    std::vector<uint8_t> body = ::EncodeWideTextMessage(*record);
    ::FreeWideTextRecord(record);
    return SendCommand(vkTextMessage, body);
}

bool TDM::SendUserRequest(int32_t target, uint8_t type, const std::string& text) {
    if (!vcrClient.Connected()) return false;
    TRequestInfo r;
    r.sequence = ++RequestSequence;
    r.senderId = OwnUserId;
    r.targetId = target;
    r.time = orb::NowDateTime();
    r.requestType = type;
    r.text = text;
    r.flag = 0;
    orb::ByteWriter w;
    r.Encode(w);
    return SendCommand(vkUserRequest, w.buffer());
}

bool TDM::SendClearNotes() { return SendCommand(vkClearNotes); }

bool TDM::SendChatPermission(int32_t mode) {
    orb::ByteWriter w;
    w.i32(mode);
    return SendCommand(vkChatPermission, w.buffer());
}

bool TDM::SendNotesSwitch(bool disabled) {
    orb::ByteWriter w;
    w.i32(disabled ? 1 : 0);
    return SendCommand(vkNotesSwitch, w.buffer());
}

void TDM::ApplyUserAction(int32_t user, int action) {
    // Through the list's setters, as for the motion kinds: the icon, the hand number and the
    // counters the window shows all follow.
    if (orb::TParticipantRow* row = Participants.FindUser(user)) {
        switch (action) {
        case 4: Participants.SetMotionBit(*row, orb::kMotionHand, !row->HandRaised()); break;
        case 6: Participants.SetMotionBit(*row, orb::kMotionApplause, !row->Applauding()); break;
        case 7: Participants.SetMotionBit(*row, orb::kMotionSmile, !row->Smiling()); break;
        case 8:
            if (row->mikeState == orb::msNone || row->mikeState == orb::msNotAllowed)
                Participants.SetMikeState(*row, orb::msRequested);
            else if (row->mikeState == orb::msRequested)
                Participants.SetMikeState(*row, orb::msNone);
            break;
        case 9:
            if (row->camState == orb::csNone)
                Participants.SetCamState(*row, orb::csRequested);
            else if (row->camState == orb::csRequested)
                Participants.SetCamState(*row, orb::csNone);
            break;
        default: break;
        }
    }
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, action, user);
}

std::u16string TDM::ChatSenderName(int32_t user) const {
    return orb::Utf8ToUtf16(orb::ChatName(Participants.FindUser(user)));
}
