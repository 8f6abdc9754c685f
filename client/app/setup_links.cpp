// The links between the areas: the participant rows' commands that open another area's window or
// act through another area's session, and the player commands of the command object.
#include <QAction>

#include "commands/commands.h"
#include "program.h"
#include "ui_frm_main.h"

namespace orb {

void TProgram::SetupLinks() {
    TDM& dm = *tdm_;
    auto* commands = main_ ? main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")) : nullptr;
    if (!commands) return;
    // The participants area sets these once the loop runs; the rules below need them from the start.
    if (!commands->StateHooks.selectedUser)
        commands->StateHooks.selectedUser = [&dm] { return dm.Participants.SelectedUser(); };
    if (!commands->StateHooks.roomType) commands->StateHooks.roomType = [&dm] { return dm.RoomProfile.RoomType(); };
    // The selected row's user while it still has a record (0: none).
    auto selected = [&dm]() -> int32_t {
        const int32_t user = dm.Participants.SelectedUser();
        return user != 0 && dm.Participants.FindUser(user) ? user : 0;
    };

    // The participant list's menu and its camera click use the commands' enabling for the row
    // just selected, not the one the idle timer last saw.
    if (auto* list = Form<TfrmUserList>()) list->UpdateCommands = [commands] { commands->UpdateAll(); };

    // Web cams: a viewer for the selected row's user (or the one already viewing it, in front).
    commands->SetExecute(chat::acViewWebCam, [&dm, selected] {
        if (const int32_t user = selected()) dm.ViewWebCam(user);
    });

    // Remote audio: the window for the selected row's user, which sends the query.
    commands->SetExecute(chat::acRemoteAudioControl, [this, &dm, selected] {
        const int32_t user = selected();
        auto* remote = Form<TfrmRemoteAudioControl>();
        if (user == 0 || user == dm.OwnUserId || !remote) return;
        remote->Open(user, dm.Participants.FindUser(user)->caption);
    });

    // Remote control of the own share, given to or taken from the selected row's user.
    for (auto [id, give] : {std::pair{chat::acAppSharegiveControl, true}, std::pair{chat::acAppShare_GiveShort, true},
                            std::pair{chat::acAppShareTakeControl, false}, std::pair{chat::acAppShare_TakeShort, false}})
        commands->SetExecute(id, [&dm, selected, give = give] {
            const int32_t user = selected();
            if (user != 0 && user != dm.OwnUserId) dm.SendRemoteControlGrant(user, give);
        });
    // Pause and resume of the own share, as the control bar's button.
    commands->SetExecute(chat::acAppShare_Pause, [&dm] { dm.SendAppShareState(); });
    // The share session's icons on the rows: 1 sharing, 2 remote control; anything else clears.
    dm.OnShareRowState = [&dm](int32_t user, int state) {
        if (TParticipantRow* row = dm.Participants.FindUser(user))
            dm.Participants.SetShareState(*row, state == 1 || state == 2 ? state : 0);
    };

    // The participant list's orders.
    for (auto [id, mode] : {std::pair{chat::acSortByName, smName}, std::pair{chat::acSortByHand, smHands},
                            std::pair{chat::acModeratorsOnTop, smRole}})
        commands->SetExecute(id, [&dm, mode = mode] { dm.Participants.Sort(mode); });

    // The notes commands run the notes panel's own menu items, which hold their questions and checks;
    // the menu sets those items' enabling only when it shows, the command's rule holds here.
    commands->StateHooks.rowSelectedInNotes = [this] { return main_->Ui().lvRequests->currentItem() != nullptr; };
    const std::pair<chat::TCommand, const char*> notes[] = {
        {chat::acNote_Display, "acNote1"},   {chat::acNote_MarkComplete, "acNote2"},
        {chat::acNote_Delete, "acNote3"},    {chat::acNote_ClearAll, "acNote4"},
        {chat::acSaveNotesToFile, "acNote5"}, {chat::acEnableDisableNotes, "acNote6"}};
    for (auto [id, name] : notes)
        if (QAction* item = main_->findChild<QAction*>(QString::fromLatin1(name)))
            commands->SetExecute(id, [item] {
                item->setEnabled(true);
                item->trigger();
            });

    // The player commands act on the replay; fast forward follows its checked state.
    playback::TPlayback& pb = dm.Playback();
    commands->StateHooks.playing = [&pb] { return pb.Playing(); };
    commands->SetExecute(chat::acPlay, [&pb] { pb.Play(); });
    commands->SetExecute(chat::acPlay_Pause, [&pb] { pb.PauseToggle(); });
    commands->SetExecute(chat::acPlay_Stop, [&pb] { pb.Stop(); });
    QAction* fast = commands->Action(chat::acPlay_FF);
    commands->SetExecute(chat::acPlay_FF, [&pb, fast] { pb.SetNoTiming(fast->isChecked()); });
}

}  // namespace orb
