#include "video_session.h"

#include <cmath>
#include <cstring>

#include "protocol/wm_app.h"
#include "yuv_converts.h"

namespace orb::video {

namespace {
// The camera thread tells the window that a new preview picture waits (window-local number).
constexpr uint32_t kWmVideoPreview = WM_APP + 240;

template <class F>
void Guarded(F&& f) {
    try {
        f();
    } catch (...) {
    }
}

// A bottom-up 32-bit picture turned top-down.
void FlipInto(const uint32_t* bottomUp, int w, int h, TPicture& out) {
    out.width = w;
    out.height = h;
    out.pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::memcpy(out.pixels.data() + size_t(y) * size_t(w), bottomUp + size_t(h - 1 - y) * size_t(w),
                    size_t(w) * 4);
}
}  // namespace

TVideoSession::TVideoSession(TVideoEnvironment env, IVideoView& view) : env_(std::move(env)), view_(view) {
    handle_ = env_.loop->RegisterWindow(
        [this](uint32_t msg, std::intptr_t w, std::intptr_t l) { HandleMessage(msg, w, l); });
}

TVideoSession::~TVideoSession() {
    FormClose();
    env_.loop->UnregisterWindow(handle_);
}

TVideoConnectionParams TVideoSession::ConnectionParams(uint32_t mode) {
    TVideoConnectionParams p;
    p.loop = env_.loop;
    p.window = handle_;
    p.buffer = buffer_.get();
    p.viewUser = UserId;
    p.registration = Registration;
    p.room = Room;
    p.host = env_.host;
    p.port = env_.port;
    p.mode = mode;
    p.connect = env_.connect;
    p.release = env_.release;
    return p;
}

void TVideoSession::Fail(const std::string& text) {
    view_.ShowInfo(text);
    StartCloseTimer();
}

void TVideoSession::StartCloseTimer() {
    if (tmrClose) return;
    tmrClose = env_.loop->SetTimer(kCloseDelayMs, [this] { tmrCloseTimer(); });
}

void TVideoSession::tmrCloseTimer() {
    env_.loop->KillTimer(tmrClose);
    tmrClose = 0;
    view_.CloseWindow();
}

void TVideoSession::tmrReadTimer() {
    if (thread_) thread_->PollVideoFrame();
}

void TVideoSession::StopReadTimer() {
    if (tmrRead) env_.loop->KillTimer(tmrRead);
    tmrRead = 0;
}

void TVideoSession::StartPublishing() {
    mode_ = 0;
    view_.ShowMessagePanel();
    view_.ShowInfo(texts::kInitCamera);
    fps_ = ClampFramesPerSecond(env_.settings.frameRate);
    // Without a camera (and without the test picture chosen) nothing is opened and nothing is
    // registered: the user reads why and the window goes.
    const std::optional<TCaptureDriver> driver = ChooseCaptureDriver(
        env_.drivers ? env_.drivers() : ListCaptureDrivers(), env_.settings.driverIndex, env_.settings.syntheticCamera);
    if (!driver) {
        Fail(ENotConnectException().what());
        return;
    }
    try {
        cap_ = std::make_unique<TVideoCap>(std::vector<TCaptureDriver>{*driver});
        cap_->SetDriverIndex(0);
        cap_->SetPreviewRate(fps_);
        cap_->SetFrameRate(fps_);
        cap_->SetDriverOpen(true);

        view_.ShowInfo(texts::kCheckingFormat);
        camera_ = cap_->VideoFormatHeader();
        TBitmapInfoHeader wanted;
        wanted.biBitCount = camera_.biBitCount;
        wanted.biCompression = camera_.biCompression;
        wanted.biWidth = kPublishWidth;
        wanted.biHeight = kPublishHeight;
        wanted.biPlanes = 1;
        wanted.biSizeImage = DibLineBytes(kPublishWidth, wanted.biBitCount) * kPublishHeight;
        if (camera_.biWidth != wanted.biWidth || std::abs(camera_.biHeight) != wanted.biHeight ||
            camera_.biBitCount != wanted.biBitCount) {
            view_.ShowInfo(texts::kUpdatingFormat);
            ++reconfigurations_;
            try {
                cap_->SetVideoFormat(wanted);
            } catch (const EFalseFormat&) {
            }
            cap_->SetDriverOpen(false);
            cap_->SetDriverOpen(true);
            camera_ = cap_->VideoFormatHeader();
        }
    } catch (const std::exception& e) {
        Fail(e.what());
        return;
    }
    converterId_ = YuvFormatOf(camera_.biCompression);
    // Uncompressed pictures pass unchanged only as 24-bit RGB.
    if (converterId_ == kConvRgb && camera_.biBitCount != 24) converterId_ = kConvUnsupported;
    camera_.biHeight = std::abs(camera_.biHeight);

    const uint32_t fourcc = PublishCompressor(env_.settings.compressor);
    if (!VideoCodecEncodes(fourcc)) {
        view_.ShowInfo(FourccUpper(fourcc) == kFourccWMV3
                           ? std::string(texts::kWmv9Missing)
                           : "The " + FourccText(fourcc) + "\r\ncodec is not installed.");
        if (env_.openVideoSettings) env_.openVideoSettings();
        StartCloseTimer();
        return;
    }

    cap_->VideoPreview = true;
    view_.SetClientSize(camera_.biWidth, camera_.biHeight + 24);
    view_.SetOptionsIsStop();
    view_.ShowInfo(texts::kInitCompressor);

    codec_ = std::make_unique<TVideoCoDec>();
    input_ = TBitmapInfoHeader{};
    input_.biWidth = camera_.biWidth;
    input_.biHeight = camera_.biHeight;
    input_.biCompression = 0;
    input_.biBitCount = converterId_ == kConvRgb ? 24 : 32;
    input_.biSizeImage = DibLineBytes(input_.biWidth, input_.biBitCount) * uint32_t(input_.biHeight);
    output_ = input_;
    output_.biCompression = fourcc;
    codec_->ForceKeyFrames = true;
    bool started = codec_->InitCompressor(input_, output_, kPublishKeyInterval, kQuality);
    if (started) {
        codec_->SetDataRate(env_.settings.bytesPerSecond, int(std::lround(1000000.0 / fps_)), 0);
        started = codec_->StartCompress();
    }
    if (!started) {
        Fail(VideoCodecErrorText(codec_->LastError));
        return;
    }
    view_.ShowInfo(codec_->Description);

    buffer_ = std::make_unique<TeVideoBuffer>(1);
    thread_ = std::make_unique<TVideoThread>(ConnectionParams(kVideoPublish));
    TVideoFormatRec rec;
    rec.header = output_;
    rec.header.biSizeImage = input_.biSizeImage;
    rec.framesPerSecond = uint16_t(fps_);
    rec.keyFrameInterval = kPublishKeyInterval;
    thread_->Format = rec;
    view_.ShowInfo(texts::kCommunicating);
    int result = thread_->RegisterVideo();
    if (result != 0 || !thread_->Connected()) {
        thread_.reset();
        Fail(texts::kNoServer);
        return;
    }
    view_.ShowInfo(texts::kUpdatingCompression);
    thread_->SendVideoFormat();
    thread_->Resume();
    view_.ShowInfo(texts::kInitTransmission);
    try {
        cap_->OnVideoStream = [this](const uint8_t* d, size_t n) { VidCapVideoStream(d, n); };
        cap_->StartCapture();
    } catch (const std::exception& e) {
        Fail(e.what());
        return;
    }
    view_.ShowCameraPanel();
    publishing_ = true;
    if (env_.setPublishing) env_.setPublishing(true);
    if (env_.addToList) env_.addToList();
}

void TVideoSession::VidCapVideoStream(const uint8_t* data, size_t size) {
    try {
        if (converterId_ == kConvUnsupported || !codec_ || !buffer_ || !data) return;
        const int w = camera_.biWidth, h = camera_.biHeight;
        std::span<const uint8_t> picture;
        if (converterId_ == kConvRgb) {
            const size_t line = DibLineBytes(w, 24);
            if (size < line * size_t(h)) return;
            picture = {data, line * size_t(h)};
            scratch_.resize(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* p = data + size_t(y) * line + size_t(x) * 3;
                    scratch_[size_t(y) * size_t(w) + size_t(x)] = p[0] | (p[1] << 8) | (p[2] << 16);
                }
        } else {
            scratch_.resize(size_t(w) * size_t(h));
            if (!ConvertYuvFrame(converterId_, {data, size}, scratch_, h, w)) return;
            picture = {reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size() * 4};
        }
        {
            std::lock_guard lock(previewMu_);
            FlipInto(scratch_.data(), w, h, preview_);
            if (!previewPending_) {
                previewPending_ = true;
                env_.loop->Post(handle_, kWmVideoPreview, 0, 0);
            }
        }
        bool key = false;
        std::span<const uint8_t> out = codec_->CompressFrame(picture, key);
        if (out.empty()) return;
        auto frame = std::make_unique<TVideoFrame>();
        frame->rec.keyFrame = key ? 1 : 0;
        frame->rec.size = uint32_t(out.size());
        frame->data.assign(out.begin(), out.end());
        {
            std::lock_guard lock(previewMu_);
            lastCompressed_ = frame->data;
        }
        buffer_->Add(frame);
    } catch (...) {
    }
}

std::vector<uint8_t> TVideoSession::LastCompressedFrame() const {
    std::lock_guard lock(previewMu_);
    return lastCompressed_;
}

void TVideoSession::ShowPreview() {
    TPicture p;
    {
        std::lock_guard lock(previewMu_);
        previewPending_ = false;
        p = preview_;
    }
    if (p.width > 0 && !closed_) view_.ShowPicture(p);
}

void TVideoSession::StartViewing() {
    mode_ = 1;
    view_.ShowMessagePanel();
    view_.ShowInfo(texts::kViewInit);
    codec_ = std::make_unique<TVideoCoDec>();
    thread_ = std::make_unique<TVideoThread>(ConnectionParams(kVideoView));
    thread_->OnFrame = [this](int result, const TVideoFrameRec& rec, std::span<const uint8_t> data) {
        VideoFrameReceived(result, rec, data);
    };
    view_.ShowInfo(texts::kViewCommunicating);
    int result = thread_->RegisterVideo();
    if (result != 0 || !thread_->Connected()) {
        thread_.reset();
        Fail(texts::kViewNoServer);
        return;
    }
    view_.ShowInfo(texts::kGettingInfo);
    thread_->RequestVideo();
    thread_->Resume();
    if (env_.addToList) env_.addToList();
}

void TVideoSession::HandleMessage(uint32_t msg, std::intptr_t wParam, std::intptr_t) {
    if (closed_) return;
    if (msg == WM_APP_VIDEOFORMAT) VideoFormatReceived(int(wParam));
    else if (msg == WM_APP_VIDEOFRAME) VideoFrameReceived(int(wParam), {}, {});
    else if (msg == kWmVideoPreview) ShowPreview();
}

void TVideoSession::VideoFormatReceived(int result) {
    if (!thread_ || mode_ != 1) return;
    if (result != 0) {
        StopReadTimer();
        view_.ShowMessagePanel();
        view_.ShowInfo(texts::kNotAvailable);
        return;
    }
    TVideoFormatRec rec = thread_->ReceivedFormat();
    fps_ = ClampFramesPerSecond(rec.framesPerSecond);
    keyInterval_ = rec.keyFrameInterval < 1 ? 1 : rec.keyFrameInterval;
    frameCounter_ = 0;
    const uint32_t code = rec.header.biCompression;
    if (!VideoCodecDecodes(code)) {
        view_.ShowInfo(FourccUpper(code) == kFourccWMV3 ? std::string(texts::kWmv9Missing)
                                                         : "The " + FourccText(code) + "\r\ncodec is not installed.");
        if (env_.openVideoSettings) env_.openVideoSettings();
        StartCloseTimer();
        return;
    }
    input_ = rec.header;
    output_ = rec.header;
    output_.biCompression = 0;
    output_.biSize = 40;
    bool ok = codec_->InitDecompressor(input_, output_, keyInterval_, kQuality);
    if (ok) {
        codec_->SetDataRate(env_.settings.bytesPerSecond, int(std::lround(1000000.0 / fps_)), 0);
        ok = codec_->StartDecompress();
    }
    if (!ok) {
        view_.ShowInfo(std::string(texts::kFailed) + VideoCodecErrorText(codec_->LastError));
        return;
    }
    view_.ShowPicturePanel();
    StopReadTimer();
    readInterval_ = PollIntervalMs(fps_);
    tmrRead = env_.loop->SetTimer(readInterval_, [this] { tmrReadTimer(); });
    view_.SetClientSize(output_.biWidth, std::abs(output_.biHeight) + 24);
    view_.ShowBufferingLabel(texts::kBuffering, true);
}

void TVideoSession::VideoFrameReceived(int result, const TVideoFrameRec& rec, std::span<const uint8_t> data) {
    if (closed_ || mode_ != 1) return;
    if (result == kVideoStopped) {
        StopReadTimer();
        view_.ShowMessagePanel();
        view_.ShowInfo(texts::kStopped);
        StartCloseTimer();
        return;
    }
    if (result != 0) return;  // 100: the connection's loop ended; others: nothing to show
    if (!codec_ || !codec_->Decompressing()) {
        view_.ShowBufferingLabel(texts::kCompressorFailed, true);
        return;
    }
    ++frameCounter_;
    if (rec.keyFrame) frameCounter_ = 0;
    if (frameCounter_ >= keyInterval_ && !rec.keyFrame) return;
    TPicture picture;
    if (codec_->DecodeFrame(data, rec.keyFrame != 0, rec.sequence, picture) == TVideoCoDec::TDecode::decoded) {
        ++framesShown_;
        view_.ShowPicture(picture);
        view_.ShowBufferingLabel(texts::kBuffering, false);
    }
}

void TVideoSession::FormClose() {
    if (closed_) return;
    closed_ = true;
    StopReadTimer();
    if (tmrClose) env_.loop->KillTimer(tmrClose);
    tmrClose = 0;
    if (mode_ == 0) {
        Guarded([&] { if (cap_) cap_->StopCapture(); });
        Guarded([&] { if (cap_) cap_->SetDriverOpen(false); });
        if (publishing_) Guarded([&] { if (env_.setPublishing) env_.setPublishing(false); });
        publishing_ = false;
        Guarded([&] { if (codec_) codec_->Stop(); codec_.reset(); });
        Guarded([&] { thread_.reset(); });
        Guarded([&] { buffer_.reset(); });
    } else {
        Guarded([&] { thread_.reset(); });
        Guarded([&] { if (codec_) codec_->Stop(); codec_.reset(); });
    }
    Guarded([&] { if (cap_) cap_->SetDriverOpen(false); });
}

}  // namespace orb::video
