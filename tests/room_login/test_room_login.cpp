// The login dialog and the room list window, offscreen, with the settings in a temporary registry.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "../settings/test_support.h"
#include "dm/dm.h"
#include "login/frm_login.h"
#include "loop/plain_event_loop.h"
#include "registry/registry.h"
#include "roomlist/frm_roomlist.h"
#include "settings/reg_helpers.h"
#include "settings/settings.h"
#include "ui_frm_login.h"
#include "ui_frm_roomlist.h"

namespace {

void SaveScreenshot(QWidget& window, const char* name) {
    const QString file = QStringLiteral(ORB_ARTIFACTS_DIR "/") + QLatin1String(name);
    EXPECT_TRUE(window.grab().save(file, "PNG")) << file.toStdString();
}

class QtWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_room_login";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override { orb::reg::Registry::Default().Reconfigure({dir_.path() / "user", dir_.path() / "machine"}); }
    static void Write(const char* name, const orb::RegVariant& value) {
        ASSERT_TRUE(orb::RegWriteVariant(orb::kSettingsKey, name, value, true));
    }

    orb::test::TempDir dir_;
    orb::PlainEventLoop loop_;
    TDM dm_{loop_, 1};
};

using LoginDialog = QtWindows;
using RoomList = QtWindows;

}  // namespace

