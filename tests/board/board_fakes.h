#pragma once
// Test doubles of the data module for the board engine and the board handlers.

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <string>
#include <utility>
#include <vector>

#include "board/engine/board_engine.h"
#include "boardmsg/board_messages.h"

namespace orb::board::test {

struct Sent {
    uint16_t kind;
    std::vector<uint8_t> body;
};

class FakeSession : public IBoardSession {
public:
    bool connected = true;
    bool boardRight = true;
    bool playback = false;
    int32_t level1 = 1000;
    int32_t currentBoard = 1;
    std::vector<Sent> sent;
    std::vector<int32_t> viewModes;
    std::vector<int32_t> updates;
    int statusClears = 0;
    std::string temp;

    bool Connected() const override { return connected; }
    bool HasBoardRight() const override { return boardRight; }
    bool PlaybackMode() const override { return playback; }
    int32_t OwnLevel1() const override { return level1; }
    void SetCurrentBoard(int32_t b) override { currentBoard = b; }
    void SendMessage(uint16_t kind, std::vector<uint8_t> body) override { sent.push_back({kind, std::move(body)}); }
    void SendViewMode(int32_t v) override { viewModes.push_back(v); }
    void ClearStatusIcons() override { ++statusClears; }
    void PostBoardUpdated(int32_t s) override { updates.push_back(s); }
    std::string TempFolder() const override { return temp; }
};

class FakeRoom : public IBoardRoom {
public:
    std::vector<int32_t> updated;
    std::vector<std::pair<int32_t, int32_t>> progressSent, progressPosted;
    int progressHidden = 0;
    std::vector<std::string> notices;
    std::vector<std::pair<int, int32_t>> downloads;

    void PostBoardUpdated(int32_t sender) override { updated.push_back(sender); }
    void SendBoardLoadProgress(int32_t b, int32_t c) override { progressSent.emplace_back(b, c); }
    void PostBoardLoadProgress(int32_t b, int32_t c) override { progressPosted.emplace_back(b, c); }
    void HideProgress() override { ++progressHidden; }
    void AddServerNotice(const std::string& t) override { notices.push_back(t); }
    void StartBoardDownload(int type, int32_t board, const TResourceInfo&, int32_t) override {
        downloads.emplace_back(type, board);
    }
    bool playback = false;
    bool PlaybackMode() const override { return playback; }
};

inline std::vector<uint8_t> Jpeg(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setQuality(95);
    writer.write(image);
    return std::vector<uint8_t>(data.begin(), data.end());
}

// A one-pixel line record on a board.
inline TStrokeRecord Line(int board, int x1, int y1, int x2, int y2) {
    TStrokeRecord r;
    r.board = uint8_t(board);
    r.tool = btLine;
    r.x1 = uint16_t(x1);
    r.y1 = uint16_t(y1);
    r.x2 = uint16_t(x2);
    r.y2 = uint16_t(y2);
    r.penWidth = 1;
    return r;
}

inline QImage Solid(int w, int h, QRgb c) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

inline bool IsWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu) return false;
    return true;
}

}  // namespace orb::board::test
