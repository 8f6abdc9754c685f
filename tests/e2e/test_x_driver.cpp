// The XTest driver against a real Qt window on a private X server: what it types and clicks must
// arrive as a user's keys and clicks would, shifted characters and shortcuts included.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "support/xvfb_server.h"
#include "x_driver.h"

using namespace orb::test;

namespace {

// Runs Qt's events until the condition holds or five seconds have passed.
bool Pump(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 5000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace

TEST(XDriver, FindsClicksAndTypesIntoAQtWindow) {
    XvfbServer xvfb;
    std::string error;
    ASSERT_TRUE(xvfb.Start(800, 600, 24, &error)) << error;
    TXDriver x;
    ASSERT_TRUE(x.Open(xvfb.Display(), &error)) << error;
    setenv("DISPLAY", xvfb.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "test_x_driver";
    char* argv[] = {name, nullptr};
    QApplication::setApplicationDisplayName("Driver");
    QApplication app(argc, argv, QApplication::ApplicationFlags);
    ASSERT_EQ(QApplication::platformName(), "xcb");

    QWidget window;
    window.setWindowTitle("Sign in: check");
    auto* host = new QLineEdit(":9910");
    auto* user = new QLineEdit;
    auto* button = new QPushButton("Go");
    auto* layout = new QVBoxLayout(&window);
    for (QWidget* w : {static_cast<QWidget*>(host), static_cast<QWidget*>(user), static_cast<QWidget*>(button)})
        layout->addWidget(w);
    bool clicked = false;
    QObject::connect(button, &QPushButton::clicked, [&] { clicked = true; });
    window.move(100, 80);
    window.show();

    std::optional<TXDriver::Window> found;
    ASSERT_TRUE(Pump([&] { return bool(found = x.FindWindow([](const std::string& t) {
                                           return TXDriver::ShowsCaption(t, "Sign in: check");
                                       }, ::getpid())); }));
    EXPECT_FALSE(x.FindWindow([](const std::string& t) { return t == "Sign in: check"; }, ::getpid() + 1));
    auto g = x.Geometry(*found);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, window.geometry().x());
    EXPECT_EQ(g->width, window.width());

    const QPoint hostAt = host->mapToGlobal(QPoint(5, host->height() / 2));
    x.Click(hostAt.x(), hostAt.y());
    ASSERT_TRUE(Pump([&] { return host->hasFocus(); }));
    x.Key(XK_a, {XK_Control_L});
    ASSERT_TRUE(x.Type("127.0.0.1:4242\tMod_User1 \"P@ss\"~{x}|!"));
    EXPECT_TRUE(Pump([&] { return user->text() == "Mod_User1 \"P@ss\"~{x}|!"; })) << user->text().toStdString();
    EXPECT_EQ(host->text(), "127.0.0.1:4242");
    EXPECT_FALSE(x.Type("caf\xc3\xa9"));  // beyond ASCII: refused, not mistyped

    const QPoint buttonAt = button->mapToGlobal(button->rect().center());
    x.Click(buttonAt.x(), buttonAt.y());
    EXPECT_TRUE(Pump([&] { return clicked; }));

    // The picture shows the window where the server says it is.
    const QImage shot = x.Capture(found);
    ASSERT_EQ(shot.size(), window.size());
    const QImage whole = x.Capture();
    EXPECT_EQ(whole.size(), QSize(800, 600));
    EXPECT_EQ(whole.pixel(0, 0), qRgb(0, 0, 0));  // nothing drawn outside the window
    EXPECT_EQ(shot.pixel(2, 2), whole.pixel(g->x + 2, g->y + 2));
    EXPECT_GT(DistinctColours(whole, *g), 4);
}
