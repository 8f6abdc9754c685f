#include "video_cap.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <algorithm>

#include "yuv_converts.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace orb::video {

namespace {

int BitCountOf(uint32_t compression) {
    switch (YuvFormatOf(compression)) {
    case kConvRgb: return 24;
    case kConvYUY2:
    case kConvUYVY: return 16;
    case kConvY41P:
    case kConvI420: return 12;
    case kConvYVU9: return 9;
    case kConvY8:
    case kConvY211: return 8;
    default: return 0;
    }
}

uint8_t Clip(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

}  // namespace

size_t CapturePictureBytes(const TBitmapInfoHeader& f) {
    if (!PictureSizeOk(f.biWidth, f.biHeight)) return 0;
    int h = std::abs(f.biHeight);
    int id = YuvFormatOf(f.biCompression);
    if (id == kConvRgb) return f.biBitCount == 24 ? size_t(DibLineBytes(f.biWidth, 24)) * size_t(h) : 0;
    return YuvFrameBytes(id, h, f.biWidth);
}

std::vector<uint8_t> SyntheticPicture(const TBitmapInfoHeader& f, uint32_t n) {
    const int w = f.biWidth, h = std::abs(f.biHeight);
    const size_t bytes = CapturePictureBytes(f);
    std::vector<uint8_t> out(bytes, 0);
    if (!bytes) return out;
    // Colour bars that slide to the right, and a white square that bounces across them.
    static constexpr uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                            {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    const int side = std::max(4, h / 4);
    const int span = std::max(1, w - side);
    const int pos = int((n * 3) % uint32_t(2 * span));
    const int sx = pos < span ? pos : 2 * span - pos;
    const int sy = (h - side) / 2;
    auto rgb = [&](int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) {
        if (x >= sx && x < sx + side && y >= sy && y < sy + side) { r = g = b = 255; return; }
        int bar = ((x + int(n * 2)) * 8 / std::max(1, w)) % 8;
        r = kBars[bar][0]; g = kBars[bar][1]; b = kBars[bar][2];
    };
    auto yuv = [&](int x, int y, int& Y, int& U, int& V) {
        uint8_t r, g, b;
        rgb(std::min(x, w - 1), std::min(y, h - 1), r, g, b);
        Y = Clip(16 + 0.257 * r + 0.504 * g + 0.098 * b);
        U = Clip(128 - 0.148 * r - 0.291 * g + 0.439 * b);
        V = Clip(128 + 0.439 * r - 0.368 * g - 0.071 * b);
    };
    int Y, U, V;
    switch (YuvFormatOf(f.biCompression)) {
    case kConvRgb: {
        const size_t line = DibLineBytes(w, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t r, g, b;
                rgb(x, y, r, g, b);
                uint8_t* p = out.data() + size_t(h - 1 - y) * line + size_t(x) * 3;  // bottom-up
                p[0] = b; p[1] = g; p[2] = r;
            }
        break;
    }
    case kConvYUY2:
    case kConvUYVY: {
        const bool yuy2 = YuvFormatOf(f.biCompression) == kConvYUY2;
        const size_t line = size_t((w + 1) / 2) * 4;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; x += 2) {
                int Y1, U1, V1;
                yuv(x, y, Y, U, V);
                yuv(x + 1, y, Y1, U1, V1);
                uint8_t* p = out.data() + size_t(y) * line + size_t(x) * 2;
                if (yuy2) { p[0] = uint8_t(Y); p[1] = uint8_t(U); p[2] = uint8_t(Y1); p[3] = uint8_t(V); }
                else { p[0] = uint8_t(U); p[1] = uint8_t(Y); p[2] = uint8_t(V); p[3] = uint8_t(Y1); }
            }
        break;
    }
    case kConvY41P: {
        const size_t line = size_t((w + 7) / 8) * 12;
        static constexpr int kY[8] = {1, 3, 5, 7, 8, 9, 10, 11};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; x += 8) {
                uint8_t* p = out.data() + size_t(y) * line + size_t(x / 8) * 12;
                for (int i = 0; i < 8; ++i) {
                    yuv(x + i, y, Y, U, V);
                    p[kY[i]] = uint8_t(Y);
                    if (i == 0) { p[0] = uint8_t(U); p[2] = uint8_t(V); }
                    if (i == 4) { p[4] = uint8_t(U); p[6] = uint8_t(V); }
                }
            }
        break;
    }
    case kConvY211: {
        const size_t line = size_t((w + 3) / 4) * 4;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; x += 4) {
                uint8_t* p = out.data() + size_t(y) * line + size_t(x);
                yuv(x, y, Y, U, V);
                p[0] = uint8_t(Y); p[1] = uint8_t(U); p[3] = uint8_t(V);
                yuv(x + 2, y, Y, U, V);
                p[2] = uint8_t(Y);
            }
        break;
    }
    case kConvY8:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                yuv(x, y, Y, U, V);
                out[size_t(y) * size_t(w) + size_t(x)] = uint8_t(Y);
            }
        break;
    case kConvI420:
    case kConvYVU9: {
        const bool i420 = YuvFormatOf(f.biCompression) == kConvI420;
        const int sub = i420 ? 2 : 4;
        const size_t cw = i420 ? size_t((w + 1) / 2) : size_t(w / 4), ch = i420 ? size_t((h + 1) / 2) : size_t(h / 4);
        uint8_t* first = out.data() + size_t(w) * size_t(h);
        uint8_t* second = first + cw * ch;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                yuv(x, y, Y, U, V);
                out[size_t(y) * size_t(w) + size_t(x)] = uint8_t(Y);
                if (x % sub == 0 && y % sub == 0 && size_t(x / sub) < cw && size_t(y / sub) < ch) {
                    size_t c = size_t(y / sub) * cw + size_t(x / sub);
                    (i420 ? first : second)[c] = uint8_t(U);  // I420: U then V; YVU9: V then U
                    (i420 ? second : first)[c] = uint8_t(V);
                }
            }
        break;
    }
    default: break;
    }
    return out;
}

