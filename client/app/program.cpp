#include "program.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>

#include "keyboard_hook.h"
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
    Default<std::function<void(const std::string&)>>(s.writeVersionValues,
                                                     [](const std::string& exe) { WriteVersionValues(exe); });
    Default<std::function<void(const std::string&)>>(
        s.loadSettings, [this](const std::string& programFolder) { LoadSettings(settings_, programFolder); });
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
    Default<std::function<void()>>(s.leaveSession, [this] {
        tdm_->StopReaderThread();
        tdm_->StopWriterThread();
    });
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
    dm_ = std::make_unique<TDataModuleLife>(Services(), o_.clock ? *o_.clock : SystemClock::Instance());
    dm_->DataModuleCreate(o_.executable, o_.args);
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
    if (o_.startRun) o_.startRun(r.kind, r.value);
}

void TProgram::FloatToolForm(QWidget* form) {
    if (!form) return;
    bool keepFrame = qobject_cast<TfrmBreakOutRooms*>(form) || qobject_cast<TfrmPresentations*>(form);
    Qt::WindowFlags flags = keepFrame ? Qt::Window : Qt::Tool;
    form->setParent(nullptr, flags | Qt::WindowStaysOnTopHint);
    form->show();
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
