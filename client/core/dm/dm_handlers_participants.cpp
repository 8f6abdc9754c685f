// Participant, rights and moderation handlers.

#include "dm/dm.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleUserList() {}

void TDM::HandleMicrophoneTaken() {}

void TDM::HandleMicrophoneReleased() {}

void TDM::HandleUserJoined() {}

void TDM::HandleUserLeft() {}

void TDM::HandleDuplicateLogin() {}

void TDM::HandleClearMotions() {}

void TDM::HandleMicrophoneRight() {}

void TDM::HandleBoardRightChange() {}

void TDM::HandleAcknowledge() {}

void TDM::HandleKickUser() {}

void TDM::HandlePresence() {}

void TDM::HandleUserLevel() {}

void TDM::HandleUserRights() {}

void TDM::HandleUserFeedback() {}

void TDM::HandleTypingState() {}

void TDM::HandleRoomProfile() {}

void TDM::HandleUserJoinedEx() {}
