#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "launch/launch.h"

namespace fs = std::filesystem;
using namespace orb;

namespace {

struct Parsed {
    LaunchKind kind;
    std::string value;
    TLinkValues link;
};

Parsed Parse(std::string_view arg) {
    Parsed p{};
    p.kind = ParseLaunchArgument(arg, p.value, p.link);
    return p;
}

}  // namespace

TEST(LaunchArgument, JoinLinkFillsEveryValueAsWritten) {
    auto p = Parse("orb6join://rooms.example.org,9910,Anna Berg,pass word,12");
    EXPECT_EQ(p.kind, lkJoinLink);
    EXPECT_EQ(p.value, "rooms.example.org,9910,Anna Berg,pass word,12");
    EXPECT_EQ(p.link.server, "rooms.example.org");
    EXPECT_EQ(p.link.port, 9910);
    EXPECT_EQ(p.link.userName, "Anna Berg");
    EXPECT_EQ(p.link.password, "pass word");  // the blank stays
    EXPECT_EQ(p.link.roomNumber, 12);
    EXPECT_TRUE(p.link.recordingName.empty());

    // One slash, three slashes, trailing slashes and outer blanks all mean the same link.
    for (const char* form : {"ORB6JOIN:h,9910,u,p,12", "ORB6JOIN:/h,9910,u,p,12", "ORB6JOIN:///h,9910,u,p,12/",
                             "  Orb6Join://h,9910,u,p,12//  "}) {
        auto q = Parse(form);
        EXPECT_EQ(q.kind, lkJoinLink) << form;
        EXPECT_EQ(q.link.server, "h") << form;
        EXPECT_EQ(q.link.roomNumber, 12) << form;
    }
}

TEST(LaunchArgument, MalformedJoinLinksKeepTheKindButClearTheValues) {
    for (const char* form : {
             "ORB6JOIN://h,9910,u,p,0",        // room 0
             "ORB6JOIN://h,9910,u,p,twelve",   // room not a number
             "ORB6JOIN://h,9910,u,p,-3",       // negative room
             "ORB6JOIN://h,9910,u,p,40000",    // beyond a 16-bit room number
             "ORB6JOIN://h,9910,u,p",          // three commas
             "ORB6JOIN://h,9910,u,p,12,7",     // five commas
             "ORB6JOIN://h,0,u,p,12",          // port 0
             "ORB6JOIN://h,70000,u,p,12",      // port beyond 16 bits
             "ORB6JOIN://h,99999999999,u,p,12",// port beyond int
             "ORB6JOIN://h,port,u,p,12",       // port not a number
             "ORB6JOIN://  ,9910,u,p,12",      // blank server
             "ORB6JOIN://",                    // nothing at all
             "ORB6JOIN://,,,,",
         }) {
        auto p = Parse(form);
        EXPECT_EQ(p.kind, lkJoinLink) << form;
        EXPECT_TRUE(p.link.Cleared()) << form;
    }
}

TEST(LaunchArgument, PlayLinkAndRecordingAddress) {
    auto p = Parse("ORB6PLAY://srv,9910,u,p,4711");
    EXPECT_EQ(p.kind, lkPlayLink);
    EXPECT_EQ(p.link.server, "srv");
    EXPECT_EQ(p.link.recordingName, "4711");
    EXPECT_EQ(p.link.roomNumber, 0);

    auto empty = Parse("ORB6PLAY://srv,9910,u,p,");
    EXPECT_EQ(empty.kind, lkPlayLink);
    EXPECT_TRUE(empty.link.Cleared());

    auto url = Parse("orb6url://media.example.org/rec/s1.tm6");
    EXPECT_EQ(url.kind, lkRecordingUrl);
    EXPECT_EQ(url.value, "http://media.example.org/rec/s1.tm6");
    EXPECT_TRUE(url.link.Cleared());
}

TEST(LaunchArgument, NothingAndRecordingPaths) {
    EXPECT_EQ(Parse("").kind, lkNone);
    EXPECT_EQ(Parse(" \t ").kind, lkNone);

    auto path = Parse("/home/anna/rec/Lesson:1.OB6");
    EXPECT_EQ(path.kind, lkRecordingFile);
    EXPECT_EQ(path.value, "/home/anna/rec/Lesson:1.OB6");  // the ':' does not turn into a scheme

    EXPECT_EQ(NormalizeLinkScheme("C:\\rec\\a.ob6"), "C://\\rec\\a.ob6");
    EXPECT_EQ(NormalizeLinkScheme(" no-colon "), "no-colon");
}

