#include "common/theme_icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

namespace orb::room {

namespace {

// Without a desktop session Qt knows no theme; the Debian default theme is then used.
void EnsureTheme() {
    static bool done = false;
    if (done) return;
    done = true;
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

}  // namespace

QIcon FallbackIcon(const QString& caption, QColor tile) {
    QIcon icon;
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString letter = caption.trimmed().left(1).toUpper();
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pm(QSize(size, size) * dpr);
        pm.setDevicePixelRatio(dpr);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(tile);
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 5.0, size / 5.0);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(qMax(8, size * 3 / 5));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, letter);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon ThemeIcon(std::initializer_list<const char*> names, const QString& caption, QColor tile) {
    EnsureTheme();
    for (const char* n : names) {
        const QString name = QString::fromLatin1(n);
        for (const QString& candidate : {name, name + QStringLiteral("-symbolic")})
            if (QIcon::hasThemeIcon(candidate)) return QIcon::fromTheme(candidate);
    }
    return FallbackIcon(caption, tile);
}

}  // namespace orb::room
