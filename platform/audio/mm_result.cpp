#include "audio/mm_result.h"

namespace orb::audio {

const char* MmResultName(MmResult code) {
    switch (code) {
    case kMmNoError: return "no error";
    case kMmErrBadDeviceId: return "bad device id";
    case kMmErrAllocated: return "device in use";
    case kMmErrInvalHandle: return "invalid handle";
    case kMmErrNoDriver: return "no driver";
    case kMmErrNoMem: return "out of memory";
    case kMmErrInvalFlag: return "invalid flag";
    case kMmErrInvalParam: return "invalid parameter";
    case kWaveErrBadFormat: return "unsupported format";
    case kWaveErrStillPlaying: return "buffers still queued";
    case kWaveErrUnprepared: return "header not prepared";
    case kWaveErrSync: return "synchronous device";
    case kAcmErrNotPossible: return "conversion not possible";
    case kAcmErrBusy: return "stream busy";
    case kAcmErrUnprepared: return "stream header not prepared";
    default: return "unknown error";
    }
}

}  // namespace orb::audio
