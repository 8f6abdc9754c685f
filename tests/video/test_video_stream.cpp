// Publisher and viewer windows' logic through the test room server's video port with the
// synthetic camera; hostile replies from a server that lies; the data module's video list.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "roomserver/video_port.h"
#include "video/video_session.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::video;
using orb::test::TRoomServer;
using orb::test::TVideoPort;

namespace {

struct FakeView : IVideoView {
    std::vector<std::string> infos;
    std::string panel;
    int width = 0, height = 0, pictures = 0, closes = 0;
    TPicture last;
    std::string label4;
    bool label4Visible = false, stop = false;
    void ShowInfo(const std::string& t) override { infos.push_back(t); }
    void ShowMessagePanel() override { panel = "message"; }
    void ShowPicturePanel() override { panel = "picture"; }
    void ShowCameraPanel() override { panel = "camera"; }
    void SetClientSize(int w, int h) override { width = w; height = h; }
    void ShowPicture(const TPicture& p) override { ++pictures; last = p; }
    void ShowBufferingLabel(const std::string& t, bool v) override { label4 = t; label4Visible = v; }
    void SetOptionsIsStop() override { stop = true; }
    void CloseWindow() override { ++closes; }
};

struct StreamFixture : ::testing::Test {
    FakeClock clock;
    PlainEventLoop loop{clock};
    TRoomServer server;
    std::unique_ptr<TVideoPort> port;
    bool publishing = false;

    void SetUp() override {
        ASSERT_TRUE(server.Start());
        port = std::make_unique<TVideoPort>(server);
        ASSERT_NE(port->Port(), 0);
    }
    void TearDown() override { server.Stop(); }

    TVideoEnvironment Env(uint16_t videoPort, int fps = 10) {
        TVideoEnvironment e;
        e.loop = &loop;
        e.host = "127.0.0.1";
        e.port = videoPort;
        e.settings.driverIndex = 0;
        e.settings.frameRate = fps;
        e.settings.bytesPerSecond = 0;
        e.drivers = [] { return std::vector<TCaptureDriver>{{kSyntheticCameraName, "", true, 0}}; };
        e.setPublishing = [this](bool on) { publishing = on; };
        return e;
    }
    std::unique_ptr<TVideoSession> Viewer(FakeView& view, uint16_t videoPort, int32_t watch) {
        auto s = std::make_unique<TVideoSession>(Env(videoPort), view);
        s->UserId = watch;
        s->Registration.userId = 6;
        s->Room = 1;
        s->StartViewing();
        return s;
    }
    // Runs the loop, moving the fake clock on by step each round, until pred holds.
    bool RunFor(const std::function<bool()>& pred, int64_t stepMs = 10) {
        return loop.RunUntil([&] {
            clock.Advance(stepMs);
            return pred();
        }, 10000);
    }
};

}  // namespace

TEST_F(StreamFixture, SyntheticCameraPublishedAndWatched) {
    FakeView pubView;
    TVideoSession pub(Env(port->Port(), 10), pubView);
    pub.Registration.userId = 5;
    pub.Room = 1;
    pub.StartPublishing();
    ASSERT_EQ(pubView.panel, "camera") << (pubView.infos.empty() ? "" : pubView.infos.back());
    EXPECT_TRUE(publishing);
    EXPECT_TRUE(pubView.stop);
    EXPECT_EQ(pub.CameraReconfigurations(), 1);  // the synthetic camera starts at 320 x 240
    EXPECT_EQ(pub.InputFormat().biWidth, 160);
    EXPECT_EQ(pub.InputFormat().biBitCount, 32);
    EXPECT_EQ(pubView.width, 160);
    EXPECT_EQ(pubView.height, 144);
    EXPECT_EQ(pubView.infos.back(), texts::kInitTransmission);
    ASSERT_TRUE(loop.RunUntil([&] { return port->Publisher(5).frames >= 4 && pubView.pictures > 0; }));
    auto state = port->Publisher(5);
    ASSERT_EQ(state.format.size(), 46u);
    EXPECT_EQ(LoadU32(state.format.data() + 16), kFourccMP43);
    EXPECT_EQ(LoadU32(state.format.data() + 20), 160u * 120u * 4u);
    EXPECT_EQ(LoadU16(state.format.data() + 40), 10);
    EXPECT_EQ(LoadU16(state.format.data() + 42), 2);
    for (size_t i = 0; i < state.sequences.size(); ++i) EXPECT_EQ(state.sequences[i], i);
    EXPECT_FALSE(pub.LastCompressedFrame().empty());

    FakeView view;
    auto viewer = Viewer(view, port->Port(), 5);
    ASSERT_TRUE(loop.RunUntil([&] { return viewer->ReadTimerRunning(); })) << view.infos.back();
    EXPECT_EQ(viewer->ReadIntervalMs(), 50);  // round(1000 / 10) - 50
    EXPECT_EQ(view.panel, "picture");
    EXPECT_EQ(view.width, 160);
    EXPECT_EQ(view.height, 144);
    // Nothing is asked for until the poll timer runs on the clock.
    ASSERT_TRUE(RunFor([&] { return viewer->FramesShown() >= 5; }));
    EXPECT_EQ(view.last.width, 160);
    EXPECT_FALSE(view.label4Visible);

    // The publisher goes: the viewer is told 47, says so and closes 2.5 s later.
    pub.FormClose();
    EXPECT_FALSE(publishing);
    ASSERT_TRUE(RunFor([&] { return view.infos.back() == texts::kStopped; }));
    EXPECT_FALSE(viewer->ReadTimerRunning());
    EXPECT_TRUE(viewer->CloseTimerRunning());
    EXPECT_EQ(view.closes, 0);
    clock.Advance(2500);
    loop.ProcessPending();
    EXPECT_EQ(view.closes, 1);
}

