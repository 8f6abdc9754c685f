// Registry reading of the monitor: its own key (machine root) and the per-user export settings.

#include "port_list.h"

namespace pagorix {

// TODO(registry layer): read the monitor key once the registry layer is available.
void TvpjPortList::LoadFromRegistry(const std::u16string& keyPath) {
    const std::u16string& key = keyPath.empty() ? registryRoot_ : keyPath;
    if (key.empty()) return;
}

// TODO(registry layer): read the per-user key once the registry layer is available.
void ReadUserExportSettings(UserExportSettings& s) {
    s.host = "127.0.0.1";
    s.port = 27777;
}

}  // namespace pagorix
