// The poll answer window, the poll editor, the results chart (saved as a screenshot) and dragging a
// member between breakout rooms with mouse events, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "polls/frm_breakout.h"
#include "polls/frm_exam.h"
#include "polls/frm_ping.h"
#include "polls/frm_pollresults.h"
#include "protocol/wm_app.h"
#include "roomserver/room_server.h"
#include "ui_frm_breakout.h"
#include "ui_frm_exam.h"
#include "ui_frm_ping.h"
#include "ui_frm_pollresults.h"
#include "util/answers.h"
#include "wire/bytes.h"

using namespace orb;

namespace {

// Made once and never destroyed: windows still waiting for their deferred deletion outlive it.
QApplication& App() {
    static int argc = 1;
    static char name[] = "test_polls_windows";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

QString Artifact(const QString& name) {
    QDir().mkpath(QStringLiteral(ORB_ARTIFACTS_DIR));
    return QStringLiteral(ORB_ARTIFACTS_DIR) + QLatin1Char('/') + name;
}

}  // namespace

TEST(PollAnswerWindow, ButtonsSendingAndCountdown) {
    App();
    auto* w = new TfrmExam;
    QPointer<TfrmExam> alive(w);
    std::vector<std::pair<int32_t, int32_t>> sent;
    std::vector<QString> errors;
    w->SendAnswer = [&sent](int32_t to, int32_t a) {
        sent.emplace_back(to, a);
        return true;
    };
    w->ShowError = [&errors](const QString& t) { errors.push_back(t); };
    TPollInfo p;
    p.fromId = 7;
    p.pingType = TPollInfo::ptPoll;
    p.mustReply = 1;
    p.answerMask = int32_t(AnswerBit(1) | AnswerBit(26) | 0xF0000000u);
    p.question = "Done?";
    EXPECT_EQ(w->ShowPoll(p), 1);
    ASSERT_EQ(w->AnswerButtons().size(), 2u);
    EXPECT_EQ(w->AnswerButtons()[0]->text(), "Yes");
    EXPECT_EQ(w->AnswerButtons()[1]->text(), "Wrong");
    EXPECT_FALSE(w->Ui().btnCancel->isVisible());
    EXPECT_EQ(w->Ui().mText->toPlainText(), "Done?");
    EXPECT_EQ(w->Ui().lbTime->text(), "120");
    EXPECT_TRUE(w->Timer().isActive());
    w->grab().save(Artifact(QStringLiteral("poll_answer_window.png")));

    // Send without a choice: the message, and the window and its countdown go on.
    w->Timer1Timer();
    QTest::mouseClick(w->Ui().btnOK, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("No answer selected."));
    EXPECT_TRUE(alive && w->isVisible());
    EXPECT_EQ(w->Countdown(), 119);

    // The countdown shows 120 down to 1, then closes without an answer.
    for (int i = 0; i < 118 && alive; ++i) w->Timer1Timer();
    ASSERT_TRUE(alive);
    EXPECT_EQ(w->Ui().lbTime->text(), "2");
    w->Timer1Timer();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(alive);
    EXPECT_TRUE(sent.empty());

    auto* second = new TfrmExam;
    second->SendAnswer = [&sent](int32_t to, int32_t a) {
        sent.emplace_back(to, a);
        return true;
    };
    p.mustReply = 0;
    second->ShowPoll(p);
    EXPECT_TRUE(second->Ui().btnCancel->isVisible());
    QTest::mouseClick(second->AnswerButtons()[1], Qt::LeftButton);
    QTest::mouseClick(second->Ui().btnOK, Qt::LeftButton);
    EXPECT_EQ(sent, (std::vector<std::pair<int32_t, int32_t>>{{7, 26}}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The borderless window moves by its header while the left button is held, and only then.
TEST(PollAnswerWindow, HeaderDragsTheWindowWithTheLeftButtonOnly) {
    App();
    TfrmExam w;
    w.move(100, 100);
    const QPoint start = w.pos();
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(5, 5), QPointF(global), button, held, Qt::NoModifier);
        QApplication::sendEvent(w.Ui().lbHeader, &e);
    };
    send(QEvent::MouseButtonPress, {500, 500}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {530, 520}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, {530, 520}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(w.pos(), start);
    send(QEvent::MouseButtonPress, {500, 500}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {530, 520}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.pos(), start + QPoint(30, 20));
    send(QEvent::MouseButtonRelease, {530, 520}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, {600, 600}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.pos(), start + QPoint(30, 20));
}

TEST(PollEditor, MaskSendEnablingAndExamFiles) {
    App();
    TfrmPing editor;
    std::vector<QString> errors;
    editor.ShowError = [&errors](const QString& t) { errors.push_back(t); };
    auto& ui = editor.Ui();
    ui.lbAns->item(0)->setCheckState(Qt::Checked);
    EXPECT_EQ(editor.GetAnswerMask(), 33554432u);
    ui.lbAns->item(0)->setCheckState(Qt::Unchecked);
    ui.lbAns->item(25)->setCheckState(Qt::Checked);
    EXPECT_EQ(editor.GetAnswerMask(), 1u);
    ui.mQuestion->setPlainText("   ");
    EXPECT_FALSE(ui.btnSend->isEnabled());
    ui.mQuestion->setPlainText(QString::fromUtf8("Is 1/2 \xE2\x82\xAC?"));
    EXPECT_TRUE(ui.btnSend->isEnabled());

    const QString file = QDir::temp().filePath(QStringLiteral("orb_polls_%1.exm").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(editor.SaveToFile(file));
    TfrmPing other;
    ASSERT_TRUE(other.LoadFromFile(file));
    EXPECT_EQ(other.Question(), editor.Question());
    EXPECT_EQ(other.GetAnswerMask(), 1u);
    EXPECT_EQ(other.Ui().edFile->text(), file);
    QFile::remove(file);
    EXPECT_FALSE(editor.SaveToFile(QStringLiteral("/nonexistent-dir/x.exm")));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Unable to create poll file \r\n"));
}

TEST(PollResultsWindow, ListCountsAndChart) {
    App();
    polls::TPollResults results;
    results.question = "Ready for the test?";
    results.AddRow({2, "Ana Tester", "yes"});
    results.AddRow({3, "Bob Tester", "Yes"});
    results.AddRow({4, "Cid Tester", "No"});
    results.AddRow({5, "Dee Tester", polls::kNoAnswer});
    TfrmPollresults w;
    w.SetResults(&results);
    w.resize(480, 460);
    w.show();
    w.RefreshResults();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Ui().lbAnsCOunt->text(), "3");
    EXPECT_EQ(w.Ui().lbUSerCount->text(), "4");
    EXPECT_EQ(w.Ui().lvPolls->topLevelItemCount(), 4);
    const auto& bars = w.Chart().Bars();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[0].label, "yes (50.00% or 2 users)");
    EXPECT_EQ(bars[2].label, "<No Answer> (25.00% or 1 users)");
    EXPECT_FALSE(bars[2].bold);
    const QImage shot = w.grab().toImage();
    EXPECT_TRUE(shot.save(Artifact(QStringLiteral("poll_results_chart.png"))));
    // The bars are painted dark red, right-aligned in the chart.
    const QImage chart = w.Chart().grab().toImage();
    EXPECT_EQ(chart.pixelColor(bars[0].left + 2, bars[0].top + 7), QColor(128, 0, 0));

    const QString file = QDir::temp().filePath(QStringLiteral("orb_poll_%1.rtf").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(w.SaveToFile(file));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("Ready for the test?"));
    EXPECT_TRUE(text.contains("<No Answer> (25.00% or 1 users)"));
    f.remove();
}

namespace {
std::vector<uint8_t> RoomRecords(std::initializer_list<std::pair<int32_t, const char*>> rooms) {
    std::vector<uint8_t> out;
    for (auto& [id, name] : rooms) {
        std::vector<uint8_t> b;
        ByteWriter w(b);
        w.i32(id);
        w.shortString(255, name);
        b.resize(TRoomInfo::kSize, 0);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}
std::vector<uint8_t> MemberRecords(int32_t room, std::initializer_list<std::pair<int32_t, const char*>> users) {
    std::vector<uint8_t> out;
    ByteWriter(out).i32(room);
    for (auto& [id, name] : users) {
        TLoginInfo m;
        m.SetUserId(id);
        std::vector<uint8_t> n;
        ByteWriter(n).shortString(128, name);
        std::copy(n.begin(), n.end(), m.Raw().begin() + 29);
        out.insert(out.end(), m.Raw().begin(), m.Raw().end());
    }
    return out;
}
}  // namespace

TEST(BreakoutWindow, DraggingAMemberOntoARoomMovesItAndReturnAllSendsEveryMember) {
    App();
    test::TRoomServer server;
    ASSERT_TRUE(server.Start());
    PlainEventLoop loop;
    TDM dm(loop, 900);
    dm.OwnUserId = 1;
    dm.OwnRoom = 1002;
    dm.MainRoomNumber = 1002;
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 5000));
    dm.StartWriterThread(1'000'000);
    dm.Breakout.SetRooms(RoomRecords({{1002, "Main hall"}, {2001, "Breakout Room 1"}, {2002, "<i>B</i>"}}));
    dm.Breakout.SetMembers(MemberRecords(1002, {{1, "Mod"}, {2, "Ana Tester"}, {3, "Bob Tester"}}));

    TfrmBreakOutRooms w;
    w.Bind(&dm);
    w.resize(320, 440);
    w.show();
    ASSERT_TRUE(server.WaitForKind(vkBreakoutRoomList));  // showing asks for the rooms
    w.Rebuild();
    QCoreApplication::processEvents();
    QTreeWidget* tree = w.Ui().lvBORooms;
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "#2002: <i>B</i>");
    EXPECT_TRUE(tree->topLevelItem(0)->font(0).italic());
    w.grab().save(Artifact(QStringLiteral("breakout_rooms.png")));

