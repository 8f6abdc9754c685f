#pragma once
// Bodies of the room protocol: packed little-endian records of fixed size, read and written only
// through orb::ByteReader / orb::ByteWriter. String fields hold the raw bytes of the short string
// (UTF-8 unless the field says otherwise); Decode fails without touching its output when the
// record does not fit in what is left of the body.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wire/bytes.h"

// Longest chat or board text in UTF-16 code units: (32766 + 1) * 2 still fits the 16-bit count.
constexpr size_t kMaxTextChars = 32766;

// Cuts UTF-16 text to at most maxUnits code units without splitting a surrogate pair.
std::u16string CutUtf16(std::u16string_view text, size_t maxUnits = kMaxTextChars);

// One shared resource: document, board image, web link, presentation or slide.
struct TResourceInfo {
    static constexpr size_t kSize = 773;

    int32_t id = 0;             // 0: server-assigned; 0 in a new web link
    std::string fileName;       // 4: s200; the URL for a web link
    std::string localPath;      // 205: s200; the URL for a web link
    int32_t fileSize = 0;       // 406
    std::string extension;      // 410: s20, with its dot; "WWW" for a web link
    std::string description;    // 431: s200
    std::string ownerName;      // 632: s128, 8-bit text in the Windows-1252 code page
    double added = 0;           // 761: date-time
    int32_t number = 0;         // 769: page or slide count, or slide number

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TResourceInfo& out);
};

// A participant's request or motion (kind 15).
struct TRequestInfo {
    static constexpr size_t kSize = 221;

    uint16_t sequence = 0;     // 0: per-client counter, first request carries 1
    int32_t senderId = 0;      // 2
    int32_t targetId = 0;      // 6: target user or parameter
    double time = 0;           // 10: time of sending
    uint8_t requestType = 0;   // 18: 4..9 user-list actions, anything else a note
    std::string text;          // 19: s200
    uint8_t flag = 0;          // 220

    // Request types 4..9 act on the sender's row in the participant list; the rest are notes.
    bool IsUserListAction() const { return requestType >= 4 && requestType <= 9; }

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TRequestInfo& out);
};

// A connectivity check, beep or poll (kind 63); also a stored poll template and an exam file record.
struct TPollInfo {
    static constexpr size_t kSize = 221;
    enum : uint16_t { ptCheck = 0, ptBeep = 1, ptPoll = 2 };

    int32_t id = 0;            // 0: sender's millisecond tick at sending
    int32_t fromId = 0;        // 4
    int32_t toId = 0;          // 8: 0 = everybody
    uint16_t pingType = 0;     // 12
    uint8_t mustReply = 0;     // 14
    uint8_t multipleAns = 0;   // 15
    int32_t answerMask = 0;    // 16: option 1 = bit 25 ... option 26 = bit 0
    std::string question;      // 20: s200, UTF-8

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TPollInfo& out);
};

// Head of a chat line, private message or session note (kinds 130/131 with UTF-16 text, 4/5 with
// 8-bit text). The text follows with one extra 0 byte: body = 18 + N + 1, or 18 when N = 0.
struct TTextMessageInfo {
    static constexpr size_t kSize = 18;
    enum : int16_t { mtPublic = 0, mtPrivate = 1, mtNote = 5 };

    int32_t fromId = 0;          // 0
    int32_t toId = 0;            // 4: 0 = everybody in the room
    int16_t room = 0;            // 8
    int16_t messageType = 0;     // 10
    uint16_t textByteCount = 0;  // 12: N; 0 = no text
    // 14: 4 reserved bytes

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TTextMessageInfo& out);
};

// The in-memory text-message record a chat sender fills: the head plus its own copy of the text.
// textByteCount = (characters + 1) * 2, so an empty text counts 2 (the terminator alone).
struct TWideTextRecord {
    TTextMessageInfo info;
    std::u16string text;  // without the terminator; at most kMaxTextChars code units
};
using PWideTextRecord = std::unique_ptr<TWideTextRecord>;

// Builds the record from the whole text; text beyond kMaxTextChars is cut.
PWideTextRecord NewWideTextRecord(int32_t fromId, int32_t toId, int16_t room, std::u16string_view text,
                                  int16_t messageType);
// The same from text lines (a chat input's or a note's): their whole content is the lines joined by
// CR LF, so one line "A" counts 4 bytes and no lines (or one empty line) count 2.
PWideTextRecord NewWideTextRecord(int32_t fromId, int32_t toId, int16_t room,
                                  std::span<const std::u16string> lines, int16_t messageType);
