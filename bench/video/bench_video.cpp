// One web-cam frame's road per size: camera picture (YUY2 and I420) -> 32-bit RGB -> MPEG-4 v3
// compression -> decompression, in microseconds per frame; and our YUV conversions against
// libswscale's on the same pictures, as ratios measured in the same run.
extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <functional>
#include <tuple>
#include <cstdio>
#include <vector>

#include "../bench_summary.h"
#include "video/video_cap.h"
#include "video/video_codec.h"
#include "video/yuv_converts.h"

using namespace orb::video;
using Clock = std::chrono::steady_clock;

namespace {

double MicrosPer(int n, const std::function<void(int)>& f) {
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) f(i);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / n;
}

void Size(int w, int h, int frames) {
    std::printf("%dx%d\n", w, h);
    for (auto [name, fourcc, id, pix] :
         {std::tuple{"YUY2", MakeFourcc('Y', 'U', 'Y', '2'), int(kConvYUY2), AV_PIX_FMT_YUYV422},
          std::tuple{"I420", MakeFourcc('I', '4', '2', '0'), int(kConvI420), AV_PIX_FMT_YUV420P}}) {
        TBitmapInfoHeader f;
        f.biWidth = w;
        f.biHeight = h;
        f.biCompression = fourcc;
        std::vector<std::vector<uint8_t>> pictures;
        for (int i = 0; i < 16; ++i) pictures.push_back(SyntheticPicture(f, uint32_t(i)));
        std::vector<uint32_t> rgb(size_t(w * h));
        SwsContext* sws = sws_getContext(w, h, pix, w, h, AV_PIX_FMT_BGR0, SWS_POINT, nullptr, nullptr, nullptr);
        int planes = pix == AV_PIX_FMT_YUV420P ? 3 : 1;
        // Ours and libswscale frame by frame, taking turns at going first, so a busy spell of the
        // machine or a warm cache weighs on both alike; the ratio is the median of the pairs'.
        auto ourFrame = [&, id = id](int i) { ConvertYuvFrame(id, pictures[size_t(i % 16)], rgb, h, w); };
        auto theirFrame = [&](int i) {
            const uint8_t* p = pictures[size_t(i % 16)].data();
            const uint8_t* src[3] = {p, p + w * h, p + w * h + (w / 2) * (h / 2)};
            int stride[3] = {planes == 3 ? w : w * 2, w / 2, w / 2};
            uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(rgb.data())};
            int dstStride[1] = {w * 4};
            sws_scale(sws, src, stride, 0, h, dst, dstStride);
        };
        constexpr int kTurns = 5;
        std::vector<double> oursTurns, theirsTurns, ratios;
        for (int t = 0; t < kTurns; ++t) {
            double oursSum = 0, theirsSum = 0;
            for (int i = 0; i < frames; ++i) {
                double a = 0, b = 0;
                if (i % 2) {
                    a = MicrosPer(1, [&](int) { ourFrame(i); });
                    b = MicrosPer(1, [&](int) { theirFrame(i); });
                } else {
                    b = MicrosPer(1, [&](int) { theirFrame(i); });
                    a = MicrosPer(1, [&](int) { ourFrame(i); });
                }
                oursSum += a;
                theirsSum += b;
                ratios.push_back(a / b);
            }
            oursTurns.push_back(oursSum / frames);
            theirsTurns.push_back(theirsSum / frames);
        }
        sws_freeContext(sws);
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double ours = median(oursTurns), theirs = median(theirsTurns), ratio = median(ratios);
        std::printf("  %s -> RGB: ours %.0f us, swscale %.0f us, ratio %.2f\n", name, ours, theirs, ratio);
        char measure[96];
        std::snprintf(measure, sizeof measure, "%s -> RGB %dx%d vs libswscale", name, w, h);
        // 4:2:0 at 640 x 480, the web-cam's usual picture, is held to libswscale more closely.
        const double goal = pix == AV_PIX_FMT_YUV420P && w == 640 ? 1.2 : 1.5;
        orb::bench::Summary(measure, goal == 1.2 ? "<= 1.2" : "<= 1.5", ratio, ratio <= goal);
    }

    TBitmapInfoHeader in, out, decoded;
    in.biWidth = w;
    in.biHeight = h;
    in.biBitCount = 32;
    out = in;
    out.biCompression = kFourccMP43;
    TVideoCoDec enc, dec;
    enc.ForceKeyFrames = true;
    enc.InitCompressor(in, out, 2, 1000);
    enc.SetDataRate(w * h / 2, 200000, 0);
    enc.StartCompress();
    dec.InitDecompressor(out, decoded, 2, 1000);
    dec.StartDecompress();
    TBitmapInfoHeader cam;
    cam.biWidth = w;
    cam.biHeight = h;
    cam.biCompression = MakeFourcc('Y', 'U', 'Y', '2');
    std::vector<uint32_t> rgb(size_t(w * h));
    double convert = 0, compress = 0, decompress = 0;
    size_t bytes = 0;
    TPicture picture;
    for (int i = 0; i < frames; ++i) {
        auto pic = SyntheticPicture(cam, uint32_t(i));
        auto t0 = Clock::now();
        ConvertYuvFrame(kConvYUY2, pic, rgb, h, w);
        auto t1 = Clock::now();
        bool key = false;
        auto data = enc.CompressFrame({reinterpret_cast<const uint8_t*>(rgb.data()), rgb.size() * 4}, key);
        std::vector<uint8_t> copy(data.begin(), data.end());
        auto t2 = Clock::now();
        dec.DecodeFrame(copy, key, uint32_t(i), picture);
        auto t3 = Clock::now();
        convert += std::chrono::duration<double, std::micro>(t1 - t0).count();
        compress += std::chrono::duration<double, std::micro>(t2 - t1).count();
        decompress += std::chrono::duration<double, std::micro>(t3 - t2).count();
        bytes += copy.size();
    }
    std::printf("  frame (MP43, key every 2): convert %.0f us, compress %.0f us, decompress %.0f us, %.0f bytes\n",
                convert / frames, compress / frames, decompress / frames, double(bytes) / frames);
}

}  // namespace

int main() {
    Size(160, 120, 400);
    Size(640, 480, 100);
    return 0;
}
