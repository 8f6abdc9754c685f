// The test room server as a program: listens on a loopback port, prints it, answers the version,
// login, start-up, room-list and room-entry handshake (each login gets its own account, and names
// starting with "mod" are moderators; the names of the accounts file sign in only with their own
// password, the others with any), answers what a client asks right after entering a room, tells
// the members who joins and leaves, serves a file-transfer port, records room 1003 on a
// moderator's request, and relays every other message to the other clients of the sender's room
// until interrupted. Connections, logins, room entries, disconnections and recordings are logged
// on standard output, one line each.
//   roomserver [--address 127.0.0.1] [--port 0] [--accounts FILE] [--recordings DIR]

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "roomserver/file_transfer_port.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"
#include "roomserver/extensions.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }
}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1";
    long port = 0;
    std::string accounts, recordings;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--address") && i + 1 < argc) {
            address = argv[++i];
        } else if (!std::strcmp(argv[i], "--port") && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (!end || *end || port < 0 || port > 65535) {
                std::fprintf(stderr, "Invalid port: %s\n", argv[i]);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--accounts") && i + 1 < argc) {
            accounts = argv[++i];
        } else if (!std::strcmp(argv[i], "--recordings") && i + 1 < argc) {
            recordings = argv[++i];
        } else {
            std::fprintf(stderr, "Usage: %s [--address ADDR] [--port N] [--accounts FILE] [--recordings DIR]\n",
                         argv[0]);
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    // A log reader that went away must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    orb::test::TRoomServer server;
    orb::test::TFileTransferPort transfers(server);
    orb::test::TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    script.fileTransferPort = transfers.Port();
    if (!accounts.empty()) {
        std::string error;
        if (!orb::test::LoadAccountsFile(accounts, script.fixedAccounts, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    auto handshake = orb::test::InstallRoomHandshake(server, script);
    std::mutex out;
    orb::test::TRoomService rooms(server, handshake, [&out](const std::string& line) {
        std::lock_guard lk(out);
        std::fputs((line + "\n").c_str(), stdout);
        std::fflush(stdout);
    });
    orb::test::TRoomExtensionContext context{server, handshake, rooms, [&out](const std::string& line) {
                                                 std::lock_guard lk(out);
                                                 std::fputs((line + "\n").c_str(), stdout);
                                                 std::fflush(stdout);
                                             }};
    context.transfers = &transfers;
    context.recordingsFolder = recordings;
    auto extensions = orb::test::InstallRoomExtensions(context);
    if (!server.Start(address, uint16_t(port))) {
        std::fprintf(stderr, "%s\n", server.LastError().c_str());
        return 1;
    }
    {
        std::lock_guard lk(out);
        std::printf("Room server listening on %s port %u (file transfer port %u); %zu accounts with a password of "
                    "their own; room 1003 records; recordings: 1 (demo), 2 (demo, cut short)%s\n",
                    address.c_str(), unsigned(server.Port()), unsigned(transfers.Port()), script.fixedAccounts.size(),
                    recordings.empty() ? "" : (", new ones written to " + recordings).c_str());
        std::fflush(stdout);
    }
    while (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    extensions.clear();
    return 0;
}
