// The board window's commands, pictures, text entry and pickers, offscreen.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "board/pickers/pickers.h"
#include "board/textentry/text_entry.h"
#include "board/window/frm_board.h"
#include "board_fakes.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {

struct BoardWindow : ::testing::Test {
    FakeSession session;
    TBoardEngine engine{session};
    TfrmBoard window;
    QTemporaryDir dir;
    QString openPath;
    bool shrink = true;
    std::vector<QString> errors, infos;

    void SetUp() override {
        window.SetEngine(&engine);
        engine.InitWhiteboards();
        window.resize(1100, 900);
        window.show();
        session.sent.clear();  // the board chosen at start
        window.Hooks.AskOpenFile = [this] { return openPath; };
        window.Hooks.AskShrink = [this](const QString&) { return shrink; };
        window.Hooks.Confirm = [](const QString&) { return true; };
        window.Hooks.ShowError = [this](const QString& t) { errors.push_back(t); };
        window.Hooks.ShowInfo = [this](const QString& t) { infos.push_back(t); };
    }
    QString File(const QImage& image, const char* name, const char* format) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(image.save(path, format));
        return path;
    }
    const Sent* Last(uint16_t kind) const {
        for (auto it = session.sent.rbegin(); it != session.sent.rend(); ++it)
            if (it->kind == kind) return &*it;
        return nullptr;
    }
    TBoardImageInfo ImageInfo(const Sent& s) {
        ByteReader in(s.body.data(), s.body.size());
        int32_t board = 0;
        in.i32(board);
        TBoardImageInfo info;
        EXPECT_TRUE(TBoardImageInfo::Read(in, info));
        return info;
    }
};

}  // namespace

TEST_F(BoardWindow, OpenedPicturesGrowShrinkOrLeaveTheBoard) {
    // Larger, expanded: the board takes the picture's size.
    shrink = false;
    openPath = File(Solid(1500, 500, qRgb(0, 0, 200)), "wide.png", "PNG");
    window.OpenPictureFromFile();
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1500, 768));
    EXPECT_EQ(engine.BoardImage(1).pixel(1400, 400), qRgb(0, 0, 200));
    EXPECT_EQ(engine.BoardImage(1).pixel(1400, 600), qRgb(255, 255, 255));
    ASSERT_NE(Last(vkBoardImage), nullptr);
    TBoardImageInfo info = ImageInfo(*Last(vkBoardImage));
    EXPECT_EQ(QRect(QPoint(info.left, info.top), QPoint(info.right, info.bottom)), QRect(QPoint(0, 0), QPoint(1500, 500)));

    // Larger, shrunk on a fresh board: 1024 x 342, the board keeps its size.
    engine.ClearBoard(1);
    shrink = true;
    window.OpenPictureFromFile();
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1024, 768));
    info = ImageInfo(*Last(vkBoardImage));
    EXPECT_EQ(info.right, 1024);
    EXPECT_EQ(info.bottom, 342);

    // A smaller one never shrinks the board.
    shrink = false;
    openPath = File(Solid(1100, 900, qRgb(200, 0, 0)), "big.png", "PNG");
    window.OpenPictureFromFile();
    openPath = File(Solid(100, 100, qRgb(0, 200, 0)), "small.png", "PNG");
    window.OpenPictureFromFile();
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1100, 900));
    EXPECT_EQ(engine.BoardImage(1).pixel(50, 50), qRgb(0, 200, 0));
    EXPECT_EQ(engine.BoardImage(1).pixel(500, 500), qRgb(200, 0, 0));

    // A broken file changes nothing and sends nothing.
    const QImage before = engine.BoardImage(1);
    const size_t sent = session.sent.size();
    QFile broken(dir.filePath(QStringLiteral("broken.jpg")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\xFF\xD8\xFF\xE0 not a picture at all");
    broken.close();
    openPath = broken.fileName();
    window.OpenPictureFromFile();
    EXPECT_EQ(engine.BoardImage(1), before);
    EXPECT_EQ(session.sent.size(), sent);
    EXPECT_EQ(errors.size(), 1u);

    // Without the right on a shared board the command does nothing.
    session.boardRight = false;
    openPath = File(Solid(10, 10, qRgb(1, 2, 3)), "tiny.png", "PNG");
    window.OpenPictureFromFile();
    EXPECT_EQ(engine.BoardImage(1), before);
}

TEST_F(BoardWindow, ReceivedPicturesAndPlacement) {
    // A received picture larger than the board enlarges it; a broken or oversize JPEG changes nothing.
    std::vector<uint8_t> jpeg = Jpeg(Solid(1200, 100, qRgb(0, 0, 255)));
    ASSERT_TRUE(engine.DrawBoardPicture(1, 0, 0, jpeg, PictureMode::Place));
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1200, 768));
    const QImage before = engine.BoardImage(1);
    std::vector<uint8_t> broken(jpeg.begin(), jpeg.begin() + 40);
    EXPECT_FALSE(engine.DrawBoardPicture(1, 0, 0, broken, PictureMode::Place));
    // The frame header claims 30000 x 30000: refused before decoding.
    std::vector<uint8_t> huge = jpeg;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0x75, huge[i + 6] = 0x30, huge[i + 7] = 0x75, huge[i + 8] = 0x30;
            break;
        }
    EXPECT_FALSE(engine.DrawBoardPicture(1, 0, 0, huge, PictureMode::Place));
    EXPECT_EQ(engine.BoardImage(1), before);

    // A captured picture placed near the edge is not clipped: the board grows to hold it.
    engine.BeginPlacement(Solid(200, 100, qRgb(250, 0, 0)), true);
    EXPECT_EQ(engine.Tool(), btPlaceBitmap);
    QTest::mouseMove(window.Canvas(), {1100, 700});
    QTest::mouseClick(window.Canvas(), Qt::LeftButton, {}, {1100, 700});
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(1300, 800));
    EXPECT_EQ(engine.BoardImage(1).pixel(1299, 799), qRgb(250, 0, 0));
    EXPECT_EQ(engine.Tool(), btNone);
    const TBoardImageInfo info = ImageInfo(*Last(vkBoardImage));
    EXPECT_EQ(QRect(QPoint(info.left, info.top), QPoint(info.right, info.bottom)), QRect(QPoint(1100, 700), QPoint(1300, 800)));

    // A missing picture starts no placement and draws no frame.
    engine.BeginPlacement(QImage(), true);
    EXPECT_EQ(engine.Tool(), btNone);
}

