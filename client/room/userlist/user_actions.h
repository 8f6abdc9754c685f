#pragma once
// The participant list's decisions, without widgets: what a click on a row's microphone does.

#include <cstdint>

namespace orb::room {

enum class TMikeClick { None, GiveVoice, BanVoice, AskThenBanVoice };
// By the row's microphone state, the own level 1 and whether the row is the own one.
TMikeClick MikeClickAction(uint8_t mikeState, int32_t ownLevel, bool ownRow);

constexpr const char* kBanSpeakerQuestion =
    "This participant is currently using the microphone. \r\nDo you want to disable his/her microphone?";

}  // namespace orb::room
