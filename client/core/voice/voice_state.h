#pragma once
// The voice area as the data module holds it: the running voice thread, the number of
// simultaneous speakers, the remote audio record (kind 122) and the views the voice routines drive.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "loop/event_loop.h"

class TVoiceThread;

namespace orb {

// The body of kind 122: a moderator's query or command about another participant's audio, and
// that participant's answer. 40 bytes, little-endian.
struct TRemoteAudioState {
    static constexpr size_t kSize = 40;
    enum Command : int32_t { cmdQuery = 0, cmdApply = 1, cmdReconnect = 2 };

    int32_t requester = 0;       // 0: the moderator who asked; answers are meant for this user
    int32_t target = 0;          // 4: whose audio is queried or changed
    int32_t voiceStatus = 0;     // 8: answers: 1 the target's voice connection works
    int32_t playbackDevice = -1; // 12: -1 unchanged / not available
    uint16_t speakerVolume = 0;  // 16
    int32_t reserved = -1;       // 18: -1 in queries and commands
    int32_t captureDevice = -1;  // 22: -1 unchanged / not available
    uint16_t micVolume = 0;      // 26
    int32_t boost = -1;          // 28: -1 unchanged / not available, 0 off, 1 on
    int32_t command = cmdQuery;  // 32
    int32_t bufferCount = -1;    // 36: above 0 is applied by the target

    std::array<uint8_t, kSize> Encode() const;
    // False when fewer than 40 bytes are given.
    static bool Decode(std::span<const uint8_t> in, TRemoteAudioState& out);
    bool operator==(const TRemoteAudioState&) const = default;
};

// The main window's volume controls, as the mixer is read into them.
class IVolumeView {
public:
    virtual ~IVolumeView() = default;
    // Change handlers detached while the positions are set, attached again after.
    virtual void SetVolumeHandlersAttached(bool attached) = 0;
    // Microphone slider and its menu items (Microphone, Increase, Decrease): enabled when the volume
    // could be read, positioned at it (0..65535).
    virtual void SetMicrophoneVolume(bool available, uint32_t volume) = 0;
    // The Microphone Boost menu item.
    virtual void SetMicrophoneBoost(bool enabled, bool checked) = 0;
    virtual void SetSpeakerVolume(bool available, uint32_t volume) = 0;
};

// The remote audio control window.
class IRemoteAudioView {
public:
    virtual ~IRemoteAudioView() = default;
    // An answer for the own user: the target's state and name.
    virtual void ShowRemoteState(const TRemoteAudioState& state, const std::string& userName) = 0;
};

struct TVoiceArea {
    // The voice connection of the current room; null when none runs.
    std::shared_ptr<TVoiceThread> thread;
    IVolumeView* volumeView = nullptr;            // not owned
    IRemoteAudioView* remoteAudioView = nullptr;  // not owned
    // The devices the volume controls act on, as the last reading of the mixer found them: those
    // of the running voice, else those it would open for the settings.
    int volumeCaptureDevice = 0, volumePlaybackDevice = 0;

    // The audio reconnect to come (after a forced codec change, or asked for by a moderator, run
    // outside the handler); killed with the data module at the latest.
    struct TTimer {
        IEventLoop* loop = nullptr;
        TimerId id = 0;
        void Kill() {
            if (id && loop) loop->KillTimer(id);
            id = 0;
        }
        ~TTimer() { Kill(); }
    } forcedCodecTimer;
};

}  // namespace orb
