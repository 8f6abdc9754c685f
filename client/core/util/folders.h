#pragma once
// Folder clean-up and the program's private temporary folder. Paths use "/" and folder paths end
// with one.

#include <optional>
#include <string>

namespace orb {

// Deletes the folder with everything in it (symbolic links inside are removed, never followed).
// Drops one trailing "/". Refuses (false) a relative path, the root, a folder directly under the
// root, and the home folder. False when the folder is missing or anything could not be deleted.
bool DeleteFolder(const std::string& path);

// Deletes the plain files of the folder (not subfolders, links, special files or files without
// write permission) until one deletion fails; when all succeeded, removes the folder if it is now
// empty. False when the folder is missing or a deletion failed.
bool DeleteFolderFiles(const std::string& path);

// The program's temporary folder, private to the user: $XDG_RUNTIME_DIR/orbelo-live6/ when that
// exists, else $XDG_CACHE_HOME (or ~/.cache)/orbelo-live6/tmp/. Created with mode 0700 when
// missing; nothing when it cannot be made, is a symbolic link, or belongs to someone else.
std::optional<std::string> ProgramTempFolder();

// Where downloaded recordings go: $XDG_CACHE_HOME (or ~/.cache)/orbelo-live6/recordings/, on disk
// and private (mode 0700). Nothing when it cannot be made, is a symbolic link, or belongs to
// someone else.
std::optional<std::string> ProgramCacheFolder();

// Writes "Version6.ini" in the program folder: section "ProductVersion", "Version" = "6.2" and
// "Released" = "Mar-01-2009". False on failure (callers ignore it).
bool WriteVersionFile(const std::string& programFolder);

}  // namespace orb
