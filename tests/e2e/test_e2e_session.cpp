// A session as users live it, on a desktop with a window manager (Debian's openbox): signing in the
// first time against the local room server, stopping a share with the participants window open,
// a server that stays down while the user resets the connection, and the main window's frame.
//
// The local room server listens on 127.0.0.1:9910 exactly as scripts/run starts it. So that runs
// beside each other (and a scripts/run on the machine) cannot meet on that port, the test process
// moves into a network namespace of its own first, with only its loopback; the X server, the
// window manager, the room server and the clients it starts live there with it.

#include "e2e_test.h"
#include "protocol/message_kinds.h"

// After the test's headers: Xlib's macros (None, Status, Bool) would clash with theirs.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

using namespace orb;
using namespace orb::test;

namespace {

constexpr uint16_t kLocalPort = 9910;  // scripts/run's room server
constexpr int kRoom = 1002;
const std::string kLoginTitle = "Orbelo Live - Authentication Required";
const std::string kRoomListTitle = "Welcome to Orbelo Live";
const std::string kProgressTitle = "Progress";
const std::string kBoxTitle = "Orbelo Live Browser";  // every message box and question
const std::string kShareSettingsTitle = "Share Desktop or Applications";
const std::string kControlBarTitle = "Application Sharing";
const std::string kParticipantsTitle = "Participants";
std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }

// Where to click, from the top-left corner of a window's client area. Room list: the first row's
// name (as in the join test). Main window: the reset button in the status line.
constexpr int kFirstRowX = 17 + 50 + 20;
constexpr int kFirstRowY = 248 + 20 + 8;
constexpr int kResetButtonX = 232;
constexpr int kResetButtonFromBottom = 17;
// Share settings: "Start", from the window's bottom-right corner.
constexpr int kStartFromRight = 150;
constexpr int kStartFromBottom = 22;
// Share settings: the "Share Desktop" and "Share Screen Area" choices.
constexpr int kRadioX = 18;
constexpr int kDesktopY = 21;
constexpr int kScreenAreaY = 47;
// Control bar buttons, from the bar's right edge.
constexpr int kUsersFromRight = 133;
constexpr int kStopFromRight = 236;

