#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "local_process.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "transfer/http_download.h"
#include "transfer/worker.h"

namespace fs = std::filesystem;
using namespace orb;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class HttpDownload : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orb_http_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ASSERT_TRUE(server_.Start({"python3", ORB_TEST_DIR "/http_server.py"}, true));
        ASSERT_FALSE(server_.FirstLine().empty());
        base_ = "http://127.0.0.1:" + server_.FirstLine();
    }
    void TearDown() override {
        server_.Stop();
        fs::remove_all(dir_);
    }

    // Runs one download to its end; returns the messages it posted.
    std::vector<PostedMessage> Run(const std::string& address, const fs::path& local, TProxySettings proxy = {},
                                   uint64_t maxBytes = 0) {
        THttpDownloadThread t(loop_, 77, WM_APP_DOWNLOADDONE, 4242, local.string(), address, proxy);
        if (maxBytes) t.SetMaxBytes(maxBytes);
        t.Start();
        t.Join();
        status_ = t.HttpStatus();
        loop_.ProcessPending();
        return loop_.TakeLog();
    }

    size_t FilesInDir() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }

    PlainEventLoop loop_;
    orbtest::LocalProcess server_;
    fs::path dir_;
    std::string base_;
    int status_ = 0;
};

}  // namespace

TEST_F(HttpDownload, PictureArrivesWithOurUserAgentAndPostsTheCallersMessage) {
    auto local = dir_ / "17.jpg";
    auto posts = Run(base_ + "/pic.jpg", local);
    EXPECT_EQ(status_, 200);  // the server answers 403 to any other user agent
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].target, 77);
    EXPECT_EQ(posts[0].msg, WM_APP_DOWNLOADDONE);
    EXPECT_EQ(posts[0].wParam, 4242);
    EXPECT_EQ(posts[0].lParam, 0);
    std::string body = ReadAll(local);
    ASSERT_EQ(body.size(), 10240u);
    EXPECT_EQ(static_cast<unsigned char>(body[255]), 255);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(HttpDownload, FailuresLeaveNoFileNotEvenAnOlderOne) {
    auto fresh = dir_ / "none.jpg";
    EXPECT_TRUE(Run(base_ + "/nothing.jpg", fresh).empty());
    EXPECT_EQ(status_, 404);
    EXPECT_FALSE(fs::exists(fresh));

    // A body cut short of its Content-Length is not a picture.
    EXPECT_TRUE(Run(base_ + "/short", fresh).empty());
    EXPECT_FALSE(fs::exists(fresh));

    // Too big for the caller's limit.
    EXPECT_TRUE(Run(base_ + "/pic.jpg", fresh, {}, 1000).empty());
    EXPECT_FALSE(fs::exists(fresh));

    // Server-given addresses may not reach local files.
    std::ofstream(dir_ / "secret.txt") << "secret";
    EXPECT_TRUE(Run("file://" + (dir_ / "secret.txt").string(), fresh).empty());
    EXPECT_FALSE(fs::exists(fresh));

    // A picture the server no longer has does not stay behind as if it were current.
    auto old = dir_ / "old.jpg";
    std::ofstream(old) << "previous picture";
    EXPECT_TRUE(Run(base_ + "/gone.jpg", old).empty());
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(FilesInDir(), 1u);  // secret.txt only; no temporary leftovers

    // A successful download replaces an older file.
    std::ofstream(old) << "previous picture";
    EXPECT_EQ(Run(base_ + "/pic.jpg", old).size(), 1u);
    EXPECT_EQ(fs::file_size(old), 10240u);
}

TEST_F(HttpDownload, CookiesOfOneDownloadAreNotCarriedToTheNext) {
    // Every download is its own client: a session cookie one answer sets is not sent by a later
    // download to the same server.
    auto local = dir_ / "m.jpg";
    EXPECT_EQ(Run(base_ + "/login", dir_ / "login.txt").size(), 1u);
    EXPECT_TRUE(Run(base_ + "/members/pic.jpg", local).empty());
    EXPECT_EQ(status_, 403);
    EXPECT_FALSE(fs::exists(local));
}

TEST_F(HttpDownload, ThroughAnHttpProxyTunnel) {
    orbtest::LocalProcess proxy;
    const int port = orbtest::StartTinyproxy(proxy, dir_);
    ASSERT_NE(port, 0);
    TProxySettings p;
    p.enabled = true;
    p.type = 4;
    p.host = "127.0.0.1";
    p.port = port;
    auto local = dir_ / "via.jpg";
    std::vector<PostedMessage> posts;
    // The proxy needs a moment to listen; a refused connect simply fails the attempt.
    for (int attempt = 0; attempt < 50 && posts.empty(); ++attempt) {
        posts = Run(base_ + "/pic.jpg", local, p);
        if (posts.empty()) ::usleep(100 * 1000);
    }
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(fs::file_size(local), 10240u);

    // A proxy that is not there fails the download instead of going direct.
    p.port = orbtest::FreeLoopbackPort();
    proxy.Stop();
    fs::remove(local);
    EXPECT_TRUE(Run(base_ + "/pic.jpg", local, p).empty());
    EXPECT_FALSE(fs::exists(local));
}

TEST(WorkerSet, StopAllEndsAHangingDownload) {
    // A listening socket that never answers: the download blocks until it is stopped.
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    auto local = fs::temp_directory_path() / ("orb_hang_" + std::to_string(::getpid()) + ".jpg");

    PlainEventLoop loop;
    TWorkerSet set;
    set.Start(std::make_unique<THttpDownloadThread>(loop, 1, WM_APP_DOWNLOADDONE, 0, local.string(),
                                                    "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/x"));
    EXPECT_EQ(set.Count(), 1u);
    set.StopAll();  // returns only once the thread has ended
    EXPECT_EQ(set.Count(), 0u);
    loop.ProcessPending();
    EXPECT_TRUE(loop.TakeLog().empty());
    EXPECT_FALSE(fs::exists(local));
    ::close(s);
}
