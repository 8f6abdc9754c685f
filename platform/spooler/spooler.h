#pragma once
// Our spooler layer: the printers and job queue behind OpenPrinterW/SetJob/ClosePrinter, and the
// host that loads a monitor library and drives one job through its port entries.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "spooler/monitor_api.h"

namespace orb::spooler {

struct JobInfo {
    DWORD id = 0;
    std::u16string printer;
    std::u16string user;
    std::u16string title;
};

// The process-wide queue. Printers are known by name; a job belongs to one printer and stays
// queued until it is deleted (by the monitor at the end of the document, through SetJob).
class Spooler {
public:
    static Spooler& Instance();

    void AddPrinter(const std::u16string& name, const std::u16string& portName);
    bool HasPrinter(const std::u16string& name) const;
    std::optional<std::u16string> PortOfPrinter(const std::u16string& name) const;

    // Queues a job with the given id (0 picks the next free one); returns the id, 0 when the
    // printer is unknown or the id is taken.
    DWORD AddJob(const std::u16string& printer, const std::u16string& user, const std::u16string& title,
                 DWORD id = 0);
    bool HasJob(DWORD id) const;
    bool DeleteJob(DWORD id);
    std::vector<JobInfo> Jobs() const;

    // Debug output of the monitor (OutputDebugStringA); echoed to stderr when ORB_SPOOLER_DEBUG is set.
    void Debug(const char* text);
    std::vector<std::string> TakeDebugLines();

    // Forgets printers, jobs and debug lines.
    void Clear();

private:
    mutable std::mutex mu_;
    std::vector<std::pair<std::u16string, std::u16string>> printers_;
    std::vector<JobInfo> jobs_;
    std::vector<std::string> debug_;
    DWORD nextId_ = 1;
};

// A monitor library loaded at run time.
class MonitorLibrary {
public:
    // Loads the library, calls its InitializePrintMonitor with the registry root and checks the
    // table it returns. nullptr with `error` filled on failure.
    static std::unique_ptr<MonitorLibrary> Load(const std::string& path, const std::u16string& registryRoot,
                                                std::string& error);
    ~MonitorLibrary();
    MonitorLibrary(const MonitorLibrary&) = delete;
    MonitorLibrary& operator=(const MonitorLibrary&) = delete;

    const MONITOREX& Table() const { return *table_; }
    const MONITOR& Entries() const { return table_->Monitor; }

private:
    MonitorLibrary() = default;
    void* handle_ = nullptr;
    MONITOREX* table_ = nullptr;
};

// Reads up to `capacity` bytes into `buffer`; returns the count, 0 at the end, -1 on a read error.
using ByteSource = std::function<long(uint8_t* buffer, size_t capacity)>;

struct PrintJob {
    std::u16string portName;
    std::u16string printerName;
    DWORD jobId = 0;
    std::u16string documentName;
    size_t chunkSize = 64 * 1024;
};

struct PrintResult {
    bool ok = false;
    std::string failedStep;  // the entry that returned FALSE, or "read" for the input
    DWORD lastError = 0;
    uint64_t bytesWritten = 0;
    int writeCalls = 0;
};

// Drives OpenPort, StartDocPort, WritePort in chunks, EndDocPort and ClosePort. After a failed
// WritePort or a read error the document is still ended and the port closed.
PrintResult RunPrintJob(const MONITOR& monitor, const PrintJob& job, const ByteSource& source);

// Wide-string helpers for the layer's callers.
std::u16string Widen(const std::string& utf8);

}  // namespace orb::spooler
