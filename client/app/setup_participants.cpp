// Participants, rights and moderation; profile card and editor: what the program binds for this area.
#include <QCollator>
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include "common/message_box.h"
#include "commands/commands.h"
#include "program.h"
#include "protocol/wm_app.h"
#include "ui_frm_main.h"
#include "userdetails/frm_userdetails.h"
#include "userlist/user_list_view.h"
#include "wire/text.h"

namespace orb {

namespace {
QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
}  // namespace

void TProgram::SetupParticipants() {
    TDM& dm = *tdm_;
    auto* list = Form<TfrmUserList>();
    auto* card = Form<TfrmUserControl>();
    auto* request = Form<TfrmRequest>();

    dm.UserImagesFolder = controller_->Hooks.UserImagesFolder;
    dm.ShowMe = settings_.ShowMe;
    dm.BeepOnUserConnect = settings_.BeepOnUserConnect;
    dm.BeepOnUserDisconnect = settings_.BeepOnUserDisconnect;
    dm.BeepOnUserMotions = settings_.BeepOnUserMotions;
    dm.Participants.SetLoop(loop_.get());
    // Names in any script sort by the user's locale.
    auto collator = std::make_shared<QCollator>();
    collator->setCaseSensitivity(Qt::CaseSensitive);
    dm.Participants.CompareCaptions = [collator](const std::string& a, const std::string& b) {
        return collator->compare(Utf8(a), Utf8(b));
    };
    shutdownSteps_.push_back([this] {
        tdm_->Participants.SetLoop(nullptr);
        if (auto* l = Form<TfrmUserList>()) l->Bind(nullptr, 0, {});
    });

    auto& h = dm.ParticipantHooks;
    h.Beep = [this](int f, int ms) { main_->Beep(f, ms); };
    h.AddNotice = [this](const std::string& who, const std::string& text, uint32_t colour) {
        main_->AddChatLine(who, text, colour, true);
    };
    h.SetParticipantsCaption = [this](const std::string& t) { main_->Ui().hdrParticipantsCaption->setText(Utf8(t)); };
    h.SetSpeakChecked = [this](bool on) { main_->SetSpeakChecked(on); };
    h.SetSpeakImage = [this](int image) { main_->SetSpeakImage(image); };
    h.ReleaseSpeakButton = [this] { main_->Ui().btnSpeak->setDown(false); };
    // Only received messages say something here: shown without waiting (the reader waits for us).
    h.ShowInformation = [this](const std::string& t) {
        room::ShowPlainMessage(main_.get(), QMessageBox::Information, Utf8(t));
    };
    h.BoardRightsChanged = [this](bool resetTool) {
        // A board right changed (for anyone): no drawing tool until one is chosen again.
        if (auto* board = Form<TfrmBoard>(); board && resetTool) {
            board->SelectTool(board::btNone);
            board->UpdateActions();
        }
        main_->SetBoardToolBoxVisible(tdm_->CurrentBoard == 0 || tdm_->BoardRight);
    };
    // No nested event loop inside the user-list handler: other handlers would run in the middle of it.
    // Row widgets are reused for other rows as the list changes, so a row that had the focus is
    // remembered by its user: it keeps the focus if it stays, else the row selected in its place
    // takes it.
    struct TFocus {
        QPointer<QWidget> widget;
        int32_t row = 0;
    };
    auto focus = std::make_shared<TFocus>();
    h.KeepFocus = [focus] {
        focus->widget = QApplication::focusWidget();
        auto* row = qobject_cast<room::TUserRowWidget*>(focus->widget.data());
        focus->row = row ? row->UserId() : 0;
    };
    h.RestoreFocus = [this, focus] {
        QWidget* had = focus->widget.data();
        const int32_t row = focus->row;
        *focus = {};
        auto* l = Form<TfrmUserList>();
        if (row != 0 && l) {
            l->lvUsers()->FocusRow(tdm_->Participants.FindUser(row) ? row : tdm_->Participants.SelectedUser());
            return;
        }
        if (!had || had == QApplication::focusWidget()) return;
        if (had->isVisible()) had->setFocus(Qt::OtherFocusReason);
    };

    // The card hears of its picture through a window of its own, never through the main window's.
    const WindowHandle cardWindow = loop_->RegisterWindow([this](uint32_t msg, std::intptr_t w, std::intptr_t l) {
        if (msg == WM_APP_DOWNLOADDONE)
            if (auto* c = Form<TfrmUserControl>()) c->DownloadDone(w, l);
    });
    shutdownSteps_.push_back([this, cardWindow] { loop_->UnregisterWindow(cardWindow); });
    card->UserImagesFolder = dm.UserImagesFolder;
    card->StartUpload = [this](const std::string& path) { tdm_->StartFileUpload(0, 0, 3, std::string(), path); };

    auto showCard = [this, cardWindow](int32_t user) {
        TDM& d = *tdm_;
        TParticipantRow* row = d.Participants.FindUser(user);
        auto* c = Form<TfrmUserControl>();
        if (!row || !c) return;
        d.Participants.SetExpanded(*row, true);
        c->ShowUser(*row, user == d.OwnUserId);
        const QPoint at = main_->Ui().LeftSplitter->mapToGlobal(QPoint(0, 0));
        c->RollOut(at.x() + 8, main_->geometry().top() + 130);
        d.DownloadUserImage(user, cardWindow, WM_APP_DOWNLOADDONE);
    };
    // The note is built and sent by the data module's session-message dialog.
    auto sendNote = [this](int32_t user) { tdm_->ShowSessionMessageDialog(user); };

    list->Bind(&dm, mainHandle_, dm.ProgramFolder);
    list->OnShowProfile = showCard;
    list->OnSendNote = sendNote;

    // The commands on the rows (give and take rights, promote, remove, feedback, clear motions)
    // are the data module's command object's; it is made after this area, so the list finds them
    // when its menu shows, and the command object hears of the selected row once the loop runs.
    auto commands = [this]() -> room::TCommands* {
        return main_ ? main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")) : nullptr;
    };
    list->SetMenuActions([commands](const char* name) -> QAction* {
        room::TCommands* c = commands();
        return c ? c->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
    });
    QTimer::singleShot(0, list, [this, commands] {
        room::TCommands* c = commands();
        if (!c) return;
        if (!c->StateHooks.selectedUser)
            c->StateHooks.selectedUser = [this] { return tdm_->Participants.SelectedUser(); };
        if (!c->StateHooks.roomType) c->StateHooks.roomType = [this] { return tdm_->RoomProfile.RoomType(); };
    });

    // The profile card, the own profile editor and the note prompt, for the commands.
    dm.ShowUserCard = showCard;
    dm.ShowProfileEditor = [this] {
        auto* editor = new TfrmUserDetails(*tdm_, main_.get());
        opened_.append(editor);
        editor->show();
        editor->raise();
    };
    dm.AskSessionMessage = [request](const std::string& addressee, std::string& text) {
        request->Prepare(Utf8(addressee));
        if (request->exec() != QDialog::Accepted) return false;
        text = request->Note().toStdString();
        return true;
    };
}

}  // namespace orb
