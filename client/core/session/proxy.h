#pragma once
// Proxies in front of every connection of the client: SOCKS 4, 4A and 5 (optionally with user name
// and password) and the HTTP CONNECT tunnel (optionally with Basic authentication). The socket
// first connects to the proxy; the negotiation below then runs over that socket, and after it
// the socket carries the connection to the target.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orb {

// The raw byte access a negotiation needs (the TCP client provides it).
class IByteChannel {
public:
    virtual ~IByteChannel() = default;
    virtual bool WriteAll(const void* data, size_t count) = 0;
    virtual bool ReadExact(void* data, size_t count) = 0;
};

// Proxy settings as stored with the client's settings.
struct TProxySettings {
    bool enabled = false;
    int type = 0;  // 0 none, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5, above 3 HTTP tunnel
    std::string host;
    int port = 1080;
    bool authentication = false;
    std::string userName;
    std::string password;
};

enum class TSocksAuthentication { None, UsernamePassword };
enum class TSocksVersion { NoSocks = 0, Socks4 = 1, Socks4A = 2, Socks5 = 3 };

// The proxy parameters a connection's handler keeps.
struct TSocksInfo {
    TSocksAuthentication authentication = TSocksAuthentication::None;
    std::string host;
    uint16_t port = 1080;
    std::string userName;
    std::string password;
    TSocksVersion version = TSocksVersion::NoSocks;
};

// The handler a connection connects through once one is attached: a plain socket handler whose
// SOCKS information decides the negotiation (version 0 connects directly).
class TProxyHandler {
public:
    virtual ~TProxyHandler() = default;
    TSocksInfo socksInfo;

    virtual bool IsHttpTunnel() const { return false; }
    // Where the socket itself connects: the proxy, or the target for SOCKS version 0.
    virtual bool ConnectsToProxy() const { return socksInfo.version != TSocksVersion::NoSocks; }
    // Runs the negotiation for target host:port on a socket connected to the proxy. False with
    // error set when the proxy refuses or the exchange breaks.
    virtual bool Negotiate(IByteChannel& channel, const std::string& host, uint16_t port, std::string& error) const;
};

// The handler whose connect step opens an HTTP CONNECT tunnel through the proxy.
class THttpProxyIOHandler final : public TProxyHandler {
public:
    bool IsHttpTunnel() const override { return true; }
    bool ConnectsToProxy() const override { return true; }
    bool Negotiate(IByteChannel& channel, const std::string& host, uint16_t port, std::string& error) const override {
        return ConnectClient(channel, host, port, error);
    }
    // The overridden connect step, run on the socket once it is connected to the proxy.
    bool ConnectClient(IByteChannel& channel, const std::string& host, uint16_t port, std::string& error) const;
};

// The handler for the settings: none when the proxy is off; an HTTP tunnel for types above 3;
// otherwise a plain handler whose SOCKS version is the type (0 connects directly).
std::unique_ptr<TProxyHandler> MakeProxyHandler(const TProxySettings& settings);

bool NegotiateSocks4(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port, bool socks4a,
                     std::string& error);
bool NegotiateSocks5(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port,
                     std::string& error);

// "CONNECT host:port HTTP/1.1\r\nHost: host:port\r\n" [+ Basic authorization] "\r\n".
std::string BuildHttpConnectRequest(const TSocksInfo& info, const std::string& host, uint16_t port);
// Sends the request and reads the reply head up to its empty line. A status other than 2xx refuses
// the tunnel.
bool HttpProxyConnect(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port,
                      std::string& error);

std::string Base64Encode(const std::string& bytes);

}  // namespace orb
