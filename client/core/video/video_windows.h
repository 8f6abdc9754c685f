#pragma once
// What the data module knows of an open video window: whom it shows and how, and how to close or
// raise it. The windows themselves live in client/media (they own camera, codec and connection).

#include <cstdint>

namespace orb::video {

class IVideoWindow {
public:
    virtual ~IVideoWindow() = default;
    // 0 publishing the own camera, 1 viewing another attendee's.
    virtual int VideoMode() const = 0;
    // The user whose camera the window shows.
    virtual int32_t VideoUser() const = 0;
    // Stops the stream and closes the window; the window leaves the data module's list.
    virtual void CloseVideoWindow() = 0;
    virtual void BringVideoWindowToFront() = 0;
};

}  // namespace orb::video
