#include "transfer/file_transfer.h"

#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "protocol/date_time.h"
#include "protocol/message_kinds.h"
#include "protocol/vcr_header.h"
#include "protocol/wm_app.h"
#include "transfer/safe_files.h"
#include "wire/text.h"

namespace fs = std::filesystem;

namespace orb {
namespace {

constexpr size_t kChunk = 64 * 1024;

std::string TrimText(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return std::string(s);
}

bool ConnectTo(TTcpClient& client, const TTransferEndpoint& e) {
    if (e.connect) return e.connect(client, e.host, e.port, e.connectTimeoutMs);
    return client.Connect(e.host, e.port, e.connectTimeoutMs);
}

bool SendHeaderAndDescriptor(TTcpClient& client, uint16_t kind, const TTransferIdentity& id, int32_t bodyLength,
                             const TResourceInfo& descriptor) {
    TVCRHeader h;
    InitVCRHeader(kind, id.userId, id.room, h);
    h.bodyLength = bodyLength;
    std::vector<uint8_t> out;
    h.AppendTo(out);
    ByteWriter w(out);
    descriptor.Encode(w);
    return client.WriteAll(out.data(), out.size());
}

bool ReadHeader(TTcpClient& client, TVCRHeader& h) {
    uint8_t raw[TVCRHeader::kSize];
    return client.ReadExact(raw, sizeof raw) && TVCRHeader::Decode({raw, sizeof raw}, h);
}

class TcpChannel final : public IByteChannel {
public:
    explicit TcpChannel(TTcpClient& c) : c_(c) {}
    bool WriteAll(const void* data, size_t count) override { return c_.WriteAll(data, count); }
    bool ReadExact(void* data, size_t count) override { return c_.ReadExact(data, count); }

private:
    TTcpClient& c_;
};

}  // namespace

std::function<bool(TTcpClient&, const std::string&, uint16_t, int)> ProxyConnect(const TProxySettings& settings) {
    std::shared_ptr<TProxyHandler> handler = MakeProxyHandler(settings);
    return [handler](TTcpClient& client, const std::string& host, uint16_t port, int timeoutMs) {
        if (!handler || !handler->ConnectsToProxy()) return client.Connect(host, port, timeoutMs);
        const auto& proxy = handler->socksInfo;
        if (!client.Connect(proxy.host, proxy.port, timeoutMs)) return false;
        // The negotiation must not hang on a silent proxy.
        int old = client.ReadTimeout();
        client.SetReadTimeout(timeoutMs);
        TcpChannel channel(client);
        std::string error;
        bool ok = handler->Negotiate(channel, host, port, error);
        client.SetReadTimeout(old);
        if (!ok) client.Disconnect();
        return ok;
    };
}

uint16_t UploadKind(int type) {
    switch (type) {
        case ttDocument: return vkUploadDocument;
        case ttBoardImage: return vkUploadBoardImage;
        case ttWebLink: return vkAddWebLink;
        case ttUserImage: return vkUploadUserImage;
        case ttPresentation: return vkUploadPresentation;
        case ttSlide: return vkUploadSlide;
        default: return 0;
    }
}

uint16_t DownloadKind(int type) {
    switch (type) {
        case ttDocument: return vkDownloadDocument;
        case ttBoardImage: return vkDownloadBoardImage;
        case ttUserImage: return vkDownloadUserImage;
        case ttSlide: return vkDownloadSlide;
        default: return 0;
    }
}

// ---- upload

TFileUploadThread::TFileUploadThread(IEventLoop& loop, TTransferEndpoint endpoint, TUploadWindows windows,
                                     WindowHandle notifyWindow, int32_t number, int type, std::string description,
                                     fs::path filePath, TTransferIdentity identity)
    : loop_(loop),
      endpoint_(std::move(endpoint)),
      windows_(windows),
      notify_(notifyWindow),
      number_(number),
      type_(type),
      description_(std::move(description)),
      filePath_(std::move(filePath)),
      identity_(std::move(identity)) {}

TFileUploadThread::~TFileUploadThread() {
    RequestStop();
    Join();
}

void TFileUploadThread::Execute() {
    // Failure until the server said otherwise.
    SetReturnValue(kTransferFailed);
    int result = kTransferFailed;
    try {
        result = Upload();
    } catch (...) {
        result = kTransferFailed;
    }
    client_.Disconnect();
    SetReturnValue(result);
    // Every upload reports its end, so no window waits for ever: lParam 0 success, else the
    // server's result code or one of ours.
    if (notify_ && !StopRequested()) loop_.Post(notify_, WM_APP_UPLOADDONE, 0, result);
}

int TFileUploadThread::Upload() {
    uint16_t kind = UploadKind(type_);
    if (kind == 0) return kTransferFailed;
    std::error_code ec;
    if (!fs::is_regular_file(filePath_, ec)) return kTransferNoFile;
    std::ifstream in(filePath_, std::ios::binary);
    if (!in) return kTransferNoFile;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) return kTransferNoFile;
    if (size > kMaxTransferFileSize) return kTransferTooLarge;

