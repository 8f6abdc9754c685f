#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "renderer.h"

namespace pagorix {

bool SendPrintNotice(const orb::TPrintNotice& notice, const std::string& host, int port) {
    if (port <= 0 || port > 65535 || host.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
    std::vector<uint8_t> bytes = orb::EncodePrintNotice(notice);
    bool sent = false;
    for (addrinfo* ai = res; ai && !sent; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        ssize_t n = sendto(fd, bytes.data(), bytes.size(), 0, ai->ai_addr, ai->ai_addrlen);
        sent = n == ssize_t(bytes.size());
        close(fd);
    }
    freeaddrinfo(res);
    return sent;
}

}  // namespace pagorix
