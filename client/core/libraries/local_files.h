#pragma once
// Where received documents go, and which of them may be handed to the desktop to open. Names come
// from the server or another participant: a file lands under a cleaned base name and a short
// extension inside our own folder, and never over an existing file.

#include <filesystem>
#include <string>
#include <string_view>

namespace orb {

// ".ext" with 1..8 ASCII letters and digits, taken from an extension (".pdf", "pdf") or a whole
// file name; empty when there is none such.
std::string CleanExtension(std::string_view nameOrExtension);

// folder / <clean base name><clean extension>. The base name loses folders, control bytes, leading
// dots and characters the desktop treats specially; "file" stands in for nothing usable. When that
// name is taken, " (2)", " (3)", ... is added before the extension. Empty when no free name is found.
std::filesystem::path UniqueLocalPath(const std::filesystem::path& folder, std::string_view baseName,
                                      std::string_view extension);

// Programs and scripts, by extension or by the file's execute permission: never opened for the user.
bool IsExecutableType(const std::filesystem::path& file);

// Hands a received file to the desktop (`xdg-open`, found on the PATH), never a program or a
// script. False, with the reason in `refusal` when it was refused, when nothing could be started.
bool OpenWithDesktop(const std::filesystem::path& file, std::string* refusal = nullptr);

inline constexpr const char* kExecutableRefusedText =
    "This file is a program or a script. For your safety Orbelo Live does not open it; it was saved as:";

}  // namespace orb
