#include "http_pages.h"

#include <algorithm>
#include <chrono>

#include "net/tcp_client.h"

namespace orb::test {

THttpPages::THttpPages(TPageOf pageOf) : pageOf_(std::move(pageOf)) {}

THttpPages::THttpPages(std::map<std::string, std::string> pages)
    : pageOf_([pages = std::move(pages)](const std::string& path) -> std::optional<std::string> {
          if (auto it = pages.find(path); it != pages.end()) return it->second;
          return std::nullopt;
      }) {}

THttpPages::~THttpPages() { Stop(); }

bool THttpPages::Start() {
    if (!listener_.Listen("127.0.0.1", 0)) return false;
    accept_ = std::thread([this] {
        while (!stop_) {
            const int fd = listener_.Accept(100);
            if (fd < 0) continue;
            std::lock_guard lk(mu_);
            workers_.emplace_back([this, fd] { Serve(fd); });
        }
    });
    return true;
}

void THttpPages::Stop() {
    {
        std::lock_guard lk(mu_);
        if (stop_.exchange(true)) return;
        held_.clear();
    }
    cv_.notify_all();
    if (accept_.joinable()) accept_.join();
    listener_.Close();
    // Joined outside the lock: a worker takes it to count its request.
    std::vector<std::thread> workers;
    {
        std::lock_guard lk(mu_);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
}

std::string THttpPages::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

int THttpPages::Requests(const std::string& path) {
    std::lock_guard lk(mu_);
    return counts_[path];
}

void THttpPages::Hold(const std::string& path) {
    std::lock_guard lk(mu_);
    held_.insert(path);
}

void THttpPages::Release(const std::string& path) {
    {
        std::lock_guard lk(mu_);
        held_.erase(path);
    }
    cv_.notify_all();
}

void THttpPages::Serve(int fd) {
    TTcpClient c;
    c.Adopt(fd);
    c.SetReadTimeout(3000);
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        const long n = c.ReadSome(buf, sizeof buf);
        if (n <= 0) return;
        request.append(buf, size_t(n));
    }
    const size_t sp1 = request.find(' ');
    const size_t sp2 = request.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos) return;
    const std::string path = request.substr(sp1 + 1, sp2 - sp1 - 1);
    {
        std::unique_lock lk(mu_);
        ++counts_[path];
        // Held pages wait for Release; the deadline only stops a hang.
        cv_.wait_for(lk, std::chrono::seconds(60), [&] { return stop_ || !held_.count(path); });
    }
    const std::optional<std::string> body = pageOf_(path);
    const std::string text = body.value_or("");
    const std::string reply = std::string(body ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                              "Content-Type: text/html\r\nContent-Length: " + std::to_string(text.size()) +
                              "\r\nConnection: close\r\n\r\n" + text;
    c.WriteAll(reply.data(), reply.size());
    c.Disconnect();
}

std::vector<uint8_t> WebPageBody(const std::string& url) {
    std::vector<uint8_t> b(4 + 773, 0);
    b[0] = 1;
    auto put = [&](size_t offset, const std::string& s) {
        b[4 + offset] = uint8_t(s.size());
        std::copy(s.begin(), s.end(), b.begin() + long(4 + offset + 1));
    };
    put(4, url);
    put(205, url);
    put(410, "WWW");
    return b;
}

}  // namespace orb::test
