// The participant windows offscreen: rows in every microphone and camera state (screenshots and one
// pixel check per icon), the profile card's picture and upload check, the profile editor and the
// session-note prompt.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "roomserver/extensions.h"
#include "loop/plain_event_loop.h"
#include "request/frm_request.h"
#include "ui_frm_request.h"
#include "ui_frm_usercard.h"
#include "ui_frm_userdetails.h"
#include "usercard/frm_usercard.h"
#include "userdetails/frm_userdetails.h"
#include "userlist/frm_userlist.h"
#include "userlist/row_icons.h"
#include "userlist/user_actions.h"
#include "userlist/user_list_view.h"

namespace orb::test {
std::vector<uint8_t> UserPictureJpeg(int32_t userId);
}

using namespace orb;
using namespace orb::room;

namespace {

TUserInfo Info(int32_t id, const std::string& name, int32_t level = 1) {
    TUserInfo u;
    u.SetUserId(id);
    u.SetDisplayName(name);
    u.SetLevel(level);
    u.SetGmtOffset(-120);
    return u;
}

bool HasColour(const QImage& img, const QRect& r, const QColor& want) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (std::abs(c.red() - want.red()) < 24 && std::abs(c.green() - want.green()) < 24 &&
                std::abs(c.blue() - want.blue()) < 24)
                return true;
        }
    return false;
}

bool AllWhite(const QImage& img, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white)) return false;
    return true;
}

QString Artifact(const char* name) { return QStringLiteral(ORB_ARTIFACTS_DIR "/") + QString::fromLatin1(name); }

}  // namespace

TEST(ParticipantRows, EveryMicrophoneAndCameraStateDrawsItsIcon) {
    TParticipantList list;
    TOrbeloUserList view;
    view.resize(265, 400);
    view.SetList(&list);
    for (uint8_t s = 0; s <= 4; ++s) {
        TParticipantRow& row = list.RenderUserNode(Info(10 + s, "State " + std::to_string(s) + " <b>x</b>", s == 4 ? 1000 : 1), {});
        list.SetMikeState(row, s);
        list.SetCamState(row, s);
    }
    list.SetMotion(*list.FindUser(11), kMotionHand);
    list.SetMotion(*list.FindUser(12), kMotionYes);
    list.SetShareState(*list.FindUser(13), 1);
    list.SetTypingState(*list.FindUser(13), 1);
    list.SetPresence(*list.FindUser(12), 1);
    list.SetPresence(*list.FindUser(13), 2);
    for (bool expanded : {false, true}) {
        SCOPED_TRACE(expanded);
        if (expanded) list.ExpandAll();
        QApplication::processEvents();
        const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(shot.save(Artifact(expanded ? "participants-expanded.png" : "participants-collapsed.png")));
        for (uint8_t s = 0; s <= 4; ++s) {
            TUserRowWidget* w = view.RowWidget(10 + s);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->height(), expanded ? kExpandedRowHeight : kRowHeight);
            const TRowGeometry g = RowGeometry(w->width(), expanded);
            const QRect mike = g.mike.translated(w->pos()), cam = g.cam.translated(w->pos());
            const int mi = MikeIcon(list.Icons, s), ci = CamIcon(list.Icons, s);
            if (mi >= 0) EXPECT_TRUE(HasColour(shot, mike, RowIconColour(mi))) << int(s);
            else EXPECT_TRUE(expanded || AllWhite(shot, mike)) << int(s);
            if (ci >= 0) EXPECT_TRUE(HasColour(shot, cam, RowIconColour(ci))) << int(s);
            else EXPECT_TRUE(AllWhite(shot, cam)) << int(s);
            // No other state's icon shows in the columns.
            for (uint8_t other = 1; other <= 4; ++other) {
                if (other != s && MikeIcon(list.Icons, other) != mi) {
                    EXPECT_FALSE(HasColour(shot, mike, RowIconColour(MikeIcon(list.Icons, other)))) << int(s);
                }
            }
        }
        const TUserRowWidget* hand = view.RowWidget(11);
        EXPECT_TRUE(HasColour(shot, RowGeometry(hand->width(), expanded).gesture.translated(hand->pos()),
                              RowIconColour(kIconHand)));
    }
}

