#include "video_codec.h"

#include <cmath>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace orb::video {

namespace {

struct TCodecEntry {
    uint32_t fourcc;
    AVCodecID id;
    const char* description;
    bool encodes;  // published as it is (else only watched)
};

const TCodecEntry kCodecs[] = {
    {MakeFourcc('M', 'P', '4', '3'), AV_CODEC_ID_MSMPEG4V3, "MPEG-4 Video v3 (libavcodec)", true},
    {MakeFourcc('M', 'P', '4', '2'), AV_CODEC_ID_MSMPEG4V2, "MPEG-4 Video v2 (libavcodec)", true},
    {MakeFourcc('M', 'J', 'P', 'G'), AV_CODEC_ID_MJPEG, "Motion JPEG (libavcodec)", true},
    {MakeFourcc('W', 'M', 'V', '3'), AV_CODEC_ID_WMV3, "Windows Media Video 9 (libavcodec)", false},
};

const TCodecEntry* FindCodec(uint32_t fourcc) {
    uint32_t up = FourccUpper(fourcc);
    for (const auto& c : kCodecs)
        if (c.fourcc == up) return &c;
    return nullptr;
}

void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

constexpr int kErrUnsupported = -1;
constexpr int kErrBadFormat = -2;
constexpr int kErrNoMemory = -3;
constexpr int kErrInternal = -4;
constexpr int kErrNotInstalled = -8;
constexpr int kErrBadDepth = -200;
constexpr int kErrBadSize = -201;

}  // namespace

std::string VideoCodecErrorText(int code) {
    switch (code) {
    case 0: return "No error.";
    case 1: return "Drawing not allowed.";
    case 2: return "New palette.";
    case 3: return "A KeyFrame is needed.";
    case 4: return "Stop drawing";
    case -1: return "Unsupported video codec function/format";
    case -2: return "Invalid video format.";
    case -3: return "Not enough memory to compete.";
    case -4: return "Internal video codec error.";
    case -5: return "Invalid video parameters.";
    case -6: return "Invalid parameter.";
    case -7: return "Invalid size.";
    case -8: return "You don't have this video codec installed on your system.";
    case -9: return "Unable to update information.";
    case -10: return "Video encoding aborted.";
    case -100: return "Video codec produced an error.";
    case -200: return "Invalid bit-depth.";
    case -201: return "Invalid image size.";
    default: return "A system compressor error occured.";
    }
}

bool VideoCodecDecodes(uint32_t fourcc) {
    const TCodecEntry* c = FindCodec(fourcc);
    return c && avcodec_find_decoder(c->id);
}

bool VideoCodecEncodes(uint32_t fourcc) {
    const TCodecEntry* c = FindCodec(fourcc);
    return c && c->encodes && avcodec_find_encoder(c->id);
}

bool VideoCodecInstalled(uint32_t fourcc) {
    return VideoCodecDecodes(fourcc) || VideoCodecEncodes(PublishCompressor(fourcc));
}

std::string VideoCodecMissingText(uint32_t fourcc) {
    return "The video codec \"" + FourccText(fourcc) +
           "\" can neither be watched nor published here: the libavcodec of this system has no decoder for it.";
}

uint32_t PublishCompressor(uint32_t configured) {
    return FourccUpper(configured) == kFourccWMV3 ? kFourccMP43 : configured;
}

std::vector<uint8_t> CompressBounded(const std::function<std::vector<uint8_t>()>& compressOnce, int maxAttempts) {
    for (int i = 0; i < maxAttempts; ++i) {
        std::vector<uint8_t> r = compressOnce();
        if (r.size() == 8 && r[0] == 0) continue;
        return r;
    }
    return {};
}

struct TVideoCoDec::Impl {
    const TCodecEntry* entry = nullptr;
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int swsW = 0, swsH = 0, swsFmt = -1;

    ~Impl() { Close(); }
    void Close() {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
        sws_freeContext(sws);
        sws = nullptr;
        swsFmt = -1;
    }
};

TVideoCoDec::TVideoCoDec() : d_(std::make_unique<Impl>()) { QuietLibraries(); }

TVideoCoDec::~TVideoCoDec() { Stop(); }

bool TVideoCoDec::InitCompressor(const TBitmapInfoHeader& input, TBitmapInfoHeader& output, int keyRate, int quality) {
    Stop();
    direction_ = 0;
    keyRate_ = keyRate < 0 ? 0 : keyRate;
    quality_ = quality < 0 ? 0 : quality > 10000 ? 10000 : quality;
    const TCodecEntry* c = FindCodec(output.biCompression);
    if (!c || !c->encodes || !avcodec_find_encoder(c->id)) { LastError = kErrNotInstalled; return false; }
    if (input.biBitCount != 24 && input.biBitCount != 32) { LastError = kErrBadDepth; return false; }
    if (input.biCompression != 0) { LastError = kErrBadFormat; return false; }
    // 4:2:0 codecs need even sizes.
    if (!PictureSizeOk(input.biWidth, input.biHeight) || input.biWidth % 2 || std::abs(input.biHeight) % 2) {
        LastError = kErrBadSize;
        return false;
    }
    d_->entry = c;
    input_ = input;
    input_.biHeight = std::abs(input.biHeight);
    input_.biSizeImage = DibLineBytes(input_.biWidth, input_.biBitCount) * uint32_t(input_.biHeight);
    output_ = input_;
    output_.biCompression = c->fourcc;
    output_.biBitCount = 24;
    output_.biSizeImage = 0;
    output = output_;
    Name = FourccText(c->fourcc);
    Description = c->description;
    keyCountdown_ = 0;
    frameCount_ = 0;
    LastError = 0;
    return true;
}

