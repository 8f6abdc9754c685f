// Recorded sessions as a user starts them: "PLAY <path>", a .ob6 path, a play link streamed from
// the test room server and a web address served over HTTP, each a real client on a private X
// server reaching "PLAYING" in its player window; screenshots go to the build's test-artifacts.

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

TEST_F(Playback, WebAddressIsDownloadedAndPlayed) {
    std::vector<uint8_t> bytes = DemoRecording().Bytes(true);
    FileHttpServer http(bytes);
    Play("web_address", {"ORB6URL://127.0.0.1:" + std::to_string(http.Port()) + "/rec/Lesson.ob6"});
}

}  // namespace
