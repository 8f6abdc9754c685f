#include "net/tcp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orb {

namespace {

int64_t MonoMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool SetBlocking(int fd, bool blocking) {
    int fl = fcntl(fd, F_GETFL, 0);
    if (fl < 0) return false;
    fl = blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
    return fcntl(fd, F_SETFL, fl) == 0;
}

// One connect attempt with a deadline; returns the connected socket or -1 with err set.
int ConnectOne(const addrinfo* ai, int64_t deadline, int& err) {
    int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (!SetBlocking(fd, false)) {
        err = errno;
        close(fd);
        return -1;
    }
    int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno != EINPROGRESS) {
        err = errno;
        close(fd);
        return -1;
    }
    if (rc != 0) {
        while (true) {
            int64_t left = deadline - MonoMs();
            if (left <= 0) {
                err = ETIMEDOUT;
                close(fd);
                return -1;
            }
            pollfd p{fd, POLLOUT, 0};
            int n = poll(&p, 1, int(left));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                err = errno;
                close(fd);
                return -1;
            }
            if (n == 0) continue;  // re-check the deadline
            int soerr = 0;
            socklen_t len = sizeof soerr;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
            if (soerr != 0) {
                err = soerr;
                close(fd);
                return -1;
            }
            break;
        }
    }
    SetBlocking(fd, true);
    int one = 1;
    // Messages are written whole by one thread; waiting to coalesce them only adds latency.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

TTcpClient::~TTcpClient() {
    Disconnect();
    std::unique_lock lk(mu_);
    idle_.wait(lk, [&] { return busy_ == 0; });
    CloseLocked();
}

void TTcpClient::SetError(const std::string& what, int err) {
    std::lock_guard lk(mu_);
    lastError_ = what + (err ? ": " + std::string(std::strerror(err)) : std::string());
}

void TTcpClient::CloseLocked() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    closePending_ = false;
}

bool TTcpClient::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Disconnect();
    {
        // Wait for reads and writes of the old socket to leave (Shutdown has woken them).
        std::unique_lock lk(mu_);
        idle_.wait(lk, [&] { return busy_ == 0; });
        CloseLocked();
        host_ = host;
        port_ = port;
    }
    int64_t deadline = MonoMs() + (timeoutMs > 0 ? timeoutMs : 0);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* res = nullptr;
    std::string service = std::to_string(port);
    int gai = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
    if (gai != 0) {
        // AI_ADDRCONFIG hides loopback-only families on hosts without other addresses; try without.
        hints.ai_flags = 0;
        gai = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
    }
    if (gai != 0) {
        std::lock_guard lk(mu_);
        lastError_ = "Cannot resolve " + host + ": " + gai_strerror(gai);
        return false;
    }
    int err = 0;
    int fd = -1;
    for (addrinfo* ai = res; ai && fd < 0; ai = ai->ai_next) {
        if (timeoutMs > 0 && MonoMs() >= deadline) {
            err = ETIMEDOUT;
            break;
        }
        fd = ConnectOne(ai, timeoutMs > 0 ? deadline : MonoMs() + 24 * 3600 * 1000LL, err);
    }
    freeaddrinfo(res);
    if (fd < 0) {
        SetError("Cannot connect to " + host + ":" + service, err);
        return false;
    }
    std::lock_guard lk(mu_);
    fd_ = fd;
    connected_ = true;
    lastError_.clear();
    return true;
}

void TTcpClient::Adopt(int fd) {
    Disconnect();
    std::unique_lock lk(mu_);
    idle_.wait(lk, [&] { return busy_ == 0; });
    CloseLocked();
    fd_ = fd;
    connected_ = fd >= 0;
    int one = 1;
    if (fd >= 0) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool TTcpClient::Connected() const {
    std::lock_guard lk(mu_);
    return connected_;
}

std::string TTcpClient::Host() const {
    std::lock_guard lk(mu_);
    return host_;
}

uint16_t TTcpClient::Port() const {
    std::lock_guard lk(mu_);
    return port_;
}

int TTcpClient::Acquire() {
    std::lock_guard lk(mu_);
    if (!connected_ || fd_ < 0) return -1;
    ++busy_;
    return fd_;
}

void TTcpClient::Release() {
    std::lock_guard lk(mu_);
    if (--busy_ == 0) {
        if (closePending_) CloseLocked();
        idle_.notify_all();
    }
}

long TTcpClient::ReadSome(void* buf, size_t count) {
    int fd = Acquire();
    if (fd < 0) {
        SetError("Not connected", 0);
        return -1;
    }
    int timeout;
    {
        std::lock_guard lk(mu_);
        timeout = readTimeoutMs_;
    }
    long result = -1;
    while (true) {
        if (timeout > 0) {
            pollfd p{fd, POLLIN, 0};
            int n = poll(&p, 1, timeout);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) {
                SetError("Read timed out", 0);
                break;
            }
            if (n < 0) {
                SetError("Read failed", errno);
                break;
            }
        }
        ssize_t n = recv(fd, buf, count, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetError("Read failed", errno);
            break;
        }
        if (n == 0) SetError("Connection closed", 0);
        result = long(n);
        break;
    }
    Release();
    return result;
}

bool TTcpClient::ReadExact(void* buf, size_t count) {
    auto* p = static_cast<uint8_t*>(buf);
    while (count > 0) {
        long n = ReadSome(p, count);
        if (n <= 0) return false;
        p += n;
        count -= size_t(n);
    }
    return true;
}

bool TTcpClient::WriteAll(const void* buf, size_t count) {
    int fd = Acquire();
    if (fd < 0) {
        SetError("Not connected", 0);
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(buf);
    int timeout;
    {
        std::lock_guard lk(mu_);
        timeout = writeTimeoutMs_;
    }
    bool ok = true;
    while (count > 0) {
        if (timeout > 0) {
            // A peer that stops reading ends the write once the time-out passed.
            pollfd pf{fd, POLLOUT, 0};
            int r = poll(&pf, 1, timeout);
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) {
                SetError("Write timed out", 0);
                ok = false;
                break;
            }
        }
        ssize_t n = send(fd, p, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetError("Write failed", n < 0 ? errno : 0);
            ok = false;
            break;
        }
        p += n;
        count -= size_t(n);
    }
    Release();
    return ok;
}

void TTcpClient::SetReadTimeout(int ms) {
    std::lock_guard lk(mu_);
    readTimeoutMs_ = ms > 0 ? ms : 0;
}

void TTcpClient::SetWriteTimeout(int ms) {
    std::lock_guard lk(mu_);
    writeTimeoutMs_ = ms > 0 ? ms : 0;
}

int TTcpClient::ReadTimeout() const {
    std::lock_guard lk(mu_);
    return readTimeoutMs_;
}

void TTcpClient::Shutdown() {
    std::lock_guard lk(mu_);
    connected_ = false;
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TTcpClient::Disconnect() {
    std::lock_guard lk(mu_);
    connected_ = false;
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_RDWR);
    if (busy_ == 0)
        CloseLocked();
    else
        closePending_ = true;
}

std::string TTcpClient::LastError() const {
    std::lock_guard lk(mu_);
    return lastError_;
}

uint16_t TTcpClient::LocalPort() const {
    std::lock_guard lk(mu_);
    if (fd_ < 0) return 0;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    return 0;
}

}  // namespace orb
