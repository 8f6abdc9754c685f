#pragma once
// Names that arrive from the server or a peer are untrusted. They become plain base names inside
// one of our own folders, and received files are written under a temporary name and renamed only
// when complete, so a failed transfer neither leaves a partial file nor destroys an existing one.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace orb {

constexpr size_t kMaxSafeNameLength = 200;
constexpr size_t kMaxSafeExtensionLength = 16;

// The last path component with separators (/ and \), control bytes and a leading dot removed and
// cut to kMaxSafeNameLength bytes; empty when nothing usable is left ("", ".", "..", "a/..").
std::string SafeBaseName(std::string_view name);

// ".ext" with 1..16 ASCII letters and digits (a leading dot is optional in the input); empty
// otherwise. Also accepts a whole file name and takes its extension.
std::string SafeExtension(std::string_view nameOrExtension);

// folder / SafeBaseName(name); empty when the name is unusable.
std::filesystem::path PathInFolder(const std::filesystem::path& folder, std::string_view name);

// Writes a file beside its final path under a unique temporary name; Commit renames it into place.
// Destroying an uncommitted writer removes the temporary file.
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(std::filesystem::path finalPath);
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

    bool Open();
    bool Write(const void* data, size_t size);
    uint64_t Written() const { return written_; }
    // Flushes, closes and renames over the final path; false (and no file change) on any failure.
    bool Commit();
    // Closes and removes the temporary file.
    void Discard();
    const std::filesystem::path& TempPath() const { return temp_; }

private:
    std::filesystem::path final_;
    std::filesystem::path temp_;
    std::FILE* file_ = nullptr;
    uint64_t written_ = 0;
    bool failed_ = false;
};

}  // namespace orb
