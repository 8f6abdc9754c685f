#include "print/print_submit.h"

#include "print/presentation_export.h"
#include "print/presentation_files.h"

namespace orb::print {

namespace fs = std::filesystem;

bool SubmitToDocumentPrinter(ICommandRunner& runner, const fs::path& document, const fs::path& scratchFolder,
                             const fs::path& profileFolder, std::string* error) {
    std::error_code ec;
    if (!fs::is_regular_file(document, ec)) {
        if (error) *error = "no such file";
        return false;
    }
    fs::path file = document;
    if (RouteOf(document) == TPrintRoute::Office) {
        fs::path converted = scratchFolder / "converted";
        fs::create_directories(converted, ec);
        if (!SystemExportTools(runner, profileFolder).toPdf(document, converted, file)) {
            if (error) *error = "the document could not be converted";
            return false;
        }
    }
    std::string out;
    // An absolute path: a file name starting with "-" is never read as an option.
    const int rc = runner.Run(
        {"lp", "-d", kPrinterQueue, "-t", document.filename().string(), fs::absolute(file, ec).string()}, &out);
    if (rc != 0 && error) *error = "lp failed with status " + std::to_string(rc);
    return rc == 0;
}

bool CanPrintDocument(ICommandRunner& runner, const fs::path& document) {
    if (RouteOf(document) == TPrintRoute::Direct) return true;
    std::string out;
    return runner.Run({"soffice", "--version"}, &out) == 0;
}

}  // namespace orb::print
