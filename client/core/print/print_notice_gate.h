#pragma once
// Which print notices a print job accepts. Notices come as UDP datagrams on a loopback port any
// local program can send to, so each one is checked against the job that is running before it
// may count a page or end the job.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "printnotice/print_notice.h"

namespace orb::print {

enum class TNoticeVerdict {
    Ignore,      // not for this job, malformed, or not a kind the job reacts to
    Activate,    // a notice of this job that only activates the window (page begun, unknown kinds)
    Started,     // the job's start notice: its job id is now the job's
    PageSaved,   // a page file that passed every check
    Ended,       // the document ended
    Failed,      // the monitor reported an error: the job ends as failed
};

class TPrintNoticeGate {
public:
    // Starts accepting notices for a job writing into `exportFolder` (absolute, ending with "/")
    // with page files named `prefix` + number + ".jpg".
    void Begin(std::filesystem::path exportFolder, std::string prefix);
    // Stops accepting anything.
    void End();
    bool Running() const { return running_; }
    int32_t JobId() const { return jobId_; }

    // Checks one datagram. For PageSaved, `pagePath` is the page file.
    TNoticeVerdict Check(std::span<const uint8_t> datagram, TPrintNotice& notice, std::filesystem::path& pagePath);

    // A page path is taken only when it is a regular file (not a link) directly inside the export
    // folder, named prefix + decimal number + ".jpg", and starting with the JPEG signature.
    static bool AcceptablePage(const std::filesystem::path& exportFolder, const std::string& prefix,
                               const std::string& path);

private:
    bool running_ = false;
    bool jobKnown_ = false;
    int32_t jobId_ = 0;
    std::filesystem::path folder_;
    std::string prefix_;
};

}  // namespace orb::print