bool ConnectsTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A network namespace with its loopback up; false (with the reason) where the test may not make one.
bool PrivateLoopback(std::string* why) {
    if (::unshare(CLONE_NEWNET) != 0) {
        *why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 &&
                    (ifr.ifr_flags |= IFF_UP | IFF_RUNNING, ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0);
    if (fd >= 0) ::close(fd);
    if (!up) *why = std::string("loopback not up: ") + std::strerror(errno);
    return up;
}

bool gPrivate = false;
std::string gPrivateWhy;

class Session : public TEndToEnd {
protected:
    static void SetUpTestSuite() {
        static bool tried = false;
        if (!tried) gPrivate = PrivateLoopback(&gPrivateWhy);
        tried = true;
    }
    void SetUp() override {
        if (!gPrivate && ConnectsTo(kLocalPort))
            GTEST_SKIP() << "no network namespace of its own (" << gPrivateWhy << ") and " << kLocalPort
                         << " is taken on this machine";
        TEndToEnd::SetUp();
        if (HasFatalFailure()) return;
        StartWindowManager();
    }

    // The room server program on 127.0.0.1:9910, as scripts/run starts it.
    void StartLocalServer() {
        std::string error;
        ++serverRuns_;
        ASSERT_TRUE(localServer_.Start(ORB_E2E_ROOMSERVER, {"--address", "127.0.0.1", "--port", std::to_string(kLocalPort)},
                                       {}, root_ / ("roomserver" + std::to_string(serverRuns_) + ".log"), &error))
            << error;
        ASSERT_TRUE(Eventually([] { return ConnectsTo(kLocalPort); })) << "the room server does not listen";
    }
    void StopLocalServer() {
        localServer_.Stop();
        ASSERT_TRUE(Eventually([] { return !ConnectsTo(kLocalPort); }));
    }
    // The lines the server program logged in its current run.
    std::string ServerLog() {
        std::ifstream in(localServer_.Log());
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }

    static bool Eventually(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }
    std::optional<TXDriver::Window> Shown(const std::string& caption, pid_t pid) {
        return x_.FindWindow([&](const std::string& t) { return TXDriver::ShowsCaption(t, caption); }, pid);
    }
    bool WaitGone(const std::string& caption, pid_t pid) {
        return Eventually([&] { return !Shown(caption, pid); });
    }
    // The main window once the room-entry sequence has ended (its progress window gone).
    // With the test's own room (a connection given), only once that room has sent the client its
    // rights, the last answer of the entry: under load the progress window can still be on its way
    // to the screen when the main window already has its title.
    std::optional<TXDriver::Window> InRoom(TClientProcess* c, const std::string& fullName, int connection = 0) {
        auto main = x_.WaitForTitle(MainTitle(fullName), c->Pid(), kWaitMs);
        if (!main) return std::nullopt;
        if (connection &&
            !server_.WaitUntil([&] { return !server_.SentOfKind(connection, vkUserRights).empty(); }, kWaitMs))
            return std::nullopt;
        if (!WaitGone(kProgressTitle, c->Pid()) || !WaitForPainted(*main)) return std::nullopt;
        return main;
    }

    // The top-level window that the window manager stacks highest among the viewable ones (a
    // frame, or an unmanaged window), and the client window inside it.
    TXDriver::Window TopmostClient() {
        Display* d = x_.X();
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        ::Window top = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n) && children) {
            for (unsigned i = 0; i < n; ++i) {  // bottom to top
                XWindowAttributes a;
                if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width > 1 &&
                    a.height > 1 && !a.override_redirect)
                    top = children[i];
            }
            XFree(children);
        }
        return top;
    }
    bool Contains(TXDriver::Window outer, TXDriver::Window inner) {
        Display* d = x_.X();
        for (::Window w = inner; w;) {
            if (w == outer) return true;
            ::Window root = 0, parent = 0, *children = nullptr;
            unsigned n = 0;
            if (!XQueryTree(d, w, &root, &parent, &children, &n)) return false;
            if (children) XFree(children);
            if (parent == root) return false;
            w = parent;
        }
        return false;
    }
    // The window has the keyboard focus (itself or a window inside it).
    bool Focused(TXDriver::Window window) {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(x_.X(), &focus, &revert);
        return focus != None && focus != PointerRoot && (focus == window || Contains(window, focus));
    }
    void ClickReset(TXDriver::Window main) {
        auto area = x_.Geometry(main);
        ASSERT_TRUE(area);
        x_.Click(area->x + kResetButtonX, area->y + area->height - kResetButtonFromBottom);
    }

    // Clicks one of the control bar's buttons (grip, "Stop", "Pause", "Users", "Chat", "Orbelo"),
    // found by its offset from the bar's right edge.
    void ClickBarButton(TXDriver::Window bar, int fromRight) {
        auto b = x_.Geometry(bar);
        ASSERT_TRUE(b);
        x_.Click(b->x + b->width - fromRight, b->y + b->height / 2);
    }

    // Waits until the screen stops changing (bounded): the last input has been handled.
    void Settle() {
        QImage screen = x_.Capture();
        for (int i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            QImage again = x_.Capture();
            if (again == screen) return;
            screen = again;
        }
    }
    // The middle of a main window's main area (the whiteboard's page, or the shared picture).
    QImage MainArea(TXDriver::Window main) {
        const QImage shot = x_.Capture(main);
        return shot.copy(QRect(320, 200, std::max(0, shot.width() - 360), std::max(0, shot.height() - 300)));
    }
    // The main area once two looks in a row agree (bounded).
    QImage SettledArea(TXDriver::Window main) {
        QImage last = MainArea(main);
        Eventually([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            QImage now = MainArea(main);
            const bool same = now == last;
            last = now;
            return same;
        });
        return last;
    }
    // The share of pixels two pictures of the same area have alike.
    static double SameShare(const QImage& a, const QImage& b) {
        if (a.size() != b.size() || a.isNull()) return 0;
        long same = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) same += (a.pixel(x, y) == b.pixel(x, y));
        return double(same) / (double(a.width()) * a.height());
    }

    TPeerProcess localServer_;
    int serverRuns_ = 0;
};

}  // namespace