namespace {

// ---- The synthetic camera

class TSyntheticCamera final : public ICaptureDevice {
public:
    TSyntheticCamera() {
        format_.biWidth = 320;
        format_.biHeight = 240;
        format_.biCompression = MakeFourcc('Y', 'U', 'Y', '2');
        format_.biBitCount = 16;
        format_.biSizeImage = uint32_t(CapturePictureBytes(format_));
    }
    ~TSyntheticCamera() override { Stop(); }
    bool Open() override { return true; }
    TBitmapInfoHeader Format() const override {
        std::lock_guard lock(mu_);
        return format_;
    }
    bool SetFormat(const TBitmapInfoHeader& wanted) override {
        TBitmapInfoHeader f;
        f.biWidth = wanted.biWidth;
        f.biHeight = std::abs(wanted.biHeight);
        f.biCompression = wanted.biCompression == 3 ? 0 : wanted.biCompression;
        f.biBitCount = uint16_t(BitCountOf(f.biCompression));
        if (f.biBitCount == 0 || (YuvFormatOf(f.biCompression) == kConvRgb && wanted.biBitCount != 24)) return false;
        if (f.biWidth < 16 || f.biWidth > 1920 || f.biHeight < 16 || f.biHeight > 1080) return false;
        f.biSizeImage = uint32_t(CapturePictureBytes(f));
        if (!f.biSizeImage) return false;
        std::lock_guard lock(mu_);
        format_ = f;
        return true;
    }
    bool Start(FrameFn onFrame, int64_t microSecPerFrame) override {
        Stop();
        stop_ = false;
        thread_ = std::thread([this, onFrame = std::move(onFrame), microSecPerFrame] {
            auto next = std::chrono::steady_clock::now();
            while (!stop_) {
                std::vector<uint8_t> pic = SyntheticPicture(Format(), counter_++);
                if (onFrame) onFrame(pic.data(), pic.size());
                next += std::chrono::microseconds(microSecPerFrame);
                std::unique_lock lock(waitMu_);
                wake_.wait_until(lock, next, [this] { return stop_.load(); });
            }
        });
        return true;
    }
    void Stop() override {
        {
            std::lock_guard lock(waitMu_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool Grab(std::vector<uint8_t>& out) override {
        out = SyntheticPicture(Format(), counter_++);
        return !out.empty();
    }
    std::vector<TCaptureFormatChoice> FormatChoices() override {
        static constexpr struct { char code[5]; const char* name; } kLayouts[] = {
            {"YUY2", "YUY2"}, {"UYVY", "UYVY"}, {"Y41P", "Y41P"}, {"YVU9", "YVU9"},
            {"I420", "I420"}, {"Y8  ", "Y8"},   {"Y211", "Y211"}, {"", "RGB 24"}};
        static constexpr int kSizes[][2] = {{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}};
        std::vector<TCaptureFormatChoice> out;
        for (const auto& l : kLayouts)
            for (const auto& sz : kSizes) {
                const uint32_t code = l.code[0] ? MakeFourcc(l.code[0], l.code[1], l.code[2], l.code[3]) : 0;
                out.push_back({code, l.name, sz[0], sz[1]});
            }
        return out;
    }

private:
    mutable std::mutex mu_;
    TBitmapInfoHeader format_;
    std::atomic<uint32_t> counter_{0};
    std::atomic<bool> stop_{true};
    std::mutex waitMu_;
    std::condition_variable wake_;
    std::thread thread_;
};

// ---- V4L2 devices

int Xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do r = ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}

uint32_t CompressionOfPixel(uint32_t pix) {
    switch (pix) {
    case V4L2_PIX_FMT_YUYV: return MakeFourcc('Y', 'U', 'Y', '2');
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return MakeFourcc('Y', 'U', 'Y', '2');  // decoded here
    case V4L2_PIX_FMT_UYVY: return MakeFourcc('U', 'Y', 'V', 'Y');
    case V4L2_PIX_FMT_Y41P: return MakeFourcc('Y', '4', '1', 'P');
    case V4L2_PIX_FMT_YVU410: return MakeFourcc('Y', 'V', 'U', '9');
    case V4L2_PIX_FMT_YUV420: return MakeFourcc('I', '4', '2', '0');
    case V4L2_PIX_FMT_GREY: return MakeFourcc('Y', '8', ' ', ' ');
    case V4L2_PIX_FMT_BGR24: return 0;
    default: return 0xFFFFFFFFu;
    }
}

uint32_t PixelOfCompression(uint32_t compression) {
    switch (YuvFormatOf(compression)) {
    case kConvYUY2: return V4L2_PIX_FMT_YUYV;
    case kConvUYVY: return V4L2_PIX_FMT_UYVY;
    case kConvY41P: return V4L2_PIX_FMT_Y41P;
    case kConvYVU9: return V4L2_PIX_FMT_YVU410;
    case kConvI420: return V4L2_PIX_FMT_YUV420;
    case kConvY8: return V4L2_PIX_FMT_GREY;
    case kConvRgb: return V4L2_PIX_FMT_BGR24;
    default: return 0;
    }
}

class TV4L2Camera final : public ICaptureDevice {
public:
    explicit TV4L2Camera(std::string path) : path_(std::move(path)) {}
    ~TV4L2Camera() override {
        Stop();
        if (fd_ >= 0) close(fd_);
    }
    bool Open() override {
        fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        v4l2_capability cap{};
        if (Xioctl(fd_, VIDIOC_QUERYCAP, &cap) < 0) return false;
        uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;
        return ReadFormat();
    }
    TBitmapInfoHeader Format() const override { return format_; }
    bool SetFormat(const TBitmapInfoHeader& wanted) override {
        uint32_t pix = PixelOfCompression(wanted.biCompression);
        if (!pix || !PictureSizeOk(wanted.biWidth, wanted.biHeight)) return false;
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = uint32_t(wanted.biWidth);
        f.fmt.pix.height = uint32_t(std::abs(wanted.biHeight));
        f.fmt.pix.pixelformat = pix;
        f.fmt.pix.field = V4L2_FIELD_NONE;
        if (Xioctl(fd_, VIDIOC_S_FMT, &f) < 0) return false;
        if (!ReadFormat()) return false;
        return format_.biWidth == wanted.biWidth && format_.biHeight == std::abs(wanted.biHeight) &&
               v4lPixel_ == pix;
    }
    bool Start(FrameFn onFrame, int64_t microSecPerFrame) override {
        Stop();
        SetRate(microSecPerFrame);
        if (!MapBuffers()) return false;
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(fd_, VIDIOC_STREAMON, &type) < 0) { UnmapBuffers(); return false; }
        stop_ = false;
        thread_ = std::thread([this, onFrame = std::move(onFrame)] {
            std::vector<uint8_t> picture;
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                int r = poll(&p, 1, 100);
                if (r <= 0) continue;
                v4l2_buffer b{};
                b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                b.memory = V4L2_MEMORY_MMAP;
                if (Xioctl(fd_, VIDIOC_DQBUF, &b) < 0) {
                    if (errno == EAGAIN) continue;
                    break;
                }
                if (b.index < buffers_.size() && b.bytesused <= buffers_[b.index].second &&
                    picture_.Convert(static_cast<const uint8_t*>(buffers_[b.index].first), b.bytesused, picture)) {
                    if (onFrame) onFrame(picture.data(), picture.size());
                } else {
                    ++dropped_;
                }
                Xioctl(fd_, VIDIOC_QBUF, &b);
            }
        });
        return true;
    }
    void Stop() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (!buffers_.empty()) {
            v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            Xioctl(fd_, VIDIOC_STREAMOFF, &type);
            UnmapBuffers();
        }
    }
    bool Grab(std::vector<uint8_t>& out) override {
        std::vector<uint8_t> got;
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        if (!Start([&](const uint8_t* d, size_t n) {
                std::lock_guard lock(m);
                if (done) return;
                got.assign(d, d + n);
                done = true;
                cv.notify_all();
            }, 33333))
            return false;
        {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(3), [&] { return done; });
        }
        Stop();
        out = std::move(got);
        return !out.empty();
    }

    uint64_t DroppedFrames() const override { return dropped_; }

    std::vector<TCaptureControl> Controls() override {
        std::vector<TCaptureControl> out;
        v4l2_queryctrl q{};
        q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        // A bounded walk: a driver that never ends its list cannot hold the dialog.
        for (int n = 0; n < 256 && Xioctl(fd_, VIDIOC_QUERYCTRL, &q) == 0; ++n) {
            const uint32_t id = q.id;
            q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
            if (q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE)) continue;
            TCaptureControl c;
            c.id = id;
            c.name.assign(reinterpret_cast<const char*>(q.name), strnlen(reinterpret_cast<const char*>(q.name), sizeof q.name));
            c.minimum = q.minimum;
            c.maximum = q.maximum;
            c.step = q.step > 0 ? int32_t(q.step) : 1;
            c.defaultValue = q.default_value;
            switch (q.type) {
            case V4L2_CTRL_TYPE_INTEGER: c.type = TCaptureControl::Integer; break;
            case V4L2_CTRL_TYPE_BOOLEAN: c.type = TCaptureControl::Boolean; break;
            case V4L2_CTRL_TYPE_BUTTON: c.type = TCaptureControl::Button; break;
            case V4L2_CTRL_TYPE_MENU:
            case V4L2_CTRL_TYPE_INTEGER_MENU: {
                c.type = TCaptureControl::Menu;
                for (int64_t i = q.minimum; i <= q.maximum && i - q.minimum < 64; ++i) {
                    v4l2_querymenu m{};
                    m.id = id;
                    m.index = uint32_t(i);
                    if (Xioctl(fd_, VIDIOC_QUERYMENU, &m) != 0) continue;
                    std::string name = q.type == V4L2_CTRL_TYPE_MENU
                                           ? std::string(reinterpret_cast<const char*>(m.name),
                                                         strnlen(reinterpret_cast<const char*>(m.name), sizeof m.name))
                                           : std::to_string(m.value);
                    c.menu.emplace_back(int32_t(i), name);
                }
                if (c.menu.empty()) continue;
                break;
            }
            default: continue;  // classes, strings, 64-bit and compound controls have no place here
            }
            v4l2_control v{};
            v.id = id;
            c.value = Xioctl(fd_, VIDIOC_G_CTRL, &v) == 0 ? v.value : c.defaultValue;
            out.push_back(std::move(c));
        }
        return out;
    }
    bool SetControl(uint32_t id, int32_t value) override {
        v4l2_control v{};
        v.id = id;
        v.value = value;
        return Xioctl(fd_, VIDIOC_S_CTRL, &v) == 0;
    }
    std::vector<TCaptureFormatChoice> FormatChoices() override {
        std::vector<TCaptureFormatChoice> out;
        for (uint32_t i = 0; i < 64; ++i) {
            v4l2_fmtdesc d{};
            d.index = i;
            d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (Xioctl(fd_, VIDIOC_ENUM_FMT, &d) != 0) break;
            const uint32_t comp = CompressionOfPixel(d.pixelformat);
            if (comp == 0xFFFFFFFFu) continue;  // a layout this client cannot convert
            const std::string name(reinterpret_cast<const char*>(d.description),
                                   strnlen(reinterpret_cast<const char*>(d.description), sizeof d.description));
            auto add = [&](uint32_t w, uint32_t h) {
                if (!PictureSizeOk(int32_t(w), int32_t(h))) return;
                TCaptureFormatChoice c{comp, name, int(w), int(h)};
                if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
            };
            for (uint32_t k = 0; k < 64; ++k) {
                v4l2_frmsizeenum s{};
                s.index = k;
                s.pixel_format = d.pixelformat;
                if (Xioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &s) != 0) break;
                if (s.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                    add(s.discrete.width, s.discrete.height);
                    continue;
                }
                // A range: the usual web-cam sizes inside it.
                static constexpr uint32_t kSizes[][2] = {{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}};
                for (const auto& sz : kSizes)
                    if (sz[0] >= s.stepwise.min_width && sz[0] <= s.stepwise.max_width &&
                        sz[1] >= s.stepwise.min_height && sz[1] <= s.stepwise.max_height)
                        add(sz[0], sz[1]);
                break;
            }
        }
        return out;
    }

