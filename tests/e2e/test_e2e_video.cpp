// A moderator's client without a camera (and without the test picture chosen) only says why in its
// video window and sends nothing. A moderator's client with the test picture chosen publishes the
// synthetic camera through the test room server's video port:
// the Video command opens the video window, which previews and sends frames; a second attendee's
// client is told that the camera started; a viewer on the video port receives and decodes the
// frames. Screenshots go to the build's test-artifacts folder.

#include <QImage>
#include <filesystem>

#include "e2e_test.h"
#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "roomserver/video_port.h"
#include "video/video_session.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
// The main window fills the screen; the tool bar's "Video" button, from its top-left corner.
constexpr int kVideoButtonX = 489;
constexpr int kVideoButtonY = 45;

struct PictureView : video::IVideoView {
    QImage last;
    std::vector<std::string> infos;
    void ShowInfo(const std::string& t) override { infos.push_back(t); }
    void ShowMessagePanel() override {}
    void ShowPicturePanel() override {}
    void ShowCameraPanel() override {}
    void SetClientSize(int, int) override {}
    void ShowPicture(const video::TPicture& p) override {
        last = QImage(reinterpret_cast<const uchar*>(p.pixels.data()), p.width, p.height, p.width * 4,
                      QImage::Format_RGB32)
                   .copy();
    }
    void ShowBufferingLabel(const std::string&, bool) override {}
    void SetOptionsIsStop() override {}
    void CloseWindow() override {}
};

class E2EVideo : public TEndToEnd {
protected:
    TVideoPort* VideoPort() {
        for (auto& e : extensions_)
            if (auto* v = dynamic_cast<TVideoExtension*>(e.get())) return &v->port;
        return nullptr;
    }
};

}  // namespace

