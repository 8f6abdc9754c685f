#pragma once
// Icons from the installed freedesktop icon theme (plain or "-symbolic" names), or, when the theme
// has none, a picture of our own: a rounded tile in the given colour with the caption's first
// letter, so no button is ever blank.

#include <QColor>
#include <QIcon>
#include <QString>

namespace orb::room {

// Names are tried in order, each plain and then with "-symbolic".
QIcon ThemeIcon(std::initializer_list<const char*> names, const QString& caption, QColor tile = QColor(0x3b6ea5));
// The fallback picture alone (sizes 16 to 64, sharp at the screen's device pixel ratio).
QIcon FallbackIcon(const QString& caption, QColor tile);

}  // namespace orb::room
