#include "appshare/viewer/viewer_input.h"

#include <Qt>

#include <algorithm>

#include "sharing/remote_input.h"
#include "vk_map.h"

namespace orb::appshare {

uint8_t VirtualKeyOf(int qtKey, unsigned long nativeKeySym) {
    if (nativeKeySym) {
        const uint32_t vk = vornex::KeySymToVirtualKey(nativeKeySym);
        if (vk > 0 && vk < 256) return uint8_t(vk);
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return uint8_t('A' + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return uint8_t('0' + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return uint8_t(112 + (qtKey - Qt::Key_F1));
    static constexpr struct {
        int key;
        uint8_t vk;
    } kTable[] = {
        {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},        {Qt::Key_Backtab, 9},      {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},    {Qt::Key_Shift, 16},     {Qt::Key_Control, 17},     {Qt::Key_Alt, 18},
        {Qt::Key_Pause, 19},    {Qt::Key_CapsLock, 20},  {Qt::Key_Escape, 27},      {Qt::Key_Space, 32},
        {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34},  {Qt::Key_End, 35},         {Qt::Key_Home, 36},
        {Qt::Key_Left, 37},     {Qt::Key_Up, 38},        {Qt::Key_Right, 39},       {Qt::Key_Down, 40},
        {Qt::Key_Print, 44},    {Qt::Key_Insert, 45},    {Qt::Key_Delete, 46},      {Qt::Key_Meta, 91},
        {Qt::Key_Menu, 93},     {Qt::Key_NumLock, 144},  {Qt::Key_ScrollLock, 145}, {Qt::Key_Semicolon, 186},
        {Qt::Key_Colon, 186},   {Qt::Key_Equal, 187},    {Qt::Key_Plus, 187},       {Qt::Key_Comma, 188},
        {Qt::Key_Less, 188},    {Qt::Key_Minus, 189},    {Qt::Key_Underscore, 189}, {Qt::Key_Period, 190},
        {Qt::Key_Greater, 190}, {Qt::Key_Slash, 191},    {Qt::Key_Question, 191},   {Qt::Key_QuoteLeft, 192},
        {Qt::Key_AsciiTilde, 192}, {Qt::Key_BracketLeft, 219}, {Qt::Key_BraceLeft, 219},
        {Qt::Key_Backslash, 220}, {Qt::Key_Bar, 220},    {Qt::Key_BracketRight, 221}, {Qt::Key_BraceRight, 221},
        {Qt::Key_Apostrophe, 222}, {Qt::Key_QuoteDbl, 222}, {Qt::Key_Exclam, '1'}, {Qt::Key_At, '2'},
        {Qt::Key_NumberSign, '3'}, {Qt::Key_Dollar, '4'}, {Qt::Key_Percent, '5'},  {Qt::Key_AsciiCircum, '6'},
        {Qt::Key_Ampersand, '7'}, {Qt::Key_Asterisk, '8'}, {Qt::Key_ParenLeft, '9'}, {Qt::Key_ParenRight, '0'},
    };
    for (const auto& e : kTable)
        if (e.key == qtKey) return e.vk;
    return 0;
}

uint8_t ScanCodeOf(uint8_t vk) {
    static constexpr uint8_t kLetters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                             0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (vk >= 'A' && vk <= 'Z') return kLetters[vk - 'A'];
    if (vk >= '1' && vk <= '9') return uint8_t(0x02 + (vk - '1'));
    if (vk == '0') return 0x0B;
    if (vk >= 112 && vk <= 121) return uint8_t(0x3B + (vk - 112));
    switch (vk) {
        case 8: return 0x0E;
        case 9: return 0x0F;
        case 13: return 0x1C;
        case 16: return 0x2A;
        case 17: return 0x1D;
        case 18: return 0x38;
        case 20: return 0x3A;
        case 27: return 0x01;
        case 32: return 0x39;
        case 33: return 0x49;
        case 34: return 0x51;
        case 35: return 0x4F;
        case 36: return 0x47;
        case 37: return 0x4B;
        case 38: return 0x48;
        case 39: return 0x4D;
        case 40: return 0x50;
        case 45: return 0x52;
        case 46: return 0x53;
        case 122: return 0x57;
        case 123: return 0x58;
        case 186: return 0x27;
        case 187: return 0x0D;
        case 188: return 0x33;
        case 189: return 0x0C;
        case 190: return 0x34;
        case 191: return 0x35;
        case 192: return 0x29;
        case 219: return 0x1A;
        case 220: return 0x2B;
        case 221: return 0x1B;
        case 222: return 0x28;
        default: return 0;
    }
}

int32_t ButtonFlags(int qtButton, bool down) {
    switch (qtButton) {
        case Qt::LeftButton: return down ? sharing::kMouseLeftDown : sharing::kMouseLeftUp;
        case Qt::RightButton: return down ? sharing::kMouseRightDown : sharing::kMouseRightUp;
        case Qt::MiddleButton: return down ? sharing::kMouseMiddleDown : sharing::kMouseMiddleUp;
        default: return 0;
    }
}

namespace {

bool Prepare(int32_t w, int32_t h, const sharing::TRect& area, QImage& image, sharing::TRect& clip) {
    if (w <= 0 || h <= 0) return false;
    if (image.width() != w || image.height() != h || image.format() != QImage::Format_RGB32) {
        image = QImage(w, h, QImage::Format_RGB32);
        if (image.isNull()) return false;
        image.fill(Qt::black);
    }
    clip = sharing::ClipToScreen(area, {0, 0, w, h});
    return !clip.Empty();
}

}  // namespace

sharing::TRect CopyToImage(const ShareBitmap& picture, const sharing::TRect& area, QImage& image) {
    sharing::TRect c;
    if (!Prepare(picture.Width(), picture.Height(), area, image, c)) return {};
    const int bpp = picture.BytesPerPixel();
    for (int32_t y = c.top; y < c.top + c.height; ++y) {
        const uint8_t* src = picture.ScanLine(y) + size_t(c.left) * size_t(bpp);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y)) + c.left;
        for (int32_t x = 0; x < c.width; ++x, src += bpp) dst[x] = 0xFF000000u | PixelToRgb(picture.PixelFormat(), src);
    }
    return c;
}

sharing::TRect CopyToImage(const sharing::TRgbPicture& picture, const sharing::TRect& area, QImage& image) {
    sharing::TRect c;
    if (!Prepare(picture.width, picture.height, area, image, c)) return {};
    for (int32_t y = c.top; y < c.top + c.height; ++y)
        std::copy_n(picture.Row(y) + c.left, c.width, reinterpret_cast<QRgb*>(image.scanLine(y)) + c.left);
    return c;
}

}  // namespace orb::appshare
