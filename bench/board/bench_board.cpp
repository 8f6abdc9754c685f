// Replays 10,000 kind-11 messages of 20 mixed records into a 1024 x 768 board and flood-fills the
// whole board, each printed beside a memcpy of the board image measured in the same run.
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "board/engine/board_engine.h"
#include "boardmsg/board_null.h"

using namespace orb::board;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A stroke as users draw them: mostly free-hand moves of a few pixels, some shapes and fills.
std::vector<std::vector<uint8_t>> MakeMessages(int count) {
    std::mt19937 rng(7);
    auto coord = [&](int limit) { return uint16_t(rng() % uint32_t(limit)); };
    std::vector<std::vector<uint8_t>> out;
    int x = 500, y = 400;
    const uint8_t shapes[] = {btLine, btRectangle, btEllipse, btRoundRect, btCircle, btAreaEraser, btMarkStamp};
    for (int m = 0; m < count; ++m) {
        std::vector<TStrokeRecord> recs;
        const int kind = m % 10;
        x = coord(1024);
        y = coord(768);
        recs.push_back(MakeMoveTo(1, x, y, x, y));
        for (int i = 1; i < 20; ++i) {
            TStrokeRecord r;
            r.board = 1;
            r.penColor = rng() & 0xFFFFFF;
            r.brushColor = rng() & 0xFFFFFF;
            if (kind < 7) {  // free hand, highlighter, eraser
                x = std::clamp(x + int(rng() % 21) - 10, 0, 1023);
                y = std::clamp(y + int(rng() % 21) - 10, 0, 767);
                r.tool = kind < 4 ? btFreeHand : kind < 6 ? btHighlighter : btEraser;
                r.penWidth = uint8_t(kind % 2 ? 1 : 3);
                r.x1 = r.x2 = uint16_t(x);
                r.y1 = r.y2 = uint16_t(y);
            } else {
                r.tool = shapes[rng() % std::size(shapes)];
                r.penWidth = uint8_t(1 + rng() % 4);
                r.brushStyle = uint8_t(rng() % 8);
                r.x1 = coord(1024);
                r.y1 = coord(768);
                r.x2 = r.tool == btMarkStamp ? uint16_t(rng() % 13) : uint16_t(std::min(1023, r.x1 + int(coord(200))));
                r.y2 = r.tool == btMarkStamp ? 0 : uint16_t(std::min(767, r.y1 + int(coord(150))));
            }
            recs.push_back(r);
        }
        out.push_back(BuildBoardStrokesBody(1, recs));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TNullBoardSession session(false, false, 0);
    TNullBoardRoom room;
    TBoardEngine engine(session);
    engine.InitWhiteboards();
    TBoardMessages messages(engine, room);

    // Anchor: copying the board image.
    const QImage& board = engine.BoardImage(1);
    const size_t bytes = size_t(board.sizeInBytes());
    std::vector<uint8_t> copy(bytes);
    const int copies = 2000;
    auto t0 = Clock::now();
    for (int i = 0; i < copies; ++i) {
        std::memcpy(copy.data(), board.constBits(), bytes);
        asm volatile("" : : "r"(copy.data()) : "memory");
    }
    const double memcpySeconds = Seconds(t0, Clock::now()) / copies;

    const int count = 10000;
    const auto bodies = MakeMessages(count);
    TVCRHeader header;
    header.kind = vkBoardStrokes;
    t0 = Clock::now();
    for (const auto& body : bodies) messages.Handle(header, body);
    const double replaySeconds = Seconds(t0, Clock::now());
    const double records = double(count) * 20;

    const int fills = 50;
    QImage target(1024, 768, QImage::Format_RGB32);
    target.fill(Qt::white);
    t0 = Clock::now();
    for (int i = 0; i < fills; ++i)
        FloodFillSurface(target, 512, 384, MakeBrush(bsSolid, i % 2 ? kWhite : 0x0000FF));
    const double fillSeconds = Seconds(t0, Clock::now()) / fills;

    std::printf("board image memcpy (%zu bytes): %.1f us (%.2f GB/s)\n", bytes, memcpySeconds * 1e6,
                double(bytes) / memcpySeconds / 1e9);
    std::printf("replay: %.0f records/s (%d messages of 20 records in %.3f s); one record costs %.2f board copies\n",
                records / replaySeconds, count, replaySeconds, replaySeconds / records / memcpySeconds);
    std::printf("full-board flood fill: %.1f us, %.1f x a board copy\n", fillSeconds * 1e6,
                fillSeconds / memcpySeconds);
    return 0;
}
