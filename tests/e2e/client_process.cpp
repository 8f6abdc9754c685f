#include "client_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace orb::test {

namespace {

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

bool TClientProcess::Start(const fs::path& program, const std::vector<std::string>& args, const std::string& display,
                           const fs::path& folder, std::string* error) {
    Stop();
    folder_ = folder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::map<std::string, std::string> own = {
        {"HOME", (folder / "home").string()},
        {"XDG_CONFIG_HOME", (folder / "config").string()},
        {"XDG_DATA_HOME", (folder / "data").string()},
        {"XDG_CACHE_HOME", (folder / "cache").string()},
        {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
        {"ORB_REGISTRY_MACHINE_DIR", (folder / "machine").string()},
        {"DISPLAY", display},
        {"QT_QPA_PLATFORM", "xcb"},
    };
    if (!sessionBus_.empty()) own["DBUS_SESSION_BUS_ADDRESS"] = sessionBus_;
    for (const auto& [name, value] : own) {
        if (name == "DISPLAY" || name == "QT_QPA_PLATFORM" || name == "DBUS_SESSION_BUS_ADDRESS") continue;
        fs::create_directories(value, ec);
        if (ec) {
            *error = "cannot make " + value + ": " + ec.message();
            return false;
        }
    }
    // The runtime folder must be private, or the client (and Qt) refuse to use it.
    ::chmod(own["XDG_RUNTIME_DIR"].c_str(), 0700);

    // The test's environment, less what would tie the client to the user's session.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (own.count(name) || name == "WAYLAND_DISPLAY" || name == "XAUTHORITY" || name == "DBUS_SESSION_BUS_ADDRESS" ||
            name == "SESSION_MANAGER")
            continue;
        env.push_back(std::move(entry));
    }
    for (const auto& [name, value] : own) env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings = {program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string out = (folder / "stdout.log").string(), err = (folder / "stderr.log").string();
    const std::string home = own["HOME"];
    // The child reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return false;
    }
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(report[0]);
        ::close(report[1]);
        *error = "fork failed";
        return false;
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on. Should the test program die without its
        // clean-up (a CTest time-out), the client goes with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int in = ::open("/dev/null", O_RDONLY);
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 ||
            ::chdir(home.c_str()) != 0) {
            int code = errno;
            (void)!::write(report[1], &code, sizeof code);
            ::_exit(127);
        }
        ::execve(argv[0], argv.data(), envp.data());
        int code = errno;
        (void)!::write(report[1], &code, sizeof code);
        ::_exit(127);
    }
    ::close(report[1]);
    int code = 0;
    ssize_t n;
    while ((n = ::read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == sizeof code) {
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        *error = "cannot start " + program.string() + ": " + std::strerror(code);
        return false;
    }
    ended_ = false;
    status_ = 0;
    return true;
}

bool TClientProcess::Running() {
    if (pid_ <= 0 || ended_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        ended_ = true;
        status_ = status;
        return false;
    }
    return true;
}

bool TClientProcess::WaitExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool TClientProcess::Stop(int graceMs) {
    if (!Running()) return true;
    ::kill(pid_, SIGTERM);
    if (WaitExit(graceMs)) return true;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    status_ = status;
    return false;
}

std::string TClientProcess::Ending() const {
    if (pid_ <= 0) return "not started";
    if (!ended_) return "running";
    if (WIFEXITED(status_)) return "exit code " + std::to_string(WEXITSTATUS(status_));
    if (WIFSIGNALED(status_)) return "signal " + std::to_string(WTERMSIG(status_));
    return "status " + std::to_string(status_);
}

std::string TClientProcess::Output() const {
    if (folder_.empty()) return {};
    return "--- stdout of " + folder_.filename().string() + "\n" + ReadFile(folder_ / "stdout.log") + "--- stderr of " +
           folder_.filename().string() + "\n" + ReadFile(folder_ / "stderr.log");
}

}  // namespace orb::test
