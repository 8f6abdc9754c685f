#include "main/main_controller.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "launch/launch.h"
#include "protocol/date_time.h"
#include "protocol/message_kinds.h"
#include "protocol/wm_app.h"
#include "session/result_texts.h"
#include "util/time_text.h"

namespace orb {

namespace {

constexpr uint32_t kGrey = 8421504;
constexpr uint32_t kRed = 255;
constexpr int32_t kSpeeds[] = {7168, 16384, 32768, 65536, 131072, 196600, 262144, 524288};

std::string ErrorWithDescription(const std::string& head, int code) {
    return head + "\r\n" + "Error description is: " + "\r\n" + ServerErrorText(code);
}

}  // namespace

// ---- Plain decisions

int32_t ConnectionSpeedItem(int32_t speed) {
    for (int32_t s : kSpeeds)
        if (s == speed) return s;
    return 131072;
}

int StyleThemeFor(int colorTheme) {
    switch (colorTheme) {
    case 1: return 2;
    case 2: return 1;
    case 3: return 3;
    default: return 0;
    }
}

TChatPermissionLayout ChatPermissionLayout(int mode, int32_t level1) {
    TChatPermissionLayout l;
    switch (mode) {
    case 0: l.checkedItem = 0; break;
    case 1: l.sendToMenu = false; l.checkedItem = 1; break;
    case 2: break;
    case 3:
        l.inputVisible = level1 > 999;
        l.sendToMenu = false;
        l.checkedItem = 3;
        l.disabledHeader = true;
        break;
    default: l.applyMode = false; break;
    }
    return l;
}

int MicrophoneMeterPercent(int peak, bool transmitting, int silenceLevel) {
    if (!transmitting || peak < silenceLevel) return 0;
    return SpeakerMeterPercent(peak);
}

int SpeakerMeterPercent(int peak) {
    // The voice thread's peaks are 0..1000; anything else is clamped rather than overflowing the meter.
    if (peak <= 0) return 0;
    if (peak >= 1000) return 100;
    return int(std::lround(peak / 10.0));
}

bool IsSafePageAddress(const std::string& address) {
    auto starts = [&](const char* prefix) {
        size_t n = std::char_traits<char>::length(prefix);
        if (address.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(address[i])) != prefix[i]) return false;
        return true;
    };
    if (address == "about:blank") return true;
    // Something must follow the scheme.
    if (starts("http://")) return address.size() > 7;
    if (starts("https://")) return address.size() > 8;
    return false;
}

std::string BoardLoadText(int board, int items) {
    if (items > 0) return "Loading WhiteBoard # " + std::to_string(board) + " Items " + std::to_string(items);
    return "WhiteBoard # " + std::to_string(board) + " Loaded... Displaying content. Please wait...";
}

int32_t RoomToReenter(int32_t requested, int32_t entered, int32_t linkRoom) {
    if (requested > 0) return requested;
    if (entered > 0) return entered;
    return linkRoom > 0 ? linkRoom : 0;
}

std::string RoomCaption(int32_t room, const std::string& name, int64_t minutes) {
    std::string caption = " Room " + std::to_string(room) + ": " + name;
    if (minutes >= 0)
        caption += " (You have been in this session for " + std::to_string(minutes) + " min.)";
    return caption;
}

TFloorAction HookKeyAction(const TPushToTalkState& s, int vk, uint32_t flags) {
    if (s.pttKey == 0 || vk != s.pttKey || !s.voiceRight) return TFloorAction::None;
    if (flags & kKeyReleased) return s.latch ? TFloorAction::None : TFloorAction::Release;
    if ((flags & kKeyRepeat) || s.speakOn || s.latch || s.held) return TFloorAction::None;
    return TFloorAction::Take;
}

TFloorAction KeyDownAction(const TPushToTalkState& s, int vk, bool autoRepeat) {
    // A held key repeats its key-down: the floor is asked for once.
    if (s.hookInstalled || s.speakOn || s.latch || autoRepeat || s.held || !s.voiceRight) return TFloorAction::None;
    return (s.pttKey != 0 && vk == s.pttKey) ? TFloorAction::Take : TFloorAction::None;
}

TFloorAction KeyUpAction(const TPushToTalkState& s, int vk, bool autoRepeat) {
    if (autoRepeat || !s.voiceRight) return TFloorAction::None;
    // F3 toggles Speak once per press, also while the hook watches the keys.
    if (vk == kVkF3) return TFloorAction::ToggleSpeak;
    if (s.hookInstalled || s.latch) return TFloorAction::None;
    return (s.pttKey != 0 && vk == s.pttKey) ? TFloorAction::Release : TFloorAction::None;
}

