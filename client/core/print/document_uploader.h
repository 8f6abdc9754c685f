#pragma once
// The decisions of the "Document Uploader" window: choosing a file, the print road (document
// printer, notices, pages, upload) and the export road (slides through LibreOffice), with the
// window's buttons, texts and messages. Long work (printing, converting, uploading) runs on worker
// threads the uploader owns and joins; their results come back through `toMainThread`.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "print/presentation_export.h"
#include "print/presentation_files.h"
#include "print/print_notice_gate.h"

namespace orb::print {

enum class TMsgKind { Information, Error, Confirmation };
enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgAnswer { Ok, Cancel, Yes, No };

class IDocumentUploaderView {
public:
    virtual ~IDocumentUploaderView() = default;
    virtual void SetDocumentPath(const std::string& path) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetPageCount(const std::string& text) = 0;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void SetButtons(bool close, bool upload, bool advanced) = 0;
    virtual void ShowSlideSize(bool show) = 0;  // the slide-size panel instead of the hint panel
    virtual void SetBusy(bool busy) = 0;         // hourglass cursor
    virtual TMsgAnswer ShowMessage(TMsgKind kind, TMsgButtons buttons, const std::string& text) = 0;
    virtual void Activate() = 0;  // to the front
    virtual bool StartListener() = 0;  // UDP on 127.0.0.1:27777; false when it cannot listen
    virtual void StopListener() = 0;
    virtual void CloseWindow() = 0;
};

struct TUploaderServices {
    int32_t ownUserId = 0;
    std::filesystem::path workFolder;  // the client's work folder
    uint16_t noticePort = kNoticePort;  // where the monitor sends its notices (the listener's port)
    // Uploads one file of a presentation and waits for the server's answer (worker thread).
    std::function<bool(const std::filesystem::path& file, int32_t number, int type, const std::string& presentationId)>
        upload;
    // Makes sure the document printer is installed; false with a reason when it is not (and cannot be).
    std::function<bool(std::string& why)> printerInstalled;
    std::function<bool(std::string& why)> installPrinter;
    // Sends the document to the document printer (worker thread); false when it could not be queued.
    // `job` names the queued job for `waitPrinted`.
    std::function<bool(const std::filesystem::path& document, const std::filesystem::path& exportFolder,
                       std::string& job)>
        print;
    // Waits until the printing system is done with the job (worker thread; stops early when `stop`
    // is set). Unset: the notices alone end the job.
    std::function<void(const std::string& job, const std::atomic<bool>& stop)> waitPrinted;
    // Opens the document with its application (advanced mode).
    std::function<bool(const std::filesystem::path& document)> open;
    // Whether some application can open (and so print) the document.
    std::function<bool(const std::filesystem::path& document)> canOpen;
    std::function<void()> requestPresentationList;  // kind 49
    std::function<void(std::function<void()>)> toMainThread;
    TExportTools exportTools;
};

inline constexpr const char* kMsgFirstUse =
    "It seems that this is the first time to use the Orbelo Live document loader.\r\nOrbelo Live will now try to "
    "prepare your system for presenting files in your virtual room.\r\nThis may take some time. Please be "
    "patient.\r\n\r\nClick the OK button to continue.";
inline constexpr const char* kMsgExportFolder = "Unable to prepare the Export Folder";
inline constexpr const char* kMsgNoApplication =
    "An error occured while trying to process the file.\r\nIt is either not present or there is no application "
    "associated with this file.";
inline constexpr const char* kMsgOpenAnyway =
    "Orbelo Live was not able to locate the application which opens this file.\r\nDo you want to try to open this "
    "anyway?";
inline constexpr const char* kMsgAdvanced =
    "In advanced mode you can upload individual pages or files which require special processing.\r\n\r\nIf you "
    "choose Yes Orbelo Live will try to open the file you selected with its associated application.\r\nAfter the "
    "file is opened Orbelo Live will go in background while you do the following: \r\n\r\n1. Click on the Print "
    "menu of your application.\r\n2. For printer choose \"Orbelo Live 6 Document Loader\"\r\n3. Configure other "
    "print options if needed (page range etc.).\r\n4. Print the file (or the selection) as you usually do.\r\n\r\n"
    "Once the print job is done Orbelo Live will be activated and the document uploaded.\r\n\r\nDo you want to "
    "continue?";
inline constexpr const char* kMsgPrintFailed =
    "Some errors occured while converting the file. \r\nSome pages were not uploaded. You may need to retry.";
inline constexpr const char* kFileFilter =
    "All Files|*.*|Acrobat Reader Files|*.pdf|Microsoft Word Files |*.doc; *.docx; *.dot; *.docm; *dotm|Microsoft "
    "Excel Files|*.xls; *.xlsx; *.xlsm; *.xlt; *.xltx|Microsoft PowerPoint Files|*.ppt; *.pptx|Text Files|*.txt; "
    "*.rtf; *.csv|Hyper Text Documents|*.htm; *.html|Common Image Files|*.bmp; *.jpg; *.jpeg; *.gif; *.png; "
    "*.tiff; *.wmf";

std::string ManyPagesQuestion(int32_t pages);

// Slide-size edits: a text that does not read as a number becomes the default.
std::string NormalisedSide(const std::string& text, int fallback);

class TDocumentUploader {
public:
    TDocumentUploader(IDocumentUploaderView& view, TUploaderServices services);
    ~TDocumentUploader();  // joins its workers
    TDocumentUploader(const TDocumentUploader&) = delete;
    TDocumentUploader& operator=(const TDocumentUploader&) = delete;

    void Shown();
    void SelectFile(const std::filesystem::path& document);
    void Upload(bool sizeChecked, const std::string& width, const std::string& height);
    void AdvancedUpload();
    // One datagram from the listener.
    void UDPPrintReaderUDPRead(std::span<const uint8_t> datagram);
    // The window is closing.
    void Closing();

    bool Busy() const { return busy_; }
    int32_t PagesReceived() const { return pageCount_; }
    const std::string& PresentationIdOfJob() const { return presentationId_; }
    const std::filesystem::path& ExportFolder() const { return exportFolder_; }
    const TPrintNoticeGate& Gate() const { return gate_; }

private:
    void StartPrintExport(bool advanced);
    void StartPresentationExport(int width, int height);
    // The rest of a print job once the document printer is there.
    void PrintWithPrinter();
    void PrintJobDone();
    void EndJob(bool closeWindow);
    void RestoreButtons();
    void RunWorker(std::function<void()> work);
    void Post(std::function<void()> fn);

    IDocumentUploaderView& view_;
    TUploaderServices services_;
    std::filesystem::path document_;
    std::filesystem::path exportFolder_;
    std::string presentationId_;
    TPresentationIndex index_;
    TPageList pages_;
    TPrintNoticeGate gate_;
    int32_t pageCount_ = 0;
    uint64_t jobGeneration_ = 0;
    bool advanced_ = false;
    bool busy_ = false;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::atomic<bool> stop_{false};
};

}  // namespace orb::print
