#pragma once
// Tools the session tests start themselves on loopback: child processes with their own configs in
// a temporary folder, free ports, a plain socket channel and a small target server.

#include <atomic>
#include <deque>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/proxy.h"
#include "support/peer_process.h"

namespace orbtest {

std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& text);
// Runs a shell command and returns what it wrote to its standard output.
std::string Shell(const std::string& command);
uint16_t FreePort();
// True when something accepts connections on 127.0.0.1:port within the limit.
bool WaitForPort(uint16_t port, int limitMs = 10000);

// A connected loopback socket as the negotiations see it.
class FdChannel final : public orb::IByteChannel {
public:
    ~FdChannel() override;
    bool Connect(const std::string& host, uint16_t port);
    bool WriteAll(const void* data, size_t count) override;
    bool ReadExact(void* data, size_t count) override;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// The proxies' test account.
extern const char* kUser;
extern const char* kPassword;

// A Dante server on a free loopback port, its config and logs in dir: method "none" (SOCKS 4 and
// 5 without authentication) or "username" (SOCKS 5 with user name and password, checked against
// a passwd file of the test's own through nss_wrapper). Returns the port; 0 when it did not start.
uint16_t StartDante(orb::test::TPeerProcess& proc, const std::string& dir, const std::string& method);
// tinyproxy on a free loopback port with extra config lines. Returns the port; 0 on failure.
uint16_t StartTinyproxy(orb::test::TPeerProcess& proc, const std::string& dir, const std::string& extra);
// The proxy's own logs say why it refused; shown when a case failed.
void DumpLogs(const std::string& dir);
// Removes a test's temporary folder.
void RemoveDir(const std::string& dir);

// A peer that answers from a script, for the byte-exact cases; it records what was sent.
class ScriptedChannel final : public orb::IByteChannel {
public:
    explicit ScriptedChannel(const std::string& reply) : in_(reply.begin(), reply.end()) {}
    bool WriteAll(const void* d, size_t n) override {
        sent.append(static_cast<const char*>(d), n);
        return true;
    }
    bool ReadExact(void* d, size_t n) override {
        if (in_.size() < n) return false;
        for (size_t i = 0; i < n; ++i) {
            static_cast<char*>(d)[i] = in_.front();
            in_.pop_front();
        }
        return true;
    }
    size_t Left() const { return in_.size(); }
    std::string sent;

private:
    std::deque<char> in_;
};

// Accepts connections on 127.0.0.1 and answers each with a greeting, then echoes one line.
class GreetingServer {
public:
    explicit GreetingServer(std::string greeting);
    ~GreetingServer();
    uint16_t port() const { return port_; }
    int accepted() const { return accepted_.load(); }

private:
    std::string greeting_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A small SOCKS 4A proxy (Dante serves SOCKS 4 and 5 but not the 4A name extension): resolves
// the name the client sends, connects, answers, then relays both ways.
class Socks4AProxy {
public:
    Socks4AProxy();
    ~Socks4AProxy();
    uint16_t port() const { return port_; }
    // The host name and user id of the last request.
    std::string lastHost() const;
    std::string lastUser() const;

private:
    void Serve(int client);
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mu_;
    std::string lastHost_, lastUser_;
    std::vector<std::thread> relays_;
    std::thread thread_;
};

}  // namespace orbtest
