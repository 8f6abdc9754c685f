// Library rows, list replies from a hostile server, addresses, local names and the slide show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "libraries/browser_rules.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "libraries/slide_show.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

using namespace orb;
namespace fs = std::filesystem;

namespace {

// One 773-byte record written from the record's table by hand.
std::vector<uint8_t> Record(const std::string& name, int32_t size, const std::string& ext, int32_t number = 0,
                            uint8_t nameLength = 0xFF) {
    std::vector<uint8_t> r(773, 0);
    r[4] = nameLength == 0xFF ? uint8_t(name.size()) : nameLength;
    std::copy(name.begin(), name.end(), r.begin() + 5);
    StoreU32(r.data() + 406, uint32_t(size));
    r[410] = uint8_t(ext.size());
    std::copy(ext.begin(), ext.end(), r.begin() + 411);
    StoreU32(r.data() + 769, uint32_t(number));
    return r;
}

std::vector<uint8_t> CountBlock(int32_t n) {
    std::vector<uint8_t> b(773, 0);
    StoreU32(b.data(), uint32_t(n));
    return b;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace

TEST(LibraryRows, SizeTextsAndImages) {
    struct Case {
        int64_t bytes;
        const char* text;
    } cases[] = {{1536, "2 KB"}, {511, "0 KB"}, {512, "0 KB"}, {2560, "2 KB"}, {3584, "4 KB"},
                 {513, "1 KB"},  {0, "0 KB"},   {-5, "0 KB"},  {1024, "1 KB"}};
    for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(ExtToImageIndex(".jpg"), 1);
    EXPECT_EQ(ExtToImageIndex(".Pdf"), 29);
    EXPECT_EQ(ExtToImageIndex(".divx"), 6);
    EXPECT_EQ(ExtToImageIndex("PDF"), 5);
    EXPECT_EQ(ExtToImageIndex(""), 5);
    EXPECT_EQ(DateTimeText(0), "");
    EXPECT_EQ(DateTimeText(39873.5), "2009-03-01 12:00:00");
}

TEST(LibraryRows, HostileListReplies) {
    std::vector<TResourceInfo> out;
    // A lying count: 1000 announced, two records follow.
    std::vector<uint8_t> body = CountBlock(1000);
    Append(body, Record("a.doc", 1536, ".doc"));
    Append(body, Record("b.pdf", 10, ".pdf"));
    body.resize(body.size() + 772);  // a third record cut short is not read
    ASSERT_TRUE(ParseResourceList(vkDocumentList, body, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].fileName, "b.pdf");

    // Negative counts and a missing count block.
    body = CountBlock(-7);
    Append(body, Record("x", 1, ".x"));
    ASSERT_TRUE(ParseResourceList(vkPresentationList, body, out));
    EXPECT_TRUE(out.empty());
    out.push_back({});
    EXPECT_FALSE(ParseResourceList(vkDocumentList, std::vector<uint8_t>(100), out));
    EXPECT_TRUE(out.empty());

    // Web links: a bare count; four bytes of 0 are a whole empty list, nothing at all is no list.
    out.push_back({});
    EXPECT_FALSE(ParseResourceList(vkWebLinkList, {}, out));
    EXPECT_EQ(out.size(), 1u);
    ASSERT_TRUE(ParseResourceList(vkWebLinkList, std::vector<uint8_t>(4, 0), out));
    EXPECT_TRUE(out.empty());

    // Length bytes of 255 are held to the field, and names with control bytes become one row.
    std::vector<uint8_t> links(4, 0);
    StoreU32(links.data(), 1);
    std::string hostile(200, 'n');
    hostile[3] = '\n';
    hostile[4] = char(0xE9);  // not UTF-8: read as Windows-1252
    Append(links, Record(hostile, 0, std::string(20, '.'), 0, 255));
    links[4 + 410] = 255;
    ASSERT_TRUE(ParseResourceList(vkWebLinkList, links, out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].fileName.size(), 200u);
    EXPECT_EQ(out[0].extension.size(), 20u);
    const TResourceRow row = ResourceRow(vkWebLinkList, out[0]);
    ASSERT_EQ(row.columns.size(), 4u);
    EXPECT_EQ(row.columns[3].substr(0, 6), "nnn \xC3\xA9");
}

TEST(LibraryRows, RowColumnsPerList) {
    TResourceInfo r;
    r.fileName = "deck.ppt";
    r.fileSize = 2560;
    r.extension = ".PPT";
    r.description = "Week 1";
    r.ownerName = "Jos\xE9";  // Windows-1252
    r.number = 12;
    EXPECT_EQ(ResourceRow(vkDocumentList, r).columns,
              (std::vector<std::string>{"deck.ppt", "2 KB", "Jos\xC3\xA9", "", "Week 1"}));
    EXPECT_EQ(ResourceRow(vkDocumentList, r).image, 16);
    EXPECT_EQ(ResourceRow(vkPresentationList, r).columns[1], "12");
    EXPECT_EQ(ResourceRow(vkBoardImageList, r).image, 15);
    EXPECT_EQ(ResourceRow(vkWebLinkList, r).columns[0], "Week 1");
}

TEST(LibraryAddresses, OnlyWebPagesAndFieldSizedAddresses) {
    struct Case {
        const char* address;
        bool allowed;
    } cases[] = {
        {"http://example.org/", true},   {"HTTPS://Example.org/a?b", true}, {"about:blank", true},
        {"  http://a.b  ", true},        {"file:///etc/passwd", false},     {"javascript:alert(1)", false},
        {"about:config", false},         {"http://", false},                {"http:///x", false},
        {"data:text/html,hi", false},    {"http://a b", false},             {"ftp://x", false},
        {"http://a\nb", false},          {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsAllowedPageAddress(c.address), c.allowed) << c.address;

    std::string error;
    const std::string longUrl = "http://example.org/" + std::string(182, 'a');  // 201 bytes
    EXPECT_FALSE(WebLinkRecord(longUrl, "c", "me", &error));
    EXPECT_EQ(error, kAddressTooLongText);
    EXPECT_TRUE(WebLinkRecord(longUrl.substr(0, 200), "c", "me"));
    EXPECT_FALSE(WebLinkRecord("   ", "c", "me", &error));
    EXPECT_EQ(error, kEmptyAddressText);
    EXPECT_FALSE(WebLinkRecord("file:///x", "c", "me", &error));
    EXPECT_EQ(error, kAddressNotAllowedText);

    auto r = WebLinkRecord(" http://x.org ", "  my comment ", " Jos\xC3\xA9 \xE2\x82\xAC\xE4\xB8\x80 ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->fileName, "http://x.org");
    EXPECT_EQ(r->localPath, "http://x.org");
    EXPECT_EQ(r->extension, "WWW");
    EXPECT_EQ(r->description, "my comment");
    // Converted once: é and the euro sign have code page bytes, the CJK character does not.
    EXPECT_EQ(r->ownerName, "Jos\xE9 \x80?");
}

TEST(LibraryFiles, CleanNamesUniquePathsAndExecutables) {
    const fs::path dir = fs::temp_directory_path() / ("orb-lib-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_EQ(CleanExtension(".pdf"), ".pdf");
    EXPECT_EQ(CleanExtension("report.tar.gz"), ".gz");
    EXPECT_EQ(CleanExtension(".toolongext"), "");
    EXPECT_EQ(CleanExtension("./../x"), "");
    EXPECT_EQ(CleanExtension(".p df"), "");
    EXPECT_EQ(CleanExtension(".sh;rm"), "");

    const fs::path a = UniqueLocalPath(dir, "../../etc/passwd", ".txt");
    EXPECT_EQ(a, dir / "passwd.txt");
    EXPECT_EQ(UniqueLocalPath(dir, "..", "../.."), dir / "file");
    EXPECT_EQ(UniqueLocalPath(dir, "report.PDF", ".pdf"), dir / "report.pdf");
    EXPECT_EQ(UniqueLocalPath(dir, "$(x);`y`", ".doc"), dir / "_(x)__y_.doc");
    std::ofstream(a) << "keep";
    EXPECT_EQ(UniqueLocalPath(dir, "passwd", ".txt"), dir / "passwd (2).txt");

    EXPECT_TRUE(IsExecutableType(dir / "setup.EXE"));
    EXPECT_TRUE(IsExecutableType(dir / "x.desktop"));
    EXPECT_TRUE(IsExecutableType(dir / "run.sh"));
    EXPECT_FALSE(IsExecutableType(a));
    fs::permissions(a, fs::perms::owner_exec, fs::perm_options::add);
    EXPECT_TRUE(IsExecutableType(a));
    fs::remove_all(dir);
}

TEST(SlideShow, MovesStayWithinTheSlides) {
    TResourceInfo deck;
    deck.fileName = "deck.ppt";
    deck.number = 3;
    TSlideShow s;
    EXPECT_FALSE(s.Next());
    s.Start(deck);
    EXPECT_EQ(s.slide, 1);
    EXPECT_TRUE(s.Previous());
    EXPECT_EQ(s.slide, 1);
    EXPECT_TRUE(s.Last());
    EXPECT_TRUE(s.Next());  // the last slide is sent again
    EXPECT_EQ(s.slide, 3);
    s.slide = 7;
    EXPECT_TRUE(s.Repeat());
    EXPECT_EQ(s.slide, 3);
    deck.number = 0x7fffffff;
    s.Start(deck);
    EXPECT_EQ(s.count, kMaxSlideCount);
    deck.number = -4;
    s.Start(deck);
    EXPECT_EQ(s.count, 0);
    EXPECT_FALSE(s.Repeat());
    const TResourceInfo slide = SlideRecord(deck, 2);
    EXPECT_EQ(slide.fileName, "Slide_2.JPG");
    EXPECT_EQ(slide.extension, ".JPG");
}

TEST(SlideShow, EnablingTable) {
    TResourceInfo deck;
    deck.number = 3;
    TSlideShow show;
    show.Start(deck);
    struct Case {
        int32_t slide, level, level2, board;
        bool selected, right;
        // open, first/prev, next/last, repeat, delete, jump
        bool open, back, forward, repeat, remove, jump;
    } cases[] = {
        {1, 1000, 0, 1, true, false, true, false, false, false, true, false},  // no board right: no slides
        {2, 1000, 0, 1, true, true, true, true, true, true, true, true},
        {3, 1000, 0, 1, true, true, true, true, false, true, true, true},
        {2, 0, 1000, 1, true, false, true, false, false, false, false, false},  // presenter, no board right
        {2, 0, 0, 1, true, false, false, false, false, false, false, false},    // participant on a shared board
        {2, 0, 0, 0, true, false, true, true, true, true, false, true},         // participant on the private board
        {2, 0, 0, 1, true, true, true, true, true, true, false, true},          // participant with the board right
        {2, 1000, 0, 1, false, true, false, true, true, true, false, true},
    };
    for (const Case& c : cases) {
        show.slide = c.slide;
        TSlideRights r{c.selected, c.level, c.level2, c.board, c.right};
        const TPresentationActions a = PresentationActions(show, r);
        SCOPED_TRACE(testing::Message() << "slide " << c.slide << " level " << c.level << "/" << c.level2);
        EXPECT_EQ(a.open, c.open);
        EXPECT_EQ(a.first, c.back);
        EXPECT_EQ(a.previous, c.back);
        EXPECT_EQ(a.next, c.forward);
        EXPECT_EQ(a.last, c.forward);
        EXPECT_EQ(a.repeat, c.repeat);
        EXPECT_EQ(a.remove, c.remove);
        EXPECT_EQ(a.jump, c.jump);
        EXPECT_EQ(a.jumpCaption, c.jump ? std::to_string(c.slide) : "");
    }
}

TEST(GuidedBrowser, NavigationDecisions) {
    constexpr int32_t me = 7;
    struct Case {
        bool mainFrame;
        const char* url;
        bool form;
        int32_t pusher, level;
        bool accept, broadcast, message;
    } cases[] = {
        {true, "http://e.org/a", false, me, 1000, true, true, false},     // the moderator's own page
        {true, "http://e.org/a", true, me, 1000, true, false, true},      // a form: kept local, told why
        {false, "http://ads.e.org/", false, me, 1000, true, false, false},  // a frame inside the page
        {true, "http://e.org/a", false, 40, 1000, true, false, false},    // a page someone else pushed
        {true, "http://e.org/a", false, me, 999, true, false, false},     // a participant's own clicks
        {true, "file:///etc/passwd", false, me, 1000, false, false, false},
        {true, "javascript:alert(1)", false, 40, 0, false, false, false},
        {true, "about:blank", false, me, 1000, true, true, false},
    };
    for (const Case& c : cases) {
        const TNavigationDecision d = DecideNavigation(c.mainFrame, c.url, c.form, c.pusher, me, c.level);
        EXPECT_EQ(d.accept, c.accept) << c.url;
        EXPECT_EQ(d.broadcast, c.broadcast) << c.url;
        EXPECT_EQ(!d.message.empty(), c.message) << c.url;
    }
    const std::string longUrl = "http://e.org/" + std::string(200, 'x');
    const TNavigationDecision d = DecideNavigation(true, longUrl, false, me, me, 1000);
    EXPECT_TRUE(d.accept);
    EXPECT_FALSE(d.broadcast);
    EXPECT_EQ(d.message, kAddressTooLongText);
}
