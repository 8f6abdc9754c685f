// The main window's decisions without a window: push-to-talk, connection loss, room entry against
// the test room server, the close question and the plain rules.

#include <gtest/gtest.h>

#include "board/engine/board_engine.h"
#include "boardmsg/board_dm_link.h"
#include "loop/plain_event_loop.h"
#include "main/main_controller.h"
#include "protocol/wm_app.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "support/null_main_view.h"

using namespace orb;

namespace {

struct FakeView : orb::test::TNullMainView {
    std::vector<std::string> boxes, chat;
    int resetVisible = -1, closed = 0, quit = 999, roomListResult = 0, screenHeight = 800;
    bool at96 = true, yes = true;
    std::function<int()> onRoomList;
    std::vector<std::pair<std::string, bool>> welcome;
    TChatPermissionLayout permission;
    std::string caption;
    int micMeter = -1;
    void SetMicrophoneMeter(int percent) override { micMeter = percent; }

    void ShowError(const std::string& t) override { boxes.push_back("E:" + t); }
    void ShowWarning(const std::string& t) override { boxes.push_back("W:" + t); }
    void ShowInformation(const std::string& t) override { boxes.push_back("I:" + t); }
    bool AskYesNo(const std::string& t) override {
        boxes.push_back("Q:" + t);
        return yes;
    }
    int ScreenHeight() const override { return screenHeight; }
    bool ScreenAt96Dpi() const override { return at96; }
    int RunRoomList() override { return onRoomList ? onRoomList() : roomListResult; }
    void SetRoomCaption(const std::string& c) override { caption = c; }
    TScreenRect RoomArea() const override { return {100, 50, 1000, 700}; }
    void ShowWelcomePage(const std::string& a, bool tips, const TScreenRect&, bool) override {
        welcome.emplace_back(a, tips);
    }
    void CloseWithoutQuestion() override { ++closed; }
    void Quit(int code) override { quit = code; }
    void SetResetButtonVisible(bool v) override { resetVisible = v; }
    void AddChatLine(const std::string& s, const std::string& t, uint32_t, bool) override { chat.push_back(s + ": " + t); }
    void SetChatPermission(const TChatPermissionLayout& l) override { permission = l; }
};

struct RecordingProgress : IProgressView {
    std::vector<int> steps;
    void ShowCentered() override {}
    void SetRange(int) override {}
    void SetStep(int position, const std::string&) override { steps.push_back(position); }
    void HideProgress() override {}
};

// A controller over a data module that is not connected: what it sends is dropped.
struct Offline {
    FakeClock clock;
    PlainEventLoop loop{clock};
    Settings settings;
    FakeView view;
    WindowHandle self = 0;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<TMainController> c;
    Offline() {
        self = loop.RegisterWindow([this](uint32_t m, std::intptr_t w, std::intptr_t l) { c->HandleMessage(m, w, l); });
        dm = std::make_unique<TDM>(loop, self);
        c = std::make_unique<TMainController>(*dm, settings, view, self);
    }
};

}  // namespace

