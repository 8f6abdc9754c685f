// Participants, rights and moderation; profile card and editor: what the program binds for this area.
#include <QCollator>
#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include "common/message_box.h"
#include "program.h"
#include "protocol/wm_app.h"
#include "ui_frm_main.h"
#include "userdetails/frm_userdetails.h"
#include "userlist/user_actions.h"
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
    auto& ui = main_->Ui();

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
    h.ShowInformation = [this](const std::string& t) {
        room::PlainMessageBox(main_.get(), QMessageBox::Information, Utf8(t));
    };
    h.BoardRightsChanged = [this](bool) { main_->SetBoardToolBoxVisible(tdm_->CurrentBoard == 0 || tdm_->BoardRight); };
    h.ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };

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
    auto sendNote = [this, request](int32_t user) {
        TDM& d = *tdm_;
        const TParticipantRow* row = d.Participants.FindUser(user);
        request->Prepare(user == 0 ? QStringLiteral("All Attendees in the room") : row ? Utf8(row->caption) : QString());
        if (request->exec() != QDialog::Accepted) return;
        const std::u16string text = request->Note().toStdU16String();
        auto record = NewWideTextRecord(d.OwnUserId, user, d.OwnRoom, text, TTextMessageInfo::mtNote);
        d.SendCommand(vkTextMessage, EncodeWideTextMessage(*record));
    };

    list->Bind(&dm, mainHandle_, dm.ProgramFolder);
    list->OnShowProfile = showCard;
    list->OnSendNote = sendNote;

    // Commands on the selected row that the main window does not have are this list's own.
    auto own = [list](const char* name, const char* text) {
        auto* a = new QAction(QString::fromLatin1(text), list);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QAction* acToggleModeratorStatus = own("acToggleModeratorStatus", "Promote the user to Moderator");
    QAction* acKick = own("acKick", "Remove the participant from the session");
    ui.acGiveVoice->setText(QStringLiteral("Give this participant a microphone"));
    ui.acGiveBoard->setText(QStringLiteral("Allow the user to write on the boards"));
    ui.acBanVoice->setText(QStringLiteral("Deprive the microphone"));
    ui.acBanBoard->setText(QStringLiteral("Deprive the boards"));
    list->SetMenuActions([this, acToggleModeratorStatus, acKick](const char* name) -> QAction* {
        const std::string n = name;
        if (n == "acToggleModeratorStatus") return acToggleModeratorStatus;
        if (n == "acKick") return acKick;
        return main_->findChild<QAction*>(QString::fromLatin1(name));
    });

    auto selected = [this] { return tdm_->Participants.SelectedUser(); };
    auto right = [this, selected](bool grant, bool microphone) {
        if (room::ModerationOnSelectedOpen(*tdm_)) tdm_->SendRightChange(grant, microphone, selected());
    };
    QObject::connect(ui.acGiveVoice, &QAction::triggered, list, [right] { right(true, true); });
    QObject::connect(ui.acBanVoice, &QAction::triggered, list, [right] { right(false, true); });
    QObject::connect(ui.acGiveBoard, &QAction::triggered, list, [right] { right(true, false); });
    QObject::connect(ui.acBanBoard, &QAction::triggered, list, [right] { right(false, false); });
    QObject::connect(acToggleModeratorStatus, &QAction::triggered, list, [this] {
        if (!room::ModeratorToggle(*tdm_).enabled) return;
        if (const TParticipantRow* row = tdm_->Participants.Selected())
            tdm_->SendUserLevel(row->userId, room::ToggledLevel(row->level));
    });
    QObject::connect(acKick, &QAction::triggered, list, [this, list] {
        if (!room::ModerationOnSelectedOpen(*tdm_)) return;
        const int32_t user = tdm_->Participants.SelectedUser();
        bool ok = false;
        const QString reason = QInputDialog::getText(list, QStringLiteral("Kick Reason"),
                                                     QStringLiteral("Enter a reason for removing this user from the session:"),
                                                     QLineEdit::Normal, QString(), &ok);
        if (ok) tdm_->SendKickUser(user, reason.toStdString());
    });
    // The own feedback: each command toggles its motion on the own row.
    for (auto [action, bit] : {std::pair{ui.acRaiseHand, kMotionHand}, {ui.acSmile, kMotionSmile},
                               {ui.acApplause, kMotionApplause}, {ui.acSayYes, kMotionYes}, {ui.acSayNo, kMotionNo}})
        QObject::connect(action, &QAction::triggered, list, [this, bit] {
            if (tdm_->PlaybackMode) return;
            const TParticipantRow* me = tdm_->Participants.FindUser(tdm_->OwnUserId);
            tdm_->SendUserFeedback(room::ToggledFeedback(me ? me->motions : 0, bit));
        });
    // Step out: a toggle that tells the room this user is away for a while.
    ui.tbStepOut->setCheckable(true);
    QObject::connect(ui.tbStepOut, &QAction::toggled, list, [this](bool down) {
        main_->Ui().tbStepOut->setText(down ? QStringLiteral("Step In") : QStringLiteral("Step Out"));
        if (!tdm_->PlaybackMode) tdm_->SendPresence(down ? 1 : 0);
    });
    QObject::connect(ui.acClearMotions, &QAction::triggered, list, [this] {
        if (tdm_->HasModerationRights()) tdm_->SendClearMotions();
    });
    QObject::connect(ui.acViewMyProfile, &QAction::triggered, list, [this, showCard] { showCard(tdm_->OwnUserId); });
    QObject::connect(ui.acEditMyProfile, &QAction::triggered, list, [this] {
        auto* editor = new TfrmUserDetails(*tdm_, main_.get());
        opened_.append(editor);
        editor->show();
        editor->raise();
    });

    // Enabling follows the state, as the framework's idle updates would.
    auto* updates = new QTimer(list);
    updates->setInterval(250);
    QObject::connect(updates, &QTimer::timeout, list, [this, acToggleModeratorStatus, acKick] {
        TDM& d = *tdm_;
        auto& u = main_->Ui();
        const bool open = room::ModerationOnSelectedOpen(d);
        for (QAction* a : {u.acGiveVoice, u.acBanVoice, u.acGiveBoard, u.acBanBoard, acKick}) a->setEnabled(open);
        const room::TModeratorToggle t = room::ModeratorToggle(d);
        acToggleModeratorStatus->setEnabled(t.enabled);
        acToggleModeratorStatus->setText(Utf8(t.caption));
        u.acClearMotions->setVisible(d.HasModerationRights());
        u.acClearMotions->setEnabled(d.HasModerationRights());
        u.acViewMyProfile->setEnabled(d.Participants.FindUser(d.OwnUserId) != nullptr);
        const bool live = d.Room.InRoom && !d.PlaybackMode;
        for (QAction* a : {u.acRaiseHand, u.acSmile, u.acApplause, u.acSayYes, u.acSayNo, u.acEditMyProfile, u.tbStepOut})
            a->setEnabled(live);
    });
    updates->start();
}

}  // namespace orb
