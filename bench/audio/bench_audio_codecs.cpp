// Encodes and decodes 60 s of speech-like audio through every voice codec index, in half-second
// capture buffers as the voice connection does, and prints multiples of real time and the ratio to
// calling libgsm / libspeex directly on the same samples in the same run. PCM is measured against
// a copy of the same total bytes in the same half-second blocks, both over the 60 s many times
// over, so neither side is a sub-millisecond figure lost in the timer's noise.
extern "C" {
#include <gsm.h>
}
#include <speex/speex.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../bench_summary.h"
#include "audio/acm_converter.h"
#include "audio/init_sound.h"

using namespace orb::media;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kSeconds = 60.0;

std::vector<int16_t> Speech(uint32_t rate) {
    std::vector<int16_t> out(size_t(rate * kSeconds));
    double phase = 0;
    uint32_t noise = 1;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double pitch = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / rate;
        double v = 0;
        for (int h = 1; h <= 10 && pitch * h < rate / 2.2; ++h) v += std::sin(phase * h) / h;
        noise = noise * 1664525 + 1013904223;
        const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        out[i] = int16_t(std::clamp(8000 * env * v + double(int(noise >> 22) - 512), -32768.0, 32767.0));
    }
    return out;
}

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Timing {
    double encode = 0, decode = 0;
};

Timing Ours(const WaveFormat& codec, const WaveFormat& pcm, const std::vector<int16_t>& samples, int repeat = 1) {
    TAcmLiveConverter enc, keep, dec;
    enc.Open(pcm, codec, true);
    keep.Open(pcm, codec, true);
    dec.Open(codec, pcm, true);
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    const size_t total = samples.size() * 2, buffer = pcm.avgBytesPerSec / 2;
    Timing t;
    // One output buffer reused, as the anchors do and as the voice path does: keeping every packet
    // inside the timed loop measured the heap growing by half-second blocks (page faults), not the
    // codec, which made the widest PCM look many times slower than a copy.
    std::vector<uint8_t> out;
    uint32_t n = 0;
    auto start = Clock::now();
    for (int r = 0; r < repeat; ++r)
        for (size_t at = 0; at < total; at += buffer) enc.Convert(bytes + at, uint32_t(std::min(buffer, total - at)), n, out);
    t.encode = Since(start);
    std::vector<std::vector<uint8_t>> packets;
    for (size_t at = 0; at < total; at += buffer) {
        keep.Convert(bytes + at, uint32_t(std::min(buffer, total - at)), n, out);
        packets.push_back(out);
    }
    start = Clock::now();
    for (int r = 0; r < repeat; ++r)
        for (const auto& p : packets) dec.Convert(p.data(), uint32_t(p.size()), n, out);
    t.decode = Since(start);
    return t;
}

Timing DirectGsm(const std::vector<int16_t>& samples) {
    gsm e = gsm_create(), d = gsm_create();
    int one = 1;
    gsm_option(e, GSM_OPT_WAV49, &one);
    gsm_option(d, GSM_OPT_WAV49, &one);
    const size_t frames = samples.size() / 160;
    std::vector<uint8_t> coded(frames / 2 * 65 + 65);
    std::vector<int16_t> pcm(160);
    Timing t;
    auto start = Clock::now();
    for (size_t f = 0; f < frames; ++f)
        gsm_encode(e, const_cast<gsm_signal*>(samples.data() + f * 160), coded.data() + f / 2 * 65 + (f % 2) * 32);
    t.encode = Since(start);
    start = Clock::now();
    for (size_t f = 0; f < frames; ++f) gsm_decode(d, coded.data() + f / 2 * 65 + (f % 2) * 33, pcm.data());
    t.decode = Since(start);
    gsm_destroy(e);
    gsm_destroy(d);
    return t;
}

