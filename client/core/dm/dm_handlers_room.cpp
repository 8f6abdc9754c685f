// Room and session handlers: room information, room list, room entry and the server keep-alive.

#include "dm/dm.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleRoomInfo() {}

void TDM::HandleRoomList() {}

void TDM::HandleEnterRoom() {}

void TDM::HandleKeepAlive() {}
