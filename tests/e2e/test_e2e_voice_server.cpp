// Voice that people hear, on a desktop sound server: a private PulseAudio with a null sink per
// listener (recorded from its monitor with parec) and a pipe source per speaker, reached by the
// clients through ALSA's pulse plugin as their default device. A speaker who takes the floor with F3
// is heard whole by the listener, on one stream; a replayed recording is heard whole, at its own
// level; and a client without any sound device says so and asks for no floor.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "audio/acm_converter.h"
#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "roomserver/ext_voice.h"
#include "roomserver/recording_writer.h"
#include "support/pulse_server.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
constexpr int kRate = TPulseServer::kMicRate;
constexpr int kToneHz = 440;
constexpr double kToneSeconds = 10.0;
constexpr int kToneAmplitude = 8000;

std::vector<int16_t> Tone(double seconds) {
    std::vector<int16_t> s(size_t(seconds * kRate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(std::lround(kToneAmplitude * std::sin(2 * M_PI * kToneHz * double(i) / kRate)));
    return s;
}

using THeard = THeardTone;

// Keeps this thread, and every thread and process it starts from now on, to `cores` of the
// machine's cores (fewer when fewer are allowed); the calling thread's cores are restored after.
class TCoreLimit {
public:
    explicit TCoreLimit(int cores) {
        if (sched_getaffinity(0, sizeof before_, &before_) != 0) return;
        cpu_set_t limited;
        CPU_ZERO(&limited);
        for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < cores; ++cpu)
            if (CPU_ISSET(cpu, &before_)) {
                CPU_SET(cpu, &limited);
                ++taken;
            }
        limited_ = sched_setaffinity(0, sizeof limited, &limited) == 0;
    }
    ~TCoreLimit() {
        if (limited_) sched_setaffinity(0, sizeof before_, &before_);
    }
    bool Limited() const { return limited_; }

private:
    cpu_set_t before_{};
    bool limited_ = false;
};

// Processes that keep every core busy, started and stopped by the test (and never outliving it:
// each ends by itself after `seconds`, and with the test's process).
class TBusyMachine {
public:
    TBusyMachine(int processes, int seconds) {
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                const time_t end = time(nullptr) + seconds;
                volatile uint64_t x = 0;
                while (time(nullptr) < end)
                    for (int k = 0; k < 1000000; ++k) x = x + uint64_t(k);
                _exit(0);
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~TBusyMachine() {
        for (pid_t pid : pids_) kill(pid, SIGKILL);
        for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
    }
    size_t Count() const { return pids_.size(); }

private:
    std::vector<pid_t> pids_;
};

class E2EVoiceServer : public TEndToEnd {
protected:
    TVoiceExtension* Voice() {
        for (auto& e : extensions_)
            if (auto* v = dynamic_cast<TVoiceExtension*>(e.get())) return v;
        return nullptr;
    }
    bool StartPulse(const std::vector<std::string>& sinks, const std::vector<std::string>& sources) {
        std::string error;
        const bool ok = pulse_.Start(root_ / "pulse", sinks, sources, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }
    // A client whose default sound device plays into `sink` and records from `source`.
    TClientProcess* StartWithDevice(const std::string& name, const std::string& sink, const std::string& source,
                                    const std::vector<std::string>& args) {
        const auto conf = root_ / ("asound-" + name + ".conf");
        pulse_.AlsaConfig(conf, sink, source);
        setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        setenv("PULSE_SERVER", pulse_.ServerAddress().c_str(), 1);
        return StartClient(name, args);
    }
    // Records a sink's monitor (what its listener's speakers played) into a file until stopped.
    bool Record(const std::string& sink) {
        recording_ = root_ / (sink + ".raw");
        std::string error;
        const bool ok = parec_.Start("parec",
                                     {"-d", sink + ".monitor", "--raw", "--format=s16le", "--rate=" + std::to_string(kRate),
                                      "--channels=1", "--latency-msec=50", recording_.string()},
                                     {"PULSE_SERVER=" + pulse_.ServerAddress()}, root_ / "parec.log", &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }
    std::vector<int16_t> Recorded() {
        parec_.Stop();
        return audiotest::ToSamples(audiotest::ReadFile(recording_.string()));
    }
    // The playback streams on the server, by index: a new index is a new stream.
    std::string Streams() {
        const std::string cmd = "PULSE_SERVER='" + pulse_.ServerAddress() + "' pactl list short sink-inputs 2>/dev/null";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, p)) out += std::string(line).substr(0, std::string(line).find('\t')) + " ";
            pclose(p);
        }
        return out;
    }
    // The playback streams that play into one sink, by index (a new index is a new stream).
    std::set<int> StreamsOn(const std::string& sink) {
        const std::string server = "PULSE_SERVER='" + pulse_.ServerAddress() + "' ";
        auto lines = [](const std::string& cmd) {
            std::vector<std::string> out;
            if (FILE* p = popen(cmd.c_str(), "r")) {
                char line[512];
                while (std::fgets(line, sizeof line, p)) out.emplace_back(line);
                pclose(p);
            }
            return out;
        };
        int sinkIndex = -1;
        for (const auto& l : lines(server + "pactl list short sinks 2>/dev/null")) {
            std::istringstream in(l);
            int index;
            std::string name;
            if (in >> index >> name && name == sink) sinkIndex = index;
        }
        std::set<int> streams;
        for (const auto& l : lines(server + "pactl list short sink-inputs 2>/dev/null")) {
            std::istringstream in(l);
            int index, on;
            if (in >> index >> on && on == sinkIndex) streams.insert(index);
        }
        return streams;
    }
    // Raises the window, points into its status line and presses F3 (keys go where the pointer is).
    void PressF3(TXDriver::Window w) {
        x_.Raise(w);
        if (auto g = x_.Geometry(w)) {
            x_.MoveTo(g->x + g->width / 2, g->y + g->height - 8);
            x_.Click(g->x + g->width / 2, g->y + g->height - 8);
        }
        x_.Key(XK_F3);
    }

    // A microphone as a sound card gives it: 20 ms at a time in real time, silence until the tone is
    // asked for, then the tone, then silence again until stopped.
    void StartMicrophone(const std::string& source) {
        mic_ = std::thread([this, source] {
            const int fd = open(pulse_.SourcePipe(source).c_str(), O_WRONLY);
            if (fd < 0) return;
            const auto tone = audiotest::ToBytes(Tone(kToneSeconds));
            const std::vector<uint8_t> silence(kRate / 50 * 2, 0);
            size_t at = 0;
            auto next = std::chrono::steady_clock::now();
            while (!micStop_) {
                const uint8_t* chunk = silence.data();
                if (toneAsked_ && at < tone.size()) {
                    chunk = tone.data() + at;
                    at += silence.size();
                    if (at >= tone.size()) toneDone_ = true;
                }
                if (write(fd, chunk, silence.size()) <= 0) break;
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
            close(fd);
        });
    }
    void StopMicrophone() {
        micStop_ = true;
        if (mic_.joinable()) mic_.join();
    }
    void TearDown() override {
        StopMicrophone();
        TEndToEnd::TearDown();
    }

    TPulseServer pulse_;
    TPeerProcess parec_;
    std::thread mic_;
    std::atomic<bool> micStop_{false}, toneAsked_{false}, toneDone_{false};
    std::filesystem::path recording_;
};

}  // namespace

TEST_F(E2EVoiceServer, TheListenerHearsTheWholeOfWhatTheSpeakerSays) {
    ASSERT_TRUE(StartPulse({"spk_ana", "spk_bea"}, {"mic_ana"}));
    StartMicrophone("mic_ana");
    StartRoomServer();
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice);
    TClientProcess* ana = StartWithDevice("moderator", "spk_ana", "mic_ana", {JoinLink("moderator", "pw-mod", kRoom)});
    ASSERT_TRUE(ana);
    const int a = WaitForSignIn();
    ASSERT_NE(a, 0);
    const int32_t anaId = server_.Connection(a)->userId;
    TClientProcess* bea = StartWithDevice("bea", "spk_bea", "", {JoinLink("bea", "pw-bea", kRoom)});
    ASSERT_TRUE(bea);
    const int b = WaitForSignIn();
    ASSERT_NE(b, 0);
    const int32_t beaId = server_.Connection(b)->userId;
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Connected(anaId) && voice->Connected(beaId); }, kWaitMs));
    auto anaMain = x_.WaitForTitle("Moderator Tester in a virtual session", ana->Pid(), kWaitMs);
    auto beaMain = x_.WaitForTitle("Bea Tester in a virtual session", bea->Pid(), kWaitMs);
    ASSERT_TRUE(anaMain && beaMain);
    ASSERT_TRUE(WaitForPainted(*anaMain) && WaitForPainted(*beaMain));

    // The moderator (who has the voice right) takes the floor with F3 (once more when a key was lost on a loaded machine).
    for (int attempt = 0; attempt < 3 && !voice->HoldsFloor(anaId); ++attempt) {
        PressF3(*anaMain);
        voice->WaitUntil([&] { return voice->HoldsFloor(anaId); }, 4000);
    }
    ASSERT_TRUE(voice->HoldsFloor(anaId)) << "F3 asked for no floor";
    ASSERT_TRUE(Record("spk_bea"));
    usleep(500 * 1000);
    const std::string streamsBefore = Streams();

    // Ten seconds of tone into Ana's microphone.
    toneAsked_ = true;
    for (int waited = 0; waited < 30000 && !toneDone_; waited += 100) usleep(100 * 1000);
    ASSERT_TRUE(toneDone_);
    // What is still on its way: the last capture buffer, the network, the listener's queue.
    usleep(3000 * 1000);
    Screenshot("e2e_voice_server_speaking");
    const std::string streamsAfter = Streams();
    const THeard heard = ToneHeard(Recorded());
    std::printf("the listener heard %.2f s of the tone\n", heard.seconds);
    EXPECT_GE(heard.seconds, 9.5) << "the listener heard " << heard.seconds << " s of 10 s of tone";
    EXPECT_EQ(streamsAfter, streamsBefore) << "new playback streams were made while the tone played";
    EXPECT_GT(voice->VoiceMessages(anaId), 15);
    EXPECT_TRUE(ana->Running() && bea->Running());
}

