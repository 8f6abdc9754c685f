#include "session/tcp_channel.h"

namespace orb {

bool ConnectThroughProxy(TTcpClient& client, const TProxyHandler* handler, const std::string& host, uint16_t port,
                         int timeoutMs, std::string& error) {
    if (!handler || !handler->ConnectsToProxy()) {
        if (client.Connect(host, port, timeoutMs)) return true;
        error = client.LastError();
        return false;
    }
    const TSocksInfo& proxy = handler->socksInfo;
    if (!client.Connect(proxy.host, proxy.port, timeoutMs)) {
        error = client.LastError();
        return false;
    }
    // A proxy that accepts and then says nothing must not hold the caller for ever.
    int previous = client.ReadTimeout();
    client.SetReadTimeout(timeoutMs);
    TTcpChannel channel(client);
    bool ok = handler->Negotiate(channel, host, port, error);
    client.SetReadTimeout(previous);
    if (!ok) client.Disconnect();
    return ok;
}

}  // namespace orb
