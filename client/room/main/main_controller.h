#pragma once
// The main window's decisions, without a window: the start-up driver, the room chooser, the
// room-entry sequence, connection loss, the main-area views, the room caption, the close question,
// every WM_APP notification the window handles, and push-to-talk. The window (TfOrbeloMain)
// forwards its events here and renders through IMainView.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dm/dm.h"
#include "main/main_view.h"
#include "settings/settings.h"

namespace orb {

// ---- Plain decisions (tested as tables)

// The connection-speed menu item to tick for a stored speed: the item of that speed, or the
// 131072 item ("CABLE / DSL (1 mbps)") for any other value.
int32_t ConnectionSpeedItem(int32_t speed);
// The style manager's theme for a ColorTheme value.
int StyleThemeFor(int colorTheme);
// Chat permission mode as the window shows it; `level1` is the own first level.
TChatPermissionLayout ChatPermissionLayout(int mode, int32_t level1);
// Microphone meter percent: 0 when not transmitting or below the silence threshold.
int MicrophoneMeterPercent(int peak, bool transmitting, int silenceLevel);
int SpeakerMeterPercent(int peak);
// Addresses the welcome window may open: http, https, or about:blank.
bool IsSafePageAddress(const std::string& address);
// Progress text of a whiteboard load.
std::string BoardLoadText(int board, int items);
// The room a reconnect enters: the one last asked for (the entry may not have been answered), else
// the one entered, else a join link's; 0 when none is known (the room list is asked for again).
int32_t RoomToReenter(int32_t requested, int32_t entered, int32_t linkRoom);
// The room caption, with the minutes spent in the room when `minutes` is 0 or more.
std::string RoomCaption(int32_t room, const std::string& name, int64_t minutes = -1);

// Push-to-talk: what one key event does to the floor.
enum class TFloorAction { None, Take, Release, ToggleSpeak };
struct TPushToTalkState {
    int32_t pttKey = 17;       // 0: no push-to-talk key
    bool voiceRight = false;
    bool hookInstalled = false;
    bool speakOn = false;
    bool latch = false;
    bool held = false;         // the key holds the floor it asked for
};
constexpr int kVkF3 = 114;
constexpr uint32_t kKeyReleased = 1u << 31;
constexpr uint32_t kKeyRepeat = 1u << 30;
TFloorAction HookKeyAction(const TPushToTalkState& s, int vk, uint32_t flags);
TFloorAction KeyDownAction(const TPushToTalkState& s, int vk, bool autoRepeat);
TFloorAction KeyUpAction(const TPushToTalkState& s, int vk, bool autoRepeat);

class TMainController {
public:
    static constexpr int64_t kSessionTimeIntervalMs = 60000;
    static constexpr int64_t kKillSessionIntervalMs = 600000;
    static constexpr int64_t kJoinLinkDelayMs = 1000;
    static constexpr int64_t kReconnectDelayMs = 2000;
    static constexpr const char* kTipsAddress = "http://www.orbelo.com/tips/moderator.html";

    // What the start needs beyond the data module: the recording steps come with the player.
    struct THooks {
        // False when the run must end (the step has told the user).
        std::function<bool(const std::string& path)> OpenRecordedSession;
        std::function<bool(const std::string& address)> OpenRecordedSessionURL;
        // Plays the recording a play link names, once the session is up.
        std::function<bool(const std::string& name)> PlayLinkSession;
        // Replaces the data module's login dialog (false: cancelled).
        std::function<bool()> ShowLoginDialog;
        // Replaces the session start after the launch argument (and the login dialog).
        std::function<void()> StartRun;
        // Closes every window the data module opened (at close).
        std::function<void()> CloseOpenedWindows;
        // The user-picture folder, ending with a separator.
        std::string UserImagesFolder;
    };

    TMainController(TDM& dm, Settings& settings, IMainView& view, WindowHandle self);
    ~TMainController();
    TMainController(const TMainController&) = delete;
    TMainController& operator=(const TMainController&) = delete;

    THooks Hooks;

    // The start-up driver; runs once (nothing after WM_APP_PLAYBACKSTARTED).
    void FormShow(const std::vector<std::string>& args);
    // Every notification posted to the main window.
    void HandleMessage(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);

    void RoomListReceived(std::intptr_t result);
    void RoomEntered(std::intptr_t result);
    void ConnectionLost(std::intptr_t state);
    void ShowMainView(int view);
    // The user's own switch of the main view (view selector, Present): leaving the guided browser
    // tells the room, as closing the browser does.
    void SwitchMainView(int view);
    // The reset command: asks first; true when the reconnection started.
    bool ResetConnection();
    void ReconnectSession();
    void tmrSessionTimeTimer();
    void tmrKillSessionTimer();
    // True when the window may close.
    bool FormCloseQuery();
    void FormClose();
    // The splitters moved (left panel width, participant panel height): stored in the settings.
    void SplittersMoved(int leftWidth, int participantHeight);

    // Push-to-talk inputs: the hook library's message, and the window's own key events (virtual
    // key codes).
    void HookKey(int vk, uint32_t flags);
    void KeyDown(int vk, bool autoRepeat);
    void KeyUp(int vk, bool autoRepeat);
    // The Speak command (button or F3).
    void SpeakToggle();

    int CurrentView() const { return currentView_; }
    bool KillTimerRunning() const { return tmrKillSession != 0; }
    bool TypingFlag() const { return typing_; }
    bool PushToTalkHeld() const { return pttHeld_; }
    void SetShareViewerDocked(bool docked) { shareViewerDocked_ = docked; }
    TPushToTalkState PushToTalkState() const;

private:
    void Post(uint32_t msg, std::intptr_t w, std::intptr_t l);
    void Progress(int position, const std::string& text);
    void HideProgress();
    void StartRun();
    void EnterRoomSteps();
    void ShowWelcome();
    void Floor(TFloorAction action);
    // True (and the user told why, once) when the microphone cannot capture: asking for the floor
    // would only show everybody a speaker nobody hears.
    bool RefuseFloorWithoutMicrophone();
    void ApplyOwnLevel(int32_t level);
    void Kicked(int32_t remover);
    void VoiceRight(bool granted, int32_t user);
    void PollReceived();
    void UserLevel(int32_t user, int32_t level);
    void RecordingStatus(int stage, int code);
    void UserVideo(int32_t user, bool started);
    void ChatPermission(int mode);
    void NotesPermission(int value);
    void UserSpeaking(int32_t user, bool speaking);
    void StopTimer(TimerId& id);
    void ParkShareViewer();
    // A reset whose new start failed.
    void ReconnectFailed();

    TDM& dm_;
    Settings& settings_;
    IMainView& view_;
    WindowHandle self_;
    bool shown_ = false;
    bool formShowDetached_ = false;
    bool typing_ = false;
    int currentView_ = mvWhiteboard;
    bool pttHeld_ = false;
    bool toldNoMicrophone_ = false;
    bool shareViewerDocked_ = true;
    TimerId tmrSessionTime = 0;
    int64_t sessionStartMs_ = 0;
    TimerId tmrKillSession = 0;
    TimerId joinTimer_ = 0;
};

}  // namespace orb
