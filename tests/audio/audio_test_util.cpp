#include "audio_test_util.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace orb::audiotest {

namespace fs = std::filesystem;

namespace {
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "orb-audio-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void InstallAlsaConfig(const TempDir& dir, const std::vector<FileDevice>& inputs, const std::vector<FileDevice>& outputs) {
    std::ostringstream c;
    auto hint = [&](const FileDevice& d, const char* io) {
        c << "  hint { show on description \"" << d.description << "\" }  # " << io << "\n";
    };
    // Each device works in its own direction only, as a real microphone or speaker does.
    for (const auto& d : inputs) {
        c << "pcm." << d.name << " {\n  type asym\n  capture.pcm {\n";
        if (d.broken) c << "    type file\n    slave.pcm \"no_such_device\"\n    file \"/dev/null\"\n";
        else
            c << "    type file\n    slave.pcm { type null }\n    file \"/dev/null\"\n    infile \"" << d.file
              << "\"\n    format \"raw\"\n";
        c << "  }\n";
        hint(d, "Input");
        c << "}\n";
    }
    for (const auto& d : outputs) {
        c << "pcm." << d.name << " {\n  type asym\n  playback.pcm {\n";
        if (d.broken) c << "    type file\n    slave.pcm \"no_such_device\"\n    file \"/dev/null\"\n";
        else c << "    type file\n    slave.pcm { type null }\n    file \"" << d.file << "\"\n    format \"raw\"\n";
        c << "  }\n";
        hint(d, "Output");
        c << "}\n";
    }
    const std::string path = dir.file("asound.conf");
    std::ofstream(path) << c.str();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    // Errors of the deliberately broken devices would only clutter the test output.
    snd_lib_error_set_handler(QuietAlsa);
    snd_config_update_free_global();
}

std::vector<int16_t> SpeechLike(uint32_t rate, double seconds, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    const size_t n = size_t(rate * seconds);
    std::vector<int16_t> out(n);
    double phase = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double pitch = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / rate;
        const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 3.0 * t);
        double v = 0;
        for (int h = 1; h <= 12; ++h) {
            if (pitch * h > rate / 2.2) break;
            const double formant = std::exp(-std::pow((pitch * h - 700) / 500.0, 2)) + 0.5 * std::exp(-std::pow((pitch * h - 1800) / 700.0, 2));
            v += (0.2 + formant) * std::sin(phase * h) / h;
        }
        const double s = 9000 * env * v + noise(rng);
        out[i] = int16_t(std::clamp(s, -32768.0, 32767.0));
    }
    return out;
}

std::vector<uint8_t> WithoutSilence(const std::vector<uint8_t>& bytes, size_t minRun) {
    const std::vector<int16_t> in = ToSamples(bytes);
    std::vector<int16_t> out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        size_t j = i;
        while (j < in.size() && in[j] == 0) ++j;
        if (j - i < minRun) out.insert(out.end(), in.begin() + long(i), in.begin() + long(j));
        if (j == in.size()) break;
        out.push_back(in[j]);
        i = j + 1;
    }
    return ToBytes(out);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
}

std::vector<int16_t> ToSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return s;
}

std::vector<uint8_t> ToBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        b[2 * i] = uint8_t(uint16_t(samples[i]) & 0xFF);
        b[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return b;
}

int RunTool(const std::vector<std::string>& args) {
    std::string cmd;
    for (const auto& a : args) {
        cmd += '\'';
        for (char ch : a) {
            if (ch == '\'') cmd += "'\\''";
            else cmd += ch;
        }
        cmd += "' ";
    }
    cmd += ">/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orb::audiotest
