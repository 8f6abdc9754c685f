#pragma once
// The tile scheme's viewer side: the picture the server delivers as a grid of PNG tiles (kind 91),
// the stamp of each tile's version that the viewer reports back, and the sharer's cursor (kind 93).
// Every value of the server's records is checked before it is used: a grid that cannot be, a tile
// outside the picture or the grid, a PNG that runs past the body or does not decode is refused.

#include <cstdint>
#include <span>
#include <vector>

#include "sharing/records/appshare_records.h"
#include "sharing/share_geometry.h"

namespace orb::sharing {

// A plain 32-bit picture: one 0xAARRGGBB word per pixel (alpha 0xFF for opaque pixels).
struct TRgbPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    void Reset(int32_t w, int32_t h, uint32_t argb) {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h), argb);
    }
    uint32_t* Row(int32_t y) { return pixels.data() + size_t(y) * size_t(width); }
    const uint32_t* Row(int32_t y) const { return pixels.data() + size_t(y) * size_t(width); }
};

struct TPane {
    int32_t index = 0;
    int32_t width = 0;
    int32_t height = 0;
    appshare::TPaneHeader header;  // the latest header received for this tile
};

// The most tiles a grid may have: more would only be a way to make us allocate.
constexpr int64_t kMaxPanes = 65536;
constexpr int32_t kCursorSide = 32;

class TAppShareObject {
public:
    // Sets up the grid and a black picture; false (and nothing set up) for a size or format the
    // codec refuses, a grid of 0 rows or columns, more columns than pixels across (or rows than
    // lines), or more than kMaxPanes tiles.
    bool Create(const appshare::TPaneShareInfo& info);
    bool Exists() const { return exists_; }
    void Clear();

    const appshare::TPaneShareInfo& Info() const { return info_; }
    int32_t Columns() const { return columns_; }
    int32_t Rows() const { return rows_; }
    int32_t TileWidth() const { return tileWidth_; }
    int32_t TileHeight() const { return tileHeight_; }
    int32_t LastColumnWidth() const { return lastColumnWidth_; }
    int32_t LastRowHeight() const { return lastRowHeight_; }
    const std::vector<TPane>& Panes() const { return panes_; }
    const TRgbPicture& Picture() const { return picture_; }

    struct TDrawResult {
        int applied = 0;   // tiles drawn
        int refused = 0;   // tiles refused (index, position, PNG)
        bool complete = true;  // false when the body was cut (a header or a PNG past the end)
        TRect dirty;       // the union of the drawn tiles
    };
    // Draws the tiles of a server-sent kind 91 body into the picture, tile by tile; tiles before a
    // cut in the body stay drawn.
    TDrawResult DrawPaneFrame(std::span<const uint8_t> body);

    // One stamp per tile in index order (a viewer's kind 91).
    std::vector<int32_t> Stamps() const;

    // The cursor of a kind 93 body: true when a new cursor picture was taken. A PNG length below 1
    // leaves the cursor where it was.
    bool DrawRemoteCursor(std::span<const uint8_t> body);
    const TRect& CursorRect() const { return cursorRect_; }
    const TRgbPicture& CursorImage() const { return cursor_; }

private:
    bool DrawTile(const appshare::TPaneHeader& h, std::span<const uint8_t> png, TRect& drawn);

    bool exists_ = false;
    appshare::TPaneShareInfo info_;
    int32_t columns_ = 0, rows_ = 0;
    int32_t tileWidth_ = 0, tileHeight_ = 0, lastColumnWidth_ = 0, lastRowHeight_ = 0;
    std::vector<TPane> panes_;
    TRgbPicture picture_;
    TRect cursorRect_;
    TRgbPicture cursor_;
};

// The smallest rectangle holding both (an empty one adds nothing).
TRect Union(const TRect& a, const TRect& b);

}  // namespace orb::sharing
