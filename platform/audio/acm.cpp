#include "audio/acm.h"

#include <algorithm>
#include <mutex>

namespace orb::audio {

namespace {

std::mutex g_mu;
bool g_custom = false;
std::vector<std::shared_ptr<AcmDriver>> g_drivers;

std::vector<std::shared_ptr<AcmDriver>> DefaultDrivers() {
    return {MakePcmDriver(), MakeGsmDriver(), MakeSpeexDriver()};
}

}  // namespace

std::vector<std::shared_ptr<AcmDriver>> AcmDrivers() {
    std::lock_guard lk(g_mu);
    if (!g_custom && g_drivers.empty()) g_drivers = DefaultDrivers();
    return g_drivers;
}

void AcmSetDrivers(std::vector<std::shared_ptr<AcmDriver>> drivers) {
    std::lock_guard lk(g_mu);
    g_drivers = std::move(drivers);
    g_custom = true;
}

void AcmResetDrivers() {
    std::lock_guard lk(g_mu);
    g_drivers.clear();
    g_custom = false;
}

size_t AcmMaxFormatSize() {
    size_t size = 0;
    for (const auto& d : AcmDrivers()) size = std::max(size, d->MaxFormatSize());
    return size;
}

MmResult AcmStreamOpen(const WaveFormat& src, const WaveFormat& dst, uint32_t flags, std::unique_ptr<AcmStream>& out) {
    out.reset();
    if (flags & ~kAcmStreamOpenNonRealTime) return kMmErrInvalFlag;
    for (const auto& d : AcmDrivers()) {
        std::unique_ptr<AcmStream> s;
        if (d->OpenStream(src, dst, s) == kMmNoError && s) {
            out = std::move(s);
            return kMmNoError;
        }
    }
    return kAcmErrNotPossible;
}

}  // namespace orb::audio
