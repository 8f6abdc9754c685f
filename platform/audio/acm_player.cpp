#include "audio/acm_player.h"

#include <algorithm>

namespace orb::media {

using namespace orb::audio;

TACMPlayer::TACMPlayer(IEventLoop& loop, const WaveFormat& codecFormat, const WaveFormat& pcmFormat, int queueSize,
                       int playbackDevice)
    : out_(std::make_unique<TACMOut>(loop)) {
    try {
        if (!decoder_.Open(codecFormat, pcmFormat, true)) return;
        out_->SetNumBuffers(uint8_t(std::clamp(queueSize, 2, 6)));
        out_->Open(pcmFormat, playbackDevice);
        codecFormat_ = codecFormat;
        codecFormat_.extra.clear();
        pcmFormat_ = pcmFormat;
        pcmFormat_.extra.clear();
        SpeakerId = 0;
        success_ = true;
    } catch (const std::exception&) {
        success_ = false;
    }
}

TACMPlayer::~TACMPlayer() {
    try {
        out_->Close();
    } catch (...) {
    }
    decoder_.Close();
}

}  // namespace orb::media
