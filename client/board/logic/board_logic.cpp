#include "board/logic/board_logic.h"

#include <algorithm>
#include <cmath>

#include "boardmsg/board_records.h"

namespace orb::board {

int SnapExtra(uint8_t tool, MouseStage stage) {
    switch (stage) {
    case MouseStage::Down: return 0;
    case MouseStage::Move: return tool == btRectangle || tool == btRoundRect ? 1 : 0;
    case MouseStage::Up: return tool == btRectangle || tool == btRoundRect || tool == btAreaEraser ? 1 : 0;
    }
    return 0;
}

QPoint MapBoardPoint(int x, int y, QSize layer, bool snap, int grid, uint8_t tool, MouseStage stage) {
    int px = std::clamp(x, 0, std::max(0, layer.width()));
    int py = std::clamp(y, 0, std::max(0, layer.height()));
    if (snap && grid > 0) {
        const int extra = SnapExtra(tool, stage);
        // nearbyint rounds halves to even in the default rounding mode.
        auto round = [&](int v) { return int(std::nearbyint(double(v) / grid)) * grid + extra; };
        px = round(px);
        py = round(py);
    }
    return QPoint(px, py);
}

const std::array<TToolButton, 14>& ToolButtons() {
    using C = LayerCursor;
    using S = SnapChange;
    static const std::array<TToolButton, 14> kButtons{{
        {"sb_Tool_Select", "Nothing", "\u2196", btNone, C::Arrow, S::Unchanged},
        {"sb_Tool_Line", "Draw a Straight Line", "/", btLine, C::Cross, S::Unchanged},
        {"sb_Tool_Rect", "Draw a Rectangle", "\u25AD", btRectangle, C::Cross, S::Unchanged},
        {"sb_Tool_Circle", "Draw a Circle", "\u25CB", btCircle, C::Cross, S::Unchanged},
        {"sb_Tool_Ellips", "Draw an oval", "\u2B2D", btEllipse, C::Cross, S::Unchanged},
        {"sb_Tool_FreeHand", "Handwriting Tool", "\u270E", btFreeHand, C::Pen, S::Clear},
        {"sb_Tool_HighLite", "Highlight", "H", btHighlighter, C::Pen, S::Clear},
        {"sb_Tool_Text", "Text Rectangle Tool", "T", btText, C::IBeam, S::Unchanged},
        {"SpeedButton1", "Single quandrant coordinate system", "\u2514", btAxes1, C::Cross, S::Set},
        {"SpeedButton2", "4 quandrant coordinate system", "\u253C", btAxes4, C::Cross, S::Set},
        {"sb_Tool_Fill", "Fill area tool", "\u25A7", btFloodFill, C::Unchanged, S::Clear},
        {"sb_Tool_Rubber", "Freehand Eraser Tool", "E", btEraser, C::Pen, S::Clear},
        {"sb_Tool_AreaEraser", "Rectangular Area Eraser Tool", "\u2B1A", btAreaEraser, C::Cross, S::Unchanged},
        {"CursorButton", "Mark Tool. Select a mark tool and click on the whiteboard to place a mark.", "\u2714",
         btMarkStamp, C::Mark, S::Clear},
    }};
    return kButtons;
}

const TToolButton* FindToolButton(uint8_t code) {
    for (const TToolButton& b : ToolButtons())
        if (b.code == code) return &b;
    return nullptr;
}

TToolOptions ShowToolOptions(uint8_t tool) {
    TToolOptions o;
    o.lineWidth = tool <= 4 || tool == 7 || tool == 10;
    o.lineColor = tool <= 4 || tool == 7 || tool == 12;
    o.fill = (tool >= 1 && tool <= 3) || tool == 7 || tool == 9;
    return o;
}

const std::array<TMarkItem, 5>& MarkItems() {
    static const std::array<TMarkItem, 5> kItems{{
        {"Green Check Mark", 3}, {"Red Check Mark", 5}, {"Smily Face", 1}, {"Blue Star", 9}, {"Red X", 11}}};
    return kItems;
}

bool NeedsFitQuestion(QSize picture, QSize layer) {
    return picture.width() > layer.width() || picture.height() > layer.height();
}

QSize ShrinkToFit(QSize picture, QSize layer) {
    if (picture.width() <= 0 || picture.height() <= 0 || layer.width() <= 0 || layer.height() <= 0) return picture;
    const double ratio = double(picture.width()) / double(picture.height() + 1);
    const double sx = double(layer.width()) / picture.width(), sy = double(layer.height()) / picture.height();
    int w, h;
    if (sx <= sy) {
        w = layer.width();
        h = int(std::lround(w / ratio));
    } else {
        h = layer.height();
        w = int(std::lround(h * ratio));
    }
    return QSize(std::clamp(w, 1, layer.width()), std::clamp(h, 1, layer.height()));
}

QRect CaptureArea(QPoint a, QPoint b, QRect screen) {
    const int l = std::min(a.x(), b.x()), r = std::max(a.x(), b.x());
    const int t = std::min(a.y(), b.y()), btm = std::max(a.y(), b.y());
    // Right and bottom are exclusive: a drag from 100 to 300 takes 200 pixels.
    const QRect area = QRect(l, t, r - l, btm - t) & screen;
    return area.width() > 0 && area.height() > 0 ? area : QRect();
}

QPoint TextEntryOrigin(int x, int y, QPoint scroll) { return QPoint(x + 5 - scroll.x(), y - 5 - scroll.y()); }

QRect TextEntryToLayer(QRect panel, QPoint scroll) {
    const int l = panel.left() + scroll.x() - 5, t = panel.top() + scroll.y() - 5;
    return QRect(l, t, panel.width(), panel.height());
}

QPoint NextTextEntryPoint(QRect panel, QPoint scroll) {
    return QPoint(panel.left() + scroll.x() - 5, panel.top() + panel.height() + scroll.y() + 2);
}

QSize TextEntrySize(int fontSize, bool empty, QSize measured) {
    if (empty) return QSize(fontSize + 5, fontSize + 7);
    return QSize(fontSize + measured.width() + 5, measured.height() + 2);
}

QString SafeLibraryFileName(const QString& name, const QString& extension) {
    QString base = name;
    const qsizetype cut = std::max(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) base = base.mid(cut + 1);
    QString clean;
    for (QChar c : base) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("<>:\"|?*").contains(c)) clean += QLatin1Char('_');
        else clean += c;
    }
    while (clean.startsWith(QLatin1Char('.')) || clean.startsWith(QLatin1Char(' '))) clean.remove(0, 1);
    clean = clean.trimmed().left(100);
    if (clean.isEmpty()) clean = QStringLiteral("image");
    QString ext;
    for (QChar c : extension)
        if (c.unicode() < 128 && c.isLetterOrNumber()) ext += c.toLower();
    ext = ext.left(8);
    if (ext.isEmpty()) ext = QStringLiteral("jpg");
    if (clean.endsWith(QLatin1Char('.') + ext, Qt::CaseInsensitive)) return clean;
    return clean + QLatin1Char('.') + ext;
}

uint8_t NextAntPattern(uint8_t pattern) { return (pattern & 0x7F) == 0 ? 1 : uint8_t(pattern << 1); }

uint8_t NextAntPhase(uint8_t phase) { return phase < 4 ? 128 : uint8_t(phase >> 2); }

}  // namespace orb::board