TEST_F(LoginDialog, ShowFillsTheBoxesFromTheSettingsAndFocusesTheMissingEntry) {
    struct Case {
        const char* server;  // nullptr: not stored
        int port;            // 0: not stored
        const char* user;
        const char* password;
        bool remember;
        const char* hostBox;
        const char* userBox;
        const char* focus;  // object name of the focused box, "" for the first in tab order
    } cases[] = {
        {"room.example", 8080, "  anna ", "pw", true, "room.example:8080", "anna", "eRemoteHost"},
        // A first start: the first preset, a complete address.
        {nullptr, 0, nullptr, nullptr, false, "127.0.0.1:9910", "", "eUserName"},
        {"room.example", -3, "anna", nullptr, false, "room.example:9910", "anna", "ePassword"},
        {nullptr, 9911, "anna", "pw", false, "127.0.0.1:9910", "anna", "eRemoteHost"},
        {"  ", 9911, "anna", "pw", false, "127.0.0.1:9910", "anna", "eRemoteHost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hostBox);
        orb::test::TempDir fresh;
        orb::reg::Registry::Default().Reconfigure({fresh.path() / "user", fresh.path() / "machine"});
        if (c.server) Write("ServerIP", std::string(c.server));
        if (c.port) Write("ServerPort", int32_t{c.port});
        if (c.user) Write("UserName", std::string(c.user));
        if (c.password) {
            ASSERT_TRUE(orb::WriteScrambledSetting("Password", c.password));
        }
        Write("RememberMe", c.remember);

        TfLogin dialog(dm_);
        dialog.show();
        EXPECT_EQ(dialog.ui()->eRemoteHost->currentText().toStdString(), c.hostBox);
        EXPECT_EQ(dialog.UserNameText(), c.userBox);
        EXPECT_EQ(dialog.PasswordText(), c.password ? c.password : "");
        EXPECT_EQ(dialog.ui()->cbRememberMe->isChecked(), c.remember);
        EXPECT_EQ(dialog.focusWidget()->objectName().toStdString(), c.focus);
    }
}

TEST_F(LoginDialog, Screenshot) {
    Write("ServerIP", std::string("room.example"));
    Write("UserName", std::string("anna"));
    TfLogin dialog(dm_);
    dialog.show();
    EXPECT_EQ(dialog.ui()->eRemoteHost->itemText(0), "127.0.0.1:9910");
    EXPECT_FALSE(dialog.ui()->BitBtn1->icon().isNull());
    EXPECT_FALSE(dialog.ui()->BitBtn2->icon().isNull());
    dialog.ui()->ePassword->setText("secret");
    SaveScreenshot(dialog, "login_dialog.png");
}

TEST_F(LoginDialog, SignInClearsPlaybackAndLaunchAndKeepsTypedEntriesForTheNextRun) {
    dm_.PlaybackMode = true;
    dm_.Launch = orb::lkPlayLink;
    TfLogin dialog(dm_);
    dialog.show();
    dialog.ui()->eRemoteHost->setCurrentText(":1234");
    dialog.ui()->ePassword->setText("  pw");
    const QPoint hostBox = dialog.ui()->eRemoteHost->pos();
    auto* ui = dialog.ui();
    EXPECT_FALSE(ui->lbHostMissing->isVisible());
    // Return in the host box is Sign In (the default button). With no server and no user name the
    // dialog stays and names both under their boxes; the first of them gets the focus.
    QTest::keyClick(ui->eRemoteHost->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(ui->lbHostMissing->isVisible());
    EXPECT_TRUE(ui->lbHostMissing->text().contains("server is missing"));
    EXPECT_TRUE(ui->lbHostMissing->text().contains("127.0.0.1:9910"));
    EXPECT_TRUE(ui->lbUserMissing->isVisible());
    EXPECT_FALSE(ui->lbPasswordMissing->isVisible());
    EXPECT_EQ(dialog.focusWidget(), ui->eRemoteHost);
    // The lines make room for themselves: nothing overlaps the boxes.
    EXPECT_LE(ui->lbHostMissing->geometry().bottom(), ui->eUserName->geometry().top());
    EXPECT_GE(dialog.height(), dialog.sizeHint().height());
    SaveScreenshot(dialog, "login_dialog_missing.png");
    EXPECT_TRUE(dm_.PlaybackMode);  // nothing changed yet

    ui->eRemoteHost->setCurrentText("typed.example:1234");
    QTest::keyClick(ui->eRemoteHost->lineEdit(), Qt::Key_Return);
    EXPECT_FALSE(ui->lbHostMissing->isVisible());
    EXPECT_TRUE(ui->lbUserMissing->isVisible());
    EXPECT_EQ(dialog.focusWidget(), ui->eUserName);
    ui->eUserName->setText("anna");
    QTest::keyClick(ui->eUserName, Qt::Key_Return);
    EXPECT_EQ(ui->eRemoteHost->count(), 1);  // typed addresses do not join the preset list
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(ui->lbUserMissing->isVisibleTo(&dialog));
    EXPECT_EQ(ui->eRemoteHost->pos(), hostBox);
    EXPECT_FALSE(dm_.PlaybackMode);
    EXPECT_EQ(dm_.Launch, orb::lkNone);

    // Shown again (by a caller that asks again): the typed entries stay.
    dialog.show();
    EXPECT_EQ(dialog.HostText(), "typed.example:1234");
    EXPECT_EQ(dialog.UserNameText(), "anna");
    EXPECT_EQ(dialog.PasswordText(), "  pw");
}

TEST_F(LoginDialog, MissingEntriesAndTheFirstHostBox) {
    struct Case {
        const char* host;
        const char* user;
        const char* password;
        bool hostMissing, userMissing, passwordMissing;
    } cases[] = {
        {"127.0.0.1:9910", "anna", "pw", false, false, false},
        {"room.example", "anna", "pw", false, false, false},    // the port defaults to 9910
        {"room.example:", "anna", "pw", false, false, false},
        {":9910", "anna", "pw", true, false, false},
        {"  :9910", "anna", "pw", true, false, false},
        {"http://:9910", "anna", "pw", true, false, false},
        {"", "   ", "", true, true, true},
        {"room.example", "anna", " ", false, false, false},    // blanks are a password
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        const TfLogin::TMissing m = TfLogin::MissingEntries(c.host, c.user, c.password);
        EXPECT_EQ(m.host, c.hostMissing);
        EXPECT_EQ(m.user, c.userMissing);
        EXPECT_EQ(m.password, c.passwordMissing);
    }
    EXPECT_EQ(TfLogin::InitialHostText("", 0, "127.0.0.1:9910"), "127.0.0.1:9910");
    EXPECT_EQ(TfLogin::InitialHostText("room.example", 0, "127.0.0.1:9910"), "room.example:9910");
    EXPECT_EQ(TfLogin::InitialHostText("room.example", 8080, "127.0.0.1:9910"), "room.example:8080");
    EXPECT_EQ(TfLogin::InitialHostText("", 0, ""), ":9910");  // no presets at all
}

TEST_F(LoginDialog, RememberBoxIsStoredAtOnce) {
    TfLogin dialog(dm_);
    dialog.show();
    ASSERT_FALSE(dialog.ui()->cbRememberMe->isChecked());
    QTest::mouseClick(dialog.ui()->cbRememberMe, Qt::LeftButton);
    EXPECT_TRUE(orb::RegReadBool(orb::kSettingsKey, "RememberMe", true));
    EXPECT_TRUE(dm_.RememberMe);  // the session start stores the account by this copy
    QTest::mouseClick(dialog.ui()->cbRememberMe, Qt::LeftButton);
    EXPECT_FALSE(orb::RegReadBool(orb::kSettingsKey, "RememberMe", true));
    EXPECT_FALSE(dm_.RememberMe);
}

TEST_F(LoginDialog, HelpAndConnectionSettingsGoThroughTheHooks) {
    std::vector<std::string> opened;
    int settingsOpened = 0;
    TfLogin dialog(dm_);
    dialog.Label5Click();  // no hooks: nothing happens
    dialog.BitBtn3Click();
    dm_.SessionHooks.OpenWithShell = [&](const std::string& url) {
        opened.push_back(url);
        return true;
    };
    dm_.SessionHooks.OpenConnectionSettings = [&] { ++settingsOpened; };

    dialog.Label5Click();
    Write("HelpURL", std::string(" HTTPS://help.example/faq "));
    dialog.Label5Click();
    Write("HelpURL", std::string("file:///etc/passwd"));
    dialog.Label5Click();
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.orbelo.com/support/?topic=whatserver",
                                                "HTTPS://help.example/faq?topic=whatserver"}));
    dialog.BitBtn3Click();
    EXPECT_EQ(settingsOpened, 1);
}

