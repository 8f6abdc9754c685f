#include "support/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/peer_process.h"

namespace orb::test {

bool XvfbServer::Start(int width, int height, int depth, std::string* error) {
    Stop();
    int fds[2];
    // Close-on-exec, so that other programs the test starts do not keep the pipe open; the child
    // clears the flag on the end Xvfb writes to.
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    const std::string fd = std::to_string(fds[1]);
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        *error = "fork failed";
        return false;
    }
    if (pid_ == 0) {
        // Should the test program die without its clean-up (a CTest time-out), Xvfb goes with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        fcntl(fds[1], F_SETFD, 0);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
        char c;
        if (read(fds[0], &c, 1) != 1) break;
        number += c;
    }
    close(fds[0]);
    if (number.empty() || number.back() != '\n') {
        *error = "Xvfb did not report a display (is it installed?)";
        Stop();
        return false;
    }
    number.pop_back();
    display_ = ":" + number;
    return true;
}

void XvfbServer::Stop() {
    StopChild(pid_);
    pid_ = -1;
    display_.clear();
}

}  // namespace orb::test
