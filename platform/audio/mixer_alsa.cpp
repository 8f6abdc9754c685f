// ALSA simple-mixer backing of the mixer: one capture destination per card whose volume is the
// "Capture" element; every other element that can capture is a source line, a microphone when its
// name says "mic"; a microphone line also carries the card's "... Boost" elements of its name.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cctype>

#include "audio/mixer.h"
#include "audio/wave_devices.h"
#include "audio/wave_io.h"

namespace orb::audio {

namespace {

std::string Lower(std::string s) {
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Control ids: element index * 4 + what.
enum What : uint32_t { kCapVolume = 0, kCapSwitch = 1, kBoostVolume = 2, kBoostSwitch = 3 };

class AlsaMixerDevice final : public IMixerDevice {
public:
    explicit AlsaMixerDevice(snd_mixer_t* m) : m_(m) {
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_); e; e = snd_mixer_elem_next(e))
            if (snd_mixer_selem_is_active(e)) elems_.push_back(e);
        for (size_t i = 0; i < elems_.size(); ++i) {
            std::string name = snd_mixer_selem_get_name(elems_[i]);
            if (name == "Capture") capture_ = int(i);
            else if ((snd_mixer_selem_has_capture_volume(elems_[i]) || snd_mixer_selem_has_capture_switch(elems_[i])) &&
                     Lower(name).find("boost") == std::string::npos)
                sources_.push_back(i);
        }
    }
    ~AlsaMixerDevice() override { snd_mixer_close(m_); }

