#pragma once
// The libraries area's part of the test room server, also on its own for tests that run the room
// server without sign-in (every client then in room 0).

#include "roomserver/extensions.h"
#include "roomserver/file_transfer_port.h"

namespace orb::test {

PRoomExtension MakeLibrariesExtension(TRoomServer& server, TFileTransferPort* transfers,
                                      std::function<void(const std::string&)> log = {});

}  // namespace orb::test
