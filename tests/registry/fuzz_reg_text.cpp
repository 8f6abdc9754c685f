// Any bytes as a registry file: parsing never crashes, and whatever parses formats to a text that
// parses to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "registry/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto tree = orb::reg::ParseRegistryText(text);
    if (!tree) return 0;
    std::string once = orb::reg::FormatRegistryText(*tree, "HKEY_CURRENT_USER");
    auto again = orb::reg::ParseRegistryText(once);
    if (!again || orb::reg::FormatRegistryText(*again, "HKEY_CURRENT_USER") != once) std::abort();
    return 0;
}
