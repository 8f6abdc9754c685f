#pragma once
// The smiley codes of chat text and the pictures they stand for.

#include <string>
#include <string_view>
#include <vector>

namespace orb::chat {

constexpr int kSmileyCount = 16;

// A stretch of text, or one smiley picture (0..15) in place of its code.
struct TChatPiece {
    std::u16string text;
    int picture = -1;
    bool operator==(const TChatPiece&) const = default;
};

// Splits text into plain stretches and pictures, left to right. A code must be written without
// interruption (":k)" is text); "O :-)" is one code (not "O " and ":-)"), "LOL" another.
std::vector<TChatPiece> SplitSmileys(std::u16string_view text);

// The codes the smilies menu offers, in its order (each is recognised by SplitSmileys).
const std::vector<std::u16string>& MenuSmileyCodes();
// A code's picture number (-1: not a code).
int SmileyPicture(std::u16string_view code);

}  // namespace orb::chat
