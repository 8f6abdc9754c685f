#include "roomserver/entry_drop.h"

#include <atomic>
#include <memory>

#include "protocol/message_kinds.h"
#include "roomserver/room_server.h"

namespace orb::test {

const char* EntryStepName(TEntryStep step) {
    switch (step) {
    case TEntryStep::AfterLogin: return "AfterLogin";
    case TEntryStep::AfterEntryRequest: return "AfterEntryRequest";
    case TEntryStep::BeforeRights: return "BeforeRights";
    }
    return "?";
}

void DropOnceAt(TRoomServer& server, TEntryStep step) {
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    server.SetGate([step, dropped](TRoomServer&, TRoomConnection&, const TVCRHeader& h) {
        bool reached = false;
        switch (step) {
        case TEntryStep::AfterLogin: reached = true; break;
        case TEntryStep::AfterEntryRequest: reached = h.kind == vkEnterRoom; break;
        case TEntryStep::BeforeRights: reached = h.kind == vkUserRights; break;
        }
        return !(reached && !dropped->exchange(true));
    });
}

}  // namespace orb::test
