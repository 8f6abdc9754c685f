// A sharer and viewers as data modules through the test room server, the sharer's screen a private
// Xvfb: pictures at every depth after key and change-only frames, recovery of late and lossy
// viewers, and remote control replayed through XTest as a small X client records it. Also the
// window list with and without a window manager's client list.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "appshare/xshare/x_share.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "roomserver/ext_sharing.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "support/xvfb_server.h"
#include "x_client.h"

using namespace orb;
using namespace orb::sharing;
using namespace orb::appshare;
using orb::test::kW;
using orb::test::kH;

namespace {
constexpr int32_t kSharer = 7, kViewer = 9, kLate = 11;

uint32_t Pattern(int x, int y) { return (uint32_t((x * 7) & 0xFF) << 16) | (uint32_t((y * 5) & 0xFF) << 8) | uint32_t((x ^ y) & 0xFF); }

struct Member {
    PlainEventLoop loop;
    TDM dm;
    std::vector<TAppShareFrameHeader> frames;
    int inputs = 0;
    explicit Member(int32_t id) : dm(loop, 900) {
        dm.OwnUserId = id;
        dm.SendLimit = 1 << 20;
        dm.DispatchObserver = [this](const TVCRHeader& h, std::span<const uint8_t> s) {
            inputs += h.kind == vkRemoteInput;
            if (h.kind != vkAppShareFrame) return;
            ByteReader r(s.subspan(TVCRHeader::kSize));
            TAppShareFrameHeader fh;
            if (ReadAppShareFrameHeader(r, fh)) frames.push_back(fh);
        };
    }
    bool Connect(uint16_t port) {
        if (!dm.vcrClient.Connect("127.0.0.1", port, 5000)) return false;
        dm.StartReaderThread();
        dm.StartWriterThread(50'000'000);
        return true;
    }
    ~Member() {
        dm.StopReaderThread();
        dm.StopWriterThread();
    }
};

class SharingOnX : public ::testing::Test {
protected:
    test::XvfbServer xvfb;
    test::TRoomServer server;
    std::shared_ptr<test::TRoomHandshake> handshake = std::make_shared<test::TRoomHandshake>(test::TRoomHandshakeScript{});
    std::unique_ptr<test::TRoomService> service;
    std::unique_ptr<test::TSharingExtension> ext;
    std::unique_ptr<test::XClient> x;
    std::unique_ptr<TXShareScreen> screen;
    std::unique_ptr<xdesktop::XDesktop> desktop;
    std::unique_ptr<TXInputInjector> injector;
    std::vector<Member*> members;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(xvfb.Start(kW, kH, 24, &error)) << error;
        service = std::make_unique<test::TRoomService>(server, handshake);
        test::TRoomExtensionContext context{server, handshake, *service, {}};
        ext = std::make_unique<test::TSharingExtension>(context);
        ASSERT_TRUE(server.Start());
        x = std::make_unique<test::XClient>(xvfb.Display());
        ASSERT_TRUE(x->Ok());
        x->Paint(0, 0, kW, kH, Pattern);
        screen = TXShareScreen::Open(xvfb.Display());
        ASSERT_TRUE(screen);
        desktop = xdesktop::XDesktop::Open(xvfb.Display(), &error);
        ASSERT_TRUE(desktop) << error;
        ASSERT_TRUE(desktop->CanInject());
        injector = std::make_unique<TXInputInjector>(*desktop);
    }
    void TearDown() override {
        members.clear();
        server.Stop();
    }
    bool Pump(const std::function<bool()>& pred, int timeoutMs = 15000) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            for (Member* m : members) m->loop.ProcessPending();
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return pred();
    }
    void Join(Member& m) {
        members.push_back(&m);
        ASSERT_TRUE(m.Connect(server.Port()));
        ASSERT_TRUE(server.WaitForConnections(members.size()));
    }
    static TAppShareDescriptor Desc(uint8_t format) {
        TAppShareDescriptor d;
        d.userId = kSharer;
        d.pixelFormat = format;
        d.sourceWidth = d.pictureWidth = kW;
        d.sourceHeight = d.pictureHeight = kH;
        d.frameInterval = 250;
        d.sharerName = "Sharer";
        d.title = "Desktop";
        return d;
    }
    // Every pixel of the viewer's picture within `tolerance` per channel of the screen's pattern
    // (with the rectangle painted over it).
    static bool Matches(const TShareSession& s, int tolerance, uint32_t (*colour)(int, int)) {
        const ShareBitmap& p = s.ViewerPicture();
        if (p.Width() != kW || p.Height() != kH) return false;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t a = PixelToRgb(p.PixelFormat(), p.ScanLine(y) + x * p.BytesPerPixel()), b = colour(x, y);
                for (int sh : {0, 8, 16})
                    if (std::abs(int((a >> sh) & 0xFF) - int((b >> sh) & 0xFF)) > tolerance) return false;
            }
        return true;
    }
};

uint32_t Changed(int x, int y) { return x >= 40 && x < 100 && y >= 30 && y < 50 ? 0x20C040u : Pattern(x, y); }

