#pragma once
// What the sharing area adds to the test room server: kind 141 goes to every member of the room,
// the sharer too, with the share's state byte appended, and is kept so that a member entering
// later (its kind 148 request after room entry) learns of the running share; kinds 142 and 145
// go to every member; 149 updates the kept state and is relayed. Frames and remote input are
// relayed as everything else. The extension can also play a tile share (kinds 86, 91, 87) of
// solid-coloured PNG tiles to a room.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "roomserver/extensions.h"

namespace orb::test {

class TSharingExtension : public TRoomExtension {
public:
    explicit TSharingExtension(TRoomExtensionContext& context);

    // The running share of a room: the descriptor as the sharer sent it, and its state.
    bool ShareRunning(int16_t room) const;

    // Starts a tile share of width x height in columns x rows tiles from user `sharer`: kind 86,
    // then one kind 91 with every tile, tile i filled with colours[i % colours.size()] (0x00RRGGBB).
    void PlayTileShare(int16_t room, int32_t sharer, int32_t width, int32_t height, int32_t columns, int32_t rows,
                       const std::vector<uint32_t>& colours);
    void StopTileShare(int16_t room);

    // A PNG of one colour (stored deflate blocks), for tiles and cursors.
    static std::vector<uint8_t> SolidPng(int32_t width, int32_t height, uint32_t rgb);

private:
    struct Share {
        int32_t sharer = 0;
        std::vector<uint8_t> descriptor;
        uint8_t state = 1;
    };
    TRoomServer& server_;
    mutable std::mutex mu_;
    std::map<int16_t, Share> shares_;
};

}  // namespace orb::test
