// The chat as people see it, offscreen: the main window's chat views and input against the test
// room server, its exports read back by independent readers, and the trackbar.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPointer>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTextBlock>
#include <QTreeWidget>

#include <fstream>

#include "chat/chat_dialogs.h"
#include "chat/chat_views.h"
#include "chat/smiley_pictures.h"
#include "chat/smileys.h"
#include "commands/commands.h"
#include "dm/dm.h"
#include "helpers.h"
#include "loop/plain_event_loop.h"
#include "main/frm_main.h"
#include "main/main_controller.h"
#include "roomserver/extensions.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "settings/settings.h"
#include "trackbar/trackbar_geometry.h"
#include "trackbar/xi_trackbar.h"
#include "ui_frm_main.h"
#include "wire/text.h"

using namespace orb;
using namespace orb::room;
using orbtest::Shell;

namespace {

struct Recorder : chat::IChatView {
    std::vector<std::pair<int32_t, std::string>> lines;
    void AddChatMessage(int32_t key, const std::u16string&, bool, uint32_t, const std::u16string& t) override {
        lines.push_back({key, Utf16ToUtf8(t)});
    }
    void AddNoteRow(const chat::TNoteRow&) override {}
    void ClearNotes() override {}
};

int ImagesIn(const QTextDocument* doc) {
    int n = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) ++n;
    return n;
}

}  // namespace

TEST(TrackbarGeometry, PositionsOffsetsAndTicks) {
    // 100x28: T 20, W 10, L 90; thumb at the offset, slide a third in.
    TTrackGeometry g = TrackGeometry(false, 100, 28, 45);
    EXPECT_EQ(g.thumbLength, 20);
    EXPECT_EQ(g.thumbThickness, 10);
    EXPECT_EQ(g.trackLength, 90);
    EXPECT_EQ(g.thumb, (TBox{45, 4, 55, 24}));
    EXPECT_EQ(g.slide, (TBox{0, 10, 100, 18}));
    EXPECT_EQ(TrackGeometry(true, 28, 100, 0).thumb, (TBox{4, 0, 24, 10}));
    struct Row {
        int L, min, max, value, offset;
    };
    for (Row r : {Row{90, 0, 10, 5, 45}, Row{90, 0, 10, 10, 90}, Row{90, 0, 65535, 65535, 90}, Row{90, 5, 5, 5, 0},
                  Row{0, 0, 10, 7, 0}, Row{90, -10, 10, 0, 45}}) {
        EXPECT_EQ(OffsetForPosition(r.L, r.min, r.max, r.value), r.offset) << r.L << " " << r.max;
        EXPECT_EQ(PositionForOffset(r.L, r.min, r.max, r.offset), r.max == r.min || r.L == 0 ? r.min : r.value);
    }
    // Dragging: clamped to the track and snapped to a position.
    EXPECT_EQ(DragTo(false, 500, 10, 90, 0, 10).position, 10);
    EXPECT_EQ(DragTo(false, -40, 10, 90, 0, 10).offset, 0);
    EXPECT_EQ(DragTo(false, 31, 10, 90, 0, 10).offset, 27);  // 26 -> position 3 -> 27
    EXPECT_EQ(DragTo(false, 31, 10, 0, 4, 4).position, 4);
    EXPECT_EQ(TickIndexes(TTickStyle::Auto, 3, 0, 10), (std::vector<int>{0, 3, 6, 9, 10}));
    EXPECT_EQ(TickIndexes(TTickStyle::Manual, 3, 0, 10), (std::vector<int>{0, 10}));
    EXPECT_EQ(TickIndexes(TTickStyle::Auto, 0, 0, 2), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(TickIndexes(TTickStyle::None, 1, 0, 10).empty());
    EXPECT_EQ(TickIndexes(TTickStyle::Auto, 1, 3, 3), (std::vector<int>{0}));
    EXPECT_EQ(TickTopLeft(10, 90, 10, 0, 10), 95);
    EXPECT_EQ(TickBottomRight(3, 90, 10, 0, 10), 32);
    EXPECT_EQ(TickTopLeft(0, 90, 10, 4, 4), 5);
    EXPECT_EQ(GradientChannel(0, 255, 8, 4), 128);
    EXPECT_EQ(GradientChannel(10, 20, 0, 3), 10);
}

TEST(Trackbar, ChangeEventsSchemesAndPainting) {
    TXiTrackBar bar;
    bar.resize(100, 28);
    int changes = 0;
    QObject::connect(&bar, &TXiTrackBar::Changed, [&] { ++changes; });
    bar.SetPosition(50);
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(bar.ThumbOffset(), 90);
    bar.SetMax(4);  // lowers the position, no change event
    EXPECT_EQ(bar.Position(), 4);
    EXPECT_EQ(changes, 1);
    // Dragging reports once, at the release.
    bar.SetMax(10);
    bar.show();
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(bar.ThumbOffset() + 5, 14));
    QTest::mouseMove(&bar, QPoint(20, 14));
    QTest::mouseMove(&bar, QPoint(60, 14));
    EXPECT_EQ(changes, 1);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(60, 14));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(bar.Position(), 6);
    // A range of nothing paints without dividing, and painting moves nothing.
    bar.SetMin(3);
    bar.SetMax(3);
    bar.SetVertical(true);
    const int offset = bar.ThumbOffset(), position = bar.Position();
    QImage img = bar.Render();
    bar.repaint();
    EXPECT_FALSE(img.isNull());
    EXPECT_EQ(bar.ThumbOffset(), offset);
    EXPECT_EQ(bar.Position(), position);
    bar.SetVertical(false);
    bar.SetMax(10);
    // Colours: a scheme sets them, one colour of our own makes the scheme custom.
    bar.SetColorScheme(csSilver);
    EXPECT_EQ(bar.Color(TXiTrackBar::SlideFaceColor), 0xC0C0C0u);
    bar.SetColor(TXiTrackBar::TickColor, 0x123456);
    EXPECT_EQ(bar.ColorScheme(), csCustom);
    // Disabled: the slide's border is the disabled grey, whatever the scheme.
    bar.SetColorScheme(csRose);
    bar.setEnabled(false);
    const QColor border = bar.Render().pixelColor(50, TrackGeometry(false, 100, 28, 0).slide.top);
    EXPECT_EQ(border, QColor(0xBE, 0xBE, 0xBE));
}

