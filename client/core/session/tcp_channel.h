#pragma once
// The byte channel of a TCP client, for the proxy negotiations and the handshake exchanges.

#include "net/tcp_client.h"
#include "session/proxy.h"

namespace orb {

class TTcpChannel final : public IByteChannel {
public:
    explicit TTcpChannel(TTcpClient& client) : client_(client) {}
    bool WriteAll(const void* data, size_t count) override { return client_.WriteAll(data, count); }
    bool ReadExact(void* data, size_t count) override { return client_.ReadExact(data, count); }

private:
    TTcpClient& client_;
};

// Connects client to host:port, through the proxy of handler when it has one: the socket goes to
// the proxy, which is then asked for the target. The negotiation gets the same time-out as the
// connect. False with error set on any failure; the client is then disconnected.
bool ConnectThroughProxy(TTcpClient& client, const TProxyHandler* handler, const std::string& host, uint16_t port,
                         int timeoutMs, std::string& error);

}  // namespace orb
