// The board from the mouse to the screen and from the network to the screen, each as a ratio to
// the engine's replay of the same records in the same run; free-hand strokes, lines and filled
// shapes replayed separately (shapes as pixels per second beside a memset of the same area); and
// a full 2048 x 1536 flood fill in the window.
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "board/engine/board_engine.h"
#include "board/pickers/pickers.h"
#include "board/window/frm_board.h"
#include "boardmsg/board_null.h"

using namespace orb::board;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

TStrokeRecord Rec(uint8_t tool, int x1, int y1, int x2, int y2, int width, uint8_t brush = bsClear) {
    TStrokeRecord r;
    r.board = 1;
    r.tool = tool;
    r.x1 = uint16_t(x1), r.y1 = uint16_t(y1), r.x2 = uint16_t(x2), r.y2 = uint16_t(y2);
    r.penWidth = uint8_t(width);
    r.penColor = 0x00203040;
    r.brushStyle = brush;
    r.brushColor = 0x00C08040;
    return r;
}

// Messages of one move-to and 19 free-hand points a few pixels apart.
std::vector<std::vector<TStrokeRecord>> FreeHand(int count, int width, uint8_t tool = btFreeHand) {
    std::mt19937 rng(11);
    std::vector<std::vector<TStrokeRecord>> out;
    for (int m = 0; m < count; ++m) {
        int x = int(rng() % 1000) + 12, y = int(rng() % 740) + 14;
        std::vector<TStrokeRecord> recs{MakeMoveTo(1, x, y, x, y)};
        for (int i = 1; i < 20; ++i) {
            x = std::clamp(x + int(rng() % 11) - 5, 0, 1023);
            y = std::clamp(y + int(rng() % 11) - 5, 0, 767);
            recs.push_back(Rec(tool, x, y, x, y, width));
        }
        out.push_back(std::move(recs));
    }
    return out;
}

std::vector<std::vector<TStrokeRecord>> Shapes(int count, uint8_t tool, int width, uint8_t brush, int64_t* pixels) {
    std::mt19937 rng(5);
    std::vector<std::vector<TStrokeRecord>> out;
    *pixels = 0;
    for (int m = 0; m < count; ++m) {
        const int x = int(rng() % 700), y = int(rng() % 500), w = 50 + int(rng() % 250), h = 40 + int(rng() % 220);
        out.push_back({MakeMoveTo(1, x, y, x, y), Rec(tool, x, y, x + w, y + h, width, brush)});
        *pixels += int64_t(w) * h;
    }
    return out;
}

size_t Records(const std::vector<std::vector<TStrokeRecord>>& m) {
    size_t n = 0;
    for (auto& v : m) n += v.size();
    return n;
}

