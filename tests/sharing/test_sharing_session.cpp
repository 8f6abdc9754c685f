// The share session on both sides through a recording transport, on the plain loop and fake clock.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "loop/plain_event_loop.h"
#include "protocol/message_kinds.h"
#include "sharing/share_session.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::sharing;
using namespace orb::appshare;

namespace {

constexpr int32_t kSharer = 7, kViewer = 9, kOther = 11;

struct Sent {
    uint16_t kind;
    std::vector<uint8_t> body;
};

// A screen whose picture the test paints: 0x00RRGGBB per pixel.
class FakeScreen : public IShareScreen {
public:
    int32_t w = 64, h = 40;
    std::vector<uint32_t> rgb = std::vector<uint32_t>(size_t(64) * 40, 0x102030);
    int captures = 0;
    bool windowAlive = true;
    TRect ScreenRect() override { return {0, 0, w, h}; }
    bool WindowExists(uint32_t) override { return windowAlive; }
    bool Capture(const TAppShareDescriptor&, uint32_t, bool, bool, TRgbPicture& t) override {
        ++captures;
        t.width = w;
        t.height = h;
        t.pixels = rgb;
        return true;
    }
    // The picture a viewer should end with.
    ShareBitmap Reduced(uint8_t format) const {
        ShareBitmap b;
        b.SetGeometry(format, w, h);
        for (int32_t y = 0; y < h; ++y) StoreRgbRow(format, &rgb[size_t(y) * w], size_t(w), b.ScanLine(y));
        return b;
    }
};

class RecordingInjector : public IInputInjector {
public:
    std::vector<std::string> log;
    bool MoveTo(int32_t x, int32_t y) override { return Add("move " + std::to_string(x) + "," + std::to_string(y)); }
    bool Button(int b, bool down) override { return Add("button " + std::to_string(b) + (down ? " down" : " up")); }
    bool Wheel(int32_t d) override { return Add("wheel " + std::to_string(d)); }
    bool Key(uint8_t vk, bool up) override { return Add("key " + std::to_string(vk) + (up ? " up" : " down")); }
    TRect ScreenRect() override { return {0, 0, 64, 40}; }
    void ReleaseAll() override { log.push_back("release"); }
    bool Add(std::string s) {
        log.push_back(std::move(s));
        return true;
    }
};

class CountingView : public ISharingView {
public:
    int opened = 0, changed = 0, closed = 0;
    std::vector<bool> control;
    std::map<int32_t, int> rows;
    TRect lastDirty;
    void OpenShareViewer(const TAppShareDescriptor&, const std::string&) override { ++opened; }
    void PictureChanged(const ShareBitmap&, const TRect& dirty) override {
        ++changed;
        lastDirty = dirty;
    }
    void CloseViewer() override { ++closed; }
    void RemoteControl(bool on) override { control.push_back(on); }
    void SetShareState(int32_t user, int state) override { rows[user] = state; }
};

// One client's session with its own transport.
struct Client {
    FakeClock& clock;
    PlainEventLoop loop;
    int32_t id;
    bool connected = true;
    int64_t queued = 0;
    int64_t sendRate = 0;
    std::vector<Sent> sent;
    std::vector<uint16_t> dropped;
    TShareSession session;

