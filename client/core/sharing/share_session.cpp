#include "sharing/share_session.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "protocol/message_kinds.h"
#include "protocol/wm_app.h"
#include "session/result_texts.h"
#include "wire/bytes.h"

namespace orb::sharing {

using namespace orb::appshare;

namespace {
constexpr size_t kCaptionHeadLimit = 209;
constexpr int32_t kMinInterval = 250, kMaxInterval = 2000;
}  // namespace

std::string ShareCaption(const std::string& name, const std::string& title, bool paused) {
    std::string head = name + "\t sharing ";
    if (head.size() > kCaptionHeadLimit) head.resize(kCaptionHeadLimit);
    return head + title + (paused ? " (PAUSED)" : "");
}

std::string TileShareCaption(const std::string& name, const std::string& title) {
    return name + " sharing " + title;
}

TRect PictureSourceRect(const TAppShareDescriptor& d) {
    if (d.shareMode == kShareModeDesktop) return {d.sourceLeft, d.sourceTop, d.sourceWidth, d.sourceHeight};
    return {0, 0, d.pictureWidth, d.pictureHeight};
}

bool AcceptDescriptor(TAppShareDescriptor& d) {
    if (d.shareMode < kShareModeDesktop || d.shareMode > kShareModeWindow) return false;
    if (!BytesPerPixel(d.pixelFormat) || !PictureGeometryOk(d.pixelFormat, d.pictureWidth, d.pictureHeight))
        return false;
    if (d.segmentsPerLine < 1 || d.segmentsPerLine > kMaxSegmentsPerLine) return false;
    if (d.sourceWidth <= 0 || d.sourceHeight <= 0) return false;
    d.frameInterval = std::clamp(d.frameInterval, kMinInterval, kMaxInterval);
    return true;
}

// ---- The encoder thread: one job at a time, results in the order of the jobs. Every picture of a
// job travels with it and comes back with its result, so nothing is copied between the threads.

struct TShareSession::EncodeResult {
    uint64_t serial = 0;
    bool key = false;
    int64_t captureTime = 0;
    std::vector<uint8_t> stream;
    TRgbPicture capture;
    ShareBitmap previous;  // the base the difference was taken against (empty for a key frame)
    ShareBitmap current;   // the capture in the share's format: the next base once queued
    ShareBitmap delta;
};

struct TShareSession::Encoder {
    struct Job {
        uint64_t serial = 0;
        uint64_t frame = 0;
        // Only sizes the pictures (and touches their pages) ahead of the share's first tick.
        bool warmup = false;
        bool key = false;
        int64_t captureTime = 0;
        uint8_t format = 0;
        int32_t segments = kDefaultSegmentsPerLine;
        TRgbPicture capture;
        ShareBitmap previous;
        ShareBitmap current;
        ShareBitmap delta;
        std::function<void(const char*, uint64_t)> step;
    };

