#include "monitor.h"

#include <cstring>
#include <new>
#include <string>

#include "wire/text.h"

namespace pagorix {

namespace {

std::mutex g_lock;
std::unique_ptr<TvpjPortList> g_ports;
std::unique_ptr<TvpjRenderer> g_renderer;
MONITOREX g_table{};

// Strings from the spooler are bounded; a missing terminator cannot run away.
constexpr size_t kMaxWide = 32767;

std::u16string Wide(LPCWSTR s) {
    if (!s) return {};
    size_t n = 0;
    while (n < kMaxWide && s[n]) ++n;
    return std::u16string(s, n);
}

std::string AddDelimiter(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// No exception reaches the spooler: it becomes FALSE with a last-error code.
template <typename F>
BOOL Guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INTERNAL_ERROR);
    }
    return FALSE;
}

// The port behind a handle, if the handle is a port of the list and that port is open.
TvpjPort* OpenPortOf(HANDLE h) {
    auto* port = static_cast<TvpjPort*>(h);
    int i = PortList().IndexOf(port);
    if (i < 0 || !PortList().Item(i).open) return nullptr;
    return port;
}

void WriteWide(LPBYTE& at, const std::u16string& s) {
    std::memcpy(at, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    at += (s.size() + 1) * sizeof(char16_t);
}

void StorePointer(LPBYTE dst, LPBYTE value) { std::memcpy(dst, &value, sizeof value); }

BOOL EnumPorts(LPWSTR /*pName*/, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        auto& list = PortList();
        const bool level1 = Level == 1;
        const size_t structSize = level1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
        uint64_t needed = 0;
        for (int i = 0; i < list.Count(); ++i) {
            const TvpjPort& p = list.Item(i);
            uint64_t chars = level1 ? p.portName.size() + 1
                                    : p.portName.size() + 1 + p.monitorName.size() + 1 + p.description.size() + 1;
            needed += structSize + 2 * chars;
        }
        if (needed > 0xFFFFFFFFu) needed = 0xFFFFFFFFu;
        if (pcbNeeded) *pcbNeeded = DWORD(needed);
        if (cbBuf < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        if (!pcReturned || (!pPorts && needed > 0)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Strings are packed so that the last one ends at the buffer's last byte.
        LPBYTE strings = pPorts + (cbBuf - needed) + structSize * size_t(list.Count());
        for (int i = 0; i < list.Count(); ++i) {
            const TvpjPort& p = list.Item(i);
            LPBYTE rec = pPorts + structSize * size_t(i);
            if (level1) {
                StorePointer(rec + offsetof(PORT_INFO_1W, pName), strings);
                WriteWide(strings, p.portName);
            } else {
                StorePointer(rec + offsetof(PORT_INFO_2W, pPortName), strings);
                WriteWide(strings, p.portName);
                StorePointer(rec + offsetof(PORT_INFO_2W, pMonitorName), strings);
                WriteWide(strings, p.monitorName);
                StorePointer(rec + offsetof(PORT_INFO_2W, pDescription), strings);
                WriteWide(strings, p.description);
                DWORD type = PORT_TYPE_WRITE, reserved = 0;
                std::memcpy(rec + offsetof(PORT_INFO_2W, fPortType), &type, sizeof type);
                std::memcpy(rec + offsetof(PORT_INFO_2W, Reserved), &reserved, sizeof reserved);
            }
        }
        *pcReturned = DWORD(list.Count());
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    });
}

BOOL OpenPort(LPWSTR pName, PHANDLE pHandle) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        auto& list = PortList();
        int i = list.IndexOfName(Wide(pName));
        if (i < 0) {
            SetLastError(ERROR_INVALID_NAME);
            return FALSE;
        }
        TvpjPort& port = list.Item(i);
        if (port.open) {
            SetLastError(ERROR_BUSY);
            return FALSE;
        }
        if (!pHandle) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        port.open = true;
        *pHandle = &port;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    });
}

BOOL StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD /*Level*/, LPBYTE pDocInfo) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        TvpjPort* port = OpenPortOf(hPort);
        if (!port) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (port->inDocument) {
            SetLastError(ERROR_BUSY);
            return FALSE;
        }
        // DOC_INFO_1 and DOC_INFO_2 both start with the document name.
        LPWSTR docName = nullptr;
        if (pDocInfo) std::memcpy(&docName, pDocInfo, sizeof docName);
        port->documentName = Wide(docName);
        port->printerName = Wide(pPrinterName);
        SetLastError(ERROR_SUCCESS);
        port->inDocument = true;
        port->jobId = int32_t(JobId);

        TvpjRenderer& r = Renderer();
        r.BeginDocument();
        r.SetJobId(int32_t(JobId));
        std::string folder = AddDelimiter(orb::Utf16ToUtf8(PortList().FilesRoot()));
        UserExportSettings user;
        user.exportFolder = folder;
        user.filePrefix = r.FilePrefix();
        ReadUserExportSettings(user);
        r.SetExportFolder(user.exportFolder.empty() ? folder : AddDelimiter(user.exportFolder));
        if (!user.filePrefix.empty()) r.SetFilePrefix(user.filePrefix);
        r.SetNoticeHost(user.host);
        r.SetNoticePort(user.port);
        r.SendNotice(orb::pnDocumentStarted, r.PageNumber(), r.ExportFolder(), 0);
        return TRUE;
    });
}

