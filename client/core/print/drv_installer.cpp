#include "print/drv_installer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cerrno>
#include <sstream>
#include <thread>

#include "registry/registry.h"

namespace orb::print {

namespace fs = std::filesystem;

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// Copies through a temporary name in the target folder and gives the result its mode.
bool CopyReplacing(const fs::path& from, const fs::path& to, fs::perms mode) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    const fs::path tmp = to.string() + ".new";
    fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
    if (ec) return false;
    fs::permissions(tmp, mode, ec);
    if (!ec) fs::rename(tmp, to, ec);
    if (ec) fs::remove(tmp, ec);
    return !ec;
}

constexpr fs::perms kExec = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec;
constexpr fs::perms kData = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read;

}  // namespace

int TProcessRunner::Run(const std::vector<std::string>& argv, std::string* output) {
    if (argv.empty()) return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        if (withErrors_) dup2(fds[1], STDERR_FILENO);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char buf[4096];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (out.size() < (16u << 20)) out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) *output = std::move(out);
    if (timedOut || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string MonitorKeyPath(const std::string& monitorName) {
    return "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + monitorName;
}

TDrvInstaller::TDrvInstaller(ICommandRunner& runner, TCupsLayout layout) : runner_(runner), layout_(std::move(layout)) {}

bool TDrvInstaller::Fail(std::string why) {
    error_ = std::move(why);
    if (geteuid() != 0) error_ += " (installing the document printer needs root)";
    return false;
}

void TDrvInstaller::Sleep(std::chrono::milliseconds d) {
    if (sleep)
        sleep(d);
    else
        std::this_thread::sleep_for(d);
}

fs::path TDrvInstaller::PpdPath(const std::string& driverName) const {
    return layout_.ppdFolder / (driverName + ".ppd");
}

std::string TDrvInstaller::QueueName(const std::string& printerName) {
    if (printerName == "Orbelo Live 6 Document Loader") return "OrbeloLive6DocLoader";
    std::string q;
    for (char c : printerName)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.') q += c;
    return q.substr(0, 127);
}

bool AdminPromptAvailable() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path && *path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / "pkexec").c_str(), X_OK) == 0) return true;
    return false;
}

namespace {

// pkexec's first line that names why it did not run the program, cut to a readable length.
std::string PkexecReason(const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find("Error") != std::string::npos || line.find("pkexec") != std::string::npos)
            return line.substr(0, 200);
    }
    return {};
}

}  // namespace

TAdminInstall InstallThroughAdminPrompt(ICommandRunner& runner, const fs::path& programFolder, std::string& why) {
    const std::string byHand = "\r\nTo install it, run this once as root:\r\n" + TDrvInstaller::RootInstallCommand(programFolder);
    if (!AdminPromptAvailable()) {
        why = "This desktop has no administrator prompt (pkexec, from the Debian packages pkexec and polkitd)." + byHand;
        return TAdminInstall::unavailable;
    }
    std::string output;
    const int rc = runner.Run({"pkexec", (programFolder / "orb-printer-install").string()}, &output);
    if (rc == 0) {
        why.clear();
        return TAdminInstall::installed;
    }
    // pkexec ends with 126 or 127 both when a person said no and when no prompt could be shown
    // (no polkit daemon on the system bus, no authentication agent in the session); its message
    // tells which.
    if (rc == 126 || rc == 127) {
        const auto says = [&](const char* words) { return output.find(words) != std::string::npos; };
        const bool answered = says("dismissed") || says("Not authorized");
        const bool noPrompt = says("No authentication agent") || says("Error getting authority") ||
                              says("Error checking for authorization") || says("must be setuid root");
        // 126 alone is pkexec's own word for a dismissed prompt.
        if (!noPrompt && (answered || rc == 126)) {
            why = "The administrator prompt was refused or cancelled, so the document printer was not installed." + byHand;
            return TAdminInstall::refused;
        }
        const std::string reason = PkexecReason(output);
        why = "This desktop has no administrator prompt (no polkit authentication agent or polkit daemon answered" +
              (reason.empty() ? std::string() : ": " + reason) + "), so the document printer was not installed." + byHand;
        return TAdminInstall::unavailable;
    }
    why = "The installer could not install the document printer (exit status " + std::to_string(rc) + ")." + byHand;
    return TAdminInstall::failed;
}

std::string TDrvInstaller::RootInstallCommand(const fs::path& programFolder) {
    return "sudo " + (programFolder / "orb-printer-install").string();
}

bool TDrvInstaller::IsMonitorInstalled(const std::string&) const {
    return Exists(BackendPath()) && Exists(layout_.monitorFolder / kMonitorLibraryFile);
}

bool TDrvInstaller::IsPortInstalled(const std::string& portName) const {
    auto key = orb::reg::Registry::Default().Open(orb::reg::Root::LocalMachine, MonitorKeyPath(portName));
    if (!key) return false;
    auto name = key.ReadString("PortName");
    return name && SameText(*name, portName) && key.ReadString("FilesRoot").has_value();
}

bool TDrvInstaller::IsDriverInstalled(const std::string& driverName) const {
    return Exists(PpdPath(driverName)) && Exists(FilterPath()) && Exists(PdfFilterPath());
}

bool TDrvInstaller::IsPrinterInstalled(const std::string& printerName) {
    std::string out;
    if (runner_.Run({"lpstat", "-v"}, &out) != 0) return false;
    const std::string queue = QueueName(printerName);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        // "device for QUEUE: URI"
        const std::string lead = "device for ";
        if (line.compare(0, lead.size(), lead) != 0) continue;
        auto colon = line.find(':', lead.size());
        if (colon != std::string::npos && SameText(line.substr(lead.size(), colon - lead.size()), queue)) return true;
    }
    return false;
}

