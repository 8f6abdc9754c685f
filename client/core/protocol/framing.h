#pragma once
// Header-and-body framing of the room, voice, video and file-transfer connections.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/vcr_header.h"

// Largest body accepted from the network; a larger length ends the connection. A length of 0 or
// less reads no body: the message is its 22-byte header alone.
constexpr int32_t kMaxVCRBodyLength = 64 * 1024 * 1024;

enum class TReadResult {
    Message,     // header and body read
    Closed,      // a read failed or came up short
    BadLength,   // the header's body length is above the cap
};

// Reads one whole message through readExact into stream (header at 0, body from 22). The body is
// read in slices, so a length that lies costs no more memory than the bytes that really arrive.
TReadResult ReadVCRMessage(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                           std::vector<uint8_t>& stream);
// The same into a buffer kept from message to message: the message is its first `length` bytes
// (0 unless Message), and the buffer only ever grows, so a reused one is not cleared again for
// every message.
TReadResult ReadVCRMessageInto(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                               std::vector<uint8_t>& buffer, size_t& length);