    uint32_t Destinations() override { return 1; }
    bool Destination(uint32_t index, MixerLineInfo& out) override {
        if (index != 0) return false;
        out = MixerLineInfo{0, MixerLineType::DstWaveIn, "Capture", 2, uint32_t(sources_.size())};
        return true;
    }
    bool Source(uint32_t destIndex, uint32_t srcIndex, MixerLineInfo& out) override {
        if (destIndex != 0 || srcIndex >= sources_.size()) return false;
        snd_mixer_elem_t* e = elems_[sources_[srcIndex]];
        std::string name = snd_mixer_selem_get_name(e);
        out.lineId = srcIndex + 1;
        out.type = Lower(name).find("mic") != std::string::npos ? MixerLineType::SrcMicrophone : MixerLineType::SrcLine;
        out.name = name;
        out.channels = snd_mixer_selem_is_capture_mono(e) ? 1 : 2;
        out.sources = 0;
        return true;
    }
    bool Controls(uint32_t lineId, std::vector<MixerControlInfo>& out) override {
        out.clear();
        if (lineId == 0) {
            if (capture_ >= 0 && snd_mixer_selem_has_capture_volume(elems_[size_t(capture_)]))
                out.push_back({uint32_t(capture_) * 4 + kCapVolume, MixerControlType::Volume, "Capture Volume"});
            return true;
        }
        if (lineId > sources_.size()) return false;
        const size_t i = sources_[lineId - 1];
        std::string name = snd_mixer_selem_get_name(elems_[i]);
        if (snd_mixer_selem_has_capture_volume(elems_[i]))
            out.push_back({uint32_t(i) * 4 + kCapVolume, MixerControlType::Volume, name + " Capture Volume"});
        if (snd_mixer_selem_has_capture_switch(elems_[i]))
            out.push_back({uint32_t(i) * 4 + kCapSwitch, MixerControlType::OnOff, name + " Capture Switch"});
        if (Lower(name).find("mic") == std::string::npos) return true;
        for (size_t j = 0; j < elems_.size(); ++j) {
            std::string other = snd_mixer_selem_get_name(elems_[j]);
            if (other.rfind(name, 0) != 0 || Lower(other).find("boost") == std::string::npos) continue;
            if (snd_mixer_selem_has_playback_switch(elems_[j]) || snd_mixer_selem_has_capture_switch(elems_[j]))
                out.push_back({uint32_t(j) * 4 + kBoostSwitch, MixerControlType::OnOff, other});
            else if (snd_mixer_selem_has_playback_volume(elems_[j]) || snd_mixer_selem_has_capture_volume(elems_[j]))
                out.push_back({uint32_t(j) * 4 + kBoostVolume, MixerControlType::OnOff, other});
        }
        return true;
    }
    bool GetValues(uint32_t controlId, uint32_t channels, std::vector<uint32_t>& out) override {
        snd_mixer_elem_t* e = Elem(controlId);
        if (!e || channels == 0) return false;
        out.assign(channels, 0);
        // A mono element answers for every channel asked about.
        const uint32_t own = Mono(e, controlId) ? 1 : channels;
        for (uint32_t c = 0; c < own; ++c) {
            auto ch = snd_mixer_selem_channel_id_t(c);
            long v = 0, lo = 0, hi = 0;
            int sw = 0;
            switch (controlId % 4) {
            case kCapVolume:
                if (snd_mixer_selem_get_capture_volume_range(e, &lo, &hi) < 0 ||
                    snd_mixer_selem_get_capture_volume(e, ch, &v) < 0 || hi <= lo)
                    return false;
                out[c] = uint32_t((v - lo) * 65535 / (hi - lo));
                break;
            case kCapSwitch:
                if (snd_mixer_selem_get_capture_switch(e, ch, &sw) < 0) return false;
                out[c] = sw ? 1 : 0;
                break;
            case kBoostSwitch:
                if ((snd_mixer_selem_has_playback_switch(e) ? snd_mixer_selem_get_playback_switch(e, ch, &sw)
                                                            : snd_mixer_selem_get_capture_switch(e, ch, &sw)) < 0)
                    return false;
                out[c] = sw ? 1 : 0;
                break;
            case kBoostVolume:
                if ((snd_mixer_selem_has_playback_volume(e)
                         ? snd_mixer_selem_get_playback_volume_range(e, &lo, &hi) | snd_mixer_selem_get_playback_volume(e, ch, &v)
                         : snd_mixer_selem_get_capture_volume_range(e, &lo, &hi) | snd_mixer_selem_get_capture_volume(e, ch, &v)) < 0)
                    return false;
                out[c] = v > lo ? 1 : 0;
                break;
            }
        }
        for (uint32_t c = own; c < channels; ++c) out[c] = out[0];
        return true;
    }
    // One value sets every channel alike; several set one channel each.
    bool SetValues(uint32_t controlId, const std::vector<uint32_t>& values) override {
        snd_mixer_elem_t* e = Elem(controlId);
        if (!e || values.empty()) return false;
        // A mono element has only the first channel to take a value.
        const bool all = values.size() == 1 || Mono(e, controlId);
        const size_t count = all ? 1 : values.size();
        for (size_t c = 0; c < count; ++c) {
            auto ch = snd_mixer_selem_channel_id_t(c);
            const int on = values[c] ? 1 : 0;
            long lo = 0, hi = 0;
            int r = 0;
            switch (controlId % 4) {
            case kCapVolume: {
                if (snd_mixer_selem_get_capture_volume_range(e, &lo, &hi) < 0) return false;
                const long v = lo + long(std::min<uint32_t>(values[c], 65535)) * (hi - lo) / 65535;
                r = all ? snd_mixer_selem_set_capture_volume_all(e, v) : snd_mixer_selem_set_capture_volume(e, ch, v);
                break;
            }
            case kCapSwitch:
                r = all ? snd_mixer_selem_set_capture_switch_all(e, on) : snd_mixer_selem_set_capture_switch(e, ch, on);
                break;
            case kBoostSwitch:
                if (snd_mixer_selem_has_playback_switch(e))
                    r = all ? snd_mixer_selem_set_playback_switch_all(e, on) : snd_mixer_selem_set_playback_switch(e, ch, on);
                else
                    r = all ? snd_mixer_selem_set_capture_switch_all(e, on) : snd_mixer_selem_set_capture_switch(e, ch, on);
                break;
            case kBoostVolume:
                if (snd_mixer_selem_has_playback_volume(e)) {
                    if (snd_mixer_selem_get_playback_volume_range(e, &lo, &hi) < 0) return false;
                    const long v = on ? hi : lo;
                    r = all ? snd_mixer_selem_set_playback_volume_all(e, v) : snd_mixer_selem_set_playback_volume(e, ch, v);
                } else {
                    if (snd_mixer_selem_get_capture_volume_range(e, &lo, &hi) < 0) return false;
                    const long v = on ? hi : lo;
                    r = all ? snd_mixer_selem_set_capture_volume_all(e, v) : snd_mixer_selem_set_capture_volume(e, ch, v);
                }
                break;
            }
            if (r < 0) return false;
        }
        return true;
    }

private:
    // Whether the element behind a control has one channel in the direction the control uses.
    static bool Mono(snd_mixer_elem_t* e, uint32_t controlId) {
        switch (controlId % 4) {
        case kBoostSwitch:
            return snd_mixer_selem_has_playback_switch(e) ? snd_mixer_selem_is_playback_mono(e)
                                                          : snd_mixer_selem_is_capture_mono(e);
        case kBoostVolume:
            return snd_mixer_selem_has_playback_volume(e) ? snd_mixer_selem_is_playback_mono(e)
                                                          : snd_mixer_selem_is_capture_mono(e);
        default: return snd_mixer_selem_is_capture_mono(e);
        }
    }
    snd_mixer_elem_t* Elem(uint32_t controlId) {
        size_t i = controlId / 4;
        return i < elems_.size() ? elems_[i] : nullptr;
    }