    Encoder(IEventLoop& loop, WindowHandle notify) : loop_(loop), notify_(notify), thread_([this] { Run(); }) {}
    ~Encoder() {
        {
            std::lock_guard lk(mu_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Submit(Job job) {
        {
            std::lock_guard lk(mu_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }
    bool TakeResult(EncodeResult& out) {
        std::lock_guard lk(mu_);
        if (results_.empty()) return false;
        out = std::move(results_.front());
        results_.pop_front();
        return true;
    }

private:
    static void Make(Job& job, EncodeResult& r) {
        auto step = [&](const char* what) {
            if (job.step) job.step(what, job.frame);
        };
        const int32_t w = job.capture.width, h = job.capture.height;
        if (job.warmup) {
            if (job.capture.pixels.size() != size_t(w) * size_t(h)) job.capture.pixels.assign(size_t(w) * size_t(h), 0);
            job.current.SetGeometry(job.format, w, h);
            job.delta.SetGeometry(job.format, w, h);
            return;
        }
        step("reduce");
        if (!job.current.SetGeometry(job.format, w, h) || job.capture.pixels.size() < size_t(w) * size_t(h)) return;
        for (int32_t y = 0; y < h; ++y) StoreRgbRow(job.format, job.capture.Row(y), size_t(w), job.current.ScanLine(y));
        if (job.key) {
            // A key frame is the picture itself: encoded straight from it, no copy.
            step("encode");
            EncodeBitmapSegments(job.format, job.current, false, job.segments, r.stream);
            return;
        }
        step("xor");
        if (!job.delta.SetGeometry(job.format, w, h) ||
            XorAndCountChanged(job.delta, job.current, job.previous, job.segments) < 0)
            return;
        step("encode");
        EncodeBitmapSegments(job.format, job.delta, true, job.segments, r.stream);
    }

    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lk(mu_);
                cv_.wait(lk, [this] { return stop_ || !jobs_.empty(); });
                if (stop_) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            EncodeResult r;
            r.serial = job.serial;
            r.key = job.key;
            r.captureTime = job.captureTime;
            try {
                Make(job, r);
            } catch (...) {
                // Out of memory: the frame is dropped, the pictures go back all the same.
                r.stream.clear();
            }
            r.capture = std::move(job.capture);
            r.previous = std::move(job.previous);
            r.current = std::move(job.current);
            r.delta = std::move(job.delta);
            {
                std::lock_guard lk(mu_);
                results_.push_back(std::move(r));
            }
            // The handle is unregistered before the encoder goes, so a late post is dropped.
            loop_.Post(notify_, WM_APP + 200, 0, 0);
        }
    }

    IEventLoop& loop_;
    WindowHandle notify_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    std::deque<EncodeResult> results_;
    bool stop_ = false;
    std::thread thread_;
};

// ---- Session

TShareSession::TShareSession(IEventLoop& loop, TShareTransport transport)
    : loop_(loop), transport_(std::move(transport)) {
    self_ = loop_.RegisterWindow([this](uint32_t, std::intptr_t, std::intptr_t) { EncodeDone(); });
}

TShareSession::~TShareSession() {
    StopTimer();
    loop_.UnregisterWindow(self_);
    encoder_.reset();
}

bool TShareSession::Send(uint16_t kind, std::span<const uint8_t> body) {
    if (!Connected() || !transport_.Send) return false;
    return transport_.Send(kind, body);
}

bool TShareSession::FromSharer(const TVCRHeader& h) const {
    // The server may speak for the sharer (sender 0), e.g. when the sharer's connection went.
    return h.sender == descriptor_.userId || h.sender == 0;
}

void TShareSession::StartTimer() {
    StopTimer();
    tmrAppShareFrame = loop_.SetTimer(descriptor_.frameInterval, [this] { tmrAppShareFrameTimer(); });
}

void TShareSession::tmrAppShareFrameTimer() {
    try {
        SendAppShareFrame();
    } catch (...) {
        // A failed tick is abandoned; the next one starts again from the capture.
    }
}

void TShareSession::StopTimer() {
    if (tmrAppShareFrame) loop_.KillTimer(tmrAppShareFrame);
    tmrAppShareFrame = 0;
}

// ---- Sharer

bool TShareSession::SendStart(const TAppShareDescriptor& d, uint32_t window) {
    std::vector<uint8_t> body;
    ByteWriter w(body);
    WriteAppShareDescriptor(w, d);
    if (!Send(vkAppShareStart, body)) return false;
    pendingWindow_ = d.shareMode == kShareModeWindow ? window : 0;
    startRequested_ = true;
    return true;
}

bool TShareSession::SendStop() {
    if (View) View->SharerStopping();
    StopTimer();
    if (transport_.DropQueuedKind) transport_.DropQueuedKind(vkAppShareFrame);
    // A frame still being encoded must not follow the stop.
    stopSent_ = true;
    return Send(vkAppShareStop, {});
}

bool TShareSession::TogglePause() {
    if (!OwnShare()) return false;
    if (state_ == kShareStateSharing) {
        state_ = kShareStatePaused;
        StopTimer();
    } else {
        state_ = kShareStateSharing;
        StartTimer();
    }
    if (View) View->PauseChanged(state_ == kShareStatePaused);
    std::vector<uint8_t> body;
    ByteWriter w(body);
    WriteAppShareState(w, state_);
    return Send(vkAppShareState, body);
}

bool TShareSession::GrantControl(int32_t user, bool on) {
    if (!OwnShare() || user == 0) return false;
    std::vector<uint8_t> body;
    ByteWriter w(body);
    WriteRemoteControlGrant(w, {user, on ? 1 : 0});
    if (!Send(vkRemoteControl, body)) return false;
    ApplyGrant(user, on);
    return true;
}

void TShareSession::SendAppShareFrame() {
    if (!OwnShare() || state_ != kShareStateSharing || stopSent_ || !Screen) return;
    // One frame at a time: while the last one is still being encoded, this tick is skipped and the
    // next difference covers the time.
    if (encoding_) return;
    if (transport_.QueuedBytes && transport_.SendLimit && transport_.QueuedBytes() > transport_.SendLimit()) return;
    if (!Connected()) return;
    if (descriptor_.shareMode == kShareModeWindow && !Screen->WindowExists(window_)) {
        SendStop();
        return;
    }
    // The tick only takes the screen; reduction, difference and compression run on the encoder.
    if (!Screen->Capture(descriptor_, window_, CaptureTranslucent, ShowBorder, capture_)) return;
    if (capture_.width != descriptor_.pictureWidth || capture_.height != descriptor_.pictureHeight ||
        capture_.pixels.size() < size_t(capture_.width) * size_t(capture_.height))
        return;
    const int64_t now = loop_.Clock().NowMs();
    const bool key = frameCounter_ == 0 || previous_.PixelFormat() != descriptor_.pixelFormat ||
                     previous_.Width() != capture_.width || previous_.Height() != capture_.height ||
                     now - lastKeyTime_ >= KeyFrameDueAfterMs();
    Encoder::Job job;
    job.serial = serial_;
    job.frame = ++captures_;
    job.key = key;
    job.captureTime = now;
    job.format = descriptor_.pixelFormat;
    job.segments = descriptor_.segmentsPerLine;
    job.capture = std::move(capture_);
    job.previous = std::move(previous_);
    job.current = std::move(current_);
    job.delta = std::move(delta_);
    job.step = EncoderStep;
    if (!encoder_) encoder_ = std::make_unique<Encoder>(loop_, self_);
    encoding_ = true;
    encoder_->Submit(std::move(job));
}

void TShareSession::WarmUp() {
    // The first tick would otherwise allocate and fault in a whole screen's pictures on the main
    // thread; the encoder does it now, and ticks wait until it is done.
    Encoder::Job job;
    job.serial = serial_;
    job.warmup = true;
    job.format = descriptor_.pixelFormat;
    job.capture = std::move(capture_);
    job.capture.width = descriptor_.pictureWidth;
    job.capture.height = descriptor_.pictureHeight;
    job.current = std::move(current_);
    job.delta = std::move(delta_);
    if (!encoder_) encoder_ = std::make_unique<Encoder>(loop_, self_);
    encoding_ = true;
    encoder_->Submit(std::move(job));
}

int64_t TShareSession::KeyFrameDueAfterMs() const {
    const int64_t rate = transport_.SendRate ? transport_.SendRate() : 0;
    if (rate <= 0) return KeyFrameIntervalMs;
    const int64_t sendMs = int64_t(lastKeyBytes_) * 1000 / rate;
    return std::max(KeyFrameIntervalMs, sendMs * kKeyFrameLinkShare);
}

void TShareSession::EncodeDone() {
    EncodeResult r;
    while (encoder_ && encoder_->TakeResult(r)) {
        if (r.serial != serial_) continue;
        encoding_ = false;
        // The pictures come back for the next frame; the base stays as the viewers have it until
        // this frame is queued.
        capture_ = std::move(r.capture);
        previous_ = std::move(r.previous);
        current_ = std::move(r.current);
        delta_ = std::move(r.delta);
        if (!OwnShare() || stopSent_ || r.stream.empty()) continue;
        const int64_t now = loop_.Clock().NowMs();
        TAppShareFrameHeader fh;
        fh.frameNumber = frameCounter_;
        fh.keyFrame = r.key ? 1 : 0;
        fh.delta = r.key ? 0 : 1;
        fh.streamLength = int32_t(r.stream.size());
        fh.interval = int32_t(std::clamp<int64_t>(now - (frameCounter_ == 0 ? r.captureTime : lastFrameTime_), 0,
                                                  INT32_MAX));
        std::vector<uint8_t> body;
        body.reserve(TAppShareFrameHeader::kSize + r.stream.size());
        ByteWriter w(body);
        WriteAppShareFrameHeader(w, fh);
        w.bytes(r.stream.data(), r.stream.size());
        if (!Send(vkAppShareFrame, body)) continue;
        std::swap(previous_, current_);
        lastFrameTime_ = now;
        if (r.key) {
            lastKeyTime_ = r.captureTime;
            lastKeyBytes_ = body.size();
        }
        ++frameCounter_;
    }
}

// ---- Handlers

void TShareSession::OnStart(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0) {
        if (View) View->ShowError(ServerErrorText(h.result));
        if (Running()) EndShare();
        state_ = kShareStateNone;
        return;
    }
    ByteReader r(body);
    TAppShareDescriptor d;
    uint8_t state = kShareStateSharing;
    if (!ReadAppShareDescriptor(r, d)) return;
    // The server appends the share's state; a message without it is a running share.
    if (!r.u8(state) || (state != kShareStateSharing && state != kShareStatePaused)) state = kShareStateSharing;
    if (!AcceptDescriptor(d)) return;
    const bool own = d.userId == Own() && !Playback();
    if (own && !startRequested_) return;
    if (Running()) EndShare();

    descriptor_ = d;
    ++serial_;
    stopSent_ = false;
    controller_ = 0;
    granted_ = false;
    sharer_ = d.userId == Own() && !Playback();
    if (!sharer_) {
        if (!decoder_.Start(d.pixelFormat, d.pictureWidth, d.pictureHeight, d.segmentsPerLine)) return;
        lastApplied_ = 0;
        waitingForKey_ = true;
        state_ = state;
        if (View) View->OpenShareViewer(d, ShareCaption(d.sharerName, d.title, state == kShareStatePaused));
    } else {
        window_ = pendingWindow_;
        pendingWindow_ = 0;
        startRequested_ = false;
        frameCounter_ = 0;
        previous_.Clear();
        encoding_ = false;
        state_ = state;
        if (View) View->SharerStarted(d);
        WarmUp();
        if (state_ == kShareStateSharing) StartTimer();
    }
    SetRow(d.userId, kRowSharing);
}

void TShareSession::EndShare() {
    const bool wasSharer = sharer_;
    const int32_t sharer = descriptor_.userId;
    state_ = kShareStateNone;
    ++serial_;
    if (!wasSharer) {
        decoder_.Stop();
        if (View) View->CloseViewer();
    } else {
        StopTimer();
        if (Injector) Injector->ReleaseAll();
        encoding_ = false;
        previous_.Clear();
        current_.Clear();
        delta_.Clear();
        capture_ = TRgbPicture{};
        if (View) View->SharerStopped();
    }
    if (controller_) SetRow(controller_, kRowNoShare);
    SetRow(sharer, kRowNoShare);
    controller_ = 0;
    granted_ = false;
    SetControlling(false);
    sharer_ = false;
    stopSent_ = false;
}

void TShareSession::StopLocally() {
    if (Running()) EndShare();
    if (tiles_.Exists()) OnTileStopped();
}

void TShareSession::OnStop(const TVCRHeader& h) {
    if (!Running() || !FromSharer(h)) return;
    EndShare();
}

void TShareSession::OnFrame(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0 || !Running() || sharer_ || !FromSharer(h)) return;
    TAppShareFrameHeader fh;
    std::span<const uint8_t> stream;
    if (!ReadAppShareFrame(body, fh, stream) || fh.streamLength == 0) return;
    const bool key = fh.keyFrame == 1 && fh.delta == 0;
    if (!key && (waitingForKey_ || fh.frameNumber != lastApplied_ + 1)) {
        // A gap: what follows builds on a picture this viewer does not have.
        waitingForKey_ = true;
        return;
    }
    const DecodeStatus st = decoder_.Apply(stream, !key);
    if (st != DecodeStatus::Applied) {
        waitingForKey_ = true;
        return;
    }
    lastApplied_ = fh.frameNumber;
    waitingForKey_ = false;
    const ChangedArea& c = decoder_.LastChanged();
    if (View && !c.Empty()) View->PictureChanged(decoder_.Picture(), {c.left, c.top, c.right - c.left, c.bottom - c.top});
}

void TShareSession::OnState(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (!Running() || !FromSharer(h)) return;
    ByteReader r(body);
    uint8_t state = 0;
    if (!ReadAppShareState(r, state)) return;
    if (sharer_) {
        // The own pause is already in force; the echo changes nothing.
        return;
    }
    state_ = state;
    if (View) View->SetViewCaption(ShareCaption(descriptor_.sharerName, descriptor_.title, state == kShareStatePaused));
}

void TShareSession::ApplyGrant(int32_t user, bool on) {
    if (controller_ && controller_ != user) SetRow(controller_, kRowNoShare);
    SetRow(user, on ? kRowRemoteControl : kRowNoShare);
    // Whatever the last controller still held down is let go when control moves on.
    if (sharer_ && Injector && granted_ && (!on || user != controller_)) Injector->ReleaseAll();
    controller_ = user;
    granted_ = on;
    SetControlling(!sharer_ && on && user == Own() && !Playback());
}

void TShareSession::SetControlling(bool on) {
    if (controlling_ == on) return;
    controlling_ = on;
    if (View) View->RemoteControl(on || tileControl_);
}

void TShareSession::OnRemoteControl(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0) {
        controller_ = 0;
        granted_ = false;
        SetControlling(false);
        return;
    }
    // Only the sharer hands control over.
    if (!Running() || h.sender != descriptor_.userId) return;
    ByteReader r(body);
    TRemoteControlGrant g;
    if (!ReadRemoteControlGrant(r, g) || g.userId == 0) return;
    ApplyGrant(g.userId, g.on == 1);
}

bool TShareSession::OnRemoteInput(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0 || !OwnShare() || state_ != kShareStateSharing || stopSent_) return false;
    if (!granted_ || controller_ == 0 || h.sender != controller_ || !Injector) return false;
    ByteReader r(body);
    TRemoteInputEvent e;
    if (!TRemoteInputEvent::Decode(r, e)) return false;
    const auto actions = ResolveRemoteInput(e, descriptor_.pictureWidth, descriptor_.pictureHeight,
                                            PictureSourceRect(descriptor_), Injector->ScreenRect());
    if (actions.empty()) return false;
    return ReplayInput(*Injector, actions);
}