private:
    bool ReadFormat() {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(fd_, VIDIOC_G_FMT, &f) < 0) return false;
        v4lPixel_ = f.fmt.pix.pixelformat;
        bytesPerLine_ = f.fmt.pix.bytesperline;
        TBitmapInfoHeader h;
        h.biWidth = int32_t(f.fmt.pix.width);
        h.biHeight = int32_t(f.fmt.pix.height);
        uint32_t comp = CompressionOfPixel(v4lPixel_);
        h.biCompression = comp;
        h.biBitCount = uint16_t(comp == 0xFFFFFFFFu ? 0 : BitCountOf(comp));
        h.biSizeImage = uint32_t(CapturePictureBytes(h));
        format_ = h;
        picture_.Setup(v4lPixel_, bytesPerLine_, format_);
        return PictureSizeOk(h.biWidth, h.biHeight);
    }
    void SetRate(int64_t us) {
        v4l2_streamparm p{};
        p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        p.parm.capture.timeperframe.numerator = uint32_t(us);
        p.parm.capture.timeperframe.denominator = 1000000;
        Xioctl(fd_, VIDIOC_S_PARM, &p);
    }
    bool MapBuffers() {
        v4l2_requestbuffers req{};
        req.count = 4;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (Xioctl(fd_, VIDIOC_REQBUFS, &req) < 0 || req.count < 1) return false;
        for (uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.index = i;
            if (Xioctl(fd_, VIDIOC_QUERYBUF, &b) < 0) { UnmapBuffers(); return false; }
            void* m = mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
            if (m == MAP_FAILED) { UnmapBuffers(); return false; }
            buffers_.emplace_back(m, b.length);
            if (Xioctl(fd_, VIDIOC_QBUF, &b) < 0) { UnmapBuffers(); return false; }
        }
        return true;
    }
    void UnmapBuffers() {
        for (auto& [p, n] : buffers_) munmap(p, n);
        buffers_.clear();
        v4l2_requestbuffers req{};
        req.count = 0;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        Xioctl(fd_, VIDIOC_REQBUFS, &req);
    }
    std::string path_;
    int fd_ = -1;
    uint32_t v4lPixel_ = 0;
    uint32_t bytesPerLine_ = 0;
    TBitmapInfoHeader format_;
    std::vector<std::pair<void*, size_t>> buffers_;
    std::atomic<bool> stop_{true};
    std::atomic<uint64_t> dropped_{0};
    std::thread thread_;
    TV4L2Picture picture_;
};

}  // namespace

