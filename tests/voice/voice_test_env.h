#pragma once
// A test room server with its voice port, for the voice tests.

#include <memory>

#include "roomserver/ext_voice.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"

namespace orb::voicetest {

struct TVoiceServer {
    test::TRoomServer server;
    std::shared_ptr<test::TRoomHandshake> handshake = test::InstallRoomHandshake(server);
    test::TRoomService rooms{server, handshake};
    test::TRoomExtensionContext context{server, handshake, rooms, {}};
    test::TVoiceExtension voice{context};

    bool Start() { return server.Start(); }
};

}  // namespace orb::voicetest
