#pragma once
// The 16x16 image list of the participant rows (microphone, camera, gestures, sharing, typing,
// acknowledgement), drawn by us so that every index the rows use has a picture.

#include <QPixmap>

namespace orb::room {

constexpr int kRowIconSize = 16;
// The picture of an image-list index (a null pixmap for an index without one), sharp at `dpr`.
QPixmap RowIcon(int index, qreal dpr = 1.0);
// The colour that identifies an icon in a screenshot (its main fill).
QColor RowIconColour(int index);

}  // namespace orb::room
