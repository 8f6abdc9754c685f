// A 1920 x 1080 share on a private Xvfb with 2 % of the screen changing per frame, at 8, 16 and
// 24 bits: frames per second and sharer-to-viewer latency of the whole road (capture, difference,
// encoding on the sharer's worker, the test room server on loopback, decoding at the viewer),
// against the codec alone on the same frames in the same run (frames go one after the other, so the
// send queue's 100 ms pacing step bounds the rate of the whole road); and the viewer's scaled repaint of a
// frame's changed area against a memcpy of the frame.

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "appshare/capture/capture.h"
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
    auto screen = TXShareScreen::Open(xvfb.Display());
    if (!screen) return 1;

    std::printf("1920 x 1080 share, %d frames, %d x %d changing per frame (2 %%)\n", kFrames, kBlockW, kBlockH);
    for (uint8_t fmt : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        Member sharer(7), viewer(9);
        for (Member* m : {&sharer, &viewer}) {
            m->dm.vcrClient.Connect("127.0.0.1", server.Port(), 5000);
            m->dm.StartReaderThread();
            m->dm.StartWriterThread(1 << 30);
        }
        server.WaitForConnections(2);
        auto& s = sharer.dm.Sharing();
        s.Screen = screen.get();
        s.KeyFrameIntervalMs = 1'000'000;
        TAppShareDescriptor d;
        d.userId = 7;
        d.pixelFormat = fmt;
        d.sourceWidth = d.pictureWidth = W;
        d.sourceHeight = d.pictureHeight = H;
        d.frameInterval = 2000;  // the bench ticks itself
        sharer.dm.SendAppShareStart(d);
        auto pump = [&](const std::function<bool()>& done) {
            while (!done()) {
                sharer.loop.ProcessPending();
                viewer.loop.ProcessPending();
                std::this_thread::yield();
            }
        };
        pump([&] { return s.OwnShare() && viewer.dm.Sharing().Running(); });
        // The key frame first, out of the measurement.
        s.SendAppShareFrame();
        pump([&] { return viewer.dm.Sharing().LastAppliedFrame() == 0 && !viewer.dm.Sharing().WaitingForKeyFrame(); });

        double latency = 0, worst = 0;
        const auto t0 = Clock::now();
        for (int f = 1; f <= kFrames; ++f) {
            g_frame = f;
            painter.Paint((f * 97) % (W - kBlockW), (f * 53) % (H - kBlockH), kBlockW, kBlockH, Block);
            const auto c = Clock::now();
            s.SendAppShareFrame();
            pump([&] { return viewer.dm.Sharing().LastAppliedFrame() == f; });
            const double l = Ms(c, Clock::now());
            latency += l;
            worst = std::max(worst, l);
        }
        const double total = Ms(t0, Clock::now());

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
        std::printf("  %2d bits: %6.1f frames/s, latency %6.1f ms (worst %6.1f)   codec alone %6.1f frames/s   ratio %5.2f\n",
                    fmt == kPixelFormat8 ? 8 : fmt == kPixelFormat16 ? 16 : 24, kFrames * 1000.0 / total,
                    latency / kFrames, worst, kFrames * 1000.0 / codec, codec / total);

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
        pump([&] { return !viewer.dm.Sharing().Running(); });
    }
    server.Stop();
    return 0;
}
