#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "appshare/capture/capture.h"
#include "support/xvfb_server.h"

using namespace orb::appshare;
using orb::screencap::Rect;
using orb::screencap::RgbImage;

namespace {

constexpr int kW = 320, kH = 240;

// The known picture drawn on the test screen, as 0x00RRGGBB.
uint32_t Pattern(int x, int y) { return (uint32_t((x * 5) & 0xFF) << 16) | (uint32_t((y * 3) & 0xFF) << 8) | uint32_t((x ^ y) & 0xFF); }
uint32_t WindowPattern(int x, int y) { return 0x20A040u + uint32_t(x) * 2 + (uint32_t(y) << 17); }

// Our own X client that draws what the capture must see.
class Painter {
public:
    explicit Painter(const std::string& display) {
        conn_ = xcb_connect(display.c_str(), nullptr);
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        gc_ = xcb_generate_id(conn_);
        xcb_create_gc(conn_, gc_, screen_->root, 0, nullptr);
    }
    ~Painter() { xcb_disconnect(conn_); }
    bool Ok() const { return conn_ && !xcb_connection_has_error(conn_); }
    xcb_connection_t* Conn() { return conn_; }
    xcb_window_t Root() const { return screen_->root; }

    // Puts a picture (0x00RRGGBB, 32 bits per pixel as a 24-bit Xvfb stores it) into a drawable.
    template <class F>
    void Put(xcb_drawable_t d, int x0, int y0, int w, int h, F colour) {
        for (int y = 0; y < h; y += 16) {
            int rows = std::min(16, h - y);
            std::vector<uint32_t> px(size_t(w) * rows);
            for (int r = 0; r < rows; ++r)
                for (int x = 0; x < w; ++x) px[size_t(r) * w + x] = colour(x0 + x, y0 + y + r);
            xcb_put_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, d, gc_, uint16_t(w), uint16_t(rows), int16_t(x0 - (d == Root() ? 0 : x0)),
                          int16_t(y0 + y - (d == Root() ? 0 : y0)), 0, 24, uint32_t(px.size() * 4),
                          reinterpret_cast<const uint8_t*>(px.data()));
        }
        Sync();
    }
    void DrawScreen() { Put(Root(), 0, 0, kW, kH, Pattern); }
    void Sync() { free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }

    xcb_window_t MakeWindow(int x, int y, int w, int h) {
        xcb_window_t win = xcb_generate_id(conn_);
        const uint32_t values[] = {0x000000, 1};
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, win, Root(), int16_t(x), int16_t(y), uint16_t(w), uint16_t(h), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(conn_, win);
        Sync();
        return win;
    }

    // An 8 x 8 solid red cursor with its hot spot at (2, 3), set on the root window.
    void SetRedCursor() {
        xcb_pixmap_t bits = xcb_generate_id(conn_);
        xcb_create_pixmap(conn_, 1, bits, Root(), 8, 8);
        xcb_gcontext_t gc = xcb_generate_id(conn_);
        const uint32_t one[] = {1};
        xcb_create_gc(conn_, gc, bits, XCB_GC_FOREGROUND, one);
        xcb_rectangle_t all{0, 0, 8, 8};
        xcb_poly_fill_rectangle(conn_, bits, gc, 1, &all);
        xcb_cursor_t cursor = xcb_generate_id(conn_);
        xcb_create_cursor(conn_, cursor, bits, bits, 0xFFFF, 0, 0, 0, 0, 0, 2, 3);
        const uint32_t v[] = {cursor};
        xcb_change_window_attributes(conn_, Root(), XCB_CW_CURSOR, v);
        xcb_free_gc(conn_, gc);
        xcb_free_pixmap(conn_, bits);
        Sync();
    }
    void ClearCursor() {
        const uint32_t v[] = {XCB_NONE};
        xcb_change_window_attributes(conn_, Root(), XCB_CW_CURSOR, v);
        Sync();
    }
    void MovePointer(int x, int y) {
        xcb_warp_pointer(conn_, XCB_NONE, Root(), 0, 0, 0, 0, int16_t(x), int16_t(y));
        Sync();
    }

private:
    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_gcontext_t gc_ = 0;
};

ShareBitmap Expected(uint8_t fmt, int w, int h, uint32_t (*colour)(int, int, void*), void* ctx) {
    ShareBitmap b;
    b.SetGeometry(fmt, w, h);
    std::vector<uint32_t> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) row[size_t(x)] = colour(x, y, ctx);
        StoreRgbRow(fmt, row.data(), row.size(), b.ScanLine(y));
    }
    return b;
}