    auto center = [tree](QTreeWidgetItem* item) { return tree->visualItemRect(item).center(); };
    auto drag = [&](QTreeWidgetItem* from, QTreeWidgetItem* to) {
        QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, center(from));
        QTest::mouseMove(tree->viewport(), center(from) + QPoint(0, 12));
        QTest::mouseMove(tree->viewport(), center(to));
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, center(to));
    };
    // A room dragged onto a room, and a member dropped on a member, send nothing.
    drag(w.FindItem(1002), w.FindItem(2001));
    drag(w.FindItem(1002, 2), w.FindItem(1002, 3));
    drag(w.FindItem(1002, 2), w.FindItem(2002));
    ASSERT_TRUE(server.WaitForKind(vkMoveToRoom));
    auto moves = server.ReceivedOfKind(vkMoveToRoom);
    ASSERT_EQ(moves.size(), 1u);
    ByteReader r(moves[0].body);
    int32_t user = 0, room = 0;
    r.i32(user);
    r.i32(room);
    EXPECT_EQ(user, 2);
    EXPECT_EQ(room, 2002);

    // The server's notice of the move takes the member out of the room it left.
    w.HandleMessage(WM_APP_BREAKOUTUSERMOVED, 2, 1002);
    EXPECT_EQ(w.FindItem(1002, 2), nullptr);
    EXPECT_NE(w.FindItem(1002, 3), nullptr);

    server.ClearReceived();
    QTest::mouseClick(w.Ui().btnReturnAll, Qt::LeftButton);
    ASSERT_TRUE(server.WaitForKind(vkMoveToRoom, 2));
    dm.StopWriterThread();
}
