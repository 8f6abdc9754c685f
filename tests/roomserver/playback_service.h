#pragma once
// Recordings served by the test room server over the room connection: kind 83 names a recording
// by its play id and is answered with its 740-byte session record; each kind 84 is answered with
// a header (result 0) and the next recorded message, or result 1 when none is left. A recording
// may be cut off after some messages (half a message is sent, then the connection is closed); an
// unknown play id is refused with result 38.

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "roomserver/recording_writer.h"
#include "roomserver/room_server.h"

namespace orb::test {

class TPlaybackService {
public:
    static constexpr uint16_t kRefused = 38;

    // Installs the handlers of kinds 83 and 84 on the server.
    explicit TPlaybackService(TRoomServer& server);

    // Serves a recording under a play id; cutAfter >= 0 cuts the stream after that many messages.
    void AddRecording(int32_t playId, const TRecordingWriter& recording, int cutAfter = -1);
    // Kind-84 requests answered so far.
    int Requests() const;

private:
    struct TServed {
        std::vector<uint8_t> head;
        std::vector<std::vector<uint8_t>> messages;
        int cutAfter = -1;
    };
    struct TCursor {
        int32_t playId = 0;
        size_t next = 0;
    };
    void Open(TRoomServer& s, TRoomConnection& c, std::span<const uint8_t> body);
    void Next(TRoomServer& s, TRoomConnection& c);

    mutable std::mutex mu_;
    std::map<int32_t, TServed> recordings_;
    std::map<int, TCursor> cursors_;
    int requests_ = 0;
};

// The recording the test room server serves under play id 1 (and, cut off after 3 messages, under
// 2): room entry with codec 2, strokes on board 1 and 2, a chat line, a voice block every 500 ms,
// about 4 seconds long.
TRecordingWriter DemoRecording();

}  // namespace orb::test
