#include "voice/voice_records.h"

#include "session/session_records.h"
#include "voice/voice_state.h"
#include "wire/bytes.h"

namespace orb {

std::array<uint8_t, TVoiceRegistration::kLoginSize> TVoiceRegistration::LoginPart() const {
    TLoginRequest r;
    r.userId = userId;
    r.password = password.substr(0, 50);
    return r.Encode();
}

std::array<uint8_t, 2> TVoiceRegistration::RoomPart() const {
    const auto v = uint16_t(room);
    return {uint8_t(v & 0xFF), uint8_t(v >> 8)};
}

TVoiceAction ClassifyVoiceMessage(const TVCRHeader& header, uint32_t blockAlign) {
    if (header.bodyLength < 0 || header.bodyLength > kMaxVoiceBody) return TVoiceAction::Disconnect;
    if (header.kind != vkVoiceIn || header.result != 0 || header.bodyLength == 0) return TVoiceAction::Ignore;
    // A body that is not whole codec blocks is not one of our buffers.
    if (blockAlign == 0 || uint32_t(header.bodyLength) % blockAlign != 0) return TVoiceAction::Ignore;
    return TVoiceAction::Play;
}

bool ReceiveVoiceMessage(const TVoiceRead& read, uint32_t blockAlign, std::vector<uint8_t>& body, const TVoicePlay& play) {
    std::array<uint8_t, TVCRHeader::kSize> raw{};
    TVCRHeader h;
    // A read that fails or comes up short leaves the stream in the middle of a message: nothing
    // after it can be framed.
    if (!read(raw.data(), raw.size()) || !TVCRHeader::Decode(raw, h)) return false;
    const TVoiceAction action = ClassifyVoiceMessage(h, blockAlign);
    if (action == TVoiceAction::Disconnect) return false;
    body.resize(size_t(h.bodyLength));
    if (!body.empty() && !read(body.data(), body.size())) return false;
    if (action == TVoiceAction::Play && play) play(h, body);
    return true;
}

std::array<uint8_t, TRemoteAudioState::kSize> TRemoteAudioState::Encode() const {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.i32(requester);
    w.i32(target);
    w.i32(voiceStatus);
    w.i32(playbackDevice);
    w.u16(speakerVolume);
    w.i32(reserved);
    w.i32(captureDevice);
    w.u16(micVolume);
    w.i32(boost);
    w.i32(command);
    w.i32(bufferCount);
    std::array<uint8_t, kSize> a{};
    std::copy(out.begin(), out.end(), a.begin());
    return a;
}

bool TRemoteAudioState::Decode(std::span<const uint8_t> in, TRemoteAudioState& out) {
    ByteReader r(in);
    TRemoteAudioState s;
    if (!(r.i32(s.requester) && r.i32(s.target) && r.i32(s.voiceStatus) && r.i32(s.playbackDevice) &&
          r.u16(s.speakerVolume) && r.i32(s.reserved) && r.i32(s.captureDevice) && r.u16(s.micVolume) &&
          r.i32(s.boost) && r.i32(s.command) && r.i32(s.bufferCount)))
        return false;
    out = s;
    return true;
}

}  // namespace orb
