#pragma once
// The in-memory tree of one registry root and its text file form.
//
// The file is meant to be read by people: one section per key, one line per value.
//
//   ; Orbelo Live registry: HKEY_CURRENT_USER
//   [Software\Vendor\Product]
//   "Count"=dword:0000002a
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "Blob"=hex:01,02,ff
//   "Big"=qword:0000000000000001
//   @="the key's default value"
//   ; end
//
// Key name parts are written between the backslashes with %, ], and control bytes as %XX. Names and
// strings are quoted with \\, \", \n, \r, \t and \xHH escapes; other bytes (UTF-8) stand as they are.
// The closing "; end" line lets a cut-off file be told from a complete one.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orb::reg {

// Numbers as the Windows registry gives them, so stored types keep their meaning.
enum class ValueType : uint32_t {
    String = 1,  // REG_SZ
    Binary = 3,  // REG_BINARY
    DWord = 4,   // REG_DWORD
    QWord = 11,  // REG_QWORD
};

struct Value {
    ValueType type = ValueType::Binary;
    // String: its bytes (UTF-8, no terminator); DWord: 4 bytes and QWord: 8 bytes, little-endian.
    std::vector<uint8_t> data;

    static Value FromDWord(uint32_t v);
    static Value FromQWord(uint64_t v);
    static Value FromString(std::string_view s);
    static Value FromBinary(const void* p, size_t n);
    bool operator==(const Value&) const = default;
};

// Names compare without regard to (ASCII) case, as registry names do; the first spelling is kept.
std::string FoldName(std::string_view name);

struct Node {
    std::string name;
    std::vector<std::pair<std::string, Value>> values;        // in the order they were first written
    std::map<std::string, std::unique_ptr<Node>> children;    // by folded name

    Node() = default;
    explicit Node(std::string n) : name(std::move(n)) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    Node(Node&&) = default;
    Node& operator=(Node&&) = default;

    Node* Child(std::string_view name) const;
    Node& ChildOrCreate(std::string_view name);
    const Value* Find(std::string_view valueName) const;
    void Set(std::string_view valueName, Value v);
    bool Erase(std::string_view valueName);
    bool EraseChild(std::string_view name);
    void Clear();
    bool Empty() const { return values.empty() && children.empty(); }
};

// Splits a key path at backslashes; empty parts (leading, trailing or doubled backslashes) vanish.
std::vector<std::string> SplitKeyPath(std::string_view path);

std::string FormatRegistryText(const Node& root, std::string_view rootName);

// Parses a whole file. A text that does not follow the form above (including one without its end
// line) gives nothing and, when `error` is given, says where and why. An empty text is an empty root.
std::optional<Node> ParseRegistryText(std::string_view text, std::string* error = nullptr);

}  // namespace orb::reg
