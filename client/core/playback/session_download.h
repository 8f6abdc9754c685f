#pragma once
// The two downloads of a recording into a growing local file that the replay reads meanwhile:
//  - TSessionReaderThread streams it from the room server over the room connection (kind 84, one
//    message per request, after the kind-83 request that names it). The file has no session record
//    in front; only whole messages are ever written, so a failed read leaves the file at its last
//    whole message and ends the download (the connection is dropped, never read on from the middle
//    of a message).
//  - TSessionURLReaderThread fetches it over HTTP (libcurl) as it is, session record included.
// Both tell the player window how far they are (WM_APP_PLAYERDOWNLOAD, wParam total, lParam so
// far) and keep the shared byte count; their end marks the file complete.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "playback/playback_shared.h"
#include "playback/session_info.h"
#include "session/proxy.h"

namespace orb::playback {

// Makes a new empty file for a download in `folder` (with a trailing separator or not): "tmp" + the
// local time as ddmmyyhhnnss + a unique part + ".tm6", created exclusively (mkstemps), so two
// downloads started within one second never share a file. Empty on failure.
std::string MakeSessionTempFile(const std::string& folder);

// Sends kind 83 for a play id on a connected room connection and reads the answer. The answer's
// session record is taken only when its body is exactly 740 bytes; the server's result code is
// returned (-1 when the exchange failed or the answer had another size, and the connection was
// dropped then).
int OpenSession(TTcpClient& connection, int32_t playId, double now, TSessionInfoRec& record);

class TSessionReaderThread {
public:
    // Created suspended; the file is created empty (an existing one is truncated).
    TSessionReaderThread(IEventLoop& loop, TTcpClient& connection, std::string fileName, WindowHandle playerWindow,
                         TPlaybackShared& shared);
    ~TSessionReaderThread();
    TSessionReaderThread(const TSessionReaderThread&) = delete;
    TSessionReaderThread& operator=(const TSessionReaderThread&) = delete;

    bool FileCreated() const { return fd_ >= 0; }
    const std::string& FileName() const { return fileName_; }

    void Resume();
    void Suspend();
    bool Suspended() const { return suspended_.load(); }
    // Stops at the next step; the owner shuts the connection down to wake a blocked read.
    void Terminate();
    void WaitFor();
    bool Finished() const { return finished_.load(); }
    int64_t BytesWritten() const { return written_.load(); }

private:
    void Execute();
    bool ReadMessage(std::vector<uint8_t>& message);

    IEventLoop& loop_;
    TTcpClient& connection_;
    std::string fileName_;
    WindowHandle player_;
    TPlaybackShared& shared_;
    int fd_ = -1;
    std::atomic<int64_t> written_{0};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> finished_{false};
    bool started_ = false;
    std::mutex mu_;
    std::condition_variable cv_;
    std::thread thread_;
};

class TSessionURLReaderThread {
public:
    // Created suspended; the file is created empty.
    TSessionURLReaderThread(IEventLoop& loop, std::string address, std::string fileName, WindowHandle playerWindow,
                            TPlaybackShared& shared, TProxySettings proxy = {});
    ~TSessionURLReaderThread();
    TSessionURLReaderThread(const TSessionURLReaderThread&) = delete;
    TSessionURLReaderThread& operator=(const TSessionURLReaderThread&) = delete;

    bool FileCreated() const { return fd_ >= 0; }
    const std::string& FileName() const { return fileName_; }

    void Resume();
    void Suspend() { suspended_.store(true); }
    bool Suspended() const { return suspended_.load(); }
    void Terminate();
    void WaitFor();
    bool Finished() const { return finished_.load(); }
    // The HTTP status of the answer (0 before it, or when no answer came).
    int HttpStatus() const { return status_.load(); }

    // Largest recording accepted over HTTP.
    static constexpr int64_t kMaxBytes = int64_t(2) << 30;

private:
    void Execute();
    static size_t WriteData(char* data, size_t size, size_t count, void* self);
    static int Progress(void* self, long long total, long long now, long long, long long);
    void Notify(int64_t soFar, bool force);

    IEventLoop& loop_;
    std::string address_;
    std::string fileName_;
    WindowHandle player_;
    TPlaybackShared& shared_;
    TProxySettings proxy_;
    int fd_ = -1;
    int64_t written_ = 0;
    std::vector<uint8_t> head_;
    int64_t lastNotified_ = -1;
    int64_t lastNotifyMs_ = 0;
    std::atomic<int> status_{0};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> finished_{false};
    bool started_ = false;
    std::thread thread_;
};

}  // namespace orb::playback
