#include "cups_scheduler.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "print/drv_installer.h"

namespace orbtest {

namespace fs = std::filesystem;

CupsScheduler::CupsScheduler(std::vector<std::string> jobEnvironment) : env_(std::move(jobEnvironment)) {
    char t[] = "/tmp/orb-cups-XXXXXX";
    root_ = mkdtemp(t);
    // Filters run as the scheduler's unprivileged user: they must reach their files.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

CupsScheduler::~CupsScheduler() {
    Stop();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path MakeTempFolder() {
    char t[] = "/tmp/orb-print-XXXXXX";
    fs::path p = mkdtemp(t);
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                           fs::perms::others_exec);
    return p;
}

int RunCommand(const std::vector<std::string>& argv, std::string* out) {
    orb::print::TProcessRunner runner(std::chrono::seconds(60));
    return runner.Run(argv, out);
}

std::string CupsScheduler::ErrorLog() const {
    std::ifstream in(root_ / "log" / "error_log");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.size() > 6000 ? all.substr(all.size() - 6000) : all;
}

bool CupsScheduler::Start(std::string& error) {
    const fs::path etc = root_ / "etc";
    for (const char* d : {"etc", "etc/ppd", "spool", "cache", "state", "log", "serverbin"}) fs::create_directories(root_ / d);
    fs::create_directories(root_ / "tmp");
    fs::permissions(root_ / "tmp", fs::perms::all | fs::perms::sticky_bit);
    // The system's programs by link; backend/ and filter/ are our own folders so ours can be added.
    for (const char* sub : {"backend", "filter", "daemon", "notifier", "driver"}) {
        const fs::path from = fs::path("/usr/lib/cups") / sub;
        const fs::path to = ServerBin() / sub;
        fs::create_directories(to);
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(from, ec)) fs::create_symlink(e.path(), to / e.path().filename(), ec);
    }
    std::ofstream(etc / "cups-files.conf") << "ServerBin " << ServerBin().string() << "\n"
                                           << "ServerRoot " << etc.string() << "\n"
                                           << "RequestRoot " << (root_ / "spool").string() << "\n"
                                           << "TempDir " << (root_ / "tmp").string() << "\n"
                                           << "CacheDir " << (root_ / "cache").string() << "\n"
                                           << "StateDir " << (root_ / "state").string() << "\n"
                                           << "ErrorLog " << (root_ / "log" / "error_log").string() << "\n"
                                           << "AccessLog " << (root_ / "log" / "access_log").string() << "\n"
                                           << "PageLog " << (root_ / "log" / "page_log").string() << "\n"
                                           << "Printcap " << (root_ / "printcap").string() << "\n"
                                           << "User lp\nGroup lp\nSystemGroup root\n";
    {
        // The environment of filters and backends is set where the files are configured.
        std::ofstream files(etc / "cups-files.conf", std::ios::app);
        for (const auto& e : env_) {
            const auto eq = e.find('=');
            files << "SetEnv " << e.substr(0, eq) << " " << e.substr(eq + 1) << "\n";
        }
    }
    std::ofstream conf(etc / "cupsd.conf");
    conf << "Listen " << Socket().string() << "\n"
         << "LogLevel debug\nBrowsing Off\nWebInterface No\nDefaultAuthType None\nMaxJobs 50\n"
         << "PreserveJobFiles No\nPreserveJobHistory Yes\n";
    conf << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    conf.close();

    pid_ = fork();
    if (pid_ == 0) {
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (etc / "cupsd.conf").c_str(), "-s",
              (etc / "cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) {
        error = "fork failed";
        return false;
    }
    setenv("CUPS_SERVER", Socket().c_str(), 1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        std::string out;
        if (fs::exists(Socket()) && RunCommand({"lpstat", "-r"}, &out) == 0 &&
            out.find("scheduler is running") != std::string::npos)
            return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = 0;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // polling for readiness only
    }
    error = "cupsd did not come up:\n" + ErrorLog();
    return false;
}

void CupsScheduler::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = 0;
}

}  // namespace orbtest
