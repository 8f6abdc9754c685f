#pragma once
// The viewer's decisions without widgets: how a pressed key becomes the virtual-key code and scan
// code of remote input, and how changed pixels of a share picture reach the 32-bit image the
// window paints.

#include <QImage>

#include <cstdint>

#include "sharing/codec/share_bitmap.h"
#include "sharing/share_geometry.h"
#include "sharing/tile_share.h"

namespace orb::appshare {

// The virtual-key code of a key event: from the X key symbol when it names a key, else from Qt's
// key (shifted symbols of a US keyboard give their unshifted key). 0 when the key has none.
uint8_t VirtualKeyOf(int qtKey, unsigned long nativeKeySym);
// The hardware scan code a virtual key has on a PC keyboard (0 when none).
uint8_t ScanCodeOf(uint8_t virtualKey);

// Mouse-event flags of a button press or release (Qt::LeftButton 1, RightButton 2, MiddleButton
// 4); 0 for other buttons.
int32_t ButtonFlags(int qtButton, bool down);

// Copies the rectangle of a share picture (clipped to it) into `image`, which is made a black
// RGB32 image of the picture's size first when its size differs. Returns the rectangle copied.
sharing::TRect CopyToImage(const ShareBitmap& picture, const sharing::TRect& area, QImage& image);
sharing::TRect CopyToImage(const sharing::TRgbPicture& picture, const sharing::TRect& area, QImage& image);

}  // namespace orb::appshare
