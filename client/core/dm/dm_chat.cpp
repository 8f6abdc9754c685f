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
    if (orb::TParticipantRow* row = Participants.FindUser(user)) {
        switch (action) {
        case 4:  // raise or lower the hand
            if (row->motions & orb::kMotionHand) {
                row->motions &= ~orb::kMotionHand;
            } else {
                ++HandCounter;
                row->motions |= orb::kMotionHand;
            }
            break;
        case 6: row->motions ^= orb::kMotionApplause; break;
        case 7: row->motions ^= orb::kMotionSmile; break;
        case 8:
            if (row->mikeState == orb::msNone || row->mikeState == orb::msNotAllowed)
                row->mikeState = orb::msRequested;
            else if (row->mikeState == orb::msRequested)
                row->mikeState = orb::msNone;
            break;
        case 9:
            if (row->camState == 0)
                row->camState = 1;
            else if (row->camState == 1)
                row->camState = 0;
            break;
        default: break;
        }
        Participants.Changed(user);
    }
    Loop().Post(MainWindow(), WM_APP_USERLISTCHANGED, action, user);
}

std::u16string TDM::ChatSenderName(int32_t user) const {
    const orb::TParticipantRow* row = Participants.FindUser(user);
    if (!row) return u"Unknown";
    std::u16string name = orb::Utf8ToUtf16(row->caption);
    if (row->level >= 1000) name += u" (Moderator)";
    return name;
}
