#include "appshare/settings/share_settings_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orb::appshare {

int32_t RefreshOfPosition(int32_t position) { return std::clamp(position / 250 * 250, 250, 2000); }

uint8_t PixelFormatOfEntry(int entry) {
    return entry == 1 ? kPixelFormat16 : entry == 2 ? kPixelFormat24 : kPixelFormat8;
}

int EntryOfPixelFormat(uint8_t format) { return format == kPixelFormat16 ? 1 : format == kPixelFormat24 ? 2 : 0; }

TPreviewSelection ReleaseSelection(TPreviewSelection s) {
    if (std::abs(s.x1 - s.x0) >= kMinArea && std::abs(s.y1 - s.y0) >= kMinArea) return s;
    return {s.x1, s.y1, s.x1 + 100, s.y1 + 100};
}

TShareStart BuildShareStart(const TShareSettingsChoice& c) {
    TShareStart out;
    TAppShareDescriptor& d = out.descriptor;
    d.userId = c.ownUserId;
    d.pixelFormat = c.pixelFormat;
    const int32_t W = c.screen.width, H = c.screen.height;
    switch (c.mode) {
        case kShareModeDesktop: {
            d.shareMode = kShareModeDesktop;
            d.title = "Desktop";
            const sharing::TRect src = c.showTaskbar || c.workArea.Empty() ? c.screen : c.workArea;
            d.sourceLeft = src.left;
            d.sourceTop = src.top;
            d.sourceWidth = d.pictureWidth = src.width;
            d.sourceHeight = d.pictureHeight = src.height;
            break;
        }
        case kShareModeArea: {
            d.shareMode = kShareModeArea;
            d.title = "Part of Desktop";
            const auto& s = c.selection;
            auto sx = [&](int32_t v) { return int32_t(std::lround(double(W) / kPreviewWidth * v)); };
            auto sy = [&](int32_t v) { return int32_t(std::lround(double(H) / kPreviewHeight * v)); };
            sharing::TRect area;
            area.left = sx(std::min(s.x0, s.x1));
            area.top = sy(std::min(s.y0, s.y1));
            area.width = std::abs(sx(std::max(s.x0, s.x1)) - area.left);
            area.height = std::abs(sy(std::max(s.y0, s.y1)) - area.top);
            // An area reaching past the screen is cut to it.
            area = sharing::ClipToScreen(area, c.screen);
            if (area.width < kMinArea || area.height < kMinArea) {
                out.refusal =
                    "Area too small! Please click and drag over the preview image \r\nto select a part of your desktop.";
                return out;
            }
            d.sourceLeft = area.left;
            d.sourceTop = area.top;
            d.sourceWidth = area.width;
            d.sourceHeight = area.height;
            d.pictureWidth = W;
            d.pictureHeight = H;
            break;
        }
        default: {
            if (!c.window || c.window->window == 0) {
                out.refusal = "Please select an application from the list.";
                return out;
            }
            d.shareMode = kShareModeWindow;
            d.sourceLeft = d.sourceTop = 0;
            d.sourceWidth = d.pictureWidth = W;
            d.sourceHeight = d.pictureHeight = H;
            d.title = c.window->title.substr(0, TAppShareDescriptor::kTitleCapacity);
            out.window = c.window->window;
            break;
        }
    }
    d.horizontalScale = d.verticalScale = 1.0;
    d.unused9 = 9;
    d.segmentsPerLine = kDefaultSegmentsPerLine;
    d.drawCursor = c.showCursor ? 1 : 0;
    d.frameInterval = RefreshOfPosition(c.refresh);
    d.sharerName = c.ownName.substr(0, TAppShareDescriptor::kNameCapacity);
    out.ok = true;
    return out;
}

}  // namespace orb::appshare
