// The program as it is bound: a check from the main window's menu, a poll, a document pushed from
// the documents library and a slide pushed from the presentations window each clear the
// acknowledgements (status icons) the rows showed for the last push before they go out.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <QTreeWidget>
#include <filesystem>

#include "commands/commands.h"
#include "ui_frm_main.h"
#include "userlist/user_list_view.h"
#include "program.h"
#include "protocol/message_kinds.h"
#include "registry/registry.h"
#include "roomserver/room_server.h"

namespace fs = std::filesystem;
using namespace orb;

namespace {

constexpr int32_t kOwn = 1, kAna = 7, kBo = 8;

class ProgramRows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_participant_program";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("orb_rows_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "bin");
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            fs::create_directories(root_ / var);
            ::setenv(var, (root_ / var).c_str(), 1);
        }
        reg::Registry::Default().Reconfigure({root_ / "registry", root_ / "machine"});
    }
    void TearDown() override {
        reg::Registry::Default().Reconfigure(reg::Registry::DefaultFolders());
        fs::remove_all(root_);
    }
    fs::path root_;
};

TResourceInfo Resource(const std::string& name, const std::string& extension, int32_t pages) {
    TResourceInfo r;
    r.id = 5;
    r.fileName = name;
    r.localPath = name;
    r.extension = extension;
    r.description = name;
    r.number = pages;
    return r;
}

}  // namespace

TEST_F(ProgramRows, PushesPollsAndChecksClearTheLastAcknowledgements) {
    test::TRoomServer server;
    ASSERT_TRUE(server.Start());
    TProgramOptions opts;
    opts.executable = root_ / "bin" / "OrbeloLive6";
    opts.services.installKeyboardHook = [] {};
    TProgram program(opts);
    program.CreateForms();
    TDM& dm = program.DataModule();
    auto* commands = program.Main()->findChild<room::TCommands*>(QStringLiteral("TDMCommands"));
    auto* documents = program.Form<TfrmSharedDocuments>();
    auto* presentations = program.Form<TfrmPresentations>();
    ASSERT_TRUE(commands && documents && presentations);

    dm.OwnUserId = kOwn;
    dm.OwnLoginInfo.SetUserId(kOwn);
    dm.OwnLoginInfo.SetLevel(1000);
    dm.OwnRoom = 1002;
    dm.BoardRight = true;
    dm.Libraries.DownloadFolder.clear();  // the pushed document is not fetched here
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 20000));
    dm.StartWriterThread(1'000'000);
    for (int32_t id : {kOwn, kAna, kBo}) dm.Participants.AddUser(id, "User " + std::to_string(id));

    dm.Libraries.documents = {Resource("Notes.pdf", ".PDF", 0)};
    documents->Fill();
    auto* docs = documents->findChild<QTreeWidget*>(QStringLiteral("lvDocs"));
    dm.Libraries.presentations = {Resource("Lesson", ".PPT", 3)};
    presentations->Fill();
    auto* slides = presentations->findChild<QTreeWidget*>(QStringLiteral("lvPPT_Docs"));
    ASSERT_TRUE(docs && slides && docs->topLevelItemCount() == 1 && slides->topLevelItemCount() == 1);
    docs->setCurrentItem(docs->topLevelItem(0));
    slides->setCurrentItem(slides->topLevelItem(0));
    presentations->UpdateActions();
    commands->UpdateAll();

    auto trigger = [](QObject* owner, const char* name) {
        return [owner, name] {
            QAction* a = owner->findChild<QAction*>(QString::fromLatin1(name));
            ASSERT_TRUE(a) << name;
            ASSERT_TRUE(a->isEnabled()) << name;
            a->trigger();
        };
    };
    struct Case {
        const char* what;
        std::function<void()> run;
        uint16_t kind;
    } cases[] = {
        {"check from the Actions menu", trigger(program.Main(), "acCheckConnectivity"), vkPoll},
        {"beep from the Actions menu", trigger(program.Main(), "acBeepUsers"), vkPoll},
        {"poll", [&] { dm.StartPoll("Ready?", 0x3000000, false, false); }, vkPoll},
        {"document", trigger(documents, "acLaunch"), vkOpenDocument},
        {"slide", trigger(presentations, "acPPT_Open"), vkSlideToBoard},
    };
    for (const Case& c : cases) {
        server.ClearReceived();
        // The rows acknowledged the last push (kind 55 as the room relays it).
        for (int32_t id : {kAna, kBo}) {
            TVCRHeader h;
            InitVCRHeader(vkAcknowledge, id, 1002, h);
            dm.DispatchCommand(h, BuildPacketStream(h, nullptr, 0));
            ASSERT_EQ(dm.Participants.FindUser(id)->statusIcon, kIconAcknowledged);
        }
        c.run();
        EXPECT_TRUE(server.WaitForKind(c.kind)) << c.what;
        for (int32_t id : {kAna, kBo}) EXPECT_EQ(dm.Participants.FindUser(id)->statusIcon, -1) << c.what;
    }
    dm.StopWriterThread();
}

