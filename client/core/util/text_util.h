#pragma once
// Small text helpers shared by the routines here and the settings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orb {

// Trims characters up to and including the blank (control characters too), as trimming does for
// settings and addresses.
std::string_view Trim(std::string_view s);
char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiLowerCase(std::string_view s);
std::string AsciiUpperCase(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
// A whole decimal integer with an optional sign and surrounding blanks; nothing when the text is not
// one or does not fit.
std::optional<int32_t> ParseInt32(std::string_view s);

}  // namespace orb
