#include "boardmsg/board_messages.h"

#include <algorithm>
#include <cstring>

namespace orb::board {

namespace {

ByteReader ReaderOf(std::span<const uint8_t> body) { return ByteReader(body); }

// Reads the leading int32 board; only the shared boards may be named by the room.
bool ReadSharedBoard(ByteReader& in, int32_t& board) {
    return in.i32(board) && IsSharedBoard(board);
}

bool IsDownloadItem(uint16_t kind) { return kind == vkOpenBoardImage || kind == vkOpenSlide; }

const char kSlideNotAvailable[] = "The slide/image is not available. It may has been deleted.";

}  // namespace

std::vector<uint8_t> BuildBoardStrokesBody(int32_t board, std::span<const TStrokeRecord> records) {
    std::vector<uint8_t> body;
    body.reserve(4 + records.size() * TStrokeRecord::kSize);
    ByteWriter(body).i32(board);
    for (const TStrokeRecord& r : records) r.AppendTo(body);
    return body;
}

std::vector<uint8_t> BuildBoardImageBody(int32_t board, TBoardImageInfo info, std::span<const uint8_t> jpeg) {
    std::vector<uint8_t> body;
    body.reserve(4 + TBoardImageInfo::kSize + jpeg.size());
    ByteWriter w(body);
    w.i32(board);
    info.jpegSize = int32_t(jpeg.size());
    info.AppendTo(body);
    w.bytes(jpeg.data(), jpeg.size());
    return body;
}

std::vector<uint8_t> BuildBoardTextBody(const TBoardTextObject& text) {
    TBoardText t;
    t.board = text.board;
    t.info.board = text.board;
    t.info.left = text.left;
    t.info.top = text.top;
    t.info.right = text.right;
    t.info.bottom = text.bottom;
    t.info.fontName = text.fontName;
    t.info.fontSize = text.fontSize;
    t.info.fontColor = int32_t(text.fontColor);
    t.text = text.text;
    return EncodeBoardTextBody(t);
}

std::vector<uint8_t> BuildBoardPointerBody(int x, int y, int32_t board, int pointerType) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    w.u16(uint16_t(x));
    w.u16(uint16_t(y));
    w.u16(uint16_t(board));
    w.u16(uint16_t(pointerType));
    return body;
}

std::vector<uint8_t> BuildBoardNumberBody(int32_t board) {
    std::vector<uint8_t> body;
    ByteWriter(body).i32(board);
    return body;
}

std::vector<uint8_t> BuildSlideToBoardBody(int32_t board, const TResourceInfo& presentation, int32_t slide) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    w.i32(board);
    TResourceInfo rec = presentation;
    rec.fileName = "Slide_" + std::to_string(slide) + ".JPG";
    rec.extension = ".JPG";
    rec.Encode(w);
    return body;
}

std::vector<uint8_t> BuildLibraryImageToBoardBody(int32_t board, const TResourceInfo& image) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    w.i32(board);
    image.Encode(w);
    return body;
}

bool TBoardMessages::Handle(const TVCRHeader& header, std::span<const uint8_t> body) {
    switch (header.kind) {
    case vkBoardStrokes: HandleBoardStrokes(header, body); return true;
    case vkBoardPointer: HandleBoardPointer(header, body); return true;
    case vkAnsiBoardText: HandleAnsiBoardText(header, body); return true;
    case vkBoardImage: HandleBoardImage(header, body); return true;
    case vkBoardContents: HandleBoardContents(header, body); return true;
    case vkClearBoard: HandleClearBoard(header, body); return true;
    case vkCurrentBoard:
    case vkSelectBoard: HandleCurrentBoard(header, body); return true;
    case vkSlideToBoard:
    case vkLibraryImageToBoard: HandleSlideToBoard(header, body); return true;
    case vkBoardText: HandleBoardText(header, body); return true;
    default: return false;
    }
}

bool TBoardMessages::ReadStrokes(ByteReader& in, int32_t board) {
    received_.clear();
    if (in.remaining() % TStrokeRecord::kSize != 0) return false;
    // Whole records only (checked above): they are decoded straight from the body.
    const size_t count = in.remaining() / TStrokeRecord::kSize;
    const std::span<const uint8_t> bytes = in.view(count * TStrokeRecord::kSize);
    received_.resize(count);
    TStrokeRecord* out = received_.data();
    for (size_t i = 0; i < bytes.size(); i += TStrokeRecord::kSize) {
        // A record may only draw on the board its message names.
        if (bytes[i] == board) TStrokeRecord::Decode(bytes.data() + i, *out++);
    }
    received_.resize(size_t(out - received_.data()));
    return true;
}

void TBoardMessages::HandleBoardStrokes(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    if (!ReadSharedBoard(in, board)) return;
    sink_.SelectBoard(board, false);
    // A record cut short ends the handler: nothing of the message is drawn.
    if (!ReadStrokes(in, board)) {
        received_.clear();
        return;
    }
    sink_.ReplayStrokes(received_);
}

void TBoardMessages::HandleBoardPointer(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    uint16_t x = 0, y = 0, board = 0, type = 0;
    if (!in.u16(x) || !in.u16(y) || !in.u16(board) || !in.u16(type)) return;
    if (!IsSharedBoard(board) || type > 2) return;
    sink_.SelectBoard(board, false);
    sink_.ShowBoardPointer(x, y, true, type);
}

void TBoardMessages::HandleAnsiBoardText(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    TBoardTextObject text;
    if (!ReadSharedBoard(in, text.board) || !ReadAnsiBoardText(in, text)) return;
    if (sink_.CurrentBoard() != text.board) sink_.SelectBoard(text.board, false);
    sink_.DrawBoardText(text.board, text);
}

