#include "main/frm_main.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

#include "audio/tone.h"
#include "chat/chat_views.h"
#include "common/message_box.h"
#include "common/theme_icons.h"
#include "main/key_map.h"
#include "qt_event_loop.h"
#include "ui_frm_main.h"

using orb::room::ThemeIcon;

namespace {

QString Text(const std::string& s) { return orb::room::FromUtf8(s); }

int Box(QWidget* parent, QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons) {
    return orb::room::PlainMessageBox(parent, icon, Text(text), buttons);
}


}  // namespace

TfOrbeloMain::TfOrbeloMain(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TfOrbeloMain>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfOrbeloMain"));

    // The connection speed items carry their speed; one of them is ticked at a time.
    speedGroup_ = new QActionGroup(this);
    for (QAction* a : ui_->menuConnectionSpeed->actions()) {
        a->setProperty("Tag", a->objectName().mid(int(strlen("miSpeed"))).toInt());
        speedGroup_->addAction(a);
    }
    auto* themes = new QActionGroup(this);
    int tag = 0;
    for (QAction* a : ui_->menuChangeTheme->actions()) {
        a->setProperty("Tag", tag++);
        themes->addAction(a);
    }

    // The chat input's menu with the moderators' chat permissions.
    pmChat_ = new QMenu(this);
    pmChat_->setObjectName(QStringLiteral("pmChat"));
    miChatPermissions_ = pmChat_->addMenu(QStringLiteral("Chat Permissions"));
    miChatPermissions_->setObjectName(QStringLiteral("miChatPermissions"));
    const std::pair<int, const char*> perms[] = {{0, "Allow chat messages (both private and public)"},
                                                 {3, "Disable chat messages"},
                                                 {1, "Allow only public messages (Private ones are blocked)"}};
    for (auto [permTag, caption] : perms) {
        QAction* a = miChatPermissions_->addAction(QString::fromLatin1(caption));
        a->setObjectName(QStringLiteral("ChatPerm%1").arg(permTag));
        a->setCheckable(true);
        a->setProperty("Tag", permTag);
        chatPerm_[permTag == 0 ? 0 : permTag == 1 ? 1 : 2] = a;
    }
    miChatPermissions_->menuAction()->setVisible(false);
    ui_->btnSmilies->setMenu(pmChat_);
    PopUpOnClick(ui_->btnSmilies);

    // Commands whose windows come later stay visible but disabled, so nothing pretends to work.
    const QSet<QString> working = {QStringLiteral("RestoreConnection1"), QStringLiteral("acExitSession")};
    for (QAction* a : findChildren<QAction*>()) {
        if (a->menu() || a->isSeparator() || a->actionGroup() || a->objectName().startsWith(QLatin1String("ChatPerm")))
            continue;
        if (!working.contains(a->objectName())) a->setEnabled(false);
    }
    for (QAction* a : speedGroup_->actions()) a->setEnabled(false);
    for (QAction* a : themes->actions()) a->setEnabled(false);
    ui_->eMsg->setEnabled(false);
    ui_->btnSendMsg->setEnabled(false);
    ui_->lvRequests->setEnabled(false);

    connect(ui_->acExitSession, &QAction::triggered, this, &QWidget::close);
    connect(ui_->RestoreConnection1, &QAction::triggered, this, [this] { ResetConnectionExecute(); });
    connect(ui_->spbtnResetConnection, &QToolButton::clicked, this, [this] { ResetConnectionExecute(); });
    connect(ui_->LeftSplitter, &QSplitter::splitterMoved, this, [this] {
        if (controller_) controller_->SplittersMoved(ui_->pControls->width(), -1);
    });
    connect(ui_->midSplitter, &QSplitter::splitterMoved, this, [this] {
        if (controller_) controller_->SplittersMoved(-1, ui_->pClassListHolder->height());
    });
    ui_->LeftSplitter->setStretchFactor(0, 0);
    ui_->LeftSplitter->setStretchFactor(1, 1);
    ui_->midSplitter->setStretchFactor(0, 0);
    ui_->midSplitter->setStretchFactor(1, 1);
    ui_->pRecorderTool->setVisible(false);
    headerStyle_ = ui_->hdrTextMessages->styleSheet();
    // Until the room's own sizes are applied: the defaults of the panel sizes.
    ui_->LeftSplitter->setSizes({290, 990});
    ui_->midSplitter->setSizes({325, 400});
    SetIcons();
    SetupChatUi();
    // The participant panel's header carries a close button.
    auto* closeParticipants = new QToolButton(ui_->hdrParticipantsCaption);
    closeParticipants->setObjectName(QStringLiteral("btnCloseParticipants"));
    closeParticipants->setText(QStringLiteral("\u00d7"));
    closeParticipants->setToolTip(QStringLiteral("Close"));
    closeParticipants->setAccessibleName(QStringLiteral("Close"));
    closeParticipants->setAutoRaise(true);
    auto* header = new QHBoxLayout(ui_->hdrParticipantsCaption);
    header->setContentsMargins(0, 0, 2, 0);
    header->addStretch();
    header->addWidget(closeParticipants);
    connect(closeParticipants, &QToolButton::clicked, this, [this] {
        if (ShowAttendeeWindow) ShowAttendeeWindow();
    });
    qApp->installEventFilter(this);
}

