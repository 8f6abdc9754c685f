#include "userlist/frm_userlist.h"

#include <QFileInfo>
#include <QMessageBox>

#include "common/message_box.h"
#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "ui_frm_userlist.h"
#include "userlist/user_actions.h"
#include "userlist/user_list_view.h"

using namespace orb;
using namespace orb::room;

namespace {

// The pop-up menu in its order; empty names are separators.
constexpr const char* kMenu[] = {"ShowProfile1", "SendRequest1", "acViewWebCam", "",
                                 "acToggleModeratorStatus", "", "acAppSharegiveControl", "acAppShareTakeControl",
                                 "", "acGiveVoice", "acBanVoice", "acRemoteAudioControl", "", "acGiveBoard",
                                 "acBanBoard", "", "acKick"};

}  // namespace

TfrmUserList::TfrmUserList(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmUserList>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmUserList"));
    pmUsers_ = new QMenu(this);
    pmUsers_->setObjectName(QStringLiteral("pmUsers"));
    ui_->lvUsers->UserMenu = pmUsers_;
    ui_->lvUsers->OnItemExpand = [this](int32_t u, bool e) { lvUsersItemExpand(u, e); };
    ui_->lvUsers->OnMikeImageClick = [this](int32_t u) { lvUsersMikeImageClick(u); };
    ui_->lvUsers->OnCamImageClick = [this](int32_t u) { lvUsersCamImageClick(u); };
    connect(ui_->ShowProfile1, &QAction::triggered, this, [this] { ShowProfile1Click(); });
    connect(ui_->SendRequest1, &QAction::triggered, this, [this] { SendRequest1Click(); });
    SetMenuActions([](const char*) { return nullptr; });
    connect(pmUsers_, &QMenu::aboutToShow, this, [this] { RefreshMenuActions(); });

    pmUserCommon_ = new QMenu(this);
    pmUserCommon_->setObjectName(QStringLiteral("pmUser_CommonAction"));
    const std::pair<const char*, int> sorts[] = {{"Moderators On Top", smRole}, {"Sort By Name", smName},
                                                 {"Sort By Hand Status", smHands}};
    for (auto [caption, mode] : sorts)
        connect(pmUserCommon_->addAction(QString::fromLatin1(caption)), &QAction::triggered, this, [this, mode = mode] {
            if (dm_) dm_->Participants.Sort(mode);
        });
    pmUserCommon_->addSeparator();
    connect(pmUserCommon_->addAction(QStringLiteral("Expand All Entries")), &QAction::triggered, this, [this] {
        if (dm_) dm_->Participants.ExpandAll();
    });
    connect(pmUserCommon_->addAction(QStringLiteral("Collapse All Entries")), &QAction::triggered, this, [this] {
        if (dm_) dm_->Participants.CollapseAll();
    });
    // "Breakout Rooms..." is the room's command (enabled for moderators of a room that allows
    // them); until the command object is there, a disabled item keeps its place.
    pmUserCommon_->addSeparator();
    breakoutItem_ = new QAction(QStringLiteral("Breakout Rooms..."), this);
    breakoutItem_->setObjectName(QStringLiteral("acBreakoutRooms"));
    breakoutItem_->setEnabled(false);
    pmUserCommon_->addAction(breakoutItem_);
    connect(pmUserCommon_, &QMenu::aboutToShow, this, [this] {
        if (UpdateCommands) UpdateCommands();
        QAction* command = find_ ? find_("acBreakoutRooms") : nullptr;
        if (!command || command == breakoutItem_) return;
        pmUserCommon_->insertAction(breakoutItem_, command);
        pmUserCommon_->removeAction(breakoutItem_);
        breakoutItem_->deleteLater();
        breakoutItem_ = command;
    });
    QWidget* canvas = ui_->lvUsers->widget();
    canvas->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(canvas, &QWidget::customContextMenuRequested, this,
            [this, canvas](const QPoint& p) { pmUserCommon_->popup(canvas->mapToGlobal(p)); });
}

TfrmUserList::~TfrmUserList() {
    ui_->lvUsers->SetList(nullptr);
}

TOrbeloUserList* TfrmUserList::lvUsers() const { return ui_->lvUsers; }

void TfrmUserList::Bind(TDM* dm, WindowHandle mainWindow, const std::string& programFolder) {
    dm_ = dm;
    mainWindow_ = mainWindow;
    programFolder_ = programFolder;
    const QString noface = QString::fromStdString(programFolder + "noface.jpg");
    if (QFileInfo::exists(noface)) ui_->lvUsers->NoFace = LoadPicture(noface);
    ui_->lvUsers->SetList(dm ? &dm->Participants : nullptr);
}

