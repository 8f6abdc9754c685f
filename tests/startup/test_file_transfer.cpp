#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "local_process.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "roomserver/file_transfer_port.h"
#include "transfer/file_transfer.h"
#include "transfer/safe_files.h"

namespace fs = std::filesystem;
using namespace orb;
using orb::test::TFileTransferPort;
using orb::test::TRoomServer;

namespace {

constexpr WindowHandle kDocs = 101, kImages = 102, kMain = 103, kNotify = 104;

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class FileTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(started_);
        ASSERT_NE(server_.Port(), 0);
        dir_ = fs::temp_directory_path() / ("orb_ft_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "work");
        me_.userId = 70001;  // beyond 16 bits
        me_.room = 12;
        me_.fullNameUtf8 = "  Zo\xC3\xAB Berg ";
    }
    void TearDown() override { fs::remove_all(dir_); }

    TTransferEndpoint Endpoint(uint16_t port = 0) {
        TTransferEndpoint e;
        e.host = "127.0.0.1";
        e.port = port ? port : server_.Port();
        e.readTimeoutMs = 5000;
        return e;
    }
    fs::path MakeFile(const std::string& name, const std::string& bytes) {
        auto p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    // Runs a thread to its end while the main loop serves its synchronous calls; returns the posts.
    std::vector<PostedMessage> Finish(TWorkerThread& t) {
        t.Start();
        EXPECT_TRUE(loop_.RunUntil([&] { return t.Finished(); }, 10000));
        t.Join();
        loop_.ProcessPending();
        return loop_.TakeLog();
    }
    int Upload(int type, const fs::path& file, std::vector<PostedMessage>& posts, const std::string& description = " notes ",
               uint16_t port = 0) {
        TFileUploadThread t(loop_, Endpoint(port), {kDocs, kImages, kMain}, kNotify, 3, type, description, file, me_);
        posts = Finish(t);
        return t.ReturnValue();
    }
    int Download(int type, const std::string& name, const fs::path& local, std::vector<PostedMessage>& posts,
                 int32_t number = 42, TDownloadActions actions = {}, bool open = false) {
        TFileDownloadThread t(loop_, Endpoint(), "about it", 2, kNotify, number, type, open, local, name, me_, actions);
        posts = Finish(t);
        return t.ReturnValue();
    }

    // The room server with its file-transfer port; nothing talks on the room port in these tests.
    TRoomServer room_;
    TFileTransferPort server_{room_};
    bool started_ = room_.Start();
    PlainEventLoop loop_;
    TTransferIdentity me_;
    fs::path dir_;
};

}  // namespace

TEST_F(FileTransfer, UploadsCarryTheDescriptorAndTellTheRightWindows) {
    struct Case {
        int type;
        uint16_t kind;
        WindowHandle listWindow;
        uint32_t listMessage;
    };
    const Case cases[] = {
        {0, 16, kDocs, WM_APP_RESOURCELISTCHANGED},   {1, 22, kImages, WM_APP_RESOURCELISTCHANGED},
        {2, 25, 0, 0},                                {3, 34, 0, 0},
        {4, 50, kMain, WM_APP_PRESENTATIONUPLOADED},  {5, 51, kMain, WM_APP_PRESENTATIONUPLOADED},
    };
    auto file = MakeFile("Lesson 1.pdf", std::string(100000, 'q') + "end");
    for (const auto& c : cases) {
        std::vector<PostedMessage> posts;
        ASSERT_EQ(Upload(c.type, file, posts), 0) << c.type;
        auto up = server_.Uploads().back();
        EXPECT_EQ(up.kind, c.kind);
        EXPECT_EQ(up.sender, 70001);
        EXPECT_EQ(up.room, 12);
        EXPECT_EQ(up.bodyLength, 773 + 100003);
        EXPECT_EQ(up.bytes, ReadAll(file));
        const auto& d = up.descriptor;
        EXPECT_EQ(TFileTransferPort::I32(d, 0), 0);
        EXPECT_EQ(TFileTransferPort::ShortString(d, 4, 200), "Lesson 1.pdf");
        EXPECT_EQ(TFileTransferPort::ShortString(d, 205, 200), file.string());
        EXPECT_EQ(TFileTransferPort::I32(d, 406), 100003);
        EXPECT_EQ(TFileTransferPort::ShortString(d, 410, 20), ".pdf");
        EXPECT_EQ(TFileTransferPort::ShortString(d, 431, 200), "notes");
        EXPECT_EQ(TFileTransferPort::ShortString(d, 632, 128), "Zo\xEB Berg");  // Windows-1252
        EXPECT_GT(TFileTransferPort::F64(d, 761), 40000.0);
        EXPECT_EQ(TFileTransferPort::I32(d, 769), 3);

        std::vector<PostedMessage> expected;
        if (c.listWindow) expected.push_back({c.listWindow, c.listMessage, 0, 0, 0});
        expected.push_back({kNotify, WM_APP_UPLOADDONE, 0, 0, 0});
        ASSERT_EQ(posts.size(), expected.size()) << c.type;
        for (size_t i = 0; i < posts.size(); ++i) {
            EXPECT_EQ(posts[i].target, expected[i].target);
            EXPECT_EQ(posts[i].msg, expected[i].msg);
            EXPECT_EQ(posts[i].lParam, 0);
        }
    }
    EXPECT_EQ(server_.File(5, "Lesson 1.pdf"), ReadAll(file));
}