// ---- V4L2 buffers into the component's layouts

TV4L2Picture::~TV4L2Picture() { FreeDecoder(); }

void TV4L2Picture::Setup(uint32_t pixelFormat, uint32_t bytesPerLine, const TBitmapInfoHeader& format) {
    pixel_ = pixelFormat;
    bytesPerLine_ = bytesPerLine;
    format_ = format;
}

uint32_t TV4L2Picture::CompressionOf(uint32_t pixelFormat) { return CompressionOfPixel(pixelFormat); }

bool TV4L2Picture::Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    const size_t need = CapturePictureBytes(format_);
    if (!need) return false;
    const int w = format_.biWidth, h = format_.biHeight;
    if (pixel_ == V4L2_PIX_FMT_MJPEG || pixel_ == V4L2_PIX_FMT_JPEG) return DecodeJpeg(data, size, out);
    out.resize(need);
    int id = YuvFormatOf(format_.biCompression);
    size_t line = id == kConvRgb ? size_t(w) * 3 : need / size_t(h);
    bool planar = id == kConvI420 || id == kConvYVU9;
    if (planar) {
        if (size < need) return false;
        std::memcpy(out.data(), data, need);
        return true;
    }
    size_t srcLine = bytesPerLine_ ? bytesPerLine_ : line;
    if (srcLine < line || size < srcLine * size_t(h - 1) + line) return false;
    if (id == kConvRgb) {
        size_t dib = DibLineBytes(w, 24);
        for (int y = 0; y < h; ++y) std::memcpy(out.data() + size_t(h - 1 - y) * dib, data + size_t(y) * srcLine, line);
    } else {
        for (int y = 0; y < h; ++y) std::memcpy(out.data() + size_t(y) * line, data + size_t(y) * srcLine, line);
    }
    return true;
}
bool TV4L2Picture::DecodeJpeg(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    if (!dec_) {
        const AVCodec* c = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        if (!c) return false;
        dec_ = avcodec_alloc_context3(c);
        if (!dec_ || avcodec_open2(dec_, c, nullptr) < 0) { FreeDecoder(); return false; }
        frame_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
    }
    std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, size);
    pkt_->data = padded.data();
    pkt_->size = int(size);
    int rc = avcodec_send_packet(dec_, pkt_);
    pkt_->data = nullptr;
    pkt_->size = 0;
    if (rc < 0 || avcodec_receive_frame(dec_, frame_) < 0) return false;
    const int w = format_.biWidth, h = format_.biHeight;
    bool ok = frame_->width == w && frame_->height == h;
    if (ok) {
        sws_ = sws_getCachedContext(sws_, w, h, AVPixelFormat(frame_->format), w, h, AV_PIX_FMT_YUYV422,
                                    SWS_POINT, nullptr, nullptr, nullptr);
        ok = sws_ != nullptr;
    }
    if (ok) {
        out.resize(CapturePictureBytes(format_));
        uint8_t* dst[1] = {out.data()};
        int stride[1] = {int(out.size() / size_t(h))};
        sws_scale(sws_, frame_->data, frame_->linesize, 0, h, dst, stride);
    }
    av_frame_unref(frame_);
    return ok;
}
void TV4L2Picture::FreeDecoder() {
    avcodec_free_context(&dec_);
    av_frame_free(&frame_);
    av_packet_free(&pkt_);
    sws_freeContext(sws_);
    sws_ = nullptr;
}


