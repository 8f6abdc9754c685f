#pragma once
// What travels on the voice connection: the registration that opens it, and the checks every
// incoming message passes before its body is read or decoded.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>
#include <span>
#include <string>

#include "protocol/vcr_header.h"

namespace orb {

// The first bytes on the voice connection, without a header: a login request (own id, password,
// empty user name; 106 bytes, written as one piece) and then the room number (2 bytes).
struct TVoiceRegistration {
    static constexpr size_t kLoginSize = 106;
    static constexpr size_t kSize = 108;
    int32_t userId = 0;
    std::string password;  // cut to 50 bytes
    int16_t room = 0;

    std::array<uint8_t, kLoginSize> LoginPart() const;
    std::array<uint8_t, 2> RoomPart() const;
};

// The largest body the voice connection reads: a half-second buffer of the widest codec (PCM at
// 32 kHz) is 32000 bytes.
constexpr int32_t kMaxVoiceBody = 64 * 1024;

// What the receive loop does with a message, decided from its header alone.
enum class TVoiceAction {
    Disconnect,  // a length that cannot be read safely: the stream cannot be trusted any further
    Ignore,      // read the body (if any) and drop it
    Play,        // read the body and decode it as the speaker's voice
};

// blockAlign: the size of one codec block of the connection's codec (0: nothing is played).
TVoiceAction ClassifyVoiceMessage(const TVCRHeader& header, uint32_t blockAlign);

// Reads one message with `read` (exactly the bytes asked for, or false), checks its header before
// its body, and hands a body worth decoding to `play`. False when the connection has to end: a
// failed or short read, or a length that cannot be trusted. `body` is the caller's buffer.
using TVoiceRead = std::function<bool(void* buffer, size_t count)>;
using TVoicePlay = std::function<void(const TVCRHeader& header, std::span<const uint8_t> body)>;
bool ReceiveVoiceMessage(const TVoiceRead& read, uint32_t blockAlign, std::vector<uint8_t>& body, const TVoicePlay& play);

// The voice codec indexes a room can be given (kind 124): GSM 6.10 and the Speex rows.
inline bool IsRoomCodecIndex(int32_t index) { return index >= 0 && index <= 7; }

}  // namespace orb