// ---- The controller

TMainController::TMainController(TDM& dm, Settings& settings, IMainView& view, WindowHandle self)
    : dm_(dm), settings_(settings), view_(view), self_(self) {}

TMainController::~TMainController() {
    StopTimer(tmrSessionTime);
    StopTimer(tmrKillSession);
    StopTimer(joinTimer_);
}

void TMainController::StopTimer(TimerId& id) {
    if (id) dm_.Loop().KillTimer(id);
    id = 0;
}

void TMainController::Post(uint32_t msg, std::intptr_t w, std::intptr_t l) { dm_.Loop().Post(self_, msg, w, l); }

void TMainController::Progress(int position, const std::string& text) {
    if (dm_.Progress) dm_.Progress->SetStep(position, text);
}

void TMainController::HideProgress() {
    if (dm_.Progress) dm_.Progress->HideProgress();
}

TPushToTalkState TMainController::PushToTalkState() const {
    TPushToTalkState s;
    s.pttKey = settings_.PushToTalkKey;
    s.voiceRight = dm_.Room.VoiceRight || dm_.PlaybackMode;
    s.hookInstalled = dm_.HookInstalled;
    s.speakOn = dm_.Room.SpeakOn;
    s.latch = dm_.Room.SpeakLatch;
    s.held = pttHeld_;
    return s;
}

void TMainController::FormShow(const std::vector<std::string>& args) {
    if (shown_ || formShowDetached_) return;
    shown_ = true;
    // 1-2: menus and theme.
    typing_ = false;
    view_.CheckConnectionSpeedItem(ConnectionSpeedItem(settings_.ConnectionSpeedBytesPerSec));
    view_.ApplyColorTheme(StyleThemeFor(settings_.ColorTheme));
    // 3-4: docked windows, placement, cleared rights.
    view_.DockWindows();
    view_.PlaceAtWorkArea();
    view_.BringToFront();
    view_.SetRecorderToolVisible(false);
    dm_.Room.VoiceRight = false;
    dm_.BoardRight = false;
    dm_.Room.DocumentRight = false;
    dm_.Room.VideoRight = false;
    dm_.Room.VideoPublishing = false;
    dm_.Room.ChatTargetType = 0;
    dm_.Room.ChatTargetUser = 0;
    dm_.Room.ConnectionSpeedDefaultUsed = settings_.ConnectionSpeedDefaultUsed;
    // 5: the screen.
    if (view_.ScreenHeight() < 768)
        view_.ShowWarning(
            "Your screen resolution is less than 1024x768. Some of the text labels and graphics may not appear "
            "correctly.");
    if (!view_.ScreenAt96Dpi())
        view_.ShowWarning(
            "Your screen DPI setting is not 96 dots per inch. Some of the text labels and graphics may not appear "
            "correctly.");
    // 6: public chat, whiteboard view.
    Post(WM_APP_CHATTARGET, 0, 0);
    ShowMainView(mvWhiteboard);
    // 7: the launch argument (only link forms are percent-decoded).
    TLaunchRequest r = ClassifyCommandLine(args);
    dm_.Launch = r.kind;
    dm_.Link = r.link;
    dm_.OwnLoginInfo.SetUserId(0);
    dm_.OwnUserId = 0;
    if (r.kind == lkJoinLink || r.kind == lkPlayLink) {
        // Everything comes from the link (cleared values when it was malformed: the sign-in then
        // fails with its usual messages).
        dm_.ServerHost = r.link.server;
        dm_.ServerPort = r.link.port > 0 && r.link.port <= 65535 ? uint16_t(r.link.port) : 0;
        dm_.OwnLoginInfo.SetUserName(r.link.userName);
        dm_.OwnLoginInfo.SetPassword(r.link.password);
        dm_.StartedByLink = true;
    }
    dm_.OwnLoginInfo.SetLoginTime(NowDateTime());
    dm_.OwnLoginInfo.SetTimeZoneBias(GetTimeZoneBias());
    // 8: playback by launch kind.
    switch (r.kind) {
    case lkRecordingFile:
        dm_.PlaybackMode = true;
        if (Hooks.OpenRecordedSession && !Hooks.OpenRecordedSession(r.value)) view_.Quit(0);
        return;
    case lkRecordingUrl:
        dm_.PlaybackMode = true;
        if (Hooks.OpenRecordedSessionURL && !Hooks.OpenRecordedSessionURL(r.value)) view_.Quit(0);
        return;
    case lkPlayLink: dm_.PlaybackMode = true; break;
    default: dm_.PlaybackMode = false; break;
    }
    // 9: the login dialog.
    if (r.kind == lkNone && !(Hooks.ShowLoginDialog ? Hooks.ShowLoginDialog() : dm_.ShowLoginDialog())) {
        view_.Quit(-1);
        return;
    }
    // 10-11.
    if (Hooks.StartRun) {
        Hooks.StartRun();
        return;
    }
    StartRun();
}

