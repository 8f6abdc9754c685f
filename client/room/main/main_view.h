#pragma once
// What the main window's controller needs of the window: it decides, the window renders. The
// targets that later windows fill (chat views, poll answers, welcome page, playback layout) have
// empty defaults, so the window can grow into them.

#include <cstdint>
#include <string>

#include "protocol/records.h"

namespace orb {

struct TScreenRect {
    int left = 0, top = 0, width = 0, height = 0;
};

// The chat permission as the window shows it (see TMainController::ChatPermissionLayout).
struct TChatPermissionLayout {
    bool applyMode = true;   // false: an unknown mode only clears the checks and the header colour
    bool inputVisible = true;
    bool sendToMenu = true;  // the chat header's drop-down offers private targets
    int checkedItem = -1;    // 0, 1 or 3; -1 none
    bool disabledHeader = false;  // "Public Messages - Disabled for users" in red
};

class IMainView {
public:
    virtual ~IMainView() = default;

    // Message boxes; every text is shown as plain text.
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowWarning(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // An error a received message reports: shown without waiting for the user, and bounded (the
    // same text again adds to its open box).
    virtual void ShowReceivedError(const std::string& text) { ShowError(text); }

    // Start-up.
    virtual void CheckConnectionSpeedItem(int32_t tag) = 0;
    virtual void ApplyColorTheme(int styleTheme) = 0;
    virtual void DockWindows() = 0;
    virtual void PlaceAtWorkArea() = 0;
    virtual void PlaceFullScreen() = 0;
    virtual void BringToFront() = 0;
    // Screen height, and whether the screen is at 96 dots per inch.
    virtual int ScreenHeight() const = 0;
    virtual bool ScreenAt96Dpi() const = 0;
    // "Reconnect Audio" and "Reconnect" enabled.
    virtual void SetLiveCommandsEnabled(bool enabled) = 0;
    virtual void SetSplitters(int leftWidth, int participantHeight) = 0;
    virtual void LoadRecentPollsMenu() {}

    // The room list, modally; the chosen room number (0 or less: none).
    virtual int RunRoomList() = 0;
    virtual void SetRoomCaption(const std::string& caption) = 0;
    virtual void SetRecorderToolVisible(bool visible) = 0;
    virtual void SetChatPermissionsMenuVisible(bool visible) = 0;
    virtual void SetClearMotionsVisible(bool visible) = 0;
    virtual void SetBoardToolBoxVisible(bool visible) = 0;
    virtual void SetBrowserModeratorControls(bool /*moderator*/) {}
    // The room area in screen coordinates (for the welcome and tips pages).
    virtual TScreenRect RoomArea() const = 0;
    // The welcome window with a page address: the host's welcome text (tips = false) or the
    // moderator tips; the check box shows `dontShowAgain`.
    virtual void ShowWelcomePage(const std::string& /*address*/, bool /*tips*/, const TScreenRect& /*where*/,
                                 bool /*dontShowAgain*/) {}
    // Closes the main window without the close question.
    virtual void CloseWithoutQuestion() = 0;
    virtual void Quit(int exitCode) = 0;

    // Connection.
    virtual void SetResetButtonVisible(bool visible) = 0;
    // A line of the public chat view from a sender, in a colour (0x00BBGGRR), as a notice or not.
    virtual void AddChatLine(const std::string& sender, const std::string& text, uint32_t colour, bool notice) = 0;
    virtual void Beep(int frequency, int durationMs) = 0;

    // Main area.
    virtual void ShowView(int view) = 0;
    // Parking the docked sharing viewer when no share runs.
    virtual void HideShareViewer() = 0;
    virtual void SelectChatTarget(int /*type*/, int32_t /*user*/) {}

    // Message handlers.
    virtual void Flash(bool on) = 0;
    virtual bool IsMaximized() const = 0;
    virtual void SetMotionCounts(int hands, int yes, int no) = 0;
    virtual void SetAudioControls(bool reconnectVisible, bool speakBarVisible) = 0;
    virtual void SetMicrophoneMeter(int percent) = 0;
    virtual void SetSpeakerMeter(int percent) = 0;
    virtual void SetChatPermission(const TChatPermissionLayout& layout) = 0;
    virtual void SetNotesEnabled(bool enabled) = 0;
    virtual void SetSpeakChecked(bool /*checked*/) {}
    virtual void SetSpeakImage(int /*image*/) {}
    virtual void ShowPoll(const ::TPollInfo& /*poll*/) {}
    virtual void LoadUserPicture(int32_t /*user*/, const std::string& /*path*/) {}
    virtual void ApplyPlaybackLayout() {}
};

}  // namespace orb
