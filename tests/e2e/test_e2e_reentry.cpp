// A connection lost at each step of room entry, then Reset Connection: the client signs in again and
// ends in the room it was entering (or chooses one, when it had not asked for any yet), for a join
// link and for the login dialog. Never a request for room 0, never a refusal.

#include <X11/keysym.h>

#include <unistd.h>

#include <tuple>

#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "roomserver/entry_drop.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
const std::string kBoxTitle = "Orbelo Live Browser";
const std::string kLoginTitle = "Orbelo Live - Authentication Required";
const std::string kRoomListTitle = "Welcome to Orbelo Live";
const std::string kMainTitle = "Bea Tester in a virtual session";
// Login dialog: a point inside the host box. Room list: the first row's name. Main window: the
// reset button in the status line (as the join test has them).
constexpr int kHostBoxX = 200;
constexpr int kHostBoxY = 142;
constexpr int kFirstRowX = 17 + 50 + 20;
constexpr int kFirstRowY = 248 + 20 + 8;
constexpr int kResetButtonX = 232;
constexpr int kResetButtonFromBottom = 17;

class E2EReEntry : public TEndToEnd, public ::testing::WithParamInterface<std::tuple<TEntryStep, bool>> {
protected:
    bool Shown(const std::string& title, pid_t pid) {
        return x_.FindWindow([&](const std::string& t) { return TXDriver::ShowsCaption(t, title); }, pid).has_value();
    }
    void LogIn(pid_t pid) {
        auto login = x_.WaitForTitle(kLoginTitle, pid, kWaitMs);
        ASSERT_TRUE(login) << "no login dialog";
        ASSERT_TRUE(WaitForPainted(*login));
        auto box = x_.Geometry(*login);
        ASSERT_TRUE(box);
        x_.Click(box->x + kHostBoxX, box->y + kHostBoxY);
        x_.Key(XK_a, {XK_Control_L});
        ASSERT_TRUE(x_.Type("127.0.0.1:" + std::to_string(Port()) + "\tbea\tpw"));
        x_.Key(XK_Return);
    }
    void ChooseFirstRoom(pid_t pid) {
        auto rooms = x_.WaitForTitle(kRoomListTitle, pid, kWaitMs);
        ASSERT_TRUE(rooms) << "no room list\n" << x_.DescribeWindows();
        ASSERT_TRUE(WaitForPainted(*rooms));
        auto list = x_.Geometry(*rooms);
        ASSERT_TRUE(list);
        x_.Click(list->x + kFirstRowX, list->y + kFirstRowY);
    }
    // Presses the reset button until its question comes (a press during the join link's short wait
    // is ignored by the program), then answers Yes.
    void Reset(pid_t pid) {
        auto main = x_.WaitForTitle(kMainTitle, pid, kWaitMs);
        ASSERT_TRUE(main);
        std::optional<TXDriver::Window> question;
        for (int tries = 0; tries < 10 && !question; ++tries) {
            if (!Shown(kBoxTitle, pid)) {
                auto area = x_.Geometry(*main);
                ASSERT_TRUE(area);
                x_.Click(area->x + kResetButtonX, area->y + area->height - kResetButtonFromBottom);
            }
            question = x_.WaitForTitle(kBoxTitle, pid, 3000);
        }
        ASSERT_TRUE(question) << "the reset button did not ask\n" << x_.DescribeWindows();
        ASSERT_TRUE(WaitForPainted(*question));
        x_.Raise(*question);
        auto box = x_.Geometry(*question);
        ASSERT_TRUE(box);
        x_.MoveTo(box->x + box->width / 2, box->y + box->height / 3);
        usleep(200 * 1000);
        x_.Key(XK_Return);  // Yes
    }
};

}  // namespace

TEST_P(E2EReEntry, ResetAfterALossDuringRoomEntryEndsInTheRoom) {
    const auto [step, joinLink] = GetParam();
    StartRoomServer();
    DropOnceAt(server_, step);
    TClientProcess* client = joinLink ? StartClient("bea", {JoinLink("bea", "pw", kRoom)}) : StartClient("bea");
    ASSERT_TRUE(client);
    const pid_t pid = client->Pid();
    if (!joinLink) {
        ASSERT_NO_FATAL_FAILURE(LogIn(pid));
    }
    // The first connection may be dropped before a poll for live connections sees it: the
    // handshake names it.
    ASSERT_TRUE(server_.WaitUntil([&] { return handshake_->LastConnection() != 0; }, kWaitMs))
        << "the client did not sign in";
    const int first = handshake_->LastConnection();
    // The login dialog's user chooses the room, unless the loss comes before the list does.
    if (!joinLink && step != TEntryStep::AfterLogin) {
        ASSERT_NO_FATAL_FAILURE(ChooseFirstRoom(pid));
    }
    ASSERT_TRUE(WaitForClosed(first));
    ASSERT_NO_FATAL_FAILURE(Reset(pid));

    const int again = WaitForSignIn();
    ASSERT_NE(again, 0) << "the reset did not sign in again";
    // Lost before any room was asked for: the rooms are offered again.
    if (!joinLink && step == TEntryStep::AfterLogin) {
        ASSERT_NO_FATAL_FAILURE(ChooseFirstRoom(pid));
    }
    ASSERT_TRUE(WaitFor(again, vkRoomProfile)) << "not back in the room\n" << x_.DescribeWindows();
    for (auto& m : From(again, vkEnterRoom)) {
        EXPECT_EQ(m.header.room, kRoom);
        ASSERT_GE(m.body.size(), 4u);
        EXPECT_EQ(m.body[0] | m.body[1] << 8, kRoom);
    }
    for (auto& m : server_.SentOfKind(again, vkEnterRoom)) EXPECT_EQ(m.header.result, 0) << "the entry was refused";
    EXPECT_EQ(service_->Members(kRoom).size(), 1u);
    EXPECT_TRUE(client->Running()) << client->Ending();
    auto main = x_.WaitForTitle(kMainTitle, pid, kWaitMs);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitForPainted(*main));
    EXPECT_FALSE(Shown(kBoxTitle, pid)) << "a box is open in the room\n" << x_.DescribeWindows();
    Screenshot(std::string("e2e_reentry_") + EntryStepName(step) + (joinLink ? "_link" : "_login"));
}

INSTANTIATE_TEST_SUITE_P(Steps, E2EReEntry,
                         ::testing::Combine(::testing::Values(TEntryStep::AfterLogin, TEntryStep::AfterEntryRequest,
                                                              TEntryStep::BeforeRights),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(EntryStepName(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) ? "JoinLink" : "LoginDialog");
                         });
