#pragma once
// TvpjRenderer: interprets the printer byte stream in buffers of any size, paints each page into a
// 24-bit bitmap, saves it as a JPEG file with its footer line, and announces page start, saved page
// and errors with print notices. Everything in the stream is untrusted: sizes come only from the
// fixed tables, and pixels that fall outside the bitmap are dropped.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "footer.h"
#include "page_bitmap.h"
#include "printnotice/print_notice.h"

namespace pagorix {

// Delivers one notice to the notice address; the default sends it as a UDP datagram.
using NoticeSink = std::function<void(const orb::TPrintNotice&, const std::string& host, int port)>;
// Saves the finished page; the default encodes a JPEG and writes the file.
using PageSaver = std::function<bool(const PageBitmap&, int quality, const std::string& path)>;

constexpr uint32_t kRenderErrorCode = 22;  // last-error code after a rendering error
constexpr const char* kFooterText =
    "This page was printed with Orbelo Live 6 Document Loader. www.orbelo.com";

class TvpjRenderer {
public:
    enum State : int32_t {
        stCommand = 0,
        stParamLow = 1,
        stParamHigh = 2,
        stSetX = 10,
        stSetY = 11,
        stStartRun = 12,
        stRunByte = 13,
        stSkip = 14,
    };

    TvpjRenderer();

    // Interprets count bytes; sets the last-error code to 0, or to 22 after a rendering error (the
    // rest of the buffer and of the document is then dropped). Nothing happens for an empty buffer.
    uint32_t WriteData(const uint8_t* buffer, uint32_t count);

    // A new document: the parser starts from its initial state and a previous error is forgotten,
    // so the remains of a cut-off job are never read as this job's commands.
    void BeginDocument();

    void SetJobId(int32_t id) { jobId_ = id; }
    void SetExportFolder(const std::string& folder) { exportFolder_ = folder; }
    // Only the last path component is kept: page files never leave the export folder.
    void SetFilePrefix(const std::string& prefix);
    void SetNoticeHost(const std::string& host) { noticeHost_ = host; }
    void SetNoticePort(int32_t port) { noticePort_ = port; }

    void UpdatePageSize();
    bool SavePageAsJpeg(const std::string& fileName);
    void SendNotice(int32_t kind, int32_t page, const std::string& path, int32_t pageValue);

    // The most bitmap memory a page may take; a page above it is a rendering error. By default the
    // largest page of the tables (A3 at 600 dpi).
    void SetBitmapByteLimit(size_t bytes) { bitmapByteLimit_ = bytes; }
    static size_t LargestBitmapBytes();

    void SetNoticeSink(NoticeSink sink) { noticeSink_ = std::move(sink); }
    void SetPageSaver(PageSaver saver) { pageSaver_ = std::move(saver); }

    int32_t JobId() const { return jobId_; }
    int32_t Orientation() const { return orientation_; }
    int32_t PageNumber() const { return pageNumber_; }
    int32_t ParserState() const { return state_; }
    int32_t CursorX() const { return cursorX_; }
    int32_t CursorY() const { return cursorY_; }
    int32_t BitmapWidth() const { return bitmapWidth_; }
    int32_t BitmapHeight() const { return bitmapHeight_; }
    const std::string& ExportFolder() const { return exportFolder_; }
    const std::string& FilePrefix() const { return filePrefix_; }
    const PageBitmap& Bitmap();
    static int QualityOf(int32_t qualityIndex);

private:
    void Run(const uint8_t* p, const uint8_t* end);
    void Command(uint8_t cmd);
    void NewPage();
    void EndPage();
    void EnsureBitmap();
    void PutPixels(const uint8_t* rgb, int64_t count);
    void TakePixelByte(uint8_t b);

    int32_t jobId_ = 0;
    int32_t paperIndex_ = 2;
    int32_t cursorX_ = 0;
    int32_t cursorY_ = 0;
    int32_t resolutionIndex_ = 1;
    int32_t orientation_ = 0;
    int32_t pageNumber_ = 0;
    int32_t state_ = stCommand;
    uint32_t parameter_ = 0;
    int32_t pageHeight_ = 0;
    int32_t pageWidth_ = 0;
    int32_t qualityIndex_ = 0;
    int32_t stateAfterParameter_ = stCommand;
    PageBitmap bitmap_;
    std::vector<uint8_t> dirtyRows_;  // rows painted since the bitmap was last whitened
    int32_t bitmapWidth_ = 0;   // the size the bitmap has; storage follows lazily
    int32_t bitmapHeight_ = 0;
    int32_t originX_ = 0, originY_ = 0;
    int64_t runRow_ = 0, runColumn_ = 0;
    int32_t pixelByteCount_ = 0;
    uint8_t pixelBytes_[3] = {};
    std::string exportFolder_;
    std::string filePrefix_;
    int32_t noticePort_ = 22227;
    std::string noticeHost_ = "127.0.0.1";
    int32_t fileCounter_ = 0;

    size_t bitmapByteLimit_ = LargestBitmapBytes();
    bool pageOpen_ = false;     // a new-page command came and its end has not
    bool discarding_ = false;   // after an error, until the next document
    FooterPainter footer_;
    NoticeSink noticeSink_;
    PageSaver pageSaver_;
};

// Sends the 518-byte record as one datagram; false when the address or the socket call fails.
bool SendPrintNotice(const orb::TPrintNotice& notice, const std::string& host, int port);

// The default page saver: JPEG at the given quality, written without following a link.
bool SaveJpegFile(const PageBitmap& bmp, int quality, const std::string& path);

}  // namespace pagorix
