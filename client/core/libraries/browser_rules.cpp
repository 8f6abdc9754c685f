#include "libraries/browser_rules.h"

#include "libraries/library_records.h"
#include "util/text_util.h"

namespace orb {

TNavigationDecision DecideNavigation(bool mainFrame, std::string_view url, bool formSubmission, int32_t pusher,
                                     int32_t ownUserId, int32_t ownLevel) {
    TNavigationDecision d;
    if (!mainFrame) return d;
    if (!IsAllowedPageAddress(url)) {
        d.accept = false;
        return d;
    }
    if (pusher != ownUserId || ownUserId == 0 || ownLevel <= 999) return d;
    if (formSubmission) {
        d.message = kFormNotSharedText;
        return d;
    }
    if (Trim(url).size() > 200) {
        d.message = kAddressTooLongText;
        return d;
    }
    d.broadcast = true;
    return d;
}

TWelcomeLayout WelcomeLayout(bool tips) {
    TWelcomeLayout l;
    if (tips) {
        l.dismissText = "Do not show these tips any more.";
        l.dismissLeft = 25;
        l.checkBoxVisible = true;
        l.centred = false;
    } else {
        l.dismissText = "This welcome window is provided by your host.";
        l.closesItself = true;
    }
    return l;
}

void TWelcomeCloseTimer::Start(std::function<void()> close) {
    Stop();
    id_ = loop_.SetTimer(kWelcomeCloseMs, [this, close = std::move(close)] {
        // Stopping may free this callback: only the copy is used afterwards.
        std::function<void()> closeNow = close;
        Stop();
        closeNow();
    });
}

void TWelcomeCloseTimer::Stop() {
    if (id_) loop_.KillTimer(id_);
    id_ = 0;
}

}  // namespace orb