TEST_F(FileTransfer, EmptyFileAndFailedUploadsAlwaysReport) {
    std::vector<PostedMessage> posts;
    ASSERT_EQ(Upload(0, MakeFile("empty.txt", ""), posts), 0);
    EXPECT_EQ(server_.Uploads().back().bodyLength, 773);
    EXPECT_EQ(TFileTransferPort::I32(server_.Uploads().back().descriptor, 406), 0);

    size_t sent = server_.Uploads().size();
    EXPECT_EQ(Upload(0, dir_ / "missing.pdf", posts), kTransferNoFile);
    EXPECT_EQ(server_.Uploads().size(), sent);  // nothing went out
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].msg, WM_APP_UPLOADDONE);
    EXPECT_EQ(posts[0].lParam, kTransferNoFile);

    server_.Refuse("full.pdf", 27);
    EXPECT_EQ(Upload(0, MakeFile("full.pdf", "x"), posts), 27);
    ASSERT_EQ(posts.size(), 1u);  // no list change
    EXPECT_EQ(posts[0].msg, WM_APP_UPLOADDONE);
    EXPECT_EQ(posts[0].lParam, 27);

    int closedPort = orbtest::FreeLoopbackPort();
    EXPECT_EQ(Upload(0, MakeFile("a.pdf", "x"), posts, "", static_cast<uint16_t>(closedPort)), kTransferFailed);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].lParam, kTransferFailed);
}

TEST_F(FileTransfer, DownloadsOfEveryTypeReachTheirPlace) {
    const std::string picture(30000, '\xD8');
    server_.Put(0, "doc.pdf", orb::test::Stored("PDF bytes"));
    server_.Put(1, "img.jpg", orb::test::Stored(picture));
    server_.Put(3, "70002.jpg", orb::test::Stored(picture));
    server_.Put(3, "70001.jpg", orb::test::Stored(picture));
    server_.Put(5, "Slide_4.JPG", orb::test::Stored(picture));

    std::vector<std::string> calls;
    TDownloadActions actions;
    actions.openFile = [&](const fs::path& p) {
        EXPECT_TRUE(loop_.InMainThread());
        calls.push_back("open " + p.filename().string() + " " + ReadAll(p));
    };
    actions.drawOnBoard = [&](const fs::path& p, int board) {
        EXPECT_TRUE(loop_.InMainThread());
        calls.push_back("draw " + p.filename().string() + " " + std::to_string(board) + " " +
                        std::to_string(fs::file_size(p)));
    };
    std::vector<PostedMessage> posts;
    ASSERT_EQ(Download(0, "doc.pdf", dir_ / "work" / "1234.pdf", posts, 0, actions, true), 0);
    auto req = server_.Requests().back();
    EXPECT_EQ(req.kind, 19);
    EXPECT_EQ(req.sender, 70001);
    EXPECT_EQ(req.bodyLength, 773);
    EXPECT_EQ(TFileTransferPort::I32(req.descriptor, 0), -1);
    EXPECT_EQ(TFileTransferPort::ShortString(req.descriptor, 4, 200), "doc.pdf");
    EXPECT_EQ(TFileTransferPort::ShortString(req.descriptor, 205, 200), (dir_ / "work" / "1234.pdf").string());
    EXPECT_EQ(TFileTransferPort::ShortString(req.descriptor, 431, 200), "about it");

    ASSERT_EQ(Download(1, "img.jpg", dir_ / "work" / "i.jpg", posts, 0, actions), 0);
    EXPECT_EQ(server_.Requests().back().kind, 21);
    ASSERT_EQ(Download(5, "Slide_4.JPG", dir_ / "work" / "s.jpg", posts, 0, actions), 0);
    EXPECT_EQ(server_.Requests().back().kind, 54);
    std::vector<std::string> expectedCalls = {"open 1234.pdf PDF bytes", "draw i.jpg 2 30000", "draw s.jpg 2 30000"};
    EXPECT_EQ(calls, expectedCalls);

    // Another user's picture: done, and that user's row is refreshed; the id keeps all 32 bits.
    ASSERT_EQ(Download(3, "70002.jpg", dir_ / "work" / "70002.jpg", posts, 70002), 0);
    EXPECT_EQ(server_.Requests().back().kind, 35);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].msg, WM_APP_DOWNLOADDONE);
    EXPECT_EQ(posts[0].wParam, 70002);
    EXPECT_EQ(posts[0].lParam, 0);
    EXPECT_EQ(posts[1].msg, WM_APP_BOARDUPDATED);
    EXPECT_EQ(posts[1].wParam, 70002);
    EXPECT_EQ(fs::file_size(dir_ / "work" / "70002.jpg"), 30000u);

    // The own picture: no row refresh.
    ASSERT_EQ(Download(3, "70001.jpg", dir_ / "work" / "70001.jpg", posts, 70001), 0);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].msg, WM_APP_DOWNLOADDONE);
}