    snd_mixer_t* m_;
    std::vector<snd_mixer_elem_t*> elems_;
    std::vector<size_t> sources_;
    int capture_ = -1;
};

// The mixer of the card a PCM name points at; the default mixer for anything else.
std::string MixerNameOfPcm(const std::string& pcm) {
    auto card = pcm.find("CARD=");
    if (card != std::string::npos) {
        std::string id = pcm.substr(card + 5);
        id = id.substr(0, id.find_first_of(",:"));
        return "hw:CARD=" + id;
    }
    for (const char* prefix : {"hw:", "plughw:"}) {
        if (pcm.rfind(prefix, 0) == 0) {
            std::string id = pcm.substr(std::string(prefix).size());
            return "hw:" + id.substr(0, id.find(','));
        }
    }
    return "default";
}

class AlsaMixerSystem final : public IMixerSystem {
public:
    uint32_t NumDevs() override {
        uint32_t n = 0;
        int card = -1;
        while (snd_card_next(&card) == 0 && card >= 0) ++n;
        return n;
    }
    std::unique_ptr<IMixerDevice> Open(intptr_t id, MixerIdKind kind) override {
        std::string name;
        if (kind == MixerIdKind::Mixer) {
            if (id < 0 || id >= intptr_t(NumDevs())) return nullptr;
            name = "hw:" + std::to_string(id);
        } else {
            int device = int(id);
            if (kind == MixerIdKind::WaveInHandle && !WaveIn::DeviceOfHandle(reinterpret_cast<const void*>(id), device))
                return nullptr;
            WaveDeviceCaps caps;
            if (WaveGetDevCaps(WaveDirection::Input, device, caps) != 0) return nullptr;
            name = MixerNameOfPcm(caps.pcmName);
        }
        snd_mixer_t* m = nullptr;
        if (snd_mixer_open(&m, 0) < 0) return nullptr;
        if (snd_mixer_attach(m, name.c_str()) < 0 || snd_mixer_selem_register(m, nullptr, nullptr) < 0 ||
            snd_mixer_load(m) < 0) {
            snd_mixer_close(m);
            return nullptr;
        }
        return std::make_unique<AlsaMixerDevice>(m);
    }
};

}  // namespace

IMixerSystem& AlsaMixers() {
    static AlsaMixerSystem system;
    return system;
}

}  // namespace orb::audio
