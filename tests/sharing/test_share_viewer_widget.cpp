// The viewer window offscreen: remote input only while control is held, through the letterbox in
// fit mode and 1:1 in original size, keys only from the picture, and a floating viewer that docks
// when closed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

#include "appshare/viewer/frm_share_viewer.h"
#include "sharing/remote_input.h"
#include "ui_frm_share_viewer.h"

using namespace orb;
using namespace orb::appshare;

namespace {

void Click(QWidget* w, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

void Key(QWidget* w, int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(ShareViewerWindow, RemoteInputThroughThePictureOnlyWhileControlIsHeld) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TfrmAppShareViewWindow w;
    std::vector<TRemoteInputEvent> sent;
    w.SendInput = [&](const TRemoteInputEvent& e) { sent.push_back(e); };
    TAppShareDescriptor d;
    d.pictureWidth = 1920;
    d.pictureHeight = 1080;
    w.OpenSegmentShare(d);
    w.resize(800, 700);
    w.show();
    QApplication::processEvents();
    TSharePicture* p = w.Picture();
    const sharing::TRect shown = p->PictureRect();
    ASSERT_FALSE(shown.Empty());
    const QPoint centre(shown.left + shown.width / 2, shown.top + shown.height / 2);

    Click(p, centre);
    Key(p, Qt::Key_H);
    EXPECT_TRUE(sent.empty()) << "input forwarded without control";

    w.SetRemoteControl(true);
    Click(p, {centre.x(), shown.top > 0 ? shown.top / 2 : shown.top + shown.height + 1});  // the margin
    EXPECT_TRUE(sent.empty()) << "a click on the margin was sent";
    Click(p, centre);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].flags, sharing::kMouseAbsolute | sharing::kMouseLeftDown);
    EXPECT_NEAR(sent[0].dx, 32768, 70);
    EXPECT_NEAR(sent[0].dy, 32768, 70);
    Key(p, Qt::Key_H);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].eventKind, TRemoteInputEvent::ieKeyboard);
    EXPECT_EQ(sent[1].virtualKey, 'H');
    EXPECT_EQ(sent[1].scanCode, 0x23);
    Key(w.Ui().btnFit, Qt::Key_H);
    EXPECT_EQ(sent.size(), 2u) << "a key outside the picture was forwarded";

    // Original size: 1:1 from the picture's corner.
    w.SetFit(false);
    QApplication::processEvents();
    EXPECT_EQ(p->PictureRect(), (sharing::TRect{0, 0, 1920, 1080}));
    Click(p, {10, 1079});
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].dx, 341);
    EXPECT_EQ(sent[2].dy, 65474);  // the last line: 65535 / 1080 x 1079

    w.SetRemoteControl(false);
    Click(p, {10, 10});
    EXPECT_EQ(sent.size(), 3u);

    // A floating viewer docks instead of closing.
    int docked = 0;
    w.OnDockRequested = [&] { ++docked; };
    w.SetFloating(true);
    EXPECT_EQ(w.Ui().lbFloat->text(), "Dock");
    EXPECT_FALSE(w.close());
    EXPECT_EQ(docked, 1);
    w.SetFloating(false);
    EXPECT_EQ(w.Ui().lbFloat->text(), "Float");

    // A tile share opens in its original size, whatever the previous share showed.
    w.CloseShare();
    w.SetFit(true);
    sharing::TRgbPicture tiles;
    tiles.Reset(1024, 600, 0xFF336699u);
    w.OpenTileShare(tiles);
    QApplication::processEvents();
    EXPECT_FALSE(w.Picture()->Fit());
    EXPECT_EQ(w.Picture()->PictureRect(), (sharing::TRect{0, 0, 1024, 600}));
}

}  // namespace
