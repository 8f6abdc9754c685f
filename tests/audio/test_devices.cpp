// Capture and playback components on file-backed ALSA devices: device lists and ids, the capture
// ring, closing, playback credit, volume, unsupported formats, and a capture-to-playback round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>

#include <alsa/asoundlib.h>

#include "audio/acm_errors.h"
#include "audio/acm_in.h"
#include "audio/acm_out.h"
#include "audio/acm_player.h"
#include "audio/init_sound.h"
#include "audio/tone.h"
#include "audio_test_util.h"
#include "loop/plain_event_loop.h"

using namespace orb::media;
using namespace orb::audiotest;
using orb::audio::WaveFormat;

namespace {

class AudioDevices : public ::testing::Test {
protected:
    void SetUp() override {
        // Two capture devices that work around one that cannot be opened; two playback devices.
        first_ = ToBytes(std::vector<int16_t>(48000, 1111));
        speech_ = ToBytes(SpeechLike(8000, 12.0, 5));
        WriteFile(dir_.file("first.raw"), first_);
        WriteFile(dir_.file("third.raw"), speech_);
        InstallAlsaConfig(dir_,
                          {{"mic_first", "First Mic", dir_.file("first.raw")},
                           {"mic_broken", "Broken Mic", "", true},
                           {"mic_third", "Third Mic", dir_.file("third.raw")}},
                          {{"spk_first", "First Speaker", dir_.file("out1.raw")},
                           {"spk_second", "Second Speaker", dir_.file("out2.raw")}});
    }

    static WaveFormat Pcm(uint32_t rate) { return *BuildPcmFormat(16, rate); }

    TempDir dir_;
    orb::FakeClock clock_;
    orb::PlainEventLoop loop_{clock_};
    std::vector<uint8_t> first_, speech_;
};

}  // namespace

TEST_F(AudioDevices, ListsSkipUnreadableDevicesAndIdsFollowTheList) {
    std::vector<std::string> in = {"stale"}, out;
    FillWaveInDevices(in);
    FillWaveOutDevices(out);
    EXPECT_EQ(in, (std::vector<std::string>{"First Mic (Windows Default)", "Third Mic"}));
    EXPECT_EQ(out, (std::vector<std::string>{"First Speaker (Windows Default)", "Second Speaker"}));

    // Position 1 in the list is the third device, not the broken second one.
    TACMIn capture(loop_);
    capture.SetBufferSize(4000);
    capture.SetNumBuffers(2);
    std::vector<uint8_t> got;
    capture.OnBufferFull = [&](TACMIn&, const uint8_t* d, uint32_t n) { got.insert(got.end(), d, d + n); };
    capture.Open(Pcm(8000), 1);
    // While open, the handle names the device for the mixer.
    int device = -5;
    ASSERT_TRUE(orb::audio::WaveIn::DeviceOfHandle(capture.Handle(), device));
    EXPECT_EQ(device, 1);
    ASSERT_TRUE(loop_.RunUntil([&] { return got.size() >= 12000; }));
    const void* handle = capture.Handle();
    capture.Close();
    EXPECT_FALSE(orb::audio::WaveIn::DeviceOfHandle(handle, device));
    ASSERT_GE(got.size(), 12000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), speech_.begin()));

    EXPECT_THROW(capture.Open(Pcm(8000), 2), std::runtime_error);
    EXPECT_FALSE(capture.IsOpen());
}

