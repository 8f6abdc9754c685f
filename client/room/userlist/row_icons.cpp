#include "userlist/row_icons.h"

#include <QPainter>
#include <QPainterPath>

namespace orb::room {

namespace {

void Microphone(QPainter& p, QColor body) {
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(5.5, 1, 5, 9), 2.5, 2.5);
    p.setPen(QPen(body.darker(150), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.5, 3, 9, 9), 200 * 16, 140 * 16);
    p.drawLine(QPointF(8, 12), QPointF(8, 14.5));
    p.drawLine(QPointF(5.5, 14.5), QPointF(10.5, 14.5));
}

void Camera(QPainter& p, QColor body) {
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1, 4, 10, 8), 1.5, 1.5);
    QPolygonF lens;
    lens << QPointF(11, 7) << QPointF(15, 4.5) << QPointF(15, 11.5) << QPointF(11, 9);
    p.drawPolygon(lens);
}

void Slash(QPainter& p) {
    p.setPen(QPen(QColor(0xd0, 0x10, 0x10), 2));
    p.drawLine(QPointF(2, 14), QPointF(14, 2));
}

void Face(QPainter& p) {
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
    p.setBrush(QColor(0xff, 0xd7, 0x20));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(QColor(0x40, 0x30, 0x00));
    p.drawEllipse(QRectF(5, 5, 1.6, 2));
    p.drawEllipse(QRectF(9.4, 5, 1.6, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4.5, 6, 7, 5.5), 200 * 16, 140 * 16);
}

void Hand(QPainter& p, QColor c, qreal dx = 0, qreal scale = 1) {
    p.save();
    p.translate(dx, 0);
    p.scale(scale, 1);
    p.setPen(QPen(c.darker(160), 0.8));
    p.setBrush(c);
    for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(3.5 + i * 2.3, 1.5 + (i == 0 || i == 3 ? 1.5 : 0), 2.2, 8), 1, 1);
    p.drawRoundedRect(QRectF(3.5, 7, 9.2, 7.5), 2.5, 2.5);
    p.drawRoundedRect(QRectF(1, 7.5, 3.5, 2.2), 1, 1);
    p.restore();
}

void Screen(QPainter& p, QColor c) {
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(c);
    p.drawRect(QRectF(1.5, 2.5, 13, 9));
    p.drawLine(QPointF(8, 11.5), QPointF(8, 13.5));
    p.drawLine(QPointF(4.5, 14), QPointF(11.5, 14));
}

void Pencil(QPainter& p, QColor c) {
    p.setPen(QPen(c.darker(150), 1));
    p.setBrush(c);
    QPolygonF body;
    body << QPointF(3, 11) << QPointF(11, 3) << QPointF(13, 5) << QPointF(5, 13);
    p.drawPolygon(body);
    QPolygonF tip;
    tip << QPointF(3, 11) << QPointF(5, 13) << QPointF(1.5, 14.5);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    p.drawPolygon(tip);
}

}  // namespace

QColor RowIconColour(int index) {
    switch (index) {
    case 12: return QColor(0xf0, 0x90, 0x00);   // microphone requested
    case 42: return QColor(0x10, 0xb0, 0x10);   // speaking
    case 58: return QColor(0x20, 0x60, 0xd0);   // allowed to speak
    case 50: return QColor(0x90, 0x90, 0x90);   // forbidden
    case 46: return QColor(0xf0, 0x90, 0x00);   // camera requested
    case 49: return QColor(0xe0, 0x10, 0x10);   // broadcasting video
    case 9: return QColor(0xf5, 0xc0, 0x80);    // hand
    case 10: return QColor(0xf0, 0xa0, 0x60);   // applause
    case 11: return QColor(0xff, 0xd7, 0x20);   // smile
    case 61: return QColor(0x10, 0xa0, 0x10);   // yes
    case 62: return QColor(0xd0, 0x10, 0x10);   // no
    case 69: return QColor(0x60, 0xa0, 0xe0);   // sharing
    case 70: return QColor(0xe0, 0x80, 0x20);   // remote control
    case 56: return QColor(0x40, 0x80, 0x40);   // typing
    case 71: return QColor(0x80, 0x40, 0x80);   // second typing
    case 27: return QColor(0x20, 0x80, 0xe0);   // acknowledged
    default: return QColor();
    }
}

QPixmap RowIcon(int index, qreal dpr) {
    const QColor c = RowIconColour(index);
    if (!c.isValid()) return {};
    QPixmap pm(QSize(kRowIconSize, kRowIconSize) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 12:
    case 58:
    case 42: Microphone(p, c);
        if (index == 42) {
            p.setPen(QPen(c, 1));
            p.drawArc(QRectF(0.5, 1, 4, 8), 100 * 16, 160 * 16);
            p.drawArc(QRectF(11.5, 1, 4, 8), -80 * 16, 160 * 16);
        }
        if (index == 12) {
            p.setPen(QPen(QColor(0x80, 0x40, 0), 1.2));
            p.drawText(QRectF(9, 0, 7, 8), Qt::AlignCenter, QStringLiteral("?"));
        }
        break;
    case 50: Microphone(p, c); Slash(p); break;
    case 46: Camera(p, c); break;
    case 49: Camera(p, c);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(4, 6.5, 3, 3));
        break;
    case 9: Hand(p, c); break;
    case 10: Hand(p, c, -1.5, 0.8); Hand(p, c.darker(115), 3.5, 0.8); break;
    case 11: Face(p); break;
    case 61:
        p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
        break;
    case 62:
        p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
        break;
    case 69: Screen(p, c); break;
    case 70: Screen(p, c);
        p.setPen(QPen(Qt::white, 1.4));
        p.drawLine(QPointF(5, 9), QPointF(11, 4.5));
        break;
    case 56:
    case 71: Pencil(p, c); break;
    case 27:
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5.5)}));
        break;
    default: break;
    }
    return pm;
}

}  // namespace orb::room
