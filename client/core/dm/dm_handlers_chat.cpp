// Chat, session notes and requests handlers.

#include "dm/dm.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleAnsiTextMessage() {}

void TDM::HandleUserRequest() {}

void TDM::HandleClearNotes() {}

void TDM::HandleChatPermission() {}

void TDM::HandleTextMessage() {}
