#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <filesystem>
#include <fstream>

#include "commands/commands.h"
#include "local_process.h"
#include "program.h"
#include "protocol/message_kinds.h"
#include "protocol/vcr_header.h"
#include "roomserver/room_handshake.h"
#include "registry/registry.h"
#include "util/folders.h"
#include "ui_frm_main.h"
#include "ui_post_it.h"

namespace fs = std::filesystem;
using namespace orb;

namespace {

const std::vector<std::string> kOrder = {
    "TfOrbeloMain",           "TDM",
    "TfrmBoard",              "TfrmRequest",
    "TfrmUserList",           "TfrmBrowser",
    "TfrmSharedDocuments",    "TfrmUserControl",
    "TfrmBoardControls",      "TfrmWebLinks",
    "TfrmPollresults",        "TfrmProgress",
    "TfrmPlayer",             "TfrmAppShareViewWindow",
    "TfrmRemoteAudioControl", "TfrmConnectionSpeedChooser",
    "TfrmBreakOutRooms",      "TfrmPresentations",
    "TfrmNewAppShareSettings", "TfrmAppShare_Control",
    "TfrmAttendeeSelect",     "TfrmTextMessages",
    "TfrmChatHolder",         "TfrmSilenceSuppression",
};

class Program : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_program";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("orb_prog_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "bin");
        fs::create_directories(root_ / "tmp");
        opts_.executable = root_ / "bin" / "OrbeloLive6";
        auto& s = opts_.services;
        s.readDebugLevel = [this] { log_.push_back("readDebugLevel"); return 3; };
        // The version values go before the folders are made, the install path after them.
        s.writeVersionValues = [this] {
            log_.push_back(fs::exists(root_ / "bin" / "LocalData") ? "writeVersionValues late" : "writeVersionValues");
        };
        s.writeInstallPath = [this](const std::string& exe) {
            log_.push_back(fs::exists(root_ / "bin" / "LocalData") ? "writeInstallPath" : "writeInstallPath early");
            values_["InstallPath"] = exe;
        };
        s.loadSettings = [this](const std::string& folder) { log_.push_back("loadSettings " + folder); };
        s.saveSettings = [this] { log_.push_back("saveSettings"); return true; };
        s.temporaryFolder = [this] { return std::optional<std::string>((root_ / "tmp" / "OrbeloTemp").string()); };
        s.registerShellTypes = [this](const std::string&, const std::string& ext, const std::string& desc,
                                      const std::string& icon) { log_.push_back("register " + ext + " " + desc + " " + icon); };
        s.setScriptDebuggerDisabled = [this](const std::string& v) { log_.push_back("scriptDebugger " + v); };
        s.installKeyboardHook = [this] { log_.push_back("installKeyboardHook"); };
        s.writeVersionFile = [this](const std::string& folder) { log_.push_back("writeVersionFile " + folder); };
        s.leaveSession = [this] { log_.push_back("leaveSession"); };
        s.stopTransfers = [this] { log_.push_back("stopTransfers"); };
        s.roomConnected = [] { return true; };
        s.disconnectRoom = [this] { log_.push_back("disconnect"); };
        s.freeSharedObjects = [this] { log_.push_back("freeSharedObjects"); };
        opts_.clock = &clock_;
        opts_.onCreated = [this](const std::string& n) { created_.push_back(n); };
    }
    void TearDown() override {
        reg::Registry::Default().Reconfigure(reg::Registry::DefaultFolders());
        fs::remove_all(root_);
    }

    // Everything the user's environment would name goes into this test's folder.
    void PrivateEnvironment() {
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            fs::create_directories(root_ / var);
            ::setenv(var, (root_ / var).c_str(), 1);
        }
        reg::Registry::Default().Reconfigure({root_ / "registry", root_ / "machine"});
    }

    fs::path root_;
    FakeClock clock_;
    TProgramOptions opts_;
    std::vector<std::string> log_;
    std::map<std::string, std::string> values_;
    std::vector<std::string> created_;
};

}  // namespace

