#include "registry/reg_text.h"

#include <cstdio>

namespace orb::reg {

namespace {

constexpr std::string_view kEndLine = "; end";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, uint8_t b) {
    static const char* digits = "0123456789abcdef";
    out += digits[b >> 4];
    out += digits[b & 15];
}

std::string EncodeKeyPart(std::string_view part) {
    std::string out;
    for (char ch : part) {
        auto c = static_cast<uint8_t>(ch);
        if (c < 0x20 || c == 0x7f || ch == '%' || ch == ']' || ch == '\\') {
            out += '%';
            AppendHexByte(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<uint8_t>(ch);
        switch (ch) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    out += "\\x";
                    AppendHexByte(out, c);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

void FormatValue(std::string& out, const std::string& name, const Value& v) {
    out += name.empty() ? std::string("@") : Quote(name);
    out += '=';
    char buf[32];
    switch (v.type) {
        case ValueType::DWord: {
            uint32_t x = 0;
            for (size_t i = 0; i < 4 && i < v.data.size(); ++i) x |= uint32_t(v.data[i]) << (8 * i);
            std::snprintf(buf, sizeof buf, "dword:%08x", x);
            out += buf;
            break;
        }
        case ValueType::QWord: {
            uint64_t x = 0;
            for (size_t i = 0; i < 8 && i < v.data.size(); ++i) x |= uint64_t(v.data[i]) << (8 * i);
            std::snprintf(buf, sizeof buf, "qword:%016llx", static_cast<unsigned long long>(x));
            out += buf;
            break;
        }
        case ValueType::String:
            out += Quote(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size()));
            break;
        case ValueType::Binary:
            out += "hex:";
            for (size_t i = 0; i < v.data.size(); ++i) {
                if (i) out += ',';
                AppendHexByte(out, v.data[i]);
            }
            break;
    }
    out += '\n';
}

void FormatNode(std::string& out, const Node& node, const std::string& path, bool isRoot) {
    if (!isRoot || !node.values.empty()) {
        out += "\n[";
        out += path;
        out += "]\n";
        for (const auto& [name, value] : node.values) FormatValue(out, name, value);
    }
    for (const auto& [folded, child] : node.children) {
        std::string childPath = path.empty() ? EncodeKeyPart(child->name) : path + "\\" + EncodeKeyPart(child->name);
        FormatNode(out, *child, childPath, false);
    }
}

// Reads a quoted text at s[pos] (pos at the opening quote); leaves pos after the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out, std::string& why) {
    if (pos >= s.size() || s[pos] != '"') {
        why = "a quoted text was expected";
        return false;
    }
    ++pos;
    out.clear();
    while (pos < s.size()) {
        char ch = s[pos++];
        if (ch == '"') return true;
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (pos >= s.size()) break;
        char e = s[pos++];
        switch (e) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (pos + 2 > s.size() || HexDigit(s[pos]) < 0 || HexDigit(s[pos + 1]) < 0) {
                    why = "bad \\x escape";
                    return false;
                }
                out += static_cast<char>(HexDigit(s[pos]) * 16 + HexDigit(s[pos + 1]));
                pos += 2;
                break;
            }
            default: why = "unknown escape"; return false;
        }
    }
    why = "unterminated quoted text";
    return false;
}

bool ParseHexNumber(std::string_view digits, size_t width, uint64_t& out) {
    if (digits.size() != width) return false;
    out = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return false;
        out = out * 16 + static_cast<uint64_t>(d);
    }
    return true;
}

bool ParseSection(std::string_view line, std::vector<std::string>& parts, std::string& why) {
    parts.clear();
    if (line.size() < 2 || line.back() != ']') {
        why = "a key line must end with ]";
        return false;
    }
    std::string_view body = line.substr(1, line.size() - 2);
    if (body.empty()) return true;
    std::string cur;
    for (size_t i = 0; i <= body.size(); ++i) {
        if (i == body.size() || body[i] == '\\') {
            if (cur.empty()) {
                why = "empty key name";
                return false;
            }
            parts.push_back(std::move(cur));
            cur.clear();
            continue;
        }
        char ch = body[i];
        if (ch == ']') {
            why = "stray ] in key name";
            return false;
        }
        if (ch == '%') {
            if (i + 2 >= body.size() || HexDigit(body[i + 1]) < 0 || HexDigit(body[i + 2]) < 0) {
                why = "bad % escape in key name";
                return false;
            }
            cur += static_cast<char>(HexDigit(body[i + 1]) * 16 + HexDigit(body[i + 2]));
            i += 2;
            continue;
        }
        cur += ch;
    }
    return true;
}