bool TVideoCoDec::InitDecompressor(const TBitmapInfoHeader& compressed, TBitmapInfoHeader& output, int keyRate,
                                   int quality) {
    Stop();
    direction_ = 1;
    keyRate_ = keyRate;
    quality_ = quality;
    const TCodecEntry* c = FindCodec(compressed.biCompression);
    if (!c || !avcodec_find_decoder(c->id)) { LastError = kErrNotInstalled; return false; }
    if (!PictureSizeOk(compressed.biWidth, compressed.biHeight)) { LastError = kErrBadSize; return false; }
    d_->entry = c;
    input_ = compressed;
    input_.biHeight = std::abs(compressed.biHeight);
    output_ = input_;
    output_.biSize = 40;
    output_.biCompression = 0;
    output_.biBitCount = 32;
    output_.biSizeImage = DibLineBytes(output_.biWidth, 32) * uint32_t(output_.biHeight);
    output = output_;
    Name = FourccText(c->fourcc);
    Description = c->description;
    LastError = 0;
    return true;
}

void TVideoCoDec::SetDataRate(int bytesPerSecond, int microSecPerFrame, int) {
    bytesPerSecond_ = bytesPerSecond > 0 ? bytesPerSecond : 0;
    if (microSecPerFrame > 0) microSecPerFrame_ = microSecPerFrame;
}

bool TVideoCoDec::StartCompress() {
    frameCount_ = 0;
    compressing_ = false;
    if (direction_ != 0 || !d_->entry) { LastError = kErrUnsupported; return false; }
    d_->Close();
    const AVCodec* codec = avcodec_find_encoder(d_->entry->id);
    if (!codec) { LastError = kErrNotInstalled; return false; }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) { LastError = kErrNoMemory; return false; }
    d_->ctx = ctx;
    ctx->width = input_.biWidth;
    ctx->height = input_.biHeight;
    ctx->pix_fmt = d_->entry->id == AV_CODEC_ID_MJPEG ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    int fps = ClampFramesPerSecond(int(std::lround(1000000.0 / microSecPerFrame_)));
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->gop_size = keyRate_ > 0 ? keyRate_ : 600;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    if (bytesPerSecond_ > 0) {
        ctx->bit_rate = int64_t(bytesPerSecond_) * 8;
        ctx->bit_rate_tolerance = int(std::min<int64_t>(ctx->bit_rate, INT32_MAX));
    } else {
        // Quality 0..10000 onto quantisers 31..2.
        int q = 31 - (quality_ * 29 + 5000) / 10000;
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * (q < 2 ? 2 : q > 31 ? 31 : q);
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) { LastError = kErrBadFormat; d_->Close(); return false; }
    d_->frame = av_frame_alloc();
    d_->packet = av_packet_alloc();
    if (!d_->frame || !d_->packet) { LastError = kErrNoMemory; d_->Close(); return false; }
    d_->frame->format = ctx->pix_fmt;
    d_->frame->width = ctx->width;
    d_->frame->height = ctx->height;
    if (av_frame_get_buffer(d_->frame, 0) < 0) { LastError = kErrNoMemory; d_->Close(); return false; }
    AVPixelFormat src = input_.biBitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0;
    d_->sws = sws_getContext(ctx->width, ctx->height, src, ctx->width, ctx->height, ctx->pix_fmt, SWS_POINT,
                             nullptr, nullptr, nullptr);
    if (!d_->sws) { LastError = kErrInternal; d_->Close(); return false; }
    keyCountdown_ = 0;
    compressing_ = true;
    LastError = 0;
    return true;
}

bool TVideoCoDec::StartDecompress() {
    decompressing_ = false;
    if (direction_ != 1 || !d_->entry) { LastError = kErrUnsupported; return false; }
    d_->Close();
    const AVCodec* codec = avcodec_find_decoder(d_->entry->id);
    if (!codec) { LastError = kErrNotInstalled; return false; }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) { LastError = kErrNoMemory; return false; }
    d_->ctx = ctx;
    ctx->width = input_.biWidth;
    ctx->height = input_.biHeight;
    ctx->codec_tag = d_->entry->fourcc;
    ctx->thread_count = 1;
    if (d_->entry->id == AV_CODEC_ID_WMV3) {
        // The decoder needs the stream's sequence header, which the format record does not carry.
        ctx->extradata = static_cast<uint8_t*>(av_mallocz(sizeof kWmv3SequenceHeader + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!ctx->extradata) { LastError = kErrNoMemory; d_->Close(); return false; }
        std::memcpy(ctx->extradata, kWmv3SequenceHeader, sizeof kWmv3SequenceHeader);
        ctx->extradata_size = int(sizeof kWmv3SequenceHeader);
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) { LastError = kErrBadFormat; d_->Close(); return false; }
    d_->frame = av_frame_alloc();
    d_->packet = av_packet_alloc();
    if (!d_->frame || !d_->packet) { LastError = kErrNoMemory; d_->Close(); return false; }
    waitForKey_ = true;
    haveSequence_ = false;
    decompressing_ = true;
    LastError = 0;
    return true;
}