TEST_F(StreamFixture, StartFailuresEndInAMessageAndTheCloseTimer) {
    {  // nobody listens
        FakeView view;
        auto v = Viewer(view, 1, 5);
        EXPECT_EQ(view.infos.back(), texts::kViewNoServer);
        EXPECT_EQ(v->Thread(), nullptr);
        clock.Advance(2500);
        loop.ProcessPending();
        EXPECT_EQ(view.closes, 1);
    }
    {  // nobody publishes user 9
        FakeView view;
        auto v = Viewer(view, port->Port(), 9);
        ASSERT_TRUE(loop.RunUntil([&] { return view.infos.back() == texts::kNotAvailable; }));
    }
    {  // registration refused
        port->RefuseRegistrations(49);
        FakeView view;
        TVideoSession pub(Env(port->Port()), view);
        pub.StartPublishing();
        EXPECT_EQ(view.infos.back(), texts::kNoServer);
        EXPECT_TRUE(pub.CloseTimerRunning());
        EXPECT_FALSE(publishing);
        port->RefuseRegistrations(0);
    }
    {  // a camera that is not there
        FakeView view;
        auto env = Env(port->Port());
        env.drivers = [] { return std::vector<TCaptureDriver>{{"Gone", "/nonexistent/video3", false, 0}}; };
        TVideoSession pub(env, view);
        pub.StartPublishing();
        EXPECT_EQ(view.infos.back(), ENotConnectException().what());
        EXPECT_TRUE(pub.CloseTimerRunning());
    }
}

TEST_F(StreamFixture, WithoutACameraNothingIsPublishedUnlessTheTestPictureIsChosen) {
    unsetenv("ORB_SYNTHETIC_CAMERA");
    struct Case {
        const char* name;
        bool chosen;       // the settings' choice
        const char* env;   // ORB_SYNTHETIC_CAMERA
        bool publishes;
    };
    const Case cases[] = {
        {"no camera, no choice", false, nullptr, false},
        {"test picture chosen in the settings", true, nullptr, true},
        {"test picture forced by the environment", false, "I420", true},
    };
    int32_t user = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.env) setenv("ORB_SYNTHETIC_CAMERA", c.env, 1);
        FakeView view;
        auto env = Env(port->Port());
        env.drivers = [] { return std::vector<TCaptureDriver>{}; };  // a machine without cameras
        env.settings.syntheticCamera = c.chosen;
        TVideoSession pub(env, view);
        pub.Registration.userId = ++user;
        pub.StartPublishing();
        if (c.publishes) {
            EXPECT_EQ(view.panel, "camera") << view.infos.back();
            ASSERT_TRUE(loop.RunUntil([&] { return port->Publisher(user).frames >= 2; }));
            EXPECT_TRUE(publishing);
            if (c.env) {
                EXPECT_EQ(pub.Cap()->VideoFormatHeader().biCompression, MakeFourcc('I', '4', '2', '0'));
            }
        } else {
            // The message, and no registration (kind 106) on the video port, so the room is never
            // told that a camera started (kind 107).
            EXPECT_EQ(view.infos.back(), ENotConnectException().what());
            EXPECT_EQ(pub.Thread(), nullptr);
            EXPECT_TRUE(pub.CloseTimerRunning());
            EXPECT_FALSE(publishing);
            EXPECT_TRUE(port->PublisherIds().empty());
        }
        pub.FormClose();
        unsetenv("ORB_SYNTHETIC_CAMERA");
    }
}

