#pragma once
// Wave input and output devices over ALSA. A device id is a position in the list of devices whose
// capabilities could be read, so a device that cannot be opened never shifts the ids of the others
// away from what the lists show. -1 names the default device (the "mapper").

#include <cstdint>
#include <string>
#include <vector>

#include "audio/mm_result.h"

namespace orb::audio {

enum class WaveDirection { Input, Output };

constexpr int kWaveMapper = -1;

struct WaveDeviceCaps {
    std::string productName;  // what the lists show
    std::string pcmName;      // the ALSA PCM it opens
};

// Devices of one direction whose capabilities could be read, in device-id order; the system's
// default device, when it opens, comes first, whether or not the configuration names it in a hint.
std::vector<WaveDeviceCaps> WaveDevices(WaveDirection dir);

// Capabilities of one device id; kMmErrBadDeviceId when there is no such device.
MmResult WaveGetDevCaps(WaveDirection dir, int deviceId, WaveDeviceCaps& out);

// Volume of an output device as left (low 16 bits) and right (high 16 bits), 0xFFFF each by
// default; applied to every sample played on that device. kMmErrBadDeviceId for a device that
// is not there.
MmResult WaveOutSetVolume(int deviceId, uint32_t volume);
MmResult WaveOutGetVolume(int deviceId, uint32_t& volume);
// The volume as the playback of an open device applies it (no look-up of the device list).
uint32_t WaveOutVolumeOf(int deviceId);

}  // namespace orb::audio
