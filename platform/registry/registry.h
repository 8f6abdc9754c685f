#pragma once
// Our registry: typed values under backslash key paths in three roots, each root kept in one text
// file (see reg_text.h for its form).
//
// Files: HKEY_CURRENT_USER and HKEY_CLASSES_ROOT in $XDG_CONFIG_HOME/orbelo-live6/registry/ (or
// ~/.config/...), HKEY_LOCAL_MACHINE in $ORB_REGISTRY_MACHINE_DIR (or /var/lib/orbelo-live6/registry).
//
// Every change is written through at once: under an exclusive lock file the store re-reads the file
// when another process changed it, applies the change, writes a temporary file, flushes it and
// renames it over the old one. A reader therefore sees the old or the new file, never half of one,
// and two processes writing different values both keep theirs. A `Batch` holds the lock over several
// changes and writes once. A damaged file is reported once, moved aside as <file>.damaged-<time>
// and the root starts empty.
//
// Key and value names compare without regard to ASCII case. Plain C++ and the standard library only:
// the print monitor links this too.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_text.h"

namespace orb::reg {

enum class Root : uint8_t { ClassesRoot = 0, CurrentUser = 1, LocalMachine = 2 };
inline constexpr Root HKEY_CLASSES_ROOT = Root::ClassesRoot;
inline constexpr Root HKEY_CURRENT_USER = Root::CurrentUser;
inline constexpr Root HKEY_LOCAL_MACHINE = Root::LocalMachine;

const char* RootName(Root root);

// Damage reports and write failures go here (default: one line on stderr). Thread-safe.
void SetErrorHandler(std::function<void(const std::string&)> handler);

class Registry;

// A handle to one key. It names the key by path, so it stays valid across reloads; when another
// process deletes the key, reads find nothing and writes fail, as with a deleted key's handle.
class Key {
public:
    Key() = default;
    bool IsOpen() const { return reg_ != nullptr; }
    explicit operator bool() const { return IsOpen(); }
    Root root() const { return root_; }
    // The key's path with single backslashes, without leading or trailing ones.
    std::string Path() const;

    // Whether the key is still there.
    bool Exists() const;
    Key OpenSubKey(std::string_view subPath) const;    // closed when missing
    Key CreateSubKey(std::string_view subPath) const;  // creates what is missing

    bool ValueExists(std::string_view name) const;
    std::optional<ValueType> TypeOf(std::string_view name) const;
    std::optional<Value> ReadValue(std::string_view name) const;
    // Each gives nothing when the value is missing or stored with another type.
    std::optional<uint32_t> ReadDWord(std::string_view name) const;
    std::optional<uint64_t> ReadQWord(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;
    std::optional<std::vector<uint8_t>> ReadBinary(std::string_view name) const;

    // Each returns false when the key is closed or gone or the file cannot be written.
    bool WriteValue(std::string_view name, const Value& value) const;
    bool WriteDWord(std::string_view name, uint32_t value) const;
    bool WriteQWord(std::string_view name, uint64_t value) const;
    bool WriteString(std::string_view name, std::string_view value) const;
    bool WriteBinary(std::string_view name, std::span<const uint8_t> value) const;
    bool DeleteValue(std::string_view name) const;
    // Deletes the subkey with everything below it.
    bool DeleteSubKey(std::string_view subPath) const;

    // Names as first written; subkeys sorted without regard to case, values in writing order.
    std::vector<std::string> SubKeyNames() const;
    std::vector<std::string> ValueNames() const;

private:
    friend class Registry;
    Key(Registry* reg, Root root, std::vector<std::string> parts)
        : reg_(reg), root_(root), parts_(std::move(parts)) {}
    Registry* reg_ = nullptr;
    Root root_ = Root::CurrentUser;
    std::vector<std::string> parts_;
};

class Registry {
public:
    struct Folders {
        std::filesystem::path user;     // HKEY_CURRENT_USER and HKEY_CLASSES_ROOT
        std::filesystem::path machine;  // HKEY_LOCAL_MACHINE
    };
    // From the environment, as described at the top of this file.
    static Folders DefaultFolders();
    // The process-wide registry, on DefaultFolders() when first used.
    static Registry& Default();

    explicit Registry(Folders folders);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Points the registry at other folders and drops everything cached (tests). Not to be called
    // while another thread uses the registry.
    void Reconfigure(Folders folders);
    const Folders& folders() const { return folders_; }
    std::filesystem::path FileOf(Root root) const;

    Key Open(Root root, std::string_view path);    // closed when the key is missing
    Key Create(Root root, std::string_view path);  // creates what is missing; closed on failure
    bool KeyExists(Root root, std::string_view path);
    // Deletes the key with everything below it; false when it was not there or cannot be written.
    bool DeleteKey(Root root, std::string_view path);

    // Holds the root's lock file over several changes and writes the file once, at Commit() or
    // when the batch ends. Other threads' changes to that root wait meanwhile. When the lock
    // cannot be taken, each change is written on its own instead.
    class Batch {
    public:
        Batch(Registry& reg, Root root);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Writes what changed so far; false when the file could not be written (the changes are
        // dropped). Changes after it are written at the next Commit() or when the batch ends.
        bool Commit();

    private:
        Registry& reg_;
        Root root_;
    };

    class Store;  // one root's file, cache and locks

private:
    friend class Key;
    Store& StoreOf(Root root);

    Folders folders_;
    std::unique_ptr<Store> stores_[3];
};

// Shorthands on Registry::Default().
inline Key OpenKey(Root root, std::string_view path) { return Registry::Default().Open(root, path); }
inline Key CreateKey(Root root, std::string_view path) { return Registry::Default().Create(root, path); }
inline bool DeleteKey(Root root, std::string_view path) { return Registry::Default().DeleteKey(root, path); }

namespace test_hooks {
// Called after the temporary file is written and flushed, before it is renamed over the file; lets a
// test end the process at the worst moment.
void SetBeforeRenameHook(std::function<void()> hook);
}  // namespace test_hooks

}  // namespace orb::reg
