#pragma once
// One web-cam stream's connection to the video server. The owner (a video window) registers,
// sends the format (publisher) or asks for a user's video (viewer) from the main thread, then
// resumes the read loop. The publisher's writer thread sends the frames its buffer holds.
//
// The read loop checks every length it is given (body at most 1 MiB, a format record of exactly
// 46 bytes, a frame record whose size is the rest of the body); anything else, or a failed read,
// ends the connection. Kind 110 replies are posted to the window as WM_APP_VIDEOFORMAT with the
// result code; kind 112 replies go to OnFrame in the main thread while the loop waits; the end of
// the loop is posted as WM_APP_VIDEOFRAME with wParam 100.
//
// Stopping (also by destruction) never joins a thread that waits for the main thread: the stop
// flag releases a pending synchronous call first, and the socket is shut down to wake reads.

#include <atomic>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "video_buffer.h"
#include "video_records.h"

namespace orb::video {

struct TVideoConnectionParams {
    IEventLoop* loop = nullptr;
    WindowHandle window = 0;
    TeVideoBuffer* buffer = nullptr;  // publisher
    int32_t viewUser = 0;             // viewer
    TLoginRequest registration;
    int16_t room = 0;
    std::string host;
    uint16_t port = 0;
    uint32_t mode = kVideoPublish;
    // Connects through the client's proxy settings (unset: a direct connect).
    std::function<bool(TTcpClient&, const std::string&, uint16_t, int timeoutMs)> connect;
    // Lets the owner of the proxy settings forget this connection.
    std::function<void(TTcpClient&)> release;
};

// The publisher's send thread: takes the frames of the one-slot buffer and writes them (WriteLoop).
using TVideoWriter = std::thread;

class TVideoThread {
public:
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kReplyTimeoutMs = 10000;

    explicit TVideoThread(TVideoConnectionParams params);
    ~TVideoThread();
    TVideoThread(const TVideoThread&) = delete;
    TVideoThread& operator=(const TVideoThread&) = delete;

    // 0, the server's result code, 13 no connection, 33 exchange failed.
    int RegisterVideo();
    // Kind 109 with Format; the reply's result code (33 when the exchange fails).
    int SendVideoFormat();
    int RequestVideo();
    int PollVideoFrame();
    // Starts the read loop (and the publisher's writer).
    void Resume();
    void Stop();
    bool Connected() const { return client_.Connected(); }

    // The publisher's format record to send.
    TVideoFormatRec Format;
    // The last format a kind 110 reply carried (read after WM_APP_VIDEOFORMAT).
    TVideoFormatRec ReceivedFormat() const;
    // Main thread, for each kind 112 reply: the result code and, for result 0, the frame.
    std::function<void(int result, const TVideoFrameRec&, std::span<const uint8_t>)> OnFrame;

    TTcpClient& Client() { return client_; }

private:
    bool WriteMessage(uint16_t kind, std::span<const uint8_t> body, std::span<const uint8_t> extra = {});
    int ReadReplyResult();
    void ReadLoop();
    void WriteLoop();

    TVideoConnectionParams p_;
    TTcpClient client_;
    std::mutex writeMu_;
    mutable std::mutex formatMu_;
    TVideoFormatRec received_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    TVideoWriter writer_;
    bool stopped_ = false;
};

}  // namespace orb::video
