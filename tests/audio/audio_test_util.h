#pragma once
// Helpers shared by the audio tests: temporary folders, file-backed ALSA devices, a speech-like
// signal, little file helpers and running command-line tools.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orb::audiotest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

struct FileDevice {
    std::string name;         // PCM name
    std::string description;  // what the device lists show
    std::string file;         // capture: data read; playback: data written
    bool broken = false;      // a device whose capabilities cannot be read
};

// Writes an ALSA configuration of file-plugin devices over the null device into dir, and points
// this process's ALSA at it.
void InstallAlsaConfig(const TempDir& dir, const std::vector<FileDevice>& inputs, const std::vector<FileDevice>& outputs);

// Deterministic speech-like 16-bit mono signal: voiced harmonics with a moving pitch, syllable
// envelope and a little noise.
std::vector<int16_t> SpeechLike(uint32_t rate, double seconds, uint32_t seed = 1);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const void* data, size_t size);
inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) { WriteFile(path, bytes.data(), bytes.size()); }
std::vector<int16_t> ToSamples(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ToBytes(const std::vector<int16_t>& samples);

// 16-bit samples with the silence a playback device is fed between blocks taken out (runs of at
// least `minRun` zero samples; a signal with noise never has them).
std::vector<uint8_t> WithoutSilence(const std::vector<uint8_t>& bytes, size_t minRun = 40);

// Runs a command line (arguments are quoted here); returns its exit status.
int RunTool(const std::vector<std::string>& args);

}  // namespace orb::audiotest
