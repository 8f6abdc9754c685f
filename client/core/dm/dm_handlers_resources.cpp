// Resource library and guided browser handlers.

#include <chrono>

#include "dm/dm.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "protocol/wm_app.h"
#include "util/text_util.h"

using namespace orb;

namespace {

// The decimal millisecond tick that names a received file, with a running number, so two requests
// in the same millisecond never share a name before either file exists.
std::string TickName() {
    using namespace std::chrono;
    static int sequence = 0;
    return std::to_string(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() & 0x7fffffff) +
           "_" + std::to_string(++sequence);
}

}  // namespace

// Upload and download replies belong to the transfer connections; on the room
// connection they are accepted and nothing is done.
void TDM::HandleTransferReply() {}

void TDM::HandleResourceList() {
    const uint16_t kind = CurrentHeader().kind;
    std::vector<TResourceInfo>* list = Libraries.List(kind);
    if (!list) return;
    std::vector<TResourceInfo> records;
    if (!ParseResourceList(kind, CurrentMessage().subspan(TVCRHeader::kSize), records)) {
        // The three lists with a count block are emptied even when the block is missing.
        if (kind == vkWebLinkList) return;
        records.clear();
    }
    *list = std::move(records);
    // The image library window is the board area's.
    if (kind == vkBoardImageList && ShowBoardImageList) ShowBoardImageList(*list);
    if (LibraryView) LibraryView->ListChanged(kind);
}

void TDM::HandleWebLinkAdded() {
    if (Libraries.webLinksWindow)
        Loop().Post(Libraries.webLinksWindow, WM_APP_WEBLINKADDED, CurrentHeader().result, 0);
}

void TDM::HandleOpenResource() {
    const TVCRHeader& h = CurrentHeader();
    ByteReader r = BodyReader();
    int32_t board = 0;
    TResourceInfo record;
    if (!r.i32(board) || !TResourceInfo::Decode(r, record)) return;
    const int32_t sender = h.sender;
    int type = rtDocument;
    switch (h.kind) {
    case vkOpenDocument: type = rtDocument; break;
    case vkOpenBoardImage: type = rtBoardImage; break;
    case vkOpenWebLink: type = rtWebLink; break;
    case vkOpenSlide: type = rtSlide; break;
    default: return;
    }
    if (type == rtWebLink) {
        // The guided tour follows moderators only, and only to web pages.
        if (!IsRoomModerator(sender) || !IsAllowedPageAddress(record.fileName)) return;
        OpenWebPage(record.fileName, sender, 2, record.description);
        return;
    }
    if (Libraries.DownloadFolder.empty()) return;
    const std::filesystem::path local = UniqueLocalPath(Libraries.DownloadFolder, TickName(), record.extension);
    if (local.empty()) return;
    if (type == rtBoardImage || type == rtSlide) {
        if (board < 0 || board > 5) return;
        SelectBoard(board, false);
        StartFileDownload(record.description, CurrentBoard, MainWindow(), sender, type, true, local, record.fileName);
        return;
    }
    const TParticipantRow* row = Participants.FindUser(sender);
    if (!row || !LibraryView) return;
    TPushedDocument document{record, local, sender, CurrentBoard};
    const std::string question = row->caption + " requests you to open the following file:\r\n" +
                                 FieldText(record.fileName) + "\r\nDo you want to download and open this document?";
    LibraryView->AskOpenDocument(question, document);
}

void TDM::HandleResourceDeleted() {
    const TVCRHeader& h = CurrentHeader();
    WindowHandle target = 0;
    uint32_t message = WM_APP_RESOURCEDELETED;
    switch (h.kind) {
    case vkDeleteDocument: target = Libraries.documentsWindow; break;
    case vkDeleteBoardImage: target = BoardControlsWindow; break;
    case vkDeleteWebLink: target = Libraries.webLinksWindow; break;
    case vkDeletePresentation:
        target = MainWindow();
        message = WM_APP_RESOURCEREMOVED;
        break;
    default: return;
    }
    if (target) Loop().Post(target, message, h.result, 0);
}

void TDM::HandleBrowserClosed() { Loop().Post(MainWindow(), WM_APP_SHOWBOARD, CurrentHeader().sender, 0); }

void TDM::HandleViewMode() {
    const TVCRHeader& h = CurrentHeader();
    ByteReader r = BodyReader();
    int32_t view = 0;
    if (!r.i32(view) || (view != 0 && view != 1)) return;
    // The server's answer (119) is the room's; a relayed switch (118) counts only from a moderator.
    if (h.kind == vkViewMode && !IsRoomModerator(h.sender)) return;
    if (LibraryView) LibraryView->ShowMainView(view);
}

void TDM::HandleWebPage() {
    ByteReader r = BodyReader();
    std::string page;
    if (!r.shortString(250, page)) return;
    const std::string_view address = Trim(page);
    if (address.empty() || !IsAllowedPageAddress(address) || !LibraryView) return;
    LibraryView->OpenPage(std::string(address), 0, 2, {});
}
