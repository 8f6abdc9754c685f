#include "handshake_server.h"

#include "protocol/message_kinds.h"
#include "wire/bytes.h"

namespace orbtest {

HandshakeServer::HandshakeServer(HandshakeScript script)
    : handshake_(orb::test::InstallRoomHandshake(server_, std::move(script))) {
    server_.Start("127.0.0.1", 0);
}

HandshakeServer::~HandshakeServer() { server_.Stop(); }

int HandshakeServer::HeartBeats() const { return int(server_.ReceivedOfKind(vkHeartBeat).size()); }

std::vector<uint16_t> HandshakeServer::Kinds() const {
    std::vector<uint16_t> kinds;
    for (auto& m : server_.Received()) kinds.push_back(m.header.kind);
    return kinds;
}

std::string HandshakeServer::LastBody(uint16_t kind) const {
    auto got = server_.ReceivedOfKind(kind);
    if (got.empty()) return {};
    return std::string(got.back().body.begin(), got.back().body.end());
}

std::pair<int32_t, int32_t> HandshakeServer::Bandwidth() const {
    auto got = server_.ReceivedOfKind(vkBandwidth);
    if (got.empty()) return {0, 0};
    orb::ByteReader r(got.back().body);
    int32_t speed = 0, limit = 0;
    r.i32(speed);
    r.i32(limit);
    return {speed, limit};
}

bool HandshakeServer::WaitFor(const std::function<bool()>& pred, int limitMs) {
    return server_.WaitUntil(pred, limitMs);
}

void HandshakeServer::SendKeepAlive() {
    if (int id = handshake_->LastConnection()) server_.Send(id, vkKeepAlive);
}

}  // namespace orbtest
