#pragma once
// The share session's screen and input injector on an X display: captures through our screen
// layer, input through XTest.

#include <memory>
#include <string>

#include "screencap/screen.h"
#include "sharing/share_session.h"
#include "xdesktop/xdesktop.h"

namespace orb::appshare {

class TXShareScreen final : public sharing::IShareScreen {
public:
    // Null when the display cannot be opened.
    static std::unique_ptr<TXShareScreen> Open(const std::string& display = {});

    sharing::TRect ScreenRect() override;
    bool WindowExists(uint32_t window) override;
    bool Capture(const TAppShareDescriptor& d, uint32_t window, bool captureTranslucent, bool showBorder,
                 sharing::TRgbPicture& target) override;
    screencap::Screen& Screen() { return *screen_; }

private:
    std::unique_ptr<screencap::Screen> screen_;
    // The capture's picture; it borrows the session's buffer for the capture.
    screencap::RgbImage work_;
};

class TXInputInjector final : public sharing::IInputInjector {
public:
    explicit TXInputInjector(xdesktop::XDesktop& desktop) : desktop_(desktop) {}
    bool MoveTo(int32_t x, int32_t y) override { return desktop_.MoveTo(x, y); }
    bool Button(int button, bool down) override { return desktop_.Button(button, down); }
    bool Wheel(int32_t delta) override { return desktop_.Wheel(delta); }
    bool Key(uint8_t virtualKey, bool up) override { return desktop_.Key(virtualKey, up); }
    void ReleaseAll() override { desktop_.ReleaseAll(); }
    sharing::TRect ScreenRect() override {
        auto r = desktop_.ScreenRect();
        return {r.left, r.top, r.width, r.height};
    }

private:
    xdesktop::XDesktop& desktop_;
};

}  // namespace orb::appshare
