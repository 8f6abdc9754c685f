#pragma once
// Builds recorded sessions message by message, laid out by hand from the record tables: the
// 740-byte session record (session id at 0, total size at 225, message count at 480), then each
// message as a 22-byte header and its body. Tests make recordings of every kind the replay routes,
// with or without the head, with a kind-0 tail, a body cut short or lengths that lie.

#include <cstdint>
#include <string>
#include <vector>

namespace orb::test {

class TRecordingWriter {
public:
    // Send time of the first message, as days since 30 December 1899.
    explicit TRecordingWriter(double startTime = 46000.5);

    // A message sent atMs after the start (atMs may go backwards).
    TRecordingWriter& Add(uint16_t kind, int64_t atMs, const std::vector<uint8_t>& body = {}, int32_t sender = 7,
                          int16_t room = 3, uint16_t result = 0);
    // Raw bytes appended as they are (a kind-0 header, a partial body, a lying length).
    TRecordingWriter& AddRaw(const std::vector<uint8_t>& bytes);

    size_t Count() const { return count_; }
    // The messages back to back (what the room server streams).
    const std::vector<uint8_t>& Messages() const { return messages_; }
    // Each whole message added with Add, in order.
    const std::vector<std::vector<uint8_t>>& Each() const { return each_; }
    // The session record for these messages (total = 740 + message bytes unless given).
    std::vector<uint8_t> Head(int32_t sessionId = 1, int32_t total = -1, int32_t count = -1) const;
    // Head (when asked) and messages.
    std::vector<uint8_t> Bytes(bool withHead) const;
    bool WriteFile(const std::string& path, bool withHead) const;

    // A 22-byte header of kind 0 (data that is not there yet).
    static std::vector<uint8_t> KindZeroHeader();
    // A header that announces bodyLength bytes, followed by `present` of them.
    static std::vector<uint8_t> PartialMessage(uint16_t kind, int32_t bodyLength, size_t present);

private:
    double start_;
    size_t count_ = 0;
    std::vector<uint8_t> messages_;
    std::vector<std::vector<uint8_t>> each_;
};

// Bodies, from the record tables.
// Room entry (kind 75): TRoomValidation (54) + TRoomInfo (1430) + TLoginInfo (1119), the codec
// index at 1355 of the room record; compact: only the 1418-byte room block.
std::vector<uint8_t> RoomEntryBody(int32_t codecIndex, bool compact = false);
// Kind 11: int32 board, then `strokes` 20-byte line records from (10, 10 + i) to (200, 10 + i).
std::vector<uint8_t> StrokesBody(int32_t board, int strokes, uint32_t colour = 0x0000FF);
// Kind 130: an 18-byte text record (public chat), the UTF-16 text with its terminator (the count
// N covers both) and one byte 0; an empty text is the record alone with N = 0.
std::vector<uint8_t> ChatBody(int32_t sender, int16_t room, const std::u16string& text);
// Kind 27: `bytes` of voice data (a recognisable pattern starting with `tag`).
std::vector<uint8_t> VoiceBody(uint8_t tag, size_t bytes = 33);
// Kinds 31 and 53: int32 board and a 773-byte resource record.
std::vector<uint8_t> ResourceNoticeBody(int32_t board);

}  // namespace orb::test
