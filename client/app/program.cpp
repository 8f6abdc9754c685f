#include "program.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTime>
#include <QWindow>

#include <QDesktopServices>
#include <QUrl>

#include "boardmsg/board_dm_link.h"
#include "commands/commands.h"
#include "common/message_box.h"
#include "board/engine/board_engine.h"
#include "keyboard_hook.h"
#include "ui_frm_main.h"
#include "login/frm_login.h"
#include "roomlist/frm_roomlist.h"
#include "protocol/date_time.h"
#include "protocol/message_kinds.h"
#include "util/time_text.h"
#include "util/url.h"
#include <QTimer>
#include "settings/reg_helpers.h"
#include "util/folders.h"
#include "util/shell_types.h"

namespace orb {

namespace {

// Every modal window of the run (message box, question, dialog) opens above the windows that
// stay on top (progress, share viewer and bar, video and welcome windows) and gets the keys:
// otherwise it would open beneath them, unreadable, while its keys go elsewhere.
class TModalAbove final : public QObject {
public:
    explicit TModalAbove(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || !w->isWindow() || !w->isModal()) return false;
        bool above = false;
        for (QWidget* other : QApplication::topLevelWidgets())
            above = above || (other != w && other->isVisible() && (other->windowFlags() & Qt::WindowStaysOnTopHint));
        // The window's own handle, before it is mapped: changing the widget's flags would hide it.
        if (above && w->windowHandle())
            w->windowHandle()->setFlags(w->windowHandle()->flags() | Qt::WindowStaysOnTopHint);
        QTimer::singleShot(0, w, [w] {
            if (!w->isVisible()) return;
            w->raise();
            w->activateWindow();
        });
        return false;
    }
};

}  // namespace

TProgram::TProgram(TProgramOptions options) : o_(std::move(options)) {
    // The application's title; not its display name, which the desktop would append to every
    // window caption.
    QApplication::setApplicationName(QString::fromLatin1(kTitle));
    // The run ends only through its own close paths (the main window's close, removal, the end of a
    // lost session, Exit, Sign Out). Closing the last visible window must not end it: while the
    // user shares, the main window is hidden and the bar's windows come and go.
    QApplication::setQuitOnLastWindowClosed(false);
    modalAbove_ = std::make_unique<TModalAbove>(nullptr);
    if (qApp) qApp->installEventFilter(modalAbove_.get());
}

TProgram::~TProgram() { Shutdown(); }

namespace {

template <class F>
void Default(F& field, F fallback) {
    if (!field) field = std::move(fallback);
}

}  // namespace

