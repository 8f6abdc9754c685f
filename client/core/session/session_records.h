#pragma once
// Records of the handshake, the start-up information, the room list and the room entry. All are
// packed little-endian wire records of fixed size. The account and room records carry bytes the
// client does not use unchanged, so they are kept as their raw bytes with typed accessors.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orb {

// A short string field (length byte + capacity bytes) inside a raw record. Reading clamps the
// length byte to the capacity; writing cuts UTF-8 text at a character boundary.
std::string GetShortString(std::span<const uint8_t> rec, size_t offset, size_t capacity);
void SetShortString(std::span<uint8_t> rec, size_t offset, size_t capacity, std::string_view utf8);

// The client's version, sent without header as the first bytes of a connection; the server's
// update offer has the same layout.
struct TVersionInfo {
    static constexpr size_t kSize = 32;
    std::string version = "6.2";             // s10 at 0
    std::string versionDate = "Mar-01-2009";  // s20 at 11

    std::array<uint8_t, kSize> Encode() const;
    static TVersionInfo Decode(std::span<const uint8_t, kSize> in);
    // The offered version as it may appear inside a file name: letters, digits, '.', '-' and '_'
    // only, at most 10 characters; empty when the offer's text holds anything else.
    std::string SafeVersionForFileName() const;
};

// Login request, also the head of the voice and video registrations and the recorder request.
struct TLoginRequest {
    static constexpr size_t kSize = 106;
    int32_t userId = 0;    // i32 at 0
    std::string password;  // s50 at 4
    std::string userName;  // s50 at 55

    std::array<uint8_t, kSize> Encode() const;
};

// One user's account and profile (1119 bytes).
class TLoginInfo {
public:
    static constexpr size_t kSize = 1119;
    TLoginInfo() { raw_.fill(0); }

    std::array<uint8_t, kSize>& Raw() { return raw_; }
    const std::array<uint8_t, kSize>& Raw() const { return raw_; }
    void Assign(std::span<const uint8_t, kSize> bytes);

    int32_t UserId() const { return I32(0); }
    void SetUserId(int32_t v) { SetI32(0, v); }
    int16_t Room() const { return I16(4); }
    void SetRoom(int16_t v) { SetI16(4, v); }
    std::string FirstName() const { return Str(8, 20); }
    std::string FullName() const { return Str(29, 128); }
    std::string Email() const { return Str(158, 128); }
    std::string Address() const { return Str(287, 128); }
    std::string City() const { return Str(420, 50); }
    std::string Zip() const { return Str(475, 20); }
    std::string Phone() const { return Str(496, 100); }
    int32_t Level() const { return I32(647); }
    void SetLevel(int32_t v) { SetI32(647, v); }
    std::string Gender() const { return Str(651, 3); }
    double BirthDate() const { return F64(655); }
    std::string Password() const { return Str(663, 50); }
    void SetPassword(std::string_view v) { SetShortString(raw_, 663, 50, v); }
    std::string Profession() const { return Str(718, 100); }
    std::string Languages() const { return Str(819, 100); }
    int16_t RoomToEnter() const { return I16(956); }
    void SetRoomToEnter(int16_t v) { SetI16(956, v); }
    int32_t Level2() const { return I32(987); }
    int32_t Level3() const { return I32(991); }
    void SetLevel3(int32_t v) { SetI32(991, v); }
    double LoginTime() const { return F64(1024); }
    void SetLoginTime(double v) { SetF64(1024, v); }
    int32_t TimeZoneBias() const { return I32(1032); }
    void SetTimeZoneBias(int32_t v) { SetI32(1032, v); }
    std::string LoginText() const { return Str(1036, 31); }
    std::string UserName() const { return Str(1068, 50); }
    void SetUserName(std::string_view v) { SetShortString(raw_, 1068, 50, v); }
    // The profile fields the profile editor writes (text cut to whole characters).
    void SetFirstName(std::string_view v) { SetShortString(raw_, 8, 20, v); }
    void SetFullName(std::string_view v) { SetShortString(raw_, 29, 128, v); }
    void SetEmail(std::string_view v) { SetShortString(raw_, 158, 128, v); }
    void SetAddress(std::string_view v) { SetShortString(raw_, 287, 128, v); }
    void SetCity(std::string_view v) { SetShortString(raw_, 420, 50, v); }
    void SetZip(std::string_view v) { SetShortString(raw_, 475, 20, v); }
    void SetPhone(std::string_view v) { SetShortString(raw_, 496, 100, v); }
    void SetGender(std::string_view v) { SetShortString(raw_, 651, 3, v); }
    void SetBirthDate(double v) { SetF64(655, v); }
    void SetProfession(std::string_view v) { SetShortString(raw_, 718, 100, v); }
    void SetLanguages(std::string_view v) { SetShortString(raw_, 819, 100, v); }

private:
    int32_t I32(size_t o) const;
    int16_t I16(size_t o) const;
    double F64(size_t o) const;
    void SetI32(size_t o, int32_t v);
    void SetI16(size_t o, int16_t v);
    void SetF64(size_t o, double v);
    std::string Str(size_t o, size_t cap) const { return GetShortString(raw_, o, cap); }
    std::array<uint8_t, kSize> raw_;
};