uint32_t At(const ShareBitmap& b, int x, int y) { return PixelToRgb(b.PixelFormat(), b.ScanLine(y) + x * b.BytesPerPixel()); }

class ScreenCapture : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new orb::test::XvfbServer;
        std::string error;
        if (!server_->Start(kW, kH, 24, &error)) startError_ = error;
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(startError_.empty()) << startError_;
        painter_ = std::make_unique<Painter>(server_->Display());
        ASSERT_TRUE(painter_->Ok());
        painter_->ClearCursor();
        painter_->DrawScreen();
        std::string error;
        screen_ = Screen::Open(server_->Display(), &error);
        ASSERT_TRUE(screen_) << error;
    }

    static orb::test::XvfbServer* server_;
    static std::string startError_;
    std::unique_ptr<Painter> painter_;
    std::unique_ptr<Screen> screen_;
};
orb::test::XvfbServer* ScreenCapture::server_ = nullptr;
std::string ScreenCapture::startError_;

}  // namespace

TEST_F(ScreenCapture, WholeScreenEqualsTheDrawnPictureAtEveryDepth) {
    std::string error;
    auto plain = Screen::Open(server_->Display(), &error, false);
    ASSERT_TRUE(plain) << error;
    EXPECT_TRUE(screen_->UsesSharedMemory());
    EXPECT_FALSE(plain->UsesSharedMemory());
    EXPECT_EQ(screen_->RootRect().width, kW);
    for (Screen* s : {screen_.get(), plain.get()}) {
        for (uint8_t fmt : {kPixelFormat24, kPixelFormat16, kPixelFormat8}) {
            SCOPED_TRACE(int(fmt));
            ShareBitmap got;
            ASSERT_TRUE(CaptureScreenScaled(*s, got, 0, 0, kW, kH, kW, kH, fmt, false, false)) << s->LastError();
            auto want = Expected(fmt, kW, kH, [](int x, int y, void*) { return Pattern(x, y); }, nullptr);
            EXPECT_TRUE(got == want);
        }
    }
}

TEST_F(ScreenCapture, ScaledCaptureStretchesAndClipsToTheScreen) {
    ShareBitmap half;
    ASSERT_TRUE(CaptureScreenScaled(*screen_, half, 0, 0, kW, kH, kW / 2, kH / 2, kPixelFormat24, true, false));
    EXPECT_TRUE(half == Expected(kPixelFormat24, kW / 2, kH / 2, [](int x, int y, void*) { return Pattern(2 * x, 2 * y); }, nullptr));

    // A source reaching past the top-left corner: what lies off the screen comes out black.
    ShareBitmap off;
    ASSERT_TRUE(CaptureScreenScaled(*screen_, off, -10, -20, 100, 100, 100, 100, kPixelFormat24, false, false));
    EXPECT_TRUE(off == Expected(kPixelFormat24, 100, 100, [](int x, int y, void*) {
                    return (x < 10 || y < 20) ? 0u : Pattern(x - 10, y - 20);
                }, nullptr));

    // A source at the far end of the coordinate range: nothing of the screen, no cursor, no overflow.
    painter_->MovePointer(5, 5);
    ASSERT_TRUE(CaptureScreenScaled(*screen_, off, INT32_MIN, INT32_MIN, 100, 100, 100, 100, kPixelFormat24, false, true));
    EXPECT_TRUE(off == Expected(kPixelFormat24, 100, 100, [](int, int, void*) { return 0u; }, nullptr));

    // Sizes out of bounds are refused before anything is read.
    EXPECT_FALSE(CaptureScreenScaled(*screen_, off, 0, 0, kW, kH, 16385, 10, kPixelFormat24, false, false));
    EXPECT_FALSE(CaptureScreenScaled(*screen_, off, 0, 0, 0, kH, 10, 10, kPixelFormat24, false, false));
    EXPECT_FALSE(CaptureScreenScaled(*screen_, off, 0, 0, kW, kH, 10, 10, kPixelFormat4, false, false));
    EXPECT_EQ(off.Width(), 100);
}