    TResourceInfo d;
    d.id = 0;
    d.fileName = filePath_.filename().string();
    d.localPath = filePath_.string();
    d.fileSize = static_cast<int32_t>(size);
    d.extension = filePath_.extension().string();
    d.description = TrimText(description_);
    d.ownerName = Utf8ToCp1252(TrimText(identity_.fullNameUtf8));
    d.added = NowDateTime();
    d.number = number_;
    descriptor_ = d;

    // A stop that came while connecting found no socket to shut down: look again now.
    if (!ConnectTo(client_, endpoint_) || StopRequested()) return kTransferFailed;
    client_.SetReadTimeout(endpoint_.readTimeoutMs);
    client_.SetWriteTimeout(endpoint_.readTimeoutMs);
    if (!SendHeaderAndDescriptor(client_, kind, identity_, static_cast<int32_t>(TResourceInfo::kSize + size), d))
        return kTransferFailed;
    std::vector<char> buf(kChunk);
    std::streamoff left = size;
    while (left > 0) {
        if (StopRequested()) return kTransferFailed;
        size_t n = static_cast<size_t>(std::min<std::streamoff>(left, kChunk));
        // A file that shrank while being sent cannot fill the announced body: give up.
        if (!in.read(buf.data(), static_cast<std::streamsize>(n))) return kTransferFailed;
        if (!client_.WriteAll(buf.data(), n)) return kTransferFailed;
        left -= static_cast<std::streamoff>(n);
    }
    TVCRHeader reply;
    if (!ReadHeader(client_, reply)) return kTransferFailed;
    if (reply.result != 0) return reply.result;
    switch (reply.kind) {
        case vkDocumentUploaded:
            loop_.Post(windows_.sharedDocuments, WM_APP_RESOURCELISTCHANGED, 0, 0);
            break;
        case vkBoardImageUploaded:
            loop_.Post(windows_.boardImages, WM_APP_RESOURCELISTCHANGED, 0, 0);
            break;
        case vkPresentationUploaded:
            loop_.Post(windows_.main, WM_APP_PRESENTATIONUPLOADED, 0, 0);
            break;
        default:
            break;
    }
    return kTransferOk;
}

// ---- download

TFileDownloadThread::TFileDownloadThread(IEventLoop& loop, TTransferEndpoint endpoint, std::string descriptionOrAddress,
                                         int board, WindowHandle notifyWindow, int32_t number, int type,
                                         bool openAfterDownload, fs::path localPath, std::string fileName,
                                         TTransferIdentity identity, TDownloadActions actions)
    : loop_(loop),
      endpoint_(std::move(endpoint)),
      description_(std::move(descriptionOrAddress)),
      board_(board),
      notify_(notifyWindow),
      number_(number),
      type_(type),
      open_(openAfterDownload),
      localPath_(std::move(localPath)),
      fileName_(std::move(fileName)),
      identity_(std::move(identity)),
      actions_(std::move(actions)) {}

