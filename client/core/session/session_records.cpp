#include "session/session_records.h"

#include <cstring>

#include "wire/bytes.h"
#include "wire/text.h"

namespace orb {

std::string GetShortString(std::span<const uint8_t> rec, size_t offset, size_t capacity) {
    if (offset + 1 + capacity > rec.size()) return {};
    size_t len = std::min<size_t>(rec[offset], capacity);
    return std::string(reinterpret_cast<const char*>(rec.data() + offset + 1), len);
}

void SetShortString(std::span<uint8_t> rec, size_t offset, size_t capacity, std::string_view utf8) {
    if (offset + 1 + capacity > rec.size()) return;
    std::string cut = CutUtf8(utf8, std::min<size_t>(capacity, 255));
    rec[offset] = static_cast<uint8_t>(cut.size());
    std::memset(rec.data() + offset + 1, 0, capacity);
    std::memcpy(rec.data() + offset + 1, cut.data(), cut.size());
}

std::array<uint8_t, TVersionInfo::kSize> TVersionInfo::Encode() const {
    std::array<uint8_t, kSize> out{};
    SetShortString(out, 0, 10, version);
    SetShortString(out, 11, 20, versionDate);
    return out;
}

TVersionInfo TVersionInfo::Decode(std::span<const uint8_t, kSize> in) {
    TVersionInfo v;
    v.version = GetShortString(in, 0, 10);
    v.versionDate = GetShortString(in, 11, 20);
    return v;
}

std::string TVersionInfo::SafeVersionForFileName() const {
    if (version.empty() || version.size() > 10) return {};
    for (char c : version) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '-' || c == '_';
        if (!ok) return {};
    }
    if (version.find("..") != std::string::npos) return {};
    return version;
}

std::array<uint8_t, TLoginRequest::kSize> TLoginRequest::Encode() const {
    std::array<uint8_t, kSize> out{};
    StoreU32(out.data(), static_cast<uint32_t>(userId));
    SetShortString(out, 4, 50, password);
    SetShortString(out, 55, 50, userName);
    return out;
}

void TLoginInfo::Assign(std::span<const uint8_t, kSize> bytes) { std::memcpy(raw_.data(), bytes.data(), kSize); }
int32_t TLoginInfo::I32(size_t o) const { return static_cast<int32_t>(LoadU32(raw_.data() + o)); }
int16_t TLoginInfo::I16(size_t o) const { return static_cast<int16_t>(LoadU16(raw_.data() + o)); }
double TLoginInfo::F64(size_t o) const {
    double d;
    std::memcpy(&d, raw_.data() + o, 8);
    return d;
}
void TLoginInfo::SetI32(size_t o, int32_t v) { StoreU32(raw_.data() + o, static_cast<uint32_t>(v)); }
void TLoginInfo::SetI16(size_t o, int16_t v) { StoreU16(raw_.data() + o, static_cast<uint16_t>(v)); }
void TLoginInfo::SetF64(size_t o, double v) { std::memcpy(raw_.data() + o, &v, 8); }

void TRoomInfo::Assign(std::span<const uint8_t, kSize> bytes) { std::memcpy(raw_.data(), bytes.data(), kSize); }
int32_t TRoomInfo::RoomNumber() const { return static_cast<int32_t>(LoadU32(raw_.data())); }
std::string TRoomInfo::RoomName() const { return GetShortString(raw_, 4, kNameCapacity); }
int32_t TRoomInfo::TimeOffsetMinutes() const { return static_cast<int32_t>(LoadU32(raw_.data() + 747)); }
int32_t TRoomInfo::VoiceCodecIndex() const { return static_cast<int32_t>(LoadU32(raw_.data() + 1355)); }
int32_t TRoomInfo::Speakers() const { return static_cast<int32_t>(LoadU32(raw_.data() + 1363)); }
int32_t TRoomInfo::PlaybackBufferCount() const { return static_cast<int32_t>(LoadU32(raw_.data() + 1367)); }

TRoomListItem TRoomListItem::Decode(std::span<const uint8_t, kSize> in) {
    TRoomListItem r;
    r.roomNumber = static_cast<int32_t>(LoadU32(in.data()));
    r.roomName = GetShortString(in, 58, kNameCapacity);
    r.isPrivate = in[388] != 0;
    r.state = static_cast<int32_t>(LoadU32(in.data() + 392));
    return r;
}

TRoomValidation TRoomValidation::Decode(std::span<const uint8_t, kSize> in) {
    TRoomValidation v;
    v.voicePort = static_cast<int32_t>(LoadU32(in.data() + 25));
    v.fileTransferPort = static_cast<int32_t>(LoadU32(in.data() + 50));
    return v;
}

void TStartupInfo::Assign(std::span<const uint8_t, kSize> bytes) { std::memcpy(raw_.data(), bytes.data(), kSize); }
int32_t TStartupInfo::FileSize() const { return static_cast<int32_t>(LoadU32(raw_.data() + 514)); }

bool IsSafeBaseName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == 0x7F) return false;
    return true;
}

}  // namespace orb
