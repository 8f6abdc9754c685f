#include <gtest/gtest.h>

#include "protocol/date_time.h"
#include "protocol/vcr_header.h"

TEST(VCRHeader, GoldenBytes) {
    TVCRHeader h;
    h.kind = 0x0102;
    h.sender = 0x0A0B0C0D;
    h.room = -2;
    h.time = 2.0;  // 0x4000000000000000
    h.bodyLength = 0x11223344;
    h.result = 15;
    uint8_t b[22];
    h.Encode(b);
    const uint8_t expect[22] = {0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A, 0xFE, 0xFF, 0, 0, 0,
                                0,    0,    0,    0,    0x40, 0x44, 0x33, 0x22, 0x11, 15, 0};
    EXPECT_EQ(0, memcmp(b, expect, 22));
    TVCRHeader back;
    ASSERT_TRUE(TVCRHeader::Decode(std::span<const uint8_t>(b, 22), back));
    EXPECT_EQ(back.kind, h.kind);
    EXPECT_EQ(back.sender, h.sender);
    EXPECT_EQ(back.room, h.room);
    EXPECT_EQ(back.time, h.time);
    EXPECT_EQ(back.bodyLength, h.bodyLength);
    EXPECT_EQ(back.result, h.result);
    EXPECT_FALSE(TVCRHeader::Decode(std::span<const uint8_t>(b, 21), back));
}

TEST(VCRHeader, InitGivesARequestWithNoBodyAndTheCurrentTime) {
    TVCRHeader h;
    h.bodyLength = 99;
    h.result = 3;
    double before = orb::NowDateTime();
    InitVCRHeader(vkHeartBeat, 42, 7, h);
    double after = orb::NowDateTime();
    EXPECT_EQ(h.kind, vkHeartBeat);
    EXPECT_EQ(h.sender, 42);
    EXPECT_EQ(h.room, 7);
    EXPECT_EQ(h.bodyLength, 0);
    EXPECT_EQ(h.result, 0);
    EXPECT_GE(h.time, before);
    EXPECT_LE(h.time, after);
    // A date-time of this century: more than 36526 days (1 January 2000) after 30 December 1899.
    EXPECT_GT(h.time, 36526.0);
    auto bytes = BuildPacketStream(h, nullptr, 0);
    EXPECT_EQ(bytes.size(), 22u);
}

TEST(DateTime, UnixEpochIsDay25569InUtc) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_DOUBLE_EQ(orb::UnixToLocalDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(orb::UnixToLocalDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(orb::LocalDateTimeToUnix(25570.5), 86400 + 43200);
}
