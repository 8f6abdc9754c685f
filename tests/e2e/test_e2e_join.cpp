// The client program as a user runs it: real processes on a private X server, against the test
// room server, driven through XTest; screenshots go to the build's test-artifacts folder.

#include <X11/keysym.h>

#include <unistd.h>

#include "e2e_test.h"
#include "protocol/message_kinds.h"

using namespace orb;
using namespace orb::test;

namespace {

// The main window's caption once signed in: the account's full name (the test server makes it
// from the user name).
std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }
const std::string kLoginTitle = "Orbelo Live - Authentication Required";
const std::string kRoomListTitle = "Welcome to Orbelo Live";
const std::string kProgressTitle = "Progress";
constexpr int kRoom = 1002;

// Where to click, from the top-left corner of the window's client area. Login dialog: a point
// inside the host box.
constexpr int kHostBoxX = 200;
constexpr int kHostBoxY = 142;
// Room list: the top-left corner of the rows' scroll box, and a point on the first row's name
// label inside it (rows start at top 20, a row is 20 high, names start at left 50).
constexpr int kRowBoxLeft = 17;
constexpr int kRowBoxTop = 248;
constexpr int kFirstRowX = 50 + 20;
constexpr int kFirstRowY = 20 + 8;
// Main window: the reset button in the status line at the bottom.
constexpr int kResetButtonX = 232;
constexpr int kResetButtonFromBottom = 17;

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
    // The room-entry sequence has run to its last request, and its requests came in their order.
    void ExpectEntrySequence(int connection) {
        ASSERT_TRUE(WaitFor(connection, vkRoomProfile)) << "the room-entry sequence did not finish";
        std::vector<uint16_t> kinds;
        bool entered = false;
        for (auto& m : server_.Received()) {
            if (m.connection != connection) continue;
            if (m.header.kind == vkEnterRoom) entered = true;
            if (entered && m.header.kind != vkHeartBeat) kinds.push_back(m.header.kind);
        }
        const std::vector<uint16_t> expected = {vkEnterRoom, vkUserList, vkBoardContents, vkBoardContents,
                                                vkBoardContents, vkBoardContents, vkBoardContents, vkCurrentBoard,
                                                vkWebPage, vkViewModeQuery, vkKind148, vkUserRights,
                                                vkChatPermissionQuery, vkNotesSwitchQuery, vkBreakoutAllowed,
                                                vkRoomProfile};
        ASSERT_GE(kinds.size(), expected.size());
        EXPECT_EQ(std::vector<uint16_t>(kinds.begin(), kinds.begin() + long(expected.size())), expected);
    }
    // The progress window of a client has gone once the boards arrived.
    bool WaitForProgressHidden(pid_t pid) {
        for (int waited = 0; waited < kWaitMs; waited += 50) {
            if (!x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, kProgressTitle); }, pid))
                return true;
            usleep(50 * 1000);
        }
        return false;
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

    auto main = x_.WaitForTitle(MainTitle("Ana Tester"), client->Pid(), kWaitMs);
    ASSERT_TRUE(main) << "no main window";
    ExpectEntrySequence(connection);
    EXPECT_TRUE(WaitForProgressHidden(client->Pid()));
    ASSERT_TRUE(WaitForPainted(*main));
    const QImage screen = Screenshot("e2e_join_room");
    EXPECT_EQ(screen.size(), QSize(kScreenWidth, kScreenHeight));

    client->Stop();
    EXPECT_TRUE(client->Ended()) << client->Ending();
    EXPECT_TRUE(WaitForClosed(connection));
    EXPECT_FALSE(x_.FindWindow([](const std::string&) { return true; }, client->Pid()))
        << "a window of the stopped client is still shown";
}

TEST_F(E2E, LoginDialogThenRoomListThenJoinLink) {
    StartRoomServer();
    TClientProcess* a = StartClient("moderator1");
    ASSERT_TRUE(a);
    auto login = x_.WaitForTitle(kLoginTitle, a->Pid(), kWaitMs);
    ASSERT_TRUE(login) << "no login dialog";
    ASSERT_TRUE(WaitForPainted(*login));
    auto box = x_.Geometry(*login);
    ASSERT_TRUE(box);
    Screenshot("e2e_login_dialog_empty");
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

    for (int c : {connectionA, connectionB}) ExpectEntrySequence(c);
    // The moderator was told that Bea joined, and Bea's user list holds both.
    const int32_t bea = server_.Connection(connectionB)->userId;
    const bool joinedSent = server_.WaitUntil([&] {
        for (auto& m : server_.SentOfKind(connectionA, vkUserJoinedEx))
            if (m.body.size() >= 4 && int32_t(m.body[0] | m.body[1] << 8 | m.body[2] << 16 | m.body[3] << 24) == bea)
                return true;
        return false;
    }, kWaitMs);
    EXPECT_TRUE(joinedSent) << "the first client was not told of the second";
    EXPECT_EQ(service_->Members(kRoom).size(), 2u);
    const std::pair<TClientProcess*, std::string> clients[] = {{a, "Moderator1 Tester"}, {b, "Bea Tester"}};
    for (auto& [client, name] : clients) {
        auto main = x_.WaitForTitle(MainTitle(name), client->Pid(), kWaitMs);
        ASSERT_TRUE(main) << "no main window of " << name;
        ASSERT_TRUE(WaitForPainted(*main));
        EXPECT_TRUE(WaitForProgressHidden(client->Pid()));
    }
    Screenshot("e2e_two_clients_in_room");

    // The server drops Bea: her window tells her and offers the reset, which signs her in again
    // and brings her back into the same room.
    server_.CloseClient(connectionB);
    ASSERT_TRUE(WaitForClosed(connectionB));
    Screenshot("e2e_connection_lost");
    auto beaMain = x_.WaitForTitle(MainTitle("Bea Tester"), b->Pid(), kWaitMs);
    ASSERT_TRUE(beaMain);
    auto area = x_.Geometry(*beaMain);
    ASSERT_TRUE(area);
    x_.Click(area->x + kResetButtonX, area->y + area->height - kResetButtonFromBottom);
    auto question = x_.WaitForTitle("Orbelo Live Browser", b->Pid(), kWaitMs);  // the question box
    ASSERT_TRUE(question);
    ASSERT_TRUE(WaitForPainted(*question));
    Screenshot("e2e_reconnect_question");
    // Without a window manager the keys go where the pointer is: onto the box, then Return (Yes).
    x_.Raise(*question);
    auto questionBox = x_.Geometry(*question);
    ASSERT_TRUE(questionBox);
    x_.MoveTo(questionBox->x + questionBox->width / 2, questionBox->y + questionBox->height / 3);
    usleep(200 * 1000);
    x_.Key(XK_Return);  // Yes
    const int again = WaitForSignIn();
    ASSERT_NE(again, 0) << "the reset did not sign in again";
    ASSERT_TRUE(WaitFor(again, vkEnterRoom));
    ExpectEntered(again);
    ExpectEntrySequence(again);
    Screenshot("e2e_reconnected");
}