    Client(FakeClock& c, int32_t userId)
        : clock(c), loop(c), id(userId), session(loop, Transport()) {}
    TShareTransport Transport() {
        TShareTransport t;
        t.Send = [this](uint16_t k, std::span<const uint8_t> b) {
            if (!connected) return false;
            sent.push_back({k, {b.begin(), b.end()}});
            return true;
        };
        t.Connected = [this] { return connected; };
        t.QueuedBytes = [this] { return queued; };
        t.SendLimit = [] { return int64_t(2048); };
        t.DropQueuedKind = [this](uint16_t k) { dropped.push_back(k); };
        t.OwnUserId = [this] { return id; };
        t.PlaybackMode = [] { return false; };
        t.SendRate = [this] { return sendRate; };
        return t;
    }
    std::vector<Sent> Take(uint16_t kind) {
        std::vector<Sent> out, rest;
        for (auto& s : sent) (s.kind == kind ? out : rest).push_back(std::move(s));
        sent = std::move(rest);
        return out;
    }
};

TVCRHeader Header(uint16_t kind, int32_t sender, uint16_t result = 0) {
    TVCRHeader h;
    h.kind = kind;
    h.sender = sender;
    h.result = result;
    return h;
}

TAppShareDescriptor Desc(uint8_t format = kPixelFormat24) {
    TAppShareDescriptor d;
    d.userId = kSharer;
    d.pixelFormat = format;
    d.sourceWidth = d.pictureWidth = 64;
    d.sourceHeight = d.pictureHeight = 40;
    d.frameInterval = 250;
    d.sharerName = "Ann";
    d.title = "Desktop";
    return d;
}

std::vector<uint8_t> StartBody(const TAppShareDescriptor& d, uint8_t state = 1) {
    std::vector<uint8_t> b;
    ByteWriter w(b);
    WriteAppShareDescriptor(w, d);
    w.u8(state);
    return b;
}

class SharingSession : public ::testing::Test {
protected:
    FakeClock clock;
    Client sharer{clock, kSharer};
    Client viewer{clock, kViewer};
    FakeScreen screen;
    CountingView viewerView, sharerView;
    RecordingInjector injector;

    void SetUp() override {
        sharer.session.Screen = &screen;
        sharer.session.Injector = &injector;
        sharer.session.View = &sharerView;
        viewer.session.View = &viewerView;
    }
    void Start(uint8_t format = kPixelFormat24) {
        auto d = Desc(format);
        ASSERT_TRUE(sharer.session.SendStart(d));
        auto start = sharer.Take(vkAppShareStart);
        ASSERT_EQ(start.size(), 1u);
        ASSERT_EQ(start[0].body.size(), TAppShareDescriptor::kSize);
        auto body = StartBody(d);
        sharer.session.OnStart(Header(vkAppShareStart, kSharer), body);
        viewer.session.OnStart(Header(vkAppShareStart, kSharer), body);
        ASSERT_TRUE(sharer.session.OwnShare());
        ASSERT_TRUE(viewer.session.Running());
        // The encoder sizes the share's pictures first; ticks wait for it.
        ASSERT_TRUE(sharer.loop.RunUntil([&] { return !sharer.session.EncodeInFlight(); }));
    }
    // One tick and its encoding; the frames sent, handed to the viewer when `deliver`.
    std::vector<Sent> Frame(bool deliver = true) {
        // The frame timer's tick (the interval is 250 ms), then its encoding.
        clock.Advance(250);
        sharer.loop.ProcessPending();
        sharer.loop.RunUntil([&] { return !sharer.session.EncodeInFlight(); });
        auto frames = sharer.Take(vkAppShareFrame);
        if (deliver)
            for (auto& f : frames) viewer.session.OnFrame(Header(vkAppShareFrame, kSharer), f.body);
        return frames;
    }
    TAppShareFrameHeader FrameHead(const Sent& s) {
        TAppShareFrameHeader h;
        ByteReader r(s.body);
        EXPECT_TRUE(ReadAppShareFrameHeader(r, h));
        return h;
    }
    void Paint(int x0, int y0, int w, int h, uint32_t rgb) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) screen.rgb[size_t(y) * screen.w + x] = rgb;
    }
    bool ViewerMatchesScreen(uint8_t format) {
        return viewer.session.ViewerPicture() == screen.Reduced(format);
    }
};

