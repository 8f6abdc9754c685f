#include "protocol/framing.h"

#include <algorithm>

TReadResult ReadVCRMessageInto(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                               std::vector<uint8_t>& buffer, size_t& length) {
    length = 0;
    // Only growth is cleared: bytes the buffer holds already are simply overwritten.
    auto room = [&](size_t n) {
        if (buffer.size() < n) buffer.resize(n);
    };
    room(TVCRHeader::kSize);
    if (!readExact(buffer.data(), TVCRHeader::kSize)) return TReadResult::Closed;
    TVCRHeader::Decode(std::span<const uint8_t>(buffer.data(), TVCRHeader::kSize), header);
    if (header.bodyLength > kMaxVCRBodyLength) return TReadResult::BadLength;
    constexpr size_t kSlice = 1 << 20;
    // The header is kept as it came; a negative length simply means no body.
    size_t at = TVCRHeader::kSize;
    size_t left = header.bodyLength > 0 ? size_t(header.bodyLength) : 0;
    while (left > 0) {
        size_t n = std::min(left, kSlice);
        room(at + n);
        if (!readExact(buffer.data() + at, n)) return TReadResult::Closed;
        at += n;
        left -= n;
    }
    length = at;
    return TReadResult::Message;
}

TReadResult ReadVCRMessage(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                           std::vector<uint8_t>& stream) {
    size_t length = 0;
    const TReadResult r = ReadVCRMessageInto(readExact, header, stream, length);
    stream.resize(length);
    return r;
}