bool TShareSession::SendRemoteInput(const TRemoteInputEvent& e) {
    if (!(controlling_ && Running() && !sharer_) && !(tileControl_ && tiles_.Exists())) return false;
    std::vector<uint8_t> body;
    ByteWriter w(body);
    e.Encode(w);
    return Send(vkRemoteInput, body);
}

void TShareSession::SetRow(int32_t user, int state) {
    if (state == kRowNoShare)
        rows_.erase(user);
    else
        rows_[user] = state;
    if (View) View->SetShareState(user, state);
}

// ---- Tile scheme

void TShareSession::OpenTiles(const TPaneShareInfo& info) {
    if (!tiles_.Create(info)) return;
    tileControl_ = false;
    if (View) View->ShowPaneViewer(info, tiles_.Picture(), TileShareCaption(info.sharerName, info.title));
}

void TShareSession::OnTileStarted(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0) {
        if (View) View->ShowError(ServerErrorText(h.result));
        return;
    }
    ByteReader r(body);
    TPaneShareInfo info;
    if (!ReadPaneShareInfo(r, info)) return;
    if (info.userId != Own() || Playback()) OpenTiles(info);
}

void TShareSession::OnTileDescriptor(const TVCRHeader& h, std::span<const uint8_t> body) {
    ByteReader r(body);
    TPaneShareInfo info;
    if (h.result != 0 || !ReadPaneShareInfo(r, info) || info.active == 0) return;
    OpenTiles(info);
}

