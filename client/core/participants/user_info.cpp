#include "participants/user_info.h"

#include <algorithm>
#include <cstring>

#include "wire/text.h"

namespace orb {

bool TUserInfo::Decode(ByteReader& r, TUserInfo& out) {
    TUserInfo tmp;
    if (!r.bytes(tmp.raw.data(), tmp.raw.size())) return false;
    out = tmp;
    return true;
}

double TUserInfo::LoginTime() const {
    double v;
    uint64_t bits = uint64_t(LoadU32(raw.data() + kLoginTime)) | (uint64_t(LoadU32(raw.data() + kLoginTime + 4)) << 32);
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void TUserInfo::SetLoginTime(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    StoreU32(raw.data() + kLoginTime, uint32_t(bits));
    StoreU32(raw.data() + kLoginTime + 4, uint32_t(bits >> 32));
}

std::string TrimPartialUtf8(std::string_view s) {
    // Walk back over continuation bytes to the last lead byte and check its sequence is whole.
    size_t end = s.size();
    size_t i = end;
    int continuation = 0;
    while (i > 0 && continuation < 4 && (uint8_t(s[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i == 0) return std::string(s.substr(0, continuation == 0 ? end : 0));
    uint8_t lead = uint8_t(s[i - 1]);
    size_t need = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
    if (lead >= 0x80 && size_t(continuation) + 1 < need) end = i - 1;
    return std::string(s.substr(0, end));
}

std::string TUserInfo::Str(size_t offset, size_t capacity) const {
    size_t len = std::min<size_t>(raw[offset], capacity);
    return TrimPartialUtf8(std::string_view(reinterpret_cast<const char*>(raw.data() + offset + 1), len));
}

void TUserInfo::SetString(size_t offset, size_t capacity, std::string_view utf8) {
    std::string cut = CutUtf8(utf8, capacity);
    raw[offset] = uint8_t(cut.size());
    std::memset(raw.data() + offset + 1, 0, capacity);
    std::memcpy(raw.data() + offset + 1, cut.data(), cut.size());
}

int32_t TUserInfo::NormalizeGmtOffset() {
    int32_t v = GmtOffset();
    if (v < kMinGmtOffset || v > kMaxGmtOffset) {
        v = 0;
        SetGmtOffset(0);
    }
    return v;
}

}  // namespace orb
