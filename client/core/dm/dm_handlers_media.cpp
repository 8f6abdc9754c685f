// Polls, recording, web cams, remote input, remote audio and pane-share request handlers.

#include "dm/dm.h"
#include "protocol/wm_app.h"

// Accepted and ignored.
void TDM::HandleKind120() {}

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandlePoll() {}

void TDM::HandlePollAnswer() {}

void TDM::HandleRecording() {}

// The server asks which tile versions the viewer holds; answered only while a tile share exists.
void TDM::HandlePaneSnapshotRequest() {
    if (!SharingExists() || !Sharing().Tiles().Exists()) return;
    if (ShareViewerWindow)
        loop_.Post(ShareViewerWindow, WM_APP_PANESNAPSHOTREQUEST, 0, 0);
    else
        SendPaneStamps();
}

void TDM::HandlePaneCursorRequest() {
    if (!SharingExists() || !Sharing().Tiles().Exists()) return;
    if (ShareViewerWindow)
        loop_.Post(ShareViewerWindow, WM_APP_PANECURSORREQUEST, 0, 0);
    else
        SendShareCursorRequest();
}

void TDM::HandlePaneControl() { Sharing().OnTileControl(CurrentHeader(), CurrentHeader().kind == vkPaneControlOn); }

void TDM::HandleRemoteInput() {
    std::span<const uint8_t> s = CurrentMessage();
    Sharing().OnRemoteInput(CurrentHeader(), s.size() > TVCRHeader::kSize ? s.subspan(TVCRHeader::kSize)
                                                                         : std::span<const uint8_t>());
}

void TDM::HandleWebcamState() {}

void TDM::HandleVideoPort() {}

void TDM::HandleRemoteAudioState() {}

void TDM::HandleForcedCodec() {}

void TDM::HandleMaxSpeakers() {}
