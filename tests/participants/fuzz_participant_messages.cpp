// Arbitrary participant messages (user lists, joins, rights, motions, removal, levels, floor) into
// a data module, in any order; after each the list must hold: one row per id, counters that match
// the rows' motion bits, and hand numbers 1..n without gaps or repeats.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

constexpr uint16_t kKinds[] = {vkUserList, vkUserJoined, vkUserLeft, vkUserJoinedEx, vkUserRights, vkUserFeedback,
                               vkClearMotions, vkKickUser, vkUserLevel, vkTakeMicrophone, vkReleaseMicrophone,
                               vkGiveMicrophone, vkRevokeBoard, vkPresence, vkTypingState, vkRoomProfile,
                               vkAcknowledge};

void CheckList(const orb::TParticipantList& l) {
    std::set<int32_t> ids, hands;
    int h = 0, y = 0, n = 0;
    for (size_t i = 0; i < l.Count(); ++i) {
        const auto& r = l.Row(i);
        Check(ids.insert(r.userId).second);
        h += r.HandRaised();
        y += r.SaysYes();
        n += r.SaysNo();
        if (r.handOrder > 0) Check(hands.insert(r.handOrder).second);
        Check(r.HandRaised() == (r.handOrder > 0));
    }
    Check(l.HandsCount() == h && l.PositiveCount() == y && l.NegativeCount() == n);
    int expect = 1;
    for (int32_t order : hands) Check(order == expect++);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orb::PlainEventLoop loop;
    TDM dm(loop, 1);
    dm.OwnUserId = 3;
    size_t at = 0;
    // Messages: kind selector, sender (0..7), body length (0..255 * 8), body.
    while (at + 3 <= size) {
        const uint16_t kind = kKinds[data[at] % std::size(kKinds)];
        const int32_t sender = data[at + 1] % 8;
        const size_t length = std::min<size_t>(size_t(data[at + 2]) * 8, size - at - 3);
        at += 3;
        TVCRHeader h;
        InitVCRHeader(kind, sender, 1002, h);
        h.bodyLength = int32_t(length);
        std::vector<uint8_t> stream = BuildPacketStream(h, data + at, length);
        dm.DispatchCommand(h, stream);
        at += length;
        CheckList(dm.Participants);
    }
    loop.TakeLog();
    return 0;
}
