#pragma once
// Converts blocks between PCM and a codec through one conversion stream. When encoding, samples
// that do not fill a whole codec block are kept and go in front of the next block, so that a
// stream of capture buffers of any size loses nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/acm.h"
#include "audio/wave_format.h"

namespace orb::media {

class TAcmLiveConverter {
public:
    TAcmLiveConverter() = default;
    ~TAcmLiveConverter() { Close(); }
    TAcmLiveConverter(const TAcmLiveConverter&) = delete;
    TAcmLiveConverter& operator=(const TAcmLiveConverter&) = delete;

    bool Open(const audio::WaveFormat& source, const audio::WaveFormat& destination, bool realTime);
    // Converts the block; dest receives the bytes produced (possibly none). True only when the
    // conversion itself succeeded.
    bool Convert(const uint8_t* source, uint32_t sourceSize, uint32_t& destSize, std::vector<uint8_t>& dest);
    void Close();
    bool IsOpen() const { return stream_ != nullptr; }

    // Source bytes waiting for the next block (encoding only).
    size_t Pending() const { return pending_.size(); }

private:
    std::unique_ptr<audio::AcmStream> stream_;
    audio::WaveFormat source_, destination_;
    std::vector<uint8_t> pending_;
    bool carry_ = false;
    bool copy_ = false;  // PCM to the identical PCM
};

}  // namespace orb::media
