#include "net/tcp_listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orb {

TTcpListener::~TTcpListener() {
    Close();
    if (fd_ >= 0) close(fd_);
    if (wakeRead_ >= 0) close(wakeRead_);
    if (wakeWrite_ >= 0) close(wakeWrite_);
}

bool TTcpListener::Listen(const std::string& address, uint16_t port, int backlog) {
    sockaddr_storage ss{};
    socklen_t len = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        len = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        len = sizeof *v6;
    } else {
        lastError_ = "Not a numeric address: " + address;
        return false;
    }
    int fd = socket(ss.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || listen(fd, backlog) != 0) {
        lastError_ = "Cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t blen = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &blen);
    port_ = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                             : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC | O_NONBLOCK) != 0) {
        lastError_ = std::string("pipe: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    wakeRead_ = pipefd[0];
    wakeWrite_ = pipefd[1];
    return true;
}

int TTcpListener::Accept(int timeoutMs) {
    if (fd_ < 0) return -1;
    while (true) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        int n = poll(p, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        if (p[1].revents) return -1;  // closed
        int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0 && (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN)) continue;
        if (c >= 0) {
            int one = 1;
            setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return c;
    }
}

void TTcpListener::Close() {
    if (wakeWrite_ >= 0) {
        char b = 1;
        [[maybe_unused]] auto r = write(wakeWrite_, &b, 1);
    }
}

}  // namespace orb
