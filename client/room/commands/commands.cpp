#include "commands/commands.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

#include "common/message_box.h"
#include "common/theme_icons.h"
#include "dm/dm.h"
#include "main/frm_main.h"
#include "main/main_controller.h"
#include "ui_frm_main.h"
#include "wire/text.h"

using namespace orb::chat;

namespace orb::room {

namespace {

QKeySequence Shortcut(int code) {
    if (code == 0) return {};
    const int vk = code & 0xFF;
    Qt::Key key = vk >= 112 && vk <= 123 ? Qt::Key(Qt::Key_F1 + (vk - 112)) : Qt::Key(vk);
    return QKeySequence((code & 16384 ? Qt::CTRL : Qt::KeyboardModifiers()) | key);
}

// The main window's menu and tool-bar items and the commands they stand for.
const std::pair<const char*, TCommand> kPlaces[] = {
    {"acPresent", acPresent},
    {"acShareDesktop", acStartAppShare},
    {"acShareVideo", acStartVideoSession},
    {"acLibraryDocuments", acDocs},
    {"acLibraryImages", acImages},
    {"acLibraryLinks", acWebLinks},
    {"acRaiseHand", acRaiseHand},
    {"acApplause", acApplause},
    {"acSmile", acSmile},
    {"acSayYes", acPositiveAnswer},
    {"acSayNo", acNegativeAnswer},
    {"acClearMotions", acClearMotions},
    {"acRequestMicrophone", acRequestMicrophone},
    {"acRequestCamera", acRequestWebCam},
    {"acCheckConnectivity", acSendSilentPingAll},
    {"acBeepUsers", acBuzzUsersAll},
    {"acPolling", acArrangeExam},
    {"acPromote", acToggleModeratorStatus},
    {"acGiveVoice", acGiveVoice},
    {"acBanVoice", acBanVoice},
    {"acGiveBoard", acGiveBoard},
    {"acBanBoard", acBanBoard},
    {"acGiveControl", acAppSharegiveControl},
    {"acTakeControl", acAppShareTakeControl},
    {"acRemoteAudioControl", acRemoteAudioControl},
    {"acAudioWizard", acAudioWizard},
    {"acReconnectAudio", acReconnectAudio},
    {"RestoreConnection1", acResetConnection},
    {"acStartVideo", acStartVideoSession},
    {"acStopVideo", acStopVideoSession},
    {"acViewWebCam", acViewWebCam},
    {"acVideoSettings", acVideoSessionSettings},
    {"acStartRecording", acStartRecording},
    {"acPauseRecording", acPauseRecording},
    {"acStopRecording", acStoprecording},
    {"acRecorderSettings", acRecorderSettings},
    {"acWebTourView", acWebTourView},
    {"acAppShare", acStartAppShare},
    {"acVideo", acStartVideoSession},
    {"acBreakout", acBreakoutRooms},
    {"acAudioSetup", acAudioWiz},
    {"acFullScreen", acFullScreen},
    {"acPresentations", acPresent},
};

}  // namespace

TCommands::TCommands(TDM& dm, TMainController& controller, TfOrbeloMain& window, QObject* parent)
    : QObject(parent), dm_(dm), controller_(controller), window_(window) {
    CreateActions();
    PlaceInWindow();
    SetBuiltInExecutes();
    // Room entry and level changes show the moderation actions to moderators only.
    dm_.RoomHooks.ShowModerationActions = [self = QPointer<TCommands>(this)](bool visible) {
        if (!self) return;
        self->moderationShown_ = visible;
        self->UpdateAll();
    };
    timer_ = new QTimer(this);
    timer_->setInterval(kUpdateIntervalMs);
    connect(timer_, &QTimer::timeout, this, &TCommands::UpdateAll);
    timer_->start();
    UpdateAll();
}

// Freed as the window's child, we may outlive the window's own destructor: the label's last events
// must not reach a filter that calls into the window.
TCommands::~TCommands() {
    if (navBoardView_) navBoardView_->removeEventFilter(this);
}

void TCommands::CreateActions() {
    for (const TCommandInfo& info : Commands()) {
        auto* a = new QAction(QString::fromLatin1(info.caption), this);
        a->setObjectName(QString::fromLatin1(info.name));
        a->setToolTip(QString::fromLatin1(info.hint));
        a->setStatusTip(QString::fromLatin1(info.hint));
        a->setShortcut(Shortcut(info.shortcut));
        a->setCheckable(info.checkable);
        a->setEnabled(false);
        connect(a, &QAction::triggered, this, [this, id = info.id] { Execute(id); });
        actions_[size_t(info.id)] = a;
    }
    // The recording buttons are a group: stopped at start.
    actions_[acStoprecording]->setChecked(true);
    actions_[acPlay_FF]->setVisible(false);
}

void TCommands::Execute(TCommand id) {
    if (executes_[size_t(id)]) {
        executes_[size_t(id)]();
        return;
    }
    // Handled by another part of the client through the window's item.
    for (auto [place, placeId] : places_)
        if (placeId == id) {
            place->trigger();
            return;
        }
}

void TCommands::BindButton(QAbstractButton* button, TCommand id) {
    if (!button || id < 0 || id >= kCommandCount) return;
    buttons_.push_back({button, id});
    button->setEnabled(actions_[size_t(id)]->isEnabled());
    connect(button, &QAbstractButton::clicked, this, [this, id] {
        // A click that raced the Update rule still obeys it.
        if (actions_[size_t(id)]->isEnabled()) Execute(id);
    });
}

// How many handlers an item's triggered signal has besides the menus and tool buttons that show it
// (each of those listens to it once) and, for the window's items, our own. QObject keeps the count
// protected; a pointer to the member, formed through a derived class, reads it.
int TCommands::TriggerReceivers(const QAction* action) {
    struct Access : QAction {
        static int Count(const QAction* a) { return (a->*(&Access::receivers))(SIGNAL(triggered(bool))); }
    };
    if (!action) return 0;
    int n = Access::Count(action);
    for (QObject* o : action->associatedObjects())
        if (qobject_cast<QMenu*>(o) || qobject_cast<QToolButton*>(o)) --n;
    return n;
}

int TCommands::OtherHandlers(const QAction* place) const {
    const bool ours = std::any_of(places_.begin(), places_.end(), [place](auto& p) { return p.first == place; });
    return TriggerReceivers(place) - (ours ? 1 : 0);
}

void TCommands::PlaceInWindow() {
    Ui::TfOrbeloMain& ui = window_.Ui();
    // The window's menu and tool-bar items stay where they are and stand for their command: its
    // hint, its shortcut (on the first item only, so no key is bound twice), its Update rule, and
    // its Execute handler unless another part of the client handles the item itself.
    std::array<bool, kCommandCount> shortcutGiven{};
    for (auto [name, id] : kPlaces) {
        QAction* place = window_.findChild<QAction*>(QString::fromLatin1(name));
        if (!place) continue;
        const TCommandInfo& info = CommandInfo(id);
        QAction* cmd = actions_[size_t(id)];
        place->setToolTip(QString::fromLatin1(info.hint));
        place->setStatusTip(QString::fromLatin1(info.hint));
        place->setCheckable(info.checkable);
        if (!shortcutGiven[size_t(id)] && !cmd->shortcut().isEmpty()) {
            place->setShortcut(cmd->shortcut());
            shortcutGiven[size_t(id)] = true;
        }
        if (cmd->icon().isNull()) cmd->setIcon(place->icon());
        connect(place, &QAction::triggered, this, [this, place, id = id] {
            // Ours only while no other part of the client handles the item.
            if (OtherHandlers(place) > 0 || !executes_[size_t(id)]) return;
            QAction* cmd = actions_[size_t(id)];
            if (cmd->isCheckable()) cmd->setChecked(place->isChecked());
            executes_[size_t(id)]();
        });
        places_.push_back({place, id});
    }
    // Commands without an item of their own keep their shortcuts on the window; F3 reaches Speak
    // through the window's key handling.
    for (const TCommandInfo& info : Commands()) {
        QAction* a = actions_[size_t(info.id)];
        if (info.id == acCaptureVoice || a->shortcut().isEmpty() || shortcutGiven[size_t(info.id)]) continue;
        window_.addAction(a);
    }
    for (const TCommandInfo& info : Commands())
        if (shortcutGiven[size_t(info.id)]) actions_[size_t(info.id)]->setShortcut({});
    for (const char* name : {"acSettings", "acAbout", "acViewMyProfile", "acEditMyProfile", "acLocalAudioSettings",
                             "acSilenceSuppression", "acAudioQuality"})
        if (QAction* a = window_.findChild<QAction*>(QString::fromLatin1(name))) locals_.push_back(a);

    // The audio panel's buttons: Speak toggles the floor as F3 does (its check follows the floor,
    // set by the controller), Reconnect Audio runs the Audio menu's item.
    BindButton(ui.btnSpeak, acCaptureVoice);
    BindButton(ui.btnReconnectAudio, acReconnectAudio);

    // "Library" pops the resources up; the view header offers the three views.
    pmResources_ = new QMenu(&window_);
    pmResources_->setObjectName(QStringLiteral("pmResources"));
    pmResources_->addAction(actions_[acDocs]);
    pmResources_->addAction(actions_[acImages]);
    pmResources_->addAction(actions_[acWebLinks]);
    ui.tbtnresources->setEnabled(true);
    if (auto* button = qobject_cast<QToolButton*>(ui.tbarMain->widgetForAction(ui.tbtnresources))) {
        // The button's arrow offers the same menu, which makes its items reachable through the
        // accessibility tree as well.
        button->setMenu(pmResources_);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }
    connect(ui.tbtnresources, &QAction::triggered, this, [this] {
        QWidget* button = window_.Ui().tbarMain->widgetForAction(window_.Ui().tbtnresources);
        pmResources_->popup(button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
    });
    pmViewSelector_ = new QMenu(&window_);
    pmViewSelector_->setObjectName(QStringLiteral("pmViewSelector"));
    const char* const views[] = {"White Board View", "Synchronized Web Browser", "Application Sharing View"};
    for (int v = 0; v < 3; ++v) pmViewSelector_->addAction(QString::fromLatin1(views[v]), this, [this, v] { SelectView(v); });
    navBoardView_ = ui.navBoardView;
    navBoardView_->installEventFilter(this);
    ui.navBoardView->setCursor(Qt::PointingHandCursor);

    // Step out: presence 1 while pressed (unless the participants part already handles it).
    ui.tbStepOut->setCheckable(true);
    ui.tbStepOut->setEnabled(true);
    struct Toggles : QAction {
        static int Count(const QAction* a) { return (a->*(&Toggles::receivers))(SIGNAL(toggled(bool))); }
    };
    if (Toggles::Count(ui.tbStepOut) == 0) connect(ui.tbStepOut, &QAction::toggled, this, [this](bool down) {
        dm_.SendPresence(down ? 1 : 0);
        window_.Ui().tbStepOut->setText(down ? QStringLiteral("Step In") : QStringLiteral("Step Out"));
    });
}

bool TCommands::eventFilter(QObject* watched, QEvent* e) {
    // Compared by address only: no call into the window, which may be tearing down.
    if (watched == navBoardView_ && e->type() == QEvent::MouseButtonPress) {
        auto* label = navBoardView_.data();
        pmViewSelector_->popup(label->mapToGlobal(QPoint(0, label->height())));
        return true;
    }
    return QObject::eventFilter(watched, e);
}

void TCommands::SelectView(int view) {
    if (view == mvShareViewer && dm_.RoomHooks.OwnShareRunning && dm_.RoomHooks.OwnShareRunning()) {
        window_.ShowInformation(
            "Application Sharing is currently in progress!\r\nThis action will cannot be performed while you are "
            "sharing your screen.");
        return;
    }
    controller_.SwitchMainView(view);
    dm_.SendViewMode(view);
}

void TCommands::SetExecute(TCommand id, std::function<void()> execute) {
    if (id < 0 || id >= kCommandCount) return;
    executes_[size_t(id)] = std::move(execute);
}

void TCommands::Feedback(int32_t bit) {
    if (dm_.PlaybackMode) return;
    const TParticipantRow* own = dm_.Participants.FindUser(dm_.OwnUserId);
    const int32_t motions = own ? own->motions : 0;
    dm_.SendUserFeedback((motions & bit) ? 0 : bit);
}

void TCommands::FullScreen(bool on) {
    Ui::TfOrbeloMain& ui = window_.Ui();
    QAction* a = actions_[acFullScreen];
    ui.pControls->setVisible(!on);
    window_.menuBar()->setVisible(!on);
    ui.pConnectionStatus->setVisible(!on);
    ui.pRoom->show();
    a->setText(on ? QStringLiteral("Normal View") : QStringLiteral("Full Screen"));
    window_.SetFullScreenView(on);
}

void TCommands::SetBuiltInExecutes() {
    auto selected = [this] { return StateHooks.selectedUser ? StateHooks.selectedUser() : 0; };
    auto rightChange = [this, selected](bool grant, bool microphone) {
        if (const int32_t user = selected()) dm_.SendRightChange(grant, microphone, user);
    };
    SetExecute(acCaptureVoice, [this] { controller_.SpeakToggle(); });
    SetExecute(acClearMotions, [this] { dm_.SendClearMotions(); });
    SetExecute(acGiveVoice, [=] { rightChange(true, true); });
    SetExecute(acGiveBoard, [=] { rightChange(true, false); });
    SetExecute(acBanVoice, [=] { rightChange(false, true); });
    SetExecute(acBanBoard, [=] { rightChange(false, false); });
    SetExecute(acKick, [this, selected] {
        const int32_t user = selected();
        if (user == 0) return;
        bool ok = false;
        const QString reason = QInputDialog::getText(&window_, QStringLiteral("Kick Reason"),
                                                     QStringLiteral("Enter a reason for removing this user from the session:"),
                                                     QLineEdit::Normal, QString(), &ok);
        if (!ok) return;
        dm_.SendKickUser(user, reason.toStdString());
    });
    // A check or a beep to everybody; the rows' acknowledgements of the last one go first.
    SetExecute(acSendSilentPingAll, [this] { dm_.SendPoll(0, TPollInfo::ptCheck, "", false, false, 0); });
    SetExecute(acBuzzUsersAll, [this] { dm_.SendPoll(0, TPollInfo::ptBeep, "", false, false, 0); });
    SetExecute(acToggleModeratorStatus, [this, selected] {
        const int32_t user = selected();
        const TParticipantRow* row = dm_.Participants.FindUser(user);
        if (!row || user == dm_.OwnUserId) return;
        dm_.SendUserLevel(user, row->level < 1000 ? 1000 : 0);
    });
    SetExecute(acMailInvitation, [] {});
    SetExecute(acFullScreen, [this] { FullScreen(actions_[acFullScreen]->isChecked()); });
    SetExecute(EditCopy1, [] {
        QWidget* w = QApplication::focusWidget();
        if (auto* e = qobject_cast<QLineEdit*>(w)) e->copy();
        else if (auto* t = qobject_cast<QTextEdit*>(w)) t->copy();
    });
    SetExecute(EditSelectAll1, [] {
        QWidget* w = QApplication::focusWidget();
        if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
        else if (auto* t = qobject_cast<QTextEdit*>(w)) t->selectAll();
    });
    SetExecute(acResetConnection, [this] { controller_.ResetConnection(); });
    SetExecute(acFileViewer, [] {});
    SetExecute(acFileView, [] {});
    SetExecute(acWebTourView, [this] {
        if (!dm_.PlaybackMode) SelectView(mvBrowser);
    });
    SetExecute(acRaiseHand, [this] { Feedback(kMotionHand); });
    SetExecute(acSmile, [this] { Feedback(kMotionSmile); });
    SetExecute(acApplause, [this] { Feedback(kMotionApplause); });
    SetExecute(acPositiveAnswer, [this] { Feedback(kMotionYes); });
    SetExecute(acNegativeAnswer, [this] { Feedback(kMotionNo); });
    SetExecute(acRequestMicrophone, [this] { dm_.SendUserRequest(0, 8); });
    SetExecute(acRequestWebCam, [this] { dm_.SendUserRequest(0, 9); });
    // The tool bar's "Audio Setup" asks first, then runs the wizard command.
    SetExecute(acAudioWiz, [this] {
        if (dm_.PlaybackMode || !Available(acAudioWizard)) return;
        if (PlainMessageBox(&window_, QMessageBox::Information,
                            QStringLiteral("Orbelo will now run the Audio Wizard. \r\nThis Wizard will help you to adjust "
                                           "your volume settings."),
                            QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok)
            actions_[acAudioWizard]->trigger();
    });
    SetExecute(acNewNote, [this] {
        if (!dm_.NotesDisabled) dm_.ShowSessionMessageDialog(0);
    });
}

TCommandState TCommands::State() const {
    TCommandState s;
    s.connected = dm_.vcrClient.Connected();
    s.playback = dm_.PlaybackMode;
    s.sessionLive = dm_.Room.InRoom && !dm_.PlaybackMode;
    s.level1 = dm_.OwnLoginInfo.Level();
    s.level2 = dm_.OwnLoginInfo.Level2();
    s.level3 = dm_.OwnLoginInfo.Level3();
    s.ownUser = dm_.OwnUserId;
    s.voiceRight = dm_.Room.VoiceRight || dm_.PlaybackMode;
    s.microphone = dm_.Room.AudioState == 0 || dm_.PlaybackMode;
    s.speakOn = dm_.Room.SpeakOn;
    s.videoRight = dm_.Room.VideoRight;
    s.documentRight = dm_.Room.DocumentRight;
    s.videoPublishing = dm_.Room.VideoPublishing;
    s.selectedUser = StateHooks.selectedUser ? StateHooks.selectedUser() : 0;
    if (const TParticipantRow* row = dm_.Participants.FindUser(s.selectedUser)) {
        s.selectedLevel = row->level;
        s.selectedHasRecord = true;
    } else {
        s.selectedUser = 0;
    }
    s.shareState = StateHooks.shareState ? StateHooks.shareState()
                   : (dm_.RoomHooks.AppShareRunning && dm_.RoomHooks.AppShareRunning()) ? 1 : 0;
    s.sharingUser = StateHooks.sharingUser ? StateHooks.sharingUser()
                    : (dm_.RoomHooks.OwnShareRunning && dm_.RoomHooks.OwnShareRunning()) ? dm_.OwnUserId : 0;
    s.recording = StateHooks.recording && StateHooks.recording();
    s.playing = StateHooks.playing && StateHooks.playing();
    s.roomType = StateHooks.roomType ? StateHooks.roomType() : 0;
    s.notesDisabled = dm_.NotesDisabled;
    s.breakoutAllowed = StateHooks.breakoutAllowed && StateHooks.breakoutAllowed();
    s.rowSelectedInNotes = StateHooks.rowSelectedInNotes && StateHooks.rowSelectedInNotes();
    return s;
}

bool TCommands::Available(TCommand id) const {
    if (id == acAudioWiz) return Available(acAudioWizard);
    if (executes_[size_t(id)]) return true;
    for (auto [place, placeId] : places_)
        if (placeId == id && OtherHandlers(place) > 0) return true;
    return false;
}

void TCommands::UpdateAll() {
    const TCommandState s = State();
    std::array<TCommandUpdate, kCommandCount> updates;
    for (const TCommandInfo& info : Commands()) {
        QAction* a = actions_[size_t(info.id)];
        TCommandUpdate u = UpdateCommand(info.id, s);
        u.enabled = u.enabled && Available(info.id);
        if (info.id == acGiveVoice || info.id == acGiveBoard || info.id == acBanVoice || info.id == acBanBoard)
            u.visible = moderationShown_.value_or(Moderates(s));
        if (a->isEnabled() != u.enabled) a->setEnabled(u.enabled);
        if (a->isVisible() != u.visible) a->setVisible(u.visible);
        if (!u.caption.empty() && a->text() != QString::fromStdString(u.caption)) a->setText(QString::fromStdString(u.caption));
        updates[size_t(info.id)] = u;
    }
    for (auto [place, id] : places_) {
        const TCommandUpdate& u = updates[size_t(id)];
        if (place->isEnabled() != u.enabled) place->setEnabled(u.enabled);
        if (place->isVisible() != u.visible) place->setVisible(u.visible);
        if (!u.caption.empty() && place->text() != QString::fromStdString(u.caption))
            place->setText(QString::fromStdString(u.caption));
    }
    for (auto& [button, id] : buttons_)
        if (button && button->isEnabled() != updates[size_t(id)].enabled) button->setEnabled(updates[size_t(id)].enabled);
    // The window's own items that other parts handle: open while someone handles them.
    for (QAction* local : locals_) {
        const bool handled = TriggerReceivers(local) > 0;
        if (local->isEnabled() != handled) local->setEnabled(handled);
    }
}

}  // namespace orb::room
