#include <gtest/gtest.h>

#include <cstring>

#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "roomserver/room_server.h"

using namespace orb;
using orb::test::TRoomConnection;
using orb::test::TRoomServer;

namespace {

bool ReadMessage(TTcpClient& c, TVCRHeader& h, std::vector<uint8_t>& stream) {
    return ReadVCRMessage([&](void* b, size_t n) { return c.ReadExact(b, n); }, h, stream) == TReadResult::Message;
}

bool SendMessage(TTcpClient& c, uint16_t kind, std::vector<uint8_t> body = {}) {
    TVCRHeader h;
    InitVCRHeader(kind, 1, 0, h);
    h.bodyLength = int32_t(body.size());
    auto bytes = BuildPacketStream(h, body.data(), body.size());
    return c.WriteAll(bytes.data(), bytes.size());
}

}  // namespace

TEST(RoomServer, HandshakeThenFramedMessagesHandlersAndRecord) {
    TRoomServer server;
    server.SetHandshake([](TRoomServer&, TRoomConnection& c) {
        char hello[5];
        if (!c.socket.ReadExact(hello, 5) || std::memcmp(hello, "HELLO", 5) != 0) return false;
        c.userId = 42;
        c.room = 7;
        return c.Write("OK", 2);
    });
    server.OnKind(vkHeartBeat, [](TRoomServer& s, TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        s.Send(c.id, vkKeepAlive, {}, 0, c.room);
    });
    ASSERT_TRUE(server.Start());
    ASSERT_NE(server.Port(), 0);

    TTcpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), 2000));
    ASSERT_TRUE(client.WriteAll("HELLO", 5));
    char ok[2];
    ASSERT_TRUE(client.ReadExact(ok, 2));
    ASSERT_TRUE(SendMessage(client, vkTextMessage, {1, 2, 3}));
    ASSERT_TRUE(SendMessage(client, vkHeartBeat));
    TVCRHeader h;
    std::vector<uint8_t> stream;
    ASSERT_TRUE(ReadMessage(client, h, stream));
    EXPECT_EQ(h.kind, vkKeepAlive);
    EXPECT_EQ(h.room, 7);
    ASSERT_TRUE(server.WaitForKind(vkHeartBeat));
    auto text = server.ReceivedOfKind(vkTextMessage);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].body, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(server.Connection(text[0].connection)->userId, 42);

    // A failed handshake closes the connection before any framing.
    TTcpClient bad;
    ASSERT_TRUE(bad.Connect("127.0.0.1", server.Port(), 2000));
    ASSERT_TRUE(bad.WriteAll("HOLA!", 5));
    char b;
    EXPECT_FALSE(bad.ReadExact(&b, 1));
}

TEST(RoomServer, BroadcastRelayAndClose) {
    TRoomServer server;
    server.OnConnect([](TRoomServer&, TRoomConnection& c) { c.room = int16_t(c.id <= 2 ? 5 : 6); });
    server.OnOtherKinds([](TRoomServer& s, TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        s.Relay(c, h, body);
    });
    ASSERT_TRUE(server.Start("::1"));
    TTcpClient a, b, other;
    ASSERT_TRUE(a.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(1));
    ASSERT_TRUE(b.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(2));
    ASSERT_TRUE(other.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(3));
    // Rooms are set by the connect hook in each connection's thread: wait for all three.
    ASSERT_TRUE(server.WaitUntil([&] {
        int set = 0;
        for (int id : server.Connections()) {
            auto c = server.Connection(id);
            set += c && c->room != 0;
        }
        return set == 3;
    }));
    for (auto* c : {&a, &b}) c->SetReadTimeout(5000);

    EXPECT_EQ(server.Broadcast(5, vkClearMotions), 2);
    TVCRHeader h;
    std::vector<uint8_t> s;
    ASSERT_TRUE(ReadMessage(a, h, s));
    EXPECT_EQ(h.kind, vkClearMotions);
    ASSERT_TRUE(ReadMessage(b, h, s));

    ASSERT_TRUE(SendMessage(a, vkBoardStrokes, std::vector<uint8_t>(24, 9)));
    ASSERT_TRUE(ReadMessage(b, h, s));  // relayed to the room's other member only
    EXPECT_EQ(h.kind, vkBoardStrokes);
    EXPECT_EQ(s.size(), 22u + 24);

    other.SetReadTimeout(50);
    char x;
    EXPECT_FALSE(other.ReadExact(&x, 1));  // another room heard nothing

    server.CloseClient(1);
    EXPECT_FALSE(a.ReadExact(&x, 1));
    ASSERT_TRUE(server.WaitUntil([&] { return server.Connections().size() == 2; }));
}

TEST(RoomServer, ExtraPortsServeTheirOwnConnections) {
    TRoomServer server;
    ASSERT_TRUE(server.Start());
    uint16_t port = server.AddPort("echo", [](TRoomServer&, TTcpClient& c) {
        char buf[4];
        if (c.ReadExact(buf, 4)) c.WriteAll(buf, 4);
    });
    ASSERT_NE(port, 0);
    EXPECT_EQ(server.PortOf("echo"), port);
    TTcpClient c;
    ASSERT_TRUE(c.Connect("127.0.0.1", port, 2000));
    ASSERT_TRUE(c.WriteAll("ping", 4));
    char got[4];
    ASSERT_TRUE(c.ReadExact(got, 4));
    EXPECT_EQ(0, std::memcmp(got, "ping", 4));
    server.Stop();  // with a client still connected to the room port's neighbour
}
