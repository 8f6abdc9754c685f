#pragma once
// A connected pair of sockets over loopback for tests: the client side and the accepted side.

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "net/tcp_client.h"
#include "net/tcp_listener.h"
#include "protocol/vcr_header.h"

struct LoopbackPair {
    orb::TTcpListener listener;
    orb::TTcpClient client;
    orb::TTcpClient server;
    int serverFd = -1;

    bool Open(const std::string& address = "127.0.0.1") { return Open(client, address); }

    // The same with a client owned elsewhere, such as the data module's room connection.
    bool Open(orb::TTcpClient& to, const std::string& address = "127.0.0.1") {
        if (!listener.Listen(address, 0)) return false;
        if (!to.Connect(address, listener.Port(), 2000)) return false;
        serverFd = listener.Accept(2000);
        if (serverFd < 0) return false;
        server.Adopt(serverFd);
        server.SetReadTimeout(10000);  // a missing write fails the test instead of hanging it
        return true;
    }

    // The next message the server side receives (a default header when none arrives).
    std::pair<TVCRHeader, std::vector<uint8_t>> Receive() {
        uint8_t head[22];
        TVCRHeader h;
        std::vector<uint8_t> body;
        if (!server.ReadExact(head, 22) || !TVCRHeader::Decode(head, h)) return {h, body};
        body.resize(size_t(h.bodyLength));
        if (!body.empty()) server.ReadExact(body.data(), body.size());
        return {h, body};
    }

    // Resets the connection from the server side (RST), so the client's next writes fail.
    void ResetFromServer() {
        linger l{1, 0};
        setsockopt(serverFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        server.Disconnect();
    }
};