TEST_F(AudioDevices, CaptureRingRecyclesAndCloseFreesEachBufferOnce) {
    TACMIn capture(loop_);
    capture.SetBufferSize(1000);
    capture.SetNumBuffers(3);
    int events = 0;
    std::vector<uint32_t> sizes;
    capture.OnBufferFull = [&](TACMIn& sender, const uint8_t*, uint32_t n) {
        EXPECT_EQ(&sender, &capture);
        ++events;
        sizes.push_back(n);
    };
    capture.Open(Pcm(8000), 0);
    capture.SetBufferSize(5);  // ignored while open
    capture.SetNumBuffers(9);
    EXPECT_EQ(capture.BufferSize(), 1000u);
    EXPECT_EQ(capture.NumBuffers(), 3);
    ASSERT_TRUE(loop_.RunUntil([&] { return events >= 10; }));
    EXPECT_EQ(capture.BufferCount(), 3u) << "the ring never grows or shrinks while open";
    for (uint32_t n : sizes) EXPECT_EQ(n, 1000u);

    // Closing hands every queued buffer back with a notice; those notices arrive after the
    // buffers were freed and must do nothing.
    capture.Close();
    EXPECT_EQ(capture.BufferCount(), 0u);
    const int before = events;
    loop_.ProcessPending();
    loop_.ProcessPending();
    EXPECT_EQ(events, before);

    // Reopened with a new size, the stale notices of the first run still find nothing.
    capture.SetBufferSize(2000);
    capture.Open(Pcm(8000), 0);
    capture.Close();
    capture.Open(Pcm(8000), 0);
    sizes.clear();
    ASSERT_TRUE(loop_.RunUntil([&] { return sizes.size() >= 2; }));
    for (uint32_t n : sizes) EXPECT_EQ(n, 2000u);
    capture.Close();
    loop_.ProcessPending();
}

TEST_F(AudioDevices, PlaybackCreditBoundsTheQueueAndRefusedBlocksAreNotKept) {
    TACMOut out(loop_);
    int played = 0;
    out.OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader& h) {
        EXPECT_EQ(h.bufferLength, 3200u);
        ++played;
    };
    EXPECT_FALSE(out.Play(first_.data(), 3200)) << "closed";
    out.Open(Pcm(8000), 1);
    EXPECT_EQ(out.NumBuffersLeft(), 4);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 4; ++i) {
        std::vector<uint8_t> block(speech_.begin() + i * 3200, speech_.begin() + (i + 1) * 3200);
        EXPECT_TRUE(out.Play(block.data(), uint32_t(block.size())));
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(out.NumBuffersLeft(), 0);
    // No completion has been handled yet: a fifth block is dropped and nothing of it is kept.
    EXPECT_FALSE(out.Play(first_.data(), 3200));
    EXPECT_EQ(out.BlocksHeld(), 4u);
    EXPECT_FALSE(out.Play(first_.data(), 0));

    ASSERT_TRUE(loop_.RunUntil([&] { return played == 4; }));
    EXPECT_EQ(out.NumBuffersLeft(), 4);
    EXPECT_EQ(out.BlocksHeld(), 0u);
    // After a completion one more is accepted.
    std::vector<uint8_t> block(speech_.begin() + 20000, speech_.begin() + 23200);
    EXPECT_TRUE(out.Play(block.data(), uint32_t(block.size())));
    expected.insert(expected.end(), block.begin(), block.end());
    ASSERT_TRUE(loop_.RunUntil([&] { return played == 5; }));
    out.Close();
    EXPECT_EQ(WithoutSilence(ReadFile(dir_.file("out2.raw"))), expected);
}

TEST_F(AudioDevices, HandlersThatThrowCostNeitherABufferNorCredit) {
    // One capture buffer, so one notice is in flight at a time.
    TACMIn capture(loop_);
    capture.SetBufferSize(800);
    capture.SetNumBuffers(1);
    int calls = 0;
    capture.OnBufferFull = [&](TACMIn&, const uint8_t*, uint32_t) {
        if (++calls == 1) throw std::runtime_error("handler failed");
    };
    capture.Open(Pcm(8000), 0);
    // The loop reports the failure and goes on.
    ASSERT_TRUE(loop_.RunUntil([&] { return calls >= 4; }));
    EXPECT_GE(calls, 4) << "the buffer went back into the ring";
    EXPECT_EQ(capture.BufferCount(), 1u);
    capture.Close();

    TACMOut out(loop_);
    out.OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader&) { throw std::runtime_error("played failed"); };
    out.Open(Pcm(8000), 0);
    ASSERT_TRUE(out.Play(first_.data(), 1600));
    EXPECT_EQ(out.NumBuffersLeft(), 3);
    ASSERT_TRUE(loop_.RunUntil([&] { return out.BlocksHeld() == 0; }));
    EXPECT_EQ(out.BlocksHeld(), 0u);
    EXPECT_EQ(out.NumBuffersLeft(), 4);
    out.Close();
}

