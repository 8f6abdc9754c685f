#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "frm_progress.h"

TEST(FrmProgress, StartsFromItsLayoutAndShowsCentredWithTheVersion) {
    TfrmProgress form;
    EXPECT_EQ(form.windowTitle(), "Progress");
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.pBar()->minimum(), 0);
    EXPECT_EQ(form.pBar()->maximum(), 17);
    EXPECT_EQ(form.lbAction()->text(), "Activity Indicator...");
    EXPECT_FALSE(form.isVisible());

    form.ShowCentered();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.lbVer()->text(), "Version 6.2");
    QRect screen = form.screen()->geometry();
    QPoint centre = form.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - screen.center().x()), 2 + form.frameGeometry().width() - form.width());
    EXPECT_LE(std::abs(centre.y() - screen.center().y()), 2 + form.frameGeometry().height() - form.height());
}

TEST(FrmProgress, StepsUpdateBarAndTextAlsoWhileHiddenWithoutShowingTheWindow) {
    TfrmProgress form;
    form.SetRange(17);
    form.SetStep(3, "User account validated.");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.pBar()->value(), 3);
    EXPECT_EQ(form.lbAction()->text(), "User account validated.");
    EXPECT_TRUE(form.lbAction()->isVisibleTo(&form));

    form.ShowCentered();
    form.SetStep(8, "Validating...");
    EXPECT_EQ(form.pBar()->value(), 8);
    EXPECT_TRUE(form.lbAction()->isVisible());
    form.SetRange(5);
    EXPECT_EQ(form.pBar()->maximum(), 5);
    EXPECT_EQ(form.pBar()->value(), 0);
    // Text from the network is shown as it is, never as markup.
    form.SetStep(1, "<b>x</b>");
    EXPECT_EQ(form.lbAction()->textFormat(), Qt::PlainText);
    // A step only paints: nothing queued runs in the middle of the sequence that shows it.
    bool ran = false;
    QMetaObject::invokeMethod(&form, [&] { ran = true; }, Qt::QueuedConnection);
    form.SetStep(2, "Validating user info...");
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST(FrmProgress, ClosingOnlyHidesAndTheWindowCanBeShownAgain) {
    TfrmProgress form;
    form.ShowCentered();
    ASSERT_TRUE(form.isVisible());
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    form.SetStep(4, "Init whiteboards...");
    form.ShowCentered();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.lbAction()->text(), "Init whiteboards...");
    form.HideProgress();
    EXPECT_FALSE(form.isVisible());
}

TEST(FrmProgress, GivesWayToEveryModalWindowAndComesBackOnlyWhileItsSequenceRuns) {
    TfrmProgress form;
    EXPECT_TRUE(form.testAttribute(Qt::WA_ShowWithoutActivating));
    form.ShowCentered();
    ASSERT_TRUE(form.isVisible());
    struct Seen {
        bool progressShown = true;
        bool boxActive = false;
    };
    // A question opened during the sequence: the progress window is gone while it waits, and the
    // box has the keys.
    auto ask = [&](const std::function<void()>& whileAsked) {
        Seen seen;
        QMessageBox box(QMessageBox::Critical, "Orbelo Live Browser", "Unable to establish a connection",
                        QMessageBox::Yes | QMessageBox::No);
        QTimer::singleShot(0, &box, [&] {
            QCoreApplication::processEvents();
            seen.progressShown = form.isVisible();
            seen.boxActive = QApplication::activeModalWidget() == &box;
            if (whileAsked) whileAsked();
            box.done(QMessageBox::No);
        });
        box.exec();
        return seen;
    };
    Seen seen = ask(nullptr);
    EXPECT_FALSE(seen.progressShown);
    EXPECT_TRUE(seen.boxActive);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible()) << "the sequence goes on after the answer";

    // A step or a new show while the question waits does not bring the window over it.
    seen = ask([&] {
        form.SetStep(5, "Starting communication services...");
        form.ShowCentered();
        EXPECT_FALSE(form.isVisible());
    });
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());

    // The sequence ended while the question waited (a failed sign-in): nothing comes back.
    ask([&] { form.HideProgress(); });
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    ask(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    // Nor after the user closed it.
    form.ShowCentered();
    form.close();
    ask(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
}

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
