#include "footer.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>

#include "wire/text.h"

namespace pagorix {

namespace {
const char* const kFontCandidates[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
};
constexpr int kPointSize = 10;
constexpr int kDpi = 96;
}  // namespace

FooterPainter::FooterPainter() = default;

FooterPainter::~FooterPainter() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool FooterPainter::Render(const std::string& text) {
    if (!tried_) {
        tried_ = true;
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0) return false;
        library_ = lib;
        for (const char* path : kFontCandidates) {
            FT_Face face = nullptr;
            if (FT_New_Face(lib, path, 0, &face) == 0) {
                if (FT_Set_Char_Size(face, 0, kPointSize * 64, kDpi, kDpi) == 0) {
                    face_ = face;
                    break;
                }
                FT_Done_Face(face);
            }
        }
    }
    if (!face_) return false;
    if (maskText_ == text && !mask_.empty()) return true;

    FT_Face face = static_cast<FT_Face>(face_);
    const int ascent = int(face->size->metrics.ascender >> 6);
    const int height = int((face->size->metrics.ascender - face->size->metrics.descender) >> 6) + 1;
    std::u16string wide = orb::Utf8ToUtf16(text);
    // First pass: the advance width.
    long penX = 0;
    for (char16_t c : wide) {
        if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) == 0) penX += face->glyph->advance.x;
    }
    int width = int(penX >> 6) + 2;
    mask_.assign(size_t(width) * size_t(height), 0);
    maskWidth_ = width;
    maskHeight_ = height;
    penX = 0;
    for (char16_t c : wide) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& b = g->bitmap;
        int ox = int(penX >> 6) + g->bitmap_left;
        int oy = ascent - g->bitmap_top;
        for (unsigned r = 0; r < b.rows; ++r) {
            int y = oy + int(r);
            if (y < 0 || y >= height) continue;
            const uint8_t* src = b.buffer + long(r) * b.pitch;
            for (unsigned col = 0; col < b.width; ++col) {
                int x = ox + int(col);
                if (x < 0 || x >= width) continue;
                uint8_t& m = mask_[size_t(y) * size_t(width) + size_t(x)];
                m = std::max(m, src[col]);
            }
        }
        penX += g->advance.x;
    }
    maskText_ = text;
    return true;
}

bool FooterPainter::Draw(PageBitmap& bmp, int x, int y, const std::string& text) {
    if (!Render(text)) return false;
    if (bmp.Empty()) return true;
    for (int r = 0; r < maskHeight_; ++r) {
        int by = y + r;
        if (by < 0 || by >= bmp.height) continue;
        uint8_t* line = bmp.ScanLine(by);
        const uint8_t* m = mask_.data() + size_t(r) * size_t(maskWidth_);
        for (int c = 0; c < maskWidth_; ++c) {
            int bx = x + c;
            if (bx < 0 || bx >= bmp.width || m[c] == 0) continue;
            // Blend toward pure blue (B, G, R = 255, 0, 0) by the glyph's coverage.
            uint8_t* p = line + size_t(bx) * 3;
            unsigned a = m[c];
            p[0] = uint8_t((p[0] * (255 - a) + 255 * a) / 255);
            p[1] = uint8_t((p[1] * (255 - a)) / 255);
            p[2] = uint8_t((p[2] * (255 - a)) / 255);
        }
    }
    return true;
}

}  // namespace pagorix
