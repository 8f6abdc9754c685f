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

bool TXShareScreen::Capture(const TAppShareDescriptor& d, uint32_t window, bool /*captureTranslucent*/,
                            bool showBorder, sharing::TRgbPicture& target) {
    // An X screen image already holds every window as shown, translucent ones included.
    const bool cursor = d.drawCursor != 0;
    // The capture fills the session's own buffer (already of the picture's size after the first
    // frame or the share's warm-up), so a tick allocates nothing.
    work_.pixels.swap(target.pixels);
    bool ok = false;
    switch (d.shareMode) {
        case kShareModeDesktop:
            ok = CaptureScreenScaled(*screen_, work_, d.sourceLeft, d.sourceTop, d.sourceWidth, d.sourceHeight,
                                     d.pictureWidth, d.pictureHeight, cursor);
            break;
        case kShareModeArea: {
            // An area reaching past the screen is captured as far as the screen goes.
            auto area = sharing::ClipToScreen({d.sourceLeft, d.sourceTop, d.sourceWidth, d.sourceHeight}, ScreenRect());
            if (area.Empty()) break;
            ok = CaptureScreenArea(*screen_, work_, area.left, area.top, area.width, area.height, d.pictureWidth,
                                   d.pictureHeight, cursor, showBorder);
            break;
        }
        case kShareModeWindow:
            ok = CaptureWindowToBitmap(*screen_, work_, window, d.pictureWidth, d.pictureHeight, cursor);
            break;
        default: break;
    }
    target.pixels.swap(work_.pixels);
    if (!ok) return false;
    target.width = work_.width;
    target.height = work_.height;
    return true;
}

}  // namespace orb::appshare
