#include "dm/dm.h"

#include <limits>

TDM::TDM(orb::IEventLoop& loop, orb::WindowHandle mainWindow)
    : loop_(loop), mainWindow_(mainWindow), liveGeneration_(std::make_shared<std::atomic<uint64_t>>(0)) {}

TDM::~TDM() {
    // Each step on its own, so one failure does not keep the rest from running.
    try {
        StopReaderThread();
    } catch (...) {
    }
    try {
        StopWriterThread();
    } catch (...) {
    }
    try {
        CollectRetiredReaders();
    } catch (...) {
    }
    vcrClient.Disconnect();
    if (relay_) loop_.UnregisterWindow(relay_);
}

// ---- Session threads

void TDM::OpenSessionRelay() {
    if (relay_) return;
    uint64_t gen = ++generation_;
    liveGeneration_->store(gen);
    auto live = liveGeneration_;
    relay_ = loop_.RegisterWindow([this, live, gen](uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
        if (live->load() == gen) loop_.Post(mainWindow_, msg, wParam, lParam);
    });
}

void TDM::CloseSessionRelayWhenIdle() {
    if (reader_ || writer_ || !relay_) return;
    liveGeneration_->store(0);
    loop_.UnregisterWindow(relay_);
    relay_ = 0;
}

void TDM::CollectRetiredReaders() {
    if (dispatchDepth_ > 0) return;
    for (auto& r : retiredReaders_) r->WaitFor();
    retiredReaders_.clear();
}

void TDM::StartReaderThread() {
    StopReaderThread();
    CollectRetiredReaders();
    OpenSessionRelay();
    userListSlices_ = {};
    reader_ = std::make_unique<TReaderThread>(
        &vcrClient, loop_, relay_,
        [this](const TVCRHeader& header, std::span<const uint8_t> stream) { DispatchInSlices(header, stream); });
    reader_->SetSlices([this] { return SlicesLeft(); }, [this] { RunSlice(); });
    reader_->Resume();
}

void TDM::StartWriterThread(int sendRate) {
    StopWriterThread();
    OpenSessionRelay();
    writer_ = std::make_unique<TVCRWriterThread>(&vcrClient, loop_, relay_);
    writer_->SetSendRate(sendRate);
    writer_->Resume();
}

void TDM::StopReaderThread() {
    // A list still being rendered in slices ends with its session.
    userListSlices_ = {};
    if (reader_) {
        // Order matters: flag first, then wake the blocked read (or the wait for room in the
        // queue), then wait. The flag also stops a drain of the queue that this call interrupts.
        reader_->Terminate();
        vcrClient.Shutdown();
        if (dispatchDepth_ > 0) {
            // Called from a handler that this reader's dispatch is running: it ends once we return.
            retiredReaders_.push_back(std::move(reader_));
        } else {
            reader_->WaitFor();
            reader_.reset();
        }
    }
    CollectRetiredReaders();
    CloseSessionRelayWhenIdle();
}

void TDM::StopWriterThread() {
    if (writer_) {
        writer_->Terminate();
        writer_->WaitFor();
        writer_.reset();
    }
    CloseSessionRelayWhenIdle();
}

// ---- Sending

bool TDM::QueueMessage(TVCRHeader header, std::span<const uint8_t> body) {
    if (!writer_ || !vcrClient.Connected()) return false;
    if (body.size() > size_t(std::numeric_limits<int32_t>::max()) - TVCRHeader::kSize) return false;
    header.bodyLength = int32_t(body.size());
    uint8_t head[TVCRHeader::kSize];
    header.Encode(head);
    // Appended as one piece: a failure can never leave a header in the queue without its body,
    // and senders hold the lock only for the copy.
    try {
        writer_->AppendMessage(head, body);
    } catch (...) {
        return false;
    }
    return true;
}

bool TDM::SendCommandToRoom(uint16_t kind, int16_t room, std::span<const uint8_t> body) {
    TVCRHeader header;
    InitVCRHeader(kind, OwnUserId, room, header);
    return QueueMessage(header, body);
}

bool TDM::SendCommand(uint16_t kind, std::span<const uint8_t> body) { return SendCommandToRoom(kind, OwnRoom, body); }

bool TDM::SendCommand(uint16_t kind, const void* body, size_t length) {
    return SendCommand(kind, std::span<const uint8_t>(static_cast<const uint8_t*>(body), length));
}

// ---- Dispatch

