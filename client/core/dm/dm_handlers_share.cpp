// Application and pane sharing handlers: the share session decides, these hand it the message.

#include "dm/dm.h"

namespace {
std::span<const uint8_t> Body(std::span<const uint8_t> stream) {
    return stream.size() > TVCRHeader::kSize ? stream.subspan(TVCRHeader::kSize) : std::span<const uint8_t>();
}
}  // namespace

// Accepted and ignored.
void TDM::HandleKind88() {}

// Accepted and ignored.
void TDM::HandleKind89() {}

// Accepted and ignored.
void TDM::HandleKind90() {}

// Accepted and ignored.
void TDM::HandleKind94() {}

void TDM::HandleShareStarted() { Sharing().OnTileStarted(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleShareStopped() { Sharing().OnTileStopped(); }

void TDM::HandleSharePanes() { Sharing().OnTilePanes(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleShareCursor() { Sharing().OnTileCursor(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleShareDescriptor() { Sharing().OnTileDescriptor(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleAppShareStart() { Sharing().OnStart(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleAppShareStop() { Sharing().OnStop(CurrentHeader()); }

void TDM::HandleAppShareFrame() { Sharing().OnFrame(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleRemoteControl() { Sharing().OnRemoteControl(CurrentHeader(), Body(CurrentMessage())); }

void TDM::HandleShareState() { Sharing().OnState(CurrentHeader(), Body(CurrentMessage())); }
