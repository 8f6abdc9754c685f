#pragma once
// Text encodings used on the wire and in files: UTF-8 (record strings), UTF-16LE (chat and board
// text bodies, the print monitor's wide strings) and the 8-bit Windows-1252 code page (older text
// messages, resource owner names). Malformed input never fails: it becomes U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <span>

namespace orb {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-16LE bytes (any length; an odd last byte is ignored) to text, stopping at a 0 character.
std::u16string Utf16LeBytesToString(std::span<const uint8_t> bytes);
// Text to UTF-16LE bytes, without terminator.
std::string Utf16ToLeBytes(std::u16string_view text);

std::string Cp1252ToUtf8(std::string_view cp1252);
// Characters that Windows-1252 cannot hold become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// Cuts UTF-8 text to at most maxBytes bytes without splitting a character.
std::string CutUtf8(std::string_view utf8, size_t maxBytes);

}  // namespace orb
