#pragma once
// Little-endian record fields as the test room server writes them into the replies it builds.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "wire/bytes.h"

namespace orb::test {

// A short string: its length byte, then at most `capacity` bytes.
inline void PutShort(std::string& s, size_t off, size_t capacity, const std::string& text) {
    size_t len = std::min(text.size(), capacity);
    s[off] = char(len);
    std::memcpy(s.data() + off + 1, text.data(), len);
}

inline void PutI32(std::string& s, size_t off, int32_t v) {
    StoreU32(reinterpret_cast<uint8_t*>(s.data()) + off, uint32_t(v));
}

inline void PutF64(std::string& s, size_t off, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) s[off + size_t(i)] = char(uint8_t(bits >> (8 * i)));
}

inline std::string I32(int32_t v) {
    std::string s(4, '\0');
    PutI32(s, 0, v);
    return s;
}

inline std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The leading i32 of a body, or the fallback when the body is shorter.
inline int32_t BodyI32(std::span<const uint8_t> body, int32_t fallback) {
    ByteReader r(body);
    int32_t v = fallback;
    return r.i32(v) ? v : fallback;
}

}  // namespace orb::test
