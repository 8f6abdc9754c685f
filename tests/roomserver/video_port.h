#pragma once
// The room server's video port: publishers register (kind 106, mode 0), announce their format
// (109) and send frames (111); viewers register (mode 1), ask for a user's video (110) and poll
// for frames (112), answered with the publisher's latest frame, 48 while none has come, and 47
// once the publisher has gone. Publishing starts and stops are told to the publisher's room as
// kinds 107 and 108. Installed as the video extension, its port is the one kind 113 announces.
//
// Records are read by hand from their offsets (registration: user id 0, room 106, mode 108;
// format: 46 bytes; frame: key 0, size 1, sequence 9), independently of the client's decoders.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "roomserver/extensions.h"
#include "roomserver/room_server.h"

namespace orb::test {

struct TVideoPublisherState {
    std::vector<uint8_t> format;  // 46 bytes once announced
    std::vector<uint8_t> lastFrame;  // record + data of the latest frame
    uint64_t frames = 0;
    std::vector<uint32_t> sequences;  // of every frame received
    bool live = true;
};

class TVideoPort {
public:
    explicit TVideoPort(TRoomServer& server);
    uint16_t Port() const { return port_; }
    // A copy of a publisher's state (empty when the user never published).
    TVideoPublisherState Publisher(int32_t user) const;
    // Users who announced a format, in id order.
    std::vector<int32_t> PublisherIds() const;
    // Registrations refused with this result code (0: accepted).
    void RefuseRegistrations(uint16_t result);

    struct State;

private:
    std::shared_ptr<State> state_;
    uint16_t port_ = 0;
};

// The video area's extension of the test room server: the port, announced as the video port.
class TVideoExtension : public TRoomExtension {
public:
    explicit TVideoExtension(TRoomExtensionContext& context);
    TVideoPort port;
};

}  // namespace orb::test
