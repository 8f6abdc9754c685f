// Golden bytes of the room protocol records. Expected buffers are laid out here from the record
// tables (offset, size, value), never produced by the encoders under test.

#include <gtest/gtest.h>

#include <cstring>

#include "protocol/records.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put8(Bytes& b, size_t off, uint8_t v) { b.at(off) = v; }
void Put16(Bytes& b, size_t off, uint16_t v) {
    b.at(off) = uint8_t(v);
    b.at(off + 1) = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(off + i) = uint8_t(v >> (8 * i));
}
// Short string: length byte at off, characters from off + 1.
void PutS(Bytes& b, size_t off, std::string_view s) {
    b.at(off) = uint8_t(s.size());
    for (size_t i = 0; i < s.size(); ++i) b.at(off + 1 + i) = uint8_t(s[i]);
}
// 2.0 as an IEEE double: 0x4000000000000000.
void PutTwo(Bytes& b, size_t off) { b.at(off + 7) = 0x40; }

template <class T>
Bytes Encode(const T& v) {
    orb::ByteWriter w;
    v.Encode(w);
    return w.buffer();
}

template <class T>
T DecodeOk(const Bytes& b) {
    orb::ByteReader r(b.data(), b.size());
    T v;
    EXPECT_TRUE(T::Decode(r, v));
    EXPECT_EQ(r.pos(), b.size());
    return v;
}

// Every decoder refuses one byte less than its record and leaves its output alone.
template <class T>
void ExpectShortFails(const Bytes& golden, const T& sentinel) {
    orb::ByteReader r(golden.data(), golden.size() - 1);
    T v = sentinel;
    EXPECT_FALSE(T::Decode(r, v));
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(Encode(v), Encode(sentinel));
}

}  // namespace

TEST(Records, ResourceInfo) {
    Bytes g(773, 0);
    Put32(g, 0, 7);
    PutS(g, 4, "Slide_3.JPG");
    PutS(g, 205, "/home/u/Slide_3.JPG");
    Put32(g, 406, 123456);
    PutS(g, 410, ".JPG");
    PutS(g, 431, "third page");
    PutS(g, 632, "\xC9lise");  // Windows-1252 E-acute
    PutTwo(g, 761);
    Put32(g, 769, 3);

    TResourceInfo v;
    v.id = 7;
    v.fileName = "Slide_3.JPG";
    v.localPath = "/home/u/Slide_3.JPG";
    v.fileSize = 123456;
    v.extension = ".JPG";
    v.description = "third page";
    v.ownerName = "\xC9lise";
    v.added = 2.0;
    v.number = 3;
    EXPECT_EQ(Encode(v), g);
    auto d = DecodeOk<TResourceInfo>(g);
    EXPECT_EQ(d.localPath, v.localPath);
    EXPECT_EQ(d.ownerName, v.ownerName);
    EXPECT_EQ(d.added, 2.0);
    EXPECT_EQ(d.number, 3);
    ExpectShortFails(g, TResourceInfo{});
}

TEST(Records, ResourceInfoCutsLongFieldsAndClampsLengthBytes) {
    TResourceInfo v;
    v.extension = std::string(30, 'x');          // s20
    v.description = std::string(199, 'a') + "\xC3\xA9";  // 201 bytes, last character 2 bytes
    Bytes b = Encode(v);
    ASSERT_EQ(b.size(), 773u);
    EXPECT_EQ(b[410], 20);
    EXPECT_EQ(b[431], 199);  // cut before the two-byte character, not through it

    b[410] = 255;  // a length byte above the capacity reads as the capacity
    auto d = DecodeOk<TResourceInfo>(b);
    EXPECT_EQ(d.extension, std::string(20, 'x'));
}