TEST_F(Program, CancelledLoginEndsTheRunWithMinusOneAfterAnOrderlyShutDown) {
    fs::path tempFolder;
    opts_.showLoginDialog = [&] {
        log_.push_back("login");
        tempFolder = root_ / "tmp" / "OrbeloTemp";
        std::ofstream(tempFolder / "tmp123.jpg") << "received";
        fs::create_directories(tempFolder / "sub");
        std::ofstream(root_ / "keep.txt") << "not ours to delete";
        fs::create_directory_symlink(root_, tempFolder / "sub" / "link");
        return false;
    };
    bool started = false;
    opts_.startRun = [&](LaunchKind, const std::string&) { started = true; };
    {
        TProgram program(opts_);
        program.CreateForms();
        EXPECT_EQ(created_, kOrder);
        EXPECT_EQ(QApplication::applicationName(), "Orbelo Live Browser");
        EXPECT_EQ(program.Main()->windowTitle(), "Orbelo Live Browser");
        ASSERT_EQ(program.Windows().size(), 22u);
        for (size_t i = 0; i < 22; ++i)
            EXPECT_EQ(program.Windows()[i]->metaObject()->className(), kOrder[i + 2]);
        EXPECT_NE(program.Form<TfrmChatHolder>(), nullptr);
        EXPECT_EQ(program.DM().DebugLevel(), 3);
        EXPECT_TRUE(program.DM().TipsNotShown());
        EXPECT_EQ(program.Run(), -1);
        EXPECT_EQ(program.Main(), nullptr);  // everything freed
    }
    EXPECT_FALSE(started);
    std::vector<std::string> expected = {
        "readDebugLevel",
        "writeVersionValues",
        "writeInstallPath",
        "loadSettings " + (root_ / "bin").string() + "/",
        "register .ob6 Orbelo Live 6 Recorded Session " + (root_ / "bin" / "OrbeloLive6").string() + ",0",
        "scriptDebugger yes",
        "installKeyboardHook",
        "writeVersionFile " + (root_ / "bin").string() + "/",
        "login",
        "saveSettings",
        "leaveSession",
        "stopTransfers",
        "disconnect",
        "freeSharedObjects",
    };
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(clock_.NowMs(), 1'000'000 + 200);  // the pause before disconnecting
    EXPECT_EQ(values_["InstallPath"], (root_ / "bin" / "OrbeloLive6").string());
    EXPECT_TRUE(fs::is_directory(root_ / "bin" / "LocalData"));
    EXPECT_TRUE(fs::is_directory(root_ / "bin" / "UserImages"));
    ASSERT_TRUE(fs::is_directory(tempFolder));  // emptied and made again
    EXPECT_TRUE(fs::is_empty(tempFolder));
    EXPECT_TRUE(fs::exists(root_ / "keep.txt"));  // a link inside is removed, not followed
}

TEST_F(Program, JoinLinkSkipsTheLoginDialog) {
    opts_.args = {"ORB6JOIN%3A%2F%2F127.0.0.1%2C9910%2Canna%2Cs%20e%2C7"};
    opts_.showLoginDialog = [&] { ADD_FAILURE() << "login dialog shown"; return false; };
    LaunchKind kind = lkNone;
    opts_.startRun = [&](LaunchKind k, const std::string&) {
        kind = k;
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    };
    TProgram program(opts_);
    program.CreateForms();
    TLinkValues link;
    QObject::connect(program.Main(), &TfOrbeloMain::FirstShown, [&] { QTimer::singleShot(0, [&] { link = program.DataModule().Link; }); });
    EXPECT_EQ(program.Run(), 0);
    EXPECT_EQ(kind, lkJoinLink);
    EXPECT_EQ(link.server, "127.0.0.1");
    EXPECT_EQ(link.password, "s e");
    EXPECT_EQ(link.roomNumber, 7);
}

TEST_F(Program, PlayArgumentsAndAFailingShutDownStepDoNotStopTheRest) {
    opts_.args = {"play", "/rec/Lesson One.ob6"};
    opts_.services.saveSettings = [this] { log_.push_back("saveSettings"); return false; };
    opts_.services.leaveSession = [this] { log_.push_back("leaveSession"); throw std::runtime_error("socket"); };
    TProgram program(opts_);
    program.CreateForms();
    EXPECT_TRUE(program.DM().PlaybackMode());
    EXPECT_TRUE(program.DataModule().PlaybackMode);  // what the handlers read
    EXPECT_EQ(program.DM().RecordingName(), "/rec/Lesson One.ob6");
    EXPECT_EQ(program.ShowChatPopup("hi", "Anna"), nullptr);  // no chat pop-ups while replaying
    log_.clear();
    program.Shutdown();
    std::vector<std::string> expected = {"saveSettings", "leaveSession", "stopTransfers", "disconnect",
                                          "freeSharedObjects"};
    EXPECT_EQ(log_, expected);
}