TEST_F(SharingOnX, ViewerPictureEqualsTheScreenAtEveryDepthAndLateViewersRecover) {
    Member sharer(kSharer), viewer(kViewer);
    Join(sharer);
    Join(viewer);
    auto& s = sharer.dm.Sharing();
    s.Screen = screen.get();
    s.KeyFrameIntervalMs = 1500;
    struct Depth {
        uint8_t format;
        int tolerance;
    };
    for (const Depth& depth : {Depth{kPixelFormat24, 0}, Depth{kPixelFormat16, 7}, Depth{kPixelFormat8, 42}}) {
        SCOPED_TRACE(int(depth.format));
        x->Paint(0, 0, kW, kH, Pattern);
        viewer.frames.clear();
        ASSERT_TRUE(sharer.dm.SendAppShareStart(Desc(depth.format)));
        ASSERT_TRUE(Pump([&] { return s.OwnShare() && viewer.dm.Sharing().Running(); }));
        ASSERT_TRUE(Pump([&] { return Matches(viewer.dm.Sharing(), depth.tolerance, Pattern); }));
        ASSERT_FALSE(viewer.frames.empty());
        EXPECT_EQ(viewer.frames[0].frameNumber, 0);
        EXPECT_EQ(viewer.frames[0].keyFrame, 1);
        x->Paint(0, 0, kW, kH, Changed);
        ASSERT_TRUE(Pump([&] { return Matches(viewer.dm.Sharing(), depth.tolerance, Changed); }));
        // The change came as a difference frame.
        bool delta = false;
        for (auto& f : viewer.frames) delta |= f.delta == 1 && f.keyFrame == 0;
        EXPECT_TRUE(delta);
        ASSERT_TRUE(sharer.dm.SendAppShareStop());
        ASSERT_TRUE(Pump([&] { return !s.Running() && !viewer.dm.Sharing().Running(); }));
    }

    // A viewer entering during the share learns of it and catches up at the next key frame.
    x->Paint(0, 0, kW, kH, Pattern);
    ASSERT_TRUE(sharer.dm.SendAppShareStart(Desc(kPixelFormat24)));
    ASSERT_TRUE(Pump([&] { return Matches(viewer.dm.Sharing(), 0, Pattern); }));
    Member late(kLate);
    Join(late);
    ASSERT_TRUE(late.dm.SendKind148());
    ASSERT_TRUE(Pump([&] { return late.dm.Sharing().Running(); }));
    EXPECT_TRUE(late.dm.Sharing().WaitingForKeyFrame());
    x->Paint(0, 0, kW, kH, Changed);
    ASSERT_TRUE(Pump([&] { return Matches(late.dm.Sharing(), 0, Changed); }));
    bool laterKey = false;
    for (auto& f : late.frames) laterKey |= f.keyFrame == 1 && f.frameNumber > 0;
    EXPECT_TRUE(laterKey);
    sharer.dm.SendAppShareStop();
    Pump([&] { return !late.dm.Sharing().Running(); });
    members.pop_back();
}

TEST_F(SharingOnX, OnlyTheGrantedViewersInputReachesTheSharersScreen) {
    Member sharer(kSharer), viewer(kViewer), other(kLate);
    Join(sharer);
    Join(viewer);
    Join(other);
    auto& s = sharer.dm.Sharing();
    s.Screen = screen.get();
    s.Injector = injector.get();
    x->Recorder();
    ASSERT_TRUE(sharer.dm.SendAppShareStart(Desc(kPixelFormat24)));
    ASSERT_TRUE(Pump([&] { return viewer.dm.Sharing().Running() && other.dm.Sharing().Running(); }));

    auto click = [](Member& m, int x, int y) {
        auto at = ViewToRemote({0, 0, kW, kH}, x, y);
        m.dm.Sharing();
        TRemoteInputEvent down = MouseEvent(kMouseLeftDown, *at), up = MouseEvent(kMouseLeftUp, *at);
        std::vector<uint8_t> body;
        ByteWriter w(body);
        down.Encode(w);
        up.Encode(w);
        // Sent as a viewer window would, bypassing its own control check to play a forger.
        m.dm.SendCommand(vkRemoteInput, std::span<const uint8_t>(body.data(), TRemoteInputEvent::kSize));
        m.dm.SendCommand(vkRemoteInput, std::span<const uint8_t>(body.data() + TRemoteInputEvent::kSize, TRemoteInputEvent::kSize));
    };
    // Nobody holds control: nothing arrives.
    click(viewer, 50, 60);
    EXPECT_FALSE(viewer.dm.SendRemoteInput(KeyEvent('H', 0x23, false)));
    ASSERT_TRUE(Pump([&] { return sharer.inputs == 2; }));
    EXPECT_TRUE(x->Events().empty());

    ASSERT_TRUE(sharer.dm.SendRemoteControlGrant(kViewer, true));
    ASSERT_TRUE(Pump([&] { return viewer.dm.Sharing().Controlling(); }));
    EXPECT_FALSE(other.dm.Sharing().Controlling());
    // The granted viewer clicks and types; the other one and a forged message from the server do not count.
    click(other, 10, 10);
    std::vector<uint8_t> forged;
    {
        ByteWriter w(forged);
        KeyEvent('X', 0x2D, false).Encode(w);
    }
    server.Broadcast(0, vkRemoteInput, forged, kLate);
    click(viewer, 160, 100);
    for (uint8_t vk : {uint8_t('H'), uint8_t('I')}) {
        EXPECT_TRUE(viewer.dm.SendRemoteInput(KeyEvent(vk, 0, false)));
        EXPECT_TRUE(viewer.dm.SendRemoteInput(KeyEvent(vk, 0, true)));
    }
    std::vector<std::string> events;
    ASSERT_TRUE(Pump([&] {
        for (auto& e : x->Events()) events.push_back(e);
        return events.size() >= 3;
    }));
    Pump([&] { return false; }, 300);
    for (auto& e : x->Events()) events.push_back(e);
    EXPECT_EQ(events, (std::vector<std::string>{"press 1 at 160,100", "key h", "key i"}));

    // Control taken back: the viewer stops forwarding.
    ASSERT_TRUE(sharer.dm.SendRemoteControlGrant(kViewer, false));
    ASSERT_TRUE(Pump([&] { return !viewer.dm.Sharing().Controlling(); }));
    EXPECT_FALSE(viewer.dm.SendRemoteInput(KeyEvent('H', 0, false)));
    sharer.dm.SendAppShareStop();
    Pump([&] { return !viewer.dm.Sharing().Running(); });
}

