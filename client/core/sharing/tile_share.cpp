#include "sharing/tile_share.h"

#include <algorithm>

#include "sharing/codec/share_bitmap.h"
#include "util/images.h"

namespace orb::sharing {

using appshare::TPaneHeader;

TRect Union(const TRect& a, const TRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    const int32_t l = std::min(a.left, b.left), t = std::min(a.top, b.top);
    const int32_t r = std::max(a.left + a.width, b.left + b.width), bo = std::max(a.top + a.height, b.top + b.height);
    return {l, t, r - l, bo - t};
}

void TAppShareObject::Clear() {
    *this = TAppShareObject();
}

bool TAppShareObject::Create(const appshare::TPaneShareInfo& info) {
    Clear();
    const int32_t w = info.width, h = info.height, c = info.columns, r = info.rows;
    // The picture is kept as 32-bit pixels whatever the share's format; the format only has to be
    // one the client knows.
    if (!appshare::BytesPerPixel(info.pixelFormat) || !appshare::PictureGeometryOk(appshare::kPixelFormat24, w, h))
        return false;
    if (c < 1 || r < 1 || c > w || r > h || int64_t(c) * int64_t(r) > kMaxPanes) return false;
    info_ = info;
    columns_ = c;
    rows_ = r;
    tileWidth_ = w / c;
    tileHeight_ = h / r;
    lastColumnWidth_ = w - tileWidth_ * (c - 1);
    if (lastColumnWidth_ == 0) lastColumnWidth_ = tileWidth_;
    lastRowHeight_ = h - tileHeight_ * (r - 1);
    if (lastRowHeight_ == 0) lastRowHeight_ = tileHeight_;
    panes_.resize(size_t(c) * size_t(r));
    for (int32_t col = 0; col < c; ++col)
        for (int32_t row = 0; row < r; ++row) {
            TPane& p = panes_[size_t(col) * size_t(r) + size_t(row)];
            p.index = col * r + row;
            p.width = col == c - 1 ? lastColumnWidth_ : tileWidth_;
            p.height = row == r - 1 ? lastRowHeight_ : tileHeight_;
            p.header.index = p.index;
            p.header.width = p.width;
            p.header.height = p.height;
            p.header.top = tileHeight_ * row;
            p.header.left = tileWidth_ * col;
        }
    picture_.Reset(w, h, 0xFF000000u);
    exists_ = true;
    return true;
}

bool TAppShareObject::DrawTile(const TPaneHeader& h, std::span<const uint8_t> png, TRect& drawn) {
    if (h.index < 0 || int64_t(h.index) >= int64_t(panes_.size())) return false;
    // A tile must start inside the picture; what passes its right or lower edge is cut off.
    if (h.width <= 0 || h.height <= 0 || h.left < 0 || h.top < 0 || h.left >= picture_.width ||
        h.top >= picture_.height)
        return false;
    Bitmap bitmap;
    if (!PngToBitmap(png.data(), png.size(), bitmap)) return false;
    const int32_t w = std::min({h.width, picture_.width - h.left, int32_t(bitmap.width)});
    const int32_t hh = std::min({h.height, picture_.height - h.top, int32_t(bitmap.height)});
    panes_[size_t(h.index)].header = h;
    for (int32_t y = 0; y < hh; ++y) {
        const uint8_t* src = bitmap.rgb.data() + size_t(y) * size_t(bitmap.width) * 3;
        uint32_t* dst = picture_.Row(h.top + y) + h.left;
        for (int32_t x = 0; x < w; ++x, src += 3)
            dst[x] = 0xFF000000u | (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | src[2];
    }
    drawn = {h.left, h.top, w, hh};
    return true;
}

TAppShareObject::TDrawResult TAppShareObject::DrawPaneFrame(std::span<const uint8_t> body) {
    TDrawResult result;
    if (!exists_) return result;
    std::vector<appshare::PaneTile> tiles;
    result.complete = appshare::ReadSharePanes(body, tiles);
    for (const auto& t : tiles) {
        if (t.header.pngLength == 0) continue;
        TRect drawn;
        if (DrawTile(t.header, t.png, drawn)) {
            ++result.applied;
            result.dirty = Union(result.dirty, drawn);
        } else {
            ++result.refused;
        }
    }
    return result;
}

std::vector<int32_t> TAppShareObject::Stamps() const {
    std::vector<int32_t> stamps;
    stamps.reserve(panes_.size());
    for (const auto& p : panes_) stamps.push_back(p.header.stamp);
    return stamps;
}

bool TAppShareObject::DrawRemoteCursor(std::span<const uint8_t> body) {
    if (!exists_ || body.empty()) return false;
    appshare::TShareCursorHeader h;
    std::span<const uint8_t> png;
    if (!appshare::ReadShareCursor(body, h, png) || h.pngLength < 1) return false;
    Bitmap bitmap;
    if (!PngToBitmap(png.data(), png.size(), bitmap)) return false;
    cursorRect_ = {h.x, h.y, kCursorSide, kCursorSide};
    cursor_.Reset(kCursorSide, kCursorSide, 0);
    const int32_t w = std::min(kCursorSide, int32_t(bitmap.width)), hh = std::min(kCursorSide, int32_t(bitmap.height));
    // The colour of the lower-left pixel is the transparent one.
    const uint8_t* ll = bitmap.rgb.data() + size_t(bitmap.height - 1) * size_t(bitmap.width) * 3;
    const uint32_t transparent = (uint32_t(ll[0]) << 16) | (uint32_t(ll[1]) << 8) | ll[2];
    for (int32_t y = 0; y < hh; ++y) {
        const uint8_t* src = bitmap.rgb.data() + size_t(y) * size_t(bitmap.width) * 3;
        for (int32_t x = 0; x < w; ++x, src += 3) {
            const uint32_t rgb = (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | src[2];
            cursor_.Row(y)[x] = rgb == transparent ? 0 : 0xFF000000u | rgb;
        }
    }
    return true;
}

}  // namespace orb::sharing