TEST(MainRules, PushToTalkTruthTable) {
    using A = TFloorAction;
    TPushToTalkState base;  // Ctrl, voice right
    base.voiceRight = true;
    auto with = [&](auto f) {
        TPushToTalkState s = base;
        f(s);
        return s;
    };
    struct Row {
        const char* what;
        TPushToTalkState s;
        int input;  // 0 hook, 1 key-down, 2 key-up
        int vk;
        uint32_t flags;
        bool repeat;
        A expected;
    };
    const Row rows[] = {
        {"hook press takes", base, 0, 17, 0, false, A::Take},
        {"hook repeat ignored", base, 0, 17, kKeyRepeat, false, A::None},
        {"hook press while held", with([](auto& s) { s.held = true; }), 0, 17, 0, false, A::None},
        {"hook release gives up", base, 0, 17, kKeyReleased, false, A::Release},
        {"hook release with latch", with([](auto& s) { s.latch = true; }), 0, 17, kKeyReleased, false, A::None},
        {"hook press with Speak on", with([](auto& s) { s.speakOn = true; }), 0, 17, 0, false, A::None},
        {"hook other key", base, 0, 16, 0, false, A::None},
        {"hook with no key set", with([](auto& s) { s.pttKey = 0; }), 0, 0, 0, false, A::None},
        {"hook without voice right", with([](auto& s) { s.voiceRight = false; }), 0, 17, 0, false, A::None},
        {"key-down takes", base, 1, 17, 0, false, A::Take},
        {"key-down auto-repeat", base, 1, 17, 0, true, A::None},
        {"key-down while hooked", with([](auto& s) { s.hookInstalled = true; }), 1, 17, 0, false, A::None},
        {"key-down with latch", with([](auto& s) { s.latch = true; }), 1, 17, 0, false, A::None},
        {"key-down no key set", with([](auto& s) { s.pttKey = 0; }), 1, 0, 0, false, A::None},
        {"key-up gives up", base, 2, 17, 0, false, A::Release},
        {"key-up with latch", with([](auto& s) { s.latch = true; }), 2, 17, 0, false, A::None},
        {"key-up while hooked", with([](auto& s) { s.hookInstalled = true; }), 2, 17, 0, false, A::None},
        {"F3 toggles", base, 2, kVkF3, 0, false, A::ToggleSpeak},
        {"F3 toggles while hooked", with([](auto& s) { s.hookInstalled = true; }), 2, kVkF3, 0, false, A::ToggleSpeak},
        {"F3 with no key set", with([](auto& s) { s.pttKey = 0; }), 2, kVkF3, 0, false, A::ToggleSpeak},
        {"F3 auto-repeat release", base, 2, kVkF3, 0, true, A::None},
        {"F3 key-down does nothing", base, 1, kVkF3, 0, false, A::None},
    };
    for (const Row& r : rows) {
        A got = r.input == 0 ? HookKeyAction(r.s, r.vk, r.flags)
                : r.input == 1 ? KeyDownAction(r.s, r.vk, r.repeat)
                               : KeyUpAction(r.s, r.vk, r.repeat);
        EXPECT_EQ(got, r.expected) << r.what;
    }
}

TEST(MainRules, PlainDecisions) {
    EXPECT_EQ(ConnectionSpeedItem(524288), 524288);  // "CABLE / DSL (4 mbps)"
    EXPECT_EQ(ConnectionSpeedItem(100000), 131072);  // any other value: "CABLE / DSL (1 mbps)"
    EXPECT_EQ(StyleThemeFor(1), 2);
    EXPECT_EQ(StyleThemeFor(2), 1);
    EXPECT_EQ(StyleThemeFor(9), 0);
    EXPECT_EQ(MicrophoneMeterPercent(3, true, 4), 0);  // below the silence level
    EXPECT_EQ(MicrophoneMeterPercent(505, false, 4), 0);
    EXPECT_EQ(MicrophoneMeterPercent(505, true, 4), 51);
    EXPECT_EQ(SpeakerMeterPercent(5000), 100);
    for (auto [a, ok] : std::vector<std::pair<std::string, bool>>{{"https://x.example/w", true},
                                                                   {"HTTP://x", true},
                                                                   {"about:blank", true},
                                                                   {"http://", false},
                                                                   {"file:///etc/passwd", false},
                                                                   {"javascript:alert(1)", false},
                                                                   {"Hello room", false}})
        EXPECT_EQ(IsSafePageAddress(a), ok) << a;
    struct P {
        int mode;
        int32_t level;
        bool input, sendTo;
        int checked;
        bool red, apply;
    };
    for (P p : {P{0, 1, true, true, 0, false, true}, P{1, 1, true, false, 1, false, true},
                P{2, 1, true, true, -1, false, true}, P{3, 1, false, false, 3, true, true},
                P{3, 1000, true, false, 3, true, true}, P{7, 1, true, true, -1, false, false}}) {
        TChatPermissionLayout l = ChatPermissionLayout(p.mode, p.level);
        EXPECT_EQ(l.inputVisible, p.input) << p.mode;
        EXPECT_EQ(l.sendToMenu, p.sendTo) << p.mode;
        EXPECT_EQ(l.checkedItem, p.checked) << p.mode;
        EXPECT_EQ(l.disabledHeader, p.red) << p.mode;
        EXPECT_EQ(l.applyMode, p.apply) << p.mode;
    }
}

