#pragma once
// A presentation (or any office document) exported slide by slide: LibreOffice headless turns it
// into a PDF (one run per document with a private user profile), poppler renders each page to
// PNG, which becomes a JPEG of quality 100; each slide is uploaded as it is made, the index file
// last. Runs on a worker; progress goes out as the window's stages 1 to 7.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "print/drv_installer.h"
#include "print/presentation_files.h"

namespace orb::print {

// Stages of WM_APP_EXPORTPROGRESS (lParam), with the number they carry (wParam).
enum TExportStage : int {
    esConnecting = 1,
    esOpening = 2,
    esSlideCount = 3,
    esExporting = 4,
    esExported = 5,
    esDone = 6,
    esFailed = 7,  // wParam 0: could not export; 1: pages could not be uploaded
};
inline constexpr int kFailedExport = 0;
inline constexpr int kFailedUpload = 1;

// Status text of a stage, empty for stages that show a message or only set numbers.
std::string StageStatus(int stage, int number);

inline constexpr const char* kMsgFolder = "Unable to prepare temporary presentation folder.";
inline constexpr const char* kMsgConnect =
    "Unable to start LibreOffice.\r\nPlease make sure LibreOffice Impress is installed on your computer (Debian "
    "packages libreoffice-impress, libreoffice-writer and poppler-utils).";
inline constexpr const char* kMsgOpen =
    "Unable to open the presentation file.\r\nPlease make sure the file is not corrupted or locked.";
inline constexpr const char* kMsgExported =
    "The file was successfully exported to server. \r\nIt is now available in the Presentations' library.\r\n"
    "Double click on it to launch the first page.";
inline constexpr const char* kMsgNotExported =
    "Presentation not exported.\r\nPlease make sure LibreOffice Impress is installed on your computer (Debian "
    "packages libreoffice-impress, libreoffice-writer and poppler-utils).";
inline constexpr const char* kMsgUploadFailed =
    "Some errors occured while converting the file. \r\nSome pages were not uploaded. You may need to retry.";

// The outside programs, replaceable in tests.
struct TExportTools {
    // Whether the converter can run at all.
    std::function<bool()> available;
    // Document to PDF inside `outFolder`; the PDF's path on success.
    std::function<bool(const std::filesystem::path& document, const std::filesystem::path& outFolder,
                       std::filesystem::path& pdf)>
        toPdf;
    // Number of pages of a PDF, -1 when it cannot be read.
    std::function<int(const std::filesystem::path& pdf)> pageCount;
    // One page (from 1) to PNG; width/height 0: the page's own size at 96 dpi.
    std::function<bool(const std::filesystem::path& pdf, int page, int width, int height,
                       const std::filesystem::path& png)>
        renderPage;
};

// soffice, pdfinfo and pdftoppm through `runner`; `profileFolder` holds LibreOffice's private
// user profile (made on first use).
TExportTools SystemExportTools(ICommandRunner& runner, std::filesystem::path profileFolder);

struct TExportRequest {
    std::filesystem::path document;
    std::filesystem::path workBase;  // the client's work folder
    int32_t ownUserId = 0;
    int width = 0;   // 0: not set
    int height = 0;  // 0: not set
    std::string presentationId;  // made from the user id and the tick count when empty
};

struct TExportEvents {
    std::function<void(int stage, int number)> progress;
    std::function<void(const std::string& text)> error;  // error messages in the order they come
    UploadFileFn upload;
};

struct TExportResult {
    bool ok = false;
    int uploaded = 0;
    std::string presentationId;
};

// The whole road; `stop` ends it between slides (as a failure).
TExportResult ExportAndUploadPresentation(const TExportRequest& request, const TExportTools& tools,
                                          const TExportEvents& events, const std::atomic<bool>* stop = nullptr);

}  // namespace orb::print