TDataModuleServices TProgram::Services() {
    TDataModuleServices s = o_.services;
    Default<std::function<int()>>(s.readDebugLevel, [] { return ReadDebugLevel(); });
    Default<std::function<void()>>(s.writeVersionValues, [] {
        RegWriteVariant(kSettingsKey, "Version", std::string(kProductVersion), true);
        RegWriteVariant(kSettingsKey, "VersionDate", std::string(kProductVersionDate), true);
    });
    Default<std::function<void(const std::string&)>>(s.writeInstallPath, [](const std::string& exe) {
        RegWriteVariant(kSettingsKey, "InstallPath", exe, true);
    });
    Default<std::function<void(const std::string&)>>(
        s.loadSettings, [this](const std::string& programFolder) {
            LoadSettings(settings_, programFolder);
            SignInSettings signIn = ReadSignInSettings();
            tdm_->ApplySessionSettings(settings_, signIn);
            // The configured server is the target unless a link names another.
            if (!signIn.ServerIP.empty()) tdm_->ServerHost = signIn.ServerIP;
            if (signIn.ServerPort > 0 && signIn.ServerPort <= 65535)
                tdm_->ServerPort = static_cast<uint16_t>(signIn.ServerPort);
        });
    Default<std::function<bool()>>(s.saveSettings, [this] { return SaveSettings(settings_); });
    Default<std::function<void(const std::string&, const std::string&, const std::string&, const std::string&)>>(
        s.registerShellTypes, [](const std::string& exe, const std::string& ext, const std::string& description,
                                 const std::string& icon) { RegisterShellTypes(exe, ext, description, icon); });
    Default<std::function<void(const std::string&)>>(s.setScriptDebuggerDisabled,
                                                     [](const std::string& v) { SetScriptDebuggerDisabled(v); });
    Default<std::function<void(const std::string&)>>(s.writeVersionFile,
                                                     [](const std::string& folder) { WriteVersionFile(folder); });
    Default<std::function<std::optional<std::string>()>>(s.temporaryFolder, [] { return ProgramTempFolder(); });
    Default<std::function<bool(const std::string&)>>(s.deleteFolder,
                                                     [](const std::string& path) { return DeleteFolder(path); });
    Default<std::function<void(const std::filesystem::path&)>>(s.loadPenCursor, [this](const std::filesystem::path& p) {
        QPixmap pixmap(QString::fromStdString(p.string()));
        if (!pixmap.isNull()) penCursor_ = QCursor(pixmap, 0, pixmap.height() - 1);
    });
    Default<std::function<int()>>(s.caretBlinkTime, [] { return QApplication::cursorFlashTime(); });
    Default<std::function<void(int)>>(s.setCaretBlinkTime, [](int ms) { QApplication::setCursorFlashTime(ms); });
    Default<std::function<bool()>>(s.keyboardHookInstalled, [] { return KeyboardHookInstalled(); });
    Default<std::function<void()>>(s.installKeyboardHook, [this] { InstallKeyboardHook(*loop_, mainHandle_); });
    Default<std::function<void()>>(s.leaveSession, [this] { tdm_->LeaveSession(); });
    Default<std::function<void()>>(s.stopTransfers, [this] { tdm_->Transfers.StopAll(); });
    Default<std::function<bool()>>(s.roomConnected, [this] { return tdm_->vcrClient.Connected(); });
    Default<std::function<void()>>(s.disconnectRoom, [this] { tdm_->vcrClient.Disconnect(); });
    return s;
}

