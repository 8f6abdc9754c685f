#include "transfer/http_download.h"

#include <curl/curl.h>

#include <system_error>

#include "transfer/safe_files.h"

namespace orb {
namespace {

// libcurl's global state is set up once, before the first download thread runs.
void GlobalInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

struct Sink {
    TAtomicFileWriter* file;
    uint64_t max;
    bool tooBig = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    if (sink->file->Written() + n > sink->max) {
        sink->tooBig = true;
        return 0;  // makes curl fail the transfer
    }
    return sink->file->Write(data, n) ? n : 0;
}

int Progress(void* stopFlag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stopFlag)->load() ? 1 : 0;
}

}  // namespace

void ApplyCurlProxy(void* handle, const TProxySettings& p) {
    CURL* h = static_cast<CURL*>(handle);
    if (!p.enabled || p.type <= 0 || p.host.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, "");  // direct, whatever the environment says
        return;
    }
    long type = p.type == 1 ? CURLPROXY_SOCKS4 : p.type == 2 ? CURLPROXY_SOCKS4A : p.type == 3 ? CURLPROXY_SOCKS5
                                                                                                   : CURLPROXY_HTTP;
    curl_easy_setopt(h, CURLOPT_PROXY, p.host.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(p.port));
    curl_easy_setopt(h, CURLOPT_PROXYTYPE, type);
    // Every connection of the client reaches an HTTP proxy through a CONNECT tunnel.
    if (type == CURLPROXY_HTTP) curl_easy_setopt(h, CURLOPT_HTTPPROXYTUNNEL, 1L);
    if (p.authentication) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, p.userName.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, p.password.c_str());
    }
}


THttpDownloadThread::THttpDownloadThread(IEventLoop& loop, WindowHandle notifyWindow, uint32_t message,
                                         std::intptr_t messageParam, std::string localFile, std::string address,
                                         TProxySettings proxy)
    : loop_(loop),
      notify_(notifyWindow),
      message_(message),
      param_(messageParam),
      localFile_(std::move(localFile)),
      address_(std::move(address)),
      proxy_(std::move(proxy)) {
    GlobalInit();
}

void THttpDownloadThread::Execute() {
    // Whatever the outcome, the local file is either the new resource or gone: a picture the
    // server no longer has must not linger as if it were current.
    auto dropLocal = [this] {
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(localFile_), ec);
        SetReturnValue(1);
    };
    TAtomicFileWriter file{std::filesystem::path(localFile_)};
    if (!file.Open()) return dropLocal();
    CURL* h = curl_easy_init();
    if (!h) return dropLocal();
    Sink sink{&file, maxBytes_};
    curl_easy_setopt(h, CURLOPT_URL, address_.c_str());
    // Addresses come from the server: only web protocols, never file:// or others.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_USERAGENT, kHttpUserAgent);
    // Each download is its own HTTP client with its own cookies: nothing read from disk, nothing
    // carried over to the next download.
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &StopFlag());
    if (maxBytes_ < (1ull << 62)) curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes_));
    ApplyCurlProxy(h, proxy_);

    CURLcode rc = curl_easy_perform(h);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    curl_off_t announced = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    curl_easy_cleanup(h);
    status_ = static_cast<int>(code);

    // A body shorter than its Content-Length is an error in curl already; checked again so that a
    // truncated picture can never be reported as done.
    bool complete = rc == CURLE_OK && code == 200 && !sink.tooBig &&
                    (announced < 0 || static_cast<uint64_t>(announced) == file.Written());
    if (!complete || StopRequested() || !file.Commit()) {
        file.Discard();
        return dropLocal();
    }
    SetReturnValue(0);
    loop_.Post(notify_, message_, param_, 0);
}

}  // namespace orb
