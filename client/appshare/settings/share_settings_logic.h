#pragma once
// The share settings' decisions without widgets: the refresh slider, the colour entries, the area
// drawn on the preview and the descriptor built at Start, with its two refusals.

#include <cstdint>
#include <optional>
#include <string>

#include "sharing/records/appshare_records.h"
#include "sharing/share_geometry.h"

namespace orb::appshare {

constexpr int32_t kPreviewWidth = 320, kPreviewHeight = 240;
constexpr int32_t kMinArea = 20;

// The slider position rounded down to a multiple of 250, within 250..2000.
int32_t RefreshOfPosition(int32_t position);
// Colour entries: 0 "256 Colors (faster)" = 3, 1 "High Color" = 5, 2 "True Color (slower)" = 6.
uint8_t PixelFormatOfEntry(int entry);
int EntryOfPixelFormat(uint8_t format);

// The preview selection after the release: kept when both sides are at least 20 preview pixels,
// else a 100 x 100 rectangle from the release point. Corners as (x0, y0) and (x1, y1).
struct TPreviewSelection {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool operator==(const TPreviewSelection&) const = default;
};
TPreviewSelection ReleaseSelection(TPreviewSelection s);

struct TShareWindowChoice {
    uint32_t window = 0;
    std::string title;
};

struct TShareSettingsChoice {
    int32_t mode = kShareModeDesktop;
    bool showTaskbar = true;
    bool showCursor = true;
    uint8_t pixelFormat = kPixelFormat8;
    int32_t refresh = 500;
    TPreviewSelection selection;
    std::optional<TShareWindowChoice> window;
    sharing::TRect screen;
    sharing::TRect workArea;
    int32_t ownUserId = 0;
    std::string ownName;
};

struct TShareStart {
    bool ok = false;
    std::string refusal;  // shown to the user when not ok
    TAppShareDescriptor descriptor;
    uint32_t window = 0;
};

// The descriptor of Start. An area is taken from the preview scaled to the screen and cut to the
// screen; one below 20 screen pixels either way is refused, as is the window mode without a window.
TShareStart BuildShareStart(const TShareSettingsChoice& c);

}  // namespace orb::appshare
