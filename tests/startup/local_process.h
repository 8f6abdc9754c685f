#pragma once
// Starts a helper program (an HTTP server, a proxy) for one test and stops it by its process id.

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace orbtest {

class LocalProcess {
public:
    // Starts argv; when readFirstLine, the child's first stdout line is returned by FirstLine().
    bool Start(const std::vector<std::string>& argv, bool readFirstLine) {
        int fds[2];
        if (readFirstLine && ::pipe(fds) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (readFirstLine) {
            posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
            posix_spawn_file_actions_addclose(&fa, fds[0]);
        }
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int rc = posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) return false;
        if (readFirstLine) {
            ::close(fds[1]);
            FILE* f = ::fdopen(fds[0], "r");
            char buf[256] = {};
            if (f && std::fgets(buf, sizeof buf, f)) line_ = buf;
            if (f) std::fclose(f);
            while (!line_.empty() && (line_.back() == '\n' || line_.back() == '\r')) line_.pop_back();
        }
        return true;
    }
    const std::string& FirstLine() const { return line_; }
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int st = 0;
            ::waitpid(pid_, &st, 0);
            pid_ = -1;
        }
    }
    ~LocalProcess() { Stop(); }

private:
    pid_t pid_ = -1;
    std::string line_;
};

// A loopback port that was free a moment ago (for helpers that cannot report the port they bound).
inline int FreeLoopbackPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// tinyproxy on a free loopback port, without authentication, its configuration in `folder`; the
// port, 0 when it could not be started. It needs a moment before it listens.
inline int StartTinyproxy(LocalProcess& proxy, const std::filesystem::path& folder) {
    const int port = FreeLoopbackPort();
    const auto conf = folder / "tinyproxy.conf";
    std::ofstream(conf) << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                        << "LogLevel Critical\nMaxClients 10\n";
    return proxy.Start({"tinyproxy", "-d", "-c", conf.string()}, false) ? port : 0;
}

}  // namespace orbtest