void TBoardMessages::HandleBoardImage(const TVCRHeader& header, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    TBoardImageInfo info;
    if (!ReadSharedBoard(in, board) || !TBoardImageInfo::Read(in, info)) return;
    if (info.jpegSize <= 0 || size_t(info.jpegSize) > in.remaining()) return;
    std::span<const uint8_t> jpeg = in.view(size_t(info.jpegSize));
    if (sink_.DrawBoardPicture(board, info.left, info.top, jpeg, PictureMode::Place))
        room_.PostBoardUpdated(header.sender);
}

void TBoardMessages::HandleBoardContents(const TVCRHeader& header, std::span<const uint8_t> body) {
    BoardContents(header, body, !room_.PlaybackMode());
}

void TBoardMessages::ReplayBoardContents(const TVCRHeader& header, std::span<const uint8_t> body) {
    BoardContents(header, body, false);
}

void TBoardMessages::BoardContents(const TVCRHeader& header, std::span<const uint8_t> body, bool live) {
    ByteReader in = ReaderOf(body);
    sink_.SetLayerMouseAttached(false);
    int32_t counter = 0;
    int32_t itemBoard = 1;
    while (in.remaining() > 0) {
        std::span<const uint8_t> head = in.view(TVCRHeader::kSize);
        TVCRHeader item;
        int32_t board = 0;
        if (!TVCRHeader::Decode(head, item) || !in.i32(board)) break;
        itemBoard = board;
        ++counter;
        room_.SendBoardLoadProgress(itemBoard, counter);
        // The embedded length covers the board number and the payload; it must fit in the body.
        if (item.bodyLength < 4 || size_t(item.bodyLength) - 4 > in.remaining()) break;
        std::span<const uint8_t> payload = in.view(size_t(item.bodyLength) - 4);
        if (IsSharedBoard(board) && (live || !IsDownloadItem(item.kind)))
            BoardContentsItem(item, board, payload, header.sender);
    }
    sink_.SetLayerMouseAttached(true);
    room_.PostBoardLoadProgress(itemBoard, 0);
}

void TBoardMessages::BoardContentsItem(const TVCRHeader& item, int32_t board, std::span<const uint8_t> payload,
                                       int32_t requester) {
    ByteReader in = ReaderOf(payload);
    switch (item.kind) {
    case vkBoardStrokes:
        if (ReadStrokes(in, board)) sink_.ReplayStrokes(received_);
        break;
    case vkOpenBoardImage:
    case vkOpenSlide: {
        TResourceInfo res;
        if (TResourceInfo::Decode(in, res))
            room_.StartBoardDownload(item.kind == vkOpenBoardImage ? 1 : 5, board, res, requester);
        break;
    }
    case vkAnsiBoardText: {
        TBoardTextObject text;
        text.board = board;
        if (ReadAnsiBoardText(in, text)) sink_.DrawBoardText(board, text);
        break;
    }
    case vkBoardImage: {
        TBoardImageInfo info;
        if (!TBoardImageInfo::Read(in, info) || info.jpegSize <= 0 || size_t(info.jpegSize) > in.remaining()) break;
        sink_.DrawBoardPicture(board, info.left, info.top, in.view(size_t(info.jpegSize)), PictureMode::Item);
        break;
    }
    case vkClearBoard: sink_.ClearBoard(board); break;
    case vkSlideToBoard:
    case vkLibraryImageToBoard: {
        TResourceInfo res;
        if (!TResourceInfo::Decode(in, res) || res.fileSize <= 0 || size_t(res.fileSize) > in.remaining()) break;
        sink_.DrawBoardPicture(board, 0, 0, in.view(size_t(res.fileSize)), PictureMode::SlideItem);
        break;
    }
    case vkBoardText: {
        TBoardTextObject text;
        if (ReadBoardTextInfo(in, text)) sink_.DrawBoardText(board, text);
        break;
    }
    default: break;  // not expected in a board; skipped by its length
    }
}

void TBoardMessages::HandleClearBoard(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    if (ReadSharedBoard(in, board)) sink_.ClearBoard(board);
}

void TBoardMessages::HandleCurrentBoard(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    if (!in.i32(board)) return;
    if (IsSharedBoard(board)) sink_.SelectBoard(board, false);
    // The entry progress closes even when the room names no usable board.
    room_.HideProgress();
}

void TBoardMessages::HandleSlideToBoard(const TVCRHeader& header, std::span<const uint8_t> body) {
    if (header.result != 0) {
        room_.AddServerNotice(kSlideNotAvailable);
        return;
    }
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    TResourceInfo res;
    if (!ReadSharedBoard(in, board) || !TResourceInfo::Decode(in, res)) return;
    if (res.fileSize <= 0 || size_t(res.fileSize) > in.remaining()) return;
    if (sink_.DrawBoardPicture(board, 0, 0, in.view(size_t(res.fileSize)), PictureMode::Slide))
        room_.PostBoardUpdated(header.sender);
}

void TBoardMessages::HandleBoardText(const TVCRHeader&, std::span<const uint8_t> body) {
    ByteReader in = ReaderOf(body);
    int32_t board = 0;
    TBoardTextObject text;
    if (!ReadSharedBoard(in, board) || !ReadBoardTextInfo(in, text)) return;
    if (text.board != board) return;
    if (sink_.CurrentBoard() != board) sink_.SelectBoard(board, false);
    sink_.DrawBoardText(board, text);
}

}  // namespace orb::board
