#pragma once
// A test room server with its voice port, for the voice tests. `framedAtOnce`: no handshake runs
// on the room connections, so a test can connect a data module directly and say who it is.

#include <memory>

#include "roomserver/ext_voice.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"

namespace orb::voicetest {

struct TVoiceServer {
    explicit TVoiceServer(bool framedAtOnce = false)
        : handshake(framedAtOnce ? std::make_shared<test::TRoomHandshake>(test::TRoomHandshakeScript{})
                                 : test::InstallRoomHandshake(server)) {}

    test::TRoomServer server;
    std::shared_ptr<test::TRoomHandshake> handshake;
    test::TRoomService rooms{server, handshake};
    test::TRoomExtensionContext context{server, handshake, rooms, {}};
    test::TVoiceExtension voice{context};

    bool Start() { return server.Start(); }
};

}  // namespace orb::voicetest