TEST(LaunchArgument, ValuesLeftByAnEarlierLinkAreClearedFirst) {
    TLinkValues values;
    std::string value;
    ParseLaunchArgument("ORB6JOIN://h,1,u,p,5", value, values);
    ASSERT_EQ(values.roomNumber, 5);
    EXPECT_EQ(ParseLaunchArgument("ORB6URL://x/y.tm6", value, values), lkRecordingUrl);
    EXPECT_TRUE(values.Cleared());
}

TEST(CommandLine, PercentEncodedLinkIsDecodedBeforeClassification) {
    auto r = ClassifyCommandLine({"ORB6JOIN%3A%2F%2Fsrv%2C9910%2Cu%2Cp%20w+x%2C3"});
    EXPECT_EQ(r.kind, lkJoinLink);
    EXPECT_EQ(r.link.password, "p w+x");
    EXPECT_EQ(r.link.roomNumber, 3);

    // Link forms in any case are decoded; a recording path keeps its '%' as typed.
    struct Case {
        const char* arg;
        LaunchKind kind;
        const char* value;
    };
    for (const Case& c : {Case{"orb6play://h%2C1%2Cu%2Cp%2CRec%201", lkPlayLink, "h,1,u,p,Rec 1"},
                          Case{"Orb6Url://srv/a%20b.tm6", lkRecordingUrl, "http://srv/a b.tm6"},
                          Case{"ORB6JOIN%3a//h,1,u,p%25,4", lkJoinLink, "h,1,u,p%,4"},
                          Case{"/tmp/100%25 sure%41.ob6", lkRecordingFile, "/tmp/100%25 sure%41.ob6"},
                          Case{"C%3A%2Frec.ob6", lkRecordingFile, "C%3A%2Frec.ob6"}}) {
        auto got = ClassifyCommandLine({c.arg});
        EXPECT_EQ(got.kind, c.kind) << c.arg;
        EXPECT_EQ(got.value, c.value) << c.arg;
    }

    EXPECT_EQ(UrlDecode("%4"), "%4");
    EXPECT_EQ(UrlDecode("a%zz%41"), "a%zzA");
    EXPECT_EQ(UrlDecode("%00x").size(), 2u);
}

TEST(CommandLine, PlayCommandKeepsThePathAsTyped) {
    auto r = ClassifyCommandLine({"play", "/tmp/My%20Rec/lesson.ob6", "extra"});
    EXPECT_TRUE(r.playCommand);
    EXPECT_EQ(r.kind, lkRecordingFile);
    EXPECT_EQ(r.value, "/tmp/My%20Rec/lesson.ob6");

    EXPECT_EQ(ClassifyCommandLine({}).kind, lkNone);
    EXPECT_FALSE(ClassifyCommandLine({"/x.ob6"}).playCommand);

    // The data module switches to playback by the same rule, so the two never disagree: " PLAY"
    // is not the command but a (missing) recording path.
    auto padded = ClassifyCommandLine({" PLAY", "/tmp/a.ob6"});
    EXPECT_FALSE(padded.playCommand);
    EXPECT_EQ(padded.kind, lkRecordingFile);
    EXPECT_EQ(padded.value, "PLAY");
    EXPECT_EQ(IsPlayCommand({" PLAY", "/tmp/a.ob6"}), padded.playCommand);
    EXPECT_TRUE(IsPlayCommand({"Play"}));
}

TEST(RecordingFile, ExistenceAndExtension) {
    auto dir = fs::temp_directory_path() / ("orb_launch_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto good = dir / "Lesson.TM6";
    auto bad = dir / "lesson.wav";
    std::ofstream(good) << "x";
    std::ofstream(bad) << "x";

    EXPECT_EQ(CheckRecordingFile(good.string()), "");
    EXPECT_EQ(CheckRecordingFile(bad.string()),
              "The file/stream cannot be played with the current version.\r\nUnknown file extension (.wav).");
    EXPECT_EQ(CheckRecordingFile((dir / "gone.ob6").string()),
              "The file cannot be located.\r\n" + (dir / "gone.ob6").string());
    EXPECT_EQ(CheckRecordingFile(dir.string()).rfind("The file cannot be located.", 0), 0u);
    // An escaped NUL byte must not let an existing file stand in for a recording name.
    auto bad0 = ClassifyCommandLine({bad.string() + "%00.ob6"});
    ASSERT_EQ(bad0.kind, lkRecordingFile);
    EXPECT_EQ(CheckRecordingFile(bad0.value).rfind("The file cannot be located.", 0), 0u);
    fs::remove_all(dir);
}
