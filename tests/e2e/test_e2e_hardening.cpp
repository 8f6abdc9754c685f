// The client program against a room server that sends what makes it say something, and at its
// exits: an error box a reply opens leaves the session running, and leaving the program by the close
// question or by SIGTERM ends it cleanly (exit code 0, and no sanitizer report when the program is
// the AddressSanitizer build's).

#include <X11/keysym.h>

#include <unistd.h>

#include "e2e_test.h"
#include "protocol/message_kinds.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
constexpr uint16_t kResultWithoutText = 5;
const std::string kBoxTitle = "Orbelo Live Browser";

std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }

// What a sanitizer writes when it found something; none of it may appear in a clean run.
void ExpectNoSanitizerReport(const TClientProcess& client) {
    const std::string out = client.Output();
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        EXPECT_EQ(out.find(mark), std::string::npos) << mark << "\n" << out;
}

class E2EHardening : public TEndToEnd {
protected:
    // Starts a client by join link; the connection once it is in the room with its main window up.
    int EnterRoom(const std::string& user, TClientProcess*& client, TXDriver::Window& main) {
        client = StartClient(user, {JoinLink(user, "secret", kRoom)});
        if (!client) return 0;
        const int connection = WaitForSignIn();
        EXPECT_NE(connection, 0) << "the client did not sign in";
        if (connection == 0 || !WaitFor(connection, vkRoomProfile)) return 0;
        auto w = x_.WaitForTitle(MainTitle(user == "ana" ? "Ana Tester" : "Bea Tester"), client->Pid(), kWaitMs);
        EXPECT_TRUE(w) << "no main window\n" << x_.DescribeWindows();
        if (!w) return 0;
        main = *w;
        return WaitForPainted(main) ? connection : 0;
    }
    size_t HeartBeats(int connection) const { return From(connection, vkHeartBeat).size(); }
};

}  // namespace

// A sharing reply (86) and a sharing start (141) refused with a result that has no text: each opens
// an error box, and the keep-alive after them is answered while the boxes are still open.
TEST_F(E2EHardening, ErrorBoxesOfRepliesLeaveTheSessionRunning) {
    StartRoomServer();
    TClientProcess* client = nullptr;
    TXDriver::Window main = 0;
    const int connection = EnterRoom("ana", client, main);
    ASSERT_NE(connection, 0);

    ASSERT_TRUE(server_.Send(connection, vkShareStarted, {}, 0, kRoom, kResultWithoutText));
    ASSERT_TRUE(server_.Send(connection, vkAppShareStart, {}, 0, kRoom, kResultWithoutText));
    auto box = x_.WaitForTitle(kBoxTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(box) << "no error box\n" << x_.DescribeWindows();
    ASSERT_TRUE(WaitForPainted(*box));

    const size_t before = HeartBeats(connection);
    ASSERT_TRUE(server_.SendKeepAlive(connection));
    EXPECT_TRUE(server_.WaitUntil([&] { return HeartBeats(connection) > before; }, kWaitMs))
        << "no heartbeat answered the keep-alive while the error box was open";
    // The answer came while the box stood: it is still there.
    EXPECT_TRUE(x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, kBoxTitle); }, client->Pid()));
    Screenshot("e2e_hardening_error_boxes");

    EXPECT_TRUE(client->Stop(kWaitMs)) << client->Output();
    EXPECT_EQ(client->Ending(), "exit code 0") << client->Output();
    ExpectNoSanitizerReport(*client);
}

// Inside a room: one client leaves by closing its window and answering the close question, the
// other by SIGTERM. Both end with exit code 0 and say nothing of memory or undefined behaviour.
TEST_F(E2EHardening, ExitByTheCloseQuestionAndBySigtermIsClean) {
    StartRoomServer();
    TClientProcess* ana = nullptr;
    TXDriver::Window anaMain = 0;
    const int anaConnection = EnterRoom("ana", ana, anaMain);
    ASSERT_NE(anaConnection, 0);

    x_.AskToClose(anaMain);
    auto question = x_.WaitForTitle(kBoxTitle, ana->Pid(), kWaitMs);
    ASSERT_TRUE(question) << "no close question\n" << x_.DescribeWindows();
    ASSERT_TRUE(WaitForPainted(*question));
    Screenshot("e2e_hardening_close_question");
    x_.Raise(*question);
    auto box = x_.Geometry(*question);
    ASSERT_TRUE(box);
    // Yes is the box's default button: Return answers it once the box has the pointer (and so the keys).
    x_.MoveTo(box->x + box->width / 2, box->y + box->height / 3);
    usleep(200 * 1000);
    x_.Key(XK_Return);
    EXPECT_TRUE(ana->WaitExit(kWaitMs)) << "the close question's Yes did not end the program\n" << x_.DescribeWindows();
    EXPECT_EQ(ana->Ending(), "exit code 0") << ana->Output();
    EXPECT_TRUE(WaitForClosed(anaConnection));
    ExpectNoSanitizerReport(*ana);

    TClientProcess* bea = nullptr;
    TXDriver::Window beaMain = 0;
    const int beaConnection = EnterRoom("bea", bea, beaMain);
    ASSERT_NE(beaConnection, 0);
    EXPECT_TRUE(bea->Stop(kWaitMs)) << "SIGTERM did not end the program";
    EXPECT_EQ(bea->Ending(), "exit code 0") << bea->Output();
    EXPECT_TRUE(WaitForClosed(beaConnection));
    ExpectNoSanitizerReport(*bea);
}
