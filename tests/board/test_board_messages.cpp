// The whiteboard handlers with the engine behind them: well-formed and hostile bodies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "board_fakes.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;

namespace {

constexpr QRgb kW = 0xFFFFFFFF;

void I32(std::vector<uint8_t>& b, int32_t v) { ByteWriter(b).i32(v); }

TVCRHeader Header(uint16_t kind, int32_t sender = 77, uint16_t result = 0) {
    TVCRHeader h;
    h.kind = kind;
    h.sender = sender;
    h.result = result;
    return h;
}

// An embedded item of a whole-board body: header, int32 board, payload.
void Item(std::vector<uint8_t>& body, uint16_t kind, int32_t board, const std::vector<uint8_t>& payload,
          int32_t lengthAdjust = 0) {
    TVCRHeader h = Header(kind);
    h.bodyLength = int32_t(payload.size() + 4) + lengthAdjust;
    h.AppendTo(body);
    I32(body, board);
    body.insert(body.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> Resource(int32_t fileSize) {
    std::vector<uint8_t> rec(773, 0);
    StoreU32(rec.data() + 406, uint32_t(fileSize));
    return rec;
}

struct MessagesTest : ::testing::Test {
    FakeSession session;
    FakeRoom room;
    TBoardEngine engine{session};
    TBoardMessages messages{engine, room};
    void SetUp() override {
        session.boardRight = false;
        engine.InitWhiteboards();
        session.boardRight = true;  // received messages must still never announce
    }
    void Handle(uint16_t kind, const std::vector<uint8_t>& body, int32_t sender = 77, uint16_t result = 0) {
        ASSERT_TRUE(messages.Handle(Header(kind, sender, result), body));
    }
    bool AllWhite() const {
        for (int b = 0; b < kBoardCount; ++b)
            if (!IsWhite(engine.BoardImage(b))) return false;
        return true;
    }
};

}  // namespace

TEST_F(MessagesTest, StrokesSelectBoardAndReplay) {
    const TStrokeRecord recs[] = {Line(3, 10, 10, 60, 10), Line(3, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(3, recs));
    EXPECT_EQ(engine.CurrentBoard(), 3);
    EXPECT_EQ(engine.BoardImage(3).pixel(30, 10), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(3).pixel(30, 20), qRgb(0, 0, 0));
    EXPECT_EQ(messages.ReceivedStrokes().size(), 2u);
    EXPECT_TRUE(session.sent.empty());  // no kinds 118 or 82 echoed back
    EXPECT_TRUE(session.viewModes.empty());
}

TEST_F(MessagesTest, StrokesWithBadBoardsOrLengthsAreDropped) {
    const TStrokeRecord zero[] = {Line(0, 10, 10, 60, 10), Line(0, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(0, zero));
    const TStrokeRecord six[] = {Line(6, 10, 10, 60, 10), Line(6, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(6, six));
    Handle(vkBoardStrokes, BuildBoardStrokesBody(-1, six));
    // Records of another board than the message's are dropped; the rest is drawn.
    const TStrokeRecord mixed[] = {Line(4, 10, 10, 60, 10), Line(2, 10, 30, 60, 30)};
    std::vector<uint8_t> body = BuildBoardStrokesBody(2, mixed);
    Handle(vkBoardStrokes, body);
    EXPECT_TRUE(IsWhite(engine.BoardImage(4)));
    EXPECT_EQ(engine.BoardImage(2).pixel(30, 30), qRgb(0, 0, 0));
    engine.ClearBoard(2);
    // A record cut short draws nothing of the message; its board was already made current.
    const TStrokeRecord three[] = {Line(3, 10, 40, 60, 40), Line(3, 10, 50, 60, 50)};
    std::vector<uint8_t> cut = BuildBoardStrokesBody(3, three);
    cut.pop_back();
    Handle(vkBoardStrokes, cut);
    EXPECT_EQ(engine.CurrentBoard(), 3);
    Handle(vkBoardStrokes, {4, 0});
    EXPECT_TRUE(AllWhite());
    EXPECT_EQ(engine.CurrentBoard(), 3);
}

TEST_F(MessagesTest, ABoardChangeDuringAFreeHandDragSendsWhatWasDrawn) {
    engine.SetTool(btFreeHand);
    engine.Image5MouseDown(MouseButton::Left, 100, 100);
    engine.Image5MouseMove(true, false, 120, 100);
    const TStrokeRecord recs[] = {Line(2, 10, 10, 60, 10), Line(2, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(2, recs));
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkBoardStrokes);
    EXPECT_EQ(session.sent[0].body.size(), 4u + 2 * 20u);
    EXPECT_EQ(session.sent[0].body[0], 1);
    EXPECT_EQ(session.sent[0].body[4], 1);
    engine.Image5MouseMove(true, false, 140, 100);
    engine.Image5MouseUp(MouseButton::Left, 140, 100);
    EXPECT_EQ(session.sent.size(), 1u);
    EXPECT_TRUE(IsWhite(engine.BoardImage(2).copy(90, 90, 60, 20)));
}

TEST_F(MessagesTest, AStrokeEndedByAReplayGoesOutUnderItsOwnBoard) {
    engine.SetTool(btFreeHand);
    engine.Image5MouseDown(MouseButton::Left, 100, 100);
    engine.Image5MouseMove(true, false, 120, 100);
    const TStrokeRecord recs[] = {Line(1, 10, 10, 60, 10), Line(1, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(1, recs));  // ends the drag
    Handle(vkBoardPointer, BuildBoardPointerBody(5, 5, 2, 1));  // then board 2 becomes current
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].body.size(), 4u + 2 * 20u);
    EXPECT_EQ(session.sent[0].body[0], 1);
    engine.Image5MouseUp(MouseButton::Left, 120, 100);
    EXPECT_EQ(session.sent.size(), 1u);
}

TEST_F(MessagesTest, PointerChecksBoardAndType) {
    Handle(vkBoardPointer, BuildBoardPointerBody(100, 200, 4, 1));
    EXPECT_EQ(engine.CurrentBoard(), 4);
    EXPECT_EQ(engine.PointerType(), 1);
    EXPECT_EQ(engine.PointerPos(), QPoint(100, 200));
    Handle(vkBoardPointer, BuildBoardPointerBody(1, 2, 0, 2));
    Handle(vkBoardPointer, BuildBoardPointerBody(1, 2, 3, 3));
    Handle(vkBoardPointer, {1, 0, 2, 0, 3, 0});
    EXPECT_EQ(engine.CurrentBoard(), 4);
    EXPECT_EQ(engine.PointerType(), 1);
    EXPECT_TRUE(session.sent.empty());
}

TEST_F(MessagesTest, AnsiTextDrawsOnItsBoard) {
    std::vector<uint8_t> body;
    I32(body, 5);
    std::vector<uint8_t> rec(413, 0);
    StoreU32(rec.data() + 4, 10);
    StoreU32(rec.data() + 8, 10);
    StoreU32(rec.data() + 12, 300);
    StoreU32(rec.data() + 16, 100);
    rec[20] = 9;
    std::memcpy(rec.data() + 21, "DejaVu Sans", 9);
    StoreU32(rec.data() + 149, 20);
    StoreU32(rec.data() + 153, 0x000000FF);
    rec[157] = 5;
    std::memcpy(rec.data() + 158, "H\xE9llo", 5);  // 8-bit text
    body.insert(body.end(), rec.begin(), rec.end());
    Handle(vkAnsiBoardText, body);
    EXPECT_EQ(engine.CurrentBoard(), 5);
    EXPECT_FALSE(IsWhite(engine.BoardImage(5).copy(10, 10, 290, 90)));
    EXPECT_TRUE(IsWhite(engine.BoardImage(5).copy(0, 110, 1024, 600)));
    body.pop_back();
    engine.ClearBoard(5);
    Handle(vkAnsiBoardText, body);
    EXPECT_TRUE(IsWhite(engine.BoardImage(5)));
}

TEST_F(MessagesTest, UnicodeTextSwitchesBoardAndChecksItsCount) {
    TBoardTextObject t;
    t.board = 2;
    t.left = 20;
    t.top = 20;
    t.right = 400;
    t.bottom = 200;
    t.fontName = "DejaVu Sans";
    t.fontSize = 18;
    t.text = u"Board \U0001F600 text\twith a tab and enough words to wrap the line";
    std::vector<uint8_t> body = BuildBoardTextBody(t);
    Handle(vkBoardText, body);
    EXPECT_EQ(engine.CurrentBoard(), 2);
    EXPECT_FALSE(IsWhite(engine.BoardImage(2)));
    EXPECT_TRUE(IsWhite(engine.BoardImage(2).copy(401, 0, 600, 768)));  // clipped to its rectangle

    engine.ClearBoard(2);
    std::vector<uint8_t> longer = body;
    StoreU32(longer.data() + 4 + 161, uint32_t(longer.size()));  // count beyond the body
    Handle(vkBoardText, longer);
    std::vector<uint8_t> negative = body;
    StoreU32(negative.data() + 4 + 161, 0x80000000u);
    Handle(vkBoardText, negative);
    std::vector<uint8_t> otherBoard = body;
    StoreU32(otherBoard.data() + 4, 3);  // the record names another board than the message
    Handle(vkBoardText, otherBoard);
    StoreU32(body.data(), 0);
    StoreU32(body.data() + 4, 0);
    Handle(vkBoardText, body);
    EXPECT_TRUE(AllWhite());
    // Hostile geometry and font sizes draw nothing outside and end quickly.
    t.left = -2000000000;
    t.right = 2000000000;
    t.fontSize = 2000000000;
    Handle(vkBoardText, BuildBoardTextBody(t));
}

TEST_F(MessagesTest, PictureGrowsToItsRightAndBottomEdgeWithinTheCap) {
    const std::vector<uint8_t> jpeg = Jpeg(Solid(100, 60, qRgb(0, 0, 255)));
    TBoardImageInfo info;
    info.board = 3;
    info.left = 1000;
    info.top = 740;
    Handle(vkBoardImage, BuildBoardImageBody(3, info, jpeg), 42);
    EXPECT_EQ(engine.CurrentBoard(), 3);
    EXPECT_EQ(engine.BoardImage(3).size(), QSize(1100, 800));
    EXPECT_GE(qBlue(engine.BoardImage(3).pixel(1050, 770)), 250);
    EXPECT_EQ(room.updated, std::vector<int32_t>{42});
    // A smaller picture never shrinks the board; one far away grows it only to the cap.
    info.left = 4050;
    info.top = 10;
    Handle(vkBoardImage, BuildBoardImageBody(3, info, jpeg), 42);
    EXPECT_EQ(engine.BoardImage(3).size(), QSize(4096, 800));
    info.left = 2000000000;
    info.top = 2000000000;
    Handle(vkBoardImage, BuildBoardImageBody(3, info, jpeg), 42);
    EXPECT_EQ(engine.BoardImage(3).size(), QSize(4096, 4096));
}

TEST_F(MessagesTest, PictureWithBadLengthOrDataIsDropped) {
    const std::vector<uint8_t> jpeg = Jpeg(Solid(10, 10, qRgb(0, 0, 255)));
    TBoardImageInfo info;
    std::vector<uint8_t> body = BuildBoardImageBody(2, info, jpeg);
    StoreU32(body.data() + 24, uint32_t(jpeg.size() + 1));
    Handle(vkBoardImage, body);
    StoreU32(body.data() + 24, 0xFFFFFFF0u);
    Handle(vkBoardImage, body);
    std::vector<uint8_t> garbage(200, 0x55);
    Handle(vkBoardImage, BuildBoardImageBody(2, info, garbage));
    Handle(vkBoardImage, BuildBoardImageBody(9, info, jpeg));
    // A JPEG whose header claims a huge picture is refused before decoding.
    std::vector<uint8_t> huge = jpeg;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0x4E, huge[i + 6] = 0x20, huge[i + 7] = 0x4E, huge[i + 8] = 0x20;  // 20000 x 20000
            break;
        }
    Handle(vkBoardImage, BuildBoardImageBody(2, info, huge));
    EXPECT_TRUE(AllWhite());
    EXPECT_TRUE(room.updated.empty());
    EXPECT_EQ(engine.CurrentBoard(), 1);
}

TEST_F(MessagesTest, ClearAndCurrentBoard) {
    const TStrokeRecord recs[] = {Line(2, 10, 10, 60, 10), Line(2, 10, 20, 60, 20)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(2, recs));
    Handle(vkClearBoard, {9, 0, 0, 0});
    Handle(vkClearBoard, {0, 0, 0, 0});
    EXPECT_FALSE(IsWhite(engine.BoardImage(2)));
    Handle(vkClearBoard, {2, 0, 0, 0});
    EXPECT_TRUE(IsWhite(engine.BoardImage(2)));

    Handle(vkCurrentBoard, {4, 0, 0, 0});
    EXPECT_EQ(engine.CurrentBoard(), 4);
    Handle(vkSelectBoard, {0, 0, 0, 0});
    EXPECT_EQ(engine.CurrentBoard(), 4);
    EXPECT_EQ(room.progressHidden, 2);
    Handle(vkSelectBoard, {5, 0, 0});
    EXPECT_EQ(room.progressHidden, 2);
    EXPECT_TRUE(session.sent.empty());
}

TEST_F(MessagesTest, SlideNoticeSizeZeroAndPicture) {
    Handle(vkSlideToBoard, {}, 5, 12);
    ASSERT_EQ(room.notices.size(), 1u);
    EXPECT_EQ(room.notices[0], "The slide/image is not available. It may has been deleted.");

    std::vector<uint8_t> body;
    I32(body, 3);
    std::vector<uint8_t> res = Resource(0);
    body.insert(body.end(), res.begin(), res.end());
    Handle(vkLibraryImageToBoard, body);
    EXPECT_EQ(engine.CurrentBoard(), 1);
    EXPECT_TRUE(room.updated.empty());

    const TStrokeRecord recs[] = {Line(3, 10, 10, 60, 10), Line(3, 10, 700, 60, 700)};
    Handle(vkBoardStrokes, BuildBoardStrokesBody(3, recs));
    const std::vector<uint8_t> jpeg = Jpeg(Solid(1200, 500, qRgb(0, 255, 0)));
    body.resize(4);
    res = Resource(int32_t(jpeg.size()));
    body.insert(body.end(), res.begin(), res.end());
    std::vector<uint8_t> cut = body;
    body.insert(body.end(), jpeg.begin(), jpeg.end());
    cut.insert(cut.end(), jpeg.begin(), jpeg.end() - 1);
    Handle(vkSlideToBoard, cut, 8);
    EXPECT_TRUE(room.updated.empty());
    Handle(vkSlideToBoard, body, 8);
    EXPECT_EQ(room.updated, std::vector<int32_t>{8});
    EXPECT_EQ(engine.BoardImage(3).size(), QSize(1200, 768));
    EXPECT_GE(qGreen(engine.BoardImage(3).pixel(30, 10)), 250);
    EXPECT_EQ(engine.BoardImage(3).pixel(30, 700), kW);  // painted white under the slide
}

TEST_F(MessagesTest, EmptyWholeBoardPostsOnlyTheEnd) {
    Handle(vkBoardContents, {});
    EXPECT_TRUE(room.progressSent.empty());
    EXPECT_EQ(room.progressPosted, (std::vector<std::pair<int32_t, int32_t>>{{1, 0}}));
    EXPECT_TRUE(engine.LayerMouseAttached());
}

TEST_F(MessagesTest, WholeBoardItemsUnknownSkippedAndBadLengthStops) {
    std::vector<uint8_t> body;
    const TStrokeRecord strokes[] = {Line(2, 10, 10, 60, 10), Line(4, 10, 20, 60, 20), Line(2, 10, 30, 60, 30)};
    std::vector<uint8_t> payload = BuildBoardStrokesBody(0, strokes);
    payload.erase(payload.begin(), payload.begin() + 4);
    Item(body, vkBoardStrokes, 2, payload);
    Item(body, 200, 2, std::vector<uint8_t>(37, 0xEE));  // unknown kind: skipped by its length
    Item(body, vkClearBoard, 3, {});
    std::vector<uint8_t> res = Resource(0);
    Item(body, vkOpenBoardImage, 4, res);
    TBoardTextObject t;
    t.board = 5;
    t.right = 300;
    t.bottom = 100;
    t.fontName = "DejaVu Sans";
    t.fontSize = 16;
    t.text = u"item";
    std::vector<uint8_t> text = BuildBoardTextBody(t);
    text.erase(text.begin(), text.begin() + 4);
    Item(body, vkBoardText, 5, text);
    const std::vector<uint8_t> jpeg = Jpeg(Solid(20, 20, qRgb(0, 0, 255)));
    TBoardImageInfo info;
    info.left = 1020;
    info.top = 5;
    std::vector<uint8_t> pic = BuildBoardImageBody(4, info, jpeg);
    pic.erase(pic.begin(), pic.begin() + 4);
    Item(body, vkBoardImage, 4, pic);
    Item(body, vkBoardStrokes, 0, payload);  // board 0: counted, not drawn
    Item(body, vkClearBoard, 2, {}, 1000);   // claims more than the body holds: the loop ends
    Item(body, vkBoardStrokes, 3, payload);

    engine.SelectBoard(1, false);
    Handle(vkBoardContents, body, 99);
    EXPECT_EQ(engine.CurrentBoard(), 1);
    EXPECT_EQ(engine.BoardImage(2).pixel(30, 10), qRgb(0, 0, 0));
    EXPECT_EQ(engine.BoardImage(2).pixel(30, 30), qRgb(0, 0, 0));
    EXPECT_TRUE(IsWhite(engine.BoardImage(3)));
    EXPECT_EQ(engine.BoardImage(4).size(), QSize(1040, 768));
    EXPECT_TRUE(IsWhite(engine.BoardImage(4).copy(0, 0, 1000, 768)));
    EXPECT_FALSE(IsWhite(engine.BoardImage(5)));
    EXPECT_EQ(room.downloads, (std::vector<std::pair<int, int32_t>>{{1, 4}}));
    const std::vector<std::pair<int32_t, int32_t>> progress = {{2, 1}, {2, 2}, {3, 3}, {4, 4},
                                                               {5, 5}, {4, 6}, {0, 7}, {2, 8}};
    EXPECT_EQ(room.progressSent, progress);
    // The item that failed is counted and named by the final notice.
    EXPECT_EQ(room.progressPosted, (std::vector<std::pair<int32_t, int32_t>>{{2, 0}}));
    EXPECT_TRUE(engine.LayerMouseAttached());
    EXPECT_TRUE(session.sent.empty());

    // A recording replays the same items without starting downloads.
    room.downloads.clear();
    messages.ReplayBoardContents(Header(vkBoardContents, 99), body);
    EXPECT_TRUE(room.downloads.empty());
    EXPECT_EQ(room.progressSent.size(), 2 * progress.size());
    room.playback = true;
    Handle(vkBoardContents, body, 99);
    EXPECT_TRUE(room.downloads.empty());
}

TEST_F(MessagesTest, ReceivedTextKeepsTheLocalPenBrushAndTool) {
    engine.SetTool(btRectangle);
    engine.SetBrushStyle(bsCross);
    engine.SetBrushColor(0x00112233);
    TBoardTextObject t;
    t.board = 1;
    t.right = 300;
    t.bottom = 100;
    t.fontName = "DejaVu Sans";
    t.fontSize = 14;
    t.fontColor = 0x00FF0000;
    t.text = u"kept";
    Handle(vkBoardText, BuildBoardTextBody(t));
    EXPECT_FALSE(IsWhite(engine.BoardImage(1)));
    EXPECT_EQ(engine.Tool(), btRectangle);
    EXPECT_EQ(engine.CurrentLayer().brushStyle, bsCross);
    EXPECT_EQ(engine.CurrentLayer().brushColor, 0x00112233u);
}

TEST_F(MessagesTest, RecordedFileDownloadsReplaceTheBoardOrLandInTheTempFolder) {
    const std::vector<uint8_t> jpeg = Jpeg(Solid(300, 200, qRgb(255, 0, 0)));
    std::vector<uint8_t> body = Resource(int32_t(jpeg.size()));
    body.insert(body.end(), jpeg.begin(), jpeg.end());
    TVCRHeader h = Header(vkDownloadBoardImage);
    engine.ReplayBoardFile(Header(vkDownloadBoardImage, 1, 3), body);  // a failed download
    EXPECT_TRUE(session.updates.empty());
    engine.ReplayBoardFile(h, std::vector<uint8_t>(body.begin(), body.end() - 1));  // cut short
    EXPECT_TRUE(session.updates.empty());
    engine.ReplayBoardFile(h, body);
    EXPECT_EQ(engine.BoardImage(1).size(), QSize(300, 200));
    EXPECT_GE(qRed(engine.BoardImage(1).pixel(150, 100)), 250);
    EXPECT_EQ(session.updates, std::vector<int32_t>{0});

    char folder[] = "/tmp/boardfileXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    session.temp = std::string(folder) + "/";
    engine.ReplayBoardFile(Header(vkDownloadDocument), body);
    int files = 0;
    std::vector<uint8_t> written;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        EXPECT_EQ(entry.path().extension(), ".jpg");
        std::ifstream in(entry.path(), std::ios::binary);
        written.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(written, jpeg);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(session.updates.size(), 2u);
}