namespace {

orb::TRoomListItem Room(int32_t number, std::string name, bool isPrivate, int32_t state) {
    orb::TRoomListItem r;
    r.roomNumber = number;
    r.roomName = std::move(name);
    r.isPrivate = isPrivate;
    r.state = state;
    return r;
}

orb::TLoginInfo Account(int32_t level) {
    orb::TLoginInfo info;
    orb::SetShortString(info.Raw(), 8, 20, "Anna");
    orb::SetShortString(info.Raw(), 29, 128, "Anna <i>Smith</i>");
    orb::SetShortString(info.Raw(), 158, 128, "anna@school.example");
    orb::SetShortString(info.Raw(), 287, 128, "Hauptstra\xC3\x9F" "e 1");
    info.SetUserName("anna");
    info.SetLevel(level);
    return info;
}

// Labels placed in the rows area, in creation order.
std::vector<QLabel*> AreaLabels(TfrmRoomList& w) {
    QList<QLabel*> labels = w.ui()->sb1Rows->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    return {labels.begin(), labels.end()};
}

}  // namespace

TEST_F(RoomList, RowsShowNumberNameAndAccessAsPlainText) {
    const std::vector<orb::TRoomListItem> rooms = {
        Room(1001, "Math", false, 1),       Room(1002, "Art", true, 1),  Room(1003, "Old", false, 0),
        Room(1004, "Lab", true, 2),         Room(1005, "Exam", true, 3), Room(1006, "<b>x</b>", false, 3),
        Room(1007, std::string(255, 'W'), false, 4),
    };
    const char* access[] = {"Public", "Private", "Disabled", "Unavailable", "Expired", "Expired", "Public"};
    TfrmRoomList w("room.example", Account(1000), nullptr);
    for (const auto& r : rooms) w.AddRoomRow(r);
    w.show();
    ASSERT_EQ(w.RowCount(), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        std::vector<QLabel*> row = w.RowLabels(i);
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(row[0]->text(), QString::number(rooms[i].roomNumber));
        if (i < 6) {
            EXPECT_EQ(row[1]->text().toStdString(), rooms[i].roomName);
        }
        // A long name stops short of the access column.
        EXPECT_LE(row[1]->geometry().right(), 300);
        EXPECT_EQ(row[2]->text(), access[i]);
        const int lefts[] = {10, 50, 300};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(row[k]->pos(), QPoint(lefts[k], i * 20 + 20));
            EXPECT_EQ(row[k]->textFormat(), Qt::PlainText);
            EXPECT_EQ(row[k]->cursor().shape(), Qt::PointingHandCursor);
            EXPECT_EQ(row[k]->font().pointSize(), 10);
        }
        EXPECT_EQ(row[1]->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        EXPECT_NE(row[2]->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    }
    EXPECT_EQ(w.ui()->lbName->text(), "Anna,");
    EXPECT_EQ(w.ui()->lbFullName->text(), "Anna <i>Smith</i>");
    EXPECT_EQ(w.ui()->lbFullName->textFormat(), Qt::PlainText);
    EXPECT_EQ(w.ui()->lbAddress->text(), QString::fromUtf8("Hauptstra\xC3\x9F" "e 1"));
    EXPECT_EQ(w.ui()->lbAcctType->text(), "Moderator account");
    SaveScreenshot(w, "room_list.png");

    TfrmRoomList participant("room.example", Account(999), nullptr);
    participant.show();
    EXPECT_EQ(participant.ui()->lbAcctType->text(), "Participant account");
}

TEST_F(RoomList, EmptyListShowsOnlyBoldColumnTitles) {
    TfrmRoomList w("room.example", Account(1), nullptr);
    w.show();
    std::vector<QLabel*> labels = AreaLabels(w);
    ASSERT_EQ(labels.size(), 3u);
    const char* titles[] = {"Room", "Name", "Access"};
    const int lefts[] = {10, 50, 300};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(labels[k]->text(), titles[k]);
        EXPECT_EQ(labels[k]->pos(), QPoint(lefts[k], 5));
        EXPECT_TRUE(labels[k]->font().bold());
    }
    w.show();  // shown again: no second set of titles
    EXPECT_EQ(AreaLabels(w).size(), 3u);
}

