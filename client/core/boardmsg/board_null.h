#pragma once
// Board session and room that do nothing: for driving the engine and the handlers alone (fuzzing,
// benchmarks), with the connection, the right and the level chosen at construction.

#include "boardmsg/board_messages.h"

namespace orb::board {

class TNullBoardSession : public IBoardSession {
public:
    TNullBoardSession(bool connected, bool boardRight, int32_t level1)
        : connected_(connected), right_(boardRight), level1_(level1) {}
    bool Connected() const override { return connected_; }
    bool HasBoardRight() const override { return right_; }
    bool PlaybackMode() const override { return false; }
    int32_t OwnLevel1() const override { return level1_; }
    void SetCurrentBoard(int32_t) override {}
    void SendMessage(uint16_t, std::vector<uint8_t>) override {}
    void SendViewMode(int32_t) override {}
    void ClearStatusIcons() override {}
    void PostBoardUpdated(int32_t) override {}
    std::string TempFolder() const override { return {}; }

private:
    bool connected_;
    bool right_;
    int32_t level1_;
};

class TNullBoardRoom : public IBoardRoom {
public:
    void PostBoardUpdated(int32_t) override {}
    void SendBoardLoadProgress(int32_t, int32_t) override {}
    void PostBoardLoadProgress(int32_t, int32_t) override {}
    void HideProgress() override {}
    void AddServerNotice(const std::string&) override {}
    void StartBoardDownload(int, int32_t, const TResourceInfo&, int32_t) override {}
    bool PlaybackMode() const override { return false; }
};

}  // namespace orb::board
