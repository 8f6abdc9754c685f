#include "util/scramble.h"

#include <array>
#include <cstdint>
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

// Scalar values without 0 and without the surrogates, numbered 0..kSpace-1.
constexpr uint32_t kSurrogateCount = 0x800;
constexpr uint32_t kSpace = 0x10FFFF - kSurrogateCount;

uint32_t ToIndex(uint32_t cp) { return cp < 0xD800 ? cp - 1 : cp - 1 - kSurrogateCount; }
uint32_t FromIndex(uint32_t idx) { return idx < 0xD7FF ? idx + 1 : idx + 1 + kSurrogateCount; }

std::vector<uint32_t> Decode(std::string_view s) {
    std::vector<uint32_t> out;
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<uint8_t>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else {
            size_t need = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
            if (need && i + need <= s.size()) {
                uint32_t v = b & (0x7F >> need);
                bool ok = true;
                for (size_t k = 1; k < need && ok; ++k) {
                    auto c = static_cast<uint8_t>(s[i + k]);
                    ok = (c & 0xC0) == 0x80;
                    v = (v << 6) | (c & 0x3F);
                }
                static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
                if (ok && v >= kMin[need] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                    cp = v;
                    len = need;
                }
            }
        }
        out.push_back(cp);
        i += len;
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

std::string Shift(std::string_view text, bool forward) {
    std::vector<uint32_t> cps = Decode(text);
    size_t len = cps.size();
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 1; i <= len; ++i) {
        uint32_t cp = cps[i - 1];
        if (cp != 0) {
            uint32_t k = kKey[(len + i) % kKey.size()] % kSpace;
            uint32_t idx = ToIndex(cp);
            idx = forward ? (idx + k) % kSpace : (idx + kSpace - k) % kSpace;
            cp = FromIndex(idx);
        }
        Encode(cp, out);
    }
    return out;
}

}  // namespace

std::string ScrambleText(std::string_view text) { return Shift(text, true); }
std::string UnscrambleText(std::string_view text) { return Shift(text, false); }

}  // namespace orb
