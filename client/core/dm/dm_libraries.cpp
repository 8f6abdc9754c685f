// Resource libraries and the guided browser: senders and the operations the windows call.

#include <chrono>
#include <system_error>

#include "dm/dm.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "util/folders.h"
#include "util/text_util.h"

using namespace orb;

bool TDM::SendDocumentListRequest() { return SendCommand(vkDocumentList); }
bool TDM::SendBoardImageListRequest() { return SendCommand(vkBoardImageList); }
bool TDM::SendWebLinkListRequest() { return SendCommand(vkWebLinkList); }
bool TDM::SendPresentationListRequest() { return SendCommand(vkPresentationList); }

bool TDM::SendAddWebLink(const std::string& comment, const std::string& url, std::string* error) {
    std::optional<TResourceInfo> record = WebLinkRecord(url, comment, OwnLoginInfo.FullName(), error);
    if (!record) return false;
    std::vector<uint8_t> body;
    ByteWriter w(body);
    record->Encode(w);
    return SendCommand(vkAddWebLink, body);
}

bool TDM::SendOpenResource(const TResourceInfo& record, int type) {
    uint16_t kind = 0;
    switch (type) {
    case rtDocument: kind = vkOpenDocument; break;
    case rtBoardImage: kind = vkOpenBoardImage; break;
    case rtWebLink: kind = vkOpenWebLink; break;
    case rtSlide: kind = vkOpenSlide; break;
    default: return false;
    }
    if (!vcrClient.Connected()) return false;
    ClearStatusIcons();
    std::vector<uint8_t> body;
    ByteWriter w(body);
    w.i32(CurrentBoard);
    record.Encode(w);
    return SendCommand(kind, body);
}

bool TDM::SendDeleteResource(int type, const TResourceInfo& record) {
    uint16_t kind = 0;
    switch (type) {
    case rtDocument: kind = vkDeleteDocument; break;
    case rtBoardImage: kind = vkDeleteBoardImage; break;
    case rtWebLink: kind = vkDeleteWebLink; break;
    case rtPresentation: kind = vkDeletePresentation; break;
    default: return false;
    }
    if (!vcrClient.Connected()) return false;
    if (!LibraryView || !LibraryView->Confirm(kDeleteResourceQuestion)) return false;
    std::vector<uint8_t> body;
    ByteWriter w(body);
    record.Encode(w);
    return SendCommand(kind, body);
}

bool TDM::SendBrowserClosed() { return SendCommand(vkBrowserClosed); }

bool TDM::SendViewMode(int32_t view) {
    if (!WriterThread() || !HasModerationRights()) return false;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(view);
    return SendCommand(vkViewMode, body);
}

void TDM::OpenWebPage(const std::string& url, int32_t requester, int32_t value, const std::string& description) {
    if (!IsAllowedPageAddress(url)) {
        // Only the own user hears why; a refused push from elsewhere is simply not followed.
        if (requester == OwnLoginInfo.UserId() && LibraryView) LibraryView->ShowError(kAddressNotAllowedText);
        return;
    }
    if (!LibraryView) return;
    LibraryView->ShowMainView(1);
    LibraryView->OpenPage(std::string(Trim(url)), requester, value, description);
}

bool TDM::ResetDownloadFolder() {
    const std::filesystem::path& folder = Libraries.DownloadFolder;
    if (folder.empty()) return false;
    std::error_code ec;
    if (std::filesystem::exists(folder, ec) && !DeleteFolder(folder.string())) return false;
    std::filesystem::create_directories(folder, ec);
    return !ec;
}

void TDM::AcceptPushedDocument(const TPushedDocument& document) {
    if (document.localPath.empty()) return;
    StartFileDownload(document.record.description, document.board, MainWindow(), document.sender, rtDocument, true,
                      document.localPath, document.record.fileName);
}

bool TDM::IsRoomModerator(int32_t userId) const {
    if (userId != 0 && userId == OwnLoginInfo.UserId()) return OwnLoginInfo.Level() >= 1000;
    const TParticipantRow* row = Participants.FindUser(userId);
    return row && row->level >= 1000;
}
