#pragma once
// Remote control input: the events a controlling viewer sends (kind 147; the tile scheme's
// server sends kind 105) and their replay on the sharer's display. Only the flags a viewer builds
// are accepted; anything else is refused whole, and coordinates are clamped to 0..65535.

#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/records.h"
#include "sharing/share_geometry.h"

namespace orb::sharing {

// Mouse-event flags of the wire (absolute coordinates with buttons and wheel).
enum : int32_t {
    kMouseMove = 0x0001,
    kMouseLeftDown = 0x0002,
    kMouseLeftUp = 0x0004,
    kMouseRightDown = 0x0008,
    kMouseRightUp = 0x0010,
    kMouseMiddleDown = 0x0020,
    kMouseMiddleUp = 0x0040,
    kMouseWheel = 0x0800,
    kMouseAbsolute = 0x8000,
};
// Key-event flags: the extended-key bit and the key-up bit.
enum : int32_t { kKeyExtended = 0x0001, kKeyUp = 0x0002 };
// One wheel notch, and the most a single event may turn.
constexpr int32_t kWheelDelta = 120;
constexpr int32_t kMaxWheel = 20 * kWheelDelta;

// What the sharer's display does with accepted input.
class IInputInjector {
public:
    virtual ~IInputInjector() = default;
    virtual bool MoveTo(int32_t x, int32_t y) = 0;
    // Button 1 left, 2 middle, 3 right.
    virtual bool Button(int button, bool down) = 0;
    // Positive turns away from the user; in wire units (120 a notch).
    virtual bool Wheel(int32_t delta) = 0;
    virtual bool Key(uint8_t virtualKey, bool up) = 0;
    virtual TRect ScreenRect() = 0;
    // Lets go of keys and buttons still held by replayed input (control moved on, share ended).
    virtual void ReleaseAll() {}
};

// One replay step, checked and resolved to the screen.
struct TInputAction {
    enum Kind { Move, Button, Wheel, Key } kind = Move;
    TPoint at;          // Move: screen point
    int button = 0;     // Button
    bool down = false;  // Button
    int32_t wheel = 0;  // Wheel
    uint8_t key = 0;    // Key
    bool keyUp = false; // Key
    bool operator==(const TInputAction&) const = default;
};

// The steps an event stands for: a mouse event moves first (when it carries the move flag or a
// button or wheel, since its coordinates are absolute), then presses or releases, then turns the
// wheel. Nothing for an event of an unknown kind, with flags outside the whitelist, a relative
// mouse event, or a key event without a key.
std::vector<TInputAction> ResolveRemoteInput(const TRemoteInputEvent& e, int32_t pictureWidth, int32_t pictureHeight,
                                             const TRect& source, const TRect& screen);

// Runs the steps on the injector; false when any was refused (the rest still run).
bool ReplayInput(IInputInjector& injector, const std::vector<TInputAction>& actions);

// Builders used by the viewer window.
TRemoteInputEvent MouseEvent(int32_t flags, TPoint remote, int32_t mouseData = 0);
TRemoteInputEvent KeyEvent(uint8_t virtualKey, uint8_t scanCode, bool up);

}  // namespace orb::sharing
