#pragma once
// The requests a participant sends from the main window's request menu (kind 15, types 0 to 3):
// the record carries only its type, so the menu's caption is what the moderator reads.

#include <cstdint>
#include <string>

namespace orb::chat {

inline constexpr int kRequestCaptionCount = 4;
inline constexpr const char* kRequestCaptions[kRequestCaptionCount] = {
    "I want to speak...", "I want to use the board...", "Can you repeat this again ?", "Another thing..."};

// The caption of a request type of the menu; empty for any other type.
inline std::string RequestCaption(int type) {
    return type >= 0 && type < kRequestCaptionCount ? kRequestCaptions[type] : std::string();
}

}  // namespace orb::chat
