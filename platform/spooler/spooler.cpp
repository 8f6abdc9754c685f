#include "spooler/spooler.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "wire/text.h"

namespace orb::spooler {

namespace {
thread_local DWORD t_lastError = 0;

struct PrinterHandle {
    uint32_t magic = 0x50524E54;
    std::u16string name;
};

std::mutex g_handlesMu;
std::vector<PrinterHandle*> g_handles;

// The printer a handle was opened for; copied under the lock, as another thread may close it.
std::optional<std::u16string> PrinterOfHandle(HANDLE h) {
    std::lock_guard lk(g_handlesMu);
    auto it = std::find(g_handles.begin(), g_handles.end(), static_cast<PrinterHandle*>(h));
    if (it == g_handles.end()) return std::nullopt;
    return (*it)->name;
}

size_t WideLength(LPCWSTR s, size_t cap) {
    size_t n = 0;
    while (n < cap && s[n]) ++n;
    return n;
}
}  // namespace

std::u16string Widen(const std::string& utf8) { return Utf8ToUtf16(utf8); }

Spooler& Spooler::Instance() {
    static Spooler s;
    return s;
}

void Spooler::AddPrinter(const std::u16string& name, const std::u16string& portName) {
    std::lock_guard lk(mu_);
    for (auto& p : printers_)
        if (p.first == name) {
            p.second = portName;
            return;
        }
    printers_.emplace_back(name, portName);
}

bool Spooler::HasPrinter(const std::u16string& name) const { return PortOfPrinter(name).has_value(); }

std::optional<std::u16string> Spooler::PortOfPrinter(const std::u16string& name) const {
    std::lock_guard lk(mu_);
    for (auto& p : printers_)
        if (p.first == name) return p.second;
    return std::nullopt;
}

DWORD Spooler::AddJob(const std::u16string& printer, const std::u16string& user, const std::u16string& title,
                      DWORD id) {
    std::lock_guard lk(mu_);
    if (std::none_of(printers_.begin(), printers_.end(), [&](auto& p) { return p.first == printer; })) return 0;
    auto taken = [&](DWORD v) {
        return std::any_of(jobs_.begin(), jobs_.end(), [&](const JobInfo& j) { return j.id == v; });
    };
    if (id == 0) {
        while (nextId_ == 0 || taken(nextId_)) ++nextId_;
        id = nextId_++;
    } else if (taken(id)) {
        return 0;
    }
    jobs_.push_back({id, printer, user, title});
    return id;
}

bool Spooler::HasJob(DWORD id) const {
    std::lock_guard lk(mu_);
    return std::any_of(jobs_.begin(), jobs_.end(), [&](const JobInfo& j) { return j.id == id; });
}

bool Spooler::DeleteJob(DWORD id) {
    std::lock_guard lk(mu_);
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobInfo& j) { return j.id == id; });
    if (it == jobs_.end()) return false;
    jobs_.erase(it);
    return true;
}

std::vector<JobInfo> Spooler::Jobs() const {
    std::lock_guard lk(mu_);
    return jobs_;
}

void Spooler::Debug(const char* text) {
    std::string line = text ? text : "";
    if (std::getenv("ORB_SPOOLER_DEBUG")) std::fprintf(stderr, "DEBUG: %s\n", line.c_str());
    std::lock_guard lk(mu_);
    // A long-running spooler must not grow without bound on debug chatter.
    if (debug_.size() >= 10000) debug_.erase(debug_.begin(), debug_.begin() + 5000);
    debug_.push_back(std::move(line));
}

std::vector<std::string> Spooler::TakeDebugLines() {
    std::lock_guard lk(mu_);
    return std::exchange(debug_, {});
}

void Spooler::Clear() {
    std::lock_guard lk(mu_);
    printers_.clear();
    jobs_.clear();
    debug_.clear();
    nextId_ = 1;
}

// ---- monitor library host ----

std::unique_ptr<MonitorLibrary> MonitorLibrary::Load(const std::string& path, const std::u16string& registryRoot,
                                                     std::string& error) {
    std::unique_ptr<MonitorLibrary> lib(new MonitorLibrary);
    lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib->handle_) {
        const char* e = dlerror();
        error = std::string("cannot load the monitor library: ") + (e ? e : path);
        return nullptr;
    }
    auto init = reinterpret_cast<InitializePrintMonitorFn>(dlsym(lib->handle_, kInitializePrintMonitorName));
    if (!init) {
        error = "the library exports no InitializePrintMonitor: " + path;
        return nullptr;
    }
    std::u16string root = registryRoot;
    lib->table_ = init(root.data());
    if (!lib->table_) {
        error = "InitializePrintMonitor returned no table";
        return nullptr;
    }
    if (lib->table_->dwMonitorSize < sizeof(MONITOR)) {
        error = "the monitor table is too small";
        return nullptr;
    }
    const MONITOR& m = lib->table_->Monitor;
    if (!m.pfnOpenPort || !m.pfnStartDocPort || !m.pfnWritePort || !m.pfnEndDocPort || !m.pfnClosePort) {
        error = "the monitor table lacks a port entry";
        return nullptr;
    }
    return lib;
}