TEST_F(BoardWindow, CancelledCaptureLeavesNothingSelected) {
    window.Capture.DisplayName = "no-such-display:99";
    window.Capture.Delay = 0;
    window.acHideOrbeloWindow->setChecked(false);
    window.SelectTool(btLine);
    for (int what : {0, 1, 2}) {
        window.CaptureOntoBoard(what);
        EXPECT_EQ(engine.Tool(), btNone);
        EXPECT_TRUE(window.ToolButton(btNone)->isChecked());
        EXPECT_TRUE(engine.PlacementBitmap().isNull());
    }
}

TEST_F(BoardWindow, TextEntryCommitsCancelsAndLimits) {
    std::vector<TTextDefaults> saved;
    window.Hooks.SaveTextDefaults = [&](const TTextDefaults& d) { saved.push_back(d); };
    window.TextDefaults = {"Arial", 0x000000FF, 14};
    window.SelectTool(btText);
    QTest::mouseClick(window.Canvas(), Qt::LeftButton, {}, {100, 100});
    QApplication::processEvents();
    ASSERT_NE(window.TextEntry(), nullptr);
    QLineEdit* edit = window.TextEntry()->Edit();
    EXPECT_EQ(window.TextEntry()->FontForm()->SpinEdit1->value(), 14);
    EXPECT_EQ(window.TextEntry()->FontForm()->windowTitle(), QStringLiteral("Font Settings"));

    // Escape: nothing drawn, nothing sent, tool "Nothing".
    const QImage blank = engine.BoardImage(1);
    QTest::keyClicks(edit, QStringLiteral("gone"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(window.TextEntry(), nullptr);
    EXPECT_EQ(engine.BoardImage(1), blank);
    EXPECT_TRUE(session.sent.empty());
    EXPECT_EQ(engine.Tool(), btNone);

    // 250 characters at most; Backspace still works.
    window.SelectTool(btText);
    QTest::mouseClick(window.Canvas(), Qt::LeftButton, {}, {100, 100});
    QApplication::processEvents();
    ASSERT_NE(window.TextEntry(), nullptr);
    edit = window.TextEntry()->Edit();
    QTest::keyClicks(edit, QString(260, QLatin1Char('x')));
    EXPECT_EQ(edit->text().size(), 250);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text().size(), 249);
    edit->clear();

    // A font change resizes the entry at once and is stored as the default.
    const int narrow = window.TextEntry()->width();
    QTest::keyClicks(edit, QStringLiteral("Hello"));
    const int small = window.TextEntry()->width();
    EXPECT_GT(small, narrow);
    window.TextEntry()->FontForm()->SpinEdit1->setValue(30);
    EXPECT_GT(window.TextEntry()->width(), small);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved.back().size, 30);
    EXPECT_EQ(window.TextDefaults.size, 30);

    // Ctrl+Enter neither commits nor opens a new entry; Enter commits, sends and opens the next line.
    TTextEditControl* first = window.TextEntry();
    QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(window.TextEntry(), first);
    EXPECT_TRUE(session.sent.empty());
    const QRect panel = first->geometry();
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_NE(Last(vkBoardText), nullptr);
    EXPECT_NE(engine.BoardImage(1), blank);
    QApplication::processEvents();
    ASSERT_NE(window.TextEntry(), nullptr);
    EXPECT_NE(window.TextEntry(), first);
    EXPECT_EQ(window.TextEntry()->geometry().top(), panel.top() + panel.height() + 2 - 5 - 5 + 5);
    EXPECT_EQ(window.TextEntry()->FontForm()->SpinEdit1->value(), 30);
    EXPECT_EQ(engine.Tool(), btText);

    // What was sent draws the same on a receiver.
    FakeSession rs;
    TBoardEngine receiver(rs);
    receiver.InitWhiteboards();
    ByteReader in(Last(vkBoardText)->body.data(), Last(vkBoardText)->body.size());
    int32_t board = 0;
    in.i32(board);
    EXPECT_EQ(board, 1);
    TBoardTextObject object;
    ASSERT_TRUE(ReadBoardTextInfo(in, object));
    EXPECT_EQ(object.text, u"Hello");
    EXPECT_EQ(object.fontSize, 30);
    EXPECT_EQ(object.fontName, "Arial");  // the name given, not the family that stands in for it
    EXPECT_EQ(saved.back().font, "Arial");
    EXPECT_EQ(object.fontColor, 0x000000FFu);
    receiver.DrawBoardText(object.board, object);
    EXPECT_EQ(receiver.BoardImage(1), engine.BoardImage(1));
}

