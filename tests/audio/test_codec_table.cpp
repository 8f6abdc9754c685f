// The voice codec table, the PCM builder, format completion, the peak meter and the error texts.
#include <gtest/gtest.h>

#include "audio/acm.h"
#include "audio/acm_converter.h"
#include "audio/acm_errors.h"
#include "audio/init_sound.h"
#include "audio/peak_level.h"

using namespace orb::media;
using orb::audio::WaveFormat;

namespace {

struct Row {
    int index;
    uint16_t tag;
    uint32_t rate;
    uint16_t bits;
    uint16_t align;
    uint32_t bytesPerSec;
    uint16_t extra;
    uint32_t samplesPerBlock;
};

// Written out from the format table, not taken from the code under test.
const Row kRows[] = {
    {0, 0x0031, 8000, 0, 65, 1625, 2, 320},     {1, 0xA109, 8000, 16, 55, 1375, 14, 320},
    {2, 0xA109, 16000, 16, 32, 1600, 14, 320},  {3, 0xA109, 16000, 16, 42, 2100, 14, 320},
    {4, 0xA109, 16000, 16, 139, 3475, 14, 640}, {5, 0xA109, 32000, 16, 73, 1825, 14, 1280},
    {6, 0xA109, 32000, 16, 56, 2800, 14, 640},  {7, 0xA109, 32000, 16, 74, 3700, 14, 640},
    {20, 0x0001, 8000, 16, 2, 16000, 0, 1},     {21, 0x0001, 16000, 16, 2, 32000, 0, 1},
    {22, 0x0001, 32000, 16, 2, 64000, 0, 1},
};

class DriversGuard {
public:
    ~DriversGuard() { orb::audio::AcmResetDrivers(); }
};

}  // namespace

TEST(CodecTable, EveryRowBuildsItsFormatAndPcmSide) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.index);
        WaveFormat f;
        ASSERT_TRUE(BuildCodecFormat(r.index, f));
        EXPECT_EQ(f.formatTag, r.tag);
        EXPECT_EQ(f.channels, 1);
        EXPECT_EQ(f.samplesPerSec, r.rate);
        EXPECT_EQ(f.bitsPerSample, r.bits);
        EXPECT_EQ(f.blockAlign, r.align);
        EXPECT_EQ(f.avgBytesPerSec, r.bytesPerSec);
        EXPECT_EQ(f.extra.size(), r.extra);
        EXPECT_EQ(f.Bytes().size(), 18u + r.extra);

        auto pcm = BuildPcmFormat(f.bitsPerSample, f.samplesPerSec);
        ASSERT_TRUE(pcm.has_value());
        EXPECT_EQ(pcm->formatTag, 1);
        EXPECT_EQ(pcm->channels, 1);
        EXPECT_EQ(pcm->bitsPerSample, 16);  // GSM's 0 bits means 16
        EXPECT_EQ(pcm->blockAlign, 2);
        EXPECT_EQ(pcm->avgBytesPerSec, r.rate * 2);
        EXPECT_TRUE(pcm->extra.empty());

        // The codec converts both ways between the two, one block per row's samples per block.
        TAcmLiveConverter enc, dec;
        ASSERT_TRUE(enc.Open(*pcm, f, true));
        ASSERT_TRUE(dec.Open(f, *pcm, true));
        std::vector<uint8_t> samples(size_t(r.samplesPerBlock) * 2 - 2, 0x11), block, back;
        uint32_t n = 0;
        ASSERT_TRUE(enc.Convert(samples.data(), uint32_t(samples.size()), n, block));
        EXPECT_EQ(n, 0u) << "one sample short of a block";
        samples.assign(2, 0x11);
        ASSERT_TRUE(enc.Convert(samples.data(), 2, n, block));
        EXPECT_EQ(n, r.align);
        ASSERT_TRUE(dec.Convert(block.data(), n, n, back));
        EXPECT_EQ(n, r.samplesPerBlock * 2);
    }
    EXPECT_GE(MaxFormatSize(), 32u);
}

TEST(CodecTable, GsmExtraBytesComeFromTheCodec) {
    WaveFormat f;
    ASSERT_TRUE(BuildCodecFormat(0, f));
    ASSERT_EQ(f.extra.size(), 2u);
    EXPECT_EQ(f.extra[0] | (f.extra[1] << 8), 320);  // samples per block
    const std::vector<uint8_t> head = {0x31, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x59, 0x06, 0x00, 0x00,
                                       0x41, 0x00, 0x00, 0x00, 0x02, 0x00, 0x40, 0x01};
    EXPECT_EQ(f.Bytes(), head);
    WaveFormat back;
    ASSERT_TRUE(WaveFormat::Parse(head, back));
    EXPECT_EQ(back, f);
    // An extra size that runs past the record is refused.
    std::vector<uint8_t> cut(head.begin(), head.end() - 1);
    EXPECT_FALSE(WaveFormat::Parse(cut, back));
}

TEST(CodecTable, IndexesOutsideTheTableAreRefused) {
    for (int index : {8, 19, 23, -1, 255, 1000}) {
        WaveFormat f;
        f.formatTag = 0x1234;
        EXPECT_FALSE(BuildCodecFormat(index, f)) << index;
        EXPECT_EQ(f.formatTag, 0x1234) << "output untouched on failure";
    }
}

