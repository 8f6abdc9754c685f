#pragma once
// The program's folders: the folder of the executable and the data folders under it, and the
// temporary folder that is emptied at every shut-down.

#include <filesystem>
#include <string>

namespace orb {

struct TProgramFolders {
    std::filesystem::path program;       // folder of the executable
    std::filesystem::path localData;     // program/LocalData
    std::filesystem::path personalities; // program/Personalities
    std::filesystem::path userImages;    // program/UserImages
    std::filesystem::path sessions;      // program/Sessions (default folder of recordings)
    std::filesystem::path temp;          // <system temporary folder>/OrbeloTemp-<uid>

    // `tempRoot` empty: the system's temporary folder. The temporary folder carries the user id
    // because, unlike a drive root, the system's temporary folder is shared by every user.
    static TProgramFolders ForExecutable(const std::filesystem::path& executable,
                                         const std::filesystem::path& tempRoot = {});
};

// Creates LocalData, UserImages and the temporary folder when missing; failures are ignored
// (a read-only program folder must not stop the client). Returns false when one failed.
bool CreateProgramFolders(const TProgramFolders& folders);

// Deletes the folder with its contents and, when that worked, creates it again empty. Links inside
// are removed, never followed. Returns false when the folder could not be deleted.
bool EmptyFolder(const std::filesystem::path& folder);

// The running executable's full path (/proc/self/exe), or argv0 made absolute.
std::filesystem::path ExecutablePath(const char* argv0);

}  // namespace orb
