#pragma once
// Colours as text in the settings: a colour's name ("clBlack", "clRed", ...) when it has one, else
// "$" and eight hex digits of the 0x00BBGGRR value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orb {

std::string ColorToString(int32_t colour);
// A name (without regard to case), a decimal number, or a hex number after "$" or "0x"; nothing
// when the text is none of these.
std::optional<int32_t> StringToColor(std::string_view text);

}  // namespace orb
