// Starters of the transfer threads: uploads and downloads on the file-transfer port of the server
// signed in to, and HTTP downloads, all through the proxy settings.

#include "dm/dm.h"
#include "transfer/http_download.h"

using namespace orb;

namespace {

TTransferEndpoint Endpoint(const TDM& dm) {
    TTransferEndpoint e;
    e.host = dm.ServerHost;
    e.port = dm.FileTransferPort > 0 && dm.FileTransferPort <= 65535 ? uint16_t(dm.FileTransferPort) : 0;
    // A copy of the settings: the thread must not read the data module's while the user edits them.
    e.connect = ProxyConnect(dm.ProxySettings);
    return e;
}

TTransferIdentity Identity(const TDM& dm) {
    TTransferIdentity id;
    id.userId = dm.OwnLoginInfo.UserId();
    id.room = dm.OwnRoom;
    id.fullNameUtf8 = dm.OwnLoginInfo.FullName();
    return id;
}

}  // namespace

void TDM::StartFileUpload(WindowHandle notifyWindow, int32_t number, int type, std::string description,
                          std::filesystem::path filePath) {
    Transfers.Start(std::make_unique<TFileUploadThread>(Loop(), Endpoint(*this), UploadWindows, notifyWindow, number,
                                                        type, std::move(description), std::move(filePath),
                                                        Identity(*this)));
}

void TDM::StartFileDownload(std::string descriptionOrAddress, int board, WindowHandle notifyWindow, int32_t number,
                            int type, bool openAfterDownload, std::filesystem::path localPath, std::string fileName) {
    Transfers.Start(std::make_unique<TFileDownloadThread>(
        Loop(), Endpoint(*this), std::move(descriptionOrAddress), board, notifyWindow, number, type, openAfterDownload,
        std::move(localPath), std::move(fileName), Identity(*this), DownloadActions));
}

void TDM::StartHttpDownload(WindowHandle notifyWindow, uint32_t message, std::intptr_t messageParam,
                            std::string localFile, std::string address) {
    Transfers.Start(std::make_unique<THttpDownloadThread>(Loop(), notifyWindow, message, messageParam,
                                                          std::move(localFile), std::move(address), ProxySettings));
}
