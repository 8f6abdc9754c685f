#include "userlist/user_actions.h"

#include "dm/dm.h"

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

bool ModerationOnSelectedOpen(TDM& dm) {
    const int32_t selected = dm.Participants.SelectedUser();
    return dm.HasModerationRights() && selected != 0 && selected != dm.OwnUserId &&
           dm.Participants.FindUser(selected) != nullptr;
}

TModeratorToggle ModeratorToggle(TDM& dm) {
    TModeratorToggle t;
    const TParticipantRow* row = dm.Participants.Selected();
    if (!row || row->userId == dm.OwnUserId || !dm.HasModerationRights()) return t;
    t.enabled = true;
    if (row->level >= 1000) t.caption = "Demote the user to Participant";
    if (dm.RoomProfile.RoomType() == ::TRoomProfile::kRoomTypeNoPromotion) t.enabled = false;
    return t;
}

int32_t ToggledLevel(int32_t rowLevel) { return rowLevel < 1000 ? 1000 : 0; }

int32_t ToggledFeedback(int32_t ownMotions, int32_t bit) { return (ownMotions & bit) ? 0 : bit; }

}  // namespace orb::room
