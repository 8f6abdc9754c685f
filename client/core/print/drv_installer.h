#pragma once
// The document printer over CUPS: our backend ("pagorix", which loads the print monitor and runs
// it as the job's user), our filter with its PPD (CUPS raster pages to the monitor's printer
// stream), the monitor's per-machine key (FilesRoot, PortName) and the queue itself, added with
// lpadmin. Every command goes to the scheduler CUPS_SERVER names (the system's by default); the
// destination is always named, so the user's default printer is never touched.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace orb::print {

// Runs a program (argv[0] is looked up in PATH) and returns its exit status (-1 when it could not
// run); its standard output goes to `output` when given.
class ICommandRunner {
public:
    virtual ~ICommandRunner() = default;
    virtual int Run(const std::vector<std::string>& argv, std::string* output) = 0;
};

// fork/exec with a time-out; standard error is passed through, or joins the output when
// `withErrors` is set (a program that says why it stopped only there).
class TProcessRunner final : public ICommandRunner {
public:
    explicit TProcessRunner(std::chrono::milliseconds timeout = std::chrono::seconds(120), bool withErrors = false)
        : timeout_(timeout), withErrors_(withErrors) {}
    int Run(const std::vector<std::string>& argv, std::string* output) override;

private:
    std::chrono::milliseconds timeout_;
    bool withErrors_;
};

// Where CUPS and we keep things. Defaults are Debian's.
struct TCupsLayout {
    std::filesystem::path serverBin = "/usr/lib/cups";          // backend/ and filter/ below it
    std::filesystem::path ppdFolder = "/usr/share/ppd/orbelo";  // our PPD
    std::filesystem::path monitorFolder = "/usr/lib/orbelo-live6";  // libpagorix.so
    // Where polkit reads the actions of the administrator prompt.
    std::filesystem::path polkitActions = "/usr/share/polkit-1/actions";
    // Commands that stop and start the scheduler; empty: the scheduler is left alone.
    std::vector<std::string> stopScheduler;
    std::vector<std::string> startScheduler;
};

// Files the program's own folder holds (the source folder of an install).
inline constexpr const char* kMonitorLibraryFile = "libpagorix.so";
inline constexpr const char* kSpoolerLayerFile = "liborb_spooler.so";
inline constexpr const char* kBackendFile = "orb-spool";
inline constexpr const char* kBackendName = "pagorix";
inline constexpr const char* kFilterFile = "orb-rastertopagorix";
inline constexpr const char* kPdfFilterFile = "orb-pdftopagorix";
inline constexpr const char* kPpdFile = "OrbeloLive6DocDriver.ppd";

class TDrvInstaller {
public:
    TDrvInstaller(ICommandRunner& runner, TCupsLayout layout = {});

    std::chrono::milliseconds waitTime{5000};
    std::function<void(std::chrono::milliseconds)> sleep;  // std::this_thread::sleep_for when unset

    // Monitor: the backend (mode 0700, so CUPS runs it as root and it can become the job's user)
    // and the monitor library. False, doing nothing, when the backend is already there.
    bool InstallMonitor(const std::string& monitorName, const std::filesystem::path& sourceFolder, bool overwrite);
    // Port: the monitor's per-machine key with FilesRoot and PortName, written with the scheduler
    // stopped when it ran (and started again whatever happened). False when the port exists.
    bool InstallPort(const std::string& portName, const std::string& exportFolder);
    // Driver: the PPD and the filter. False when the PPD is already there.
    bool InstallDriver(const std::string& driverName, const std::filesystem::path& sourceFolder);
    // The queue, through lpadmin, enabled and accepting, aborting (not stopping) on a failed job.
    bool InstallPrinter(const std::string& printerName, const std::string& portName, const std::string& driverName);
    bool InstallDocumentPrinter(const std::filesystem::path& sourceFolder, const std::string& exportFolder,
                                const std::string& printerName, const std::string& driverName,
                                const std::string& portName, const std::string& monitorName);

    bool IsMonitorInstalled(const std::string& monitorName) const;
    bool IsPortInstalled(const std::string& portName) const;
    bool IsDriverInstalled(const std::string& driverName) const;
    bool IsPrinterInstalled(const std::string& printerName);
    // Stops at the first missing item.
    bool IsDocumentPrinterInstalled(const std::string& monitorName, const std::string& portName,
                                    const std::string& printerName, const std::string& driverName);

    bool SpoolerRunning();
    bool StopSpooler();
    bool StartSpooler();

    // Why the last install step failed (for the message and the log); empty after success.
    const std::string& LastError() const { return error_; }

    // The one command a user runs as root to install the printer (printed when we are not root).
    static std::string RootInstallCommand(const std::filesystem::path& programFolder);

    // The queue name CUPS uses for a printer description ("Orbelo Live 6 Document Loader" ->
    // "OrbeloLive6DocLoader" is ours; any other name loses its spaces and other non-name bytes).
    static std::string QueueName(const std::string& printerName);

    std::filesystem::path BackendPath() const { return layout_.serverBin / "backend" / kBackendName; }
    std::filesystem::path FilterPath() const { return layout_.serverBin / "filter" / kFilterFile; }
    std::filesystem::path PdfFilterPath() const { return layout_.serverBin / "filter" / kPdfFilterFile; }
    std::filesystem::path PpdPath(const std::string& driverName) const;

private:
    bool Fail(std::string why);
    void Sleep(std::chrono::milliseconds d);

    ICommandRunner& runner_;
    TCupsLayout layout_;
    std::string error_;
};

// Installing the printer through the desktop's administrator prompt (pkexec runs our installer as
// root; our polkit action names what is asked for). What came of it, and the plain words for the
// user, ending with the command to run by hand when it did not happen. The runner's output should
// carry pkexec's standard error: only its words tell a prompt that was refused from one that this
// desktop could not show (no polkit daemon or agent), both ending in the same exit statuses.
enum class TAdminInstall { installed, refused, unavailable, failed };
inline constexpr const char* kPolkitActionFile = "org.orbelo.live6.printer-install.policy";
TAdminInstall InstallThroughAdminPrompt(ICommandRunner& runner, const std::filesystem::path& programFolder,
                                        std::string& why);
// True when pkexec is on the PATH.
bool AdminPromptAvailable();

// The registry key of the monitor's per-machine settings.
std::string MonitorKeyPath(const std::string& monitorName);

}  // namespace orb::print
