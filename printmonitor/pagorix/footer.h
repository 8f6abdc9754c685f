#pragma once
// The footer line every page carries: one line of text in a Tahoma-like sans font (DejaVu Sans
// Condensed, else DejaVu Sans or Liberation Sans), 10 points at 96 dpi, pure blue.

#include <cstdint>
#include <string>
#include <vector>

#include "page_bitmap.h"

namespace pagorix {

class FooterPainter {
public:
    FooterPainter();
    ~FooterPainter();
    FooterPainter(const FooterPainter&) = delete;
    FooterPainter& operator=(const FooterPainter&) = delete;

    // Draws `text` with the top of its line at (x, y), clipped to the bitmap. False when no font
    // could be loaded (the page is then saved without its footer).
    bool Draw(PageBitmap& bmp, int x, int y, const std::string& text);

private:
    bool Render(const std::string& text);

    void* library_ = nullptr;
    void* face_ = nullptr;
    bool tried_ = false;
    // Coverage mask of the last rendered text, reused while the text stays the same.
    std::string maskText_;
    std::vector<uint8_t> mask_;
    int maskWidth_ = 0, maskHeight_ = 0;
};

}  // namespace pagorix
