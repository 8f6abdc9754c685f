#include "print/document_uploader.h"

#include <chrono>
#include <charconv>

#include "util/folders.h"

namespace orb::print {

namespace fs = std::filesystem;

std::string ManyPagesQuestion(int32_t pages) {
    return "The file you are about to upload contains " + std::to_string(pages) + " pages. " + "\r\n" +
           "If you are on a slow Internet connection it may take some time to upload them." + "\r\n\r\n" +
           "Click OK to continue or Cancel to quit without uploading.";
}

std::string NormalisedSide(const std::string& text, int fallback) {
    int v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size()) return std::to_string(fallback);
    return text;
}

namespace {

int ReadSide(const std::string& text, int fallback) {
    int v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && p == text.data() + text.size() ? v : fallback;
}

}  // namespace

TDocumentUploader::TDocumentUploader(IDocumentUploaderView& view, TUploaderServices services)
    : view_(view), services_(std::move(services)) {
    view_.SetButtons(true, false, false);
}

TDocumentUploader::~TDocumentUploader() {
    stop_ = true;
    *alive_ = false;
    if (worker_.joinable()) worker_.join();
}

void TDocumentUploader::Post(std::function<void()> fn) {
    auto alive = alive_;
    services_.toMainThread([alive, fn = std::move(fn)] {
        if (*alive) fn();
    });
}

void TDocumentUploader::RunWorker(std::function<void()> work) {
    // One worker at a time: the buttons that start one are disabled while it runs.
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread(std::move(work));
}

void TDocumentUploader::Shown() { view_.SetProgress(0); }

void TDocumentUploader::RestoreButtons() {
    view_.SetBusy(false);
    const bool chosen = !document_.empty();
    view_.SetButtons(true, chosen, chosen);
}

void TDocumentUploader::SelectFile(const fs::path& document) {
    if (busy_) return;
    document_ = document;
    view_.SetDocumentPath(document.string());
    view_.SetProgress(0);
    view_.SetPageCount("");
    view_.SetStatus("Idle");
    view_.SetButtons(true, true, true);
    view_.ShowSlideSize(IsPresentationFile(document));
}

void TDocumentUploader::Upload(bool sizeChecked, const std::string& width, const std::string& height) {
    if (busy_) return;
    std::string trimmed = document_.string();
    trimmed.erase(0, trimmed.find_first_not_of(" \t"));
    if (trimmed.empty()) return;
    if (IsPresentationFile(document_)) {
        StartPresentationExport(sizeChecked ? ReadSide(width, 800) : 0, sizeChecked ? ReadSide(height, 600) : 0);
        return;
    }
    pages_.Clear();
    if (services_.canOpen && !services_.canOpen(document_) &&
        view_.ShowMessage(TMsgKind::Error, TMsgButtons::YesNo, kMsgOpenAnyway) != TMsgAnswer::Yes)
        return;
    StartPrintExport(false);
}

void TDocumentUploader::AdvancedUpload() {
    if (busy_ || document_.empty()) return;
    if (view_.ShowMessage(TMsgKind::Confirmation, TMsgButtons::YesNo, kMsgAdvanced) != TMsgAnswer::Yes) return;
    pages_.Clear();
    StartPrintExport(true);
}

void TDocumentUploader::EndJob(bool closeWindow) {
    gate_.End();
    busy_ = false;
    RestoreButtons();
    if (closeWindow) view_.CloseWindow();
}

