// A moderator and two participants signed in to the test room server: a poll answered by both, a
// poll from a participant, the recorder's answers and the command states that follow, and a
// breakout session (rooms created, a participant moved and everybody brought back).
#include <gtest/gtest.h>

#include <filesystem>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "roomserver/extensions.h"
#include "util/answers.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int32_t kMainRoom = 1002;

class PollsSession : public ::testing::Test {
protected:
    struct Client {
        WindowHandle main = 0, breakout = 0;
        std::unique_ptr<TDM> dm;
    };

    void SetUp() override {
        TRoomHandshakeScript script;
        script.perLoginAccounts = true;
        script.recordingRooms = {kMainRoom};  // the recorder's answers are tried in the main room
        handshake_ = InstallRoomHandshake(server_, script);
        service_ = std::make_unique<TRoomService>(server_, handshake_);
        TRoomExtensionContext ctx{server_, handshake_, *service_, {}};
        extensions_ = InstallRoomExtensions(ctx);
        ASSERT_TRUE(server_.Start());
        dir_ = std::filesystem::temp_directory_path() / ("orb_polls_session_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        for (auto& c : clients_) c->dm->LeaveSession();
        server_.Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    TDM& Join(const std::string& name) {
        auto c = std::make_unique<Client>();
        Client* raw = c.get();
        c->main = loop_.RegisterWindow([this, raw](uint32_t m, std::intptr_t w, std::intptr_t l) {
            posted_.push_back({raw->main, m, w, l, 0});
        });
        c->dm = std::make_unique<TDM>(loop_, c->main);
        TDM& dm = *c->dm;
        // What the breakout window does with its notices.
        c->breakout = loop_.RegisterWindow([&dm](uint32_t msg, std::intptr_t w, std::intptr_t l) {
            if (msg == WM_APP_BREAKOUTROOMREFRESH) dm.SendBreakoutMembersRequest(int32_t(w));
            if (msg == WM_APP_BREAKOUTUSERMOVED) dm.Breakout.RemoveMember(int32_t(l), int32_t(w));
        });
        dm.BreakoutWindow = c->breakout;
        dm.ProgramFolder = dir_.string();
        dm.ServerHost = "127.0.0.1";
        dm.ServerPort = server_.Port();
        dm.OwnLoginInfo.SetUserName(name);
        dm.OwnLoginInfo.SetPassword("pw");
        dm.SessionHooks.ShowError = [name](const std::string& t) { ADD_FAILURE() << name << ": " << t; };
        EXPECT_TRUE(dm.StartSession());
        EXPECT_TRUE(dm.SendEnterRoom(kMainRoom));
        EXPECT_TRUE(loop_.RunUntil([&dm] { return dm.OwnRoom == kMainRoom; }));
        clients_.push_back(std::move(c));
        return dm;
    }
    // Every client lists everybody (the participant list's own handlers are not under test here).
    void FillParticipants() {
        for (auto& c : clients_) {
            c->dm->Participants.Clear();
            for (auto& o : clients_) {
                TParticipantRow& row = c->dm->Participants.AddUser(o->dm->OwnUserId, o->dm->OwnLoginInfo.FullName());
                row.level = o->dm->OwnLoginInfo.Level();
            }
        }
    }
    std::vector<PostedMessage> Posted(const TDM& dm, uint32_t msg) {
        std::vector<PostedMessage> out;
        for (auto& m : posted_)
            if (m.target == dm.MainWindow() && m.msg == msg) out.push_back(m);
        return out;
    }
    static void Dispatch(TDM& dm, uint16_t kind, int32_t sender, std::vector<uint8_t> body) {
        TVCRHeader h;
        h.kind = kind;
        h.sender = sender;
        h.room = dm.OwnRoom;
        h.bodyLength = int32_t(body.size());
        auto stream = BuildPacketStream(h, body.data(), body.size());
        dm.DispatchCommand(h, stream);
    }
    static std::vector<uint8_t> I32s(std::initializer_list<int32_t> values) {
        std::vector<uint8_t> b;
        ByteWriter w(b);
        for (int32_t v : values) w.i32(v);
        return b;
    }

    FakeClock clock_;
    PlainEventLoop loop_{clock_};
    TRoomServer server_;
    std::shared_ptr<TRoomHandshake> handshake_;
    std::unique_ptr<TRoomService> service_;
    std::vector<PRoomExtension> extensions_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::filesystem::path dir_;
    std::vector<PostedMessage> posted_;
};

}  // namespace

TEST_F(PollsSession, ModeratorsPollIsAnsweredByTwoParticipantsAndTallied) {
    TDM& mod = Join("mod");
    TDM& ana = Join("ana");
    TDM& bob = Join("bob");
    ASSERT_TRUE(mod.IsModerator());
    ASSERT_FALSE(ana.IsModerator());
    FillParticipants();

    const uint32_t mask = AnswerBit(1) | AnswerBit(2);
    ASSERT_TRUE(mod.StartPoll("  Ready?  ", mask | 0x80000000u, false, false));
    ASSERT_TRUE(loop_.RunUntil([&] { return !Posted(ana, WM_APP_POLLRECEIVED).empty() && !Posted(bob, WM_APP_POLLRECEIVED).empty(); }));
    for (TDM* p : {&ana, &bob}) {
        EXPECT_EQ(p->ReceivedPoll.question, "Ready?");
        EXPECT_EQ(p->ReceivedPoll.fromId, mod.OwnUserId);
        EXPECT_EQ(uint32_t(p->ReceivedPoll.answerMask), mask);
        EXPECT_TRUE(polls::PollOpensAnswerWindow(p->ReceivedPoll, p->Participants, p->OwnUserId));
    }

    int shown = 0;
    mod.PollsHooks.ShowPollResults = [&shown] { ++shown; };
    ASSERT_TRUE(ana.SendPollAnswer(mod.OwnUserId, 1));
    EXPECT_FALSE(bob.SendPollAnswer(mod.OwnUserId, 27));
    ASSERT_TRUE(bob.SendPollAnswer(mod.OwnUserId, 1));
    ASSERT_TRUE(loop_.RunUntil([&] { return mod.PollResults.CountAnswered() == 2; }));
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(mod.PollResults.Entries().size(), 1u);
    EXPECT_EQ(mod.PollResults.Entries()[0].answer, "Yes");
    EXPECT_EQ(mod.PollResults.Entries()[0].count, 2);
    EXPECT_EQ(mod.PollResults.question, "Ready?");

    // A hostile answer (option 27) straight from the wire and an answer meant for someone else
    // change nothing; the participants never saw the answers.
    Dispatch(mod, vkPollAnswer, bob.OwnUserId, I32s({mod.OwnUserId, 27}));
    Dispatch(mod, vkPollAnswer, bob.OwnUserId, I32s({ana.OwnUserId, 2}));
    EXPECT_EQ(mod.PollResults.Entries()[0].count, 2);
    EXPECT_TRUE(ana.PollResults.Rows().empty());

    // A poll from a participant opens no answer window; a connectivity check reaches everybody.
    ASSERT_TRUE(ana.SendPoll(0, TPollInfo::ptPoll, "Lunch?", false, false, mask));
    ASSERT_TRUE(loop_.RunUntil([&] { return bob.ReceivedPoll.question == "Lunch?"; }));
    EXPECT_FALSE(polls::PollOpensAnswerWindow(bob.ReceivedPoll, bob.Participants, bob.OwnUserId));
    ASSERT_TRUE(mod.SendPoll(0, TPollInfo::ptCheck, "", false, false, 0));
    ASSERT_TRUE(loop_.RunUntil([&] { return bob.ReceivedPoll.pingType == TPollInfo::ptCheck; }));
}

TEST_F(PollsSession, RecorderAnswersSetTheRecordingStateAndTheCommandMarks) {
    TDM& mod = Join("mod");
    mod.RecorderUserName = "Session Recorder (Robot)";
    mod.RecorderPassword = "s3cret";
    auto status = [&](size_t n) {
        EXPECT_TRUE(loop_.RunUntil([&] { return Posted(mod, WM_APP_RECORDINGSTATUS).size() >= n; }));
        auto p = Posted(mod, WM_APP_RECORDINGSTATUS);
        return p.empty() ? std::pair<intptr_t, intptr_t>{-1, -1} : std::pair{p.back().wParam, p.back().lParam};
    };
    EXPECT_FALSE(mod.StopRecordingCommand());  // nothing is recorded yet
    ASSERT_TRUE(mod.StartRecordingCommand());
    EXPECT_EQ(status(1), (std::pair<intptr_t, intptr_t>{0, 0}));
    EXPECT_EQ(mod.ServerRecording, 1);
    EXPECT_TRUE(mod.RecordingStartChecked);
    EXPECT_FALSE(mod.RecordingStopChecked);
    auto starts = server_.ReceivedOfKind(vkStartRecording);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(starts[0].body.size(), 106u);
    EXPECT_EQ(std::string(starts[0].body.begin() + 5, starts[0].body.begin() + 11), "s3cret");
    EXPECT_EQ(starts[0].body[55], 24);

    EXPECT_FALSE(mod.StartRecordingCommand());  // a recording runs: the command sends nothing
    ASSERT_TRUE(mod.SendStartServerRecording());
    EXPECT_EQ(status(2), (std::pair<intptr_t, intptr_t>{1, 42}));
    EXPECT_EQ(mod.ServerRecording, 1);
    EXPECT_TRUE(mod.RecordingStopChecked);
    EXPECT_FALSE(mod.RecordingStartChecked);

    ASSERT_TRUE(mod.PauseRecordingCommand());
    ASSERT_TRUE(server_.WaitForKind(vkPauseRecording));
    ASSERT_TRUE(mod.StopRecordingCommand());
    EXPECT_EQ(status(3), (std::pair<intptr_t, intptr_t>{2, 0}));
    EXPECT_EQ(mod.ServerRecording, 0);
    EXPECT_EQ(Posted(mod, WM_APP_RECORDINGSTATUS).size(), 3u);  // the pause answered nothing new

    ASSERT_TRUE(mod.SendStopServerRecording());
    EXPECT_EQ(status(4), (std::pair<intptr_t, intptr_t>{3, 45}));
    EXPECT_EQ(mod.ServerRecording, 0);
    EXPECT_TRUE(mod.RecordingStopChecked);
}

TEST_F(PollsSession, BreakoutRoomsMoveAParticipantAndBringEverybodyBack) {
    TDM& mod = Join("mod");
    TDM& ana = Join("ana");
    TDM& bob = Join("bob");
    FillParticipants();
    mod.SendBreakoutAllowedRequest();
    ana.SendBreakoutAllowedRequest();
    ASSERT_TRUE(loop_.RunUntil([&] { return mod.BreakoutAllowed; }));

    ASSERT_TRUE(mod.SendCreateBreakoutRoom(""));
    ASSERT_TRUE(mod.SendCreateBreakoutRoom("Group B"));
    ASSERT_TRUE(loop_.RunUntil([&] { return mod.Breakout.Rooms().size() == 3; }));
    ASSERT_TRUE(loop_.RunUntil([&] { return mod.Breakout.Find(kMainRoom)->members.size() == 3; }));
    EXPECT_EQ(mod.Breakout.Rooms()[2].Caption(), "#2002: Group B");
    const int32_t roomA = mod.Breakout.Rooms()[1].Id();

    // A room node dropped sends nothing; a member dropped on its own room neither.
    EXPECT_FALSE(mod.MoveByDrop({true, kMainRoom, 0}, {true, roomA, 0}));
    EXPECT_FALSE(mod.MoveByDrop({false, kMainRoom, ana.OwnUserId}, {true, kMainRoom, 0}));
    ASSERT_TRUE(mod.MoveByDrop({false, kMainRoom, ana.OwnUserId}, {true, roomA, 0}));
    ASSERT_TRUE(loop_.RunUntil([&] { return ana.OwnRoom == roomA; }));
    // The moderator hears of the move: the member leaves the main room and appears in room A.
    ASSERT_TRUE(loop_.RunUntil([&] {
        auto* a = mod.Breakout.Find(roomA);
        return a->members.size() == 1 && mod.Breakout.Find(kMainRoom)->members.size() == 2;
    }));
    EXPECT_EQ(bob.OwnRoom, kMainRoom);

    // Moves for someone else or to the current room, and a participant hearing of a move, do nothing.
    const size_t enters = server_.ReceivedOfKind(vkEnterRoom).size();
    Dispatch(bob, vkMoveToRoom, mod.OwnUserId, I32s({ana.OwnUserId, roomA}));
    Dispatch(bob, vkMoveToRoom, mod.OwnUserId, I32s({bob.OwnUserId, kMainRoom}));
    Dispatch(bob, vkMoveToRoom, mod.OwnUserId, I32s({bob.OwnUserId, 70000}));
    Dispatch(bob, vkMoveToRoom, mod.OwnUserId, I32s({bob.OwnUserId}));
    // Only bob's own requests count: the moderator may still be asking for the rooms' members.
    auto fromBob = [&](uint16_t kind) {
        size_t n = 0;
        for (const auto& m : server_.ReceivedOfKind(kind)) n += m.header.sender == bob.OwnUserId;
        return n;
    };
    const size_t bobMembers = fromBob(vkBreakoutMembers);
    Dispatch(bob, vkBreakoutUserMoved, ana.OwnUserId, I32s({kMainRoom, roomA}));
    // Whatever bob sent before this heartbeat has reached the server.
    const size_t beats = server_.ReceivedOfKind(vkHeartBeat).size();
    ASSERT_TRUE(bob.SendHeartBeat());
    ASSERT_TRUE(server_.WaitForKind(vkHeartBeat, beats + 1));
    EXPECT_EQ(server_.ReceivedOfKind(vkEnterRoom).size(), enters);
    EXPECT_EQ(fromBob(vkBreakoutMembers), bobMembers);

    EXPECT_EQ(mod.ReturnAllToMainRoom(), 3);
    ASSERT_TRUE(loop_.RunUntil([&] { return ana.OwnRoom == kMainRoom; }));
    EXPECT_EQ(bob.OwnRoom, kMainRoom);
}
