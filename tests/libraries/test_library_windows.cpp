// The library windows, the welcome and the about window, offscreen: rows from hostile records stay
// plain text, the enabling rules reach the actions, the host page closes itself after a minute on
// the fake clock, and the tips window reports its check box. Pictures go to test-artifacts.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTreeWidget>
#include <filesystem>

#include "dm/dm.h"
#include "libraries/frm_presentations.h"
#include "libraries/frm_shared_documents.h"
#include "libraries/frm_web_links.h"
#include "loop/clock.h"
#include "loop/plain_event_loop.h"
#include "main/main_controller.h"
#include "main/main_view.h"
#include "support/null_main_view.h"
#include "settings/settings.h"
#include "welcome/frm_about.h"
#include "welcome/frm_welcome.h"

using namespace orb;

namespace {

TResourceInfo Record(const std::string& name, const std::string& ext, const std::string& description, int32_t n) {
    TResourceInfo r;
    r.fileName = name;
    r.extension = ext;
    r.description = description;
    r.ownerName = "Jos\xE9 Tester";
    r.fileSize = 2560;
    r.added = 39873.5;
    r.number = n;
    return r;
}

void Save(QWidget& w, const char* name) {
    std::filesystem::create_directories(ORB_TEST_ARTIFACTS);
    w.grab().save(QString::fromStdString(std::string(ORB_TEST_ARTIFACTS) + "/" + name + ".png"));
}

template <class T>
T* Find(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(child) << name;
    return child;
}

}  // namespace

TEST(LibraryWindows, ListsShowPlainRowsAndFollowTheRules) {
    PlainEventLoop loop;
    TDM dm(loop, 900);
    dm.OwnLoginInfo.SetLevel(1000);
    dm.BoardRight = true;
    dm.Libraries.documents = {Record("<b>report</b>.pdf", ".pdf", "line\nbreak", 0),
                              Record("notes.txt", ".txt", "Week 1", 0)};
    dm.Libraries.webLinks = {Record("http://example.org/", "WWW", "Example site", 0)};

    TfrmSharedDocuments docs;
    docs.Bind(&dm, "/tmp");
    docs.Fill();
    auto* lvDocs = Find<QTreeWidget>(docs, "lvDocs");
    ASSERT_EQ(lvDocs->topLevelItemCount(), 2);
    EXPECT_EQ(lvDocs->topLevelItem(0)->text(0), QStringLiteral("<b>report</b>.pdf"));
    EXPECT_EQ(lvDocs->topLevelItem(0)->text(1), QStringLiteral("2 KB"));
    EXPECT_EQ(lvDocs->topLevelItem(0)->text(2), QString::fromUtf8("Jos\xC3\xA9 Tester"));
    EXPECT_EQ(lvDocs->topLevelItem(0)->text(4), QStringLiteral("line break"));
    EXPECT_NE(dm.Libraries.documentsWindow, 0);
    docs.resize(600, 300);
    Save(docs, "libraries_documents");

    TfrmWebLinks links;
    links.Bind(&dm);
    links.Fill();
    auto* upload = Find<QAction>(links, "acUploadLink");
    Find<QLineEdit>(links, "eURL")->setText("   ");
    Find<QLineEdit>(links, "eComment")->setText("comment");
    EXPECT_FALSE(upload->isEnabled());  // blanks are no address
    Find<QLineEdit>(links, "eURL")->setText("http://example.org/");
    EXPECT_TRUE(upload->isEnabled());
    EXPECT_FALSE(Find<QAction>(links, "acDeleteLink")->isEnabled());
    Find<QTreeWidget>(links, "lvLinks")->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(Find<QAction>(links, "acDeleteLink")->isEnabled());
    links.resize(600, 300);
    Save(links, "libraries_web_links");

    TfrmPresentations ppt;
    std::vector<int32_t> sent;
    ppt.Bind(
        &dm,
        [&](const TResourceInfo* p, int32_t slide, const std::function<bool()>&) {
            sent.push_back(p ? slide : -1);
            return true;
        },
        {});
    // The board's slide drop-down is refilled as the show moves and shows the current slide.
    std::vector<std::pair<int32_t, int32_t>> filled;
    QString jumpCaption;
    bool jumpOn = false;
    ppt.FillSlides = [&](int32_t count, int32_t slide) { filled.emplace_back(count, slide); };
    ppt.ShowJump = [&](bool on, const QString& caption) {
        jumpOn = on;
        jumpCaption = caption;
    };
    ppt.Fill();
    EXPECT_FALSE(Find<QWidget>(ppt, "pNoItems")->isHidden());
    EXPECT_TRUE(Find<QWidget>(ppt, "lvPPT_Docs")->isHidden());
    dm.Libraries.presentations = {Record("deck.ppt", ".ppt", "Pres_1_2", 2)};
    ppt.Fill();
    EXPECT_TRUE(Find<QWidget>(ppt, "pNoItems")->isHidden());
    auto* list = Find<QTreeWidget>(ppt, "lvPPT_Docs");
    list->setCurrentItem(list->topLevelItem(0));
    ppt.UpdateActions();
    EXPECT_FALSE(Find<QAction>(ppt, "acPPT_NextSlide")->isEnabled());
    Find<QAction>(ppt, "acPPT_Open")->trigger();
    Find<QAction>(ppt, "acPPT_NextSlide")->trigger();
    EXPECT_FALSE(Find<QAction>(ppt, "acPPT_NextSlide")->isEnabled());
    Find<QAction>(ppt, "acPPT_NextSlide")->trigger();  // disabled: nothing more is sent
    Find<QAction>(ppt, "acPPT_PrevSlide")->trigger();
    EXPECT_EQ(sent, (std::vector<int32_t>{1, 2, 1}));
    // A number from the drop-down: within the show only.
    ppt.JumpTo(2);
    ppt.JumpTo(3);
    ppt.JumpTo(0);
    EXPECT_EQ(sent, (std::vector<int32_t>{1, 2, 1, 2}));
    EXPECT_EQ(filled, (std::vector<std::pair<int32_t, int32_t>>{{2, 1}, {2, 2}, {2, 1}, {2, 2}}));
    EXPECT_TRUE(jumpOn);
    EXPECT_EQ(jumpCaption, QStringLiteral("2"));
    // The same navigation serves the board's tool bar.
    EXPECT_EQ(ppt.SlideActions().size(), 5);
    ppt.resize(700, 300);
    Save(ppt, "libraries_presentations");
}

