#pragma once
// A room server for the session tests, on loopback: the version check (with update offers), the
// login, the start-up information, then framed traffic with the room list, room entry, heartbeats
// (counted), the bandwidth message and kind 100 sent on request.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/tcp_client.h"
#include "net/tcp_listener.h"

namespace orbtest {

struct HandshakeScript {
    // Version: 0 accepts; non-zero offers an update (offer record, i32 size, installer bytes).
    uint16_t versionResult = 0;
    std::string offerVersion = "6.3";
    std::string installer;        // empty: the offer announces size 0
    bool closeAfterVersion = false;  // the exchange breaks: the server hangs up

    // Login: 0 accepts and sends the account; otherwise the refusal code.
    uint16_t loginResult = 0;
    int32_t userId = 501;
    std::string fullName = "Ana Lima";
    int32_t level = 1000;
    bool shortLoginReply = false;  // a success whose body lacks the account

    // Start-up information: an optional file in the program folder and a welcome text.
    std::string startupFileName;
    std::string startupFile;
    std::string welcome = "Welcome to the test server";

    // Rooms listed; entering one of refusedRooms answers with its code; a room not listed: 18.
    std::vector<std::pair<int32_t, std::string>> rooms = {{1002, "Main hall"}, {1003, "Lab"}};
    std::map<int32_t, uint16_t> refusedRooms;
    bool shortEnterReply = false;
    int32_t voicePort = 9911;
    int32_t fileTransferPort = 9912;
};

class HandshakeServer {
public:
    explicit HandshakeServer(HandshakeScript script = {});
    ~HandshakeServer();
    uint16_t port() const { return listener_.Port(); }

    int Connections() const { return connections_.load(); }
    int HeartBeats() const { return heartBeats_.load(); }
    std::string LoginName() const;
    std::string LoginPassword() const;
    // Kinds of the framed messages received, in order.
    std::vector<uint16_t> Kinds() const;
    // The last bandwidth message: connection speed and send limit.
    std::pair<int32_t, int32_t> Bandwidth() const;
    int32_t TimeZoneBias() const;
    // Waits (real time, bounded) until pred holds.
    bool WaitFor(const std::function<bool()>& pred, int limitMs = 5000) const;

    // Sends kind 100 to the connected client.
    void SendKeepAlive();
    // Ends the client's connection.
    void DropClient();

private:
    void Serve(int fd);
    bool Handshake(orb::TTcpClient& c);
    void Framed(orb::TTcpClient& c);
    bool Send(orb::TTcpClient& c, uint16_t kind, uint16_t result, const std::string& body);

    HandshakeScript script_;
    orb::TTcpListener listener_;
    std::thread acceptThread_;
    std::vector<std::thread> clients_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> heartBeats_{0};
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::string loginName_, loginPassword_;
    std::vector<uint16_t> kinds_;
    std::pair<int32_t, int32_t> bandwidth_{0, 0};
    int32_t timeZoneBias_ = 0;
    std::shared_ptr<orb::TTcpClient> current_;
    std::mutex sendMu_;
};

}  // namespace orbtest
