// Our codecs against independent tools: sox for GSM 6.10 in WAV (format 0x31), speexenc and
// speexdec for every Speex row; and the converter's carrying of samples between capture buffers.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "wire/bytes.h"

using namespace orb::media;
using namespace orb::audiotest;
using orb::audio::WaveFormat;

namespace {

struct Codec {
    WaveFormat format, pcm;
};

Codec Make(int index) {
    Codec c;
    EXPECT_TRUE(BuildCodecFormat(index, c.format));
    c.pcm = *BuildPcmFormat(c.format.bitsPerSample, c.format.samplesPerSec);
    return c;
}

std::vector<uint8_t> Encode(const Codec& c, const std::vector<uint8_t>& pcm) {
    TAcmLiveConverter enc;
    EXPECT_TRUE(enc.Open(c.pcm, c.format, true));
    std::vector<uint8_t> out;
    uint32_t n = 0;
    EXPECT_TRUE(enc.Convert(pcm.data(), uint32_t(pcm.size()), n, out));
    return out;
}

std::vector<uint8_t> Decode(const Codec& c, const std::vector<uint8_t>& blocks) {
    TAcmLiveConverter dec;
    EXPECT_TRUE(dec.Open(c.format, c.pcm, true));
    std::vector<uint8_t> out;
    uint32_t n = 0;
    EXPECT_TRUE(dec.Convert(blocks.data(), uint32_t(blocks.size()), n, out));
    EXPECT_EQ(n, out.size());
    return out;
}

// A GSM 6.10 WAV file as the format describes it: fmt chunk of 20 bytes, fact chunk, data.
std::vector<uint8_t> GsmWav(const std::vector<uint8_t>& blocks) {
    std::vector<uint8_t> out;
    orb::ByteWriter w(out);
    const uint32_t fmtSize = 20, factSize = 4;
    w.bytes("RIFF", 4);
    w.u32(uint32_t(4 + 8 + fmtSize + 8 + factSize + 8 + blocks.size()));
    w.bytes("WAVE", 4);
    w.bytes("fmt ", 4);
    w.u32(fmtSize);
    w.u16(0x0031);
    w.u16(1);
    w.u32(8000);
    w.u32(1625);
    w.u16(65);
    w.u16(0);
    w.u16(2);
    w.u16(320);
    w.bytes("fact", 4);
    w.u32(factSize);
    w.u32(uint32_t(blocks.size() / 65 * 320));
    w.bytes("data", 4);
    w.u32(uint32_t(blocks.size()));
    w.bytes(blocks.data(), blocks.size());
    return out;
}

struct WavInfo {
    uint16_t tag = 0, channels = 0, blockAlign = 0, samplesPerBlock = 0;
    uint32_t rate = 0, bytesPerSec = 0;
    std::vector<uint8_t> data;
};

bool ParseWav(const std::vector<uint8_t>& file, WavInfo& info) {
    orb::ByteReader r(file.data(), file.size());
    char id[4];
    uint32_t size = 0;
    if (!r.bytes(id, 4) || std::string(id, 4) != "RIFF" || !r.u32(size) || !r.bytes(id, 4) || std::string(id, 4) != "WAVE")
        return false;
    while (r.remaining() >= 8) {
        r.bytes(id, 4);
        r.u32(size);
        const std::string chunk(id, 4);
        auto body = r.view(std::min<size_t>(size, r.remaining()));
        if (size & 1) r.skip(std::min<size_t>(1, r.remaining()));
        orb::ByteReader b(body);
        if (chunk == "fmt ") {
            uint16_t bits = 0, extra = 0;
            b.u16(info.tag);
            b.u16(info.channels);
            b.u32(info.rate);
            b.u32(info.bytesPerSec);
            b.u16(info.blockAlign);
            b.u16(bits);
            if (b.u16(extra) && extra >= 2) b.u16(info.samplesPerBlock);
        } else if (chunk == "data") {
            info.data.assign(body.begin(), body.end());
        }
    }
    return !info.data.empty();
}

// Audio packets of an Ogg Speex file (after the header and comment packets).
std::vector<std::vector<uint8_t>> OggPackets(const std::vector<uint8_t>& file) {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> current;
    orb::ByteReader r(file.data(), file.size());
    while (r.remaining() >= 27) {
        char magic[4];
        uint8_t version, type, segments;
        r.bytes(magic, 4);
        if (std::string(magic, 4) != "OggS") break;
        r.u8(version);
        r.u8(type);
        r.skip(8 + 4 + 4 + 4);
        r.u8(segments);
        auto table = r.view(segments);
        for (uint8_t lace : table) {
            auto part = r.view(lace);
            current.insert(current.end(), part.begin(), part.end());
            if (lace < 255) {
                packets.push_back(std::move(current));
                current.clear();
            }
        }
        if (!r.ok()) break;
    }
    if (packets.size() >= 2) packets.erase(packets.begin(), packets.begin() + 2);
    return packets;
}

}  // namespace

