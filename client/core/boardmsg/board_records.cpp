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
    out.board = b[0];
    out.tool = b[1];
    out.x1 = LoadU16(&b[2]);
    out.y1 = LoadU16(&b[4]);
    out.x2 = LoadU16(&b[6]);
    out.y2 = LoadU16(&b[8]);
    out.penWidth = b[10];
    out.penColor = LoadU32(&b[11]);
    out.brushStyle = b[15];
    out.brushColor = LoadU32(&b[16]);
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
    TBoardTextObject t;
    std::string font;
    int32_t colour = 0, count = 0;
    if (!in.i32(t.board) || !in.i32(t.left) || !in.i32(t.top) || !in.i32(t.right) || !in.i32(t.bottom) ||
        !in.shortString(128, font) || !in.i32(t.fontSize) || !in.i32(colour) || !in.skip(4) || !in.i32(count))
        return false;
    // The count comes from the sender: it must fit in what the body still holds.
    if (count < 0 || size_t(count) > in.remaining()) {
        in.fail();
        return false;
    }
    std::span<const uint8_t> bytes = in.view(size_t(count));
    t.fontName = font;
    t.fontColor = TColorRef(colour);
    t.text = Utf16LeBytesToString(bytes);
    out = std::move(t);
    return true;
}

void AppendBoardTextInfo(std::vector<uint8_t>& out, const TBoardTextObject& text) {
    std::u16string_view chars(text.text);
    if (chars.size() > kMaxBoardTextChars) chars = chars.substr(0, kMaxBoardTextChars);
    ByteWriter w(out);
    w.i32(text.board);
    w.i32(text.left);
    w.i32(text.top);
    w.i32(text.right);
    w.i32(text.bottom);
    std::string font = CutUtf8(text.fontName, 128);
    w.shortString(128, font);
    w.i32(text.fontSize);
    w.u32(text.fontColor);
    w.zeros(4);
    w.i32(int32_t(2 * chars.size() + 3));
    std::string le = Utf16ToLeBytes(chars);
    w.bytes(le.data(), le.size());
    w.zeros(3);  // the 2-byte terminator and one byte 0
}

bool ReadResourceInfo(ByteReader& in, TBoardResource& out) {
    std::span<const uint8_t> raw = in.view(kResourceInfoSize);
    if (raw.size() != kResourceInfoSize) return false;
    ByteReader r(raw);
    TBoardResource res;
    std::string path, owner;
    double added = 0;
    r.i32(res.id);
    r.shortString(200, res.name);
    r.shortString(200, path);
    r.i32(res.fileSize);
    r.shortString(20, res.extension);
    r.shortString(200, res.description);
    r.shortString(128, owner);
    r.f64(added);
    r.i32(res.number);
    if (!r.ok()) return false;
    res.raw.assign(raw.begin(), raw.end());
    out = std::move(res);
    return true;
}

}  // namespace orb::board
