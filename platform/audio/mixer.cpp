#include "audio/mixer.h"

#include <atomic>

namespace orb::audio {

namespace {
std::atomic<IMixerSystem*> g_mixers{nullptr};
}

IMixerSystem& Mixers() {
    IMixerSystem* m = g_mixers.load();
    return m ? *m : AlsaMixers();
}

void SetMixers(IMixerSystem* system) { g_mixers.store(system); }

}  // namespace orb::audio