std::unique_ptr<ICaptureDevice> MakeSyntheticCamera() { return std::make_unique<TSyntheticCamera>(); }
std::unique_ptr<ICaptureDevice> MakeV4L2Camera(const std::string& path) { return std::make_unique<TV4L2Camera>(path); }

std::vector<TCaptureDriver> ListCaptureDrivers(const std::string& deviceDir) {
    std::vector<TCaptureDriver> out;
    for (int i = 0; i < 10; ++i) {
        std::string path = deviceDir + "/video" + std::to_string(i);
        int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability cap{};
        if (Xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
            uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
                std::string name(reinterpret_cast<const char*>(cap.card), strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
                out.push_back({name.empty() ? path : name, path, false});
            }
        }
        close(fd);
    }
    return out;
}

bool SyntheticCameraForced() {
    const char* e = getenv("ORB_SYNTHETIC_CAMERA");
    return e && *e;
}

TCaptureDriver SyntheticCameraDriver() {
    TCaptureDriver synthetic{kSyntheticCameraName, "", true, 0};
    if (const char* e = getenv("ORB_SYNTHETIC_CAMERA"); e && strlen(e) >= 2 && strlen(e) <= 4) {
        char c[4] = {' ', ' ', ' ', ' '};
        std::memcpy(c, e, strlen(e));
        uint32_t code = MakeFourcc(c[0], c[1], c[2], c[3]);
        if (YuvFormatOf(code) >= kConvYUY2) synthetic.layout = code;
    }
    return synthetic;
}