TEST_F(SharingSession, KeyFrameThenChangesOnlyRebuildThePictureAtEveryDepth) {
    for (uint8_t format : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        SCOPED_TRACE(int(format));
        Start(format);
        auto first = Frame();
        ASSERT_EQ(first.size(), 1u);
        auto h0 = FrameHead(first[0]);
        EXPECT_EQ(h0.frameNumber, 0);
        EXPECT_EQ(h0.keyFrame, 1);
        EXPECT_EQ(h0.delta, 0);
        EXPECT_EQ(size_t(h0.streamLength) + TAppShareFrameHeader::kSize, first[0].body.size());
        EXPECT_TRUE(ViewerMatchesScreen(format));

        Paint(10, 5, 20, 3, format == kPixelFormat8 ? 0xFF0000u : format == kPixelFormat16 ? 0x00FF00u : 0x0000FFu);
        auto second = Frame();
        ASSERT_EQ(second.size(), 1u);
        auto h1 = FrameHead(second[0]);
        EXPECT_EQ(h1.frameNumber, 1);
        EXPECT_EQ(h1.keyFrame, 0);
        EXPECT_EQ(h1.delta, 1);
        EXPECT_LT(second[0].body.size(), first[0].body.size());
        EXPECT_TRUE(ViewerMatchesScreen(format));
        // Only the changed lines are repainted.
        EXPECT_EQ(viewerView.lastDirty.top, 5);
        EXPECT_EQ(viewerView.lastDirty.height, 3);

        sharer.session.SendStop();
        sharer.session.OnStop(Header(vkAppShareStop, kSharer));
        viewer.session.OnStop(Header(vkAppShareStop, kSharer));
        EXPECT_FALSE(viewer.session.Running());
        sharer.sent.clear();
    }
}

TEST_F(SharingSession, LostFrameAndLateJoinRecoverAtTheNextKeyFrame) {
    sharer.session.KeyFrameIntervalMs = 1000;
    Start();
    Frame();
    Paint(0, 0, 8, 8, 0x00FF00);
    Frame(false);  // lost
    Paint(20, 20, 8, 8, 0x0000FF);
    Frame();
    EXPECT_TRUE(viewer.session.WaitingForKeyFrame());
    EXPECT_FALSE(ViewerMatchesScreen(kPixelFormat24));

    // A viewer joining now starts from a zero picture and waits as well.
    Client late(clock, kOther);
    late.session.OnStart(Header(vkAppShareStart, kSharer), StartBody(Desc()));
    for (int i = 0; i < 4; ++i) {
        auto frames = Frame();
        for (auto& f : frames) late.session.OnFrame(Header(vkAppShareFrame, kSharer), f.body);
        if (!frames.empty() && FrameHead(frames[0]).keyFrame) {
            EXPECT_GT(FrameHead(frames[0]).frameNumber, 0);
            EXPECT_EQ(FrameHead(frames[0]).delta, 0);
            break;
        }
    }
    EXPECT_FALSE(viewer.session.WaitingForKeyFrame());
    EXPECT_TRUE(ViewerMatchesScreen(kPixelFormat24));
    EXPECT_EQ(late.session.ViewerPicture(), viewer.session.ViewerPicture());
    // On a slow link a key frame may take a fifth of it at most.
    sharer.sendRate = 100;  // bytes per second
    EXPECT_GT(sharer.session.KeyFrameDueAfterMs(), 10 * sharer.session.KeyFrameIntervalMs);
}

TEST_F(SharingSession, RefusedFramesChangeNothingAndPreviousSwapsOnlyWhenQueued) {
    Start();
    Frame();
    const ShareBitmap before = viewer.session.ViewerPicture();
    // A damaged change frame: the picture stays and the viewer waits for a key frame.
    Paint(0, 0, 4, 4, 0xABCDEF);
    auto frames = Frame(false);
    ASSERT_EQ(frames.size(), 1u);
    auto bad = frames[0].body;
    bad.back() ^= 0x55;
    viewer.session.OnFrame(Header(vkAppShareFrame, kSharer), bad);
    EXPECT_EQ(viewer.session.ViewerPicture(), before);
    EXPECT_TRUE(viewer.session.WaitingForKeyFrame());
    // A frame from someone else than the sharer is not applied.
    viewer.session.OnFrame(Header(vkAppShareFrame, kOther), frames[0].body);
    EXPECT_EQ(viewer.session.ViewerPicture(), before);

    // A frame that cannot be queued leaves the sharer's base picture as it was sent.
    const ShareBitmap base = sharer.session.PreviousPicture();
    const int32_t counter = sharer.session.FrameCounter();
    Paint(30, 30, 4, 4, 0x123456);
    sharer.connected = false;
    clock.Advance(250);
    sharer.session.SendAppShareFrame();  // not connected: nothing captured
    EXPECT_FALSE(sharer.session.EncodeInFlight());
    EXPECT_EQ(sharer.session.PreviousPicture(), base);
    EXPECT_EQ(sharer.session.FrameCounter(), counter);
    // A full send queue skips the tick without capturing.
    sharer.connected = true;
    sharer.queued = 1 << 20;
    const int captures = screen.captures;
    sharer.session.SendAppShareFrame();
    EXPECT_EQ(screen.captures, captures);
}

