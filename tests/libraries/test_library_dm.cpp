// The data module's library handlers and senders over a room connection on loopback.
#include <gtest/gtest.h>

#include <filesystem>

#include "dm/dm.h"
#include "libraries/library_records.h"
#include "loop/plain_event_loop.h"
#include "loopback_pair.h"
#include "protocol/wm_app.h"
#include "wire/bytes.h"

using namespace orb;

namespace {

constexpr WindowHandle kMainWindow = 700;
constexpr WindowHandle kLinksWindow = 701;
constexpr int32_t kModerator = 40;
constexpr int32_t kStudent = 41;

struct FakeView : ILibraryView {
    std::vector<uint16_t> lists;
    std::vector<int> views;
    std::vector<std::tuple<std::string, int32_t, int32_t>> pages;
    std::vector<std::pair<std::string, TPushedDocument>> asked;
    std::vector<std::string> errors;
    bool answer = false;
    void ListChanged(uint16_t kind) override { lists.push_back(kind); }
    void ShowMainView(int view) override { views.push_back(view); }
    void OpenPage(const std::string& a, int32_t who, int32_t value, const std::string&) override {
        pages.emplace_back(a, who, value);
    }
    void AskOpenDocument(const std::string& q, const TPushedDocument& d) override { asked.emplace_back(q, d); }
    bool Confirm(const std::string&) override { return answer; }
    void ShowError(const std::string& t) override { errors.push_back(t); }
};

struct LibraryDm : ::testing::Test {
    LoopbackPair pair;
    PlainEventLoop loop;
    TDM dm{loop, kMainWindow};
    FakeView view;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("orb-libdm-" + std::to_string(getpid()));

    void SetUp() override {
        ASSERT_TRUE(pair.Open(dm.vcrClient));
        dm.StartWriterThread(1 << 20);
        dm.OwnLoginInfo.SetUserId(7);
        dm.LibraryView = &view;
        dm.Libraries.webLinksWindow = kLinksWindow;
        dm.Libraries.DownloadFolder = folder;
        std::filesystem::create_directories(folder);
        dm.Participants.AddUser(kModerator, "Teacher").level = 1000;
        dm.Participants.AddUser(kStudent, "Pupil").level = 0;
    }
    void TearDown() override {
        dm.StopWriterThread();
        std::filesystem::remove_all(folder);
    }
    void Dispatch(uint16_t kind, const std::vector<uint8_t>& body, int32_t sender = 0, uint16_t result = 0) {
        TVCRHeader h;
        h.kind = kind;
        h.sender = sender;
        h.result = result;
        h.bodyLength = int32_t(body.size());
        dm.DispatchCommand(h, BuildPacketStream(h, body.data(), body.size()));
    }
    static std::vector<uint8_t> Push(const std::string& name, const std::string& ext, int32_t board = 2) {
        std::vector<uint8_t> b(4 + 773, 0);
        StoreU32(b.data(), uint32_t(board));
        b[4 + 4] = uint8_t(name.size());
        std::copy(name.begin(), name.end(), b.begin() + 9);
        b[4 + 410] = uint8_t(ext.size());
        std::copy(ext.begin(), ext.end(), b.begin() + 4 + 411);
        return b;
    }
    std::pair<TVCRHeader, std::vector<uint8_t>> Receive() { return pair.Receive(); }
};

}  // namespace

TEST_F(LibraryDm, GuidedTourFollowsModeratorsToWebPagesOnly) {
    Dispatch(vkOpenWebLink, Push("http://127.0.0.1/a.html", "WWW"), kModerator);
    Dispatch(vkOpenWebLink, Push("http://127.0.0.1/b.html", "WWW"), kStudent);
    Dispatch(vkOpenWebLink, Push("file:///etc/passwd", "WWW"), kModerator);
    Dispatch(vkOpenWebLink, Push("javascript:alert(1)", "WWW"), kModerator);
    Dispatch(vkOpenWebLink, Push("http://x/", "WWW"), 999);  // nobody in the room
    ASSERT_EQ(view.pages.size(), 1u);
    EXPECT_EQ(view.pages[0], std::make_tuple(std::string("http://127.0.0.1/a.html"), kModerator, 2));
    EXPECT_EQ(view.views, std::vector<int>{1});

    std::vector<uint8_t> one(4, 0);
    one[0] = 1;
    Dispatch(vkViewMode, one, kStudent);
    Dispatch(vkViewMode, {9, 0, 0, 0}, kModerator);
    Dispatch(vkViewMode, {0, 0, 0, 0}, kModerator);
    Dispatch(vkViewModeQuery, one, 0);
    EXPECT_EQ(view.views, (std::vector<int>{1, 0, 1}));

    // The current page on entry: blanks and other schemes are left alone.
    std::vector<uint8_t> page(251, ' ');
    page[0] = 250;
    Dispatch(vkWebPage, page);
    const std::string js = "javascript:x";
    page[0] = uint8_t(js.size());
    std::copy(js.begin(), js.end(), page.begin() + 1);
    Dispatch(vkWebPage, page);
    const std::string ok = " https://e.org/ ";
    page[0] = uint8_t(ok.size());
    std::copy(ok.begin(), ok.end(), page.begin() + 1);
    Dispatch(vkWebPage, page);
    ASSERT_EQ(view.pages.size(), 2u);
    EXPECT_EQ(view.pages[1], std::make_tuple(std::string("https://e.org/"), 0, 2));
}

