#include <gtest/gtest.h>

#include "wire/text.h"

TEST(Text, Utf8AndUtf16RoundTripIncludingSurrogates) {
    std::string s = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";  // Grüße € 😀
    std::u16string w = orb::Utf8ToUtf16(s);
    EXPECT_EQ(w.size(), 10u);  // the emoji is a surrogate pair
    EXPECT_EQ(orb::Utf16ToUtf8(w), s);
}

TEST(Text, MalformedInputBecomesReplacementCharacter) {
    EXPECT_EQ(orb::Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(orb::Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD, 0xFFFD}));
    EXPECT_EQ(orb::Utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");
}

TEST(Text, Cp1252MapsTheHighControlsBlock) {
    EXPECT_EQ(orb::Cp1252ToUtf8("\x80 \xE9"), "\xE2\x82\xAC \xC3\xA9");
    EXPECT_EQ(orb::Utf8ToCp1252("\xE2\x82\xAC \xC3\xA9 \xE4\xB8\xAD"), "\x80 \xE9 ?");
}

TEST(Text, CutUtf8KeepsCharactersWhole) {
    EXPECT_EQ(orb::CutUtf8("a\xC3\xA9", 2), "a");
    EXPECT_EQ(orb::CutUtf8("abc", 5), "abc");
}

TEST(Text, Utf16LeBytesStopAtTerminator) {
    const uint8_t b[] = {'h', 0, 'i', 0, 0, 0, 'x', 0};
    EXPECT_EQ(orb::Utf16LeBytesToString(b), u"hi");
    EXPECT_EQ(orb::Utf16ToLeBytes(u"hi"), std::string("h\0i\0", 4));
}