// A participant leaving (kind 13) gives the focus back where it was: another row keeps it, and
// focus on the departing row goes to the row selected in its place.
TEST_F(ProgramRows, FocusStaysWhereItWasWhenARowLeaves) {
    TProgramOptions opts;
    opts.executable = root_ / "bin" / "OrbeloLive6";
    opts.services.installKeyboardHook = [] {};
    TProgram program(opts);
    program.CreateForms();
    TDM& dm = program.DataModule();
    auto* list = program.Form<TfrmUserList>();
    ASSERT_TRUE(list);
    dm.OwnUserId = kOwn;
    for (int32_t id : {kOwn, kAna, kBo, 9}) dm.Participants.AddUser(id, "User " + std::to_string(id));
    // The list on its own (the main window, once shown, would start the sign-in).
    QWidget* window = list->window();
    window->show();
    window->activateWindow();
    QApplication::processEvents();
    auto leave = [&](int32_t id) {
        TVCRHeader h;
        InitVCRHeader(vkUserLeft, id, 1002, h);
        dm.DispatchCommand(h, BuildPacketStream(h, nullptr, 0));
        QApplication::processEvents();
    };
    auto focusOn = [&](int32_t id) {
        QWidget* row = list->lvUsers()->RowWidget(id);
        if (row) row->setFocus();
        QApplication::processEvents();
        return row && QApplication::focusWidget() == row;
    };

    ASSERT_TRUE(focusOn(kBo));
    leave(9);
    EXPECT_EQ(QApplication::focusWidget(), list->lvUsers()->RowWidget(kBo));
    ASSERT_TRUE(focusOn(kBo));
    leave(kBo);
    EXPECT_EQ(dm.Participants.SelectedUser(), kOwn);
    EXPECT_EQ(QApplication::focusWidget(), list->lvUsers()->RowWidget(kOwn));
    window->hide();
}

