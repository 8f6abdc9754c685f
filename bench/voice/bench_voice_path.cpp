// The voice path through loopback: ten speakers' capture buffers, one every half second as the
// microphone gives them, are encoded, sent to the test room server, relayed to a listener,
// received, decoded and queued for playback. Per codec it prints the latency each buffer adds
// beyond its half-second capture, and the client's CPU per second of audio (the server runs in a
// process of its own, so its work is not counted), each as a ratio to the codec alone (encode and
// decode of the same buffers) measured in the same run.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

#include "../bench_summary.h"
#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "loop/plain_event_loop.h"
#include "roomserver/ext_voice.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "voice/voice_thread.h"

using namespace orb;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSpeakers = 10;
constexpr int kRounds = 10;  // five seconds of audio per speaker, in real time
constexpr int16_t kRoom = 1002;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double latencyMs = 0;  // mean time from a buffer's capture to its decoded block, per buffer
    double cpu = 0;        // CPU seconds per second of audio
};

// The codec alone: each buffer encoded and decoded in turn, as one speaker's path does.
Result CodecAlone(int index, const std::vector<std::vector<uint8_t>>& buffers) {
    audio::WaveFormat codec;
    media::BuildCodecFormat(index, codec);
    const auto pcm = *media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    std::vector<media::TAcmLiveConverter> enc(kSpeakers), dec(kSpeakers);
    for (int s = 0; s < kSpeakers; ++s) {
        enc[size_t(s)].Open(pcm, codec, true);
        dec[size_t(s)].Open(codec, pcm, true);
    }
    std::vector<uint8_t> coded, out;
    uint32_t n = 0;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (int s = 0; s < kSpeakers; ++s) {
            const auto& b = buffers[size_t(r) % buffers.size()];
            enc[size_t(s)].Convert(b.data(), uint32_t(b.size()), n, coded);
            dec[size_t(s)].Convert(coded.data(), n, n, out);
        }
    Result res;
    res.latencyMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / (kRounds * kSpeakers);
    res.cpu = (CpuSeconds() - cpu0) / (kRounds * 0.5 * kSpeakers);
    return res;
}

// The test room server in a child process: its port comes back through a pipe, and it runs until
// the parent closes the other pipe.
struct ServerProcess {
    pid_t pid = -1;
    int stopFd = -1;
    uint16_t port = 0;

    bool Start() {
        int portPipe[2], stopPipe[2];
        if (pipe(portPipe) != 0 || pipe(stopPipe) != 0) return false;
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            close(portPipe[0]);
            close(stopPipe[1]);
            test::TRoomServer server;
            auto handshake = test::InstallRoomHandshake(server);
            test::TRoomService rooms(server, handshake);
            test::TRoomExtensionContext context{server, handshake, rooms, {}};
            test::TVoiceExtension voice(context);
            server.Start();
            voice.AddAccount(1, "l");
            for (int s = 0; s < kSpeakers; ++s) {
                voice.AddAccount(100 + s, "s");
                voice.GrantFloor(kRoom, 100 + s);
            }
            const uint16_t p = voice.Port();
            if (write(portPipe[1], &p, sizeof p) != ssize_t(sizeof p)) _exit(1);
            char c;
            while (read(stopPipe[0], &c, 1) > 0) {
            }
            server.Stop();
            _exit(0);
        }
        close(portPipe[1]);
        close(stopPipe[0]);
        stopFd = stopPipe[1];
        const bool ok = read(portPipe[0], &port, sizeof port) == ssize_t(sizeof port);
        close(portPipe[0]);
        return ok;
    }
    ~ServerProcess() {
        if (stopFd >= 0) close(stopFd);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
};

