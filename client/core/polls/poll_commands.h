#pragma once
// How the main window's poll, recording and breakout commands are enabled and checked, from the
// room's state.

namespace orb::polls {

struct TPollCommandInputs {
    bool moderationRights = false;  // own level 1 or level 3 is 1000 or more
    bool connected = false;         // the room connection is up
    bool playback = false;          // a recorded session is replayed
    bool serverRecording = false;
    bool startChecked = false;
    bool stopChecked = true;
    bool breakoutAllowed = false;
};

struct TPollCommandState {
    bool pollsEnabled = false;      // check connectivity, beep, polling
    bool startEnabled = false;
    bool startChecked = false;
    bool pauseEnabled = false;
    bool stopEnabled = false;
    bool stopChecked = true;
    bool breakoutEnabled = false;
};

inline TPollCommandState PollCommandState(const TPollCommandInputs& in) {
    TPollCommandState s;
    const bool live = in.connected && !in.playback;
    s.pollsEnabled = live && in.moderationRights;
    // Start while nothing is recorded, pause and stop while it is; the marks follow the server.
    s.startEnabled = live && in.moderationRights && !in.serverRecording;
    s.pauseEnabled = live && in.moderationRights && in.serverRecording;
    s.stopEnabled = live && in.moderationRights && in.serverRecording;
    s.startChecked = in.startChecked;
    s.stopChecked = in.stopChecked;
    s.breakoutEnabled = live && in.moderationRights && in.breakoutAllowed;
    return s;
}

}  // namespace orb::polls
