#include "video_records.h"

#include <cmath>

#include "wire/bytes.h"

namespace orb::video {

std::string FourccText(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = char((code >> (8 * i)) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

uint32_t FourccUpper(uint32_t code) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t c = (code >> (8 * i)) & 0xFF;
        if (c >= 'a' && c <= 'z') c -= 32;
        out |= c << (8 * i);
    }
    return out;
}

void TBitmapInfoHeader::EncodeTo(uint8_t* out) const {
    StoreU32(out + 0, biSize);
    StoreU32(out + 4, uint32_t(biWidth));
    StoreU32(out + 8, uint32_t(biHeight));
    StoreU16(out + 12, biPlanes);
    StoreU16(out + 14, biBitCount);
    StoreU32(out + 16, biCompression);
    StoreU32(out + 20, biSizeImage);
    StoreU32(out + 24, uint32_t(biXPelsPerMeter));
    StoreU32(out + 28, uint32_t(biYPelsPerMeter));
    StoreU32(out + 32, biClrUsed);
    StoreU32(out + 36, biClrImportant);
}

TBitmapInfoHeader TBitmapInfoHeader::DecodeFrom(const uint8_t* in) {
    TBitmapInfoHeader h;
    h.biSize = LoadU32(in + 0);
    h.biWidth = int32_t(LoadU32(in + 4));
    h.biHeight = int32_t(LoadU32(in + 8));
    h.biPlanes = LoadU16(in + 12);
    h.biBitCount = LoadU16(in + 14);
    h.biCompression = LoadU32(in + 16);
    h.biSizeImage = LoadU32(in + 20);
    h.biXPelsPerMeter = int32_t(LoadU32(in + 24));
    h.biYPelsPerMeter = int32_t(LoadU32(in + 28));
    h.biClrUsed = LoadU32(in + 32);
    h.biClrImportant = LoadU32(in + 36);
    return h;
}

uint32_t DibLineBytes(int32_t width, int bitCount) {
    uint64_t bits = uint64_t(width > 0 ? width : 0) * uint64_t(bitCount > 0 ? bitCount : 0);
    return uint32_t(((bits + 31) / 32) * 4);
}

bool PictureSizeOk(int32_t width, int32_t height) {
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    int64_t h = height < 0 ? -int64_t(height) : height;
    return width <= kMaxVideoSide && h <= kMaxVideoSide && int64_t(width) * h <= kMaxVideoPixels;
}

std::array<uint8_t, TVideoFormatRec::kSize> TVideoFormatRec::Encode() const {
    std::array<uint8_t, kSize> out{};
    header.EncodeTo(out.data());
    StoreU16(out.data() + 40, framesPerSecond);
    StoreU16(out.data() + 42, keyFrameInterval);
    return out;
}

bool TVideoFormatRec::Decode(std::span<const uint8_t> in, TVideoFormatRec& out) {
    if (in.size() != kSize) return false;
    TVideoFormatRec r;
    r.header = TBitmapInfoHeader::DecodeFrom(in.data());
    if (!PictureSizeOk(r.header.biWidth, r.header.biHeight)) return false;
    r.framesPerSecond = LoadU16(in.data() + 40);
    r.keyFrameInterval = LoadU16(in.data() + 42);
    out = r;
    return true;
}

std::array<uint8_t, TVideoFrameRec::kSize> TVideoFrameRec::Encode() const {
    std::array<uint8_t, kSize> out{};
    out[0] = keyFrame;
    StoreU32(out.data() + 1, size);
    StoreU32(out.data() + 5, reserved);
    StoreU32(out.data() + 9, sequence);
    return out;
}

bool TVideoFrameRec::Decode(std::span<const uint8_t> in, TVideoFrameRec& out) {
    if (in.size() < kSize) return false;
    out.keyFrame = in[0];
    out.size = LoadU32(in.data() + 1);
    out.reserved = LoadU32(in.data() + 5);
    out.sequence = LoadU32(in.data() + 9);
    return true;
}

std::vector<uint8_t> EncodeVideoRegistration(const TLoginRequest& login, int16_t room, uint32_t mode) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    auto rec = login.Encode();
    w.bytes(rec.data(), rec.size());
    w.i16(room);
    w.u32(mode);
    return out;
}

bool ParseFrameBody(std::span<const uint8_t> body, TVideoFrameRec& rec, std::span<const uint8_t>& data) {
    TVideoFrameRec r;
    if (!TVideoFrameRec::Decode(body, r)) return false;
    if (uint64_t(r.size) != uint64_t(body.size() - TVideoFrameRec::kSize)) return false;
    rec = r;
    data = body.subspan(TVideoFrameRec::kSize);
    return true;
}

int ClampFramesPerSecond(int fps) { return fps < 1 ? 1 : fps > 30 ? 30 : fps; }

int64_t PollIntervalMs(int fps) {
    int64_t ms = std::lround(1000.0 / ClampFramesPerSecond(fps)) - 50;
    return ms < 10 ? 10 : ms;
}

}  // namespace orb::video