TEST_F(AudioDevices, CreditFollowsNumBuffersChanges) {
    TACMOut out(loop_);
    EXPECT_EQ(out.NumBuffers(), 4);
    out.SetNumBuffersLeft(1);
    out.SetNumBuffers(2);
    EXPECT_EQ(out.NumBuffersLeft(), 0) << "not below 0";
    out.SetNumBuffers(6);
    EXPECT_EQ(out.NumBuffersLeft(), 4);
    out.Open(Pcm(16000), 0);
    EXPECT_EQ(out.NumBuffersLeft(), 6) << "opening restores full credit";
    out.Close();
}

TEST_F(AudioDevices, UnsupportedFormatsAndDevicesRaiseTheirMessages) {
    TACMOut out(loop_);
    // GSM 6.10 at a rate no installed codec offers.
    WaveFormat gsm;
    ASSERT_TRUE(BuildCodecFormat(0, gsm));
    gsm.samplesPerSec = 11025;
    gsm.avgBytesPerSec = 2239;
    try {
        out.Open(gsm, 0);
        FAIL();
    } catch (const EACMOut& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen Unsupported audio format.");
    }
    EXPECT_FALSE(out.IsOpen());
    try {
        out.Open(Pcm(8000), 5);
        FAIL();
    } catch (const EACMOut&) {
        FAIL() << "a missing device is not a format error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen The specified resource does not exist.");
    }

    TACMIn in(loop_);
    WaveFormat deep = Pcm(8000);
    deep.bitsPerSample = 24;
    deep.blockAlign = 3;
    deep.avgBytesPerSec = 24000;
    try {
        in.Open(deep, 0);
        FAIL();
    } catch (const EACMIn& e) {
        EXPECT_STREQ(e.what(), "WaveIn-Open Unsupported audio format.");
    }
}

TEST_F(AudioDevices, CodecBlocksPlayThroughTheMapper) {
    // Opened with the codec format itself, the output decodes through the installed codec.
    WaveFormat codec;
    ASSERT_TRUE(BuildCodecFormat(2, codec));
    const WaveFormat pcm = *BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    const auto speech = ToBytes(SpeechLike(16000, 1.0, 8));
    TAcmLiveConverter enc, dec;
    ASSERT_TRUE(enc.Open(pcm, codec, true));
    ASSERT_TRUE(dec.Open(codec, pcm, true));
    std::vector<uint8_t> blocks, expected;
    uint32_t n = 0;
    ASSERT_TRUE(enc.Convert(speech.data(), uint32_t(speech.size()), n, blocks));
    ASSERT_TRUE(dec.Convert(blocks.data(), n, n, expected));

    TACMOut out(loop_);
    int played = 0;
    out.OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader& h) {
        EXPECT_EQ(h.bufferLength, 800u) << "the header keeps the codec bytes it was given";
        ++played;
    };
    out.Open(codec, 1);
    for (size_t at = 0; at < blocks.size(); at += 800) ASSERT_TRUE(out.Play(blocks.data() + at, 800));
    ASSERT_TRUE(loop_.RunUntil([&] { return played == 2; }));
    out.Close();
    EXPECT_EQ(WithoutSilence(ReadFile(dir_.file("out2.raw"))), WithoutSilence(expected));

    // Without the mapper a device takes PCM only.
    std::unique_ptr<orb::audio::WaveOut> device;
    EXPECT_EQ(orb::audio::WaveOut::Open(device, 1, codec, {}, 0), orb::audio::kWaveErrBadFormat);
    EXPECT_FALSE(device);
}

