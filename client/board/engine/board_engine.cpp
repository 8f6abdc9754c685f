#include "board/engine/board_engine.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>

#include "board/engine/board_shapes.h"
#include "board/logic/board_logic.h"
#include "util/images.h"

namespace orb::board {

namespace {

// Decoded pictures larger than this are refused before any pixel is allocated.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = 64ll * 1024 * 1024;
// Fonts beyond this size only serve to stall the renderer.
constexpr int kMaxFontPoints = 500;
constexpr int kDotsPerMeter96 = 3780;  // 96 dots per inch

QImage NewBoardImage(int w, int h) {
    // Rows padded to a whole number of cache lines, and one more when that is a multiple of 4 KB:
    // with rows exactly 4 KB apart every pixel of a column falls in the same cache set, so an
    // upright or steep line evicts what it wrote a few rows up and runs many times slower.
    QImage image;
    if (w > 0 && h > 0) {
        qsizetype bpl = (qsizetype(w) * 4 + 63) / 64 * 64;
        if (bpl % 4096 == 0) bpl += 64;
        if (void* data = std::aligned_alloc(64, size_t(bpl) * size_t(h)))
            image = QImage(static_cast<uchar*>(data), w, h, bpl, QImage::Format_RGB32, [](void* p) { std::free(p); }, data);
    }
    if (image.isNull()) image = QImage(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(kDotsPerMeter96);
    image.setDotsPerMeterY(kDotsPerMeter96);
    return image;
}

bool IsFreeHandTool(uint8_t tool) { return tool == btFreeHand || tool == btEraser || tool == btHighlighter; }

QPen MakePen(const TBoardLayer& canvas) {
    QPen pen(QColor(ColorRefToRgb(canvas.penColor)));
    pen.setWidth(std::max(1, canvas.penWidth));
    pen.setStyle(canvas.penStyle == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void SetUpPainter(QPainter& p, const TBoardLayer& canvas, bool withBrush) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(MakePen(canvas));
    p.setBrush(withBrush ? MakeBrush(canvas.brushStyle, canvas.brushColor) : QBrush(Qt::NoBrush));
}

// The box of a GDI shape call: corners in any order, right and bottom edges excluded.
QRect ShapeBox(QPoint a, QPoint b) {
    const int l = std::min(a.x(), b.x()), r = std::max(a.x(), b.x());
    const int t = std::min(a.y(), b.y()), btm = std::max(a.y(), b.y());
    return QRect(l, t, r - l, btm - t);
}

QImage DecodePicture(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > size_t(std::numeric_limits<int>::max())) return {};
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "JPEG");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0 || size.width() > kMaxPictureSide ||
        size.height() > kMaxPictureSide || int64_t(size.width()) * size.height() > kMaxPicturePixels)
        return {};
    QImage image;
    if (!reader.read(&image)) return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TBoardEngine::TBoardEngine(IBoardSession& session) : session_(session) {
    for (TBoardLayer& layer : layers_) layer.image = NewBoardImage(kLayoutWidth, kLayoutHeight);
    overlay_ = QImage(kLayoutWidth, kLayoutHeight, QImage::Format_ARGB32);
    overlay_.fill(Qt::transparent);
    BuildStamps();
}

void TBoardEngine::InitWhiteboards() {
    pending_.clear();
    for (TBoardLayer& layer : layers_) {
        layer.penPos = QPoint(0, 0);
        layer.brushStyle = bsClear;
        if (layer.image.isNull()) layer.image = NewBoardImage(kLayoutWidth, kLayoutHeight);
    }
    SetLayerMouseAttached(true);
    currentBoard_ = 1;
    session_.SetCurrentBoard(1);
    if (view_) view_->BoardShown(1);
    tool_ = btNone;
    if (view_) view_->ToolReset();
    SelectBoard(1, true);
    CurrentLayer().penWidth = defPenWidth_;
    CurrentLayer().penColor = defPenColor_;
}

bool TBoardEngine::CanSendOnCurrent() const { return session_.HasBoardRight() && currentBoard_ != kPrivateBoard; }

// Inline: a replayed record's box stays in registers.
inline void TBoardEngine::AddDirty(int32_t board, TBox box) {
    if (board != currentBoard_) return;
    // A null box (as QRect's) stands for the whole layer.
    if (box.r == box.l - 1 && box.b == box.t - 1) {
        const QImage& image = layers_[size_t(board)].image;
        box = TBox{0, 0, image.width() - 1, image.height() - 1};
    }
    // Qt's union, out of line, done here where it is plain: an empty sum (the window takes it at
    // every change) becomes the box, two proper boxes join by their extremes.
    const int dl = dirty_.left(), dt = dirty_.top(), dr = dirty_.right(), db = dirty_.bottom();
    if (dr == dl - 1 && db == dt - 1)
        dirty_.setCoords(box.l, box.t, box.r, box.b);
    else if (box.l <= box.r && box.t <= box.b && dl <= dr && dt <= db)
        dirty_.setCoords(std::min(dl, box.l), std::min(dt, box.t), std::max(dr, box.r), std::max(db, box.b));
    else
        dirty_ |= QRect(QPoint(box.l, box.t), QPoint(box.r, box.b));
}

void TBoardEngine::Changed(int32_t board, QRect rect) {
    AddDirty(board, TBox{rect.left(), rect.top(), rect.right(), rect.bottom()});
    if (view_) view_->LayerChanged(board);
}

QRect TBoardEngine::TakeDirty() {
    const QRect d = dirty_;
    dirty_ = QRect();
    const QImage& image = CurrentLayer().image;
    const int w = image.width(), h = image.height();
    // Qt's intersection where it is plain (proper rectangles; none when they do not meet).
    if (d.left() <= d.right() && d.top() <= d.bottom() && w > 0 && h > 0) {
        const int l = std::max(d.left(), 0), t = std::max(d.top(), 0);
        const int r = std::min(d.right(), w - 1), b = std::min(d.bottom(), h - 1);
        return l > r || t > b ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
    }
    return d & image.rect();
}

// Inline everywhere: the box stays in registers.
[[gnu::always_inline]] inline TBoardEngine::TBox TBoardEngine::StrokeBox(int32_t board, uint8_t tool, int penWidth,
                                                                          QPoint p1, QPoint p2, bool local) const {
    const TBoardLayer& layer = layers_[size_t(board)];
    const int pen = std::max(1, penWidth) / 2 + 2;
    // QRect(a, b).normalized() widened by pad on every side: normalized() turns a side that runs
    // backwards (b < a) into b + 1 .. a - 1, which min and max give without a branch.
    auto box = [](QPoint a, QPoint b, int pad) {
        return TBox{std::min(a.x(), b.x() + 1) - pad, std::min(a.y(), b.y() + 1) - pad,
                    std::max(b.x(), a.x() - 1) + pad, std::max(b.y(), a.y() - 1) + pad};
    };
    switch (tool) {
    case btLine:
    case btRectangle:
    case btEllipse:
    case btRoundRect:
    case btAreaEraser: return box(p1, p2, pen);
    case btCircle: {
        const double dx = p1.x() - p2.x(), dy = p1.y() - p2.y();
        const int r = int(std::sqrt(dx * dx + dy * dy)) + pen;
        return TBox{p1.x() - r, p1.y() - r, p1.x() + r, p1.y() + r};
    }
    case btFreeHand:
    case btHighlighter: {
        const int pad = std::max(std::max(1, penWidth) + 1, tool == btHighlighter ? 15 : 2) / 2 + 2;
        return box(local ? localLast_ : remoteLast_, p1, pad);
    }
    case btEraser: return box(layer.penPos, p1, pen);
    case btMarkStamp: return TBox{p1.x(), p1.y(), p1.x() + 25, p1.y() + 25};
    case btAxes4:
    case btAxes1: {
        // Both boxes are proper (60 wide at least): their union is their extremes.
        const TBox a = box(p1, p2, 30), b = box(QPoint(p1.x(), p2.y()), QPoint(p1.x(), p2.y()), 30);
        return TBox{std::min(a.l, b.l), std::min(a.t, b.t), std::max(a.r, b.r), std::max(a.b, b.b)};
    }
    case btNone:
    case btText:
    case btPlaceBitmap:
    case btMoveTo: return TBox{p1.x(), p1.y(), p1.x(), p1.y()};
    default: return TBox{0, 0, -1, -1};  // fills: the whole board (QRect's null rectangle)
    }
}

QRect TBoardEngine::StrokeBounds(int32_t board, uint8_t tool, QPoint p1, QPoint p2, bool local) const {
    const TBox b = StrokeBox(board, tool, layers_[size_t(board)].penWidth, p1, p2, local);
    return QRect(QPoint(b.l, b.t), QPoint(b.r, b.b));
}

void TBoardEngine::SelectBoard(int32_t board, bool announce) {
    if (view_) view_->ShowWhiteboardView();
    if (session_.HasBoardRight() && board != kPrivateBoard && announce && IsSharedBoard(board)) {
        session_.SendViewMode(0);
        if (session_.Connected()) session_.SendMessage(vkSelectBoard, BuildBoardNumberBody(board));
    }
    if (board == currentBoard_ || board < 0 || board >= kBoardCount) return;
    if (drawing_ || pending_.size() >= 2) {
        // A drag cut short by a change of board (or by a replay just before it): what it drew on
        // the old board goes out now, under the old board's number.
        FlushStrokes();
        drawing_ = false;
    }
    TBoardLayer& from = CurrentLayer();
    TBoardLayer& to = layers_[size_t(board)];
    to.penColor = from.penColor;
    to.penWidth = from.penWidth;
    to.penStyle = from.penStyle;
    to.brushColor = from.brushColor;
    to.brushStyle = from.brushStyle;
    ClearOverlay();
    currentBoard_ = board;
    session_.SetCurrentBoard(board);
    if (view_) view_->BoardShown(board);
    tool_ = btNone;
    if (view_) view_->ToolReset();
}

TDrawState TBoardEngine::CaptureDrawState(int32_t board) const {
    const TBoardLayer& l = layers_[size_t(board)];
    return TDrawState{l.brushColor, l.brushStyle, l.penStyle, l.penWidth, l.penColor, tool_};
}

void TBoardEngine::ApplyDrawState(int32_t board, const TDrawState& s) {
    TBoardLayer& l = layers_[size_t(board)];
    l.brushColor = s.brushColor;
    l.brushStyle = s.brushStyle;
    l.penStyle = s.penStyle;
    l.penWidth = s.penWidth;
    l.penColor = s.penColor;
    tool_ = s.tool;
}

void TBoardEngine::SaveDrawState(int32_t board) {
    if (board <= 0 || board >= kBoardCount) return;
    savedDrawState_ = CaptureDrawState(board);
}

void TBoardEngine::RestoreDrawState(int32_t board) {
    if (board < 0 || board >= kBoardCount || !savedDrawState_) return;
    ApplyDrawState(board, *savedDrawState_);
}

void TBoardEngine::ApplyStrokeStyle(int32_t board, const TStrokeRecord& r) {
    TBoardLayer& l = layers_[size_t(board)];
    l.penColor = r.penColor;
    l.penWidth = r.penWidth;
    l.brushColor = r.brushColor;
    l.brushStyle = r.brushStyle;
    tool_ = r.tool;
}

void TBoardEngine::DrawShape(int32_t board, QPoint p1, bool local, PenMode mode, QPoint p2) {
    if (board < 0 || board >= kBoardCount) return;
    TBoardLayer& layer = layers_[size_t(board)];
    layer.penMode = mode;
    if (mode == PenMode::NotXor) {
        // Rubber bands live in the overlay: drawing the same band twice removes it, as not-xor would.
        ToggleRubberBand(RubberBand{board, tool_, p1, p2});
        return;
    }
    const QRect bounds = StrokeBounds(board, tool_, p1, p2, local);
    Render(layer.image, layer, tool_, p1, p2, false, local);
    if (!replaying_) EndPainter();
    if (local) {
        TStrokeRecord r;
        r.board = uint8_t(board);
        r.tool = tool_;
        r.x1 = uint16_t(p1.x());
        r.y1 = uint16_t(p1.y());
        r.x2 = uint16_t(p2.x());
        r.y2 = uint16_t(p2.y());
        r.penWidth = uint8_t(layer.penWidth);
        r.penColor = layer.penColor;
        r.brushStyle = layer.brushStyle;
        r.brushColor = layer.brushColor;
        pending_.push_back(r);
    }
    Changed(board, bounds);
}

void TBoardEngine::Render(QImage& target, TBoardLayer& canvas, uint8_t tool, QPoint p1, QPoint p2, bool overlay,
                          bool local) {
    auto painter = [&](QPainter& p, bool withBrush) { SetUpPainter(p, canvas, withBrush); };
    // On a 32-bit image shapes and lines are drawn by spans straight into its rows. Only a dotted
    // pen of one pixel (the placement frame's) goes through a painter: dots belong to one-pixel
    // pens, a wider pen draws solid whatever style the canvas kept.
    // Asked only where it decides: most records never need to know.
    auto spans = [&] { return (canvas.penStyle == PenStyle::Solid || canvas.penWidth > 1) && target.depth() == 32; };
    // Filled shapes: the outline is drawn on the box's own pixels, right and bottom edges excluded.
    auto shape = [&](QRect box, double rx, double ry, const std::function<void(QPainter&, QRect)>& draw) {
        if (box.width() <= 0 || box.height() <= 0) return;
        if (spans()) {
            EndPainter();
            DrawRoundBox(target, box.left(), box.top(), box.left() + box.width(), box.top() + box.height(), rx, ry,
                         TShapePaint{canvas.penColor, canvas.penWidth, canvas.brushStyle, canvas.brushColor});
            return;
        }
        QPainter& p = PainterOn(target);
        painter(p, true);
        draw(p, QRect(box.left(), box.top(), box.width() - 1, box.height() - 1));
    };
    switch (tool) {
    case btLine: {
        if (canvas.penWidth <= 1 && canvas.penStyle == PenStyle::Solid) {
            EndPainter();
            DrawThinLine(target, p1.x(), p1.y(), p2.x(), p2.y(), canvas.penColor);
        } else if (spans()) {
            EndPainter();
            DrawWideLine(target, p1.x(), p1.y(), p2.x(), p2.y(), canvas.penWidth, canvas.penColor);
        } else {
            QPainter& p = PainterOn(target);
            painter(p, false);
            p.drawLine(p1, p2);
        }
        if (!overlay) canvas.penPos = p2;
        break;
    }
    case btRectangle: shape(ShapeBox(p1, p2), 0, 0, [](QPainter& p, QRect r) { p.drawRect(r); }); break;
    case btEllipse: {
        const QRect box = ShapeBox(p1, p2);
        shape(box, box.width() / 2.0, box.height() / 2.0, [](QPainter& p, QRect r) { p.drawEllipse(r); });
        break;
    }
    case btRoundRect: {
        // Corner ellipse of (x1 - x2) div 2 by (y1 - y2) div 2: the same whichever way it was dragged.
        const int cw = std::abs((p1.x() - p2.x()) / 2), ch = std::abs((p1.y() - p2.y()) / 2);
        shape(ShapeBox(p1, p2), cw / 2.0, ch / 2.0,
              [&](QPainter& p, QRect r) { p.drawRoundedRect(r, cw / 2.0, ch / 2.0); });
        break;
    }
    case btCircle: {
        const double dx = p1.x() - p2.x(), dy = p1.y() - p2.y();
        const int r = int(std::trunc(std::sqrt(dx * dx + dy * dy)));
        shape(QRect(p1.x() - r, p1.y() - r, 2 * r, 2 * r), r, r, [](QPainter& p, QRect b) { p.drawEllipse(b); });
        break;
    }
    case btWhiteFill: {
        if (overlay) break;
        EndPainter();
        const QRect box = ShapeBox(p1, p2);
        FillBox(target, box.left(), box.top(), box.left() + box.width(), box.top() + box.height(), kWhite);
        break;
    }
    case btFreeHand:
    case btEraser:
    case btHighlighter:
        if (overlay) break;
        EndPainter();
        RenderFreeHand(target, canvas, tool, p1, local);
        break;
    case btFloodFill:
        EndPainter();
        if (!overlay) FloodFillSurface(target, p1.x(), p1.y(), MakeBrush(canvas.brushStyle, canvas.brushColor));
        break;
    case btAxes4:
    case btAxes1: {
        // The axes set their own colours; the canvas keeps its pen, brush and tool.
        EndPainter();
        if (tool == btAxes4) {
            DrawQuadrantGrid(target, int(std::nearbyint((p1.x() + p2.x()) / 2.0)),
                             int(std::nearbyint((p1.y() + p2.y()) / 2.0)),
                             int(std::nearbyint(std::abs(p1.x() - p2.x()) / 2.0)), 25, 0,
                             int(std::nearbyint(std::abs(p1.y() - p2.y()) / 2.0)));
        } else {
            const int w = std::abs(p1.x() - p2.x()), h = std::abs(p1.y() - p2.y());
            int quadrant = 1;
            QPoint origin = p1;
            if (w == 0 || h == 0) {
                origin = QPoint(p1.x(), p2.y());
            } else if (p1.x() < p2.x()) {
                quadrant = p2.y() < p1.y() ? 1 : 4;
            } else {
                quadrant = p2.y() < p1.y() ? 2 : 3;
            }
            DrawQuadrantGrid(target, origin.x(), origin.y(), w, 25, quadrant, h);
        }
        break;
    }
    case btMarkStamp:
        EndPainter();
        if (!overlay && p2.x() >= 0 && p2.x() < int(ilCursors24_.size())) StampAnd(target, ilCursors24_[size_t(p2.x())], p1.x(), p1.y());
        break;
    case btAreaEraser: {
        QRect box = ShapeBox(p1, p2);
        if (box.width() <= 0 || box.height() <= 0) break;
        if (!overlay && target.depth() == 32) {
            // A solid white pen of one pixel around a solid white inside: the whole box white.
            EndPainter();
            FillBox(target, box.left(), box.top(), box.left() + box.width(), box.top() + box.height(), kWhite);
            break;
        }
        QPainter& p = PainterOn(target);
        p.setRenderHint(QPainter::Antialiasing, false);
        QRect r(box.left(), box.top(), box.width() - 1, box.height() - 1);
        if (overlay) {
            p.setPen(QPen(QColor(Qt::red), 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
        } else {
            p.setPen(QPen(QColor(Qt::white), 1, Qt::SolidLine));
            p.setBrush(Qt::white);
        }
        p.drawRect(r);
        break;
    }
    default: break;  // text, none, picture placement, move-to and unused codes draw nothing
    }
}

void TBoardEngine::RenderFreeHand(QImage& target, TBoardLayer& canvas, uint8_t tool, QPoint p1, bool local) {
    const TColorRef savedColor = canvas.penColor;
    const int savedWidth = canvas.penWidth;
    QPoint& last = local ? localLast_ : remoteLast_;
    if (tool == btEraser) {
        canvas.penColor = kWhite;
        if (canvas.penWidth <= 1) {
            DrawThinLine(target, canvas.penPos.x(), canvas.penPos.y(), p1.x(), p1.y(), kWhite);
        } else if (target.depth() == 32) {  // a wide pen draws solid whatever its style
            DrawWideLine(target, canvas.penPos.x(), canvas.penPos.y(), p1.x(), p1.y(), canvas.penWidth, kWhite);
        } else {
            QPainter& p = PainterOn(target);
            SetUpPainter(p, canvas, false);
            p.drawLine(canvas.penPos, p1);
        }
        canvas.penPos = p1;
    } else if (tool == btFreeHand && canvas.penWidth == 1) {
        FlushAirRun();
        DrawSmoothLine(target, last.x(), last.y(), p1.x(), p1.y(), canvas.penColor);
    } else {
        if (tool == btHighlighter) {
            airBrush_.SetSize(15);
            airBrush_.SetIntensity(6);
        } else {
            airBrush_.SetSize(canvas.penWidth + 1);
            airBrush_.SetIntensity(canvas.penWidth < 2 ? 100 : 50);
        }
        airBrush_.SetColor(canvas.penColor);
        // A replayed stroke's airbrush lines are kept and blended together: their dabs
        // overlap, and each pixel is then blended once (ReplayStrokes flushes them).
        bool deferred = false;
        if (!local && replaying_) {
            airRun_ = true;
            deferred = airBrush_.DeferLine(target, last.x(), last.y(), p1.x(), p1.y());
        }
        if (!deferred) airBrush_.DabLine(target, last.x(), last.y(), p1.x(), p1.y());
    }
    last = p1;
    canvas.penColor = savedColor;
    canvas.penWidth = savedWidth;
}

QPainter& TBoardEngine::PainterOn(QImage& target) {
    if (painter_ && painterTarget_ != &target) EndPainter();
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&target);
        painterTarget_ = &target;
    }
    return *painter_;
}

void TBoardEngine::ClosePainter() {
    painter_.reset();
    painterTarget_ = nullptr;
}

void TBoardEngine::ClearOverlay() {
    if (overlay_.size() != CurrentLayer().image.size()) {
        overlay_ = QImage(CurrentLayer().image.size(), QImage::Format_ARGB32);
        overlay_.fill(Qt::transparent);
        band_.reset();
        bandRect_ = QRect();
        overlayDirty_ = overlay_.rect();
        if (view_) view_->OverlayChanged();
        return;
    }
    if (!band_) return;
    band_.reset();
    // Only the band's own area is wiped: a rubber band costs its size, not the board's.
    const QRect r = bandRect_ & overlay_.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(reinterpret_cast<QRgb*>(overlay_.scanLine(y)) + r.left(), 0, size_t(r.width()) * sizeof(QRgb));
    overlayDirty_ |= r;
    bandRect_ = QRect();
    if (view_) view_->OverlayChanged();
}

QRect TBoardEngine::TakeOverlayDirty() {
    const QRect r = overlayDirty_;
    overlayDirty_ = QRect();
    return r;
}

void TBoardEngine::ToggleRubberBand(const RubberBand& band) {
    EndPainter();
    const bool same = band_ && *band_ == band;
    ClearOverlay();
    if (same || band.board != currentBoard_) return;
    TBoardLayer& canvas = layers_[size_t(band.board)];
    QRect bounds;
    if (band.tool == btPlaceBitmap) {
        if (placement_.isNull()) return;
        QPainter p(&overlay_);
        p.setPen(QPen(QColor(Qt::black), 1, placementDotted_ ? Qt::DotLine : Qt::SolidLine));
        const QRect frame = QRect(band.p1, placement_.size()).adjusted(0, 0, -1, -1);
        p.drawRect(frame);
        bounds = frame.adjusted(-1, -1, 2, 2);
    } else {
        Render(overlay_, canvas, band.tool, band.p1, band.p2, true, true);
        EndPainter();
        bounds = StrokeBounds(band.board, band.tool, band.p1, band.p2, true);
        if (bounds.isNull()) bounds = overlay_.rect();
    }
    band_ = band;
    bounds &= overlay_.rect();
    bandRect_ = bounds;
    // What was drawn shows as not-xor over the board: NOT (pen XOR board), so a band is visible on
    // any colour (and shows in its own colour on white).
    const QImage& board = canvas.image;
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        QRgb* o = reinterpret_cast<QRgb*>(overlay_.scanLine(y));
        const QRgb* b = reinterpret_cast<const QRgb*>(board.constScanLine(y));
        for (int x = bounds.left(); x <= bounds.right(); ++x)
            if (qAlpha(o[x]) != 0) o[x] = 0xFF000000u | (~(o[x] ^ b[x]) & 0x00FFFFFFu);
    }
    overlayDirty_ |= bounds;
    if (view_) view_->OverlayChanged();
}

void TBoardEngine::ReplayStrokes(std::span<const TStrokeRecord> records) {
    const QPoint keptPen = CurrentLayer().penPos;
    const bool localDrag = drawing_;
    replaying_ = true;
    // No record resizes a layer: the bounds of the clamp are read once for each board in turn.
    int32_t sized = -1;
    int width = 0, height = 0;
    // Each record draws in its own pen, brush and tool. The layers' own come back when the records
    // are done: nothing looks at them between two records, and the view, told of a change, sees
    // the record's either way. Kept by value, so a text entry's or a placement's saved state stays
    // intact.
    struct Kept {
        TDrawState state;
        PenMode mode;
    };
    std::array<Kept, kBoardCount> kept;
    unsigned keptBoards = 0;
    const uint8_t keptTool = tool_;
    for (const TStrokeRecord& r : records) {
        const int32_t board = r.board;
        if (!IsSharedBoard(board)) continue;
        // Airbrush lines kept so far are drawn before any record that may draw or read pixels.
        if (r.tool != btHighlighter && r.tool != btFreeHand && r.tool != btMoveTo) FlushAirRun();
        TBoardLayer& layer = layers_[size_t(board)];
        if (board != sized) {
            sized = board;
            width = layer.image.width();
            height = layer.image.height();
        }
        const QPoint p1(std::clamp<int>(r.x1, 0, width), std::clamp<int>(r.y1, 0, height));
        if (r.tool == btMoveTo) {
            layer.penPos = p1;
            remoteLast_ = p1;
            continue;
        }
        const QPoint p2 = r.tool == btMarkStamp
                              ? QPoint(r.x2, r.y2)
                              : QPoint(std::clamp<int>(r.x2, 0, width), std::clamp<int>(r.y2, 0, height));
        drawing_ = true;
        if (!(keptBoards & (1u << board))) {
            keptBoards |= 1u << board;
            kept[size_t(board)] = Kept{CaptureDrawState(board), layer.penMode};
        }
        layer.penColor = r.penColor;
        layer.penWidth = r.penWidth;
        layer.brushColor = r.brushColor;
        layer.brushStyle = r.brushStyle;
        layer.penMode = PenMode::Copy;
        tool_ = r.tool;
        // DrawShape's own road for a received record (copy mode, not local); the painter stays open.
        // The box joins the dirty sum before the drawing, which moves the points it is taken from;
        // the view hears of the change after it.
        AddDirty(board, StrokeBox(board, r.tool, r.penWidth, p1, p2, false));
        if (IsFreeHandTool(r.tool)) {
            // Most records: straight to Render's free-hand road.
            EndPainter();
            RenderFreeHand(layer.image, layer, r.tool, p1, false);
        } else {
            Render(layer.image, layer, r.tool, p1, p2, false, false);
        }
        if (view_) view_->LayerChanged(board);
    }
    for (int32_t board = kFirstSharedBoard; board <= kLastSharedBoard; ++board) {
        if (!(keptBoards & (1u << board))) continue;
        ApplyDrawState(board, kept[size_t(board)].state);
        layers_[size_t(board)].penMode = kept[size_t(board)].mode;
    }
    if (keptBoards) tool_ = keptTool;
    FlushAirRun();
    replaying_ = false;
    EndPainter();
    // A replay ends a local drag: it draws nothing more until the next mouse-down, and its rubber
    // band, which is not part of the board, goes away.
    drawing_ = false;
    if (localDrag) ClearOverlay();
    CurrentLayer().penPos = keptPen;
}

void TBoardEngine::ClearBoard(int32_t board) {
    if (board < 0 || board >= kBoardCount) return;
    if (!drawing_) {
        pending_.assign(1, MakeMoveTo(board, 0, 0, 0, 0));
    } else if (board == currentBoard_) {
        // The drag goes on over the wiped board: what it drew before is gone here and was never
        // sent, so the outgoing stroke restarts where the drag is now.
        pending_.assign(1, MakeMoveTo(board, localLast_.x(), localLast_.y(), localLast_.x(), localLast_.y()));
    }
    // A clear of another board leaves the drag's outgoing stroke alone.
    const TDrawState kept = CaptureDrawState(board);
    TBoardLayer& layer = layers_[size_t(board)];
    tool_ = btWhiteFill;
    layer.brushStyle = bsSolid;
    layer.brushColor = kWhite;
    layer.image = NewBoardImage(kLayoutWidth, kLayoutHeight);
    ApplyDrawState(board, kept);
    PaintBoardWhite(board);
    if (board == currentBoard_) ClearOverlay();
    Changed(board);
}

void TBoardEngine::ClearBoardForAll(int32_t board) {
    if (board < 0 || board >= kBoardCount) return;
    pending_.assign(1, MakeMoveTo(board, 0, 0, 0, 0));
    const TDrawState kept = CaptureDrawState(board);
    TBoardLayer& layer = layers_[size_t(board)];
    tool_ = btWhiteFill;
    layer.brushStyle = bsSolid;
    layer.brushColor = kWhite;
    layer.image = NewBoardImage(kLayoutWidth, kLayoutHeight);
    DrawShape(board, QPoint(0, 0), false, PenMode::Copy, QPoint(layer.image.width(), layer.image.height()));
    ApplyDrawState(board, kept);
    if (board == currentBoard_) ClearOverlay();
    if (IsSharedBoard(board) && session_.Connected()) session_.SendMessage(vkClearBoard, BuildBoardNumberBody(board));
}

void TBoardEngine::PaintBoardWhite(int32_t board) {
    if (board < 0 || board >= kBoardCount) return;
    const TDrawState kept = CaptureDrawState(board);
    TBoardLayer& layer = layers_[size_t(board)];
    layer.brushStyle = bsSolid;
    layer.brushColor = kWhite;
    tool_ = btAreaEraser;
    const PenMode keptMode = layer.penMode;
    DrawShape(board, QPoint(0, 0), false, PenMode::Copy, QPoint(layer.image.width(), layer.image.height()));
    layer.penMode = keptMode;
    ApplyDrawState(board, kept);
}

void TBoardEngine::FlushStrokes() {
    if (pending_.size() < 2) return;
    if (session_.Connected() && session_.HasBoardRight() && IsSharedBoard(currentBoard_))
        session_.SendMessage(vkBoardStrokes, BuildBoardStrokesBody(currentBoard_, pending_));
    pending_.clear();
}

void TBoardEngine::ShowBoardPointer(int x, int y, bool scroll, int pointerType) {
    pointerType_ = pointerType;
    pointerPos_ = QPoint(x, y);
    if (view_) view_->PointerChanged(pointerType, x, y, scroll);
}

QImage TBoardEngine::GetMarkBitmap(int index) const {
    if (index < 0 || index >= int(ilCursors24_.size())) return {};
    return ilCursors24_[size_t(index)].copy();
}

bool TBoardEngine::LoadMarkCursor(int n, QImage& picture, QImage& mask) const {
    if (n < 0 || n + 1 >= int(ilCursors24_.size())) return false;
    picture = GetMarkBitmap(n);
    mask = GetMarkBitmap(n + 1);
    return true;
}

void TBoardEngine::SetLayerMouseAttached(bool attached) {
    mouseAttached_ = attached;
    if (view_) view_->MouseAttached(attached);
}

void TBoardEngine::GrowLayer(int32_t board, int64_t right, int64_t bottom) {
    TBoardLayer& layer = layers_[size_t(board)];
    const int w = int(std::clamp<int64_t>(right, layer.image.width(), std::max(layer.image.width(), kMaxBoardWidth)));
    const int h = int(std::clamp<int64_t>(bottom, layer.image.height(), std::max(layer.image.height(), kMaxBoardHeight)));
    if (w == layer.image.width() && h == layer.image.height()) return;
    QImage grown = NewBoardImage(w, h);
    {
        QPainter p(&grown);
        p.drawImage(0, 0, layer.image);
    }
    layer.image = std::move(grown);
    if (board == currentBoard_) ClearOverlay();
}

void TBoardEngine::DrawPictureAt(int32_t board, const QImage& picture, int left, int top) {
    QPainter p(&layers_[size_t(board)].image);
    p.drawImage(left, top, picture);
}

void TBoardEngine::DrawBoardText(int32_t board, const TBoardTextObject& text) {
    if (board < 0 || board >= kBoardCount) return;
    // The text brings its own font and colour and is drawn without a background; the layer's pen,
    // brush and font stay the local user's.
    TBoardLayer& layer = layers_[size_t(board)];
    QFont font(QString::fromStdString(text.fontName));
    // Points at 96 dots per inch; a negative size is a pixel height.
    int64_t pixels = text.fontSize >= 0 ? (int64_t(text.fontSize) * 96 + 36) / 72 : -int64_t(text.fontSize);
    font.setPixelSize(int(std::clamp<int64_t>(pixels, 1, kMaxFontPoints * 96 / 72)));
    const QRect image = layer.image.rect();
    const int64_t l = text.left, t = text.top, r = text.right, b = text.bottom;
    if (r <= l || b <= t || r <= 0 || b <= 0 || l >= image.width() || t >= image.height()) {
        Changed(board);
        return;
    }
    // The rectangle is kept within a margin of the board so no layout runs on far-off coordinates.
    const int64_t lim = 1 << 20;
    const QRect rect(int(std::max<int64_t>(l, -lim)), int(std::max<int64_t>(t, -lim)),
                     int(std::min<int64_t>(r, lim) - std::max<int64_t>(l, -lim)),
                     int(std::min<int64_t>(b, lim) - std::max<int64_t>(t, -lim)));
    QPainter p(&layer.image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(font);
    p.setPen(QColor(ColorRefToRgb(text.fontColor)));
    p.setClipRect(rect);
    p.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs,
               QString::fromStdU16String(text.text));
    p.end();
    Changed(board);
}

bool TBoardEngine::DrawBoardPicture(int32_t board, int left, int top, std::span<const uint8_t> jpeg, PictureMode mode) {
    if (board < 0 || board >= kBoardCount) return false;
    const QImage picture = DecodePicture(jpeg);
    if (picture.isNull()) return false;
    switch (mode) {
    case PictureMode::Place:
    case PictureMode::Item:
        if (mode == PictureMode::Place && board != currentBoard_) SelectBoard(board, false);
        // The layer must reach the picture's right and bottom edges, not only its size.
        GrowLayer(board, int64_t(left) + picture.width(), int64_t(top) + picture.height());
        DrawPictureAt(board, picture, left, top);
        break;
    case PictureMode::Slide:
    case PictureMode::SlideItem:
        if (mode == PictureMode::Slide) SelectBoard(board, false);
        GrowLayer(board, picture.width(), picture.height());
        PaintBoardWhite(board);
        DrawPictureAt(board, picture, 0, 0);
        break;
    }
    Changed(board);
    return true;
}

void TBoardEngine::ReplayBoardFile(const TVCRHeader& header, std::span<const uint8_t> body) {
    if (header.result != 0) return;
    ByteReader in(body);
    TResourceInfo res;
    if (!TResourceInfo::Decode(in, res) || res.fileSize < 0 || size_t(res.fileSize) > in.remaining()) return;
    std::span<const uint8_t> file = in.view(size_t(res.fileSize));
    if (header.kind == vkDownloadBoardImage || header.kind == vkDownloadSlide) {
        QImage picture = DecodePicture(file);
        if (!picture.isNull()) {
            // The layer takes the picture's size, within the board cap.
            TBoardLayer& layer = CurrentLayer();
            layer.image = NewBoardImage(std::min(picture.width(), kMaxBoardWidth),
                                        std::min(picture.height(), kMaxBoardHeight));
            DrawPictureAt(currentBoard_, picture, 0, 0);
            ClearOverlay();
            Changed(currentBoard_);
        }
    } else {
        const std::string folder = session_.TempFolder();
        if (!folder.empty()) {
            const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch()).count();
            std::string path = (folder + "tmp" + std::to_string(tick) + ".jpg").substr(0, 200);
            std::remove(path.c_str());
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        }
    }
    session_.PostBoardUpdated(0);
}

