#include "transfer/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <system_error>

namespace orb {

std::string SafeBaseName(std::string_view name) {
    size_t sep = name.find_last_of("/\\");
    if (sep != std::string_view::npos) name.remove_prefix(sep + 1);
    std::string out;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ':') continue;
        out += c;
    }
    // No hidden files and no "." or "..": leading dots go.
    size_t firstKept = out.find_first_not_of('.');
    if (firstKept == std::string::npos) return {};
    out.erase(0, firstKept);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (out.size() > kMaxSafeNameLength) {
        out.resize(kMaxSafeNameLength);
        // Do not leave half of a UTF-8 sequence at the end.
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
        if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0) out.pop_back();
    }
    return out;
}

std::string SafeExtension(std::string_view s) {
    size_t dot = s.find_last_of('.');
    std::string_view ext = dot == std::string_view::npos ? s : s.substr(dot + 1);
    if (ext.empty() || ext.size() > kMaxSafeExtensionLength) return {};
    for (char c : ext)
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    std::string out = ".";
    out.append(ext);
    return out;
}

std::filesystem::path PathInFolder(const std::filesystem::path& folder, std::string_view name) {
    std::string base = SafeBaseName(name);
    if (base.empty()) return {};
    return folder / base;
}

TAtomicFileWriter::TAtomicFileWriter(std::filesystem::path finalPath) : final_(std::move(finalPath)) {}

TAtomicFileWriter::~TAtomicFileWriter() { Discard(); }

bool TAtomicFileWriter::Open() {
    if (final_.empty() || !final_.has_filename()) return false;
    std::string name = ".";
    name.append(final_.filename().string()).append(".partXXXXXX");
    std::string tmpl = (final_.parent_path() / name).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return false;
    }
    temp_ = tmpl;
    return true;
}

bool TAtomicFileWriter::Write(const void* data, size_t size) {
    if (!file_ || failed_) return false;
    if (size && std::fwrite(data, 1, size, file_) != size) {
        failed_ = true;
        return false;
    }
    written_ += size;
    return true;
}

bool TAtomicFileWriter::Commit() {
    if (!file_ || failed_) {
        Discard();
        return false;
    }
    bool ok = std::fflush(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (ok) {
        // mkstemp creates 0600; received files are ordinary user files.
        ::chmod(temp_.c_str(), 0644);
        std::error_code ec;
        std::filesystem::rename(temp_, final_, ec);
        ok = !ec;
    }
    if (!ok) {
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

void TAtomicFileWriter::Discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::error_code ec;
        std::filesystem::remove(temp_, ec);
        temp_.clear();
    }
}

}  // namespace orb
