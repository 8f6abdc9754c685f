#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "dm/dm.h"
#include "handshake_server.h"
#include "helpers.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "registry/registry.h"
#include "settings/settings.h"
#include "session/result_texts.h"
#include "wire_bytes.h"

using namespace orb;
using namespace orbtest;
namespace fs = std::filesystem;

namespace {

const char* kProxyQuestionEnd =
    "\r\nTo configure the Proxy settings press the Yes button. To try again later press the No button.";

struct RecordingProgress final : IProgressView {
    std::vector<std::pair<int, std::string>> steps;
    bool visible = false;
    int range = 0;
    void ShowCentered() override { visible = true; }
    void SetRange(int m) override { range = m; }
    void SetStep(int p, const std::string& t) override { steps.emplace_back(p, t); }
    void HideProgress() override { visible = false; }
};

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The data module against a test room server, with the program's windows and boxes recorded.
class Session : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        dm_.ProgramFolder = dir_;
        dm_.Progress = &progress_;
        dm_.ConnectionSpeed = 65536;
        dm_.OwnLoginInfo.SetUserName("ana");
        dm_.OwnLoginInfo.SetPassword("pw");
        auto& h = dm_.SessionHooks;
        h.ShowError = [this](const std::string& t) { errors_.push_back(t); };
        h.ShowInformation = [this](const std::string& t) { infos_.push_back(t); };
        h.AskYesNo = [this](const std::string& t) {
            asked_.push_back(t);
            return answerYes_;
        };
        h.OpenConnectionSettings = [this] { calls_.push_back("settings"); };
        h.OpenWithShell = [this](const std::string& p) {
            shellPath_ = p;
            return true;
        };
        h.Quit = [this](int code) { quit_ = code; };
        h.SaveServerAddress = [this](const std::string& host, uint16_t port) {
            calls_.push_back("save " + host + ":" + std::to_string(port));
        };
        h.SaveSignInAccount = [this](int32_t id, const std::string& name, const std::string& pw) {
            calls_.push_back("account " + std::to_string(id) + " " + name + " " + pw);
        };
        h.InitWhiteboards = [this] { calls_.push_back("boards"); };
        h.SetWindowTitle = [this](const std::string& t) { calls_.push_back("title " + t); };
        h.SetServerCaption = [this](const std::string& t) { calls_.push_back("server" + t); };
        h.SetRoomCaption = [this](const std::string& t) { calls_.push_back("room" + t); };
        h.StopVoiceThread = [this] { calls_.push_back("voice stop"); };
        h.CaptureBoard = [this] { calls_.push_back("board lock"); };
    }
    void TearDown() override {
        dm_.LeaveSession();
        RemoveDir(dir_);
    }
    void Use(HandshakeServer& server) {
        dm_.ServerHost = "127.0.0.1";
        dm_.ServerPort = server.port();
    }
    // Waits for a posted message to the main window and returns its wParam.
    std::optional<std::intptr_t> WaitPosted(uint32_t msg) {
        std::optional<std::intptr_t> got;
        loop_.RunUntil([&] {
            for (auto& m : posted_)
                if (m.msg == msg) got = m.wParam;
            return got.has_value();
        });
        return got;
    }

    FakeClock clock_;
    PlainEventLoop loop_{clock_};
    std::vector<PostedMessage> posted_;
    WindowHandle main_ = loop_.RegisterWindow([this](uint32_t m, std::intptr_t w, std::intptr_t l) {
        posted_.push_back({0, m, w, l, 0});
    });
    TDM dm_{loop_, main_};
    RecordingProgress progress_;
    std::string dir_;
    std::vector<std::string> errors_, infos_, asked_, calls_;
    bool answerYes_ = false;
    int quit_ = INT_MIN;
    std::string shellPath_;
};

}  // namespace