// Sixteen processes keep every core busy while the moderator speaks: the listener's player keeps
// enough queued that the late wake-ups of a saturated machine leave no audible gap, and it does not
// make new streams to get over them. The sound server, the clients and the busy processes share
// four cores, four busy processes to a core: a load of 32 on a machine of eight. The scheduler
// still wakes a sleeping sound thread quickly there, so the delays such a machine gives now and then
// (a whole process not running for a while) are made on purpose: every 1.5 s the listener's program
// is stopped for 300 ms (with a 150 ms lead and a new stream per underrun, this made 20 streams).
TEST_F(E2EVoiceServer, OnAMachineWithEveryCoreBusyTheToneIsHeardWithoutGaps) {
    constexpr int kStallMs = 300;
    TCoreLimit cores(4);
    ASSERT_TRUE(cores.Limited());
    ASSERT_TRUE(StartPulse({"spk_ana", "spk_bea"}, {"mic_ana"}));
    StartMicrophone("mic_ana");
    StartRoomServer();
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice);
    TClientProcess* ana = StartWithDevice("moderator", "spk_ana", "mic_ana", {JoinLink("moderator", "pw-mod", kRoom)});
    ASSERT_TRUE(ana);
    const int a = WaitForSignIn();
    ASSERT_NE(a, 0);
    const int32_t anaId = server_.Connection(a)->userId;
    TClientProcess* bea = StartWithDevice("bea", "spk_bea", "", {JoinLink("bea", "pw-bea", kRoom)});
    ASSERT_TRUE(bea);
    const int b = WaitForSignIn();
    ASSERT_NE(b, 0);
    const int32_t beaId = server_.Connection(b)->userId;
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Connected(anaId) && voice->Connected(beaId); }, kWaitMs));
    auto anaMain = x_.WaitForTitle("Moderator Tester in a virtual session", ana->Pid(), kWaitMs);
    auto beaMain = x_.WaitForTitle("Bea Tester in a virtual session", bea->Pid(), kWaitMs);
    ASSERT_TRUE(anaMain && beaMain);
    ASSERT_TRUE(WaitForPainted(*anaMain) && WaitForPainted(*beaMain));
    for (int attempt = 0; attempt < 3 && !voice->HoldsFloor(anaId); ++attempt) {
        PressF3(*anaMain);
        voice->WaitUntil([&] { return voice->HoldsFloor(anaId); }, 4000);
    }
    ASSERT_TRUE(voice->HoldsFloor(anaId)) << "F3 asked for no floor";
    ASSERT_TRUE(Record("spk_bea"));
    // The listener's players opened their streams at entry; every other index is a stream made again.
    const std::set<int> atEntry = StreamsOn("spk_bea");
    std::set<int> streams = atEntry;

    {
        TBusyMachine busy(16, 60);
        ASSERT_EQ(busy.Count(), 16u);
        usleep(1000 * 1000);  // the machine is saturated before the first word
        toneAsked_ = true;
        for (int waited = 0; waited < 40000 && !toneDone_; waited += 250) {
            usleep(250 * 1000);
            if (waited % 1500 == 0) {
                // The worst a saturated machine does to the listener: nothing of it runs for a while.
                kill(bea->Pid(), SIGSTOP);
                usleep(kStallMs * 1000);
                kill(bea->Pid(), SIGCONT);
            }
            const auto now = StreamsOn("spk_bea");
            streams.insert(now.begin(), now.end());
        }
        ASSERT_TRUE(toneDone_);
        // What is still on its way: the last capture buffer, the network, the listener's queue.
        for (int waited = 0; waited < 4000; waited += 250) {
            usleep(250 * 1000);
            const auto now = StreamsOn("spk_bea");
            streams.insert(now.begin(), now.end());
        }
    }
    Screenshot("e2e_voice_server_busy_machine");
    const THeard heard = ToneHeard(Recorded());
    const size_t opened = streams.size() - atEntry.size();
    std::printf("on a busy machine the listener heard %.2f s of the tone, longest gap %.2f s, %zu playback streams "
                "opened beside the %zu of entry\n",
                heard.seconds, heard.longestGap, opened, atEntry.size());
    EXPECT_GE(heard.seconds, 9.5) << "the listener heard " << heard.seconds << " s of 10 s of tone";
    EXPECT_LE(heard.longestGap, 0.3) << "a gap of " << heard.longestGap << " s";
    EXPECT_LE(opened, 2u) << "the listener opened " << opened << " playback streams while the tone played";
    EXPECT_TRUE(ana->Running() && bea->Running());
}