void TDocumentUploader::StartPrintExport(bool advanced) {
    busy_ = true;
    advanced_ = advanced;
    view_.SetBusy(true);
    view_.SetButtons(false, false, false);
    view_.SetStatus("Preparing...");
    std::string why;
    if (services_.printerInstalled && services_.printerInstalled(why)) {
        PrintWithPrinter();
        return;
    }
    view_.ShowMessage(TMsgKind::Confirmation, TMsgButtons::Ok, kMsgFirstUse);
    view_.SetBusy(true);
    // Installing may wait for a person at the administrator prompt: it runs off the main thread,
    // which keeps the room turning meanwhile.
    RunWorker([this] {
        std::string reason;
        bool ok = services_.installPrinter && services_.installPrinter(reason);
        if (ok) ok = services_.printerInstalled && services_.printerInstalled(reason);
        Post([this, ok, reason] {
            if (ok) return PrintWithPrinter();
            // Without the printer nothing would ever arrive: the job stops here.
            view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok,
                              "The document printer \"" + std::string(kPrinterName) + "\" could not be installed.\r\n" +
                                  reason);
            view_.SetStatus("Idle");
            EndJob(false);
        });
    });
}

void TDocumentUploader::PrintWithPrinter() {
    const bool advanced = advanced_;
    const uint32_t tick = TickCount();
    exportFolder_ = MakeJobFolder(services_.workFolder, tick);
    if (exportFolder_.empty()) {
        view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok, kMsgExportFolder);
        EndJob(false);
        return;
    }
    pageCount_ = 0;
    WriteMonitorUserSettings(exportFolder_.string(), services_.noticePort);
    view_.StartListener();  // a port in use only means no notices: the job still runs
    presentationId_ = PresentationId(services_.ownUserId, tick);
    index_ = {};
    index_.name = index_.fileName = document_.filename().string();
    gate_.Begin(exportFolder_, kPageFilePrefix);

    if (advanced) {
        if (!services_.open || !services_.open(document_)) {
            view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok, kMsgNoApplication);
            EndJob(false);
            return;
        }
        view_.SetBusy(false);
        view_.SetStatus("Waiting for a print job.");
        view_.SetButtons(true, false, false);
        return;
    }
    const fs::path document = document_, folder = exportFolder_;
    const uint64_t generation = ++jobGeneration_;
    RunWorker([this, document, folder, generation] {
        std::string job;
        const bool queued = services_.print && services_.print(document, folder, job);
        Post([this, queued] {
            if (queued) return;  // the notices take it from here
            view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok, kMsgNoApplication);
            EndJob(false);
        });
        if (!queued || !services_.waitPrinted) return;
        services_.waitPrinted(job, stop_);
        // The end notice is sent before the job leaves the queue; a moment's grace lets it arrive.
        for (int i = 0; i < 20 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Post([this, generation] {
            // A job that left the queue without its end notice failed before the monitor could
            // tell (a failed filter or backend): it must not wait for ever.
            if (generation != jobGeneration_ || !gate_.Running()) return;
            view_.ShowMessage(TMsgKind::Information, TMsgButtons::Ok, kMsgPrintFailed);
            EndJob(false);
        });
    });
}

namespace {

// Printed pages go up under the names the presentations library asks for ("Slide_<n>.JPG", as the
// export road names them), so a server that compares names exactly finds them. The page is ours
// once announced; when it cannot be renamed it goes up under its own name.
fs::path AsSlideFile(const fs::path& page, int32_t number) {
    const fs::path slide = page.parent_path() / ("Slide_" + std::to_string(number) + ".JPG");
    if (slide == page) return page;
    std::error_code ec;
    if (fs::exists(slide, ec)) return page;
    fs::rename(page, slide, ec);
    return ec ? page : slide;
}

}  // namespace

void TDocumentUploader::UDPPrintReaderUDPRead(std::span<const uint8_t> datagram) {
    TPrintNotice notice;
    fs::path page;
    const TNoticeVerdict verdict = gate_.Check(datagram, notice, page);
    if (verdict == TNoticeVerdict::Ignore) return;  // a stray or forged datagram does not even raise the window
    view_.Activate();
    switch (verdict) {
        case TNoticeVerdict::PageSaved:
            view_.SetStatus("Counting ... " + std::to_string(notice.pageValue));
            ++pageCount_;
            page = AsSlideFile(page, pageCount_);
            index_.slides.emplace_back(pageCount_, page.filename().string());
            pages_.AddPrintedPage(page);
            break;
        case TNoticeVerdict::Failed:
            gate_.End();
            view_.ShowMessage(TMsgKind::Information, TMsgButtons::Ok, kMsgPrintFailed);
            EndJob(false);
            break;
        case TNoticeVerdict::Ended:
            gate_.End();
            view_.SetBusy(false);
            index_.slidesCount = pageCount_;
            view_.SetProgressMax(pageCount_);
            view_.SetPageCount(std::to_string(pageCount_));
            PrintJobDone();
            break;
        default:
            break;
    }
}

