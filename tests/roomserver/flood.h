#pragma once
// A flood of room messages for load tests and benchmarks: chat lines, board strokes, joins and
// leaves from a set of users in turn, with the server's keep-alive among them at fixed positions.
// Every user who joins leaves again within the same cycle, so a flood leaves the room as it was.
// Each header's time field carries the message's position in the flood, so a receiver can tell
// which message it is handling.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orb::test {

class TRoomServer;

struct TFlood {
    std::vector<uint8_t> bytes;      // whole messages back to back
    std::vector<size_t> offsets;     // where each message starts; one more entry: the end
    std::vector<uint16_t> kinds;     // each message's kind
    std::vector<size_t> keepAlives;  // positions of the keep-alives
};

// count messages; a keep-alive at every keepAliveEvery-th position (0: none).
TFlood MakeFlood(size_t count, size_t keepAliveEvery, int16_t room, int32_t firstUser = 5000, int users = 16);

// Writes the flood to a room connection, perSecond messages a second in slices of 10 ms (0: as fast
// as the socket takes them). Stops early when *stop becomes true; false when a write failed.
// onWritten(from, to) runs after messages [from, to) have been written.
bool SendFlood(TRoomServer& server, int connection, const TFlood& flood, double perSecond,
               const std::atomic<bool>* stop = nullptr,
               const std::function<void(size_t from, size_t to)>& onWritten = {});

}  // namespace orb::test
