#pragma once
// A real peer program that a test starts itself (a window manager, a sound server, an
// accessibility bus, a proxy): its own environment and folders, its output in a log file, stopped by
// its process id when the object goes, also when the test fails or dies.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace orb::test {

class TPeerProcess {
public:
    TPeerProcess() = default;
    ~TPeerProcess() { Stop(); }
    TPeerProcess(const TPeerProcess&) = delete;
    TPeerProcess& operator=(const TPeerProcess&) = delete;

    // Starts `program` (looked up on PATH) with `args`; `env` entries ("NAME=value") are added to or
    // replace the test's environment. Output goes to `log`. False with a reason when it could not
    // be started or ended at once.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::filesystem::path& log, std::string* error);
    // SIGTERM, then SIGKILL when it has not ended within a few seconds.
    void Stop();
    bool Running();
    pid_t Pid() const { return pid_; }
    const std::filesystem::path& Log() const { return log_; }

private:
    pid_t pid_ = -1;
    std::filesystem::path log_;
};

// SIGTERM to a child of the test, then SIGKILL when it has not ended within a few seconds; collects
// it. Nothing for a pid of 0 or less.
void StopChild(pid_t pid);

// Debian's openbox on the given X display, with a configuration of its own under `folder` (no
// session autostart). False with the reason when it could not take the screen.
bool StartOpenbox(TPeerProcess& wm, const std::string& display, const std::filesystem::path& folder,
                  std::string* error);

// The frame window a reparenting window manager put around `window` on `display` (the child of the
// root that holds it); 0 when the window is not framed.
unsigned long FrameOf(const std::string& display, unsigned long window);

}  // namespace orb::test
