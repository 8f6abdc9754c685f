#pragma once
// One remote speaker's playback: a decoder from the codec to PCM and a playback component.

#include <cstdint>
#include <memory>

#include "audio/acm_converter.h"
#include "audio/acm_out.h"
#include "audio/wave_format.h"
#include "loop/event_loop.h"

namespace orb::media {

class TACMPlayer {
public:
    // queueSize is the InputAudioQueueSizeEx setting (2 to 6); playbackDevice the configured device.
    TACMPlayer(IEventLoop& loop, const audio::WaveFormat& codecFormat, const audio::WaveFormat& pcmFormat,
               int queueSize, int playbackDevice);
    ~TACMPlayer();

    bool Success() const { return success_; }
    TAcmLiveConverter& Decoder() { return decoder_; }
    TACMOut& Out() { return *out_; }
    // The head fields of both formats (the extra bytes are not kept).
    const audio::WaveFormat& CodecFormat() const { return codecFormat_; }
    const audio::WaveFormat& PcmFormat() const { return pcmFormat_; }

    // The speaker whose voice this player carries; 0 = free.
    int32_t SpeakerId = 0;

private:
    TAcmLiveConverter decoder_;
    std::unique_ptr<TACMOut> out_;
    audio::WaveFormat codecFormat_, pcmFormat_;
    bool success_ = false;
};

}  // namespace orb::media
