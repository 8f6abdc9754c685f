#pragma once
// The program's folders: the folder of the executable, the data folders under it, and the user's
// private temporary folder that is emptied at every shut-down.

#include <filesystem>
#include <string>

namespace orb {

struct TProgramFolders {
    std::filesystem::path program;       // folder of the executable
    std::filesystem::path localData;     // program/LocalData
    std::filesystem::path personalities; // program/Personalities
    std::filesystem::path userImages;    // program/UserImages
    std::filesystem::path sessions;      // program/Sessions (default folder of recordings)
    std::filesystem::path temp;          // the user's private temporary folder (empty: none)

    static TProgramFolders ForExecutable(const std::filesystem::path& executable,
                                         const std::filesystem::path& tempFolder);
};

// Creates LocalData, UserImages and the temporary folder when missing; failures are ignored
// (a read-only program folder must not stop the client). Returns false when one failed.
bool CreateProgramFolders(const TProgramFolders& folders);

// The running executable's full path (/proc/self/exe), or argv0 made absolute.
std::filesystem::path ExecutablePath(const char* argv0);

}  // namespace orb
