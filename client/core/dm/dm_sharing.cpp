// The data module's share: the session object and the senders of the sharing kinds.

#include "dm/dm.h"

orb::sharing::TShareSession& TDM::Sharing() {
    if (!sharing_) {
        orb::sharing::TShareTransport t;
        t.Send = [this](uint16_t kind, std::span<const uint8_t> body) { return SendCommand(kind, body); };
        t.Connected = [this] { return vcrClient.Connected(); };
        t.QueuedBytes = [this]() -> int64_t { return writer_ ? writer_->QueuedBytes() : 0; };
        t.SendLimit = [this]() -> int64_t { return SendLimit; };
        t.DropQueuedKind = [this](uint16_t kind) {
            if (writer_) writer_->DropQueuedKind(kind);
        };
        t.OwnUserId = [this] { return OwnUserId; };
        t.PlaybackMode = [this] { return PlaybackMode; };
        t.SendRate = [this]() -> int64_t { return writer_ ? writer_->SendRate() : 0; };
        sharing_ = std::make_unique<orb::sharing::TShareSession>(loop_, std::move(t));
    }
    return *sharing_;
}

bool TDM::SendAppShareStart(const orb::appshare::TAppShareDescriptor& d, uint32_t window) {
    return Sharing().SendStart(d, window);
}

bool TDM::SendAppShareStop() { return Sharing().SendStop(); }

bool TDM::SendAppShareState() { return Sharing().TogglePause(); }

bool TDM::SendRemoteControlGrant(int32_t user, bool on) { return Sharing().GrantControl(user, on); }

bool TDM::SendRemoteInput(const TRemoteInputEvent& e) { return Sharing().SendRemoteInput(e); }

bool TDM::SendPaneStamps() { return Sharing().SendPaneStamps(); }

bool TDM::SendShareCursorRequest() { return Sharing().SendShareCursorRequest(); }
