// Resource libraries, guided web tour, welcome and about windows: what the program binds for this area.
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QToolButton>
#include <system_error>

#include "board/engine/board_engine.h"
#include "board/window/frm_board.h"
#include "common/message_box.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "program.h"
#include "ui_frm_main.h"
#include "welcome/frm_about.h"
#include "welcome/frm_welcome.h"

namespace orb {

namespace {

// The data module's library notifications, carried out by the windows.
class TLibraryViews final : public ILibraryView {
public:
    TLibraryViews(TProgram& program, TDM& dm) : program_(program), dm_(dm) {}

    void ListChanged(uint16_t kind) override {
        switch (kind) {
        case vkDocumentList:
            if (auto* w = program_.Form<TfrmSharedDocuments>()) w->Fill();
            break;
        case vkWebLinkList:
            if (auto* w = program_.Form<TfrmWebLinks>()) w->Fill();
            break;
        case vkPresentationList:
            if (auto* w = program_.Form<TfrmPresentations>()) w->Fill();
            break;
        default: break;
        }
    }
    void ShowMainView(int view) override { program_.Controller().ShowMainView(view); }
    void OpenPage(const std::string& address, int32_t requester, int32_t value, const std::string& title) override {
        if (auto* b = program_.Form<TfrmBrowser>()) b->OpenPage(address, requester, value, 0, title);
    }
    void AskOpenDocument(const std::string& question, const TPushedDocument& document) override {
        // Modeless and on top: the room goes on while the user decides. The same question while
        // its window is open asks nothing more, and a few questions are open at most.
        const QString text = room::FromUtf8(question);
        for (const auto& w : program_.OpenedWindows())
            if (auto* open = qobject_cast<TfrmMessageDlg*>(w.data()); open && open->isVisible() && open->Question() == text)
                return;
        if (program_.OpenedOf<TfrmMessageDlg>() >= TProgram::kMaxReceivedWindows) return;
        auto* box = new TfrmMessageDlg(room::FromUtf8(question), [this, document] { dm_.AcceptPushedDocument(document); });
        box->setWindowTitle(QStringLiteral("Orbelo Live Browser"));
        box->setModal(false);
        program_.OpenedWindows().append(box);
        box->show();
    }
    bool Confirm(const std::string& question) override {
        return room::PlainMessageBox(program_.Main(), QMessageBox::Question, room::FromUtf8(question),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    // Said on a received notice: shown without waiting for the user.
    void ShowError(const std::string& text) override {
        room::ShowPlainMessage(program_.Main(), QMessageBox::Critical, room::FromUtf8(text));
    }

private:
    TProgram& program_;
    TDM& dm_;
};

}  // namespace

void TProgram::SetupLibraries() {
    TDM& dm = *tdm_;
    auto* views = new TLibraryViews(*this, dm);
    dm.LibraryView = views;
    shutdownSteps_.push_back([this, views] {
        if (tdm_) tdm_->LibraryView = nullptr;
        delete views;
    });

    // Received documents, pictures and slides stay in the private temporary folder.
    if (!dm_->Folders().temp.empty()) {
        dm.Libraries.DownloadFolder = dm_->Folders().temp / "Downloads";
        std::error_code ec;
        std::filesystem::create_directories(dm.Libraries.DownloadFolder, ec);
    }
    // A received document is handed to the desktop only when it is no program or script.
    dm.DownloadActions.openFile = [this](const std::filesystem::path& file) {
        std::string refusal;
        if (!OpenWithDesktop(file, &refusal) && !refusal.empty())
            // Runs while the download's thread waits for it: the box does not wait for the user.
            room::ShowPlainMessage(main_.get(), QMessageBox::Warning, room::FromUtf8(refusal));
    };

    // A finished presentation upload (reply kind 52) tells the main window, which reloads the list.
    dm.UploadWindows.main = mainHandle_;
    // A finished board-image upload (reply kind 23) reloads the image library (bound just before).
    if (!dm.UploadWindows.boardImages) dm.UploadWindows.boardImages = dm.BoardControlsWindow;
    if (auto* b = Form<TfrmBrowser>()) b->Bind(&dm, &settings_);
    if (auto* d = Form<TfrmSharedDocuments>()) d->Bind(&dm, dm_->Folders().localData);
    if (auto* l = Form<TfrmWebLinks>()) l->Bind(&dm);
    if (auto* p = Form<TfrmPresentations>()) {
        p->Bind(
            &dm,
            [this](const TResourceInfo* presentation, int32_t slide, const std::function<bool()>& askPrivate) {
                return boardEngine_ && boardEngine_->SendSlideToBoard(presentation, slide, askPrivate);
            },
            // The document uploader is bound by the print area, after this one.
            [&dm] {
                if (dm.ShowDocumentUploader) dm.ShowDocumentUploader();
            });
        // The presenter moves through the slides from the board's tool bar as well.
        if (auto* board = Form<TfrmBoard>()) {
            board->AddSlideActions(p->SlideActions());
            p->FillSlides = [this, board = QPointer<TfrmBoard>(board)](int32_t count, int32_t slide) {
                if (board && main_) main_->FillSlidesMenu(board->SlidesMenu(), count, slide, board->JumpToSlide());
            };
            p->ShowJump = [board = QPointer<TfrmBoard>(board)](bool enabled, const QString& caption) {
                if (!board || !board->JumpToSlide()) return;
                board->JumpToSlide()->setEnabled(enabled);
                board->JumpToSlide()->setText(caption);
            };
            QObject::connect(board->SlidesMenu(), &QMenu::triggered, p,
                             [p](QAction* item) { p->JumpTo(item->property("Tag").toInt()); });
        }
    }

    main_->WelcomePageRunner = [this](const std::string& address, bool tips, const TScreenRect& where,
                                      bool dontShowAgain) {
        auto* w = new TfrmWelcome(*loop_, [this](bool dismissed) {
            settings_.ShowModeratorTips = !dismissed;
            SaveSettings(settings_);
        });
        w->SetDismissChecked(dontShowAgain);
        opened_.append(w);
        w->ShowPage(address, tips, where.left, where.top, where.height, where.width);
    };

    // The main window's library commands.
    auto& ui = main_->Ui();
    auto floatForm = [this](QWidget* form) {
        if (!tdm_->PlaybackMode) FloatToolForm(form);
    };
    QObject::connect(ui.acLibraryDocuments, &QAction::triggered, main_.get(),
                     [this, floatForm] { floatForm(Form<TfrmSharedDocuments>()); });
    QObject::connect(ui.acLibraryLinks, &QAction::triggered, main_.get(),
                     [this, floatForm] { floatForm(Form<TfrmWebLinks>()); });
    QObject::connect(ui.acPresentations, &QAction::triggered, main_.get(),
                     [this, floatForm] { floatForm(Form<TfrmPresentations>()); });
    QObject::connect(ui.acPresent, &QAction::triggered, main_.get(), [this, floatForm] {
        if (tdm_->PlaybackMode) return;
        floatForm(Form<TfrmPresentations>());
        controller_->SwitchMainView(mvWhiteboard);
        tdm_->SendViewMode(0);
    });
    QObject::connect(ui.acWebTourView, &QAction::triggered, main_.get(), [this] {
        if (tdm_->PlaybackMode) return;
        controller_->SwitchMainView(mvBrowser);
        tdm_->SendViewMode(1);
    });
    QObject::connect(ui.acAbout, &QAction::triggered, main_.get(), [this] {
        auto* about = new TfrmAbout(QString::fromLatin1(TDataModuleLife::kVersion),
                                    QString::fromLatin1(TDataModuleLife::kVersionDate), [](const QString& site) {
                                        QProcess::startDetached(QStringLiteral("xdg-open"), {site});
                                    });
        opened_.append(about);
        about->show();
    });
}

}  // namespace orb
