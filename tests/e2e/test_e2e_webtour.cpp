// The guided web tour with real clients on a private X server: pages come from a local HTTP server
// of the test; the moderator's navigation reaches the room and the attendee's view follows and
// acknowledges; pushes from a participant and pushes of other than web pages are not followed.

#include <map>
#include <mutex>
#include <thread>

#include "e2e_test.h"
#include "net/tcp_client.h"
#include "net/tcp_listener.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;

// A small HTTP server on loopback: fixed pages, one request per connection, every request counted.
class THttpPages {
public:
    explicit THttpPages(std::map<std::string, std::string> pages) : pages_(std::move(pages)) {}
    ~THttpPages() { Stop(); }

    bool Start() {
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
    void Stop() {
        if (stop_.exchange(true)) return;
        if (accept_.joinable()) accept_.join();
        listener_.Close();
        std::lock_guard lk(mu_);
        for (auto& t : workers_) t.join();
    }
    uint16_t Port() const { return listener_.Port(); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port()) + path;
    }
    int Requests(const std::string& path) {
        std::lock_guard lk(mu_);
        return counts_[path];
    }

private:
    void Serve(int fd) {
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
        std::string body;
        bool found = false;
        {
            std::lock_guard lk(mu_);
            ++counts_[path];
            if (auto it = pages_.find(path); it != pages_.end()) {
                body = it->second;
                found = true;
            }
        }
        const std::string reply = std::string(found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                                  "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body;
        c.WriteAll(reply.data(), reply.size());
        c.Disconnect();
    }

    std::map<std::string, std::string> pages_;
    TTcpListener listener_;
    std::atomic<bool> stop_{false};
    std::thread accept_;
    std::mutex mu_;
    std::vector<std::thread> workers_;
    std::map<std::string, int> counts_;
};

std::string Page(const std::string& title, const std::string& colour) {
    return "<html><head><title>" + title + "</title></head><body style=\"margin:0;background:" + colour +
           "\"><h1>" + title + "</h1></body></html>";
}

// Kind 32: the board, then the resource record of the page (name and path the address, extension
// "WWW"), laid out by hand.
std::vector<uint8_t> PushBody(const std::string& url) {
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

class WebTour : public TEndToEnd {
protected:
    int32_t User(int connection) { return server_.Connection(connection)->userId; }
    // Acknowledgements (kind 55) the connection sent for the pusher.
    size_t Acks(int connection, int32_t pusher) {
        size_t n = 0;
        for (auto& m : From(connection, vkAcknowledge))
            if (m.body.size() >= 4 && int32_t(LoadU32(m.body.data())) == pusher) ++n;
        return n;
    }
    std::vector<std::string> Broadcasts(int connection) {
        std::vector<std::string> urls;
        for (auto& m : From(connection, vkOpenWebLink))
            if (m.body.size() == 4 + 773) urls.emplace_back(m.body.begin() + 9, m.body.begin() + 9 + m.body[8]);
        return urls;
    }
    bool Push(int to, int32_t from, const std::string& url) {
        const auto body = PushBody(url);
        return server_.Send(to, vkOpenWebLink, body, from, kRoom);
    }
};

}  // namespace

TEST_F(WebTour, AttendeeFollowsTheModeratorAndIgnoresOtherPushes) {
    THttpPages http({{"/one.html", Page("Page One", "#ff00ff")},
                     {"/two.html", Page("Page Two", "#00ffff")},
                     {"/three.html", Page("Page Three", "#ffff00")}});
    ASSERT_TRUE(http.Start());
    StartRoomServer();
    TClientProcess* teacher = StartClient("moderator1", {JoinLink("moderator1", "pw", kRoom)});
    ASSERT_TRUE(teacher);
    const int a = WaitForSignIn();
    ASSERT_NE(a, 0);
    ASSERT_TRUE(WaitFor(a, vkRoomProfile)) << "the moderator did not finish entering the room";
    TClientProcess* pupil = StartClient("bea", {JoinLink("bea", "pw", kRoom)});
    ASSERT_TRUE(pupil);
    const int b = WaitForSignIn();
    ASSERT_NE(b, 0);
    ASSERT_TRUE(WaitFor(b, vkRoomProfile)) << "the attendee did not finish entering the room";
    const int32_t moderator = User(a);
    const int32_t attendee = User(b);

    // The moderator goes to a page (as typing it does): it is shared with the room, the attendee's
    // view follows and acknowledges once the page has loaded.
    ASSERT_TRUE(Push(a, moderator, http.Url("/one.html")));
    ASSERT_TRUE(server_.WaitUntil([&] { return Broadcasts(a).size() == 1; }, kWaitMs))
        << "the moderator's navigation was not shared";
    EXPECT_EQ(Broadcasts(a)[0], http.Url("/one.html"));
    ASSERT_TRUE(server_.WaitUntil([&] { return Acks(b, moderator) == 1; }, kWaitMs))
        << "the attendee did not acknowledge the page";
    EXPECT_EQ(http.Requests("/one.html"), 2);
    Screenshot("e2e_webtour_page_one");

    // A participant's push, and pushes of a local file and of a script, are not followed.
    ASSERT_TRUE(Push(a, attendee, http.Url("/three.html")));
    ASSERT_TRUE(Push(b, moderator, "file:///etc/passwd"));
    ASSERT_TRUE(Push(b, moderator, "javascript:document.title='x'"));
    // The next page of the tour: everything above was handled before it.
    ASSERT_TRUE(Push(a, moderator, http.Url("/two.html")));
    ASSERT_TRUE(server_.WaitUntil([&] { return Acks(b, moderator) == 2; }, kWaitMs))
        << "the attendee did not follow to the second page";
    EXPECT_EQ(Broadcasts(a).size(), 2u);
    EXPECT_EQ(http.Requests("/three.html"), 0);
    EXPECT_TRUE(Broadcasts(b).empty());  // the attendee shares nothing
    Screenshot("e2e_webtour_page_two");

    teacher->Stop();
    pupil->Stop();
}
