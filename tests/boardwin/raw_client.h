#pragma once
// A member of the test room server's room made by hand: signs in, enters a room, sends and reads
// messages on the room connection.
#include <cstring>
#include <string>
#include <vector>

#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

namespace orb::board::test {

struct RawClient {
    TTcpClient s;
    int32_t id = 0;
    bool SignIn(uint16_t port, const std::string& name) {
        if (!s.Connect("127.0.0.1", port, 2000)) return false;
        s.SetReadTimeout(5000);
        uint8_t version[32] = {}, login[106] = {}, head[22];
        login[55] = uint8_t(name.size());
        std::memcpy(login + 56, name.data(), name.size());
        TVCRHeader h;
        std::vector<uint8_t> m;
        if (!s.WriteAll(version, 32) || !s.ReadExact(head, 22) || !s.WriteAll(login, 106) || !Read(h, m)) return false;
        id = int32_t(LoadU32(m.data() + 22));
        std::vector<uint8_t> startup(519);
        return Send(vkStartupInfo) && s.ReadExact(head, 22) && s.ReadExact(startup.data(), 519);
    }
    bool Read(TVCRHeader& h, std::vector<uint8_t>& stream) {
        return ReadVCRMessage([&](void* b, size_t n) { return s.ReadExact(b, n); }, h, stream) == TReadResult::Message;
    }
    bool Send(uint16_t kind, std::vector<uint8_t> body = {}, int16_t room = 0) {
        TVCRHeader h;
        InitVCRHeader(kind, id, room, h);
        h.bodyLength = int32_t(body.size());
        auto bytes = BuildPacketStream(h, body.data(), body.size());
        return s.WriteAll(bytes.data(), bytes.size());
    }
    bool Next(uint16_t kind, TVCRHeader& h, std::vector<uint8_t>& body) {
        std::vector<uint8_t> m;
        while (Read(h, m))
            if (h.kind == kind) {
                body.assign(m.begin() + 22, m.end());
                return true;
            }
        return false;
    }
    bool Enter(int16_t room) {
        std::vector<uint8_t> r(4);
        StoreU32(r.data(), uint32_t(room));
        TVCRHeader h;
        std::vector<uint8_t> body;
        return Send(vkEnterRoom, r, room) && Next(vkEnterRoom, h, body) && h.result == 0;
    }
};

}  // namespace orb::board::test