TFileDownloadThread::~TFileDownloadThread() {
    RequestStop();
    Join();
}

void TFileDownloadThread::Execute() {
    SetReturnValue(kTransferFailed);
    int result = kTransferFailed;
    try {
        result = Download();
    } catch (...) {
        result = kTransferFailed;
    }
    client_.Disconnect();
    SetReturnValue(result);
    if (StopRequested()) return;
    if (result != kTransferOk) {
        if (type_ == ttUserImage) loop_.Post(notify_, WM_APP_DOWNLOADDONE, number_, 1);
        return;
    }
    if (type_ == ttDocument && open_ && actions_.openFile) {
        fs::path p = localPath_;
        loop_.InvokeSync([&] { actions_.openFile(p); }, &StopFlag());
    } else if ((type_ == ttBoardImage || type_ == ttSlide) && actions_.drawOnBoard) {
        fs::path p = localPath_;
        int board = board_;
        loop_.InvokeSync([&] { actions_.drawOnBoard(p, board); }, &StopFlag());
    } else if (type_ == ttUserImage) {
        loop_.Post(notify_, WM_APP_DOWNLOADDONE, number_, 0);
    }
    if (notify_ && number_ != identity_.userId) loop_.Post(notify_, WM_APP_BOARDUPDATED, number_, 0);
}

int TFileDownloadThread::Download() {
    uint16_t kind = DownloadKind(type_);
    if (kind == 0 || localPath_.empty()) return kTransferFailed;
    TResourceInfo request;
    request.id = -1;
    request.fileName = fileName_;
    request.localPath = localPath_.string();
    request.description = description_;
    // A stop that came while connecting found no socket to shut down: look again now.
    if (!ConnectTo(client_, endpoint_) || StopRequested()) return kTransferFailed;
    client_.SetReadTimeout(endpoint_.readTimeoutMs);
    client_.SetWriteTimeout(endpoint_.readTimeoutMs);
    if (!SendHeaderAndDescriptor(client_, kind, identity_, static_cast<int32_t>(TResourceInfo::kSize), request))
        return kTransferFailed;

    TVCRHeader reply;
    if (!ReadHeader(client_, reply)) return kTransferFailed;
    if (reply.result != 0) return reply.result;  // refused: the local file stays as it is
    if (reply.bodyLength < static_cast<int32_t>(TResourceInfo::kSize)) return kTransferFailed;

    std::vector<uint8_t> head(TResourceInfo::kSize);
    if (!client_.ReadExact(head.data(), head.size())) return kTransferFailed;
    ByteReader r(head.data(), head.size());
    TResourceInfo d;
    if (!TResourceInfo::Decode(r, d)) return kTransferFailed;
    // The descriptor's size must be exactly what the body holds after it.
    int64_t fileBytes = static_cast<int64_t>(reply.bodyLength) - static_cast<int64_t>(TResourceInfo::kSize);
    if (d.fileSize < 0 || d.fileSize != fileBytes) return kTransferFailed;
    if (d.fileSize > maxFileSize_) return kTransferTooLarge;
    received_ = d;

    TAtomicFileWriter file(localPath_);
    if (!file.Open()) return kTransferFailed;
    std::vector<uint8_t> buf(kChunk);
    int64_t left = d.fileSize;
    while (left > 0) {
        if (StopRequested()) return kTransferFailed;
        size_t n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
        if (!client_.ReadExact(buf.data(), n) || !file.Write(buf.data(), n)) return kTransferFailed;
        left -= static_cast<int64_t>(n);
    }
    return file.Commit() ? kTransferOk : kTransferFailed;
}

}  // namespace orb
