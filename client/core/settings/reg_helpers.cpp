#include "settings/reg_helpers.h"

#include <bit>
#include <type_traits>

#include "registry/registry.h"

namespace orb {

namespace {

reg::Root RootOf(bool currentUser) { return currentUser ? reg::HKEY_CURRENT_USER : reg::HKEY_LOCAL_MACHINE; }

// Reading opens the key, creating it when it is missing (so a fresh account gets its key on the
// first read); a root that cannot be written still reads.
reg::Key OpenForRead(std::string_view key, bool currentUser) {
    reg::Registry& r = reg::Registry::Default();
    reg::Key k = r.Open(RootOf(currentUser), key);
    if (!k) k = r.Create(RootOf(currentUser), key);
    return k;
}

std::optional<reg::Value> ReadRaw(std::string_view key, std::string_view name, bool currentUser) {
    reg::Key k = OpenForRead(key, currentUser);
    if (!k) return std::nullopt;
    return k.ReadValue(name);
}

bool Matches(const reg::Value& v, RegValueKind kind) {
    switch (kind) {
        case RegValueKind::Integer:
        case RegValueKind::Boolean: return v.type == reg::ValueType::DWord && v.data.size() == 4;
        case RegValueKind::Float: return v.type == reg::ValueType::Binary && v.data.size() == 8;
        case RegValueKind::String: return v.type == reg::ValueType::String;
    }
    return false;
}

uint32_t DWordOf(const reg::Value& v) {
    uint32_t x = 0;
    for (int i = 0; i < 4; ++i) x |= uint32_t(v.data[static_cast<size_t>(i)]) << (8 * i);
    return x;
}

}  // namespace

bool RegValueExists(std::string_view key, std::string_view name, bool currentUser) {
    reg::Key k = reg::Registry::Default().Open(RootOf(currentUser), key);
    return k && k.ValueExists(name);
}

bool RegWriteVariant(std::string_view key, std::string_view name, const RegVariant& value, bool currentUser) {
    if (std::holds_alternative<std::monostate>(value)) return false;
    reg::Key k = reg::Registry::Default().Create(RootOf(currentUser), key);
    if (!k) return false;
    return std::visit(
        [&](const auto& v) -> bool {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return false;
            } else if constexpr (std::is_same_v<T, bool>) {
                return k.WriteDWord(name, v ? 1u : 0u);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return k.WriteString(name, v);
            } else if constexpr (std::is_floating_point_v<T>) {
                auto bits = std::bit_cast<uint64_t>(static_cast<double>(v));
                uint8_t bytes[8];
                for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
                return k.WriteBinary(name, bytes);
            } else {
                return k.WriteDWord(name, static_cast<uint32_t>(static_cast<int64_t>(v)));
            }
        },
        value);
}

RegVariant RegReadVariant(std::string_view key, std::string_view name, RegValueKind kind, bool currentUser) {
    auto v = ReadRaw(key, name, currentUser);
    bool ok = v && Matches(*v, kind);
    switch (kind) {
        case RegValueKind::Integer: return ok ? static_cast<int32_t>(DWordOf(*v)) : int32_t(-1);
        case RegValueKind::Boolean: return ok ? DWordOf(*v) != 0 : false;
        case RegValueKind::Float: {
            if (!ok) return -1.0;
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) bits |= uint64_t(v->data[static_cast<size_t>(i)]) << (8 * i);
            return std::bit_cast<double>(bits);
        }
        case RegValueKind::String: return ok ? std::string(v->data.begin(), v->data.end()) : std::string();
    }
    return std::monostate{};
}

int32_t RegReadInteger(std::string_view key, std::string_view name, bool currentUser) {
    return std::get<int32_t>(RegReadVariant(key, name, RegValueKind::Integer, currentUser));
}

double RegReadFloat(std::string_view key, std::string_view name, bool currentUser) {
    return std::get<double>(RegReadVariant(key, name, RegValueKind::Float, currentUser));
}

bool RegReadBool(std::string_view key, std::string_view name, bool currentUser) {
    return std::get<bool>(RegReadVariant(key, name, RegValueKind::Boolean, currentUser));
}

std::string RegReadString(std::string_view key, std::string_view name, bool currentUser) {
    return std::get<std::string>(RegReadVariant(key, name, RegValueKind::String, currentUser));
}

bool RegValueReadable(std::string_view key, std::string_view name, RegValueKind kind, bool currentUser) {
    auto v = ReadRaw(key, name, currentUser);
    return v && Matches(*v, kind);
}

void SetScriptDebuggerDisabled(std::string_view text) {
    // Only a browser that is there has its setting changed; the key is not made for it.
    reg::Key k = reg::Registry::Default().Open(reg::HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\");
    if (k) k.WriteString("Disable Script Debugger", text);
}

}  // namespace orb
