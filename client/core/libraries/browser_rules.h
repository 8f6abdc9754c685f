#pragma once
// What the guided browser does with a navigation, and the welcome window's two modes: plain
// decisions, so the windows only carry them out.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "loop/event_loop.h"

namespace orb {

struct TNavigationDecision {
    bool accept = true;     // the view goes there
    bool broadcast = false; // everybody is sent there (kind 32)
    std::string message;    // told to the own user (empty: nothing)
};

// A navigation of the guided browser. Frames inside a page are never shared; top-level pages that
// are not web pages are refused; a moderator's own top-level navigation is shared with the room,
// except a form submission (its result depends on data the others never sent) and an address that
// does not fit the record.
TNavigationDecision DecideNavigation(bool mainFrame, std::string_view url, bool formSubmission, int32_t pusher,
                                     int32_t ownUserId, int32_t ownLevel);

inline constexpr const char* kFormNotSharedText =
    "You are sending form data to this web site. The page that answers is not shown to the other "
    "participants: their browsers stay on the previous page.";
inline constexpr const char* kBookmarkedText = "This link has been bookmarked.";
inline constexpr const char* kPopupQuestion =
    "This web site is trying to open a popup window.\r\nPop up windows are currently blocked.\r\nDo you want to "
    "allow this pop up window to open this time only?\r\n(You can configure the pop up settings from File - "
    "Settings - Notifications menu.)";

// The welcome window's bottom panel in host mode and in tips mode.
struct TWelcomeLayout {
    std::string dismissText;
    int dismissLeft = 5;
    bool checkBoxVisible = false;
    bool centred = true;       // host mode: centred on the screen; tips: at the given place
    bool closesItself = false; // host mode closes after kWelcomeCloseMs
};
constexpr int64_t kWelcomeCloseMs = 60000;
TWelcomeLayout WelcomeLayout(bool tips);

// The host page's close timer: one tick after kWelcomeCloseMs closes the window, then it stops.
class TWelcomeCloseTimer {
public:
    explicit TWelcomeCloseTimer(IEventLoop& loop) : loop_(loop) {}
    ~TWelcomeCloseTimer() { Stop(); }
    TWelcomeCloseTimer(const TWelcomeCloseTimer&) = delete;
    TWelcomeCloseTimer& operator=(const TWelcomeCloseTimer&) = delete;
    void Start(std::function<void()> close);
    void Stop();
    bool Running() const { return id_ != 0; }

private:
    IEventLoop& loop_;
    TimerId id_ = 0;
};

}  // namespace orb
