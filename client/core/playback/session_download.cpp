#include "playback/session_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <algorithm>
#include <vector>

#include "playback/recording_reader.h"
#include "protocol/message_kinds.h"
#include "protocol/vcr_header.h"
#include "protocol/wm_app.h"
#include "transfer/http_download.h"

namespace orb::playback {

namespace {

bool WriteAllFd(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

int CreateEmpty(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void GlobalCurlInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

}  // namespace

std::string MakeSessionTempFile(const std::string& folder) {
    std::time_t t = std::time(nullptr);
    std::tm local {};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%d%m%y%H%M%S", &local);
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    std::string name = base + "tmp" + stamp + "XXXXXX.tm6";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4);
    if (fd < 0) return {};
    ::close(fd);
    return std::string(buf.data());
}

int OpenSession(TTcpClient& connection, int32_t playId, double now, TSessionInfoRec& record) {
    TSessionInfoRec request = TSessionInfoRec::Request(playId, now);
    TVCRHeader h;
    h.kind = vkOpenSession;
    h.time = now;
    h.bodyLength = int32_t(TSessionInfoRec::kSize);
    std::vector<uint8_t> out = BuildPacketStream(h, request.raw.data(), request.raw.size());
    uint8_t head[TVCRHeader::kSize];
    if (!connection.WriteAll(out.data(), out.size()) || !connection.ReadExact(head, sizeof head)) {
        connection.Disconnect();
        return -1;
    }
    TVCRHeader reply;
    TVCRHeader::Decode(head, reply);
    if (reply.bodyLength == int32_t(TSessionInfoRec::kSize)) {
        std::vector<uint8_t> body(TSessionInfoRec::kSize);
        if (!connection.ReadExact(body.data(), body.size())) {
            connection.Disconnect();
            return -1;
        }
        record.Decode(body);
        return reply.result;
    }
    if (reply.bodyLength != 0) {
        // An answer of another size is not a session record; the stream cannot be trusted after it.
        connection.Disconnect();
        return reply.result != 0 ? reply.result : -1;
    }
    return reply.result;
}

// ---- From the room server

TSessionReaderThread::TSessionReaderThread(IEventLoop& loop, TTcpClient& connection, std::string fileName,
                                           WindowHandle playerWindow, TPlaybackShared& shared)
    : loop_(loop), connection_(connection), fileName_(std::move(fileName)), player_(playerWindow), shared_(shared) {
    fd_ = CreateEmpty(fileName_);
    shared_.SetDownloadedMessages(0);
}

TSessionReaderThread::~TSessionReaderThread() {
    Terminate();
    WaitFor();
    if (fd_ >= 0) ::close(fd_);
}

void TSessionReaderThread::Resume() {
    std::lock_guard<std::mutex> lock(mu_);
    suspended_.store(false);
    cv_.notify_all();
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
}

void TSessionReaderThread::Suspend() {
    std::lock_guard<std::mutex> lock(mu_);
    suspended_.store(true);
}

void TSessionReaderThread::Terminate() {
    std::lock_guard<std::mutex> lock(mu_);
    terminated_.store(true);
    cv_.notify_all();
}

void TSessionReaderThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TSessionReaderThread::ReadMessage(std::vector<uint8_t>& message) {
    message.resize(TVCRHeader::kSize);
    if (!connection_.ReadExact(message.data(), TVCRHeader::kSize)) return false;
    TVCRHeader h;
    TVCRHeader::Decode(message, h);
    if (h.bodyLength < 0 || h.bodyLength > kMaxRecordedBody) return false;
    message.resize(TVCRHeader::kSize + size_t(h.bodyLength));
    return h.bodyLength == 0 || connection_.ReadExact(message.data() + TVCRHeader::kSize, size_t(h.bodyLength));
}

void TSessionReaderThread::Execute() {
    std::vector<uint8_t> message;
    if (connection_.ReadTimeout() == 0 || connection_.ReadTimeout() > kStallMs) connection_.SetReadTimeout(kStallMs);
    while (!terminated_.load()) {
        {
            std::unique_lock<std::mutex> lock(mu_);
            cv_.wait(lock, [this] { return !suspended_.load() || terminated_.load(); });
        }
        if (terminated_.load() || !connection_.Connected() || fd_ < 0) break;
        TVCRHeader ask;
        ask.kind = vkNextSessionRecord;
        uint8_t head[TVCRHeader::kSize];
        ask.Encode(head);
        uint8_t replyHead[TVCRHeader::kSize];
        if (!connection_.WriteAll(head, sizeof head) || !connection_.ReadExact(replyHead, sizeof replyHead)) {
            connection_.Disconnect();
            break;
        }
        TVCRHeader reply;
        TVCRHeader::Decode(replyHead, reply);
        const int32_t total = shared_.TotalSize();
        if (reply.result != 0) {
            // No further message: the download is whole.
            loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, total, total);
            connection_.Disconnect();
            break;
        }
        if (!ReadMessage(message)) {
            // Never read on from the middle of a message; what is in the file stays whole.
            connection_.Disconnect();
            break;
        }
        const int64_t before = written_.load();
        const int64_t cap = total > 0 ? std::min<int64_t>(total, MaxBytes) : MaxBytes;
        if (before + int64_t(message.size()) > cap) {
            // Longer than the recording says (or than any recording may be): the rest is not taken.
            capped_.store(true);
            loop_.Post(player_, WM_APP_PLAYERDOWNLOADCAPPED, std::intptr_t(cap), 0);
            loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, total, std::intptr_t(before));
            connection_.Disconnect();
            break;
        }
        if (!WriteAllFd(fd_, message.data(), message.size())) {
            // A partial write is cut back to the last whole message.
            if (::ftruncate(fd_, before) == 0) ::lseek(fd_, before, SEEK_SET);
            connection_.Disconnect();
            break;
        }
        written_.store(before + int64_t(message.size()));
        shared_.SetDownloadedMessages(shared_.DownloadedMessages() + 1);
        shared_.SetAvailableBytes(written_.load());
        loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, total, std::intptr_t(written_.load()));
    }
    shared_.SetComplete(true);
    finished_.store(true);
}