// A button that pops its menu up below itself. A menu opened on the press alone (instant pop-up)
// cannot be pressed through the accessibility tree: the click of the button and its arrow both open
// it, without a loop of their own.
void TfOrbeloMain::PopUpOnClick(QToolButton* button) {
    button->setPopupMode(QToolButton::MenuButtonPopup);
    connect(button, &QToolButton::clicked, button, [button] {
        if (QMenu* m = button->menu()) m->popup(button->mapToGlobal(QPoint(0, button->height())));
    });
}

TfOrbeloMain::~TfOrbeloMain() {
    if (qApp) qApp->removeEventFilter(this);
}

void TfOrbeloMain::SetIcons() {
    struct Item {
        QAction* action;
        std::initializer_list<const char*> names;
    };
    const Item items[] = {
        {ui_->tbStepOut, {"system-log-out", "user-away"}},
        {ui_->acPresent, {"x-office-presentation", "video-display"}},
        {ui_->acWebTourView, {"web-browser", "applications-internet"}},
        {ui_->tbtnresources, {"folder-documents", "folder"}},
        {ui_->tbSessionNotes, {"accessories-text-editor", "text-editor", "document-edit"}},
        {ui_->acPolling, {"view-list-bullet", "emblem-documents", "dialog-question"}},
        {ui_->acAppShare, {"video-display", "preferences-desktop-remote-desktop"}},
        {ui_->acVideo, {"camera-web", "camera-video"}},
        {ui_->acBreakout, {"system-users", "view-grid"}},
        {ui_->acAudioSetup, {"audio-input-microphone", "multimedia-volume-control"}},
        {ui_->acFullScreen, {"view-fullscreen"}},
        {ui_->acStartRecording, {"media-record"}},
        {ui_->acPauseRecording, {"media-playback-pause"}},
        {ui_->acStopRecording, {"media-playback-stop"}},
        {ui_->acRecorderSettings, {"preferences-system", "emblem-system"}},
        {ui_->RestoreConnection1, {"view-refresh", "network-wired"}},
        {ui_->acReconnectAudio, {"view-refresh", "audio-card"}},
        {ui_->acExitSession, {"application-exit", "system-log-out"}},
        {ui_->acSettings, {"preferences-system", "emblem-system"}},
        {ui_->acAbout, {"help-about"}},
        {ui_->acHelpSupport, {"help-browser", "help-contents"}},
    };
    for (const Item& i : items) i.action->setIcon(ThemeIcon(i.names, i.action->text()));
    ui_->spbtnResetConnection->setIcon(ThemeIcon({"view-refresh", "network-offline"}, QStringLiteral("R"), QColor(0xc0392b)));
    ui_->btnReconnectAudio->setIcon(ThemeIcon({"view-refresh", "audio-card"}, QStringLiteral("A")));
    ui_->btnSpeak->setIcon(ThemeIcon({"audio-input-microphone", "microphone-sensitivity-high"}, QStringLiteral("S")));
    ui_->btnSmilies->setIcon(ThemeIcon({"face-smile", "emoji-people", "face-smile-big"}, QStringLiteral(":)")));
    setWindowIcon(ThemeIcon({"applications-education", "user-available", "system-users"}, QStringLiteral("O")));
}