TEST_F(SharingSession, StopDropsQueuedFramesAndEndsBothSides) {
    Start();
    Frame();
    ASSERT_TRUE(sharer.session.SendStop());
    EXPECT_EQ(sharer.dropped, std::vector<uint16_t>{vkAppShareFrame});
    EXPECT_EQ(sharer.Take(vkAppShareStop).size(), 1u);
    EXPECT_EQ(sharer.session.TimerId(), 0);
    // An encoding that finishes after the stop is not sent.
    sharer.session.SendAppShareFrame();
    EXPECT_TRUE(sharer.Take(vkAppShareFrame).empty());
    viewer.session.OnStop(Header(vkAppShareStop, kOther));  // not the sharer: ignored
    EXPECT_TRUE(viewer.session.Running());
    viewer.session.OnStop(Header(vkAppShareStop, kSharer));
    EXPECT_FALSE(viewer.session.Running());
    EXPECT_EQ(viewerView.closed, 1);
    EXPECT_EQ(viewerView.rows[kSharer], kRowNoShare);
}

TEST_F(SharingSession, PauseStopsTheTimerAndResumeContinuesNumbering) {
    Start();
    Frame();
    ASSERT_TRUE(sharer.session.TogglePause());
    EXPECT_EQ(sharer.session.State(), kShareStatePaused);
    EXPECT_EQ(sharer.session.TimerId(), 0);
    auto st = sharer.Take(vkAppShareState);
    ASSERT_EQ(st.size(), 1u);
    EXPECT_EQ(st[0].body, std::vector<uint8_t>{2});
    EXPECT_TRUE(Frame().empty());
    ASSERT_TRUE(sharer.session.TogglePause());
    auto next = Frame();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(FrameHead(next[0]).frameNumber, 1);
    EXPECT_EQ(FrameHead(next[0]).keyFrame, 0);
    EXPECT_EQ(ShareCaption("Ann", "Desktop", true), "Ann\t sharing Desktop (PAUSED)");
    EXPECT_EQ(ShareCaption(std::string(300, 'n'), "T", false).size(), 210u);
}

TEST_F(SharingSession, RemoteInputOnlyFromTheGrantedViewerWhileSharing) {
    Start();
    std::vector<uint8_t> click;
    {
        ByteWriter w(click);
        MouseEvent(kMouseLeftDown, {32768, 0}).Encode(w);
    }
    auto input = [&](int32_t from) { return sharer.session.OnRemoteInput(Header(vkRemoteInput, from), click); };
    // Without a grant nothing is injected, forged grants from viewers count for nothing.
    EXPECT_FALSE(input(kViewer));
    std::vector<uint8_t> forged;
    {
        ByteWriter w(forged);
        WriteRemoteControlGrant(w, {kViewer, 1});
    }
    sharer.session.OnRemoteControl(Header(vkRemoteControl, kViewer), forged);
    viewer.session.OnRemoteControl(Header(vkRemoteControl, kOther), forged);
    EXPECT_FALSE(input(kViewer));
    EXPECT_FALSE(viewer.session.Controlling());

    ASSERT_TRUE(sharer.session.GrantControl(kViewer, true));
    auto grant = sharer.Take(vkRemoteControl);
    ASSERT_EQ(grant.size(), 1u);
    viewer.session.OnRemoteControl(Header(vkRemoteControl, kSharer), grant[0].body);
    EXPECT_TRUE(viewer.session.Controlling());
    EXPECT_EQ(viewerView.control, std::vector<bool>{true});
    EXPECT_EQ(viewerView.rows[kViewer], kRowRemoteControl);
    EXPECT_EQ(sharer.session.RowStates(), (std::map<int32_t, int>{{kSharer, kRowSharing}, {kViewer, kRowRemoteControl}}));

    EXPECT_FALSE(input(kOther));
    EXPECT_TRUE(input(kViewer));
    EXPECT_EQ(injector.log, (std::vector<std::string>{"move 32,0", "button 1 down"}));
    // Paused: nothing.
    sharer.session.TogglePause();
    EXPECT_FALSE(input(kViewer));
    sharer.session.TogglePause();

    // The viewer forwards only while it holds control.
    EXPECT_TRUE(viewer.session.SendRemoteInput(KeyEvent('A', 30, false)));
    ASSERT_TRUE(sharer.session.GrantControl(kViewer, false));
    grant = sharer.Take(vkRemoteControl);
    viewer.session.OnRemoteControl(Header(vkRemoteControl, kSharer), grant[0].body);
    EXPECT_FALSE(viewer.session.Controlling());
    EXPECT_EQ(viewerView.control, (std::vector<bool>{true, false}));
    EXPECT_FALSE(viewer.session.SendRemoteInput(KeyEvent('A', 30, false)));
    EXPECT_FALSE(input(kViewer));
    // What the controller held down was let go when control was taken.
    EXPECT_EQ(injector.log.back(), "release");
}

