// A 1920 x 1080 share on a private Xvfb with 2 % of the screen changing per frame, at 8, 16 and
// 24 bits, driven by the product's own frame timer with the interval the share settings give for
// the fastest refresh (250 ms), for twelve seconds so the periodic key frame comes round as well:
//  - every main-thread step of the sharer (the timer's tick with its capture, the encoder's notice
//    that queues the frame), key frames and the first share of a freshly opened screen included:
//    the worst must stay within 16 ms (one frame of a 60 Hz display);
//  - frames per second and sharer-to-viewer latency of the whole road (capture, reduction,
//    difference and encoding on the sharer's worker, the test room server on loopback, decoding at
//    the viewer), against the codec alone on the same kind of frames in the same run;
//  - the viewer's scaled repaint of a frame's changed area against a memcpy of the frame.

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "../bench_summary.h"
#include "appshare/capture/capture.h"
#include "appshare/settings/share_settings_logic.h"
#include "appshare/viewer/viewer_input.h"
#include "appshare/xshare/x_share.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "roomserver/ext_sharing.h"
#include "roomserver/room_service.h"
#include "support/xvfb_server.h"
#include "x_client.h"

using namespace orb;
using namespace orb::appshare;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int W = 1920, H = 1080, kFrames = 30;
// Long enough for the periodic key frame (every 10 s by default) to come round once.
constexpr double kTimedSeconds = 12.0;
// 2 % of the screen: a 288 x 144 block that moves every frame.
constexpr int kBlockW = 288, kBlockH = 144;

int g_frame = 0;
uint32_t Background(int x, int y) { return (uint32_t(x * 3) & 0xFF) << 16 | (uint32_t(y * 5) & 0xFF) << 8 | ((x ^ y) & 0xFF); }
uint32_t Block(int x, int y) { return uint32_t((x + y + g_frame * 37) * 2654435761u) & 0xFFFFFF; }

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Member {
    PlainEventLoop loop;
    TDM dm;
    explicit Member(int32_t id) : dm(loop, 900) {
        dm.OwnUserId = id;
        dm.SendLimit = 64 << 20;
    }
    ~Member() {
        dm.StopReaderThread();
        dm.StopWriterThread();
    }
};

}  // namespace

