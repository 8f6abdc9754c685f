// Whiteboard handlers. The bodies are checked and drawn by the bound board message handler
// (boardmsg/board_messages.h); the data module only hands each message over.

#include <mutex>
#include <unordered_map>

#include "boardmsg/board_dm.h"
#include "boardmsg/board_messages.h"
#include "dm/dm.h"

namespace {

std::mutex& BindingLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<const TDM*, orb::board::IBoardMessageHandler*>& Bindings() {
    static std::unordered_map<const TDM*, orb::board::IBoardMessageHandler*> map;
    return map;
}

void RouteToBoard(TDM& dm) {
    orb::board::IBoardMessageHandler* handler = BoundBoardMessages(dm);
    const std::span<const uint8_t> stream = dm.CurrentMessage();
    if (!handler || stream.size() < TVCRHeader::kSize) return;
    handler->Handle(dm.CurrentHeader(), stream.subspan(TVCRHeader::kSize));
}

}  // namespace

void BindBoardMessages(TDM& dm, orb::board::IBoardMessageHandler* handler) {
    std::lock_guard<std::mutex> guard(BindingLock());
    if (handler)
        Bindings()[&dm] = handler;
    else
        Bindings().erase(&dm);
}

orb::board::IBoardMessageHandler* BoundBoardMessages(const TDM& dm) {
    std::lock_guard<std::mutex> guard(BindingLock());
    auto it = Bindings().find(&dm);
    return it == Bindings().end() ? nullptr : it->second;
}

void TDM::HandleBoardStrokes() { RouteToBoard(*this); }

void TDM::HandleBoardPointer() { RouteToBoard(*this); }

void TDM::HandleAnsiBoardText() { RouteToBoard(*this); }

void TDM::HandleBoardImage() { RouteToBoard(*this); }

void TDM::HandleBoardContents() { RouteToBoard(*this); }

void TDM::HandleClearBoard() { RouteToBoard(*this); }

void TDM::HandleSelectBoard() { RouteToBoard(*this); }

void TDM::HandleImageToBoard() { RouteToBoard(*this); }

void TDM::HandleBoardText() { RouteToBoard(*this); }