TEST_F(SharingSession, AStartNamingTheOwnUserThatWasNotAskedForCapturesNothing) {
    sharer.session.OnStart(Header(vkAppShareStart, kSharer), StartBody(Desc()));
    EXPECT_FALSE(sharer.session.Running());
    EXPECT_EQ(sharer.session.TimerId(), 0);
    clock.Advance(1000);
    sharer.loop.ProcessPending();
    sharer.session.SendAppShareFrame();
    EXPECT_EQ(screen.captures, 0);
    EXPECT_TRUE(sharer.sent.empty());
    // Asked for, it starts once; a second unasked start does not restart it.
    Start();
    EXPECT_TRUE(sharer.session.OwnShare());
}

TEST(RemoteInput, FlagsAreWhitelistedAndCoordinatesClampedThroughTheSource) {
    const TRect screen{0, 0, 1000, 500};
    const TRect source{100, 50, 400, 200};  // a desktop share of part of the screen
    struct Case {
        TRemoteInputEvent e;
        std::vector<TInputAction> expect;
    };
    auto move = [](int x, int y) {
        TInputAction a;
        a.kind = TInputAction::Move;
        a.at = {x, y};
        return a;
    };
    auto button = [](int b, bool down) {
        TInputAction a;
        a.kind = TInputAction::Button;
        a.button = b;
        a.down = down;
        return a;
    };
    auto raw = [](uint8_t kind, int32_t flags, int32_t x, int32_t y) {
        TRemoteInputEvent e;
        e.eventKind = kind;
        e.flags = flags;
        e.dx = x;
        e.dy = y;
        return e;
    };
    TInputAction wheel;
    wheel.kind = TInputAction::Wheel;
    wheel.wheel = kMaxWheel;
    TInputAction keyUp;
    keyUp.kind = TInputAction::Key;
    keyUp.key = 'Q';
    keyUp.keyUp = true;
    const Case cases[] = {
        {MouseEvent(kMouseMove, {0, 0}), {move(100, 50)}},
        {MouseEvent(kMouseMove, {65535, 65535}), {move(499, 249)}},
        {raw(1, kMouseAbsolute | kMouseMove, 900000, -5), {move(499, 50)}},  // clamped
        {MouseEvent(kMouseRightUp, {32768, 32768}), {move(300, 150), button(3, false)}},
        {MouseEvent(kMouseWheel, {0, 0}, 1 << 30), {move(100, 50), wheel}},
        {raw(1, kMouseMove, 10, 10), {}},                          // relative
        {raw(1, kMouseAbsolute | 0x1000, 10, 10), {}},             // unknown bit
        {raw(1, kMouseAbsolute, 10, 10), {}},                      // nothing to do
        {raw(2, kMouseAbsolute | kMouseMove, 10, 10), {}},         // unknown kind
        {KeyEvent('Q', 16, true), {keyUp}},
        {[] { auto e = KeyEvent('Q', 16, false); e.flags = 4; return e; }(), {}},
        {KeyEvent(0, 0, false), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.e.eventKind) + "/" + std::to_string(c.e.flags));
        EXPECT_EQ(ResolveRemoteInput(c.e, 400, 200, source, screen), c.expect);
    }
    // Zero-size pictures divide nothing.
    EXPECT_TRUE(ResolveRemoteInput(MouseEvent(kMouseMove, {5, 5}), 0, 200, source, screen).empty());
}