void TProgram::CreateForms() {
    auto created = [this](const char* name) {
        if (o_.onCreated) o_.onCreated(name);
    };
    loop_ = std::make_unique<QtEventLoop>(o_.clock ? *o_.clock : SystemClock::Instance());
    main_ = std::make_unique<TfOrbeloMain>();
    mainHandle_ = loop_->RegisterObject(main_.get());
    created("TfOrbeloMain");
    QObject::connect(main_.get(), &TfOrbeloMain::FirstShown, main_.get(), [this] { FormShow(); });

    tdm_ = std::make_unique<TDM>(*loop_, mainHandle_);
    SetDataModuleHooks();
    if (o_.configureDataModule) o_.configureDataModule(*tdm_);
    TDataModuleServices services = Services();
    dm_ = std::make_unique<TDataModuleLife>(services, o_.clock ? *o_.clock : SystemClock::Instance());
    dm_->DataModuleCreate(o_.executable, o_.args);
    // "PLAY <recording>" puts the whole data module in playback mode, which its handlers read.
    if (dm_->PlaybackMode()) tdm_->PlaybackMode = true;
    tdm_->Room.TipsNotShown = dm_->TipsNotShown();
    try {
        tdm_->HookInstalled = services.keyboardHookInstalled && services.keyboardHookInstalled();
    } catch (...) {
    }
    // The boards: received board messages draw on the engine, the room steps wipe and select boards.
    boardLink_ = std::make_unique<board::TDMBoardLink>(*tdm_);
    if (auto temp = ProgramTempFolder()) boardLink_->TempFolderPath = *temp;
    boardLink_->OnHideProgress = [this] {
        if (tdm_ && tdm_->Progress) tdm_->Progress->HideProgress();
    };
    // A slide or library image the server no longer has is said in the public chat, from "Server".
    boardLink_->OnServerNotice = [this](const std::string& text) {
        constexpr uint32_t kMaroon = 0x000080;
        if (main_) main_->AddChatLine("Server", text, kMaroon, false);
    };
    boardEngine_ = std::make_unique<board::TBoardEngine>(*boardLink_);
    boardMessages_ = std::make_unique<board::TBoardMessages>(*boardEngine_, *boardLink_);
    tdm_->BoardMessages = boardMessages_.get();
    tdm_->BoardSink = boardEngine_.get();
    created("TDM");

    auto add = [&](auto* w) {
        windows_.emplace_back(w);
        windowOrder_.push_back(w);
        created(w->metaObject()->className());
    };
    add(new TfrmBoard);
    add(new TfrmRequest);
    add(new TfrmUserList);
    add(new TfrmBrowser);
    add(new TfrmSharedDocuments);
    add(new TfrmUserControl);
    add(new TfrmBoardControls);
    add(new TfrmWebLinks);
    add(new TfrmPollresults);
    add(new TfrmProgress);
    add(new TfrmPlayer);
    add(new TfrmAppShareViewWindow);
    add(new TfrmRemoteAudioControl);
    add(new TfrmConnectionSpeedChooser);
    add(new TfrmBreakOutRooms);
    add(new TfrmPresentations);
    add(new TfrmNewAppShareSettings);
    add(new TfrmAppShare_Control);
    add(new TfrmAttendeeSelect);
    add(new TfrmTextMessages);
    add(new TfrmChatHolder);
    add(new TfrmSilenceSuppression);
    tdm_->Progress = Form<TfrmProgress>();
    if (auto* board = Form<TfrmBoard>()) {
        board->SetEngine(boardEngine_.get());
        board->OnShowWhiteboardView = [this] {
            if (controller_) controller_->ShowMainView(mvWhiteboard);
        };
    }

    controller_ = std::make_unique<TMainController>(*tdm_, settings_, *main_, mainHandle_);
    SetControllerHooks();
    main_->Bind(controller_.get(), tdm_.get(), settings_.AudioOutDeviceID);
    main_->SetDockedForms({Form<TfrmUserList>(), Form<TfrmBoard>(), Form<TfrmBrowser>(), Form<TfrmAppShareViewWindow>()});
    if (!tdm_->CreateLoginDialog) tdm_->CreateLoginDialog = [this] { return MakeLoginDialog(*tdm_); };
    tdm_->RoomHooks.OnRoomStateReset = [this] { main_->FreeChatViews(); };
    auto& sh = tdm_->SessionHooks;
    sh.SetServerCaption = [this](const std::string& t) { main_->Ui().pServerInfo->setText(room::FromUtf8(t)); };
    sh.SetRoomCaption = [this](const std::string& t) { main_->SetRoomCaption(t); };
    main_->RoomListRunner = [this] {
        return RunRoomList(main_.get(), tdm_->ServerHost, tdm_->OwnLoginInfo, tdm_->RoomList,
                           [this](int32_t room) { tdm_->SendEnterRoom(room); });
    };
    SetupParticipants();
    SetupChat();
    SetupVoice();
    SetupPlayback();
    SetupBoard();
    SetupLibraries();
    SetupPrint();
    SetupPolls();
    SetupVideo();
    SetupSharing();
    SetupSettings();
    SetupLinks();
}

void TProgram::SetControllerHooks() {
    auto& h = controller_->Hooks;
    h.UserImagesFolder = dm_->Folders().userImages.empty() ? std::string() : dm_->Folders().userImages.string() + "/";
    h.CloseOpenedWindows = [this] {
        for (auto& w : opened_) {
            try {
                if (w) w->close();
            } catch (...) {
            }
        }
    };
    if (o_.showLoginDialog) h.ShowLoginDialog = o_.showLoginDialog;
    if (o_.startRun) h.StartRun = [this] { o_.startRun(tdm_->Launch, std::string()); };
}

bool TProgram::CheckRecording(const std::string& error) {
    if (error.empty()) return true;
    if (o_.showError)
        o_.showError(error);
    else
        room::PlainMessageBox(main_.get(), QMessageBox::Critical, room::FromUtf8(error));
    return false;
}

