#pragma once
// A listening TCP socket on a given address; port 0 picks a free port.

#include <cstdint>
#include <string>

namespace orb {

class TTcpListener {
public:
    TTcpListener() = default;
    ~TTcpListener();
    TTcpListener(const TTcpListener&) = delete;
    TTcpListener& operator=(const TTcpListener&) = delete;

    // Binds and listens; "127.0.0.1", "::1", ... Returns false with LastError() on failure.
    bool Listen(const std::string& address, uint16_t port, int backlog = 64);
    // The bound port (the one picked when 0 was asked for).
    uint16_t Port() const { return port_; }
    // Waits up to timeoutMs (-1 = for ever) for a connection; returns its socket or -1.
    // Returns -1 at once after Close.
    int Accept(int timeoutMs);
    // Stops listening; wakes a blocked Accept.
    void Close();
    std::string LastError() const { return lastError_; }

private:
    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    uint16_t port_ = 0;
    std::string lastError_;
};

}  // namespace orb
