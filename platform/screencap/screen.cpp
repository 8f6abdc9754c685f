#include "screencap/screen.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace orb::screencap {

namespace {

// One colour channel of a visual: where it sits in a pixel and how wide it is.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    uint32_t To8(uint32_t pixel) const {
        if (!bits) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8);
        return v * 255 / ((1u << bits) - 1);  // full scale maps to 255
    }
    uint32_t From8(uint32_t v8) const {
        if (!bits) return 0;
        uint32_t v = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
        return (v << shift) & mask;
    }
};

struct Clip {
    int64_t l, t, r, b;
    bool Empty() const { return r <= l || b <= t; }
    Clip And(const Clip& o) const {
        return {std::max(l, o.l), std::max(t, o.t), std::min(r, o.r), std::min(b, o.b)};
    }
};

}  // namespace

struct Screen::Impl {
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;
    int32_t rootWidth = 0, rootHeight = 0;
    uint8_t depth = 0;
    int bitsPerPixel = 0;
    int scanlinePad = 32;
    bool msbFirst = false;
    Channel red, green, blue;
    bool plainRgb32 = false;  // 32 bits per pixel, 8 bits a channel at 16/8/0: no conversion

    bool shm = false;
    xcb_shm_seg_t shmSeg = 0;
    int shmId = -1;
    uint8_t* shmAddr = nullptr;
    size_t shmSize = 0;

    bool xfixes = false;
    xcb_gcontext_t gc = 0;
    std::string error;
    // Making a segment the size of the screen and touching its pages on both sides takes tens of
    // milliseconds: done on a thread of its own from Open, so no capture step pays for it.
    std::thread shmPrepare;
    bool shmPrepared = false;

    ~Impl() {
        JoinShmPrepare();
        if (conn) {
            if (gc) xcb_free_gc(conn, gc);
            if (shmSeg) xcb_shm_detach(conn, shmSeg);
            xcb_flush(conn);
        }
        if (shmAddr) shmdt(shmAddr);
        if (conn) xcb_disconnect(conn);
    }

    bool Fail(const std::string& what, xcb_generic_error_t* e = nullptr) {
        error = what;
        if (e) {
            error += " (X error " + std::to_string(e->error_code) + ")";
            free(e);
        }
        if (conn && xcb_connection_has_error(conn)) error += " (connection lost)";
        return false;
    }

    size_t Stride(int32_t width) const {
        size_t bits = size_t(width) * size_t(bitsPerPixel);
        size_t pad = size_t(scanlinePad);
        return (bits + pad - 1) / pad * pad / 8;
    }

