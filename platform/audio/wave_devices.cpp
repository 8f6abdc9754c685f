#include "audio/wave_devices.h"

#include <alsa/asoundlib.h>

#include <map>
#include <mutex>

namespace orb::audio {

namespace {

std::string Hint(void* hint, const char* id) {
    char* v = snd_device_name_get_hint(hint, id);
    std::string s = v ? v : "";
    free(v);
    return s;
}

// A device counts when it opens in the direction and reports its hardware parameters, or is busy.
bool CanReadCaps(const std::string& name, WaveDirection dir) {
    snd_pcm_t* pcm = nullptr;
    auto stream = dir == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    const int e = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
    // A device busy with our own playback or capture still exists: leaving it out would shift the
    // ids of the devices after it while it is in use.
    if (e == -EBUSY) return true;
    if (e < 0) return false;
    snd_pcm_hw_params_t* hw = nullptr;
    bool ok = snd_pcm_hw_params_malloc(&hw) == 0 && snd_pcm_hw_params_any(pcm, hw) >= 0;
    if (hw) snd_pcm_hw_params_free(hw);
    snd_pcm_close(pcm);
    return ok;
}

std::mutex g_volumeMu;
std::map<int, uint32_t> g_volumes;

}  // namespace

std::vector<WaveDeviceCaps> WaveDevices(WaveDirection dir) {
    std::vector<WaveDeviceCaps> list;
    std::string defaultProduct = "Default";
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0 && hints) {
        const char* want = dir == WaveDirection::Input ? "Input" : "Output";
        for (void** h = hints; *h; ++h) {
            std::string name = Hint(*h, "NAME");
            std::string io = Hint(*h, "IOID");
            if (name.empty() || name == "null") continue;
            if (!io.empty() && io != want) continue;
            std::string desc = Hint(*h, "DESC");
            std::string product = desc.substr(0, desc.find('\n'));
            if (name == "default") {
                if (!product.empty()) defaultProduct = product;
                continue;
            }
            if (!CanReadCaps(name, dir)) continue;
            if (product.empty()) product = name;
            list.push_back(WaveDeviceCaps{product, name});
        }
        snd_device_name_free_hint(hints);
    }
    // The configuration's default device comes first, also when the configuration gives it no
    // name hint (a user's own default, such as a sound server's plugin, often has none).
    if (CanReadCaps("default", dir)) list.insert(list.begin(), WaveDeviceCaps{defaultProduct, "default"});
    return list;
}

MmResult WaveGetDevCaps(WaveDirection dir, int deviceId, WaveDeviceCaps& out) {
    auto list = WaveDevices(dir);
    if (deviceId == kWaveMapper) {
        if (!list.empty()) out = list.front();
        else out = WaveDeviceCaps{"Default", "default"};
        return kMmNoError;
    }
    if (deviceId < 0 || size_t(deviceId) >= list.size()) return kMmErrBadDeviceId;
    out = list[size_t(deviceId)];
    return kMmNoError;
}

// The default device is listed first, so the mapper shares device 0's volume.
static int VolumeKey(int deviceId) { return deviceId == kWaveMapper ? 0 : deviceId; }

// Only a device that exists has a volume: the callers disable their slider otherwise.
static bool OutputExists(int deviceId) {
    if (deviceId < kWaveMapper) return false;
    const size_t count = WaveDevices(WaveDirection::Output).size();
    return deviceId == kWaveMapper ? count > 0 : size_t(deviceId) < count;
}

MmResult WaveOutSetVolume(int deviceId, uint32_t volume) {
    if (!OutputExists(deviceId)) return kMmErrBadDeviceId;
    std::lock_guard lk(g_volumeMu);
    g_volumes[VolumeKey(deviceId)] = volume;
    return kMmNoError;
}

MmResult WaveOutGetVolume(int deviceId, uint32_t& volume) {
    if (!OutputExists(deviceId)) return kMmErrBadDeviceId;
    volume = WaveOutVolumeOf(deviceId);
    return kMmNoError;
}

uint32_t WaveOutVolumeOf(int deviceId) {
    std::lock_guard lk(g_volumeMu);
    auto it = g_volumes.find(VolumeKey(deviceId));
    return it == g_volumes.end() ? 0xFFFFFFFFu : it->second;
}

}  // namespace orb::audio