orb::ByteReader TDM::BodyReader() const {
    if (currentStream_.size() < TVCRHeader::kSize) return orb::ByteReader();
    return orb::ByteReader(currentStream_.subspan(TVCRHeader::kSize));
}

void TDM::DispatchCommand(const TVCRHeader& header, std::span<const uint8_t> stream) {
    // Saved and restored, so a handler may dispatch messages embedded in its own body.
    const TVCRHeader savedHeader = currentHeader_;
    const std::span<const uint8_t> savedStream = currentStream_;
    currentHeader_ = header;
    currentStream_ = stream;
    ++dispatchDepth_;
    try {
        if (DispatchObserver) DispatchObserver(header, stream);
        const auto& table = DispatchTable();
        if (header.kind < table.size() && table[header.kind].handler) (this->*table[header.kind].handler)();
    } catch (...) {
        // A failing handler loses its message only; the next one is read.
    }
    --dispatchDepth_;
    currentHeader_ = savedHeader;
    currentStream_ = savedStream;
}

void TDM::DispatchInSlices(const TVCRHeader& header, std::span<const uint8_t> stream) {
    const bool saved = sliced_;
    sliced_ = true;
    DispatchCommand(header, stream);
    sliced_ = saved;
}

void TDM::RunSlice() {
    if (!SlicesLeft()) return;
    ++dispatchDepth_;
    try {
        RenderUserListSlice();
    } catch (...) {
        userListSlices_ = {};
    }
    --dispatchDepth_;
}

