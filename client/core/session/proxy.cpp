#include "session/proxy.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <array>
#include <cctype>
#include <cstring>

namespace orb {

namespace {

// The proxy reply head is read byte by byte; a head longer than this is not an HTTP reply.
constexpr size_t kMaxHttpReplyHead = 16384;

bool ResolveIPv4(const std::string& host, uint8_t out[4]) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) {
        std::memcpy(out, &a, 4);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    std::memcpy(out, &reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr, 4);
    freeaddrinfo(res);
    return true;
}

const char* Socks4Refusal(uint8_t code) {
    switch (code) {
    case 91: return "SOCKS4 request rejected or failed";
    case 92: return "SOCKS4 request rejected: no identd on the client";
    case 93: return "SOCKS4 request rejected: user id not confirmed";
    default: return "SOCKS4 request rejected";
    }
}

const char* Socks5Refusal(uint8_t code) {
    switch (code) {
    case 1: return "SOCKS5 general server failure";
    case 2: return "SOCKS5 connection not allowed by ruleset";
    case 3: return "SOCKS5 network unreachable";
    case 4: return "SOCKS5 host unreachable";
    case 5: return "SOCKS5 connection refused";
    case 6: return "SOCKS5 TTL expired";
    case 7: return "SOCKS5 command not supported";
    case 8: return "SOCKS5 address type not supported";
    default: return "SOCKS5 request failed";
    }
}

}  // namespace

std::unique_ptr<TProxyHandler> MakeProxyHandler(const TProxySettings& s) {
    if (!s.enabled) return nullptr;
    std::unique_ptr<TProxyHandler> h;
    if (s.type > 3) h = std::make_unique<THttpProxyIOHandler>();
    else h = std::make_unique<TProxyHandler>();
    TSocksInfo& i = h->socksInfo;
    i.authentication = s.authentication ? TSocksAuthentication::UsernamePassword : TSocksAuthentication::None;
    i.host = s.host;
    i.port = static_cast<uint16_t>(s.port > 0 && s.port <= 65535 ? s.port : 1080);
    i.userName = s.userName;
    i.password = s.password;
    i.version = (s.type >= 1 && s.type <= 3) ? static_cast<TSocksVersion>(s.type) : TSocksVersion::NoSocks;
    return h;
}

bool THttpProxyIOHandler::ConnectClient(IByteChannel& ch, const std::string& host, uint16_t port,
                                        std::string& error) const {
    return HttpProxyConnect(ch, socksInfo, host, port, error);
}

bool TProxyHandler::Negotiate(IByteChannel& ch, const std::string& host, uint16_t port, std::string& error) const {
    switch (socksInfo.version) {
    case TSocksVersion::Socks4: return NegotiateSocks4(ch, socksInfo, host, port, false, error);
    case TSocksVersion::Socks4A: return NegotiateSocks4(ch, socksInfo, host, port, true, error);
    case TSocksVersion::Socks5: return NegotiateSocks5(ch, socksInfo, host, port, error);
    case TSocksVersion::NoSocks: return true;
    }
    return true;
}

bool NegotiateSocks4(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port, bool socks4a,
                     std::string& error) {
    std::vector<uint8_t> req = {4, 1, uint8_t(port >> 8), uint8_t(port)};
    uint8_t ip[4];
    bool literal = false;
    {
        in_addr a{};
        literal = inet_pton(AF_INET, host.c_str(), &a) == 1;
    }
    if (socks4a && !literal) {
        // 0.0.0.x (x non-zero): the proxy resolves the name that follows the user id.
        ip[0] = ip[1] = ip[2] = 0;
        ip[3] = 1;
    } else if (!ResolveIPv4(host, ip)) {
        error = "SOCKS4: cannot resolve " + host;
        return false;
    }
    req.insert(req.end(), ip, ip + 4);
    if (info.authentication == TSocksAuthentication::UsernamePassword)
        req.insert(req.end(), info.userName.begin(), info.userName.end());
    req.push_back(0);
    if (socks4a && !literal) {
        req.insert(req.end(), host.begin(), host.end());
        req.push_back(0);
    }
    if (!ch.WriteAll(req.data(), req.size())) {
        error = "SOCKS4 send error";
        return false;
    }
    uint8_t rep[8];
    if (!ch.ReadExact(rep, sizeof rep)) {
        error = "SOCKS4 recv error";
        return false;
    }
    if (rep[1] != 90) {
        error = Socks4Refusal(rep[1]);
        return false;
    }
    return true;
}

