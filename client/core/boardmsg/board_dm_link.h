#pragma once
// The data module as the board engine and the board message handlers see it: TDM.CurrentBoard,
// TDM.BoardRight, TDM.PlaybackMode and the own level (all held by TDM), the senders' route onto the
// room connection, and the window notices of the handlers. The program sets the hooks for what
// lives in the windows (progress, chat, participant list, downloads).

#include <functional>
#include <string>

#include "boardmsg/board_messages.h"

class TDM;

namespace orb::board {

class TDMBoardLink : public IBoardSession, public IBoardRoom {
public:
    explicit TDMBoardLink(TDM& dm) : dm_(dm) {}

    std::string TempFolderPath;

    std::function<void()> OnHideProgress;
    std::function<void(const std::string&)> OnServerNotice;
    std::function<void(int type, int32_t board, const TResourceInfo&, int32_t requester)> OnStartDownload;

    // IBoardSession
    bool Connected() const override;
    bool HasBoardRight() const override;
    bool PlaybackMode() const override;
    int32_t OwnLevel1() const override;
    void SetCurrentBoard(int32_t board) override;
    void SendMessage(uint16_t kind, std::vector<uint8_t> body) override;
    void SendViewMode(int32_t view) override;
    void ClearStatusIcons() override;
    std::string TempFolder() const override { return TempFolderPath; }

    // IBoardSession and IBoardRoom
    void PostBoardUpdated(int32_t sender) override;

    // IBoardRoom
    void SendBoardLoadProgress(int32_t board, int32_t counter) override;
    void PostBoardLoadProgress(int32_t board, int32_t counter) override;
    void HideProgress() override;
    void AddServerNotice(const std::string& textUtf8) override;
    void StartBoardDownload(int type, int32_t board, const TResourceInfo& resource, int32_t requester) override;

private:
    TDM& dm_;
};

}  // namespace orb::board