void TProgram::SetDataModuleHooks() {
    tdm_->ProgramFolder = o_.executable.parent_path().string() + "/";
    auto& h = tdm_->SessionHooks;
    const QString title = QString::fromLatin1(kTitle);
    (void)title;
    // Said from a message's handler, a box must not wait for the user: the reader waits for the
    // handler. Elsewhere (signing in, before quitting) the user reads it before anything goes on.
    auto say = [this](QMessageBox::Icon icon, const std::string& t) {
        if (tdm_ && tdm_->InMessageHandler())
            room::ShowPlainMessage(main_.get(), icon, room::FromUtf8(t));
        else
            room::PlainMessageBox(main_.get(), icon, room::FromUtf8(t));
    };
    h.ShowError = [say](const std::string& t) { say(QMessageBox::Critical, t); };
    h.ShowInformation = [say](const std::string& t) { say(QMessageBox::Information, t); };
    h.AskYesNo = [this](const std::string& t) {
        return room::PlainMessageBox(main_.get(), QMessageBox::Critical, room::FromUtf8(t),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    // The desktop opens web pages and files (xdg-open); the client itself runs nothing it received.
    h.OpenWithShell = [](const std::string& target) {
        const QString t = room::FromUtf8(target);
        if (t.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
            t.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            return QDesktopServices::openUrl(QUrl(t));
        return QDesktopServices::openUrl(QUrl::fromLocalFile(t));
    };
    h.Quit = [](int code) { QCoreApplication::exit(code); };
    h.SetWindowTitle = [this](const std::string& t) {
        if (main_) main_->setWindowTitle(QString::fromStdString(t));
    };
}

void TProgram::FormShow() { controller_->FormShow(o_.args); }

void TProgram::FloatToolForm(QWidget* form) {
    if (!form) return;
    bool keepFrame = qobject_cast<TfrmBreakOutRooms*>(form) || qobject_cast<TfrmPresentations*>(form);
    Qt::WindowFlags flags = keepFrame ? Qt::Window : Qt::Tool;
    form->setParent(nullptr, flags | Qt::WindowStaysOnTopHint);
    form->show();
}

TfrmPostIt* TProgram::ShowChatPopup(const QString& text, const QString& sender) {
    if (!loop_ || !tdm_) return nullptr;
    return Notices().ShowChat(tdm_->PlaybackMode, text, sender, QTime::currentTime().toString(QStringLiteral("hh:mm")));
}

TNoticeWindows& TProgram::Notices() {
    if (!notices_) notices_ = std::make_unique<TNoticeWindows>(*loop_, settings_);
    return *notices_;
}

int TProgram::Run() {
    if (!main_) CreateForms();
    main_->show();
    int code = QApplication::exec();
    Shutdown();
    return code;
}

void TProgram::Shutdown() {
    if (shutDown_ || !main_) return;
    shutDown_ = true;
    for (auto& w : opened_)
        if (w) w->close();
    // Freed in the reverse order of creation, the data module after the windows, the main window last.
    // The data module must not reach a freed window while it shuts down.
    if (tdm_) tdm_->Progress = nullptr;
    for (auto it = shutdownSteps_.rbegin(); it != shutdownSteps_.rend(); ++it) {
        try {
            (*it)();
        } catch (...) {
        }
    }
    shutdownSteps_.clear();
    if (boardEngine_) boardEngine_->SetView(nullptr);
    while (!windows_.empty()) windows_.pop_back();
    windowOrder_.clear();
    if (dm_) dm_->DataModuleDestroy();
    for (auto& w : opened_)
        if (w) delete w.data();
    opened_.clear();
    notices_.reset();
    // No synchronous call may hold a worker any more; then the hook's thread and the data module go.
    loop_->Shutdown();
    try {
        UninstallKeyboardHook();
    } catch (...) {
    }
    if (tdm_) {
        tdm_->BoardMessages = nullptr;
        tdm_->BoardSink = nullptr;
    }
    boardMessages_.reset();
    if (boardEngine_) boardEngine_->SetView(nullptr);
    boardEngine_.reset();
    boardLink_.reset();
    // The command object filters the window's events and reaches into its widgets and the controller:
    // it goes while both are still whole.
    if (main_) delete main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands"));
    controller_.reset();
    dm_.reset();
    tdm_.reset();
    main_.reset();
    loop_.reset();
}

}  // namespace orb