void TVideoCoDec::Stop() {
    compressing_ = false;
    decompressing_ = false;
    d_->Close();
}

std::span<const uint8_t> TVideoCoDec::CompressFrame(std::span<const uint8_t> picture, bool& keyFrame) {
    keyFrame = false;
    if (!compressing_) return {};
    const uint32_t line = DibLineBytes(input_.biWidth, input_.biBitCount);
    if (picture.size() < size_t(line) * size_t(input_.biHeight)) { LastError = -7; return {}; }
    bool askKey = false;
    if (ForceKeyFrames) {
        if (keyRate_ > 0) {
            if (--keyCountdown_ <= 0) {
                askKey = true;
                keyCountdown_ = keyRate_;
            }
        } else {
            askKey = frameCount_ == 0;
        }
    }
    AVCodecContext* ctx = d_->ctx;
    bool gotKey = false;
    auto once = [&]() -> std::vector<uint8_t> {
        if (av_frame_make_writable(d_->frame) < 0) return {};
        // Bottom-up source: start at the last line and walk upwards.
        const uint8_t* src[1] = {picture.data() + size_t(line) * size_t(input_.biHeight - 1)};
        int srcStride[1] = {-int(line)};
        sws_scale(d_->sws, src, srcStride, 0, input_.biHeight, d_->frame->data, d_->frame->linesize);
        d_->frame->pts = frameCount_;
        d_->frame->pict_type = askKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(ctx, d_->frame) < 0) return {};
        ++frameCount_;
        if (avcodec_receive_packet(ctx, d_->packet) < 0) return {};
        std::vector<uint8_t> r(d_->packet->data, d_->packet->data + d_->packet->size);
        gotKey = (d_->packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(d_->packet);
        return r;
    };
    std::vector<uint8_t> r = CompressBounded(once, MaxAttempts < 1 ? 1 : MaxAttempts);
    if (r.empty()) { LastError = -100; return {}; }
    if (gotKey && keyRate_ > 0) keyCountdown_ = keyRate_;
    keyFrame = gotKey;
    out_ = std::move(r);
    LastError = 0;
    return out_;
}

TVideoCoDec::TDecode TVideoCoDec::DecodeFrame(std::span<const uint8_t> data, bool keyFrame, uint32_t sequence,
                                              TPicture& out) {
    if (!decompressing_ || data.empty()) return TDecode::failed;
    if (haveSequence_ && sequence == lastSequence_) return TDecode::skipped;
    bool gap = haveSequence_ && sequence != lastSequence_ + 1;
    haveSequence_ = true;
    lastSequence_ = sequence;
    if (keyFrame) waitForKey_ = false;
    else if (gap) waitForKey_ = true;
    if (waitForKey_) return TDecode::skipped;

    // libavcodec reads up to AV_INPUT_BUFFER_PADDING_SIZE past the end.
    std::vector<uint8_t> padded(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::copy(data.begin(), data.end(), padded.begin());
    AVPacket* pkt = d_->packet;
    pkt->data = padded.data();
    pkt->size = int(data.size());
    pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    int rc = avcodec_send_packet(d_->ctx, pkt);
    pkt->data = nullptr;
    pkt->size = 0;
    if (rc < 0 || avcodec_receive_frame(d_->ctx, d_->frame) < 0) {
        waitForKey_ = true;
        LastError = -100;
        return TDecode::failed;
    }
    AVFrame* f = d_->frame;
    if (!PictureSizeOk(f->width, f->height)) {
        av_frame_unref(f);
        waitForKey_ = true;
        LastError = kErrBadSize;
        return TDecode::failed;
    }
    if (!d_->sws || d_->swsW != f->width || d_->swsH != f->height || d_->swsFmt != f->format) {
        sws_freeContext(d_->sws);
        d_->sws = sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                 AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
        d_->swsW = f->width;
        d_->swsH = f->height;
        d_->swsFmt = f->format;
    }
    if (!d_->sws) {
        av_frame_unref(f);
        LastError = kErrInternal;
        return TDecode::failed;
    }
    out.width = f->width;
    out.height = f->height;
    out.pixels.assign(size_t(f->width) * size_t(f->height), 0);
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(out.pixels.data())};
    int dstStride[1] = {f->width * 4};
    sws_scale(d_->sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    av_frame_unref(f);
    LastError = 0;
    return TDecode::decoded;
}

}  // namespace orb::video
