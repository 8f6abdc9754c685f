// Polls, recording, web cams, remote input, remote audio and pane-share request handlers.

#include "dm/dm.h"
#include "protocol/wm_app.h"

// Accepted and ignored.
void TDM::HandleKind120() {}

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandlePoll() {}

void TDM::HandlePollAnswer() {}

void TDM::HandleRecording() {}

void TDM::HandlePaneSnapshotRequest() {}

void TDM::HandlePaneCursorRequest() {}

void TDM::HandlePaneControl() {}

void TDM::HandleRemoteInput() {}


void TDM::HandleRemoteAudioState() {}

void TDM::HandleForcedCodec() {}

void TDM::HandleMaxSpeakers() {}

// The header's sender started (107) or stopped (108) publishing a camera.
void TDM::HandleWebcamState() {
    const TVCRHeader& h = CurrentHeader();
    Loop().Post(MainWindow(), WM_APP_USERVIDEO, h.sender, h.kind == vkWebcamStarted ? 1 : 0);
}

// The video server's port, and a second value that is kept and not used. A short body changes
// nothing.
void TDM::HandleVideoPort() {
    orb::ByteReader r = BodyReader();
    int32_t port = 0, reserved = 0;
    if (!r.i32(port)) return;
    VideoPort = port;
    if (r.i32(reserved)) VideoPortReserved = reserved;
}
