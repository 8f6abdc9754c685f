#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>

#include "loop/plain_event_loop.h"
#include "notices/post_it.h"
#include "ui_post_it.h"

namespace {

// 1024x768 screen with a 40-pixel panel at the bottom.
TNoticeScreen Screen() { return {QRect(0, 0, 1024, 728), 768}; }

class PostIt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_post_it";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    // Lets fake time pass in 25 ms steps, running due timers and deferred deletions.
    void Pass(int64_t ms) {
        for (int64_t t = 0; t < ms; t += 25) {
            clock_.Advance(25);
            loop_.ProcessPending();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    TfrmPostIt* Chat(const QString& text = "hello") {
        return ShowChatPopup(loop_, settings_, false, text, "Anna", "10:15", Screen());
    }

    orb::FakeClock clock_;
    orb::PlainEventLoop loop_{clock_};
    orb::Settings settings_;
};

}  // namespace

TEST_F(PostIt, ChatNoticeSlidesUpRestsTwentySecondsAndSlidesAway) {
    QPointer<TfrmPostIt> note = Chat();
    ASSERT_TRUE(note);
    EXPECT_EQ(note->size(), QSize(298, 174));
    EXPECT_EQ(note->x(), 1024 - 298 - 5);
    EXPECT_EQ(note->y(), 728);  // just below the work area
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->ChatNotice());
    EXPECT_EQ(note->windowTitle(), "New Chat Message");
    EXPECT_TRUE(note->windowFlags() & Qt::WindowStaysOnTopHint);

    Pass(25);
    EXPECT_EQ(note->y(), 718);
    Pass(19 * 25);
    // Rests at the first step at or above 5 pixels over the work-area bottom (728 - 174 - 5 = 549).
    EXPECT_EQ(note->y(), 548);
    EXPECT_FALSE(note->RollingOut());

    Pass(20000 - 20 * 25 - 25);  // 19 975 ms after showing
    EXPECT_EQ(note->y(), 548);
    EXPECT_FALSE(note->RollingIn());
    Pass(25);  // the display time, counted from showing, is over
    EXPECT_TRUE(note->RollingIn());

    Pass(22 * 25);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->y(), 768);  // the full screen's bottom, below the panel
    Pass(25);
    EXPECT_FALSE(note);  // closed and freed
}

TEST_F(PostIt, SessionNoteStaysAMinute) {
    QPointer<TfrmPostIt> note = new TfrmPostIt(loop_, settings_, Screen());
    note->SetFrom("Teacher");
    note->SetText("Read chapter 3");
    note->PlaceAtRight();
    note->ShowSessionNote();
    EXPECT_EQ(note->windowTitle(), "Session Note");
    EXPECT_FALSE(note->ChatNotice());
    Pass(59975);
    EXPECT_FALSE(note->RollingIn());
    Pass(25);
    EXPECT_TRUE(note->RollingIn());
    Pass(2000);
    EXPECT_FALSE(note);
}

TEST_F(PostIt, ClosingWhileRollingOutFreesAtOnceAndSecondNoteTakesTheSamePlace) {
    QPointer<TfrmPostIt> first = Chat("one");
    Pass(100);
    QPointer<TfrmPostIt> second = Chat("two");
    Pass(1000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->pos(), second->pos());

    QPointer<TfrmPostIt> third = Chat("three");
    Pass(50);
    third->close();
    Pass(25);
    EXPECT_FALSE(third);
    EXPECT_TRUE(first && second);

    // Each keeps its own display time: the first leaves 100 ms before the second.
    Pass(20000 - 1175 + 25 * 23);
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    Pass(200);
    EXPECT_FALSE(second);
}

TEST_F(PostIt, TextIsShownAsPlainTextAndTheBoxSwitchesBothSettingsOff) {
    QPointer<TfrmPostIt> note = Chat("<b>not bold</b>");
    EXPECT_EQ(note->ui()->lbDescription->toPlainText(), "<b>not bold</b>");
    EXPECT_EQ(note->ui()->lbFrom->textFormat(), Qt::PlainText);
    EXPECT_EQ(note->ui()->lbTime->text(), "10:15");
    EXPECT_FALSE(note->ui()->JvXPCheckbox1->isChecked());
    // The box's caption is not cut, and "[Close]" stays inside the window beside it.
    QCheckBox* box = note->ui()->JvXPCheckbox1;
    EXPECT_EQ(box->text(), "Do not popup any more in this session");
    EXPECT_GE(box->width(), box->sizeHint().width());
    EXPECT_LE(note->ui()->lbClose->mapTo(note, QPoint(note->ui()->lbClose->width(), 0)).x(), note->width());
    EXPECT_LE(box->mapTo(note, QPoint(box->width(), 0)).x(), note->ui()->lbClose->mapTo(note, QPoint(0, 0)).x());
    note->ui()->JvXPCheckbox1->click();
    EXPECT_TRUE(settings_.NoPopUpsOnPostIt);
    EXPECT_TRUE(settings_.DonPopUpChatMessages);
    note->close();
    Pass(25);

    EXPECT_EQ(Chat(), nullptr);  // chat pop-ups are off now
    settings_ = orb::Settings{};
    EXPECT_EQ(ShowChatPopup(loop_, settings_, true, "x", "y", "z", Screen()), nullptr);  // replaying

    settings_.NoPopUpsOnPostIt = true;
    TfrmPostIt* checked = new TfrmPostIt(loop_, settings_, Screen());
    EXPECT_TRUE(checked->ui()->JvXPCheckbox1->isChecked());
    delete checked;
}

TEST_F(PostIt, DraggingTheCaptionKeepsTheGrabOffset) {
    QPointer<TfrmPostIt> note = Chat();
    Pass(1000);
    QPoint start = note->pos();
    QWidget* caption = note->ui()->navCaption;
    QPointF grab(start + QPoint(30, 8));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 8), QPointF(30, 8), grab, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(caption, &press);
    QPointF to = grab + QPointF(-200, -150);
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 8), QPointF(30, 8), to, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(caption, &move);
    EXPECT_EQ(note->pos(), start + QPoint(-200, -150));
    EXPECT_EQ(note->size(), QSize(298, 174));
    note->close();
}
