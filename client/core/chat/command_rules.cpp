#include "chat/command_rules.h"

#include <stdexcept>

namespace orb::chat {

namespace {

constexpr int kCtrl = 16384;

const std::vector<TCommandInfo> kCommands = {
    {acCaptureVoice, "acCaptureVoice", "Speak", "Toggle Microphone On / Off", 114, true, 1},
    {acClearMotions, "acClearMotions", "Clear Motions", "Clear all motions and user requests", 0},
    {acGiveVoice, "acGiveVoice", "Give this participant a microphone", "Give this participant a microphone", 0},
    {acGiveBoard, "acGiveBoard", "Allow the user to write on the boards", "Allow the user to write on the boards", 0},
    {acBanVoice, "acBanVoice", "Deprive the microphone", "Deprive the microphone", 0},
    {acBanBoard, "acBanBoard", "Deprive the boards", "Deprive the boards", 0},
    {acKick, "acKick", "Remove the participant from the session", "Remove the participant from the session", 0},
    {acSendSilentPingAll, "acSendSilentPingAll", "Check Users' Connectivity", "Check Users' Connectivity", 0},
    {acBuzzUsersAll, "acBuzzUsersAll", "Beep Users", "Beep Users", 0},
    {acArrangeExam, "acArrangeExam", "Polling", "Polling", 0},
    {acStartAppShare, "acStartAppShare", "App Share", "Start Application/Desktop Sharing", kCtrl + 115},
    {acToggleModeratorStatus, "acToggleModeratorStatus", "Promote the user to Moderator",
     "Promote the user to Moderator", 0},
    {acMailInvitation, "acMailInvitation", "Invite Participants", "Invite Participants", 0},
    {acAppSharegiveControl, "acAppSharegiveControl", "Give application sharing remote control",
     "Give application sharing remote control", kCtrl + 113},
    {acAppShare_GiveShort, "acAppShare_GiveShort", "Give Control", "Give application sharing remote control", 0},
    // Ctrl+F4 starts a share; giving one key to two commands would make it ambiguous.
    {acAppShareTakeControl, "acAppShareTakeControl", "Deprive application sharing remote control",
     "Deprive application sharing remote control", 0},
    {acAppShare_TakeShort, "acAppShare_TakeShort", "Deprive", "Deprive application sharing remote control", 0},
    {acFullScreen, "acFullScreen", "Full Screen", "Full Screen", kCtrl + 112, true},
    {EditCopy1, "EditCopy1", "&Copy", "Copy", kCtrl + 67},
    {EditSelectAll1, "EditSelectAll1", "Select &All", "Select All", kCtrl + 65},
    {acReconnectAudio, "acReconnectAudio", "Reconnect Audio", "Reconnect Audio", 0},
    {acResetConnection, "acResetConnection", "Reconnect", "Reconnect", 0},
    {acRemoteAudioControl, "acRemoteAudioControl", "Remote Audio Control", "Remote Audio Control", 0},
    {acAudioWizard, "acAudioWizard", "Audio Setup Wizard", "Audio Setup Wizard", 0},
    {acAudioWiz, "acAudioWiz", "Audio Setup", "Run the Audio Setup Wizard", 0},
    {acFileViewer, "acFileViewer", "File Viewer", "Share any file or resource on the whiteboard", 0},
    {acFileView, "acFileView", "File Viewer", "Share any file or resource on the whiteboard", 0},
    {acPresent, "acPresent", "Present", "Present", kCtrl + 80},
    {acWebTourView, "acWebTourView", "Web Tour", "Web Tour", 0},
    {acDocs, "acDocs", "Documents", "Documents", 0},
    {acImages, "acImages", "Images", "Images", 0},
    {acWebLinks, "acWebLinks", "Web Links", "Web Links", 0},
    {acAppShare_Pause, "acAppShare_Pause", "Pause", "Pause", 0},
    {acStartRecording, "acStartRecording", "Start Session Recording", "Start Session Recording", 0, true, 1},
    {acPauseRecording, "acPauseRecording", "Pause Session Recording", "Pause Session Recording", 0, true},
    {acStoprecording, "acStoprecording", "Stop Session Recording", "Stop Session Recording", 0, true, 1},
    {acRecorderSettings, "acRecorderSettings", "Recorder Settings", "Recorder Settings", 0},
    {acPlay, "acPlay", "Play", "Start Playing", 0},
    {acPlay_Pause, "acPlay_Pause", "Pause", "Pause", 0},
    {acPlay_Stop, "acPlay_Stop", "Stop", "Stop and exit", 0},
    {acPlay_FF, "acPlay_FF", "Fast Forward", "Fast Forward", 0, true},
    {acStartVideoSession, "acStartVideoSession", "Video", "Video", 0},
    {acViewWebCam, "acViewWebCam", "View Participant's Web Cam", "View Participant's Web Cam", 0},
    {acVideoSessionSettings, "acVideoSessionSettings", "Video Settings", "Video Settings", 0},
    {acCaptureBoard, "acCaptureBoard", "Lock Board", "Lock Board", 0},
    {acRoomInfo, "acRoomInfo", "Room Info", "Room Info", 0},
    {acSharedDocs, "acSharedDocs", "Shared Documents", "Shared Documents", 0},
    {acTextChat, "acTextChat", "Text Chat", "Text Chat", 0},
    {acStopVideoSession, "acStopVideoSession", "Stop Video", "Stop Video", 0},
    {acPlay_REW, "acPlay_REW", "Rewind", "Rewind", 0},
    {acRaiseHand, "acRaiseHand", "Raise Hand", "Raise Hand", 0},
    {acSmile, "acSmile", "Smile", "Smile", 0},
    {acApplause, "acApplause", "Applause", "Applause", 0},
    {acRequestMicrophone, "acRequestMicrophone", "Request a microphone", "Request a microphone", 0},
    {acRequestWebCam, "acRequestWebCam", "Request a web camera", "Request a web camera", 0},
    {acSortByName, "acSortByName", "Sort By Name", "Sort By Name", 0},
    {acSortByHand, "acSortByHand", "Sort By Hand Status", "Sort By Hand Status", 0},
    {acModeratorsOnTop, "acModeratorsOnTop", "Moderators On Top", "Moderators On Top", 0},
    {acPositiveAnswer, "acPositiveAnswer", "Positive Answer (Yes)", "Positive Answer (Yes)", 0},
    {acNegativeAnswer, "acNegativeAnswer", "Negative Answer (No)", "Negative Answer (No)", 0},
    {acBreakoutRooms, "acBreakoutRooms", "Breakout Rooms...", "Show the BreakOut rooms", 0},
    {acNewNote, "acNewNote", "New Note", "Send a Note to the Session Attendees", 0},
    {acNote_ClearAll, "acNote_ClearAll", "Clear All", "Clear all the items", 0},
    {acNote_Delete, "acNote_Delete", "Delete Selected Item", "Delete the selected item", 0},
    {acNote_Display, "acNote_Display", "Display Selected Item", "Display the selected item", 0},
    {acNote_MarkComplete, "acNote_MarkComplete", "Mark Selected as Complete", "Mark the selected item as complete",
     0},
    {acSaveNotesToFile, "acSaveNotesToFile", "Save Notes", "Save the notes and questions to a file", 0},
    {acEnableDisableNotes, "acEnableDisableNotes", "Disable Notes", "Enable or disable the session notes", 0},
};

bool OtherRowSelected(const TCommandState& s) { return s.selectedUser != 0 && s.selectedUser != s.ownUser; }
bool OwnShare(const TCommandState& s) { return s.shareState != 0 && s.sharingUser == s.ownUser && s.ownUser != 0; }

}  // namespace

const std::vector<TCommandInfo>& Commands() { return kCommands; }

const TCommandInfo& CommandInfo(TCommand id) {
    if (id < 0 || id >= kCommandCount || kCommands[size_t(id)].id != id) throw std::out_of_range("command");
    return kCommands[size_t(id)];
}

TCommandUpdate UpdateCommand(TCommand id, const TCommandState& s) {
    TCommandUpdate u;
    switch (id) {
    // Taking the floor needs a microphone that works; giving it up never does.
    case acCaptureVoice: u.enabled = s.voiceRight && (s.microphone || s.speakOn); break;
    case acClearMotions: u.enabled = u.visible = Moderates(s); break;
    case acGiveVoice:
    case acGiveBoard:
    case acBanVoice:
    case acBanBoard:
    case acKick:
    case acRemoteAudioControl: u.enabled = Moderates(s) && OtherRowSelected(s); break;
    case acSendSilentPingAll:
    case acBuzzUsersAll:
    case acArrangeExam: u.enabled = Moderates(s); break;
    case acStartAppShare: u.enabled = s.documentRight && s.shareState == 0; break;
    case acToggleModeratorStatus:
        u.enabled = OtherRowSelected(s) && Moderates(s);
        u.caption = s.selectedLevel < 1000 ? "Promote the user to Moderator" : "Demote the user to Participant";
        if (s.roomType == 5) u.enabled = false;
        break;
    case acAppSharegiveControl:
    case acAppShare_GiveShort:
    case acAppShareTakeControl:
    case acAppShare_TakeShort: u.enabled = OwnShare(s) && OtherRowSelected(s); break;
    case acReconnectAudio:
    case acResetConnection:
    case acAudioWizard:
    case acAudioWiz: u.enabled = !s.playback; break;
    case acFileViewer:
    case acFileView:
    case acPresent:
    case acWebTourView:
    case acDocs:
    case acWebLinks: u.enabled = Presents(s); break;
    // Everybody may browse the image library; loading and deleting check their own rights.
    case acImages: u.enabled = !s.playback; break;
    case acAppShare_Pause: u.enabled = OwnShare(s); break;
    case acPauseRecording: u.enabled = s.recording; break;
    case acPlay: u.enabled = !s.playing; break;
    case acPlay_Pause:
    case acPlay_FF: u.enabled = s.playing; break;
    case acStartVideoSession: u.enabled = s.videoRight && !s.videoPublishing; break;
    case acViewWebCam: u.enabled = s.selectedUser != 0 && s.selectedHasRecord; break;
    case acVideoSessionSettings: u.enabled = !s.videoPublishing; break;
    case acRaiseHand:
    case acSmile:
    case acApplause:
    case acPositiveAnswer:
    case acNegativeAnswer: u.enabled = !s.playback; break;
    case acRequestMicrophone: u.enabled = !s.playback && !s.voiceRight; break;
    case acRequestWebCam: u.enabled = !s.playback && !s.videoRight; break;
    case acBreakoutRooms: u.enabled = s.level1 >= 1000 && s.sessionLive && s.breakoutAllowed; break;
    case acNewNote: u.enabled = !s.notesDisabled; break;
    case acNote_Delete:
    case acNote_Display:
    case acNote_MarkComplete: u.enabled = s.rowSelectedInNotes; break;
    case acEnableDisableNotes:
        u.enabled = s.level1 >= 1000;
        u.caption = s.notesDisabled ? "Enable Notes" : "Disable Notes";
        break;
    default: break;  // no Update rule: always enabled
    }
    return u;
}

}  // namespace orb::chat