void TDocumentUploader::PrintJobDone() {
    view_.Activate();
    view_.SetButtons(true, false, false);
    const fs::path indexFile = exportFolder_ / index_.fileName;
    if (!index_.Save(indexFile)) {
        view_.ShowMessage(TMsgKind::Information, TMsgButtons::Ok, kMsgPrintFailed);
        EndJob(false);
        return;
    }
    if (NeedsUploadConfirmation(pageCount_) &&
        view_.ShowMessage(TMsgKind::Information, TMsgButtons::OkCancel, ManyPagesQuestion(pageCount_)) !=
            TMsgAnswer::Ok) {
        EndJob(false);
        return;
    }
    view_.SetButtons(false, false, false);
    const auto pages = pages_.Snapshot();
    const int32_t count = pageCount_;
    const std::string id = presentationId_;
    RunWorker([this, pages, indexFile, count, id] {
        const bool ok = UploadPresentation(
            pages, indexFile, count,
            [this, &id](const fs::path& file, int32_t number, int type) {
                return !stop_ && services_.upload && services_.upload(file, number, type, id);
            },
            [this](int i) {
                Post([this, i] {
                    view_.SetStatus("Uploading Page " + std::to_string(i));
                    view_.SetProgress(i);
                });
            });
        Post([this, ok] {
            view_.ShowMessage(TMsgKind::Information, TMsgButtons::Ok, ok ? kMsgExported : kMsgPrintFailed);
            EndJob(true);
        });
    });
}

void TDocumentUploader::StartPresentationExport(int width, int height) {
    busy_ = true;
    view_.SetButtons(false, false, false);
    TExportRequest request;
    request.document = document_;
    request.workBase = services_.workFolder;
    request.ownUserId = services_.ownUserId;
    request.width = width;
    request.height = height;
    presentationId_ = PresentationId(services_.ownUserId, TickCount());
    request.presentationId = presentationId_;
    RunWorker([this, request] {
        TExportEvents events;
        events.progress = [this](int stage, int n) {
            Post([this, stage, n] {
                const std::string status = StageStatus(stage, n);
                if (!status.empty()) view_.SetStatus(status);
                if (stage == esSlideCount) {
                    view_.SetPageCount(std::to_string(n));
                    view_.SetProgressMax(n);
                } else if (stage == esExporting || stage == esExported) {
                    view_.SetProgress(n);
                } else if (stage == esDone) {
                    view_.ShowMessage(TMsgKind::Information, TMsgButtons::Ok, kMsgExported);
                } else if (stage == esFailed) {
                    view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok,
                                      n == kFailedUpload ? kMsgPrintFailed : kMsgNotExported);
                }
            });
        };
        events.error = [this](const std::string& text) {
            Post([this, text] { view_.ShowMessage(TMsgKind::Error, TMsgButtons::Ok, text); });
        };
        const std::string id = request.presentationId;
        events.upload = [this, id](const fs::path& file, int32_t number, int type) {
            return !stop_ && services_.upload && services_.upload(file, number, type, id);
        };
        const bool ok = ExportAndUploadPresentation(request, services_.exportTools, events, &stop_).ok;
        // Success closes the window; otherwise the thread's end gives the buttons back.
        Post([this, ok] { EndJob(ok); });
    });
}

void TDocumentUploader::Closing() {
    gate_.End();
    busy_ = false;
    view_.SetBusy(false);
    view_.StopListener();
    if (services_.requestPresentationList) services_.requestPresentationList();
}

}  // namespace orb::print
