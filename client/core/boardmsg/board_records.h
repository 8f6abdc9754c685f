#pragma once
// Whiteboard records as they travel in the room protocol and in recorded sessions.

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/records.h"
#include "wire/bytes.h"

namespace orb::board {

// Boards 1..5 are shared; 0 is the private board, never sent and never the target of a message.
constexpr int32_t kPrivateBoard = 0;
constexpr int32_t kFirstSharedBoard = 1;
constexpr int32_t kLastSharedBoard = 5;
constexpr int kBoardCount = 6;
inline bool IsSharedBoard(int32_t board) { return board >= kFirstSharedBoard && board <= kLastSharedBoard; }

// Tool codes; the same byte travels in TStrokeRecord.
enum TBoardTool : uint8_t {
    btLine = 0,
    btRectangle = 1,
    btEllipse = 2,
    btRoundRect = 3,
    btFreeHand = 4,
    btWhiteFill = 5,
    btText = 6,
    btCircle = 7,
    btFloodFill = 9,
    btEraser = 10,
    btNone = 11,
    btHighlighter = 12,
    btPlaceBitmap = 13,
    btAxes4 = 14,
    btAxes1 = 15,
    btMarkStamp = 16,
    btAreaEraser = 17,
    btMoveTo = 100,
};

// Brush styles by their ordinal on the wire.
enum TBrushStyle : uint8_t {
    bsSolid = 0,
    bsClear = 1,
    bsHorizontal = 2,
    bsVertical = 3,
    bsFDiagonal = 4,
    bsBDiagonal = 5,
    bsCross = 6,
    bsDiagCross = 7,
};

// Windows colour value 0x00BBGGRR.
using TColorRef = uint32_t;
constexpr TColorRef kWhite = 0x00FFFFFF;
constexpr TColorRef kBlack = 0;

// One drawing step (20 bytes, packed, little-endian).
struct TStrokeRecord {
    static constexpr size_t kSize = 20;

    uint8_t board = 0;       // 0
    uint8_t tool = 0;        // 1
    uint16_t x1 = 0;         // 2
    uint16_t y1 = 0;         // 4
    uint16_t x2 = 0;         // 6
    uint16_t y2 = 0;         // 8
    uint8_t penWidth = 0;    // 10: low 8 bits of the width
    TColorRef penColor = 0;  // 11
    uint8_t brushStyle = 0;  // 15
    TColorRef brushColor = 0;  // 16

    void Encode(uint8_t out[kSize]) const;
    void AppendTo(std::vector<uint8_t>& out) const;
    static bool Read(ByteReader& in, TStrokeRecord& out);
    // The record in b[0] .. b[kSize - 1] (the caller has checked they are there), into its place.
    static void Decode(const uint8_t* b, TStrokeRecord& r);
    bool operator==(const TStrokeRecord&) const = default;
};

inline void TStrokeRecord::Decode(const uint8_t* b, TStrokeRecord& r) {
    if constexpr (std::endian::native == std::endian::little) {
        // Bytes 0 to 10 lie in memory as on the wire: one copy instead of seven fields.
        static_assert(offsetof(TStrokeRecord, board) == 0 && offsetof(TStrokeRecord, tool) == 1 &&
                      offsetof(TStrokeRecord, x1) == 2 && offsetof(TStrokeRecord, y1) == 4 &&
                      offsetof(TStrokeRecord, x2) == 6 && offsetof(TStrokeRecord, y2) == 8 &&
                      offsetof(TStrokeRecord, penWidth) == 10);
        std::memcpy(static_cast<void*>(&r), b, 11);
    } else {
        r.board = b[0];
        r.tool = b[1];
        r.x1 = LoadU16(b + 2);
        r.y1 = LoadU16(b + 4);
        r.x2 = LoadU16(b + 6);
        r.y2 = LoadU16(b + 8);
        r.penWidth = b[10];
    }
    r.penColor = LoadU32(b + 11);
    r.brushStyle = b[15];
    r.brushColor = LoadU32(b + 16);
}

// A move-to record: the point in x1, y1 and again in x2, y2, zeros in the style fields.
TStrokeRecord MakeMoveTo(int32_t board, int x, int y, int x2, int y2);

// Placement of a board picture (24 bytes), followed by the JPEG bytes on the wire.
struct TBoardImageInfo {
    static constexpr size_t kSize = 24;

    int32_t board = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // left + picture width
    int32_t bottom = 0;  // top + picture height
    int32_t jpegSize = 0;

    void AppendTo(std::vector<uint8_t>& out) const;
    static bool Read(ByteReader& in, TBoardImageInfo& out);
};

// A text object to draw on a board, decoded from the 8-bit record (413 bytes) or from
// TBoardTextInfo (165 bytes) and its UTF-16 text.
struct TBoardTextObject {
    int32_t board = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::string fontName;  // UTF-8
    int32_t fontSize = 0;  // points
    TColorRef fontColor = 0;
    std::u16string text;
};

constexpr size_t kAnsiBoardTextSize = 413;

// The 413-byte 8-bit text record: i32 (not read), rectangle, s128 font name, i32 size,
// i32 colour, s255 text in the 8-bit code page.
bool ReadAnsiBoardText(ByteReader& in, TBoardTextObject& out);
// TBoardTextInfo and the N text bytes that follow it; N is checked against what is left.
bool ReadBoardTextInfo(ByteReader& in, TBoardTextObject& out);

}  // namespace orb::board
