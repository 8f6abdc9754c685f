#include "sharing/remote_input.h"

#include <algorithm>

namespace orb::sharing {

namespace {

constexpr int32_t kMouseFlags = kMouseMove | kMouseLeftDown | kMouseLeftUp | kMouseRightDown | kMouseRightUp |
                                kMouseMiddleDown | kMouseMiddleUp | kMouseWheel | kMouseAbsolute;
constexpr int32_t kKeyFlags = kKeyExtended | kKeyUp;

}  // namespace

std::vector<TInputAction> ResolveRemoteInput(const TRemoteInputEvent& e, int32_t pictureWidth, int32_t pictureHeight,
                                             const TRect& source, const TRect& screen) {
    std::vector<TInputAction> out;
    if (e.eventKind == TRemoteInputEvent::ieKeyboard) {
        if ((e.flags & ~kKeyFlags) != 0 || e.virtualKey == 0) return out;
        TInputAction a;
        a.kind = TInputAction::Key;
        a.key = e.virtualKey;
        a.keyUp = (e.flags & kKeyUp) != 0;
        out.push_back(a);
        return out;
    }
    if (e.eventKind != TRemoteInputEvent::ieMouse) return out;
    if ((e.flags & ~kMouseFlags) != 0 || !(e.flags & kMouseAbsolute)) return out;
    if ((e.flags & ~kMouseAbsolute) == 0) return out;
    auto at = RemoteToScreen(e.dx, e.dy, pictureWidth, pictureHeight, source, screen);
    if (!at) return out;
    TInputAction move;
    move.kind = TInputAction::Move;
    move.at = *at;
    out.push_back(move);
    static constexpr struct {
        int32_t flag;
        int button;
        bool down;
    } kButtons[] = {{kMouseLeftDown, 1, true},   {kMouseRightDown, 3, true}, {kMouseMiddleDown, 2, true},
                    {kMouseLeftUp, 1, false},    {kMouseRightUp, 3, false},  {kMouseMiddleUp, 2, false}};
    for (const auto& b : kButtons)
        if (e.flags & b.flag) {
            TInputAction a;
            a.kind = TInputAction::Button;
            a.button = b.button;
            a.down = b.down;
            out.push_back(a);
        }
    if ((e.flags & kMouseWheel) && e.mouseData != 0) {
        TInputAction a;
        a.kind = TInputAction::Wheel;
        a.wheel = std::clamp(e.mouseData, -kMaxWheel, kMaxWheel);
        out.push_back(a);
    }
    return out;
}

bool ReplayInput(IInputInjector& injector, const std::vector<TInputAction>& actions) {
    bool ok = true;
    for (const auto& a : actions) {
        switch (a.kind) {
            case TInputAction::Move: ok = injector.MoveTo(a.at.x, a.at.y) && ok; break;
            case TInputAction::Button: ok = injector.Button(a.button, a.down) && ok; break;
            case TInputAction::Wheel: ok = injector.Wheel(a.wheel) && ok; break;
            case TInputAction::Key: ok = injector.Key(a.key, a.keyUp) && ok; break;
        }
    }
    return ok;
}

TRemoteInputEvent MouseEvent(int32_t flags, TPoint remote, int32_t mouseData) {
    TRemoteInputEvent e;
    e.eventKind = TRemoteInputEvent::ieMouse;
    e.flags = flags | kMouseAbsolute;
    e.dx = remote.x;
    e.dy = remote.y;
    e.mouseData = mouseData;
    return e;
}

TRemoteInputEvent KeyEvent(uint8_t virtualKey, uint8_t scanCode, bool up) {
    TRemoteInputEvent e;
    e.eventKind = TRemoteInputEvent::ieKeyboard;
    e.flags = up ? kKeyUp : 0;
    e.virtualKey = virtualKey;
    e.scanCode = scanCode;
    return e;
}

}  // namespace orb::sharing