void TMainController::StartRun() {
    try {
        if (!dm_.StartSession()) {
            HideProgress();
            return;
        }
        if (dm_.PlaybackMode) {
            HideProgress();
            if (!Hooks.PlayLinkSession || !Hooks.PlayLinkSession(dm_.Link.recordingName)) {
                view_.ShowError(
                    "Unable to open the recorded session. This session may be temporary unavailable.");
                view_.Quit(0);
                return;
            }
        } else {
            dm_.SendTimeZone();
            dm_.SendVideoPortRequest();
            if (dm_.Launch == lkJoinLink) {
                const int32_t room = dm_.Link.roomNumber;
                StopTimer(joinTimer_);
                joinTimer_ = dm_.Loop().SetTimer(kJoinLinkDelayMs, [this, room] {
                    StopTimer(joinTimer_);
                    dm_.SendEnterRoom(room);
                });
            } else {
                dm_.SendRoomListRequest();
            }
        }
    } catch (const std::exception& e) {
        view_.ShowError(std::string(e.what()) +
                        " Unable to launch Orbelo Live. Please contact the server administrator for support...");
        HideProgress();
        view_.Quit(0);
        return;
    }
    view_.PlaceFullScreen();
    dm_.SelectBoard(1, true);
    const bool live = !dm_.PlaybackMode;
    if (live) {
        view_.LoadRecentPollsMenu();
        view_.SetSplitters(settings_.Room_LeftSplitter, settings_.Room_MidSplitter);
    }
    view_.SetLiveCommandsEnabled(live);
}

void TMainController::RoomListReceived(std::intptr_t result) {
    if (result != 0) {
        view_.ShowError(
            "Unable to load the virtual rooms. There are no virtual rooms available at the moment.\r\nPlease contact "
            "your host organization for details on how to sign in.");
        view_.Quit(-1);
        return;
    }
    Progress(7, "Virtual rooms loaded.");
    // The progress window stays on top; it must not cover the rooms while the user chooses.
    HideProgress();
    if (view_.RunRoomList() <= 0) {
        // Signed out or timed out: the run ends as after a failed room list.
        view_.Quit(-1);
        view_.CloseWithoutQuestion();
        return;
    }
    if (dm_.Progress) dm_.Progress->ShowCentered();
}

void TMainController::RoomEntered(std::intptr_t result) {
    view_.PlaceAtWorkArea();
    if (result != 0) {
        view_.ShowError(AccessDeniedText(int(result)));
        if (dm_.PlaybackMode || dm_.Launch != lkJoinLink) {
            dm_.SendRoomListRequest();
            dm_.Room.InRoom = false;
            Post(WM_APP_CONNECTIONLOST, 4, 0);
        } else {
            view_.CloseWithoutQuestion();
        }
        return;
    }
    EnterRoomSteps();
}

