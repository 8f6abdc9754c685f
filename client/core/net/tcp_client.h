#pragma once
// A blocking TCP client: connect with a time-out, read exactly / write all with failure reporting,
// optional read time-outs, and a Shutdown that wakes a read blocked in another thread.
//
// Thread use: one thread reads while another writes, and any thread may call Shutdown or
// Disconnect at any time. The descriptor is closed only when no read or write is using it, so a
// late read can never land on a reused descriptor.
//
// Proxies: connect to the proxy, run the negotiation over ReadSome/ReadExact/WriteAll on the same
// socket, then let the framed traffic begin.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace orb {

class TTcpClient {
public:
    TTcpClient() = default;
    ~TTcpClient();
    TTcpClient(const TTcpClient&) = delete;
    TTcpClient& operator=(const TTcpClient&) = delete;

    // Connects to host:port (a name, an IPv4 or an IPv6 address), trying each address the name
    // resolves to until the time-out runs out. An existing connection is dropped first.
    // False with LastError() set on failure.
    bool Connect(const std::string& host, uint16_t port, int timeoutMs);
    // Takes over an already connected socket (a server's accepted connection).
    void Adopt(int fd);

    bool Connected() const;
    // Host and port given to the last Connect.
    std::string Host() const;
    uint16_t Port() const;

    // Reads exactly count bytes. False on close by the peer, error, time-out or Shutdown; the
    // connection is then no longer usable for framed traffic (the stream position is lost).
    bool ReadExact(void* buf, size_t count);
    // Reads what is there, at most count bytes, waiting for at least one. Returns the number read,
    // 0 when the peer closed, -1 on error, time-out or Shutdown.
    long ReadSome(void* buf, size_t count);
    // Writes every byte. False on failure.
    bool WriteAll(const void* buf, size_t count);

    // 0 = reads block without limit.
    void SetReadTimeout(int ms);
    int ReadTimeout() const;
    // 0 = writes block without limit; else a write that cannot go on for this long fails.
    void SetWriteTimeout(int ms);

    // Ends both directions (shutdown(2)): a blocked read or write returns at once, and Connected()
    // turns false. The socket stays open until Disconnect.
    void Shutdown();
    // Shutdown, then close the socket (at once, or when the last read or write in progress ends).
    void Disconnect();

    // Text of the last failure, for messages and logs.
    std::string LastError() const;

    // Local port of the connected socket (0 when none).
    uint16_t LocalPort() const;

private:
    int Acquire();
    void Release();
    void SetError(const std::string& what, int err);
    void CloseLocked();

    mutable std::mutex mu_;
    std::condition_variable idle_;
    int fd_ = -1;
    int busy_ = 0;             // reads and writes using fd_ right now
    bool connected_ = false;
    bool closePending_ = false;
    int readTimeoutMs_ = 0;
    int writeTimeoutMs_ = 0;
    std::string host_;
    uint16_t port_ = 0;
    std::string lastError_;
};

}  // namespace orb
