// Recorded sessions as a user starts them: "PLAY <path>", a .ob6 path, a play link streamed from
// the test room server and a web address served over HTTP, each a real client on a private X
// server reaching "PLAYING" in its player window; the docked player at two screen sizes;
// screenshots go to the build's test-artifacts.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "e2e_test.h"
#include "net/tcp_client.h"
#include "net/tcp_listener.h"
#include "protocol/message_kinds.h"
#include "roomserver/playback_service.h"
#include "roomserver/recording_writer.h"

using namespace orb;
using namespace orb::test;

namespace {

// Serves one file to every GET (HEAD answers the status alone) until stopped.
class FileHttpServer {
public:
    explicit FileHttpServer(std::vector<uint8_t> body) : body_(std::move(body)) {
        listener_.Listen("127.0.0.1", 0);
        thread_ = std::thread([this] {
            while (!stop_) {
                int fd = listener_.Accept(200);
                if (fd < 0) continue;
                TTcpClient c;
                c.Adopt(fd);
                c.SetReadTimeout(5000);
                std::string request;
                char ch;
                while (request.find("\r\n\r\n") == std::string::npos && c.ReadExact(&ch, 1)) request += ch;
                const bool head = request.rfind("HEAD", 0) == 0;
                const std::string h = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                                      "\r\nConnection: close\r\n\r\n";
                c.WriteAll(h.data(), h.size());
                if (!head) c.WriteAll(body_.data(), body_.size());
                c.Disconnect();
            }
        });
    }
    ~FileHttpServer() {
        stop_ = true;
        listener_.Close();
        thread_.join();
    }
    uint16_t Port() const { return listener_.Port(); }

private:
    std::vector<uint8_t> body_;
    TTcpListener listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Playback : public TEndToEnd {
protected:
    void SetUp() override {
        TEndToEnd::SetUp();
        setenv("ORB_PLAYER_TRACE", "1", 1);
    }
    // Waits until the client's player reports "PLAYING".
    bool WaitForPlaying(TClientProcess& client) {
        for (int waited = 0; waited < kWaitMs; waited += 100) {
            if (client.Output().find("player status: PLAYING") != std::string::npos) return true;
            if (!client.Running()) return false;
            usleep(100 * 1000);
        }
        return false;
    }
    void Play(const std::string& name, const std::vector<std::string>& args) {
        TClientProcess* client = StartClient(name, args);
        ASSERT_TRUE(client);
        EXPECT_TRUE(WaitForPlaying(*client)) << client->Output();
        // Let a few messages replay, so the boards and the chat show them.
        usleep(1500 * 1000);
        EXPECT_TRUE(client->Running()) << client->Ending();
        QImage shot = Screenshot("playback_" + name);
        ASSERT_FALSE(shot.isNull());
        // The recording's first strokes (red lines on board 1) are on the screen.
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++red;
            }
        EXPECT_GT(red, 300) << "no replayed strokes on the board";
        EXPECT_TRUE(client->Stop());
    }
    std::string WriteRecording(const std::string& name) {
        const std::string path = (root_ / name).string();
        EXPECT_TRUE(DemoRecording().WriteFile(path, true));
        return path;
    }
};

TEST_F(Playback, PlayCommandAndRecordingFileReachPlaying) {
    Play("play_command", {"PLAY", WriteRecording("Lesson.ob6")});
    Play("file", {WriteRecording("Lesson Two.OB6")});
}

TEST_F(Playback, PlayLinkStreamsFromTheRoomServer) {
    StartRoomServer();
    Play("play_link", {"ORB6PLAY://127.0.0.1," + std::to_string(Port()) + ",ana,secret,1"});
    ASSERT_FALSE(server_.ReceivedOfKind(vkOpenSession).empty());
    EXPECT_GE(server_.ReceivedOfKind(vkNextSessionRecord).size(), DemoRecording().Count());
}

// The docked player in the real program's playback layout on a 1280 x 800 and a 1600 x 1000
// screen (the window covers the screen): its caption bar lies whole in the left column with the
// same room below it at both sizes, so no control is squeezed or cut off at either.
TEST_F(Playback, DockedPlayerFitsTheWindowOnCommonScreens) {
    struct TBar {
        int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
    };
    // The player's caption bar (its own colour) and its position slider in the left column.
    auto find = [](const QImage& shot, QRgb colour, int belowY) {
        TBar b;
        for (int y = belowY; y < shot.height(); ++y)
            for (int x = 0; x < std::min(shot.width(), 400); ++x)
                if ((shot.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) {
                    b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                    b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
                }
        return b;
    };
    StartRoomServer();
    std::vector<int> roomBelow;
    for (QSize size : {QSize(kScreenWidth, kScreenHeight), QSize(1600, 1000)}) {
        const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height());
        SCOPED_TRACE(at);
        if (size.width() != kScreenWidth) {
            for (auto& c : clients_) c->Stop();
            clients_.clear();
            x_.Close();
            xvfb_.Stop();
            std::string error;
            ASSERT_TRUE(xvfb_.Start(size.width(), size.height(), 24, &error)) << error;
            ASSERT_TRUE(x_.Open(xvfb_.Display(), &error)) << error;
        }
        TClientProcess* client =
            StartClient("docked_" + at, {"ORB6PLAY://127.0.0.1," + std::to_string(Port()) + ",ana,secret,1"});
        ASSERT_TRUE(client);
        ASSERT_TRUE(WaitForPlaying(*client)) << client->Output();
        usleep(1500 * 1000);
        const QImage shot = Screenshot("playback_docked_" + at);
        ASSERT_EQ(shot.size(), size);
        const TBar caption = find(shot, qRgb(0x2B, 0x4C, 0x7E), 0);
        ASSERT_GE(caption.right, 0) << "no docked player on the screen";
        EXPECT_LE(caption.left, 4);
        EXPECT_GE(caption.right - caption.left, 250) << "the player is narrower than its column";
        EXPECT_LT(caption.right, 400);
        EXPECT_GE(caption.top, size.height() / 2) << "the player is not at the bottom of the column";
        const TBar slider = find(shot, qRgb(0x40, 0x70, 0xC0), caption.bottom + 1);
        EXPECT_GE(slider.right, 0) << "no position slider below the caption";
        EXPECT_LT(slider.bottom, size.height() - 40) << "no room for the buttons below the slider";
        roomBelow.push_back(size.height() - caption.top);
        EXPECT_TRUE(client->Stop());
    }
    ASSERT_EQ(roomBelow.size(), 2u);
    EXPECT_NEAR(roomBelow[0], roomBelow[1], 2) << "the player is squeezed at one of the sizes";
}

// A jump as a user makes it: the player's slider dragged to the end of its bar replays the ten
// minutes of board messages before it at once, so the strokes the recording ends with (green,
// over the red ones) are on the board within seconds.
TEST_F(Playback, DraggingTheSliderToTheEndJumpsThere) {
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, RoomEntryBody(2));
    constexpr int kMessages = 3000;
    for (int i = 0; i < kMessages; ++i)
        w.Add(vkBoardStrokes, 200 * (i + 1), StrokesBody(1, 20, i < kMessages - 50 ? 0x0000FF : 0x00FF00));
    const std::string path = (root_ / "Long.ob6").string();
    ASSERT_TRUE(w.WriteFile(path, true));
    TClientProcess* client = StartClient("jump", {path});
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitForPlaying(*client)) << client->Output();
    usleep(1000 * 1000);
    auto count = [](const QImage& shot, auto match) {
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 300; x < shot.width(); ++x) n += match(shot.pixelColor(x, y));
        return n;
    };
    auto green = [](const QColor& c) { return c.green() > 200 && c.red() < 60 && c.blue() < 60; };
    auto red = [](const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
    QImage shot = x_.Capture();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(count(shot, red), 300) << "no replayed strokes before the jump";
    EXPECT_EQ(count(shot, green), 0);
    // The slider (its own colour) on the player's position bar, dragged to the player's right edge.
    const auto player = x_.WaitForTitle("Orbelo Live Player", client->Pid(), kWaitMs);
    ASSERT_TRUE(player) << x_.DescribeWindows();
    const auto at = x_.Geometry(*player);
    ASSERT_TRUE(at);
    Screenshot("playback_jump_start");
    int left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;
    for (int y = at->y; y < std::min(shot.height(), at->y + at->height); ++y)
        for (int x = at->x; x < std::min(shot.width(), at->x + at->width); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) == 0x4070C0) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no position slider";
    const int y = (top + bottom) / 2, end = at->x + at->width - 1;
    std::vector<std::pair<int, int>> drag{{(left + right) / 2, y}};
    for (int x = (left + right) / 2 + 20; x < end; x += 20) drag.emplace_back(x, y);
    drag.emplace_back(end, y);
    x_.Drag(drag);
    bool jumped = false;
    for (int waited = 0; waited < kWaitMs && !jumped; waited += 250) {
        usleep(250 * 1000);
        jumped = count(x_.Capture(), green) > 300;
    }
    shot = Screenshot("playback_jump_end");
    EXPECT_TRUE(jumped) << "the board does not show the recording's last strokes after the jump";
    EXPECT_TRUE(client->Running()) << client->Ending();
    EXPECT_TRUE(client->Stop());
}

TEST_F(Playback, WebAddressIsDownloadedAndPlayed) {
    std::vector<uint8_t> bytes = DemoRecording().Bytes(true);
    FileHttpServer http(bytes);
    Play("web_address", {"ORB6URL://127.0.0.1:" + std::to_string(http.Port()) + "/rec/Lesson.ob6"});
}

}  // namespace
