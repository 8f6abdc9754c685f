#include "chat/smiley_pictures.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>

#include "chat/smileys.h"

namespace orb::room {

namespace {

enum Mouth { Smile, Frown, Open, Flat, Tongue, Zip, Wide, Kiss, Crooked, Grin };
enum Eyes { Dots, Shades, Tears, Wink, Closed, Angry };

struct Face {
    QColor skin;
    Eyes eyes;
    Mouth mouth;
    bool halo = false;
    bool cheeks = false;
};

Face FaceOf(int n) {
    const QColor yellow(0xFF, 0xD2, 0x3C), red(0xF0, 0x64, 0x3C), pink(0xFF, 0xB4, 0x78);
    switch (n) {
    case 0: return {red, Angry, Frown};
    case 1: return {yellow, Shades, Smile};
    case 2: return {yellow, Tears, Frown};
    case 3: return {pink, Closed, Smile, false, true};
    case 4: return {yellow, Dots, Crooked};
    case 5: return {yellow, Dots, Frown};
    case 6: return {yellow, Dots, Smile, true};
    case 7: return {yellow, Closed, Kiss, false, true};
    case 8: return {yellow, Closed, Grin};
    case 9: return {pink, Dots, Wide};
    case 10: return {yellow, Dots, Zip};
    case 11: return {yellow, Dots, Smile};
    case 12: return {yellow, Dots, Open};
    case 13: return {yellow, Dots, Tongue};
    case 14: return {yellow, Dots, Flat};
    default: return {yellow, Wink, Smile};
    }
}

}  // namespace

QImage SmileyImage(int picture) {
    if (picture < 0 || picture >= chat::kSmileyCount) return {};
    const int s = kSmileyPixels;
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const Face f = FaceOf(picture);
    const QColor ink(0x50, 0x32, 0x14);
    QRectF head(1.5, f.halo ? 3.5 : 1.5, s - 3.0, s - (f.halo ? 5.0 : 3.0));
    if (f.halo) {
        p.setPen(QPen(QColor(0xE6, 0xB4, 0x00), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 0.5, s - 10.0, 3));
    }
    p.setPen(QPen(ink, 1.0));
    p.setBrush(f.skin);
    p.drawEllipse(head);
    const double cx = head.center().x(), cy = head.center().y(), r = head.width() / 2;
    const double ey = cy - r * 0.25, ex = r * 0.38;
    p.setBrush(ink);
    switch (f.eyes) {
    case Dots: p.drawEllipse(QPointF(cx - ex, ey), 1.2, 1.6), p.drawEllipse(QPointF(cx + ex, ey), 1.2, 1.6); break;
    case Shades:
        p.drawRoundedRect(QRectF(cx - ex - 2.6, ey - 1.6, 4.4, 3), 1, 1);
        p.drawRoundedRect(QRectF(cx + ex - 1.8, ey - 1.6, 4.4, 3), 1, 1);
        p.drawLine(QPointF(cx - ex + 1.8, ey - 1), QPointF(cx + ex - 1.8, ey - 1));
        break;
    case Tears:
        p.drawEllipse(QPointF(cx - ex, ey), 1.2, 1.4), p.drawEllipse(QPointF(cx + ex, ey), 1.2, 1.4);
        p.setBrush(QColor(0x50, 0xA0, 0xF0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(cx - ex, ey + 3.2), 1.1, 1.7);
        p.setPen(QPen(ink, 1.0));
        break;
    case Wink:
        p.drawEllipse(QPointF(cx - ex, ey), 1.2, 1.6);
        p.drawLine(QPointF(cx + ex - 1.6, ey), QPointF(cx + ex + 1.6, ey));
        break;
    case Closed:
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(cx - ex - 1.8, ey - 1.2, 3.6, 2.6), 0, 180 * 16);
        p.drawArc(QRectF(cx + ex - 1.8, ey - 1.2, 3.6, 2.6), 0, 180 * 16);
        break;
    case Angry:
        p.drawEllipse(QPointF(cx - ex, ey + 0.6), 1.1, 1.3), p.drawEllipse(QPointF(cx + ex, ey + 0.6), 1.1, 1.3);
        p.drawLine(QPointF(cx - ex - 2, ey - 2.2), QPointF(cx - ex + 1.5, ey - 0.8));
        p.drawLine(QPointF(cx + ex + 2, ey - 2.2), QPointF(cx + ex - 1.5, ey - 0.8));
        break;
    }
    const double my = cy + r * 0.35, mw = r * 0.55;
    p.setBrush(Qt::NoBrush);
    switch (f.mouth) {
    case Smile: p.drawArc(QRectF(cx - mw, my - mw * 0.9, 2 * mw, 1.6 * mw), 200 * 16, 140 * 16); break;
    case Frown: p.drawArc(QRectF(cx - mw, my - 0.2, 2 * mw, 1.6 * mw), 30 * 16, 120 * 16); break;
    case Open: p.setBrush(ink), p.drawEllipse(QPointF(cx, my), 1.6, 2.0); break;
    case Flat: p.drawLine(QPointF(cx - mw, my + 0.8), QPointF(cx + mw, my - 0.8)); break;
    case Tongue:
        p.drawLine(QPointF(cx - mw, my), QPointF(cx + mw, my));
        p.setBrush(QColor(0xE6, 0x50, 0x64));
        p.drawChord(QRectF(cx - 1.8, my - 2, 3.6, 5), 180 * 16, 180 * 16);
        break;
    case Zip:
        p.drawLine(QPointF(cx - mw, my), QPointF(cx + mw, my));
        for (int i = -1; i <= 1; ++i) p.drawLine(QPointF(cx + i * 2.0, my - 1.2), QPointF(cx + i * 2.0, my + 1.2));
        break;
    case Wide:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(cx - mw, my - 1.2, 2 * mw, 2.6));
        p.drawLine(QPointF(cx - mw, my + 0.1), QPointF(cx + mw, my + 0.1));
        break;
    case Kiss: p.drawEllipse(QPointF(cx + 0.5, my), 1.2, 1.2); break;
    case Crooked: {
        QPainterPath w;
        w.moveTo(cx - mw, my);
        w.cubicTo(cx - mw / 3, my - 2, cx + mw / 3, my + 2, cx + mw, my);
        p.drawPath(w);
        break;
    }
    case Grin:
        p.setBrush(ink);
        p.drawChord(QRectF(cx - mw, my - mw, 2 * mw, 2 * mw), 180 * 16, 180 * 16);
        break;
    }
    if (f.cheeks) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xF0, 0x64, 0x64, 140));
        p.drawEllipse(QPointF(cx - r * 0.6, cy + 1.5), 1.6, 1.1);
        p.drawEllipse(QPointF(cx + r * 0.6, cy + 1.5), 1.6, 1.1);
    }
    return img;
}

QUrl SmileyUrl(int picture) { return QUrl(QStringLiteral("orb-smiley:%1").arg(picture)); }

int SmileyFromUrl(const QString& name) {
    static const QString prefix = QStringLiteral("orb-smiley:");
    if (!name.startsWith(prefix)) return -1;
    bool ok = false;
    int n = name.mid(prefix.size()).toInt(&ok);
    return ok && n >= 0 && n < chat::kSmileyCount ? n : -1;
}

QByteArray SmileyPng(int picture) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    SmileyImage(picture).save(&buf, "PNG");
    return bytes;
}

}  // namespace orb::room
