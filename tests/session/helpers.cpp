#include "helpers.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace orbtest {

std::string MakeTempDir() {
    char tmpl[] = "/tmp/orb-session-XXXXXX";
    char* d = mkdtemp(tmpl);
    return d ? std::string(d) : std::string();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

const char* kUser = "orbuser";
const char* kPassword = "s3cret-pw";
// SHA-512 crypt of kPassword with salt "orbtest", for Dante's password check.
static const char* kPasswordHash =
    "$6$orbtest$ihiTeyh7KuC4.Gi1fHG8.NoqobMTdDBk2eaAey3IJw0tKdVU9saeF9FC2KJOBHXaly3VaWHpOrHGQfzlNXaeb0";

uint16_t StartDante(orb::test::TPeerProcess& proc, const std::string& dir, const std::string& method) {
    uint16_t port = FreePort();
    WriteFile(dir + "/passwd", "root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534:nobody:/nonexistent:/bin/false\n" +
                                   std::string(kUser) + ":x:4242:4242:test:/nonexistent:/bin/false\n");
    WriteFile(dir + "/group", "root:x:0:\nnogroup:x:65534:\norbgroup:x:4242:\n");
    WriteFile(dir + "/shadow", std::string(kUser) + ":" + kPasswordHash + ":19000:0:99999:7:::\n");
    WriteFile(dir + "/danted.conf",
              "logoutput: " + dir + "/danted.log\n"
              "internal: 127.0.0.1 port = " + std::to_string(port) + "\n"
              "external: 127.0.0.1\n"
              "clientmethod: none\n"
              "socksmethod: " + method + "\n"
              "user.privileged: root\n"
              "user.unprivileged: nobody\n"
              "client pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n log: error\n}\n"
              "socks pass {\n from: 127.0.0.0/8 to: 127.0.0.0/8\n command: connect\n log: error connect\n}\n");
    std::vector<std::string> env;
    if (method == "username")
        env = {"LD_PRELOAD=libnss_wrapper.so", "NSS_WRAPPER_PASSWD=" + dir + "/passwd",
               "NSS_WRAPPER_GROUP=" + dir + "/group", "NSS_WRAPPER_SHADOW=" + dir + "/shadow"};
    std::string error;
    if (!proc.Start("danted", {"-f", dir + "/danted.conf", "-p", dir + "/danted.pid", "-N", "1"}, env,
                    dir + "/danted.out", &error))
        return 0;
    return WaitForPort(port) ? port : 0;
}

uint16_t StartTinyproxy(orb::test::TPeerProcess& proc, const std::string& dir, const std::string& extra) {
    // tinyproxy drops to nobody, which must be able to write its log.
    chmod(dir.c_str(), 0777);
    uint16_t port = FreePort();
    WriteFile(dir + "/tinyproxy.conf",
              "Port " + std::to_string(port) + "\n"
              "Listen 127.0.0.1\n"
              "Timeout 30\n"
              "Allow 127.0.0.1\n"
              "User nobody\n"
              "Group nogroup\n"
              "LogLevel Info\n"
              "LogFile \"" + dir + "/tinyproxy.log\"\n" + extra);
    std::string error;
    if (!proc.Start("tinyproxy", {"-d", "-c", dir + "/tinyproxy.conf"}, {}, dir + "/tinyproxy.out", &error)) return 0;
    return WaitForPort(port) ? port : 0;
}

void DumpLogs(const std::string& dir) {
    if (!dir.empty()) std::system(("tail -n 20 " + dir + "/*.out " + dir + "/*.log 1>&2").c_str());
}

void RemoveDir(const std::string& dir) {
    if (dir.rfind("/tmp/orb-session-", 0) == 0) std::filesystem::remove_all(dir);
}

uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

bool WaitForPort(uint16_t port, int limitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        FdChannel c;
        if (c.Connect("127.0.0.1", port)) return true;
        usleep(20000);
    }
    return false;
}

FdChannel::~FdChannel() {
    if (fd_ >= 0) close(fd_);
}

bool FdChannel::Connect(const std::string& host, uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd_);
        fd_ = -1;
        return false;
    }
    timeval tv{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return true;
}

