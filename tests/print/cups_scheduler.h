#pragma once
// A private CUPS scheduler for tests: its own configuration, spool and state in a temporary
// folder, listening on its own socket, with a server-bin folder that holds the system's filters
// and backends beside room for ours. Started as a child process and stopped by its process id.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orbtest {

class CupsScheduler {
public:
    // Environment the scheduler hands to every filter and backend ("NAME=value").
    explicit CupsScheduler(std::vector<std::string> jobEnvironment = {});
    ~CupsScheduler();
    CupsScheduler(const CupsScheduler&) = delete;
    CupsScheduler& operator=(const CupsScheduler&) = delete;

    // Starts cupsd and waits (up to 30 s) until it answers; false with the log's end otherwise.
    bool Start(std::string& error);
    void Stop();

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path ServerBin() const { return root_ / "serverbin"; }
    std::filesystem::path Socket() const { return root_ / "cups.sock"; }
    std::string ErrorLog() const;

private:
    std::filesystem::path root_;
    std::vector<std::string> env_;
    pid_t pid_ = 0;
};

// A temporary folder that others may enter (filters run as the scheduler's own user); removed by
// the scheduler's clean-up when it is the scheduler's, else left to the caller.
std::filesystem::path MakeTempFolder();

// Runs a command with CUPS_SERVER pointing at the scheduler; exit status, output in `out`.
int RunCommand(const std::vector<std::string>& argv, std::string* out = nullptr);

}  // namespace orbtest