    uint32_t LoadPixel(const uint8_t* p) const {
        if (bitsPerPixel == 32) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return msbFirst ? __builtin_bswap32(v) : v;
        }
        uint16_t v;
        std::memcpy(&v, p, 2);
        return msbFirst ? __builtin_bswap16(v) : v;
    }

    void ConvertRow(const uint8_t* src, int32_t count, uint32_t* dst) const {
        if (plainRgb32 && !msbFirst) {
            for (int32_t i = 0; i < count; ++i) {
                uint32_t v;
                std::memcpy(&v, src + 4 * size_t(i), 4);
                dst[i] = v & 0xFFFFFF;
            }
            return;
        }
        const size_t step = size_t(bitsPerPixel / 8);
        for (int32_t i = 0; i < count; ++i) {
            uint32_t p = LoadPixel(src + step * size_t(i));
            dst[i] = (red.To8(p) << 16) | (green.To8(p) << 8) | blue.To8(p);
        }
    }

    static constexpr size_t kMaxChunk = size_t(16) << 20;

    // The segment a grab of the whole screen uses, every page touched here and in the server.
    void PrepareShm() {
        const size_t stride = Stride(rootWidth);
        if (!EnsureShm(std::min(kMaxChunk + stride, stride * size_t(rootHeight)))) return;
        std::memset(shmAddr, 0, shmSize);
        const int32_t rows = int32_t(std::min<size_t>(size_t(rootHeight), shmSize / std::max<size_t>(stride, 1)));
        if (rows > 0) {
            xcb_generic_error_t* e = nullptr;
            free(xcb_shm_get_image_reply(conn,
                                         xcb_shm_get_image(conn, root, 0, 0, uint16_t(rootWidth), uint16_t(rows), ~0u,
                                                           XCB_IMAGE_FORMAT_Z_PIXMAP, shmSeg, 0),
                                         &e));
            free(e);
        }
        shmPrepared = true;
    }
    // Waits for the preparation (normally long finished); without a segment the screen is read
    // through plain requests.
    void JoinShmPrepare() {
        if (!shmPrepare.joinable()) return;
        shmPrepare.join();
        if (!shmPrepared) shm = false;
    }

    bool EnsureShm(size_t size) {
        if (shmAddr && shmSize >= size) return true;
        if (shmSeg) {
            xcb_shm_detach(conn, shmSeg);
            shmSeg = 0;
        }
        if (shmAddr) {
            shmdt(shmAddr);
            shmAddr = nullptr;
            shmSize = 0;
        }
        int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id < 0) return false;
        void* addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        xcb_shm_seg_t seg = xcb_generate_id(conn);
        xcb_generic_error_t* e = xcb_request_check(conn, xcb_shm_attach_checked(conn, seg, uint32_t(id), 0));
        // Marked for removal now: the segment goes away once both sides have detached.
        shmctl(id, IPC_RMID, nullptr);
        if (e) {
            free(e);
            shmdt(addr);
            return false;
        }
        shmSeg = seg;
        shmId = id;
        shmAddr = static_cast<uint8_t*>(addr);
        shmSize = size;
        return true;
    }

    // Copies the screen rows [y, y + h) of columns [x, x + w) into target rows starting at ty,
    // columns starting at tx. The rectangle lies on the screen and in the target.
    bool Grab(int32_t x, int32_t y, int32_t w, int32_t h, RgbImage& target, int32_t tx, int32_t ty) {
        const size_t stride = Stride(w);
        JoinShmPrepare();
        const int32_t rowsPerChunk = int32_t(std::max<size_t>(1, kMaxChunk / stride));
        for (int32_t done = 0; done < h;) {
            const int32_t rows = std::min(rowsPerChunk, h - done);
            const size_t bytes = stride * size_t(rows);
            const uint8_t* data = nullptr;
            xcb_get_image_reply_t* plain = nullptr;
            if (shm && !EnsureShm(std::min(kMaxChunk + stride, stride * size_t(h)))) shm = false;
            if (shm) {
                xcb_generic_error_t* e = nullptr;
                auto* r = xcb_shm_get_image_reply(
                    conn,
                    xcb_shm_get_image(conn, root, int16_t(x), int16_t(y + done), uint16_t(w), uint16_t(rows),
                                      ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shmSeg, 0),
                    &e);
                if (!r) return Fail("screen image could not be read", e);
                free(r);
                data = shmAddr;
            } else {
                xcb_generic_error_t* e = nullptr;
                plain = xcb_get_image_reply(
                    conn,
                    xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x), int16_t(y + done), uint16_t(w),
                                  uint16_t(rows), ~0u),
                    &e);
                if (!plain) return Fail("screen image could not be read", e);
                if (size_t(xcb_get_image_data_length(plain)) < bytes) {
                    free(plain);
                    return Fail("screen image reply too short");
                }
                data = xcb_get_image_data(plain);
            }
            for (int32_t row = 0; row < rows; ++row)
                ConvertRow(data + stride * size_t(row), w, target.Row(ty + done + row) + tx);
            free(plain);
            done += rows;
        }
        return true;
    }
};