void TMainController::EnterRoomSteps() {
    // 1-2.
    dm_.Room.InRoom = true;
    dm_.Room.SessionStartTime = NowDateTime();
    sessionStartMs_ = dm_.Loop().Clock().NowMs();
    StopTimer(tmrSessionTime);
    tmrSessionTime = dm_.Loop().SetTimer(kSessionTimeIntervalMs, [this] { tmrSessionTimeTimer(); });
    Progress(9, "Account validated...");
    view_.SetRoomCaption(RoomCaption(dm_.RoomInfo.RoomNumber(), dm_.RoomInfo.RoomName()));
    // 3-4.
    dm_.ResetRoomState();
    Post(WM_APP_CHATTARGET, 0, 0);
    Progress(10, "Getting participants...");
    dm_.SendUserListRequest();
    // 5.
    Progress(11, "Getting Virtual Room Info...");
    dm_.ApplyOwnRights();
    // 6: audio.
    Progress(12, "Starting audio services...");
    if (dm_.RoomInfo.PlaybackBufferCount() > 0) settings_.InputAudioQueueSizeEx = dm_.RoomInfo.PlaybackBufferCount();
    if (dm_.RoomHooks.StartVoiceThread) {
        int code = dm_.RoomHooks.StartVoiceThread(dm_.RoomInfo.RoomNumber(), dm_.OwnUserId);
        if (code != 0) view_.ShowError(ErrorWithDescription("Audio error " + std::to_string(code), code));
    }
    // 7-16: failures here are swallowed; the room stays usable.
    try {
        Post(WM_APP_CHATPERMISSION, 3, 0);
        const std::string loading = "Loading whiteboards... Please wait...";
        Progress(14, loading);
        for (int32_t board = 1; board <= 4; ++board) dm_.SendBoardContentsRequest(board);
        Progress(14, loading);
        dm_.SendBoardContentsRequest(5);
        dm_.SendCurrentBoard();
        dm_.SendWebPageRequest();
        dm_.SendViewModeRequest();
        view_.SetRecorderToolVisible(dm_.IsModerator() && dm_.RoomInfo.ServerRecordingAllowed());
        ShowWelcome();
        dm_.SendKind148();
        dm_.SendUserRightsRequest();
        dm_.SendChatPermissionRequest();
        dm_.SendNotesSwitchRequest();
        dm_.SendBreakoutAllowedRequest();
        dm_.SendRoomProfileRequest();
        Post(WM_APP_CONNECTIONLOST, 0, 0);
        view_.BringToFront();
        view_.SetChatPermissionsMenuVisible(dm_.IsModerator());
        if (!dm_.PlaybackMode && dm_.Room.ConnectionSpeedDefaultUsed) {
            view_.AddChatLine("System",
                              "The system is using a default value for your connection speed. You can set your real "
                              "connection speed visiting File - Connection Speed.",
                              kGrey, false);
            dm_.Room.ConnectionSpeedDefaultUsed = false;
        }
        view_.SetBoardToolBoxVisible(dm_.CurrentBoard == 0 || dm_.BoardRight);
    } catch (...) {
    }
}

void TMainController::ShowWelcome() {
    try {
        dm_.Room.WelcomeText = dm_.RoomInfo.WelcomeText();
        const TScreenRect area = view_.RoomArea();
        if (!dm_.Room.WelcomeText.empty()) {
            // Only web pages: the text comes from the server and is opened as an address.
            if (IsSafePageAddress(dm_.Room.WelcomeText))
                view_.ShowWelcomePage(dm_.Room.WelcomeText, false, area, !settings_.ShowModeratorTips);
        } else if (settings_.ShowModeratorTips && dm_.IsModerator() && dm_.Room.TipsNotShown) {
            dm_.Room.TipsNotShown = false;
            TScreenRect where{area.left + area.width / 2 - 325, area.top + area.height / 2 - 290, 650, 480};
            view_.ShowWelcomePage(kTipsAddress, true, where, !settings_.ShowModeratorTips);
        }
    } catch (...) {
    }
}

void TMainController::ConnectionLost(std::intptr_t state) {
    const int n = int(state);
    const bool newLoss = dm_.Room.ConnectionState == 0 && !dm_.PlaybackMode && n > 0;
    dm_.Room.ConnectionState = n;
    view_.SetResetButtonVisible(n > 0 && !dm_.PlaybackMode);
    // A good entry after a refused one (or a reconnect) ends the countdown to the end of the session.
    if (n == 0) StopTimer(tmrKillSession);
    if (newLoss) {
        // Whatever sequence the progress window showed has ended with the connection.
        HideProgress();
        view_.AddChatLine("System",
                          "Your connection to the server was lost. Please try to reconnect using the \"Reset "
                          "Connection\" button at the bottom of the window. [ErrID:" +
                              std::to_string(n) + "]",
                          kRed, false);
        Post(WM_APP_CHATTARGET, 0, 0);
        view_.Beep(700, 30);
        StopTimer(tmrKillSession);
        tmrKillSession = dm_.Loop().SetTimer(kKillSessionIntervalMs, [this] { tmrKillSessionTimer(); });
        if (dm_.SessionHooks.StopVoiceThread) dm_.SessionHooks.StopVoiceThread();
        if (dm_.RoomHooks.CloseVideoWindows) dm_.RoomHooks.CloseVideoWindows();
    }
    if (dm_.RoomHooks.AppShareRunning && dm_.RoomHooks.AppShareRunning() && dm_.RoomHooks.StopAppShareLocally)
        dm_.RoomHooks.StopAppShareLocally();
}

