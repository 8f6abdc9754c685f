#pragma once
// What the chat, note and request handlers hand to windows. The main window implements it; tests
// record it. Every text is plain text: views insert it as text, never as markup.

#include <cstdint>
#include <string>

namespace orb::chat {

// One row of the notes-and-requests list.
struct TNoteRow {
    bool isNote = false;        // a session note (kind 130/131 type 5) rather than a request
    std::string time;           // "hh:nn"
    double dateTime = 0;        // the same moment as a date-time (for the note window)
    std::string sender;         // UTF-8
    std::u16string text;
    std::string status = "Pending";
    std::string senderId;       // decimal, notes only
    int32_t senderUser = 0;
    uint8_t requestType = 0;
};

class IChatView {
public:
    virtual ~IChatView() = default;
    // One message (or notice) into the view of `key`: 0 public, otherwise the partner's user id.
    virtual void AddChatMessage(int32_t key, const std::u16string& sender, bool notice, uint32_t colour,
                                const std::u16string& text) = 0;
    virtual void AddNoteRow(const TNoteRow& row) = 0;
    virtual void ClearNotes() = 0;
    // A slide-in notice of a new chat message, and of a note or request.
    virtual void ShowChatPopup(const std::u16string& /*sender*/, const std::u16string& /*text*/) {}
    virtual void ShowUserNote(const std::string& /*sender*/, const std::u16string& /*text*/, double /*dateTime*/) {}
    virtual void Beep(int /*frequency*/, int /*durationMs*/) {}
    // Where the user is looking: a pop-up is shown only when the chat is not in sight.
    virtual bool FullScreen() const { return false; }
    virtual bool ChatPageActive() const { return true; }
    virtual bool SeparateChatWindow() const { return false; }
    // The session-message dialog for an addressee ("All Attendees in the room" for 0): the text to
    // send, or false when cancelled.
    virtual bool AskSessionMessage(const std::string& /*addressee*/, std::u16string& /*text*/) { return false; }
};

// Colours of chat lines (0x00BBGGRR).
constexpr uint32_t kChatBlue = 0xFF0000;
constexpr uint32_t kChatBlack = 0x000000;
constexpr uint32_t kChatGrey = 0x808080;

}  // namespace orb::chat
