#include "util/scramble.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orb {

namespace {

constexpr std::array<uint32_t, 256> MakeKey() {
    std::array<uint32_t, 256> k {};
    uint64_t x = 0x4f72624c69766536ull;
    for (auto& v : k) {
        x += 0x9e3779b97f4a7c15ull;
        uint64_t z = x;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        v = static_cast<uint32_t>(z ^ (z >> 31));
    }
    return k;
}

constexpr std::array<uint32_t, 256> kKey = MakeKey();

// One decoded character of UTF-8 text, or one byte that is not part of a well-formed character.
struct Unit {
    uint32_t code;
    bool malformed;
};

std::vector<Unit> Decode(std::string_view s) {
    std::vector<Unit> out;
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<uint8_t>(s[i]);
        if (b < 0x80) {
            out.push_back({b, false});
            ++i;
            continue;
        }
        size_t need = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        bool ok = need && i + need <= s.size();
        uint32_t v = ok ? b & (0x7F >> need) : 0;
        for (size_t k = 1; ok && k < need; ++k) {
            auto c = static_cast<uint8_t>(s[i + k]);
            ok = (c & 0xC0) == 0x80;
            v = (v << 6) | (c & 0x3F);
        }
        static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && v >= kMin[need] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
            out.push_back({v, false});
            i += need;
        } else {
            out.push_back({b, true});
            ++i;
        }
    }
    return out;
}

void Encode(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint8_t KeyByte(size_t length, size_t position) {
    return static_cast<uint8_t>(kKey[(length + position) % kKey.size()]);
}

constexpr uint32_t kByteFormBase = 0x100;

// The character form, or nothing when the text does not fit it.
std::optional<std::string> ScrambleChars(const std::vector<Unit>& units) {
    std::string out;
    const size_t len = units.size();
    for (size_t i = 1; i <= len; ++i) {
        const Unit& u = units[i - 1];
        if (u.malformed || u.code == 0 || u.code > 0xFF) return std::nullopt;
        auto c = static_cast<uint8_t>(u.code + KeyByte(len, i));
        if (c == 0) return std::nullopt;
        Encode(c, out);
    }
    return out;
}

std::string ScrambleBytes(std::string_view text) {
    std::string out;
    const size_t len = text.size();
    for (size_t j = 1; j <= len; ++j)
        Encode(kByteFormBase + static_cast<uint8_t>(static_cast<uint8_t>(text[j - 1]) + KeyByte(len, j)), out);
    return out;
}

}  // namespace

std::string ScrambleText(std::string_view text) {
    if (auto chars = ScrambleChars(Decode(text))) return *chars;
    return ScrambleBytes(text);
}

std::string UnscrambleText(std::string_view text) {
    const std::vector<Unit> units = Decode(text);
    const size_t len = units.size();
    bool byteForm = len > 0;
    for (const Unit& u : units)
        if (u.malformed || u.code < kByteFormBase || u.code > kByteFormBase + 0xFF) byteForm = false;
    std::string out;
    for (size_t i = 1; i <= len; ++i) {
        const Unit& u = units[i - 1];
        if (byteForm) {
            out += static_cast<char>(static_cast<uint8_t>(u.code - kByteFormBase - KeyByte(len, i)));
        } else if (u.malformed) {
            out += static_cast<char>(u.code);  // not ours; kept as it is
        } else if (u.code <= 0xFF) {
            Encode(static_cast<uint8_t>(u.code - KeyByte(len, i)), out);
        } else {
            Encode(u.code, out);  // not ours; kept as it is
        }
    }
    return out;
}

}  // namespace orb