bool TBoardEngine::SendBoardImage(const QImage& picture, QRect rect) {
    if (!session_.Connected()) return false;
    session_.ClearStatusIcons();
    if (picture.isNull()) return false;
    Bitmap bitmap;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    bitmap.width = rgb.width();
    bitmap.height = rgb.height();
    bitmap.rgb.resize(size_t(bitmap.width) * size_t(bitmap.height) * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(bitmap.rgb.data() + size_t(y) * size_t(bitmap.width) * 3, rgb.constScanLine(y),
                    size_t(bitmap.width) * 3);
    std::vector<uint8_t> jpeg;
    if (!BitmapToJpeg(bitmap, 60, jpeg)) return false;
    TBoardImageInfo info;
    info.board = currentBoard_;
    info.left = rect.left();
    info.top = rect.top();
    info.right = rect.left() + rect.width();
    info.bottom = rect.top() + rect.height();
    session_.SendMessage(vkBoardImage, BuildBoardImageBody(currentBoard_, info, jpeg));
    return true;
}

void TBoardEngine::SendBoardText(const std::u16string& text, const TBoardFont& font, int32_t board, QRect rect) {
    if (!session_.Connected()) return;
    TBoardTextObject t;
    t.board = board;
    t.left = rect.left();
    t.top = rect.top();
    t.right = rect.left() + rect.width();
    t.bottom = rect.top() + rect.height();
    t.fontName = font.name;
    t.fontSize = font.size;
    t.fontColor = font.color;
    t.text = text;
    session_.SendMessage(vkBoardText, BuildBoardTextBody(t));
}

void TBoardEngine::SendBoardPointer(int x, int y, int pointerType) {
    if (session_.Connected())
        session_.SendMessage(vkBoardPointer, BuildBoardPointerBody(x, y, currentBoard_, pointerType));
}

void TBoardEngine::SendCurrentBoard() {
    if (session_.Connected()) session_.SendMessage(vkCurrentBoard, BuildBoardNumberBody(currentBoard_));
}

bool TBoardEngine::SendSlideToBoard(const TResourceInfo* presentation, int32_t slide,
                                    const std::function<bool()>& askPrivate,
                                    const std::function<QImage()>& privatePicture) {
    if (session_.PlaybackMode() || !session_.Connected()) return false;
    if (session_.OwnLevel1() < 1000 && currentBoard_ > 0) {
        if (!askPrivate || !askPrivate()) return false;
        // The private board never travels: the slide is opened here from our own copy, and the
        // room is not asked to show it to everybody.
        SelectBoard(kPrivateBoard, true);
        const QImage picture = privatePicture ? privatePicture() : QImage();
        if (picture.isNull()) return false;
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
        GrowLayer(kPrivateBoard, rgb.width(), rgb.height());
        PaintBoardWhite(kPrivateBoard);
        DrawPictureAt(kPrivateBoard, rgb, 0, 0);
        Changed(kPrivateBoard);
        return true;
    }
    if (!presentation) return false;
    session_.ClearStatusIcons();
    session_.SendMessage(vkSlideToBoard, BuildSlideToBoardBody(currentBoard_, *presentation, slide));
    return true;
}

void TBoardEngine::PutPicture(int32_t board, const QImage& picture, int left, int top) {
    if (board < 0 || board >= kBoardCount || picture.isNull()) return;
    GrowLayer(board, int64_t(left) + picture.width(), int64_t(top) + picture.height());
    DrawPictureAt(board, picture.convertToFormat(QImage::Format_RGB32), left, top);
    Changed(board);
}

bool TBoardEngine::SendLibraryImageToBoard(const TResourceInfo& resource) {
    if (session_.PlaybackMode() || !session_.Connected()) return false;
    session_.ClearStatusIcons();
    session_.SendMessage(vkLibraryImageToBoard, BuildLibraryImageToBoardBody(currentBoard_, resource));
    return true;
}

void TBoardEngine::BeginPlacement(const QImage& picture, bool dottedFrame) {
    if (picture.isNull()) return;
    SaveDrawState(currentBoard_);
    placement_ = picture.convertToFormat(QImage::Format_RGB32);
    placementDotted_ = dottedFrame;
    tool_ = btPlaceBitmap;
    TBoardLayer& layer = CurrentLayer();
    layer.penPos = QPoint(0, 0);
    layer.penWidth = 1;
    layer.penColor = kBlack;
    startPoint_ = QPoint(0, 0);
    currentPoint_ = QPoint(0, 0);
    DrawShape(currentBoard_, startPoint_, false, PenMode::NotXor, startPoint_);
}

void TBoardEngine::Image5MouseDown(MouseButton button, int x, int y) {
    pending_.clear();
    pointerDrag_ = false;
    if (button == MouseButton::Right && tool_ != btPlaceBitmap) {
        if (!CanSendOnCurrent()) return;
        pointerDrag_ = true;
        int type = 2;
        if (!ptRight_) {
            if (ptLeft_) type = 1;
            else ptRight_ = true;
        }
        SendBoardPointer(x, y, type);
        ShowBoardPointer(x, y, false, type);
        return;
    }
    if (tool_ == btText) {
        if (view_) view_->StartTextEdit(x, y);
        return;
    }
    if (tool_ == btNone) return;
    if (tool_ == btPlaceBitmap) {
        ClearOverlay();
        if (button == MouseButton::Left && !placement_.isNull()) {
            GrowLayer(currentBoard_, int64_t(x) + placement_.width(), int64_t(y) + placement_.height());
            DrawPictureAt(currentBoard_, placement_, x, y);
            Changed(currentBoard_);
            if (CanSendOnCurrent())
                SendBoardImage(placement_, QRect(x, y, placement_.width(), placement_.height()));
        }
        RestoreDrawState(currentBoard_);
        tool_ = btNone;
        placement_ = QImage();
        if (view_) view_->ToolReset();
        return;
    }
    const QPoint p = MapBoardPoint(x, y, CurrentLayer().image.size(), snap_, gridSize_, tool_, MouseStage::Down);
    localLast_ = startPoint_ = currentPoint_ = p;
    drawing_ = true;
    CurrentLayer().penPos = p;
    pending_.assign(1, MakeMoveTo(currentBoard_, p.x(), p.y(), p.x(), p.y()));
}

void TBoardEngine::Image5MouseMove(bool, bool rightHeld, int x, int y) {
    if (rightHeld && pointerDrag_) {
        const int type = (ptLeft_ && !ptRight_) ? 1 : 2;
        if (CanSendOnCurrent()) {
            SendBoardPointer(x, y, type);
            ShowBoardPointer(x, y, false, type);
        }
        return;
    }
    if (tool_ == btPlaceBitmap) {
        DrawShape(currentBoard_, startPoint_, false, PenMode::NotXor, startPoint_);
        startPoint_ = QPoint(x, y);
        DrawShape(currentBoard_, startPoint_, false, PenMode::NotXor, startPoint_);
        return;
    }
    if (!drawing_) return;
    const QPoint p = MapBoardPoint(x, y, CurrentLayer().image.size(), snap_, gridSize_, tool_, MouseStage::Move);
    if (IsFreeHandTool(tool_)) {
        currentPoint_ = p;
        DrawShape(currentBoard_, p, true, PenMode::Copy, p);
    } else {
        DrawShape(currentBoard_, startPoint_, true, PenMode::NotXor, currentPoint_);
        currentPoint_ = p;
        DrawShape(currentBoard_, startPoint_, true, PenMode::NotXor, currentPoint_);
    }
}

void TBoardEngine::Image5MouseUp(MouseButton button, int x, int y) {
    if (pointerDrag_ && button == MouseButton::Right) {
        if (CanSendOnCurrent()) {
            SendBoardPointer(x, y, 0);
            ShowBoardPointer(x, y, false, 0);
        }
        pointerDrag_ = false;
        return;
    }
    if (tool_ == btText || tool_ == btNone) return;
    if (tool_ == btPlaceBitmap) {
        tool_ = btNone;
        return;
    }
    if (drawing_) {
        const QPoint p = MapBoardPoint(x, y, CurrentLayer().image.size(), snap_, gridSize_, tool_, MouseStage::Up);
        ClearOverlay();
        if (tool_ == btMarkStamp) {
            DrawShape(currentBoard_, startPoint_, true, PenMode::Copy, QPoint(markTag_ + 1, 0));
        } else if (!IsFreeHandTool(tool_)) {
            DrawShape(currentBoard_, startPoint_, true, PenMode::Copy, p);
        }
        drawing_ = false;
        localLast_ = p;
    }
    if (currentBoard_ > 0 && session_.HasBoardRight()) FlushStrokes();
    if (tool_ == btAxes4 || tool_ == btAxes1) {
        tool_ = btNone;
        if (view_) view_->ToolReset();
    }
}

}  // namespace orb::board
