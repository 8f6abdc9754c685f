#include "util/shell_types.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "registry/registry.h"
#include "util/text_util.h"

extern char** environ;

namespace fs = std::filesystem;

namespace orb {

namespace {

constexpr const char* kDesktopId = "orbelo-live6.desktop";

struct Protocol {
    const char* key;
    const char* description;
};
constexpr Protocol kProtocols[] = {
    {"ORB6JOIN", "URL:Join Orbelo Live 6 Session"},
    {"ORB6PLAY", "URL:Play Orbelo Live 6 Stream"},
    {"ORB6URL", "URL:Play Orbelo Live 6 Stream"},
    {"ob6", "URL:Orbelo Live 6 Protocol"},
};

fs::path HomeDir() {
    const char* h = std::getenv("HOME");
    return (h && *h) ? fs::path(h) : fs::path("/");
}

fs::path XdgDir(const char* var, const char* fallbackUnderHome) {
    const char* v = std::getenv(var);
    if (v && *v == '/') return v;
    return HomeDir() / fallbackUnderHome;
}

std::vector<fs::path> DataDirs() {
    std::vector<fs::path> dirs{XdgDir("XDG_DATA_HOME", ".local/share")};
    const char* v = std::getenv("XDG_DATA_DIRS");
    std::string list = (v && *v) ? v : "/usr/local/share:/usr/share";
    std::stringstream ss(list);
    for (std::string d; std::getline(ss, d, ':');)
        if (!d.empty() && d[0] == '/') dirs.emplace_back(d);
    return dirs;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Writes through a temporary file; true when the file now holds `text`. `changed` tells whether it
// had to be written.
bool WriteTextIfChanged(const fs::path& p, const std::string& text, bool* changed = nullptr) {
    if (changed) *changed = false;
    std::error_code ec;
    if (fs::exists(p, ec) && ReadText(p) == text) return true;
    fs::create_directories(p.parent_path(), ec);
    fs::path tmp = p.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) return false;
    }
    fs::rename(tmp, p, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    if (changed) *changed = true;
    return true;
}

std::string XmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// One line of a desktop entry: no line breaks may get in.
std::string OneLine(std::string_view s) {
    std::string out;
    for (char c : s) out += (c == '\n' || c == '\r') ? ' ' : c;
    return out;
}

// The program as the first argument of an Exec line: quoted, with the quoting rules' escapes, then
// the string escape of backslashes, and % doubled.
std::string ExecProgram(std::string_view program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        if (c == '\\') out += "\\\\";
        else if (c == '%') out += "%%";
        else if (c == '\n' || c == '\r') out += ' ';
        else out += c;
    }
    return out;
}

// Sets our entries in the [Default Applications] section of mimeapps.list, keeping everything else.
bool SetDefaultApplications(const fs::path& file, const std::vector<std::string>& types) {
    std::vector<std::string> lines;
    {
        std::stringstream ss(ReadText(file));
        for (std::string l; std::getline(ss, l);) lines.push_back(l);
    }
    const std::string section = "[Default Applications]";
    size_t start = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Trim(lines[i]) == section) {
            start = i;
            end = lines.size();
            for (size_t j = i + 1; j < lines.size(); ++j)
                if (!Trim(lines[j]).empty() && Trim(lines[j])[0] == '[') {
                    end = j;
                    break;
                }
            break;
        }
    }
    if (start == lines.size()) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back(section);
        start = lines.size() - 1;
        end = lines.size();
    }
    for (const auto& type : types) {
        std::string entry = type + "=" + kDesktopId + ";";
        bool found = false;
        for (size_t i = start + 1; i < end; ++i) {
            if (lines[i].rfind(type + "=", 0) == 0) {
                lines[i] = entry;
                found = true;
            }
        }
        if (!found) {
            // Behind the section's last entry, before any blank lines that end it.
            size_t at = end;
            while (at > start + 1 && Trim(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
            ++end;
        }
    }
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return WriteTextIfChanged(file, text);
}

void RunQuietly(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&fa);
}

// --- reading the desktop's MIME database ---

