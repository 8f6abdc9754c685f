#pragma once
// Reversible scrambling of the passwords kept in the settings (not encryption: it only keeps them
// from being read at a glance).
//
// A text of L characters, all in U+0001..U+00FF, is scrambled character by character: the one at
// 1-based position i becomes the character (code + key[(L + i) mod 256]) mod 256. That is the form
// every stored password has always had, so it must not change.
//
// That form cannot hold every text: a character above U+00FF loses its high bits, and a character
// that lands on 0 cuts the stored string short. Such texts (and bytes that are not UTF-8) take a
// second form instead: each byte j of the n bytes of the text becomes the character
// U+0100 + ((byte + key[(n + j) mod 256]) mod 256). The first form never yields a character above
// U+00FF, so a text made only of U+0100..U+01FF is known to be of the second form.

#include <string>
#include <string_view>

namespace orb {

std::string ScrambleText(std::string_view text);
std::string UnscrambleText(std::string_view text);

}  // namespace orb
