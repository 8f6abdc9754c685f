#include "print/print_notice_gate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

namespace orb::print {

namespace fs = std::filesystem;

void TPrintNoticeGate::Begin(fs::path exportFolder, std::string prefix) {
    running_ = true;
    jobKnown_ = false;
    jobId_ = 0;
    folder_ = std::move(exportFolder);
    prefix_ = std::move(prefix);
}

void TPrintNoticeGate::End() {
    running_ = false;
    jobKnown_ = false;
}

namespace {

std::string WithSlash(const fs::path& p) {
    std::string s = p.lexically_normal().string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

}  // namespace

bool TPrintNoticeGate::AcceptablePage(const fs::path& exportFolder, const std::string& prefix, const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return false;
    const std::string folder = WithSlash(exportFolder);
    // No "." or ".." tricks: the path must be exactly folder + a plain name.
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    const std::string name = path.substr(folder.size());
    if (name.find('/') != std::string::npos) return false;
    if (name.size() < prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = name.substr(prefix.size());
    const size_t dot = rest.size() - 4;
    if (rest.compare(dot, 4, ".jpg") != 0 || dot == 0 || dot > 9) return false;
    for (size_t i = 0; i < dot; ++i)
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return false;

    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    uint8_t head[3] = {};
    ssize_t n = read(fd, head, sizeof head);
    struct stat opened {};
    bool same = fstat(fd, &opened) == 0 && opened.st_ino == st.st_ino && opened.st_dev == st.st_dev &&
                S_ISREG(opened.st_mode);
    close(fd);
    return same && n == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

TNoticeVerdict TPrintNoticeGate::Check(std::span<const uint8_t> datagram, TPrintNotice& notice, fs::path& pagePath) {
    if (!running_ || datagram.size() != kPrintNoticeSize) return TNoticeVerdict::Ignore;
    if (!DecodePrintNotice(datagram, notice)) return TNoticeVerdict::Ignore;
    if (!jobKnown_) {
        // Only the start of a document printed into this job's own folder makes the job id ours.
        if (notice.kind != pnDocumentStarted || WithSlash(fs::path(notice.path)) != WithSlash(folder_))
            return TNoticeVerdict::Ignore;
        jobKnown_ = true;
        jobId_ = notice.jobId;
        return TNoticeVerdict::Started;
    }
    if (notice.jobId != jobId_) return TNoticeVerdict::Ignore;
    switch (notice.kind) {
        case pnRenderError:
            return TNoticeVerdict::Failed;
        case pnDocumentEnded:
            return TNoticeVerdict::Ended;
        case pnPageSaved:
            if (!AcceptablePage(folder_, prefix_, notice.path)) return TNoticeVerdict::Ignore;
            pagePath = notice.path;
            return TNoticeVerdict::PageSaved;
        default:
            return TNoticeVerdict::Activate;
    }
}

}  // namespace orb::print
