#include "wire/text.h"

namespace orb {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined positions (kept as C1 controls).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one code point at s[i], advancing i; malformed sequences yield U+FFFD and advance by one.
char32_t NextUtf8(std::string_view s, size_t& i) {
    auto b0 = uint8_t(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = (b0 >= 0xF0 && b0 <= 0xF4) ? 4 : (b0 >= 0xE0) && b0 < 0xF0 ? 3 : (b0 >= 0xC2 && b0 < 0xE0) ? 2 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return kReplacement;
    }
    char32_t c = b0 & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        auto b = uint8_t(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if ((len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (len == 4 && (c < 0x10000 || c > 0x10FFFF))) {
        ++i;
        return kReplacement;
    }
    i += len;
    return c;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = NextUtf8(utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf16LeBytesToString(std::span<const uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = char16_t(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        out += c;
    }
    return out;
}

std::string Utf16ToLeBytes(std::u16string_view text) {
    std::string out;
    out.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = char(text[i] & 0xFF);
        out[2 * i + 1] = char(text[i] >> 8);
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        auto b = uint8_t(ch);
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0) c = kCp1252High[b - 0x80];
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = NextUtf8(utf8, i);
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += char(c);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (kCp1252High[k] != 0 && kCp1252High[k] == c) {
                mapped = char(0x80 + k);
                break;
            }
            if (kCp1252High[k] == 0 && c == char32_t(0x80 + k)) {
                mapped = char(0x80 + k);
                break;
            }
        }
        out += mapped;
    }
    return out;
}

std::string CutUtf8(std::string_view utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    size_t end = maxBytes;
    // Step back over continuation bytes so the cut lands on a character boundary.
    while (end > 0 && (uint8_t(utf8[end]) & 0xC0) == 0x80) --end;
    return std::string(utf8.substr(0, end));
}

}  // namespace orb
