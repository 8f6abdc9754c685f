#pragma once
// A small HTTP server on loopback for the clients' web views: one request per connection, every
// request counted; a page can be held back until the test lets it go.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/tcp_listener.h"

namespace orb::test {

class THttpPages {
public:
    // The page of a path; nothing answers "404 Not Found".
    using TPageOf = std::function<std::optional<std::string>(const std::string& path)>;
    explicit THttpPages(TPageOf pageOf);
    // Fixed pages by path.
    explicit THttpPages(std::map<std::string, std::string> pages);
    ~THttpPages();

    bool Start();
    void Stop();
    uint16_t Port() const { return listener_.Port(); }
    std::string Url(const std::string& path) const;
    int Requests(const std::string& path);
    void Hold(const std::string& path);
    void Release(const std::string& path);

private:
    void Serve(int fd);

    TPageOf pageOf_;
    TTcpListener listener_;
    std::atomic<bool> stop_{false};
    std::thread accept_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::set<std::string> held_;
    std::vector<std::thread> workers_;
    std::map<std::string, int> counts_;
};

// Kind 32 for a web page on board 1: the board, then the page's resource record (name and path the
// address, extension "WWW"), laid out by hand.
std::vector<uint8_t> WebPageBody(const std::string& url);

}  // namespace orb::test