TEST(ParticipantRows, AThousandRowsCostTheRowsInViewAndAChangeTouchesItsOwnRow) {
    TParticipantList list;
    TOrbeloUserList view;
    view.resize(265, 400);
    view.show();
    view.SetList(&list);
    for (int32_t id = 1; id <= 1000; ++id) list.RenderUserNode(Info(id, "User " + std::to_string(id)), {});
    QApplication::processEvents();
    const int inView = 400 / kRowHeight + 1;
    EXPECT_LE(view.WidgetCount(), inView);
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum());  // the last rows and the free band below them
    QApplication::processEvents();
    EXPECT_LE(view.WidgetCount(), inView + 1);  // the rows that scrolled out gave their widgets back

    // Widget work for one change, counted once the view has applied it.
    auto touched = [&](const std::function<void()>& change) {
        view.Flush();
        const uint64_t before = view.RowUpdates();
        change();
        QApplication::processEvents();
        return view.RowUpdates() - before;
    };
    // A row moving up or down in view is not work on it; one coming into view at an edge is.
    struct Case {
        const char* what;
        std::function<void()> change;
        uint64_t least, most;
    } cases[] = {
        {"join (lands in the free band)", [&] { list.RenderUserNode(Info(2000, "Joiner"), {}); }, 1, 1},
        {"hand raised in view", [&] { list.SetMotion(*list.FindUser(990), kMotionHand); }, 1, 1},
        {"leave in view", [&] { list.DeleteUser(995); }, 1, 2},
        {"hand raised out of view", [&] { list.SetMotion(*list.FindUser(5), kMotionHand); }, 0, 0},
        {"leave out of view", [&] { list.DeleteUser(6); }, 0, 1},
    };
    for (const Case& c : cases) {
        const uint64_t n = touched(c.change);
        EXPECT_GE(n, c.least) << c.what;
        EXPECT_LE(n, c.most) << c.what;
    }
    ASSERT_NE(view.RowWidget(2000), nullptr);
    EXPECT_TRUE(view.RowWidget(2000)->isVisible());
    EXPECT_EQ(view.RowWidget(995), nullptr);
    // The rows in view sit where the list puts them, under the joined one the free band.
    const TUserRowWidget* joiner = view.RowWidget(2000);
    EXPECT_EQ(joiner->geometry().top(), int(list.Count() - 1) * kRowHeight);
    EXPECT_EQ(view.widget()->height(), int(list.Count()) * kRowHeight + TOrbeloUserList::kFreeSpace);
    EXPECT_LE(view.WidgetCount(), inView + 1);
}

TEST(ParticipantRows, MicrophoneClicksFollowTheStateAndLevel) {
    struct Case {
        uint8_t state;
        int32_t level;
        bool own;
        TMikeClick want;
    } cases[] = {{1, 1000, false, TMikeClick::GiveVoice}, {3, 1000, false, TMikeClick::GiveVoice},
                 {3, 999, false, TMikeClick::None},       {2, 1000, false, TMikeClick::BanVoice},
                 {4, 1000, false, TMikeClick::AskThenBanVoice}, {4, 1000, true, TMikeClick::None},
                 {4, 1, false, TMikeClick::None},         {0, 1000, false, TMikeClick::None}};
    for (const Case& c : cases) EXPECT_EQ(MikeClickAction(c.state, c.level, c.own), c.want) << int(c.state);
}

