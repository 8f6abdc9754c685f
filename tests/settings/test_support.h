#pragma once
// Helpers of the settings and shared-routine tests: temporary folders, environment overrides and a
// loopback HTTP server of our own (python3's http.server on a free port).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace orb::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orbset-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        // Make read-only entries removable again.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_symlink()) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                                                std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets (or, with nullptr, removes) an environment variable for the object's lifetime.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// A port on 127.0.0.1 that nothing listens on (taken and released at once).
inline int UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Serves a folder over HTTP on 127.0.0.1 until destroyed.
class HttpServer {
public:
    explicit HttpServer(const std::filesystem::path& root) {
        portFile_ = root.parent_path() / "http-port";
        static const char* script =
            "import http.server, os, sys\n"
            "os.chdir(sys.argv[1])\n"
            "class H(http.server.SimpleHTTPRequestHandler):\n"
            "    def log_message(self, *a): pass\n"
            "s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), H)\n"
            "open(sys.argv[2] + '.tmp', 'w').write(str(s.server_address[1]))\n"
            "os.rename(sys.argv[2] + '.tmp', sys.argv[2])\n"
            "s.serve_forever()\n";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("python3", "python3", "-c", script, root.c_str(), portFile_.c_str(), (char*)nullptr);
            ::_exit(127);
        }
        // Wait for the server to say its port (it starts in well under a second).
        for (int i = 0; i < 500 && port_ <= 0; ++i) {
            std::string text = ReadFile(portFile_);
            if (!text.empty()) port_ = std::atoi(text.c_str());
            else std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~HttpServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::filesystem::path portFile_;
};

}  // namespace orb::test