Result ThroughTheServer(int index, const std::vector<std::vector<uint8_t>>& buffers) {
    ServerProcess server;
    if (!server.Start()) return {-1, -1};
    PlainEventLoop loop;
    TVoiceAudioConfig config;
    config.queueSize = 6;
    TVoiceThread listener(loop, index, 900, kRoom, 1, 6, config);
    std::mutex mu;
    std::map<int32_t, std::deque<Clock::time_point>> sentAt;
    double totalLatency = 0;
    int arrived = 0;
    listener.OnDecoded = [&](int32_t sender, const uint8_t*, size_t) {
        std::lock_guard lk(mu);
        auto& q = sentAt[sender];
        if (q.empty()) return;
        totalLatency += std::chrono::duration<double, std::milli>(Clock::now() - q.front()).count();
        q.pop_front();
        ++arrived;
    };
    listener.ConnectVoice("127.0.0.1", server.port, kRoom, "l", 1);
    listener.Resume();
    std::vector<std::unique_ptr<TVoiceThread>> speakers;
    for (int s = 0; s < kSpeakers; ++s) {
        const int32_t id = 100 + s;
        speakers.push_back(std::make_unique<TVoiceThread>(loop, index, 900, kRoom, id, 0, TVoiceAudioConfig{}));
        speakers.back()->SetSilenceSuppression(false);
        speakers.back()->SetTransmit(true);
        speakers.back()->ConnectVoice("127.0.0.1", server.port, kRoom, "s", id);
        // Speakers hear each other too (the server relays to every member); without players they
        // read and drop, so only the listener decodes.
        speakers.back()->Resume();
    }
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    for (int r = 0; r < kRounds; ++r) {
        // A buffer from every speaker each half second, as their microphones give them.
        std::this_thread::sleep_until(start + std::chrono::milliseconds(500) * r);
        const auto& b = buffers[size_t(r) % buffers.size()];
        for (int s = 0; s < kSpeakers; ++s) {
            {
                std::lock_guard lk(mu);
                sentAt[100 + s].push_back(Clock::now());
            }
            speakers[size_t(s)]->OnMicBuffer(b.data(), uint32_t(b.size()));
        }
        loop.RunUntil([&] {
            std::lock_guard lk(mu);
            return arrived == (r + 1) * kSpeakers;
        }, 10000);
        loop.ProcessPending();
        if (getenv("ORB_BENCH_TRACE")) std::printf("round %d arrived %d\n", r, arrived);
    }
    Result res;
    res.cpu = (CpuSeconds() - cpu0) / (kRounds * 0.5 * kSpeakers);
    res.latencyMs = arrived ? totalLatency / arrived : -1;
    for (auto& s : speakers) s->Stop();
    listener.Stop();
    loop.ProcessPending();
    return res;
}

}  // namespace

int main() {
    audiotest::TempDir dir;
    audiotest::InstallAlsaConfig(dir, {{"mic_none", "No Mic", "", true}}, {{"spk", "Speakers", "/dev/null"}});
    std::printf("%d speakers, %d half-second buffers each\n", kSpeakers, kRounds);
    std::printf("%-6s %14s %14s %12s %12s %12s\n", "index", "path ms/buf", "codec ms/buf", "latency x", "path cpu/s",
                "cpu x");
    double worstLatency = 0, worstCpu = 0;
    for (int index : {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22}) {
        audio::WaveFormat codec;
        if (!media::BuildCodecFormat(index, codec)) continue;
        if (const char* only = getenv("ORB_BENCH_CODEC"); only && atoi(only) != index) continue;
        const auto speech = audiotest::ToBytes(audiotest::SpeechLike(codec.samplesPerSec, 5.0, 11));
        std::vector<std::vector<uint8_t>> buffers;
        const size_t half = codec.samplesPerSec;  // bytes in half a second of 16-bit mono
        for (size_t at = 0; at + half <= speech.size(); at += half)
            buffers.emplace_back(speech.begin() + long(at), speech.begin() + long(at + half));
        const Result alone = CodecAlone(index, buffers);
        const Result path = ThroughTheServer(index, buffers);
        std::printf("%-6d %14.3f %14.3f %12.2f %12.4f %12.2f\n", index, path.latencyMs, alone.latencyMs,
                    alone.latencyMs > 0 ? path.latencyMs / alone.latencyMs : 0, path.cpu,
                    alone.cpu > 0 ? path.cpu / alone.cpu : 0);
        worstLatency = std::max(worstLatency, path.latencyMs);
        // PCM's codec alone costs next to nothing, so its ratio says nothing about the path.
        if (index < 20 && alone.cpu > 0) worstCpu = std::max(worstCpu, path.cpu / alone.cpu);
    }
    orb::bench::Summary("voice path paced: worst latency per buffer (ms)", "stated", worstLatency, "-");
    orb::bench::Summary("voice path paced: worst client CPU vs codec alone (GSM, Speex)", "stated", worstCpu, "-");
    return 0;
}