TEST_F(E2EVideo, WithoutACameraNothingIsSentAndTheChosenTestPictureIsPublishedAndWatched) {
    StartRoomServer();
    TVideoPort* port = VideoPort();
    ASSERT_TRUE(port);

    TClientProcess* ben = StartClient("ben", {JoinLink("ben", "pw", kRoom)});
    ASSERT_TRUE(ben);
    const int benConnection = WaitForSignIn();
    ASSERT_NE(benConnection, 0);
    ASSERT_TRUE(x_.WaitForTitle("Ben Tester in a virtual session", ben->Pid(), kWaitMs));

    // A moderator without a camera and without the test picture chosen: the window says why and
    // goes, and nothing reaches the video port, so nobody is told that a camera started.
    unsetenv("ORB_SYNTHETIC_CAMERA");
    if (std::filesystem::exists("/dev/video0")) GTEST_SKIP() << "this machine has a camera";
    {
        TClientProcess* bob = StartClient("modbob", {JoinLink("modbob", "pw", kRoom)});
        ASSERT_TRUE(bob);
        const int bobConnection = WaitForSignIn();
        ASSERT_NE(bobConnection, 0);
        auto bobMain = x_.WaitForTitle("Modbob Tester in a virtual session", bob->Pid(), kWaitMs);
        ASSERT_TRUE(bobMain) << x_.DescribeWindows();
        ASSERT_TRUE(WaitFor(bobConnection, vkRoomProfile));
        ASSERT_TRUE(WaitForPainted(*bobMain));
        auto bobBox = x_.Geometry(*bobMain);
        ASSERT_TRUE(bobBox);
        std::optional<TXDriver::Window> noCamera;
        for (int tries = 0; tries < 20 && !noCamera; ++tries) {
            x_.Click(bobBox->x + kVideoButtonX, bobBox->y + kVideoButtonY);
            noCamera = x_.WaitForTitle("Video Window", bob->Pid(), 500);
        }
        ASSERT_TRUE(noCamera) << x_.DescribeWindows();
        usleep(300 * 1000);
        Screenshot("e2e_video_no_camera");
        bool gone = false;
        for (int waited = 0; waited < kWaitMs && !gone; waited += 100) {
            gone = !x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, "Video Window"); },
                                  bob->Pid());
            if (!gone) usleep(100 * 1000);
        }
        EXPECT_TRUE(gone) << "the video window without a camera stayed open";
        EXPECT_TRUE(port->PublisherIds().empty()) << "a machine without a camera published";
        EXPECT_TRUE(server_.SentOfKind(benConnection, vkWebcamStarted).empty());
        bob->Stop();
    }

    // This machine may have no camera: the moderator's client is told to use the test picture.
    setenv("ORB_SYNTHETIC_CAMERA", "YUY2", 1);
    TClientProcess* mod = StartClient("modana", {JoinLink("modana", "pw", kRoom)});
    unsetenv("ORB_SYNTHETIC_CAMERA");
    ASSERT_TRUE(mod);
    const int modConnection = WaitForSignIn();
    ASSERT_NE(modConnection, 0);
    auto main = x_.WaitForTitle("Modana Tester in a virtual session", mod->Pid(), kWaitMs);
    ASSERT_TRUE(main) << x_.DescribeWindows();
    ASSERT_TRUE(WaitFor(modConnection, vkVideoPort)) << "the client did not ask for the video port";
    ASSERT_TRUE(WaitFor(modConnection, vkRoomProfile));
    ASSERT_TRUE(WaitForPainted(*main));
    auto box = x_.Geometry(*main);
    ASSERT_TRUE(box);

    // The command is enabled once the room's rights are known; click until the window comes.
    std::optional<TXDriver::Window> window;
    for (int tries = 0; tries < 20 && !window; ++tries) {
        x_.Click(box->x + kVideoButtonX, box->y + kVideoButtonY);
        window = x_.WaitForTitle("Video Window", mod->Pid(), 500);
    }
    ASSERT_TRUE(window) << x_.DescribeWindows();

    int32_t publisher = 0;
    for (int waited = 0; waited < kWaitMs && publisher == 0; waited += 50) {
        auto ids = port->PublisherIds();
        if (!ids.empty() && port->Publisher(ids[0]).frames >= 5) publisher = ids[0];
        else usleep(50 * 1000);
    }
    ASSERT_NE(publisher, 0) << "no frames reached the video port";
    auto state = port->Publisher(publisher);
    ASSERT_EQ(state.format.size(), 46u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.format.data() + 16), 4), "MP43");
    for (size_t i = 0; i < state.sequences.size(); ++i) ASSERT_EQ(state.sequences[i], i);

    // The other attendee's client is told that the camera started.
    ASSERT_TRUE(server_.WaitUntil([&] {
        for (auto& m : server_.SentOfKind(benConnection, vkWebcamStarted))
            if (m.header.sender == publisher) return true;
        return false;
    }));

    // A viewer on the video port, as the second client's video window runs it.
    PlainEventLoop loop;
    PictureView view;
    video::TVideoEnvironment env;
    env.loop = &loop;
    env.host = "127.0.0.1";
    env.port = port->Port();
    video::TVideoSession viewer(env, view);
    viewer.UserId = publisher;
    viewer.Room = kRoom;
    viewer.StartViewing();
    ASSERT_TRUE(loop.RunUntil([&] { return viewer.FramesShown() >= 5; }, kWaitMs)) << view.infos.back();
    ASSERT_FALSE(view.last.isNull());
    view.last.save(QString(ORB_E2E_ARTIFACTS) + "/e2e_video_viewed_frame.png");
    EXPECT_GT(DistinctColours(view.last, {0, 0, view.last.width(), view.last.height()}), 4);

    // The publisher's window shows its camera.
    auto geometry = x_.Geometry(*window);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->width, 160);
    EXPECT_EQ(geometry->height, 144);
    usleep(500 * 1000);
    const QImage screen = Screenshot("e2e_video_publishing");
    EXPECT_GT(DistinctColours(screen, {geometry->x, geometry->y + 24, 160, 120}), 4)
        << "the video window shows no camera picture";

    mod->Stop();
    EXPECT_TRUE(mod->Ended()) << mod->Ending();
    ASSERT_TRUE(server_.WaitUntil([&] {
        for (auto& m : server_.SentOfKind(benConnection, vkWebcamStopped))
            if (m.header.sender == publisher) return true;
        return false;
    }));
    ASSERT_TRUE(loop.RunUntil([&] { return !view.infos.empty() && view.infos.back() == video::texts::kStopped; },
                              kWaitMs));
    viewer.FormClose();
}
