#pragma once
// Reversible scrambling of the passwords kept in the settings (not encryption: it only keeps them
// from being read at a glance).
//
// Works on the characters (Unicode scalar values) of UTF-8 text: the character at 1-based position i
// of a text of L characters moves forward (back, when unscrambling) by key[(L + i) mod 256] through
// the scalar values other than 0. So every character maps to a valid character, nothing scrambles
// to a 0 character, any length works, and the result is again valid UTF-8. A 0 character stays 0;
// malformed UTF-8 input is read as U+FFFD.

#include <string>
#include <string_view>

namespace orb {

std::string ScrambleText(std::string_view text);
std::string UnscrambleText(std::string_view text);

}  // namespace orb