TEST_F(Session, RoomEntryHappyPathKeepsThreadsAndHeartbeatRunningUntilLeaveStopsThemInOrder) {
    HandshakeScript script;
    script.startupFileName = "intro.html";
    script.startupFile = "<h1>hi</h1>";
    HandshakeServer server(script);
    Use(server);
    dm_.RememberMe = true;

    const int64_t started = clock_.NowMs();
    ASSERT_TRUE(dm_.StartSession()) << (errors_.empty() ? "" : errors_[0]);
    std::vector<std::pair<int, std::string>> want = {{0, "Trying to connect to remote server..."},
                                                     {1, "Checking for updates..."},
                                                     {2, "Validating user info..."},
                                                     {3, "User account validated."},
                                                     {3, "Getting startup information."},
                                                     {4, "Init whiteboards..."},
                                                     {5, "Starting communication services..."}};
    EXPECT_EQ(progress_.steps, want);
    EXPECT_EQ(progress_.range, 17);
    EXPECT_TRUE(progress_.visible);
    EXPECT_EQ(server.LoginName(), "ana");
    EXPECT_EQ(server.LoginPassword(), "pw");
    EXPECT_EQ(dm_.OwnUserId, 501);
    EXPECT_EQ(dm_.LoginText, "server-token");
    EXPECT_EQ(dm_.StartupInfo.WelcomeText(), "Welcome to the test server");
    EXPECT_EQ(ReadAll(dir_ + "/intro.html"), "<h1>hi</h1>");
    std::vector<std::string> wantCalls = {"save 127.0.0.1:" + std::to_string(server.port()), "account 501 ana pw",
                                          "boards", "title Ana Lima in a virtual session",
                                          "server Server: 127.0.0.1:" + std::to_string(server.port()),
                                          "room Room: Not selected"};
    EXPECT_EQ(calls_, wantCalls);
    EXPECT_TRUE(dm_.SessionRunning);
    ASSERT_NE(dm_.ReaderThread(), nullptr);
    ASSERT_NE(dm_.WriterThread(), nullptr);
    EXPECT_NE(dm_.HeartBeatTimer(), 0);

    // The uplink limit for 64 KB/s, on the writer and to the server.
    EXPECT_EQ(dm_.SendLimit, 10035);
    EXPECT_EQ(dm_.WriterThread()->SendRate(), 10035);
    ASSERT_TRUE(server.WaitFor([&] { return server.Bandwidth().first != 0; }));
    EXPECT_EQ(server.Bandwidth(), (std::pair<int32_t, int32_t>(65536, 10035)));

    // A second connect to the same host and port keeps the connection.
    EXPECT_EQ(dm_.ConnectToServer("127.0.0.1", server.port()), 0);
    EXPECT_EQ(server.Connections(), 1);

    calls_.clear();
    ASSERT_TRUE(dm_.SendRoomListRequest());
    EXPECT_EQ(progress_.steps.back(), (std::pair<int, std::string>(6, "Loading Virtual Rooms...")));
    ASSERT_EQ(WaitPosted(WM_APP_ROOMLIST), 0);
    ASSERT_EQ(dm_.RoomList.size(), 2u);
    EXPECT_EQ(dm_.RoomList[0].roomNumber, 1002);
    EXPECT_EQ(dm_.RoomList[1].roomName, "Lab");
    // The main window shows the list from the data module: no hook is called.
    EXPECT_EQ(dm_.ServerHost, "127.0.0.1");
    EXPECT_TRUE(calls_.empty());

    calls_.clear();
    ASSERT_TRUE(dm_.SendEnterRoom(1002));
    EXPECT_EQ(progress_.steps.back(), (std::pair<int, std::string>(8, "Validating...")));
    EXPECT_EQ(calls_, std::vector<std::string>{"voice stop"});
    ASSERT_EQ(WaitPosted(WM_APP_ROOMENTERED), 0);
    EXPECT_EQ(dm_.VoicePort, 9911);
    EXPECT_EQ(dm_.FileTransferPort, 9912);
    EXPECT_EQ(dm_.MainRoomNumber, 1002);
    EXPECT_EQ(dm_.OwnRoom, 1002);
    EXPECT_EQ(dm_.RoomInfo.RoomName(), "Main hall");
    EXPECT_EQ(dm_.Speakers, 4);
    EXPECT_EQ(dm_.VoiceCodecIndex, 2);

    // Kind 100 is answered with a heartbeat; the timer sends one every 30 s.
    int before = server.HeartBeats();
    server.SendKeepAlive();
    ASSERT_TRUE(loop_.RunUntil([&] { return server.HeartBeats() > before; }));
    // The writer's pacing sleeps move the fake clock too: count from the session's start.
    before = server.HeartBeats();
    ASSERT_LT(clock_.NowMs(), started + 29999);
    clock_.Advance(started + 29999 - clock_.NowMs());
    loop_.ProcessPending();
    EXPECT_FALSE(server.WaitFor([&] { return server.HeartBeats() > before; }, 200));
    clock_.Advance(1);
    ASSERT_TRUE(loop_.RunUntil([&] { return server.HeartBeats() > before; }));
    EXPECT_TRUE(dm_.SendTimeZone());
    ASSERT_TRUE(server.WaitFor([&] { return server.Kinds().back() == vkTimeZone; }));

    // Leaving runs in order: board lock (heartbeat still on), heartbeat off, voice stop (reader and
    // writer still running), then the reader and the writer.
    auto state = [this] {
        return std::string(dm_.HeartBeatTimer() ? " heartbeat" : "") + (dm_.ReaderThread() ? " reader" : "") +
               (dm_.WriterThread() ? " writer" : "");
    };
    dm_.SessionHooks.CaptureBoard = [this, state] { calls_.push_back("board lock" + state()); };
    dm_.SessionHooks.StopVoiceThread = [this, state] { calls_.push_back("voice stop" + state()); };
    calls_.clear();
    dm_.LeaveSession();
    EXPECT_EQ(calls_, (std::vector<std::string>{"board lock heartbeat reader writer", "voice stop reader writer"}));
    EXPECT_EQ(dm_.ReaderThread(), nullptr);
    EXPECT_EQ(dm_.WriterThread(), nullptr);
    EXPECT_EQ(dm_.HeartBeatTimer(), 0);
    EXPECT_FALSE(dm_.SessionRunning);
    before = server.HeartBeats();
    clock_.Advance(60000);
    loop_.ProcessPending();
    EXPECT_EQ(server.HeartBeats(), before);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Session, RoomEntryRefusalsAndAShortReplyStillReachTheWindow) {
    HandshakeScript script;
    script.refusedRooms = {{1003, 51}};
    HandshakeServer server(script);
    Use(server);
    ASSERT_TRUE(dm_.StartSession());
    dm_.SendEnterRoom(1003);
    EXPECT_EQ(WaitPosted(WM_APP_ROOMENTERED), 51);
    EXPECT_EQ(dm_.MainRoomNumber, 0);
    posted_.clear();
    dm_.SendEnterRoom(4242);
    EXPECT_EQ(WaitPosted(WM_APP_ROOMENTERED), 18);
    EXPECT_EQ(dm_.VoicePort, 0);
    EXPECT_EQ(ServerErrorText(18), "Invalid Virtual Room Number.");
    EXPECT_EQ(ServerErrorText(51), "This virtual room is full.");

    HandshakeScript shortScript;
    shortScript.shortEnterReply = true;
    HandshakeServer shortServer(shortScript);
    dm_.LeaveSession();
    Use(shortServer);
    ASSERT_TRUE(dm_.StartSession());
    posted_.clear();
    dm_.SendEnterRoom(1002);
    EXPECT_EQ(WaitPosted(WM_APP_ROOMENTERED), kResultOperationFailed);
    EXPECT_EQ(dm_.VoicePort, 0);
}

