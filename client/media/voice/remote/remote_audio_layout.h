#pragma once
// What the remote audio window shows for an answer: plain decisions, tested without widgets.

#include <cstdint>
#include <string>

#include "voice/voice_state.h"

namespace orb {

struct TRemoteAudioLayout {
    std::string status;        // "Operational" / "Non-Functional"
    uint32_t statusColour = 0; // 0x00BBGGRR
    bool speakerEnabled = false;
    bool microphoneEnabled = false;
    int speakerVolume = 0;
    int microphoneVolume = 0;
    bool noteVisible = true;   // some volume cannot be controlled
    bool boostEnabled = false;
    bool boostChecked = false;
};

constexpr uint32_t kRemoteGreen = 0x008000;
constexpr uint32_t kRemoteRed = 0x0000FF;
constexpr uint32_t kRemoteMaroon = 0x000080;
constexpr uint32_t kRemoteGrey = 0x808080;

TRemoteAudioLayout RemoteAudioLayout(const TRemoteAudioState& answer);

}  // namespace orb
