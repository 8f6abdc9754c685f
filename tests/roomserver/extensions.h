#pragma once
// What each area adds to the test room server (its own ports, relays and replies), installed by
// the roomserver program and the end-to-end tests in one call. Each area fills its own
// ext_<area>.cpp; an extension owns what it starts (ports, threads) for as long as it lives.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"

namespace orb::test {

struct TRoomExtensionContext {
    TRoomServer& server;
    std::shared_ptr<TRoomHandshake> handshake;
    TRoomService& rooms;
    // One line per event worth logging (the program prints them).
    std::function<void(const std::string&)> log;
    // The file-transfer port, when the server has one (its store holds the uploaded files).
    class TFileTransferPort* transfers = nullptr;
    // Where server recordings are written (empty: they are kept in memory only).
    std::string recordingsFolder = {};
};

class TRoomExtension {
public:
    virtual ~TRoomExtension() = default;
};
using PRoomExtension = std::unique_ptr<TRoomExtension>;

// Every area's extension, before the server starts.
std::vector<PRoomExtension> InstallRoomExtensions(TRoomExtensionContext& context);

// The test room server with its room service and every area's extension, in the test's process;
// started by the test.
struct TTestRoom {
    explicit TTestRoom(TRoomHandshakeScript script = {})
        : handshake(InstallRoomHandshake(server, std::move(script))), rooms(server, handshake) {
        TRoomExtensionContext context{server, handshake, rooms, {}};
        extensions = InstallRoomExtensions(context);
    }
    // Stopped before the extensions go, also when an assertion ends the test early.
    ~TTestRoom() { server.Stop(); }

    TRoomServer server;
    std::shared_ptr<TRoomHandshake> handshake;
    TRoomService rooms;
    std::vector<PRoomExtension> extensions;
};

// One per area (null when the area adds nothing).
PRoomExtension InstallParticipantsExtension(TRoomExtensionContext& context);
PRoomExtension InstallChatExtension(TRoomExtensionContext& context);
PRoomExtension InstallVoiceExtension(TRoomExtensionContext& context);
PRoomExtension InstallPlaybackExtension(TRoomExtensionContext& context);
PRoomExtension InstallBoardExtension(TRoomExtensionContext& context);
PRoomExtension InstallLibrariesExtension(TRoomExtensionContext& context);
PRoomExtension InstallPrintExtension(TRoomExtensionContext& context);
PRoomExtension InstallPollsExtension(TRoomExtensionContext& context);
PRoomExtension InstallVideoExtension(TRoomExtensionContext& context);
PRoomExtension InstallSharingExtension(TRoomExtensionContext& context);

}  // namespace orb::test