MonitorLibrary::~MonitorLibrary() {
    if (handle_) dlclose(handle_);
}

PrintResult RunPrintJob(const MONITOR& monitor, const PrintJob& job, const ByteSource& source) {
    PrintResult r;
    auto fail = [&](const char* step) {
        if (r.failedStep.empty()) {
            r.failedStep = step;
            r.lastError = GetLastError();
        }
    };
    std::u16string port = job.portName;
    HANDLE h = nullptr;
    if (!monitor.pfnOpenPort(port.data(), &h)) {
        fail("OpenPort");
        return r;
    }
    std::u16string printer = job.printerName;
    std::u16string doc = job.documentName;
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    if (!monitor.pfnStartDocPort(h, printer.data(), job.jobId, 1, reinterpret_cast<LPBYTE>(&info))) {
        fail("StartDocPort");
        monitor.pfnClosePort(h);
        return r;
    }
    size_t chunk = std::clamp<size_t>(job.chunkSize, 1, 16u << 20);
    std::vector<uint8_t> buf(chunk);
    for (;;) {
        long n = source(buf.data(), buf.size());
        if (n < 0) {
            fail("read");
            break;
        }
        if (n == 0) break;
        size_t off = 0;
        bool writeFailed = false;
        while (off < size_t(n)) {
            DWORD written = 0;
            BOOL ok = monitor.pfnWritePort(h, buf.data() + off, DWORD(size_t(n) - off), &written);
            ++r.writeCalls;
            if (!ok) {
                fail("WritePort");
                writeFailed = true;
                break;
            }
            // A monitor that takes nothing would loop forever.
            if (written == 0 || written > size_t(n) - off) {
                SetLastError(ERROR_WRITE_FAULT);
                fail("WritePort");
                writeFailed = true;
                break;
            }
            off += written;
            r.bytesWritten += written;
        }
        if (writeFailed) break;
    }
    if (!monitor.pfnEndDocPort(h)) fail("EndDocPort");
    if (!monitor.pfnClosePort(h)) fail("ClosePort");
    r.ok = r.failedStep.empty();
    return r;
}

}  // namespace orb::spooler

// ---- the calls a monitor makes ----

using orb::spooler::Spooler;

extern "C" {

BOOL OpenPrinterW(LPWSTR pPrinterName, PHANDLE phPrinter, void* /*pDefault*/) {
    if (!phPrinter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phPrinter = nullptr;
    if (!pPrinterName) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    std::u16string name(pPrinterName, orb::spooler::WideLength(pPrinterName, 32768));
    if (!Spooler::Instance().HasPrinter(name)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto* ph = new orb::spooler::PrinterHandle;
    ph->name = std::move(name);
    {
        std::lock_guard lk(orb::spooler::g_handlesMu);
        orb::spooler::g_handles.push_back(ph);
    }
    *phPrinter = ph;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL SetJob(HANDLE hPrinter, DWORD JobId, DWORD /*Level*/, LPBYTE /*pJob*/, DWORD Command) {
    auto printer = orb::spooler::PrinterOfHandle(hPrinter);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (Command != JOB_CONTROL_DELETE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& sp = Spooler::Instance();
    auto jobs = sp.Jobs();
    auto it = std::find_if(jobs.begin(), jobs.end(), [&](const orb::spooler::JobInfo& j) { return j.id == JobId; });
    if (it == jobs.end() || it->printer != *printer || !sp.DeleteJob(JobId)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL ClosePrinter(HANDLE hPrinter) {
    orb::spooler::PrinterHandle* ph = nullptr;
    {
        std::lock_guard lk(orb::spooler::g_handlesMu);
        auto& hs = orb::spooler::g_handles;
        auto it = std::find(hs.begin(), hs.end(), static_cast<orb::spooler::PrinterHandle*>(hPrinter));
        if (it != hs.end()) {
            ph = *it;
            hs.erase(it);
        }
    }
    if (!ph) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete ph;
    return TRUE;
}

void SetLastError(DWORD code) { orb::spooler::t_lastError = code; }

DWORD GetLastError() { return orb::spooler::t_lastError; }

void OutputDebugStringA(const char* text) { Spooler::Instance().Debug(text); }

}  // extern "C"
