// Connection through the proxy, the handshake (version, update, login, start-up information),
// the session start and end, the bandwidth routine and the session's plain senders.

#include <chrono>
#include <ctime>

#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "session/handshake.h"
#include "session/result_texts.h"
#include "session/tcp_channel.h"
#include "util/time_text.h"

using namespace orb;

namespace {

// Handshake replies are read before the receive thread exists; a server that goes silent must
// not hold the main thread for ever.
constexpr int kHandshakeReadTimeoutMs = 20000;

uint64_t TickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

template <class F, class... A>
void Call(const F& f, A&&... a) {
    if (f) f(std::forward<A>(a)...);
}

}  // namespace

void TDM::ShowSessionError(const std::string& text) { Call(SessionHooks.ShowError, text); }
void TDM::ShowSessionInformation(const std::string& text) { Call(SessionHooks.ShowInformation, text); }
void TDM::ProgressStep(int position, const std::string& text) {
    if (Progress) Progress->SetStep(position, text);
}

void TDM::UseLoginInfo() {
    OwnUserId = OwnLoginInfo.UserId();
    OwnRoom = OwnLoginInfo.Room();
}

// ---- Settings

void TDM::ApplySessionSettings(const Settings& settings, const SignInSettings& signIn) {
    ProxySettings.enabled = settings.UseProxy;
    ProxySettings.type = settings.SocksVersion;
    ProxySettings.host = settings.ProxyHost;
    ProxySettings.port = settings.ProxyPort;
    ProxySettings.authentication = settings.ProxyAuthentication;
    ProxySettings.userName = settings.ProxyUserName;
    ProxySettings.password = settings.ProxyPassword;
    ConnectionSpeed = settings.ConnectionSpeedBytesPerSec;
    RememberMe = signIn.RememberMe;
    if (!SessionHooks.SaveServerAddress)
        SessionHooks.SaveServerAddress = [](const std::string& host, uint16_t port) {
            SignInSettings v = ReadSignInSettings();
            v.ServerIP = host;
            v.ServerPort = port;
            SaveSignInSettings(v);
        };
    if (!SessionHooks.SaveSignInAccount)
        SessionHooks.SaveSignInAccount = [this](int32_t id, const std::string& name, const std::string& password) {
            SignInSettings v = ReadSignInSettings();
            v.RememberMe = RememberMe;
            v.UserID = id;
            v.UserName = name;
            v.Password = password;  // scrambled by the store
            SaveSignInSettings(v);
        };
}

// ---- Proxy handlers

void TDM::AttachProxyHandler(TTcpClient& connection) {
    auto handler = MakeProxyHandler(ProxySettings);
    if (!handler) return;
    proxyHandlers_[&connection] = std::move(handler);
}

void TDM::DetachProxyHandler(TTcpClient& connection) {
    if (connection.Connected()) return;
    proxyHandlers_.erase(&connection);
}

const TProxyHandler* TDM::ProxyHandlerOf(const TTcpClient& connection) const {
    auto it = proxyHandlers_.find(&connection);
    return it == proxyHandlers_.end() ? nullptr : it->second.get();
}

bool TDM::ConnectClient(TTcpClient& connection, const std::string& host, uint16_t port, int timeoutMs,
                        std::string* error) {
    std::string why;
    bool ok = ConnectThroughProxy(connection, ProxyHandlerOf(connection), host, port, timeoutMs, why);
    if (error) *error = why;
    return ok;
}

// ---- Handshake

int TDM::ConnectToServer(const std::string& host, uint16_t port) {
    if (vcrClient.Connected() && host == connectedHost_ && port == connectedPort_) return 0;
    if (vcrClient.Connected()) vcrClient.Disconnect();
    connectedHost_.clear();
    connectedPort_ = 0;
    LastConnectError.clear();
    AttachProxyHandler(vcrClient);
    if (!ConnectClient(vcrClient, host, port, kConnectTimeoutMs, &LastConnectError)) return kResultConnectFailed;
    connectedHost_ = host;
    connectedPort_ = port;
    return 0;
}

int TDM::CheckClientVersion() {
    TTcpChannel ch(vcrClient);
    TVersionCheck v = orb::CheckClientVersion(ch);
    return v.exchanged ? v.result : kResultOperationFailed;
}