TEST(MainController, ScreenWarnings) {
    for (auto [height, at96, warnings] : std::vector<std::tuple<int, bool, size_t>>{
             {720, true, 1}, {768, false, 1}, {800, true, 0}, {600, false, 2}}) {
        Offline o;
        o.view.screenHeight = height;
        o.view.at96 = at96;
        o.c->Hooks.StartRun = [] {};
        o.c->Hooks.ShowLoginDialog = [] { return true; };
        o.c->FormShow({});
        EXPECT_EQ(o.view.boxes.size(), warnings) << height;
        if (height < 768) {
            EXPECT_NE(o.view.boxes.at(0).find("less than 1024x768"), std::string::npos);
        }
    }
}

TEST(MainController, CancelledLoginQuitsWithMinusOne) {
    Offline o;
    o.c->Hooks.ShowLoginDialog = [] { return false; };
    o.c->FormShow({});
    EXPECT_EQ(o.view.quit, -1);
}

TEST(MainController, RoomListFailureOrNoChoiceEndsTheRun) {
    Offline o;
    o.c->RoomListReceived(5);
    EXPECT_EQ(o.view.quit, -1);
    EXPECT_NE(o.view.boxes.at(0).find("Unable to load the virtual rooms"), std::string::npos);
    Offline t;
    t.view.roomListResult = -1;  // signed out or timed out
    t.c->RoomListReceived(0);
    EXPECT_EQ(t.view.quit, -1);
    EXPECT_EQ(t.view.closed, 1);
}

TEST(MainController, ConnectionLossShowsOnceAndTheKillTimerEndsTheSession) {
    Offline o;
    o.c->ConnectionLost(1);
    o.c->ConnectionLost(2);  // already lost: state only
    ASSERT_EQ(o.view.chat.size(), 1u);
    EXPECT_NE(o.view.chat[0].find("[ErrID:1]"), std::string::npos);
    EXPECT_EQ(o.dm->Room.ConnectionState, 2);
    EXPECT_EQ(o.view.resetVisible, 1);
    EXPECT_TRUE(o.c->KillTimerRunning());
    o.clock.Advance(TMainController::kKillSessionIntervalMs - 1);
    o.loop.ProcessPending();
    EXPECT_EQ(o.view.closed, 0);
    o.clock.Advance(1);
    o.loop.ProcessPending();
    EXPECT_EQ(o.view.closed, 1);  // closed without the question
    EXPECT_TRUE(std::none_of(o.view.boxes.begin(), o.view.boxes.end(), [](auto& b) { return b[0] == 'Q'; }));
}

TEST(MainController, PlaybackShowsNoLossAndAGoodEntryEndsTheCountdown) {
    Offline p;
    p.dm->PlaybackMode = true;
    p.c->ConnectionLost(1);
    EXPECT_TRUE(p.view.chat.empty());
    EXPECT_EQ(p.view.resetVisible, 0);
    EXPECT_FALSE(p.c->KillTimerRunning());

    Offline o;  // a refused entry from the room list, then a good one
    o.c->RoomEntered(18);
    o.loop.ProcessPending();
    EXPECT_EQ(o.dm->Room.ConnectionState, 4);
    EXPECT_TRUE(o.c->KillTimerRunning());
    EXPECT_NE(o.view.boxes.at(0).find("Access Denied ! [with message code: 18]"), std::string::npos);
    o.c->ConnectionLost(0);
    EXPECT_FALSE(o.c->KillTimerRunning());
    EXPECT_EQ(o.view.resetVisible, 0);
}

TEST(MainRules, ReconnectEntersTheRoomAskedForThenTheOneEnteredThenTheLinksNeverRoomZero) {
    struct Row {
        int32_t requested, entered, link, expected;
    } rows[] = {
        {1003, 0, 0, 1003},     // lost before the entry was answered
        {1003, 1002, 0, 1003},  // lost while moving to another room
        {0, 1002, 0, 1002},     // entered before this run kept the request
        {0, 0, 1002, 1002},     // lost before the join link's entry was sent
        {0, 0, 0, 0},           // nothing chosen yet: the room list again
        {-4, -1, -2, 0},        // nonsense is no room
    };
    for (const Row& r : rows)
        EXPECT_EQ(RoomToReenter(r.requested, r.entered, r.link), r.expected) << r.requested << " " << r.entered;
}