TEST_F(LibraryDm, ListsRepliesAndPosts) {
    std::vector<uint8_t> body(773, 0);
    StoreU32(body.data(), 50);  // a lying count with one record behind it
    const auto rec = Push("a.pdf", ".pdf");
    body.insert(body.end(), rec.begin() + 4, rec.end());
    Dispatch(vkDocumentList, body);
    EXPECT_EQ(dm.Libraries.documents.size(), 1u);
    Dispatch(vkPresentationList, std::vector<uint8_t>(10, 0));
    EXPECT_TRUE(dm.Libraries.presentations.empty());
    EXPECT_EQ(view.lists, (std::vector<uint16_t>{vkDocumentList, vkPresentationList}));

    Dispatch(vkAddWebLink, {}, 0, 5);
    Dispatch(vkDeletePresentation, {}, 0, 3);
    Dispatch(vkBrowserClosed, {}, kModerator);
    loop.ProcessPending();
    auto log = loop.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].target, kLinksWindow);
    EXPECT_EQ(log[0].msg, WM_APP_WEBLINKADDED);
    EXPECT_EQ(log[0].wParam, 5);
    EXPECT_EQ(log[1].target, kMainWindow);
    EXPECT_EQ(log[1].msg, WM_APP_RESOURCEREMOVED);
    EXPECT_EQ(log[1].wParam, 3);
    EXPECT_EQ(log[2].msg, WM_APP_SHOWBOARD);
    EXPECT_EQ(log[2].wParam, kModerator);
}

TEST_F(LibraryDm, PushedDocumentIsAskedAboutAndStoredUnderACleanName) {
    Dispatch(vkOpenDocument, Push("../../evil name.sh;rm -rf", ".sh;rm -rf"), kStudent);
    Dispatch(vkOpenDocument, Push("notes.txt", ".txt"), 999);  // not in the room: not asked
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].first,
              "Pupil requests you to open the following file:\r\n../../evil name.sh;rm -rf\r\nDo you want to "
              "download and open this document?");
    const std::filesystem::path p = view.asked[0].second.localPath;
    EXPECT_EQ(p.parent_path(), folder);
    EXPECT_EQ(p.extension(), "");  // the hostile extension is dropped
    EXPECT_EQ(view.asked[0].second.sender, kStudent);
}

TEST_F(LibraryDm, SendersWriteTheRecordsAndRefuseBadInput) {
    dm.OwnLoginInfo.SetLevel(1000);
    std::string error;
    EXPECT_FALSE(dm.SendAddWebLink("c", "http://e.org/" + std::string(190, 'x'), &error));
    EXPECT_EQ(error, kAddressTooLongText);
    ASSERT_TRUE(dm.SendAddWebLink(" Docs ", " http://e.org/ "));
    auto [h, b] = Receive();
    EXPECT_EQ(h.kind, vkAddWebLink);
    ASSERT_EQ(b.size(), 773u);
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 18), std::string("\x0dhttp://e.org/"));
    EXPECT_EQ(std::string(b.begin() + 205, b.begin() + 219), std::string("\x0dhttp://e.org/"));
    EXPECT_EQ(std::string(b.begin() + 410, b.begin() + 414), std::string("\x03WWW"));
    EXPECT_EQ(std::string(b.begin() + 431, b.begin() + 436), std::string("\x04" "Docs"));
    EXPECT_EQ(LoadU32(b.data() + 406), 0u);
    EXPECT_EQ(LoadU32(b.data() + 769), 0u);

    TResourceInfo r;
    r.fileName = "x.doc";
    EXPECT_FALSE(dm.SendDeleteResource(rtDocument, r));  // not confirmed
    view.answer = true;
    EXPECT_FALSE(dm.SendDeleteResource(3, r));
    ASSERT_TRUE(dm.SendDeleteResource(rtPresentation, r));
    dm.CurrentBoard = 4;
    // The acknowledgements of the last push go from the rows.
    TParticipantRow& acked = dm.Participants.AddUser(kStudent, "Pupil");
    dm.Participants.SetStatusIcon(acked, kIconAcknowledged);
    ASSERT_TRUE(dm.SendOpenResource(r, rtDocument));
    EXPECT_EQ(acked.statusIcon, -1);
    ASSERT_TRUE(dm.SendViewMode(1));
    auto del = Receive();
    EXPECT_EQ(del.first.kind, vkDeletePresentation);
    EXPECT_EQ(del.second.size(), 773u);
    auto open = Receive();
    EXPECT_EQ(open.first.kind, vkOpenDocument);
    EXPECT_EQ(open.first.bodyLength, 777);
    EXPECT_EQ(LoadU32(open.second.data()), 4u);
    EXPECT_EQ(open.second[8], 5);  // the name's length byte
    auto mode = Receive();
    EXPECT_EQ(mode.first.kind, vkViewMode);
    EXPECT_EQ(LoadU32(mode.second.data()), 1u);

    dm.OwnLoginInfo.SetLevel(0);
    EXPECT_FALSE(dm.SendViewMode(0));
    dm.OpenWebPage("file:///etc/passwd", 7, 2, "");
    EXPECT_EQ(view.errors, std::vector<std::string>{kAddressNotAllowedText});
    EXPECT_TRUE(view.pages.empty());
}
