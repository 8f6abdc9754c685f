#pragma once
// TReaderThread: reads the room connection one message at a time (22-byte header, then the body of
// the length it gives) and hands each to the dispatcher by a synchronous call into the main thread.
// When the loop ends, for whatever reason, it posts WM_APP_CONNECTIONLOST 1 to its notify window.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "protocol/vcr_header.h"

class TReaderThread {
public:
    using DispatchFn = std::function<void(const TVCRHeader& header, std::span<const uint8_t> stream)>;

    // Created suspended.
    TReaderThread(orb::TTcpClient* connection, orb::IEventLoop& loop, orb::WindowHandle notifyWindow,
                  DispatchFn dispatch);
    // Terminates and waits. The owner shuts the connection down first, or the wait lasts until the
    // next message arrives.
    ~TReaderThread();
    TReaderThread(const TReaderThread&) = delete;
    TReaderThread& operator=(const TReaderThread&) = delete;

    void Resume();
    // Stops after the current read; a dispatch still waiting for the main thread is abandoned.
    void Terminate();
    void WaitFor();
    bool Terminated() const { return terminated_.load(); }
    // True once the loop has ended (and the loss has been posted).
    bool Finished() const { return finished_.load(); }

private:
    static constexpr size_t kReadBufferSize = 64 * 1024;

    void Execute();
    // Reads exactly count bytes of the connection, through a receive buffer for small reads.
    bool ReadExact(void* out, size_t count);

    orb::TTcpClient* connection_;
    orb::IEventLoop& loop_;
    orb::WindowHandle notifyWindow_;
    DispatchFn dispatch_;
    TVCRHeader header_;
    std::vector<uint8_t> stream_;
    // Bytes received but not yet taken; only this thread reads the connection while it runs.
    std::vector<uint8_t> readBuf_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
