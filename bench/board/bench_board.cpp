// Board replay through the room's kind-11 handler into the engine at 1024 x 768: the mixed stroke
// traffic of a lesson (free hand, highlighter, eraser, shapes, stamps), then each kind of record on
// its own in messages of 20 records, in records per second; and the flood fill on the board the
// mixed replay drew. Each is printed beside a memcpy of the board image measured in the same run.
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <algorithm>
#include <vector>

#include "../bench_summary.h"
#include "board/engine/board_engine.h"
#include "boardmsg/board_null.h"

using namespace orb::board;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A shape's second corner: up to 200 x 150 away, as the mix draws them.
TStrokeRecord Shape(std::mt19937& rng, uint8_t tool) {
    auto coord = [&](int limit) { return uint16_t(rng() % uint32_t(limit)); };
    TStrokeRecord r;
    r.board = 1;
    r.tool = tool;
    r.penColor = rng() & 0xFFFFFF;
    r.brushColor = rng() & 0xFFFFFF;
    r.penWidth = uint8_t(1 + rng() % 4);
    r.brushStyle = uint8_t(rng() % 8);
    r.x1 = coord(1024);
    r.y1 = coord(768);
    r.x2 = tool == btMarkStamp ? uint16_t(rng() % 13) : uint16_t(std::min(1023, r.x1 + int(coord(200))));
    r.y2 = tool == btMarkStamp ? 0 : uint16_t(std::min(767, r.y1 + int(coord(150))));
    return r;
}

// Free-hand points a few pixels apart.
TStrokeRecord Point(std::mt19937& rng, uint8_t tool, int width, int& x, int& y) {
    TStrokeRecord r;
    r.board = 1;
    r.tool = tool;
    r.penColor = rng() & 0xFFFFFF;
    x = std::clamp(x + int(rng() % 21) - 10, 0, 1023);
    y = std::clamp(y + int(rng() % 21) - 10, 0, 767);
    r.penWidth = uint8_t(width);
    r.x1 = r.x2 = uint16_t(x);
    r.y1 = r.y2 = uint16_t(y);
    return r;
}

// The mix: mostly free-hand moves of a few pixels, some shapes and stamps.
std::vector<std::vector<uint8_t>> MakeMix(int count) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> out;
    const uint8_t shapes[] = {btLine, btRectangle, btEllipse, btRoundRect, btCircle, btAreaEraser, btMarkStamp};
    for (int m = 0; m < count; ++m) {
        std::vector<TStrokeRecord> recs;
        const int kind = m % 10;
        int x = int(rng() % 1024), y = int(rng() % 768);
        recs.push_back(MakeMoveTo(1, x, y, x, y));
        // A stroke keeps its pen colour, as a person draws it.
        const TColorRef colour = rng() & 0xFFFFFF;
        for (int i = 1; i < 20; ++i) {
            if (kind < 7) {
                recs.push_back(Point(rng, kind < 4 ? btFreeHand : kind < 6 ? btHighlighter : btEraser, kind % 2 ? 1 : 3, x, y));
                recs.back().penColor = colour;
            } else
                recs.push_back(Shape(rng, shapes[rng() % std::size(shapes)]));
        }
        out.push_back(BuildBoardStrokesBody(1, recs));
    }
    return out;
}

// Messages of one move-to and 19 records of one kind; free-hand strokes in one colour each.
std::vector<std::vector<uint8_t>> MakeKind(int count, uint8_t tool, int width) {
    std::mt19937 rng(11 + tool);
    std::vector<std::vector<uint8_t>> out;
    const bool point = tool == btFreeHand || tool == btHighlighter || tool == btEraser;
    for (int m = 0; m < count; ++m) {
        int x = int(rng() % 1024), y = int(rng() % 768);
        std::vector<TStrokeRecord> recs{MakeMoveTo(1, x, y, x, y)};
        // A stroke keeps its pen colour, as a person draws it.
        const TColorRef colour = rng() & 0xFFFFFF;
        for (int i = 1; i < 20; ++i) {
            TStrokeRecord r = point ? Point(rng, tool, width, x, y) : Shape(rng, tool);
            if (width) r.penWidth = uint8_t(width);
            if (point) r.penColor = colour;
            recs.push_back(r);
        }
        out.push_back(BuildBoardStrokesBody(1, recs));
    }
    return out;
}

double Replay(TBoardMessages& messages, const std::vector<std::vector<uint8_t>>& bodies) {
    TVCRHeader header;
    header.kind = vkBoardStrokes;
    const auto t0 = Clock::now();
    for (const auto& body : bodies) messages.Handle(header, body);
    return double(bodies.size()) * 20 / Seconds(t0, Clock::now());
}

