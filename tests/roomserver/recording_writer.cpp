#include "roomserver/recording_writer.h"

#include <bit>
#include <cmath>
#include <fstream>

namespace orb::test {

namespace {

void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Put64(std::vector<uint8_t>& v, uint64_t x) {
    for (int i = 0; i < 8; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// Header: u16 kind at 0, i32 sender at 2, i16 room at 6, f64 time at 8, i32 length at 16, u16 result at 20.
std::vector<uint8_t> Header(uint16_t kind, int32_t sender, int16_t room, double time, int32_t length, uint16_t result) {
    std::vector<uint8_t> h;
    Put16(h, kind);
    Put32(h, uint32_t(sender));
    Put16(h, uint16_t(room));
    Put64(h, std::bit_cast<uint64_t>(time));
    Put32(h, uint32_t(length));
    Put16(h, result);
    return h;
}

}  // namespace

TRecordingWriter::TRecordingWriter(double startTime) : start_(startTime) {}

TRecordingWriter& TRecordingWriter::Add(uint16_t kind, int64_t atMs, const std::vector<uint8_t>& body, int32_t sender,
                                        int16_t room, uint16_t result) {
    const double time = start_ + double(atMs) / 86400000.0;
    std::vector<uint8_t> m = Header(kind, sender, room, time, int32_t(body.size()), result);
    m.insert(m.end(), body.begin(), body.end());
    messages_.insert(messages_.end(), m.begin(), m.end());
    each_.push_back(std::move(m));
    ++count_;
    return *this;
}

TRecordingWriter& TRecordingWriter::AddRaw(const std::vector<uint8_t>& bytes) {
    messages_.insert(messages_.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> TRecordingWriter::Head(int32_t sessionId, int32_t total, int32_t count) const {
    std::vector<uint8_t> h(740, 0);
    Set32(h, 0, uint32_t(sessionId));
    Set32(h, 225, uint32_t(total >= 0 ? total : int32_t(740 + messages_.size())));
    Set32(h, 480, uint32_t(count >= 0 ? count : int32_t(count_)));
    return h;
}

std::vector<uint8_t> TRecordingWriter::Bytes(bool withHead) const {
    std::vector<uint8_t> out;
    if (withHead) out = Head();
    out.insert(out.end(), messages_.begin(), messages_.end());
    return out;
}

bool TRecordingWriter::WriteFile(const std::string& path, bool withHead) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    const auto bytes = Bytes(withHead);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

std::vector<uint8_t> TRecordingWriter::KindZeroHeader() { return Header(0, 0, 0, 0, 0, 0); }

std::vector<uint8_t> TRecordingWriter::PartialMessage(uint16_t kind, int32_t bodyLength, size_t present) {
    std::vector<uint8_t> m = Header(kind, 7, 3, 46000.5, bodyLength, 0);
    m.resize(m.size() + present, 0x5A);
    return m;
}

std::vector<uint8_t> RoomEntryBody(int32_t codecIndex, bool compact) {
    std::vector<uint8_t> body(compact ? 1418 : 54 + 1430 + 1119, 0);
    const size_t block = compact ? 0 : 54;
    Set32(body, block + 1355, uint32_t(codecIndex));
    Set32(body, block + 1363, 4);  // speakers
    return body;
}

std::vector<uint8_t> StrokesBody(int32_t board, int strokes, uint32_t colour) {
    std::vector<uint8_t> b;
    Put32(b, uint32_t(board));
    auto record = [&](uint8_t tool, uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2, uint8_t width, uint32_t pen) {
        b.push_back(uint8_t(board));
        b.push_back(tool);
        Put16(b, x1);
        Put16(b, y1);
        Put16(b, x2);
        Put16(b, y2);
        b.push_back(width);
        Put32(b, pen);
        b.push_back(1);  // clear brush
        Put32(b, 0xFFFFFF);
    };
    for (int i = 0; i < strokes; ++i) {
        const uint16_t y = uint16_t(10 + 4 * i);
        // Move-to (tool 100, zero style), then a line (tool 0) 3 pixels wide.
        b.push_back(uint8_t(board));
        b.push_back(100);
        Put16(b, 10);
        Put16(b, y);
        Put16(b, 10);
        Put16(b, y);
        b.resize(b.size() + 10, 0);
        record(0, 10, y, 200, y, 3, colour);
    }
    return b;
}

std::vector<uint8_t> ChatBody(int32_t sender, int16_t room, const std::u16string& text) {
    std::vector<uint8_t> b;
    Put32(b, uint32_t(sender));
    Put32(b, 0);
    Put16(b, uint16_t(room));
    Put16(b, 0);  // public
    Put16(b, uint16_t(text.empty() ? 0 : (text.size() + 1) * 2));
    Put32(b, 0);
    for (char16_t c : text) Put16(b, uint16_t(c));
    Put16(b, 0);
    if (!text.empty()) b.push_back(0);  // the byte that follows every text (the count leaves it out)
    else b.resize(b.size() - 2);        // no text: the record alone, its count 0
    return b;
}

std::vector<uint8_t> VoiceBody(uint8_t tag, size_t bytes) {
    std::vector<uint8_t> b(bytes);
    for (size_t i = 0; i < bytes; ++i) b[i] = uint8_t(tag + i);
    return b;
}

std::vector<uint8_t> ResourceNoticeBody(int32_t board) {
    std::vector<uint8_t> b;
    Put32(b, uint32_t(board));
    b.resize(4 + 773, 0);
    return b;
}

}  // namespace orb::test