TEST_F(Program, ChatPopupShowsSenderTextAndTimeUnlessSwitchedOff) {
    TProgram program(opts_);
    program.CreateForms();
    QPointer<TfrmPostIt> note = program.ShowChatPopup("see page 4", "Anna");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->ChatNotice());
    EXPECT_EQ(note->ui()->lbFrom->text(), "Anna");
    EXPECT_EQ(note->ui()->lbDescription->toPlainText(), "see page 4");
    EXPECT_TRUE(QTime::fromString(note->ui()->lbTime->text(), "hh:mm").isValid());
    EXPECT_EQ(note->parentWidget(), nullptr);
    note->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(note);

    program.ClientSettings().DonPopUpChatMessages = true;
    EXPECT_EQ(program.ShowChatPopup("again", "Anna"), nullptr);
}

TEST_F(Program, PenCursorFromTheCursorsFolder) {
    fs::create_directories(root_ / "bin" / "Cursors");
    QImage pen(16, 16, QImage::Format_ARGB32);
    pen.fill(Qt::black);
    ASSERT_TRUE(pen.save(QString::fromStdString((root_ / "bin" / "Cursors" / "pen_2.cur").string()), "PNG"));
    opts_.services.loadPenCursor = nullptr;  // the program's own loader
    TProgram program(opts_);
    program.CreateForms();
    EXPECT_EQ(program.PenCursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(program.PenCursor().hotSpot(), QPoint(0, 15));
}

TEST_F(Program, ReadOnlyProgramFolderStillStarts) {
    fs::permissions(root_ / "bin", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    opts_.services.writeVersionFile = [](const std::string&) { throw std::runtime_error("read-only"); };
    TProgram program(opts_);
    program.CreateForms();
    EXPECT_EQ(created_.size(), 24u);  // folders and the version file fail quietly
    fs::permissions(root_ / "bin", fs::perms::owner_all, fs::perm_options::replace);
}

TEST_F(Program, MissingOrForeignRecordingEndsTheRunWithItsMessage) {
    std::ofstream(root_ / "talk.mp3") << "x";
    for (auto [arg, message] : std::vector<std::pair<std::string, std::string>>{
             {(root_ / "gone.ob6").string(), "The file cannot be located.\r\n" + (root_ / "gone.ob6").string()},
             {(root_ / "talk.mp3").string(),
              "The file/stream cannot be played with the current version.\r\nUnknown file extension (.mp3)."}}) {
        created_.clear();
        opts_.args = {arg};
        std::vector<std::string> errors;
        opts_.showError = [&](const std::string& e) { errors.push_back(e); };
        bool started = false;
        opts_.startRun = [&](LaunchKind, const std::string&) { started = true; };
        TProgram program(opts_);
        program.CreateForms();
        EXPECT_EQ(program.Run(), 0);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], message);
        EXPECT_FALSE(started);
    }
}

