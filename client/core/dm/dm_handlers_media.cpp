// Polls, recording, web cams, remote input, remote audio and pane-share request handlers.

#include "dm/dm.h"

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

void TDM::HandleWebcamState() {}

void TDM::HandleVideoPort() {}

void TDM::HandleRemoteAudioState() {}

void TDM::HandleForcedCodec() {}

void TDM::HandleMaxSpeakers() {}
