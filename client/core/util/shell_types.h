#pragma once
// File types and URL protocols of the client in the shell.
//
// The class keys are kept in our registry under HKEY_CLASSES_ROOT (as the rest of the client reads
// them), and the desktop learns of them through the freedesktop files under the user's data folder
// ($XDG_DATA_HOME or ~/.local/share): applications/orbelo-live6.desktop with a MimeType line that
// names the recording's MIME type and one x-scheme-handler/ entry per URL protocol,
// mime/packages/orbelo-live6-<ext>.xml for the MIME type, and defaults in
// $XDG_CONFIG_HOME/mimeapps.list.

#include <string>
#include <string_view>

namespace orb {

// The program path of the extension's open command: for ".ob6" and other classes we registered,
// from HKEY_CLASSES_ROOT; otherwise from the desktop's MIME database (globs, default or associated
// application, its Exec line). Empty when nothing opens such files.
std::string GetShellOpenCommand(std::string_view extension);

// Registers the extension's file type (type name <ext>file, MIME type application/x-<ext>session)
// and the URL protocols ORB6JOIN, ORB6PLAY, ORB6URL and ob6, all opening `program` with the file or
// link. False when the extension is empty or no command could be written.
bool RegisterShellTypes(const std::string& program, std::string_view extension, const std::string& description,
                        const std::string& icon);

}  // namespace orb