// A full list of 60: the wheel moves by rows, and the list's own menu stays reachable by mouse in
// the free band below the last row, with every item; its orders reorder the rows in view.
TEST_F(ProgramRows, AFullListScrollsByRowsAndItsMenuStaysReachable) {
    TProgramOptions opts;
    opts.executable = root_ / "bin" / "OrbeloLive6";
    opts.services.installKeyboardHook = [] {};
    TProgram program(opts);
    program.CreateForms();
    TDM& dm = program.DataModule();
    auto* list = program.Form<TfrmUserList>();
    ASSERT_TRUE(list);
    // Names "User 01" to "User 60", joined last first; 59 and 60 are moderators, 60 then 57 raise
    // a hand. By name the last row is 60, moderators on top 58, by hand 59.
    for (int32_t id = 60; id >= 1; --id) {
        TUserInfo u;
        u.SetUserId(id);
        u.SetDisplayName((id < 10 ? "User 0" : "User ") + std::to_string(id));
        u.SetLevel(id >= 59 ? 1000 : 1);
        dm.Participants.RenderUserNode(u, dm.RenderContext());
    }
    for (int32_t id : {60, 57}) dm.Participants.SetMotion(*dm.Participants.FindUser(id), kMotionHand);
    QWidget* window = list->window();
    window->resize(265, 331);
    window->show();
    window->activateWindow();
    QApplication::processEvents();
    room::TOrbeloUserList* rows = list->lvUsers();
    QWidget* viewport = rows->viewport();
    QScrollBar* bar = rows->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);

    auto rowAt = [&](QPoint p) {
        auto* row = qobject_cast<room::TUserRowWidget*>(viewport->childAt(p));
        return row ? row->UserId() : 0;
    };
    auto notch = [&] {
        // Through the window, as the window system delivers it: to the row under the pointer first.
        const QPoint at = viewport->mapTo(window, QPoint(viewport->width() / 2, viewport->height() / 2));
        QWheelEvent wheel(at, window->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        QApplication::sendEvent(window->windowHandle(), &wheel);
        QApplication::processEvents();
    };
    const int32_t topBefore = rowAt({5, 5});
    notch();
    EXPECT_GE(bar->value(), kRowHeight);
    EXPECT_NE(rowAt({5, 5}), topBefore);
    for (int i = 0; i < 100 && bar->value() < bar->maximum(); ++i) notch();
    ASSERT_EQ(bar->value(), bar->maximum());

    QMenu* menu = list->pmUserCommonAction();
    auto openMenu = [&] {
        // A right click in the free band below the last row.
        const QPoint band(viewport->width() / 2, viewport->height() - room::TOrbeloUserList::kFreeSpace / 2);
        EXPECT_EQ(rowAt(band), 0);
        // Through the window, as the window system delivers it (the context menu comes from there).
        QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, viewport->mapTo(window, band));
        QApplication::processEvents();
        return menu->isVisible();
    };
    ASSERT_TRUE(openMenu());
    QStringList items;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) items << a->text();
    EXPECT_EQ(items, (QStringList{"Moderators On Top", "Sort By Name", "Sort By Hand Status", "Expand All Entries",
                                  "Collapse All Entries", "Breakout Rooms..."}));
    menu->hide();
    const struct {
        const char* item;
        int32_t last;
    } orders[] = {{"Sort By Name", 60}, {"Moderators On Top", 58}, {"Sort By Hand Status", 59}, {"Sort By Name", 60}};
    for (const auto& o : orders) {
        ASSERT_TRUE(openMenu()) << o.item;
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String(o.item)) item = a;
        ASSERT_TRUE(item);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        QApplication::processEvents();
        EXPECT_FALSE(menu->isVisible());
        EXPECT_EQ(dm.Participants.Row(dm.Participants.Count() - 1).userId, o.last) << o.item;
        // The view shows it as the last row, just above the free band.
        EXPECT_EQ(rowAt({5, viewport->height() - room::TOrbeloUserList::kFreeSpace - kRowHeight / 2}), o.last)
            << o.item;
    }
    window->hide();
}

// A slide the server no longer has reaches the public chat as the server's notice.
TEST_F(ProgramRows, AMissingSlideIsSaidInThePublicChat) {
    TProgramOptions opts;
    opts.executable = root_ / "bin" / "OrbeloLive6";
    opts.services.installKeyboardHook = [] {};
    TProgram program(opts);
    program.CreateForms();
    TDM& dm = program.DataModule();
    for (uint16_t kind : {vkSlideToBoard, vkLibraryImageToBoard}) {
        TVCRHeader h;
        InitVCRHeader(kind, 0, 1002, h);
        h.result = 3;
        dm.DispatchCommand(h, BuildPacketStream(h, nullptr, 0));
    }
    QApplication::processEvents();
    const QString chat = program.Main()->PublicChatText();
    EXPECT_EQ(chat.count(QStringLiteral("The slide/image is not available. It may has been deleted.")), 2)
        << chat.toStdString();
    EXPECT_TRUE(chat.contains(QStringLiteral("Server"))) << chat.toStdString();
}
