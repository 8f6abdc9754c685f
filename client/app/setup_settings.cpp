// Settings dialog: what the program binds for this area.
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QPointer>

#include "board/window/frm_board.h"
#include "common/message_box.h"
#include "frm_audio_test.h"
#include "frm_settings.h"
#include "program.h"
#include "protocol/message_kinds.h"
#include "ui_frm_main.h"

namespace orb {

namespace {

// The audio wizard as the settings dialog runs it: in a live room the floor is given up, the voice
// connection stopped and the others told (presence 2) first; the wizard runs modally; then the
// mixer is read again, the settings stored, the voice connection rebuilt and presence 0 sent.
void RunAudioWizardModal(TProgram& program, QWidget* parent) {
    TDM& dm = program.DataModule();
    Settings& settings = program.ClientSettings();
    const bool live = dm.Room.InRoom && dm.vcrClient.Connected() && !dm.PlaybackMode;
    try {
        if (live) {
            dm.SendPresence(2);
            if (dm.Room.SpeakOn) dm.SpeakToggle();
            dm.StopVoiceThread();
        }
        auto* wizard = new TfrmAudioTest(dm, settings, parent,
                                         [&dm](orb::Settings& s) { orb::LoadSettings(s, dm.ProgramFolder); });
        wizard->setWindowFlag(Qt::Window, true);
        wizard->setAttribute(Qt::WA_DeleteOnClose);
        wizard->setWindowModality(Qt::ApplicationModal);
        QEventLoop loop;
        QObject::connect(wizard, &QObject::destroyed, &loop, &QEventLoop::quit);
        wizard->show();
        loop.exec();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        dm.InitVolumeControls();
        SaveSettings(settings);
        if (live) {
            dm.ReconnectAudio();
            dm.SendPresence(0);
        }
        QApplication::restoreOverrideCursor();
    } catch (...) {
        room::PlainMessageBox(parent, QMessageBox::Critical, QStringLiteral("Unable to launch the Audio Setup Wizard."));
    }
}

// The settings now in force reach what copied them: the proxy of the next connections, the
// board's grid and text defaults.
void ApplySettings(TProgram& program, const Settings& s) {
    TDM& dm = program.DataModule();
    dm.ProxySettings.enabled = s.UseProxy;
    dm.ProxySettings.type = s.SocksVersion;
    dm.ProxySettings.host = s.ProxyHost;
    dm.ProxySettings.port = s.ProxyPort;
    dm.ProxySettings.authentication = s.ProxyAuthentication;
    dm.ProxySettings.userName = s.ProxyUserName;
    dm.ProxySettings.password = s.ProxyPassword;
    if (auto* board = program.Form<TfrmBoard>()) {
        board->SetGridSize(s.BoardGridSize);
        board->TextDefaults = {s.TextBoxFont, uint32_t(s.TextBoxFontColor), s.TextBoxFontSize};
    }
}

// One dialog at a time, modal over whatever is modal now (the login dialog) or the main window.
void OpenSettings(TProgram& program, int page) {
    static QPointer<TfrmSettings> open;
    if (page < 0 || page >= prefs::kSettingsPageCount) page = prefs::tsConnection;
    if (open) {
        open->SelectPage(prefs::TSettingsPage(page));
        open->raise();
        open->activateWindow();
        return;
    }
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = program.Main();
    auto* dialog = new TfrmSettings(program.DataModule(), program.ClientSettings(), parent);
    open = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto& h = dialog->Hooks;
    h.RunAudioWizard = [&program, dialog] { RunAudioWizardModal(program, dialog); };
    h.OpenAddress = [&program](const std::string& address) {
        TDM& dm = program.DataModule();
        if (dm.SessionHooks.OpenWithShell) dm.SessionHooks.OpenWithShell(address);
    };
    h.Applied = [&program](const Settings& s) { ApplySettings(program, s); };
    program.OpenedWindows().append(dialog);
    dialog->SelectPage(prefs::TSettingsPage(page));
    dialog->exec();
}

}  // namespace

void TProgram::RunAudioWizard(QWidget* parent) {
    if (tdm_ && !tdm_->PlaybackMode) RunAudioWizardModal(*this, parent ? parent : main_.get());
}

void TProgram::SetupSettings() {
    TDM& dm = *tdm_;
    dm.SessionHooks.OpenConnectionSettings = [this] { OpenSettings(*this, prefs::tsConnection); };
    dm.VideoHooks.OpenVideoSettings = [this] { OpenSettings(*this, prefs::tsVideo); };
    if (!main_) return;
    // The menu items that open the dialog on a page; the command object enables an item once it
    // has a handler.
    auto& ui = main_->Ui();
    const std::pair<QAction*, prefs::TSettingsPage> items[] = {{ui.acSettings, prefs::tsConnection},
                                                               {ui.acRecorderSettings, prefs::tsRecorder},
                                                               {ui.acLocalAudioSettings, prefs::tsAudio},
                                                               {ui.acAudioQuality, prefs::tsVoice},
                                                               {ui.acSilenceSuppression, prefs::tsSilenceSuppression}};
    for (auto [action, page] : items) {
        action->setEnabled(true);
        QObject::connect(action, &QAction::triggered, main_.get(), [this, page = page] { OpenSettings(*this, page); });
    }
}

}  // namespace orb
