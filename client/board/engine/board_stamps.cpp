// The mark stamps (24 x 24, white background). Pictures sit at 1 (smiley face), 3 (green check),
// 5 (red check), 7 (black dot), 9 (blue star) and 11 (red X); each is followed by its cursor mask
// (black where the picture is, white elsewhere). Image 0 is blank.

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <cmath>

#include "board/engine/board_engine.h"

namespace orb::board {

namespace {

constexpr int kStampSide = 24;

QImage Blank() {
    QImage image(kStampSide, kStampSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QImage MaskOf(const QImage& picture) {
    QImage mask = Blank();
    for (int y = 0; y < kStampSide; ++y)
        for (int x = 0; x < kStampSide; ++x)
            if ((picture.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu) mask.setPixel(x, y, qRgb(0, 0, 0));
    return mask;
}

void Check(QPainter& p, QColor c) {
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(QPolygon({QPoint(4, 12), QPoint(9, 18), QPoint(20, 5)}));
}

}  // namespace

void TBoardEngine::BuildStamps() {
    ilCursors24_.assign(kStampCount, Blank());
    auto paint = [&](int index, const std::function<void(QPainter&)>& draw) {
        QImage picture = Blank();
        {
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing, false);
            draw(p);
        }
        ilCursors24_[size_t(index)] = picture;
        ilCursors24_[size_t(index) + 1] = MaskOf(picture);
    };
    paint(1, [](QPainter& p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(255, 255, 0));
        p.drawEllipse(QRect(2, 2, 19, 19));
        p.setBrush(Qt::black);
        p.drawRect(QRect(8, 8, 1, 2));
        p.drawRect(QRect(15, 8, 1, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRect(7, 9, 10, 8), 200 * 16, 140 * 16);
    });
    paint(3, [](QPainter& p) { Check(p, QColor(0, 160, 0)); });
    paint(5, [](QPainter& p) { Check(p, QColor(220, 0, 0)); });
    paint(7, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QRect(8, 8, 8, 8));
    });
    paint(9, [](QPainter& p) {
        QPolygon star;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2) ? 4.5 : 11.0, a = -M_PI / 2 + i * M_PI / 5;
            star << QPoint(int(std::lround(12 + r * std::cos(a))), int(std::lround(12 + r * std::sin(a))));
        }
        p.setPen(QPen(QColor(0, 0, 200), 1));
        p.setBrush(QColor(0, 0, 255));
        p.drawPolygon(star);
    });
    paint(11, [](QPainter& p) {
        p.setPen(QPen(QColor(220, 0, 0), 3, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(5, 5, 18, 18);
        p.drawLine(18, 5, 5, 18);
    });
}

}  // namespace orb::board
