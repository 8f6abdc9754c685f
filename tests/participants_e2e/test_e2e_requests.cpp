// A moderator and two participants, three real clients in one room: what the participants ask for
// with the mouse in their own windows (a web cam, a raised hand, a microphone after the moderator
// cleared the motions, a yes and then a no) shows on the moderator's participant list, and the
// acknowledgements of a pushed page show on its rows until the next page is pushed. Everything is
// checked on the picture of the moderator's list.

#include <map>
#include <thread>

#include "e2e_test.h"
#include "http_pages.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

#include <X11/Xlib.h>

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
// The "Actions" title in the main window's menu bar, and its items as distances below it.
const QPoint kActionsMenu(180, 8);
constexpr int kItemHeight = 22, kSeparator = 2, kFirstItem = 21;
// The participant list lies within this many pixels of the screen's left edge, below the tool bars.
constexpr int kListWidth = 300, kListTop = 90, kListBottom = 400;
// Where the participants' windows are moved to.
constexpr int kParticipantLeft = 680;
// Colours of the row icons: hand, microphone or camera requested, acknowledged, yes and no.
const QColor kHand(0xf5, 0xc0, 0x80), kRequested(0xf0, 0x90, 0x00), kAcknowledged(0x20, 0x80, 0xe0);
const QColor kYes(0x10, 0xa0, 0x10), kNo(0xd0, 0x10, 0x10);
// A participant's Actions menu: Raise Hand, Applause, Smile, Yes, No (no "Clear Motions"), a
// separator, then the two requests.
constexpr int kRaiseHandItem = 0, kYesItem = 3, kNoItem = 4, kMicrophoneItem = 5, kWebCamItem = 6;

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16 && std::abs(a.blue() - b.blue()) < 16;
}

// The icons of a colour in the participant list: the vertical centre of each (lines of the colour
// closer than 3 pixels belong to one icon; a few stray pixels of a blended edge are none) with the
// rightmost x of its pixels. Rows are 20 pixels apart, so icons whose centres lie within 10 pixels
// are in one row. Only the columns from `left` up to `end` are looked at.
std::map<int, int> RowsWith(const QImage& img, const QColor& c, int left = 0, int end = kListWidth) {
    constexpr int kMinPixels = 12;
    std::map<int, int> icons;
    int first = -1, last = -100, pixels = 0, right = 0;
    auto close = [&] {
        if (first >= 0 && pixels >= kMinPixels) icons[(first + last) / 2] = right;
        first = -1, pixels = 0, right = 0;
    };
    for (int y = kListTop; y < std::min(img.height(), kListBottom); ++y) {
        int n = 0, x1 = 0;
        for (int x = std::max(left, 0); x < std::min(end, img.width()); ++x)
            if (Near(img.pixelColor(x, y), c)) ++n, x1 = x;
        if (n == 0) continue;
        if (y - last > 3) close();
        if (first < 0) first = y;
        last = y;
        pixels += n;
        right = std::max(right, x1);
    }
    close();
    return icons;
}