TEST(ShareGeometry, LetterboxAndMappingThroughThePictureRectangle) {
    struct Box {
        int vw, vh, pw, ph;
        TRect expect;
    };
    for (const Box& b : {Box{800, 600, 1600, 1200, {0, 0, 800, 600}}, Box{800, 600, 1920, 1080, {0, 75, 800, 450}},
                         Box{800, 600, 600, 1200, {250, 0, 300, 600}}, Box{0, 600, 100, 100, {}},
                         Box{800, 600, 0, 0, {}}, Box{1, 1000, 4000, 10, {0, 499, 1, 1}}}) {
        EXPECT_EQ(LetterboxRect(b.vw, b.vh, b.pw, b.ph), b.expect) << b.vw << "x" << b.vh << " " << b.pw << "x" << b.ph;
    }
    const TRect shown = LetterboxRect(800, 600, 1920, 1080);
    EXPECT_FALSE(ViewToRemote(shown, 400, 10));  // upper margin
    EXPECT_FALSE(ViewToRemote(shown, 400, 525));  // lower margin
    EXPECT_EQ(ViewToRemote(shown, 0, 75), (TPoint{0, 0}));
    EXPECT_EQ(ViewToRemote(shown, 400, 300), (TPoint{32768, 32768}));
    EXPECT_FALSE(ViewToRemote(TRect{}, 0, 0));
    // A viewer pixel lands on the same sharer pixel at 1:1, to the last one.
    const TRect same{0, 0, 1280, 800};
    for (int x : {0, 1, 639, 1278, 1279}) {
        auto r = ViewToRemote(same, x, 799);
        ASSERT_TRUE(r);
        EXPECT_EQ(RemoteToScreen(r->x, r->y, 1280, 800, same, same), (TPoint{x, 799}));
    }
    EXPECT_EQ(ClipToScreen({1200, 700, 200, 200}, same), (TRect{1200, 700, 80, 100}));
    EXPECT_TRUE(ClipToScreen({1300, 0, 20, 20}, same).Empty());
}

