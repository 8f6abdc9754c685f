#pragma once
// TSessionInfoRec: the 740-byte record in front of a recording file, and the answer of the room
// server to a request for a stored recording (kind 83). The client reads three fields of it.

#include <array>
#include <cstdint>
#include <span>

namespace orb::playback {

struct TSessionInfoRec {
    static constexpr size_t kSize = 740;
    static constexpr size_t kSessionIdOffset = 0;
    static constexpr size_t kTime1Offset = 205;
    static constexpr size_t kTime2Offset = 213;
    static constexpr size_t kTotalSizeOffset = 225;
    static constexpr size_t kMessageCountOffset = 480;

    std::array<uint8_t, kSize> raw{};

    int32_t SessionId() const;
    void SetSessionId(int32_t id);
    // Bytes of the whole recording, this record included.
    int32_t TotalSize() const;
    void SetTotalSize(int32_t size);
    // Recorded messages: the scale of the replay position.
    uint32_t MessageCount() const;
    void SetMessageCount(uint32_t count);

    // False (record unchanged) unless exactly kSize bytes are given.
    bool Decode(std::span<const uint8_t> bytes);

    // The request of kind 83: the play id, an empty name, both times = now, the rest zero.
    static TSessionInfoRec Request(int32_t sessionId, double now);
};

}  // namespace orb::playback