TEST_F(ScreenCapture, AreaLandsAtItsScreenPositionInGrey) {
    // The area hangs over the bottom-right edge of the screen: clipped, never an X error.
    ShareBitmap got;
    ASSERT_TRUE(CaptureScreenArea(*screen_, got, 300, 200, 50, 60, kW, kH, kPixelFormat24, false, false, false));
    EXPECT_TRUE(got == Expected(kPixelFormat24, kW, kH, [](int x, int y, void*) {
                    return (x >= 300 && y >= 200) ? Pattern(x, y) : kCaptureGrey;
                }, nullptr));
    ASSERT_TRUE(CaptureScreenArea(*screen_, got, 5000, 5000, 50, 60, 64, 64, kPixelFormat16, false, false, false));
    EXPECT_EQ(At(got, 10, 10), PixelToRgb(kPixelFormat16, std::vector<uint8_t>{0x10, 0x84}.data()));
}

TEST_F(ScreenCapture, CornerFrameIsOutsideTheAreaAndTheSecondDrawingRemovesIt) {
    const int L = 100, T = 80, Wd = 60, Ht = 50;
    ShareBitmap first, second;
    ASSERT_TRUE(CaptureScreenArea(*screen_, first, L, T, Wd, Ht, kW, kH, kPixelFormat24, false, false, true));

    // The frame is on the screen now: red kept, green and blue inverted, on the 4-pixel pen
    // around the line 4 pixels outside the area.
    RgbImage shot;
    shot.Reset(kW, kH, 0);
    ASSERT_TRUE(screen_->CopyToImage({0, 0, kW, kH}, shot, 0, 0));
    EXPECT_EQ(shot.Row(T + 9)[L - 4], Pattern(L - 4, T + 9) ^ 0x00FFFFu);
    EXPECT_EQ(shot.Row(T - 4)[L + 10], Pattern(L + 10, T - 4) ^ 0x00FFFFu);
    EXPECT_EQ(shot.Row(T + Ht + 4)[L + Wd - 10], Pattern(L + Wd - 10, T + Ht + 4) ^ 0x00FFFFu);
    EXPECT_EQ(shot.Row(T + 30)[L - 4], Pattern(L - 4, T + 30));  // between the arms
    for (int y = T; y < T + Ht; ++y)
        for (int x = L; x < L + Wd; ++x) ASSERT_EQ(shot.Row(y)[x], Pattern(x, y));

    // The next capture does not see the frame and takes it off the screen again.
    ASSERT_TRUE(CaptureScreenArea(*screen_, second, L, T, Wd, Ht, kW, kH, kPixelFormat24, false, false, true));
    EXPECT_TRUE(first == second);
    ASSERT_TRUE(screen_->CopyToImage({0, 0, kW, kH}, shot, 0, 0));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(shot.Row(y)[x], Pattern(x, y)) << x << "," << y;

    const auto lines = CornerFrameLines(10, 20, 110, 220);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2][0].y, 200);
    EXPECT_EQ(lines[2][2].x, 90);
}

TEST_F(ScreenCapture, WindowCaptureTakesItsRectangleAndAVanishedWindowGivesGrey) {
    xcb_window_t win = painter_->MakeWindow(40, 30, 64, 48);
    painter_->Put(win, 0, 0, 64, 48, WindowPattern);
    ASSERT_TRUE(screen_->IsWindow(win));
    auto r = screen_->WindowRect(win);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->left, 40);
    EXPECT_EQ(r->top, 30);
    EXPECT_EQ(r->width, 64);

    ShareBitmap got;
    ASSERT_TRUE(CaptureWindowToBitmap(*screen_, got, win, kW, kH, kPixelFormat24, false, false));
    EXPECT_TRUE(got == Expected(kPixelFormat24, kW, kH, [](int x, int y, void*) {
                    return (x >= 40 && x < 104 && y >= 30 && y < 78) ? WindowPattern(x - 40, y - 30) : kCaptureGrey;
                }, nullptr));

    xcb_destroy_window(painter_->Conn(), win);
    painter_->Sync();
    EXPECT_FALSE(screen_->IsWindow(win));
    EXPECT_FALSE(screen_->WindowRect(win));
    EXPECT_FALSE(screen_->WindowRect(0x7FFFFFF0));
    ASSERT_TRUE(CaptureWindowToBitmap(*screen_, got, win, 32, 32, kPixelFormat24, false, false));
    EXPECT_TRUE(got == Expected(kPixelFormat24, 32, 32, [](int, int, void*) { return kCaptureGrey; }, nullptr));
}

