#pragma once
// Server recordings of the rooms whose record allows them. A moderator's start (kind 96) begins
// one for the room, pause (98) holds it and the next pause or start resumes it, stop (97) ends it;
// the answers carry 0, 42 (already running), 45 (none running) or 31 (not allowed here). What the
// whole room hears while it runs is kept with the time it was heard (pauses left out): chat,
// strokes, pictures, slides, joins and leaves, the floor and the voice of its holders. A recording
// starts as a client's entry does: the room entry, the user list, the rights, the current board
// and each shared board's contents. A stopped recording is served for replay under the next play
// id (from 101) and, with a folder, written there as "recording-<id>.ob6".

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "roomserver/extensions.h"
#include "roomserver/playback_service.h"
#include "roomserver/recording_writer.h"

namespace orb::test {

class TSessionRecorder {
public:
    static constexpr int32_t kFirstPlayId = 101;
    static constexpr uint16_t kNotAllowed = 31;

    struct TStored {
        int32_t playId = 0;
        int16_t room = 0;
        size_t messages = 0;
        std::string path;  // empty: kept in memory only
        std::string link;  // the play link that replays it
    };

    // Installs the handlers of kinds 96 to 98 and listens to every room.
    TSessionRecorder(TRoomExtensionContext& context, TPlaybackService& playback, std::string folder);

    std::vector<TStored> Stored() const;
    bool Running(int16_t room) const;

private:
    struct TRunning {
        TRecordingWriter writer;
        std::chrono::steady_clock::time_point start;
        std::chrono::steady_clock::duration paused{};
        std::chrono::steady_clock::time_point pausedAt;
        bool isPaused = false;
        size_t bytes = 0;
        TAccount owner;
    };

    void Command(TRoomConnection& c, const TVCRHeader& h);
    void Heard(int16_t room, const TVCRHeader& h, std::span<const uint8_t> body);
    // Caller holds mu_.
    void AddNow(TRunning& r, uint16_t kind, std::span<const uint8_t> body, int32_t sender, int16_t room,
                uint16_t result);
    void Begin(TRunning& r, TRoomConnection& c);
    TStored Finish(int16_t room, TRunning& r);
    void Say(const std::string& line);

    TRoomServer& server_;
    std::shared_ptr<TRoomHandshake> handshake_;
    TRoomService& rooms_;
    std::function<void(const std::string&)> log_;
    TPlaybackService& playback_;
    std::string folder_;

    mutable std::mutex mu_;
    std::map<int16_t, TRunning> running_;
    std::vector<TStored> stored_;
    int32_t nextPlayId_ = kFirstPlayId;
};

}  // namespace orb::test