BOOL WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        TvpjPort* port = OpenPortOf(hPort);
        if (!port || !port->inDocument) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!pBuffer && cbBuf > 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        OutputDebugStringA(("to write:" + std::to_string(cbBuf)).c_str());
        if (cbBuf == 0) SetLastError(ERROR_SUCCESS);
        Renderer().WriteData(pBuffer, cbBuf);
        // The whole buffer always counts as written, also after a rendering error.
        if (pcbWritten) *pcbWritten = cbBuf;
        return GetLastError() == ERROR_SUCCESS;
    });
}

BOOL ReadPort(HANDLE /*hPort*/, LPBYTE /*pBuffer*/, DWORD /*cbBuffer*/, LPDWORD pcbRead) {
    if (pcbRead) *pcbRead = 0;
    return TRUE;
}

BOOL EndDocPort(HANDLE hPort) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        TvpjPort* port = OpenPortOf(hPort);
        if (!port || !port->inDocument) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        port->inDocument = false;
        std::u16string printer = port->printerName;
        HANDLE hPrinter = nullptr;
        // Without the printer the job stays queued; the document still ends, last error unchanged.
        DWORD lastError = GetLastError();
        if (OpenPrinterW(printer.data(), &hPrinter, nullptr)) {
            SetJob(hPrinter, DWORD(port->jobId), 0, nullptr, JOB_CONTROL_DELETE);
            ClosePrinter(hPrinter);
        }
        SetLastError(lastError);
        TvpjRenderer& r = Renderer();
        r.SendNotice(orb::pnDocumentEnded, r.PageNumber(), r.ExportFolder(), 0);
        return TRUE;
    });
}

BOOL ClosePort(HANDLE hPort) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        TvpjPort* port = OpenPortOf(hPort);
        if (!port || port->inDocument) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        port->open = false;
        return TRUE;
    });
}

BOOL AddPort(LPWSTR pName, HWND /*hWnd*/, LPWSTR pMonitorName) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        std::u16string name = Wide(pName);
        // A nameless port could never be opened.
        if (name.empty()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto& list = PortList();
        if (list.IndexOfName(name) >= 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        list.AddPortEntry(name, Wide(pMonitorName));
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    });
}

BOOL ConfigurePort(LPWSTR, HWND, LPWSTR) { return TRUE; }

BOOL DeletePort(LPWSTR /*pName*/, HWND /*hWnd*/, LPWSTR pPortName) {
    return Guarded([&]() -> BOOL {
        std::lock_guard lk(g_lock);
        auto& list = PortList();
        int i = list.IndexOfName(Wide(pPortName));
        if (i < 0) {
            SetLastError(ERROR_NOT_CONNECTED);
            return FALSE;
        }
        // The spooler still holds the handle of an open port.
        if (list.Item(i).open) {
            SetLastError(ERROR_BUSY);
            return FALSE;
        }
        list.Delete(i);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    });
}

}  // namespace

std::mutex& MonitorLock() { return g_lock; }

TvpjPortList& PortList() {
    if (!g_ports) g_ports = std::make_unique<TvpjPortList>();
    return *g_ports;
}

TvpjRenderer& Renderer() {
    if (!g_renderer) g_renderer = std::make_unique<TvpjRenderer>();
    return *g_renderer;
}

void FreeMonitor() {
    std::lock_guard lk(g_lock);
    g_ports.reset();
    g_renderer.reset();
}

MONITOREX* InitializeMonitor(LPWSTR registryRoot) {
    try {
        // Taken although the spooler calls this first: it keeps a concurrent entry off the list.
        std::lock_guard lk(g_lock);
        PortList().SetRegistryRoot(Wide(registryRoot));
        PortList().LoadFromRegistry(u"");
    } catch (...) {
        OutputDebugStringA("port list not loaded");
    }
    MONITOR& m = g_table.Monitor;
    g_table.dwMonitorSize = sizeof(MONITOR);
    m.pfnEnumPorts = EnumPorts;
    m.pfnOpenPort = OpenPort;
    m.pfnOpenPortEx = nullptr;
    m.pfnStartDocPort = StartDocPort;
    m.pfnWritePort = WritePort;
    m.pfnReadPort = ReadPort;
    m.pfnEndDocPort = EndDocPort;
    m.pfnClosePort = ClosePort;
    m.pfnAddPort = AddPort;
    m.pfnAddPortEx = nullptr;
    m.pfnConfigurePort = ConfigurePort;
    m.pfnDeletePort = DeletePort;
    m.pfnGetPrinterDataFromPort = nullptr;
    m.pfnSetPortTimeOuts = nullptr;
    return &g_table;
}

}  // namespace pagorix
