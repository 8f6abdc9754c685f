// Seeds of the voice, video, sharing and picture targets, built as their tests build them: voice
// encoded by our own codecs, camera pictures compressed by the published codec, shared pictures
// through the segment encoder and the sharing records' writers, pictures through our encoders.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "protocol/message_kinds.h"
#include "protocol/vcr_header.h"
#include "roomserver/ext_sharing.h"
#include "seeds.h"
#include "sharing/codec/segment_codec.h"
#include "sharing/records/appshare_records.h"
#include "sharing/remote_input.h"
#include "util/images.h"
#include "video/video_cap.h"
#include "video/video_codec.h"
#include "video/video_records.h"
#include "video/yuv_converts.h"
#include "voice/voice_state.h"
#include "wire/bytes.h"

namespace orb::seeds {
namespace {

namespace fs = std::filesystem;
using namespace orb::appshare;

// The codec indexes in the order the voice fuzzers' first byte picks them.
constexpr int kVoiceIndexes[] = {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22};

// Half a second of a tone in 16-bit samples, as the voice tests speak into the codecs.
Bytes Tone(const audio::WaveFormat& pcm) {
    Bytes b(pcm.avgBytesPerSec / 2);
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        const auto v = int16_t(12000 * std::sin(double(i) / 7.0));
        b[i] = uint8_t(v & 0xFF);
        b[i + 1] = uint8_t(uint16_t(v) >> 8);
    }
    return b;
}

// The tone through the encoder of a codec index, cut to whole blocks; empty when the codec is
// not installed.
Bytes EncodedVoice(int index, uint16_t& blockAlign) {
    audio::WaveFormat codec;
    if (!media::BuildCodecFormat(index, codec)) return {};
    const auto pcm = media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    media::TAcmLiveConverter enc;
    if (!pcm || !enc.Open(*pcm, codec, true)) return {};
    const Bytes tone = Tone(*pcm);
    Bytes out;
    uint32_t n = 0;
    if (!enc.Convert(tone.data(), uint32_t(tone.size()), n, out)) return {};
    out.resize(n);
    blockAlign = codec.blockAlign;
    if (blockAlign) out.resize(out.size() / blockAlign * blockAlign);
    return out;
}

Bytes Message(uint16_t kind, int32_t sender, const Bytes& body) {
    TVCRHeader h;
    h.kind = kind;
    h.sender = sender;
    h.room = 3;
    h.time = 46000.5;
    h.bodyLength = int32_t(body.size());
    Bytes out;
    h.AppendTo(out);
    Append(out, body);
    return out;
}

bool VoiceSeeds(const fs::path& folder) {
    bool ok = true;
    // fuzz_voice_decode: the selector, then a buffer of the codec's blocks.
    for (size_t i = 0; i < std::size(kVoiceIndexes); ++i) {
        uint16_t align = 0;
        const Bytes voice = EncodedVoice(kVoiceIndexes[i], align);
        if (voice.empty()) continue;
        // At most 4 KiB of it: the uncompressed rows' half second says nothing more.
        Bytes in{uint8_t(i)};
        Append(in, Bytes(voice.begin(), voice.begin() + ptrdiff_t(std::min<size_t>(voice.size(), 4096 / align * align))));
        ok &= Write(folder, "fuzz_voice_decode", "codec-" + std::to_string(kVoiceIndexes[i]), in);
    }
    // fuzz_voice_stream: the selector, then the voice connection's messages: two voice blocks of a
    // speaker with a keep-alive between them (GSM 6.10 and the demo room's codec 2).
    for (size_t i : {size_t(0), size_t(2)}) {
        uint16_t align = 0;
        const Bytes voice = EncodedVoice(kVoiceIndexes[i], align);
        if (voice.empty() || align == 0) continue;
        const size_t half = voice.size() / align / 2 * align;
        Bytes in{uint8_t(i)};
        Append(in, Message(vkVoiceIn, 7, Bytes(voice.begin(), voice.begin() + ptrdiff_t(half))));
        Append(in, Message(vkKeepAlive, 0, {}));
        Append(in, Message(vkVoiceIn, 7, Bytes(voice.begin() + ptrdiff_t(half), voice.end())));
        ok &= Write(folder, "fuzz_voice_stream", "speaker-codec-" + std::to_string(kVoiceIndexes[i]), in);
    }
    // The same target reads its input as a remote audio record: a moderator's command.
    TRemoteAudioState s;
    s.requester = 7;
    s.target = 9;
    s.voiceStatus = 1;
    s.playbackDevice = 0;
    s.speakerVolume = 0x8000;
    s.captureDevice = 0;
    s.micVolume = 0xC000;
    s.boost = 1;
    s.command = TRemoteAudioState::cmdApply;
    const auto state = s.Encode();
    ok &= Write(folder, "fuzz_voice_stream", "remote-audio-apply", Bytes(state.begin(), state.end()));
    return ok;
}

// A bottom-up 32-bit picture of the synthetic camera's frame n, as the codec tests make it.
std::vector<uint32_t> CameraRgb(int w, int h, uint32_t n) {
    video::TBitmapInfoHeader f;
    f.biWidth = w;
    f.biHeight = h;
    f.biCompression = video::MakeFourcc('I', '4', '2', '0');
    const auto yuv = video::SyntheticPicture(f, n);
    std::vector<uint32_t> rgb(size_t(w * h));
    video::ConvertYuvFrame(video::kConvI420, yuv, rgb, h, w);
    return rgb;
}

bool VideoSeeds(const fs::path& folder) {
    using namespace orb::video;
    bool ok = true;
    // The publisher's codec at the size the fuzzer's decoder expects.
    TVideoCoDec enc;
    TBitmapInfoHeader in, out;
    in.biWidth = 160;
    in.biHeight = 120;
    in.biBitCount = 32;
    out = in;
    out.biCompression = PublishCompressor(kFourccWMV3);
    enc.ForceKeyFrames = true;
    if (!enc.InitCompressor(in, out, 10, 1000)) return false;
    enc.SetDataRate(20000, 200000, 0);
    if (!enc.StartCompress()) return false;
    Bytes frames[2];
    for (uint32_t n = 0; n < 2; ++n) {
        const auto rgb = CameraRgb(160, 120, n);
        bool key = false;
        const auto data = enc.CompressFrame({reinterpret_cast<const uint8_t*>(rgb.data()), rgb.size() * 4}, key);
        TVideoFrameRec rec;
        rec.keyFrame = key ? 1 : 0;
        rec.size = uint32_t(data.size());
        rec.sequence = n + 1;
        const auto head = rec.Encode();
        frames[n].assign(head.begin(), head.end());
        frames[n].insert(frames[n].end(), data.begin(), data.end());
    }
    // A frame body (kind 111 / the reply to 112): the key frame; then a key frame and the
    // difference frame after it.
    ok &= Write(folder, "fuzz_video_records", "key-frame", frames[0]);
    Bytes both = frames[0];
    Append(both, frames[1]);
    ok &= Write(folder, "fuzz_video_records", "key-then-difference-frame", both);
    // The publisher's format record (kind 109).
    TVideoFormatRec format;
    format.header = out;
    format.header.biSizeImage = uint32_t(160 * 120 * 4);
    format.framesPerSecond = 5;
    format.keyFrameInterval = 10;
    const auto f = format.Encode();
    ok &= Write(folder, "fuzz_video_records", "format", Bytes(f.begin(), f.end()));
    // Camera pictures for the converters: the converter's selector, lines and pixels, the picture.
    struct Camera {
        int conv;
        uint32_t fourcc;
    } cameras[] = {{kConvI420, MakeFourcc('I', '4', '2', '0')}, {kConvYUY2, MakeFourcc('Y', 'U', 'Y', '2')}};
    for (const Camera& c : cameras) {
        TBitmapInfoHeader cam;
        cam.biWidth = 32;
        cam.biHeight = 24;
        cam.biCompression = c.fourcc;
        const auto picture = SyntheticPicture(cam, 3);
        Bytes seed{uint8_t(c.conv - 2), 24 - 1, 32 - 1};
        Append(seed, picture);
        ok &= Write(folder, "fuzz_video_records", "camera-conv-" + std::to_string(c.conv), seed);
    }
    return ok;
}

// A screen picture as the sharing tests paint one: a gradient with a block of colour.
ShareBitmap Screen(uint8_t format, int32_t w, int32_t h, uint8_t shade) {
    ShareBitmap b;
    b.SetGeometry(format, w, h);
    const size_t line = b.ByteSize() / size_t(h);
    for (int32_t y = 0; y < h; ++y)
        for (size_t x = 0; x < line; ++x) b.Bits()[size_t(y) * line + x] = uint8_t((x * 3 + size_t(y)) / 4);
    for (int32_t y = h / 4; y < h / 2; ++y)
        for (size_t x = line / 4; x < line / 2; ++x) b.Bits()[size_t(y) * line + x] = shade;
    return b;
}

struct ShareFrames {
    Bytes key, difference;  // segment streams
};

ShareFrames SegmentStreams(uint8_t format, int32_t w, int32_t h, int32_t segments) {
    const ShareBitmap first = Screen(format, w, h, 0x40), second = Screen(format, w, h, 0xC0);
    ShareFrames f;
    EncodeBitmapSegments(format, first, false, segments, f.key);
    ShareBitmap changes;
    changes.SetGeometry(format, w, h);
    XorAndCountChanged(changes, first, second, segments);
    EncodeBitmapSegments(format, changes, true, segments, f.difference);
    return f;
}

Bytes FrameBody(int32_t number, bool key, const Bytes& stream) {
    TAppShareFrameHeader h;
    h.frameNumber = number;
    h.keyFrame = key ? 1 : 0;
    h.delta = key ? 0 : 1;
    h.streamLength = int32_t(stream.size());
    h.interval = 250;
    Bytes b;
    ByteWriter w(b);
    WriteAppShareFrameHeader(w, h);
    Append(b, stream);
    return b;
}

// The sharer of the sharing tests: user 7, a 64 x 40 picture.
TAppShareDescriptor Descriptor(uint8_t format) {
    TAppShareDescriptor d;
    d.userId = 7;
    d.pixelFormat = format;
    d.sourceWidth = d.pictureWidth = 64;
    d.sourceHeight = d.pictureHeight = 40;
    d.frameInterval = 250;
    d.sharerName = "Ann";
    d.title = "Desktop";
    return d;
}

Bytes StartBody(uint8_t format) {
    Bytes b;
    ByteWriter w(b);
    WriteAppShareDescriptor(w, Descriptor(format));
    w.u8(kShareStateSharing);
    return b;
}

TPaneShareInfo Panes() {
    TPaneShareInfo p;
    p.userId = 7;
    p.sharerName = "Ann";
    p.title = "Slides";
    p.active = 1;
    p.width = 64;
    p.height = 40;
    p.columns = 2;
    p.rows = 2;
    return p;
}

Bytes PaneInfoBody() {
    Bytes b;
    ByteWriter w(b);
    WritePaneShareInfo(w, Panes());
    return b;
}

// Kind 91 as the test room server plays a tile share: every tile, each a solid PNG.
Bytes TilesBody() {
    Bytes b;
    ByteWriter w(b);
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    for (int32_t i = 0; i < 4; ++i) {
        const Bytes png = test::TSharingExtension::SolidPng(32, 20, colours[i]);
        TPaneHeader h;
        h.index = i;
        h.stamp = 1;
        h.pngLength = int32_t(png.size());
        h.width = 32;
        h.height = 20;
        h.top = (i % 2) * 20;
        h.left = (i / 2) * 32;
        WritePaneHeader(w, h);
        w.bytes(png.data(), png.size());
    }
    return b;
}

Bytes CursorBody() {
    const Bytes png = test::TSharingExtension::SolidPng(32, 32, 0xFFFFFF);
    TShareCursorHeader h;
    h.x = 10;
    h.y = 12;
    h.pngLength = int32_t(png.size());
    Bytes b;
    ByteWriter w(b);
    WriteShareCursorHeader(w, h);
    w.bytes(png.data(), png.size());
    return b;
}

Bytes GrantBody(int32_t user, int32_t on) {
    Bytes b;
    ByteWriter w(b);
    WriteRemoteControlGrant(w, {user, on});
    return b;
}

Bytes StateBody(uint8_t state) {
    Bytes b;
    ByteWriter w(b);
    WriteAppShareState(w, state);
    return b;
}

// fuzz_share_messages' records: the selector, the sender byte (1: the sharer), the body's length
// in two bytes, the body.
void ShareRecord(Bytes& in, uint8_t selector, const Bytes& body) {
    ByteWriter w(in);
    w.u8(selector);
    w.u8(1);
    w.u16(uint16_t(body.size()));
    w.bytes(body.data(), body.size());
}

bool SharingSeeds(const fs::path& folder) {
    bool ok = true;
    // The decoder: the flags (bit 0 difference, bits 2-3 the format, bit 1 the records deflated by
    // the fuzzer), width - 1, height - 1, segments - 1, then the stream.
    const struct {
        uint8_t format, flagBits;
    } formats[] = {{kPixelFormat8, 0}, {kPixelFormat16, 1 << 2}, {kPixelFormat24, 2 << 2}};
    for (const auto& f : formats) {
        const ShareFrames s = SegmentStreams(f.format, 48, 24, kDefaultSegmentsPerLine);
        const std::string depth = std::to_string(int(f.format));
        Bytes key{f.flagBits, 48 - 1, 24 - 1, kDefaultSegmentsPerLine - 1};
        Append(key, s.key);
        ok &= Write(folder, "fuzz_appshare_decoder", "key-frame-format-" + depth, key);
        Bytes diff{uint8_t(f.flagBits | 1), 48 - 1, 24 - 1, kDefaultSegmentsPerLine - 1};
        Append(diff, s.difference);
        ok &= Write(folder, "fuzz_appshare_decoder", "difference-frame-format-" + depth, diff);
        if (f.format == kPixelFormat24) {
            // The same key frame's records inflated, past their head (the fuzzer writes the head).
            Bytes raw(48 * 24 * 3 + 4096);
            uLongf n = uLongf(raw.size());
            if (uncompress(raw.data(), &n, s.key.data(), uLong(s.key.size())) == Z_OK && n > 13) {
                raw.resize(n);
                raw.erase(raw.begin(), raw.begin() + 13);
                Bytes records{uint8_t(f.flagBits | 2), 48 - 1, 24 - 1, kDefaultSegmentsPerLine - 1};
                Append(records, raw);
                ok &= Write(folder, "fuzz_appshare_decoder", "key-frame-records", records);
            }
        }
    }

    // The record readers: each kind's body.
    const ShareFrames s24 = SegmentStreams(kPixelFormat24, 64, 40, kDefaultSegmentsPerLine);
    ok &= Write(folder, "fuzz_appshare_records", "start-141", StartBody(kPixelFormat24));
    ok &= Write(folder, "fuzz_appshare_records", "frame-144", FrameBody(0, true, s24.key));
    ok &= Write(folder, "fuzz_appshare_records", "tiles-91", TilesBody());
    ok &= Write(folder, "fuzz_appshare_records", "cursor-93", CursorBody());
    ok &= Write(folder, "fuzz_appshare_records", "tile-grid-86", PaneInfoBody());

    // The viewer's session: a share started, its key frame and a difference frame, paused and
    // resumed, control given to us (user 9) and a click, stopped; at every depth.
    for (uint8_t format : {kPixelFormat8, kPixelFormat16, kPixelFormat24}) {
        const ShareFrames f = SegmentStreams(format, 64, 40, kDefaultSegmentsPerLine);
        Bytes in;
        ShareRecord(in, 0, StartBody(format));
        ShareRecord(in, 1, FrameBody(0, true, f.key));
        ShareRecord(in, 1, FrameBody(1, false, f.difference));
        ShareRecord(in, 2, StateBody(kShareStatePaused));
        ShareRecord(in, 2, StateBody(kShareStateSharing));
        ShareRecord(in, 3, GrantBody(9, 1));
        Bytes click;
        ByteWriter w(click);
        sharing::MouseEvent(sharing::kMouseLeftDown, {32768, 16384}).Encode(w);
        ShareRecord(in, 4, click);
        ShareRecord(in, 9, {});
        ok &= Write(folder, "fuzz_share_messages", "segment-share-format-" + std::to_string(int(format)), in);
    }
    // A tile share: started, its grid again, the tiles, the cursor, stopped.
    Bytes tiles;
    ShareRecord(tiles, 5, PaneInfoBody());
    ShareRecord(tiles, 6, PaneInfoBody());
    ShareRecord(tiles, 7, TilesBody());
    ShareRecord(tiles, 8, CursorBody());
    ShareRecord(tiles, 9, {});
    ok &= Write(folder, "fuzz_share_messages", "tile-share", tiles);
    return ok;
}

bool ImageSeeds(const fs::path& folder) {
    bool ok = true;
    // fuzz_images: selector 0 takes the rest as a picture; 1 and 2 patch the fuzzer's own JPEG and
    // PNG with (offset low, offset high, byte) triples.
    Bitmap b;
    b.width = 40;
    b.height = 30;
    b.rgb.resize(size_t(b.width * b.height * 3));
    for (size_t i = 0; i < b.rgb.size(); ++i) b.rgb[i] = uint8_t((i / 3) % 40 * 6 + (i % 3) * 40);
    Bytes jpeg;
    if (BitmapToJpeg(b, 75, jpeg)) {
        Bytes in{0};
        Append(in, jpeg);
        ok &= Write(folder, "fuzz_images", "jpeg", in);
    }
    Bytes png{0};
    Append(png, test::TSharingExtension::SolidPng(24, 16, 0x3366CC));
    ok &= Write(folder, "fuzz_images", "png", png);
    // The JPEG's last scan bytes and the PNG's pixel data changed.
    ok &= Write(folder, "fuzz_images", "patched-jpeg", {1, 0x40, 0x02, 0x7F, 0x48, 0x02, 0x10, 0x50, 0x02, 0xFF});
    ok &= Write(folder, "fuzz_images", "patched-png", {2, 0x30, 0x00, 0x11, 0x34, 0x00, 0xEE, 0x12, 0x00, 0x06});
    return ok;
}

}  // namespace

bool WriteMediaSeeds(const fs::path& folder) {
    bool ok = VoiceSeeds(folder);
    ok &= VideoSeeds(folder);
    ok &= SharingSeeds(folder);
    ok &= ImageSeeds(folder);
    return ok;
}

}  // namespace orb::seeds