TEST_F(AudioDevices, SpeakerVolumeScalesWhatIsPlayed) {
    uint32_t v = 0;
    ASSERT_TRUE(GetWaveOutVolume(0, v));
    EXPECT_EQ(v, 0xFFFFu);
    ASSERT_TRUE(SetWaveOutVolume(0, 32768));
    ASSERT_TRUE(GetWaveOutVolume(0, v));
    EXPECT_EQ(v, 32768u);

    TACMOut out(loop_);
    int played = 0;
    out.OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader&) { ++played; };
    out.Open(Pcm(8000), 0);
    auto block = ToBytes(std::vector<int16_t>(800, 20000));
    ASSERT_TRUE(out.Play(block.data(), uint32_t(block.size())));
    ASSERT_TRUE(loop_.RunUntil([&] { return played == 1; }));
    out.Close();
    auto samples = ToSamples(WithoutSilence(ReadFile(dir_.file("out1.raw"))));
    ASSERT_EQ(samples.size(), 800u);
    for (int16_t s : samples) ASSERT_EQ(s, 20000 * 32768 / 65535);
    SetWaveOutVolume(0, 0xFFFF);

    // A device that is not there has no volume, so its slider is disabled.
    EXPECT_FALSE(SetWaveOutVolume(2, 100));
    EXPECT_FALSE(GetWaveOutVolume(2, v));
    EXPECT_FALSE(GetWaveOutVolume(-2, v));
    ASSERT_TRUE(GetWaveOutVolume(1, v));
    EXPECT_EQ(v, 0xFFFFu);
}

TEST_F(AudioDevices, CaptureEncodeDecodePlayRoundTrip) {
    // Speex at 8 kHz: half a second of capture is 12.5 codec blocks.
    WaveFormat codec;
    ASSERT_TRUE(BuildCodecFormat(1, codec));
    const WaveFormat pcm = *BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);

    TAcmLiveConverter encoder;
    ASSERT_TRUE(encoder.Open(pcm, codec, true));
    TACMPlayer player(loop_, codec, pcm, 6, 1);
    ASSERT_TRUE(player.Success());
    EXPECT_EQ(player.Out().NumBuffers(), 6);
    EXPECT_EQ(player.SpeakerId, 0);
    EXPECT_EQ(player.CodecFormat().blockAlign, 55);

    TACMIn capture(loop_);
    capture.SetBufferSize(pcm.avgBytesPerSec / 2);
    capture.SetNumBuffers(2);
    int buffers = 0, dropped = 0, played = 0;
    player.Out().OnBufferPlayed = [&](TACMOut&, const orb::audio::WaveHeader&) { ++played; };
    std::vector<uint8_t> sent;
    // The file device captures faster than real time; decoded blocks wait here and are handed to
    // the output as its credit allows, as a real-time source would pace them.
    std::deque<std::vector<uint8_t>> waiting;
    capture.OnBufferFull = [&](TACMIn&, const uint8_t* d, uint32_t n) {
        if (buffers == 20) return;  // ten seconds
        ++buffers;
        std::vector<uint8_t> blocks, decoded;
        uint32_t size = 0;
        ASSERT_TRUE(encoder.Convert(d, n, size, blocks));
        sent.insert(sent.end(), blocks.begin(), blocks.end());
        ASSERT_TRUE(player.Decoder().Convert(blocks.data(), size, size, decoded));
        ASSERT_EQ(size, decoded.size());
        waiting.push_back(std::move(decoded));
    };
    capture.Open(pcm, 1);
    ASSERT_TRUE(loop_.RunUntil(
        [&] {
            while (!waiting.empty() && player.Out().NumBuffersLeft() > 0) {
                if (!player.Out().Play(waiting.front().data(), uint32_t(waiting.front().size()))) ++dropped;
                waiting.pop_front();
            }
            return buffers == 20 && waiting.empty() && played == 20 - dropped;
        },
        10000));
    capture.Close();
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(sent.size(), 250u * 55u);
    player.Out().Close();

    // Ten seconds in, ten seconds out, the same samples as one decoder over the whole stream.
    const auto out = WithoutSilence(ReadFile(dir_.file("out2.raw")));
    TAcmLiveConverter enc2, dec2;
    ASSERT_TRUE(enc2.Open(pcm, codec, true));
    ASSERT_TRUE(dec2.Open(codec, pcm, true));
    std::vector<uint8_t> blocks, expected;
    uint32_t n = 0;
    ASSERT_TRUE(enc2.Convert(speech_.data(), 10 * 8000 * 2, n, blocks));
    EXPECT_EQ(blocks, sent);
    ASSERT_TRUE(dec2.Convert(blocks.data(), n, n, expected));
    EXPECT_EQ(out, WithoutSilence(expected));
}

