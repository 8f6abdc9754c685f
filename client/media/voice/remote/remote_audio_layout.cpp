#include "remote_audio_layout.h"

namespace orb {

TRemoteAudioLayout RemoteAudioLayout(const TRemoteAudioState& a) {
    TRemoteAudioLayout l;
    const bool working = a.voiceStatus == 1;
    l.status = working ? "Operational" : "Non-Functional";
    l.statusColour = working ? kRemoteGreen : kRemoteRed;
    l.speakerEnabled = a.playbackDevice >= 0;
    l.microphoneEnabled = a.captureDevice >= 0;
    l.speakerVolume = a.speakerVolume;
    l.microphoneVolume = a.micVolume;
    l.noteVisible = !(l.speakerEnabled && l.microphoneEnabled);
    l.boostEnabled = a.boost != -1;
    l.boostChecked = a.boost == 1;
    return l;
}

}  // namespace orb
