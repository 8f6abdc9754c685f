#include <gtest/gtest.h>

#include "session/result_texts.h"
#include "session/session_records.h"
#include "wire_bytes.h"

using namespace orb;
using namespace orbtest;

namespace {
std::string Str(const auto& arr) { return std::string(reinterpret_cast<const char*>(arr.data()), arr.size()); }
template <size_t N>
std::array<uint8_t, N> Arr(const std::string& s) {
    std::array<uint8_t, N> a{};
    std::memcpy(a.data(), s.data(), std::min(N, s.size()));
    return a;
}
}  // namespace

TEST(SessionRecords, VersionRecordBytes) {
    std::string want(32, '\0');
    want[0] = 3;
    want.replace(1, 3, "6.2");
    want[11] = 11;
    want.replace(12, 11, "Mar-01-2009");
    EXPECT_EQ(Str(TVersionInfo{}.Encode()), want);

    std::string offer(32, '\0');
    PutShort(offer, 0, 10, "6.3.1");
    PutShort(offer, 11, 20, "Jan-02-2010");
    auto v = TVersionInfo::Decode(Arr<32>(offer));
    EXPECT_EQ(v.version, "6.3.1");
    EXPECT_EQ(v.versionDate, "Jan-02-2010");
    EXPECT_EQ(v.SafeVersionForFileName(), "6.3.1");
    for (const char* bad : {"../x", "a/b", "..", "", "6.3\\1", "v 1"}) {
        v.version = bad;
        EXPECT_EQ(v.SafeVersionForFileName(), "") << bad;
    }
    // A length byte above the capacity is clamped to it.
    offer[0] = char(200);
    EXPECT_EQ(TVersionInfo::Decode(Arr<32>(offer)).version.size(), 10u);
}

TEST(SessionRecords, LoginRequestBytesCutNamesToFiftyBytesAtCharacterBoundaries) {
    TLoginRequest r;
    r.password = "pw";
    r.userName = std::string(50, 'a') + "b";  // 51 characters
    std::string want(106, '\0');
    want[4] = 2;
    want.replace(5, 2, "pw");
    want[55] = 50;
    want.replace(56, 50, std::string(50, 'a'));
    EXPECT_EQ(Str(r.Encode()), want);

    // 49 ASCII characters and a two-byte character: the character does not fit and is left out whole.
    r.userName = std::string(49, 'x') + "\xC3\xA9";
    r.password = std::string(60, 'p');
    r.userId = 0x01020304;
    auto got = r.Encode();
    EXPECT_EQ(got[0], 4);
    EXPECT_EQ(got[3], 1);
    EXPECT_EQ(got[4], 50);
    EXPECT_EQ(got[55], 49);
    EXPECT_EQ(got[56 + 48], 'x');
    EXPECT_EQ(got[56 + 49], 0);
}