void TfOrbeloMain::Bind(orb::TMainController* controller, TDM* dm, int audioOutDevice) {
    controller_ = controller;
    dm_ = dm;
    tones_ = std::make_unique<orb::media::TTonePlayer>(audioOutDevice);
}

QAction* TfOrbeloMain::ChatPerm(int tag) const { return chatPerm_[tag == 0 ? 0 : tag == 1 ? 1 : 2]; }

QString TfOrbeloMain::PublicChatText() const {
    orb::room::TChatBrowser* v = chatViews_->FindMessageList(0);
    if (!v) return QString();
    v->Flush();
    return v->toPlainText();
}

void TfOrbeloMain::FreeChatViews() { chatViews_->FreeAll(); }

// ---- Events

bool TfOrbeloMain::event(QEvent* e) {
    if (auto* m = dynamic_cast<orb::TWindowMessageEvent*>(e)) {
        if (controller_) controller_->HandleMessage(m->Msg(), m->WParam(), m->LParam());
        return true;
    }
    return QMainWindow::event(e);
}

void TfOrbeloMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shown_) return;
    shown_ = true;
    // Queued, so the window is up before the driver opens dialogs over it.
    QMetaObject::invokeMethod(this, &TfOrbeloMain::FirstShown, Qt::QueuedConnection);
}

void TfOrbeloMain::closeEvent(QCloseEvent* e) {
    if (closing_) {
        e->accept();
        return;
    }
    if (!closeWithoutQuestion_ && controller_ && !controller_->FormCloseQuery()) {
        e->ignore();
        return;
    }
    closing_ = true;
    if (controller_) {
        controller_->SplittersMoved(ui_->pControls->width(), ui_->pClassListHolder->height());
        controller_->FormClose();
    }
    e->accept();
    // Closing the main window ends the run, whatever other windows are still up.
    QCoreApplication::exit(exitCode_.value_or(0));
}

