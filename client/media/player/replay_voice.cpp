#include "replay_voice.h"

#include "audio/init_sound.h"

namespace orb::media {

TReplayVoicePlayers::TReplayVoicePlayers(IEventLoop& loop, int32_t codecIndex, int playbackDevice) {
    // A device unplugged since it was chosen: the default one plays the recording.
    playbackDevice = UsableDevice(false, playbackDevice);
    for (int i = 0; i < kPlayers; ++i) {
        try {
            WaveFormat codec;
            if (!BuildCodecFormat(codecIndex, codec)) continue;  // this player is skipped
            auto pcm = BuildPcmFormat(16, codec.samplesPerSec);
            if (!pcm) continue;
            auto p = std::make_unique<TACMPlayer>(loop, codec, *pcm, kQueue, playbackDevice);
            if (p->Success()) players_.push_back(std::move(p));
        } catch (...) {
            break;  // a failing codec makes no further players
        }
    }
}

void TReplayVoicePlayers::PlayVoice(int32_t sender, std::span<const uint8_t> body) {
    if (players_.empty() || body.empty()) return;
    TACMPlayer* chosen = nullptr;
    for (auto& p : players_)
        if (p->SpeakerId == sender || p->SpeakerId == 0) {
            chosen = p.get();
            break;
        }
    if (!chosen) chosen = players_.front().get();
    chosen->SpeakerId = sender;
    uint32_t size = 0;
    if (chosen->Decoder().Convert(body.data(), uint32_t(body.size()), size, pcm_) && size > 0)
        chosen->Out().Play(pcm_.data(), size);
}

}  // namespace orb::media
