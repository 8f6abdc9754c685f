#include "util/answers.h"

#include "util/text_util.h"

namespace orb {

const std::array<const char*, kAnswerCount> AnswerTexts = {
    "Yes", "No", "True", "False", "Not sure", "May be",
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
    "A", "B", "C", "D", "E", "F",
    "Good", "Bad", "Correct", "Wrong",
};

std::string AnswerText(int k) {
    if (k < 1 || k > kAnswerCount) return {};
    return AnswerTexts[static_cast<size_t>(k - 1)];
}

int32_t AnswerIndex(std::string_view text) {
    std::string_view t = Trim(text);
    for (int k = 1; k <= kAnswerCount; ++k)
        if (EqualsNoCase(t, AnswerTexts[static_cast<size_t>(k - 1)])) return k;
    return 0;
}

uint32_t AnswerBit(int k) {
    if (k < 1 || k > kAnswerCount) return 0;
    return 1u << (kAnswerCount - k);
}

std::vector<std::string> AnswerMaskToList(uint32_t mask) {
    // Only the defined bits: a set bit above 25 would otherwise lengthen the digit string and shift
    // every option by one place.
    std::string digits = Int64ToBinStr(mask & kAnswerMaskBits);
    digits.insert(0, static_cast<size_t>(kAnswerCount) - digits.size(), '0');
    std::vector<std::string> out;
    for (int i = 0; i < kAnswerCount; ++i)
        if (digits[static_cast<size_t>(i)] == '1') out.emplace_back(AnswerTexts[static_cast<size_t>(i)]);
    return out;
}

std::string Int64ToBinStr(uint64_t value) {
    std::string out;
    for (; value; value >>= 1) out.insert(out.begin(), static_cast<char>('0' + (value & 1)));
    return out;
}

int64_t BinStrToInt64(std::string_view text) {
    uint64_t v = 0;
    for (char c : text) v = v * 2 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<unsigned char>(c)) - 48);
    return static_cast<int64_t>(v);
}

}  // namespace orb