bool ParseValueLine(std::string_view line, std::string& name, Value& v, std::string& why) {
    size_t pos = 0;
    if (line[0] == '@') {
        name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, pos, name, why)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        why = "= expected after the value name";
        return false;
    }
    ++pos;
    std::string_view rest = line.substr(pos);
    uint64_t n = 0;
    if (rest.starts_with("dword:")) {
        if (!ParseHexNumber(rest.substr(6), 8, n)) {
            why = "a dword needs 8 hex digits";
            return false;
        }
        v = Value::FromDWord(static_cast<uint32_t>(n));
        return true;
    }
    if (rest.starts_with("qword:")) {
        if (!ParseHexNumber(rest.substr(6), 16, n)) {
            why = "a qword needs 16 hex digits";
            return false;
        }
        v = Value::FromQWord(n);
        return true;
    }
    if (rest.starts_with("hex:")) {
        std::string_view h = rest.substr(4);
        v.type = ValueType::Binary;
        v.data.clear();
        if (h.empty()) return true;
        if ((h.size() + 1) % 3 != 0) {
            why = "binary data must be hex byte pairs separated by commas";
            return false;
        }
        v.data.reserve((h.size() + 1) / 3);
        for (size_t i = 0; i < h.size(); i += 3) {
            int a = HexDigit(h[i]), b = HexDigit(h[i + 1]);
            if (a < 0 || b < 0 || (i + 2 < h.size() && h[i + 2] != ',')) {
                why = "binary data must be hex byte pairs separated by commas";
                return false;
            }
            v.data.push_back(static_cast<uint8_t>(a * 16 + b));
        }
        return true;
    }
    if (!rest.empty() && rest[0] == '"') {
        std::string text;
        size_t p = 0;
        if (!ParseQuoted(rest, p, text, why)) return false;
        if (p != rest.size()) {
            why = "text after the closing quote";
            return false;
        }
        v = Value::FromString(text);
        return true;
    }
    why = "unknown value type";
    return false;
}

}  // namespace

Value Value::FromDWord(uint32_t x) {
    Value v;
    v.type = ValueType::DWord;
    for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>(x >> (8 * i)));
    return v;
}

Value Value::FromQWord(uint64_t x) {
    Value v;
    v.type = ValueType::QWord;
    for (int i = 0; i < 8; ++i) v.data.push_back(static_cast<uint8_t>(x >> (8 * i)));
    return v;
}

Value Value::FromString(std::string_view s) {
    Value v;
    v.type = ValueType::String;
    v.data.assign(s.begin(), s.end());
    return v;
}

Value Value::FromBinary(const void* p, size_t n) {
    Value v;
    v.type = ValueType::Binary;
    auto b = static_cast<const uint8_t*>(p);
    if (n) v.data.assign(b, b + n);
    return v;
}

std::string FoldName(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = Lower(c);
    return out;
}

Node* Node::Child(std::string_view n) const {
    auto it = children.find(FoldName(n));
    return it == children.end() ? nullptr : it->second.get();
}

Node& Node::ChildOrCreate(std::string_view n) {
    auto& slot = children[FoldName(n)];
    if (!slot) slot = std::make_unique<Node>(std::string(n));
    return *slot;
}

const Value* Node::Find(std::string_view valueName) const {
    std::string f = FoldName(valueName);
    for (const auto& [name, value] : values)
        if (FoldName(name) == f) return &value;
    return nullptr;
}

void Node::Set(std::string_view valueName, Value v) {
    std::string f = FoldName(valueName);
    for (auto& [name, value] : values) {
        if (FoldName(name) == f) {
            value = std::move(v);
            return;
        }
    }
    values.emplace_back(std::string(valueName), std::move(v));
}

bool Node::Erase(std::string_view valueName) {
    std::string f = FoldName(valueName);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (FoldName(it->first) == f) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

bool Node::EraseChild(std::string_view n) { return children.erase(FoldName(n)) > 0; }

void Node::Clear() {
    values.clear();
    children.clear();
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            if (i > start) parts.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::string FormatRegistryText(const Node& root, std::string_view rootName) {
    std::string out = "; Orbelo Live registry: ";
    out += rootName;
    out += "\n; Written whole through a temporary file; a file without its closing \"; end\" line is "
           "taken as damaged.\n";
    FormatNode(out, root, "", true);
    out += kEndLine;
    out += '\n';
    return out;
}

std::optional<Node> ParseRegistryText(std::string_view text, std::string* error) {
    Node root;
    Node* current = nullptr;
    bool ended = false;
    bool anything = false;
    size_t lineNo = 0;
    size_t pos = 0;
    std::string why;
    std::vector<std::string> parts;
    auto fail = [&](const std::string& reason) -> std::optional<Node> {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + reason;
        return std::nullopt;
    };
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
        if (blank) continue;
        anything = true;
        if (ended) return fail("text after the end line");
        if (line == kEndLine) {
            ended = true;
            continue;
        }
        if (line[0] == ';') continue;
        if (line[0] == '[') {
            if (!ParseSection(line, parts, why)) return fail(why);
            current = &root;
            for (const auto& p : parts) current = &current->ChildOrCreate(p);
            continue;
        }
        if (line[0] == '@' || line[0] == '"') {
            if (!current) return fail("a value before the first key line");
            std::string name;
            Value v;
            if (!ParseValueLine(line, name, v, why)) return fail(why);
            current->Set(name, std::move(v));
            continue;
        }
        return fail("unrecognised line");
    }
    if (anything && !ended) {
        ++lineNo;
        return fail("the end line is missing (the file is cut off)");
    }
    return root;
}

}  // namespace orb::reg
