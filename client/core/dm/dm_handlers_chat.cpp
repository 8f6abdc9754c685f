// Chat, session notes and requests handlers.

#include <cmath>
#include <cstdio>

#include "chat/requests.h"
#include "dm/dm.h"
#include "protocol/date_time.h"
#include "protocol/wm_app.h"
#include "wire/text.h"

namespace {

std::u16string TrimWide(std::u16string s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] <= u' ') ++b;
    while (e > b && s[e - 1] <= u' ') --e;
    return s.substr(b, e - b);
}

// "hh:nn" of a date-time (a value that is no time of day gives "00:00").
std::string HourMinute(double dateTime) {
    double frac = dateTime - std::floor(dateTime);
    if (!std::isfinite(frac) || frac < 0) frac = 0;
    int minutes = int(std::lround(frac * 1440.0)) % 1440;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", minutes / 60, minutes % 60);
    return buf;
}

// The notes list names a sender by the display name of the record (without the own row's " (Me)");
// a sender without a row is "Unknown", as in the chat.
std::string NoteSenderName(const orb::TParticipantRow* row) {
    if (!row) return "Unknown";
    return row->hasInfo ? row->info.DisplayName() : row->caption;
}

void ReceiveText(TDM& dm, bool wide) {
    orb::chat::IChatView* view = dm.ChatView;
    if (dm.BeepOnNewMessage && !dm.PlaybackMode && view) view->Beep(400, 10);
    orb::ByteReader r = dm.BodyReader();
    TTextMessage m;
    if (!DecodeTextMessage(r, wide, m)) return;
    const std::u16string text = TrimWide(std::move(m.text));
    const int32_t from = m.info.fromId;
    const int32_t own = dm.OwnUserId;
    const bool chatOutOfSight = view && (view->FullScreen() || !view->ChatPageActive());
    switch (m.info.messageType) {
    case TTextMessageInfo::mtPublic:
        if (view) view->AddChatMessage(0, dm.ChatSenderName(from), false,
                                       from == own ? orb::chat::kChatBlue : orb::chat::kChatBlack, text);
        // A public line never turns a private conversation public behind the user's back: what
        // they type next still goes where the chat header says.
        if (dm.Room.ChatTargetType == 0) dm.Loop().Post(dm.MainWindow(), WM_APP_CHATTARGET, 0, from);
        if (chatOutOfSight && from != own && !view->SeparateChatWindow())
            view->ShowChatPopup(dm.ChatSenderName(from), text);
        break;
    case TTextMessageInfo::mtPrivate:
        if (from == own) {
            // Our own message echoed back: it belongs to the conversation with the addressee.
            if (m.info.toId == own) return;
            if (view) view->AddChatMessage(m.info.toId, dm.ChatSenderName(from), false, orb::chat::kChatBlue, text);
            dm.Loop().Post(dm.MainWindow(), WM_APP_CHATTARGET, 1, m.info.toId);
        } else {
            // A private message meant for somebody else is none of this user's business.
            if (m.info.toId != own) return;
            if (view) view->AddChatMessage(from, dm.ChatSenderName(from), false, orb::chat::kChatBlack, text);
            dm.Loop().Post(dm.MainWindow(), WM_APP_CHATTARGET, 1, from);
            if (chatOutOfSight) view->ShowChatPopup(dm.ChatSenderName(from), text);
        }
        break;
    case TTextMessageInfo::mtNote: {
        if (m.info.toId != own && m.info.toId != 0) return;
        orb::chat::TNoteRow row;
        row.isNote = true;
        row.dateTime = orb::NowDateTime();
        row.time = HourMinute(row.dateTime);
        row.sender = NoteSenderName(dm.Participants.FindUser(from));
        row.text = text;
        row.senderId = std::to_string(from);
        row.senderUser = from;
        if (view) {
            view->AddNoteRow(row);
            if (!dm.NoPopUpsOnPostIt) view->ShowUserNote(row.sender, row.text, row.dateTime);
        }
        break;
    }
    default: break;
    }
}

}  // namespace

void TDM::HandleAnsiTextMessage() { ReceiveText(*this, false); }

void TDM::HandleTextMessage() { ReceiveText(*this, true); }

void TDM::HandleUserRequest() {
    if (BeepOnChatMotions && ChatView) ChatView->Beep(200, 50);
    orb::ByteReader r = BodyReader();
    TRequestInfo req;
    if (!TRequestInfo::Decode(r, req)) return;
    if (req.IsUserListAction()) {
        ApplyUserAction(req.senderId, req.requestType);
        return;
    }
    const orb::TParticipantRow* sender = Participants.FindUser(req.senderId);
    if (!sender || !ChatView) return;
    orb::chat::TNoteRow row;
    row.dateTime = req.time;
    row.time = HourMinute(req.time);
    row.sender = NoteSenderName(sender);
    row.text = TrimWide(orb::Utf8ToUtf16(req.text));
    // A request from the menu carries only its type: the note says what was asked.
    if (row.text.empty()) row.text = orb::Utf8ToUtf16(orb::chat::RequestCaption(req.requestType));
    row.senderUser = req.senderId;
    row.requestType = req.requestType;
    ChatView->AddNoteRow(row);
    if (!NoPopUpsOnPostIt) ChatView->ShowUserNote(row.sender, row.text, row.dateTime);
}

void TDM::HandleClearNotes() {
    if (ChatView) ChatView->ClearNotes();
}

void TDM::HandleChatPermission() {
    int32_t mode = 0;
    if (!BodyReader().i32(mode)) return;
    ChatPermission = mode;
    Loop().Post(MainWindow(), WM_APP_CHATPERMISSION, mode, 0);
}
