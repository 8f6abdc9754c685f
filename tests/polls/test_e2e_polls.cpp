// Three real clients in one room: the moderator's poll reaches each participant (the room server
// delivers it as the moderator's message), each answers "Yes" in its answer window with XTest
// clicks, and the moderator's results window charts both answers.
#include <thread>

#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "protocol/records.h"
#include "wire/bytes.h"

#include <X11/Xlib.h>

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
// In the answer window: the first answer button and Send, from its top-left corner.
const QPoint kFirstAnswer(32, 192), kSend(460, 237);

class PollsE2E : public TEndToEnd {
protected:
    void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

TEST_F(PollsE2E, TwoParticipantsAnswerTheModeratorsPoll) {
    StartRoomServer();
    TClientProcess* mod = StartClient("moderator1", {JoinLink("moderator1", "pw", kRoom)});
    ASSERT_TRUE(mod);
    const int cm = WaitForSignIn();
    ASSERT_NE(cm, 0);
    ASSERT_TRUE(x_.WaitForTitle("Moderator1 Tester in a virtual session", mod->Pid(), kWaitMs));
    ASSERT_TRUE(WaitFor(cm, vkRoomProfile));
    std::vector<std::pair<TClientProcess*, int>> participants;
    for (const char* name : {"ana", "bob"}) {
        TClientProcess* p = StartClient(name, {JoinLink(name, "pw", kRoom)});
        ASSERT_TRUE(p);
        const int c = WaitForSignIn();
        ASSERT_NE(c, 0);
        ASSERT_TRUE(WaitFor(c, vkRoomProfile));
        participants.emplace_back(p, c);
    }
    const int32_t modId = server_.Connection(cm)->userId.load();
    // Each participant's list holds the moderator once its user list went out, and the moderator's
    // list both participants once their arrivals did; then the clients get a moment to show them.
    for (auto& [p, c] : participants)
        ASSERT_TRUE(server_.WaitUntil([&, c = c] { return !server_.SentOfKind(c, vkUserList).empty(); }, kWaitMs));
    ASSERT_TRUE(server_.WaitUntil([&] {
        return server_.SentOfKind(cm, vkUserJoined).size() + server_.SentOfKind(cm, vkUserJoinedEx).size() >= 2;
    }, kWaitMs));
    Pause(1500);

    TPollInfo poll;
    poll.id = 1;
    poll.fromId = modId;
    poll.pingType = TPollInfo::ptPoll;
    poll.answerMask = (1 << 25) | (1 << 24);  // "Yes" and "No"
    poll.question = "Ready for the break?";
    poll.mustReply = 1;  // no Cancel: Send sits at the right edge
    std::vector<uint8_t> body;
    ByteWriter w(body);
    poll.Encode(w);

    int answered = 0;
    for (auto& [p, c] : participants) {
        ASSERT_TRUE(server_.Send(c, vkPoll, body, modId, kRoom));
        auto exam = x_.WaitForTitle("Reply to the following", p->Pid(), kWaitMs);
        ASSERT_TRUE(exam) << x_.DescribeWindows();
        ASSERT_TRUE(WaitForPainted(*exam));
        auto box = x_.Geometry(*exam);
        ASSERT_TRUE(box);
        Pause(300);
        Screenshot("e2e_poll_answer_window_" + std::to_string(answered));
        // A loaded machine may drop a click on a window that has just appeared: press again while
        // no answer came (the window closes with the first answer, so at most one is sent).
        bool sent = false;
        for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
            // The moderator's results window opens with the first answer and may cover this one, as
            // it would on a desk: bring the answer window to the front as the participant would.
            XRaiseWindow(x_.X(), *exam);
            XSync(x_.X(), False);
            Pause(200);
            x_.Click(box->x + kFirstAnswer.x(), box->y + kFirstAnswer.y());
            Pause(400);
            x_.Click(box->x + kSend.x(), box->y + kSend.y());
            sent = server_.WaitUntil([&, c = c] { return !From(c, vkPollAnswer).empty(); }, 5000);
            if (!sent) Screenshot("e2e_poll_no_answer_" + std::to_string(answered) + "_" + std::to_string(attempt));
        }
        ASSERT_TRUE(sent) << "no answer from participant " << answered;
        EXPECT_EQ(From(c, vkPollAnswer).size(), 1u);
        ++answered;
        auto answers = From(c, vkPollAnswer);
        ASSERT_EQ(answers.back().body.size(), 8u);
        ByteReader r(answers.back().body);
        int32_t to = 0, option = 0;
        r.i32(to);
        r.i32(option);
        EXPECT_EQ(to, modId);
        EXPECT_EQ(option, 1);
    }
    auto results = x_.WaitForTitle("Poll Results", mod->Pid(), kWaitMs);
    ASSERT_TRUE(results) << x_.DescribeWindows();
    XRaiseWindow(x_.X(), *results);
    XSync(x_.X(), False);
    ASSERT_TRUE(WaitForPainted(*results));
    Pause(500);
    const QImage screen = Screenshot("e2e_poll_results");
    auto box = x_.Geometry(*results);
    ASSERT_TRUE(box);
    // The chart's dark red bar shows in the results window.
    int red = 0;
    for (int y = box->y; y < box->y + box->height && y < screen.height(); ++y)
        for (int x = box->x; x < box->x + box->width && x < screen.width(); ++x)
            red += screen.pixelColor(x, y) == QColor(128, 0, 0);
    EXPECT_GT(red, 20);
}

