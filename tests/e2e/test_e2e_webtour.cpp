// The guided web tour with real clients on a private X server: pages come from a local HTTP server
// of the test; the moderator's navigation reaches the room and the attendee's view follows and
// acknowledges; pushes from a participant and pushes of other than web pages are not followed.

#include <map>
#include <thread>

#include "e2e_test.h"
#include "http_pages.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;

std::string Page(const std::string& title, const std::string& colour) {
    return "<html><head><title>" + title + "</title></head><body style=\"margin:0;background:" + colour +
           "\"><h1>" + title + "</h1></body></html>";
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
        return server_.Send(to, vkOpenWebLink, WebPageBody(url), from, kRoom);
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
