// The player docked in the room window's left column, in the playback layout, at the sizes the
// window takes on common screens: every control of the player is whole and inside the window.
// Screenshots go to <build>/test-artifacts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>

#include "frm_player.h"
#include "main/frm_main.h"
#include "ui_frm_main.h"
#include "ui_frm_player.h"

namespace {

// The part of a widget that its ancestors up to the window leave visible, in window coordinates.
QRect VisiblePart(QWidget* w, QWidget* window) {
    QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        r &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
    return r & window->rect();
}

TEST(DockedPlayer, EveryControlIsWholeInsideTheRoomWindowAtCommonSizes) {
    int argc = 0;
    QApplication app(argc, nullptr);
    TfOrbeloMain main;
    TfrmPlayer player;
    main.ApplyPlaybackLayout();
    main.SetSplitters(290, 325);
    player.Dock(main.Ui().pControls);
    player.SetCaption(QStringLiteral("Orbelo Live Player - Downloading 1000 KB of 2000 KB"));
    player.SetStatus(QStringLiteral("PLAYING"), 0x008000);
    player.show();
    // The playback layout covers the screen; a screen of these sizes gives the window the same.
    main.showNormal();
    std::vector<QWidget*> controls;
    for (QWidget* c : player.findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QAbstractSlider*>(c) || qobject_cast<QProgressBar*>(c) ||
            qobject_cast<QLabel*>(c) || c == player.Ui().pSlider)
            controls.push_back(c);
    ASSERT_GE(controls.size(), 11u);
    for (QSize size : {QSize(1280, 800), QSize(1600, 1000)}) {
        const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height());
        main.resize(size);
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        ASSERT_EQ(main.size(), size);
        EXPECT_TRUE(player.isVisibleTo(&main)) << at;
        for (QWidget* c : controls) {
            const std::string name = at + " " + c->objectName().toStdString();
            if (!c->isVisibleTo(&main)) continue;
            const QRect whole(c->mapTo(&main, QPoint(0, 0)), c->size());
            EXPECT_TRUE(main.rect().contains(whole)) << name;
            EXPECT_EQ(VisiblePart(c, &main), whole) << name << " is cut off";
            if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QAbstractSlider*>(c)) {
                EXPECT_GE(c->width(), c->minimumSizeHint().width()) << name;
                EXPECT_GE(c->height(), c->minimumSizeHint().height()) << name;
            }
        }
        for (QWidget* c : {static_cast<QWidget*>(player.Ui().tbPlay), static_cast<QWidget*>(player.Ui().tbPause),
                           static_cast<QWidget*>(player.Ui().tbStop), static_cast<QWidget*>(player.Ui().xiWaveVolume),
                           static_cast<QWidget*>(player.Ui().tbFullScreen), static_cast<QWidget*>(player.Ui().btnClose)})
            EXPECT_TRUE(c->isVisibleTo(&main)) << at << " " << c->objectName().toStdString();
        EXPECT_TRUE(main.grab().save(QString::fromStdString(ORB_ARTIFACTS_DIR "/player_docked_" + at + ".png")));
    }
}

}  // namespace
