// Downloads of a recording: streamed from the test room server (kinds 83 and 84) and fetched from a
// local HTTP server, each while the replay reads the growing file.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <thread>

#include "loop/plain_event_loop.h"
#include "net/tcp_listener.h"
#include "playback/playback.h"
#include "protocol/date_time.h"
#include "protocol/wm_app.h"
#include "roomserver/playback_service.h"
#include "test_support.h"

using namespace orb;
using namespace orb::playback;
using orb::test::TRecordingWriter;

namespace {

constexpr WindowHandle kPlayer = 700;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<PostedMessage> Posts(PlainEventLoop& loop, uint32_t msg) {
    std::vector<PostedMessage> out;
    for (auto& m : loop.Log())
        if (m.msg == msg) out.push_back(m);
    return out;
}

TEST(SessionReader, StreamsWholeCutOffAndRefusedRecordings) {
    test::TRoomServer server;
    test::TPlaybackService service(server);
    TRecordingWriter three;
    three.Add(vkEnterRoom, 0, test::RoomEntryBody(2)).Add(vkHeartBeat, 10).Add(vkTextMessage, 20,
                                                                                 test::ChatBody(7, 3, u"x"));
    service.AddRecording(1, three);
    service.AddRecording(2, test::DemoRecording(), 3);
    ASSERT_TRUE(server.Start());
    playtest::TempDir dir;

    struct Case {
        int32_t id;
        int result;
        std::vector<uint8_t> file;
        bool endNotice;
        int64_t maxBytes = int64_t(512) << 20;  // a cap below the total stops the stream there
    };
    const auto demo = test::DemoRecording();
    std::vector<uint8_t> firstThree;
    for (int i = 0; i < 3; ++i) firstThree.insert(firstThree.end(), demo.Each()[size_t(i)].begin(), demo.Each()[size_t(i)].end());
    std::vector<uint8_t> firstTwo(three.Each()[0]);
    firstTwo.insert(firstTwo.end(), three.Each()[1].begin(), three.Each()[1].end());
    const Case cases[] = {{1, 0, three.Messages(), true},
                          {2, 0, firstThree, false},
                          {99, 38, {}, false},
                          {1, 0, firstTwo, false, int64_t(firstTwo.size()) + 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        PlainEventLoop loop;
        TTcpClient conn;
        ASSERT_TRUE(conn.Connect("127.0.0.1", server.Port(), 5000));
        TSessionInfoRec info;
        ASSERT_EQ(OpenSession(conn, c.id, NowDateTime(), info), c.result);
        if (c.result != 0) {
            EXPECT_EQ(info.TotalSize(), 0);
            continue;
        }
        EXPECT_EQ(info.SessionId(), c.id);
        TPlaybackShared shared;
        shared.SetTotalSize(info.TotalSize());
        TSessionReaderThread reader(loop, conn, dir.File("s" + std::to_string(c.id) + "-" + std::to_string(c.maxBytes) + ".tm6"),
                                    kPlayer, shared);
        reader.MaxBytes = c.maxBytes;
        reader.Resume();
        ASSERT_TRUE(loop.RunUntil([&] { return reader.Finished(); }));
        reader.WaitFor();
        loop.ProcessPending();  // the notices posted before the thread finished
        // Only whole messages, no session record in front.
        EXPECT_EQ(ReadFile(reader.FileName()), c.file);
        EXPECT_TRUE(shared.Complete());
        EXPECT_EQ(shared.GetAvailableBytes(), int64_t(c.file.size()));
        const bool capped = c.maxBytes < info.TotalSize();
        EXPECT_EQ(reader.Capped(), capped);
        auto cappedNotices = Posts(loop, WM_APP_PLAYERDOWNLOADCAPPED);
        ASSERT_EQ(cappedNotices.size(), capped ? 1u : 0u);
        if (capped) {
            EXPECT_EQ(cappedNotices[0].wParam, c.maxBytes);
        }
        auto notices = Posts(loop, WM_APP_PLAYERDOWNLOAD);
        ASSERT_EQ(notices.size(), 3u + (c.endNotice ? 1 : 0));
        EXPECT_EQ(notices[0].lParam, std::intptr_t(c.id == 1 ? three.Each()[0].size() : demo.Each()[0].size()));
        if (c.endNotice) {
            EXPECT_EQ(notices.back().wParam, info.TotalSize());
            EXPECT_EQ(notices.back().lParam, info.TotalSize());
            EXPECT_EQ(info.TotalSize(), int32_t(740 + three.Messages().size()));
        }
    }
}

TEST(SessionReader, TakesTheSessionRecordOnlyAtItsExactSize) {
    for (size_t size : {739u, 741u, 0u}) {
        SCOPED_TRACE(size);
        test::TRoomServer server;
        server.OnKind(vkOpenSession, [size](test::TRoomServer& s, test::TRoomConnection& c, const TVCRHeader&,
                                            std::span<const uint8_t>) {
            std::vector<uint8_t> body(size, 0x11);
            s.Send(c.id, vkOpenSession, body);
        });
        ASSERT_TRUE(server.Start());
        TTcpClient conn;
        ASSERT_TRUE(conn.Connect("127.0.0.1", server.Port(), 5000));
        TSessionInfoRec info;
        info.SetTotalSize(5);
        const int r = OpenSession(conn, 4, NowDateTime(), info);
        EXPECT_EQ(info.TotalSize(), 5);  // untouched
        EXPECT_EQ(r, size == 0 ? 0 : -1);
        EXPECT_EQ(conn.Connected(), size == 0);
    }
}

// Serves one file over HTTP/1.1 in two parts; the second part waits for Release().
class TwoPartHttpServer {
public:
    TwoPartHttpServer(std::vector<uint8_t> body, size_t firstPart) : body_(std::move(body)), first_(firstPart) {
        listener_.Listen("127.0.0.1", 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TwoPartHttpServer() {
        Release();
        listener_.Close();
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(listener_.Port()) + "/rec/a.ob6"; }
    void Release() {
        std::lock_guard<std::mutex> lock(mu_);
        released_ = true;
        cv_.notify_all();
    }

private:
    void Serve() {
        int fd = listener_.Accept(10000);
        if (fd < 0) return;
        TTcpClient c;
        c.Adopt(fd);
        std::string request;
        char ch;
        while (request.find("\r\n\r\n") == std::string::npos && c.ReadExact(&ch, 1)) request += ch;
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                                 "\r\nConnection: close\r\n\r\n";
        c.WriteAll(head.data(), head.size());
        c.WriteAll(body_.data(), first_);
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait(lock, [&] { return released_; });
        c.WriteAll(body_.data() + first_, body_.size() - first_);
        c.Disconnect();
    }
    std::vector<uint8_t> body_;
    size_t first_;
    TTcpListener listener_;
    std::mutex mu_;
    std::condition_variable cv_;
    bool released_ = false;
    std::thread thread_;
};

TEST(SessionURLReader, ReplayBuffersWhileTheDownloadLagsThenPlaysOn) {
    const auto demo = test::DemoRecording();
    const auto bytes = demo.Bytes(true);
    // The head, the room entry and half of the strokes message come first.
    const size_t first = 740 + demo.Each()[0].size() + demo.Each()[1].size() / 2;
    TwoPartHttpServer http(bytes, first);
    FakeClock clock;
    PlainEventLoop loop(clock);
    playtest::TempDir dir;
    playtest::TReplayLog log(clock);
    TPlaybackShared shared;
    shared.SetTotalSize(int32_t(bytes.size()));
    TSessionURLReaderThread download(loop, http.Url(), dir.File("u.tm6"), kPlayer, shared);
    ASSERT_TRUE(download.FileCreated());
    download.Resume();
    ASSERT_TRUE(loop.RunUntil([&] { return shared.GetAvailableBytes() >= int64_t(first); }));
    TPlayerThreadConfig c;
    c.fileName = dir.File("u.tm6");
    c.playerWindow = kPlayer;
    TPlayerThread player(loop, c, shared, log, &log);
    player.Resume();
    ASSERT_TRUE(loop.RunUntil([&] { return !Posts(loop, WM_APP_PLAYERBUFFERING).empty(); }));
    EXPECT_EQ(log.Items().size(), 1u);
    http.Release();
    // The player may reach the end before the download has closed its transfer.
    ASSERT_TRUE(loop.RunUntil([&] { return player.Finished() && download.Finished(); }, 20000));
    download.WaitFor();
    loop.ProcessPending();
    EXPECT_EQ(ReadFile(dir.File("u.tm6")), bytes);
    EXPECT_EQ(download.HttpStatus(), 200);
    EXPECT_EQ(log.Items().size() + log.Voice().size(), demo.Count());
    auto notices = Posts(loop, WM_APP_PLAYERDOWNLOAD);
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back().wParam, notices.back().lParam);
}

// Answers one request with `head` and then bytes without end (no length, or the one given), until
// the client stops reading.
class EndlessHttpServer {
public:
    EndlessHttpServer(std::vector<uint8_t> prefix, std::string length = {})
        : prefix_(std::move(prefix)), length_(std::move(length)) {
        listener_.Listen("127.0.0.1", 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~EndlessHttpServer() {
        stop_.store(true);
        listener_.Close();
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(listener_.Port()) + "/rec/endless.ob6"; }

private:
    void Serve() {
        int fd = listener_.Accept(10000);
        if (fd < 0) return;
        TTcpClient c;
        c.Adopt(fd);
        std::string request;
        char ch;
        while (request.find("\r\n\r\n") == std::string::npos && c.ReadExact(&ch, 1)) request += ch;
        std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        if (!length_.empty()) head += "Content-Length: " + length_ + "\r\n";
        head += "\r\n";
        bool ok = c.WriteAll(head.data(), head.size()) && c.WriteAll(prefix_.data(), prefix_.size());
        const std::vector<uint8_t> chunk(16384, 0x5A);
        // Bounded only so a broken client cannot keep the test running: far beyond every cap here.
        for (int i = 0; ok && !stop_.load() && i < 4096; ++i) ok = c.WriteAll(chunk.data(), chunk.size());
        c.Disconnect();
    }
    std::vector<uint8_t> prefix_;
    std::string length_;
    TTcpListener listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// An answer without end stops at the cap: the total its session record announces, else the upper
// bound, else at once when the announced length is beyond the bound. What fits is kept, and the
// player window is told (WM_APP_PLAYERDOWNLOADCAPPED with the cap) before the final notice.
TEST(SessionURLReader, AnEndlessAnswerStopsAtTheCapAndTellsThePlayer) {
    TSessionInfoRec announced;
    announced.SetTotalSize(100000);
    const TSessionInfoRec silent;  // a total of 0: nothing announced
    struct Case {
        const char* name;
        std::vector<uint8_t> prefix;
        std::string length;
        int64_t maxBytes;
        int64_t cap;
        int64_t kept;
    } cases[] = {
        {"the record's total", {announced.raw.begin(), announced.raw.end()}, "", int64_t(1) << 20, 100000, 100000},
        {"the upper bound", {silent.raw.begin(), silent.raw.end()}, "", 300000, 300000, 300000},
        {"an announced length past the bound", {}, "9000000000", 300000, 300000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EndlessHttpServer http(c.prefix, c.length);
        FakeClock clock;
        PlainEventLoop loop(clock);
        playtest::TempDir dir;
        TPlaybackShared shared;
        TSessionURLReaderThread download(loop, http.Url(), dir.File("e.tm6"), kPlayer, shared);
        download.MaxBytes = c.maxBytes;
        download.Resume();
        ASSERT_TRUE(loop.RunUntil([&] { return download.Finished(); }, 20000));
        download.WaitFor();
        loop.ProcessPending();  // the notices posted before the thread finished
        EXPECT_TRUE(download.Capped());
        EXPECT_EQ(int64_t(ReadFile(dir.File("e.tm6")).size()), c.kept);
        EXPECT_EQ(shared.GetAvailableBytes(), c.kept);
        auto capped = Posts(loop, WM_APP_PLAYERDOWNLOADCAPPED);
        ASSERT_EQ(capped.size(), 1u);
        EXPECT_EQ(capped[0].wParam, c.cap);
        const auto& log = loop.Log();
        EXPECT_EQ(log.back().msg, WM_APP_PLAYERDOWNLOAD) << "the final notice comes after the stop";
    }
}

}  // namespace
