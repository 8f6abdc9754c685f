#include "support/pulse_server.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace orb::test {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

bool TPulseServer::Start(const std::filesystem::path& folder, const std::vector<std::string>& sinks,
                         const std::vector<std::string>& sources, std::string* error) {
    folder_ = folder;
    for (const char* sub : {"runtime", "config", "state"}) std::filesystem::create_directories(folder / sub);
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    {
        std::ofstream pa(folder / "default.pa");
        pa << "load-module module-native-protocol-unix socket=" << (folder / "runtime" / "native").string()
           << " auth-anonymous=1\n";
        for (const auto& s : sinks) pa << "load-module module-null-sink sink_name=" << s << "\n";
        for (const auto& s : sources)
            pa << "load-module module-pipe-source source_name=" << s << " file=" << SourcePipe(s).string()
               << " format=s16le rate=" << kMicRate << " channels=1\n";
    }
    const std::vector<std::string> env = {
        "HOME=" + folder.string(),
        "XDG_RUNTIME_DIR=" + (folder / "runtime").string(),
        "XDG_CONFIG_HOME=" + (folder / "config").string(),
        "PULSE_RUNTIME_PATH=" + (folder / "runtime").string(),
        "PULSE_STATE_PATH=" + (folder / "state").string(),
        // No session bus to register on.
        "DBUS_SESSION_BUS_ADDRESS=disabled:",
    };
    if (!server_.Start("pulseaudio",
                       {"--daemonize=no", "-n", "-F", (folder / "default.pa").string(), "--exit-idle-time=-1",
                        "--use-pid-file=no", "--log-target=stderr", "--log-level=warning"},
                       env, folder / "pulseaudio.log", error))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!server_.Running()) break;
        if (std::filesystem::exists(folder / "runtime" / "native") && Tool({"pactl", "info"}) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream in(folder / "pulseaudio.log");
    *error = "pulseaudio did not come up: " + std::string((std::istreambuf_iterator<char>(in)), {});
    server_.Stop();
    return false;
}

void TPulseServer::AlsaConfig(const std::filesystem::path& file, const std::string& sink,
                              const std::string& source) const {
    // Deliberately without a name hint: the default device must be listed all the same.
    std::ofstream c(file);
    c << "pcm.!default {\n  type asym\n";
    if (!sink.empty())
        c << "  playback.pcm { type pulse server \"" << ServerAddress() << "\" device \"" << sink << "\" }\n";
    if (!source.empty())
        c << "  capture.pcm { type pulse server \"" << ServerAddress() << "\" device \"" << source << "\" }\n";
    c << "}\n";
    c << "ctl.!default { type pulse server \"" << ServerAddress() << "\" }\n";
}

void TPulseServer::UseInThisProcess(const std::filesystem::path& file, const std::string& sink,
                                    const std::string& source) const {
    AlsaConfig(file, sink, source);
    setenv("ALSA_CONFIG_PATH", file.c_str(), 1);
    // ALSA keeps the configuration it read first; it reads this one at its next open.
    snd_config_update_free_global();
}

int TPulseServer::Tool(const std::vector<std::string>& args) const {
    std::string cmd = "PULSE_SERVER=" + Quote(ServerAddress());
    for (const auto& a : args) {
        cmd += ' ';
        cmd += Quote(a);
    }
    cmd += " >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

int TPulseServer::PlaybackStreams() const {
    const std::string cmd = "PULSE_SERVER=" + Quote(ServerAddress()) + " pactl list short sink-inputs 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    int lines = 0;
    for (int ch; (ch = std::fgetc(p)) != EOF;) lines += ch == '\n';
    return pclose(p) == 0 ? lines : -1;
}

bool ToneWindow(const int16_t* s, size_t count, int toneHz) {
    const double crossings = 2.0 * toneHz * double(count) / TPulseServer::kMicRate;
    double energy = 0;
    int zc = 0;
    for (size_t i = 0; i < count; ++i) {
        energy += double(s[i]) * s[i];
        if (i > 0 && (s[i - 1] < 0) != (s[i] < 0)) ++zc;
    }
    return count > 0 && std::sqrt(energy / double(count)) > 1000 && zc >= crossings * 0.8 && zc <= crossings * 1.2;
}

THeardTone ToneHeard(const std::vector<int16_t>& s, int toneHz) {
    constexpr size_t kWindow = TPulseServer::kMicRate / 50;
    THeardTone h;
    double sumRms = 0;
    int windows = 0, gap = 0, longest = 0;
    for (size_t at = 0; at + kWindow <= s.size(); at += kWindow) {
        if (ToneWindow(&s[at], kWindow, toneHz)) {
            double energy = 0;
            for (size_t i = at; i < at + kWindow; ++i) energy += double(s[i]) * s[i];
            if (windows > 0) longest = std::max(longest, gap);
            gap = 0;
            ++windows;
            sumRms += std::sqrt(energy / kWindow);
        } else {
            ++gap;
        }
    }
    h.seconds = windows / 50.0;
    h.rms = windows ? sumRms / windows : 0;
    h.longestGap = longest / 50.0;
    return h;
}

TToneMicrophone::TToneMicrophone(const std::filesystem::path& pipe, int chunks)
    : thread_([this, pipe, chunks] {
          const int fd = open(pipe.c_str(), O_WRONLY);
          if (fd < 0) return;
          std::vector<int16_t> chunk(TPulseServer::kMicRate / 50);
          size_t n = 0;
          auto next = std::chrono::steady_clock::now();
          int i = 0;
          for (; (chunks < 0 || i < chunks) && !stop_; ++i) {
              for (auto& v : chunk)
                  v = int16_t(8000 * std::sin(2 * M_PI * 440 * double(n++) / TPulseServer::kMicRate));
              if (write(fd, chunk.data(), chunk.size() * 2) < 0) break;
              next += std::chrono::milliseconds(20);
              std::this_thread::sleep_until(next);
          }
          fed_ = i == chunks;
          while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
          close(fd);
      }) {}

void TToneMicrophone::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

}  // namespace orb::test
