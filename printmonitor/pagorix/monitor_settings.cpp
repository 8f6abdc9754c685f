// Registry reading of the monitor: its own key under the machine root and the per-user export
// settings.

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "port_list.h"
#include "registry/registry.h"
#include "wire/text.h"

namespace pagorix {

namespace fs = std::filesystem;

namespace {

// Where pages go when FilesRoot is unusable: a per-machine folder beside the machine registry,
// created when missing; the temporary folder when it cannot be created.
std::string DefaultFilesRoot() {
    std::error_code ec;
    fs::path folder = orb::reg::Registry::Default().folders().machine.parent_path() / "OrbeloTemp";
    if (!fs::is_directory(folder, ec)) fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) folder = fs::temp_directory_path(ec);
    std::string s = folder.string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

}  // namespace

void TvpjPortList::LoadFromRegistry(const std::u16string& keyPath) {
    const std::u16string& key = keyPath.empty() ? registryRoot_ : keyPath;
    if (key.empty()) return;
    orb::reg::Key k = orb::reg::OpenKey(orb::reg::HKEY_LOCAL_MACHINE, orb::Utf16ToUtf8(key));
    if (!k) return;

    // A missing value reads as empty text; one of another type takes the fallback.
    std::string filesRoot;
    if (k.ValueExists("FilesRoot")) {
        auto v = k.ReadString("FilesRoot");
        filesRoot = v ? *v : DefaultFilesRoot();
    }
    filesRoot_ = orb::Utf8ToUtf16(filesRoot);

    std::u16string portName;
    if (k.ValueExists("PortName")) {
        auto v = k.ReadString("PortName");
        portName = v ? orb::Utf8ToUtf16(*v) : std::u16string(kDefaultPortName);
    }
    // Trimming takes the blank and every control character below it.
    bool blank = std::all_of(portName.begin(), portName.end(), [](char16_t c) { return c <= u' '; });
    if (!blank && IndexOfName(portName) < 0) AddPortEntry(portName, kMonitorName);
}

void ReadUserExportSettings(UserExportSettings& s) {
    s.host = "127.0.0.1";
    s.port = 27777;
    orb::reg::Key k = orb::reg::OpenKey(orb::reg::HKEY_CURRENT_USER, kUserExportKey);
    if (!k) return;

    // Values are read in this order; one of the wrong type ends the reading.
    if (k.ValueExists("CurrentExportFolder")) {
        auto v = k.ReadString("CurrentExportFolder");
        if (!v) return;
        if (!v->empty()) s.exportFolder = *v;
    }
    if (k.ValueExists("FileNamePattern")) {
        auto v = k.ReadString("FileNamePattern");
        if (!v) return;
        if (!v->empty()) s.filePrefix = *v;
    }
    if (k.ValueExists("Host")) {
        auto v = k.ReadString("Host");
        if (!v) return;
        if (!v->empty()) s.host = *v;
    }
    if (k.ValueExists("Port")) {
        auto v = k.ReadDWord("Port");
        if (!v) return;
        // 0 counts as absent; so does a number no UDP port can have.
        if (*v > 0 && *v <= 65535) s.port = int32_t(*v);
    }
}

}  // namespace pagorix