std::string MimeTypeOfExtension(std::string_view bareExt) {
    std::string glob = "*." + AsciiLowerCase(bareExt);
    std::string best;
    int bestWeight = -1;
    for (const auto& dir : DataDirs()) {
        std::stringstream ss(ReadText(dir / "mime" / "globs2"));
        for (std::string line; std::getline(ss, line);) {
            if (line.empty() || line[0] == '#') continue;
            size_t a = line.find(':');
            size_t b = a == std::string::npos ? a : line.find(':', a + 1);
            if (b == std::string::npos) continue;
            std::string pattern = line.substr(b + 1);
            pattern = pattern.substr(0, pattern.find(':'));
            if (AsciiLowerCase(pattern) != glob) continue;
            int weight = ParseInt32(line.substr(0, a)).value_or(50);
            if (weight > bestWeight) {
                bestWeight = weight;
                best = line.substr(a + 1, b - a - 1);
            }
        }
    }
    return best;
}

// Desktop ids listed for `mime` under `section` of an ini-like file.
std::vector<std::string> ListedApplications(const fs::path& file, std::string_view section, std::string_view mime) {
    std::vector<std::string> ids;
    std::stringstream ss(ReadText(file));
    bool inSection = false;
    for (std::string line; std::getline(ss, line);) {
        std::string_view t = Trim(line);
        if (!t.empty() && t[0] == '[') {
            inSection = t == section;
            continue;
        }
        if (!inSection) continue;
        size_t eq = t.find('=');
        if (eq == std::string_view::npos || Trim(t.substr(0, eq)) != mime) continue;
        std::stringstream vs{std::string(t.substr(eq + 1))};
        for (std::string id; std::getline(vs, id, ';');)
            if (!Trim(id).empty()) ids.emplace_back(Trim(id));
    }
    return ids;
}

fs::path FindDesktopFile(const std::string& id) {
    if (id.find('/') != std::string::npos || id.find("..") != std::string::npos) return {};
    for (const auto& dir : DataDirs()) {
        fs::path p = dir / "applications" / id;
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) return p;
    }
    return {};
}

std::string ExecProgramOf(const fs::path& desktopFile) {
    std::stringstream ss(ReadText(desktopFile));
    bool inEntry = false;
    for (std::string line; std::getline(ss, line);) {
        std::string_view t = Trim(line);
        if (!t.empty() && t[0] == '[') {
            inEntry = t == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || !t.starts_with("Exec=")) continue;
        std::string_view v = Trim(t.substr(5));
        std::string prog;
        if (!v.empty() && v[0] == '"') {
            for (size_t i = 1; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                prog += v[i];
            }
        } else {
            prog = std::string(v.substr(0, v.find(' ')));
        }
        return prog;
    }
    return {};
}

std::string DesktopOpenProgram(std::string_view bareExt) {
    std::string mime = MimeTypeOfExtension(bareExt);
    if (mime.empty()) return {};
    std::vector<fs::path> lists{XdgDir("XDG_CONFIG_HOME", ".config") / "mimeapps.list"};
    for (const auto& dir : DataDirs()) lists.push_back(dir / "applications" / "mimeapps.list");
    std::vector<std::string> ids;
    for (const char* section : {"[Default Applications]", "[Added Associations]"})
        for (const auto& list : lists)
            for (auto& id : ListedApplications(list, section, mime)) ids.push_back(std::move(id));
    for (const auto& dir : DataDirs())
        for (auto& id : ListedApplications(dir / "applications" / "mimeinfo.cache", "[MIME Cache]", mime))
            ids.push_back(std::move(id));
    for (const auto& id : ids) {
        fs::path f = FindDesktopFile(id);
        if (f.empty()) continue;
        std::string prog = ExecProgramOf(f);
        if (!prog.empty()) return prog;
    }
    return {};
}

}  // namespace