TEST(MainController, AFailedReconnectionLeavesTheLostSessionWithItsResetInsteadOfEndingTheRun) {
    // The server stays down: the reset's new start fails at the connect. The run goes on, lost,
    // with the reset offered and the ten-minute end counting again; a lost reset from a connected
    // state (the audio's reconnect) becomes a loss of its own.
    for (int stateBefore : {1, 0}) {
        SCOPED_TRACE(stateBefore);
        Offline o;
        std::vector<std::string> questions, information;
        int quits = 0, settingsOpened = 0;
        auto& h = o.dm->SessionHooks;
        h.Quit = [&](int) { ++quits; };
        h.AskYesNo = [&](const std::string& t) {
            questions.push_back(t);
            return true;  // configure the proxy
        };
        h.ShowInformation = [&](const std::string& t) { information.push_back(t); };
        h.OpenConnectionSettings = [&] { ++settingsOpened; };
        o.dm->ServerHost = "127.0.0.1";
        o.dm->ServerPort = 1;  // nothing listens
        if (stateBefore) o.c->ConnectionLost(stateBefore);
        const size_t chatBefore = o.view.chat.size();
        ASSERT_TRUE(o.c->ResetConnection());
        const size_t boxes = o.view.boxes.size();
        EXPECT_FALSE(o.c->ResetConnection()) << "a second press restarted the reconnection under way";
        EXPECT_EQ(o.view.boxes.size(), boxes);
        EXPECT_FALSE(o.c->KillTimerRunning());
        o.clock.Advance(TMainController::kReconnectDelayMs);
        o.loop.ProcessPending();
        ASSERT_EQ(questions.size(), 1u);
        EXPECT_NE(questions[0].find("Unable to establish a connection"), std::string::npos);
        EXPECT_EQ(settingsOpened, 1);
        EXPECT_TRUE(information.empty()) << "no \"will now close\": the run goes on";
        EXPECT_EQ(quits, 0);
        EXPECT_FALSE(o.dm->Reconnecting);
        EXPECT_GT(o.dm->Room.ConnectionState, 0);
        EXPECT_EQ(o.view.resetVisible, 1);
        EXPECT_TRUE(o.c->KillTimerRunning());
        EXPECT_EQ(o.view.chat.size(), stateBefore ? chatBefore : chatBefore + 1);
        o.clock.Advance(TMainController::kKillSessionIntervalMs);
        o.loop.ProcessPending();
        EXPECT_EQ(o.view.closed, 1);
    }
}

TEST(MainController, RoomCaptionCountsTheMinutesInTheRoom) {
    Offline o;
    o.c->RoomEntered(0);
    EXPECT_EQ(o.view.caption, " Room 0: ");
    o.clock.Advance(3 * TMainController::kSessionTimeIntervalMs);
    o.loop.ProcessPending();
    EXPECT_EQ(o.view.caption, " Room 0:  (You have been in this session for 3 min.)");
}

TEST(MainController, ModeratorTipsOnTheFirstEntryOfTheRunOnly) {
    Offline o;
    o.dm->OwnLoginInfo.SetLevel(1000);  // empty welcome text, tips switched on
    o.c->RoomEntered(0);
    o.c->RoomEntered(0);
    ASSERT_EQ(o.view.welcome.size(), 1u);
    EXPECT_TRUE(o.view.welcome[0].second);
    EXPECT_EQ(o.view.welcome[0].first, TMainController::kTipsAddress);
}

TEST(MainController, CloseAsksOnlyInsideARoom) {
    Offline o;
    EXPECT_TRUE(o.c->FormCloseQuery());
    EXPECT_TRUE(o.view.boxes.empty());
    o.dm->Room.InRoom = true;
    o.view.yes = false;
    EXPECT_FALSE(o.c->FormCloseQuery());
    EXPECT_EQ(o.view.boxes.back(), "Q:Do you want to exit current live session?");
}

