#pragma once
// The replay players of recorded voice: five TACMPlayer of the recording's codec, each queueing at
// most five blocks. A speaker keeps the player it got (the first one free or already his, else the
// first), as in the live voice connection. Made in the main thread; played from the replay thread.

#include <memory>
#include <mutex>
#include <vector>

#include "audio/acm_player.h"
#include "playback/player_thread.h"

namespace orb::media {

class TReplayVoicePlayers final : public playback::IReplayVoice {
public:
    static constexpr int kPlayers = 5;
    static constexpr int kQueue = 5;

    TReplayVoicePlayers(IEventLoop& loop, int32_t codecIndex, int playbackDevice);
    void PlayVoice(int32_t sender, std::span<const uint8_t> body) override;
    size_t Players() const { return players_.size(); }

private:
    std::vector<std::unique_ptr<TACMPlayer>> players_;
    std::vector<uint8_t> pcm_;
};

}  // namespace orb::media