TEST(ProfileCard, ShowsPlainTextAndOnlyItsOwnUsersPicture) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    for (int32_t id : {7, 8}) {
        auto jpeg = test::UserPictureJpeg(id);
        QFile f(QString::fromStdString(folder + std::to_string(id) + ".jpg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size()));
    }
    TParticipantList list;
    TUserInfo info = Info(7, "<i>Ana</i> & co");
    info.SetString(TUserInfo::kProfession, TUserInfo::kProfessionCap, "<a href='x'>Teacher</a>");
    TParticipantRow& row = list.RenderUserNode(info, {});
    TfrmUserControl card;
    card.UserImagesFolder = folder;
    card.ShowUser(row, false);
    EXPECT_EQ(card.ui()->lbCardTitle->text(), QStringLiteral("<i>Ana</i> & co"));
    for (QLabel* l : {card.ui()->lbCardTitle, card.ui()->lbProfession, card.ui()->lbeMail, card.ui()->lbLanguages})
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
    EXPECT_FALSE(card.ui()->lbUpload->isVisibleTo(&card));
    card.DownloadDone(8, 0);  // another user's picture
    card.DownloadDone(7, 1);  // a failed download
    EXPECT_TRUE(card.ui()->imgUser->pixmap().isNull());
    card.DownloadDone(7, 0);
    EXPECT_FALSE(card.ui()->imgUser->pixmap().isNull());

    card.RollOut(10, 10);
    for (int i = 0; i < 16; ++i) card.RollOutTick();
    EXPECT_EQ(card.width(), 400);
    card.RollOutTick();
    EXPECT_FALSE(card.tmrRollOut().isActive());
    QApplication::processEvents();
    EXPECT_TRUE(card.grab().save(Artifact("participants-card.png")));
}

TEST(ProfileCard, PictureComesFromTheRoomsWebSite) {
    // The test room server with its web site of user pictures.
    test::TTestRoom room;
    test::TRoomServer& server = room.server;
    ASSERT_TRUE(server.Start());

    QTemporaryDir dir;
    PlainEventLoop loop;
    TDM dm(loop, 1);
    dm.UserImagesFolder = dir.path().toStdString() + "/";
    dm.RoomProfile.SetWebBase("http://127.0.0.1:" + std::to_string(server.PortOf("userimages")));
    TParticipantList list;
    TParticipantRow& row = list.RenderUserNode(Info(42, "Ana"), {});
    TfrmUserControl card;
    card.UserImagesFolder = dm.UserImagesFolder;
    card.ShowUser(row, false);
    int told = 0;
    const WindowHandle cardWindow = loop.RegisterWindow([&](uint32_t msg, std::intptr_t w, std::intptr_t l) {
        if (msg != WM_APP_DOWNLOADDONE) return;
        ++told;
        card.DownloadDone(w, l);
    });
    ASSERT_TRUE(dm.DownloadUserImage(42, cardWindow, WM_APP_DOWNLOADDONE));
    ASSERT_TRUE(loop.RunUntil([&] { return told > 0; }, 10000));
    ASSERT_FALSE(card.ui()->imgUser->pixmap().isNull());
    const QImage shown = card.ui()->imgUser->pixmap().toImage();
    EXPECT_TRUE(HasColour(shown.convertToFormat(QImage::Format_RGB32), shown.rect(), QColor(245, 210, 170)));
    dm.Transfers.StopAll();
}

TEST(ProfileCard, OwnPictureUploadChecksSizeAndFormat) {
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(QColor(40, 120, 200));
    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(img.save(&buf, "JPEG"));
    auto padded = [&](qsizetype size) {
        QByteArray b = jpeg;
        b.append(QByteArray(size - b.size(), '\0'));
        return std::vector<uint8_t>(b.begin(), b.end());
    };
    EXPECT_EQ(CheckOwnPicture(padded(51200)), TPictureCheck::Ok);
    EXPECT_EQ(CheckOwnPicture(padded(51201)), TPictureCheck::TooLarge);
    std::vector<uint8_t> png;
    {
        QByteArray p;
        QBuffer b(&p);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "PNG");
        png.assign(p.begin(), p.end());
    }
    EXPECT_EQ(CheckOwnPicture(png), TPictureCheck::NotJpeg);

    // Through the card: only a good picture reaches the upload.
    QTemporaryDir dir;
    std::vector<std::string> uploads;
    QStringList warnings;
    TfrmUserControl card;
    card.StartUpload = [&](const std::string& p) { uploads.push_back(p); };
    card.ShowWarning = [&](const QString& t) { warnings << t; };
    for (auto [name, bytes] : {std::pair{"ok.jpg", padded(51200)}, {"big.jpg", padded(51201)}, {"fake.jpg", png}}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        f.close();
        card.UploadOwnPicture(f.fileName());
    }
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(uploads[0]).endsWith(QStringLiteral("ok.jpg")));
    EXPECT_EQ(warnings, QStringList({QString::fromLatin1(kPictureTooLarge), QString::fromLatin1(kPictureNotJpeg)}));
}