const std::array<TDM::DispatchEntry, kHighestDispatchedKind + 1>& TDM::DispatchTable() {
    static const auto table = [] {
        std::array<DispatchEntry, kHighestDispatchedKind + 1> t{};
        auto set = [&t](std::initializer_list<uint16_t> kinds, Handler h, const char* name) {
            for (uint16_t k : kinds) t[k] = {h, name};
        };
#define ORB_ROUTE(fn, ...) set({__VA_ARGS__}, &TDM::fn, #fn)
        ORB_ROUTE(HandleRoomInfo, vkRoomInfo);
        ORB_ROUTE(HandleUserList, vkUserList);
        ORB_ROUTE(HandleAnsiTextMessage, vkAnsiTextMessage, vkAnsiPrivateTextMessage);
        ORB_ROUTE(HandleMicrophoneTaken, vkTakeMicrophone);
        ORB_ROUTE(HandleMicrophoneReleased, vkReleaseMicrophone);
        ORB_ROUTE(HandleBoardStrokes, vkBoardStrokes);
        ORB_ROUTE(HandleUserJoined, vkUserJoined);
        ORB_ROUTE(HandleUserLeft, vkUserLeft);
        ORB_ROUTE(HandleUserRequest, vkUserRequest);
        ORB_ROUTE(HandleTransferReply, vkDocumentUploaded, vkDownloadDocument, vkBoardImageUploaded);
        ORB_ROUTE(HandleResourceList, vkDocumentList, vkBoardImageList, vkWebLinkList, vkPresentationList);
        ORB_ROUTE(HandleWebLinkAdded, vkAddWebLink);
        ORB_ROUTE(HandleOpenResource, vkOpenDocument, vkOpenBoardImage, vkOpenWebLink, vkOpenSlide);
        ORB_ROUTE(HandleDuplicateLogin, vkDuplicateLogin);
        ORB_ROUTE(HandleClearMotions, vkClearMotions);
        ORB_ROUTE(HandleClearNotes, vkClearNotes);
        ORB_ROUTE(HandleResourceDeleted, vkDeleteDocument, vkDeleteBoardImage, vkDeleteWebLink, vkDeletePresentation);
        ORB_ROUTE(HandleMicrophoneRight, vkGiveMicrophone, vkRevokeMicrophone);
        ORB_ROUTE(HandleBoardRightChange, vkGiveBoard, vkRevokeBoard);
        ORB_ROUTE(HandleAcknowledge, vkAcknowledge);
        ORB_ROUTE(HandleBoardPointer, vkBoardPointer);
        ORB_ROUTE(HandleKickUser, vkKickUser);
        ORB_ROUTE(HandleAnsiBoardText, vkAnsiBoardText);
        ORB_ROUTE(HandleBoardImage, vkBoardImage);
        ORB_ROUTE(HandlePoll, vkPoll);
        ORB_ROUTE(HandlePresence, vkPresence);
        ORB_ROUTE(HandleBrowserClosed, vkBrowserClosed);
        ORB_ROUTE(HandlePollAnswer, vkPollAnswer);
        ORB_ROUTE(HandleRoomList, vkRoomList);
        ORB_ROUTE(HandleEnterRoom, vkEnterRoom);
        ORB_ROUTE(HandleBoardContents, vkBoardContents);
        ORB_ROUTE(HandleClearBoard, vkClearBoard);
        ORB_ROUTE(HandleSelectBoard, vkCurrentBoard, vkSelectBoard);
        ORB_ROUTE(HandleShareStarted, vkShareStarted);
        ORB_ROUTE(HandleShareStopped, vkShareStopped);
        ORB_ROUTE(HandleSharePanes, vkSharePanes);
        ORB_ROUTE(HandleShareCursor, vkShareCursor);
        ORB_ROUTE(HandleShareDescriptor, vkShareDescriptor);
        ORB_ROUTE(HandleKind88, vkKind88);
        ORB_ROUTE(HandleKind89, vkKind89);
        ORB_ROUTE(HandleKind90, vkKind90);
        ORB_ROUTE(HandleKind94, vkKind94);
        ORB_ROUTE(HandleKind120, vkKind120);
        ORB_ROUTE(HandleRecording, vkStartRecording, vkStopRecording, vkPauseRecording);
        ORB_ROUTE(HandleUserLevel, vkUserLevel);
        ORB_ROUTE(HandleKeepAlive, vkKeepAlive);
        ORB_ROUTE(HandlePaneSnapshotRequest, vkPaneSnapshotRequest);
        ORB_ROUTE(HandlePaneCursorRequest, vkPaneCursorRequest);
        ORB_ROUTE(HandlePaneControl, vkPaneControlOn, vkPaneControlOff);
        ORB_ROUTE(HandleRemoteInput, vkPaneRemoteInput, vkRemoteInput);
        ORB_ROUTE(HandleWebcamState, vkWebcamStarted, vkWebcamStopped);
        ORB_ROUTE(HandleVideoPort, vkVideoPort);
        ORB_ROUTE(HandleUserRights, vkUserRights);
        ORB_ROUTE(HandleUserFeedback, vkUserFeedback);
        ORB_ROUTE(HandleViewMode, vkViewMode, vkViewModeQuery);
        ORB_ROUTE(HandleWebPage, vkWebPage);
        ORB_ROUTE(HandleRemoteAudioState, vkRemoteAudio);
        ORB_ROUTE(HandleForcedCodec, vkForcedCodec);
        ORB_ROUTE(HandleMaxSpeakers, vkMaxSpeakers);
        ORB_ROUTE(HandleImageToBoard, vkSlideToBoard, vkLibraryImageToBoard);
        ORB_ROUTE(HandleChatPermission, vkChatPermissionQuery, vkChatPermission);
        ORB_ROUTE(HandleTextMessage, vkTextMessage, vkPrivateTextMessage);
        ORB_ROUTE(HandleBoardText, vkBoardText);
        ORB_ROUTE(HandleBreakoutChanged, vkCreateBreakoutRoom);
        ORB_ROUTE(HandleBreakoutRoomList, vkBreakoutRoomList);
        ORB_ROUTE(HandleBreakoutMembers, vkBreakoutMembers);
        ORB_ROUTE(HandleBreakoutUpdate, vkBreakoutUserMoved);
        ORB_ROUTE(HandleBreakoutMove, vkMoveToRoom);
        ORB_ROUTE(HandleNotesSwitch, vkNotesSwitch, vkNotesSwitchQuery);
        ORB_ROUTE(HandleBreakoutAllowed, vkBreakoutAllowed);
        ORB_ROUTE(HandleAppShareStart, vkAppShareStart);
        ORB_ROUTE(HandleAppShareStop, vkAppShareStop);
        ORB_ROUTE(HandleAppShareFrame, vkAppShareFrame);
        ORB_ROUTE(HandleShareState, vkAppShareState);
        ORB_ROUTE(HandleRemoteControl, vkRemoteControl);
        ORB_ROUTE(HandleTypingState, vkTypingState);
        ORB_ROUTE(HandleRoomProfile, vkRoomProfile);
        ORB_ROUTE(HandleUserJoinedEx, vkUserJoinedEx);
#undef ORB_ROUTE
        return t;
    }();
    return table;
}