TEST_F(Session, LoginRefusalsShowTheirTextAndEndTheRun) {
    for (uint16_t code : {uint16_t(1), uint16_t(15)}) {
        HandshakeScript script;
        script.loginResult = code;
        HandshakeServer server(script);
        Use(server);
        errors_.clear();
        EXPECT_FALSE(dm_.StartSession());
        ASSERT_EQ(errors_.size(), 1u);
        EXPECT_EQ(errors_[0], AccessDeniedText(code));
        EXPECT_EQ(quit_, -1);
        EXPECT_FALSE(progress_.visible);
        EXPECT_EQ(dm_.ReaderThread(), nullptr);
    }
    HandshakeScript script;
    script.shortLoginReply = true;
    HandshakeServer server(script);
    Use(server);
    errors_.clear();
    EXPECT_FALSE(dm_.StartSession());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], AccessDeniedText(33));
}

TEST_F(Session, UnreachableServerOrBrokenVersionExchangeOfferTheProxySettings) {
    dm_.ServerHost = "127.0.0.1";
    dm_.ServerPort = FreePort();
    answerYes_ = true;
    EXPECT_FALSE(dm_.StartSession());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0], ServerErrorText(13) + "\r\n" + kProxyQuestionEnd);
    EXPECT_NE(std::find(calls_.begin(), calls_.end(), "settings"), calls_.end());
    ASSERT_EQ(infos_.size(), 1u);
    EXPECT_EQ(infos_[0], "Orbelo Live will now close. The setting will take effect the next time you try to sign in.");
    EXPECT_EQ(quit_, -1);

    // A server that hangs up after the version record: a connection failure, never an update.
    HandshakeScript script;
    script.closeAfterVersion = true;
    HandshakeServer server(script);
    Use(server);
    asked_.clear();
    answerYes_ = false;
    EXPECT_FALSE(dm_.StartSession());
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(shellPath_.empty());
    EXPECT_FALSE(fs::exists(dir_ + "/Versions"));
    EXPECT_FALSE(dm_.UpdateStarted);

    // An offer's result whose record never comes is no offer either: nobody is told of a new
    // version, and the run ends as a failed connection.
    HandshakeScript cut;
    cut.versionResult = 21;
    cut.offerCut = true;
    HandshakeServer cutServer(cut);
    Use(cutServer);
    asked_.clear();
    infos_.clear();
    progress_.steps.clear();
    quit_ = INT_MIN;
    EXPECT_FALSE(dm_.StartSession());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0], ServerErrorText(13) + "\r\n" + kProxyQuestionEnd);
    EXPECT_TRUE(infos_.empty());
    for (auto& step : progress_.steps) EXPECT_NE(step.second, "New version available.");
    EXPECT_FALSE(dm_.UpdateStarted);
    EXPECT_EQ(quit_, -1);
    EXPECT_TRUE(shellPath_.empty());
}

