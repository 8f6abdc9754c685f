#pragma once
// Fetches one web resource (a user picture, a page asset) over HTTP into a local file, then posts
// the caller's message to its window. Only a complete 200 answer writes the local file; any other
// answer or failure leaves no file there (neither a partial one nor an older one) and posts nothing.

#include <cstdint>
#include <string>

#include "loop/event_loop.h"
#include "session/proxy.h"
#include "transfer/worker.h"

namespace orb {

// Points a libcurl handle at the proxy settings: direct when there is none, whatever the
// environment says; an HTTP proxy through a CONNECT tunnel, as every connection of the client.
void ApplyCurlProxy(void* curlHandle, const TProxySettings& p);

constexpr const char* kHttpUserAgent = "Orbelo Live Client/6.2 Mar-01-2009";

class THttpDownloadThread final : public TWorkerThread {
public:
    THttpDownloadThread(IEventLoop& loop, WindowHandle notifyWindow, uint32_t message, std::intptr_t messageParam,
                        std::string localFile, std::string address, TProxySettings proxy = {});

    // Bodies above this are refused (pictures and page assets are small).
    void SetMaxBytes(uint64_t bytes) { maxBytes_ = bytes; }
    int HttpStatus() const { return status_; }

protected:
    void Execute() override;

private:
    IEventLoop& loop_;
    WindowHandle notify_;
    uint32_t message_;
    std::intptr_t param_;
    std::string localFile_;
    std::string address_;
    TProxySettings proxy_;
    uint64_t maxBytes_ = 64ull << 20;
    std::atomic<int> status_{0};
};

}  // namespace orb
