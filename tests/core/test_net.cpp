#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "net/tcp_client.h"
#include "net/tcp_listener.h"

using orb::TTcpClient;
using orb::TTcpListener;

namespace {

// A connected pair over loopback: the client side and the server side's accepted socket.
struct Pair {
    TTcpListener listener;
    TTcpClient client;
    TTcpClient server;

    bool Open(const std::string& address) {
        if (!listener.Listen(address, 0)) return false;
        if (!client.Connect(address, listener.Port(), 2000)) return false;
        int fd = listener.Accept(2000);
        if (fd < 0) return false;
        server.Adopt(fd);
        return true;
    }
};

}  // namespace

TEST(TcpClient, ExactReadsAndWritesOverIpv4AndIpv6Loopback) {
    for (const char* address : {"127.0.0.1", "::1"}) {
        Pair p;
        ASSERT_TRUE(p.Open(address)) << address << ": " << p.client.LastError() << p.listener.LastError();
        EXPECT_TRUE(p.client.Connected());
        EXPECT_NE(p.client.LocalPort(), 0);
        std::vector<uint8_t> big(1 << 20);
        for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
        std::thread writer([&] { EXPECT_TRUE(p.client.WriteAll(big.data(), big.size())); });
        std::vector<uint8_t> got(big.size());
        ASSERT_TRUE(p.server.ReadExact(got.data(), got.size()));
        writer.join();
        EXPECT_EQ(got, big);

        // The peer closing in the middle of an exact read is a failure, not a short success.
        ASSERT_TRUE(p.server.WriteAll("abc", 3));
        p.server.Disconnect();
        char buf[8];
        EXPECT_FALSE(p.client.ReadExact(buf, 8));
        EXPECT_FALSE(p.client.LastError().empty());
    }
}

TEST(TcpClient, NamesResolveAndRefusalsAreReported) {
    TTcpClient c;
    {
        TTcpListener l;
        ASSERT_TRUE(l.Listen("127.0.0.1", 0));
        ASSERT_TRUE(c.Connect("localhost", l.Port(), 2000)) << c.LastError();
        EXPECT_EQ(c.Port(), l.Port());
        EXPECT_EQ(c.Host(), "localhost");
        c.Disconnect();
        EXPECT_FALSE(c.Connected());
    }
    uint16_t port = 0;
    {
        TTcpListener gone;  // a port that nobody listens on once this closes
        ASSERT_TRUE(gone.Listen("127.0.0.1", 0));
        port = gone.Port();
    }
    EXPECT_FALSE(c.Connect("127.0.0.1", port, 2000));
    EXPECT_NE(c.LastError().find("Cannot connect"), std::string::npos) << c.LastError();
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.WriteAll("x", 1));
}

TEST(TcpClient, ShutdownFromAnotherThreadWakesABlockedRead) {
    Pair p;
    ASSERT_TRUE(p.Open("127.0.0.1"));
    std::atomic<bool> returned{false};
    bool ok = true;
    std::thread reader([&] {
        char b[22];
        ok = p.client.ReadExact(b, sizeof b);
        returned = true;
    });
    // Give the reader a moment to block; the assertion below does not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    p.client.Shutdown();
    reader.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(p.client.Connected());

    // Disconnect while a read is blocked: the socket closes once the read has left it.
    Pair q;
    ASSERT_TRUE(q.Open("127.0.0.1"));
    std::thread reader2([&] {
        char b[4];
        ok = q.client.ReadExact(b, sizeof b);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    q.client.Disconnect();
    reader2.join();
    EXPECT_FALSE(ok);
}

TEST(TcpClient, ReadTimeout) {
    Pair p;
    ASSERT_TRUE(p.Open("127.0.0.1"));
    p.client.SetReadTimeout(30);
    char b[4];
    EXPECT_FALSE(p.client.ReadExact(b, 4));
    EXPECT_NE(p.client.LastError().find("timed out"), std::string::npos);
    p.client.SetReadTimeout(0);
    ASSERT_TRUE(p.server.WriteAll("wxyz", 4));
    EXPECT_TRUE(p.client.ReadExact(b, 4));
    EXPECT_EQ(0, memcmp(b, "wxyz", 4));
}

TEST(TcpClient, RawNegotiationThenFramedTrafficOnTheSameSocket) {
    // As a proxy handshake does: raw request, a reply read piecewise, then the stream continues.
    Pair p;
    ASSERT_TRUE(p.Open("127.0.0.1"));
    std::thread proxy([&] {
        char req[5];
        ASSERT_TRUE(p.server.ReadExact(req, 5));
        std::string reply = "HTTP/1.1 200 OK\r\n\r\n";
        reply += std::string("\x01\x02", 2);  // first framed bytes right behind the reply
        ASSERT_TRUE(p.server.WriteAll(reply.data(), reply.size()));
    });
    ASSERT_TRUE(p.client.WriteAll("HELLO", 5));
    std::string head;
    char c;
    while (head.size() < 4 || head.substr(head.size() - 4) != "\r\n\r\n") {
        ASSERT_EQ(p.client.ReadSome(&c, 1), 1);
        head += c;
    }
    uint8_t framed[2];
    ASSERT_TRUE(p.client.ReadExact(framed, 2));
    EXPECT_EQ(framed[0], 1);
    EXPECT_EQ(framed[1], 2);
    proxy.join();
}

TEST(TcpListener, CloseWakesAccept) {
    TTcpListener l;
    ASSERT_TRUE(l.Listen("127.0.0.1", 0));
    int got = 0;
    std::thread t([&] { got = l.Accept(-1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    l.Close();
    t.join();
    EXPECT_EQ(got, -1);
    EXPECT_FALSE(TTcpListener().Listen("not-an-address", 0));
}