TEST(ProfileEditor, LastNameAndSavingTwice) {
    struct Case {
        const char *first, *full, *last;
    } cases[] = {{"Ana", "Ana Lima", "Lima"}, {"Ana Maria", "Ana Maria Lima", "Lima"}, {"Ana", "Lima", "Lima"},
                 {"Ana", "Anabel Lima", "Anabel Lima"}, {"", "Ana Lima", "Ana Lima"}, {"Ana", " Ana  Lima ", "Lima"}};
    for (const Case& c : cases) EXPECT_EQ(LastNameOf(c.first, c.full), c.last) << c.full;
    EXPECT_EQ(CheckProfile(" ", "L", "e").warning, "First Name is required !");
    EXPECT_EQ(CheckProfile("F", "", "e").warning, "Last Name is required !");
    EXPECT_EQ(CheckProfile("F", "L", " ").field, 2);

    PlainEventLoop loop;
    TDM dm(loop, 1);
    dm.OwnLoginInfo.SetFirstName("Ana Maria");
    dm.OwnLoginInfo.SetFullName("Ana Maria Lima");
    dm.OwnLoginInfo.SetEmail("ana@example.com");
    QStringList boxes;
    for (int i = 0; i < 2; ++i) {
        auto* editor = new TfrmUserDetails(dm);
        editor->ShowWarning = editor->ShowInformation = [&](const QString& t) { boxes << t; };
        editor->Load();
        EXPECT_EQ(editor->ui()->eLastName->text(), QStringLiteral("Lima"));
        EXPECT_TRUE(editor->Save());
    }
    EXPECT_EQ(dm.OwnLoginInfo.FullName(), "Ana Maria Lima");
    auto* editor = new TfrmUserDetails(dm);
    editor->ShowWarning = editor->ShowInformation = [&](const QString& t) { boxes << t; };
    editor->Load();
    editor->ui()->eEMail->setText(QStringLiteral("  "));
    EXPECT_FALSE(editor->Save());
    EXPECT_EQ(boxes.back(), QStringLiteral("eMail Address is required !"));
    delete editor;
}

TEST(SessionNote, BlanksAreNotSent) {
    TfrmRequest prompt;
    QStringList warnings;
    prompt.ShowWarning = [&](const QString& t) { warnings << t; };
    prompt.Prepare(QStringLiteral("<b>Ana</b>"));
    prompt.ui()->eComment->setPlainText(QStringLiteral("   \n "));
    prompt.btnSendClick();
    EXPECT_EQ(prompt.result(), 0);
    EXPECT_EQ(warnings.size(), 1);
    prompt.ui()->eComment->setPlainText(QStringLiteral("See me after class"));
    prompt.btnSendClick();
    EXPECT_EQ(prompt.result(), int(QDialog::Accepted));
}

int main(int argc, char** argv) {
    // Offscreen also while the tests are listed (no display is needed for anything here).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
