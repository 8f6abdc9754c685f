// Two voice connections talk through the test room server on file-backed ALSA devices: what one
// captures, the other decodes and plays, for GSM, a Speex row of each band and PCM.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "loop/plain_event_loop.h"
#include "voice/voice_thread.h"
#include "voice_test_env.h"

using namespace orb;
using namespace orb::audiotest;

namespace {

// Level (RMS) of each 20 ms block.
std::vector<double> Levels(const std::vector<int16_t>& s, uint32_t rate) {
    const size_t block = rate / 50;
    std::vector<double> out;
    for (size_t at = 0; at + block <= s.size(); at += block) {
        double sum = 0;
        for (size_t i = at; i < at + block; ++i) sum += double(s[i]) * s[i];
        out.push_back(std::sqrt(sum / double(block)));
    }
    return out;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    const double ma = std::accumulate(a.begin(), a.begin() + long(n), 0.0) / double(n);
    const double mb = std::accumulate(b.begin(), b.begin() + long(n), 0.0) / double(n);
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

// What the codec alone makes of the signal in half-second buffers.
std::vector<int16_t> ThroughCodec(int codecIndex, const std::vector<int16_t>& speech) {
    audio::WaveFormat codec;
    media::BuildCodecFormat(codecIndex, codec);
    const auto pcm = *media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    media::TAcmLiveConverter enc, dec;
    enc.Open(pcm, codec, true);
    dec.Open(codec, pcm, true);
    const auto bytes = ToBytes(speech);
    std::vector<uint8_t> out;
    for (size_t at = 0; at < bytes.size(); at += pcm.avgBytesPerSec / 2) {
        std::vector<uint8_t> e, d;
        uint32_t n = 0;
        enc.Convert(bytes.data() + at, uint32_t(std::min<size_t>(pcm.avgBytesPerSec / 2, bytes.size() - at)), n, e);
        if (e.empty()) continue;
        dec.Convert(e.data(), uint32_t(e.size()), n, d);
        out.insert(out.end(), d.begin(), d.end());
    }
    return ToSamples(out);
}

class VoiceTalk : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(VoiceTalk, WhatOneCapturesTheOtherPlays) {
    const int codecIndex = GetParam();
    audio::WaveFormat codec;
    ASSERT_TRUE(media::BuildCodecFormat(codecIndex, codec));
    const uint32_t rate = codec.samplesPerSec;
    const auto speech = SpeechLike(rate, 3.0, 7);
    TempDir dir;
    WriteFile(dir.file("a.raw"), ToBytes(speech));
    WriteFile(dir.file("b.raw"), ToBytes(std::vector<int16_t>(rate * 3, 0)));
    InstallAlsaConfig(dir, {{"mic_a", "Mic A", dir.file("a.raw")}, {"mic_b", "Mic B", dir.file("b.raw")}},
                      {{"spk_a", "Speaker A", dir.file("out_a.raw")}, {"spk_b", "Speaker B", dir.file("out_b.raw")}});

    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(1, "a");
    vs.voice.AddAccount(2, "b");
    vs.voice.GrantFloor(1002, 1);

    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceAudioConfig ca, cb;
    cb.captureDevice = cb.playbackDevice = 1;
    TVoiceThread a(loop, codecIndex, 900, 1002, 1, 4, ca);
    TVoiceThread b(loop, codecIndex, 900, 1002, 2, 4, cb);
    ASSERT_TRUE(a.AudioReady() && b.AudioReady());
    ASSERT_TRUE(a.Capturing());
    a.SetSilenceSuppression(false);
    a.SetTransmit(true);
    std::mutex mu;
    std::vector<uint8_t> heard;
    b.OnDecoded = [&](int32_t sender, const uint8_t* p, size_t n) {
        std::lock_guard lk(mu);
        if (sender == 1) heard.insert(heard.end(), p, p + n);
    };
    // B listens and says nothing (its floor was never granted).
    b.SetTransmit(true);
    ASSERT_EQ(b.ConnectVoice("127.0.0.1", vs.voice.Port(), 1002, "b", 2), 0);
    b.Resume();
    ASSERT_EQ(a.ConnectVoice("127.0.0.1", vs.voice.Port(), 1002, "a", 1), 0);
    a.Resume();
    const size_t want = size_t(rate) * 2 * 5 / 2;  // two and a half seconds
    ASSERT_TRUE(loop.RunUntil(
        [&] {
            std::lock_guard lk(mu);
            return heard.size() >= want;
        },
        20000));
    // B's speaker has played a quarter of a second of the stream (the silence it may start with, or
    // write between blocks, does not count: under load a file of that size can hold less sound).
    const std::string out = dir.file("out_b.raw");
    EXPECT_TRUE(loop.RunUntil(
        [&] { return std::filesystem::exists(out) && WithoutSilence(ReadFile(out)).size() >= size_t(rate) / 2; }));
    a.Stop();
    b.Stop();
    EXPECT_EQ(vs.voice.VoiceMessages(2), 0);
    EXPECT_EQ(b.PlayerSpeakers().at(0), 1);

    // The decoded stream is what the codec alone makes of the captured signal, block for block...
    std::vector<int16_t> got = ToSamples(heard);
    const auto reference = ThroughCodec(codecIndex, speech);
    // (The file device goes on with silence after the recorded three seconds.)
    const size_t n = std::min(got.size(), reference.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(n), reference.begin()));
    // ... and follows the captured signal's level within the codec's tolerance.
    EXPECT_GT(Correlation(Levels(got, rate), Levels(speech, rate)), codecIndex >= 20 ? 0.999 : 0.9);
    // B's speaker starts with that same stream (the file device captures faster than it plays, so
    // later blocks find no playback credit and are dropped).
    const auto played = ToSamples(WithoutSilence(ReadFile(out)));
    const auto heardPart = ToSamples(WithoutSilence(ToBytes(got)));
    ASSERT_GE(played.size(), size_t(rate) / 4);
    ASSERT_GE(heardPart.size(), size_t(rate) / 4);
    EXPECT_TRUE(std::equal(played.begin(), played.begin() + rate / 4, heardPart.begin()));
}

INSTANTIATE_TEST_SUITE_P(Codecs, VoiceTalk, ::testing::Values(0, 1, 2, 5, 20, 21, 22));
