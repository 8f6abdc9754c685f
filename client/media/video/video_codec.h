#pragma once
// One video compressor or decompressor over libavcodec, chosen by the four-character code of the
// stream, plus the codec table's free functions (installed, error texts).
//
// Codecs here: "MP43" (MPEG-4 v3; what this client publishes), "MP42" and "MJPG" both ways, and
// "WMV3" (Windows Media Video 9) for viewing only: libavcodec decodes it but has no encoder, so a
// configured "WMV3" publishes as "MP43" (PublishCompressor).
//
// Pictures in: bottom-up 24- or 32-bit RGB as the input format gives. Pictures out: top-down
// 32-bit RGB (0xffRRGGBB) of the size the decoder really produced.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "video_records.h"

namespace orb::video {

constexpr uint32_t kFourccMP43 = MakeFourcc('M', 'P', '4', '3');
constexpr uint32_t kFourccWMV3 = MakeFourcc('W', 'M', 'V', '3');

// The codec's error text of a result code.
std::string VideoCodecErrorText(int code);
// True when streams of the code can be watched (libavcodec has its decoder).
bool VideoCodecDecodes(uint32_t fourcc);
// True when the code can be published as it is (libavcodec has its encoder).
bool VideoCodecEncodes(uint32_t fourcc);
// The code the publisher compresses with for a configured one.
uint32_t PublishCompressor(uint32_t configured);
// True unless the code can neither be decoded nor published (itself or through its substitute):
// what the settings call "installed".
bool VideoCodecInstalled(uint32_t fourcc);
// The settings' words for a codec that is not installed here.
std::string VideoCodecMissingText(uint32_t fourcc);
// The sequence header handed to the WMV3 decoder: the room's format record carries none, so the
// decoder assumes main profile with the loop filter, the fast transform and variable-size
// transforms, no B frames and no range reduction.
inline constexpr uint8_t kWmv3SequenceHeader[4] = {0x40, 0x09, 0x08, 0x01};

struct TPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top row first
};

// Compression with a bounded number of attempts: a result of exactly 8 bytes beginning with 0 is
// not used and the frame is compressed again, at most maxAttempts times in all.
std::vector<uint8_t> CompressBounded(const std::function<std::vector<uint8_t>()>& compressOnce, int maxAttempts);

class TVideoCoDec {
public:
    TVideoCoDec();
    ~TVideoCoDec();
    TVideoCoDec(const TVideoCoDec&) = delete;
    TVideoCoDec& operator=(const TVideoCoDec&) = delete;

    // input: the uncompressed pictures (24 or 32 bits, uncompressed RGB); output: the input with
    // the codec's code as compression. Quality 0..10000. On success output is rewritten to what
    // the codec makes.
    bool InitCompressor(const TBitmapInfoHeader& input, TBitmapInfoHeader& output, int keyRate, int quality);
    // compressed: the received stream's format; output: filled with the decoded picture's format.
    bool InitDecompressor(const TBitmapInfoHeader& compressed, TBitmapInfoHeader& output, int keyRate, int quality);
    void SetDataRate(int bytesPerSecond, int microSecPerFrame, int frameCount);
    bool StartCompress();
    bool StartDecompress();
    void Stop();

    // The compressed frame (valid until the next call), or empty on failure or before the start.
    std::span<const uint8_t> CompressFrame(std::span<const uint8_t> picture, bool& keyFrame);

    enum class TDecode { decoded, skipped, failed };
    // Decodes one received frame into out. Frames before the first key frame, a repeated sequence
    // number, and difference frames after a gap in the sequence (until the next key frame) are
    // skipped without touching the decoder.
    TDecode DecodeFrame(std::span<const uint8_t> data, bool keyFrame, uint32_t sequence, TPicture& out);

    bool Decompressing() const { return decompressing_; }
    bool ForceKeyFrames = false;
    std::string Name;
    std::string Description;
    int LastError = 0;
    int Quality() const { return quality_; }
    int MaxAttempts = 3;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
    bool compressing_ = false;
    bool decompressing_ = false;
    int direction_ = -1;
    int keyRate_ = 0;
    int quality_ = 0;
    int keyCountdown_ = 0;
    int64_t frameCount_ = 0;
    int bytesPerSecond_ = 0;
    int microSecPerFrame_ = 200000;
    TBitmapInfoHeader input_, output_;
    std::vector<uint8_t> out_;
    // Decoder's place in the stream.
    bool waitForKey_ = true;
    bool haveSequence_ = false;
    uint32_t lastSequence_ = 0;
};

}  // namespace orb::video
