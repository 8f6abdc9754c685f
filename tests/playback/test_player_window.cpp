// What the player window shows: titles, bars, percentages, slider geometry and elapsed time as
// tables, and the window's reaction to the notices of the replay thread and the downloads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#include <QLabel>

#include "frm_player.h"
#include "player_logic.h"
#include "protocol/wm_app.h"
#include "qt_event_loop.h"
#include "ui_frm_player.h"

using namespace orb;
using namespace orb::player;

namespace {

TEST(PlayerLogic, DownloadTitleAndBar) {
    struct Case {
        int64_t total, soFar;
        int current;
        const char* title;
        int bar;
    } cases[] = {
        {0, 0, 7, "Orbelo Live Player - Downloaded", 100},
        {2048000, 1024000, 0, "Orbelo Live Player - Downloading 1000 KB of 2000 KB", 50},
        {2048000, 2048000, 3, "Orbelo Live Player - Downloaded", 100},
        {2048000, 0, 40, "Orbelo Live Player - Downloading 0 KB of 2000 KB", 0},
        {0, 5000, 40, "Orbelo Live Player - Downloading 4 KB of 0 KB", 40},  // total unknown: bar kept
        {3, 1, 0, "Orbelo Live Player - Downloading 0 KB of 0 KB", 33},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadTitle(c.total, c.soFar), c.title);
        EXPECT_EQ(DownloadBarValue(c.total, c.soFar, c.current), c.bar) << c.total << "/" << c.soFar;
    }
}

TEST(PlayerLogic, PositionSliderAndElapsedTime) {
    EXPECT_EQ(PositionPercent(1, 8), "12.50%");
    EXPECT_EQ(PositionPercent(9, 8), "100.00%");
    EXPECT_EQ(PositionPercent(5, 0), "0 %");  // a recording without its message count
    // Slider: bar 300 wide, slider 10: kept within 2 .. 289.
    EXPECT_EQ(SliderLeft(0, 1000, 300, 10), 2);
    EXPECT_EQ(SliderLeft(500, 1000, 300, 10), 150);
    EXPECT_EQ(SliderLeft(1000, 1000, 300, 10), 289);
    EXPECT_EQ(SliderLeft(7, 0, 300, 10), 2);
    EXPECT_EQ(SliderLeftAtMouse(100, 300, 10), 95);
    EXPECT_EQ(SliderLeftAtMouse(-50, 300, 10), 2);
    EXPECT_EQ(SliderTarget(1000, 300, 150), 500u);
    EXPECT_EQ(SliderTarget(1000, 300, 900), 1000u);
    EXPECT_EQ(SliderTarget(1000, 300, -3), 0u);
    EXPECT_EQ(SliderTarget(0, 300, 100), 0u);
    EXPECT_EQ(ElapsedText(0), "0:00:00");
    EXPECT_EQ(ElapsedText(3723999), "1:02:03");
    EXPECT_EQ(ElapsedText(36000000 + 59000), "10:00:59");
}

TEST(PlayerWindow, ShowsTheNoticesOfTheReplay) {
    int argc = 0;
    QApplication app(argc, nullptr);
    QtEventLoop loop;
    TfrmPlayer w;
    const WindowHandle h = loop.RegisterObject(&w);
    w.resize(380, 168);
    w.show();
    auto send = [&](uint32_t msg, std::intptr_t wp, std::intptr_t lp) {
        loop.Post(h, msg, wp, lp);
        QCoreApplication::processEvents();
    };
    EXPECT_EQ(w.Status(), "STOPPED");
    send(WM_APP_PLAYERBUFFERING, 0, 0);
    EXPECT_EQ(w.Status(), "Buffering");
    send(WM_APP_PLAYERMODE, 1, 0);
    EXPECT_EQ(w.Status(), "FAST MODE");
    send(WM_APP_PLAYERMODE, 0, 0);
    EXPECT_EQ(w.Status(), "PLAYING");
    send(WM_APP_PLAYERDOWNLOAD, 4096, 1024);
    EXPECT_EQ(w.Caption(), "Orbelo Live Player - Downloading 1 KB of 4 KB");
    EXPECT_EQ(w.DownloadBar(), 25);
    send(WM_APP_PLAYERSTOPPED, 0, 0);
    EXPECT_EQ(w.Status(), "STOPPED");
    EXPECT_EQ(w.PositionBar(), w.Ui().pBarPlay->maximum());
    // Remote text never becomes markup.
    EXPECT_EQ(w.Ui().lbStatus->textFormat(), Qt::PlainText);
    // A download stopped at its cap is said in a box that does not wait: the notice returns at once.
    send(WM_APP_PLAYERDOWNLOADCAPPED, 100 * 1024, 0);
    auto* box = w.findChild<QMessageBox*>();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), DownloadCappedText(100 * 1024));
    EXPECT_NE(box->text().indexOf(QStringLiteral("100 KB")), -1);


    // Docked in the room window's left column (290 pixels by default) and floating, every control
    // is whole and inside the window.
    const QString title = QStringLiteral("Orbelo Live Player - Downloading 1000 KB of 2000 KB");
    w.SetCaption(title);
    for (int width : {280, 380}) {
        w.resize(width, w.sizeHint().height());
        QCoreApplication::processEvents();
        EXPECT_EQ(w.width(), width) << "the controls need more room than the column gives";
        for (QWidget* c : std::initializer_list<QWidget*>{w.Ui().tbPlay, w.Ui().tbPause, w.Ui().tbStop,
                                                          w.Ui().xiWaveVolume, w.Ui().tbFullScreen}) {
            const QRect r(c->mapTo(&w, QPoint(0, 0)), c->size());
            EXPECT_TRUE(w.rect().contains(r)) << width << " " << c->objectName().toStdString();
            EXPECT_GE(c->width(), c->minimumSizeHint().width()) << width << " " << c->objectName().toStdString();
        }
        // The caption is never cut mid-letter: what does not fit ends in an ellipsis.
        QLabel* caption = w.Ui().lbCaption;
        EXPECT_LE(caption->fontMetrics().horizontalAdvance(caption->text()), caption->width()) << width;
        EXPECT_EQ(w.Caption(), title);
        EXPECT_EQ(caption->toolTip(), title);
    }
    // Floating, it keeps its designed width.
    EXPECT_EQ(w.sizeHint().width(), 380);
}

}  // namespace
