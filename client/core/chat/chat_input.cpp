#include "chat/chat_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orb::chat {

std::optional<int> TypingChange(bool& typingFlag, bool textEmpty) {
    if (!textEmpty && !typingFlag) {
        typingFlag = true;
        return 1;
    }
    if (textEmpty && typingFlag) {
        typingFlag = false;
        return 0;
    }
    return std::nullopt;
}

TDraft InsertAtCaret(const std::u16string& draft, int caret, std::u16string_view code) {
    TDraft d;
    const size_t at = size_t(std::clamp(caret, 0, int(draft.size())));
    d.text = draft.substr(0, at);
    d.text += code;
    d.text += draft.substr(at);
    d.caret = int(at + code.size());
    return d;
}

std::string SafeDocumentName(std::string_view fileName) {
    // Only the last path component counts, whichever separator the sender used.
    size_t slash = fileName.find_last_of("/\\");
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    std::string base(fileName), ext;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        ext = base.substr(dot + 1);
        base.resize(dot);
        bool plain = !ext.empty() && ext.size() <= 8;
        for (char c : ext)
            if (!std::isalnum(static_cast<unsigned char>(c))) plain = false;
        if (!plain) ext.clear();
    }
    std::string clean;
    for (char c : base) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            clean += '_';
        else
            clean += c;
    }
    // No hidden files and no "..": leading dots and spaces go.
    while (!clean.empty() && (clean.front() == '.' || clean.front() == ' ')) clean.erase(clean.begin());
    while (!clean.empty() && (clean.back() == '.' || clean.back() == ' ')) clean.pop_back();
    if (clean.size() > 100) clean.resize(100);
    if (clean.empty()) return {};
    return ext.empty() ? clean : clean + "." + ext;
}

bool IsExecutableType(std::string_view fileName) {
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return true;  // no type: nothing says what it is
    std::string ext(fileName.substr(dot + 1));
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kRisky[] = {"exe", "com", "bat", "cmd", "msi", "scr", "pif", "vbs", "vbe", "js",
                                         "jse", "wsf", "wsh", "ps1", "sh", "bash", "run", "bin", "appimage",
                                         "desktop", "deb", "rpm", "jar", "py", "pl", "rb", "lnk", "url", "reg",
                                         "hta", "cpl", "dll", "so", "elf", "out", "command", "app", "csh", "ksh"};
    for (const char* r : kRisky)
        if (ext == r) return true;
    return false;
}

int SlideMenuCount(int32_t pageCount) { return std::clamp(pageCount, 0, kMaxSlideMenuItems); }

std::string SendToCaption(const std::string& displayName, int32_t level) {
    return level >= 1000 ? displayName + " (Moderator)" : displayName;
}

namespace {

bool Local(double dateTime, std::tm& tm) {
    if (!std::isfinite(dateTime)) return false;
    const double secs = std::round((dateTime - 25569.0) * 86400.0);
    if (secs < -1e12 || secs > 1e12) return false;
    std::time_t t = std::time_t(secs);
    // The date-time is already local: read it back without moving it to another zone.
    return gmtime_r(&t, &tm) != nullptr;
}

// "mmm-dd-yyyy" and the time, with English month names whatever the locale.
std::string DateText(double dateTime, const char* timeSeparator) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (!Local(dateTime, tm) || tm.tm_mon < 0 || tm.tm_mon > 11) return {};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s-%02d-%04d %02d%s%02d", kMonths[tm.tm_mon], tm.tm_mday, tm.tm_year + 1900,
                  tm.tm_hour, timeSeparator, tm.tm_min);
    return buf;
}

}  // namespace

std::string ExportFileName(const std::string& prefix, double dateTime, const std::string& extension) {
    return prefix + DateText(dateTime, "") + extension;
}

std::string ExportDateText(double dateTime) { return DateText(dateTime, ":"); }

}  // namespace orb::chat
