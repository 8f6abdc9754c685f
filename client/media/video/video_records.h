#pragma once
// Records of the video connection: the 40-byte bitmap header, the 46-byte stream format, the
// 13-byte frame head and the 112-byte registration body, with the checks every received length
// and rate goes through before it is used.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/vcr_header.h"
#include "session/session_records.h"

namespace orb::video {

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}
// The four characters of a code as text (unprintable bytes become '?').
std::string FourccText(uint32_t code);
// Upper-cases the letters of a code (codec names compare without case).
uint32_t FourccUpper(uint32_t code);

// BITMAPINFOHEADER (40 bytes, packed, little-endian).
struct TBitmapInfoHeader {
    static constexpr size_t kSize = 40;
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    void EncodeTo(uint8_t* out) const;
    static TBitmapInfoHeader DecodeFrom(const uint8_t* in);
    bool operator==(const TBitmapInfoHeader&) const = default;
};

// Largest picture side accepted from a camera or the network, and the largest picture.
constexpr int32_t kMaxVideoSide = 4096;
constexpr int64_t kMaxVideoPixels = 4096LL * 2304;

// Bytes of one uncompressed line of `bitCount` bits per pixel, rounded up to 4 bytes.
uint32_t DibLineBytes(int32_t width, int bitCount);

// True when width and height (either sign) are within the limits above.
bool PictureSizeOk(int32_t width, int32_t height);

struct TVideoFormatRec {
    static constexpr size_t kSize = 46;
    // The compressor's output format; biSizeImage holds the bytes of one uncompressed input picture.
    TBitmapInfoHeader header;
    uint16_t framesPerSecond = 0;
    uint16_t keyFrameInterval = 0;

    std::array<uint8_t, kSize> Encode() const;
    // Exactly 46 bytes, with a picture size within the limits; false otherwise, out untouched.
    static bool Decode(std::span<const uint8_t> in, TVideoFormatRec& out);
};

struct TVideoFrameRec {
    static constexpr size_t kSize = 13;
    uint8_t keyFrame = 0;   // 1 key frame, 0 difference frame
    uint32_t size = 0;      // compressed bytes that follow
    uint32_t reserved = 0;  // the sender's bookkeeping; ignored on receipt
    uint32_t sequence = 0;  // from the publisher's frame buffer

    std::array<uint8_t, kSize> Encode() const;
    static bool Decode(std::span<const uint8_t> in, TVideoFrameRec& out);
};

// Largest body accepted on the video connection.
constexpr int32_t kMaxVideoBody = 1 << 20;

// Registration modes.
constexpr uint32_t kVideoPublish = 0;
constexpr uint32_t kVideoView = 1;

// Kind 106 body: the login request, the room as 2 bytes and the mode as 4 bytes (112 bytes).
std::vector<uint8_t> EncodeVideoRegistration(const TLoginRequest& login, int16_t room, uint32_t mode);

// A frame message body (kind 111 or a kind 112 reply): the record and exactly its frame bytes.
// False when the body is shorter than the record or the record's size is not body - 13.
bool ParseFrameBody(std::span<const uint8_t> body, TVideoFrameRec& rec, std::span<const uint8_t>& data);

// Frame rates from the network or the settings taken to 1..30.
int ClampFramesPerSecond(int fps);
// The viewer's poll interval: round(1000 / fps) - 50 ms, never below 10 ms.
int64_t PollIntervalMs(int fps);

// Result codes of the video connection's own failures.
constexpr int kVideoNoConnection = 13;
constexpr int kVideoExchangeFailed = 33;
constexpr int kVideoStopped = 47;
constexpr int kVideoLoopEnded = 100;

}  // namespace orb::video