Screen::Screen(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Screen::~Screen() = default;

std::unique_ptr<Screen> Screen::Open(const std::string& displayName, std::string* error, bool useSharedMemory) {
    auto impl = std::make_unique<Impl>();
    auto fail = [&](const std::string& what) -> std::unique_ptr<Screen> {
        if (error) *error = what;
        return nullptr;
    };
    int screenNumber = 0;
    impl->conn = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (!impl->conn || xcb_connection_has_error(impl->conn))
        return fail("cannot connect to the X display " + (displayName.empty() ? std::string("$DISPLAY") : displayName));

    const xcb_setup_t* setup = xcb_get_setup(impl->conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return fail("the X display has no such screen");
    const xcb_screen_t* s = it.data;
    impl->root = s->root;
    impl->rootWidth = s->width_in_pixels;
    impl->rootHeight = s->height_in_pixels;
    impl->depth = s->root_depth;
    impl->msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;

    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == impl->depth) {
            impl->bitsPerPixel = f.data->bits_per_pixel;
            impl->scanlinePad = f.data->scanline_pad;
        }
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(s); d.rem && !visual; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == s->root_visual) {
                visual = v.data;
                break;
            }
    if (!visual || (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR && visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR))
        return fail("the X screen is not a true-colour screen");
    if (impl->bitsPerPixel != 32 && impl->bitsPerPixel != 16)
        return fail("unsupported X pixel size of " + std::to_string(impl->bitsPerPixel) + " bits");
    impl->red = Channel(visual->red_mask);
    impl->green = Channel(visual->green_mask);
    impl->blue = Channel(visual->blue_mask);
    impl->plainRgb32 = impl->bitsPerPixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
                       visual->blue_mask == 0xFF;

    if (useSharedMemory) {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(impl->conn, &xcb_shm_id);
        if (ext && ext->present) {
            auto* r = xcb_shm_query_version_reply(impl->conn, xcb_shm_query_version(impl->conn), nullptr);
            impl->shm = r != nullptr;
            free(r);
        }
    }
    if (impl->shm) {
        Impl* p = impl.get();
        impl->shmPrepare = std::thread([p] { p->PrepareShm(); });
    }
    const xcb_query_extension_reply_t* fx = xcb_get_extension_data(impl->conn, &xcb_xfixes_id);
    if (fx && fx->present) {
        auto* r = xcb_xfixes_query_version_reply(impl->conn, xcb_xfixes_query_version(impl->conn, 4, 0), nullptr);
        impl->xfixes = r && r->major_version >= 1;
        free(r);
    }
    return std::unique_ptr<Screen>(new Screen(std::move(impl)));
}

Rect Screen::RootRect() const { return {0, 0, impl_->rootWidth, impl_->rootHeight}; }

bool Screen::UsesSharedMemory() const {
    impl_->JoinShmPrepare();
    return impl_->shm;
}

const std::string& Screen::LastError() const { return impl_->error; }

bool Screen::CopyToImage(const Rect& source, RgbImage& target, int32_t atX, int32_t atY) {
    if (source.width <= 0 || source.height <= 0) return true;
    // Everything in screen coordinates, in 64 bits: the source, the screen, and the target's extent.
    const Clip src{source.left, source.top, int64_t(source.left) + source.width, int64_t(source.top) + source.height};
    const Clip screen{0, 0, impl_->rootWidth, impl_->rootHeight};
    const int64_t offX = int64_t(source.left) - atX, offY = int64_t(source.top) - atY;
    const Clip tgt{offX, offY, offX + target.width, offY + target.height};
    const Clip c = src.And(screen).And(tgt);
    if (c.Empty()) return true;
    return impl_->Grab(int32_t(c.l), int32_t(c.t), int32_t(c.r - c.l), int32_t(c.b - c.t), target,
                       int32_t(c.l - offX), int32_t(c.t - offY));
}

bool Screen::IsWindow(uint32_t window) {
    xcb_generic_error_t* e = nullptr;
    auto* r = xcb_get_window_attributes_reply(impl_->conn, xcb_get_window_attributes(impl_->conn, window), &e);
    const bool exists = r != nullptr;
    free(e);
    free(r);
    return exists;
}

std::optional<Rect> Screen::WindowRect(uint32_t window) {
    if (!IsWindow(window)) return std::nullopt;
    xcb_generic_error_t* e1 = nullptr;
    xcb_generic_error_t* e2 = nullptr;
    auto gc = xcb_get_geometry(impl_->conn, window);
    auto tc = xcb_translate_coordinates(impl_->conn, window, impl_->root, 0, 0);
    auto* g = xcb_get_geometry_reply(impl_->conn, gc, &e1);
    auto* t = xcb_translate_coordinates_reply(impl_->conn, tc, &e2);
    std::optional<Rect> out;
    if (g && t) out = Rect{t->dst_x, t->dst_y, g->width, g->height};
    else impl_->Fail("window rectangle could not be read", e1 ? e1 : e2);
    if (e1 && e2) free(e2);
    free(g);
    free(t);
    return out;
}

