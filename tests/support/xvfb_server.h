#pragma once
// A private Xvfb for a test: started on a free display number (Xvfb picks it and reports it through
// -displayfd), listening only on its local socket, stopped by its process id.

#include <sys/types.h>

#include <string>

namespace orb::test {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer() { Stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts Xvfb with one screen of the given size and depth; false with a reason on failure.
    // A server this object already runs is stopped first.
    bool Start(int width, int height, int depth, std::string* error);
    // SIGTERM, then SIGKILL when it has not ended within a few seconds.
    void Stop();

    // ":N" of the running server; empty when none runs.
    const std::string& Display() const { return display_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace orb::test
