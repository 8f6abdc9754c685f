#include "protocol/framing.h"

#include <algorithm>

TReadResult ReadVCRMessage(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                           std::vector<uint8_t>& stream) {
    stream.clear();
    stream.resize(TVCRHeader::kSize);
    if (!readExact(stream.data(), TVCRHeader::kSize)) return TReadResult::Closed;
    TVCRHeader::Decode(stream, header);
    if (header.bodyLength > kMaxVCRBodyLength) return TReadResult::BadLength;
    constexpr size_t kSlice = 1 << 20;
    // The header is kept as it came; a negative length simply means no body.
    size_t left = header.bodyLength > 0 ? size_t(header.bodyLength) : 0;
    while (left > 0) {
        size_t n = std::min(left, kSlice);
        size_t at = stream.size();
        stream.resize(at + n);
        if (!readExact(stream.data() + at, n)) return TReadResult::Closed;
        left -= n;
    }
    return TReadResult::Message;
}
