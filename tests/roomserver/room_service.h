#pragma once
// What a room holds beyond the handshake: its members and the few room-wide settings, and the
// answers to the requests a client sends right after entering a room (user list, rights, boards,
// current board, pushed web page, view mode, chat permission, notes switch, breakout rooms, room
// profile, video port, time zone). Members hear of users who join (kind 153: the user and the
// rights) and leave (kind 13); everything else is relayed to the sender's room. The strokes,
// pictures, texts and slides shown on the shared boards are kept per room (until a board is
// cleared), so that a newcomer's board request gets them back.
//
//   TRoomServer server;
//   auto handshake = InstallRoomHandshake(server, script);
//   TRoomService rooms(server, handshake, [](const std::string& line) { ... });
//   server.Start();
//
// The server's hooks refer to the service: destroying the service stops the server first.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"

namespace orb::test {

class TRoomService {
public:
    using Log = std::function<void(const std::string& line)>;

    // Installs its hooks and handlers on the server and the handshake (before the server starts).
    // `log` hears one line per connection, login, room entry and disconnection.
    TRoomService(TRoomServer& server, std::shared_ptr<TRoomHandshake> handshake, Log log = {});
    ~TRoomService();
    TRoomService(const TRoomService&) = delete;
    TRoomService& operator=(const TRoomService&) = delete;

    // The user ids in a room, in the order they arrived.
    std::vector<int32_t> Members(int16_t room) const;
    int32_t CurrentBoard(int16_t room) const;
    // What a room's shared board holds: the items of the whole-board reply (empty: nothing).
    std::string BoardItems(int16_t room, int32_t board) const;

    // The 761-byte participant record and the 15-byte rights record of an account.
    static std::string UserInfoRecord(const TAccount& account, int32_t timeZoneBias);
    static std::string RightsRecord(const TAccount& account);

private:
    static constexpr size_t kMaxBoardBytes = 16 << 20;  // kept per board; more is relayed only

    struct TRoomState {
        int32_t board = 1;           // the room's current shared board
        int32_t chatPermission = 0;  // as the moderators last set it
        int32_t notesSwitch = 0;     // non-zero: session notes disabled
        std::map<int32_t, std::string> boards;  // board 1..5: its items, each a header and body
    };
    using Handler = TRoomServer::Handler;

    void Install();
    void Entered(TRoomConnection& c, int16_t previous);
    void Disconnected(TRoomConnection& c);
    void Left(TRoomConnection& c, int16_t room, const TAccount& account);
    // Members of a room that logged in, with their connections (ordered by connection).
    std::vector<std::pair<int, TAccount>> Accounts(int16_t room) const;
    int32_t TimeZoneBias(int connection) const;
    void Reply(TRoomConnection& c, uint16_t kind, const std::string& body);
    void Say(const std::string& line);

    TRoomServer& server_;
    std::shared_ptr<TRoomHandshake> handshake_;
    Log log_;

    mutable std::mutex mu_;
    std::map<int16_t, TRoomState> rooms_;
    std::map<int, int32_t> timeZones_;  // minutes, UTC minus local, by connection
};

}  // namespace orb::test
