#include "util/folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace orb {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    struct passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_dir : "";
}

bool SafeToDelete(const fs::path& p) {
    if (!p.is_absolute()) return false;
    fs::path n = p.lexically_normal();
    if (n.filename().empty()) n = n.parent_path();
    size_t depth = 0;
    for (const auto& part : n.relative_path()) {
        if (part == "..") return false;
        ++depth;
    }
    if (depth < 2) return false;
    std::string home = HomeFolder();
    if (!home.empty() && fs::path(home).lexically_normal() == n) return false;
    return true;
}

// A folder of ours: made with 0700 when missing; refused when it is a link or someone else's.
bool PrivateFolder(const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0077) != 0 && ::chmod(p.c_str(), 0700) != 0) return false;
    return true;
}

}  // namespace

bool DeleteFolder(const std::string& path) {
    try {
        std::string p = path;
        if (!p.empty() && p.back() == '/') p.pop_back();
        if (!SafeToDelete(p)) return false;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) return false;
        std::error_code ec;
        if (S_ISLNK(st.st_mode)) return fs::remove(p, ec) && !ec;  // the link, not what it names
        if (!S_ISDIR(st.st_mode)) return false;
        fs::remove_all(p, ec);
        return !ec;
    } catch (...) {
        return false;
    }
}

bool DeleteFolderFiles(const std::string& path) {
    std::error_code ec;
    fs::path dir(path);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    for (const auto& entry : it) {
        struct stat es {};
        if (::lstat(entry.path().c_str(), &es) != 0) continue;
        if (!S_ISREG(es.st_mode) || (es.st_mode & S_IWUSR) == 0) continue;
        if (::unlink(entry.path().c_str()) != 0) return false;
    }
    ::rmdir(dir.c_str());  // only goes when nothing was left behind
    return true;
}

std::optional<std::string> ProgramTempFolder() {
    std::vector<fs::path> candidates;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/') {
        struct stat st {};
        if (::stat(run, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
            candidates.push_back(fs::path(run) / "orbelo-live6");
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    fs::path cacheDir = (cache && *cache == '/') ? fs::path(cache) : fs::path(HomeFolder()) / ".cache";
    if (cacheDir.is_absolute()) candidates.push_back(cacheDir / "orbelo-live6" / "tmp");
    for (const auto& c : candidates)
        if (PrivateFolder(c)) return c.string() + "/";
    return std::nullopt;
}

std::optional<std::string> ProgramCacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const fs::path cacheDir = (cache && *cache == '/') ? fs::path(cache) : fs::path(HomeFolder()) / ".cache";
    if (!cacheDir.is_absolute()) return std::nullopt;
    const fs::path folder = cacheDir / "orbelo-live6" / "recordings";
    if (!PrivateFolder(folder)) return std::nullopt;
    return folder.string() + "/";
}

bool WriteVersionFile(const std::string& programFolder) {
    fs::path file = fs::path(programFolder) / "Version6.ini";
    fs::path tmp = file.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << "[ProductVersion]\nVersion=6.2\nReleased=Mar-01-2009\n";
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, file, ec);
    if (!ec) return true;
    fs::remove(tmp, ec);
    return false;
}

}  // namespace orb
