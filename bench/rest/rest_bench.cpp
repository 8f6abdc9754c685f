// A participant and a moderator in a room for a minute, each with a sound device on a private
// PulseAudio server (as on a desktop), doing nothing: after 60 s, each program's resident memory
// and threads, and the CPU it spent over the last 30 s as a share of one core. The moderator sees
// the moderator tips (a web page) at entry, the participant opens no page.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "../bench_summary.h"
#include "e2e_test.h"
#include "support/pulse_server.h"

using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
constexpr int kRestSeconds = 60;
constexpr int kCpuWindowSeconds = 30;

struct TUsage {
    double residentMb = 0;
    int threads = 0;
    double cpuSeconds = 0;
};

TUsage UsageOf(pid_t pid) {
    TUsage u;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "VmRSS:") {
            double kb = 0;
            in >> kb;
            u.residentMb = kb / 1024;
        } else if (key == "Threads:") {
            in >> u.threads;
        }
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), {});
    // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
    const size_t close = all.rfind(')');
    if (close != std::string::npos) {
        std::istringstream in(all.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0;
        for (int i = 1; i <= 13 && in >> field; ++i) {
            if (i == 12) utime = std::atof(field.c_str());
            if (i == 13) stime = std::atof(field.c_str());
        }
        u.cpuSeconds = (utime + stime) / double(sysconf(_SC_CLK_TCK));
    }
    return u;
}

class RestBench : public TEndToEnd {
protected:
    TClientProcess* StartWithDevice(const std::string& name, const std::string& sink, const std::string& source,
                                    const std::vector<std::string>& args) {
        const auto conf = root_ / ("asound-" + name + ".conf");
        pulse_.AlsaConfig(conf, sink, source);
        setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        setenv("PULSE_SERVER", pulse_.ServerAddress().c_str(), 1);
        return StartClient(name, args);
    }
    TPulseServer pulse_;
};

}  // namespace

TEST_F(RestBench, AParticipantAndAModeratorAtRestInARoomWithASoundServer) {
    // The web engine runs as the bench's user; where that is root, Chromium needs its sandbox off.
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
    std::string error;
    ASSERT_TRUE(pulse_.Start(root_ / "pulse", {"spk_mod", "spk_part"}, {"mic_mod", "mic_part"}, &error)) << error;
    StartRoomServer();
    TClientProcess* moderator =
        StartWithDevice("moderator", "spk_mod", "mic_mod", {JoinLink("moderator", "pw-mod", kRoom)});
    ASSERT_TRUE(moderator);
    ASSERT_NE(WaitForSignIn(), 0);
    TClientProcess* participant = StartWithDevice("bea", "spk_part", "mic_part", {JoinLink("bea", "pw-bea", kRoom)});
    ASSERT_TRUE(participant);
    ASSERT_NE(WaitForSignIn(), 0);
    ASSERT_TRUE(x_.WaitForTitle("Moderator Tester in a virtual session", moderator->Pid(), kWaitMs));
    ASSERT_TRUE(x_.WaitForTitle("Bea Tester in a virtual session", participant->Pid(), kWaitMs));

    const auto entered = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(entered + std::chrono::seconds(kRestSeconds - kCpuWindowSeconds));
    const TUsage modBefore = UsageOf(moderator->Pid()), partBefore = UsageOf(participant->Pid());
    std::this_thread::sleep_until(entered + std::chrono::seconds(kRestSeconds));
    const TUsage mod = UsageOf(moderator->Pid()), part = UsageOf(participant->Pid());
    Screenshot("bench_rest");
    ASSERT_TRUE(moderator->Running() && participant->Running());

    const double modCpu = (mod.cpuSeconds - modBefore.cpuSeconds) * 100 / kCpuWindowSeconds;
    const double partCpu = (part.cpuSeconds - partBefore.cpuSeconds) * 100 / kCpuWindowSeconds;
    std::printf("after %d s at rest with a sound server:\n", kRestSeconds);
    std::printf("  participant: %.1f MB resident, %d threads, %.2f %% of a core\n", part.residentMb, part.threads,
                partCpu);
    std::printf("  moderator:   %.1f MB resident, %d threads, %.2f %% of a core\n", mod.residentMb, mod.threads, modCpu);
    orb::bench::Summary("participant at rest: resident (MB)", "<= 120", part.residentMb, part.residentMb <= 120);
    orb::bench::Summary("participant at rest: threads", "(reported)", part.threads, true);
    orb::bench::Summary("participant at rest: CPU (% of a core)", "<= 1", partCpu, partCpu <= 1);
    orb::bench::Summary("moderator at rest: resident (MB)", "(reported)", mod.residentMb, true);
    orb::bench::Summary("moderator at rest: threads", "(reported)", mod.threads, true);
    orb::bench::Summary("moderator at rest: CPU (% of a core)", "<= 1", modCpu, modCpu <= 1);
}