TEST_F(Session, UpdateOfferSavesTheInstallerHandsItToTheShellAndEndsTheRun) {
    HandshakeScript script;
    script.versionResult = 21;
    script.installer = "MZ-installer-bytes";
    HandshakeServer server(script);
    Use(server);
    EXPECT_FALSE(dm_.StartSession());
    EXPECT_TRUE(dm_.UpdateStarted);
    EXPECT_EQ(quit_, 0);
    ASSERT_FALSE(shellPath_.empty());
    EXPECT_EQ(fs::path(shellPath_).parent_path(), fs::path(dir_) / "Versions");
    EXPECT_TRUE(shellPath_.ends_with("OrbeloBrowserSetup6.3.exe"));
    EXPECT_EQ(ReadAll(shellPath_), "MZ-installer-bytes");
    EXPECT_TRUE(errors_.empty());
    ASSERT_EQ(infos_.size(), 2u);
    EXPECT_TRUE(infos_[0].starts_with("A new Orbelo Live Browser version is available. \r\n"));
    EXPECT_TRUE(infos_[1].starts_with("Download complete!\r\n"));
    std::vector<int> positions;
    for (auto& s : progress_.steps) positions.push_back(s.first);
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(progress_.steps[2].second, "New version available.");
    EXPECT_EQ(progress_.steps[4].second, "Download complete. Starting new version.");
}

