#include "registry/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace fs = std::filesystem;

namespace orb::reg {

namespace {

// A file larger than this is not a registry file we wrote.
constexpr off_t kMaxFileBytes = 64 << 20;

std::mutex g_handlerMutex;
std::function<void(const std::string&)> g_handler;
std::function<void()> g_beforeRename;

void Report(const std::string& text) {
    std::function<void(const std::string&)> h;
    {
        std::lock_guard lock(g_handlerMutex);
        h = g_handler;
    }
    if (h)
        h(text);
    else
        std::fprintf(stderr, "registry: %s\n", text.c_str());
}

std::string Errno() { return std::strerror(errno); }

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string JoinPath(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

const Node* FindNode(const Node& root, const std::vector<std::string>& parts) {
    const Node* n = &root;
    for (const auto& p : parts) {
        n = n->Child(p);
        if (!n) return nullptr;
    }
    return n;
}

Node* FindNode(Node& root, const std::vector<std::string>& parts) {
    return const_cast<Node*>(FindNode(static_cast<const Node&>(root), parts));
}

std::vector<std::string> Concat(const std::vector<std::string>& a, std::string_view subPath) {
    std::vector<std::string> out = a;
    for (auto& p : SplitKeyPath(subPath)) out.push_back(std::move(p));
    return out;
}

enum class Change { Failed, None, Changed };

// Makes the keys of `parts` below `from` that are missing; Changed when it made any.
Change CreateNodes(Node& from, const std::vector<std::string>& parts) {
    Node* n = &from;
    bool created = false;
    for (const auto& p : parts) {
        Node* c = n->Child(p);
        if (!c) {
            c = &n->ChildOrCreate(p);
            created = true;
        }
        n = c;
    }
    return created ? Change::Changed : Change::None;
}

}  // namespace

const char* RootName(Root root) {
    switch (root) {
        case Root::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case Root::CurrentUser: return "HKEY_CURRENT_USER";
        case Root::LocalMachine: return "HKEY_LOCAL_MACHINE";
    }
    return "?";
}

void SetErrorHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(g_handlerMutex);
    g_handler = std::move(handler);
}

namespace test_hooks {
void SetBeforeRenameHook(std::function<void()> hook) { g_beforeRename = std::move(hook); }
}  // namespace test_hooks

// ---------------------------------------------------------------------------------------------
// One root: its file, the cached tree of the file's last version we saw, and the locks.

class Registry::Store {
public:
    Store(Root root, fs::path folder, bool privateFolder)
        : root_(root), folder_(std::move(folder)), private_(privateFolder) {
        file_ = folder_ / (std::string(RootName(root)) + ".reg");
        lockFile_ = folder_ / (std::string(RootName(root)) + ".reg.lock");
        tmpFile_ = folder_ / (std::string(RootName(root)) + ".reg.tmp");
    }

    ~Store() {
        if (lockFd_ >= 0) ::close(lockFd_);
        Release();
    }

    const fs::path& file() const { return file_; }

    template <class F>
    auto Read(F&& f) {
        std::lock_guard lock(mu_);
        Refresh();
        return f(static_cast<const Node&>(tree_));
    }

    template <class F>
    bool Mutate(F&& f) {
        std::lock_guard lock(mu_);
        if (!LockFile()) return false;
        Refresh();
        Change c = f(tree_);
        bool ok = c != Change::Failed;
        if (c == Change::Changed) {
            // Deferred only while a batch holds the lock: otherwise another process may replace the
            // file before the batch ends, and the next refresh would drop what is pending.
            if (batchDepth_ > 0 && lockDepth_ > 1)
                batchDirty_ = true;
            else
                ok = Save();
        }
        UnlockFile();
        return ok;
    }

    void BeginBatch() {
        mu_.lock();
        ++batchDepth_;
        bool locked = LockFile();
        batchLocks_.push_back(locked);
        if (locked) Refresh();
    }

    bool CommitBatch() {
        std::lock_guard lock(mu_);
        if (!batchDirty_) return true;
        batchDirty_ = false;
        if (!LockFile()) {
            loaded_ = false;  // drop what we could not store
            return false;
        }
        bool ok = Save();
        UnlockFile();
        return ok;
    }

    void EndBatch() {
        if (batchLocks_.back()) UnlockFile();
        batchLocks_.pop_back();
        --batchDepth_;
        mu_.unlock();
    }

private:
    struct Stamp {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };

    static Stamp StampOf(const struct stat& st) {
        Stamp s;
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        s.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
        return s;
    }

    bool EnsureFolder() {
        std::error_code ec;
        if (fs::is_directory(folder_, ec)) return true;
        fs::create_directories(folder_, ec);
        if (ec) {
            Report(std::string("cannot create the folder ") + folder_.string() + ": " + ec.message());
            return false;
        }
        if (private_) ::chmod(folder_.c_str(), 0700);
        return true;
    }