bool TDM::DownloadNewVersion(const TVersionInfo& offer) {
    static const char* kFailed =
        "Unable to download new version from server. \r\nPlease contact your server administrator for support.";
    std::string path = InstallerPath(ProgramFolder, TickMs(), offer);
    TTcpChannel ch(vcrClient);
    if (ReceiveInstaller(ch, path) != TDownloadResult::Received) {
        ShowSessionError(kFailed);
        return false;
    }
    ProgressStep(4, "Download complete. Starting new version.");
    ShowSessionInformation(
        "Download complete!\r\nPress the OK button to continue. Follow the instructions to install the new version!");
    // The installer is handed to the shell layer; the client never runs it itself.
    Call(SessionHooks.OpenWithShell, path);
    return true;
}

int TDM::LoginUser(TLoginInfo& info) {
    TTcpChannel ch(vcrClient);
    TLoginReply r = orb::LoginUser(ch, info);
    if (!r.exchanged) return kResultOperationFailed;
    if (r.result == 0) LoginText = info.LoginText();
    return r.result;
}

int TDM::ConnectAndValidate(const std::string& host, uint16_t port, TLoginInfo& info) {
    int code = ConnectToServer(host, port);
    ServerHost = host;
    if (code != 0) return code;
    vcrClient.SetReadTimeout(kHandshakeReadTimeoutMs);
    struct RestoreTimeout {
        TTcpClient& c;
        ~RestoreTimeout() { c.SetReadTimeout(0); }
    } restore{vcrClient};

    ProgressStep(1, "Checking for updates...");
    TTcpChannel ch(vcrClient);
    TVersionCheck version = orb::CheckClientVersion(ch);
    if (!version.exchanged) {
        // The exchange itself failed: the server could not be talked to, which is a connection
        // failure, not an update offer.
        LastConnectError = "The version exchange with the server failed.";
        vcrClient.Disconnect();
        return kResultConnectFailed;
    }
    if (version.result != 0) {
        // Only a real offer takes the update path: the record naming the new version must follow.
        // It is read before the user is told of an update, so a reply cut short there is a broken
        // exchange (a connection failure), never a "new version" that does not exist.
        TVersionInfo offer;
        if (!ReadUpdateOffer(ch, offer)) {
            LastConnectError = "The update offer could not be read.";
            vcrClient.Disconnect();
            return kResultConnectFailed;
        }
        ProgressStep(2, "New version available.");
        ShowSessionInformation(
            "A new Orbelo Live Browser version is available. \r\nYour version of Orbelo Live Browser will be updated "
            "with a new one.\r\nOn slow internet connections it may take several minutes.\r\nPress the OK button to "
            "continue.");
        ProgressStep(3, "Getting version updates. Please wait...");
        DownloadNewVersion(offer);
        // The run ends whatever the download gave.
        UpdateStarted = true;
        Call(SessionHooks.Quit, 0);
        return version.result;
    }
    ProgressStep(2, "Validating user info...");
    code = LoginUser(info);
    if (code == 0) UseLoginInfo();
    return code;
}

bool TDM::SignIn() {
    if (Progress) {
        Progress->SetRange(17);
        Progress->ShowCentered();
    }
    ProgressStep(0, "Trying to connect to remote server...");
    try {
        Call(SessionHooks.SaveServerAddress, ServerHost, ServerPort);
    } catch (...) {
    }
    int code = ConnectAndValidate(ServerHost, ServerPort, OwnLoginInfo);
    if (UpdateStarted) return false;
    if (code == kResultConnectFailed) {
        // The cause (a proxy's refusal with its status, a time-out, ...) stays in LastConnectError.
        std::string text = ServerErrorText(code) + "\r\n" +
                           "\r\nTo configure the Proxy settings press the Yes button. To try again later press the No "
                           "button.";
        if (SessionHooks.AskYesNo && SessionHooks.AskYesNo(text)) {
            Call(SessionHooks.OpenConnectionSettings);
            // A reconnection does not end the run: the next reset uses the new settings.
            if (!Reconnecting)
                ShowSessionInformation(
                    "Orbelo Live will now close. The setting will take effect the next time you try to sign in.");
        }
        return false;
    }
    if (code != 0) {
        ShowSessionError(AccessDeniedText(code));
        return false;
    }
    ProgressStep(3, "User account validated.");
    if (!StartedByLink) {
        try {
            if (RememberMe)
                Call(SessionHooks.SaveSignInAccount, OwnLoginInfo.UserId(), OwnLoginInfo.UserName(),
                     OwnLoginInfo.Password());
            else
                Call(SessionHooks.SaveSignInAccount, 0, std::string(), std::string());
        } catch (...) {
        }
    }
    ProgressStep(3, "Getting startup information.");
    return RequestStartupInfo();
}