TEST_F(RoomList, ClickOnAnExpiredRowEntersThatRoom) {
    std::vector<int32_t> sent;
    const std::vector<orb::TRoomListItem> rooms = {Room(7, "Open", false, 1), Room(8, "Closed", true, 3)};
    // Through the modal run the main window uses: the click comes while it runs.
    QTimer::singleShot(0, [] {
        auto* w = qobject_cast<TfrmRoomList*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w->RowLabels(1)[2], Qt::LeftButton);  // the "Expired" text itself
        QTest::mouseClick(w->RowLabels(0)[0], Qt::LeftButton);  // too late: already chosen
    });
    int chosen = RunRoomList(nullptr, "room.example", Account(1), rooms, [&](int32_t r) { sent.push_back(r); });
    EXPECT_EQ(chosen, 8);
    EXPECT_EQ(sent, std::vector<int32_t>{8});
}

TEST_F(RoomList, SignOutAndTimeOutCloseWithMinusOne) {
    int sent = 0;
    auto count = [&](int32_t) { ++sent; };
    {
        TfrmRoomList w("room.example", Account(1), count);
        w.AddRoomRow(Room(7, "Open", false, 1));
        w.show();
        EXPECT_TRUE(w.Timer1().isActive());
        EXPECT_EQ(w.Timer1().interval(), 120000);
        w.Timer1Timer();
        EXPECT_EQ(w.ChosenRoom(), -1);
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.Timer1().isActive());
    }
    QTimer::singleShot(0, [] {
        auto* w = qobject_cast<TfrmRoomList*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        emit w->ui()->Label7->linkActivated("#signout");
    });
    EXPECT_EQ(RunRoomList(nullptr, "room.example", Account(1), {Room(7, "Open", false, 1)}, count), -1);
    EXPECT_EQ(sent, 0);
}