void TfrmUserList::SetMenuActions(const std::function<QAction*(const char*)>& find) {
    find_ = find;
    RefreshMenuActions();
}

void TfrmUserList::RefreshMenuActions() {
    if (UpdateCommands) UpdateCommands();
    pmUsers_->clear();
    menuActions_.clear();
    for (QAction* a : placeholders_) a->deleteLater();
    placeholders_.clear();
    for (const char* name : kMenu) {
        if (!*name) {
            pmUsers_->addSeparator();
            continue;
        }
        const std::string n = name;
        QAction* a = nullptr;
        if (n == "ShowProfile1") a = ui_->ShowProfile1;
        else if (n == "SendRequest1") a = ui_->SendRequest1;
        else if (find_) a = find_(name);
        if (!a) {
            // A command whose area is not there yet keeps its place in the menu, disabled.
            const char* caption = n == "acAppSharegiveControl"   ? "Give application sharing remote control"
                                  : n == "acAppShareTakeControl" ? "Deprive application sharing remote control"
                                  : n == "acViewWebCam"          ? "View Participant's Web Cam"
                                  : n == "acRemoteAudioControl"  ? "Remote Audio Control"
                                  : n == "acToggleModeratorStatus" ? "Promote the user to Moderator"
                                  : n == "acKick" ? "Remove the participant from the session"
                                  : n == "acGiveVoice" ? "Give this participant a microphone"
                                  : n == "acBanVoice" ? "Deprive the microphone"
                                  : n == "acGiveBoard" ? "Allow the user to write on the boards"
                                  : n == "acBanBoard" ? "Deprive the boards" : name;
            a = new QAction(QString::fromLatin1(caption), this);
            a->setObjectName(QString::fromLatin1(name));
            a->setEnabled(false);
            placeholders_.push_back(a);
        }
        pmUsers_->addAction(a);
        menuActions_.emplace_back(name, a);
    }
}

QAction* TfrmUserList::MenuAction(const char* name) const {
    for (auto& [n, a] : menuActions_)
        if (n == name) return a;
    return nullptr;
}

void TfrmUserList::lvUsersItemExpand(int32_t user, bool expanded) {
    if (!expanded || !dm_) return;
    try {
        TParticipantRow* row = dm_->Participants.FindUser(user);
        if (!row) return;
        const std::string file = dm_->UserImagesFolder + std::to_string(user) + ".jpg";
        if (!dm_->UserImagesFolder.empty() && QFileInfo::exists(QString::fromStdString(file))) {
            // A picture that does not load leaves the row on the program's "noface.jpg".
            row->picturePath = file;
            dm_->Participants.Changed(user);
        } else if (!dm_->PlaybackMode) {
            dm_->DownloadUserImage(user, mainWindow_, WM_APP_DOWNLOADDONE);
        }
    } catch (...) {
    }
}

void TfrmUserList::lvUsersMikeImageClick(int32_t user) {
    if (!dm_) return;
    const TParticipantRow* row = dm_->Participants.FindUser(user);
    if (!row) return;
    dm_->Participants.SetSelected(user);
    RefreshMenuActions();
    QAction* give = MenuAction("acGiveVoice");
    QAction* ban = MenuAction("acBanVoice");
    switch (MikeClickAction(row->mikeState, dm_->OwnLoginInfo.Level(), user == dm_->OwnUserId)) {
    case TMikeClick::None: break;
    case TMikeClick::GiveVoice:
        if (give) give->trigger();
        break;
    case TMikeClick::BanVoice:
        if (ban) ban->trigger();
        break;
    case TMikeClick::AskThenBanVoice: {
        const QString q = QString::fromLatin1(kBanSpeakerQuestion);
        const bool yes = AskYesNo ? AskYesNo(q)
                                  : PlainMessageBox(this, QMessageBox::Warning, q, QMessageBox::Yes | QMessageBox::No) ==
                                        QMessageBox::Yes;
        if (yes && ban) ban->trigger();
        break;
    }
    }
}

void TfrmUserList::lvUsersCamImageClick(int32_t user) {
    if (!dm_) return;
    const TParticipantRow* row = dm_->Participants.FindUser(user);
    if (!row || row->camState != csPublishing) return;
    dm_->Participants.SetSelected(user);
    RefreshMenuActions();
    if (QAction* view = MenuAction("acViewWebCam")) view->trigger();
}

void TfrmUserList::ShowProfile1Click() {
    if (dm_ && dm_->Participants.SelectedUser() != 0 && OnShowProfile) OnShowProfile(dm_->Participants.SelectedUser());
}

void TfrmUserList::SendRequest1Click() {
    if (dm_ && dm_->Participants.SelectedUser() != 0 && OnSendNote) OnSendNote(dm_->Participants.SelectedUser());
}