    // Takes the lock file shared by every process that writes this root (nests within a thread).
    bool LockFile() {
        if (lockDepth_ > 0) {
            ++lockDepth_;
            return true;
        }
        if (!EnsureFolder()) return false;
        int fd = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, private_ ? 0600 : 0644);
        if (fd < 0) {
            Report("cannot open the lock file " + lockFile_.string() + ": " + Errno());
            return false;
        }
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                Report("cannot lock " + lockFile_.string() + ": " + Errno());
                ::close(fd);
                return false;
            }
        }
        lockFd_ = fd;
        lockDepth_ = 1;
        return true;
    }

    void UnlockFile() {
        if (lockDepth_ == 0 || --lockDepth_ > 0) return;
        ::flock(lockFd_, LOCK_UN);
        ::close(lockFd_);
        lockFd_ = -1;
    }

    // The file whose stamp we keep stays open, so that its inode cannot be freed and handed to a
    // later file: equal stamps then always mean the same file (writers never change one in place).
    void Hold(int fd) {
        if (heldFd_ >= 0 && heldFd_ != fd) ::close(heldFd_);
        heldFd_ = fd;
    }
    void Release() { Hold(-1); }

    // Brings the cached tree up to the file's current version.
    void Refresh() {
        int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT) {
                // Unreadable: keep what we have rather than pretending the settings are gone.
                if (!loaded_) {
                    Report("cannot read " + file_.string() + ": " + Errno());
                    tree_.Clear();
                    stamp_ = Stamp{};
                    Release();
                    loaded_ = true;
                }
                return;
            }
            if (!loaded_ || stamp_.exists) {
                tree_.Clear();
                stamp_ = Stamp{};
                Release();
                loaded_ = true;
            }
            readOnly_ = false;  // a damaged file we could not move is gone: a new one may be written
            return;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return;
        }
        Stamp s = StampOf(st);
        if (loaded_ && s == stamp_) {
            ::close(fd);
            return;
        }
        std::string text;
        std::string why;
        bool readOk = st.st_size <= kMaxFileBytes;
        if (!readOk) why = "the file is too large";
        if (readOk) {
            text.resize(static_cast<size_t>(st.st_size));
            size_t done = 0;
            while (done < text.size()) {
                ssize_t n = ::read(fd, text.data() + done, text.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            text.resize(done);
        }
        Hold(fd);
        std::optional<Node> parsed;
        if (readOk) parsed = ParseRegistryText(text, &why);
        if (parsed) {
            tree_ = std::move(*parsed);
            stamp_ = s;
            loaded_ = true;
            readOnly_ = false;  // a damaged file we could not move has been replaced by a good one
            return;
        }
        SetAside(s, why);
    }

    // A damaged file: say so once, move it aside so that nothing overwrites it, start empty.
    void SetAside(const Stamp& damaged, const std::string& why) {
        tree_.Clear();
        loaded_ = true;
        stamp_ = damaged;  // until moved, the same damaged file is not reported again
        if (!LockFile()) {
            Report(file_.string() + " is damaged (" + why + "); it cannot be moved aside, so the " +
                   RootName(root_) + " settings are read as empty and not written.");
            readOnly_ = true;
            return;
        }
        struct stat st {};
        if (::stat(file_.c_str(), &st) != 0 || StampOf(st).ino != damaged.ino || StampOf(st).dev != damaged.dev) {
            // Another process replaced (or moved) it meanwhile: read what is there now.
            UnlockFile();
            loaded_ = false;
            Refresh();
            return;
        }
        char when[32];
        std::time_t now = std::time(nullptr);
        std::tm tm {};
        localtime_r(&now, &tm);
        std::strftime(when, sizeof when, "%Y%m%d-%H%M%S", &tm);
        fs::path aside = file_.string() + ".damaged-" + when;
        for (int i = 2; fs::exists(aside) && i < 1000; ++i)
            aside = file_.string() + ".damaged-" + when + "-" + std::to_string(i);
        if (::rename(file_.c_str(), aside.c_str()) == 0) {
            Report(file_.string() + " is damaged (" + why + "); it was moved to " + aside.string() +
                   " and the " + RootName(root_) + " settings start empty.");
            stamp_ = Stamp{};
            Release();
            readOnly_ = false;
        } else {
            Report(file_.string() + " is damaged (" + why + ") and cannot be moved aside (" + Errno() +
                   "); the " + RootName(root_) + " settings are read as empty and not written.");
            readOnly_ = true;
        }
        UnlockFile();
    }

    // Writes the whole tree; called with the lock file held.
    bool Save() {
        if (readOnly_) {
            tree_.Clear();  // the damaged file stays as it is; the change is dropped
            return false;
        }
        std::string text = FormatRegistryText(tree_, RootName(root_));
        int fd = ::open(tmpFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, private_ ? 0600 : 0644);
        bool ok = fd >= 0;
        std::string why;
        if (!ok) why = "cannot create " + tmpFile_.string() + ": " + Errno();
        if (ok && !WriteAll(fd, text)) {
            ok = false;
            why = "cannot write " + tmpFile_.string() + ": " + Errno();
        }
        if (ok && ::fsync(fd) != 0) {
            ok = false;
            why = "cannot flush " + tmpFile_.string() + ": " + Errno();
        }
        if (ok && g_beforeRename) g_beforeRename();
        if (ok && ::rename(tmpFile_.c_str(), file_.c_str()) != 0) {
            ok = false;
            why = "cannot replace " + file_.string() + ": " + Errno();
        }
        if (!ok) {
            if (fd >= 0) ::close(fd);
            ::unlink(tmpFile_.c_str());
            Report(why);
            loaded_ = false;  // drop the change we could not store
            return false;
        }
        int dfd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
        // The written file is now ours to hold (the rename changed its times, so stamp it now).
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            stamp_ = StampOf(st);
            Hold(fd);
        } else {
            ::close(fd);
            loaded_ = false;
        }
        return true;
    }

    std::recursive_mutex mu_;
    Root root_;
    fs::path folder_, file_, lockFile_, tmpFile_;
    bool private_;
    Node tree_;
    Stamp stamp_;
    bool loaded_ = false;
    bool readOnly_ = false;
    int lockFd_ = -1;
    int heldFd_ = -1;
    int lockDepth_ = 0;
    int batchDepth_ = 0;
    bool batchDirty_ = false;
    std::vector<bool> batchLocks_;
};

