#pragma once
// The whiteboard messages of the room connection: the bodies the senders put on the wire, and the
// handlers that check a received body and hand it to the board engine.
//
// The core has no drawing toolkit, so the engine is reached through IBoardSink, and everything the
// handlers need from the data module (window notices, chat, downloads) through IBoardRoom.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "boardmsg/board_records.h"
#include "protocol/vcr_header.h"

namespace orb::board {

// How a received picture is put on its board.
enum class PictureMode {
    Place,      // kind 62: make the board current, grow the layer, draw at (left, top)
    Item,       // kind 79 item 62: the item board's layer, no change of board
    Slide,      // kinds 126/127: make the board current, grow, paint white, draw at (0, 0)
    SlideItem,  // kind 79 items 126/127: as Slide on the item board, no change of board
};

// The board engine as the message handlers see it. Board numbers given here are 1..5.
class IBoardSink {
public:
    virtual ~IBoardSink() = default;
    virtual int32_t CurrentBoard() const = 0;
    // Makes a board current. Received messages never pass announce = true.
    virtual void SelectBoard(int32_t board, bool announce) = 0;
    // Draws received records (every record's board is a shared board).
    virtual void ReplayStrokes(std::span<const TStrokeRecord> records) = 0;
    virtual void ShowBoardPointer(int x, int y, bool scroll, int pointerType) = 0;
    // Draws a text object on a board's layer.
    virtual void DrawBoardText(int32_t board, const TBoardTextObject& text) = 0;
    // Decodes and draws a JPEG; false (and nothing changed) when it does not decode.
    virtual bool DrawBoardPicture(int32_t board, int left, int top, std::span<const uint8_t> jpeg,
                                  PictureMode mode) = 0;
    // A clear received from the room or a recording.
    virtual void ClearBoard(int32_t board) = 0;
    // Mouse handlers of the five layers are detached while a whole board is drawn.
    virtual void SetLayerMouseAttached(bool attached) = 0;
};

// What the handlers need of the data module and the windows.
class IBoardRoom {
public:
    virtual ~IBoardRoom() = default;
    // WM_APP_BOARDUPDATED to the main window, wParam = the sender.
    virtual void PostBoardUpdated(int32_t sender) = 0;
    // WM_APP_BOARDLOADPROGRESS to the main window (sent synchronously for items, posted when done).
    virtual void SendBoardLoadProgress(int32_t board, int32_t counter) = 0;
    virtual void PostBoardLoadProgress(int32_t board, int32_t counter) = 0;
    // TfrmProgress.HideProgress.
    virtual void HideProgress() = 0;
    // A notice from "Server" in maroon in the public chat.
    virtual void AddServerNotice(const std::string& textUtf8) = 0;
    // Download of a board image (type 1) or slide (type 5) onto a board, asked for by requester.
    virtual void StartBoardDownload(int type, int32_t board, const TResourceInfo& resource, int32_t requester) = 0;
    // A recorded session is being replayed: whole boards start no downloads.
    virtual bool PlaybackMode() const = 0;
};

// The data module as the board engine sees it: connection, rights, the session's board number and
// the room connection's generic sender.
class IBoardSession {
public:
    virtual ~IBoardSession() = default;
    virtual bool Connected() const = 0;
    // TDM.BoardRight: the own user may write on the shared boards.
    virtual bool HasBoardRight() const = 0;
    virtual bool PlaybackMode() const = 0;
    // The own first level (moderator at 1000 or more).
    virtual int32_t OwnLevel1() const = 0;
    // Keeps TDM.CurrentBoard in step with the engine's current board.
    virtual void SetCurrentBoard(int32_t board) = 0;
    // Queues one message (header built by the data module) on the room connection.
    virtual void SendMessage(uint16_t kind, std::vector<uint8_t> body) = 0;
    // Kind 118 with its own conditions.
    virtual void SendViewMode(int32_t view) = 0;
    // Clears every participant row's status icon.
    virtual void ClearStatusIcons() = 0;
    // WM_APP_BOARDUPDATED to the main window.
    virtual void PostBoardUpdated(int32_t sender) = 0;
    // The program's temporary folder, with a trailing separator.
    virtual std::string TempFolder() const = 0;
};

// Bodies of the senders.
std::vector<uint8_t> BuildBoardStrokesBody(int32_t board, std::span<const TStrokeRecord> records);
std::vector<uint8_t> BuildBoardImageBody(int32_t board, TBoardImageInfo info, std::span<const uint8_t> jpeg);
std::vector<uint8_t> BuildBoardTextBody(const TBoardTextObject& text);
std::vector<uint8_t> BuildBoardPointerBody(int x, int y, int32_t board, int pointerType);
std::vector<uint8_t> BuildBoardNumberBody(int32_t board);
// Kind 126: a copy of the presentation's record named "Slide_" + slide + ".JPG".
std::vector<uint8_t> BuildSlideToBoardBody(int32_t board, const TResourceInfo& presentation, int32_t slide);
// Kind 127: the library image's record as it is.
std::vector<uint8_t> BuildLibraryImageToBoardBody(int32_t board, const TResourceInfo& image);

// The data module's whiteboard handlers reach the engine through this (TDM::BoardMessages).
class IBoardMessageHandler {
public:
    virtual ~IBoardMessageHandler() = default;
    virtual bool Handle(const TVCRHeader& header, std::span<const uint8_t> body) = 0;
};

// Caps on what a received message may make us draw or allocate.
constexpr int kMaxBoardWidth = 4096;
constexpr int kMaxBoardHeight = 4096;

// The live handlers. Each checks its body completely; a body that does not fit is dropped
// without effect (items of kind 79 already drawn stay drawn).
class TBoardMessages : public IBoardMessageHandler {
public:
    TBoardMessages(IBoardSink& sink, IBoardRoom& room) : sink_(sink), room_(room) {}

