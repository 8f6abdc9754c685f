#pragma once
// Result codes of the audio layer. The numbers are those the callers' error texts are keyed by.

#include <cstdint>

namespace orb::audio {

using MmResult = uint32_t;

constexpr MmResult kMmNoError = 0;
constexpr MmResult kMmErrBadDeviceId = 2;
constexpr MmResult kMmErrAllocated = 4;
constexpr MmResult kMmErrInvalHandle = 5;
constexpr MmResult kMmErrNoDriver = 6;
constexpr MmResult kMmErrNoMem = 7;
constexpr MmResult kMmErrInvalFlag = 10;
constexpr MmResult kMmErrInvalParam = 11;
constexpr MmResult kWaveErrBadFormat = 32;
constexpr MmResult kWaveErrStillPlaying = 33;
constexpr MmResult kWaveErrUnprepared = 34;
constexpr MmResult kWaveErrSync = 35;
constexpr MmResult kAcmErrNotPossible = 512;
constexpr MmResult kAcmErrBusy = 513;
constexpr MmResult kAcmErrUnprepared = 514;

}  // namespace orb::audio