TEST_F(E2EVoiceServer, AReplayedRecordingIsHeardWholeAtItsLevel) {
    ASSERT_TRUE(StartPulse({"spk_rec"}, {}));
    // Ten seconds of recorded voice (Speex, 16 kHz), one half-second message every 500 ms, between
    // board strokes.
    audio::WaveFormat codec;
    ASSERT_TRUE(media::BuildCodecFormat(2, codec));
    const audio::WaveFormat pcm = *media::BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
    media::TAcmLiveConverter encoder;
    ASSERT_TRUE(encoder.Open(pcm, codec, true));
    const auto tone = audiotest::ToBytes(Tone(kToneSeconds));
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, RoomEntryBody(2), 7, 3);
    w.Add(vkBoardStrokes, 400, StrokesBody(1, 3, 0x0000FF), 7, 3);
    const uint32_t half = pcm.avgBytesPerSec / 2;
    for (int i = 0; i < int(kToneSeconds * 2); ++i) {
        std::vector<uint8_t> encoded;
        uint32_t n = 0;
        ASSERT_TRUE(encoder.Convert(tone.data() + size_t(i) * half, half, n, encoded));
        encoded.resize(n);
        w.Add(vkVoiceIn, 1000 + 500 * i, encoded, 7, 3);
    }
    w.Add(vkBoardStrokes, 11500, StrokesBody(1, 2, 0x00FF00), 7, 3);
    const std::string path = (root_ / "Voice.ob6").string();
    ASSERT_TRUE(w.WriteFile(path, true));

    ASSERT_TRUE(Record("spk_rec"));
    usleep(500 * 1000);
    TClientProcess* client = StartWithDevice("rec", "spk_rec", "", {"PLAY", path});
    ASSERT_TRUE(client);
    usleep(16000 * 1000);
    Screenshot("e2e_voice_server_replay");
    const THeard heard = ToneHeard(Recorded());
    std::printf("the replay played %.2f s of voice at %.2f of the recorded level\n", heard.seconds,
                heard.rms / (kToneAmplitude / std::sqrt(2.0)));
    EXPECT_TRUE(client->Running()) << client->Ending();
    EXPECT_GE(heard.seconds, 9.5) << "the replay played " << heard.seconds << " s of 10 s of voice";
    // The recorded level (a sine's RMS is its amplitude / sqrt 2), not copies summed.
    const double recorded = kToneAmplitude / std::sqrt(2.0);
    EXPECT_GT(heard.rms, recorded * 0.6);
    EXPECT_LT(heard.rms, recorded * 1.4) << "the replay is " << heard.rms / recorded << " times the recorded level";
}