bool TfOrbeloMain::eventFilter(QObject* watched, QEvent* e) {
    // The window previews every key of its own widgets (push-to-talk and F3); a key event is seen
    // once, at the widget it is sent to first.
    if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) && controller_) {
        auto* w = qobject_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        if (w && w->window() == this && (w == focus || (!focus && w == this))) {
            auto* k = static_cast<QKeyEvent*>(e);
            int vk = orb::room::QtKeyToVirtualKey(k->key());
            if (vk != 0) {
                if (e->type() == QEvent::KeyPress)
                    controller_->KeyDown(vk, k->isAutoRepeat());
                else
                    controller_->KeyUp(vk, k->isAutoRepeat());
            }
        }
    }
    // The chat input: Enter sends (Shift+Enter makes a new line in the multi-line editor), a double
    // click switches the editor, and the chat header opens the send-to menu.
    if (ui_ && (watched == ui_->eMsg || watched == ui_->eMultiMsg)) {
        if (e->type() == QEvent::MouseButtonDblClick) {
            SetMultiLine(!multiLine_);
            return true;
        }
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && !(k->modifiers() & Qt::ShiftModifier)) {
                SendChatInput();
                return true;
            }
        }
    } else if (ui_ && watched == ui_->navBoardView && e->type() == QEvent::Enter) {
        // Hovering the view header shows the docked sharing viewer's control panel.
        if (docked_.shareViewer && docked_.shareViewer->isVisible())
            if (auto* panel = docked_.shareViewer->findChild<QWidget*>(QStringLiteral("pControls"))) panel->show();
    } else if (ui_ && watched == ui_->hdrTextMessages && e->type() == QEvent::MouseButtonPress) {
        if (ui_->hdrTextMessages->property("sendToMenu").toBool() || !ui_->hdrTextMessages->property("sendToMenu").isValid()) {
            FillSendToMenu();
            pmSendTo_->popup(ui_->hdrTextMessages->mapToGlobal(QPoint(0, ui_->hdrTextMessages->height())));
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void TfOrbeloMain::ResetConnectionExecute() {
    if (controller_) controller_->ResetConnection();
}

// ---- IMainView

int TfOrbeloMain::MessageBox(int icon, const std::string& text, int buttons) {
    if (MessageBoxOverride) return MessageBoxOverride(icon, text, buttons);
    return Box(this, QMessageBox::Icon(icon), text, QMessageBox::StandardButtons(buttons));
}

void TfOrbeloMain::ShowError(const std::string& text) { MessageBox(QMessageBox::Critical, text, QMessageBox::Ok); }
void TfOrbeloMain::ShowReceivedError(const std::string& text) {
    if (MessageBoxOverride) {
        MessageBoxOverride(QMessageBox::Critical, text, QMessageBox::Ok);
        return;
    }
    orb::room::ShowPlainMessage(this, QMessageBox::Critical, Text(text));
}
void TfOrbeloMain::ShowWarning(const std::string& text) { MessageBox(QMessageBox::Warning, text, QMessageBox::Ok); }
void TfOrbeloMain::ShowInformation(const std::string& text) {
    MessageBox(QMessageBox::Information, text, QMessageBox::Ok);
}
bool TfOrbeloMain::AskYesNo(const std::string& text) {
    return MessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TfOrbeloMain::CheckConnectionSpeedItem(int32_t tag) {
    for (QAction* a : speedGroup_->actions()) a->setChecked(a->property("Tag").toInt() == tag);
}

void TfOrbeloMain::ApplyColorTheme(int styleTheme) {
    // Standard keeps the desktop's colours; the other themes tint the window.
    static const char* const kSheets[] = {
        "",
        "QMainWindow, QMenuBar, QToolBar, QFrame#pConnectionStatus { background: #e6ebf5; }",
        "QMainWindow, QMenuBar, QToolBar, QFrame#pConnectionStatus { background: #e1e1e6; }",
        "QMainWindow, QMenuBar, QToolBar, QFrame#pConnectionStatus { background: #e8ebd9; }",
    };
    setStyleSheet(QString::fromLatin1(kSheets[styleTheme >= 0 && styleTheme <= 3 ? styleTheme : 0]));
    QFont f = font();
    f.setPointSize(8);
    ui_->Navigator->setFont(f);
}

void TfOrbeloMain::DockInto(QWidget* form, QWidget* place) {
    if (!form || !place) return;
    form->setParent(place, Qt::Widget);
    place->layout()->addWidget(form);
}

void TfOrbeloMain::DockWindows() {
    DockInto(docked_.userList, ui_->hdrParticipants);
    DockInto(docked_.board, ui_->pBH);
    DockInto(docked_.browser, ui_->pBH);
    DockInto(docked_.shareViewer, ui_->pBH);
    if (docked_.userList) docked_.userList->show();
    if (docked_.browser) docked_.browser->hide();
    if (docked_.shareViewer) docked_.shareViewer->hide();
}

void TfOrbeloMain::PlaceAtWorkArea() {
    if (QScreen* s = screen()) PlaceWithin(s->availableGeometry());
}

void TfOrbeloMain::PlaceFullScreen() {
    // With a frame this is the screen's size including it; without one (full-screen view,
    // playback) the window itself covers the screen.
    if (QScreen* s = screen()) PlaceWithin(s->geometry());
}

void TfOrbeloMain::SetFullScreenView(bool on) {
    if (on)
        showFullScreen();
    else
        showNormal();
}

QMargins TfOrbeloMain::FrameMargins() const {
    // A window without a frame may still report the frame it had.
    if (windowFlags() & Qt::FramelessWindowHint) return {};
    const QRect f = frameGeometry();
    const QRect g = geometry();
    return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

void TfOrbeloMain::PlaceWithin(const QRect& area) {
    placeArea_ = area;
    placedMargins_ = QMargins(-1, -1, -1, -1);
    Replace();
}

void TfOrbeloMain::Replace() {
    if (!placeArea_ || !isWindow() || isFullScreen()) return;
    const QMargins m = FrameMargins();
    if (m == placedMargins_) return;
    placedMargins_ = m;
    // move() places the frame's corner; the size is the window's own.
    move(placeArea_->topLeft());
    resize(placeArea_->size().shrunkBy(m));
}

void TfOrbeloMain::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    Replace();
}

void TfOrbeloMain::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    Replace();
}

void TfOrbeloMain::ApplyPlaybackLayout() {
    ui_->MainMenu1->hide();
    ui_->tbarMain->hide();
    ui_->pRecorderTool->hide();
    ui_->pPDAHolder->hide();
    ui_->pConnectionStatus->hide();
    ui_->Navigator->setCurrentWidget(ui_->navTextMessages);
    const int notes = ui_->Navigator->indexOf(ui_->navPostIt);
    if (notes >= 0) {
        ui_->Navigator->removeItem(notes);
        ui_->navPostIt->hide();
    }
    // The whole screen without a caption: the window manager's full-screen state, so the
    // window's flags do not change at run time.
    SetFullScreenView(true);
    if (auto* toolbar = findChild<QWidget*>(QStringLiteral("pBoardMainToolbar"))) toolbar->hide();
}

void TfOrbeloMain::SetPlayerFullScreen(bool down) {
    ui_->pControls->setVisible(!down);
    ui_->MainMenu1->hide();
    ui_->pConnectionStatus->hide();
    ui_->pRoom->show();
    SetFullScreenView(true);
}

void TfOrbeloMain::BringToFront() {
    raise();
    activateWindow();
}

int TfOrbeloMain::ScreenHeight() const { return screen() ? screen()->geometry().height() : 0; }
bool TfOrbeloMain::ScreenAt96Dpi() const { return !screen() || qRound(screen()->logicalDotsPerInch()) == 96; }

void TfOrbeloMain::SetLiveCommandsEnabled(bool enabled) {
    ui_->RestoreConnection1->setEnabled(enabled);
    // Reconnecting the audio comes with the voice connection.
    ui_->acReconnectAudio->setEnabled(false);
}

void TfOrbeloMain::SetSplitters(int leftWidth, int participantHeight) {
    // Sizes are set against the window's present size, not the one before it was placed.
    if (QLayout* l = ui_->pMainHolder->layout()) l->activate();
    const int total = ui_->LeftSplitter->width();
    ui_->LeftSplitter->setSizes({leftWidth, qMax(1, total - leftWidth)});
    const int h = ui_->midSplitter->height();
    ui_->midSplitter->setSizes({participantHeight, qMax(1, h - participantHeight)});
}

int TfOrbeloMain::RunRoomList() { return RoomListRunner ? RoomListRunner() : 0; }

void TfOrbeloMain::SetRoomCaption(const std::string& caption) { ui_->pRoomInfo->setText(Text(caption)); }
void TfOrbeloMain::SetRecorderToolVisible(bool visible) { ui_->pRecorderTool->setVisible(visible); }
void TfOrbeloMain::SetChatPermissionsMenuVisible(bool visible) {
    miChatPermissions_->menuAction()->setVisible(visible);
    // The notes switch is the moderators' as well.
    if (auto* notes = pmChat_->findChild<QMenu*>(QStringLiteral("miNotesPermissions"))) notes->menuAction()->setVisible(visible);
}
void TfOrbeloMain::SetClearMotionsVisible(bool visible) { ui_->acClearMotions->setVisible(visible); }
void TfOrbeloMain::SetBoardToolBoxVisible(bool visible) {
    // The board window names its tool box; the main window only shows or hides it.
    if (!docked_.board) return;
    if (auto* box = docked_.board->findChild<QWidget*>(QStringLiteral("pToolBoxHolder"))) box->setVisible(visible);
    if (auto* tools = docked_.board->findChild<QWidget*>(QStringLiteral("pBBTools")); tools && visible) tools->show();
}

orb::TScreenRect TfOrbeloMain::RoomArea() const {
    QPoint tl = ui_->pRoom->mapToGlobal(QPoint(0, 0));
    return {tl.x(), tl.y(), ui_->pRoom->width(), ui_->pRoom->height()};
}

void TfOrbeloMain::CloseWithoutQuestion() {
    closeWithoutQuestion_ = true;
    close();
}

void TfOrbeloMain::Quit(int exitCode) {
    exitCode_ = exitCode;
    QCoreApplication::exit(exitCode);
}

void TfOrbeloMain::SetResetButtonVisible(bool visible) { ui_->spbtnResetConnection->setVisible(visible); }

void TfOrbeloMain::AddChatLine(const std::string& sender, const std::string& text, uint32_t colour, bool notice) {
    chatViews_->AddChatMessage(0, Text(sender), notice, colour, Text(text));
}

void TfOrbeloMain::Beep(int frequency, int durationMs) {
    if (!tones_ || !tones_->Play(frequency, durationMs)) QApplication::beep();
}

void TfOrbeloMain::ShowView(int view) {
    static const char* const kCaptions[] = {"White Board View", "Guided Web Browser View", "Application Sharing Viewer"};
    QWidget* board = docked_.board;
    QWidget* browser = docked_.browser;
    QWidget* viewer = docked_.shareViewer;
    if (board) board->setVisible(view == orb::mvWhiteboard);
    if (browser) browser->setVisible(view == orb::mvBrowser);
    if (viewer && view == orb::mvShareViewer) viewer->show();
    ui_->navBoardView->setText(QString::fromLatin1(kCaptions[view]));
}

void TfOrbeloMain::ShowWelcomePage(const std::string& address, bool tips, const orb::TScreenRect& where,
                                   bool dontShowAgain) {
    if (WelcomePageRunner) WelcomePageRunner(address, tips, where, dontShowAgain);
}

void TfOrbeloMain::HideShareViewer() {
    if (docked_.shareViewer) docked_.shareViewer->hide();
}

void TfOrbeloMain::Flash(bool on) {
    if (on) QApplication::alert(this, 0);
}

bool TfOrbeloMain::IsMaximized() const { return isMaximized(); }

void TfOrbeloMain::SetMotionCounts(int hands, int yes, int no) {
    ui_->lbCountHands->setText(QString::number(hands));
    ui_->lbPositive->setText(QString::number(yes));
    ui_->lbNegative->setText(QString::number(no));
}

void TfOrbeloMain::SetAudioControls(bool reconnectVisible, bool speakBarVisible) {
    ui_->btnReconnectAudio->setVisible(reconnectVisible);
    ui_->tbarSpeakButtonHolder->setVisible(speakBarVisible);
}

void TfOrbeloMain::SetMicrophoneMeter(int percent) { ui_->peakMicrophone->setValue(percent); }
void TfOrbeloMain::SetSpeakerMeter(int percent) { ui_->peakSpeaker->setValue(percent); }

void TfOrbeloMain::SetChatPermission(const orb::TChatPermissionLayout& l) {
    for (QAction* a : chatPerm_) a->setChecked(false);
    ui_->hdrTextMessages->setText(QStringLiteral("Public Messages"));
    ui_->hdrTextMessages->setStyleSheet(headerStyle_);
    if (!l.applyMode) return;
    ui_->pnlMessageSender->setVisible(l.inputVisible);
    if (l.checkedItem >= 0) ChatPerm(l.checkedItem)->setChecked(true);
    ui_->hdrTextMessages->setProperty("sendToMenu", l.sendToMenu);
    if (l.disabledHeader) {
        ui_->hdrTextMessages->setText(QStringLiteral("Public Messages - Disabled for users"));
        ui_->hdrTextMessages->setStyleSheet(QString(headerStyle_).replace(QLatin1String("palette(bright-text)"),
                                                                          QLatin1String("#ff0000")));
    }
}

void TfOrbeloMain::SetNotesEnabled(bool enabled) {
    ui_->tbSessionNotes->setProperty("notesEnabled", enabled);
    ui_->tbSessionNotes->setEnabled(enabled);
    if (dm_) dm_->NotesDisabled = !enabled;
    if (miNotesPerm_[0]) {
        miNotesPerm_[0]->setChecked(enabled);
        miNotesPerm_[1]->setChecked(!enabled);
    }
}

void TfOrbeloMain::SetSpeakChecked(bool checked) { ui_->btnSpeak->setChecked(checked); }

void TfOrbeloMain::ShowPoll(const ::TPollInfo& poll) {
    if (PollWindowOpener) PollWindowOpener(poll);
}

void TfOrbeloMain::LoadRecentPollsMenu() {
    if (RecentPollsFiller) RecentPollsFiller();
}

void TfOrbeloMain::LoadUserPicture(int32_t, const std::string&) {}
