#pragma once
// Reads a recording file message by message: an optional 740-byte session record, then messages
// exactly as on the room connection (22-byte header, then the body). The file may still be growing;
// the caller says how many bytes may be read and whether more can come.
//
// Every length is checked before use: a body above kMaxRecordedBody, a negative length, or a message
// that reaches past the end bound ends the replay; nothing is allocated from a length that does not
// fit the bytes that are really there.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/vcr_header.h"

namespace orb::playback {

// Largest recorded body we replay; a longer one is taken as a damaged file.
constexpr int32_t kMaxRecordedBody = 16 * 1024 * 1024;
// Kind of a header that stands for data not yet written (a file being filled).
constexpr uint16_t kNotYetKind = 0;

enum class TNextResult {
    Message,  // header and body read; the position is after them
    NotYet,   // the next message is not (completely) there yet; the position is unchanged
    End,      // the end of the recording, or a damaged message: replay ends
};

class TRecordingReader {
public:
    TRecordingReader() = default;
    ~TRecordingReader();
    TRecordingReader(const TRecordingReader&) = delete;
    TRecordingReader& operator=(const TRecordingReader&) = delete;

    // Opens the file read-only (a downloader may still be writing it). hasHead: the file begins
    // with the session record.
    bool Open(const std::string& path, bool hasHead);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    bool HasHead() const { return hasHead_; }

    // Offset of the first message.
    int64_t FirstOffset() const { return hasHead_ ? 740 : 0; }
    int64_t Position() const { return pos_; }
    void Rewind() { pos_ = FirstOffset(); }

    // Offset at which replay ends: endBound (file offsets). 0 or less: no bound of its own.
    void SetEndBound(int64_t endBound) { endBound_ = endBound; }

    // Reads the next message into `message` (header at 0, body from 22). `available`: bytes of the
    // file that may be read; `complete`: no more will come, so what is missing never arrives.
    TNextResult ReadNextRecord(int64_t available, bool complete, TVCRHeader& header, std::vector<uint8_t>& message);
    // The next message as a view into the bytes read already, without a copy or a read: Message
    // when it lies wholly among them, else NotYet (ReadNextRecord then reads it). A view holds until
    // the next ReadNextRecord, so a caller may keep many of them and hand them on together.
    TNextResult ViewNextRecord(int64_t available, TVCRHeader& header, std::span<const uint8_t>& message);

    // The voice codec index of the recording, from its first message (the room entry, kind 75):
    // the 32-bit value at 1355 of the room block, which starts at the body's first byte when the
    // body is 1418 bytes long, else 54 bytes in. 0 when the first message is another kind, the body
    // is too short for the offsets, or the value lies outside 0..7.
    int32_t ReadCodecIndex(int64_t available);

    // Length of the file on disk now (-1 when not open).
    int64_t FileSize() const;

private:
    bool ReadAt(int64_t offset, void* out, size_t count) const;
    // ReadAt through a window of the file read in large pieces, never past `limit` (the bytes
    // that may be read): most messages are small, and one read then serves many of them.
    bool ReadCached(int64_t offset, void* out, size_t count, int64_t limit);
    void DropCache() { cacheLength_ = 0; }
    // Checks a message's header against the bounds; Message: its end offset is in `end`.
    TNextResult CheckHead(const uint8_t* head, int64_t available, bool complete, TVCRHeader& h, int64_t& end) const;

    int fd_ = -1;
    bool hasHead_ = true;
    int64_t pos_ = 740;
    int64_t endBound_ = 0;
    static constexpr size_t kCacheBytes = 1024 * 1024;
    std::vector<uint8_t> cache_;
    int64_t cacheStart_ = 0;
    size_t cacheLength_ = 0;
};

// The end bound of replay in file offsets: the total size from the session record less the head
// when the file has none; for a file that is complete, never beyond its size. A total of 0 or
// less (unknown) leaves only the file size.
int64_t ReplayEndBound(int32_t totalSize, bool hasHead, bool complete, int64_t fileSize);

}  // namespace orb::playback
