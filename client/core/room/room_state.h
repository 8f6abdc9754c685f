#pragma once
// The room window's part of the data module: what the main window, the handlers and the actions
// share about the room the user is in. Plain values; the windows render them.

#include <cstdint>
#include <memory>
#include <string>

namespace orb {

// The main area's three views.
enum TMainView : int { mvWhiteboard = 0, mvBrowser = 1, mvShareViewer = 2 };

struct TRoomState {
    // A room entry succeeded; closing the window asks first while it is set.
    bool InRoom = false;
    // 0 connected; greater than 0 the number of the last loss (1 receive loop ended, 2 heartbeat
    // failed, 3 audio reconnect, 4 room entry refused, 5 send queue write failed).
    int ConnectionState = 0;
    // 0 the voice connection runs; greater than 0 a voice failure.
    int AudioState = 0;

    // Own rights (the board right is TDM::BoardRight, shared with the board engine).
    bool VoiceRight = false;
    bool DocumentRight = false;
    bool VideoRight = false;
    bool VideoPublishing = false;

    // The Speak command is on (its action is checked), and the latch it sets while it holds the floor.
    bool SpeakOn = false;
    bool SpeakLatch = false;

    // Where the chat input sends to: 0 public, 1 private to ChatTargetUser.
    int ChatTargetType = 0;
    int32_t ChatTargetUser = 0;

    // Room entry.
    double SessionStartTime = 0;  // days since 30 December 1899
    std::string WelcomeText;
    bool WelcomePage = false;
    // Cleared once the moderator tips were shown in this run.
    bool TipsNotShown = true;
    // The connection speed came from the default, not from the settings; cleared once told.
    bool ConnectionSpeedDefaultUsed = false;

    // Why the server removed this user (kind 60), shown by the removal notice.
    std::string KickReason;
};

// The login dialog as the data module drives it: shown modally until server, user name and
// password are filled or the user cancels.
class ILoginDialog {
public:
    virtual ~ILoginDialog() = default;
    // Modal run; true for "Sign In", false for Cancel.
    virtual bool Execute() = 0;
    virtual std::string HostText() const = 0;
    virtual std::string UserNameText() const = 0;
    virtual std::string PasswordText() const = 0;
};

}  // namespace orb