bool TDrvInstaller::IsDocumentPrinterInstalled(const std::string& monitorName, const std::string& portName,
                                               const std::string& printerName, const std::string& driverName) {
    return IsMonitorInstalled(monitorName) && IsPortInstalled(portName) && IsDriverInstalled(driverName) &&
           IsPrinterInstalled(printerName);
}

bool TDrvInstaller::InstallMonitor(const std::string& monitorName, const fs::path& sourceFolder, bool overwrite) {
    if (IsMonitorInstalled(monitorName)) return false;
    const fs::path lib = sourceFolder / kMonitorLibraryFile;
    const fs::path backend = sourceFolder / kBackendFile;
    if (!Exists(lib) || !Exists(backend))
        return Fail("the monitor library or the backend is missing in " + sourceFolder.string());
    const fs::path libTarget = layout_.monitorFolder / kMonitorLibraryFile;
    if ((overwrite || !Exists(libTarget)) && !CopyReplacing(lib, libTarget, kData))
        return Fail("cannot copy the monitor library to " + libTarget.string());
    // The spooler layer the backend and the monitor share.
    const fs::path layer = sourceFolder / kSpoolerLayerFile;
    if (Exists(layer) && !CopyReplacing(layer, layout_.monitorFolder / kSpoolerLayerFile, kData))
        return Fail("cannot copy the spooler layer to " + layout_.monitorFolder.string());
    // 0700: CUPS runs such a backend as root, which lets it become the job's own user.
    if (!CopyReplacing(backend, BackendPath(), fs::perms::owner_all))
        return Fail("cannot copy the backend to " + BackendPath().string());
    error_.clear();
    return true;
}

bool TDrvInstaller::InstallPort(const std::string& portName, const std::string& exportFolder) {
    if (IsPortInstalled(portName)) return false;
    const bool wasRunning = SpoolerRunning();
    if (wasRunning) StopSpooler();
    bool ok = false;
    {
        auto& reg = orb::reg::Registry::Default();
        auto key = reg.Create(orb::reg::Root::LocalMachine, MonitorKeyPath(portName));
        ok = key && key.WriteString("FilesRoot", exportFolder) && key.WriteString("PortName", portName);
    }
    if (wasRunning) StartSpooler();
    if (!ok) return Fail("cannot write the port's settings into " + MonitorKeyPath(portName));
    error_.clear();
    return true;
}

bool TDrvInstaller::InstallDriver(const std::string& driverName, const fs::path& sourceFolder) {
    if (IsDriverInstalled(driverName)) return false;
    const fs::path ppd = sourceFolder / kPpdFile;
    const fs::path filter = sourceFolder / kFilterFile, pdfFilter = sourceFolder / kPdfFilterFile;
    if (!Exists(ppd) || !Exists(filter) || !Exists(pdfFilter))
        return Fail("the PPD or a filter is missing in " + sourceFolder.string());
    if (!CopyReplacing(filter, FilterPath(), kExec)) return Fail("cannot copy the filter to " + FilterPath().string());
    if (!CopyReplacing(pdfFilter, PdfFilterPath(), kExec))
        return Fail("cannot copy the filter to " + PdfFilterPath().string());
    if (!CopyReplacing(ppd, PpdPath(driverName), kData))
        return Fail("cannot copy the PPD to " + PpdPath(driverName).string());
    error_.clear();
    return true;
}

bool TDrvInstaller::InstallPrinter(const std::string& printerName, const std::string& portName,
                                   const std::string& driverName) {
    if (IsPrinterInstalled(printerName)) return false;
    std::string out;
    int rc = runner_.Run({"lpadmin", "-p", QueueName(printerName), "-D", printerName, "-v",
                          std::string(kBackendName) + ":/" + portName, "-P", PpdPath(driverName).string(), "-o",
                          "printer-error-policy=abort-job", "-E"},
                         &out);
    if (rc != 0) return Fail("lpadmin failed with status " + std::to_string(rc));
    error_.clear();
    return true;
}

bool TDrvInstaller::InstallDocumentPrinter(const fs::path& sourceFolder, const std::string& exportFolder,
                                           const std::string& printerName, const std::string& driverName,
                                           const std::string& portName, const std::string& monitorName) {
    // Each step reports false also when its item was there already; the first real failure is
    // the one worth telling.
    std::string firstError;
    auto keep = [&](bool) {
        if (firstError.empty()) firstError = error_;
    };
    error_.clear();
    keep(InstallMonitor(monitorName, sourceFolder, true));
    keep(InstallPort(portName, exportFolder));
    keep(InstallDriver(driverName, sourceFolder));
    const bool ok = InstallPrinter(printerName, portName, driverName);
    if (!ok && firstError.empty()) firstError = error_;
    error_ = ok ? std::string() : firstError;
    return ok;
}

bool TDrvInstaller::SpoolerRunning() {
    std::string out;
    return runner_.Run({"lpstat", "-r"}, &out) == 0 && out.find("scheduler is running") != std::string::npos &&
           out.find("not running") == std::string::npos;
}

bool TDrvInstaller::StopSpooler() {
    if (layout_.stopScheduler.empty()) return !SpoolerRunning();
    runner_.Run(layout_.stopScheduler, nullptr);
    if (!SpoolerRunning()) return true;
    Sleep(waitTime);
    return !SpoolerRunning();
}

bool TDrvInstaller::StartSpooler() {
    if (layout_.startScheduler.empty()) return SpoolerRunning();
    runner_.Run(layout_.startScheduler, nullptr);
    if (SpoolerRunning()) return true;
    Sleep(waitTime);
    return SpoolerRunning();
}

}  // namespace orb::print