TEST_F(Program, FloatingToolWindows) {
    TProgram program(opts_);
    program.CreateForms();
    auto* users = program.Form<TfrmUserList>();
    users->setParent(program.Main());
    program.FloatToolForm(users);
    EXPECT_EQ(users->parentWidget(), nullptr);
    EXPECT_EQ(users->windowType(), Qt::Tool);
    EXPECT_TRUE(users->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(users->isVisible());

    auto* rooms = program.Form<TfrmBreakOutRooms>();
    rooms->setParent(program.Main());
    program.FloatToolForm(rooms);
    EXPECT_EQ(rooms->windowType(), Qt::Window);
    EXPECT_TRUE(rooms->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Program, ModalBoxesOpenAboveStayOnTopWindowsAndClosingWindowsNeverEndTheRun) {
    TProgram program(opts_);
    program.CreateForms();
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    QMessageBox plain(QMessageBox::Information, "Orbelo Live Browser", "no window on top");
    bool plainAbove = true;
    QTimer::singleShot(0, &plain, [&] {
        plainAbove = plain.windowHandle()->flags() & Qt::WindowStaysOnTopHint;
        plain.done(0);
    });
    plain.exec();
    EXPECT_FALSE(plainAbove);

    // The floating share viewer covers two thirds of the screen and stays on top.
    QWidget onTop(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    onTop.show();
    QMessageBox box(QMessageBox::Critical, "Orbelo Live Browser", "Unable to open file.", QMessageBox::Ok,
                    program.Main());
    bool above = false, active = false;
    QTimer::singleShot(0, &box, [&] {
        QCoreApplication::processEvents();
        above = box.windowHandle()->flags() & Qt::WindowStaysOnTopHint;
        active = QApplication::activeModalWidget() == &box;
        box.done(0);
    });
    box.exec();
    EXPECT_TRUE(above);
    EXPECT_TRUE(active);
}

TEST_F(Program, AStreamOfPollsAndPushedDocumentsOpensAFewWindows) {
    TProgram program(opts_);
    program.CreateForms();
    TDM& dm = program.DataModule();
    dm.OwnUserId = 7;
    dm.Participants.AddUser(9, "Teacher").level = 1000;
    TPollInfo poll;
    poll.fromId = 9;
    poll.pingType = TPollInfo::ptPoll;
    auto count = [](const char* name) {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) n += w->inherits(name) && w->isVisible();
        return n;
    };
    for (int i = 0; i < 20; ++i) {
        poll.question = "Question " + std::to_string(i);
        program.Main()->PollWindowOpener(poll);
        // The same pushed document asked twice, and many others.
        dm.LibraryView->AskOpenDocument("Open document " + std::to_string(i / 2) + "?", {});
    }
    EXPECT_EQ(count("TfrmExam"), TProgram::kMaxReceivedWindows);
    EXPECT_EQ(count("TfrmMessageDlg"), TProgram::kMaxReceivedWindows);
    // A closed one makes room for the next.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("TfrmExam") && w->isVisible()) {
            w->close();
            break;
        }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    program.Main()->PollWindowOpener(poll);
    EXPECT_EQ(count("TfrmExam"), TProgram::kMaxReceivedWindows);
    EXPECT_LE(program.OpenedWindows().size(), 2 * TProgram::kMaxReceivedWindows);
    program.Shutdown();
}

TEST_F(Program, RealSettingsStoreIsReadAtStartAndWrittenAtExit) {
    PrivateEnvironment();
    auto key = reg::Registry::Default().Create(reg::HKEY_CURRENT_USER, kSettingsKey);
    ASSERT_TRUE(key);
    key.WriteDWord("DebugLevel", 2);
    key.WriteDWord("ColorTheme", 3);

    TProgramOptions opts;
    opts.executable = opts_.executable;
    opts.clock = &clock_;
    opts.services.installKeyboardHook = [] {};
    fs::path temp;
    opts.showLoginDialog = [&] {
        temp = *ProgramTempFolder();
        std::ofstream(fs::path(temp) / "leftover.jpg") << "x";
        return false;
    };
    {
        TProgram program(opts);
        program.CreateForms();
        EXPECT_EQ(program.DM().DebugLevel(), 2);
        EXPECT_EQ(program.PenCursor().shape(), Qt::ArrowCursor);  // no cursor file: ignored
        EXPECT_EQ(program.ClientSettings().ColorTheme, 3);
        program.ClientSettings().ColorTheme = 1;  // changed during the run
        EXPECT_EQ(program.Run(), -1);
    }
    key = reg::Registry::Default().Open(reg::HKEY_CURRENT_USER, kSettingsKey);
    EXPECT_EQ(key.ReadString("Version").value_or(""), "6.2");
    EXPECT_EQ(key.ReadString("VersionDate").value_or(""), "Mar-01-2009");
    EXPECT_EQ(key.ReadString("InstallPath").value_or(""), opts.executable.string());
    EXPECT_EQ(key.ReadDWord("ColorTheme").value_or(0), 1u);  // saved at exit
    EXPECT_TRUE(fs::exists(root_ / "bin" / "Version6.ini"));
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(fs::is_directory(temp));
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(Program, JoinLinkSignsInAndEntersTheLinksRoomOfARealServer) {
    PrivateEnvironment();
    test::TRoomServer server;
    test::TRoomHandshakeScript script;
    script.rooms = {{12, "Physics"}, {13, "Lab"}};
    auto handshake = test::InstallRoomHandshake(server, script);
    ASSERT_TRUE(server.Start());

    TProgramOptions opts;
    opts.executable = opts_.executable;
    opts.services.installKeyboardHook = [] {};
    opts.args = {"orb6join:/127.0.0.1," + std::to_string(server.Port()) + ",ana,pass%20word,12/"};
    opts.showLoginDialog = [] {
        ADD_FAILURE() << "login dialog shown";
        return false;
    };
    std::vector<std::string> errors;
    opts.configureDataModule = [&](TDM& dm) {
        dm.SessionHooks.ShowError = [&](const std::string& e) { errors.push_back(e); };
    };
    TProgram program(opts);
    program.CreateForms();
    std::vector<std::string> boxes;
    program.Main()->MessageBoxOverride = [&](int, const std::string& text, int buttons) {
        boxes.push_back(text);
        return int(buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    };
    // Close the main window once the room entry has arrived (or give up after a while).
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!server.ReceivedOfKind(vkEnterRoom).empty()) program.Main()->close();
    });
    poll.start(20);
    QTimer::singleShot(15000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(program.Run(), 0);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(handshake->LoginName(), "ana");
    EXPECT_EQ(handshake->LoginPassword(), "pass word");
    auto enter = server.ReceivedOfKind(vkEnterRoom);
    ASSERT_EQ(enter.size(), 1u);
    EXPECT_EQ(enter[0].header.room, 12);
    ASSERT_GE(enter[0].body.size(), 4u);
    EXPECT_EQ(enter[0].body[0], 12);
    EXPECT_FALSE(server.ReceivedOfKind(vkTimeZone).empty());
    EXPECT_TRUE(server.ReceivedOfKind(vkRoomList).empty());  // no room list for a link
}

TEST_F(Program, RecordingAddressThatCannotBeReachedEndsTheRun) {
    orbtest::LocalProcess http;
    ASSERT_TRUE(http.Start({"python3", ORB_TEST_DIR "/http_server.py"}, true));
    std::string host = "127.0.0.1:" + http.FirstLine();
    for (auto [path, reachable] : std::vector<std::pair<std::string, bool>>{{"/Rec/Lesson.tm6", true},
                                                                             {"/rec/gone.tm6", false}}) {
        opts_.args = {"ORB6URL://" + host + path};
        std::vector<std::string> errors;
        opts_.showError = [&](const std::string& e) { errors.push_back(e); };
        std::string value;
        opts_.startRun = [&](LaunchKind k, const std::string& v) {
            EXPECT_EQ(k, lkRecordingUrl);
            value = v;
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        };
        TProgram program(opts_);
        program.CreateForms();
        EXPECT_EQ(program.Run(), 0);
        if (reachable) {
            EXPECT_TRUE(errors.empty());
            EXPECT_EQ(value, "http://" + host + "/Rec/Lesson.tm6");  // the path keeps its case
        } else {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0], "The specified URL cannot be accessed.\r\nhttp://" + host +
                                     "/rec/gone.tm6\r\nThis recorded session may no longer be available.");
            EXPECT_TRUE(value.empty());
        }
    }
}