TEST(CodecCarry, HalfSecondBuffersLoseNothing) {
    // Half a second of capture is not a whole number of blocks for several rows; what is left over
    // goes in front of the next buffer, so piecewise encoding equals encoding all at once.
    for (int index : {0, 1, 2, 3, 4, 5, 6, 7}) {
        SCOPED_TRACE(index);
        Codec c = Make(index);
        const auto pcm = ToBytes(SpeechLike(c.pcm.samplesPerSec, 10.0, uint32_t(index) + 7));
        const size_t bufferSize = c.pcm.avgBytesPerSec / 2;
        TAcmLiveConverter enc;
        ASSERT_TRUE(enc.Open(c.pcm, c.format, true));
        std::vector<uint8_t> piecewise, out;
        for (size_t at = 0; at < pcm.size(); at += bufferSize) {
            uint32_t n = 0;
            ASSERT_TRUE(enc.Convert(pcm.data() + at, uint32_t(std::min(bufferSize, pcm.size() - at)), n, out));
            EXPECT_EQ(n % c.format.blockAlign, 0u);
            piecewise.insert(piecewise.end(), out.begin(), out.end());
        }
        EXPECT_EQ(enc.Pending(), 0u);
        EXPECT_EQ(piecewise, Encode(c, pcm));
        // Ten seconds in, ten seconds out.
        EXPECT_EQ(Decode(c, piecewise).size(), pcm.size());
    }
}

TEST(CodecCarry, DecodingDropsAPartialBlockAndSurvivesGarbage) {
    for (int index : {0, 1, 4, 5, 7}) {
        SCOPED_TRACE(index);
        Codec c = Make(index);
        const size_t spb = size_t(uint64_t(c.format.samplesPerSec) * c.format.blockAlign / c.format.avgBytesPerSec);
        std::vector<uint8_t> junk(size_t(c.format.blockAlign) * 3 + 5);
        uint32_t x = 12345;
        for (auto& b : junk) b = uint8_t((x = x * 1103515245 + 12345) >> 16);
        EXPECT_EQ(Decode(c, junk).size(), 3 * spb * 2);
        std::vector<uint8_t> tiny(size_t(c.format.blockAlign) - 1, 0xFF);
        EXPECT_TRUE(Decode(c, tiny).empty());
    }
}

TEST(GsmInterop, OurBlocksDecodeWithSoxAndFfmpegToOurSamples) {
    TempDir dir;
    Codec c = Make(0);
    const auto blocks = Encode(c, ToBytes(SpeechLike(8000, 3.0)));
    ASSERT_EQ(blocks.size(), 75u * 65u);
    WriteFile(dir.file("ours.wav"), GsmWav(blocks));
    ASSERT_EQ(RunTool({"sox", dir.file("ours.wav"), "-t", "raw", "-e", "signed", "-b", "16", "-L", dir.file("sox.raw")}), 0);
    const auto soxSamples = ReadFile(dir.file("sox.raw"));
    const auto ourSamples = Decode(c, blocks);
    ASSERT_EQ(ourSamples.size(), 3u * 8000 * 2);
    EXPECT_EQ(soxSamples, ourSamples);
    // ffmpeg's decoder is an implementation of its own, not libgsm.
    ASSERT_EQ(RunTool({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", dir.file("ours.wav"), "-f", "s16le",
                       "-acodec", "pcm_s16le", dir.file("ffmpeg.raw")}),
              0);
    EXPECT_EQ(ReadFile(dir.file("ffmpeg.raw")), ourSamples);
}

