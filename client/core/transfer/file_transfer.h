#pragma once
// Uploads and downloads on their own TCP connections to the room server's file-transfer port.
// One request and one reply per connection, each a TVCRHeader with a TResourceInfo descriptor
// (and the file bytes):
//   upload:   C->S header(kind by type, body = 773 + size), descriptor, file; S->C header (result)
//   download: C->S header(kind by type, body = 773), descriptor (id -1, name, path, description);
//             S->C header(result, body), descriptor, file bytes (the descriptor's size)
// Everything the server sends is checked: the body must be exactly descriptor + announced size, and
// the received file replaces the local one only once it is complete.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "protocol/records.h"
#include "session/proxy.h"
#include "transfer/worker.h"

namespace orb {

// Transfer types: 0 document, 1 board image, 2 web link, 3 user picture, 4 presentation, 5 slide.
enum TTransferType : int {
    ttDocument = 0,
    ttBoardImage = 1,
    ttWebLink = 2,
    ttUserImage = 3,
    ttPresentation = 4,
    ttSlide = 5,
};

// Message kind of an upload / a download of the type; 0 when the type has none.
uint16_t UploadKind(int type);
uint16_t DownloadKind(int type);

// Result codes of the transfer threads besides the server's own (which are 1..56).
constexpr int kTransferOk = 0;
constexpr int kTransferFailed = -1;       // connection, file or protocol failure
constexpr int kTransferNoFile = -2;       // the file to upload is missing
constexpr int kTransferTooLarge = -3;     // a file or announced size beyond the limits

// Largest file moved on a transfer connection (the body length is a signed 32-bit number).
constexpr int64_t kMaxTransferFileSize = 0x7fffffffLL - static_cast<int64_t>(TResourceInfo::kSize);

// Who we are, from the own account record.
struct TTransferIdentity {
    int32_t userId = 0;
    int16_t room = 0;
    std::string fullNameUtf8;  // the own full name as the account holds it
};

// Where a transfer connects, and how (the proxy attachment is the connection's business).
struct TTransferEndpoint {
    std::string host;
    uint16_t port = 0;
    int connectTimeoutMs = 20000;
    // Reads and writes that make no progress for this long end the transfer.
    int readTimeoutMs = 120000;
    // Connects the client to host:port, through the configured proxy when there is one. Unset:
    // a direct connection.
    std::function<bool(TTcpClient&, const std::string&, uint16_t, int)> connect;
};

// Windows told about finished uploads.
struct TUploadWindows {
    WindowHandle sharedDocuments = 0;  // kind 17: the document list changed
    WindowHandle boardImages = 0;      // kind 23: the board-image list changed
    WindowHandle main = 0;             // kind 52: a presentation arrived
};

// A connect step for TTransferEndpoint that goes through the proxy of the settings (SOCKS 4, 4A, 5
// or an HTTP tunnel); a direct connection when the proxy is off.
std::function<bool(TTcpClient&, const std::string&, uint16_t, int)> ProxyConnect(const TProxySettings& settings);

class TFileUploadThread final : public TWorkerThread {
public:
    TFileUploadThread(IEventLoop& loop, TTransferEndpoint endpoint, TUploadWindows windows, WindowHandle notifyWindow,
                      int32_t number, int type, std::string description, std::filesystem::path filePath,
                      TTransferIdentity identity);
    ~TFileUploadThread() override;

    // The descriptor as sent (valid after the thread ended).
    const TResourceInfo& Descriptor() const { return descriptor_; }

protected:
    void Execute() override;
    void Abort() override { client_.Shutdown(); }

private:
    int Upload();

    IEventLoop& loop_;
    TTransferEndpoint endpoint_;
    TUploadWindows windows_;
    WindowHandle notify_;
    int32_t number_;
    int type_;
    std::string description_;
    std::filesystem::path filePath_;
    TTransferIdentity identity_;
    TTcpClient client_;
    TResourceInfo descriptor_;
};

// Main-thread work after a download: open a received document, draw a received picture on a board.
struct TDownloadActions {
    std::function<void(const std::filesystem::path&)> openFile;
    std::function<void(const std::filesystem::path&, int board)> drawOnBoard;
};

class TFileDownloadThread final : public TWorkerThread {
public:
    // `localPath` is where the file goes: made by our own code inside our own folders (see
    // PathInFolder), never taken from the server.
    TFileDownloadThread(IEventLoop& loop, TTransferEndpoint endpoint, std::string descriptionOrAddress, int board,
                        WindowHandle notifyWindow, int32_t number, int type, bool openAfterDownload,
                        std::filesystem::path localPath, std::string fileName, TTransferIdentity identity,
                        TDownloadActions actions = {});
    ~TFileDownloadThread() override;

    // Bodies above this are refused before anything is written.
    void SetMaxFileSize(int64_t bytes) { maxFileSize_ = bytes; }
    const TResourceInfo& Received() const { return received_; }

protected:
    void Execute() override;
    void Abort() override { client_.Shutdown(); }

private:
    int Download();

    IEventLoop& loop_;
    TTransferEndpoint endpoint_;
    std::string description_;
    int board_;
    WindowHandle notify_;
    int32_t number_;  // 32-bit: user ids are
    int type_;
    bool open_;
    std::filesystem::path localPath_;
    std::string fileName_;
    TTransferIdentity identity_;
    TDownloadActions actions_;
    int64_t maxFileSize_ = 512LL << 20;
    TTcpClient client_;
    TResourceInfo received_;
};

}  // namespace orb