// Releases the record and its text copy.
void FreeWideTextRecord(PWideTextRecord& record);

// A text message as received, text already decoded to UTF-16 (up to its terminator).
struct TTextMessage {
    TTextMessageInfo info;
    std::u16string text;
};

// Body of kinds 130/131: the head, then (when N > 0) N bytes of UTF-16LE text with its terminator,
// then one 0 byte. The head's count is recomputed from the text.
std::vector<uint8_t> EncodeWideTextMessage(const TWideTextRecord& record);
// Reads a text-message body; wide = kinds 130/131, otherwise kinds 4/5: the head, then N bytes of
// 8-bit (Windows-1252) text converted to UTF-16 and one 0 byte.
bool DecodeTextMessage(orb::ByteReader& r, bool wide, TTextMessage& out);

// A text object on a whiteboard (kind 132; also inside whole-board replies).
struct TBoardTextInfo {
    static constexpr size_t kSize = 165;

    int32_t board = 0;                          // 0
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // 4: board pixels
    std::string fontName;                       // 20: s128
    int32_t fontSize = 0;                       // 149: points
    int32_t fontColor = 0;                      // 153: 0x00BBGGRR
    // 157: 4 reserved bytes
    int32_t textByteCount = 0;                  // 161: N = 2 * characters + 3

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TBoardTextInfo& out);
};

// A board text object with its text.
struct TBoardText {
    int32_t board = 0;  // the int32 in front of the record
    TBoardTextInfo info;
    std::u16string text;
};

// Body of kind 132: int32 board, the record, then N bytes: UTF-16LE text, its terminator and one
// 0 byte. The record's count is recomputed from the text (cut to kMaxTextChars).
std::vector<uint8_t> EncodeBoardTextBody(const TBoardText& text);
// Reads such a body (also one embedded in a whole-board reply); N must fit the rest of the body.
bool DecodeBoardTextBody(orb::ByteReader& r, TBoardText& out);

// One participant's rights and motion bits (kind 115 repeated, kind 153 once).
struct TUserRights {
    static constexpr size_t kSize = 15;

    int32_t userId = 0;     // 0
    uint8_t unread4 = 0;    // 4
    uint8_t micState = 0;   // 5: 2 or 4 = may speak
    uint8_t camState = 0;   // 6: 2 or 4 = may use a camera
    uint8_t boardRight = 0; // 7: non-zero = may write on the shared boards
    uint8_t unread8 = 0;    // 8
    int32_t motion = 0;     // 9: motion bits
    uint16_t unread13 = 0;  // 13

    bool MaySpeak() const { return micState == 2 || micState == 4; }
    bool MayUseCamera() const { return camState == 2 || camState == 4; }

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TUserRights& out);
};

// One keyboard or mouse event of remote control (kinds 105 and 147).
struct TRemoteInputEvent {
    static constexpr size_t kSize = 23;
    enum : uint8_t { ieKeyboard = 0, ieMouse = 1 };

    uint8_t eventKind = 0;   // 0: 0 keyboard, 1 mouse, others ignored
    int32_t flags = 0;       // 1
    int32_t dx = 0;          // 5: mouse x (0..65535); keyboard extra information
    int32_t dy = 0;          // 9: mouse y
    int32_t mouseData = 0;   // 13: wheel delta
    int32_t extraInfo = 0;   // 17
    uint8_t virtualKey = 0;  // 21
    uint8_t scanCode = 0;    // 22

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TRemoteInputEvent& out);
};

// Room profile (reply to kind 152): held whole; two fields are read.
struct TRoomProfile {
    static constexpr size_t kSize = 604;
    static constexpr size_t kRoomTypeOffset = 260;
    static constexpr size_t kWebBaseOffset = 455;
    static constexpr size_t kWebBaseCapacity = kSize - kWebBaseOffset - 1;  // 148
    static constexpr int32_t kRoomTypeNoPromotion = 5;

    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSize, 0);

    int32_t RoomType() const;
    // The site's web base address (raw bytes; length clamped to the field).
    std::string WebBase() const;
    void SetWebBase(std::string_view base);

    void Encode(orb::ByteWriter& w) const;
    static bool Decode(orb::ByteReader& r, TRoomProfile& out);
};