TEST(Records, RequestInfo) {
    Bytes g(221, 0);
    Put16(g, 0, 1);
    Put32(g, 2, 42);
    Put32(g, 6, 0xFFFFFFFF);
    PutTwo(g, 10);
    Put8(g, 18, 10);
    PutS(g, 19, "please");
    Put8(g, 220, 0);

    TRequestInfo v;
    v.sequence = 1;
    v.senderId = 42;
    v.targetId = -1;
    v.time = 2.0;
    v.requestType = 10;
    v.text = "please";
    EXPECT_EQ(Encode(v), g);
    auto d = DecodeOk<TRequestInfo>(g);
    EXPECT_EQ(d.targetId, -1);
    EXPECT_EQ(d.text, "please");
    EXPECT_FALSE(d.IsUserListAction());  // 10 and 3 are notes; 4..9 act on the user list
    d.requestType = 3;
    EXPECT_FALSE(d.IsUserListAction());
    d.requestType = 4;
    EXPECT_TRUE(d.IsUserListAction());
    d.requestType = 9;
    EXPECT_TRUE(d.IsUserListAction());
    ExpectShortFails(g, TRequestInfo{});
}

TEST(Records, PollInfo) {
    Bytes g(221, 0);
    Put32(g, 0, 0x01020304);
    Put32(g, 4, 5);
    Put32(g, 8, 0);
    Put16(g, 12, 2);
    Put8(g, 14, 1);
    Put8(g, 15, 1);
    Put32(g, 16, (1u << 25) | 1u);  // options 1 and 26
    PutS(g, 20, "Gr\xC3\xBC\xC3\x9F" "e?");

    TPollInfo v;
    v.id = 0x01020304;
    v.fromId = 5;
    v.pingType = TPollInfo::ptPoll;
    v.mustReply = 1;
    v.multipleAns = 1;
    v.answerMask = (1 << 25) | 1;
    v.question = "Gr\xC3\xBC\xC3\x9F" "e?";
    EXPECT_EQ(Encode(v), g);
    auto d = DecodeOk<TPollInfo>(g);
    EXPECT_EQ(d.question, v.question);
    EXPECT_EQ(d.answerMask, v.answerMask);
    ExpectShortFails(g, TPollInfo{});
}

TEST(Records, UserRightsAndRemoteInput) {
    Bytes g(15, 0);
    Put32(g, 0, 77);
    Put8(g, 4, 0xAA);
    Put8(g, 5, 4);
    Put8(g, 6, 1);
    Put8(g, 7, 1);
    Put32(g, 9, 1 | 16);
    auto r = DecodeOk<TUserRights>(g);
    EXPECT_EQ(r.userId, 77);
    EXPECT_TRUE(r.MaySpeak());
    EXPECT_FALSE(r.MayUseCamera());
    EXPECT_EQ(r.boardRight, 1);
    EXPECT_EQ(r.motion, 17);
    EXPECT_EQ(Encode(r), g);  // unread bytes travel unchanged
    ExpectShortFails(g, TUserRights{});

    Bytes e(23, 0);
    Put8(e, 0, 1);
    Put32(e, 1, 0x8001);
    Put32(e, 5, 65535);
    Put32(e, 9, 32768);
    Put32(e, 13, uint32_t(-120));
    Put32(e, 17, 9);
    Put8(e, 21, 0x41);
    Put8(e, 22, 0x1E);
    TRemoteInputEvent ev;
    ev.eventKind = TRemoteInputEvent::ieMouse;
    ev.flags = 0x8001;
    ev.dx = 65535;
    ev.dy = 32768;
    ev.mouseData = -120;
    ev.extraInfo = 9;
    ev.virtualKey = 0x41;
    ev.scanCode = 0x1E;
    EXPECT_EQ(Encode(ev), e);
    auto de = DecodeOk<TRemoteInputEvent>(e);
    EXPECT_EQ(de.mouseData, -120);
    EXPECT_EQ(de.scanCode, 0x1E);
    ExpectShortFails(e, TRemoteInputEvent{});
}

