#pragma once
// The monitor's ports: one process-wide list, filled from the monitor's registry key.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pagorix {

struct TvpjPort {
    std::u16string description;   // reported by EnumPorts level 2; always empty
    std::u16string portName;
    std::u16string monitorName;
    bool inDocument = false;      // between StartDocPort and EndDocPort
    bool open = false;            // between OpenPort and ClosePort
    int32_t jobId = 0;
    std::u16string documentName;
    std::u16string printerName;   // owner of the current job, used to delete it at the end
};

constexpr const char16_t* kMonitorName = u"OrbeloDocLoader";
constexpr const char16_t* kDefaultPortName = u"OrbeloDocLoader";

class TvpjPortList {
public:
    // Appends a port with an empty description; returns its index.
    int AddPortEntry(const std::u16string& portName, const std::u16string& monitorName);
    // First port whose name equals `name` exactly, or -1.
    int IndexOfName(const std::u16string& name) const;
    // Index of the port object, or -1 (how port handles are validated).
    int IndexOf(const TvpjPort* port) const;
    int Count() const { return int(ports_.size()); }
    TvpjPort& Item(int index) { return *ports_.at(size_t(index)); }
    const TvpjPort& Item(int index) const { return *ports_.at(size_t(index)); }
    void Delete(int index);

    // Reads FilesRoot and PortName from the monitor's key under the machine root and adds the
    // port if it is new. An empty path uses the stored registry root.
    void LoadFromRegistry(const std::u16string& keyPath);

    void SetRegistryRoot(const std::u16string& root) { registryRoot_ = root; }
    const std::u16string& FilesRoot() const { return filesRoot_; }

private:
    std::vector<std::unique_ptr<TvpjPort>> ports_;
    std::u16string registryRoot_;
    std::u16string filesRoot_;
};

// Per-user export settings read at every document start.
struct UserExportSettings {
    std::string exportFolder;   // empty: keep the monitor's folder
    std::string filePrefix;     // empty: keep the prefix
    std::string host = "127.0.0.1";
    int32_t port = 27777;
};

// Reads the current user's print-path key into `s` (which holds the values to keep).
void ReadUserExportSettings(UserExportSettings& s);

constexpr const char* kUserExportKey = "Software\\Orbelo Raredidazereva\\Orbelo Live 6 Document Loader";

}  // namespace pagorix