TEST_F(Program, ParticipantRowCommandsReachWebCamsRemoteAudioSharingAndThePlayer) {
    TProgram program(opts_);
    program.CreateForms();
    TDM& dm = program.DataModule();
    auto* commands = program.Main()->findChild<room::TCommands*>(QStringLiteral("TDMCommands"));
    auto* list = program.Form<TfrmUserList>();
    auto* remote = program.Form<TfrmRemoteAudioControl>();
    ASSERT_TRUE(commands && list && remote);
    std::vector<std::pair<int32_t, bool>> opened;
    dm.VideoHooks.OpenVideoWindow = [&](int32_t user, bool publish) -> video::IVideoWindow* {
        opened.emplace_back(user, publish);
        return nullptr;
    };
    dm.OwnUserId = 1;
    dm.OwnLoginInfo.SetLevel(1000);
    dm.Participants.AddUser(1, "Me");
    dm.Participants.AddUser(7, "Zo\xc3\xab").camState = csPublishing;

    // The menu and the camera click see the row just selected, before the idle timer runs.
    dm.Participants.SetSelected(7);
    list->RefreshMenuActions();
    list->MenuAction("acViewWebCam")->trigger();
    dm.Participants.SetSelected(0);
    commands->UpdateAll();
    list->lvUsersCamImageClick(7);
    EXPECT_EQ(opened, (std::vector<std::pair<int32_t, bool>>{{7, false}, {7, false}}));

    list->RefreshMenuActions();
    list->MenuAction("acRemoteAudioControl")->trigger();
    EXPECT_TRUE(remote->isVisible());
    EXPECT_EQ(remote->Target(), 7);
    remote->hide();
    // Not for the own row.
    dm.Participants.SetSelected(1);
    list->RefreshMenuActions();
    EXPECT_FALSE(list->MenuAction("acRemoteAudioControl")->isEnabled());

    // Remote control only while the own share runs, for another row.
    EXPECT_FALSE(list->MenuAction("acAppSharegiveControl")->isEnabled());
    commands->StateHooks.shareState = [] { return uint8_t(1); };
    commands->StateHooks.sharingUser = [] { return 1; };
    dm.Participants.SetSelected(7);
    list->RefreshMenuActions();
    for (auto id : {chat::acAppSharegiveControl, chat::acAppShare_GiveShort, chat::acAppShareTakeControl,
                    chat::acAppShare_TakeShort})
        EXPECT_TRUE(commands->Action(id)->isEnabled()) << chat::CommandInfo(id).name;

    // The share session's row icons.
    ASSERT_TRUE(dm.OnShareRowState);
    for (auto [state, shown] : std::vector<std::pair<int, int32_t>>{{1, 1}, {2, 2}, {5, 0}, {0, 0}}) {
        dm.OnShareRowState(7, state);
        EXPECT_EQ(dm.Participants.FindUser(7)->shareState, shown) << state;
    }
    dm.OnShareRowState(99, 1);  // no such row

    // The player commands: play while not playing, pause and fast forward while playing.
    commands->UpdateAll();
    EXPECT_TRUE(commands->Action(chat::acPlay)->isEnabled());
    EXPECT_FALSE(commands->Action(chat::acPlay_Pause)->isEnabled());
    EXPECT_FALSE(commands->Action(chat::acPlay_FF)->isEnabled());
    EXPECT_TRUE(commands->Action(chat::acPlay_Stop)->isEnabled());

    // Every command has a handler except those that carry only their captions.
    std::vector<std::string> idle;
    for (const chat::TCommandInfo& info : chat::Commands())
        if (!commands->Available(info.id)) idle.push_back(info.name);
    EXPECT_EQ(idle, (std::vector<std::string>{"acCaptureBoard", "acRoomInfo", "acSharedDocs",
                                              "acTextChat", "acStopVideoSession", "acPlay_REW"}));
}

