#include "protocol/records.h"

#include <algorithm>

#include "wire/text.h"

namespace {

// UTF-8 fields are cut at a character boundary so a long name never ends in half a character.
void PutUtf8(orb::ByteWriter& w, size_t capacity, std::string_view s) {
    w.shortString(capacity, orb::CutUtf8(s, capacity));
}

void PutUtf16Le(orb::ByteWriter& w, std::u16string_view text) {
    for (char16_t c : text) w.u16(uint16_t(c));
}

}  // namespace

std::u16string CutUtf16(std::u16string_view text, size_t maxUnits) {
    if (text.size() <= maxUnits) return std::u16string(text);
    size_t end = maxUnits;
    // Do not keep a high surrogate whose partner is cut off.
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
    return std::u16string(text.substr(0, end));
}

// ---- TResourceInfo

void TResourceInfo::Encode(orb::ByteWriter& w) const {
    w.i32(id);
    PutUtf8(w, 200, fileName);
    PutUtf8(w, 200, localPath);
    w.i32(fileSize);
    PutUtf8(w, 20, extension);
    PutUtf8(w, 200, description);
    w.shortString(128, ownerName);
    w.f64(added);
    w.i32(number);
}

bool TResourceInfo::Decode(orb::ByteReader& r, TResourceInfo& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TResourceInfo v;
    r.i32(v.id);
    r.shortString(200, v.fileName);
    r.shortString(200, v.localPath);
    r.i32(v.fileSize);
    r.shortString(20, v.extension);
    r.shortString(200, v.description);
    r.shortString(128, v.ownerName);
    r.f64(v.added);
    r.i32(v.number);
    if (!r.ok()) return false;
    out = std::move(v);
    return true;
}

// ---- TRequestInfo

void TRequestInfo::Encode(orb::ByteWriter& w) const {
    w.u16(sequence);
    w.i32(senderId);
    w.i32(targetId);
    w.f64(time);
    w.u8(requestType);
    PutUtf8(w, 200, text);
    w.u8(flag);
}

bool TRequestInfo::Decode(orb::ByteReader& r, TRequestInfo& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TRequestInfo v;
    r.u16(v.sequence);
    r.i32(v.senderId);
    r.i32(v.targetId);
    r.f64(v.time);
    r.u8(v.requestType);
    r.shortString(200, v.text);
    r.u8(v.flag);
    if (!r.ok()) return false;
    out = std::move(v);
    return true;
}

// ---- TPollInfo

void TPollInfo::Encode(orb::ByteWriter& w) const {
    w.i32(id);
    w.i32(fromId);
    w.i32(toId);
    w.u16(pingType);
    w.u8(mustReply);
    w.u8(multipleAns);
    w.i32(answerMask);
    PutUtf8(w, 200, question);
}

bool TPollInfo::Decode(orb::ByteReader& r, TPollInfo& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TPollInfo v;
    r.i32(v.id);
    r.i32(v.fromId);
    r.i32(v.toId);
    r.u16(v.pingType);
    r.u8(v.mustReply);
    r.u8(v.multipleAns);
    r.i32(v.answerMask);
    r.shortString(200, v.question);
    if (!r.ok()) return false;
    out = std::move(v);
    return true;
}

// ---- TTextMessageInfo and text bodies

void TTextMessageInfo::Encode(orb::ByteWriter& w) const {
    w.i32(fromId);
    w.i32(toId);
    w.i16(room);
    w.i16(messageType);
    w.u16(textByteCount);
    w.zeros(4);
}

bool TTextMessageInfo::Decode(orb::ByteReader& r, TTextMessageInfo& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TTextMessageInfo v;
    r.i32(v.fromId);
    r.i32(v.toId);
    r.i16(v.room);
    r.i16(v.messageType);
    r.u16(v.textByteCount);
    r.skip(4);
    if (!r.ok()) return false;
    out = v;
    return true;
}

PWideTextRecord NewWideTextRecord(int32_t fromId, int32_t toId, int16_t room, std::u16string_view text,
                                  int16_t messageType) {
    auto rec = std::make_unique<TWideTextRecord>();
    rec->text = CutUtf16(text);
    rec->info.fromId = fromId;
    rec->info.toId = toId;
    rec->info.room = room;
    rec->info.messageType = messageType;
    // No text, no terminator: the record alone (N = 0).
    rec->info.textByteCount = rec->text.empty() ? 0 : uint16_t((rec->text.size() + 1) * 2);
    return rec;
}

PWideTextRecord NewWideTextRecord(int32_t fromId, int32_t toId, int16_t room,
                                  std::span<const std::u16string> lines, int16_t messageType) {
    std::u16string text;
    for (size_t i = 0; i < lines.size() && text.size() <= kMaxTextChars; ++i) {
        if (i > 0) text += u"\r\n";
        text += lines[i];
    }
    return NewWideTextRecord(fromId, toId, room, text, messageType);
}

void FreeWideTextRecord(PWideTextRecord& record) { record.reset(); }

std::vector<uint8_t> EncodeWideTextMessage(const TWideTextRecord& record) {
    std::vector<uint8_t> out;
    orb::ByteWriter w(out);
    TTextMessageInfo info = record.info;
    if (info.textByteCount == 0) {
        // A record without text: the head alone.
        info.Encode(w);
        return out;
    }
    std::u16string text = CutUtf16(record.text);
    info.textByteCount = uint16_t((text.size() + 1) * 2);
    out.reserve(TTextMessageInfo::kSize + info.textByteCount + 1);
    info.Encode(w);
    PutUtf16Le(w, text);
    w.u16(0);  // terminator
    w.u8(0);
    return out;
}

