#include "userlist/user_actions.h"

#include "participants/participant_list.h"

namespace orb::room {

TMikeClick MikeClickAction(uint8_t state, int32_t ownLevel, bool ownRow) {
    switch (state) {
    case msRequested:
    case msNotAllowed: return ownLevel > 999 ? TMikeClick::GiveVoice : TMikeClick::None;
    case msAllowed: return ownLevel > 999 ? TMikeClick::BanVoice : TMikeClick::None;
    case msSpeaking: return ownLevel >= 1000 && !ownRow ? TMikeClick::AskThenBanVoice : TMikeClick::None;
    default: return TMikeClick::None;
    }
}

}  // namespace orb::room