std::string GetShellOpenCommand(std::string_view extension) {
    std::string ext(Trim(extension));
    if (ext.empty()) return {};
    if (ext[0] != '.') ext = std::string(".").append(ext);
    reg::Registry& reg = reg::Registry::Default();
    reg::Key extKey = reg.Open(reg::HKEY_CLASSES_ROOT, ext);
    if (auto type = extKey ? extKey.ReadString("") : std::nullopt; type && !type->empty()) {
        reg::Key cmdKey = reg.Open(reg::HKEY_CLASSES_ROOT, *type + "\\Shell\\Open\\Command");
        if (auto cmd = cmdKey ? cmdKey.ReadString("") : std::nullopt) {
            if (!cmd->empty() && (*cmd)[0] == '"') {
                size_t close = cmd->find('"', 1);
                return cmd->substr(1, close == std::string::npos ? std::string::npos : close - 1);
            }
            return *cmd;
        }
    }
    return DesktopOpenProgram(ext.substr(1));
}

bool RegisterShellTypes(const std::string& program, std::string_view extension, const std::string& description,
                        const std::string& icon) {
    std::string ext(Trim(extension));
    if (ext.empty()) return false;
    if (ext[0] != '.') ext = std::string(".").append(ext);
    const std::string bare = ext.substr(1);
    if (bare.empty()) return false;
    const std::string typeName = bare + "file";
    const std::string mime = "application/x-" + bare + "session";
    const std::string command = program + " \"%1\"";

    using namespace reg;
    Registry& reg = Registry::Default();
    bool anyCommand = false;
    bool committed = false;
    {
        Registry::Batch batch(reg, HKEY_CLASSES_ROOT);
        Key k = reg.Create(HKEY_CLASSES_ROOT, ext);
        k.WriteString("", typeName);
        k.WriteString("Content Type", mime);
        reg.Create(HKEY_CLASSES_ROOT, "Mime\\Database\\Content Type\\" + mime).WriteString("Extension", ext);
        reg.Create(HKEY_CLASSES_ROOT, typeName).WriteString("", description);
        reg.Create(HKEY_CLASSES_ROOT, typeName + "\\Shell\\Open").WriteString("", "&Play Session");
        anyCommand |= reg.Create(HKEY_CLASSES_ROOT, typeName + "\\Shell\\Open\\command").WriteString("", command);
        reg.Create(HKEY_CLASSES_ROOT, typeName + "\\DefaultIcon").WriteString("", icon);
        for (const auto& p : kProtocols) {
            Key pk = reg.Create(HKEY_CLASSES_ROOT, p.key);
            pk.WriteString("", p.description);
            pk.WriteString("URL Protocol", "");
            anyCommand |= reg.Create(HKEY_CLASSES_ROOT, std::string(p.key) + "\\Shell\\Open\\command").WriteString("", command);
        }
        committed = batch.Commit();
    }
    anyCommand = anyCommand && committed;

    // The desktop's side: which program opens the recordings and the links.
    const fs::path data = XdgDir("XDG_DATA_HOME", ".local/share");
    std::vector<std::string> types{mime};
    for (const auto& p : kProtocols) types.push_back("x-scheme-handler/" + AsciiLowerCase(p.key));
    std::string desktop = "[Desktop Entry]\nType=Application\nName=Orbelo Live 6\nComment=" + OneLine(description) +
                          "\nExec=" + ExecProgram(program) + " %u\nTerminal=false\nMimeType=";
    for (const auto& t : types) desktop += t + ";";
    desktop += "\n";
    // Failures on the desktop's side do not change the answer, which is about the class keys.
    WriteTextIfChanged(data / "applications" / kDesktopId, desktop);

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                      "  <mime-type type=\"" + XmlEscape(mime) + "\">\n"
                      "    <comment>" + XmlEscape(description) + "</comment>\n"
                      "    <glob pattern=\"*" + XmlEscape(AsciiLowerCase(ext)) + "\"/>\n"
                      "  </mime-type>\n"
                      "</mime-info>\n";
    bool xmlChanged = false;
    bool xmlOk = WriteTextIfChanged(data / "mime" / "packages" / ("orbelo-live6-" + bare + ".xml"), xml, &xmlChanged);
    if (xmlOk && (xmlChanged || !fs::exists(data / "mime" / "globs2")))
        RunQuietly({"update-mime-database", (data / "mime").string()});
    SetDefaultApplications(XdgDir("XDG_CONFIG_HOME", ".config") / "mimeapps.list", types);
    return anyCommand;
}

}  // namespace orb
