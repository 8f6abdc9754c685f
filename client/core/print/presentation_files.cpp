#include "print/presentation_files.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "registry/registry.h"
#include "wire/text.h"

namespace orb::print {

namespace fs = std::filesystem;

std::string PresentationId(int32_t ownUserId, uint32_t tickCount) {
    return "Pres_" + std::to_string(ownUserId) + "_" + std::to_string(tickCount);
}

std::string TPresentationIndex::Text() const {
    std::string t = "[Presentation]\r\nName=" + name + "\r\nFileName=" + fileName +
                    "\r\nSlidesCount=" + std::to_string(slidesCount) + "\r\n";
    if (!slides.empty()) {
        t += "\r\n[Slides]\r\n";
        for (const auto& [key, value] : slides) t += std::to_string(key) + "=" + value + "\r\n";
    }
    return Utf8ToCp1252(t);
}

bool TPresentationIndex::Save(const fs::path& file) const {
    const fs::path tmp = file.string() + ".part";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        const std::string text = Text();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.good()) return false;
    }
    std::error_code ec;
    fs::rename(tmp, file, ec);
    if (ec) fs::remove(tmp, ec);
    return !ec;
}

bool WriteMonitorUserSettings(const std::string& exportFolder, uint16_t noticePort) {
    auto key = orb::reg::Registry::Default().Create(orb::reg::Root::CurrentUser, kUserSettingsKey);
    if (!key) return false;
    orb::reg::Registry::Batch batch(orb::reg::Registry::Default(), orb::reg::Root::CurrentUser);
    bool ok = key.WriteString("CurrentExportFolder", exportFolder) && key.WriteString("FileNamePattern", kPageFilePrefix) &&
              key.WriteString("Host", kNoticeHost) && key.WriteDWord("Port", noticePort);
    return batch.Commit() && ok;
}

fs::path MakeJobFolder(const fs::path& base, uint32_t tickCount) {
    if (base.empty()) return {};
    fs::path folder = base / std::to_string(tickCount);
    std::error_code ec;
    fs::create_directories(folder, ec);
    struct stat st {};
    if (ec || lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    chmod(folder.c_str(), 0700);
    return folder.string() + "/";
}

uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void TPageList::AddPrintedPage(fs::path page) {
    std::lock_guard lock(mu_);
    pages_.push_back(std::move(page));
}

std::vector<fs::path> TPageList::Snapshot() const {
    std::lock_guard lock(mu_);
    return pages_;
}

void TPageList::Clear() {
    std::lock_guard lock(mu_);
    pages_.clear();
}

size_t TPageList::Count() const {
    std::lock_guard lock(mu_);
    return pages_.size();
}

bool UploadPresentation(const std::vector<fs::path>& pages, const fs::path& index, int32_t pageCount,
                        const UploadFileFn& upload, const std::function<void(int)>& onPage) {
    int32_t number = 0;
    for (const auto& page : pages) {
        ++number;
        if (onPage) onPage(number);
        if (!upload(page, number, kUploadPage)) return false;
    }
    return upload(index, pageCount, kUploadIndex);
}

namespace {

std::string LowerExtension(const fs::path& p) {
    std::string e = p.extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return e;
}

}  // namespace

bool IsPresentationFile(const fs::path& document) {
    const std::string e = LowerExtension(document);
    return e == ".ppt" || e == ".pptx" || e == ".pps" || e == ".ppsx" || e == ".odp";
}

TPrintRoute RouteOf(const fs::path& document) {
    static const char* const direct[] = {".pdf", ".ps",  ".eps", ".txt", ".text", ".jpg", ".jpeg", ".png",
                                         ".gif", ".bmp", ".tif", ".tiff", ".pnm", ".ppm", ".pgm", ".pbm"};
    const std::string e = LowerExtension(document);
    for (const char* d : direct)
        if (e == d) return TPrintRoute::Direct;
    return TPrintRoute::Office;
}

}  // namespace orb::print