void TMainController::tmrKillSessionTimer() {
    StopTimer(tmrKillSession);
    view_.CloseWithoutQuestion();
}

void TMainController::ShowMainView(int view) {
    if (view < mvWhiteboard || view > mvShareViewer) return;
    if (view != mvShareViewer) ParkShareViewer();
    currentView_ = view;
    view_.ShowView(view);
}

void TMainController::SwitchMainView(int view) {
    if (view < mvWhiteboard || view > mvShareViewer) return;
    if (currentView_ == mvBrowser && view != mvBrowser && dm_.BoardRight) dm_.SendBrowserClosed();
    ShowMainView(view);
}

void TMainController::ParkShareViewer() {
    if (!shareViewerDocked_) return;
    const auto& h = dm_.RoomHooks;
    const bool running = h.AppShareRunning && h.AppShareRunning();
    if (!running) {
        view_.HideShareViewer();
    } else if (!(h.OwnShareRunning && h.OwnShareRunning()) && h.FloatShareViewer) {
        // Another user's share keeps running in a window of its own.
        shareViewerDocked_ = false;
        h.FloatShareViewer();
    }
}

bool TMainController::ResetConnection() {
    if (dm_.PlaybackMode) return false;
    // A reconnection under way is not started again by a second press of the button.
    if (joinTimer_ || dm_.Reconnecting) return false;
    if (!view_.AskYesNo("Do you want to reconnect to the session?")) return false;
    ReconnectSession();
    return true;
}

void TMainController::ReconnectSession() {
    if (dm_.RoomHooks.ReconnectSession) {
        dm_.RoomHooks.ReconnectSession();
        return;
    }
    // Leave, start again and enter the room that was left; the waits are timers, so the window
    // keeps turning.
    StopTimer(tmrKillSession);
    const int32_t room = RoomToReenter(dm_.EnteringRoom, dm_.RoomInfo.RoomNumber(),
                                       dm_.Launch == lkJoinLink ? dm_.Link.roomNumber : 0);
    dm_.LeaveSession();
    StopTimer(joinTimer_);
    joinTimer_ = dm_.Loop().SetTimer(kReconnectDelayMs, [this, room] {
        StopTimer(joinTimer_);
        dm_.Reconnecting = true;
        const bool started = dm_.StartSession();
        dm_.Reconnecting = false;
        if (!started) {
            ReconnectFailed();
            return;
        }
        dm_.SendVideoPortRequest();
        if (room <= 0) {
            // Lost before any room was asked for: the user chooses again, as at the start.
            dm_.SendRoomListRequest();
            return;
        }
        joinTimer_ = dm_.Loop().SetTimer(kReconnectDelayMs, [this, room] {
            StopTimer(joinTimer_);
            dm_.SendEnterRoom(room);
        });
    });
}

void TMainController::ReconnectFailed() {
    // The sign-in has told the user why. The run goes on in the lost session: the reset command
    // stays offered and the session still ends on its own after ten minutes.
    HideProgress();
    if (dm_.PlaybackMode) return;
    if (dm_.Room.ConnectionState == 0) {
        ConnectionLost(1);  // the session was left for the attempt: its receive loop has ended
        return;
    }
    view_.SetResetButtonVisible(true);
    if (!tmrKillSession) tmrKillSession = dm_.Loop().SetTimer(kKillSessionIntervalMs, [this] { tmrKillSessionTimer(); });
}

void TMainController::tmrSessionTimeTimer() {
    try {
        // Counted on the monotonic clock: a change of the wall clock does not change the minutes.
        const int64_t ms = dm_.Loop().Clock().NowMs() - sessionStartMs_;
        view_.SetRoomCaption(RoomCaption(dm_.RoomInfo.RoomNumber(), dm_.RoomInfo.RoomName(), ms > 0 ? ms / 60000 : 0));
    } catch (...) {
    }
}

bool TMainController::FormCloseQuery() {
    if (!dm_.Room.InRoom) return true;
    return view_.AskYesNo("Do you want to exit current live session?");
}

