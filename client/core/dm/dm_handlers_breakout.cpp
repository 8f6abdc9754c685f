// Breakout room and session-notes switch handlers.

#include "dm/dm.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleBreakoutChanged() {}

void TDM::HandleBreakoutRoomList() {}

void TDM::HandleBreakoutMembers() {}

void TDM::HandleBreakoutUpdate() {}

void TDM::HandleBreakoutMove() {}

void TDM::HandleNotesSwitch() {}

void TDM::HandleBreakoutAllowed() {}
