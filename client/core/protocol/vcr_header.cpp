#include "protocol/vcr_header.h"

#include <bit>

#include "protocol/date_time.h"
#include "wire/bytes.h"

void TVCRHeader::Encode(uint8_t out[kSize]) const {
    // Field by field, as AppendTo writes them, without a buffer of its own: senders encode a
    // header per message.
    orb::StoreU16(out, kind);
    orb::StoreU32(out + 2, uint32_t(sender));
    orb::StoreU16(out + 6, uint16_t(room));
    const uint64_t t = std::bit_cast<uint64_t>(time);
    orb::StoreU32(out + 8, uint32_t(t));
    orb::StoreU32(out + 12, uint32_t(t >> 32));
    orb::StoreU32(out + 16, uint32_t(bodyLength));
    orb::StoreU16(out + 20, result);
}

void TVCRHeader::AppendTo(std::vector<uint8_t>& out) const {
    orb::ByteWriter w(out);
    w.u16(kind);
    w.i32(sender);
    w.i16(room);
    w.f64(time);
    w.i32(bodyLength);
    w.u16(result);
}

bool TVCRHeader::Decode(std::span<const uint8_t> in, TVCRHeader& out) {
    orb::ByteReader r(in);
    TVCRHeader h;
    if (!(r.u16(h.kind) && r.i32(h.sender) && r.i16(h.room) && r.f64(h.time) && r.i32(h.bodyLength) && r.u16(h.result)))
        return false;
    out = h;
    return true;
}

void InitVCRHeader(uint16_t kind, int32_t sender, int16_t room, TVCRHeader& header) {
    header.kind = kind;
    header.sender = sender;
    header.room = room;
    header.time = orb::NowDateTime();
    header.bodyLength = 0;
    header.result = 0;
}

std::vector<uint8_t> BuildPacketStream(const TVCRHeader& header, const void* payload, size_t payloadLength) {
    std::vector<uint8_t> out;
    out.reserve(TVCRHeader::kSize + payloadLength);
    header.AppendTo(out);
    if (payloadLength) {
        const auto* p = static_cast<const uint8_t*>(payload);
        out.insert(out.end(), p, p + payloadLength);
    }
    return out;
}
