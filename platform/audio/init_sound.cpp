#include "audio/init_sound.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <stdexcept>

#include "audio/acm.h"
#include "audio/wave_devices.h"

namespace orb::media {

using namespace orb::audio;

namespace {

std::atomic<size_t> g_maxFormatSize{0};

size_t ReadMaxFormatSize() {
    size_t size = AcmMaxFormatSize();
    g_maxFormatSize = size;
    return size;
}

struct CodecRow {
    int index;
    const char* text;  // nullptr: not in the codec list
    uint16_t tag;
    uint32_t rate;
    uint16_t bits;
    uint16_t blockAlign;
    uint32_t bytesPerSec;
    uint16_t extraSize;
};

constexpr CodecRow kCodecs[] = {
    {0, "GSM 6.10 - 8 KHz, 8 bit, 1.6 KB/s (Low Quality)", kWaveFormatGsm610, 8000, 0, 65, 1625, 2},
    {1, "Speex - 8 KHz, 16 bit, 1.3 KB/s (Low Quality)", kWaveFormatSpeex, 8000, 16, 55, 1375, 14},
    {2, "Speex - 16 KHz, 16 bit, 1.6 KB/s (Default)", kWaveFormatSpeex, 16000, 16, 32, 1600, 14},
    {3, "Speex - 16 KHz, 16 bit, 2.1 KB/s", kWaveFormatSpeex, 16000, 16, 42, 2100, 14},
    {4, "Speex - 16 KHz, 16 bit, 3.4 KB/s", kWaveFormatSpeex, 16000, 16, 139, 3475, 14},
    {5, "Speex - 32 KHz, 16 bit, 1.8 KB/s", kWaveFormatSpeex, 32000, 16, 73, 1825, 14},
    {6, "Speex - 32 KHz, 16 bit, 2.8 KB/s", kWaveFormatSpeex, 32000, 16, 56, 2800, 14},
    {7, "Speex - 32 KHz, 16 bit, 3.7 KB/s", kWaveFormatSpeex, 32000, 16, 74, 3700, 14},
    {20, nullptr, kWaveFormatPcm, 8000, 16, 2, 16000, 0},
    {21, nullptr, kWaveFormatPcm, 16000, 16, 2, 32000, 0},
    {22, nullptr, kWaveFormatPcm, 32000, 16, 2, 64000, 0},
};

std::string Lower(std::string s) {
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void FillDevices(WaveDirection dir, std::vector<std::string>& list) {
    list.clear();
    auto devices = WaveDevices(dir);
    for (size_t i = 0; i < devices.size(); ++i)
        list.push_back(i == 0 ? devices[i].productName + " (Windows Default)" : devices[i].productName);
}

bool FirstControl(IMixerDevice& m, uint32_t lineId, MixerControlType type, MixerControlInfo& out) {
    std::vector<MixerControlInfo> controls;
    if (!m.Controls(lineId, controls)) return false;
    for (const auto& c : controls)
        if (c.type == type) {
            out = c;
            return true;
        }
    return false;
}

// The microphone volume walk shared by reading and setting: the capture destination's own volume
// control first, else the microphone source line's (or the last source line's when none is a
// microphone).
template <typename Op>
bool WalkMicVolume(intptr_t mixerId, MixerIdKind kind, Op op) {
    IMixerSystem& mixers = Mixers();
    if (mixers.NumDevs() == 0) return false;
    auto m = mixers.Open(mixerId, kind);
    if (!m) return false;
    const uint32_t dests = m->Destinations();
    for (uint32_t d = 0; d < dests; ++d) {
        MixerLineInfo dst;
        if (!m->Destination(d, dst) || dst.type != MixerLineType::DstWaveIn) continue;
        MixerControlInfo control;
        if (FirstControl(*m, dst.lineId, MixerControlType::Volume, control) && op(*m, control)) return true;
        MixerLineInfo src, chosen;
        bool any = false;
        for (uint32_t s = 0; s < dst.sources; ++s) {
            if (!m->Source(d, s, src)) continue;
            chosen = src;
            any = true;
            if (src.type == MixerLineType::SrcMicrophone) break;
        }
        if (!any || !FirstControl(*m, chosen.lineId, MixerControlType::Volume, control)) return false;
        return op(*m, control);
    }
    return false;
}

// Finds the first microphone line's first control whose name contains "boost", in any case.
bool FindBoost(IMixerDevice& m, MixerLineInfo& line, MixerControlInfo& control) {
    const uint32_t dests = m.Destinations();
    bool found = false;
    for (uint32_t d = 0; d < dests && !found; ++d) {
        MixerLineInfo dst;
        if (!m.Destination(d, dst)) continue;
        for (uint32_t s = 0; s < dst.sources; ++s) {
            if (m.Source(d, s, line) && line.type == MixerLineType::SrcMicrophone) {
                found = true;
                break;
            }
        }
    }
    if (!found) return false;
    std::vector<MixerControlInfo> controls;
    if (!m.Controls(line.lineId, controls)) return false;
    for (const auto& c : controls)
        if (Lower(c.name).find("boost") != std::string::npos) {
            control = c;
            return true;
        }
    return false;
}

}  // namespace

size_t MaxFormatSize() { return g_maxFormatSize.load(); }

void FillCodecList(std::vector<std::string>& list) {
    list.clear();
    for (const auto& row : kCodecs)
        if (row.text) list.emplace_back(row.text);
}

void CompleteAcmFormat(WaveFormat& format) {
    const size_t maxSize = ReadMaxFormatSize();
    for (const auto& driver : AcmDrivers()) {
        for (uint16_t tag : driver->FormatTags()) {
            if (tag != format.formatTag) continue;
            const size_t count = driver->FormatCount(tag);
            for (size_t i = 0; i < count; ++i) {
                WaveFormat scratch;
                if (!driver->FormatDetails(tag, i, scratch)) continue;
                if (kWaveFormatHeadSize + scratch.extra.size() > maxSize) continue;
                if (scratch.SameBase(format)) {
                    format = std::move(scratch);
                    return;
                }
            }
        }
    }
    throw std::runtime_error("Invalid Format details");
}

bool BuildCodecFormat(int codecIndex, WaveFormat& out) {
    if (ReadMaxFormatSize() == 0) return false;
    auto row = std::find_if(std::begin(kCodecs), std::end(kCodecs), [&](const CodecRow& r) { return r.index == codecIndex; });
    if (row == std::end(kCodecs)) return false;
    WaveFormat f;
    f.formatTag = row->tag;
    f.channels = 1;
    f.samplesPerSec = row->rate;
    f.avgBytesPerSec = row->bytesPerSec;
    f.blockAlign = row->blockAlign;
    f.bitsPerSample = row->bits;
    f.extra.assign(row->extraSize, 0);
    try {
        CompleteAcmFormat(f);
    } catch (const std::exception&) {
        return false;
    }
    out = std::move(f);
    return true;
}

std::optional<WaveFormat> BuildPcmFormat(uint16_t bitsPerSample, uint32_t samplesPerSec) {
    if (ReadMaxFormatSize() < 1) return std::nullopt;
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = 1;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = bitsPerSample == 0 ? 16 : bitsPerSample;
    f.blockAlign = uint16_t(f.bitsPerSample * f.channels / 8);
    f.avgBytesPerSec = samplesPerSec * f.blockAlign;
    return f;
}

int UsableDevice(bool capture, int deviceId, bool* fellBack) {
    if (fellBack) *fellBack = false;
    if (deviceId == audio::kWaveMapper) return deviceId;
    const size_t count = WaveDevices(capture ? WaveDirection::Input : WaveDirection::Output).size();
    if (deviceId >= 0 && size_t(deviceId) < count) return deviceId;
    // Past the end of the list (a device unplugged since it was chosen): the default one, which
    // the list always names first.
    if (count == 0) return deviceId;
    if (fellBack) *fellBack = true;
    return 0;
}

void FillWaveInDevices(std::vector<std::string>& list) { FillDevices(WaveDirection::Input, list); }
void FillWaveOutDevices(std::vector<std::string>& list) { FillDevices(WaveDirection::Output, list); }

bool SetWaveOutVolume(int deviceId, uint32_t volume) {
    volume = std::min<uint32_t>(volume, 0xFFFF);
    return WaveOutSetVolume(deviceId, volume | (volume << 16)) == kMmNoError;
}

bool GetWaveOutVolume(int deviceId, uint32_t& volume) {
    uint32_t v = 0;
    if (WaveOutGetVolume(deviceId, v) != kMmNoError) return false;
    volume = v & 0xFFFF;
    return true;
}

bool SetMicVolume(intptr_t mixerId, uint32_t volume, MixerIdKind kind) {
    return WalkMicVolume(mixerId, kind, [&](IMixerDevice& m, const MixerControlInfo& c) {
        return m.SetValues(c.controlId, {volume});
    });
}

bool GetMicVolume(intptr_t mixerId, uint32_t& volume, MixerIdKind kind) {
    return WalkMicVolume(mixerId, kind, [&](IMixerDevice& m, const MixerControlInfo& c) {
        std::vector<uint32_t> v;
        if (!m.GetValues(c.controlId, 1, v) || v.empty()) return false;
        volume = v[0];
        return true;
    });
}

namespace {

// Runs `use` on the boost control of a capture device's mixer with the control's current values.
// The capture device id names the mixer through the device it is, not as a mixer number, so that
// the boost found is the one of the card that device belongs to.
bool WithMicBoost(int captureDeviceId,
                  const std::function<bool(IMixerDevice&, const MixerControlInfo&, std::vector<uint32_t>&)>& use) {
    auto m = Mixers().Open(captureDeviceId, MixerIdKind::WaveIn);
    if (!m) return false;
    MixerLineInfo line;
    MixerControlInfo control;
    if (!FindBoost(*m, line, control)) return false;
    std::vector<uint32_t> v;
    if (!m->GetValues(control.controlId, std::max<uint32_t>(line.channels, 1), v) || v.empty()) return false;
    return use(*m, control, v);
}

}  // namespace

bool GetMicBoost(int captureDeviceId, uint32_t& value) {
    return WithMicBoost(captureDeviceId, [&](IMixerDevice&, const MixerControlInfo&, std::vector<uint32_t>& v) {
        value = v[0];
        return true;
    });
}

bool SetMicBoost(int captureDeviceId, uint32_t value) {
    return WithMicBoost(captureDeviceId, [&](IMixerDevice& m, const MixerControlInfo& c, std::vector<uint32_t>& v) {
        v[0] = value;
        return m.SetValues(c.controlId, v);
    });
}

}  // namespace orb::media