class RequestsE2E : public TEndToEnd {
protected:
    struct TClient {
        TClientProcess* process = nullptr;
        int connection = 0;
        int32_t id = 0;
        TXDriver::Window window = 0;
    };
    TClient Join(const std::string& user, const std::string& title) {
        TClient c;
        c.process = StartClient(user, {JoinLink(user, "pw", kRoom)});
        if (!c.process) return c;
        c.connection = WaitForSignIn();
        if (auto w = x_.WaitForTitle(title, c.process->Pid(), kWaitMs)) c.window = *w;
        EXPECT_TRUE(WaitFor(c.connection, vkRoomProfile)) << user << " did not finish entering the room";
        if (c.connection) c.id = server_.Connection(c.connection)->userId;
        return c;
    }
    void Front(TXDriver::Window w) {
        XRaiseWindow(x_.X(), w);
        XSetInputFocus(x_.X(), w, RevertToPointerRoot, CurrentTime);
        XSync(x_.X(), False);
        x_.MoveTo(kScreenWidth - 40, kScreenHeight / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Opens the Actions menu of the window in front and clicks an item by its place: the items
    // above it and the separators between.
    void ActionsItem(const TClient& client, int windowLeft, int itemsAbove, int separatorsAbove, const std::string& shot) {
        // The menu is a window of its own (titled as the application); a click that did not open
        // it is repeated.
        for (int attempt = 0; attempt < 5; ++attempt) {
            x_.Click(windowLeft + kActionsMenu.x(), kActionsMenu.y());
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            if (x_.FindWindow([](const std::string& t) { return t == "Orbelo Live Browser"; }, client.process->Pid())) break;
        }
        Screenshot(shot);
        x_.Click(windowLeft + kActionsMenu.x() + 40,
                 kActionsMenu.y() + kFirstItem + itemsAbove * kItemHeight + separatorsAbove * kSeparator);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Waits until the list of the window shows `colour` in `rows` rows (an exact count). The window
    // is kept in front: a participant's window comes forward by itself when a page is pushed.
    std::map<int, int> WaitForRows(TXDriver::Window window, const QColor& colour, size_t rows, int left = 0,
                                   int right = kListWidth) {
        std::map<int, int> found;
        for (int waited = 0; waited < kWaitMs; waited += 100) {
            XRaiseWindow(x_.X(), window);
            XSync(x_.X(), False);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            found = RowsWith(x_.Capture(), colour, left, right);
            if (found.size() == rows) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return found;
    }
    bool Sent(int connection, uint16_t kind, size_t count) {
        return server_.WaitUntil([&] { return From(connection, kind).size() >= count; }, kWaitMs);
    }
    // The motion bits of the connection's last feedback message (kind 117), -1 when none.
    int32_t LastMotion(int connection) {
        const auto sent = From(connection, vkUserFeedback);
        int32_t bits = -1;
        if (!sent.empty()) ByteReader(sent.back().body.data(), sent.back().body.size()).i32(bits);
        return bits;
    }
};

}  // namespace

TEST_F(RequestsE2E, RequestsAndAcknowledgementsShowOnTheModeratorsList) {
    THttpPages pages([](const std::string& path) -> std::optional<std::string> {
        return "<html><head><title>" + path + "</title></head><body><h1>" + path + "</h1></body></html>";
    });
    ASSERT_TRUE(pages.Start());
    StartRoomServer();
    TClient mod = Join("moderator", "Moderator Tester in a virtual session");
    ASSERT_TRUE(mod.window);
    TClient ana = Join("ana", "Ana Tester in a virtual session");
    ASSERT_TRUE(ana.window);
    TClient bea = Join("bea", "Bea Tester in a virtual session");
    ASSERT_TRUE(bea.window);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the progress windows go
    // The participants' windows move right, off the moderator's list: a window that has shown a
    // web page may not repaint what another window uncovers on this X server, so the list the
    // test looks at is never covered.
    for (TXDriver::Window w : {ana.window, bea.window}) XMoveWindow(x_.X(), w, kParticipantLeft, 0);
    XSync(x_.X(), False);
    Front(mod.window);
    Screenshot("e2e_requests_joined");

    // Ana asks for a web cam from the Actions menu (a participant's menu has no "Clear Motions":
    // raise hand, applause, smile, yes, no, then the two requests).
    Front(ana.window);
    ActionsItem(ana, kParticipantLeft, kWebCamItem, 1, "e2e_requests_ana_actions_menu");
    ASSERT_TRUE(Sent(ana.connection, vkUserRequest, 1)) << "no web cam request sent";
    Front(mod.window);
    auto requested = WaitForRows(mod.window, kRequested, 1);
    Screenshot("e2e_requests_webcam");
    ASSERT_EQ(requested.size(), 1u) << "the moderator's list shows no web cam request";
    const int anaRow = requested.begin()->first;
    const int camRight = requested.begin()->second;

    // Bea raises her hand from her own Actions menu: the moderator's list shows the hand in her row,
    // not in Ana's.
    Front(bea.window);
    ActionsItem(bea, kParticipantLeft, kRaiseHandItem, 0, "e2e_requests_bea_raise_hand_menu");
    ASSERT_TRUE(Sent(bea.connection, vkUserFeedback, 1)) << "no raised hand sent";
    EXPECT_EQ(LastMotion(bea.connection), 1);
    Front(mod.window);
    auto hands = WaitForRows(mod.window, kHand, 1);
    Screenshot("e2e_requests_hand");
    ASSERT_EQ(hands.size(), 1u) << "the moderator's list shows no raised hand";
    const int beaRow = hands.begin()->first;
    EXPECT_GE(std::abs(beaRow - anaRow), 10) << "the hand shows in the row of the web cam request";

    // The moderator clears the motions (the seventh item of a moderator's Actions menu): the hand
    // and the web cam request go.
    Front(mod.window);
    ActionsItem(mod, 0, 5, 0, "e2e_requests_mod_actions_menu");
    ASSERT_TRUE(Sent(mod.connection, vkClearMotions, 1)) << "no clear motions sent";
    EXPECT_TRUE(WaitForRows(mod.window, kHand, 0).empty()) << "the hand stayed";
    EXPECT_TRUE(WaitForRows(mod.window, kRequested, 0).empty()) << "the web cam request stayed";

    // Bea asks for the microphone after the clear: it shows in her row, in the microphone column
    // (right of the camera column).
    Front(bea.window);
    ActionsItem(bea, kParticipantLeft, kMicrophoneItem, 1, "e2e_requests_bea_actions_menu");
    ASSERT_TRUE(Sent(bea.connection, vkUserRequest, 1)) << "no microphone request sent";
    Front(mod.window);
    requested = WaitForRows(mod.window, kRequested, 1);
    Screenshot("e2e_requests_microphone");
    ASSERT_EQ(requested.size(), 1u) << "the moderator's list shows no microphone request";
    EXPECT_LT(std::abs(requested.begin()->first - beaRow), 10) << "the request is not in Bea's row";
    EXPECT_GT(requested.begin()->second, camRight + 8) << "the request is not in the microphone column";

    // Ana answers yes, then no, from her own Actions menu: the moderator's list shows the answer in
    // her row's gesture column (left of the camera column), the no replacing the yes.
    const int gestureLeft = camRight - 36, gestureRight = camRight - 14;
    Front(ana.window);
    ActionsItem(ana, kParticipantLeft, kYesItem, 0, "e2e_requests_ana_yes_menu");
    ASSERT_TRUE(Sent(ana.connection, vkUserFeedback, 1)) << "no yes sent";
    EXPECT_EQ(LastMotion(ana.connection), 8);
    Front(mod.window);
    auto answers = WaitForRows(mod.window, kYes, 1, gestureLeft, gestureRight);
    Screenshot("e2e_requests_yes");
    ASSERT_EQ(answers.size(), 1u) << "the moderator's list shows no yes";
    EXPECT_LT(std::abs(answers.begin()->first - anaRow), 10) << "the yes is not in Ana's row";
    Front(ana.window);
    ActionsItem(ana, kParticipantLeft, kNoItem, 0, "e2e_requests_ana_no_menu");
    ASSERT_TRUE(Sent(ana.connection, vkUserFeedback, 2)) << "no no sent";
    EXPECT_EQ(LastMotion(ana.connection), 16);
    Front(mod.window);
    answers = WaitForRows(mod.window, kNo, 1, gestureLeft, gestureRight);
    Screenshot("e2e_requests_no");
    ASSERT_EQ(answers.size(), 1u) << "the moderator's list shows no no";
    EXPECT_LT(std::abs(answers.begin()->first - anaRow), 10) << "the no is not in Ana's row";
    EXPECT_TRUE(WaitForRows(mod.window, kYes, 0, gestureLeft, gestureRight).empty()) << "the yes stayed";

    // The moderator's guided tour goes to a page: both participants acknowledge it and the
    // moderator's list shows it on their rows.
    ASSERT_TRUE(server_.Send(mod.connection, vkOpenWebLink, WebPageBody(pages.Url("/one.html")), mod.id, kRoom));
    ASSERT_TRUE(Sent(ana.connection, vkAcknowledge, 1) && Sent(bea.connection, vkAcknowledge, 1))
        << "the first page was not acknowledged";
    Front(mod.window);
    auto acks = WaitForRows(mod.window, kAcknowledged, 2);
    Screenshot("e2e_requests_page_one_acknowledged");
    EXPECT_EQ(acks.size(), 2u) << "the acknowledgements of the first page do not show";

    // The next page, which the participants cannot load yet: the first page's acknowledgements go.
    pages.Hold("/two.html");
    ASSERT_TRUE(server_.Send(mod.connection, vkOpenWebLink, WebPageBody(pages.Url("/two.html")), mod.id, kRoom));
    ASSERT_TRUE(Sent(mod.connection, vkOpenWebLink, 2)) << "the second page was not shared";
    acks = WaitForRows(mod.window, kAcknowledged, 0);
    Screenshot("e2e_requests_page_two_pushed");
    EXPECT_TRUE(acks.empty()) << "the first page's acknowledgements stayed";
    EXPECT_EQ(From(ana.connection, vkAcknowledge).size(), 1u);
    pages.Release("/two.html");
    ASSERT_TRUE(Sent(ana.connection, vkAcknowledge, 2) && Sent(bea.connection, vkAcknowledge, 2));
    EXPECT_EQ(WaitForRows(mod.window, kAcknowledged, 2).size(), 2u) << "the second page's acknowledgements do not show";
    Screenshot("e2e_requests_page_two_acknowledged");
}
