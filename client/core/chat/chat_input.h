#pragma once
// The chat input's and the main window's small decisions, without widgets.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orb::chat {

// Typing state: what to send (1 or 0) when the input's text changes, given the typing flag; the
// flag follows what was sent.
std::optional<int> TypingChange(bool& typingFlag, bool textEmpty);

// A smiley code put into a draft at the caret (a UTF-16 index, clamped); the caret moves after it.
struct TDraft {
    std::u16string text;
    int caret = 0;
};
TDraft InsertAtCaret(const std::u16string& draft, int caret, std::u16string_view code);

// Input panel height for one-line (25) and multi-line (70) mode.
constexpr int InputPanelHeight(bool multiLine) { return multiLine ? 70 : 25; }

// A document another user pushed: the base name to save it under in our folder (no separators, no
// "..", no control characters, at most 100 characters; a short extension of letters and digits),
// or empty when nothing usable is left.
std::string SafeDocumentName(std::string_view fileName);
// Types that are never opened, whatever the user answers (programs, scripts, desktop entries,
// packages and links).
bool IsExecutableType(std::string_view fileName);

// Pages of the slides menu: a count from the network, capped.
constexpr int kMaxSlideMenuItems = 500;
int SlideMenuCount(int32_t pageCount);

// The send-to menu's caption of a participant.
std::string SendToCaption(const std::string& displayName, int32_t level);

// "Orbelo Text Messages Dec-09-2026 1405.rtf" style names; `prefix` ends with a space.
std::string ExportFileName(const std::string& prefix, double dateTime, const std::string& extension);
// "Dec-09-2026 14:05", the date line of the notes export.
std::string ExportDateText(double dateTime);

}  // namespace orb::chat
