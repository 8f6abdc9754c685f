// The client program as a user runs it: real processes on a private X server, against the test
// room server, driven through XTest; screenshots go to the build's test-artifacts folder.

#include <X11/keysym.h>

#include "e2e_test.h"
#include "protocol/message_kinds.h"

using namespace orb;
using namespace orb::test;

namespace {

// The main window's caption once signed in: the account's full name (the test server's default).
const std::string kMainTitle = "Ana Lima in a virtual session";
const std::string kLoginTitle = "Orbelo Live - Authentication Required";
const std::string kRoomListTitle = "Welcome to Orbelo Live";
constexpr int kRoom = 1002;

// Where to click, from the top-left corner of the window's client area; adjust to the windows'
// layouts. Login dialog: a point inside the host box.
constexpr int kHostBoxX = 200;
constexpr int kHostBoxY = 200;
// Room list: the top-left corner of the rows' scroll box, and a point on the first row's name
// label inside it (rows start at top 20, a row is 20 high, names start at left 50).
constexpr int kRowBoxLeft = 10;
constexpr int kRowBoxTop = 200;
constexpr int kFirstRowX = 50 + 20;
constexpr int kFirstRowY = 20 + 8;

class E2E : public TEndToEnd {
protected:
    // Room 1002 entered on the connection: the request's header and its body name the room.
    void ExpectEntered(int connection) {
        auto enter = From(connection, vkEnterRoom);
        ASSERT_FALSE(enter.empty()) << "no room entry from connection " << connection;
        EXPECT_EQ(enter[0].header.room, kRoom);
        ASSERT_GE(enter[0].body.size(), 4u);
        EXPECT_EQ(enter[0].body[0] | enter[0].body[1] << 8, kRoom);
    }
};

}  // namespace

TEST_F(E2E, JoinLinkSignsInEntersTheRoomAndShowsTheMainWindow) {
    StartRoomServer();
    TClientProcess* client = StartClient("ana", {JoinLink("ana", "secret", kRoom)});
    ASSERT_TRUE(client);
    const int connection = WaitForSignIn();
    ASSERT_NE(connection, 0) << "the client did not sign in";
    EXPECT_EQ(handshake_->LoginName(), "ana");
    EXPECT_EQ(handshake_->LoginPassword(), "secret");
    ASSERT_TRUE(WaitFor(connection, vkEnterRoom));
    ExpectEntered(connection);

    auto main = x_.WaitForTitle(kMainTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(main) << "no window \"" << kMainTitle << "\"";
    ASSERT_TRUE(WaitForPainted(*main));
    const QImage screen = Screenshot("e2e_join_room");
    EXPECT_EQ(screen.size(), QSize(kScreenWidth, kScreenHeight));

    client->Stop();
    EXPECT_TRUE(client->Ended()) << client->Ending();
    EXPECT_TRUE(WaitForClosed(connection));
    EXPECT_FALSE(x_.FindWindow([](const std::string&) { return true; }, client->Pid()))
        << "a window of the stopped client is still shown";
}

// Waits for the login dialog and the room list windows, which are still being built.
TEST_F(E2E, DISABLED_LoginDialogThenRoomListThenJoinLink) {
    StartRoomServer();
    TClientProcess* a = StartClient("moderator1");
    ASSERT_TRUE(a);
    auto login = x_.WaitForTitle(kLoginTitle, a->Pid(), kWaitMs);
    ASSERT_TRUE(login) << "no login dialog";
    ASSERT_TRUE(WaitForPainted(*login));
    auto box = x_.Geometry(*login);
    ASSERT_TRUE(box);
    x_.Click(box->x + kHostBoxX, box->y + kHostBoxY);
    // The host box holds the stored server (or ":9910"): replace all of it.
    x_.Key(XK_a, {XK_Control_L});
    ASSERT_TRUE(x_.Type("127.0.0.1:" + std::to_string(Port()) + "\tmoderator1\tpw"));
    Screenshot("e2e_login_dialog");
    x_.Key(XK_Return);

    const int connectionA = WaitForSignIn();
    ASSERT_NE(connectionA, 0) << "the login dialog did not sign in";
    EXPECT_EQ(handshake_->LoginName(), "moderator1");
    EXPECT_EQ(handshake_->LoginPassword(), "pw");
    ASSERT_TRUE(WaitFor(connectionA, vkRoomList));
    auto rooms = x_.WaitForTitle(kRoomListTitle, a->Pid(), kWaitMs);
    ASSERT_TRUE(rooms) << "no room list";
    ASSERT_TRUE(WaitForPainted(*rooms));
    Screenshot("e2e_room_list");
    auto list = x_.Geometry(*rooms);
    ASSERT_TRUE(list);
    x_.Click(list->x + kRowBoxLeft + kFirstRowX, list->y + kRowBoxTop + kFirstRowY);
    ASSERT_TRUE(WaitFor(connectionA, vkEnterRoom)) << "clicking the first room row entered no room";
    ExpectEntered(connectionA);

    TClientProcess* b = StartClient("bea", {JoinLink("bea", "pw", kRoom)});
    ASSERT_TRUE(b);
    const int connectionB = WaitForSignIn();
    ASSERT_NE(connectionB, 0) << "the second client did not sign in";
    ASSERT_TRUE(WaitFor(connectionB, vkEnterRoom));
    ExpectEntered(connectionB);
    EXPECT_TRUE(From(connectionB, vkRoomList).empty());  // a join link goes straight to its room

    for (int c : {connectionA, connectionB}) EXPECT_TRUE(WaitFor(c, vkUserList)) << "no user list request from " << c;
    for (TClientProcess* client : {a, b}) {
        auto main = x_.WaitForTitle(kMainTitle, client->Pid(), kWaitMs);
        ASSERT_TRUE(main);
        ASSERT_TRUE(WaitForPainted(*main));
    }
    Screenshot("e2e_two_clients_in_room");
}
