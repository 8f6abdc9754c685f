#include "support/peer_process.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace orb::test {

bool TPeerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::filesystem::path& log,
                         std::string* error) {
    Stop();
    log_ = log;
    // Built before fork: the child only calls async-signal-safe functions.
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& x : env) replaced = replaced || x.substr(0, x.find('=')) == name;
        if (!replaced) envs.push_back(std::move(entry));
    }
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> envp, argv;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ < 0) {
        if (out >= 0) close(out);
        *error = "fork failed";
        return false;
    }
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // gone with the test, even after a CTest time-out
        setpgid(0, 0);
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (out >= 0) close(out);
    // A program that is missing or refuses its configuration ends at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!Running()) {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        *error = program + " ended at once (is it installed?): " + text;
        return false;
    }
    return true;
}

bool TPeerProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void StopChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TPeerProcess::Stop() {
    StopChild(pid_);
    pid_ = -1;
}

namespace {

bool ManagerOwnsScreen(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return false;
    const Atom sel = XInternAtom(d, ("WM_S" + std::to_string(DefaultScreen(d))).c_str(), False);
    const bool owned = XGetSelectionOwner(d, sel) != None;
    XCloseDisplay(d);
    return owned;
}

}  // namespace

bool StartOpenbox(TPeerProcess& wm, const std::string& display, const std::filesystem::path& folder,
                  std::string* error) {
    std::filesystem::create_directories(folder / "config/openbox");
    // An empty autostart and Debian's own rc.xml: the manager alone, no session programs.
    std::ofstream(folder / "config/openbox/autostart").put('\n');
    const std::vector<std::string> env{"DISPLAY=" + display, "XDG_CONFIG_HOME=" + (folder / "config").string(),
                                       "HOME=" + folder.string()};
    if (!wm.Start("openbox", {"--sm-disable"}, env, folder / "openbox.log", error)) return false;
    // Ready once it holds the window-manager selection of the screen.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ManagerOwnsScreen(display)) {
        if (!wm.Running() || std::chrono::steady_clock::now() > deadline) {
            *error = "openbox did not take the screen " + display;
            wm.Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

unsigned long FrameOf(const std::string& display, unsigned long window) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return 0;
    Window w = window, frame = 0;
    for (;;) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &n)) break;
        if (children) XFree(children);
        if (parent == root || parent == 0) {
            frame = (w == window) ? 0 : w;
            break;
        }
        w = parent;
    }
    XCloseDisplay(d);
    return frame;
}

}  // namespace orb::test