TEST(PushedDocument, SavedInsideOurFolderAndOpenedOnlyWhenSafe) {
    std::vector<std::pair<std::string, bool>> started;
    auto start = [&](const std::filesystem::path& p, bool open) { started.push_back({p.string(), open}); };
    EXPECT_EQ(OfferPushedDocument(QStringLiteral("?"), "..", "/tmp/in", start), nullptr);
    for (auto [name, expected, open] :
         {std::tuple{"../../x/notes.pdf", "/tmp/in/notes.pdf", true}, std::tuple{"setup.exe", "/tmp/in/setup.exe", false}}) {
        TfrmMessageDlg* dlg = OfferPushedDocument(QStringLiteral("Open it?"), name, "/tmp/in", start);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(dlg->Question(), QStringLiteral("Open it?"));
        QPointer<TfrmMessageDlg> alive(dlg);
        QMetaObject::invokeMethod(dlg->findChild<QDialogButtonBox*>(), "accepted");
        ASSERT_FALSE(started.empty());
        EXPECT_EQ(started.back(), (std::pair<std::string, bool>{expected, open}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(alive.isNull());  // the prompt frees itself
    }
}

// The main window in a room of the test room server, with another member who chats with it.
TEST(MainWindowChat, ViewsInputSendToNotesAndExports) {
    test::TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    test::TTestRoom room(script);
    test::TRoomServer& server = room.server;
    test::TRoomService& rooms = room.rooms;
    ASSERT_TRUE(server.Start());

    PlainEventLoop loop;
    Settings settings;
    settings.ShowChatTiming = true;
    TMainController* controller = nullptr;
    WindowHandle self = loop.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) {
        if (controller) controller->HandleMessage(m, w, l);
    });
    TDM dm(loop, self);
    TfOrbeloMain window;
    TMainController c(dm, settings, window, self);
    controller = &c;
    window.Bind(&c, &dm, -1);
    const std::string dir = orbtest::MakeTempDir();
    std::string saveAs;
    TfOrbeloMain::TChatBindings b;
    b.settings = &settings;
    b.askSaveFile = [&](const QString&, const QString&, const QString&) { return QString::fromStdString(saveAs); };
    TfrmChatHolder holder;
    b.holder = &holder;
    window.BindChat(b);
    dm.ChatView = &window;
    TCommands commands(dm, c, window);

    PlainEventLoop otherLoop;
    WindowHandle otherSelf = otherLoop.RegisterWindow([](uint32_t, std::intptr_t, std::intptr_t) {});
    TDM other(otherLoop, otherSelf);
    Recorder otherView;
    other.ChatView = &otherView;
    int members = 0;
    for (TDM* d : {&dm, &other}) {
        d->ServerHost = "127.0.0.1";
        d->ServerPort = server.Port();
        d->ProgramFolder = dir;
        d->OwnLoginInfo.SetUserName(d == &dm ? "moderator" : "bea");
        d->OwnLoginInfo.SetPassword("pw");
        ASSERT_TRUE(d->StartSession());
        ASSERT_TRUE(d->SendEnterRoom(1002));
        ++members;
        ASSERT_TRUE(loop.RunUntil([&] { return rooms.Members(1002).size() == size_t(members); }, 5000));
    }
    dm.Participants.AddUser(dm.OwnUserId, "Moderator Tester").level = 1000;
    dm.Participants.AddUser(other.OwnUserId, "Bea Tester");
    other.Participants.AddUser(dm.OwnUserId, "Moderator Tester").level = 1000;
    auto pump = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            loop.ProcessPending();
            otherLoop.ProcessPending();
            QApplication::processEvents();
            QTest::qWait(10);
        }
        return done();
    };
    auto sent = [&](uint16_t kind) {
        std::vector<std::string> texts;
        for (auto& m : server.ReceivedOfKind(kind)) {
            ByteReader r(m.body);
            TTextMessage t;
            if (m.header.sender == dm.OwnUserId && DecodeTextMessage(r, true, t)) texts.push_back(Utf16ToUtf8(t.text));
        }
        return texts;
    };

    // Remote text is text: markup stays literal, codes become our pictures, nothing else loads.
    const std::u16string lines[] = {u"<b>x</b> :-) {\u00e9} http://example.com/a.png"};
    ASSERT_TRUE(other.SendTextRecord(other.OwnUserId, 0, lines, other.OwnRoom, 0));
    ASSERT_TRUE(pump([&] { return window.PublicChatText().contains(QStringLiteral("<b>x</b>")); }));
    TChatBrowser* pub = window.ChatViews().FindMessageList(0);
    ASSERT_TRUE(pub);
    EXPECT_EQ(ImagesIn(pub->document()), 1);
    // Chat lines name the sender by the first name of the record.
    EXPECT_TRUE(window.PublicChatText().startsWith(QStringLiteral("Bea ["))) << window.PublicChatText().left(40).toStdString();
    EXPECT_FALSE(pub->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("http://example.com/a.png"))).isValid());
    EXPECT_FALSE(pub->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("file:///etc/passwd"))).isValid());
    EXPECT_TRUE(pub->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("orb-smiley:11"))).isValid());
    EXPECT_FALSE(pub->openLinks());

    // The input: a smiley goes in at the caret and nothing is sent; Enter sends; empty sends nothing.
    Ui::TfOrbeloMain& ui = window.Ui();
    window.show();
    QTest::keyClicks(ui.eMsg, QStringLiteral("ab"));
    ui.eMsg->setCursorPosition(1);
    window.InsertSmiley(11);
    EXPECT_EQ(ui.eMsg->text(), QStringLiteral("a:-)b"));
    QTest::keyClick(ui.eMsg, Qt::Key_Return);
    ASSERT_TRUE(pump([&] { return sent(vkTextMessage).size() == 1; }));
    EXPECT_EQ(sent(vkTextMessage)[0], "a:-)b");
    EXPECT_TRUE(ui.eMsg->text().isEmpty());
    QTest::keyClick(ui.eMsg, Qt::Key_Return);
    ASSERT_TRUE(pump([&] { return server.ReceivedOfKind(vkTypingState).size() >= 2; }));
    std::vector<uint8_t> typing;
    for (auto& m : server.ReceivedOfKind(vkTypingState)) typing.push_back(m.body.empty() ? 99 : m.body[0]);
    EXPECT_EQ(typing, (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(sent(vkTextMessage).size(), 1u);
    ASSERT_TRUE(pump([&] { return window.PublicChatText().contains(QStringLiteral("a")) && ImagesIn(pub->document()) == 2; }));

    // Send-to: filled afresh each time; choosing Bea makes the input private.
    window.FillSendToMenu();
    window.FillSendToMenu();
    QList<QAction*> items = window.SendToMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Public Messages"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Bea Tester"));
    window.ChooseSendTo(items[1]);
    EXPECT_EQ(dm.Room.ChatTargetType, 1);
    EXPECT_EQ(ui.hdrTextMessages->text(), QStringLiteral("Bea Tester"));
    window.SetMultiLine(true);
    ui.eMultiMsg->setPlainText(QStringLiteral("just you\nand me"));
    QTest::keyClick(ui.eMultiMsg, Qt::Key_Return);
    ASSERT_TRUE(pump([&] { return !otherView.lines.empty() && otherView.lines.back().first == dm.OwnUserId; }));
    EXPECT_EQ(otherView.lines.back().second, "just you\r\nand me");
    ASSERT_TRUE(pump([&] { return window.ChatViews().FindMessageList(other.OwnUserId) != nullptr; }));
    EXPECT_EQ(window.ChatViews().FrontKey(), other.OwnUserId);
    // A private target of one's own id selects no view.
    window.SelectChatTarget(1, dm.OwnUserId);
    EXPECT_EQ(window.ChatViews().FrontKey(), other.OwnUserId);
    window.SetMultiLine(false);
    window.ChooseSendTo(window.SendToMenu()->actions()[0]);
    EXPECT_EQ(window.ChatViews().FrontKey(), 0);

    // Notes: a completed row is struck out, a pending one is not; the export is real CSV.
    chat::TNoteRow note;
    note.time = "10:15";
    note.sender = "Bea, \"B\" Tester";
    note.text = u"first line\r\nsecond \u00e9";
    note.senderUser = other.OwnUserId;
    window.AddNoteRow(note);
    note.text = u"pending";
    window.AddNoteRow(note);
    ui.lvRequests->setCurrentItem(ui.lvRequests->topLevelItem(0));
    window.NotesMenu()->actions()[2]->trigger();  // Mark Selected as Complete
    EXPECT_TRUE(ui.lvRequests->topLevelItem(0)->font(1).strikeOut());
    EXPECT_FALSE(ui.lvRequests->topLevelItem(1)->font(1).strikeOut());
    ASSERT_TRUE(window.SaveNotes(QString::fromStdString(dir + "/notes.csv")));
    const std::string rows = Shell("python3 -c \"import csv,sys; r=list(csv.reader(open(sys.argv[1], newline='', "
                                   "encoding='utf-8-sig'))); print(len(r)); print(r[3]); print(r[4][1], r[4][3])\" " +
                                   dir + "/notes.csv");
    EXPECT_EQ(rows, "5\n['10:15', 'first line\\r\\nsecond \u00e9', 'Bea, \"B\" Tester', 'Complete', '" +
                        std::to_string(other.OwnUserId) + "']\npending Pending\n");
    // The list keeps its newest rows; the save writes what it keeps.
    for (int i = 0; i < TfOrbeloMain::kMaxNoteRows + 100; ++i) {
        note.text = u"note " + Utf8ToUtf16(std::to_string(i));
        window.AddNoteRow(note);
    }
    ASSERT_EQ(ui.lvRequests->topLevelItemCount(), TfOrbeloMain::kMaxNoteRows);
    EXPECT_EQ(ui.lvRequests->topLevelItem(0)->text(1), "note 100");
    ASSERT_TRUE(window.SaveNotes(QString::fromStdString(dir + "/notes.csv")));
    EXPECT_EQ(Shell("python3 -c \"import csv,sys; print(len(list(csv.reader(open(sys.argv[1], newline='', "
                    "encoding='utf-8-sig')))))\" " + dir + "/notes.csv"),
              std::to_string(TfOrbeloMain::kMaxNoteRows + 3) + "\n");

    // The public chat as RTF, read back by unrtf.
    saveAs = dir + "/chat.rtf";
    ui.acSavePublicChat->trigger();
    const std::string text = Shell("cd " + dir + " && unrtf --html chat.rtf 2>/dev/null | python3 -c \"import html, re, "
                                   "sys; print(html.unescape(re.sub('<[^>]*>', '', sys.stdin.read())))\"");
    EXPECT_NE(text.find("<b>x</b>"), std::string::npos) << text;
    EXPECT_NE(text.find("{\u00e9}"), std::string::npos) << text;
    // The smileys went in as pictures, which unrtf writes out as files of their own.
    const QImage picture(QString::fromStdString(dir + "/pict001.png"));
    EXPECT_EQ(picture.size(), QSize(kSmileyPixels, kSmileyPixels));

    // Commands in a room as a moderator: the enabling follows the rules.
    commands.UpdateAll();
    EXPECT_TRUE(commands.Action(chat::acClearMotions)->isEnabled());
    EXPECT_FALSE(commands.Action(chat::acKick)->isEnabled());  // no row selected
    EXPECT_FALSE(commands.Action(chat::acStartAppShare)->isEnabled());  // comes with sharing
    EXPECT_FALSE(commands.Action(chat::acArrangeExam)->isEnabled());   // comes with polls
    EXPECT_FALSE(ui.acPolling->isEnabled());
    // A window item that another part of the client handles is open by its rule, and runs only
    // that part's handler.
    EXPECT_FALSE(ui.acReconnectAudio->isEnabled());
    int reconnects = 0;
    QObject::connect(ui.acReconnectAudio, &QAction::triggered, [&] { ++reconnects; });
    commands.UpdateAll();
    EXPECT_TRUE(ui.acReconnectAudio->isEnabled());
    EXPECT_TRUE(commands.Action(chat::acReconnectAudio)->isEnabled());
    commands.Action(chat::acReconnectAudio)->trigger();
    EXPECT_EQ(reconnects, 1);
    // The audio panel's Reconnect Audio runs the same item.
    EXPECT_TRUE(ui.btnReconnectAudio->isEnabled());
    ui.btnReconnectAudio->click();
    EXPECT_EQ(reconnects, 2);
    EXPECT_EQ(ui.acShareDesktop->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    EXPECT_TRUE(commands.Action(chat::acAppShareTakeControl)->shortcut().isEmpty());

    // The room's word hides the four moderation actions from a participant and shows them again.
    ASSERT_TRUE(dm.RoomHooks.ShowModerationActions);
    dm.RoomHooks.ShowModerationActions(false);
    for (QAction* a : {ui.acGiveVoice, ui.acBanVoice, ui.acGiveBoard, ui.acBanBoard}) EXPECT_FALSE(a->isVisible());
    EXPECT_FALSE(commands.Action(chat::acGiveVoice)->isVisible());
    dm.RoomHooks.ShowModerationActions(true);
    for (QAction* a : {ui.acGiveVoice, ui.acBanVoice, ui.acGiveBoard, ui.acBanBoard}) EXPECT_TRUE(a->isVisible());
    // The view selector announces the view (kind 118); leaving the browser tells the room (kind 65).
    dm.BoardRight = true;
    auto mine = [&](uint16_t kind) {
        std::vector<int32_t> values;
        for (auto& m : server.ReceivedOfKind(kind))
            if (m.header.sender == dm.OwnUserId) values.push_back(m.body.size() >= 4 ? int32_t(m.body[0]) : -1);
        return values;
    };
    commands.ViewSelector()->actions()[1]->trigger();
    commands.ViewSelector()->actions()[0]->trigger();
    ASSERT_TRUE(pump([&] { return mine(vkViewMode).size() >= 2 && !mine(vkBrowserClosed).empty(); }));
    EXPECT_EQ(mine(vkViewMode), (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(mine(vkBrowserClosed).size(), 1u);
    // Speak follows its rule (the voice right and a microphone that works) and a click takes the
    // floor as F3 does.
    dm.Room.VoiceRight = true;
    dm.Room.AudioState = 1;
    commands.UpdateAll();
    EXPECT_FALSE(ui.btnSpeak->isEnabled());
    dm.Room.AudioState = 0;
    commands.UpdateAll();
    ASSERT_TRUE(ui.btnSpeak->isEnabled());
    QTest::mouseClick(ui.btnSpeak, Qt::LeftButton);
    EXPECT_TRUE(dm.Room.SpeakOn);
    EXPECT_TRUE(ui.btnSpeak->isChecked());
    // The room's answer gives the floor.
    ASSERT_TRUE(pump([&] { return !mine(vkTakeMicrophone).empty() && dm.Transmitting; }));
    QTest::mouseClick(ui.btnSpeak, Qt::LeftButton);
    EXPECT_FALSE(dm.Room.SpeakOn);
    EXPECT_FALSE(ui.btnSpeak->isChecked());
    ASSERT_TRUE(pump([&] { return !mine(vkReleaseMicrophone).empty() && !dm.Transmitting; }));
    EXPECT_FALSE(ui.btnSpeak->isChecked());
    // A smiley code with "&" keeps it on the menu (doubled for the menu, which shows one).
    auto* smilies = window.ChatMenu()->findChild<QMenu*>(QStringLiteral("miInsertSmilies"));
    ASSERT_TRUE(smilies);
    QStringList captions;
    for (QAction* a : smilies->actions()) captions << a->text();
    EXPECT_TRUE(captions.contains(QStringLiteral(":-&&"))) << captions.join(QLatin1Char(' ')).toStdString();

    // The participant panel's close button opens the attendee selection window.
    int attendeeWindows = 0;
    window.ShowAttendeeWindow = [&] { ++attendeeWindows; };
    auto* closeParticipants = window.findChild<QToolButton*>(QStringLiteral("btnCloseParticipants"));
    ASSERT_TRUE(closeParticipants);
    closeParticipants->click();
    EXPECT_EQ(attendeeWindows, 1);

    // The chat in a window of its own and back: the chat page is off while it is away.
    QAction* separate = window.ChatMenu()->findChild<QAction*>(QStringLiteral("ToggleMessageHolder"));
    ASSERT_TRUE(separate);
    separate->trigger();
    EXPECT_TRUE(holder.isVisible());
    EXPECT_EQ(ui.pnlChatViews->window(), &holder);
    EXPECT_FALSE(ui.Navigator->isItemEnabled(ui.Navigator->indexOf(ui.navTextMessages)));
    EXPECT_TRUE(window.SeparateChatWindow());
    holder.close();
    EXPECT_EQ(ui.pnlChatViews->window(), &window);
    EXPECT_EQ(ui.eMsg->parentWidget()->parentWidget(), ui.navTextMessages);
    EXPECT_TRUE(ui.Navigator->isItemEnabled(ui.Navigator->indexOf(ui.navTextMessages)));
    EXPECT_EQ(ui.Navigator->currentWidget(), ui.navTextMessages);
    EXPECT_TRUE(separate->isEnabled());

    // One key, one command in the whole window.
    int ctrlF4 = 0;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F4)) ++ctrlF4;
    for (QAction* a : commands.findChildren<QAction*>())
        if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F4)) ++ctrlF4;
    EXPECT_EQ(ctrlF4, 1);
    // The speaker volume steps by a tenth and stops at the maximum.
    auto* wave = window.findChild<TXiTrackBar*>(QStringLiteral("xiWaveVolume"));
    ASSERT_TRUE(wave);
    wave->SetPosition(60000);
    QMenu* speakers = nullptr;
    for (QAction* a : ui.menuAudio->actions())
        if (a->menu() && a->text() == QStringLiteral("Speakers")) speakers = a->menu();
    ASSERT_TRUE(speakers);
    speakers->actions()[0]->trigger();
    EXPECT_EQ(wave->Position(), 65535);
    speakers->actions()[1]->trigger();
    EXPECT_EQ(wave->Position(), 65535 - 6553);

    // A picture of the room window with chat lines and smileys, for people to look at.
    for (const char16_t* t : {u"Welcome everybody :-) ;-)", u"LOL 8-) (blush) :-p", u"O :-) :,( :-@ :-o"})
        window.AddChatMessage(0, u"Moderator Tester (Moderator)", false, chat::kChatBlue, t);
    window.AddChatMessage(0, u"System", true, chat::kChatGrey, u"Bea Tester joined the session. :-)");
    window.resize(1280, 800);
    ui.midSplitter->setSizes({200, 600});
    QApplication::processEvents();
    const QImage shot = window.grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(ORB_ARTIFACTS_DIR "/chat_main_window.png")));
    // The 16 smiley pictures, enlarged: none is blank.
    QImage sheet(16 * 4 * kSmileyPixels, 4 * kSmileyPixels, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (int i = 0; i < chat::kSmileyCount; ++i) {
        const QImage face = SmileyImage(i);
        int inked = 0;
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x) inked += qAlpha(face.pixel(x, y)) > 0;
        EXPECT_GT(inked, kSmileyPixels * kSmileyPixels / 2) << i;
        p.drawImage(QRect(i * 4 * kSmileyPixels, 0, 4 * kSmileyPixels, 4 * kSmileyPixels), face);
    }
    p.end();
    EXPECT_TRUE(sheet.save(QStringLiteral(ORB_ARTIFACTS_DIR "/chat_smileys.png")));

    other.LeaveSession();
    dm.LeaveSession();
    // Speak is checked only once its request is queued: without a connection it stays off.
    ui.btnSpeak->setCheckable(true);
    QTest::mouseClick(ui.btnSpeak, Qt::LeftButton);
    EXPECT_FALSE(ui.btnSpeak->isChecked());
    EXPECT_FALSE(dm.Room.SpeakOn);
    orbtest::RemoveDir(dir);
}

