// orb-spool: prints one job through a print monitor library, called like a CUPS backend:
//   orb-spool job-id user title copies options [file]
// Without arguments it lists its device, as backends do. The job's printer byte stream comes from
// the file or from standard input. Environment: DEVICE_URI (pagorix:/<port name>), PRINTER (the
// printer name the monitor deletes the job through), ORB_PRINT_MONITOR (the library to load),
// ORB_MONITOR_KEY (the registry root handed to InitializePrintMonitor).
//
// Installed as the CUPS backend "pagorix" (mode 0700, so CUPS starts it as root), it becomes the
// job's own user before loading the monitor: the per-user settings it reads and the page files it
// writes are that user's. A job that saved no page because the monitor failed ends with a failure,
// so CUPS marks it failed instead of printed.

#include <fcntl.h>
#include <grp.h>
#include <malloc.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "spooler/spooler.h"

namespace {

constexpr int kBackendOk = 0;
constexpr int kBackendFailed = 1;

const char* Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& out) {
    const char* end = text + std::strlen(text);
    auto [p, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && p == end && out <= max;
}

// The monitor library: ORB_PRINT_MONITOR, else where the printer installer puts it, else the
// loader's search path.
std::string MonitorLibraryPath() {
    if (const char* v = std::getenv("ORB_PRINT_MONITOR"); v && *v) return v;
    struct stat st {};
    if (stat(ORB_INSTALLED_MONITOR, &st) == 0) return ORB_INSTALLED_MONITOR;
    return "libpagorix.so";
}

// Started by CUPS as root, turns into the job's user (an unknown user fails the job rather than
// writing someone's pages with root's rights). Run by hand it keeps the caller's rights.
bool BecomeJobUser(const char* user) {
    if (geteuid() != 0 || !std::getenv("CUPS_SERVERBIN")) return true;
    struct passwd* pw = getpwnam(user);
    if (!pw) {
        std::fprintf(stderr, "ERROR: unknown job user \"%s\"\n", user);
        return false;
    }
    if (pw->pw_uid == 0) {
        // Root's own job: root's settings, unless the scheduler was given a settings folder.
        if (!std::getenv("XDG_CONFIG_HOME")) setenv("HOME", pw->pw_dir, 1);
        return true;
    }
    if (initgroups(pw->pw_name, pw->pw_gid) != 0 || setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0 ||
        setuid(0) == 0) {
        std::fprintf(stderr, "ERROR: cannot run as \"%s\"\n", user);
        return false;
    }
    // The per-user settings are found below the user's own home.
    setenv("HOME", pw->pw_dir, 1);
    setenv("USER", pw->pw_name, 1);
    setenv("LOGNAME", pw->pw_name, 1);
    unsetenv("XDG_CONFIG_HOME");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orb::spooler;
    // The monitor takes page-sized buffers for every page (the JPEG it compresses into grows to a
    // few hundred KB): kept in the heap instead of mapped and unmapped each time, later pages reuse
    // memory the first one touched.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (argc == 1) {
        std::printf("direct pagorix \"Unknown\" \"Orbelo Live 6 Document Loader\"\n");
        return kBackendOk;
    }
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return kBackendFailed;
    }
    unsigned long jobId = 0, copies = 0;
    if (!ParseUnsigned(argv[1], 0xFFFFFFFFul, jobId) || jobId == 0) {
        std::fprintf(stderr, "ERROR: bad job id \"%s\"\n", argv[1]);
        return kBackendFailed;
    }
    if (!ParseUnsigned(argv[4], 9999, copies) || copies == 0) {
        std::fprintf(stderr, "ERROR: bad copy count \"%s\"\n", argv[4]);
        return kBackendFailed;
    }
    // Page files are numbered by the stream itself, so further copies would only overwrite them.
    if (copies > 1) std::fprintf(stderr, "INFO: printing one copy\n");

    std::string uri = Env("DEVICE_URI", "pagorix:/OrbeloLive6DocLoader");
    std::string port = uri;
    if (auto colon = uri.find(':'); colon != std::string::npos) {
        port = uri.substr(colon + 1);
        while (!port.empty() && port.front() == '/') port.erase(0, 1);
    }
    if (port.empty()) {
        std::fprintf(stderr, "ERROR: no port in DEVICE_URI \"%s\"\n", uri.c_str());
        return kBackendFailed;
    }
    std::u16string printer = Widen(Env("PRINTER", "Orbelo Live 6 Document Loader"));
    if (!BecomeJobUser(argv[2])) return kBackendFailed;
    std::string library = MonitorLibraryPath();
    std::u16string root = Widen(Env("ORB_MONITOR_KEY",
                                    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader"));

    int fd = 0;
    if (argc == 7) {
        fd = open(argv[6], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "ERROR: cannot open \"%s\": %s\n", argv[6], std::strerror(errno));
            return kBackendFailed;
        }
    }

    // The job's stream comes from the last filter through a pipe: a wider one lets the filter hand
    // over a page's megabytes with a few waits instead of dozens.
    struct stat in {};
    if (fstat(fd, &in) == 0 && S_ISFIFO(in.st_mode)) fcntl(fd, F_SETPIPE_SZ, 1 << 20);

    std::string error;
    auto monitor = MonitorLibrary::Load(library, root, error);
    if (!monitor) {
        std::fprintf(stderr, "ERROR: %s\n", error.c_str());
        return kBackendFailed;
    }

    auto& spooler = Spooler::Instance();
    spooler.AddPrinter(printer, Widen(port));
    if (!spooler.AddJob(printer, Widen(argv[2]), Widen(argv[3]), DWORD(jobId))) {
        std::fprintf(stderr, "ERROR: cannot queue job %lu\n", jobId);
        return kBackendFailed;
    }

    PrintJob job;
    job.portName = Widen(port);
    job.printerName = printer;
    job.jobId = DWORD(jobId);
    job.documentName = Widen(argv[3]);
    PrintResult r = RunPrintJob(monitor->Entries(), job, [fd](uint8_t* buf, size_t cap) -> long {
        for (;;) {
            ssize_t n = read(fd, buf, cap);
            if (n < 0 && errno == EINTR) continue;
            return long(n);
        }
    });
    if (fd > 0) close(fd);

    // Jobs the monitor did not delete would stay queued forever.
    if (spooler.DeleteJob(DWORD(jobId))) std::fprintf(stderr, "INFO: job %lu removed by the spooler\n", jobId);
    // The monitor reports a page it could not save only through its diagnostics (and a notice to
    // the client); without a page the job has not been printed.
    for (const auto& line : spooler.TakeDebugLines()) {
        if (line.rfind("page file not written", 0) == 0 || line.rfind("page path too long", 0) == 0) {
            std::fprintf(stderr, "ERROR: %s\n", line.c_str());
            if (r.ok) {
                r.ok = false;
                r.failedStep = "page save";
            }
        }
    }
    if (!r.ok) {
        std::fprintf(stderr, "ERROR: %s failed with error %u after %llu bytes\n", r.failedStep.c_str(),
                     unsigned(r.lastError), static_cast<unsigned long long>(r.bytesWritten));
        return kBackendFailed;
    }
    std::fprintf(stderr, "INFO: %llu bytes printed\n", static_cast<unsigned long long>(r.bytesWritten));
    return kBackendOk;
}