int main() {
    test::XvfbServer xvfb;
    std::string error;
    if (!xvfb.Start(W, H, 24, &error)) {
        std::fprintf(stderr, "Xvfb: %s\n", error.c_str());
        return 1;
    }
    test::TRoomServer server;
    auto handshake = std::make_shared<test::TRoomHandshake>(test::TRoomHandshakeScript{});
    test::TRoomService service(server, handshake);
    test::TRoomExtensionContext context{server, handshake, service, {}};
    test::TSharingExtension ext(context);
    if (!server.Start()) return 1;
    test::XClient painter(xvfb.Display());
    painter.Paint(0, 0, W, H, Background);

    std::printf("1920 x 1080 share for %.0f s on the product's frame timer, %d x %d changing per frame (2 %%)\n",
                kTimedSeconds, kBlockW, kBlockH);
    for (uint8_t fmt : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        // Each depth is the first share of its screen, as the program opens it at start-up: what the
        // first share of a run costs is in every depth's worst step.
        auto screen = TXShareScreen::Open(xvfb.Display());
        if (!screen) return 1;
        Member sharer(7), viewer(9);
        for (Member* m : {&sharer, &viewer}) {
            m->dm.vcrClient.Connect("127.0.0.1", server.Port(), 5000);
            m->dm.StartReaderThread();
            m->dm.StartWriterThread(1 << 30);
        }
        server.WaitForConnections(2);
        auto& s = sharer.dm.Sharing();
        s.Screen = screen.get();
        // The descriptor as the share settings build it at Start, refresh slider at its fastest.
        TShareSettingsChoice choice;
        choice.mode = kShareModeDesktop;
        choice.pixelFormat = fmt;
        choice.refresh = 250;
        choice.showCursor = true;
        choice.screen = {0, 0, W, H};
        choice.ownUserId = 7;
        choice.ownName = "bench";
        const TShareStart start = BuildShareStart(choice);
        if (!start.ok || start.descriptor.frameInterval != 250) return 1;
        sharer.dm.SendAppShareStart(start.descriptor);
        auto& viewerShare = viewer.dm.Sharing();
        // Every main-thread step of the sharer, timed; a step that handed a frame to the encoder
        // is a tick, and the first tick of the share is the key frame's.
        std::vector<double> steps, ticks;
        double keyTick = 0;
        auto stepSharer = [&] {
            const bool before = s.EncodeInFlight();
            const int32_t counter = s.FrameCounter();
            const auto t = Clock::now();
            const int ran = sharer.loop.ProcessPending();
            const double ms = Ms(t, Clock::now());
            if (ran > 0) steps.push_back(ms);
            if (!before && s.EncodeInFlight()) {
                ticks.push_back(ms);
                if (counter == 0) keyTick = ms;
            }
        };
        auto pump = [&](const std::function<bool()>& done, double limitS = 60) {
            const auto until = Clock::now() + std::chrono::duration<double>(limitS);
            while (!done() && Clock::now() < until) {
                stepSharer();
                viewer.loop.ProcessPending();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            return done();
        };
        if (!pump([&] { return s.OwnShare() && viewerShare.Running(); })) return 1;

        // The product's timer runs the share; the block moves whenever the viewer has the last
        // frame, so every tick has a change to send.
        int applied = -1, frames = 0;
        double latency = 0, worst = 0;
        Clock::time_point changedAt = Clock::now();
        const auto t0 = Clock::now();
        pump(
            [&] {
                if (!viewerShare.WaitingForKeyFrame() && viewerShare.LastAppliedFrame() != applied) {
                    applied = viewerShare.LastAppliedFrame();
                    if (applied > 0) {
                        const double l = Ms(changedAt, Clock::now());
                        latency += l;
                        worst = std::max(worst, l);
                        ++frames;
                    }
                    g_frame = applied + 1;
                    painter.Paint((g_frame * 97) % (W - kBlockW), (g_frame * 53) % (H - kBlockH), kBlockW, kBlockH,
                                  Block);
                    changedAt = Clock::now();
                }
                return Ms(t0, Clock::now()) >= kTimedSeconds * 1000;
            },
            kTimedSeconds + 5);
        const double total = Ms(t0, Clock::now());
        std::sort(steps.begin(), steps.end());
        const double worstStep = steps.empty() ? 0 : steps.back();
        const double medianStep = steps.empty() ? 0 : steps[steps.size() / 2];
        const double worstTick = ticks.empty() ? 0 : *std::max_element(ticks.begin(), ticks.end());
        const int bits = fmt == kPixelFormat8 ? 8 : fmt == kPixelFormat16 ? 16 : 24;
        std::printf("  %2d bits, timer at %d ms: %zu ticks, %zu main-thread steps: median %.2f ms, worst %.2f ms "
                    "(worst tick %.2f ms, key frame's tick %.2f ms)\n",
                    bits, start.descriptor.frameInterval, ticks.size(), steps.size(), medianStep, worstStep, worstTick,
                    keyTick);
        char measure[96];
        std::snprintf(measure, sizeof measure, "sharer worst main-thread step 1080p %d bit, first share (ms)", bits);
        orb::bench::Summary(measure, "<= 16", worstStep, worstStep <= 16);

        // The codec alone on the same kind of frame: difference, encoding and decoding.
        ShareBitmap prev, cur, delta;
        CaptureScreenScaled(screen->Screen(), prev, 0, 0, W, H, W, H, fmt, false, false);
        g_frame = kFrames + 1;
        painter.Paint(100, 100, kBlockW, kBlockH, Block);
        CaptureScreenScaled(screen->Screen(), cur, 0, 0, W, H, W, H, fmt, false, false);
        delta.SetGeometry(fmt, W, H);
        SegmentDecoder dec;
        dec.Start(fmt, W, H);
        std::vector<uint8_t> key;
        EncodeBitmapSegments(fmt, prev, false, 5, key);
        dec.Apply(key, false);
        const auto k0 = Clock::now();
        for (int f = 0; f < kFrames; ++f) {
            XorAndCountChanged(delta, cur, prev, 5);
            std::vector<uint8_t> stream;
            EncodeBitmapSegments(fmt, delta, true, 5, stream);
            dec.Apply(stream, true);
            std::swap(prev, cur);
        }
        const double codec = Ms(k0, Clock::now());
        std::printf("          %6.1f frames/s through the road, latency %6.1f ms (worst %6.1f)   codec alone %6.1f frames/s\n",
                    frames * 1000.0 / total, frames ? latency / frames : 0.0, worst, kFrames * 1000.0 / codec);

        // The viewer's repaint of one frame's changed area, scaled into a 1280 x 720 view.
        const ShareBitmap& pic = viewer.dm.Sharing().ViewerPicture();
        QImage image, view(1280, 720, QImage::Format_RGB32);
        CopyToImage(pic, {0, 0, W, H}, image);
        const sharing::TRect dirty{500, 400, kBlockW, kBlockH};
        const auto r0 = Clock::now();
        for (int f = 0; f < kFrames; ++f) {
            CopyToImage(pic, dirty, image);
            QPainter p(&view);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            const double sx = 1280.0 / W, sy = 720.0 / H;
            p.drawImage(QRectF(dirty.left * sx, dirty.top * sy, dirty.width * sx, dirty.height * sy), image,
                        QRectF(dirty.left, dirty.top, dirty.width, dirty.height));
        }
        const double repaint = Ms(r0, Clock::now()) / kFrames;
        std::vector<uint8_t> copy(pic.ByteSize());
        const auto m0 = Clock::now();
        for (int f = 0; f < kFrames; ++f) std::memcpy(copy.data(), pic.Bits(), copy.size());
        const double memcpyMs = Ms(m0, Clock::now()) / kFrames;
        std::printf("          viewer repaint of the changed area %7.3f ms   memcpy of the frame %7.3f ms   ratio %5.2f\n",
                    repaint, memcpyMs, repaint / memcpyMs);
        sharer.dm.SendAppShareStop();
        pump([&] { return !viewerShare.Running(); }, 10);
    }
    server.Stop();
    return 0;
}