void TMainController::FormClose() {
    StopTimer(tmrSessionTime);
    StopTimer(tmrKillSession);
    StopTimer(joinTimer_);
    if (Hooks.CloseOpenedWindows) Hooks.CloseOpenedWindows();
}

void TMainController::SplittersMoved(int leftWidth, int participantHeight) {
    if (leftWidth > 0) settings_.Room_LeftSplitter = leftWidth;
    if (participantHeight > 0) settings_.Room_MidSplitter = participantHeight;
}

// ---- Push-to-talk

void TMainController::Floor(TFloorAction action) {
    switch (action) {
    case TFloorAction::None: break;
    case TFloorAction::Take:
        if (RefuseFloorWithoutMicrophone()) break;
        if (dm_.SendTakeMicrophone()) pttHeld_ = true;
        break;
    case TFloorAction::Release:
        pttHeld_ = false;
        dm_.SendReleaseMicrophone();
        break;
    case TFloorAction::ToggleSpeak: SpeakToggle(); break;
    }
}

void TMainController::HookKey(int vk, uint32_t flags) { Floor(HookKeyAction(PushToTalkState(), vk, flags)); }
void TMainController::KeyDown(int vk, bool autoRepeat) { Floor(KeyDownAction(PushToTalkState(), vk, autoRepeat)); }
void TMainController::KeyUp(int vk, bool autoRepeat) { Floor(KeyUpAction(PushToTalkState(), vk, autoRepeat)); }

bool TMainController::RefuseFloorWithoutMicrophone() {
    if (dm_.PlaybackMode || dm_.Room.AudioState != 1) return false;
    if (!toldNoMicrophone_) {
        toldNoMicrophone_ = true;
        view_.AddChatLine("System",
                          "Your microphone does not work, so you cannot speak: nobody would hear you. Check the "
                          "recording device in the Audio Setup Wizard, then reconnect the audio.",
                          kGrey, false);
    }
    return true;
}

void TMainController::SpeakToggle() {
    // Giving the floor up always works; asking for it needs a microphone.
    if (!dm_.Room.SpeakOn && RefuseFloorWithoutMicrophone()) {
        view_.SetSpeakChecked(false);
        return;
    }
    dm_.SpeakToggle();
    view_.SetSpeakChecked(dm_.Room.SpeakOn);
}

// ---- Notifications

