#pragma once
// One real client program for an end-to-end test: its own home and XDG folders and registry under
// a folder of the test, a given X display, its output in files there; stopped by process id when
// the test ends, whatever happened.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orb::test {

class TClientProcess {
public:
    TClientProcess() = default;
    ~TClientProcess() { Stop(); }
    TClientProcess(const TClientProcess&) = delete;
    TClientProcess& operator=(const TClientProcess&) = delete;

    // Makes `folder` and the client's folders inside it, then starts `program` with `args` on
    // `display`. False with a reason when the program could not be started.
    bool Start(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::string& display, const std::filesystem::path& folder, std::string* error);

    pid_t Pid() const { return pid_; }
    // Still running (reaps the process once it has ended).
    bool Running();
    // Waits up to timeoutMs for the program to end by itself.
    bool WaitExit(int timeoutMs);
    // SIGTERM, then SIGKILL when it has not ended within graceMs. True when SIGTERM was enough
    // (or the program had already ended).
    bool Stop(int graceMs = 5000);
    // How the program ended: "exit code N", "signal N", or "running" / "not started".
    std::string Ending() const;
    bool Ended() const { return ended_; }
    // Raw wait status once ended.
    int Status() const { return status_; }

    // The session bus the next Start gives the program (DBUS_SESSION_BUS_ADDRESS); none given, the
    // program looks in its runtime folder, as the D-Bus library does.
    void SetSessionBus(std::string address) { sessionBus_ = std::move(address); }

    const std::filesystem::path& Folder() const { return folder_; }
    // The program's standard output and error so far, each labelled.
    std::string Output() const;

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::filesystem::path folder_;
    std::string sessionBus_;
};

}  // namespace orb::test