TEST(WelcomeWindow, HostPageClosesAfterAMinuteTipsReportTheCheckBox) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    std::vector<bool> closed;
    QPointer<TfrmWelcome> host = new TfrmWelcome(loop, [&](bool dismissed) { closed.push_back(dismissed); });
    host->ShowPage("", false, 0, 0, 460, 580);
    EXPECT_EQ(host->DismissText(), QStringLiteral("This welcome window is provided by your host."));
    EXPECT_FALSE(host->DismissCheckBoxShown());
    EXPECT_TRUE(host->CloseTimerRunning());
    clock.Advance(59999);
    loop.ProcessPending();
    EXPECT_TRUE(host && host->isVisible());
    clock.Advance(1);
    loop.ProcessPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(host);
    EXPECT_EQ(closed, std::vector<bool>{false});

    QPointer<TfrmWelcome> tips = new TfrmWelcome(loop, [&](bool dismissed) { closed.push_back(dismissed); });
    tips->ShowPage("file:///etc/passwd", true, 40, 30, 480, 650);
    EXPECT_EQ(tips->DismissText(), QStringLiteral("Do not show these tips any more."));
    EXPECT_TRUE(tips->DismissCheckBoxShown());
    EXPECT_FALSE(tips->CloseTimerRunning());
    EXPECT_EQ(tips->View(), nullptr);  // not a web page: nothing is opened
    EXPECT_FALSE(orb::room::WebEngineLoaded()) << "the web engine was loaded without a page shown";
    Save(*tips, "libraries_welcome_tips");
    clock.Advance(120000);
    loop.ProcessPending();
    ASSERT_TRUE(tips);
    tips->findChild<QCheckBox*>("cbDismiss")->setChecked(true);
    tips->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(tips);
    EXPECT_EQ(closed, (std::vector<bool>{false, true}));
}

TEST(AboutWindow, ShowsTheProgramsVersion) {
    std::vector<QString> opened;
    auto* about = new TfrmAbout("6.2", "Mar-01-2009", [&](const QString& s) { opened.push_back(s); });
    EXPECT_EQ(about->VersionText(), QStringLiteral("Version 6.2/Mar-01-2009"));
    Save(*about, "libraries_about");
    about->findChild<QPushButton*>("lbSite")->click();
    EXPECT_EQ(opened, std::vector<QString>{QString::fromLatin1(TfrmAbout::kSite)});
    delete about;
}

namespace {

// The main window as the room entry sees it: only the welcome pages are kept.
struct WelcomeOnlyView final : orb::test::TNullMainView {
    std::vector<std::pair<std::string, bool>> pages;
    void ShowWelcomePage(const std::string& address, bool tips, const TScreenRect&, bool) override {
        pages.emplace_back(address, tips);
    }
    TScreenRect RoomArea() const override { return {0, 0, 1280, 800}; }
};

}  // namespace

TEST(WelcomeWindow, ModeratorTipsAppearOncePerRun) {
    PlainEventLoop loop;
    TDM dm(loop, 900);
    Settings settings;
    settings.ShowModeratorTips = true;
    dm.OwnLoginInfo.SetLevel(1000);
    dm.Room.TipsNotShown = true;
    WelcomeOnlyView view;
    TMainController controller(dm, settings, view, 900);
    controller.RoomEntered(0);
    controller.RoomEntered(0);  // a second room in the same run
    ASSERT_EQ(view.pages.size(), 1u);
    EXPECT_TRUE(view.pages[0].second);
}
