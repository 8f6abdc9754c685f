// Feeds arbitrary bytes (1) as a room connection's stream through the framing and the data
// module's dispatcher, as the reader thread would, and (2) to every record decoder, checking that
// a decoded record encodes to its fixed size and encodes the same again after a round trip.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/framing.h"
#include "protocol/records.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

template <class T>
void RoundTrip(const uint8_t* data, size_t size) {
    orb::ByteReader r(data, size);
    T v;
    if (!T::Decode(r, v)) {
        Check(size < T::kSize);
        return;
    }
    Check(r.pos() == T::kSize);
    orb::ByteWriter w1;
    v.Encode(w1);
    Check(w1.size() == T::kSize);
    orb::ByteReader r2(w1.buffer().data(), w1.size());
    T v2;
    Check(T::Decode(r2, v2));
    orb::ByteWriter w2;
    v2.Encode(w2);
    Check(w1.buffer() == w2.buffer());
}

void Records(const uint8_t* data, size_t size) {
    RoundTrip<TResourceInfo>(data, size);
    RoundTrip<TRequestInfo>(data, size);
    RoundTrip<TPollInfo>(data, size);
    RoundTrip<TTextMessageInfo>(data, size);
    RoundTrip<TBoardTextInfo>(data, size);
    RoundTrip<TUserRights>(data, size);
    RoundTrip<TRemoteInputEvent>(data, size);
    RoundTrip<TRoomProfile>(data, size);

    for (bool wide : {true, false}) {
        orb::ByteReader r(data, size);
        TTextMessage m;
        if (DecodeTextMessage(r, wide, m)) {
            Check(m.text.size() <= m.info.textByteCount);
            if (wide) {
                TWideTextRecord rec{m.info, m.text};
                auto body = EncodeWideTextMessage(rec);
                Check(body.size() == (rec.info.textByteCount ? 18u + size_t(CutUtf16(m.text).size() + 1) * 2 + 1 : 18u));
            }
        }
    }
    {
        orb::ByteReader r(data, size);
        TBoardText t;
        if (DecodeBoardTextBody(r, t)) {
            Check(t.info.textByteCount >= 0 && size_t(t.info.textByteCount) <= size);
            auto body = EncodeBoardTextBody(t);
            Check(body.size() == 4 + TBoardTextInfo::kSize + 2 * CutUtf16(t.text).size() + 3);
        }
    }
    {
        // Rights lists: records until the body ends.
        orb::ByteReader r(data, size);
        TUserRights u;
        size_t n = 0;
        while (TUserRights::Decode(r, u)) ++n;
        Check(n == size / TUserRights::kSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Records(data, size);

    static orb::PlainEventLoop loop;
    static TDM dm(loop, 1);
    size_t pos = 0;
    auto source = [&](void* out, size_t n) {
        if (n > size - pos) return false;
        std::memcpy(out, data + pos, n);
        pos += n;
        return true;
    };
    TVCRHeader header;
    std::vector<uint8_t> stream;
    while (ReadVCRMessage(source, header, stream) == TReadResult::Message) {
        // A length of 0 or less carries no body: the handler gets the header alone.
        Check(stream.size() == TVCRHeader::kSize + size_t(std::max<int32_t>(header.bodyLength, 0)));
        dm.DispatchCommand(header, stream);
        Records(stream.data() + TVCRHeader::kSize, stream.size() - TVCRHeader::kSize);
    }
    loop.ProcessPending();
    loop.TakeLog();
    return 0;
}
