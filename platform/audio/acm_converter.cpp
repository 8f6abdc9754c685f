#include "audio/acm_converter.h"

namespace orb::media {

using namespace orb::audio;

namespace {
// Source bytes one call takes: far above a few seconds of any voice format, and a bound on what an
// untrusted block can make us allocate.
constexpr size_t kMaxSource = 16u << 20;
}  // namespace

bool TAcmLiveConverter::Open(const WaveFormat& source, const WaveFormat& destination, bool realTime) {
    Close();
    std::unique_ptr<AcmStream> s;
    if (AcmStreamOpen(source, destination, realTime ? 0 : kAcmStreamOpenNonRealTime, s) != kMmNoError) return false;
    stream_ = std::move(s);
    source_ = source;
    destination_ = destination;
    // Only a PCM source is one continuous stream; codec blocks arrive whole or not at all.
    carry_ = source.IsPcm() && !destination.IsPcm();
    copy_ = source.IsPcm() && source == destination && source.blockAlign > 0;
    return true;
}

bool TAcmLiveConverter::Convert(const uint8_t* source, uint32_t sourceSize, uint32_t& destSize, std::vector<uint8_t>& dest) {
    destSize = 0;
    dest.clear();
    if (!stream_ || (sourceSize && !source) || sourceSize > kMaxSource) return false;
    const uint8_t* src = source;
    size_t srcLen = sourceSize;
    std::vector<uint8_t> joined;
    if (carry_ && !pending_.empty()) {
        joined.reserve(pending_.size() + sourceSize);
        joined.assign(pending_.begin(), pending_.end());
        joined.insert(joined.end(), source, source + sourceSize);
        src = joined.data();
        srcLen = joined.size();
    }
    if (copy_) {
        // PCM to the same PCM: one copy of the whole blocks. Going through the stream would first
        // zero a fresh destination and then copy into it, twice the memory traffic of the copy
        // itself, which at 32 kHz no longer fits the cache.
        const size_t whole = srcLen - srcLen % source_.blockAlign;
        dest.assign(src, src + whole);
        destSize = uint32_t(whole);
        return true;
    }
    size_t need = 0;
    if (stream_->SizeBySource(srcLen, need) != kMmNoError) return false;
    dest.resize(need);
    size_t used = 0, produced = 0;
    const MmResult r = stream_->Convert(src, srcLen, used, dest.data(), dest.size(), produced,
                                        kAcmConvertBlockAlign | kAcmConvertStart | kAcmConvertEnd);
    if (carry_) {
        // Keep what did not fill a block for the next call.
        std::vector<uint8_t> rest(src + std::min(used, srcLen), src + srcLen);
        pending_.swap(rest);
    }
    dest.resize(produced);
    destSize = uint32_t(produced);
    return r == kMmNoError;
}

void TAcmLiveConverter::Close() {
    stream_.reset();
    pending_.clear();
}

}  // namespace orb::media
