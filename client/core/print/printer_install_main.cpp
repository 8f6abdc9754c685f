// orb-printer-install: installs the "Orbelo Live 6 Document Loader" printer into CUPS (as root).
//   orb-printer-install [--source DIR] [--files-root DIR] [--server-bin DIR] [--ppd-folder DIR]
//                       [--monitor-folder DIR] [--check]
// The source folder defaults to this program's own folder, which the build fills with the backend,
// the filter, the monitor library, the PPD and our polkit action (copied to polkit's actions
// folder, so the client's administrator prompt names what it asks for). --check only reports
// whether all is installed. The client runs it through pkexec when a user who is not root asks.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "print/drv_installer.h"
#include "print/presentation_files.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using namespace orb::print;
    std::error_code ec;
    fs::path source = fs::read_symlink("/proc/self/exe", ec).parent_path();
    std::string filesRoot = "/var/tmp/";
    TCupsLayout layout;
    bool checkOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--source") source = next();
        else if (a == "--files-root") filesRoot = next();
        else if (a == "--server-bin") layout.serverBin = next();
        else if (a == "--ppd-folder") layout.ppdFolder = next();
        else if (a == "--monitor-folder") layout.monitorFolder = next();
        else if (a == "--check") checkOnly = true;
        else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (!filesRoot.empty() && filesRoot.back() != '/') filesRoot += '/';
    TProcessRunner runner;
    TDrvInstaller installer(runner, layout);
    if (installer.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName)) {
        std::printf("The document printer \"%s\" is installed.\n", kPrinterName);
        return 0;
    }
    if (checkOnly) {
        std::printf("The document printer is not installed.\n");
        return 1;
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "Installing the document printer needs root: %s\n",
                     TDrvInstaller::RootInstallCommand(source).c_str());
        return 1;
    }
    installer.InstallDocumentPrinter(source, filesRoot, kPrinterName, kDriverName, kPortName, kMonitorName);
    if (!installer.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName)) {
        std::fprintf(stderr, "The document printer could not be installed: %s\n", installer.LastError().c_str());
        return 1;
    }
    // Our action for the desktop's administrator prompt, so later prompts say what they are for.
    const fs::path policy = source / kPolkitActionFile;
    if (fs::exists(policy, ec) && fs::is_directory(layout.polkitActions, ec))
        fs::copy_file(policy, layout.polkitActions / kPolkitActionFile, fs::copy_options::overwrite_existing, ec);
    std::printf("The document printer \"%s\" is installed (queue %s).\n", kPrinterName, kPrinterQueue);
    return 0;
}
