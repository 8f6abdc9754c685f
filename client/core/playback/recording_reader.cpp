#include "playback/recording_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "wire/bytes.h"

namespace orb::playback {

TRecordingReader::~TRecordingReader() { Close(); }

bool TRecordingReader::Open(const std::string& path, bool hasHead) {
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    hasHead_ = hasHead;
    pos_ = FirstOffset();
    return fd_ >= 0;
}

void TRecordingReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    DropCache();
}

int64_t TRecordingReader::FileSize() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool TRecordingReader::ReadAt(int64_t offset, void* out, size_t count) const {
    auto* p = static_cast<uint8_t*>(out);
    while (count > 0) {
        ssize_t n = ::pread(fd_, p, count, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += n;
        count -= size_t(n);
    }
    return true;
}

bool TRecordingReader::ReadCached(int64_t offset, void* out, size_t count, int64_t limit) {
    auto* p = static_cast<uint8_t*>(out);
    if (offset >= cacheStart_ && offset + int64_t(count) <= cacheStart_ + int64_t(cacheLength_)) {
        std::copy_n(cache_.data() + (offset - cacheStart_), count, p);
        return true;
    }
    if (count > kCacheBytes / 2 || limit - offset < int64_t(count)) return ReadAt(offset, out, count);
    cache_.resize(kCacheBytes);
    const size_t want = size_t(std::min<int64_t>(int64_t(kCacheBytes), limit - offset));
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd_, cache_.data() + got, want - got, offset + int64_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    cacheStart_ = offset;
    cacheLength_ = got;
    if (got < count) {
        DropCache();
        return false;
    }
    std::copy_n(cache_.data(), count, p);
    return true;
}

TNextResult TRecordingReader::CheckHead(const uint8_t* head, int64_t available, bool complete, TVCRHeader& h,
                                        int64_t& end) const {
    const auto notThere = complete ? TNextResult::End : TNextResult::NotYet;
    TVCRHeader::Decode(std::span<const uint8_t>(head, TVCRHeader::kSize), h);
    if (h.kind == kNotYetKind) return notThere;
    if (h.bodyLength < 0 || h.bodyLength > kMaxRecordedBody) return TNextResult::End;
    end = pos_ + int64_t(TVCRHeader::kSize) + h.bodyLength;
    if (endBound_ > 0 && end > endBound_) return TNextResult::End;
    if (end > available) return notThere;
    return TNextResult::Message;
}

TNextResult TRecordingReader::ReadNextRecord(int64_t available, bool complete, TVCRHeader& header,
                                   std::vector<uint8_t>& message) {
    if (fd_ < 0) return TNextResult::End;
    const auto notThere = complete ? TNextResult::End : TNextResult::NotYet;
    if (endBound_ > 0 && pos_ >= endBound_) return TNextResult::End;
    if (available - pos_ < int64_t(TVCRHeader::kSize)) return notThere;
    uint8_t head[TVCRHeader::kSize];
    if (!ReadCached(pos_, head, sizeof head, available)) return notThere;
    TVCRHeader h;
    int64_t end = 0;
    const TNextResult r = CheckHead(head, available, complete, h, end);
    if (r != TNextResult::Message) {
        // Not written yet: what the window holds of it is read again next time.
        if (h.kind == kNotYetKind) DropCache();
        return r;
    }
    message.resize(TVCRHeader::kSize + size_t(h.bodyLength));
    std::copy(head, head + TVCRHeader::kSize, message.begin());
    if (h.bodyLength > 0 && !ReadCached(pos_ + int64_t(TVCRHeader::kSize), message.data() + TVCRHeader::kSize,
                                        size_t(h.bodyLength), available))
        return TNextResult::End;
    header = h;
    pos_ = end;
    return TNextResult::Message;
}

TNextResult TRecordingReader::ViewNextRecord(int64_t available, TVCRHeader& header,
                                             std::span<const uint8_t>& message) {
    const int64_t windowEnd = cacheStart_ + int64_t(cacheLength_);
    if (fd_ < 0 || pos_ < cacheStart_ || windowEnd - pos_ < int64_t(TVCRHeader::kSize) ||
        (endBound_ > 0 && pos_ >= endBound_))
        return TNextResult::NotYet;
    const uint8_t* head = cache_.data() + (pos_ - cacheStart_);
    TVCRHeader h;
    int64_t end = 0;
    // Whatever is not plainly there (a damaged or unwritten header included) is left to
    // ReadNextRecord, which decides it with the window read again.
    if (CheckHead(head, available, false, h, end) != TNextResult::Message || end > windowEnd)
        return TNextResult::NotYet;
    message = std::span<const uint8_t>(head, size_t(end - pos_));
    header = h;
    pos_ = end;
    return TNextResult::Message;
}

int32_t TRecordingReader::ReadCodecIndex(int64_t available) {
    if (fd_ < 0) return 0;
    const int64_t first = FirstOffset();
    uint8_t head[TVCRHeader::kSize];
    if (available - first < int64_t(TVCRHeader::kSize) || !ReadAt(first, head, sizeof head)) return 0;
    TVCRHeader h;
    TVCRHeader::Decode(head, h);
    if (h.kind != vkEnterRoom) return 0;
    const int64_t block = h.bodyLength == 1418 ? 0 : 54;
    const int64_t field = block + 1355;
    // The room settings are read only when the body is as long as the offsets need.
    if (h.bodyLength < field + 4) return 0;
    const int64_t at = first + int64_t(TVCRHeader::kSize) + field;
    if (at + 4 > available) return 0;
    uint8_t v[4];
    if (!ReadAt(at, v, 4)) return 0;
    const int32_t index = int32_t(LoadU32(v));
    return index >= 0 && index <= 7 ? index : 0;
}

int64_t ReplayEndBound(int32_t totalSize, bool hasHead, bool complete, int64_t fileSize) {
    int64_t bound = totalSize > 0 ? int64_t(totalSize) - (hasHead ? 0 : 740) : 0;
    if (bound <= 0) bound = 0;
    if (complete && fileSize >= 0) bound = bound > 0 ? std::min(bound, fileSize) : fileSize;
    return bound;
}

}  // namespace orb::playback
