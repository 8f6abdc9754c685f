// Capture for the board on a private Xvfb: the desktop, the active window and a dragged area, and
// a cancelled drag that gives no picture.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "board/capture/screen_capture.h"
#include "support/xvfb_server.h"

using namespace orb::board;

namespace {

constexpr int kW = 640, kH = 480;
std::string gDisplay;

uint32_t Pattern(int x, int y) { return (uint32_t((x * 3) & 0xFF) << 16) | (uint32_t((y * 5) & 0xFF) << 8) | 0x40; }

// Our own X client: paints the root window and makes windows.
class XClient {
public:
    XClient() {
        conn_ = xcb_connect(gDisplay.c_str(), nullptr);
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        gc_ = xcb_generate_id(conn_);
        xcb_create_gc(conn_, gc_, screen_->root, 0, nullptr);
    }
    ~XClient() { xcb_disconnect(conn_); }
    void PaintRoot() {
        for (int y = 0; y < kH; y += 16) {
            std::vector<uint32_t> px(size_t(kW) * 16);
            for (int r = 0; r < 16; ++r)
                for (int x = 0; x < kW; ++x) px[size_t(r) * kW + x] = Pattern(x, y + r);
            xcb_put_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, gc_, kW, 16, 0, int16_t(y), 0, 24,
                          uint32_t(px.size() * 4), reinterpret_cast<const uint8_t*>(px.data()));
        }
        Sync();
    }
    xcb_window_t Window(int x, int y, int w, int h, uint32_t colour) {
        xcb_window_t win = xcb_generate_id(conn_);
        const uint32_t values[] = {colour, 1};
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, win, screen_->root, int16_t(x), int16_t(y), uint16_t(w),
                          uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(conn_, win);
        Sync();
        return win;
    }
    // What a window manager does: names the active window on the root.
    void SetActive(xcb_window_t win) {
        static const char kName[] = "_NET_ACTIVE_WINDOW";
        auto* atom = xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, sizeof kName - 1, kName), nullptr);
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, screen_->root, atom->atom, XCB_ATOM_WINDOW, 32, 1, &win);
        free(atom);
        Sync();
    }
    void Destroy(xcb_window_t win) {
        xcb_destroy_window(conn_, win);
        Sync();
    }
    void Sync() { free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }

private:
    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    uint32_t gc_ = 0;
};

TASGScreenCapture MakeCapture() {
    TASGScreenCapture c;
    c.Minimize = false;
    c.Delay = 0;
    c.DisplayName = gDisplay;
    return c;
}

bool Matches(const QImage& image, QPoint origin) {
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if ((image.pixel(x, y) & 0xFFFFFF) != Pattern(origin.x() + x, origin.y() + y)) return false;
    return true;
}

// Drives the modal area form once it is up.
void DriveForm(std::function<void(QWidget*)> steps) {
    QTimer::singleShot(50, [steps] {
        QWidget* form = QApplication::activeModalWidget();
        if (!form) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QStringLiteral("TCaptureRectForm") && w->isVisible()) form = w;
        }
        if (form) steps(form);
    });
}

}  // namespace

TEST(BoardCapture, DesktopAndActiveWindow) {
    XClient x;
    x.PaintRoot();
    TASGScreenCapture capture = MakeCapture();
    int fired = 0;
    capture.OnCapture = [&] { ++fired; };
    const QImage desktop = capture.CaptureDesktop();
    ASSERT_EQ(desktop.size(), QSize(kW, kH));
    EXPECT_TRUE(Matches(desktop, {0, 0}));
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(std::string(TASGScreenCapture::kVersion), "TASGScreenCapture v1.0");

    // No window manager names an active window: nothing.
    EXPECT_TRUE(capture.CaptureActiveWindow().isNull());
    const xcb_window_t win = x.Window(50, 60, 100, 80, 0x00C01020);
    x.SetActive(win);
    const QImage window = capture.CaptureActiveWindow();
    ASSERT_EQ(window.size(), QSize(100, 80));
    EXPECT_EQ(window.pixel(10, 10) & 0xFFFFFF, 0xC01020u);
    EXPECT_EQ(fired, 2);
    x.Destroy(win);
    // The named window is gone: nothing, and no failure.
    EXPECT_TRUE(capture.CaptureActiveWindow().isNull());
}

TEST(BoardCapture, DraggedAreaAndCancel) {
    XClient x;
    x.PaintRoot();
    TASGScreenCapture capture = MakeCapture();
    DriveForm([](QWidget* form) {
        QTest::mousePress(form, Qt::LeftButton, {}, {300, 200});
        QTest::mouseMove(form, {200, 120});
        QTest::mouseMove(form, {100, 50});
        // The frame as the user sees it, for people to look at.
        form->grab(QRect(60, 20, 280, 220)).save(QStringLiteral(ORB_TEST_ARTIFACTS "/board_capture_area.png"));
        QTest::mouseRelease(form, Qt::LeftButton, {}, {100, 50});
    });
    const QImage area = capture.CaptureSelection();
    ASSERT_EQ(area.size(), QSize(200, 150));
    EXPECT_TRUE(Matches(area, {100, 50}));

    // Escape cancels; a click without movement captures nothing.
    DriveForm([](QWidget* form) { QTest::keyClick(form, Qt::Key_Escape); });
    EXPECT_TRUE(capture.CaptureSelection().isNull());
    DriveForm([](QWidget* form) { QTest::mouseClick(form, Qt::LeftButton, {}, {40, 40}); });
    EXPECT_TRUE(capture.CaptureSelection().isNull());
    // A right-button release is ignored; the left one then ends the drag.
    DriveForm([](QWidget* form) {
        QTest::mousePress(form, Qt::LeftButton, {}, {10, 10});
        QTest::mouseMove(form, {30, 30});
        QTest::mouseRelease(form, Qt::RightButton, {}, {30, 30});
        QTest::mouseRelease(form, Qt::LeftButton, {}, {30, 30});
    });
    EXPECT_EQ(capture.CaptureSelection().size(), QSize(20, 20));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    orb::test::XvfbServer xvfb;
    std::string error;
    if (!xvfb.Start(kW, kH, 24, &error)) {
        std::fprintf(stderr, "Xvfb did not start: %s\n", error.c_str());
        return 1;
    }
    gDisplay = xvfb.Display();
    setenv("DISPLAY", gDisplay.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    xvfb.Stop();
    return result;
}
