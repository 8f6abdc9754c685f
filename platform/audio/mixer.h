#pragma once
// The mixer as the volume and boost code walks it: devices with destination lines (the capture
// destination among them), each with source lines (a microphone among them), each line with
// controls holding one unsigned value per channel. Volumes run 0..65535, switches 0 or 1.
// ALSA's simple mixer backs it; tests install a fake.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orb::audio {

enum class MixerLineType { Unknown, DstSpeakers, DstWaveIn, SrcMicrophone, SrcLine, SrcOther };
enum class MixerControlType { Volume, OnOff, Other };
// What a mixer identifier names: a mixer number, a capture device id or an open capture handle.
enum class MixerIdKind { Mixer, WaveIn, WaveInHandle };

struct MixerLineInfo {
    uint32_t lineId = 0;
    MixerLineType type = MixerLineType::Unknown;
    std::string name;
    uint32_t channels = 1;
    uint32_t sources = 0;  // destinations only
};

struct MixerControlInfo {
    uint32_t controlId = 0;
    MixerControlType type = MixerControlType::Other;
    std::string name;
};

// An open mixer; destroying it closes it.
class IMixerDevice {
public:
    virtual ~IMixerDevice() = default;
    virtual uint32_t Destinations() = 0;
    virtual bool Destination(uint32_t index, MixerLineInfo& out) = 0;
    virtual bool Source(uint32_t destIndex, uint32_t srcIndex, MixerLineInfo& out) = 0;
    virtual bool Controls(uint32_t lineId, std::vector<MixerControlInfo>& out) = 0;
    virtual bool GetValues(uint32_t controlId, uint32_t channels, std::vector<uint32_t>& out) = 0;
    // One value sets every channel of the control alike; several values set one channel each.
    virtual bool SetValues(uint32_t controlId, const std::vector<uint32_t>& values) = 0;
};

class IMixerSystem {
public:
    virtual ~IMixerSystem() = default;
    virtual uint32_t NumDevs() = 0;
    // nullptr when the identifier names no mixer.
    virtual std::unique_ptr<IMixerDevice> Open(intptr_t id, MixerIdKind kind) = 0;
};

IMixerSystem& Mixers();
// Installs another mixer system (not owned); nullptr goes back to ALSA's.
void SetMixers(IMixerSystem* system);

IMixerSystem& AlsaMixers();

}  // namespace orb::audio
