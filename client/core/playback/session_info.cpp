#include "playback/session_info.h"

#include <bit>
#include <cstring>

#include "wire/bytes.h"

namespace orb::playback {

namespace {
uint32_t Load32(const uint8_t* p) { return LoadU32(p); }
void StoreF64(uint8_t* p, double v) {
    const uint64_t u = std::bit_cast<uint64_t>(v);
    StoreU32(p, uint32_t(u));
    StoreU32(p + 4, uint32_t(u >> 32));
}
}  // namespace

int32_t TSessionInfoRec::SessionId() const { return int32_t(Load32(&raw[kSessionIdOffset])); }
void TSessionInfoRec::SetSessionId(int32_t id) { StoreU32(&raw[kSessionIdOffset], uint32_t(id)); }
int32_t TSessionInfoRec::TotalSize() const { return int32_t(Load32(&raw[kTotalSizeOffset])); }
void TSessionInfoRec::SetTotalSize(int32_t size) { StoreU32(&raw[kTotalSizeOffset], uint32_t(size)); }
uint32_t TSessionInfoRec::MessageCount() const { return Load32(&raw[kMessageCountOffset]); }
void TSessionInfoRec::SetMessageCount(uint32_t count) { StoreU32(&raw[kMessageCountOffset], count); }

bool TSessionInfoRec::Decode(std::span<const uint8_t> bytes) {
    if (bytes.size() != kSize) return false;
    std::memcpy(raw.data(), bytes.data(), kSize);
    return true;
}

TSessionInfoRec TSessionInfoRec::Request(int32_t sessionId, double now) {
    TSessionInfoRec r;
    r.SetSessionId(sessionId);
    StoreF64(&r.raw[kTime1Offset], now);
    StoreF64(&r.raw[kTime2Offset], now);
    return r;
}

}  // namespace orb::playback