TEST(SessionRecords, AccountAndRoomRecordsReadTheirFieldsAndCarryTheRest) {
    std::string acc(1119, '\0');
    PutLE(acc, 0, 77, 4);
    PutLE(acc, 4, 1001, 2);
    PutShort(acc, 29, 128, "Ana Lima");
    PutLE(acc, 647, 1000, 4);
    PutShort(acc, 663, 50, "secret");
    PutLE(acc, 956, 1005, 2);
    PutLE(acc, 987, 5, 4);
    PutLE(acc, 991, 2000, 4);
    PutLE(acc, 1032, uint32_t(-120), 4);
    PutShort(acc, 1036, 31, "token");
    PutShort(acc, 1068, 50, "ana");
    acc[416] = 'U';  // an unused byte travels unchanged
    TLoginInfo info;
    info.Assign(Arr<1119>(acc));
    EXPECT_EQ(info.UserId(), 77);
    EXPECT_EQ(info.Room(), 1001);
    EXPECT_EQ(info.FullName(), "Ana Lima");
    EXPECT_EQ(info.Level(), 1000);
    EXPECT_EQ(info.Password(), "secret");
    EXPECT_EQ(info.RoomToEnter(), 1005);
    EXPECT_EQ(info.Level2(), 5);
    EXPECT_EQ(info.Level3(), 2000);
    EXPECT_EQ(info.TimeZoneBias(), -120);
    EXPECT_EQ(info.LoginText(), "token");
    EXPECT_EQ(info.UserName(), "ana");
    info.SetUserName("bob");
    info.SetRoom(7);
    EXPECT_EQ(info.Raw()[1068], 3);
    EXPECT_EQ(info.Raw()[1069], 'b');
    EXPECT_EQ(info.Raw()[4], 7);
    EXPECT_EQ(info.Raw()[416], 'U');

    std::string room(1430, '\0');
    PutLE(room, 0, 1002, 4);
    PutShort(room, 4, 255, "Sala \xC3\xA9");
    PutLE(room, 747, 60, 4);
    room[1097] = 1;
    room[1099] = 0;
    PutShort(room, 1101, 252, "Welcome!");
    room[1354] = 1;
    PutLE(room, 1355, 2, 4);
    PutLE(room, 1363, 3, 4);
    PutLE(room, 1367, 9, 4);
    TRoomInfo ri;
    ri.Assign(Arr<1430>(room));
    EXPECT_EQ(ri.RoomNumber(), 1002);
    EXPECT_EQ(ri.RoomName(), "Sala \xC3\xA9");
    EXPECT_EQ(ri.TimeOffsetMinutes(), 60);
    EXPECT_TRUE(ri.ServerRecordingAllowed());
    EXPECT_FALSE(ri.ModeratorsGetDocumentTools());
    EXPECT_EQ(ri.WelcomeText(), "Welcome!");
    EXPECT_TRUE(ri.ModeratorVideoAllowed());
    EXPECT_EQ(ri.VoiceCodecIndex(), 2);
    EXPECT_EQ(ri.Speakers(), 3);
    EXPECT_EQ(ri.PlaybackBufferCount(), 9);

    std::string item(404, '\0');
    PutLE(item, 0, 1003, 4);
    PutShort(item, 58, 255, "Math");
    item[388] = 1;
    PutLE(item, 392, 2, 4);
    auto li = TRoomListItem::Decode(Arr<404>(item));
    EXPECT_EQ(li.roomNumber, 1003);
    EXPECT_EQ(li.roomName, "Math");
    EXPECT_STREQ(li.PrivacyText(), "Private");
    EXPECT_EQ(li.state, 2);

    std::string val(54, '\0');
    PutLE(val, 25, 9911, 4);
    PutLE(val, 50, 9912, 4);
    auto rv = TRoomValidation::Decode(Arr<54>(val));
    EXPECT_EQ(rv.voicePort, 9911);
    EXPECT_EQ(rv.fileTransferPort, 9912);

    std::string st(519, '\0');
    st[0] = 1;
    PutShort(st, 1, 255, "intro.html");
    st[257] = 1;
    PutShort(st, 258, 255, "Hello");
    PutLE(st, 514, 12, 4);
    TStartupInfo si;
    si.Assign(Arr<519>(st));
    EXPECT_TRUE(si.Valid());
    EXPECT_EQ(si.FileName(), "intro.html");
    EXPECT_TRUE(si.Welcome());
    EXPECT_EQ(si.WelcomeText(), "Hello");
    EXPECT_EQ(si.FileSize(), 12);
    si.ClearFlags();
    EXPECT_FALSE(si.Valid());
    EXPECT_FALSE(si.Welcome());
    EXPECT_EQ(si.FileName(), "intro.html");
}

TEST(SessionRecords, BaseNamesFromOutside) {
    EXPECT_TRUE(IsSafeBaseName("intro.html"));
    EXPECT_TRUE(IsSafeBaseName("Slide 1.jpg"));
    for (const char* bad : {"", ".", "..", "../x", "a/b", "/etc/passwd", "a\\b", "c:x", "a\nb"})
        EXPECT_FALSE(IsSafeBaseName(bad)) << bad;
    EXPECT_FALSE(IsSafeBaseName(std::string(256, 'a')));
}

TEST(ResultTexts, TableTextsAndTheAccessDeniedBox) {
    EXPECT_EQ(ServerErrorText(0), "No Error");
    EXPECT_EQ(ServerErrorText(1), "Invalid Username or Password.");
    EXPECT_EQ(ServerErrorText(15), "Another user is already logged in with this user ID.");
    EXPECT_EQ(ServerErrorText(18), "Invalid Virtual Room Number.");
    EXPECT_EQ(ServerErrorText(33), "Error performing this operation.");
    EXPECT_EQ(ServerErrorText(51), "This virtual room is full.");
    EXPECT_EQ(ServerErrorText(54), "There are no more free microphones in the virtual room.");
    EXPECT_EQ(ServerErrorText(13).substr(0, 57), "Unable to establish a connection to the remote server.\r\nP");
    EXPECT_EQ(ServerErrorText(36), "Unable to join this virtual classrom.");
    // Codes whose text is empty read like unknown ones: no box is shown empty.
    for (int code : {4, 5, 6, 52, 55, 56})
        EXPECT_EQ(ServerErrorText(code), "Unknown error (" + std::to_string(code) + ")") << code;
    for (int code : {57, 200, 65535, -1})
        EXPECT_EQ(ServerErrorText(code), "Unknown error (" + std::to_string(code) + ")") << code;
    EXPECT_EQ(AccessDeniedText(15), "Access Denied ! [with message code: 15]\r\nError description is: \r\n"
                                    "Another user is already logged in with this user ID.");
    EXPECT_EQ(AccessDeniedText(300), "Access Denied ! [with message code: 300]\r\nError description is: \r\n"
                                     "Unknown error (300)");
}
