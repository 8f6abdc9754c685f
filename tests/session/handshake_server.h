#pragma once
// The test room server with the room handshake, as the session tests use it: started on a free
// loopback port, with the heartbeats, bandwidth and time-zone messages it received at hand.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"

namespace orbtest {

using HandshakeScript = orb::test::TRoomHandshakeScript;

class HandshakeServer {
public:
    explicit HandshakeServer(HandshakeScript script = {});
    ~HandshakeServer();
    uint16_t port() const { return server_.Port(); }

    // Connections whose handshake began.
    int Connections() const { return handshake_->Started(); }
    int HeartBeats() const;
    std::string LoginName() const { return handshake_->LoginName(); }
    std::string LoginPassword() const { return handshake_->LoginPassword(); }
    // Kinds of the framed messages received, in order.
    std::vector<uint16_t> Kinds() const;
    // The body of the last message of a kind (empty when none came).
    std::string LastBody(uint16_t kind) const;
    // The last bandwidth message: connection speed and send limit.
    std::pair<int32_t, int32_t> Bandwidth() const;
    bool WaitFor(const std::function<bool()>& pred, int limitMs = 5000);

    // Sends kind 100 to the client that passed the handshake last.
    void SendKeepAlive();

private:
    orb::test::TRoomServer server_;
    std::shared_ptr<orb::test::TRoomHandshake> handshake_;
};

}  // namespace orbtest
