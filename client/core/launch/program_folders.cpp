#include "launch/program_folders.h"

#include <system_error>

namespace fs = std::filesystem;

namespace orb {

TProgramFolders TProgramFolders::ForExecutable(const fs::path& executable, const fs::path& tempFolder) {
    TProgramFolders f;
    f.program = executable.parent_path();
    f.localData = f.program / "LocalData";
    f.personalities = f.program / "Personalities";
    f.userImages = f.program / "UserImages";
    f.sessions = f.program / "Sessions";
    f.temp = tempFolder;
    return f;
}

bool CreateProgramFolders(const TProgramFolders& folders) {
    bool ok = true;
    for (const auto& dir : {folders.localData, folders.temp, folders.userImages}) {
        if (dir.empty()) continue;
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) ok = false;
    }
    // The temporary folder holds received files: private to the user.
    std::error_code ec;
    if (!folders.temp.empty()) fs::permissions(folders.temp, fs::perms::owner_all, fs::perm_options::replace, ec);
    return ok;
}

fs::path ExecutablePath(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self;
    return fs::absolute(argv0 ? argv0 : "", ec);
}

}  // namespace orb
