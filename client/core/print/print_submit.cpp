#include "print/print_submit.h"

#include <thread>

#include "print/presentation_export.h"
#include "print/presentation_files.h"

namespace orb::print {

namespace fs = std::filesystem;

bool SubmitToDocumentPrinter(ICommandRunner& runner, const fs::path& document, const fs::path& scratchFolder,
                             const fs::path& profileFolder, std::string* error, std::string* jobId) {
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
    // "request id is OrbeloLive6DocLoader-12 (1 file(s))"
    const std::string lead = "request id is ";
    if (auto at = out.find(lead); jobId && at != std::string::npos) {
        const auto from = at + lead.size();
        *jobId = out.substr(from, out.find_first_of(" \n", from) - from);
    }
    return rc == 0;
}

void WaitForPrintJob(ICommandRunner& runner, const std::string& jobId, const std::atomic<bool>& stop,
                     std::chrono::seconds limit) {
    if (jobId.empty()) return;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!stop && std::chrono::steady_clock::now() < until) {
        std::string out;
        runner.Run({"lpstat", "-o", kPrinterQueue}, &out);
        bool listed = false;
        size_t at = 0;
        while ((at = out.find(jobId, at)) != std::string::npos) {
            const size_t end = at + jobId.size();
            if ((at == 0 || out[at - 1] == '\n') && (end == out.size() || out[end] == ' ')) listed = true;
            at = end;
        }
        if (!listed) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));  // polling the queue, not timing
    }
}

bool CanPrintDocument(ICommandRunner& runner, const fs::path& document) {
    if (RouteOf(document) == TPrintRoute::Direct) return true;
    std::string out;
    return runner.Run({"soffice", "--version"}, &out) == 0;
}

}  // namespace orb::print