TEST_F(Session, UpdateOfferOfSizeZeroShowsTheDownloadErrorAndStillEndsTheRun) {
    HandshakeScript script;
    script.versionResult = 21;
    script.offerVersion = "../../x";
    HandshakeServer server(script);
    Use(server);
    EXPECT_FALSE(dm_.StartSession());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              "Unable to download new version from server. \r\nPlease contact your server administrator for support.");
    EXPECT_TRUE(shellPath_.empty());
    EXPECT_EQ(quit_, 0);
}

TEST_F(Session, StartupFileOutsideOurFolderIsRefusedAndTheStreamStaysInStep) {
    HandshakeScript script;
    script.startupFileName = "../escaped.txt";
    script.startupFile = "payload";
    HandshakeServer server(script);
    Use(server);
    ASSERT_TRUE(dm_.StartSession());
    EXPECT_FALSE(fs::exists(fs::path(dir_).parent_path() / "escaped.txt"));
    dm_.SendRoomListRequest();
    EXPECT_EQ(WaitPosted(WM_APP_ROOMLIST), 0);
    EXPECT_EQ(dm_.RoomList.size(), 2u);
}

TEST_F(Session, ConnectKeepsTheSameTargetAndReconnectsForAnother) {
    HandshakeServer server;
    EXPECT_EQ(dm_.ConnectToServer("127.0.0.1", server.port()), 0);
    EXPECT_EQ(dm_.ConnectToServer("127.0.0.1", server.port()), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Connections() == 1; }));
    // The host is compared as text: another spelling is another target.
    EXPECT_EQ(dm_.ConnectToServer("localhost", server.port()), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Connections() == 2; }));
    EXPECT_EQ(dm_.ConnectToServer("127.0.0.1", FreePort()), kResultConnectFailed);
    EXPECT_FALSE(dm_.vcrClient.Connected());
}

TEST_F(Session, HeartbeatThatCannotBeQueuedPostsConnectionLost2) {
    HandshakeServer server;
    Use(server);
    ASSERT_TRUE(dm_.StartSession());
    dm_.vcrClient.Shutdown();
    posted_.clear();
    EXPECT_FALSE(dm_.SendHeartBeat());
    EXPECT_EQ(WaitPosted(WM_APP_CONNECTIONLOST), 2);
}

TEST_F(Session, HandlersWithoutTheNetwork) {
    auto dispatch = [&](uint16_t kind, uint16_t result, const std::string& body) {
        std::string m = Header(kind, int32_t(body.size()), result) + body;
        TVCRHeader h;
        std::span<const uint8_t> s(reinterpret_cast<const uint8_t*>(m.data()), m.size());
        ASSERT_TRUE(TVCRHeader::Decode(s, h));
        dm_.DispatchCommand(h, s);
        loop_.ProcessPending();
    };
    // An empty room list still opens the list and tells the window.
    dispatch(vkRoomList, 0, "");
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].msg, WM_APP_ROOMLIST);
    EXPECT_TRUE(dm_.RoomList.empty());
    // A torn last row is left out.
    dispatch(vkRoomList, 0, std::string(404 + 10, '\0'));
    EXPECT_EQ(dm_.RoomList.size(), 1u);

    std::string room(1430, '\0');
    PutLE(room, 1355, 5, 4);
    PutLE(room, 1363, 6, 4);
    dispatch(vkRoomInfo, 0, room);
    EXPECT_EQ(dm_.VoiceCodecIndex, 5);
    EXPECT_EQ(dm_.Speakers, 6);
    dispatch(vkRoomInfo, 0, std::string(100, '\1'));  // short: no effect
    EXPECT_EQ(dm_.Speakers, 6);

    // Room entry in playback mode changes nothing and posts nothing.
    posted_.clear();
    dm_.PlaybackMode = true;
    dispatch(vkEnterRoom, 0, std::string(54 + 1430 + 1119, '\2'));
    EXPECT_TRUE(posted_.empty());
    EXPECT_EQ(dm_.VoicePort, 0);
    dm_.PlaybackMode = false;

    // Before the writer exists nothing is sent.
    EXPECT_FALSE(dm_.SendHeartBeat());
    EXPECT_TRUE(posted_.empty());
    dm_.SetBandwidth(0, true);
    EXPECT_EQ(dm_.SendLimit, 2048);
    dm_.SetBandwidth(131072, false);
    EXPECT_EQ(dm_.SendLimit, 23142);
    EXPECT_EQ(dm_.ConnectionSpeed, 131072);
}

