// The print path's uploads: one presentation file at a time, waited for.

#include <memory>

#include "dm/dm.h"

using namespace orb;

std::function<bool(const std::string&, const std::string&, int32_t, int)> TDM::MakePresentationUploader() {
    TTransferEndpoint endpoint;
    endpoint.host = ServerHost;
    endpoint.port = FileTransferPort > 0 && FileTransferPort <= 65535 ? uint16_t(FileTransferPort) : 0;
    endpoint.connect = ProxyConnect(ProxySettings);
    TTransferIdentity identity;
    identity.userId = OwnLoginInfo.UserId();
    identity.room = OwnRoom;
    identity.fullNameUtf8 = OwnLoginInfo.FullName();
    IEventLoop* loop = &Loop();
    return [loop, endpoint, identity, windows = UploadWindows](const std::string& filePath,
                                                                const std::string& presentationId, int32_t number,
                                                                int type) {
        if (endpoint.port == 0) return false;
        // The upload of a page or index has no window to tell: the caller waits for its result.
        auto thread = std::make_unique<TFileUploadThread>(*loop, endpoint, windows, WindowHandle(0), number, type,
                                                          presentationId, filePath, identity);
        thread->Start();
        thread->Join();
        return thread->Finished() && thread->ReturnValue() == kTransferOk;
    };
}

bool TDM::UploadExportedFile(const std::string& filePath, const std::string& presentationId, int32_t number,
                             int type) {
    return MakePresentationUploader()(filePath, presentationId, number, type);
}