std::vector<TCaptureDriver> SelectableCaptureDrivers(const std::string& deviceDir) {
    std::vector<TCaptureDriver> out = ListCaptureDrivers(deviceDir);
    out.push_back(SyntheticCameraDriver());
    return out;
}

std::optional<TCaptureDriver> ChooseCaptureDriver(const std::vector<TCaptureDriver>& devices, int driverIndex,
                                                  bool syntheticChosen) {
    if (syntheticChosen || SyntheticCameraForced()) return SyntheticCameraDriver();
    if (driverIndex < 0 || driverIndex >= 10 || size_t(driverIndex) >= devices.size()) return std::nullopt;
    return devices[size_t(driverIndex)];
}

bool FillCaptureDrivers(std::vector<std::string>& list) {
    list.clear();
    for (const auto& d : ListCaptureDrivers()) list.push_back(d.name);
    return !list.empty();
}

int TAudioFormat::SamplesPerSecond() const {
    static constexpr int kRates[4] = {8000, 11025, 22050, 44100};
    return frequency >= 0 && frequency < 4 ? kRates[frequency] : 8000;
}

TPreviewRect PreviewRect(int cw, int ch, int pw, int ph, bool scale, bool proportional) {
    if (!scale) return {0, 0, pw, ph};
    if (!proportional || pw <= 0 || ph <= 0) return {0, 0, cw, ch};
    // Wider than the picture's ratio: full height.
    if (int64_t(cw) * ph > int64_t(pw) * ch) return {0, 0, int(int64_t(ch) * pw / ph), ch};
    return {0, 0, cw, int(int64_t(cw) * ph / pw)};
}