// The whole sign-in and room list through each kind of proxy.
class SessionThroughProxy : public Session {
protected:
    void TearDown() override {
        Session::TearDown();
        proc_.Stop();
        if (HasFailure()) DumpLogs(proxyDir_);
        RemoveDir(proxyDir_);
    }
    void UseProxy(int type, uint16_t port, bool auth) {
        dm_.ProxySettings.enabled = true;
        dm_.ProxySettings.type = type;
        dm_.ProxySettings.host = "127.0.0.1";
        dm_.ProxySettings.port = port;
        dm_.ProxySettings.authentication = auth;
        dm_.ProxySettings.userName = kUser;
        dm_.ProxySettings.password = kPassword;
    }
    void ExpectSessionThroughProxy() {
        ASSERT_TRUE(dm_.StartSession()) << (asked_.empty() ? "" : asked_[0]);
        ASSERT_NE(dm_.ProxyHandlerOf(dm_.vcrClient), nullptr);
        dm_.SendRoomListRequest();
        EXPECT_EQ(WaitPosted(WM_APP_ROOMLIST), 0);
        EXPECT_EQ(dm_.RoomList.size(), 2u);
        dm_.LeaveSession();
        // Once disconnected, the connection's handler can be detached.
        dm_.vcrClient.Disconnect();
        dm_.DetachProxyHandler(dm_.vcrClient);
        EXPECT_EQ(dm_.ProxyHandlerOf(dm_.vcrClient), nullptr);
    }
    orb::test::TPeerProcess proc_;
    std::string proxyDir_ = MakeTempDir();
};

TEST_F(SessionThroughProxy, Socks4AndSocks5ThroughDante) {
    HandshakeServer server;
    Use(server);
    uint16_t port = StartDante(proc_, proxyDir_, "none");
    ASSERT_NE(port, 0);
    UseProxy(1, port, false);
    ExpectSessionThroughProxy();
    UseProxy(3, port, false);
    ExpectSessionThroughProxy();
}

TEST_F(SessionThroughProxy, Socks5WithUserNameAndPasswordThroughDante) {
    HandshakeServer server;
    Use(server);
    uint16_t port = StartDante(proc_, proxyDir_, "username");
    ASSERT_NE(port, 0);
    UseProxy(3, port, true);
    ExpectSessionThroughProxy();
}

TEST_F(SessionThroughProxy, Socks4AThroughOurOwnSmallProxy) {
    HandshakeServer server;
    dm_.ServerHost = "localhost";
    dm_.ServerPort = server.port();
    Socks4AProxy proxy;
    UseProxy(2, proxy.port(), false);
    ExpectSessionThroughProxy();
    EXPECT_EQ(proxy.lastHost(), "localhost");
}

TEST_F(SessionThroughProxy, HttpTunnelThroughTinyproxyWithBasicAuthentication) {
    HandshakeServer server;
    Use(server);
    uint16_t port = StartTinyproxy(proc_, proxyDir_, std::string("BasicAuth ") + kUser + " " + kPassword + "\n");
    ASSERT_NE(port, 0);
    UseProxy(4, port, true);
    ExpectSessionThroughProxy();
}