TEST_F(ScreenCapture, CursorIsDrawnWithItsHotSpotAtThePointer) {
    painter_->SetRedCursor();
    painter_->MovePointer(150, 120);
    auto c = screen_->Cursor();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->hotSpot.x, 2);
    EXPECT_EQ(c->hotSpot.y, 3);

    ShareBitmap got;
    ASSERT_TRUE(CaptureScreenArea(*screen_, got, 0, 0, kW, kH, kW, kH, kPixelFormat24, false, true, false));
    EXPECT_TRUE(got == Expected(kPixelFormat24, kW, kH, [](int x, int y, void*) {
                    return (x >= 148 && x < 156 && y >= 117 && y < 125) ? 0xFF0000u : Pattern(x, y);
                }, nullptr));

    // Scaled: the point is scaled, the cursor keeps its own size.
    ASSERT_TRUE(CaptureScreenScaled(*screen_, got, 100, 100, 200, 100, 100, 50, kPixelFormat24, false, true));
    EXPECT_EQ(At(got, 23, 7), 0xFF0000u);
    EXPECT_EQ(At(got, 30, 14), 0xFF0000u);
    EXPECT_EQ(At(got, 31, 14), Pattern(100 + 62, 100 + 28));
    EXPECT_EQ(At(got, 22, 7), Pattern(100 + 44, 100 + 14));

    // Without the cursor flag the picture is the screen alone.
    ASSERT_TRUE(CaptureScreenArea(*screen_, got, 0, 0, kW, kH, kW, kH, kPixelFormat24, false, false, false));
    EXPECT_EQ(At(got, 150, 120), Pattern(150, 120));
}

TEST(ScreenCaptureErrors, NoDisplayIsAnErrorNotAnExit) {
    std::string error;
    EXPECT_FALSE(Screen::Open(":65000", &error));
    EXPECT_NE(error.find("cannot connect"), std::string::npos);
}

// The X server going away mid-share: every call fails and says so, none ends the program.
TEST(ScreenCaptureErrors, ALostServerFailsEveryCall) {
    orb::test::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start(64, 48, 24, &error)) << error;
    auto screen = Screen::Open(server.Display(), &error);
    ASSERT_TRUE(screen) << error;
    ShareBitmap got;
    ASSERT_TRUE(CaptureScreenScaled(*screen, got, 0, 0, 64, 48, 64, 48, kPixelFormat24, false, false));
    server.Stop();

    const ShareBitmap before = got;
    EXPECT_FALSE(CaptureScreenScaled(*screen, got, 0, 0, 64, 48, 64, 48, kPixelFormat24, false, false));
    EXPECT_TRUE(got == before);
    EXPECT_FALSE(CaptureScreenArea(*screen, got, 0, 0, 10, 10, 64, 48, kPixelFormat24, false, false, false));
    EXPECT_FALSE(DrawCornerFrame(*screen, PenMode::NotXor, 4, kFrameRed, 0, 0, 30, 30));
    EXPECT_NE(screen->LastError().find("connection lost"), std::string::npos);
    EXPECT_FALSE(screen->CursorPos());
    EXPECT_FALSE(screen->Cursor());
    EXPECT_FALSE(screen->IsWindow(screen->RootRect().width));
}

// A 16-bit X screen goes through the general pixel conversion; 5-6-5 pixels survive it exactly.
TEST(ScreenCaptureDepth16, PixelsOfA565ScreenComeBackExactly) {
    orb::test::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start(64, 32, 16, &error)) << error;
    xcb_connection_t* c = xcb_connect(server.Display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    ASSERT_EQ(s->root_depth, 16);
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, s->root, 0, nullptr);
    std::vector<uint16_t> px(64 * 32);
    for (int i = 0; i < 64 * 32; ++i) px[size_t(i)] = uint16_t(i * 37 + (i << 11));
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, gc, 64, 32, 0, 0, 0, 16, uint32_t(px.size() * 2),
                  reinterpret_cast<const uint8_t*>(px.data()));
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    auto screen = Screen::Open(server.Display(), &error);
    ASSERT_TRUE(screen) << error;
    ShareBitmap got;
    ASSERT_TRUE(CaptureScreenScaled(*screen, got, 0, 0, 64, 32, 64, 32, kPixelFormat16, false, false));
    for (int i = 0; i < 64 * 32; ++i) {
        const uint8_t* p = got.ScanLine(i / 64) + (i % 64) * 2;
        ASSERT_EQ(uint16_t(p[0] | (p[1] << 8)), px[size_t(i)]) << i;
    }
    xcb_disconnect(c);
}