TEST_F(FileTransfer, RefusedAndHostileDownloadsLeaveTheLocalFileAlone) {
    auto local = dir_ / "work" / "pic.jpg";
    std::ofstream(local) << "previous";
    auto unchanged = [&] {
        EXPECT_EQ(ReadAll(local), "previous");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "work"), fs::directory_iterator()), 1);
    };
    std::vector<PostedMessage> posts;

    server_.Refuse("refused.jpg", 18);
    EXPECT_EQ(Download(3, "refused.jpg", local, posts, 555), 18);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].msg, WM_APP_DOWNLOADDONE);
    EXPECT_EQ(posts[0].wParam, 555);
    EXPECT_EQ(posts[0].lParam, 1);
    unchanged();

    const std::string bytes(5000, 'p');
    server_.Put(0, "bigger.pdf", orb::test::Stored(bytes, 6000));          // descriptor claims more than the body holds
    server_.Put(0, "smaller.pdf", orb::test::Stored(bytes, 10));           // ... or less
    server_.Put(0, "negative.pdf", orb::test::Stored(bytes, -5, 0));       // negative size, empty body
    server_.Put(0, "cut.pdf", orb::test::Stored(bytes, -1, -1, 22 + 773 + 1000));  // hangs up half-way
    server_.Put(0, "huge.pdf", orb::test::Stored(bytes, -1, -1, 22 + 773));        // announces 5000, limit below
    for (const char* name : {"bigger.pdf", "smaller.pdf", "negative.pdf", "cut.pdf"}) {
        EXPECT_NE(Download(0, name, local, posts), 0) << name;
        EXPECT_TRUE(posts.empty()) << name;
        unchanged();
    }
    TFileDownloadThread limited(loop_, Endpoint(), "", -1, kNotify, 0, 0, false, local, "huge.pdf", me_);
    limited.SetMaxFileSize(4096);
    Finish(limited);
    EXPECT_EQ(limited.ReturnValue(), kTransferTooLarge);
    unchanged();

    // A server-given name that climbs out of the folder is never used as a path.
    server_.Put(0, "evil.pdf", orb::test::Stored(bytes, -1, -1, -1, "../../../evil.pdf"));
    auto target = PathInFolder(dir_ / "work", "../../../evil.pdf");
    ASSERT_EQ(Download(0, "evil.pdf", target, posts), 0);
    EXPECT_EQ(target, dir_ / "work" / "evil.pdf");
    EXPECT_EQ(ReadAll(target), bytes);
    EXPECT_FALSE(fs::exists(dir_.parent_path() / "evil.pdf"));
}

TEST_F(FileTransfer, StoppingAHangingDownloadEndsItWithoutPosting) {
    // The server hangs up only after a long pause; stopping must not wait for it.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    TWorkerSet set;
    set.Start(std::make_unique<TFileDownloadThread>(loop_, Endpoint(ntohs(a.sin_port)), "", -1, kNotify, 9, 3, false,
                                                    dir_ / "work" / "x.jpg", "x.jpg", me_));
    set.StopAll();
    loop_.ProcessPending();
    EXPECT_TRUE(loop_.TakeLog().empty());
    EXPECT_FALSE(fs::exists(dir_ / "work" / "x.jpg"));
    ::close(fd);
}

TEST_F(FileTransfer, UploadThroughAnHttpProxyTunnel) {
    orbtest::LocalProcess proxy;
    const int port = orbtest::StartTinyproxy(proxy, dir_);
    ASSERT_NE(port, 0);
    TProxySettings settings;
    settings.enabled = true;
    settings.type = 4;
    settings.host = "127.0.0.1";
    settings.port = port;
    auto file = MakeFile("via-proxy.pdf", "tunnelled bytes");
    int result = kTransferFailed;
    // The proxy needs a moment to listen; a refused connect only fails that attempt.
    for (int attempt = 0; attempt < 50 && result != 0; ++attempt) {
        auto endpoint = Endpoint();
        endpoint.connect = ProxyConnect(settings);
        TFileUploadThread t(loop_, endpoint, {kDocs, kImages, kMain}, 0, 0, 0, "", file, me_);
        Finish(t);
        result = t.ReturnValue();
        if (result != 0) ::usleep(100 * 1000);
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(server_.File(0, "via-proxy.pdf"), "tunnelled bytes");
}