TEST_F(SharingOnX, ATileSharePlayedByTheServerIsViewedAndItsStampsReported) {
    Member viewer(kViewer);
    Join(viewer);
    ext->PlayTileShare(0, kSharer, 90, 40, 3, 2, {0xFF0000, 0x00FF00, 0x0000FF});
    const auto& tiles = viewer.dm.Sharing().Tiles();
    ASSERT_TRUE(Pump([&] { return tiles.Exists() && tiles.Panes()[5].header.stamp == 1; }));
    // Tile index = column x rows + row: tile 1 (column 0, row 1) is green, tile 5 blue.
    EXPECT_EQ(tiles.Picture().Row(0)[0], 0xFFFF0000u);
    EXPECT_EQ(tiles.Picture().Row(30)[10], 0xFF00FF00u);
    EXPECT_EQ(tiles.Picture().Row(39)[89], 0xFF0000FFu);
    // The server asks for the stamps: one int32 per tile comes back.
    const int conn = server.Connections().at(0);
    server.Send(conn, vkPaneSnapshotRequest);
    ASSERT_TRUE(Pump([&] { return !server.ReceivedOfKind(vkSharePanes).empty(); }));
    std::vector<uint8_t> stamps;
    for (int i = 0; i < 6; ++i) stamps.insert(stamps.end(), {1, 0, 0, 0});
    EXPECT_EQ(server.ReceivedOfKind(vkSharePanes)[0].body, stamps);
    ext->StopTileShare(0);
    ASSERT_TRUE(Pump([&] { return !tiles.Exists(); }));
    // Without a tile share, no stamps are sent.
    server.ClearReceived();
    server.Send(conn, vkPaneSnapshotRequest);
    Pump([&] { return false; }, 300);
    EXPECT_TRUE(server.ReceivedOfKind(vkSharePanes).empty());
}

TEST_F(SharingOnX, WindowListFromTheClientListOrTheRootsChildren) {
    const uint32_t a = x->MakeWindow("Editor", 10, 100);
    x->MakeWindow("  program manager ", 120, 50);
    x->MakeWindow(nullptr, 180, 50);
    x->MakeWindow("Hidden", 0, 10, false);
    // An icon of 2 x 1 pixels.
    x->SetIcon(a, {2, 1, 0xFFFF0000, 0xFF00FF00});

    auto list = desktop->ListWindows();
    EXPECT_FALSE(desktop->UsedWindowManagerList());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].title, "Editor");
    EXPECT_EQ(list[0].rect.left, 10);
    EXPECT_EQ(list[0].rect.width, 100);
    EXPECT_EQ(list[0].iconWidth, 2);
    EXPECT_EQ(list[0].icon, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00}));

    // With a window manager's client list, only its windows count.
    const uint32_t e = x->MakeWindow("Terminal", 240, 60);
    x->SetClientList({e});
    x->SetWorkArea(0, 20, kW, kH - 20);
    list = desktop->ListWindows();
    EXPECT_TRUE(desktop->UsedWindowManagerList());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].title, "Terminal");
    auto work = desktop->WorkArea();
    EXPECT_EQ(work.top, 20);
    EXPECT_EQ(work.height, kH - 20);
    // A window that is gone is not listed and fails nothing.
    x->Destroy(e);
    EXPECT_TRUE(desktop->ListWindows().empty());
}

}  // namespace
