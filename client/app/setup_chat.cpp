// Chat, session notes and requests; command actions and menus: what the program binds for this area.
#include <cmath>

#include <QDesktopServices>
#include <QInputDialog>
#include <QTime>
#include <QUrl>

#include "commands/commands.h"
#include "program.h"
#include "protocol/date_time.h"

namespace orb {

void TProgram::SetupChat() {
    TDM& dm = *tdm_;
    TfOrbeloMain& main = *main_;
    dm.ChatView = &main;
    dm.BeepOnNewMessage = settings_.BeepOnNewMessage;
    dm.BeepOnChatMotions = settings_.BeepOnUserMotions;
    dm.NoPopUpsOnPostIt = settings_.NoPopUpsOnPostIt;

    TfOrbeloMain::TChatBindings b;
    b.settings = &settings_;
    b.saveSettings = [this] { return SaveSettings(settings_); };
    b.holder = Form<TfrmChatHolder>();
    // Until the session-note prompt of the participants area is bound here, a plain text prompt.
    b.askSessionMessage = [this](const QString& addressee, QString& text) {
        bool ok = false;
        text = QInputDialog::getMultiLineText(main_.get(), QStringLiteral("Session Message"),
                                              QStringLiteral("To: ") + addressee, QString(), &ok);
        return ok;
    };
    b.chatPopup = [this](const QString& sender, const QString& text) { ShowChatPopup(text, sender); };
    b.textNote = [this](const QString& sender, const QString& text, double dateTime) {
        if (!loop_) return;
        const double frac = dateTime - std::floor(dateTime);
        Notices().ShowNote(sender, text,
                           QTime(0, 0).addSecs(int(std::isfinite(frac) ? frac * 86400.0 : 0)).toString(QStringLiteral("hh:mm")));
    };
    b.openUrl = [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); };
    // The participants area's prompt, card and editor, when it has bound them.
    if (dm.AskSessionMessage)
        b.askSessionMessage = [&dm](const QString& addressee, QString& text) {
            std::string note;
            if (!dm.AskSessionMessage(addressee.toStdString(), note)) return false;
            text = QString::fromStdString(note);
            return true;
        };
    if (dm.ShowUserCard) b.showUserCard = dm.ShowUserCard;
    if (dm.ShowProfileEditor) b.showProfileEditor = dm.ShowProfileEditor;
    main.BindChat(std::move(b));

    // The data module's command object; other parts of the client give their commands an Execute
    // handler through main window's child TCommands (SetExecute).
    auto* commands = new room::TCommands(dm, *controller_, main, &main);
    commands->setObjectName(QStringLiteral("TDMCommands"));
}

}  // namespace orb
