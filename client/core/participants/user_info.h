#pragma once
// One participant as the room lists it (761 bytes): user list, user joined and user joined with
// rights. The record is held as the bytes received; accessors read its fields with short-string
// lengths clamped to their capacity and names cut to whole UTF-8 characters.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "wire/bytes.h"

namespace orb {

struct TUserInfo {
    static constexpr size_t kSize = 761;
    // Offsets and capacities of the record.
    static constexpr size_t kFirstName = 4, kFirstNameCap = 20;
    static constexpr size_t kDisplayName = 25, kDisplayNameCap = 128;
    static constexpr size_t kEmail = 154, kEmailCap = 128;
    static constexpr size_t kShortAddress = 283, kShortAddressCap = 54;
    static constexpr size_t kLevel = 338;
    static constexpr size_t kGender = 342, kGenderCap = 11;
    static constexpr size_t kProfession = 354, kProfessionCap = 100;
    static constexpr size_t kAddress = 455, kAddressCap = 128;
    static constexpr size_t kLanguages = 584, kLanguagesCap = 112;
    static constexpr size_t kLoginTime = 697;
    static constexpr size_t kGmtOffset = 705;
    static constexpr size_t kPresence = 709;
    // Offsets from GMT that exist on earth: UTC-12 (720) to UTC+14 (-840), as UTC minus local.
    static constexpr int32_t kMinGmtOffset = -840, kMaxGmtOffset = 720;

    std::array<uint8_t, kSize> raw{};

    static bool Decode(ByteReader& r, TUserInfo& out);
    void Encode(ByteWriter& w) const { w.bytes(raw.data(), raw.size()); }

    int32_t UserId() const { return I32(0); }
    void SetUserId(int32_t v) { SetI32(0, v); }
    std::string FirstName() const { return Str(kFirstName, kFirstNameCap); }
    std::string DisplayName() const { return Str(kDisplayName, kDisplayNameCap); }
    std::string Email() const { return Str(kEmail, kEmailCap); }
    std::string ShortAddress() const { return Str(kShortAddress, kShortAddressCap); }
    int32_t Level() const { return I32(kLevel); }
    void SetLevel(int32_t v) { SetI32(kLevel, v); }
    std::string Gender() const { return Str(kGender, kGenderCap); }
    std::string Profession() const { return Str(kProfession, kProfessionCap); }
    std::string Address() const { return Str(kAddress, kAddressCap); }
    std::string Languages() const { return Str(kLanguages, kLanguagesCap); }
    double LoginTime() const;
    void SetLoginTime(double v);
    int32_t GmtOffset() const { return I32(kGmtOffset); }
    void SetGmtOffset(int32_t v) { SetI32(kGmtOffset, v); }
    uint8_t Presence() const { return raw[kPresence]; }
    void SetPresence(uint8_t v) { raw[kPresence] = v; }

    // Writers for building records (tests, the test room server): text cut to whole characters.
    void SetString(size_t offset, size_t capacity, std::string_view utf8);
    void SetFirstName(std::string_view v) { SetString(kFirstName, kFirstNameCap, v); }
    void SetDisplayName(std::string_view v) { SetString(kDisplayName, kDisplayNameCap, v); }

    // An offset outside the real range of time zones becomes 0 in the record; returns the kept value.
    int32_t NormalizeGmtOffset();

private:
    int32_t I32(size_t o) const { return int32_t(LoadU32(raw.data() + o)); }
    void SetI32(size_t o, int32_t v) { StoreU32(raw.data() + o, uint32_t(v)); }
    std::string Str(size_t offset, size_t capacity) const;
};

// Drops a character cut in half at the end of UTF-8 text (what a clamped length can leave).
std::string TrimPartialUtf8(std::string_view text);

}  // namespace orb
