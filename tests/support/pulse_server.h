#pragma once
// A private PulseAudio sound server for a test: its own configuration, runtime and state folders
// under a folder of the test, a null sink per listener (its monitor is what that listener's
// speakers played), a pipe source per speaker (what is written into its pipe is that speaker's
// microphone), reached on its own socket; stopped by its process id with the object. Programs use it
// through ALSA's pulse plugin: AlsaConfig writes a configuration whose default device plays into one
// sink and records from one source.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/peer_process.h"

namespace orb::test {

class TPulseServer {
public:
    static constexpr int kMicRate = 16000;  // pipe sources: 16-bit mono at this rate

    // Starts the server with these sinks and pipe sources; false with the reason when it did not
    // come up.
    bool Start(const std::filesystem::path& folder, const std::vector<std::string>& sinks,
               const std::vector<std::string>& sources, std::string* error);
    void Stop() { server_.Stop(); }
    bool Running() { return server_.Running(); }
    pid_t Pid() const { return server_.Pid(); }

    // PULSE_SERVER for the programs that use it.
    std::string ServerAddress() const { return "unix:" + (folder_ / "runtime" / "native").string(); }
    // The pipe a source reads from.
    std::filesystem::path SourcePipe(const std::string& source) const { return folder_ / (source + ".fifo"); }
    // Writes an ALSA configuration (for ALSA_CONFIG_PATH or ~/.asoundrc) whose default device plays
    // into `sink` and records from `source`; an empty name leaves that direction out.
    void AlsaConfig(const std::filesystem::path& file, const std::string& sink, const std::string& source) const;
    // AlsaConfig, and this process's ALSA pointed at it.
    void UseInThisProcess(const std::filesystem::path& file, const std::string& sink, const std::string& source) const;

    // Runs a pulseaudio tool against this server; its exit status.
    int Tool(const std::vector<std::string>& args) const;
    // Number of playback streams the server has (sink inputs), -1 when it cannot be asked.
    int PlaybackStreams() const;

private:
    std::filesystem::path folder_;
    TPeerProcess server_;
};

// What a listener heard of a 440 Hz tone recorded at kMicRate: the seconds of 20 ms windows that
// carry it (loud enough, and crossing zero as the tone does), and their mean level.
struct THeardTone {
    double seconds = 0;
    double rms = 0;
    // The longest stretch without the tone between its first and its last 20 ms window.
    double longestGap = 0;
};
THeardTone ToneHeard(const std::vector<int16_t>& samples, int toneHz = 440);
// Whether `count` samples at the microphone rate (a 20 ms window) hold the tone: loud enough, and
// crossing zero as a tone of `toneHz` does.
bool ToneWindow(const int16_t* samples, size_t count, int toneHz = 440);

// A microphone on a pipe source as a sound card gives it: a 440 Hz tone, 20 ms at a time in real
// time, for `chunks` chunks (until Stop while negative). The pipe stays open until Stop, so the
// source then gives nothing, as a microphone that stopped.
class TToneMicrophone {
public:
    explicit TToneMicrophone(const std::filesystem::path& pipe, int chunks = -1);
    ~TToneMicrophone() { Stop(); }
    // Every chunk was written.
    bool Fed() const { return fed_.load(); }
    void Stop();

private:
    std::atomic<bool> stop_{false}, fed_{false};
    std::thread thread_;
};

}  // namespace orb::test