TEST(MainController, FloorInputsAndARevokedMicrophone) {
    Offline o;
    o.dm->Room.VoiceRight = true;
    o.dm->OwnUserId = 7;
    o.dm->Participants.AddUser(7, "Me").maySpeak = true;
    // Without a connection nothing is queued, so count what the controller asks for instead.
    o.c->HookKey(17, 0);
    EXPECT_FALSE(o.c->PushToTalkHeld());  // the request could not be queued: not held
    o.c->HookKey(17, kKeyReleased);
    // A user level below 1000 makes a participant, whatever is greater than 0.
    o.c->HandleMessage(WM_APP_USERLEVEL, 7, 500);
    EXPECT_EQ(o.dm->Participants.FindUser(7)->role, urParticipant);
    EXPECT_FALSE(o.dm->Room.VoiceRight);
    o.c->HandleMessage(WM_APP_USERLEVEL, 7, 1000);
    EXPECT_EQ(o.dm->Participants.FindUser(7)->role, urModerator);
    EXPECT_TRUE(o.dm->Room.VoiceRight);
    EXPECT_EQ(o.dm->OwnLoginInfo.Level3(), 1000);
}

// Against the test room server: the whole road from the room list into a room.
TEST(MainController, RoomEntrySequenceInOrderWithItsProgressSteps) {
    test::TRoomServer server;
    test::TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    auto handshake = test::InstallRoomHandshake(server, script);
    test::TRoomService rooms(server, handshake);
    ASSERT_TRUE(server.Start());

    PlainEventLoop loop;
    Settings settings;
    FakeView view;
    RecordingProgress progress;
    WindowHandle self = 0;
    TMainController* controller = nullptr;
    self = loop.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) { controller->HandleMessage(m, w, l); });
    TDM dm(loop, self);
    dm.Progress = &progress;
    // The boards asked for at entry land on a real engine, which reports their loading.
    board::TDMBoardLink link(dm);
    board::TBoardEngine engine(link);
    board::TBoardMessages messages(engine, link);
    dm.BoardMessages = &messages;
    dm.BoardSink = &engine;
    TMainController c(dm, settings, view, self);
    controller = &c;
    c.Hooks.ShowLoginDialog = [&] {
        dm.ServerHost = "127.0.0.1";
        dm.ServerPort = server.Port();
        dm.OwnLoginInfo.SetUserName("moderator");
        dm.OwnLoginInfo.SetPassword("pw");
        return true;
    };
    view.onRoomList = [&] {
        dm.SendEnterRoom(1002);
        return 1002;
    };
    c.FormShow({});
    ASSERT_TRUE(loop.RunUntil([&] { return !server.ReceivedOfKind(vkRoomProfile).empty(); }, 10000));
    loop.RunUntil([&] { return dm.Room.InRoom && view.resetVisible == 0; }, 2000);

    std::vector<uint16_t> kinds;
    for (auto& m : server.Received())
        if (m.header.kind != vkHeartBeat && m.header.kind != vkBandwidth) kinds.push_back(m.header.kind);
    const std::vector<uint16_t> expected = {
        vkTimeZone, vkVideoPort, vkRoomList, vkEnterRoom, vkUserList, vkBoardContents, vkBoardContents,
        vkBoardContents, vkBoardContents, vkBoardContents, vkCurrentBoard, vkWebPage, vkViewModeQuery, vkKind148,
        vkUserRights, vkChatPermissionQuery, vkNotesSwitchQuery, vkBreakoutAllowed, vkRoomProfile};
    ASSERT_GE(kinds.size(), expected.size());
    EXPECT_EQ(std::vector<uint16_t>(kinds.begin(), kinds.begin() + long(expected.size())), expected);

    // Steps 9 to 15 of the entry as the sequence and the board loading show them.
    ASSERT_TRUE(loop.RunUntil([&] { return std::count(progress.steps.begin(), progress.steps.end(), 15) >= 5; }));
    std::vector<int> entry;
    for (int s : progress.steps)
        if (s >= 9 && s <= 14) entry.push_back(s);
    EXPECT_EQ(entry, (std::vector<int>{9, 10, 11, 12, 14, 14}));
    EXPECT_GT(std::find(progress.steps.begin(), progress.steps.end(), 15) - progress.steps.begin(),
              std::find(progress.steps.begin(), progress.steps.end(), 14) - progress.steps.begin());
    EXPECT_TRUE(dm.Room.InRoom);
    EXPECT_EQ(view.caption, " Room 1002: Main hall");
    EXPECT_TRUE(dm.Room.VoiceRight);  // a moderator
    EXPECT_EQ(view.resetVisible, 0);  // connected
    EXPECT_TRUE(view.welcome.empty());  // the room's welcome text is no web address: nothing opens

    // Push-to-talk on the wire: one request for a held key, the floor given back when the
    // microphone is revoked while the key is still down, nothing at the later release.
    auto count = [&](uint16_t kind) { return server.ReceivedOfKind(kind).size(); };
    dm.Participants.AddUser(dm.OwnUserId, "Moderator Tester").maySpeak = true;
    c.HookKey(17, 0);
    c.HookKey(17, kKeyRepeat);
    c.KeyDown(17, true);
    ASSERT_TRUE(loop.RunUntil([&] { return count(vkTakeMicrophone) >= 1; }));
    dm.Room.VoiceRight = false;  // as the revocation's handler leaves it before it posts
    c.HandleMessage(WM_APP_VOICERIGHT, 1, dm.OwnUserId);
    ASSERT_TRUE(loop.RunUntil([&] { return count(vkReleaseMicrophone) >= 1; }));
    c.HookKey(17, kKeyReleased);
    // F3 toggles Speak once per press once the right is back.
    c.HandleMessage(WM_APP_VOICERIGHT, 0, dm.OwnUserId);
    dm.Room.VoiceRight = true;
    c.KeyDown(kVkF3, false);
    c.KeyUp(kVkF3, false);
    ASSERT_TRUE(loop.RunUntil([&] { return count(vkTakeMicrophone) >= 2; }));
    EXPECT_TRUE(dm.Room.SpeakOn);
    server.WaitUntil([] { return false; }, 200);  // anything wrongly sent arrives meanwhile
    EXPECT_EQ(count(vkTakeMicrophone), 2u);
    EXPECT_EQ(count(vkReleaseMicrophone), 1u);
    // The user's own way out of the guided browser (Present, the view selector) tells the room
    // once; a switch that does not leave it says nothing.
    dm.BoardRight = true;
    c.SwitchMainView(mvBrowser);
    c.SwitchMainView(mvWhiteboard);
    c.SwitchMainView(mvWhiteboard);
    ASSERT_TRUE(loop.RunUntil([&] { return count(vkBrowserClosed) >= 1; }));
    server.WaitUntil([] { return false; }, 200);
    EXPECT_EQ(count(vkBrowserClosed), 1u);
    dm.LeaveSession();
    dm.BoardMessages = nullptr;
    dm.BoardSink = nullptr;
    server.Stop();
}

