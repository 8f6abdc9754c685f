#include "libraries/local_files.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <system_error>
#include <thread>

#include "transfer/safe_files.h"
#include "util/text_util.h"

namespace orb {

namespace fs = std::filesystem;

std::string CleanExtension(std::string_view nameOrExtension) {
    const size_t dot = nameOrExtension.rfind('.');
    std::string_view ext = dot == std::string_view::npos ? nameOrExtension : nameOrExtension.substr(dot + 1);
    if (ext.empty() || ext.size() > 8) return {};
    for (char c : ext)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
    // Built in one buffer: `"." + std::string(ext)` inserts in front of the copy, which GCC 12
    // at -O3 takes for an overlapping copy.
    std::string out(ext.size() + 1, '.');
    ext.copy(out.data() + 1, ext.size());
    return out;
}

namespace {

std::string CleanBaseName(std::string_view name) {
    std::string base = SafeBaseName(name);
    std::string out;
    for (char c : base) {
        // Quotes, wildcards and the like are kept out of names the desktop will be handed.
        static constexpr std::string_view kSpecial = "\"*?<>|:$`;&";
        out += kSpecial.find(c) == std::string_view::npos ? c : '_';
    }
    while (!out.empty() && (out.front() == '.' || out.front() == '-' || out.front() == ' ')) out.erase(0, 1);
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    if (out.size() > 120) out.resize(120);
    // Keep a cut UTF-8 character from ending the name.
    while (!out.empty() && (uint8_t(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && uint8_t(out.back()) >= 0xC0) out.pop_back();
    return out.empty() ? "file" : out;
}

}  // namespace

fs::path UniqueLocalPath(const fs::path& folder, std::string_view baseName, std::string_view extension) {
    std::string ext = CleanExtension(extension);
    std::string base(baseName);
    // A base name that carries the extension itself does not repeat it.
    if (!ext.empty() && base.size() > ext.size() &&
        EqualsNoCase(std::string_view(base).substr(base.size() - ext.size()), ext))
        base.resize(base.size() - ext.size());
    base = CleanBaseName(base);
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? base + ext : base + " (" + std::to_string(n) + ")" + ext;
        fs::path candidate = folder / name;
        std::error_code ec;
        if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found) return candidate;
    }
    return {};
}

bool IsExecutableType(const fs::path& file) {
    static constexpr std::string_view kTypes[] = {
        "EXE", "COM", "BAT", "CMD", "SCR", "PIF", "MSI", "MSP", "CPL", "DLL", "VBS", "VBE", "JS",  "JSE",
        "WSF", "WSH", "HTA", "LNK", "URL", "REG", "PS1", "SH",  "BASH", "CSH", "KSH", "ZSH", "PY",  "PL",
        "RB",  "PHP", "JAR", "RUN", "BIN", "OUT", "ELF", "SO",  "APPIMAGE", "DESKTOP", "DEB", "RPM",
        "APK", "APP", "COMMAND", "TOOL", "INF", "SCPT", "GADGET", "ISO", "IMG",
    };
    const std::string ext = AsciiUpperCase(file.extension().string());
    if (ext.empty() && !file.filename().empty()) {
        // Without an extension the desktop sniffs the content: only the permission bits decide.
    } else {
        for (std::string_view t : kTypes)
            if (ext.size() == t.size() + 1 && std::string_view(ext).substr(1) == t) return true;
    }
    std::error_code ec;
    const fs::perms p = fs::status(file, ec).permissions();
    if (ec) return false;
    return (p & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec)) != fs::perms::none;
}

extern "C" char** environ;

bool OpenWithDesktop(const fs::path& file, std::string* refusal) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    if (IsExecutableType(file)) {
        if (refusal) *refusal = std::string(kExecutableRefusedText) + "\n" + file.string();
        return false;
    }
    std::string tool = "xdg-open";
    std::string path = file.string();
    char* argv[] = {tool.data(), path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    // xdg-open hands the file on and ends; it is collected aside so the caller never waits for it.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace orb
