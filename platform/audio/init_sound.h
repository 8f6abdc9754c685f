#pragma once
// The client's knowledge of audio formats and devices: the voice codec table (index -> format
// record), the PCM format that goes with a codec, the device lists, and speaker volume, microphone
// volume and microphone boost through the mixer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/mixer.h"
#include "audio/wave_format.h"

namespace orb::media {

using audio::WaveFormat;

// Size of the largest format record any installed codec offers, as read by the last call that
// built a format (0 before that, or when no codec is installed).
size_t MaxFormatSize();

// The texts of codec indexes 0 to 7, in index order (the list position is the codec index).
void FillCodecList(std::vector<std::string>& list);

// The format of a voice codec index (0 to 7, 20 to 22) as the installed codec describes it; false
// for an index outside the table or a format no installed codec offers.
bool BuildCodecFormat(int codecIndex, WaveFormat& out);

// Mono PCM at the given rate and bits (0 bits means 16); nothing when no codec is installed.
std::optional<WaveFormat> BuildPcmFormat(uint16_t bitsPerSample, uint32_t samplesPerSec);

// Replaces a template by the identical format of an installed codec (tag, channels, rate, byte
// rate, block align and bits equal), so that its extra bytes are right. Throws std::runtime_error
// "Invalid Format details" when no codec offers it.
void CompleteAcmFormat(WaveFormat& format);

// One line per capture (playback) device in device-id order; device 0's line ends with
// " (Windows Default)".
void FillWaveInDevices(std::vector<std::string>& list);
void FillWaveOutDevices(std::vector<std::string>& list);

// The device to open for a configured device id: the id itself when the list has it, else the
// default device (0) with *fellBack set; unchanged when there is no device at all.
int UsableDevice(bool capture, int deviceId, bool* fellBack = nullptr);

// Speaker volume of a playback device, 0..65535, the same for left and right.
bool SetWaveOutVolume(int deviceId, uint32_t volume);
bool GetWaveOutVolume(int deviceId, uint32_t& volume);

// Microphone volume 0..65535. The identifier is a capture device id (kind WaveIn) or an open
// capture handle (kind WaveInHandle).
bool SetMicVolume(intptr_t mixerId, uint32_t volume, audio::MixerIdKind kind);
bool GetMicVolume(intptr_t mixerId, uint32_t& volume, audio::MixerIdKind kind);

// Microphone boost of a capture device: 1 on, 0 off.
bool GetMicBoost(int captureDeviceId, uint32_t& value);
bool SetMicBoost(int captureDeviceId, uint32_t value);

}  // namespace orb::media