TEST(CodecTable, MissingCodecsMakeTheirRowsFail) {
    DriversGuard guard;
    orb::audio::AcmSetDrivers({orb::audio::MakePcmDriver(), orb::audio::MakeGsmDriver()});
    WaveFormat f;
    EXPECT_TRUE(BuildCodecFormat(0, f));
    EXPECT_TRUE(BuildCodecFormat(21, f));
    for (int index = 1; index <= 7; ++index) EXPECT_FALSE(BuildCodecFormat(index, f)) << index;

    WaveFormat speex;
    speex.formatTag = 0xA109;
    speex.channels = 1;
    speex.samplesPerSec = 16000;
    speex.avgBytesPerSec = 1600;
    speex.blockAlign = 32;
    speex.bitsPerSample = 16;
    try {
        CompleteAcmFormat(speex);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid Format details");
    }

    // With nothing installed the maximum format size is 0 and nothing is built.
    orb::audio::AcmSetDrivers({});
    EXPECT_FALSE(BuildCodecFormat(0, f));
    EXPECT_EQ(MaxFormatSize(), 0u);
    EXPECT_FALSE(BuildPcmFormat(16, 8000).has_value());
}

TEST(CodecTable, ListTextsInIndexOrder) {
    std::vector<std::string> list = {"stale"};
    FillCodecList(list);
    const std::vector<std::string> expected = {
        "GSM 6.10 - 8 KHz, 8 bit, 1.6 KB/s (Low Quality)", "Speex - 8 KHz, 16 bit, 1.3 KB/s (Low Quality)",
        "Speex - 16 KHz, 16 bit, 1.6 KB/s (Default)",      "Speex - 16 KHz, 16 bit, 2.1 KB/s",
        "Speex - 16 KHz, 16 bit, 3.4 KB/s",                "Speex - 32 KHz, 16 bit, 1.8 KB/s",
        "Speex - 32 KHz, 16 bit, 2.8 KB/s",                "Speex - 32 KHz, 16 bit, 3.7 KB/s"};
    EXPECT_EQ(list, expected);
}

TEST(CodecTable, PcmBuilderUsesGivenBitsAndRate) {
    auto f = BuildPcmFormat(8, 11025);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->blockAlign, 1);
    EXPECT_EQ(f->avgBytesPerSec, 11025u);
    f = BuildPcmFormat(0, 8000);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->bitsPerSample, 16);
    EXPECT_EQ(f->blockAlign, 2);
    EXPECT_EQ(f->avgBytesPerSec, 16000u);
}

TEST(PeakLevel, SixteenAndEightBitScales) {
    auto block16 = [](std::initializer_list<int16_t> s) {
        std::vector<uint8_t> b;
        for (int16_t v : s) {
            b.push_back(uint8_t(uint16_t(v) & 0xFF));
            b.push_back(uint8_t(uint16_t(v) >> 8));
        }
        return b;
    };
    auto b = block16({0, -5, 32767, 100});
    EXPECT_EQ(PeakLevel(b.data(), b.size(), 16), 1000);
    b = block16({16384, -32768, 3});
    EXPECT_EQ(PeakLevel(b.data(), b.size(), 16), 500);
    b = block16({-1, -32768, -200});
    EXPECT_EQ(PeakLevel(b.data(), b.size(), 16), 0);
    // A trailing odd byte is not half a sample.
    b = block16({100});
    b.push_back(0x7F);
    EXPECT_EQ(PeakLevel(b.data(), b.size(), 16), 100 * 1000 / 32767);
    EXPECT_EQ(PeakLevel(b.data(), 0, 16), 0);

    std::vector<uint8_t> silence(400, 128);
    EXPECT_EQ(PeakLevel(silence.data(), silence.size(), 8), 0);
    std::vector<uint8_t> low(10, 20);
    EXPECT_EQ(PeakLevel(low.data(), low.size(), 8), 0);
    std::vector<uint8_t> full = {128, 255, 0};
    EXPECT_EQ(PeakLevel(full.data(), full.size(), 8), 1000);
    std::vector<uint8_t> any(12, 0);
    EXPECT_EQ(PeakLevel(any.data(), any.size(), 24), -1);
    EXPECT_EQ(PeakLevel(any.data(), any.size(), 32), -1);
}

TEST(WaveErrors, MessagesByCode) {
    EXPECT_EQ(WaveErrorMessage("WaveOutOpen", 32), "WaveOutOpen Unsupported audio format.");
    EXPECT_EQ(WaveErrorMessage("WaveIn-Start", 4), "WaveIn-Start The specified resource is already in use.");
    EXPECT_EQ(WaveErrorMessage("WaveOut-Write", 514),
              "WaveOut-Write Cannot perform this action on a header that has not been prepared.");
    EXPECT_EQ(WaveErrorMessage("WaveIn-AddBuffer", 33), "WaveIn-AddBuffer raised an unknown error (code #33)");
    EXPECT_NO_THROW(CheckWaveIn(0, "WaveIn-Open"));
    EXPECT_THROW(CheckWaveIn(32, "WaveIn-Open"), EACMIn);
    EXPECT_THROW(CheckWaveOut(32, "WaveOutOpen"), EACMOut);
    try {
        CheckWaveOut(2, "WaveOutOpen");
        FAIL();
    } catch (const EACMOut&) {
        FAIL() << "only an unsupported format is EACMOut";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen The specified resource does not exist.");
    }
}
