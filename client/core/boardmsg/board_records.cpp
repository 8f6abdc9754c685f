#include "boardmsg/board_records.h"

#include "wire/text.h"

namespace orb::board {

void TStrokeRecord::Encode(uint8_t out[kSize]) const {
    out[0] = board;
    out[1] = tool;
    StoreU16(out + 2, x1);
    StoreU16(out + 4, y1);
    StoreU16(out + 6, x2);
    StoreU16(out + 8, y2);
    out[10] = penWidth;
    StoreU32(out + 11, penColor);
    out[15] = brushStyle;
    StoreU32(out + 16, brushColor);
}

void TStrokeRecord::AppendTo(std::vector<uint8_t>& out) const {
    uint8_t b[kSize];
    Encode(b);
    out.insert(out.end(), b, b + kSize);
}

bool TStrokeRecord::Read(ByteReader& in, TStrokeRecord& out) {
    std::span<const uint8_t> b = in.view(kSize);
    if (b.size() != kSize) return false;
    Decode(b.data(), out);
    return true;
}

TStrokeRecord MakeMoveTo(int32_t board, int x, int y, int x2, int y2) {
    TStrokeRecord r;
    r.board = uint8_t(board);
    r.tool = btMoveTo;
    r.x1 = uint16_t(x);
    r.y1 = uint16_t(y);
    r.x2 = uint16_t(x2);
    r.y2 = uint16_t(y2);
    return r;
}

void TBoardImageInfo::AppendTo(std::vector<uint8_t>& out) const {
    ByteWriter w(out);
    w.i32(board);
    w.i32(left);
    w.i32(top);
    w.i32(right);
    w.i32(bottom);
    w.i32(jpegSize);
}

bool TBoardImageInfo::Read(ByteReader& in, TBoardImageInfo& out) {
    TBoardImageInfo r;
    if (!in.i32(r.board) || !in.i32(r.left) || !in.i32(r.top) || !in.i32(r.right) || !in.i32(r.bottom) ||
        !in.i32(r.jpegSize))
        return false;
    out = r;
    return true;
}

bool ReadAnsiBoardText(ByteReader& in, TBoardTextObject& out) {
    TBoardTextObject t;
    std::string font, text;
    int32_t colour = 0;
    if (!in.skip(4) || !in.i32(t.left) || !in.i32(t.top) || !in.i32(t.right) || !in.i32(t.bottom) ||
        !in.shortString(128, font) || !in.i32(t.fontSize) || !in.i32(colour) || !in.shortString(255, text))
        return false;
    t.fontName = Cp1252ToUtf8(font);
    t.fontColor = TColorRef(colour);
    t.text = Utf8ToUtf16(Cp1252ToUtf8(text));
    t.board = out.board;
    out = std::move(t);
    return true;
}

bool ReadBoardTextInfo(ByteReader& in, TBoardTextObject& out) {
    TBoardTextInfo info;
    if (!TBoardTextInfo::Decode(in, info)) return false;
    // The count comes from the sender: it must fit in what the body still holds.
    if (info.textByteCount < 0 || size_t(info.textByteCount) > in.remaining()) {
        in.fail();
        return false;
    }
    TBoardTextObject t;
    t.board = info.board;
    t.left = info.left;
    t.top = info.top;
    t.right = info.right;
    t.bottom = info.bottom;
    t.fontName = info.fontName;
    t.fontSize = info.fontSize;
    t.fontColor = TColorRef(info.fontColor);
    t.text = Utf16LeBytesToString(in.view(size_t(info.textByteCount)));
    out = std::move(t);
    return true;
}

}  // namespace orb::board
