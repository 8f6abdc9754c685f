#pragma once
// The room commands of the data module and the main window: caption, hint and shortcut of each,
// and its Update rule as one plain function of the room state.

#include <cstdint>
#include <string>
#include <vector>

namespace orb::chat {

enum TCommand : int {
    // The data module's lists.
    acCaptureVoice, acClearMotions, acGiveVoice, acGiveBoard, acBanVoice, acBanBoard, acKick,
    acSendSilentPingAll, acBuzzUsersAll, acArrangeExam, acStartAppShare, acToggleModeratorStatus,
    acMailInvitation, acAppSharegiveControl, acAppShare_GiveShort, acAppShareTakeControl, acAppShare_TakeShort,
    acFullScreen, EditCopy1, EditSelectAll1, acReconnectAudio, acResetConnection, acRemoteAudioControl,
    acAudioWizard, acAudioWiz, acFileViewer, acFileView, acPresent, acWebTourView, acDocs, acImages, acWebLinks,
    acAppShare_Pause, acStartRecording, acPauseRecording, acStoprecording, acRecorderSettings, acPlay,
    acPlay_Pause, acPlay_Stop, acPlay_FF, acStartVideoSession, acViewWebCam, acVideoSessionSettings,
    acCaptureBoard, acRoomInfo, acSharedDocs, acTextChat, acStopVideoSession, acPlay_REW,
    // The main window's own lists.
    acRaiseHand, acSmile, acApplause, acRequestMicrophone, acRequestWebCam, acSortByName, acSortByHand,
    acModeratorsOnTop, acPositiveAnswer, acNegativeAnswer, acBreakoutRooms, acNewNote, acNote_ClearAll,
    acNote_Delete, acNote_Display, acNote_MarkComplete, acSaveNotesToFile, acEnableDisableNotes,
    kCommandCount
};

struct TCommandInfo {
    TCommand id;
    const char* name;       // object name
    const char* caption;
    const char* hint;
    int shortcut;           // virtual key, + 16384 for Ctrl; 0 none
    bool checkable = false;
    int group = 0;
};
const TCommandInfo& CommandInfo(TCommand id);
const std::vector<TCommandInfo>& Commands();

// What the Update rules read.
struct TCommandState {
    bool connected = false;      // the room connection is up
    bool playback = false;       // a recorded session is replayed
    bool sessionLive = false;    // in a live room (not replaying)
    int32_t level1 = 0, level2 = 0, level3 = 0;
    int32_t ownUser = 0;
    bool voiceRight = false, videoRight = false, documentRight = false;
    bool microphone = true;  // the microphone delivers (no stop reported since the voice started)
    bool speakOn = false;    // the own user holds the floor
    // The selected participant row (0: none).
    int32_t selectedUser = 0;
    int32_t selectedLevel = 0;
    bool selectedHasRecord = false;
    uint8_t shareState = 0;      // 0 none, 1 sharing, 2 paused
    int32_t sharingUser = 0;
    bool recording = false;
    bool videoPublishing = false;
    bool playing = false;
    int32_t roomType = 0;
    bool notesDisabled = false;
    bool breakoutAllowed = false;
    bool rowSelectedInNotes = false;  // a row of the notes-and-requests list is selected
};

struct TCommandUpdate {
    bool enabled = true;
    bool visible = true;
    std::string caption;  // empty: unchanged
};

// The Update rule of one command.
TCommandUpdate UpdateCommand(TCommand id, const TCommandState& s);

// Moderation commands are open: level 1 or level 3 is 1000 or more.
inline bool Moderates(const TCommandState& s) { return s.level1 >= 1000 || s.level3 >= 1000; }
// Presenter tools are open: level 1 or level 2 is 1000 or more.
inline bool Presents(const TCommandState& s) { return s.level1 >= 1000 || s.level2 >= 1000; }

}  // namespace orb::chat