namespace {

// A video server that answers registration and then each request with the given bytes.
struct Lies {
    std::vector<uint8_t> formatReply;
    std::vector<uint8_t> frameReply;
};

std::vector<uint8_t> Message(uint16_t kind, uint16_t result, std::vector<uint8_t> body, int32_t claimed = -1) {
    TVCRHeader h;
    InitVCRHeader(kind, 0, 0, h);
    h.result = result;
    h.bodyLength = claimed >= 0 ? claimed : int32_t(body.size());
    std::vector<uint8_t> out;
    h.AppendTo(out);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> FormatBody(uint32_t fourcc, uint16_t fps, int32_t w = 160, int32_t h = 120) {
    TVideoFormatRec f;
    f.header.biWidth = w;
    f.header.biHeight = h;
    f.header.biBitCount = 24;
    f.header.biCompression = fourcc;
    f.framesPerSecond = fps;
    f.keyFrameInterval = 2;
    auto b = f.Encode();
    return {b.begin(), b.end()};
}

uint16_t LyingPort(TRoomServer& server, Lies lies) {
    return server.AddPort("lies", [lies](TRoomServer&, TTcpClient& s) {
        uint8_t head[22];
        while (s.ReadExact(head, 22)) {
            TVCRHeader h;
            TVCRHeader::Decode(head, h);
            std::vector<uint8_t> body(size_t(h.bodyLength));
            if (!body.empty() && !s.ReadExact(body.data(), body.size())) return;
            std::vector<uint8_t> out = h.kind == vkVideoRegister ? Message(vkVideoRegister, 0, {})
                                       : h.kind == vkVideoView   ? lies.formatReply
                                                                 : lies.frameReply;
            if (!s.WriteAll(out.data(), out.size())) return;
        }
    });
}

}  // namespace

TEST_F(StreamFixture, HostileRepliesEndTheConnectionOrAreClamped) {
    const auto mp43 = FormatBody(kFourccMP43, 10);
    auto shortFormat = mp43;
    shortFormat.pop_back();
    TVideoFrameRec lying{1, 100, 0, 0};
    auto lyingBytes = lying.Encode();
    std::vector<uint8_t> lyingFrame(lyingBytes.begin(), lyingBytes.end());
    lyingFrame.resize(13 + 50);
    struct Case {
        const char* name;
        Lies lies;
    };
    const Case cases[] = {
        {"format of 45 bytes", {Message(vkVideoView, 0, shortFormat), {}}},
        {"body above 1 MiB", {Message(vkVideoView, 0, {}, (1 << 20) + 1), {}}},
        {"negative body length", {Message(vkVideoView, 0, {}, -5), {}}},
        {"frame size not body - 13", {Message(vkVideoView, 0, mp43), Message(vkVideoFrameRequest, 0, lyingFrame)}},
        {"frame body shorter than its record", {Message(vkVideoView, 0, mp43), Message(vkVideoFrameRequest, 0, {1, 2, 3})}},
        {"huge picture", {Message(vkVideoView, 0, FormatBody(kFourccMP43, 10, 100000, 100000)), {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRoomServer liar;
        ASSERT_TRUE(liar.Start());
        uint16_t p = LyingPort(liar, c.lies);
        FakeView view;
        auto v = Viewer(view, p, 5);
        ASSERT_NE(v->Thread(), nullptr);
        ASSERT_TRUE(RunFor([&] { return !v->Thread()->Connected(); }));
        EXPECT_EQ(v->FramesShown(), 0u);
        v.reset();
        liar.Stop();
    }
}

TEST_F(StreamFixture, NetworkRatesAndCodecsFromTheFormat) {
    struct Case {
        uint32_t fourcc;
        uint16_t fps;
        int64_t interval;
        std::string info;
    };
    const Case cases[] = {
        {kFourccMP43, 0, 950, ""},
        {kFourccMP43, 65535, 10, ""},
        {MakeFourcc('w', 'm', 'v', '3'), 5, 150, ""},  // watched through libavcodec's decoder
        {MakeFourcc('X', 'V', 'I', 'D'), 5, 0, "The XVID\r\ncodec is not installed."},
    };
    for (const Case& c : cases) {
        TRoomServer liar;
        ASSERT_TRUE(liar.Start());
        uint16_t p = LyingPort(liar, {Message(vkVideoView, 0, FormatBody(c.fourcc, c.fps)), Message(vkVideoFrameRequest, 48, {})});
        FakeView view;
        auto v = Viewer(view, p, 5);
        if (c.info.empty()) {
            ASSERT_TRUE(loop.RunUntil([&] { return v->ReadTimerRunning(); }));
            EXPECT_EQ(v->ReadIntervalMs(), c.interval);
        } else {
            ASSERT_TRUE(loop.RunUntil([&] { return view.infos.back() == c.info; }));
            EXPECT_TRUE(v->CloseTimerRunning());
        }
        v.reset();
        liar.Stop();
    }
}

namespace {

struct FakeWindow : IVideoWindow {
    int mode;
    int32_t user;
    TDM* dm;
    bool fails = false;
    int closes = 0, raised = 0;
    FakeWindow(int m, int32_t u, TDM* d, bool f = false) : mode(m), user(u), dm(d), fails(f) {}
    int VideoMode() const override { return mode; }
    int32_t VideoUser() const override { return user; }
    void CloseVideoWindow() override {
        ++closes;
        if (fails) throw std::runtime_error("close failed");
        dm->RemoveVideoWindow(this);
    }
    void BringVideoWindowToFront() override { ++raised; }
};

}  // namespace

TEST(VideoDataModule, WindowListPortAndNotices) {
    PlainEventLoop loop;
    TDM dm(loop, 900);
    FakeWindow own(0, 5, &dm), a(1, 7, &dm, true), b(1, 8, &dm);
    for (auto* w : {&own, &a, &b}) dm.AddVideoWindow(w);
    EXPECT_EQ(dm.FindVideoViewer(5), nullptr);  // the own camera's window is not a viewer
    EXPECT_EQ(dm.FindVideoViewer(8), &b);
    int opened = 0;
    dm.VideoHooks.OpenVideoWindow = [&](int32_t, bool) -> IVideoWindow* { ++opened; return nullptr; };
    dm.ViewWebCam(8);
    EXPECT_EQ(b.raised, 1);
    EXPECT_EQ(opened, 0);
    dm.StartVideoSession();  // a publishing window is open already
    EXPECT_EQ(opened, 0);
    dm.ViewWebCam(9);
    EXPECT_EQ(opened, 1);

    dm.CloseVideoWindows();
    EXPECT_EQ(own.closes + a.closes + b.closes, 3);  // a's failure stops nobody
    EXPECT_TRUE(dm.VideoWindows.empty());

    TVCRHeader h;
    InitVCRHeader(vkVideoPort, 0, 0, h);
    std::vector<uint8_t> msg(22 + 8, 0);
    h.bodyLength = 8;
    h.Encode(msg.data());
    StoreU32(msg.data() + 22, 9920);
    StoreU32(msg.data() + 26, 77);
    dm.DispatchCommand(h, msg);
    EXPECT_EQ(dm.VideoPort, 9920);
    EXPECT_EQ(dm.VideoPortReserved, 77);
    h.bodyLength = 2;
    dm.DispatchCommand(h, std::span(msg).first(24));
    EXPECT_EQ(dm.VideoPort, 9920);

    for (uint16_t kind : {vkWebcamStarted, vkWebcamStopped}) {
        InitVCRHeader(kind, 44, 1, h);
        std::vector<uint8_t> m(22);
        h.Encode(m.data());
        dm.DispatchCommand(h, m);
    }
    loop.ProcessPending();
    auto log = loop.TakeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].msg, WM_APP_USERVIDEO);
    EXPECT_EQ(log[0].wParam, 44);
    EXPECT_EQ(log[0].lParam, 1);
    EXPECT_EQ(log[1].lParam, 0);
}

TEST_F(StreamFixture, StoppingNeverWaitsForAReaderBlockedOnTheMainThread) {
    // The server answers registration, then pushes a frame reply at once: the reader hands it to
    // the main thread, which is busy here and never looks, and then stops the thread.
    std::atomic<bool> pushed{false};
    TRoomServer liar;
    ASSERT_TRUE(liar.Start());
    uint16_t p = liar.AddPort("push", [&](TRoomServer&, TTcpClient& s) {
        uint8_t head[22];
        if (!s.ReadExact(head, 22)) return;
        std::vector<uint8_t> body(112);
        if (!s.ReadExact(body.data(), body.size())) return;
        auto reg = Message(vkVideoRegister, 0, {});
        TVideoFrameRec rec{1, 3, 0, 0};
        auto r = rec.Encode();
        std::vector<uint8_t> frame(r.begin(), r.end());
        frame.insert(frame.end(), {1, 2, 3});
        auto reply = Message(vkVideoFrameRequest, 0, frame);
        s.WriteAll(reg.data(), reg.size());
        s.WriteAll(reply.data(), reply.size());
        pushed = true;
        while (s.ReadExact(head, 1)) {
        }
    });
    TVideoConnectionParams params;
    params.loop = &loop;
    params.host = "127.0.0.1";
    params.port = p;
    params.mode = kVideoView;
    int calls = 0;
    {
        TVideoThread thread(params);
        thread.OnFrame = [&](int, const TVideoFrameRec&, std::span<const uint8_t>) { ++calls; };
        ASSERT_EQ(thread.RegisterVideo(), 0);
        thread.Resume();
        while (!pushed) std::this_thread::yield();
        thread.Stop();  // returns although the reader waits for this thread
    }
    loop.ProcessPending();
    EXPECT_EQ(calls, 0);
    liar.Stop();
}