double Replay(TBoardEngine& engine, const std::vector<std::vector<TStrokeRecord>>& messages) {
    engine.ClearBoard(1);
    const auto t0 = Clock::now();
    for (const auto& m : messages) engine.ReplayStrokes(m);
    return Seconds(t0, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TNullBoardSession session(true, true, 1000);
    TNullBoardRoom room;
    TBoardEngine engine(session);
    engine.InitWhiteboards();

    // Anchor: memset of a 1024 x 768 board.
    std::vector<uint32_t> area(1024 * 768);
    auto t0 = Clock::now();
    for (int i = 0; i < 500; ++i) {
        std::memset(area.data(), i, area.size() * 4);
        asm volatile("" : : "r"(area.data()) : "memory");
    }
    const double memsetPixelsPerSecond = 500.0 * double(area.size()) / Seconds(t0, Clock::now());
    std::printf("anchor memset: %.0f Mpixels/s\n", memsetPixelsPerSecond / 1e6);

    for (int width : {1, 3}) {
        const auto m = FreeHand(50000, width);
        const double s = Replay(engine, m);
        std::printf("replay free hand, pen %d: %.0f records/s\n", width, double(Records(m)) / s);
    }
    {
        const auto m = FreeHand(20000, 1, btHighlighter);
        std::printf("replay highlighter: %.0f records/s\n", double(Records(m)) / Replay(engine, m));
    }
    for (int width : {1, 3}) {
        int64_t px = 0;
        const auto m = Shapes(20000, btLine, width, bsClear, &px);
        std::printf("replay lines, pen %d: %.0f records/s\n", width, double(Records(m)) / Replay(engine, m));
    }
    for (uint8_t tool : {btRectangle, btEllipse, btAreaEraser}) {
        int64_t px = 0;
        const auto m = Shapes(5000, tool, 2, bsSolid, &px);
        const double s = Replay(engine, m);
        std::printf("replay filled shape %d: %.0f Mpixels/s, %.3f x memset\n", int(tool), double(px) / s / 1e6,
                    double(px) / s / memsetPixelsPerSecond);
    }

    // The window: mouse strokes through controller, engine and dirty-rect repaint.
    TfrmBoard window;
    window.SetEngine(&engine);
    engine.InitWhiteboards();
    window.resize(1100, 900);
    window.show();
    QApplication::processEvents();
    window.SetPenDefaults(1, 0x00204080);
    window.SelectTool(btFreeHand);
    const auto strokes = FreeHand(2000, 1);
    engine.ClearBoard(1);
    t0 = Clock::now();
    for (const auto& m : strokes) {
        QTest::mousePress(window.Canvas(), Qt::LeftButton, {}, QPoint(m[0].x1, m[0].y1));
        for (size_t i = 1; i < m.size(); ++i) QTest::mouseMove(window.Canvas(), QPoint(m[i].x1, m[i].y1));
        QTest::mouseRelease(window.Canvas(), Qt::LeftButton, {}, QPoint(m.back().x1, m.back().y1));
        QApplication::processEvents();
    }
    const double mouseSeconds = Seconds(t0, Clock::now());
    const double replayStrokes = Replay(engine, strokes);
    std::printf("mouse to screen: %.0f strokes/s (%.0f records/s), %.3f x replay alone\n",
                double(strokes.size()) / mouseSeconds, double(Records(strokes)) / mouseSeconds,
                replayStrokes / mouseSeconds);

    // Received kind 11 onto the visible board, painted after each message.
    TBoardMessages messages(engine, room);
    TVCRHeader header;
    header.kind = vkBoardStrokes;
    std::vector<std::vector<uint8_t>> bodies;
    for (const auto& m : strokes) bodies.push_back(BuildBoardStrokesBody(1, m));
    engine.ClearBoard(1);
    QApplication::processEvents();
    t0 = Clock::now();
    for (const auto& b : bodies) {
        messages.Handle(header, b);
        QApplication::processEvents();
    }
    const double receivedSeconds = Seconds(t0, Clock::now());
    std::printf("received onto the visible board: %.0f messages/s, %.3f x replay alone\n",
                double(bodies.size()) / receivedSeconds, replayStrokes / receivedSeconds);

    // A full 2048 x 1536 flood fill with the fill tool, repaint included.
    engine.ClearBoard(1);
    engine.GrowLayer(1, 2048, 1536);
    window.LayerChanged(1);
    window.SelectTool(btFloodFill);
    QApplication::processEvents();
    const int fills = 10;
    t0 = Clock::now();
    for (int i = 0; i < fills; ++i) {
        window.FillColor()->SetColorValue(i % 2 ? 0x0000FF : 0xFF0000);
        QTest::mouseClick(window.Canvas(), Qt::LeftButton, {}, QPoint(10, 10));
        QApplication::processEvents();
    }
    const double fillSeconds = Seconds(t0, Clock::now()) / fills;
    std::printf("flood fill 2048 x 1536 in the window: %.1f ms, %.1f x memset of the area\n", fillSeconds * 1e3,
                fillSeconds / (2048.0 * 1536.0 / memsetPixelsPerSecond));
    return 0;
}
