#pragma once
// Reply bytes written out by hand from the record tables, independent of the encoders under test.

#include <cstdint>
#include <cstring>
#include <string>

namespace orbtest {

inline void PutLE(std::string& s, size_t off, uint64_t v, int bytes) {
    if (s.size() < off + size_t(bytes)) s.resize(off + size_t(bytes), '\0');
    for (int i = 0; i < bytes; ++i) s[off + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// u16 kind at 0, i32 sender at 2, i16 room at 6, f64 time at 8, i32 body length at 16, u16 result at 20.
inline std::string Header(uint16_t kind, int32_t bodyLength, uint16_t result, int32_t sender = 0, int16_t room = 0) {
    std::string h(22, '\0');
    PutLE(h, 0, kind, 2);
    PutLE(h, 2, uint32_t(sender), 4);
    PutLE(h, 6, uint16_t(room), 2);
    double t = 46000.5;
    uint64_t bits;
    std::memcpy(&bits, &t, 8);
    PutLE(h, 8, bits, 8);
    PutLE(h, 16, uint32_t(bodyLength), 4);
    PutLE(h, 20, result, 2);
    return h;
}

// A short string field: length byte, then the characters, padded to capacity.
inline void PutShort(std::string& s, size_t off, size_t capacity, const std::string& text) {
    if (s.size() < off + 1 + capacity) s.resize(off + 1 + capacity, '\0');
    s[off] = char(text.size());
    for (size_t i = 0; i < text.size(); ++i) s[off + 1 + i] = text[i];
}

}  // namespace orbtest
