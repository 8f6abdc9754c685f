#include <gtest/gtest.h>

#include "wire/bytes.h"

using orb::ByteReader;
using orb::ByteWriter;

TEST(ByteReader, ReadsLittleEndianAndFailsPastTheEnd) {
    const uint8_t data[] = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
    ByteReader r(data, sizeof data);
    uint16_t a = 0;
    int32_t b = 0;
    ASSERT_TRUE(r.u16(a));
    ASSERT_TRUE(r.i32(b));
    EXPECT_EQ(a, 0x1234);
    EXPECT_EQ(b, 0x12345678);
    int16_t c = 77;
    EXPECT_FALSE(r.i16(c));  // only one byte left
    EXPECT_EQ(c, 77);        // output untouched on failure
    EXPECT_FALSE(r.ok());
    uint8_t d = 0;
    EXPECT_FALSE(r.u8(d));  // a failed reader stays failed
}

TEST(ByteReader, SkipAndSeekRefuseHugeCounts) {
    const uint8_t data[4] = {};
    ByteReader r(data, 4);
    EXPECT_FALSE(r.skip(SIZE_MAX));
    ByteReader r2(data, 4);
    EXPECT_TRUE(r2.skip(4));
    EXPECT_EQ(r2.remaining(), 0u);
    EXPECT_FALSE(r2.seek(5));
}

TEST(ShortString, LengthAboveCapacityIsClamped) {
    uint8_t field[6] = {9, 'a', 'b', 'c', 'd', 'e'};  // s5 claiming 9 characters
    ByteReader r(field, sizeof field);
    std::string s;
    ASSERT_TRUE(r.shortString(5, s));
    EXPECT_EQ(s, "abcde");
    EXPECT_EQ(r.pos(), 6u);
}

TEST(ShortString, WriterCutsAndPadsToCapacity) {
    ByteWriter w;
    w.shortString(3, "hello");
    w.shortString(4, "ab");
    const std::vector<uint8_t> expect = {3, 'h', 'e', 'l', 2, 'a', 'b', 0, 0};
    EXPECT_EQ(w.buffer(), expect);
}

TEST(ByteWriter, DoublesAreIeeeLittleEndian) {
    ByteWriter w;
    w.f64(1.0);
    const std::vector<uint8_t> expect = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
    EXPECT_EQ(w.buffer(), expect);
    ByteReader r(w.buffer().data(), w.size());
    double d = 0;
    ASSERT_TRUE(r.f64(d));
    EXPECT_EQ(d, 1.0);
}
