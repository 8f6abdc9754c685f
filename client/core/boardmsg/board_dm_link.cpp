#include "boardmsg/board_dm_link.h"

#include "dm/dm.h"
#include "protocol/wm_app.h"

namespace orb::board {

bool TDMBoardLink::Connected() const { return dm_.vcrClient.Connected(); }

bool TDMBoardLink::HasBoardRight() const { return dm_.BoardRight; }

bool TDMBoardLink::PlaybackMode() const { return dm_.PlaybackMode; }

int32_t TDMBoardLink::OwnLevel1() const { return dm_.OwnLoginInfo.Level(); }

// TDM.CurrentBoard changes only through the engine's SelectBoard.
void TDMBoardLink::SetCurrentBoard(int32_t board) { dm_.CurrentBoard = board; }

void TDMBoardLink::SendMessage(uint16_t kind, std::vector<uint8_t> body) { dm_.SendCommand(kind, body); }

void TDMBoardLink::SendViewMode(int32_t view) { dm_.SendViewMode(view); }

void TDMBoardLink::ClearStatusIcons() { dm_.ClearStatusIcons(); }

void TDMBoardLink::PostBoardUpdated(int32_t sender) {
    dm_.Loop().Post(dm_.MainWindow(), WM_APP_BOARDUPDATED, sender, 0);
}

void TDMBoardLink::SendBoardLoadProgress(int32_t board, int32_t counter) {
    dm_.Loop().Post(dm_.MainWindow(), WM_APP_BOARDLOADPROGRESS, board, counter);
}

void TDMBoardLink::PostBoardLoadProgress(int32_t board, int32_t counter) {
    dm_.Loop().Post(dm_.MainWindow(), WM_APP_BOARDLOADPROGRESS, board, counter);
}

void TDMBoardLink::HideProgress() {
    if (OnHideProgress) OnHideProgress();
}

void TDMBoardLink::AddServerNotice(const std::string& textUtf8) {
    if (OnServerNotice) OnServerNotice(textUtf8);
}

void TDMBoardLink::StartBoardDownload(int type, int32_t board, const TResourceInfo& resource, int32_t requester) {
    if (OnStartDownload) OnStartDownload(type, board, resource, requester);
}

}  // namespace orb::board
