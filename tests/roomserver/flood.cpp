#include "roomserver/flood.h"

#include <chrono>
#include <string>
#include <thread>

#include "protocol/message_kinds.h"
#include "protocol/records.h"
#include "protocol/vcr_header.h"
#include "roomserver/record_bytes.h"
#include "roomserver/room_server.h"

namespace orb::test {

namespace {

// A user record as the room sends it with a join: id, names, level 1, online.
std::vector<uint8_t> UserRecord(int32_t user) {
    std::string r(761, '\0');
    PutI32(r, 0, user);
    const std::string name = "Flood " + std::to_string(user);
    PutShort(r, 4, 20, "Flood");
    PutShort(r, 25, 128, name);
    PutI32(r, 338, 1);
    return {r.begin(), r.end()};
}

// Ten short line strokes on board 1.
std::vector<uint8_t> Strokes(size_t position) {
    std::vector<uint8_t> body(4 + 10 * 20, 0);
    StoreU32(body.data(), 1);
    for (size_t i = 0; i < 10; ++i) {
        uint8_t* s = body.data() + 4 + i * 20;
        const uint16_t x = uint16_t(20 + (position * 7 + i * 13) % 900);
        const uint16_t y = uint16_t(20 + (position * 11 + i * 17) % 600);
        s[0] = 1;  // board
        s[1] = 0;  // line
        StoreU16(s + 2, x);
        StoreU16(s + 4, y);
        StoreU16(s + 6, uint16_t(x + 30));
        StoreU16(s + 8, uint16_t(y + 5));
        s[10] = 2;  // pen width; colours black, brush style 0
    }
    return body;
}

}  // namespace

TFlood MakeFlood(size_t count, size_t keepAliveEvery, int16_t room, int32_t firstUser, int users) {
    TFlood f;
    f.bytes.reserve(count * 200);
    // One user's turn: joins, talks, draws, talks, draws, leaves.
    static constexpr uint16_t kCycle[] = {vkUserJoined, vkTextMessage, vkBoardStrokes,
                                          vkTextMessage, vkBoardStrokes, vkUserLeft};
    size_t step = 0;
    for (size_t pos = 0; pos < count; ++pos) {
        uint16_t kind;
        int32_t sender = 0;
        std::vector<uint8_t> body;
        if (keepAliveEvery && pos % keepAliveEvery == keepAliveEvery - 1) {
            kind = vkKeepAlive;
            f.keepAlives.push_back(pos);
        } else {
            kind = kCycle[step % std::size(kCycle)];
            sender = firstUser + int32_t((step / std::size(kCycle)) % size_t(users));
            ++step;
            if (kind == vkUserJoined) body = UserRecord(sender);
            else if (kind == vkBoardStrokes) body = Strokes(pos);
            else if (kind == vkTextMessage)
                body = EncodeWideTextMessage(*NewWideTextRecord(
                    sender, 0, room, u"Flood line " + std::u16string(pos % 40, u'x'), TTextMessageInfo::mtPublic));
        }
        TVCRHeader h;
        InitVCRHeader(kind, sender, room, h);
        h.time = double(pos);
        h.bodyLength = int32_t(body.size());
        f.offsets.push_back(f.bytes.size());
        f.kinds.push_back(kind);
        auto one = BuildPacketStream(h, body.data(), body.size());
        f.bytes.insert(f.bytes.end(), one.begin(), one.end());
    }
    f.offsets.push_back(f.bytes.size());
    return f;
}

bool SendFlood(TRoomServer& server, int connection, const TFlood& flood, double perSecond,
               const std::atomic<bool>* stop, const std::function<void(size_t, size_t)>& onWritten) {
    const size_t count = flood.kinds.size();
    if (perSecond <= 0) {
        if (!server.SendRaw(connection, flood.bytes)) return false;
        if (onWritten) onWritten(0, count);
        return true;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < count) {
        if (stop && stop->load()) return true;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        size_t due = std::min(count, size_t(elapsed * perSecond) + 1);
        if (due > sent) {
            const size_t from = flood.offsets[sent], to = flood.offsets[due];
            if (!server.SendRaw(connection, std::span<const uint8_t>(flood.bytes.data() + from, to - from))) return false;
            if (onWritten) onWritten(sent, due);
            sent = due;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace orb::test