// What a record must write at the least: the board is painted a colour no record uses, one message
// is replayed, and the pixels and 64-byte lines that changed are counted (a pixel written twice in a
// message counts once, so this is a lower bound). Per record, over 50 runs of 10 messages spread
// evenly over all of them (the mix cycles through its kinds every 10 messages, and its shapes'
// sizes vary widely: the first messages alone overstate its lines by a few per cent).
struct Footprint {
    double pixels = 0, bytes = 0;
};
Footprint Measure(TBoardEngine& engine, TBoardMessages& messages, const std::vector<std::vector<uint8_t>>& bodies) {
    constexpr TColorRef kSentinel = 0x00030201;
    TStrokeRecord fill;
    fill.board = 1;
    fill.tool = btRectangle;
    fill.x2 = 1024;
    fill.y2 = 768;
    fill.penColor = fill.brushColor = kSentinel;
    fill.penWidth = 1;
    fill.brushStyle = bsSolid;
    const std::vector<TStrokeRecord> paintRecords{MakeMoveTo(1, 0, 0, 0, 0), fill};
    const auto paint = BuildBoardStrokesBody(1, paintRecords);
    TVCRHeader header;
    header.kind = vkBoardStrokes;
    Footprint f;
    constexpr size_t kRuns = 50, kRun = 10;
    std::vector<size_t> picked;
    for (size_t r = 0; r < kRuns; ++r)
        for (size_t i = 0; i < kRun; ++i) picked.push_back(bodies.size() * r / kRuns + i);
    std::erase_if(picked, [&](size_t m) { return m >= bodies.size(); });
    const size_t sample = picked.size();
    for (const size_t m : picked) {
        messages.Handle(header, paint);
        messages.Handle(header, bodies[m]);
        const QImage& board = engine.BoardImage(1);
        const QRgb sentinel = ColorRefToRgb(kSentinel);
        const int w = board.width(), h = board.height();
        for (int y = 0; y < h; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(board.constScanLine(y));
            for (int x0 = 0; x0 < w; x0 += 16) {
                int changed = 0;
                for (int x = x0; x < std::min(x0 + 16, w); ++x) changed += row[x] != sentinel;
                f.pixels += changed;
                f.bytes += changed ? 64 : 0;
            }
        }
    }
    f.pixels /= double(sample) * 20;
    f.bytes /= double(sample) * 20;
    return f;
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
    auto CopySeconds = [&](int n) {
        // The first copy after a replay finds its target evicted and runs at a fraction of the
        // speed of the rest (up to four times as long): untimed, or it would inflate the anchor,
        // and with it every share, by a varying few per cent.
        std::memcpy(copy.data(), board.constBits(), bytes);
        asm volatile("" : : "r"(copy.data()) : "memory");
        const auto c0 = Clock::now();
        for (int i = 0; i < n; ++i) {
            std::memcpy(copy.data(), board.constBits(), bytes);
            asm volatile("" : : "r"(copy.data()) : "memory");
        }
        return Seconds(c0, Clock::now()) / n;
    };
    // A replay in five parts, each right after copies of the board, so a busy spell of the machine
    // weighs on the rate and its anchor alike: the rate over all parts, and for each part its
    // records per board copy time (the share of the pixel bound is its median times the copies a
    // record writes).
    struct Anchored {
        double rate = 0, copySeconds = 0;
        std::vector<double> perCopy;
    };
    auto ReplayAnchored = [&](const std::vector<std::vector<uint8_t>>& bodies) {
        Anchored a;
        constexpr size_t kParts = 5;
        double total = 0;
        std::vector<double> anchors;
        for (size_t part = 0; part < kParts; ++part) {
            const size_t from = bodies.size() * part / kParts, to = bodies.size() * (part + 1) / kParts;
            const std::vector<std::vector<uint8_t>> slice(bodies.begin() + long(from), bodies.begin() + long(to));
            const double anchor = CopySeconds(20);
            const double rate = Replay(messages, slice);
            total += double(slice.size()) * 20 / rate;
            anchors.push_back(anchor);
            a.perCopy.push_back(rate * anchor);
        }
        a.rate = double(bodies.size()) * 20 / total;
        std::sort(anchors.begin(), anchors.end());
        a.copySeconds = anchors[anchors.size() / 2];
        std::sort(a.perCopy.begin(), a.perCopy.end());
        return a;
    };
    // A record's least cost: its 64-byte lines moved at the board memcpy's speed. Every row states
    // that bound and its rate as a share of it; shapes (whose cost is their pixels) and the mix are
    // held to half their bound, the point records (a few pixels each, so bound by the record's
    // own handling) to their rate.
    auto PrintBound = [&](const Footprint& f, const char* name, const Anchored& a, bool shape) {
        const double copiesPerRecord = f.bytes / double(bytes);
        const double bound = copiesPerRecord > 0 ? 1.0 / (copiesPerRecord * a.copySeconds) : 0.0;
        const double share = a.perCopy[a.perCopy.size() / 2] * copiesPerRecord;
        std::printf("       writes %.0f pixels in %.1f KB of lines per record: %.4f board copies, so at most %.0f "
                    "records/s; %.2f of that\n",
                    f.pixels, f.bytes / 1024, copiesPerRecord, bound, share);
        char measure[128];
        std::snprintf(measure, sizeof measure, "board replay: %s, bound by its pixels (records/s)", name);
        orb::bench::Summary(measure, "stated", bound, "-");
        std::snprintf(measure, sizeof measure, "board replay: %s, share of its pixel bound", name);
        if (shape)
            orb::bench::Summary(measure, ">= 0.5", share, share >= 0.5);
        else
            orb::bench::Summary(measure, "stated", share, "-");
    };
    std::printf("board image memcpy (%zu bytes): %.1f us (%.2f GB/s)\n", bytes, memcpySeconds * 1e6,
                double(bytes) / memcpySeconds / 1e9);

    struct Kind {
        const char* name;
        uint8_t tool;
        int width;  // 0: as the generator chooses (1 to 4)
        int messages;
        bool airbrush;
        bool shape;  // held to half its pixel bound
    };
    const Kind kinds[] = {
        {"free hand, pen 1", btFreeHand, 1, 20000, false, false},
        {"free hand, pen 3 (airbrush)", btFreeHand, 3, 5000, true, false},
        {"highlighter (airbrush)", btHighlighter, 0, 2000, true, false},
        {"eraser, pen 1", btEraser, 1, 20000, false, false},
        {"eraser, pen 3", btEraser, 3, 20000, false, false},
        {"line, pen 1", btLine, 1, 5000, false, true},
        {"line, pen 2 to 4", btLine, 0, 5000, false, true},
        {"rectangle", btRectangle, 0, 2000, false, true},
        {"ellipse", btEllipse, 0, 2000, false, true},
        {"round rectangle", btRoundRect, 0, 2000, false, true},
        {"circle", btCircle, 0, 1000, false, true},
        {"area eraser", btAreaEraser, 0, 2000, false, true},
        {"mark stamp", btMarkStamp, 0, 20000, false, false},
        {"white fill", btWhiteFill, 0, 2000, false, true},
        {"axes, one quadrant", btAxes1, 0, 2000, false, true},
        {"axes, four quadrants", btAxes4, 0, 2000, false, true},
    };
    // ORB_BENCH_ONLY=text runs only the kinds whose name holds the text.
    const char* only = std::getenv("ORB_BENCH_ONLY");
    for (const Kind& k : kinds) {
        if (only && !std::strstr(k.name, only)) continue;
        engine.ClearBoard(1);
        const auto bodies = MakeKind(k.messages, k.tool, k.width);
        const Anchored a = ReplayAnchored(bodies);
        const double rate = a.rate;
        std::printf("replay %-28s %12.0f records/s, one record costs %.4f board copies\n", k.name, rate,
                    1.0 / a.perCopy[a.perCopy.size() / 2]);
        PrintBound(Measure(engine, messages, bodies), k.name, a, k.shape);
        char measure[96];
        std::snprintf(measure, sizeof measure, "board replay: %s (records/s)", k.name);
        // A shape is held to its share of its pixel bound (a circle's pixels allow only about
        // 0.3 M a second); its rate is stated.
        if (k.airbrush || k.shape)
            orb::bench::Summary(measure, "stated", rate, "-");
        else
            orb::bench::Summary(measure, ">= 1e6", rate, rate >= 1e6);
    }

    auto wanted = [&](const char* name) { return !only || std::strstr(name, only); };
    if (wanted("the mix")) {
    engine.ClearBoard(1);
    const auto mix = MakeMix(10000);
    const Anchored a = ReplayAnchored(mix);
    const double mixRate = a.rate;
    std::printf("replay of the mix: %.0f records/s (%zu messages of 20 records); one record costs %.4f board copies\n",
                mixRate, mix.size(), 1.0 / a.perCopy[a.perCopy.size() / 2]);
    PrintBound(Measure(engine, messages, mix), "the mix", a, true);
    orb::bench::Summary("board replay: the mix (records/s)", ">= 1e6", mixRate, mixRate >= 1e6);
    }
    if (!wanted("flood fill")) return 0;

    // The flood fill on a drawn board as a lesson leaves it: outlined shapes and free-hand strokes
    // on white. Each fill starts in the white around them or inside one of the large shapes, so it
    // covers a large share of the board; they fill alternately with two colours, so every fill
    // covers the same area again.
    engine.ClearBoard(1);
    {
        std::mt19937 rng(5);
        TVCRHeader header;
        header.kind = vkBoardStrokes;
        std::vector<TStrokeRecord> recs{MakeMoveTo(1, 0, 0, 0, 0)};
        auto outline = [&](uint8_t tool, int x1, int y1, int x2, int y2) {
            TStrokeRecord r;
            r.board = 1;
            r.tool = tool;
            r.x1 = uint16_t(x1);
            r.y1 = uint16_t(y1);
            r.x2 = uint16_t(x2);
            r.y2 = uint16_t(y2);
            r.penWidth = 2;
            r.penColor = 0x00202020;
            r.brushStyle = bsClear;
            recs.push_back(r);
        };
        outline(btRectangle, 40, 40, 420, 330);
        outline(btEllipse, 560, 60, 980, 360);
        outline(btRoundRect, 80, 420, 480, 720);
        outline(btCircle, 760, 560, 760, 700);
        messages.Handle(header, BuildBoardStrokesBody(1, recs));
        // Free-hand writing inside the shapes and across the white.
        for (int stroke = 0; stroke < 40; ++stroke) {
            int x = 60 + int(rng() % 900), y = 60 + int(rng() % 650);
            std::vector<TStrokeRecord> points{MakeMoveTo(1, x, y, x, y)};
            for (int i = 0; i < 30; ++i) {
                TStrokeRecord r = Point(rng, btFreeHand, 1, x, y);
                r.penColor = 0x00800000;
                points.push_back(r);
            }
            messages.Handle(header, BuildBoardStrokesBody(1, points));
        }
    }
    const QImage drawn = engine.BoardImage(1);
    struct Seed {
        const char* where;
        QPoint at;
    };
    const Seed seeds[] = {{"the white around the shapes", {1000, 5}},
                          {"inside the rectangle", {60, 320}},
                          {"inside the ellipse", {770, 350}},
                          {"inside the round rectangle", {280, 570}}};
    const int rounds = 10;
    double fillSeconds = 0, filledPixels = 0;
    int fills = 0;
    for (const Seed& seed : seeds) {
        QImage target = drawn.copy();
        // The pixels one fill paints: those it changes.
        QImage once = drawn.copy();
        FloodFillSurface(once, seed.at.x(), seed.at.y(), MakeBrush(bsSolid, 0x000080FFu));
        int64_t filled = 0;
        for (int y = 0; y < once.height(); ++y) {
            const QRgb* a = reinterpret_cast<const QRgb*>(once.constScanLine(y));
            const QRgb* b = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
            for (int x = 0; x < once.width(); ++x) filled += a[x] != b[x];
        }
        t0 = Clock::now();
        for (int i = 0; i < rounds; ++i)
            FloodFillSurface(target, seed.at.x(), seed.at.y(), MakeBrush(bsSolid, i % 2 ? 0x00FF8040u : 0x000080FFu));
        const double seconds = Seconds(t0, Clock::now()) / rounds;
        std::printf("flood fill %-28s %8lld pixels (%4.1f%% of the board): %7.1f us, %.2f x a board copy\n", seed.where,
                    (long long)filled, 100.0 * double(filled) / (double(drawn.width()) * drawn.height()), seconds * 1e6,
                    seconds / memcpySeconds);
        fillSeconds += seconds;
        filledPixels += double(filled);
        ++fills;
    }
    fillSeconds /= fills;
    filledPixels /= fills;
    std::printf("flood fill on the drawn board: %.0f pixels a fill on average, %.1f us, %.2f x a board copy\n",
                filledPixels, fillSeconds * 1e6, fillSeconds / memcpySeconds);
    orb::bench::Summary("flood fill on a drawn board: pixels filled per fill", "stated", filledPixels, "-");
    orb::bench::Summary("flood fill on a drawn board (x board copy)", "stated", fillSeconds / memcpySeconds, "-");
    return 0;
}
