#include "launch/launch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace orb {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && Upper(s.substr(0, prefix.size())) == prefix;
}

// A whole decimal integer with an optional sign, surrounding blanks allowed; false on anything else,
// including values outside int.
bool ToInt(std::string_view s, int& out) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    out = v;
    return true;
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        size_t comma = s.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(s.substr(start));
            return fields;
        }
        fields.push_back(s.substr(start, comma - start));
        start = comma + 1;
    }
}

constexpr int kMaxPort = 65535;
constexpr int kMaxRoom = 32767;  // rooms travel as 16-bit numbers

}  // namespace

void ClearLinkParams(TLinkValues& values) { values = TLinkValues{}; }

std::string NormalizeLinkScheme(std::string_view argument) {
    argument = Trim(argument);
    size_t colon = argument.find(':');
    if (colon == std::string_view::npos) return std::string(argument);
    std::string_view scheme = argument.substr(0, colon + 1);
    std::string_view rest = argument.substr(colon + 1);
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    std::string out(scheme);
    out += "//";
    out += rest;
    return out;
}

bool ValidateLinkParams(std::string_view value) {
    value = Trim(value);
    if (value.empty()) return false;
    if (std::count(value.begin(), value.end(), ',') != 4) return false;
    auto fields = SplitCommas(value);
    if (Trim(fields[0]).empty()) return false;
    int port = 0;
    return ToInt(fields[1], port) && port > 0 && port <= kMaxPort;
}

void ParseLinkParams(std::string_view value, LinkScheme scheme, TLinkValues& values) {
    ClearLinkParams(values);
    if (!ValidateLinkParams(value)) return;
    // Validation trims the value as a whole, so the fields are split from the same trimmed text.
    auto fields = SplitCommas(Trim(value));
    TLinkValues v;
    v.server = std::string(fields[0]);
    if (!ToInt(fields[1], v.port)) v.port = -1;
    v.userName = std::string(fields[2]);
    v.password = std::string(fields[3]);
    if (scheme == LinkScheme::Join) {
        int room = 0;
        if (!ToInt(fields[4], room) || room <= 0 || room > kMaxRoom) return;
        v.roomNumber = room;
    } else {
        if (fields[4].empty()) return;
        v.recordingName = std::string(fields[4]);
    }
    values = std::move(v);
}

LaunchKind ParseLaunchArgument(std::string_view argument, std::string& value, TLinkValues& values) {
    ClearLinkParams(values);
    std::string_view trimmed = Trim(argument);
    if (trimmed.empty()) {
        value.clear();
        return lkNone;
    }
    std::string normal = NormalizeLinkScheme(trimmed);
    if (StartsWithNoCase(normal, "ORB6JOIN://")) {
        value = normal.substr(11);
        ParseLinkParams(value, LinkScheme::Join, values);
        return lkJoinLink;
    }
    if (StartsWithNoCase(normal, "ORB6PLAY://")) {
        value = normal.substr(11);
        ParseLinkParams(value, LinkScheme::Play, values);
        return lkPlayLink;
    }
    if (StartsWithNoCase(normal, "ORB6URL://")) {
        value = "http://" + normal.substr(10);
        return lkRecordingUrl;
    }
    // A file path is kept as typed: on this system a ':' is an ordinary file-name character, and
    // rewriting the slashes around it would name another file.
    value = std::string(trimmed);
    return lkRecordingFile;
}

std::string UrlDecode(std::string_view text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool IsPlayCommand(const std::vector<std::string>& args) { return !args.empty() && Upper(args[0]) == "PLAY"; }

TLaunchRequest ClassifyCommandLine(const std::vector<std::string>& args) {
    TLaunchRequest r;
    if (args.empty()) return r;
    if (IsPlayCommand(args)) {
        r.playCommand = true;
        r.kind = lkRecordingFile;
        if (args.size() > 1) r.value = args[1];
        return r;
    }
    // Only the link forms arrive percent-encoded (from a web page); a recording path keeps every
    // '%' it was typed with, since "%41" is an ordinary part of a file name.
    r.kind = ParseLaunchArgument(UrlDecode(args[0]), r.value, r.link);
    if (r.kind == lkJoinLink || r.kind == lkPlayLink || r.kind == lkRecordingUrl) return r;
    r.kind = ParseLaunchArgument(args[0], r.value, r.link);
    return r;
}

std::string CheckRecordingFile(const std::string& path) {
    std::error_code ec;
    // A decoded %00 would make the system calls see a shorter path than the one checked here.
    if (path.empty() || path.find('\0') != std::string::npos || !std::filesystem::is_regular_file(path, ec))
        return "The file cannot be located.\r\n" + path;
    std::string ext = std::filesystem::path(path).extension().string();
    std::string lower = ext;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != ".ob6" && lower != ".tm6")
        return "The file/stream cannot be played with the current version.\r\nUnknown file extension (" + ext + ").";
    return {};
}

}  // namespace orb
