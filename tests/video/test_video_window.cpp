// The video window offscreen: its frame, its texts as plain text, the size menu, and its place in
// the data module's list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>

#include "loop/plain_event_loop.h"
#include "video_window/frm_video.h"

using namespace orb;
using namespace orb::video;

TEST(VideoWindow, FrameTextsSizeMenuAndList) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QApplication app(argc, argv);
    PlainEventLoop loop;
    TDM dm(loop, 900);
    TVideoEnvironment env;
    env.loop = &loop;
    env.host = "127.0.0.1";
    env.port = 1;  // nobody listens
    auto* w = new TfrmVideo(dm, env);
    EXPECT_EQ(w->windowTitle(), "Video Window");
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->size(), QSize(160, 144));
    w->SetUserCaption("<b>Ann</b>");
    w->Session().UserId = 12;
    w->show();
    w->StartViewing();
    auto* info = w->findChild<QLabel*>("lbInfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->text(), "Unable to connect to video server.\nPlease try again in a few seconds.");
    auto* user = w->findChild<QLabel*>("lbUser");
    EXPECT_EQ(user->textFormat(), Qt::PlainText);
    EXPECT_EQ(dm.FindVideoViewer(12), nullptr);  // a failed start never joins the list
    QImage shot = w->grab().toImage();
    shot.save(QString(ORB_TEST_ARTIFACTS) + "/video_window_failed_view.png");

    // A long name is never cut mid-letter: it ends in an ellipsis and is whole in the tool tip;
    // with room enough it shows whole.
    const QString longName = QStringLiteral("Maximilian Alexander Tester");
    w->SetUserCaption(longName);
    QCoreApplication::processEvents();
    EXPECT_TRUE(user->text().endsWith(QChar(0x2026))) << user->text().toStdString();
    EXPECT_LE(user->fontMetrics().horizontalAdvance(user->text()), user->width());
    EXPECT_EQ(user->toolTip(), longName);

    QStringList items;
    for (QAction* a : w->SizeMenu()->actions()) items << a->text();
    EXPECT_EQ(items, QStringList({"Original Size", "Very Small (80 x 60)", "Small Size (160 x 120)",
                                  "Middle Size (320 x 240)", "Large Size (640 x 480)", "Close"}));
    w->SizeMenu()->actions()[3]->trigger();
    EXPECT_EQ(w->size(), QSize(320, 264));
    QCoreApplication::processEvents();
    EXPECT_EQ(user->text(), longName);
    w->SizeMenu()->actions()[1]->trigger();
    EXPECT_EQ(w->size(), QSize(80, 84));

    // Added by a successful start, the window leaves the list when closed by the data module.
    dm.AddVideoWindow(w);
    EXPECT_EQ(dm.FindVideoViewer(12), w);
    QPointer<TfrmVideo> alive(w);
    dm.CloseVideoWindows();
    EXPECT_TRUE(dm.VideoWindows.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}
