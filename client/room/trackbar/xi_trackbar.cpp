#include "trackbar/xi_trackbar.h"

#include <QMouseEvent>
#include <QPainter>

using namespace orb::room;

namespace {

QColor Bgr(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

uint32_t ButtonFace() {
    QColor c = QPalette().color(QPalette::Button);
    return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

// Per scheme (csDesert .. csSun): tick, slide border/face/grad, thumb border/face/grad, over
// border/face/grad, down border/face/grad.
constexpr uint32_t kSchemes[6][13] = {
    {0x006A9D, 0x0082BF, 0x28B9FF, 0xBBE9FF, 0x005B88, 0x8CDAFF, 0x0093D9, 0x005680, 0x5ECBFF, 0x007BB7, 0x005680,
     0x0083C1, 0x1AB5FF},
    {0x1D9A4B, 0x20A452, 0x3ED978, 0xC1F4D6, 0x126732, 0x82E8AA, 0x21AB55, 0x156F37, 0x7CE7A7, 0x1E954A, 0x156F37,
     0x20A251, 0x5EE193},
    {0x888888, 0x727272, 0xC0C0C0, 0xEAEAEA, 0x616161, 0xE1E1E1, 0xA3A3A3, 0x747474, 0xD1D1D1, 0x959595, 0x747474,
     0x999999, 0xC1C1C1},
    {0xC88D2D, 0xF47A00, 0xFFBA75, 0xFFE9D2, 0xC66300, 0xFFD9B3, 0xFF9224, 0xB35900, 0xFFCF9F, 0xF97C00, 0xB35900,
     0xFF8C1A, 0xFFBF80},
    {0x5B5BFF, 0x4242FF, 0x8282FF, 0xC6DBFF, 0x0000D7, 0x9DC2FF, 0x6666FF, 0x0000D7, 0x8CB8FF, 0x5151FF, 0x0000D7,
     0x6666FF, 0x8CB8FF},
    {0x00A4A4, 0x0077AA, 0x1AD9FB, 0xDAFAFE, 0x004F84, 0xC6FFFF, 0x00B8E6, 0x004F84, 0x6AFFFF, 0x009CC4, 0x004F84,
     0x00B8E6, 0x91E9FF},
};

// Lines across a box from one colour to another; `acrossX` steps along x (one vertical line each).
void Gradient(QPainter& p, const TBox& b, uint32_t from, uint32_t to, bool acrossX) {
    const int steps = acrossX ? b.right - b.left : b.bottom - b.top;
    const QColor a = Bgr(from), z = Bgr(to);
    for (int i = 0; i < steps; ++i) {
        QColor c(GradientChannel(a.red(), z.red(), steps, i), GradientChannel(a.green(), z.green(), steps, i),
                 GradientChannel(a.blue(), z.blue(), steps, i));
        p.setPen(c);
        if (acrossX)
            p.drawLine(b.left + i, b.top, b.left + i, b.bottom - 1);
        else
            p.drawLine(b.left, b.top + i, b.right - 1, b.top + i);
    }
}

void Border(QPainter& p, const TBox& b, uint32_t colour, bool smooth, uint32_t back) {
    if (b.right <= b.left || b.bottom <= b.top) return;
    p.setPen(Bgr(colour));
    p.setBrush(Qt::NoBrush);
    p.drawRect(b.left, b.top, b.right - b.left - 1, b.bottom - b.top - 1);
    if (smooth) {
        p.setPen(Bgr(back));
        p.drawPoint(b.left, b.top);
        p.drawPoint(b.right - 1, b.top);
        p.drawPoint(b.left, b.bottom - 1);
        p.drawPoint(b.right - 1, b.bottom - 1);
    }
}

}  // namespace

TXiTrackBar::TXiTrackBar(QWidget* parent) : QWidget(parent) {
    resize(100, 28);
    setMouseTracking(true);
    SetColorScheme(csDesert);
}

TTrackGeometry TXiTrackBar::Geometry() const { return TrackGeometry(vertical_, width(), height(), offset_); }

void TXiTrackBar::UpdateOffset() {
    offset_ = OffsetForPosition(Geometry().trackLength, min_, max_, position_);
    update();
}

void TXiTrackBar::SetPosition(int position) {
    position_ = std::clamp(position, min_, std::max(min_, max_));
    UpdateOffset();
    emit Changed();
}

void TXiTrackBar::SetMin(int min) {
    min_ = min;
    if (position_ < min_) position_ = min_;
    UpdateOffset();
}

void TXiTrackBar::SetMax(int max) {
    max_ = max;
    if (position_ > max_) position_ = std::max(max_, min_);
    UpdateOffset();
}

void TXiTrackBar::SetFrequency(int f) {
    frequency_ = f;
    update();
}
void TXiTrackBar::SetTickStyle(TTickStyle s) {
    tickStyle_ = s;
    update();
}
void TXiTrackBar::SetTickMarks(TTickMarks m) {
    tickMarks_ = m;
    update();
}
void TXiTrackBar::SetVertical(bool v) {
    vertical_ = v;
    UpdateOffset();
}
void TXiTrackBar::SetSmoothCorners(bool on) {
    smooth_ = on;
    update();
}

void TXiTrackBar::SetColor(TColorRole role, uint32_t bgr) {
    if (role < 0 || role >= kColorRoles) return;
    colors_[role] = bgr & 0xFFFFFF;
    scheme_ = csCustom;
    update();
}

void TXiTrackBar::SetColorScheme(TColorScheme scheme) {
    scheme_ = scheme;
    if (scheme != csCustom && scheme >= csDesert && scheme <= csSun) {
        const uint32_t* s = kSchemes[scheme - csDesert];
        colors_[BackColor] = ButtonFace();
        const TColorRole roles[13] = {TickColor,          SlideBorderColor,     SlideFaceColor,     SlideGradColor,
                                      ThumbBorderColor,   ThumbFaceColor,       ThumbGradColor,     OverThumbBorderColor,
                                      OverThumbFaceColor, OverThumbGradColor,   DownThumbBorderColor, DownThumbFaceColor,
                                      DownThumbGradColor};
        for (int i = 0; i < 13; ++i) colors_[roles[i]] = s[i];
        colors_[DisabledTickColor] = 0xC0C0C0;
        colors_[DisabledSlideBorderColor] = 0xBEBEBE;
        colors_[DisabledSlideFaceColor] = 0xD8D8D8;
        colors_[DisabledSlideGradColor] = 0xE8E8E8;
        colors_[DisabledThumbBorderColor] = 0xB5B5B5;
        colors_[DisabledThumbFaceColor] = 0xEAEAEA;
        colors_[DisabledThumbGradColor] = 0xCFCFCF;
    }
    update();
}

QImage TXiTrackBar::Render() const {
    QImage img(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    QPainter p(&img);
    const bool on = isEnabled();
    uint32_t tb, tf, tg;
    if (!on) {
        tb = colors_[DisabledThumbBorderColor], tf = colors_[DisabledThumbFaceColor], tg = colors_[DisabledThumbGradColor];
    } else if (state_ == tsHover) {
        tb = colors_[OverThumbBorderColor], tf = colors_[OverThumbFaceColor], tg = colors_[OverThumbGradColor];
    } else if (state_ == tsPressed) {
        tb = colors_[DownThumbBorderColor], tf = colors_[DownThumbFaceColor], tg = colors_[DownThumbGradColor];
    } else {
        tb = colors_[ThumbBorderColor], tf = colors_[ThumbFaceColor], tg = colors_[ThumbGradColor];
    }
    const uint32_t sb = colors_[on ? SlideBorderColor : DisabledSlideBorderColor];
    const uint32_t sf = colors_[on ? SlideFaceColor : DisabledSlideFaceColor];
    const uint32_t sg = colors_[on ? SlideGradColor : DisabledSlideGradColor];
    const uint32_t tick = colors_[on ? TickColor : DisabledTickColor];
    const uint32_t back = colors_[BackColor];
    p.fillRect(img.rect(), Bgr(back));

    // The position a vertical bar shows is re-derived from its offset, without storing anything:
    // painting never moves the thumb.
    TTrackGeometry g = Geometry();
    Gradient(p, g.slide, sf, sg, vertical_);
    Border(p, g.slide, sb, smooth_, back);
    Gradient(p, g.thumb, tf, tg, !vertical_);
    Border(p, g.thumb, tb, smooth_, back);

    p.setPen(Bgr(tick));
    for (int i : TickIndexes(tickStyle_, frequency_, min_, max_)) {
        const bool topLeft = tickMarks_ != TTickMarks::BottomRight;
        const bool bottomRight = tickMarks_ != TTickMarks::TopLeft;
        if (!vertical_) {
            if (topLeft) {
                int x = TickTopLeft(i, g.trackLength, g.thumbThickness, min_, max_);
                p.drawLine(x, 0, x, 3);
            }
            if (bottomRight) {
                int x = TickBottomRight(i, g.trackLength, g.thumbThickness, min_, max_);
                p.drawLine(x, height() - 3, x, height());
            }
        } else {
            int y = TickBottomRight(i, g.trackLength, g.thumbThickness, min_, max_);
            if (topLeft) p.drawLine(0, y, 3, y);
            if (bottomRight) p.drawLine(width() - 3, y, width(), y);
        }
    }
    return img;
}

void TXiTrackBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

void TXiTrackBar::resizeEvent(QResizeEvent*) { UpdateOffset(); }

void TXiTrackBar::enterEvent(QEnterEvent*) {
    if (isEnabled()) update();
}

void TXiTrackBar::leaveEvent(QEvent*) {
    if (!isEnabled()) return;
    if (state_ != tsPressed) state_ = tsNormal;
    update();
}

void TXiTrackBar::mousePressEvent(QMouseEvent* e) {
    if (!isEnabled()) return;
    const QPoint pt = e->position().toPoint();
    if (Geometry().thumb.StrictlyInside(pt.x(), pt.y())) state_ = tsPressed;
    update();
}

void TXiTrackBar::mouseMoveEvent(QMouseEvent* e) {
    if (!isEnabled()) return;
    const QPoint pt = e->position().toPoint();
    const TTrackGeometry g = Geometry();
    if (state_ != tsPressed) {
        state_ = g.thumb.StrictlyInside(pt.x(), pt.y()) ? tsHover : tsNormal;
    } else {
        TDrag d = DragTo(vertical_, vertical_ ? pt.y() : pt.x(), g.thumbThickness, g.trackLength, min_, max_);
        position_ = d.position;
        offset_ = d.offset;
    }
    update();
}

void TXiTrackBar::mouseReleaseEvent(QMouseEvent* e) {
    if (!isEnabled()) return;
    const bool wasPressed = state_ == tsPressed;
    const QPoint pt = e->position().toPoint();
    state_ = Geometry().thumb.StrictlyInside(pt.x(), pt.y()) ? tsHover : tsNormal;
    if (wasPressed) emit Changed();
    update();
}

void TXiTrackBar::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(e);
}
