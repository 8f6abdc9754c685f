// Polls and exams, server recording, breakout rooms: what the program binds for this area.
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QMenu>
#include <QPointer>

#include "commands/commands.h"
#include "common/message_box.h"
#include "polls/poll_store.h"
#include "program.h"
#include "registry/registry.h"
#include "settings/settings.h"
#include "ui_frm_main.h"
#include "util/text_util.h"

namespace orb {

namespace {

polls::TStoredPolls StoredPolls() {
    return polls::TStoredPolls(reg::Registry::Default(), std::string(kSettingsKey) + "\\StoredPolls");
}

}  // namespace

void TProgram::SetupPolls() {
    TDM& dm = DataModule();
    auto* results = Form<TfrmPollresults>();
    auto* breakout = Form<TfrmBreakOutRooms>();
    QPointer<TfrmPollresults> resultsPtr(results);
    QPointer<TfrmBreakOutRooms> breakoutPtr(breakout);

    dm.RecorderUserName = settings_.RecorderUserName;
    dm.RecorderPassword = settings_.RecorderPassword;

    if (results) {
        results->SetResults(&dm.PollResults);
        dm.PollsHooks.ShowPollResults = [this, resultsPtr] {
            if (!resultsPtr) return;
            if (!resultsPtr->isVisible()) {
                FloatToolForm(resultsPtr);
                // Over the room's middle rather than on top of the menus.
                if (QScreen* screen = QGuiApplication::primaryScreen())
                    resultsPtr->move(screen->availableGeometry().center() - resultsPtr->rect().center());
            }
            resultsPtr->raise();
        };
        dm.PollsHooks.PollResultsChanged = [resultsPtr] {
            if (resultsPtr) resultsPtr->RefreshResults();
        };
    }
    if (breakout) {
        breakout->Bind(&dm);
        dm.BreakoutWindow = loop_->RegisterWindow([breakoutPtr](uint32_t msg, std::intptr_t w, std::intptr_t l) {
            if (breakoutPtr) breakoutPtr->HandleMessage(msg, w, l);
        });
        dm.PollsHooks.BreakoutChanged = [breakoutPtr](int32_t) {
            if (breakoutPtr) breakoutPtr->Rebuild();
        };
    }

    TfOrbeloMain* main = Main();
    if (!main) return;

    // A poll from a moderator opens its own answer window; a few may be open at once.
    main->PollWindowOpener = [this, &dm](const TPollInfo& poll) {
        if (!polls::PollOpensAnswerWindow(poll, dm.Participants, dm.OwnUserId)) return;
        if (OpenedOf<TfrmExam>() >= kMaxReceivedWindows) return;
        auto* w = new TfrmExam(nullptr);
        w->SendAnswer = [&dm](int32_t sender, int32_t answer) { return dm.SendPollAnswer(sender, answer); };
        OpenedWindows().append(w);
        w->ShowPoll(poll);
    };

    auto action = [main](const char* name) { return main->findChild<QAction*>(name); };

    // Sends a poll as the stored favourite of that caption, after asking.
    auto SendStoredPoll = [&dm, main, resultsPtr](const QString& caption) {
        auto poll = StoredPolls().LoadStoredPoll(caption.toStdString());
        if (!poll) {
            room::PlainMessageBox(main, QMessageBox::Information,
                                  QStringLiteral("This poll could not be found. Try to create the poll again."));
            return;
        }
        if (room::PlainMessageBox(main, QMessageBox::Question,
                                  QStringLiteral("You are about to send a poll.\r\nPress OK to continue or Cancel."),
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
        dm.StartPoll(poll->question, uint32_t(poll->answerMask), poll->mustReply != 0, poll->multipleAns != 0);
        if (resultsPtr) resultsPtr->RefreshResults();
    };

    // The polls menu (under the tool bar's Polling button, and as a submenu next to the polling
    // command): polling, the latest results, then the stored polls.
    auto* commands = main->findChild<room::TCommands*>(QStringLiteral("TDMCommands"));
    auto* recent = new QMenu(QStringLiteral("Recent Polls"), main);
    recent->setObjectName(QStringLiteral("pmRecentPolls"));
    if (QAction* polling = action("acPolling")) {
        recent->menuAction()->setEnabled(polling->isEnabled());
        for (QObject* o : polling->associatedObjects())
            if (auto* menu = qobject_cast<QMenu*>(o)) {
                menu->addMenu(recent);
                break;
            }
        if (QWidget* button = main->Ui().tbarMain->widgetForAction(polling))
            if (auto* tool = qobject_cast<QToolButton*>(button)) {
                tool->setMenu(recent);
                tool->setPopupMode(QToolButton::MenuButtonPopup);
            }
        // Participants cannot poll: the menu and its items follow the polling command's enabling
        // (the polling command keeps its own).
        QObject::connect(polling, &QAction::changed, recent, [recent, polling, commands] {
            const bool on = polling->isEnabled();
            recent->menuAction()->setEnabled(on);
            for (QAction* a : recent->actions())
                if (!commands || a != commands->Action(chat::acArrangeExam)) a->setEnabled(on);
        });
    }
    auto AddRecentPollItem = [recent, SendStoredPoll](const std::string& name) {
        const QString caption = room::FromUtf8(std::string(Trim(name)));
        for (QAction* a : recent->actions())
            if (a->data().toInt() == 1 && room::CaptionText(a->text()) == caption) return;
        QAction* a = recent->addAction(room::MenuCaption(caption));
        a->setData(1);
        QObject::connect(a, &QAction::triggered, recent, [SendStoredPoll, caption] { SendStoredPoll(caption); });
    };
    main->RecentPollsFiller = [this, recent, AddRecentPollItem, commands, resultsPtr] {
        recent->clear();
        if (commands) recent->addAction(commands->Action(chat::acArrangeExam));
        QAction* latest = recent->addAction(QStringLiteral("Show the latest poll results..."));
        latest->setObjectName(QStringLiteral("miShowLatestPollResults"));
        QObject::connect(latest, &QAction::triggered, recent, [this, resultsPtr] {
            if (!resultsPtr) return;
            FloatToolForm(resultsPtr);
            resultsPtr->raise();
        });
        recent->addSeparator();
        for (const std::string& name : StoredPolls().GetStoredPollNames()) AddRecentPollItem(name);
        const bool on = recent->menuAction()->isEnabled();
        for (QAction* a : recent->actions())
            if (!commands || a != commands->Action(chat::acArrangeExam)) a->setEnabled(on);
    };
    main->RecentPollsFiller();

    // The commands run through the data module's command object, which enables them by its rules
    // (moderator, recording running, breakout rooms allowed) from the state given here.
    if (commands) {
        using namespace chat;
        commands->StateHooks.recording = [&dm] { return dm.ServerRecording != 0; };
        commands->StateHooks.breakoutAllowed = [&dm] { return dm.BreakoutAllowed; };
        commands->SetExecute(acArrangeExam, [&dm, main, resultsPtr, AddRecentPollItem] {
            TfrmPing editor(main);
            dm.PollResults.Clear();
            if (resultsPtr) resultsPtr->RefreshResults();
            if (editor.exec() != QDialog::Accepted) return;
            const std::string question = editor.Question();
            const uint32_t mask = editor.GetAnswerMask();
            if (editor.AddToFavourites() && StoredPolls().SaveStoredPoll(polls::NewPollRecord(question, mask)))
                AddRecentPollItem(polls::RecordQuestion(question));
            dm.StartPoll(question, mask, false, false);
            if (resultsPtr) resultsPtr->RefreshResults();
        });
        commands->SetExecute(acStartRecording, [this, &dm] {
            dm.RecorderUserName = settings_.RecorderUserName;
            dm.RecorderPassword = settings_.RecorderPassword;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            dm.StartRecordingCommand();
            QApplication::restoreOverrideCursor();
        });
        commands->SetExecute(acPauseRecording, [&dm] { dm.PauseRecordingCommand(); });
        commands->SetExecute(acStoprecording, [&dm] { dm.StopRecordingCommand(); });
        commands->SetExecute(acBreakoutRooms, [this, breakoutPtr] {
            if (!breakoutPtr) return;
            FloatToolForm(breakoutPtr);
            breakoutPtr->raise();
        });
        // The check marks follow the server's answers (a refused start leaves "stopped" checked).
        QPointer<room::TCommands> cmd(commands);
        dm.PollsHooks.RecordingActionsChanged = [&dm, cmd] {
            if (!cmd) return;
            cmd->Action(acStartRecording)->setChecked(dm.RecordingStartChecked);
            cmd->Action(acStoprecording)->setChecked(dm.RecordingStopChecked);
        };
    }

    shutdownSteps_.push_back([this, &dm] {
        dm.PollsHooks = {};
        if (dm.BreakoutWindow) loop_->UnregisterWindow(dm.BreakoutWindow);
        dm.BreakoutWindow = 0;
    });
}

}  // namespace orb