TEST_F(BoardWindow, ClearAndPermissions) {
    engine.SetTool(btRectangle);
    engine.DrawShape(1, {10, 10}, false, PenMode::Copy, {100, 100});
    window.ClearBoard();
    EXPECT_TRUE(IsWhite(engine.BoardImage(1)));
    ASSERT_NE(Last(vkClearBoard), nullptr);
    session.boardRight = false;
    window.UpdateActions();
    EXPECT_FALSE(window.ToolButton(btLine)->isEnabled());
    EXPECT_FALSE(window.acClearBoard->isEnabled());
    EXPECT_FALSE(window.acCaptureDesktop->isEnabled());
    window.ClearBoard();
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("You do not have permission to access the whiteboard."));
    // The private board is always ours; nothing drawn on it travels.
    window.acPrivateBoard->trigger();
    EXPECT_EQ(engine.CurrentBoard(), 0);
    EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("pBBTools"))->isVisible());
    window.UpdateActions();
    EXPECT_TRUE(window.ToolButton(btLine)->isEnabled());
    const size_t sent = session.sent.size();
    window.SelectTool(btLine);
    QTest::mousePress(window.Canvas(), Qt::LeftButton, {}, {10, 10});
    QTest::mouseRelease(window.Canvas(), Qt::LeftButton, {}, {90, 90});
    EXPECT_FALSE(IsWhite(engine.BoardImage(0)));
    EXPECT_EQ(session.sent.size(), sent);
}

TEST_F(BoardWindow, SaveAndUploadTheBoard) {
    engine.SetTool(btRectangle);
    engine.DrawShape(1, {10, 10}, false, PenMode::Copy, {100, 100});
    const QString bmp = dir.filePath(QStringLiteral("board.bmp"));
    window.Hooks.AskSaveFile = [&] { return bmp; };
    window.SaveToFile();
    const QImage saved(bmp, "BMP");
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), engine.BoardImage(1));

    std::vector<std::pair<std::string, std::string>> uploads;
    int floated = 0;
    std::optional<QString> comment;
    window.Hooks.AskComment = [&] { return comment; };
    window.Hooks.StartUpload = [&](const std::string& p, const std::string& c) { uploads.emplace_back(p, c); };
    window.Hooks.FloatImageLibrary = [&] { ++floated; };
    window.Hooks.TempFolder = [&] { return dir.path().toStdString(); };
    window.Hooks.OwnUserId = [] { return 42; };
    for (std::optional<QString> c : {std::optional<QString>(), std::optional<QString>(QStringLiteral("   "))}) {
        comment = c;
        window.UploadToServer();
        EXPECT_EQ(infos.back(), QStringLiteral("Image not uploaded"));
    }
    EXPECT_TRUE(uploads.empty());
    comment = QStringLiteral("Our plan");
    window.UploadToServer();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(floated, 3);
    EXPECT_EQ(uploads[0].second, "Our plan");
    const QString path = QString::fromStdString(uploads[0].first);
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("board_42_")));
    EXPECT_TRUE(path.endsWith(QStringLiteral(".jpg")));
    const QImage jpeg(path, "JPEG");
    EXPECT_EQ(jpeg.size(), QSize(1024, 768));
}

