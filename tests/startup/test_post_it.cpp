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
    TfrmPostIt* Chat(const QString& text = "hello") { return notices_.ShowChat(false, text, "Anna", "10:15"); }
    // Every top-level window the notices have open.
    static int Windows() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmPostIt*>(w)) ++n;
        return n;
    }

    orb::FakeClock clock_;
    orb::PlainEventLoop loop_{clock_};
    orb::Settings settings_;
    TNoticeWindows notices_{loop_, settings_, Screen()};
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

TEST_F(PostIt, LaterChatLinesAndNotesReuseTheirOneWindowAndClosingFreesAtOnce) {
    QPointer<TfrmPostIt> first = Chat("one");
    Pass(100);
    // A burst of lines: one window, the newest line in it, its display time from the newest.
    for (int i = 0; i < 500; ++i) EXPECT_EQ(Chat(QString("line %1").arg(i)), first);
    EXPECT_EQ(first->ui()->lbDescription->toPlainText(), "line 499");
    EXPECT_EQ(Windows(), 1);
    Pass(20000 - 25);
    EXPECT_TRUE(first && !first->RollingIn());
    Pass(25 * 5);  // sliding away when the next line comes: back up, and a full display time again
    ASSERT_TRUE(first && first->RollingIn());
    const int low = first->y();
    EXPECT_EQ(Chat("back"), first);
    Pass(1000);
    EXPECT_LT(first->y(), low);
    EXPECT_FALSE(first->RollingIn());

    first->close();
    Pass(25);
    EXPECT_FALSE(first);  // freed at once
    QPointer<TfrmPostIt> second = Chat("two");
    EXPECT_TRUE(second);  // a line after it opens a new one

    // Session notes and requests: one window listing the pending ones, newest first, at most
    // kListedNotes of them; beside the chat notice, never more.
    QPointer<TfrmPostIt> note = notices_.ShowNote("Teacher", "Read chapter 3", "10:01");
    EXPECT_EQ(note->ui()->lbDescription->toPlainText(), "Read chapter 3");
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(notices_.ShowNote("Bea", QString("Can you repeat this again ? %1").arg(i), "10:02"), note);
    const QStringList lines = note->ui()->lbDescription->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), TNoticeWindows::kListedNotes);
    EXPECT_EQ(lines.front(), "10:02 Bea: Can you repeat this again ? 29");
    EXPECT_EQ(note->ui()->lbFrom->text(), "Bea");
    EXPECT_EQ(Windows(), 2);
    Pass(62000);
    EXPECT_FALSE(note);
    EXPECT_FALSE(second);
    EXPECT_EQ(Windows(), 0);
    // A note after the window left starts a new list.
    note = notices_.ShowNote("Ana", "hello", "10:05");
    EXPECT_EQ(note->ui()->lbDescription->toPlainText(), "hello");
    note->close();
    Pass(25);
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
    EXPECT_EQ(notices_.ShowChat(true, "x", "y", "z"), nullptr);  // replaying

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
