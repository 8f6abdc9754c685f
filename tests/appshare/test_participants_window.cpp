// The sharer's participants window holds the main window's live participant panel: a participant
// who joins while it is open gains a row there, the buttons act on the panel's selection (never on
// the own row), and closing gives the panel back to its place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QVBoxLayout>

#include "appshare/attendees/frm_attendee_select.h"
#include "participants/participant_list.h"
#include "ui_frm_attendee_select.h"
#include "userlist/user_list_view.h"

namespace {

TEST(ParticipantsWindow, HoldsTheLivePanelWhichGainsARowWhenSomeoneJoins) {
    orb::TParticipantList list;
    list.AddUser(1, "Own Sharer");
    list.AddUser(2, "Ana Tester");
    QWidget main;
    auto* place = new QVBoxLayout(&main);
    auto* panel = new QWidget(&main);
    auto* panelLayout = new QVBoxLayout(panel);
    auto* rows = new orb::room::TOrbeloUserList(panel);
    panelLayout->addWidget(rows);
    rows->SetList(&list);
    place->addWidget(panel);
    main.resize(300, 400);
    main.show();

    TfrmAttendeeSelect w;
    int borrowed = 0, returned = 0;
    w.BorrowList = [&]() -> QWidget* {
        ++borrowed;
        place->removeWidget(panel);
        return panel;
    };
    w.ReturnList = [&](QWidget* l) {
        ++returned;
        l->setParent(&main);
        place->addWidget(l);
        l->show();
    };
    w.SelectedParticipant = [&] { return list.SelectedUser(); };
    w.OwnUserId = [] { return 1; };
    w.OwnShareRunning = [] { return true; };
    std::vector<std::pair<int32_t, bool>> grants;
    w.GrantControl = [&](int32_t user, bool give) { grants.emplace_back(user, give); };

    w.ShowDetached(700, 40, 300, 300);
    QApplication::processEvents();
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(borrowed, 1);
    EXPECT_EQ(panel->window(), &w);
    EXPECT_TRUE(w.Ui().pBtnHolder->isVisible());
    EXPECT_EQ(rows->RowCount(), 2);

    list.AddUser(3, "Ben Joined");
    QApplication::processEvents();
    ASSERT_EQ(rows->RowCount(), 3);
    ASSERT_NE(rows->RowWidget(3), nullptr);
    EXPECT_EQ(rows->RowWidget(3)->window(), &w);
    EXPECT_TRUE(rows->RowWidget(3)->isVisible());
    w.grab().save(QStringLiteral(ORB_TEST_ARTIFACTS "/appshare_participants_window.png"), "PNG");

    list.SetSelected(1);  // the own row: nobody to give control to
    w.Ui().btnGive->click();
    list.SetSelected(3);
    w.Ui().btnGive->click();
    w.Ui().btnDeprive->click();
    EXPECT_EQ(grants, (std::vector<std::pair<int32_t, bool>>{{3, true}, {3, false}}));

    // "Users" again closes it; the panel goes home and keeps following the room.
    w.ShowDetached(700, 40, 300, 300);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(returned, 1);
    EXPECT_EQ(panel->window(), &main);
    list.AddUser(4, "Cleo Later");
    EXPECT_EQ(rows->RowCount(), 4);
    rows->SetList(nullptr);
}

}  // namespace