bool TDM::RequestStartupInfo() {
    if (!vcrClient.Connected()) {
        StartupInfo.ClearFlags();
        return false;
    }
    int previous = vcrClient.ReadTimeout();
    vcrClient.SetReadTimeout(kHandshakeReadTimeoutMs);
    TTcpChannel ch(vcrClient);
    TStartupReply r = orb::RequestStartupInfo(ch, OwnUserId, ProgramFolder, StartupInfo);
    vcrClient.SetReadTimeout(previous);
    // A reply that lost its place in the stream cannot carry framed traffic.
    if (r.streamBroken) vcrClient.Disconnect();
    return r.received;
}

// ---- Session life cycle

void TDM::SetBandwidth(int32_t speed, bool send) {
    int32_t limit = BandwidthSendLimit(speed);
    if (WriterThread()) WriterThread()->SetSendRate(limit);
    ConnectionSpeed = speed;
    SendLimit = limit;
    if (send && vcrClient.Connected()) {
        std::vector<uint8_t> body;
        ByteWriter w(body);
        w.i32(speed);
        w.i32(limit);
        SendCommand(vkBandwidth, body);
    }
}

bool TDM::StartSession() {
    UpdateStarted = false;
    if (!SignIn()) {
        if (Progress) Progress->HideProgress();
        if (!UpdateStarted && !Reconnecting) Call(SessionHooks.Quit, -1);
        return false;
    }
    ProgressStep(4, "Init whiteboards...");
    Call(SessionHooks.InitWhiteboards);
    ProgressStep(5, "Starting communication services...");
    SessionRunning = true;
    Call(SessionHooks.SetWindowTitle, OwnLoginInfo.FullName() + " in a virtual session");
    Call(SessionHooks.SetServerCaption, " Server: " + ServerHost + ":" + std::to_string(ServerPort));
    Call(SessionHooks.SetRoomCaption, std::string(" Room: Not selected"));
    if (PlaybackMode) {
        Call(SessionHooks.PlayRecordedFile);
        return true;
    }
    StartReaderThread();
    tmrHeartBeat.Kill();
    tmrHeartBeat.loop = &Loop();
    tmrHeartBeat.id = Loop().SetTimer(kHeartBeatIntervalMs, [this] { SendHeartBeat(); });
    StartWriterThread(ConnectionSpeed);
    SetBandwidth(ConnectionSpeed, true);
    return true;
}

void TDM::LeaveSession() {
    if (PlaybackMode) {
        Call(SessionHooks.StopReplay);
        SessionRunning = false;
        return;
    }
    // In this order: board lock, heartbeat, voice, reader, writer.
    try {
        Call(SessionHooks.CaptureBoard);
    } catch (...) {
    }
    tmrHeartBeat.Kill();
    try {
        Call(SessionHooks.StopVoiceThread);
    } catch (...) {
    }
    StopReaderThread();
    StopWriterThread();
    SessionRunning = false;
}

// ---- Senders

bool TDM::SendHeartBeat() {
    // Outside a session there is nothing to keep alive.
    if (!WriterThread()) return false;
    // Within one, a heartbeat that cannot go out means the connection can no longer send.
    if (vcrClient.Connected() && SendCommand(vkHeartBeat)) return true;
    Loop().Post(MainWindow(), WM_APP_CONNECTIONLOST, 2, 0);
    return false;
}

bool TDM::SendOwnProfile() {
    if (!vcrClient.Connected()) return false;
    return SendCommand(vkOwnProfile, OwnLoginInfo.Raw().data(), OwnLoginInfo.Raw().size());
}

bool TDM::SendRoomListRequest() {
    ProgressStep(6, "Loading Virtual Rooms...");
    return SendCommandToRoom(vkRoomList, 0);
}

bool TDM::SendEnterRoom(int32_t room) {
    try {
        Call(SessionHooks.StopVoiceThread);
    } catch (...) {
    }
    ProgressStep(8, "Validating...");
    if (room > 0) EnteringRoom = room;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(room);
    return SendCommandToRoom(vkEnterRoom, static_cast<int16_t>(room), body);
}

bool TDM::SendBoardContentsRequest(int32_t board) {
    if (!vcrClient.Connected()) return false;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(board);
    return SendCommand(vkBoardContents, body);
}

bool TDM::SendTimeZone() {
    if (!vcrClient.Connected()) return false;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(GetTimeZoneBias());
    return SendCommand(vkTimeZone, body);
}