// The key frame's deflate runs on the encoder thread: the tick hands the picture over and returns
// with nothing sent, and the frame leaves only once the loop runs the encoder's notice. Proved by
// order, not by a clock, so a loaded machine cannot fail it; the speed lives in bench/. The tick
// hands over the plain capture: the reduction to the pixel format, the difference and the
// compression all run on the encoder's thread, frame after frame in order.
TEST(SharingResponsiveness, AKeyFrameIsEncodedOffTheLoopAndSentByItsNotice) {
    FakeClock clock;
    Client sharer(clock, kSharer);
    FakeScreen screen;
    screen.w = 1920;
    screen.h = 1080;
    screen.rgb.assign(size_t(1920) * 1080, 0);
    for (size_t i = 0; i < screen.rgb.size(); ++i) screen.rgb[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    sharer.session.Screen = &screen;

    std::mutex mu;
    std::condition_variable cv;
    bool held = true;
    std::vector<std::string> steps;
    std::set<std::thread::id> threads;
    sharer.session.EncoderStep = [&](const char* step, uint64_t frame) {
        std::unique_lock lk(mu);
        steps.push_back(std::string(step) + " " + std::to_string(frame));
        threads.insert(std::this_thread::get_id());
        cv.notify_all();
        cv.wait(lk, [&] { return !held; });
    };
    // The guards only stop a hang, they judge no speed.
    auto drain = [&] {
        const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (sharer.session.EncodeInFlight() && std::chrono::steady_clock::now() < guard) {
            sharer.loop.ProcessPending();
            std::this_thread::yield();
        }
        ASSERT_FALSE(sharer.session.EncodeInFlight());
    };

    for (uint8_t format : {kPixelFormat8, kPixelFormat24}) {
        SCOPED_TRACE(int(format));
        {
            std::lock_guard lk(mu);
            held = true;
            steps.clear();
        }
        TAppShareDescriptor d = Desc(format);
        d.sourceWidth = d.pictureWidth = 1920;
        d.sourceHeight = d.pictureHeight = 1080;
        // The share's own timer stays out of the way: the test ticks by hand, and a timer tick
        // right after a notice would send a frame the steps below do not expect.
        d.frameInterval = 2000;
        ASSERT_TRUE(sharer.session.SendStart(d));
        sharer.sent.clear();
        sharer.session.OnStart(Header(vkAppShareStart, kSharer), StartBody(d));
        // The share's pictures are sized and faulted in on the encoder, not in the first tick: a
        // tick while that runs takes nothing.
        const int capturesBefore = screen.captures;
        sharer.session.SendAppShareFrame();
        EXPECT_EQ(screen.captures, capturesBefore);
        drain();
        sharer.session.SendAppShareFrame();
        EXPECT_TRUE(sharer.session.EncodeInFlight()) << "the tick did not hand the key frame to the encoder";
        EXPECT_TRUE(sharer.Take(vkAppShareFrame).empty()) << "the key frame was encoded inside the tick";
        // A second tick while the encoder works queues nothing more.
        sharer.session.SendAppShareFrame();
        std::vector<std::string> before;
        {
            // The encoder holds before its first step: the tick has returned with the picture
            // neither reduced nor compressed.
            std::unique_lock lk(mu);
            cv.wait_for(lk, std::chrono::minutes(2), [&] { return !steps.empty(); });
            before = steps;
            held = false;
        }
        cv.notify_all();
        ASSERT_EQ(before.size(), 1u);
        EXPECT_EQ(before[0].rfind("reduce ", 0), 0u) << before[0];
        drain();
        auto frames = sharer.Take(vkAppShareFrame);
        ASSERT_EQ(frames.size(), 1u);

        // A change: its reduction and difference run on the encoder too, after the key frame's.
        screen.rgb[size_t(500) * 1920 + 700] ^= 0xFFFFFF;
        clock.Advance(250);
        sharer.session.SendAppShareFrame();
        drain();
        frames = sharer.Take(vkAppShareFrame);
        ASSERT_EQ(frames.size(), 1u);
        TAppShareFrameHeader h;
        ByteReader r(frames[0].body);
        ASSERT_TRUE(ReadAppShareFrameHeader(r, h));
        EXPECT_EQ(h.frameNumber, 1);
        EXPECT_EQ(h.delta, 1);
        {
            std::lock_guard lk(mu);
            const auto first = steps.front().substr(7);  // "reduce N"
            const uint64_t n = std::stoull(first);
            EXPECT_EQ(steps, (std::vector<std::string>{"reduce " + std::to_string(n), "encode " + std::to_string(n),
                                                       "reduce " + std::to_string(n + 1), "xor " + std::to_string(n + 1),
                                                       "encode " + std::to_string(n + 1)}));
            EXPECT_EQ(threads.size(), 1u);
            EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
        }
        sharer.session.StopLocally();
    }
}

}  // namespace

namespace {

TEST(SharingDifference, OnePassXorCountsWhatTheTwoPassScanCounts) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (uint8_t format : {kPixelFormat8, kPixelFormat16, kPixelFormat24})
        for (int32_t width : {3, 5, 97, 640}) {
            ShareBitmap a, b, one, two;
            ASSERT_TRUE(a.SetGeometry(format, width, 7));
            ASSERT_TRUE(b.SetGeometry(format, width, 7));
            ASSERT_TRUE(one.SetGeometry(format, width, 7));
            ASSERT_TRUE(two.SetGeometry(format, width, 7));
            for (size_t i = 0; i < a.ByteSize(); ++i) a.Bits()[i] = uint8_t(next() >> 24);
            std::copy_n(a.Bits(), a.ByteSize(), b.Bits());
            for (int n = 0; n < 5; ++n) b.Bits()[next() % b.ByteSize()] ^= 0x40;
            ASSERT_TRUE(XorBitmaps(two, a, b));
            EXPECT_EQ(XorAndCountChanged(one, a, b, 5), ChangedSegmentCount(two, 5)) << int(format) << " " << width;
            EXPECT_EQ(one, two);
        }
    ShareBitmap small;
    small.SetGeometry(kPixelFormat8, 2, 2);
    ShareBitmap big;
    big.SetGeometry(kPixelFormat8, 3, 2);
    EXPECT_EQ(XorAndCountChanged(small, big, small, 5), -1);
}

}  // namespace
