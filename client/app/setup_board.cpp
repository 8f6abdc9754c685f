// Board window and its tools: what the program binds for this area.
#include <QAction>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <filesystem>
#include <memory>

#include "board/library/frm_board_controls.h"
#include "board/logic/board_logic.h"
#include "board/window/frm_board.h"
#include "commands/commands.h"
#include "boardmsg/board_dm_link.h"
#include "libraries/library_records.h"
#include "protocol/wm_app.h"
#include "program.h"
#include "transfer/file_transfer.h"

namespace orb {

namespace {
bool PresenterLevel(const TDM& dm) { return dm.OwnLoginInfo.Level() >= 1000 || dm.OwnLoginInfo.Level2() >= 1000; }
}  // namespace

void TProgram::SetupBoard() {
    auto* board = Form<TfrmBoard>();
    auto* library = Form<TfrmBoardControls>();
    if (!board || !boardEngine_) return;
    TDM& dm = *tdm_;
    board->PenCursor = penCursor_;
    board->SetGridSize(settings_.BoardGridSize);
    boardEngine_->SetDefaults(settings_.DefPenWidth, uint32_t(settings_.DefPenColor));
    board->SetPenDefaults(settings_.DefPenWidth, uint32_t(settings_.DefPenColor));
    board->TextDefaults = {settings_.TextBoxFont, uint32_t(settings_.TextBoxFontColor), settings_.TextBoxFontSize};

    if (!dm.SessionHooks.InitWhiteboards) {
        dm.SessionHooks.InitWhiteboards = [this, board] {
            boardEngine_->InitWhiteboards();
            board->SetPenDefaults(settings_.DefPenWidth, uint32_t(settings_.DefPenColor));
        };
    }

    auto& h = board->Hooks;
    h.CanUpload = [this] { return PresenterLevel(*tdm_); };
    h.OwnUserId = [this] { return tdm_->OwnUserId; };
    h.TempFolder = [this] { return boardLink_ ? boardLink_->TempFolderPath : std::string(); };
    h.StartUpload = [this](const std::string& path, const std::string& comment) {
        tdm_->StartFileUpload(0, 0, ttBoardImage, comment, std::filesystem::path(path));
    };
    h.FloatImageLibrary = [this, library] {
        if (library) FloatToolForm(library);
    };
    h.SaveTextDefaults = [this](const board::TTextDefaults& d) {
        settings_.TextBoxFont = d.font;
        settings_.TextBoxFontColor = int32_t(d.color);
        settings_.TextBoxFontSize = d.size;
        // The text defaults are written at once, not only when the program ends.
        SaveSettings(settings_);
    };
    h.SavePenDefaults = [this](int width, uint32_t colour) {
        settings_.DefPenWidth = width;
        settings_.DefPenColor = int32_t(colour);
    };
    board->Capture.MinimizeApplication = [this, wasMaximized = std::make_shared<bool>(false)](bool minimize) {
        if (!main_) return;
        if (minimize) {
            *wasMaximized = main_->isMaximized();
            main_->showMinimized();
        } else if (*wasMaximized) {
            main_->showMaximized();
        } else {
            main_->showNormal();
        }
    };

    dm.BoardWindow = loop_->RegisterWindow([board = QPointer<TfrmBoard>(board)](uint32_t msg, std::intptr_t, std::intptr_t) {
        if (!board) return;
        if (msg == WM_APP_SHOWERROR) board->ShowPermissionError();
        else if (msg == WM_APP_BOARDRIGHT) board->ShowBoardRightGranted();
    });
    shutdownSteps_.push_back([this] {
        if (tdm_ && tdm_->BoardWindow) loop_->UnregisterWindow(std::exchange(tdm_->BoardWindow, 0));
        if (tdm_ && tdm_->BoardControlsWindow) loop_->UnregisterWindow(std::exchange(tdm_->BoardControlsWindow, 0));
    });

    // Pictures a whole board names are fetched into our temporary folder under a name of our own.
    if (boardLink_ && !boardLink_->OnStartDownload) {
        boardLink_->OnStartDownload = [this](int type, int32_t boardNo, const TResourceInfo& r, int32_t requester) {
            const std::string folder = boardLink_->TempFolderPath;
            if (folder.empty()) return;
            const QString name = board::SafeLibraryFileName(QString::fromUtf8(r.fileName.c_str()),
                                                            QString::fromUtf8(r.extension.c_str()));
            tdm_->StartFileDownload(r.description, boardNo, 0, requester, type, false,
                                    std::filesystem::path(folder) / name.toStdString(), r.fileName);
        };
    }
    if (!dm.DownloadActions.drawOnBoard) {
        dm.DownloadActions.drawOnBoard = [this](const std::filesystem::path& path, int boardNo) {
            QImage picture(QString::fromStdString(path.string()));
            if (!picture.isNull() && boardEngine_ && boardNo >= 0 && boardNo <= 5)
                boardEngine_->PutPicture(boardNo, picture, 0, 0);
        };
    }

    // Room entry: the board lock off and the select tool ("no tool") pushed, as a click on it.
    dm.RoomHooks.OnRoomStateReset = [this, board = QPointer<TfrmBoard>(board), previous = dm.RoomHooks.OnRoomStateReset] {
        if (previous) previous();
        if (board) board->SelectTool(board::btNone);
        if (auto* commands = main_ ? main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")) : nullptr)
            commands->Action(chat::acCaptureBoard)->setChecked(false);
    };
    // Leaving the session runs the board-lock action once more.
    dm.SessionHooks.CaptureBoard = [this] {
        if (auto* commands = main_ ? main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")) : nullptr)
            commands->Action(chat::acCaptureBoard)->trigger();
    };

    if (!library) return;
    library->SetEngine(boardEngine_.get());
    // "Images" and "Slides and Stored Board Items": the library floats; showing it asks for the list.
    if (auto* commands = main_ ? main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")) : nullptr)
        commands->SetExecute(chat::acImages, [this, library] {
            if (!tdm_->PlaybackMode) {
                FloatToolForm(library);
                library->raise();
                library->activateWindow();
            }
        });
    auto& lh = library->Hooks;
    lh.RequestList = [this] { tdm_->SendBoardImageListRequest(); };
    lh.CanDelete = [this] { return PresenterLevel(*tdm_); };
    // The data module asks first (through the libraries' view), then sends kind 39.
    lh.DeleteResource = [this](const TResourceInfo& r) { tdm_->SendDeleteResource(rtBoardImage, r); };
    dm.ShowBoardImageList = [library = QPointer<TfrmBoardControls>(library)](const std::vector<TResourceInfo>& rows) {
        if (library) library->SetItems(rows);
    };
    dm.BoardControlsWindow =
        loop_->RegisterWindow([library = QPointer<TfrmBoardControls>(library)](uint32_t msg, std::intptr_t w, std::intptr_t) {
            if (!library) return;
            if (msg == WM_APP_RESOURCEDELETED) library->ResourceDeleted(int(w));
            else if (msg == WM_APP_RESOURCELISTCHANGED) library->ResourceListChanged();
        });
}

}  // namespace orb