TEST_F(SessionThroughProxy, RefusedTunnelIsAConnectionFailureCarryingTheProxyStatus) {
    HandshakeServer server;
    Use(server);
    uint16_t port = StartTinyproxy(proc_, proxyDir_, "ConnectPort 1\n");
    ASSERT_NE(port, 0);
    UseProxy(4, port, false);
    EXPECT_FALSE(dm_.StartSession());
    ASSERT_EQ(asked_.size(), 1u);
    // The box holds the code's text and the question; the proxy's status is the failure's cause.
    EXPECT_EQ(asked_[0], ServerErrorText(13) + "\r\n" + kProxyQuestionEnd);
    EXPECT_NE(dm_.LastConnectError.find("403"), std::string::npos) << dm_.LastConnectError;
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_TRUE(shellPath_.empty());
}

TEST_F(SessionThroughProxy, EnabledProxyOfTypeZeroConnectsDirectlyThroughItsOwnHandler) {
    HandshakeServer server;
    Use(server);
    UseProxy(0, FreePort(), false);  // nothing listens there: it must not be used
    ExpectSessionThroughProxy();
}

TEST_F(Session, SettingsGiveTheProxyAndSpeedAndSignInRemembersTheAccountInTheStore) {
    reg::Registry::Default().Reconfigure({fs::path(dir_) / "reg-user", fs::path(dir_) / "reg-machine"});
    Settings settings;
    settings.UseProxy = true;
    settings.SocksVersion = 2;
    settings.ProxyHost = "10.0.0.1";
    settings.ProxyPort = 3128;
    settings.ProxyAuthentication = true;
    settings.ProxyUserName = "u";
    settings.ProxyPassword = "p";
    settings.ConnectionSpeedBytesPerSec = 7168;
    SignInSettings signIn;
    signIn.RememberMe = true;
    dm_.SessionHooks.SaveServerAddress = nullptr;
    dm_.SessionHooks.SaveSignInAccount = nullptr;
    dm_.ApplySessionSettings(settings, signIn);
    EXPECT_TRUE(dm_.ProxySettings.enabled);
    EXPECT_EQ(dm_.ProxySettings.type, 2);
    EXPECT_EQ(dm_.ProxySettings.host, "10.0.0.1");
    EXPECT_EQ(dm_.ProxySettings.port, 3128);
    EXPECT_TRUE(dm_.ProxySettings.authentication);
    EXPECT_EQ(dm_.ProxySettings.password, "p");
    EXPECT_EQ(dm_.ConnectionSpeed, 7168);

    dm_.ProxySettings.enabled = false;
    HandshakeServer server;
    Use(server);
    ASSERT_TRUE(dm_.StartSession());
    EXPECT_EQ(dm_.SendLimit, 2048);
    SignInSettings stored = ReadSignInSettings();
    EXPECT_EQ(stored.ServerIP, "127.0.0.1");
    EXPECT_EQ(stored.ServerPort, server.port());
    EXPECT_TRUE(stored.RememberMe);
    EXPECT_EQ(stored.UserID, 501);
    EXPECT_EQ(stored.UserName, "ana");
    EXPECT_EQ(stored.Password, "pw");
    dm_.LeaveSession();

    // Not remembered: the account is stored as 0 and empty.
    dm_.RememberMe = false;
    ASSERT_TRUE(dm_.StartSession());
    stored = ReadSignInSettings();
    EXPECT_EQ(stored.UserID, 0);
    EXPECT_EQ(stored.UserName, "");
    EXPECT_EQ(stored.Password, "");
    // A session started by a link leaves the stored account alone.
    dm_.LeaveSession();
    SaveSignInSettings({"127.0.0.1", 1, true, 7, "kept", "kept-pw"});
    dm_.StartedByLink = true;
    dm_.RememberMe = true;
    ASSERT_TRUE(dm_.StartSession());
    EXPECT_EQ(ReadSignInSettings().UserName, "kept");
}