bool FdChannel::WriteAll(const void* data, size_t count) {
    auto* p = static_cast<const char*>(data);
    while (count) {
        ssize_t n = send(fd_, p, count, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        count -= size_t(n);
    }
    return true;
}

bool FdChannel::ReadExact(void* data, size_t count) {
    auto* p = static_cast<char*>(data);
    while (count) {
        ssize_t n = recv(fd_, p, count, 0);
        if (n <= 0) return false;
        p += n;
        count -= size_t(n);
    }
    return true;
}

namespace {
int ListenLoopback(uint16_t& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    listen(fd, 16);
    return fd;
}
}  // namespace

GreetingServer::GreetingServer(std::string greeting) : greeting_(std::move(greeting)) {
    listenFd_ = ListenLoopback(port_);
    thread_ = std::thread([this] {
        while (!stop_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int c = accept(listenFd_, nullptr, nullptr);
            if (c < 0) continue;
            ++accepted_;
            send(c, greeting_.data(), greeting_.size(), MSG_NOSIGNAL);
            std::string line;
            char ch;
            timeval tv{5, 0};
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            while (recv(c, &ch, 1, 0) == 1) {
                line += ch;
                if (ch == '\n') break;
            }
            send(c, line.data(), line.size(), MSG_NOSIGNAL);
            close(c);
        }
    });
}

GreetingServer::~GreetingServer() {
    stop_ = true;
    thread_.join();
    close(listenFd_);
}

namespace {
bool ReadCString(int fd, std::string& out) {
    char c;
    while (recv(fd, &c, 1, 0) == 1) {
        if (c == 0) return true;
        if (out.size() > 255) return false;
        out += c;
    }
    return false;
}
}  // namespace

Socks4AProxy::Socks4AProxy() {
    listenFd_ = ListenLoopback(port_);
    thread_ = std::thread([this] {
        while (!stop_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int c = accept(listenFd_, nullptr, nullptr);
            if (c >= 0) relays_.emplace_back([this, c] { Serve(c); });
        }
    });
}

Socks4AProxy::~Socks4AProxy() {
    stop_ = true;
    thread_.join();
    for (auto& t : relays_) t.join();
    close(listenFd_);
}

std::string Socks4AProxy::lastHost() const {
    std::lock_guard lk(mu_);
    return lastHost_;
}

std::string Socks4AProxy::lastUser() const {
    std::lock_guard lk(mu_);
    return lastUser_;
}

void Socks4AProxy::Serve(int c) {
    timeval tv{5, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    uint8_t head[8];
    std::string user, host;
    uint8_t reply[8] = {0, 91, 0, 0, 0, 0, 0, 0};
    int target = -1;
    if (recv(c, head, 8, MSG_WAITALL) == 8 && head[0] == 4 && head[1] == 1 && ReadCString(c, user) &&
        head[4] == 0 && head[5] == 0 && head[6] == 0 && head[7] != 0 && ReadCString(c, host)) {
        {
            std::lock_guard lk(mu_);
            lastHost_ = host;
            lastUser_ = user;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &res) == 0 && res) {
            auto* sa = reinterpret_cast<sockaddr_in*>(res->ai_addr);
            sa->sin_port = htons(uint16_t(head[2] << 8 | head[3]));
            target = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(target, res->ai_addr, res->ai_addrlen) == 0) reply[1] = 90;
            freeaddrinfo(res);
        }
    }
    send(c, reply, 8, MSG_NOSIGNAL);
    if (reply[1] == 90) {
        pollfd fds[2] = {{c, POLLIN, 0}, {target, POLLIN, 0}};
        char buf[4096];
        while (!stop_) {
            if (poll(fds, 2, 50) <= 0) continue;
            int from = (fds[0].revents & (POLLIN | POLLHUP)) ? 0 : 1;
            ssize_t n = recv(fds[from].fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            send(fds[1 - from].fd, buf, size_t(n), MSG_NOSIGNAL);
        }
    }
    if (target >= 0) close(target);
    close(c);
}

}  // namespace orbtest
