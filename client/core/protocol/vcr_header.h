#pragma once
// The 22-byte header in front of every message on the room, voice, video and file-transfer
// connections and in recorded sessions.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/message_kinds.h"

struct TVCRHeader {
    static constexpr size_t kSize = 22;

    uint16_t kind = 0;       // 0
    int32_t sender = 0;      // 2: sender's user id
    int16_t room = 0;        // 6: room number
    double time = 0;         // 8: time of sending (days since 30 December 1899, local)
    int32_t bodyLength = 0;  // 16: bytes that follow the header
    uint16_t result = 0;     // 20: 0 success, otherwise a server result code

    void Encode(uint8_t out[kSize]) const;
    // Appends the 22 bytes.
    void AppendTo(std::vector<uint8_t>& out) const;
    // Reads 22 bytes; false when fewer are given.
    static bool Decode(std::span<const uint8_t> in, TVCRHeader& out);
};

// Fills all six fields: kind, sender, room, time = local now, body length 0, result 0.
void InitVCRHeader(uint16_t kind, int32_t sender, int16_t room, TVCRHeader& header);

// The header bytes followed by the payload bytes, as one buffer owned by the caller.
std::vector<uint8_t> BuildPacketStream(const TVCRHeader& header, const void* payload, size_t payloadLength);