std::optional<uint32_t> Screen::ActiveWindow() {
    static constexpr char kName[] = "_NET_ACTIVE_WINDOW";
    auto* atom = xcb_intern_atom_reply(impl_->conn, xcb_intern_atom(impl_->conn, 1, sizeof kName - 1, kName), nullptr);
    if (!atom) return std::nullopt;
    const xcb_atom_t name = atom->atom;
    free(atom);
    if (name == XCB_ATOM_NONE) return std::nullopt;
    auto* prop = xcb_get_property_reply(
        impl_->conn, xcb_get_property(impl_->conn, 0, impl_->root, name, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (!prop) return std::nullopt;
    xcb_window_t window = 0;
    if (prop->format == 32 && xcb_get_property_value_length(prop) >= 4)
        window = *static_cast<const xcb_window_t*>(xcb_get_property_value(prop));
    free(prop);
    if (window == 0 || window == impl_->root || !IsWindow(window)) return std::nullopt;
    // Up to the frame the window manager put around it; a bounded walk, whatever the tree says.
    for (int depth = 0; depth < 64; ++depth) {
        auto* tree = xcb_query_tree_reply(impl_->conn, xcb_query_tree(impl_->conn, window), nullptr);
        if (!tree) return std::nullopt;
        const xcb_window_t parent = tree->parent;
        free(tree);
        if (parent == impl_->root || parent == 0) return window;
        window = parent;
    }
    return window;
}

std::optional<Point> Screen::CursorPos() {
    auto* r = xcb_query_pointer_reply(impl_->conn, xcb_query_pointer(impl_->conn, impl_->root), nullptr);
    if (!r) return std::nullopt;
    std::optional<Point> p;
    if (r->same_screen) p = Point{r->root_x, r->root_y};
    free(r);
    return p;
}

std::optional<CursorImage> Screen::Cursor() {
    if (!impl_->xfixes) return std::nullopt;
    auto* r = xcb_xfixes_get_cursor_image_reply(impl_->conn, xcb_xfixes_get_cursor_image(impl_->conn), nullptr);
    if (!r) return std::nullopt;
    CursorImage c;
    c.position = {r->x, r->y};
    c.hotSpot = {r->xhot, r->yhot};
    c.width = r->width;
    c.height = r->height;
    const uint32_t* px = xcb_xfixes_get_cursor_image_cursor_image(r);
    const int64_t n = xcb_xfixes_get_cursor_image_cursor_image_length(r);
    // Both sides are 16-bit: their product needs more than 31 bits.
    if (n >= int64_t(c.width) * c.height) c.argb.assign(px, px + size_t(c.width) * size_t(c.height));
    else c.width = c.height = 0;
    free(r);
    return c;
}

bool Screen::DrawPolylines(const std::vector<std::array<Point, 3>>& lines, PenMode mode, int penWidth, uint32_t rgb) {
    Impl& m = *impl_;
    if (!m.gc) {
        m.gc = xcb_generate_id(m.conn);
        const uint32_t v[] = {XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS};
        xcb_generic_error_t* e = xcb_request_check(m.conn, xcb_create_gc_checked(m.conn, m.gc, m.root, XCB_GC_SUBWINDOW_MODE, v));
        if (e) {
            m.gc = 0;
            return m.Fail("cannot draw on the screen", e);
        }
    }
    const uint32_t pixel = m.red.From8((rgb >> 16) & 0xFF) | m.green.From8((rgb >> 8) & 0xFF) | m.blue.From8(rgb & 0xFF);
    const uint32_t values[] = {
        uint32_t(mode == PenMode::NotXor ? XCB_GX_EQUIV : XCB_GX_COPY),
        pixel,
        uint32_t(std::max(0, penWidth)),
    };
    xcb_change_gc(m.conn, m.gc, XCB_GC_FUNCTION | XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH, values);
    bool ok = true;
    for (const auto& line : lines) {
        xcb_point_t pts[3];
        for (int i = 0; i < 3; ++i)
            pts[i] = {int16_t(std::clamp(line[size_t(i)].x, -32768, 32767)),
                      int16_t(std::clamp(line[size_t(i)].y, -32768, 32767))};
        xcb_generic_error_t* e =
            xcb_request_check(m.conn, xcb_poly_line_checked(m.conn, XCB_COORD_MODE_ORIGIN, m.root, m.gc, 3, pts));
        if (e) ok = m.Fail("cannot draw on the screen", e);
    }
    // A lost connection answers every check with "no error": it must not count as drawn.
    if (xcb_connection_has_error(m.conn)) ok = m.Fail("cannot draw on the screen");
    return ok;
}

}  // namespace orb::screencap
