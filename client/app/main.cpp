// OrbeloLive6: the classroom client.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "launch/program_folders.h"
#include "program.h"

namespace {

int gSignalFds[2] = {-1, -1};

void OnTerminate(int) {
    char c = 1;
    // Only async-signal-safe work here: the main loop reads the byte and shuts down in order.
    [[maybe_unused]] ssize_t n = ::write(gSignalFds[0], &c, 1);
}

}  // namespace

// Without Chromium's sandbox (turned off where the program runs as root) its zygote helper serves
// no purpose, and it creates a "locales" folder beside the helper, inside the system's Qt
// installation. The web views then start their helpers directly.
static void KeepWebHelpersOutOfTheSystemFolders() {
    const char* noSandbox = std::getenv("QTWEBENGINE_DISABLE_SANDBOX");
    std::string flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") ? std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") : "";
    const bool sandboxOff = (noSandbox && std::string(noSandbox) != "0" && *noSandbox) ||
                            flags.find("--no-sandbox") != std::string::npos;
    if (!sandboxOff || flags.find("--no-zygote") != std::string::npos) return;
    flags += flags.empty() ? "--no-zygote" : " --no-zygote";
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

int main(int argc, char** argv) {
    KeepWebHelpersOutOfTheSystemFolders();
    // No GL context at start: the web views' shared context (and the GL driver it loads) is made
    // when the web engine is loaded, with the first page shown.
    QApplication app(argc, argv);
    // SIGTERM and SIGINT end the run the way closing the window does: settings saved, session left.
    std::unique_ptr<QSocketNotifier> terminate;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFds) == 0) {
        terminate = std::make_unique<QSocketNotifier>(gSignalFds[1], QSocketNotifier::Read);
        QObject::connect(terminate.get(), &QSocketNotifier::activated, [] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(gSignalFds[1], &c, 1);
            QCoreApplication::exit(0);
        });
        struct sigaction sa = {};
        sa.sa_handler = OnTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }
    orb::TProgramOptions options;
    options.executable = orb::ExecutablePath(argv[0]);
    for (int i = 1; i < argc; ++i) options.args.emplace_back(argv[i]);
    orb::TProgram program(std::move(options));
    program.CreateForms();
    return program.Run();
}
