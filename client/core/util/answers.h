#pragma once
// The 26 poll answer options and the 32-bit answer mask: option k is bit 26 - k (option 1 is bit 25,
// option 26 is bit 0); the bits above 25 carry nothing.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orb {

inline constexpr int kAnswerCount = 26;
inline constexpr uint32_t kAnswerMaskBits = (1u << kAnswerCount) - 1;
extern const std::array<const char*, kAnswerCount> AnswerTexts;

// The text of option k (1..26), else empty.
std::string AnswerText(int k);
// 1-based option whose text equals the given one, both trimmed, without regard to case; 0 for none.
int32_t AnswerIndex(std::string_view text);
// The bit of option k (1..26) in the mask; 0 for any other k.
uint32_t AnswerBit(int k);
// The texts of the options whose bits are set, in option order. Bits 26..31 are ignored.
std::vector<std::string> AnswerMaskToList(uint32_t mask);
// Base-2 digits, most significant first, no leading zeros; 0 gives "".
std::string Int64ToBinStr(uint64_t value);
// value = value * 2 + (character - '0') for each character (wrapping, never undefined).
int64_t BinStrToInt64(std::string_view text);

}  // namespace orb