// The settings of one room (1430 bytes).
class TRoomInfo {
public:
    static constexpr size_t kSize = 1430;
    static constexpr size_t kNameCapacity = 255;
    TRoomInfo() { raw_.fill(0); }

    std::array<uint8_t, kSize>& Raw() { return raw_; }
    const std::array<uint8_t, kSize>& Raw() const { return raw_; }
    void Assign(std::span<const uint8_t, kSize> bytes);

    int32_t RoomNumber() const;                 // i32 at 0; 1000 or more is a main room
    std::string RoomName() const;               // short string at 4 (UTF-8)
    int32_t TimeOffsetMinutes() const;          // i32 at 747
    bool ServerRecordingAllowed() const { return raw_[1097] != 0; }
    bool ModeratorsGetDocumentTools() const { return raw_[1099] != 0; }
    std::string WelcomeText() const { return GetShortString(raw_, 1101, 252); }
    bool ModeratorVideoAllowed() const { return raw_[1354] != 0; }
    int32_t VoiceCodecIndex() const;            // i32 at 1355
    int32_t Speakers() const;                   // i32 at 1363
    int32_t PlaybackBufferCount() const;        // i32 at 1367

private:
    std::array<uint8_t, kSize> raw_;
};

// One row of the room list (404 bytes).
struct TRoomListItem {
    static constexpr size_t kSize = 404;
    static constexpr size_t kNameCapacity = 255;
    int32_t roomNumber = 0;  // i32 at 0
    std::string roomName;    // short string at 58 (UTF-8)
    bool isPrivate = false;  // byte at 388
    int32_t state = 0;       // i32 at 392: 0 disabled, 2 unavailable, 3 expired, else available

    static TRoomListItem Decode(std::span<const uint8_t, kSize> in);
    const char* PrivacyText() const { return isPrivate ? "Private" : "Public"; }
};

// Head of a successful room-entry reply (54 bytes).
struct TRoomValidation {
    static constexpr size_t kSize = 54;
    int32_t voicePort = 0;         // i32 at 25
    int32_t fileTransferPort = 0;  // i32 at 50
    static TRoomValidation Decode(std::span<const uint8_t, kSize> in);
};

// The start-up information (519 bytes), kept whole.
class TStartupInfo {
public:
    static constexpr size_t kSize = 519;
    TStartupInfo() { raw_.fill(0); }

    std::array<uint8_t, kSize>& Raw() { return raw_; }
    const std::array<uint8_t, kSize>& Raw() const { return raw_; }
    void Assign(std::span<const uint8_t, kSize> bytes);

    bool Valid() const { return raw_[0] != 0; }
    std::string FileName() const { return GetShortString(raw_, 1, 255); }
    bool Welcome() const { return raw_[257] != 0; }
    std::string WelcomeText() const { return GetShortString(raw_, 258, 255); }
    int32_t FileSize() const;  // i32 at 514: bytes of a file that follows the record (0: none)
    // A failed request leaves no valid start-up information and no welcome.
    void ClearFlags() { raw_[0] = 0; raw_[257] = 0; }

private:
    std::array<uint8_t, kSize> raw_;
};

// A file name from outside is used only as a plain base name inside our own folder: no
// separators, no "." or "..", no control characters, at most 255 bytes.
bool IsSafeBaseName(std::string_view name);

}  // namespace orb