// The moderator opens the breakout rooms from the tool bar, creates a room, drags a participant onto
// it (the participant's client enters it) and brings everybody back.
TEST_F(PollsE2E, ModeratorMovesAParticipantIntoABreakoutRoomAndBack) {
    StartRoomServer();
    TClientProcess* mod = StartClient("moderator1", {JoinLink("moderator1", "pw", kRoom)});
    ASSERT_TRUE(mod);
    const int cm = WaitForSignIn();
    ASSERT_NE(cm, 0);
    auto mainMod = x_.WaitForTitle("Moderator1 Tester in a virtual session", mod->Pid(), kWaitMs);
    ASSERT_TRUE(mainMod);
    ASSERT_TRUE(WaitFor(cm, vkRoomProfile));
    ASSERT_TRUE(WaitFor(cm, vkBreakoutAllowed));
    std::vector<int> conns;
    for (const char* name : {"ana", "bob"}) {
        TClientProcess* p = StartClient(name, {JoinLink(name, "pw", kRoom)});
        ASSERT_TRUE(p);
        const int c = WaitForSignIn();
        ASSERT_NE(c, 0);
        ASSERT_TRUE(WaitFor(c, vkRoomProfile));
        conns.push_back(c);
    }
    Pause(1000);
    XRaiseWindow(x_.X(), *mainMod);
    XSync(x_.X(), False);
    Pause(500);
    auto mainBox = x_.Geometry(*mainMod);
    ASSERT_TRUE(mainBox);
    // "BreakOut" in the tool bar.
    x_.Click(mainBox->x + 552, mainBox->y + 45);
    auto win = x_.WaitForTitle("Breakout Rooms", mod->Pid(), kWaitMs);
    ASSERT_TRUE(win) << x_.DescribeWindows();
    ASSERT_TRUE(WaitFor(cm, vkBreakoutRoomList));
    ASSERT_TRUE(WaitForPainted(*win));
    auto box = x_.Geometry(*win);
    ASSERT_TRUE(box);
    // "New Room", bottom left.
    x_.Click(box->x + box->width / 4, box->y + box->height - 16);
    ASSERT_TRUE(WaitFor(cm, vkCreateBreakoutRoom));
    ASSERT_TRUE(server_.WaitUntil([&] { return From(cm, vkBreakoutMembers).size() >= 2; }, kWaitMs));
    Pause(800);
    Screenshot("e2e_breakout_rooms");
    // Rows of 13 pixels from 73: the main room, its members (moderator, ana, bob), the new room.
    const int x = box->x + 70, ana = box->y + 99, room = box->y + 125;
    x_.Drag({{x, ana}, {x, ana + 8}, {x, room - 4}, {x, room}});
    ASSERT_TRUE(WaitFor(cm, vkMoveToRoom)) << "the drop sent no move";
    ASSERT_TRUE(server_.WaitUntil([&] { return From(conns[0], vkEnterRoom).size() >= 2; }, kWaitMs))
        << "the participant did not enter the breakout room";
    EXPECT_TRUE(server_.WaitUntil([&] { return server_.Connection(conns[0])->room.load() == 2001; }, kWaitMs));
    // The participant's window came to the front with the new room: the breakout window goes back on top.
    Pause(800);
    XRaiseWindow(x_.X(), *win);
    XSync(x_.X(), False);
    Pause(500);
    Screenshot("e2e_breakout_moved");
    // "Return All", bottom right.
    x_.Click(box->x + box->width * 3 / 4, box->y + box->height - 16);
    ASSERT_TRUE(server_.WaitUntil([&] { return From(conns[0], vkEnterRoom).size() >= 3; }, kWaitMs));
    EXPECT_TRUE(server_.WaitUntil([&] { return server_.Connection(conns[0])->room.load() == kRoom; }, kWaitMs));
    EXPECT_EQ(server_.Connection(conns[1])->room.load(), kRoom);
}