TEST_F(BoardWindow, WholeBoardLoadsShowTheBusyCursorAndRepaintsStayLocal) {
    engine.SetLayerMouseAttached(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    window.SelectTool(btLine);
    QTest::mousePress(window.Canvas(), Qt::LeftButton, {}, {10, 10});
    QTest::mouseRelease(window.Canvas(), Qt::LeftButton, {}, {90, 90});
    EXPECT_TRUE(session.sent.empty());  // the layers take no mouse input meanwhile
    engine.SetLayerMouseAttached(true);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A stroke marks only its own neighbourhood for repainting.
    engine.TakeDirty();
    engine.SetTool(btLine);
    engine.SetView(nullptr);
    engine.DrawShape(1, {300, 300}, false, PenMode::Copy, {310, 305});
    const QRect dirty = engine.TakeDirty();
    EXPECT_TRUE(dirty.contains(QRect(300, 300, 11, 6)));
    EXPECT_LT(dirty.width() * dirty.height(), 400);
    engine.SetView(&window);
}

TEST_F(BoardWindow, EveryPickerChangeKeepsAllFourDefaults) {
    auto choose = [](QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);  // as a click on the item
    };
    choose(window.BrushStyle(), bsFDiagonal);
    EXPECT_EQ(engine.DefaultBrushStyle(), bsFDiagonal);
    choose(window.FillColor(), 9);  // Red
    choose(window.PenSize(), 4);
    choose(window.LineColor(), 12);  // Blue
    EXPECT_EQ(engine.DefaultPenWidth(), 5);
    EXPECT_EQ(engine.DefaultPenColor(), 0xFF0000u);
    EXPECT_EQ(engine.DefaultBrushColor(), 0x0000FFu);
    EXPECT_EQ(engine.DefaultBrushStyle(), bsFDiagonal);

    // The text tool's colours: the 16 standard ones and the extended ones, with their names.
    TFontsForm fonts({});
    ASSERT_EQ(fonts.ColorBox1->count(), 20);
    EXPECT_EQ(fonts.ColorBox1->itemText(15), QStringLiteral("White"));
    EXPECT_EQ(fonts.ColorBox1->itemText(16), QStringLiteral("MoneyGreen"));
    fonts.ColorBox1->SetColorValue(0xF0CAA6);  // SkyBlue
    EXPECT_EQ(fonts.ColorBox1->currentIndex(), 17);
    EXPECT_EQ(fonts.Values().color, 0xF0CAA6u);
    EXPECT_EQ(window.LineColor()->count(), 16);
}

TEST(BoardPickers, ValuesOutsideTheListsAreRefused) {
    TColorComboBoxEx colours;
    int changes = 0;
    QObject::connect(&colours, &TColorComboBoxEx::ColorChanged, [&] { ++changes; });
    colours.SetColorValue(0x0000FF);
    EXPECT_EQ(colours.ColorValue(), 0x0000FFu);
    EXPECT_EQ(colours.currentIndex(), 9);
    EXPECT_EQ(changes, 1);
    colours.SetColorValue(0x123456);
    EXPECT_EQ(colours.ColorValue(), 0x0000FFu);
    EXPECT_EQ(colours.currentIndex(), 9);
    EXPECT_EQ(changes, 1);
    colours.SetColorValue(0x0000FF);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(colours.IndexOfColor(0xFFFFFF), 15);
    EXPECT_EQ(colours.itemText(13), QStringLiteral("Fuchsia"));
    EXPECT_EQ(colours.ItemHeight(), 17);
    colours.SetShowStyle(TColorComboBoxEx::ssColorAndText);
    QFont big = colours.font();
    big.setPixelSize(30);
    colours.setFont(big);
    EXPECT_EQ(colours.ItemHeight(), QFontMetrics(big).height() + 2);

    TFillStyleComboBox fills;
    fills.SetFillStyle(6);
    fills.SetFillStyle(8);
    EXPECT_EQ(fills.FillStyle(), 6);
    EXPECT_EQ(fills.currentIndex(), 6);
    EXPECT_EQ(fills.count(), 8);
    EXPECT_EQ(fills.itemText(0), QStringLiteral("Ashurado 1"));

    TLineWidthComboBox widths;
    widths.SetLineWidth(7);
    EXPECT_EQ(widths.LineWidth(), 7);
    EXPECT_EQ(widths.currentIndex(), -1);
    EXPECT_EQ(widths.itemText(4), QStringLiteral("Ancho 5"));
    widths.SetMaxLineWidth(8);
    EXPECT_EQ(widths.currentIndex(), 6);
}