TEST(Records, RoomProfileReadsItsTwoFields) {
    Bytes g(604, 0xEE);
    Put32(g, 260, 5);
    PutS(g, 455, "http://example.test/site");
    auto p = DecodeOk<TRoomProfile>(g);
    EXPECT_EQ(p.RoomType(), TRoomProfile::kRoomTypeNoPromotion);
    EXPECT_EQ(p.WebBase(), "http://example.test/site");
    EXPECT_EQ(Encode(p), g);  // held whole, other bytes uninterpreted

    g[455] = 200;  // longer than the 148 bytes left in the record
    p = DecodeOk<TRoomProfile>(g);
    EXPECT_EQ(p.WebBase().size(), 148u);
    ExpectShortFails(g, TRoomProfile{});
}

TEST(TextMessage, WideRecordAndBodies) {
    // One character: N = 4, body = 18 + 4 + 1 = 23.
    auto rec = NewWideTextRecord(3, 0, 9, u"A", TTextMessageInfo::mtPublic);
    EXPECT_EQ(rec->info.textByteCount, 4);
    Bytes g(23, 0);
    Put32(g, 0, 3);
    Put32(g, 4, 0);
    Put16(g, 8, 9);
    Put16(g, 10, 0);
    Put16(g, 12, 4);
    Put16(g, 18, u'A');
    EXPECT_EQ(EncodeWideTextMessage(*rec), g);

    orb::ByteReader r(g.data(), g.size());
    TTextMessage m;
    ASSERT_TRUE(DecodeTextMessage(r, true, m));
    EXPECT_EQ(m.text, u"A");
    EXPECT_EQ(m.info.fromId, 3);
    EXPECT_EQ(r.remaining(), 0u);

    // Empty text: N = 0, and the message is the 18-byte record alone.
    auto empty = NewWideTextRecord(1, 2, 0, u"", TTextMessageInfo::mtPrivate);
    EXPECT_EQ(empty->info.textByteCount, 0);
    EXPECT_TRUE(empty->text.empty());
    EXPECT_EQ(EncodeWideTextMessage(*empty).size(), 18u);
    FreeWideTextRecord(empty);
    EXPECT_EQ(empty, nullptr);

    // From text lines: their whole content, lines joined by CR LF.
    const std::vector<std::u16string> lines = {u"Hi", u"there"};
    auto fromLines = NewWideTextRecord(3, 4, 9, lines, TTextMessageInfo::mtPrivate);
    EXPECT_EQ(fromLines->text, u"Hi\r\nthere");
    EXPECT_EQ(fromLines->info.textByteCount, (2 + 2 + 5 + 1) * 2);
    EXPECT_EQ(fromLines->info.toId, 4);
    const std::vector<std::u16string> one = {u"A"};
    EXPECT_EQ(EncodeWideTextMessage(*NewWideTextRecord(3, 0, 9, one, TTextMessageInfo::mtPublic)), g);
    EXPECT_EQ(NewWideTextRecord(1, 0, 0, std::vector<std::u16string>{}, 0)->info.textByteCount, 0);
    EXPECT_EQ(NewWideTextRecord(1, 0, 0, std::vector<std::u16string>{u""}, 0)->info.textByteCount, 0);

    // A record with N = 0 travels as the 18-byte head alone.
    TWideTextRecord bare;
    bare.info.messageType = TTextMessageInfo::mtNote;
    Bytes b = EncodeWideTextMessage(bare);
    ASSERT_EQ(b.size(), 18u);
    orb::ByteReader rb(b.data(), b.size());
    ASSERT_TRUE(DecodeTextMessage(rb, true, m));
    EXPECT_TRUE(m.text.empty());
    EXPECT_EQ(m.info.messageType, 5);
}

