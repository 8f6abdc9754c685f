#pragma once
// The test room server's voice port: registrations (accepted for a signed-in account with its
// password, or refused with a chosen code), the floor (kinds 6 and 7, up to the room's speakers),
// each kind 9 of a floor holder relayed to the other voice members of the room as kind 27 with the
// speaker as sender, and keep-alives counted. Room-wide audio settings (kinds 124, 125) from a
// moderator go to the whole room, the moderator included.

#include <cstdint>
#include <memory>
#include <string>

#include "roomserver/extensions.h"

namespace orb::test {

class TVoiceExtension : public TRoomExtension {
public:
    struct TState;
    explicit TVoiceExtension(TRoomExtensionContext& context);
    ~TVoiceExtension() override;

    uint16_t Port() const;
    // Non-zero: every registration is refused with this code.
    void SetRefusal(uint16_t code);
    // Registrations accepted so far (a user that reconnects counts again).
    int Registrations(int32_t user) const;
    int KeepAlives(int32_t user) const;
    // Kind 9 messages received from a user (relayed or not), and their bodies' total size.
    int VoiceMessages(int32_t user) const;
    // Closes a user's voice connection from the server side.
    void DropVoice(int32_t user);
    // An account the voice port accepts without a room login (tests of the voice connection alone).
    void AddAccount(int32_t user, const std::string& password);
    // Gives a user the floor of a room as a kind 6 would.
    void GrantFloor(int16_t room, int32_t user);
    // Whether a user's voice connection is open.
    bool Connected(int32_t user) const;
    // Whether a user holds the floor.
    bool HoldsFloor(int32_t user) const;
    bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000) const;

private:
    std::shared_ptr<TState> state_;
};

}  // namespace orb::test