TEST_F(Session, FirstStartSignsInWithTheDefaultServerAndTheMainWindowKeepsItsFrame) {
    StartLocalServer();
    TClientProcess* client = StartClient("newcomer");  // a fresh home: nothing stored yet
    ASSERT_TRUE(client);
    auto login = x_.WaitForTitle(kLoginTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(login) << "no login dialog";
    ASSERT_TRUE(WaitForPainted(*login));
    EXPECT_TRUE(Decorated(*login));
    Screenshot("e2e_session_first_login");
    // The server box already holds the local server; the focus waits in the user name box.
    ASSERT_TRUE(x_.Type("moderator\tsecret\n"));
    auto rooms = x_.WaitForTitle(kRoomListTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(rooms) << "Sign In did not bring the room list";
    EXPECT_FALSE(Shown(kLoginTitle, client->Pid()));
    ASSERT_TRUE(WaitForPainted(*rooms));
    EXPECT_NE(ServerLog().find("moderator"), std::string::npos) << ServerLog();
    Screenshot("e2e_session_first_room_list");

    auto main = x_.WaitForTitle(MainTitle("Moderator Tester"), client->Pid(), kWaitMs);
    ASSERT_TRUE(main);
    EXPECT_TRUE(Decorated(*main)) << "before the room entry";
    auto list = x_.Geometry(*rooms);
    ASSERT_TRUE(list);
    x_.Click(list->x + kFirstRowX, list->y + kFirstRowY);
    main = InRoom(client, "Moderator Tester");
    ASSERT_TRUE(main) << "the room was not entered";
    EXPECT_TRUE(Decorated(*main)) << "after the room entry";
    Screenshot("e2e_session_in_room_framed");

    // Full screen (Ctrl+F1) drops the frame; the normal view brings it back.
    x_.Key(XK_F1, {XK_Control_L});
    EXPECT_TRUE(Eventually([&] {
        main = Shown(MainTitle("Moderator Tester"), client->Pid());
        auto g = main ? x_.Geometry(*main) : std::nullopt;
        return main && !Decorated(*main) && g && g->width == kScreenWidth && g->height == kScreenHeight;
    })) << "full screen did not cover the screen";
    Screenshot("e2e_session_full_screen");
    x_.Key(XK_F1, {XK_Control_L});
    EXPECT_TRUE(Eventually([&] {
        main = Shown(MainTitle("Moderator Tester"), client->Pid());
        return main && Decorated(*main);
    })) << "no frame after full screen";
    Screenshot("e2e_session_after_full_screen");
    EXPECT_TRUE(client->Running());
}

TEST_F(Session, StoppingAShareWithTheParticipantsWindowOpenKeepsTheProgramAndShowsItsWindowAgain) {
    StartRoomServer();
    TClientProcess* sharer = StartClient("sharer", {JoinLink("modsharer", "pw", kRoom)});
    ASSERT_TRUE(sharer);
    const int sharerConnection = WaitForSignIn();
    ASSERT_NE(sharerConnection, 0);
    auto main = InRoom(sharer, "Modsharer Tester", sharerConnection);
    ASSERT_TRUE(main);
    TClientProcess* viewer = StartClient("viewer", {JoinLink("vera", "pw", kRoom)});
    ASSERT_TRUE(viewer);
    const int viewerConnection = WaitForSignIn();
    ASSERT_NE(viewerConnection, 0);
    auto viewerMain = InRoom(viewer, "Vera Tester", viewerConnection);
    ASSERT_TRUE(viewerMain);
    // The board as the viewer sees it once it is on top and done painting.
    Activate(*viewerMain);
    const QImage before = SettledArea(*viewerMain);

    // The sharer opens "App Share" (Ctrl+F4) in its own window and starts sharing the desktop.
    Activate(*main);
    x_.Key(XK_F4, {XK_Control_L});
    auto settings = x_.WaitForTitle(kShareSettingsTitle, sharer->Pid(), kWaitMs);
    ASSERT_TRUE(settings) << "no share settings window";
    ASSERT_TRUE(WaitForPainted(*settings));
    auto s = x_.Geometry(*settings);
    ASSERT_TRUE(s);
    Screenshot("e2e_session_share_settings");
    // An area without a selection is refused with a warning: over the settings window, which
    // stays on top, and with the keys.
    x_.Click(s->x + kRadioX, s->y + kScreenAreaY);
    Settle();
    x_.Click(s->x + s->width - kStartFromRight, s->y + s->height - kStartFromBottom);
    auto warning = x_.WaitForTitle(kBoxTitle, sharer->Pid(), kWaitMs);
    ASSERT_TRUE(warning) << "no warning for an empty area";
    EXPECT_TRUE(Eventually([&] { return Contains(TopmostClient(), *warning) && Focused(*warning); }))
        << x_.DescribeWindows();
    Screenshot("e2e_session_share_area_warning_on_top");
    x_.Key(XK_Return);
    ASSERT_TRUE(WaitGone(kBoxTitle, sharer->Pid()));
    x_.Click(s->x + kRadioX, s->y + kDesktopY);
    Settle();
    x_.Click(s->x + s->width - kStartFromRight, s->y + s->height - kStartFromBottom);
    auto bar = x_.WaitForTitle(kControlBarTitle, sharer->Pid(), kWaitMs);
    ASSERT_TRUE(bar) << "no control bar";
    ASSERT_TRUE(WaitGone(MainTitle("Modsharer Tester"), sharer->Pid())) << "the main window stayed";
    ASSERT_TRUE(server_.WaitUntil([&] { return !server_.SentOfKind(viewerConnection, vkAppShareFrame).empty(); },
                                  kWaitMs))
        << "the viewer got no frame";
    EXPECT_TRUE(Eventually([&] { return SameShare(MainArea(*viewerMain), before) < 0.9; }))
        << "the viewer does not show the share";
    Screenshot("e2e_session_sharing");

    // "Users" opens the participants window; then "Stop".
    ClickBarButton(*bar, kUsersFromRight);
    auto participants = x_.WaitForTitle(kParticipantsTitle, sharer->Pid(), kWaitMs);
    ASSERT_TRUE(participants) << "no participants window";
    Screenshot("e2e_session_sharing_users");
    ClickBarButton(*bar, kStopFromRight);

    main = x_.WaitForTitle(MainTitle("Modsharer Tester"), sharer->Pid(), kWaitMs);
    EXPECT_TRUE(main) << "the main window did not come back";
    EXPECT_TRUE(sharer->Running()) << sharer->Ending();
    EXPECT_FALSE(sharer->WaitExit(1000)) << "the program ended: " << sharer->Ending();
    EXPECT_TRUE(WaitGone(kControlBarTitle, sharer->Pid()));
    EXPECT_TRUE(WaitGone(kParticipantsTitle, sharer->Pid()));
    if (main) {
        EXPECT_TRUE(Decorated(*main));
    }
    ASSERT_TRUE(server_.WaitUntil([&] { return !server_.SentOfKind(viewerConnection, vkAppShareStop).empty(); },
                                  kWaitMs));
    Screenshot("e2e_session_share_stopped");
    // The viewer's main area is the whiteboard again.
    Activate(*viewerMain);
    EXPECT_TRUE(Eventually([&] { return SameShare(MainArea(*viewerMain), before) > 0.99; }))
        << "the viewer still shows the share: " << SameShare(MainArea(*viewerMain), before) << " alike";
    Screenshot("e2e_session_share_ended_for_the_viewer");
}

TEST_F(Session, AServerThatStaysDownLeavesTheLostSessionWithItsResetAndTheErrorOnTop) {
    StartLocalServer();
    TClientProcess* client =
        StartClient("bea", {"ORB6JOIN://127.0.0.1," + std::to_string(kLocalPort) + ",bea,pw," + std::to_string(kRoom)});
    ASSERT_TRUE(client);
    auto main = InRoom(client, "Bea Tester");
    ASSERT_TRUE(main) << "the room was not entered";

    // The server goes down: the lost-connection view with its reset button.
    StopLocalServer();
    // The reset asks first; Return is its Yes. The new start cannot connect.
    auto question = std::optional<TXDriver::Window>();
    ASSERT_TRUE(Eventually([&] {
        // A box that is slow to come under load is waited for, never asked for twice.
        if (!Shown(kBoxTitle, client->Pid())) ClickReset(*main);
        question = x_.WaitForTitle(kBoxTitle, client->Pid(), 3000);
        return question.has_value();
    })) << "the reset button did not ask";
    Screenshot("e2e_session_reconnect_question");
    ASSERT_TRUE(Eventually([&] { return Focused(*question); })) << "the question has no keyboard focus";
    x_.Key(XK_Return);
    ASSERT_TRUE(WaitGone(kBoxTitle, client->Pid()));
    auto error = x_.WaitForTitle(kBoxTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(error) << "no error box";
    ASSERT_TRUE(WaitForPainted(*error));
    // Readable: above every other window, with the keys, and no progress window over it.
    EXPECT_TRUE(Eventually([&] { return Contains(TopmostClient(), *error) && Focused(*error); }))
        << x_.DescribeWindows();
    EXPECT_FALSE(Shown(kProgressTitle, client->Pid()));
    const QImage shot = Screenshot("e2e_session_reconnect_error_on_top");
    auto box = x_.Geometry(*error);
    ASSERT_TRUE(box);
    EXPECT_GT(DistinctColours(shot, *box), 3) << "the box is not drawn";

    // No: no proxy settings now. The program stays, in the lost-connection view.
    x_.Key(XK_Escape);
    ASSERT_TRUE(WaitGone(kBoxTitle, client->Pid()));
    EXPECT_FALSE(client->WaitExit(2000)) << "the program ended: " << client->Ending();
    EXPECT_FALSE(Shown(kProgressTitle, client->Pid())) << "the progress window stayed";
    EXPECT_FALSE(Shown(kBoxTitle, client->Pid())) << "another box came";
    main = x_.WaitForTitle(MainTitle("Bea Tester"), client->Pid(), kWaitMs);
    ASSERT_TRUE(main);
    Screenshot("e2e_session_still_lost");

    // The server is back: the same reset brings the user into the room again.
    StartLocalServer();
    ASSERT_TRUE(Eventually([&] {
        // A box that is slow to come under load is waited for, never asked for twice.
        if (!Shown(kBoxTitle, client->Pid())) ClickReset(*main);
        question = x_.WaitForTitle(kBoxTitle, client->Pid(), 3000);
        return question.has_value();
    })) << "the reset button is gone from the lost-connection view";
    ASSERT_TRUE(Eventually([&] { return Focused(*question); })) << "the question has no keyboard focus";
    x_.Key(XK_Return);
    EXPECT_TRUE(Eventually([&] { return ServerLog().find("enter #") != std::string::npos; }))
        << "not back in the room: " << ServerLog();
    EXPECT_TRUE(WaitGone(kProgressTitle, client->Pid()));
    EXPECT_FALSE(Shown(kBoxTitle, client->Pid()));
    EXPECT_TRUE(client->Running()) << client->Ending();
    Screenshot("e2e_session_back_in_the_room");
}
