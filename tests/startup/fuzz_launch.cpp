// Launch links come from web pages: classification must never crash or read out of bounds, and
// whatever it accepts must satisfy the link rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launch/launch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string arg(reinterpret_cast<const char*>(data), size);
    auto r = orb::ClassifyCommandLine({arg});
    if (r.kind == orb::lkJoinLink && !r.link.Cleared()) {
        if (r.link.port < 1 || r.link.port > 65535 || r.link.roomNumber < 1 || r.link.roomNumber > 32767) __builtin_trap();
    }
    orb::NormalizeLinkScheme(arg);
    orb::UrlDecode(arg);
    return 0;
}