    // Routes kinds 11, 56, 61, 62, 79, 80, 81, 82, 126, 127 and 132; false for other kinds.
    bool Handle(const TVCRHeader& header, std::span<const uint8_t> body) override;

    void HandleBoardStrokes(const TVCRHeader& header, std::span<const uint8_t> body);     // 11
    void HandleBoardPointer(const TVCRHeader& header, std::span<const uint8_t> body);     // 56
    void HandleAnsiBoardText(const TVCRHeader& header, std::span<const uint8_t> body);    // 61
    void HandleBoardImage(const TVCRHeader& header, std::span<const uint8_t> body);       // 62
    // 79; a recorded session starts no downloads.
    void HandleBoardContents(const TVCRHeader& header, std::span<const uint8_t> body);
    // A whole board from a recorded session: the same items, no downloads started.
    void ReplayBoardContents(const TVCRHeader& header, std::span<const uint8_t> body);
    void HandleClearBoard(const TVCRHeader& header, std::span<const uint8_t> body);       // 80
    void HandleCurrentBoard(const TVCRHeader& header, std::span<const uint8_t> body);     // 81, 82
    void HandleSlideToBoard(const TVCRHeader& header, std::span<const uint8_t> body);     // 126, 127
    void HandleBoardText(const TVCRHeader& header, std::span<const uint8_t> body);        // 132

    // The records of the last kind 11 message (the received buffer).
    const std::vector<TStrokeRecord>& ReceivedStrokes() const { return received_; }

private:
    // Reads records to the end; drops those of another board. False when a record is cut short.
    bool ReadStrokes(ByteReader& in, int32_t board);
    void BoardContents(const TVCRHeader& header, std::span<const uint8_t> body, bool live);
    void BoardContentsItem(const TVCRHeader& item, int32_t board, std::span<const uint8_t> payload,
                           int32_t requester);

    IBoardSink& sink_;
    IBoardRoom& room_;
    std::vector<TStrokeRecord> received_;
};

}  // namespace orb::board