TEST_F(E2EVoiceServer, WithoutASoundDeviceTheWindowSaysSoAndF3AsksForNoFloor) {
    StartRoomServer();
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice);
    // No sound server runs and the configuration knows no device at all.
    const auto conf = root_ / "asound-none.conf";
    { std::ofstream(conf) << "# no devices\n"; }
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    unsetenv("PULSE_SERVER");
    TClientProcess* ana = StartClient("moderator", {JoinLink("moderator", "pw-mod", kRoom)});
    ASSERT_TRUE(ana);
    const int a = WaitForSignIn();
    ASSERT_NE(a, 0);
    const int32_t anaId = server_.Connection(a)->userId;
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Connected(anaId); }, kWaitMs));
    auto anaMain = x_.WaitForTitle("Moderator Tester in a virtual session", ana->Pid(), kWaitMs);
    ASSERT_TRUE(anaMain);
    ASSERT_TRUE(WaitForPainted(*anaMain));
    usleep(2500 * 1000);  // the microphone watch has looked
    for (int i = 0; i < 2; ++i) {
        PressF3(*anaMain);
        usleep(1000 * 1000);
    }
    Screenshot("e2e_voice_server_no_device");
    EXPECT_TRUE(From(a, vkTakeMicrophone).empty()) << "F3 asked for the floor without a microphone";
    EXPECT_FALSE(voice->HoldsFloor(anaId));
    EXPECT_TRUE(ana->Running());
}