bool DecodeTextMessage(orb::ByteReader& r, bool wide, TTextMessage& out) {
    TTextMessageInfo info;
    if (!TTextMessageInfo::Decode(r, info)) return false;
    std::u16string text;
    if (info.textByteCount > 0) {
        auto span = r.view(size_t(info.textByteCount) + 1);
        if (!r.ok()) return false;
        auto textBytes = span.first(info.textByteCount);
        if (wide) {
            text = orb::Utf16LeBytesToString(textBytes);
        } else {
            std::string_view raw(reinterpret_cast<const char*>(textBytes.data()), textBytes.size());
            raw = raw.substr(0, raw.find('\0'));
            text = orb::Utf8ToUtf16(orb::Cp1252ToUtf8(raw));
        }
    }
    out.info = info;
    out.text = std::move(text);
    return true;
}

// ---- TBoardTextInfo and the board text body

void TBoardTextInfo::Encode(orb::ByteWriter& w) const {
    w.i32(board);
    w.i32(left);
    w.i32(top);
    w.i32(right);
    w.i32(bottom);
    PutUtf8(w, 128, fontName);
    w.i32(fontSize);
    w.i32(fontColor);
    w.zeros(4);
    w.i32(textByteCount);
}

bool TBoardTextInfo::Decode(orb::ByteReader& r, TBoardTextInfo& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TBoardTextInfo v;
    r.i32(v.board);
    r.i32(v.left);
    r.i32(v.top);
    r.i32(v.right);
    r.i32(v.bottom);
    r.shortString(128, v.fontName);
    r.i32(v.fontSize);
    r.i32(v.fontColor);
    r.skip(4);
    r.i32(v.textByteCount);
    if (!r.ok()) return false;
    out = std::move(v);
    return true;
}

std::vector<uint8_t> EncodeBoardTextBody(const TBoardText& text) {
    std::vector<uint8_t> out;
    orb::ByteWriter w(out);
    std::u16string t = CutUtf16(text.text);
    TBoardTextInfo info = text.info;
    info.textByteCount = int32_t(2 * t.size() + 3);
    out.reserve(4 + TBoardTextInfo::kSize + size_t(info.textByteCount));
    w.i32(text.board);
    info.Encode(w);
    PutUtf16Le(w, t);
    w.u16(0);  // terminator
    w.u8(0);
    return out;
}

bool DecodeBoardTextBody(orb::ByteReader& r, TBoardText& out) {
    TBoardText v;
    if (!r.i32(v.board)) return false;
    if (!TBoardTextInfo::Decode(r, v.info)) return false;
    if (v.info.textByteCount < 0) {
        r.fail();
        return false;
    }
    auto span = r.view(size_t(v.info.textByteCount));
    if (!r.ok()) return false;
    v.text = orb::Utf16LeBytesToString(span);
    out = std::move(v);
    return true;
}

// ---- TUserRights

void TUserRights::Encode(orb::ByteWriter& w) const {
    w.i32(userId);
    w.u8(unread4);
    w.u8(micState);
    w.u8(camState);
    w.u8(boardRight);
    w.u8(unread8);
    w.i32(motion);
    w.u16(unread13);
}

bool TUserRights::Decode(orb::ByteReader& r, TUserRights& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TUserRights v;
    r.i32(v.userId);
    r.u8(v.unread4);
    r.u8(v.micState);
    r.u8(v.camState);
    r.u8(v.boardRight);
    r.u8(v.unread8);
    r.i32(v.motion);
    r.u16(v.unread13);
    if (!r.ok()) return false;
    out = v;
    return true;
}

// ---- TRemoteInputEvent

void TRemoteInputEvent::Encode(orb::ByteWriter& w) const {
    w.u8(eventKind);
    w.i32(flags);
    w.i32(dx);
    w.i32(dy);
    w.i32(mouseData);
    w.i32(extraInfo);
    w.u8(virtualKey);
    w.u8(scanCode);
}

bool TRemoteInputEvent::Decode(orb::ByteReader& r, TRemoteInputEvent& out) {
    if (r.remaining() < kSize) {
        r.fail();
        return false;
    }
    TRemoteInputEvent v;
    r.u8(v.eventKind);
    r.i32(v.flags);
    r.i32(v.dx);
    r.i32(v.dy);
    r.i32(v.mouseData);
    r.i32(v.extraInfo);
    r.u8(v.virtualKey);
    r.u8(v.scanCode);
    if (!r.ok()) return false;
    out = v;
    return true;
}

// ---- TRoomProfile

int32_t TRoomProfile::RoomType() const {
    if (bytes.size() < kSize) return 0;
    return int32_t(orb::LoadU32(bytes.data() + kRoomTypeOffset));
}

std::string TRoomProfile::WebBase() const {
    if (bytes.size() < kSize) return {};
    size_t len = std::min<size_t>(bytes[kWebBaseOffset], kWebBaseCapacity);
    return std::string(reinterpret_cast<const char*>(bytes.data() + kWebBaseOffset + 1), len);
}

void TRoomProfile::SetWebBase(std::string_view base) {
    bytes.resize(kSize, 0);
    std::string cut = orb::CutUtf8(base, kWebBaseCapacity);
    bytes[kWebBaseOffset] = uint8_t(cut.size());
    std::copy(cut.begin(), cut.end(), bytes.begin() + kWebBaseOffset + 1);
}

void TRoomProfile::Encode(orb::ByteWriter& w) const {
    std::vector<uint8_t> b = bytes;
    b.resize(kSize, 0);
    w.bytes(b.data(), kSize);
}

bool TRoomProfile::Decode(orb::ByteReader& r, TRoomProfile& out) {
    auto s = r.view(kSize);
    if (!r.ok()) return false;
    out.bytes.assign(s.begin(), s.end());
    return true;
}
