#pragma once
// The room handshake of the test room server: the version check (with update offers, also of
// size 0), the login (success or a refusal code), the start-up information (with or without a
// file), then the room list (kind 74), room entry (kind 75, success or a refusal), heartbeats
// (kind 57, counted through Received), the bandwidth (154) and time-zone (114) messages.
//
//   TRoomServer server;
//   auto handshake = InstallRoomHandshake(server, script);
//   server.Start();

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "roomserver/room_server.h"

namespace orb::test {

struct TRoomHandshakeScript {
    // Version: 0 accepts; non-zero offers an update: the offer record, an i32 size and the bytes.
    uint16_t versionResult = 0;
    std::string offerVersion = "6.3";
    std::string installer;           // empty: the offer announces size 0
    bool closeAfterVersion = false;  // the exchange breaks: the server hangs up
    bool offerCut = false;           // an offer's header arrives, then the server hangs up

    // Login: 0 accepts and sends the account; otherwise the refusal code (1, 15, ...).
    uint16_t loginResult = 0;
    // Without per-login accounts every login gets this one account; with them each login gets its
    // own: ids counting from userId, the full name made from the typed name ("ana" -> "Ana
    // Tester"), level 1000 for names starting with "mod" (in any case), otherwise 1.
    bool perLoginAccounts = false;
    int32_t userId = 501;
    std::string fullName = "Ana Lima";
    int32_t level = 1000;
    bool shortLoginReply = false;  // a success whose body lacks the account

    // Start-up information: an optional file (name relative to the program folder) and a welcome.
    std::string startupFileName;
    std::string startupFile;
    std::string welcome = "Welcome to the test server";

    // The rooms listed. Entering a room of refusedRooms answers with its code; a room that is not
    // listed, or a header room that is not the target, answers 18.
    std::vector<std::pair<int32_t, std::string>> rooms = {{1002, "Main hall"}, {1003, "Lab"}};
    std::map<int32_t, uint16_t> refusedRooms;
    // Rooms whose record allows server recording (the moderators' recorder tool bar).
    std::set<int32_t> recordingRooms = {1003};
    bool shortEnterReply = false;  // a success whose body is cut short
    int32_t voicePort = 9911;
    int32_t fileTransferPort = 9912;
    int32_t videoPort = 9913;

    // Accounts with a password of their own, by user name (compared without regard to case): a
    // login with another password is refused with wrongPasswordResult. Other names sign in with
    // any password.
    struct TFixedAccount {
        std::string password;
        bool moderator = false;
    };
    std::map<std::string, TFixedAccount> fixedAccounts;
    uint16_t wrongPasswordResult = 1;
};

// Reads accounts from a text file: one a line, "name password moderator" separated by blanks or
// tabs (moderator 1 or 0, may be left out); blank lines and lines starting with '#' are skipped.
// False, with the line's number in `error`, when a line does not read.
bool LoadAccountsFile(const std::string& path, std::map<std::string, TRoomHandshakeScript::TFixedAccount>& out,
                      std::string& error);

// One signed-in user as the server keeps it.
struct TAccount {
    int32_t userId = 0;
    std::string userName;
    std::string password;
    std::string fullName;
    int32_t level = 0;
    double loginTime = 0;  // date-time of the login

    bool Moderator() const { return level >= 1000; }
};

// The account a per-login server makes for a typed user name.
TAccount MakeAccount(int32_t userId, const std::string& userName);

// What the handshake saw; shared with the server's connection threads.
class TRoomHandshake {
public:
    explicit TRoomHandshake(TRoomHandshakeScript script) : script_(std::move(script)) {}
    const TRoomHandshakeScript& Script() const { return script_; }
    // For the extensions, before the server starts (ports they open go into the replies).
    TRoomHandshakeScript& MutableScript() { return script_; }
    // Connections whose handshake began.
    int Started() const { return started_.load(); }
    // The connection that passed the handshake last (0: none).
    int LastConnection() const { return lastConnection_.load(); }
    std::string LoginName() const;
    std::string LoginPassword() const;

    // The 1119-byte account the login and room-entry replies carry (of the last connection that
    // passed the handshake).
    std::string Account(int16_t room) const;
    static std::string AccountRecord(const TAccount& account, int16_t room);
    // The account of a connection that logged in (false when it did not).
    bool AccountOf(int connection, TAccount& out) const;

    // Hooks, set before the server starts; they run in the connection's thread.
    using LoginHook = std::function<void(TRoomServer&, TRoomConnection&, const TAccount&)>;
    // After a successful room entry has been answered; `previous` is the room left (0: none).
    using EnterHook = std::function<void(TRoomServer&, TRoomConnection&, int16_t previous)>;
    void OnLogin(LoginHook hook) { onLogin_ = std::move(hook); }
    void OnEnter(EnterHook hook) { onEnter_ = std::move(hook); }

    // Room entry (kind 75) of the listed rooms; extensions that add rooms hand the others on.
    void EnterRoom(TRoomServer& server, TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body);
    // Tells the enter hook of an entry that an extension answered itself (a breakout room).
    void Entered(TRoomServer& server, TRoomConnection& c, int16_t previous) {
        if (onEnter_) onEnter_(server, c, previous);
    }
    // The 1430-byte room record of a listed room, as the room-entry reply carries it.
    std::string RoomRecordOf(int32_t number, const std::string& name) const;

private:
    friend void InstallRoomHandshake(TRoomServer&, const std::shared_ptr<TRoomHandshake>&);
    bool Run(TRoomServer& server, TRoomConnection& c);
    void RoomList(TRoomServer& server, TRoomConnection& c);

    TRoomHandshakeScript script_;
    std::atomic<int> started_{0};
    std::atomic<int> lastConnection_{0};
    mutable std::mutex mu_;
    std::string loginName_, loginPassword_;
    int logins_ = 0;
    std::map<int, TAccount> accounts_;  // by connection
    LoginHook onLogin_;
    EnterHook onEnter_;
};

// Sets the server's handshake hook and the handlers of kinds 74 and 75.
void InstallRoomHandshake(TRoomServer& server, const std::shared_ptr<TRoomHandshake>& handshake);
inline std::shared_ptr<TRoomHandshake> InstallRoomHandshake(TRoomServer& server, TRoomHandshakeScript script = {}) {
    auto h = std::make_shared<TRoomHandshake>(std::move(script));
    InstallRoomHandshake(server, h);
    return h;
}

}  // namespace orb::test