// ---------------------------------------------------------------------------------------------

Registry::Folders Registry::DefaultFolders() {
    Folders f;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path config;
    if (xdg && *xdg == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        config = fs::path(home) / ".config";
    }
    f.user = config / "orbelo-live6" / "registry";
    const char* machine = std::getenv("ORB_REGISTRY_MACHINE_DIR");
    f.machine = (machine && *machine) ? fs::path(machine) : fs::path("/var/lib/orbelo-live6/registry");
    return f;
}

Registry& Registry::Default() {
    static Registry instance(DefaultFolders());
    return instance;
}

Registry::Registry(Folders folders) { Reconfigure(std::move(folders)); }

Registry::~Registry() = default;

void Registry::Reconfigure(Folders folders) {
    folders_ = std::move(folders);
    stores_[0] = std::make_unique<Store>(Root::ClassesRoot, folders_.user, true);
    stores_[1] = std::make_unique<Store>(Root::CurrentUser, folders_.user, true);
    stores_[2] = std::make_unique<Store>(Root::LocalMachine, folders_.machine, false);
}

Registry::Store& Registry::StoreOf(Root root) { return *stores_[static_cast<int>(root) % 3]; }

fs::path Registry::FileOf(Root root) const { return stores_[static_cast<int>(root) % 3]->file(); }

Key Registry::Open(Root root, std::string_view path) {
    auto parts = SplitKeyPath(path);
    bool found = StoreOf(root).Read([&](const Node& tree) { return FindNode(tree, parts) != nullptr; });
    return found ? Key(this, root, std::move(parts)) : Key();
}

Key Registry::Create(Root root, std::string_view path) {
    auto parts = SplitKeyPath(path);
    bool ok = StoreOf(root).Mutate([&](Node& tree) { return CreateNodes(tree, parts); });
    return ok ? Key(this, root, std::move(parts)) : Key();
}

bool Registry::KeyExists(Root root, std::string_view path) { return Open(root, path).IsOpen(); }

bool Registry::DeleteKey(Root root, std::string_view path) {
    auto parts = SplitKeyPath(path);
    if (parts.empty()) return false;  // a root itself is never deleted
    std::string last = parts.back();
    parts.pop_back();
    return StoreOf(root).Mutate([&](Node& tree) {
        Node* parent = FindNode(tree, parts);
        return (parent && parent->EraseChild(last)) ? Change::Changed : Change::Failed;
    });
}

Registry::Batch::Batch(Registry& reg, Root root) : reg_(reg), root_(root) { reg_.StoreOf(root_).BeginBatch(); }

Registry::Batch::~Batch() {
    // Also what was written after an explicit Commit().
    Commit();
    reg_.StoreOf(root_).EndBatch();
}

bool Registry::Batch::Commit() { return reg_.StoreOf(root_).CommitBatch(); }

// ---------------------------------------------------------------------------------------------

std::string Key::Path() const { return JoinPath(parts_); }

