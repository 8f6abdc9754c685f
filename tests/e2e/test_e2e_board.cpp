// Two users draw on the same board through the test room server: the first draws a free-hand
// stroke, a rectangle and a text with XTest mouse and keys; the second saves its board as a bitmap
// through its own command, and the two pictures agree.

#include <X11/keysym.h>
#include <unistd.h>

#include <QFile>
#include <cmath>

#include "e2e_test.h"
#include "protocol/message_kinds.h"

using namespace orb;
using namespace orb::test;

namespace {

std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }
constexpr int kRoom = 1002;

bool White(const QImage& img, int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF; }

// The top-left pixel of the board: the first white rectangle of at least 400 x 300 in the area.
std::optional<QPoint> FindBoard(const QImage& screen, QRect area) {
    area &= screen.rect();
    for (int y = area.top() + 1; y < area.bottom() - 300; ++y)
        for (int x = area.left() + 1; x < area.right() - 400; ++x) {
            if (!White(screen, x, y) || White(screen, x - 1, y) || White(screen, x, y - 1)) continue;
            bool ok = true;
            for (int i = 0; i < 400 && ok; ++i) ok = White(screen, x + i, y);
            for (int i = 0; i < 300 && ok; ++i) ok = White(screen, x, y + i);
            if (ok) return QPoint(x, y);
        }
    return std::nullopt;
}

class BoardE2E : public TEndToEnd {};

// Where the board window's controls are, from the board's top-left pixel.
QPoint ToolButton(QPoint board, int index) { return board + QPoint(9 + index * 27, -51); }
QPoint BoardMenuButton(QPoint board) { return board + QPoint(98, -21); }

// Saves the board through the board menu's "Save current image to local disk" and its dialog.
bool SaveBoard(TXDriver& x, pid_t pid, QPoint board, const std::string& path) {
    const QPoint menu = BoardMenuButton(board);
    x.Click(menu.x(), menu.y());
    usleep(400 * 1000);
    for (int i = 0; i < 7; ++i) x.Key(XK_Down);
    x.Key(XK_Return);
    // The save dialog takes the keys once it is there.
    if (!x.WaitForWindow([](const std::string& t) { return t.find("Save") != std::string::npos; }, pid, 10000))
        return false;
    usleep(300 * 1000);
    if (!x.Type(path)) return false;
    x.Key(XK_Return);
    for (int waited = 0; waited < 10000; waited += 100) {
        if (QFile::exists(QString::fromStdString(path))) {
            usleep(300 * 1000);
            return true;
        }
        usleep(100 * 1000);
    }
    return false;
}

}  // namespace

TEST_F(BoardE2E, TwoUsersSeeTheSamePicture) {
    StartRoomServer();
    TClientProcess* a = StartClient("moderator1", {JoinLink("moderator1", "pw", kRoom)});
    ASSERT_TRUE(a);
    const int ca = WaitForSignIn();
    ASSERT_NE(ca, 0);
    auto mainA = x_.WaitForTitle(MainTitle("Moderator1 Tester"), a->Pid(), kWaitMs);
    ASSERT_TRUE(mainA);
    ASSERT_TRUE(WaitFor(ca, vkRoomProfile));
    ASSERT_TRUE(WaitForPainted(*mainA));
    TClientProcess* b = StartClient("bea", {JoinLink("bea", "pw", kRoom)});
    ASSERT_TRUE(b);
    const int cb = WaitForSignIn();
    ASSERT_NE(cb, 0);
    auto mainB = x_.WaitForTitle(MainTitle("Bea Tester"), b->Pid(), kWaitMs);
    ASSERT_TRUE(mainB);
    ASSERT_TRUE(WaitFor(cb, vkRoomProfile));
    ASSERT_TRUE(WaitForPainted(*mainB));

    x_.Raise(*mainA);
    usleep(500 * 1000);
    const QImage screen = Screenshot("e2e_board_empty");
    auto geo = x_.Geometry(*mainA);
    ASSERT_TRUE(geo);
    const auto found = FindBoard(screen, QRect(geo->x, geo->y, geo->width, geo->height));
    ASSERT_TRUE(found) << "no board on the screen";
    const QPoint board = *found;

    // A free-hand stroke.
    QPoint p = ToolButton(board, 5);
    x_.Click(p.x(), p.y());
    std::vector<std::pair<int, int>> stroke;
    for (int i = 0; i <= 30; ++i)
        stroke.emplace_back(board.x() + 60 + i * 8, board.y() + 80 + int(40 * std::sin(i / 4.0)));
    x_.Drag(stroke);
    ASSERT_TRUE(WaitFor(ca, vkBoardStrokes)) << "the stroke was not sent";
    // A rectangle.
    p = ToolButton(board, 2);
    x_.Click(p.x(), p.y());
    usleep(300 * 1000);
    Screenshot("e2e_board_rectangle_tool");
    x_.Drag({{board.x() + 320, board.y() + 160}, {board.x() + 420, board.y() + 220}, {board.x() + 520, board.y() + 300}});
    ASSERT_TRUE(server_.WaitUntil([&] { return From(ca, vkBoardStrokes).size() >= 2; }, kWaitMs));
    // A text: typed, committed with Enter (which opens the next line), the next line cancelled.
    p = ToolButton(board, 7);
    x_.Click(p.x(), p.y());
    x_.Click(board.x() + 100, board.y() + 380);
    // The entry is open once its font window shows.
    ASSERT_TRUE(x_.WaitForTitle("Font Settings", a->Pid(), kWaitMs)) << "no text entry";
    usleep(200 * 1000);
    ASSERT_TRUE(x_.Type("Hello board"));
    usleep(200 * 1000);
    Screenshot("e2e_board_text_entry");
    x_.Key(XK_Return);
    ASSERT_TRUE(WaitFor(ca, vkBoardText)) << "the text was not sent";
    usleep(400 * 1000);
    x_.Key(XK_Escape);
    usleep(300 * 1000);
    Screenshot("e2e_board_drawn");

    const std::string pathA = (root_ / "board_a.bmp").string();
    ASSERT_TRUE(SaveBoard(x_, a->Pid(), board, pathA)) << "the first client saved no picture";
    // The second client got every message through the room server.
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.SentOfKind(cb, vkBoardText).size() >= 1; }, kWaitMs));
    x_.Raise(*mainB);
    usleep(600 * 1000);
    const QImage second_screen = Screenshot("e2e_board_second");
    // Without the board right the tool box is hidden, so the board sits higher.
    const auto boardB = FindBoard(second_screen, QRect(geo->x, geo->y, geo->width, geo->height));
    ASSERT_TRUE(boardB);
    const std::string pathB = (root_ / "board_b.bmp").string();
    ASSERT_TRUE(SaveBoard(x_, b->Pid(), *boardB, pathB)) << "the second client saved no picture";

    const QImage first(QString::fromStdString(pathA)), second(QString::fromStdString(pathB));
    ASSERT_FALSE(first.isNull());
    ASSERT_EQ(first.size(), second.size());
    int drawn = 0, different = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) {
            const QRgb f = first.pixel(x, y), s = second.pixel(x, y);
            drawn += (f & 0xFFFFFF) != 0xFFFFFF;
            different += std::abs(qRed(f) - qRed(s)) > 24 || std::abs(qGreen(f) - qGreen(s)) > 24 ||
                         std::abs(qBlue(f) - qBlue(s)) > 24;
        }
    EXPECT_GT(drawn, 500) << "nothing was drawn";
    EXPECT_LE(different, 50) << "the boards differ in " << different << " pixels";
}
