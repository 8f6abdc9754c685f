// Recorded sessions: the data module's side of the replay.
#include "dm/dm.h"

#include "wire/bytes.h"

class TDM::TReplayTarget final : public orb::playback::IReplayTarget {
public:
    explicit TReplayTarget(TDM& dm) : dm_(dm) {}
    void ReplayRecord(const TVCRHeader& header, std::span<const uint8_t> message) override {
        dm_.ReplayRecord(header, message);
    }
    void ClearRoomViews() override {
        if (dm_.PlaybackRoomHooks.ClearRoomViews) dm_.PlaybackRoomHooks.ClearRoomViews();
    }

private:
    TDM& dm_;
};

orb::playback::TPlayback& TDM::Playback() {
    if (!playback_) {
        replayTarget_ = std::make_shared<TReplayTarget>(*this);
        playback_ = std::make_unique<orb::playback::TPlayback>(loop_, vcrClient, *replayTarget_);
        playback_->MainWindow = mainWindow_;
    }
    return *playback_;
}

void TDM::ReplayRecord(const TVCRHeader& header, std::span<const uint8_t> message) {
    if (message.size() < TVCRHeader::kSize) return;
    const std::span<const uint8_t> body = message.subspan(TVCRHeader::kSize);
    switch (header.kind) {
    case vkDownloadDocument:
    case vkDownloadBoardImage:
    case vkDownloadUserImage:
    case vkDownloadSlide:
        if (PlaybackRoomHooks.ReplayBoardFile) PlaybackRoomHooks.ReplayBoardFile(header, body);
        return;
    case vkVoiceIn: return;  // played by the replay thread
    case vkOpenDocument: return;
    case vkOpenBoardImage:
    case vkOpenSlide: {
        // int32 board and a resource record: the board whose picture follows becomes current.
        orb::ByteReader in(body);
        int32_t board = 0;
        if (body.size() < 4 + TResourceInfo::kSize || !in.i32(board) || board < 1 || board > 5) return;
        SelectBoard(board, false);
        return;
    }
    case vkBoardContents:
        if (PlaybackRoomHooks.ReplayBoardContents) PlaybackRoomHooks.ReplayBoardContents(header, body);
        return;
    default: DispatchCommand(header, message); return;
    }
}

bool TDM::StartPlayer(const std::string& fileName, bool noTiming, bool hasHead) {
    return Playback().StartPlayer(fileName, noTiming, hasHead);
}

void TDM::StopPlayback() {
    if (playback_) playback_->StopPlayback();
}
