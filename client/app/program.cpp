#include "program.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTime>

#include "keyboard_hook.h"
#include "protocol/date_time.h"
#include "protocol/message_kinds.h"
#include "util/time_text.h"
#include "util/url.h"
#include <QTimer>
#include "settings/reg_helpers.h"
#include "util/folders.h"
#include "util/shell_types.h"

namespace orb {

TProgram::TProgram(TProgramOptions options) : o_(std::move(options)) {
    QApplication::setApplicationDisplayName(QString::fromLatin1(kTitle));
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
    dm_ = std::make_unique<TDataModuleLife>(Services(), o_.clock ? *o_.clock : SystemClock::Instance());
    dm_->DataModuleCreate(o_.executable, o_.args);
    // "PLAY <recording>" puts the whole data module in playback mode, which its handlers read.
    if (dm_->PlaybackMode()) tdm_->PlaybackMode = true;
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
}

void TProgram::SetDataModuleHooks() {
    tdm_->ProgramFolder = o_.executable.parent_path().string() + "/";
    auto& h = tdm_->SessionHooks;
    const QString title = QString::fromLatin1(kTitle);
    h.ShowError = [this, title](const std::string& t) {
        QMessageBox::critical(main_.get(), title, QString::fromStdString(t));
    };
    h.ShowInformation = [this, title](const std::string& t) {
        QMessageBox::information(main_.get(), title, QString::fromStdString(t));
    };
    h.AskYesNo = [this, title](const std::string& t) {
        return QMessageBox::critical(main_.get(), title, QString::fromStdString(t), QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    h.Quit = [](int code) { QCoreApplication::exit(code); };
    h.SetWindowTitle = [this](const std::string& t) {
        if (main_) main_->setWindowTitle(QString::fromStdString(t));
    };
}

void TProgram::StartLiveRun(LaunchKind kind, const TLinkValues& link) {
    TDM& dm = *tdm_;
    if (kind == lkJoinLink) {
        // Everything comes from the link (cleared values when it was malformed: the sign-in then
        // fails with its usual messages).
        dm.ServerHost = link.server;
        dm.ServerPort = link.port > 0 ? static_cast<uint16_t>(link.port) : 0;
        dm.OwnLoginInfo.SetUserName(link.userName);
        dm.OwnLoginInfo.SetPassword(link.password);
        dm.StartedByLink = true;
    }
    dm.OwnLoginInfo.SetUserId(0);
    dm.OwnLoginInfo.SetLoginTime(NowDateTime());
    dm.OwnLoginInfo.SetTimeZoneBias(GetTimeZoneBias());
    dm.PlaybackMode = false;
    if (!dm.StartSession()) return;
    dm.SendTimeZone();
    dm.SendCommand(vkVideoPort);
    if (kind == lkJoinLink) {
        int room = link.roomNumber;
        QTimer::singleShot(1000, main_.get(), [this, room] {
            if (tdm_) tdm_->SendEnterRoom(room);
        });
    } else {
        dm.SendRoomListRequest();
    }
}

void TProgram::FormShow() {
    TLaunchRequest r = ClassifyCommandLine(o_.args);
    dm_->Kind() = r.kind;
    dm_->Link() = r.link;
    if (r.kind == lkNone && o_.showLoginDialog) {
        if (!o_.showLoginDialog()) {
            QCoreApplication::exit(-1);
            return;
        }
    }
    if (r.kind == lkRecordingFile) {
        // The file must exist and be a recording before anything else happens.
        std::string error = CheckRecordingFile(r.value);
        if (!error.empty()) {
            if (o_.showError)
                o_.showError(error);
            else
                QMessageBox::critical(main_.get(), QString::fromLatin1(kTitle), QString::fromStdString(error));
            QCoreApplication::exit(0);
            return;
        }
    }
    if (r.kind == lkRecordingUrl) {
        // Scheme and host compare without case; the path is the server's and keeps its own.
        std::string address = LowerSchemeAndHost(r.value);
        if (GetURLStatusCode(address) != 200) {
            std::string error = "The specified URL cannot be accessed.\r\n" + address + "\r\n" +
                                "This recorded session may no longer be available.";
            if (o_.showError)
                o_.showError(error);
            else
                QMessageBox::critical(main_.get(), QString::fromLatin1(kTitle), QString::fromStdString(error));
            QCoreApplication::exit(0);
            return;
        }
    }
    if (o_.startRun) {
        o_.startRun(r.kind, r.value);
        return;
    }
    // A plain start with the dialog accepted, or a join link: the live run. Recordings and play
    // links are classified here and replayed by the player.
    if ((r.kind == lkNone && o_.showLoginDialog) || r.kind == lkJoinLink) StartLiveRun(r.kind, r.link);
}

void TProgram::FloatToolForm(QWidget* form) {
    if (!form) return;
    bool keepFrame = qobject_cast<TfrmBreakOutRooms*>(form) || qobject_cast<TfrmPresentations*>(form);
    Qt::WindowFlags flags = keepFrame ? Qt::Window : Qt::Tool;
    form->setParent(nullptr, flags | Qt::WindowStaysOnTopHint);
    form->show();
}

TfrmPostIt* TProgram::ShowChatPopup(const QString& text, const QString& sender) {
    if (!loop_ || !tdm_) return nullptr;
    return ::ShowChatPopup(*loop_, settings_, tdm_->PlaybackMode, text, sender,
                           QTime::currentTime().toString(QStringLiteral("hh:mm")));
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
    while (!windows_.empty()) windows_.pop_back();
    windowOrder_.clear();
    if (dm_) dm_->DataModuleDestroy();
    for (auto& w : opened_)
        if (w) delete w.data();
    opened_.clear();
    // No synchronous call may hold a worker any more; then the hook's thread and the data module go.
    loop_->Shutdown();
    try {
        UninstallKeyboardHook();
    } catch (...) {
    }
    dm_.reset();
    tdm_.reset();
    main_.reset();
    loop_.reset();
}

}  // namespace orb
