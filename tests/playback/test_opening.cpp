// Opening a recording: the checks and their messages, the wait for the session record, the room
// steps playback shares, the delayed start, and a play link streamed from the test room server.
#include <gtest/gtest.h>

#include <filesystem>

#include "loop/plain_event_loop.h"
#include "playback/playback.h"
#include "protocol/wm_app.h"
#include "roomserver/playback_service.h"
#include "test_support.h"

using namespace orb;
using namespace orb::playback;
using orb::test::TRecordingWriter;

namespace {

struct Opening {
    FakeClock clock;
    PlainEventLoop loop{clock};
    playtest::TempDir dir;
    playtest::TReplayLog log{clock};
    TTcpClient room;
    TPlayback p{loop, room, log};
    std::vector<std::string> steps;
    int quit = -100;

    Opening() {
        p.PlayerWindow = 700;
        auto note = [this](std::string s) { steps.push_back(std::move(s)); };
        auto& h = p.Hooks;
        h.ShowError = [note](const std::string& t) { note("error: " + t); };
        h.Quit = [this](int code) { quit = code; };
        h.ClearOwnRights = [note] { note("rights cleared"); };
        h.ProgressStep = [note](int n, const std::string& t) { note(std::to_string(n) + " " + t); };
        h.InitWhiteboards = [note] { note("boards"); };
        h.SetSessionRunning = [note](bool on) { note(on ? "running" : "not running"); };
        h.SetWindowTitle = [note](const std::string& t) { note("title " + t); };
        h.SetServerCaption = [note](const std::string& t) { note("server" + t); };
        h.SetRoomCaption = [note](const std::string& t) { note("room" + t); };
        h.HideProgress = [note] { note("progress hidden"); };
        h.ShowPlayer = [note](bool docked) { note(docked ? "player docked" : "player floating"); };
        h.SetPlayerStatus = [note](const std::string& t, uint32_t) { note("status " + t); };
        // The replay players, made once the recording's codec is known.
        struct Forward final : IReplayVoice {
            playtest::TReplayLog& log;
            explicit Forward(playtest::TReplayLog& l) : log(l) {}
            void PlayVoice(int32_t sender, std::span<const uint8_t> body) override { log.PlayVoice(sender, body); }
        };
        h.CreateVoice = [this](int32_t codec) -> std::unique_ptr<IReplayVoice> {
            codecs.push_back(codec);
            return std::make_unique<Forward>(log);
        };
    }
    std::vector<int32_t> codecs;
    // Lets `ms` pass on the clock, running the timers that come due.
    void Pass(int64_t ms) {
        for (int64_t t = 0; t < ms; t += 500) {
            clock.Advance(500);
            loop.ProcessPending();
        }
    }
};

TEST(Opening, FileChecksEndTheRunWithTheirMessage) {
    struct Case {
        std::string name;
        bool create;
        std::string error;
    } cases[] = {
        {"gone.ob6", false, "error: The file cannot be located.\r\n"},
        {"talk.mp3", true,
         "error: The file/stream cannot be played with the current version.\r\nUnknown file extension (.mp3)."},
        {"short.ob6", true, "error: Unable to play the resource. Please try again later."},  // under 740 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Opening o;
        const std::string path = o.dir.File(c.name);
        if (c.create) TRecordingWriter().Add(vkHeartBeat, 0).WriteFile(path, false);
        const bool opened = o.p.OpenRecordedSession(path);
        o.Pass(20000);
        ASSERT_FALSE(o.steps.empty());
        const std::string expected = c.create ? c.error : c.error + path;
        EXPECT_EQ(o.steps.back(), expected);
        EXPECT_EQ(o.quit, 0);
        EXPECT_EQ(opened, c.name == "short.ob6");  // that one fails after the checks
        EXPECT_EQ(o.p.PlayerThread(), nullptr);
    }
}

TEST(Opening, LocalFileSetsUpTheRoomAndStartsAfterThreeSeconds) {
    Opening o;
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, test::RoomEntryBody(2)).Add(vkTextMessage, 100, test::ChatBody(7, 3, u"hi"));
    const std::string path = o.dir.File("Lesson.OB6");  // the extension in capitals is accepted
    w.WriteFile(path, true);
    ASSERT_TRUE(o.p.OpenRecordedSession(path));
    const std::vector<std::string> expected = {
        "rights cleared", "4 Init whiteboards...", "boards", "5 Starting communication services...", "running",
        "title Playback mode", "server Server: Local", "room Room: Not selected", "progress hidden", "player floating"};
    EXPECT_EQ(o.steps, expected);
    EXPECT_EQ(o.p.SessionInfo().TotalSize(), int32_t(w.Bytes(true).size()));
    EXPECT_EQ(o.p.Shared().MessageCount(), 2u);
    o.Pass(2500);
    EXPECT_EQ(o.p.PlayerThread(), nullptr);
    o.Pass(500);
    ASSERT_NE(o.p.PlayerThread(), nullptr);
    EXPECT_EQ(o.steps.back(), "status PLAYING");
    ASSERT_TRUE(o.loop.RunUntil([&] { return o.log.Items().size() == 2; }));
    auto log = o.loop.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].msg, WM_APP_PLAYERDOWNLOAD);
    EXPECT_EQ(log[0].wParam, 0);
    EXPECT_EQ(log[0].lParam, 0);
}

