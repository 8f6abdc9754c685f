#pragma once
// Sending a document to the document printer. PDF, PostScript, pictures and text go to CUPS as
// they are; office documents are made a PDF by LibreOffice first. The destination is always named,
// so the user's default printer is never changed.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "print/drv_installer.h"

namespace orb::print {

// Queues the document on the document printer; false when it could not be converted or queued.
bool SubmitToDocumentPrinter(ICommandRunner& runner, const std::filesystem::path& document,
                             const std::filesystem::path& scratchFolder, const std::filesystem::path& profileFolder,
                             std::string* error = nullptr, std::string* jobId = nullptr);

// Waits until the CUPS job has left the document printer's queue (printed, failed or cancelled),
// `stop` is set or `limit` has passed.
void WaitForPrintJob(ICommandRunner& runner, const std::string& jobId, const std::atomic<bool>& stop,
                     std::chrono::seconds limit);

// Whether the document can be printed: a kind CUPS prints itself, or LibreOffice is there.
bool CanPrintDocument(ICommandRunner& runner, const std::filesystem::path& document);

}  // namespace orb::print
