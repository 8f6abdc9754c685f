#pragma once
// The participant list's decisions, without widgets: what a click on a row's microphone does, and
// when the moderation commands on the selected row are open.

#include <cstdint>
#include <string>

class TDM;

namespace orb::room {

enum class TMikeClick { None, GiveVoice, BanVoice, AskThenBanVoice };
// By the row's microphone state, the own level 1 and whether the row is the own one.
TMikeClick MikeClickAction(uint8_t mikeState, int32_t ownLevel, bool ownRow);

constexpr const char* kBanSpeakerQuestion =
    "This participant is currently using the microphone. \r\nDo you want to disable his/her microphone?";

// Rights, board and removal commands: for a moderator, on a selected row that is not the own.
bool ModerationOnSelectedOpen(TDM& dm);
// The moderator toggle: enabled state and caption.
struct TModeratorToggle {
    bool enabled = false;
    std::string caption = "Promote the user to Moderator";
};
TModeratorToggle ModeratorToggle(TDM& dm);
// The level the toggle sends for the selected row (1000 to promote, 0 to demote).
int32_t ToggledLevel(int32_t rowLevel);
// The own row's motion after a feedback command toggles `bit` (the value kind 117 carries).
int32_t ToggledFeedback(int32_t ownMotions, int32_t bit);

}  // namespace orb::room