Timing DirectSpeex(const WaveFormat& codec, const std::vector<int16_t>& samples) {
    // Our Speex formats carry mode, quality and frames per block in their extra bytes.
    auto u16 = [&](size_t i) { return int(codec.extra[2 * i] | (codec.extra[2 * i + 1] << 8)); };
    const SpeexMode* mode = speex_lib_get_mode(u16(1));
    int quality = u16(2), frames = u16(3), frameSize = u16(4), enh = 1;
    void* e = speex_encoder_init(mode);
    void* d = speex_decoder_init(mode);
    speex_encoder_ctl(e, SPEEX_SET_QUALITY, &quality);
    speex_decoder_ctl(d, SPEEX_SET_ENH, &enh);
    SpeexBits bits;
    speex_bits_init(&bits);
    const size_t blocks = samples.size() / size_t(frames * frameSize);
    std::vector<std::vector<char>> coded(blocks, std::vector<char>(codec.blockAlign));
    std::vector<spx_int16_t> frame(static_cast<size_t>(frameSize));
    Timing t;
    auto start = Clock::now();
    for (size_t b = 0; b < blocks; ++b) {
        speex_bits_reset(&bits);
        for (int f = 0; f < frames; ++f) {
            std::memcpy(frame.data(), samples.data() + (b * size_t(frames) + size_t(f)) * size_t(frameSize), frame.size() * 2);
            speex_encode_int(e, frame.data(), &bits);
        }
        speex_bits_insert_terminator(&bits);
        speex_bits_write(&bits, coded[b].data(), codec.blockAlign);
    }
    t.encode = Since(start);
    start = Clock::now();
    for (size_t b = 0; b < blocks; ++b) {
        speex_bits_read_from(&bits, coded[b].data(), codec.blockAlign);
        for (int f = 0; f < frames; ++f) speex_decode_int(d, &bits, frame.data());
    }
    t.decode = Since(start);
    speex_bits_destroy(&bits);
    speex_encoder_destroy(e);
    speex_decoder_destroy(d);
    return t;
}

Timing DirectCopy(const std::vector<int16_t>& samples, uint32_t bytesPerBuffer, int repeat) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    const size_t total = samples.size() * 2;
    std::vector<uint8_t> out(bytesPerBuffer);
    Timing t;
    auto copy = [&] {
        for (int r = 0; r < repeat; ++r)
            for (size_t at = 0; at < total; at += bytesPerBuffer) {
                const size_t n = std::min<size_t>(bytesPerBuffer, total - at);
                // The copy lands in a buffer sized to the block, as the converter's output does.
                out.resize(n);
                std::memcpy(out.data(), bytes + at, n);
                asm volatile("" : : "r"(out.data()) : "memory");
            }
    };
    auto start = Clock::now();
    copy();
    t.encode = Since(start);
    start = Clock::now();
    copy();
    t.decode = Since(start);
    return t;
}

}  // namespace

int main() {
    std::printf("%-6s %-7s %14s %14s %12s %12s\n", "index", "anchor", "enc x realtime", "dec x realtime", "enc/direct",
                "dec/direct");
    for (int index : {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22}) {
        WaveFormat codec;
        if (!BuildCodecFormat(index, codec)) {
            std::printf("%-6d not installed\n", index);
            continue;
        }
        const WaveFormat pcm = *BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
        const auto samples = Speech(codec.samplesPerSec);
        // PCM: 60 s is a few megabytes; a hundred passes make both sides tens of milliseconds.
        const int repeat = index >= 20 ? 100 : 1;
        const Timing ours = Ours(codec, pcm, samples, repeat);
        const char* anchor = index == 0 ? "libgsm" : index < 20 ? "libspeex" : "memcpy";
        const Timing direct = index == 0 ? DirectGsm(samples)
                              : index < 20 ? DirectSpeex(codec, samples)
                                           : DirectCopy(samples, pcm.avgBytesPerSec / 2, repeat);
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("%-6d %-8s %13.0fx %13.0fx %12.2f %12.2f\n", index, anchor, repeat * kSeconds / ours.encode,
                    repeat * kSeconds / ours.decode, ratio(ours.encode, direct.encode), ratio(ours.decode, direct.decode));
        if (index >= 20) {
            char measure[96];
            std::snprintf(measure, sizeof measure, "PCM codec %d encode vs a copy of the same bytes", index);
            orb::bench::Summary(measure, "stated", ratio(ours.encode, direct.encode), "-");
        }
    }
    return 0;
}
