#pragma once
// What both roads into a presentation share: the presentation id, the index file, the per-user
// values the print monitor reads, and the upload of pages then index, one at a time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace orb::print {

inline constexpr const char* kPrinterName = "Orbelo Live 6 Document Loader";
inline constexpr const char* kPrinterQueue = "OrbeloLive6DocLoader";  // queue names hold no spaces
inline constexpr const char* kMonitorName = "OrbeloLive6DocLoader";
inline constexpr const char* kPortName = "OrbeloLive6DocLoader";
inline constexpr const char* kDriverName = "OrbeloLive6DocDriver";
inline constexpr const char* kPageFilePrefix = "Slide_";
inline constexpr const char* kUserSettingsKey = "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6 Document Loader";
inline constexpr const char* kNoticeHost = "127.0.0.1";
inline constexpr uint16_t kNoticePort = 27777;
inline constexpr int kConfirmAbovePages = 10;

// Upload types of the two files of a presentation.
inline constexpr int kUploadIndex = 4;
inline constexpr int kUploadPage = 5;

std::string PresentationId(int32_t ownUserId, uint32_t tickCount);

// The presentation index file: written as a whole, in the Windows-1252 code page with CRLF lines.
class TPresentationIndex {
public:
    std::string name;
    std::string fileName;
    int32_t slidesCount = 0;
    std::vector<std::pair<int32_t, std::string>> slides;  // key, page file name
    std::string Text() const;
    bool Save(const std::filesystem::path& file) const;  // through a temporary name
};

// Writes CurrentExportFolder, FileNamePattern, Host and Port for the current user; false when the
// key could not be written.
bool WriteMonitorUserSettings(const std::string& exportFolder, uint16_t noticePort = kNoticePort);

// Creates `base` + tick count + "/" (with missing parents, mode 0700); empty on failure.
std::filesystem::path MakeJobFolder(const std::filesystem::path& base, uint32_t tickCount);

// Milliseconds since boot, as the folder and presentation names use it.
uint32_t TickCount();

// Page paths collected while a print job runs; appended from wherever notices are handled.
class TPageList {
public:
    void AddPrintedPage(std::filesystem::path page);
    std::vector<std::filesystem::path> Snapshot() const;
    void Clear();
    size_t Count() const;

private:
    mutable std::mutex mu_;
    std::vector<std::filesystem::path> pages_;
};

// Uploads one file; true only when the server took it.
using UploadFileFn = std::function<bool(const std::filesystem::path& file, int32_t number, int type)>;

// Uploads the pages in order as type 5 numbered from 1, stopping at the first failure, then (only
// when all pages went) the index as type 4 numbered `pageCount`. `onPage(i)` runs before page i.
bool UploadPresentation(const std::vector<std::filesystem::path>& pages, const std::filesystem::path& index,
                        int32_t pageCount, const UploadFileFn& upload, const std::function<void(int)>& onPage = {});

// More than ten pages ask before uploading.
inline bool NeedsUploadConfirmation(int32_t pages) { return pages > kConfirmAbovePages; }

// ".ppt"/".pptx" and the other presentation formats take the export road; everything else prints.
bool IsPresentationFile(const std::filesystem::path& document);

// How a document reaches the printer: directly (PDF, PostScript, images, text) or converted by
// LibreOffice first (office documents and anything else).
enum class TPrintRoute { Direct, Office };
TPrintRoute RouteOf(const std::filesystem::path& document);

}  // namespace orb::print