// ---- From a web address

TSessionURLReaderThread::TSessionURLReaderThread(IEventLoop& loop, std::string address, std::string fileName,
                                                 WindowHandle playerWindow, TPlaybackShared& shared,
                                                 TProxySettings proxy)
    : loop_(loop), address_(std::move(address)), fileName_(std::move(fileName)), player_(playerWindow),
      shared_(shared), proxy_(std::move(proxy)) {
    fd_ = CreateEmpty(fileName_);
}

TSessionURLReaderThread::~TSessionURLReaderThread() {
    Terminate();
    WaitFor();
    if (fd_ >= 0) ::close(fd_);
}

void TSessionURLReaderThread::Resume() {
    suspended_.store(false);
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
}

void TSessionURLReaderThread::Terminate() { terminated_.store(true); }

void TSessionURLReaderThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TSessionURLReaderThread::Notify(int64_t soFar, bool force) {
    // At most about ten notices a second, and one for every 64 KiB.
    const int64_t now = loop_.Clock().NowMs();
    if (!force && soFar - lastNotified_ < 65536 && now - lastNotifyMs_ < 100) return;
    lastNotified_ = soFar;
    lastNotifyMs_ = now;
    loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, shared_.TotalSize(), std::intptr_t(soFar));
}

size_t TSessionURLReaderThread::WriteData(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<TSessionURLReaderThread*>(self);
    const size_t n = size * count;
    if (t->terminated_.load()) return 0;
    while (t->suspended_.load() && !t->terminated_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (t->cap_ == 0) t->cap_ = t->MaxBytes;
    // The session record in front gives the total to report, before the opening has read it, and
    // the cap: a recording is never longer than it says.
    if (t->head_.size() < TSessionInfoRec::kSize) {
        const size_t take = std::min(n, TSessionInfoRec::kSize - t->head_.size());
        t->head_.insert(t->head_.end(), data, data + take);
        TSessionInfoRec rec;
        if (rec.Decode(t->head_) && rec.TotalSize() > 0) {
            if (t->shared_.TotalSize() == 0) t->shared_.SetTotalSize(rec.TotalSize());
            t->cap_ = std::min<int64_t>(t->cap_, std::max<int64_t>(rec.TotalSize(), TSessionInfoRec::kSize));
        }
    }
    // Past the cap: what fits is kept, the transfer ends.
    const int64_t room = std::max<int64_t>(0, t->cap_ - t->written_);
    const size_t keep = size_t(std::min<int64_t>(room, int64_t(n)));
    if (keep > 0 && !WriteAllFd(t->fd_, reinterpret_cast<const uint8_t*>(data), keep)) return 0;
    if (keep < n) {
        t->written_ += int64_t(keep);
        t->capped_.store(true);
        return 0;
    }
    t->written_ += int64_t(n);
    t->shared_.SetAvailableBytes(t->written_);
    t->Notify(t->written_, false);
    return n;
}

int TSessionURLReaderThread::Progress(void* self, long long, long long, long long, long long) {
    return static_cast<TSessionURLReaderThread*>(self)->terminated_.load() ? 1 : 0;
}

void TSessionURLReaderThread::Execute() {
    shared_.SetAvailableBytes(0);
    loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, shared_.TotalSize(), 0);
    if (fd_ >= 0 && !terminated_.load()) {
        GlobalCurlInit();
        if (CURL* h = curl_easy_init()) {
            curl_easy_setopt(h, CURLOPT_URL, address_.c_str());
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
            curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
            curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
            curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
            // A length the server announces beyond the cap ends the transfer before any byte.
            curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxBytes));
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TSessionURLReaderThread::WriteData);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
            curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &TSessionURLReaderThread::Progress);
            curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
            curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
            ApplyCurlProxy(h, proxy_);
            // A failure keeps what arrived.
            if (curl_easy_perform(h) == CURLE_FILESIZE_EXCEEDED) capped_.store(true);
            long code = 0;
            curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
            status_.store(int(code));
            curl_easy_cleanup(h);
        }
    }
    shared_.SetAvailableBytes(written_);
    shared_.SetComplete(true);
    if (capped_.load()) loop_.Post(player_, WM_APP_PLAYERDOWNLOADCAPPED, std::intptr_t(cap_ ? cap_ : MaxBytes), 0);
    loop_.Post(player_, WM_APP_PLAYERDOWNLOAD, shared_.TotalSize(), shared_.TotalSize());
    finished_.store(true);
}

}  // namespace orb::playback
