#include "launch/program_folders.h"

#include <unistd.h>

#include <system_error>

namespace fs = std::filesystem;

namespace orb {

TProgramFolders TProgramFolders::ForExecutable(const fs::path& executable, const fs::path& tempRoot) {
    TProgramFolders f;
    f.program = executable.parent_path();
    f.localData = f.program / "LocalData";
    f.personalities = f.program / "Personalities";
    f.userImages = f.program / "UserImages";
    f.sessions = f.program / "Sessions";
    std::error_code ec;
    fs::path root = tempRoot.empty() ? fs::temp_directory_path(ec) : tempRoot;
    if (root.empty()) root = "/tmp";
    f.temp = root / ("OrbeloTemp-" + std::to_string(::getuid()));
    return f;
}

bool CreateProgramFolders(const TProgramFolders& folders) {
    bool ok = true;
    for (const auto& dir : {folders.localData, folders.temp, folders.userImages}) {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) ok = false;
    }
    // The temporary folder holds received files: private to the user.
    std::error_code ec;
    fs::permissions(folders.temp, fs::perms::owner_all, fs::perm_options::replace, ec);
    return ok;
}

bool EmptyFolder(const fs::path& folder) {
    std::error_code ec;
    // remove_all removes symbolic links themselves, not what they point to.
    fs::remove_all(folder, ec);
    if (ec) return false;
    fs::create_directories(folder, ec);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return true;
}

fs::path ExecutablePath(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self;
    return fs::absolute(argv0 ? argv0 : "", ec);
}

}  // namespace orb