// The room's beeps: a generated tone played on the playback device, not the desktop bell.
TEST_F(AudioDevices, BeepToneReachesThePlaybackDevice) {
    const auto tone = SineTone(700, 30, TTonePlayer::kRate);
    ASSERT_EQ(tone.size(), size_t(TTonePlayer::kRate * 30 / 1000));
    EXPECT_EQ(tone.front(), 0);  // faded in and out: no click
    EXPECT_TRUE(SineTone(0, 30, 8000).empty());
    {
        TTonePlayer player(0);
        ASSERT_TRUE(player.Play(1000, 500));
        EXPECT_TRUE(player.Play(1000, 500));  // a second beep while one plays is dropped
    }  // waits for the tone
    const std::vector<int16_t> played = ToSamples(ReadFile(dir_.file("out1.raw")));
    // The pitch, not the count: a loaded machine may drop whole periods of the file-backed
    // device's output, which shortens the tone but never changes its frequency.
    size_t first = played.size(), last = 0;
    for (size_t i = 0; i < played.size(); ++i)
        if (std::abs(played[i]) > 1000) first = std::min(first, i), last = i;
    ASSERT_LT(first, last) << "no tone reached the device";
    ASSERT_GE(last - first, size_t(TTonePlayer::kRate / 10)) << "less than a tenth of the tone was played";
    size_t crossings = 0;
    for (size_t i = first + 1; i <= last; ++i) crossings += (played[i - 1] < 0) != (played[i] < 0);
    const double hz = crossings / 2.0 * TTonePlayer::kRate / double(last - first);
    EXPECT_NEAR(hz, 1000, 60);
    EXPECT_LE(played.size(), size_t(TTonePlayer::kRate * 6 / 10)) << "more than the half second was played";
    EXPECT_GT(*std::max_element(played.begin(), played.end()), 8000);
    TTonePlayer none(7);
    EXPECT_FALSE(none.Play(1000, 500));  // no such device: the caller rings the bell instead
}

// A user's own default device often has no name hint (a sound server's plugin): it is still the
// first line of both lists, and a device number past the end falls back to it.
TEST_F(AudioDevices, TheDefaultDeviceComesFirstEvenWithoutAHint) {
    {
        std::ofstream c(dir_.file("own.conf"));
        c << "pcm.!default { type asym playback.pcm { type file slave.pcm { type null } file \"" << dir_.file("d.raw")
          << "\" format \"raw\" } capture.pcm { type file slave.pcm { type null } file \"/dev/null\" infile \""
          << dir_.file("first.raw") << "\" format \"raw\" } }\n"
          << "pcm.spk_other { type asym playback.pcm { type file slave.pcm { type null } file \""
          << dir_.file("o.raw") << "\" format \"raw\" } hint { show on description \"Other Speaker\" } }\n";
    }
    setenv("ALSA_CONFIG_PATH", dir_.file("own.conf").c_str(), 1);
    snd_config_update_free_global();
    std::vector<std::string> in, out;
    FillWaveInDevices(in);
    FillWaveOutDevices(out);
    EXPECT_EQ(in, (std::vector<std::string>{"Default (Windows Default)"}));
    EXPECT_EQ(out, (std::vector<std::string>{"Default (Windows Default)", "Other Speaker"}));
    bool fellBack = false;
    EXPECT_EQ(UsableDevice(false, 1, &fellBack), 1);
    EXPECT_FALSE(fellBack);
    EXPECT_EQ(UsableDevice(false, 2, &fellBack), 0);
    EXPECT_TRUE(fellBack);
    EXPECT_EQ(UsableDevice(true, 9, &fellBack), 0);
    EXPECT_TRUE(fellBack);
    EXPECT_EQ(UsableDevice(true, -1, &fellBack), -1);
    EXPECT_FALSE(fellBack);
}
