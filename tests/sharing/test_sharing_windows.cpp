// The windows' plain decisions: the descriptor of Start, the preview selection, the refresh and
// colour entries, keys and buttons of remote input, and the copy of changed pixels.
#include <gtest/gtest.h>

#include <Qt>

#include "appshare/settings/share_settings_logic.h"
#include "appshare/viewer/viewer_input.h"
#include "sharing/remote_input.h"

using namespace orb;
using namespace orb::appshare;
using sharing::TRect;

namespace {

TShareSettingsChoice Choice(int32_t mode) {
    TShareSettingsChoice c;
    c.mode = mode;
    c.screen = {0, 0, 1280, 960};
    c.workArea = {0, 0, 1280, 920};
    c.ownUserId = 42;
    c.ownName = std::string(250, 'n');
    c.pixelFormat = kPixelFormat16;
    c.refresh = 999;
    return c;
}

TEST(ShareSettings, DescriptorOfEachModeAndTheRefusals) {
    auto desk = BuildShareStart(Choice(kShareModeDesktop));
    ASSERT_TRUE(desk.ok);
    EXPECT_EQ(desk.descriptor.title, "Desktop");
    EXPECT_EQ(desk.descriptor.sourceHeight, 960);
    EXPECT_EQ(desk.descriptor.frameInterval, 750);
    EXPECT_EQ(desk.descriptor.sharerName.size(), 200u);
    EXPECT_EQ(desk.descriptor.userId, 42);
    EXPECT_EQ(desk.descriptor.segmentsPerLine, 5);
    auto noBar = Choice(kShareModeDesktop);
    noBar.showTaskbar = false;
    EXPECT_EQ(BuildShareStart(noBar).descriptor.pictureHeight, 920);

    struct Area {
        TPreviewSelection sel;
        bool ok;
        TRect source;
    };
    for (const Area& a : {Area{{10, 20, 110, 140}, true, {40, 80, 400, 480}},
                          Area{{110, 140, 10, 20}, true, {40, 80, 400, 480}},
                          Area{{300, 200, 400, 300}, true, {1200, 800, 80, 160}},  // cut to the screen
                          Area{{10, 10, 14, 200}, false, {}},                          // 16 pixels wide
                          Area{{318, 10, 400, 200}, false, {}}}) {                     // 8 left on the screen
        auto c = Choice(kShareModeArea);
        c.selection = a.sel;
        auto s = BuildShareStart(c);
        EXPECT_EQ(s.ok, a.ok) << a.sel.x0;
        if (!a.ok) {
            EXPECT_EQ(s.refusal,
                      "Area too small! Please click and drag over the preview image \r\nto select a part of your desktop.");
            continue;
        }
        EXPECT_EQ((TRect{s.descriptor.sourceLeft, s.descriptor.sourceTop, s.descriptor.sourceWidth,
                         s.descriptor.sourceHeight}),
                  a.source);
        EXPECT_EQ(s.descriptor.pictureWidth, 1280);
        EXPECT_EQ(s.descriptor.title, "Part of Desktop");
    }
    auto win = Choice(kShareModeWindow);
    EXPECT_EQ(BuildShareStart(win).refusal, "Please select an application from the list.");
    win.window = TShareWindowChoice{77, "Editor"};
    auto ws = BuildShareStart(win);
    ASSERT_TRUE(ws.ok);
    EXPECT_EQ(ws.window, 77u);
    EXPECT_EQ(ws.descriptor.title, "Editor");
    EXPECT_EQ(ws.descriptor.pictureWidth, 1280);

    EXPECT_EQ(ReleaseSelection({5, 5, 15, 100}), (TPreviewSelection{15, 100, 115, 200}));
    EXPECT_EQ(ReleaseSelection({5, 5, 25, 25}), (TPreviewSelection{5, 5, 25, 25}));
    for (auto [pos, rounded] : {std::pair{250, 250}, {499, 250}, {500, 500}, {1999, 1750}, {2000, 2000}, {0, 250}})
        EXPECT_EQ(RefreshOfPosition(pos), rounded);
    EXPECT_EQ(PixelFormatOfEntry(0), kPixelFormat8);
    EXPECT_EQ(PixelFormatOfEntry(2), kPixelFormat24);
    EXPECT_EQ(EntryOfPixelFormat(5), 1);
    EXPECT_EQ(EntryOfPixelFormat(9), 0);
}

TEST(ShareViewerInput, KeysButtonsAndChangedPixels) {
    struct Key {
        int qt;
        unsigned long sym;
        uint8_t vk;
        uint8_t scan;
    };
    for (const Key& k : {Key{Qt::Key_H, 0x68, 'H', 0x23}, Key{Qt::Key_Exclam, 0, '1', 0x02},
                         Key{Qt::Key_Return, 0xff0d, 13, 0x1C}, Key{Qt::Key_F5, 0, 116, 0x3F},
                         Key{Qt::Key_Left, 0, 37, 0x4B}, Key{Qt::Key_unknown, 0, 0, 0}}) {
        EXPECT_EQ(VirtualKeyOf(k.qt, k.sym), k.vk) << k.qt;
        EXPECT_EQ(ScanCodeOf(k.vk), k.scan) << k.qt;
    }
    EXPECT_EQ(ButtonFlags(Qt::LeftButton, true), sharing::kMouseLeftDown);
    EXPECT_EQ(ButtonFlags(Qt::MiddleButton, false), sharing::kMouseMiddleUp);
    EXPECT_EQ(ButtonFlags(Qt::BackButton, true), 0);

    ShareBitmap b;
    ASSERT_TRUE(b.SetGeometry(kPixelFormat16, 8, 4));
    b.Fill(0xFF0000);
    QImage img;
    EXPECT_EQ(CopyToImage(b, {6, 2, 10, 10}, img), (TRect{6, 2, 2, 2}));
    EXPECT_EQ(img.size(), QSize(8, 4));
    EXPECT_EQ(img.pixel(7, 3), qRgb(0xFF, 0, 0));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(CopyToImage(b, {9, 0, 1, 1}, img).Empty());
}

}  // namespace