void TMainController::HandleMessage(uint32_t msg, std::intptr_t w, std::intptr_t l) {
    switch (msg) {
    case WM_APP_ROOMENTERED: RoomEntered(w); break;
    case WM_APP_ROOMLIST: RoomListReceived(w); break;
    case WM_APP_CONNECTIONLOST: ConnectionLost(w); break;
    case WM_APP_DOWNLOADDONE:
        if (l == 0) {
            try {
                std::string path = Hooks.UserImagesFolder + std::to_string(int32_t(w)) + ".jpg";
                if (std::filesystem::exists(path)) {
                    if (TParticipantRow* row = dm_.Participants.FindUser(int32_t(w))) {
                        row->picturePath = path;
                        dm_.Participants.Changed(row->userId);
                    }
                    view_.LoadUserPicture(int32_t(w), path);
                }
            } catch (...) {
            }
        }
        break;
    case WM_APP_USERSPEAKING: UserSpeaking(int32_t(w), l != 0); break;
    case WM_APP_RESOURCEDELETED:
        if (w != 0)
            view_.ShowError(
                "Unable to delete resource. It may be currently in use or does not exist any more on the server.");
        else
            dm_.SendPresentationListRequest();
        break;
    case WM_APP_SHOWERROR: view_.ShowReceivedError(ServerErrorText(int(l))); break;
    case WM_APP_CHATTARGET:
        try {
            dm_.Room.ChatTargetType = int(w);
            dm_.Room.ChatTargetUser = int32_t(l);
            view_.SelectChatTarget(int(w), int32_t(l));
        } catch (...) {
        }
        break;
    case WM_APP_BOARDUPDATED:
        if (l == 0) dm_.SendAcknowledge(int32_t(w));
        break;
    case WM_APP_KICKED: Kicked(int32_t(w)); break;
    case WM_APP_VOICERIGHT: VoiceRight(w == 0, int32_t(l)); break;
    case WM_APP_POLLRECEIVED: PollReceived(); break;
    case WM_APP_USERSTATUS:
        if (TParticipantRow* row = dm_.Participants.FindUser(int32_t(w))) {
            row->info.SetPresence(uint8_t(l));
            dm_.Participants.SetPresence(*row, uint8_t(l));
        }
        break;
    case WM_APP_SHOWBOARD:
        ShowMainView(mvWhiteboard);
        dm_.SendAcknowledge(int32_t(w));
        break;
    case WM_APP_BOARDRIGHTSCHANGED: dm_.SelectBoard(dm_.CurrentBoard, true); break;
    case WM_APP_BOARDLOADPROGRESS: Progress(15, BoardLoadText(int(w), int(l))); break;
    case WM_APP_FLASHWINDOW:
        if (w != 0) {
            if (!view_.IsMaximized()) view_.Flash(true);
        } else {
            view_.Flash(false);
        }
        break;
    case WM_APP_USERLEVEL: UserLevel(int32_t(w), int32_t(l)); break;
    case WM_APP_RECORDINGSTATUS: RecordingStatus(int(w), int(l)); break;
    case WM_APP_USERLISTCHANGED:
        view_.SetMotionCounts(dm_.Participants.HandsCount(), dm_.Participants.PositiveCount(),
                              dm_.Participants.NegativeCount());
        break;
    case WM_APP_USERVIDEO: UserVideo(int32_t(w), l == 1); break;
    case WM_APP_PRESENTATIONUPLOADED: dm_.SendPresentationListRequest(); break;
    case WM_APP_REQUESTRIGHTS: dm_.SendUserRightsRequest(); break;
    case WM_APP_AUDIOSTATE:
        dm_.Room.AudioState = int(w);
        if (w == 0) toldNoMicrophone_ = false;
        // A microphone that stopped sends no more levels: its meter would keep the last one.
        if (w != 0) view_.SetMicrophoneMeter(0);
        view_.SetAudioControls(w > 0 && !dm_.PlaybackMode, w == 0 && !dm_.PlaybackMode);
        break;
    case WM_APP_AUDIOSETTINGFAILED:
        if (w == 42)
            view_.ShowInformation(
                "Orbelo can't update the audio compressor while a recording is in progress.\r\nPlease stop the "
                "recorder and try again.");
        else
            view_.ShowInformation("The audio settings could not be changed (error " + std::to_string(int(w)) + ").");
        break;
    case WM_APP_PLAYBACKSTARTED:
        formShowDetached_ = true;
        view_.ApplyPlaybackLayout();
        break;
    case WM_APP_HOOKKEY: HookKey(int(w), uint32_t(l)); break;
    case WM_APP_CHATPERMISSION: ChatPermission(int(w)); break;
    case WM_APP_NOTESPERMISSION: NotesPermission(int(w)); break;
    case WM_APP_MICLEVEL:
        view_.SetMicrophoneMeter(MicrophoneMeterPercent(int(w), (l & 0xFF) != 0, settings_.SilenceSuppressionLevel));
        break;
    case WM_APP_SPEAKERLEVEL: view_.SetSpeakerMeter(SpeakerMeterPercent(int(w))); break;
    default: break;  // WM_APP_BYTESSENT and other posters' messages are not the window's
    }
}

void TMainController::UserSpeaking(int32_t user, bool speaking) {
    TParticipantRow* row = dm_.Participants.FindUser(user);
    if (!row) return;
    if (speaking) {
        dm_.Participants.SetMikeState(*row, msSpeaking);
        dm_.Participants.MoveToTop(user);
    } else {
        dm_.Participants.SetMikeState(*row, (dm_.PlaybackMode || row->maySpeak) ? msAllowed : msNotAllowed);
    }
}

void TMainController::Kicked(int32_t remover) {
    if (dm_.PlaybackMode) return;
    const std::string& reason = dm_.Room.KickReason;
    if (const TParticipantRow* row = dm_.Participants.FindUser(remover))
        view_.ShowWarning("You've just been removed from the session by " + row->caption + "\r\nReason: " + reason);
    else
        view_.ShowWarning("Your session was terminated by an administrator\r\nwith the following message:\r\n" +
                          reason);
    view_.CloseWithoutQuestion();
}