TEST(TextMessage, LongTextIsCutSoTheCountCannotWrap) {
    std::u16string huge(40000, u'x');
    auto rec = NewWideTextRecord(1, 0, 0, huge, 0);
    EXPECT_EQ(rec->text.size(), 32766u);
    EXPECT_EQ(rec->info.textByteCount, 65534);
    EXPECT_EQ(EncodeWideTextMessage(*rec).size(), 18u + 65534 + 1);

    // A surrogate pair straddling the limit is dropped whole.
    std::u16string pair = std::u16string(32765, u'x') + u"\U0001F600";
    auto rec2 = NewWideTextRecord(1, 0, 0, pair, 0);
    EXPECT_EQ(rec2->text.size(), 32765u);
}

TEST(TextMessage, AnsiBodyAndHostileCounts) {
    Bytes g(18 + 3 + 1, 0);
    Put32(g, 0, 8);
    Put16(g, 12, 3);
    g[18] = 'c';
    g[19] = 0xE9;  // e-acute in Windows-1252
    g[20] = '!';
    orb::ByteReader r(g.data(), g.size());
    TTextMessage m;
    ASSERT_TRUE(DecodeTextMessage(r, false, m));
    EXPECT_EQ(m.text, u"c\u00E9!");

    // A count beyond the body fails cleanly, also when only the extra byte is missing.
    Bytes cut(g.begin(), g.end() - 1);
    orb::ByteReader rc(cut.data(), cut.size());
    m.text = u"kept";
    EXPECT_FALSE(DecodeTextMessage(rc, false, m));
    EXPECT_EQ(m.text, u"kept");
    Put16(g, 12, 0xFFFF);
    orb::ByteReader rh(g.data(), g.size());
    EXPECT_FALSE(DecodeTextMessage(rh, true, m));
}

TEST(BoardText, BodyLayoutAndLengths) {
    // Five characters: N = 13, body = 4 + 165 + 13 = 182.
    TBoardText t;
    t.board = 2;
    t.info.board = 2;
    t.info.left = 10;
    t.info.top = 20;
    t.info.right = 110;
    t.info.bottom = 40;
    t.info.fontName = "DejaVu Sans";
    t.info.fontSize = 12;
    t.info.fontColor = 0x0000FF;  // red in the low byte
    t.text = u"Hello";
    Bytes g(182, 0);
    Put32(g, 0, 2);
    Put32(g, 4 + 0, 2);
    Put32(g, 4 + 4, 10);
    Put32(g, 4 + 8, 20);
    Put32(g, 4 + 12, 110);
    Put32(g, 4 + 16, 40);
    PutS(g, 4 + 20, "DejaVu Sans");
    Put32(g, 4 + 149, 12);
    Put32(g, 4 + 153, 0xFF);
    Put32(g, 4 + 161, 13);
    const char16_t* hello = u"Hello";
    for (int i = 0; i < 5; ++i) Put16(g, 169 + 2 * i, hello[i]);
    EXPECT_EQ(EncodeBoardTextBody(t), g);

    orb::ByteReader r(g.data(), g.size());
    TBoardText d;
    ASSERT_TRUE(DecodeBoardTextBody(r, d));
    EXPECT_EQ(d.text, u"Hello");
    EXPECT_EQ(d.info.fontName, "DejaVu Sans");
    EXPECT_EQ(d.info.textByteCount, 13);
    EXPECT_EQ(r.remaining(), 0u);

    // A character outside the basic plane counts as two.
    t.text = u"\U0001D11E";
    EXPECT_EQ(EncodeBoardTextBody(t).size(), 169u + 7);

    // Negative and oversized counts fail without touching the output.
    for (uint32_t bad : {0xFFFFFFFFu, 14u, 0x7FFFFFFFu}) {
        Bytes h = g;
        Put32(h, 4 + 161, bad);
        orb::ByteReader rh(h.data(), h.size());
        TBoardText out;
        out.text = u"kept";
        EXPECT_FALSE(DecodeBoardTextBody(rh, out));
        EXPECT_EQ(out.text, u"kept");
    }
}
