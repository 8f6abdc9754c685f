// Whiteboard handlers. The bodies are checked and drawn by the board message handler the program
// sets in TDM::BoardMessages (boardmsg/board_messages.h); the data module only hands each message over.

#include "boardmsg/board_messages.h"
#include "dm/dm.h"

namespace {

void RouteToBoard(TDM& dm) {
    const std::span<const uint8_t> stream = dm.CurrentMessage();
    if (!dm.BoardMessages || stream.size() < TVCRHeader::kSize) return;
    dm.BoardMessages->Handle(dm.CurrentHeader(), stream.subspan(TVCRHeader::kSize));
}

}  // namespace

void TDM::HandleBoardStrokes() { RouteToBoard(*this); }

void TDM::HandleBoardPointer() { RouteToBoard(*this); }

void TDM::HandleAnsiBoardText() { RouteToBoard(*this); }

void TDM::HandleBoardImage() { RouteToBoard(*this); }

void TDM::HandleBoardContents() { RouteToBoard(*this); }

void TDM::HandleClearBoard() { RouteToBoard(*this); }

void TDM::HandleSelectBoard() { RouteToBoard(*this); }

void TDM::HandleImageToBoard() { RouteToBoard(*this); }

void TDM::HandleBoardText() { RouteToBoard(*this); }