void TMainController::VoiceRight(bool granted, int32_t user) {
    TParticipantRow* row = dm_.Participants.FindUser(user);
    if (!row) return;
    const bool own = user == dm_.OwnUserId;
    if (!granted) {
        if (own) {
            // The floor goes back before the row shows the lost right, whichever input holds it.
            if (dm_.Room.SpeakOn) SpeakToggle();
            if (pttHeld_) {
                pttHeld_ = false;
                dm_.SendReleaseMicrophone();
            }
            view_.SetSpeakImage(50);
        }
        row->maySpeak = false;
        dm_.Participants.SetMikeState(*row, msNotAllowed);
    } else {
        row->maySpeak = true;
        if (own) view_.SetSpeakImage(43);
        if (!(own && dm_.Room.SpeakOn)) dm_.Participants.SetMikeState(*row, msAllowed);
    }
    dm_.Participants.Changed(user);
}

void TMainController::PollReceived() {
    const TPollInfo& poll = dm_.ReceivedPoll;
    if (poll.pingType == TPollInfo::ptCheck) {
        dm_.SendAcknowledge(poll.fromId);
    } else if (poll.pingType == TPollInfo::ptBeep) {
        view_.Beep(1000, 500);
        dm_.SendAcknowledge(poll.fromId);
    } else {
        view_.ShowPoll(poll);
    }
}

void TMainController::UserLevel(int32_t user, int32_t level) {
    TParticipantRow* row = dm_.Participants.FindUser(user);
    if (!row) return;
    // A moderator is a level of 1000 or more, as everywhere else.
    const bool moderator = level >= 1000;
    row->maySpeak = moderator;
    row->level = level;
    row->info.SetLevel(level);
    dm_.Participants.SetRole(*row, moderator ? urModerator : urParticipant);
    if (row->mikeState != msSpeaking) dm_.Participants.SetMikeState(*row, moderator ? msAllowed : msNotAllowed);
    if (user == dm_.OwnUserId) ApplyOwnLevel(level);
}

void TMainController::ApplyOwnLevel(int32_t level) {
    const bool moderator = level >= 1000;
    dm_.Room.VoiceRight = moderator;
    dm_.BoardRight = moderator;
    dm_.Room.DocumentRight = moderator && dm_.RoomInfo.ModeratorsGetDocumentTools();
    dm_.Room.VideoRight = moderator && dm_.RoomInfo.ModeratorVideoAllowed();
    dm_.OwnLoginInfo.SetLevel(level);
    dm_.OwnLoginInfo.SetLevel3(level);
    view_.SetRecorderToolVisible(moderator && dm_.RoomInfo.ServerRecordingAllowed());
    view_.SetClearMotionsVisible(moderator);
    view_.SetChatPermissionsMenuVisible(moderator);
    view_.SetBrowserModeratorControls(moderator);
    if (dm_.RoomHooks.ShowModerationActions) dm_.RoomHooks.ShowModerationActions(moderator);
    view_.SetBoardToolBoxVisible(dm_.CurrentBoard == 0 || dm_.BoardRight);
}

void TMainController::RecordingStatus(int stage, int code) {
    switch (stage) {
    case 0: view_.ShowInformation("The Session Recorder is now running. The session is being recorded!"); break;
    case 1:
        view_.ShowError(ErrorWithDescription("Session recorder is not started! " + std::to_string(code), code));
        break;
    case 2:
        view_.ShowInformation(
            "The Session Recorder is now stopped.\r\nThis recording is available for playback/publishing under "
            "your web based control panel.");
        break;
    case 3: view_.ShowError(ServerErrorText(code)); break;
    default: break;
    }
}

void TMainController::UserVideo(int32_t user, bool started) {
    TParticipantRow* row = dm_.Participants.FindUser(user);
    if (!row) return;
    dm_.Participants.SetCamState(*row, started ? csPublishing : csNone);
    if (started)
        view_.AddChatLine("System",
                          row->caption +
                              " started a webcam. To watch the user's video stream click on the red camera image "
                              "next to the user's name.",
                          0, true);
    else
        view_.AddChatLine("System", row->caption + " - webcam stopped.", 0, true);
    Post(WM_APP_CHATTARGET, 0, 0);
}

void TMainController::ChatPermission(int mode) {
    dm_.Room.ChatTargetType = 0;
    dm_.Room.ChatTargetUser = 0;
    view_.SelectChatTarget(0, 0);
    view_.SetChatPermission(ChatPermissionLayout(mode, dm_.OwnLoginInfo.Level()));
}

void TMainController::NotesPermission(int value) {
    if (dm_.PlaybackMode) return;
    try {
        view_.SetNotesEnabled(value == 0);
    } catch (...) {
    }
}

}  // namespace orb
