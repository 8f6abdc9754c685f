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

    // The stream's cap: the recording's total size from the opening's session record when known,
    // else MaxBytes. A message that would pass it ends the download (the file keeps the whole
    // messages before it) and posts WM_APP_PLAYERDOWNLOADCAPPED (wParam = the cap). A server that
    // sends nothing for kStallMs ends it too.
    int64_t MaxBytes = int64_t(512) << 20;
    bool Capped() const { return capped_.load(); }
    static constexpr int kStallMs = 120000;

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
    std::atomic<bool> capped_{false};
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

    // The download's cap: the total size its session record announces (whole recording, record
    // included) when the record is read and announces one, else MaxBytes. More bytes than that stop
    // the download, keep what arrived up to the cap, and post WM_APP_PLAYERDOWNLOADCAPPED (wParam =
    // the cap) to the player window before the final progress notice. The private temporary folder
    // often lives in memory: an answer without end must not fill it.
    static constexpr int64_t kMaxBytes = int64_t(512) << 20;
    int64_t MaxBytes = kMaxBytes;
    bool Capped() const { return capped_.load(); }
    // A transfer that makes no progress for this long ends, as does one that cannot connect within
    // kConnectTimeoutMs.
    static constexpr long kStallSeconds = 120;
    static constexpr long kConnectTimeoutMs = 20000;

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
    std::atomic<bool> capped_{false};
    int64_t cap_ = 0;
    bool started_ = false;
    std::thread thread_;
};

}  // namespace orb::playback