TEST_F(Program, RoomEntryResetsTheBoardToolAndTheLock) {
    TProgram program(opts_);
    program.CreateForms();
    TDM& dm = program.DataModule();
    auto* commands = program.Main()->findChild<room::TCommands*>(QStringLiteral("TDMCommands"));
    auto* board = program.Form<TfrmBoard>();
    ASSERT_TRUE(commands && board && board->Engine());
    QAction* lock = commands->Action(chat::acCaptureBoard);
    lock->setCheckable(true);
    lock->setChecked(true);
    board->SelectTool(board::btFreeHand);
    ASSERT_EQ(board->Engine()->Tool(), board::btFreeHand);
    dm.ResetRoomState();
    EXPECT_FALSE(lock->isChecked());
    EXPECT_EQ(board->Engine()->Tool(), board::btNone);
    EXPECT_TRUE(board->ToolButton(board::btNone)->isChecked());
}

// The room's floor release for the own user lets go of the Speak button, also one held down.
TEST_F(Program, OwnFloorReleaseLetsGoOfTheSpeakButton) {
    TProgram program(opts_);
    program.CreateForms();
    TDM& dm = program.DataModule();
    dm.OwnUserId = 7;
    QToolButton* speak = program.Main()->Ui().btnSpeak;
    speak->setChecked(true);
    speak->setDown(true);
    TVCRHeader h;
    InitVCRHeader(vkReleaseMicrophone, 7, 1002, h);
    dm.DispatchCommand(h, BuildPacketStream(h, nullptr, 0));
    EXPECT_FALSE(speak->isDown());
    EXPECT_FALSE(speak->isChecked());
}