void TShareSession::OnTileStopped() {
    const bool had = tiles_.Exists();
    tiles_.Clear();
    if (tileControl_) {
        tileControl_ = false;
        if (View) View->RemoteControl(controlling_);
    }
    if (had && View) View->CloseTileViewer();
}

void TShareSession::OnTilePanes(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0 || !tiles_.Exists()) return;
    const auto res = tiles_.DrawPaneFrame(body);
    // One repaint for the whole message.
    if (res.applied && View) View->TilePictureChanged(tiles_.Picture(), res.dirty);
}

void TShareSession::OnTileCursor(const TVCRHeader& h, std::span<const uint8_t> body) {
    if (h.result != 0 || !tiles_.Exists()) return;
    if (tiles_.DrawRemoteCursor(body) && View) View->TileCursorChanged(tiles_.CursorRect(), tiles_.CursorImage());
}

void TShareSession::OnTileControl(const TVCRHeader& h, bool on) {
    if (h.result != 0 || h.sender == Own() || !tiles_.Exists()) return;
    if (tileControl_ == on) return;
    tileControl_ = on;
    if (View) View->RemoteControl(on || controlling_);
}

bool TShareSession::SendPaneStamps() {
    if (!tiles_.Exists()) return false;
    std::vector<uint8_t> body;
    ByteWriter w(body);
    const auto stamps = tiles_.Stamps();
    WritePaneStamps(w, stamps);
    return Send(vkSharePanes, body);
}

bool TShareSession::SendShareCursorRequest() {
    if (!tiles_.Exists()) return false;
    return Send(vkShareCursor, {});
}

}  // namespace orb::sharing
