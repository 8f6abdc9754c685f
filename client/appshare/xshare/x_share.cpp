#include "appshare/xshare/x_share.h"

#include "appshare/capture/capture.h"

namespace orb::appshare {

std::unique_ptr<TXShareScreen> TXShareScreen::Open(const std::string& display) {
    auto screen = screencap::Screen::Open(display);
    if (!screen) return nullptr;
    auto s = std::make_unique<TXShareScreen>();
    s->screen_ = std::move(screen);
    return s;
}

sharing::TRect TXShareScreen::ScreenRect() {
    auto r = screen_->RootRect();
    return {r.left, r.top, r.width, r.height};
}

bool TXShareScreen::WindowExists(uint32_t window) { return window != 0 && screen_->IsWindow(window); }

bool TXShareScreen::Capture(const TAppShareDescriptor& d, uint32_t window, bool captureTranslucent, bool showBorder,
                            ShareBitmap& target) {
    const bool cursor = d.drawCursor != 0;
    switch (d.shareMode) {
        case kShareModeDesktop:
            return CaptureScreenScaled(*screen_, target, d.sourceLeft, d.sourceTop, d.sourceWidth, d.sourceHeight,
                                       d.pictureWidth, d.pictureHeight, d.pixelFormat, captureTranslucent, cursor);
        case kShareModeArea: {
            // An area reaching past the screen is captured as far as the screen goes.
            auto area = sharing::ClipToScreen({d.sourceLeft, d.sourceTop, d.sourceWidth, d.sourceHeight}, ScreenRect());
            if (area.Empty()) return false;
            return CaptureScreenArea(*screen_, target, area.left, area.top, area.width, area.height, d.pictureWidth,
                                     d.pictureHeight, d.pixelFormat, captureTranslucent, cursor, showBorder);
        }
        case kShareModeWindow:
            return CaptureWindowToBitmap(*screen_, target, window, d.pictureWidth, d.pictureHeight, d.pixelFormat,
                                         captureTranslucent, cursor);
        default:
            return false;
    }
}

}  // namespace orb::appshare
