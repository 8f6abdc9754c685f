// Hostile sharing messages against the viewer's session: starts, frames, states, grants, input,
// tile grids, tiles and cursors, in any order.
#include <cstddef>
#include <cstdint>
#include <span>

#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "sharing/share_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orb::FakeClock clock;
    static orb::PlainEventLoop loop(clock);
    orb::sharing::TShareTransport t;
    t.Send = [](uint16_t, std::span<const uint8_t>) { return true; };
    t.Connected = [] { return true; };
    t.OwnUserId = [] { return 9; };
    orb::sharing::TShareSession s(loop, t);
    std::span<const uint8_t> in(data, size);
    // Records: kind selector, sender byte, 2-byte length, body.
    while (in.size() >= 4) {
        const uint8_t selector = in[0];
        TVCRHeader h;
        h.sender = in[1] % 4 == 0 ? 0 : 7;
        const size_t n = std::min<size_t>(in.size() - 4, size_t(in[2]) | size_t(in[3]) << 8);
        auto body = in.subspan(4, n);
        in = in.subspan(4 + n);
        switch (selector % 10) {
            case 0: s.OnStart(h, body); break;
            case 1: s.OnFrame(h, body); break;
            case 2: s.OnState(h, body); break;
            case 3: s.OnRemoteControl(h, body); break;
            case 4: s.OnRemoteInput(h, body); break;
            case 5: s.OnTileStarted(h, body); break;
            case 6: s.OnTileDescriptor(h, body); break;
            case 7: s.OnTilePanes(h, body); break;
            case 8: s.OnTileCursor(h, body); break;
            default: s.OnStop(h); break;
        }
    }
    return 0;
}