// The lines of one turn reach the document together at the turn's end; whatever reads the view
// before then (text, RTF, font size, clearing) sees every line as if it were already there.
TEST(ChatViewTurn, PendingLinesReachEveryReaderAndTheEnd) {
    QStackedWidget stack;
    stack.resize(300, 200);
    stack.show();
    TChatViews views(&stack);
    TChatBrowser* v = views.AddChatMessage(0, QStringLiteral("System"), true, chat::kChatGrey, QStringLiteral("one"));
    views.AddChatMessage(0, QStringLiteral("Bea"), false, chat::kChatBlue, QStringLiteral("two :-)\nthree"));
    views.AddChatMessage(7, QStringLiteral("Bea"), false, chat::kChatBlack, QStringLiteral("private"));
    // No turn has ended: the readers bring the lines in themselves.
    EXPECT_NE(v->Rtf().find("three"), std::string::npos);
    EXPECT_EQ(v->document()->blockCount(), 4);  // the notice, a header, two lines of text
    EXPECT_EQ(ImagesIn(v->document()), 1);
    views.AddChatMessage(0, QStringLiteral("Bea"), false, chat::kChatBlue, QStringLiteral("four"));
    views.SetFontSize(14);
    for (QTextBlock b = v->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (!it.fragment().charFormat().isImageFormat()) {
                EXPECT_EQ(it.fragment().charFormat().fontPointSize(), 14) << it.fragment().text().toStdString();
            }
    EXPECT_TRUE(v->toPlainText().endsWith(QStringLiteral("four")));
    TChatBrowser* priv = views.FindMessageList(7);
    ASSERT_TRUE(priv);
    QApplication::processEvents();
    EXPECT_EQ(priv->toPlainText(), QStringLiteral("Bea\nprivate"));

    // Lines cleared before their turn ends never appear.
    views.AddChatMessage(0, QStringLiteral("Bea"), false, chat::kChatBlue, QStringLiteral("gone"));
    views.ClearAll();
    QApplication::processEvents();
    EXPECT_TRUE(v->document()->isEmpty()) << v->toPlainText().toStdString();

    // A burst ends with the view at its end, and choosing the view again returns there.
    // (The first burst brings the scroll bar, which narrows the text: the second one is judged.)
    for (int burst = 0; burst < 2; ++burst) {
        for (int i = 0; i < 200; ++i)
            views.AddChatMessage(0, QStringLiteral("Bea"), false, chat::kChatBlue, QStringLiteral("line %1").arg(i));
        QApplication::processEvents();
    }
    // The last line is in sight.
    const auto endInSight = [v] {
        QTextCursor end(v->document());
        end.movePosition(QTextCursor::End);
        return v->viewport()->rect().contains(v->cursorRect(end));
    };
    QScrollBar* bar = v->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_TRUE(endInSight());
    bar->setValue(0);
    v->ScrollToEnd();
    EXPECT_FALSE(endInSight());  // not before the turn ends
    QApplication::processEvents();
    EXPECT_TRUE(endInSight());

    // A view keeps its newest lines only, also from one turn's flood, and saves what it keeps.
    for (int i = 0; i < 3 * TChatBrowser::kMaxLines; ++i)
        views.AddChatMessage(0, QStringLiteral("Bea"), false, chat::kChatBlue, QStringLiteral("flood %1").arg(i));
    QApplication::processEvents();
    EXPECT_EQ(v->document()->blockCount(), TChatBrowser::kMaxLines);
    EXPECT_TRUE(v->toPlainText().endsWith(QStringLiteral("flood %1").arg(3 * TChatBrowser::kMaxLines - 1)));
    const std::string rtf = v->Rtf();
    EXPECT_EQ(rtf.find("flood 0"), std::string::npos);  // the first line left
    EXPECT_NE(rtf.find(QStringLiteral("flood %1").arg(3 * TChatBrowser::kMaxLines - 1).toStdString()), std::string::npos);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