bool NegotiateSocks5(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port,
                     std::string& error) {
    bool auth = info.authentication == TSocksAuthentication::UsernamePassword;
    std::vector<uint8_t> hello = auth ? std::vector<uint8_t>{5, 2, 0, 2} : std::vector<uint8_t>{5, 1, 0};
    uint8_t choice[2];
    if (!ch.WriteAll(hello.data(), hello.size()) || !ch.ReadExact(choice, 2)) {
        error = "SOCKS5 greeting failed";
        return false;
    }
    if (choice[0] != 5) {
        error = "SOCKS5: not a SOCKS5 proxy";
        return false;
    }
    if (choice[1] == 2 && auth) {
        if (info.userName.size() > 255 || info.password.size() > 255) {
            error = "SOCKS5: user name or password too long";
            return false;
        }
        std::vector<uint8_t> up = {1, uint8_t(info.userName.size())};
        up.insert(up.end(), info.userName.begin(), info.userName.end());
        up.push_back(uint8_t(info.password.size()));
        up.insert(up.end(), info.password.begin(), info.password.end());
        uint8_t st[2];
        if (!ch.WriteAll(up.data(), up.size()) || !ch.ReadExact(st, 2)) {
            error = "SOCKS5 authentication exchange failed";
            return false;
        }
        if (st[1] != 0) {
            error = "SOCKS5 authentication failed";
            return false;
        }
    } else if (choice[1] != 0) {
        error = "SOCKS5: no acceptable authentication method";
        return false;
    }
    // Written into a buffer of the largest request's size (a 255-byte name), field by field.
    std::array<uint8_t, 4 + 1 + 255 + 2> req{5, 1, 0};
    size_t len = 3;
    auto put = [&](const void* bytes, size_t n) {
        std::memcpy(req.data() + len, bytes, n);
        len += n;
    };
    in_addr a4{};
    in6_addr a6{};
    if (inet_pton(AF_INET, host.c_str(), &a4) == 1) {
        req[len++] = 1;
        put(&a4, 4);
    } else if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) {
        req[len++] = 4;
        put(&a6, 16);
    } else {
        if (host.empty() || host.size() > 255) {
            error = "SOCKS5: bad host name";
            return false;
        }
        req[len++] = 3;
        req[len++] = uint8_t(host.size());
        put(host.data(), host.size());
    }
    req[len++] = uint8_t(port >> 8);
    req[len++] = uint8_t(port);
    uint8_t head[4];
    if (!ch.WriteAll(req.data(), len) || !ch.ReadExact(head, 4)) {
        error = "SOCKS5 request failed";
        return false;
    }
    if (head[0] != 5 || head[1] != 0) {
        error = head[0] != 5 ? "SOCKS5: bad reply" : Socks5Refusal(head[1]);
        return false;
    }
    // The bound address that follows is consumed exactly, so the tunnel starts at the right byte.
    size_t rest = 0;
    if (head[3] == 1) {
        rest = 4 + 2;
    } else if (head[3] == 4) {
        rest = 16 + 2;
    } else if (head[3] == 3) {
        uint8_t len;
        if (!ch.ReadExact(&len, 1)) {
            error = "SOCKS5 request failed";
            return false;
        }
        rest = size_t(len) + 2;
    } else {
        error = "SOCKS5: bad reply";
        return false;
    }
    uint8_t skip[258];
    if (!ch.ReadExact(skip, rest)) {
        error = "SOCKS5 request failed";
        return false;
    }
    return true;
}

std::string Base64Encode(const std::string& in) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += t[v >> 18];
        out += t[(v >> 12) & 63];
        out += t[(v >> 6) & 63];
        out += t[v & 63];
    }
    if (i + 1 == in.size()) {
        uint32_t v = uint8_t(in[i]) << 16;
        out += t[v >> 18];
        out += t[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += t[v >> 18];
        out += t[(v >> 12) & 63];
        out += t[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string BuildHttpConnectRequest(const TSocksInfo& info, const std::string& host, uint16_t port) {
    std::string target = host + ":" + std::to_string(port);
    std::string req = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (info.authentication == TSocksAuthentication::UsernamePassword)
        req += "Proxy-Authorization: Basic " + Base64Encode(info.userName + ":" + info.password) + "\r\n";
    req += "\r\n";
    return req;
}

bool HttpProxyConnect(IByteChannel& ch, const TSocksInfo& info, const std::string& host, uint16_t port,
                      std::string& error) {
    std::string req = BuildHttpConnectRequest(info, host, port);
    if (!ch.WriteAll(req.data(), req.size())) {
        error = "HTTP proxy send error";
        return false;
    }
    // Lines end with LF or CR LF; the head ends at the first empty line.
    std::string statusLine, line;
    bool first = true;
    size_t total = 0;
    while (true) {
        char c;
        if (!ch.ReadExact(&c, 1)) {
            error = "HTTP proxy recv error";
            return false;
        }
        if (++total > kMaxHttpReplyHead) {
            error = "HTTP proxy recv error";
            return false;
        }
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        if (first) statusLine = line;
        first = false;
        line.clear();
    }
    // "HTTP/1.x NNN reason": anything but 2xx refuses the tunnel.
    auto sp = statusLine.find(' ');
    bool ok = statusLine.rfind("HTTP/", 0) == 0 && sp != std::string::npos && sp + 3 < statusLine.size() &&
              statusLine[sp + 1] == '2' && std::isdigit(uint8_t(statusLine[sp + 2])) &&
              std::isdigit(uint8_t(statusLine[sp + 3]));
    if (!ok) {
        error = "HTTP proxy refused the tunnel: " + statusLine.substr(0, 200);
        return false;
    }
    return true;
}

}  // namespace orb