bool CapturePictureToRgb(const TBitmapInfoHeader& f, std::span<const uint8_t> data, std::vector<uint32_t>& out) {
    const size_t need = CapturePictureBytes(f);
    if (!need || data.size() < need) return false;
    const int w = f.biWidth, h = std::abs(f.biHeight);
    std::vector<uint32_t> bottomUp(size_t(w) * size_t(h));
    const int id = YuvFormatOf(f.biCompression);
    if (id == kConvRgb) {
        const size_t line = DibLineBytes(w, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = data.data() + size_t(y) * line + size_t(x) * 3;
                bottomUp[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000u | p[0] | (p[1] << 8) | (p[2] << 16);
            }
    } else if (!ConvertYuvFrame(id, data, bottomUp, h, w)) {
        return false;
    }
    out.resize(bottomUp.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000u | bottomUp[size_t(h - 1 - y) * size_t(w) + size_t(x)];
    return true;
}

// ---- TVideoCap

void TVideoCap::SetVideoOverlay(bool on) {
    if (on) throw ENoOverlayException();
}

TVideoCap::TVideoCap(std::vector<TCaptureDriver> drivers) : drivers_(std::move(drivers)) {}

TVideoCap::~TVideoCap() {
    try {
        SetDriverOpen(false);
    } catch (...) {
    }
}

void TVideoCap::SetDriverIndex(int index) {
    SetDriverOpen(false);
    driverIndex_ = (index >= 0 && index < 10 && size_t(index) < drivers_.size()) ? index : -1;
}

std::string TVideoCap::DriverName() const { return driverIndex_ >= 0 ? drivers_[size_t(driverIndex_)].name : ""; }

void TVideoCap::SetDriverName(const std::string& name) {
    for (size_t i = 0; i < drivers_.size() && i < 10; ++i)
        if (drivers_[i].name == name) {
            SetDriverIndex(int(i));
            return;
        }
}

int TVideoCap::FrameRate() const {
    return microSecPerFrame_ ? int(std::lround(1000000.0 / double(microSecPerFrame_))) : 0;
}

void TVideoCap::SetFrameRate(int rate) {
    if (rate > 0) microSecPerFrame_ = std::lround(1000000.0 / rate);
}

void TVideoCap::SetDriverOpen(bool open) {
    if (!open) {
        StopCapture();
        device_.reset();
        return;
    }
    if (device_) return;
    if (driverIndex_ < 0) {
        if (OnStatus) OnStatus("No capture driver selected");
        throw ENoDriverException();
    }
    const TCaptureDriver& d = drivers_[size_t(driverIndex_)];
    std::unique_ptr<ICaptureDevice> dev = d.synthetic ? MakeSyntheticCamera() : MakeV4L2Camera(d.path);
    if (!dev->Open()) {
        if (OnStatus) OnStatus("Unable to connect the capture driver");
        throw ENotConnectException();
    }
    if (d.synthetic) {
        if (syntheticFormat_.biWidth > 0) {
            dev->SetFormat(syntheticFormat_);
        } else if (d.layout) {
            TBitmapInfoHeader f = dev->Format();
            f.biCompression = d.layout;
            dev->SetFormat(f);
        }
    }
    device_ = std::move(dev);
}

TBitmapInfoHeader TVideoCap::VideoFormatHeader() const {
    if (!device_) throw ENotOpen();
    return device_->Format();
}

void TVideoCap::SetVideoFormat(const TBitmapInfoHeader& format) {
    if (!device_) throw ENotOpen();
    if (capturing_ || !device_->SetFormat(format)) throw EFalseFormat();
    if (drivers_[size_t(driverIndex_)].synthetic) syntheticFormat_ = device_->Format();
}

TCaptureDriverCaps TVideoCap::GetDriverCaps() const {
    if (!device_) throw ENotOpen();
    TCaptureDriverCaps c;
    c.captureInitialized = true;
    c.hasDlgVideoSource = !device_->Controls().empty();
    c.hasDlgVideoFormat = device_->FormatChoices().size() > 1;
    return c;
}

TCaptureStatus TVideoCap::Status() const {
    if (!device_) throw ENotOpen();
    const TBitmapInfoHeader f = device_->Format();
    TCaptureStatus s;
    s.imageWidth = f.biWidth;
    s.imageHeight = std::abs(f.biHeight);
    s.compression = f.biCompression;
    s.liveWindow = VideoPreview;
    s.capturingNow = capturing_;
    s.currentVideoFrame = frames_;
    s.videoFramesDropped = device_->DroppedFrames();
    return s;
}

std::vector<TCaptureControl> TVideoCap::Controls() const {
    if (!device_) throw ENotOpen();
    return device_->Controls();
}

bool TVideoCap::SetControl(uint32_t id, int32_t value) {
    if (!device_) throw ENotOpen();
    return device_->SetControl(id, value);
}

std::vector<TCaptureFormatChoice> TVideoCap::FormatChoices() const {
    if (!device_) throw ENotOpen();
    return device_->FormatChoices();
}

void TVideoCap::StartCapture() {
    if (!device_) throw ENotOpen();
    if (capturing_) return;
    frames_ = 0;
    capturing_ = device_->Start(
        [this](const uint8_t* d, size_t n) {
            ++frames_;
            if (OnVideoStream) OnVideoStream(d, n);
        },
        microSecPerFrame_);
}

void TVideoCap::StopCapture() {
    if (device_ && capturing_) device_->Stop();
    capturing_ = false;
}

bool TVideoCap::GrabFrame() {
    if (!device_) throw ENotOpen();
    if (capturing_) return false;
    std::vector<uint8_t> pic;
    if (!device_->Grab(pic)) return false;
    if (OnVideoStream) OnVideoStream(pic.data(), pic.size());
    return true;
}

}  // namespace orb::video
