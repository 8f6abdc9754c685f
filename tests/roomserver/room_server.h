#pragma once
// The test room server: accepts room connections on a loopback port, runs an optional raw
// handshake on each (what comes before framing), then reads header-and-body messages, records
// them and hands each to the handler registered for its kind. Tests send to one client,
// broadcast to a room, and close clients. Extra listening ports (file transfer, voice, video)
// are added with AddPort, each connection served by its own function.
//
// Handlers and hooks run in the connection's own thread; the server's methods are thread-safe.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/tcp_client.h"
#include "net/tcp_listener.h"
#include "protocol/vcr_header.h"

namespace orb::test {

class TRoomServer;

// One accepted room connection.
struct TRoomConnection {
    int id = 0;
    TTcpClient socket;
    // The client's address and port ("127.0.0.1:40312"), set before the connection is served.
    std::string peer;
    // Who and where the client is, as the handshake or the tests set them; used by Broadcast.
    std::atomic<int32_t> userId{0};
    std::atomic<int16_t> room{0};
    // Free-form state for extensions (for example the handshake's stage), guarded by `mu`.
    std::mutex mu;
    std::map<std::string, std::string> tags;

    // Whole messages from several threads never interleave.
    bool Write(const void* bytes, size_t count);

private:
    friend class TRoomServer;
    std::mutex writeMu_;
    std::thread thread_;
};
using PRoomConnection = std::shared_ptr<TRoomConnection>;

struct TReceivedMessage {
    int connection = 0;
    TVCRHeader header;
    std::vector<uint8_t> body;
};

class TRoomServer {
public:
    using Handler = std::function<void(TRoomServer&, TRoomConnection&, const TVCRHeader&, std::span<const uint8_t> body)>;
    // Runs on the raw socket before framing starts; false closes the connection.
    using HandshakeHook = std::function<bool(TRoomServer&, TRoomConnection&)>;
    using ConnectionHook = std::function<void(TRoomServer&, TRoomConnection&)>;
    // Serves one connection of an extra port; returns when done (the socket is then closed).
    using PortHandler = std::function<void(TRoomServer&, TTcpClient&)>;

    TRoomServer();
    ~TRoomServer();
    TRoomServer(const TRoomServer&) = delete;
    TRoomServer& operator=(const TRoomServer&) = delete;

    // Listens on address:port (0 = a free port). Hooks and handlers should be set before.
    bool Start(const std::string& address = "127.0.0.1", uint16_t port = 0);
    uint16_t Port() const { return listener_.Port(); }
    std::string Address() const { return address_; }
    // Closes every connection and port and waits for their threads.
    void Stop();
    std::string LastError() const { return lastError_; }

    void SetHandshake(HandshakeHook hook);
    // Runs first on every accepted connection, before the handshake.
    void OnAccept(ConnectionHook hook);
    // Runs after a handshake that passed (or at once without one).
    void OnConnect(ConnectionHook hook);
    void OnDisconnect(ConnectionHook hook);
    void OnKind(uint16_t kind, Handler handler);
    // Called for kinds without a handler of their own.
    void OnOtherKinds(Handler handler);
    // Runs on every received message after it is recorded and before it is handled; false drops the
    // connection there, unanswered, as a lost network would.
    using Gate = std::function<bool(TRoomServer&, TRoomConnection&, const TVCRHeader&)>;
    void SetGate(Gate gate);

    // An extra listening port on the same address; returns the port (0 on failure).
    uint16_t AddPort(const std::string& name, PortHandler handler, uint16_t port = 0);
    uint16_t PortOf(const std::string& name) const;

    // ---- Sending
    // A message with a header built here (time = now, body length from the body).
    bool Send(int connection, uint16_t kind, std::span<const uint8_t> body = {}, int32_t sender = 0,
              int16_t room = 0, uint16_t result = 0);
    // A message with the caller's header as it stands (its body length is not corrected, so a
    // test can send lying lengths).
    bool SendHeader(int connection, const TVCRHeader& header, std::span<const uint8_t> body = {});
    bool SendRaw(int connection, std::span<const uint8_t> bytes);
    // The server's keep-alive (kind 100, header only), `count` of them in one write.
    bool SendKeepAlive(int connection, int count = 1);
    // Sends to every framed connection in the room except one; returns how many got it.
    int Broadcast(int16_t room, uint16_t kind, std::span<const uint8_t> body = {}, int32_t sender = 0,
                  int exceptConnection = -1, uint16_t result = 0);
    // Relays a received message unchanged to the other connections of the sender's room.
    int Relay(const TRoomConnection& from, const TVCRHeader& header, std::span<const uint8_t> body);

    // ---- What a whole room hears
    // Listeners of every message meant for a whole room (Broadcast, Relay, and what extensions
    // that address the room themselves pass to TellRoom), once per message, whoever is present.
    using RoomListener = std::function<void(int16_t room, const TVCRHeader&, std::span<const uint8_t> body)>;
    void OnRoomMessage(RoomListener listener);
    void TellRoom(int16_t room, const TVCRHeader& header, std::span<const uint8_t> body);

    // ---- Connections
    void CloseClient(int connection);
    PRoomConnection Connection(int id) const;
    std::vector<int> Connections() const;
    bool WaitForConnections(size_t count, int timeoutMs = 5000);

    // ---- What arrived
    std::vector<TReceivedMessage> Received() const;
    std::vector<TReceivedMessage> ReceivedOfKind(uint16_t kind) const;
    void ClearReceived();
    // What the server wrote to one connection (whole messages sent with Send, SendHeader,
    // Broadcast or Relay), in order.
    std::vector<TReceivedMessage> SentOfKind(int connection, uint16_t kind) const;
    bool WaitForKind(uint16_t kind, size_t count = 1, int timeoutMs = 5000);
    bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

private:
    void AcceptLoop();
    void Serve(PRoomConnection c);
    void Notify();

    TTcpListener listener_;
    std::string address_;
    std::string lastError_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mu_;
    std::condition_variable changed_;
    std::map<int, PRoomConnection> connections_;
    std::vector<PRoomConnection> finished_;
    int nextId_ = 1;
    std::vector<TReceivedMessage> received_;
    std::vector<TReceivedMessage> sent_;

    HandshakeHook handshake_;
    ConnectionHook onAccept_, onConnect_, onDisconnect_;
    std::map<uint16_t, Handler> handlers_;
    Handler otherKinds_;
    std::vector<RoomListener> roomListeners_;
    Gate gate_;

    struct ExtraPort {
        std::string name;
        std::unique_ptr<TTcpListener> listener;
        PortHandler handler;
        std::thread acceptThread;
        std::vector<std::thread> workers;
        std::vector<std::shared_ptr<TTcpClient>> sockets;
    };
    std::vector<std::unique_ptr<ExtraPort>> ports_;
};

}  // namespace orb::test