// A microphone that cannot capture (audio state 1): its meter drops to empty; Speak, F3 and the
// push-to-talk key ask for no floor, and the user is told why once, until the audio works again.
TEST(MainController, NoFloorWithoutAMicrophoneAndTheReasonOnce) {
    Offline o;
    o.dm->Room.VoiceRight = true;
    o.settings.PushToTalkKey = 17;
    o.c->HandleMessage(WM_APP_AUDIOSTATE, 0, 0);
    o.c->HandleMessage(WM_APP_MICLEVEL, 505, 1);
    EXPECT_EQ(o.view.micMeter, 51);
    o.c->HandleMessage(WM_APP_AUDIOSTATE, 1, 0);
    EXPECT_EQ(o.view.micMeter, 0);
    o.c->KeyUp(kVkF3, false);
    o.c->SpeakToggle();
    o.c->HookKey(17, 0);
    o.c->KeyDown(17, false);
    EXPECT_FALSE(o.dm->Room.SpeakOn);
    EXPECT_FALSE(o.c->PushToTalkHeld());
    ASSERT_EQ(o.view.chat.size(), 1u);
    EXPECT_NE(o.view.chat[0].find("microphone does not work"), std::string::npos);
    // Working again, then failing again: told again.
    o.c->HandleMessage(WM_APP_AUDIOSTATE, 0, 0);
    o.c->HandleMessage(WM_APP_AUDIOSTATE, 1, 0);
    o.c->KeyUp(kVkF3, false);
    EXPECT_EQ(o.view.chat.size(), 2u);
}