TEST(Opening, StreamedFileGivesUpAfterFiveWaitsForItsHead) {
    Opening o;
    const std::string path = o.dir.File("growing.tm6");
    TRecordingWriter().WriteFile(path, false);
    ASSERT_TRUE(o.p.OpenRecordedSession(path, true));
    o.Pass(4 * TPlayback::kWaitStepMs);
    EXPECT_TRUE(o.steps.empty());
    o.Pass(TPlayback::kWaitStepMs);
    ASSERT_EQ(o.steps.size(), 1u);
    EXPECT_EQ(o.steps[0], "error: Unable to play the resource. Please try again later.");
}

TEST(Opening, WebAddressThatDoesNotAnswerEndsTheRun) {
    Opening o;
    EXPECT_FALSE(o.p.OpenRecordedSessionURL("http://127.0.0.1:1/rec/a.ob6", [](const std::string&) { return 404; }));
    ASSERT_EQ(o.steps.size(), 1u);
    EXPECT_EQ(o.steps[0], "error: The specified URL cannot be accessed.\r\nhttp://127.0.0.1:1/rec/a.ob6\r\n"
                          "This recorded session may no longer be available.");
    EXPECT_EQ(o.p.URLReader(), nullptr);
}

TEST(Opening, PlayLinkStreamsTheNamedRecordingOrIsRefused) {
    test::TRoomServer server;
    test::TPlaybackService service(server);
    service.AddRecording(12, test::DemoRecording());
    ASSERT_TRUE(server.Start());
    // The last case: the disk has less room than the recording announces.
    const std::pair<std::string, int64_t> cases[] = {{"12", -1}, {"13", -1}, {"twelve", -1}, {"12", 100}};
    for (const auto& [name, freeBytes] : cases) {
        SCOPED_TRACE(name + " " + std::to_string(freeBytes));
        Opening o;
        o.p.DownloadFolder = o.dir.Path().string() + "/";
        if (freeBytes >= 0) o.p.FreeSpace = [free = freeBytes](const std::string&) { return free; };
        ASSERT_TRUE(o.room.Connect("127.0.0.1", server.Port(), 5000));
        o.p.PlayRecordedFile();
        ASSERT_NE(o.p.SessionReader(), nullptr);
        const std::string download = o.p.DownloadFile();
        EXPECT_EQ(download.rfind(o.p.DownloadFolder, 0), 0u) << download;
        const bool ok = o.p.PlayLinkSession(name);
        EXPECT_EQ(ok, name == "12" && freeBytes < 0);
        if (!ok) {
            if (freeBytes >= 0) {
                ASSERT_EQ(o.steps.size(), 1u);
                EXPECT_EQ(o.steps[0].rfind("error: There is not enough free disk space to download this recorded "
                                           "session.\r\nIt needs 1 MB; ", 0), 0u) << o.steps[0];
                EXPECT_FALSE(std::filesystem::exists(download));
            }
            continue;
        }
        EXPECT_TRUE(std::filesystem::exists(download));
        EXPECT_EQ(o.steps, (std::vector<std::string>{"progress hidden", "player docked"}));
        ASSERT_TRUE(o.loop.RunUntil([&] { return o.p.SessionReader()->Finished(); }));
        o.Pass(TPlayback::kPlayLinkDelayMs);
        EXPECT_EQ(o.steps.back(), "status PLAYING");
        ASSERT_TRUE(o.loop.RunUntil([&] { return o.p.PlayerThread()->Finished(); }, 10000));
        EXPECT_EQ(o.log.Items().size() + o.log.Voice().size(), test::DemoRecording().Count());
        EXPECT_EQ(o.codecs, (std::vector<int32_t>{2}));
        o.p.StopPlayback();
        EXPECT_FALSE(o.room.Connected());
        EXPECT_EQ(o.p.SessionReader(), nullptr);
        EXPECT_FALSE(std::filesystem::exists(download)) << "the download outlived the player";
    }
}

}  // namespace
