// OrbeloLive6: the classroom client.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
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

int main(int argc, char** argv) {
    // The web views (guided tour, welcome page) share the application's GL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