bool Key::Exists() const {
    if (!reg_) return false;
    return reg_->StoreOf(root_).Read([&](const Node& tree) { return FindNode(tree, parts_) != nullptr; });
}

Key Key::OpenSubKey(std::string_view subPath) const {
    if (!reg_) return Key();
    return reg_->Open(root_, JoinPath(Concat(parts_, subPath)));
}

Key Key::CreateSubKey(std::string_view subPath) const {
    if (!reg_) return Key();
    auto sub = SplitKeyPath(subPath);
    auto all = Concat(parts_, subPath);
    bool ok = reg_->StoreOf(root_).Mutate([&](Node& tree) {
        Node* n = FindNode(tree, parts_);
        return n ? CreateNodes(*n, sub) : Change::Failed;
    });
    return ok ? Key(reg_, root_, std::move(all)) : Key();
}

std::optional<Value> Key::ReadValue(std::string_view name) const {
    if (!reg_) return std::nullopt;
    return reg_->StoreOf(root_).Read([&](const Node& tree) -> std::optional<Value> {
        const Node* n = FindNode(tree, parts_);
        if (!n) return std::nullopt;
        const Value* v = n->Find(name);
        if (!v) return std::nullopt;
        return *v;
    });
}

bool Key::ValueExists(std::string_view name) const { return TypeOf(name).has_value(); }

std::optional<ValueType> Key::TypeOf(std::string_view name) const {
    auto v = ReadValue(name);
    if (!v) return std::nullopt;
    return v->type;
}

std::optional<uint32_t> Key::ReadDWord(std::string_view name) const {
    auto v = ReadValue(name);
    if (!v || v->type != ValueType::DWord || v->data.size() != 4) return std::nullopt;
    uint32_t x = 0;
    for (int i = 0; i < 4; ++i) x |= uint32_t(v->data[i]) << (8 * i);
    return x;
}

std::optional<uint64_t> Key::ReadQWord(std::string_view name) const {
    auto v = ReadValue(name);
    if (!v || v->type != ValueType::QWord || v->data.size() != 8) return std::nullopt;
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x |= uint64_t(v->data[i]) << (8 * i);
    return x;
}

std::optional<std::string> Key::ReadString(std::string_view name) const {
    auto v = ReadValue(name);
    if (!v || v->type != ValueType::String) return std::nullopt;
    return std::string(v->data.begin(), v->data.end());
}

std::optional<std::vector<uint8_t>> Key::ReadBinary(std::string_view name) const {
    auto v = ReadValue(name);
    if (!v || v->type != ValueType::Binary) return std::nullopt;
    return std::move(v->data);
}

bool Key::WriteValue(std::string_view name, const Value& value) const {
    if (!reg_) return false;
    return reg_->StoreOf(root_).Mutate([&](Node& tree) {
        Node* n = FindNode(tree, parts_);
        if (!n) return Change::Failed;
        const Value* old = n->Find(name);
        if (old && *old == value) return Change::None;
        n->Set(name, value);
        return Change::Changed;
    });
}

bool Key::WriteDWord(std::string_view name, uint32_t value) const { return WriteValue(name, Value::FromDWord(value)); }
bool Key::WriteQWord(std::string_view name, uint64_t value) const { return WriteValue(name, Value::FromQWord(value)); }
bool Key::WriteString(std::string_view name, std::string_view value) const {
    return WriteValue(name, Value::FromString(value));
}
bool Key::WriteBinary(std::string_view name, std::span<const uint8_t> value) const {
    return WriteValue(name, Value::FromBinary(value.data(), value.size()));
}

bool Key::DeleteValue(std::string_view name) const {
    if (!reg_) return false;
    return reg_->StoreOf(root_).Mutate([&](Node& tree) {
        Node* n = FindNode(tree, parts_);
        return (n && n->Erase(name)) ? Change::Changed : Change::Failed;
    });
}

bool Key::DeleteSubKey(std::string_view subPath) const {
    if (!reg_) return false;
    auto sub = SplitKeyPath(subPath);
    if (sub.empty()) return false;
    return reg_->DeleteKey(root_, JoinPath(Concat(parts_, subPath)));
}

std::vector<std::string> Key::SubKeyNames() const {
    if (!reg_) return {};
    return reg_->StoreOf(root_).Read([&](const Node& tree) {
        std::vector<std::string> out;
        if (const Node* n = FindNode(tree, parts_))
            for (const auto& [folded, child] : n->children) out.push_back(child->name);
        return out;
    });
}

std::vector<std::string> Key::ValueNames() const {
    if (!reg_) return {};
    return reg_->StoreOf(root_).Read([&](const Node& tree) {
        std::vector<std::string> out;
        if (const Node* n = FindNode(tree, parts_))
            for (const auto& [name, value] : n->values) out.push_back(name);
        return out;
    });
}

}  // namespace orb::reg