TEST(GsmInterop, SoxEncodedWavDecodesWithOursLikeSox) {
    TempDir dir;
    WriteFile(dir.file("in.raw"), ToBytes(SpeechLike(8000, 2.5, 3)));
    ASSERT_EQ(RunTool({"sox", "-t", "raw", "-r", "8000", "-e", "signed", "-b", "16", "-c", "1", "-L", dir.file("in.raw"),
                   "-e", "gsm-full-rate", dir.file("sox.wav")}),
              0);
    WavInfo wav;
    ASSERT_TRUE(ParseWav(ReadFile(dir.file("sox.wav")), wav));
    EXPECT_EQ(wav.tag, 0x31);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.rate, 8000u);
    EXPECT_EQ(wav.bytesPerSec, 1625u);
    EXPECT_EQ(wav.blockAlign, 65);
    EXPECT_EQ(wav.samplesPerBlock, 320);
    // sox counts the pad byte of an odd-sized data chunk in its size.
    ASSERT_LE(wav.data.size() % 65, 1u);
    wav.data.resize(wav.data.size() / 65 * 65);

    ASSERT_EQ(RunTool({"sox", dir.file("sox.wav"), "-t", "raw", "-e", "signed", "-b", "16", "-L", dir.file("sox.raw")}), 0);
    auto soxSamples = ReadFile(dir.file("sox.raw"));
    auto ourSamples = Decode(Make(0), wav.data);
    // sox stops at the sample count of the file; the last block may hold padding beyond it.
    ASSERT_GE(ourSamples.size(), soxSamples.size());
    ASSERT_GE(soxSamples.size(), 2u * 8000 * 2);
    ourSamples.resize(soxSamples.size());
    EXPECT_EQ(ourSamples, soxSamples);
}

TEST(SpeexInterop, SpeexencBlocksHaveTableSizesAndDecodeLikeSpeexdec) {
    struct Setting {
        int index;
        const char* mode;
        const char* quality;
        const char* frames;
    };
    // The encoder settings each row stands for.
    const Setting settings[] = {{1, "-n", "5", "2"}, {2, "-w", "4", "1"}, {3, "-w", "5", "1"}, {4, "-w", "8", "2"},
                                {5, "-u", "4", "2"}, {6, "-u", "6", "1"}, {7, "-u", "8", "1"}};
    for (const auto& s : settings) {
        SCOPED_TRACE(s.index);
        TempDir dir;
        Codec c = Make(s.index);
        const uint32_t rate = c.format.samplesPerSec;
        WriteFile(dir.file("in.raw"), ToBytes(SpeechLike(rate, 2.0, uint32_t(s.index))));
        ASSERT_EQ(RunTool({"speexenc", s.mode, "--quality", s.quality, "--nframes", s.frames, "--rate", std::to_string(rate),
                       "--le", dir.file("in.raw"), dir.file("out.spx")}),
                  0);
        const auto packets = OggPackets(ReadFile(dir.file("out.spx")));
        ASSERT_GE(packets.size(), 10u);
        std::vector<uint8_t> blocks;
        // The last packet holds only the frames that were left, so it may be shorter.
        for (size_t i = 0; i + 1 < packets.size(); ++i) {
            ASSERT_EQ(packets[i].size(), c.format.blockAlign) << "packet " << i << " of " << packets.size();
            blocks.insert(blocks.end(), packets[i].begin(), packets[i].end());
        }
        EXPECT_LE(packets.back().size(), c.format.blockAlign);
        ASSERT_EQ(RunTool({"speexdec", dir.file("out.spx"), dir.file("ref.raw")}), 0);
        const auto ref = ToSamples(ReadFile(dir.file("ref.raw")));
        const auto ours = ToSamples(Decode(c, blocks));
        ASSERT_GE(ref.size(), size_t(rate));
        // speexdec leaves out the encoder's look-ahead at the start: find that offset, then every
        // sample both decoded must agree.
        size_t skip = 0;
        const size_t probe = 400;
        while (skip < size_t(rate / 25) &&
               !std::equal(ref.begin(), ref.begin() + probe, ours.begin() + ptrdiff_t(skip)))
            ++skip;
        ASSERT_LT(skip, size_t(rate / 25)) << "no alignment found";
        const size_t n = std::min(ref.size(), ours.size() - skip);
        EXPECT_GE(n, ours.size() - skip - size_t(rate / 25));
        EXPECT_TRUE(std::equal(ref.begin(), ref.begin() + ptrdiff_t(n), ours.begin() + ptrdiff_t(skip)));
    }
}
