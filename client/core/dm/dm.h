#pragma once
// TDM, the data module: owns the room connection `vcrClient`, the send queue's writer thread and
// the reader thread, routes every incoming message kind to its handler (DispatchCommand), and
// gives every sender one routine that queues a whole message.
//
// Handler bodies live in one file per area (dm_handlers_room.cpp, dm_handlers_board.cpp, ...).
// Handlers run in the main thread; during the call CurrentHeader() is the message's header and
// BodyReader() reads its body (from stream offset 22).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <memory>
#include <span>
#include <vector>

#include "chat/chat_view.h"
#include "dm/reader_thread.h"
#include "launch/launch.h"
#include "libraries/library_state.h"
#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "participants/participant_hooks.h"
#include "participants/participant_list.h"
#include "playback/playback.h"
#include "polls/breakout_tree.h"
#include "polls/poll_results.h"
#include "protocol/message_kinds.h"
#include "protocol/records.h"
#include "protocol/vcr_header.h"
#include "room/room_state.h"
#include "sendqueue/vcr_writer_thread.h"
#include "transfer/file_transfer.h"
#include "video/video_windows.h"
#include "transfer/worker.h"
#include "voice/voice_state.h"
#include "session/progress_view.h"
#include "session/proxy.h"
#include "session/session_records.h"
#include "settings/settings.h"
#include "sharing/share_session.h"
#include "wire/bytes.h"

namespace orb::board {
class IBoardMessageHandler;
class IBoardSink;
}

class TDM {
public:
    TDM(orb::IEventLoop& loop, orb::WindowHandle mainWindow);
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    orb::IEventLoop& Loop() { return loop_; }
    orb::WindowHandle MainWindow() const { return mainWindow_; }

    // ---- Connection and identity

    // The room connection.
    orb::TTcpClient vcrClient;
    // Own user id and current room, as the login and room-entry replies give them.
    int32_t OwnUserId = 0;
    int16_t OwnRoom = 0;

    // ---- Whiteboard

    // The board in use (1 to 5), kept in step with the board engine.
    int32_t CurrentBoard = 1;
    // The own user may write on the shared boards.
    bool BoardRight = false;
    // Checks the bodies of the whiteboard kinds and drives the board engine; until it is set those
    // messages have no effect. Not owned.
    orb::board::IBoardMessageHandler* BoardMessages = nullptr;

    // ---- Transfers
    //
    // Upload, download and HTTP threads of the run. Shut-down stops and joins them before anything
    // they use is freed; declared here so every module that starts one can reach it.
    orb::TWorkerSet Transfers;
    // Windows told about finished uploads, and what a finished download does in the main thread
    // (open a document, draw a picture on a board); set by the windows that own them.
    orb::TUploadWindows UploadWindows;
    orb::TDownloadActions DownloadActions;
    // Starters: each transfer gets its own connection to the signed-in server's file-transfer port
    // (through the proxy settings) and stays in Transfers until it has ended.
    void StartFileUpload(orb::WindowHandle notifyWindow, int32_t number, int type, std::string description,
                         std::filesystem::path filePath);
    void StartFileDownload(std::string descriptionOrAddress, int board, orb::WindowHandle notifyWindow, int32_t number,
                           int type, bool openAfterDownload, std::filesystem::path localPath, std::string fileName);
    void StartHttpDownload(orb::WindowHandle notifyWindow, uint32_t message, std::intptr_t messageParam,
                           std::string localFile, std::string address);

    // ---- Session threads
    //
    // Threads of one session post to a relay window of that session, which forwards to the main
    // window only while the session lasts: once both threads are stopped, anything they (or a late
    // post of theirs) still send is dropped, so it can never reach the next session.

    // Creates, connects to vcrClient and resumes the reader.
    void StartReaderThread();
    // Creates the writer with the given first rate and resumes it.
    void StartWriterThread(int sendRate);
    // Stops the reader: shuts vcrClient down (waking the blocked read), drops what it read and
    // has not dispatched yet, and waits for the thread. Never deadlocks, also when called from a
    // handler: the thread is then collected later.
    void StopReaderThread();
    // Stops the writer and waits for it; queued messages are dropped.
    void StopWriterThread();
    TReaderThread* ReaderThread() { return reader_.get(); }
    TVCRWriterThread* WriterThread() { return writer_.get(); }
    // Increases with every session; posts tagged with an older one are dropped.
    uint64_t SessionGeneration() const { return generation_; }
    // The window the current session's threads post to (0 when no session runs).
    orb::WindowHandle SessionNotifyWindow() const { return relay_; }

    // ---- Sending

    // Queues one whole message: header (own id, own room, now, body length) and body, appended in
    // one piece. False without effect when the room connection is not connected, no writer runs,
    // or the body is too long for the header's length field.
    bool SendCommand(uint16_t kind, std::span<const uint8_t> body = {});
    bool SendCommand(uint16_t kind, const void* body, size_t length);
    // As SendCommand with another room number in the header (0 for the room list, the target room
    // for room entry).
    bool SendCommandToRoom(uint16_t kind, int16_t room, std::span<const uint8_t> body = {});
    // Queues a message whose header the caller built (its body length is set here).
    bool QueueMessage(TVCRHeader header, std::span<const uint8_t> body);

    // ---- Dispatch

    // Copies the header, keeps the stream for the handler and calls the handler of the kind.
    // Kinds above 153 and kinds without a handler are ignored; a failing handler is contained.
    void DispatchCommand(const TVCRHeader& header, std::span<const uint8_t> stream);
    const TVCRHeader& CurrentHeader() const { return currentHeader_; }
    // The message being dispatched: header at 0, body from 22. Valid only during the dispatch.
    std::span<const uint8_t> CurrentMessage() const { return currentStream_; }
    // A reader over the current body (stream offset 22 onwards).
    orb::ByteReader BodyReader() const;
    // True while a handler runs: the reader waits for it, so nothing may wait for the user here.
    bool InMessageHandler() const { return dispatchDepth_ > 0; }
    // Dispatches as the reader does: a handler of long work (the whole participant list) does a
    // first slice and leaves the rest to RunSlice, called while SlicesLeft; whoever dispatches lets
    // the loop turn between slices and dispatches nothing else before the last one.
    void DispatchInSlices(const TVCRHeader& header, std::span<const uint8_t> stream);
    bool SlicesLeft() const { return userListSlices_.next < userListSlices_.count; }
    void RunSlice();

    // Sees every dispatched message before its handler (diagnostics and tests).
    std::function<void(const TVCRHeader&, std::span<const uint8_t>)> DispatchObserver;

    // The handler of each kind, with its name; empty entries are ignored kinds.
    using Handler = void (TDM::*)();
    struct DispatchEntry {
        Handler handler = nullptr;
        const char* name = nullptr;
    };
    static const std::array<DispatchEntry, kHighestDispatchedKind + 1>& DispatchTable();

    // ---- Handlers: room and session (dm_handlers_room.cpp)
    void HandleRoomInfo();       // 1
    void HandleRoomList();       // 74
    void HandleEnterRoom();      // 75
    void HandleKeepAlive();      // 100

    // ---- Handlers: participants, rights and moderation (dm_handlers_participants.cpp)
    void HandleUserList();            // 2
    void HandleMicrophoneTaken();     // 6
    void HandleMicrophoneReleased();  // 7
    void HandleUserJoined();          // 12
    void HandleUserLeft();            // 13
    void HandleDuplicateLogin();      // 33
    void HandleClearMotions();        // 36
    void HandleMicrophoneRight();     // 41 given, 43 taken
    void HandleBoardRightChange();    // 42 given, 44 taken
    void HandleAcknowledge();         // 55
    void HandleKickUser();            // 60
    void HandlePresence();            // 64
    void HandleUserLevel();           // 99
    void HandleUserRights();          // 115
    void HandleUserFeedback();        // 117
    void HandleTypingState();         // 151
    void HandleRoomProfile();         // 152
    void HandleUserJoinedEx();        // 153

    // ---- Handlers: chat, notes and requests (dm_handlers_chat.cpp)
    void HandleAnsiTextMessage();  // 4, 5
    void HandleUserRequest();      // 15
    void HandleClearNotes();       // 37
    void HandleChatPermission();   // 128, 129
    void HandleTextMessage();      // 130, 131

    // ---- Handlers: resource libraries and guided browser (dm_handlers_resources.cpp)
    void HandleTransferReply();    // 17, 19, 23: transfer-connection kinds, ignored here
    void HandleResourceList();     // 18, 20, 24, 49
    void HandleWebLinkAdded();     // 25
    void HandleOpenResource();     // 30, 31, 32, 53
    void HandleResourceDeleted();  // 38, 39, 40, 58
    void HandleBrowserClosed();    // 65
    void HandleViewMode();         // 118, 119
    void HandleWebPage();          // 121

    // ---- Handlers: whiteboard (dm_handlers_board.cpp)
    void HandleBoardStrokes();     // 11
    void HandleBoardPointer();     // 56
    void HandleAnsiBoardText();    // 61
    void HandleBoardImage();       // 62
    void HandleBoardContents();    // 79
    void HandleClearBoard();       // 80
    void HandleSelectBoard();      // 81, 82
    void HandleImageToBoard();     // 126 slide, 127 library image
    void HandleBoardText();        // 132

    // ---- Handlers: polls, recording, media and remote control (dm_handlers_media.cpp)
    void HandlePoll();                 // 63
    void HandlePollAnswer();           // 66
    void HandleRecording();            // 96, 97, 98
    void HandlePaneSnapshotRequest();  // 101
    void HandlePaneCursorRequest();    // 102
    void HandlePaneControl();          // 103 given, 104 taken
    void HandleRemoteInput();          // 105, 147
    void HandleWebcamState();          // 107 started, 108 stopped
    void HandleVideoPort();            // 113
    void HandleKind120();              // 120: accepted and ignored
    void HandleRemoteAudioState();     // 122
    void HandleForcedCodec();          // 124
    void HandleMaxSpeakers();          // 125

    // ---- Handlers: sharing (dm_handlers_share.cpp)
    void HandleShareStarted();     // 86
    void HandleShareStopped();     // 87
    void HandleKind88();           // accepted and ignored
    void HandleKind89();           // accepted and ignored
    void HandleKind90();           // accepted and ignored
    void HandleSharePanes();       // 91
    void HandleShareCursor();      // 93
    void HandleKind94();           // accepted and ignored
    void HandleShareDescriptor();  // 95
    void HandleAppShareStart();    // 141
    void HandleAppShareStop();     // 142
    void HandleAppShareFrame();    // 144
    void HandleRemoteControl();    // 145
    void HandleShareState();       // 149

    // ---- Handlers: breakout rooms and the notes switch (dm_handlers_breakout.cpp)
    void HandleBreakoutChanged();     // 133
    void HandleBreakoutRoomList();    // 134
    void HandleBreakoutMembers();     // 135
    void HandleBreakoutUpdate();      // 136
    void HandleBreakoutMove();        // 137
    void HandleNotesSwitch();         // 138, 139
    void HandleBreakoutAllowed();     // 140


    // ==== Connection, handshake, room entry and session life cycle (dm_session.cpp) ============

    // What the session start needs of the rest of the program. Unset hooks do nothing (and the
    // questions answer No), so the core runs headless in tests.
    struct TSessionHooks {
        std::function<void(const std::string&)> ShowError;
        std::function<void(const std::string&)> ShowInformation;
        std::function<bool(const std::string&)> AskYesNo;        // error box with Yes and No
        std::function<void()> OpenConnectionSettings;             // settings dialog, connection page
        std::function<bool(const std::string&)> OpenWithShell;    // hand a file to the shell layer
        std::function<void(int exitCode)> Quit;                   // terminate the application
        std::function<void(const std::string&, uint16_t)> SaveServerAddress;  // ServerIP, ServerPort
        // UserID, UserName and Password to remember (0 and empty when not remembered).
        std::function<void(int32_t, const std::string&, const std::string&)> SaveSignInAccount;
        std::function<void()> InitWhiteboards;
        std::function<void(const std::string&)> SetWindowTitle;
        std::function<void(const std::string&)> SetServerCaption;
        std::function<void(const std::string&)> SetRoomCaption;
        std::function<void()> PlayRecordedFile;  // playback of a play link's recording
        std::function<void()> StopReplay;
        std::function<void()> StopVoiceThread;
        std::function<void()> CaptureBoard;      // the board-lock action, run once more on leaving
    };
    TSessionHooks SessionHooks;
    orb::IProgressView* Progress = nullptr;

    // Inputs, from the settings and the launch argument.
    std::string ServerHost;       // the room server to connect to; after connecting, the current one
    uint16_t ServerPort = 9910;
    orb::TProxySettings ProxySettings;
    int32_t ConnectionSpeed = 131072;  // bytes per second
    bool RememberMe = false;
    bool StartedByLink = false;
    bool PlaybackMode = false;
    std::string ProgramFolder = ".";   // start-up files and Versions/ go here

    // Session state.
    orb::TLoginInfo OwnLoginInfo;
    std::string LoginText;             // the text the login reply carries at offset 1036
    orb::TStartupInfo StartupInfo;
    orb::TRoomInfo RoomInfo;
    int32_t Speakers = 0;
    int32_t VoiceCodecIndex = 0;
    int32_t MainRoomNumber = 0;
    int32_t VoicePort = 0;
    int32_t FileTransferPort = 0;
    int32_t SendLimit = 2048;
    bool SessionRunning = false;
    std::vector<orb::TRoomListItem> RoomList;
    // Why the last connect failed (a proxy's refusal with its status, a time-out, ...).
    std::string LastConnectError;
    // Set when the update path has asked the program to end.
    bool UpdateStarted = false;
    // Set while the reset command starts the session again: a failed start then leaves the user
    // in the lost session (with the reset command) instead of ending the run.
    bool Reconnecting = false;
    // The room of the last room-entry request: a reconnect enters it again, also when the
    // connection was lost before the server answered the request.
    int32_t EnteringRoom = 0;

    static constexpr int kConnectTimeoutMs = 20000;
    static constexpr int64_t kHeartBeatIntervalMs = 30000;

    // Takes the proxy, connection-speed and remember-me values from the settings, and lets the
    // sign-in write the server address and the remembered account to the settings store (unless
    // those hooks were given otherwise).
    void ApplySessionSettings(const orb::Settings& settings, const orb::SignInSettings& signIn);

    int ConnectToServer(const std::string& host, uint16_t port);
    int CheckClientVersion();
    bool DownloadNewVersion(const orb::TVersionInfo& offer);
    int LoginUser(orb::TLoginInfo& info);
    int ConnectAndValidate(const std::string& host, uint16_t port, orb::TLoginInfo& info);
    bool SignIn();
    bool RequestStartupInfo();
    bool StartSession();
    void LeaveSession();
    void SetBandwidth(int32_t speed, bool send);

    // Every connection of the client connects through these: the handler made from the proxy
    // settings is kept per connection until it is detached.
    void AttachProxyHandler(orb::TTcpClient& connection);
    void DetachProxyHandler(orb::TTcpClient& connection);
    const orb::TProxyHandler* ProxyHandlerOf(const orb::TTcpClient& connection) const;
    bool ConnectClient(orb::TTcpClient& connection, const std::string& host, uint16_t port, int timeoutMs,
                       std::string* error = nullptr);

    bool SendHeartBeat();
    bool SendOwnProfile();
    bool SendRoomListRequest();
    bool SendEnterRoom(int32_t room);
    bool SendBoardContentsRequest(int32_t board);
    bool SendTimeZone();
    orb::TimerId HeartBeatTimer() const { return tmrHeartBeat.id; }

private:
    void ShowSessionError(const std::string& text);
    void ShowSessionInformation(const std::string& text);
    void ProgressStep(int position, const std::string& text);
    void UseLoginInfo();

    std::map<const orb::TTcpClient*, std::unique_ptr<orb::TProxyHandler>> proxyHandlers_;
    // Killed with the data module at the latest, since its tick uses it.
    struct TTimerGuard {
        orb::IEventLoop* loop = nullptr;
        orb::TimerId id = 0;
        void Kill() {
            if (id && loop) loop->KillTimer(id);
            id = 0;
        }
        ~TTimerGuard() { Kill(); }
    } tmrHeartBeat;
    std::string connectedHost_;   // the target of the room connection's current connect
    uint16_t connectedPort_ = 0;

    // ==== end of the session block ==============================================================

public:
    // ==== Room window: login, room entry and the room's own state (dm_login.cpp, dm_room.cpp) ==

    // How the run was started (from the launch argument; the login dialog clears it) and the
    // values of its link (the login dialog fills server, port, user name and password).
    orb::LaunchKind Launch = orb::lkNone;
    orb::TLinkValues Link;
    orb::TRoomState Room;
    // The keyboard-hook library was loaded and watches the keys for push-to-talk.
    bool HookInstalled = false;

    // Made by the program: the login dialog (unset: no dialog, ShowLoginDialog answers false).
    std::function<std::unique_ptr<orb::ILoginDialog>()> CreateLoginDialog;
    // Shows the login dialog until server, user name and password are filled; then the own account
    // and the link values hold them. False when the user cancelled.
    bool ShowLoginDialog();

    // The participants of the current room.
    orb::TParticipantList Participants;
    // The board engine: wiping and selecting boards (set by the program; not owned).
    orb::board::IBoardSink* BoardSink = nullptr;

    // What the room's steps need of windows and of later parts of the client. Unset hooks do
    // nothing (StartVoiceThread unset: the run has no voice, and that is not an error).
    struct TRoomHooks {
        // The windows' part of ResetRoomState: board lock off, board tool "none", chat views freed.
        std::function<void()> OnRoomStateReset;
        // The four moderation actions shown or hidden.
        std::function<void(bool visible)> ShowModerationActions;
        // Starts the voice connection for a room and user; 0 or a result code.
        std::function<int(int32_t room, int32_t user)> StartVoiceThread;
        std::function<void()> CloseVideoWindows;
        std::function<bool()> AppShareRunning;
        // The running share is the own user's.
        std::function<bool()> OwnShareRunning;
        // Takes the docked sharing viewer out of the main window as a floating window.
        std::function<void()> FloatShareViewer;
        std::function<void()> StopAppShareLocally;
        std::function<void()> ReconnectSession;
        // Switches the voice thread's sending on or off.
        std::function<void(bool)> SetTransmit;
    };
    TRoomHooks RoomHooks;

    // Level 1 of the own account is 1000 or more.
    bool IsModerator() const { return OwnLoginInfo.Level() >= 1000; }
    // Level 1 or level 3 is 1000 or more: moderation commands are open.
    bool HasModerationRights() const { return OwnLoginInfo.Level() >= 1000 || OwnLoginInfo.Level3() >= 1000; }

    // Room entry: clears the own rights, the board tools and every view of the previous room.
    void ResetRoomState();
    // Gives the rights a moderator has in this room (none to anyone else).
    void ApplyOwnRights();
    // Board engine operations of the room steps (nothing without an engine).
    void SelectBoard(int32_t board, bool announce);
    void ClearBoard(int32_t board);

    // 0 all messages allowed, 1 public chat only, 2 and 3 chat disabled for users (kinds 128, 129).
    int32_t ChatPermission = 0;
    // The last poll, ping or beep received (kind 63).
    TPollInfo ReceivedPoll;

    // The Speak command: asks for the floor and latches, or gives it up. Nothing while the room
    // connection is down; a request that cannot be queued changes nothing and reports audio state 5.
    void SpeakToggle();

    // Requests of the room-entry sequence, and the floor.
    bool SendUserListRequest();         // 2
    bool SendTakeMicrophone();          // 6
    bool SendReleaseMicrophone();       // 7
    bool SendAcknowledge(int32_t user); // 55; nothing for user 0 or the own user
    bool SendCurrentBoard();            // 81 with the board in use
    bool SendUserRightsRequest();       // 115
    bool SendViewModeRequest();         // 119
    bool SendWebPageRequest();          // 121
    bool SendChatPermissionRequest();   // 128
    bool SendNotesSwitchRequest();      // 139
    bool SendBreakoutAllowedRequest();  // 140
    bool SendKind148();                 // 148
    bool SendRoomProfileRequest();      // 152

    // ==== Areas. Each area keeps its state and view interface in client/core/<area>/ and puts its
    // data-module members, hooks and senders in its own block below (bodies in dm_<area>.cpp).

    // ---- participants: Participants, rights and moderation; profile card and editor
    // (senders and helpers in dm_participants.cpp, handlers in dm_handlers_participants.cpp)

    // What the participant handlers need of windows (participants/participant_hooks.h).
    orb::TParticipantHooks ParticipantHooks;

    // The own microphone is on the air.
    bool Transmitting = false;
    ::TRoomProfile RoomProfile;
    // Settings read by the handlers.
    bool BeepOnUserConnect = false;
    bool BeepOnUserDisconnect = false;
    bool BeepOnUserMotions = false;
    bool ShowMe = false;
    // Where user pictures are kept (ends with a separator; empty: no pictures are fetched).
    std::string UserImagesFolder;
    // The profile card of a user, the own profile editor and the session-note prompt (a prompt
    // addressed to `addressee`; false when cancelled), set by the program for the commands.
    std::function<void(int32_t user)> ShowUserCard;
    std::function<void()> ShowProfileEditor;
    std::function<bool(const std::string& addressee, std::string& text)> AskSessionMessage;
    // The breakout-rooms window, told about departures (0: none; the board window is the board
    // area's BoardWindow).
    orb::WindowHandle BreakoutWindow = 0;

    // Hides every row's status icon: before a push or a poll, so that the acknowledgements (kind
    // 55) that answer it are the ones shown.
    void ClearStatusIcons();
    bool SendClearMotions();                                    // 36, after clearing the status icons
    // 41 give microphone, 42 give board, 43 take microphone, 44 take board.
    bool SendRightChange(bool grant, bool microphone, int32_t user);
    bool SendKickUser(int32_t user, const std::string& reason); // 60
    bool SendPresence(uint8_t status);                          // 64
    bool SendUserLevel(int32_t user, int32_t level);            // 99
    bool SendUserFeedback(int32_t motionBits);                  // 117
    bool SendTypingState(int32_t state);                        // 151
    // Fetches a user's picture from the room's web site into UserImagesFolder and posts `message`
    // (wParam the user, lParam 0) to `window` when it has arrived. False when nothing was started.
    bool DownloadUserImage(int32_t user, orb::WindowHandle window, uint32_t message);
    // What a row is rendered with, from the own account, the room and the settings.
    orb::TRenderContext RenderContext() const;
    // Rights and motion of one participant (kinds 115 and 153).
    void ApplyUserRights(const TUserRights& rights);
    // The current message comes from the server or from a moderator (or is replayed).
    bool FromServerOrModerator() const;
    // " Participants [n]" to the header.
    void UpdateParticipantsCaption();
    // Renders the list's records up to the next slice's end; the caption and the post after the last.
    void RenderUserListSlice();
    // ---- end of participants

    // ---- chat: Chat, session notes and requests; command actions and menus
    // (senders in dm_chat.cpp, handlers in dm_handlers_chat.cpp)

    // Where chat lines, notes and requests go (not owned; unset: they are dropped).
    orb::chat::IChatView* ChatView = nullptr;
    // Settings read by the chat handlers.
    bool BeepOnNewMessage = false;
    bool BeepOnChatMotions = false;   // BeepOnUserMotions, for requests
    bool NoPopUpsOnPostIt = false;
    // Numbers the own requests (kind 15); the first carries 1.
    uint16_t RequestSequence = 0;
    // Session notes are disabled in this room (kinds 138, 139).
    bool NotesDisabled = false;

    // Kind 130 for type 0, else 131: the lines joined by CR LF (cut to what the record can carry).
    bool SendTextRecord(int32_t sender, int32_t addressee, std::span<const std::u16string> lines, int16_t room,
                        int16_t type);
    // One chat line to the current chat target, from the own user in the own room.
    bool SendChatText(const std::u16string& text);
    // The "Session Message" dialog for a user (0: all); OK sends a type-5 note as kind 130.
    bool ShowSessionMessageDialog(int32_t user);
    bool SendUserRequest(int32_t target, uint8_t type, const std::string& text = {});  // 15
    bool SendClearNotes();                                                             // 37
    bool SendChatPermission(int32_t mode);                                             // 129
    bool SendNotesSwitch(bool disabled);                                               // 138
    // A request of type 4..9 applied to the sender's row; posts WM_APP_USERLISTCHANGED.
    void ApplyUserAction(int32_t user, int action);
    // The name chat lines carry for a sender: the first name, " (Moderator)" appended for levels of
    // 1000 or more, "Unknown" without a row (orb::ChatName).
    std::u16string ChatSenderName(int32_t user) const;
    // ---- end of chat

    // ---- voice: Voice connection, remote audio control, audio wizard
    // The voice connection, the views it drives and the client's audio settings (not owned; the
    // program sets it: without it the defaults of a fresh Settings apply).
    orb::TVoiceArea Voice;
    orb::Settings* AudioSettings = nullptr;
    struct TVoiceHooks {
        // A line in the public chat: sender, text, colour (0x00BBGGRR).
        std::function<void(const std::string&, const std::string&, uint32_t)> AddChatLine;
        // The hourglass cursor on (true) and off.
        std::function<void(bool)> BusyCursor;
        // A notification handled at once by the main window (not queued).
        std::function<void(uint32_t, std::intptr_t, std::intptr_t)> SendToMainWindow;
        // The room connection's reconnect (leave, start again, re-enter the room).
        std::function<void()> ReconnectSession;
        // Delay before the forced-codec reconnect (ms), so the room's other messages go first.
        int64_t ForcedCodecDelayMs = 2000;
    };
    TVoiceHooks VoiceHooks;
    // Creates, registers and runs the voice thread; 0, 13 (server unreachable), 35 (no audio) or
    // the server's refusal code.
    int StartVoiceThread(int codecIndex, const std::string& voiceHost, int32_t room, const std::string& password,
                         int32_t userId, int32_t voicePort);
    // The voice start of room entry: the room's codec, the signed-in server, the own account.
    int StartRoomVoice(int32_t room, int32_t userId);
    // Stop flag, socket shutdown, join, free. Safe without a thread.
    void StopVoiceThread();
    // Rebuilds the voice connection; tells the user when that fails. Returns the start result.
    int ReconnectAudio();
    // Main window's volume sliders and boost item from the mixer.
    void InitVolumeControls();
    void SetVoiceTransmit(bool on);
    // Remote audio (kind 122), forced codec (124), number of speakers (125). Nothing while the room
    // connection is down.
    bool SendRemoteAudioState(const orb::TRemoteAudioState& state);
    bool SendForcedCodec(int32_t codecIndex);
    bool SendMaxSpeakers(int32_t count);
    // The query the remote audio window sends when it opens for a user.
    bool SendRemoteAudioQuery(int32_t target);
    // Command 1 (volumes and boost) or 2 (reconnect) to a user.
    bool SendRemoteAudioCommand(int32_t target, int32_t command, uint16_t speakerVolume, uint16_t micVolume,
                                int32_t boost);
    // The own audio as an answer to a query or command.
    orb::TRemoteAudioState OwnAudioState(const orb::TRemoteAudioState& asked);
    // ---- end of voice

    // ---- playback: Recorded sessions: download, replay and the player window

    // What replayed messages need beyond the handlers (set by the program; unset: nothing).
    struct TPlaybackRoomHooks {
        // Board and user files stored in the recording (kinds 19, 21, 35, 54).
        std::function<void(const TVCRHeader&, std::span<const uint8_t> body)> ReplayBoardFile;
        // A whole board (kind 79).
        std::function<void(const TVCRHeader&, std::span<const uint8_t> body)> ReplayBoardContents;
        // Boards, chat and lists emptied before a jump backwards.
        std::function<void()> ClearRoomViews;
    };
    TPlaybackRoomHooks PlaybackRoomHooks;
    // Opening, replay thread, downloads and player commands (made on first use).
    orb::playback::TPlayback& Playback();
    // One replayed message, in the main thread: board files and whole boards to the whiteboard,
    // resource notices select their board, everything else through DispatchCommand.
    void ReplayRecord(const TVCRHeader& header, std::span<const uint8_t> message);
    bool StartPlayer(const std::string& fileName, bool noTiming, bool hasHead);
    void StopPlayback();

private:
    class TReplayTarget;
    std::shared_ptr<TReplayTarget> replayTarget_;  // shared: its type is complete only in dm_playback.cpp
    std::unique_ptr<orb::playback::TPlayback> playback_;

public:
    // ---- end of playback

    // ---- board: Board window and its tools
    // The board window and the image library window receive their WM_APP notices here
    // (WM_APP_SHOWERROR, WM_APP_BOARDRIGHT, WM_APP_UPLOADDONE; WM_APP_RESOURCEDELETED,
    // WM_APP_RESOURCELISTCHANGED). 0 until the program binds them.
    orb::WindowHandle BoardWindow = 0;
    orb::WindowHandle BoardControlsWindow = 0;
    // The kind 20 reply's rows for the image library window (set by the program).
    std::function<void(const std::vector<TResourceInfo>&)> ShowBoardImageList;
    // ---- end of board

    // ---- libraries: Resource libraries, guided web tour, welcome and about windows
    // The last list of each library, the slide show, the download folder and the windows to tell
    // (libraries/library_state.h); the view is set by the program (not owned).
    orb::TLibraryState Libraries;
    orb::ILibraryView* LibraryView = nullptr;
    bool SendDocumentListRequest();      // 18
    bool SendBoardImageListRequest();    // 20
    bool SendWebLinkListRequest();       // 24
    bool SendPresentationListRequest();  // 49
    // Kind 25. False, with the reason in `error`, when the address is refused (empty, longer than
    // its field, or not an http, https or about:blank address) or nothing could be queued.
    bool SendAddWebLink(const std::string& comment, const std::string& url, std::string* error = nullptr);
    // Kinds 30, 31, 32 and 53 (types 0, 1, 2, 5): the current board and the record, after every
    // row's status icon was cleared.
    bool SendOpenResource(const TResourceInfo& record, int type);
    // Kinds 38, 39, 40 and 58 (types 0, 1, 2, 4), only after the user confirmed.
    bool SendDeleteResource(int type, const TResourceInfo& record);
    bool SendBrowserClosed();            // 65
    // Kind 118; only for a user with level 1 or level 3 of 1000 or more.
    bool SendViewMode(int32_t view);
    // Shows the guided browser and sends it to the page (http, https and about:blank only).
    void OpenWebPage(const std::string& url, int32_t requester, int32_t value, const std::string& description);
    // Empties the download folder (deletes and makes it again).
    bool ResetDownloadFolder();
    // The user agreed to download and open a pushed document.
    void AcceptPushedDocument(const orb::TPushedDocument& document);
    // A participant of the room whose row says moderator (level 1000 or more).
    bool IsRoomModerator(int32_t userId) const;
    // Presenter tools: level 1 or level 2 is 1000 or more.
    bool IsPresenter() const { return OwnLoginInfo.Level() >= 1000 || OwnLoginInfo.Level2() >= 1000; }
    // ---- end of libraries

    // ---- print: Print path into presentations, presentation export
    // Uploads one file of a presentation (type 4 index, 5 page) on its own connection and waits for
    // the server's answer: true only when the server took it. Call it from a worker thread.
    bool UploadExportedFile(const std::string& filePath, const std::string& presentationId, int32_t number, int type);
    // The same with the server, proxy and identity of now, for a worker to call later: made in
    // the main thread, it never reads the data module from the worker.
    std::function<bool(const std::string& filePath, const std::string& presentationId, int32_t number, int type)>
    MakePresentationUploader();
    // Opens the "Document Uploader" window; set by the program.
    std::function<void()> ShowDocumentUploader;
    // ---- end of print

    // ---- polls: Polls and exams, server recording, breakout rooms
    // The room is being recorded on the server (kinds 96 and 97 set and clear it).
    uint8_t ServerRecording = 0;
    // The check marks of the start and stop recording commands (stop is checked at start).
    bool RecordingStartChecked = false;
    bool RecordingStopChecked = true;
    // The answers to the polls this user sent, for the results window.
    orb::polls::TPollResults PollResults;
    // The breakout rooms with their members, as the breakout window shows them.
    orb::polls::TBreakoutTree Breakout;
    // Breakout rooms may be used in this room (kind 140).
    bool BreakoutAllowed = false;
    // Non-zero: session notes are disabled (kinds 138, 139).
    int32_t NotesSwitch = 0;
    // The breakout window (BreakoutWindow, above) also gets WM_APP_BREAKOUTROOMREFRESH.
    // The recorder account of kind 96 (the settings keep the password scrambled; here it is plain).
    std::string RecorderUserName = orb::kDefaultRecorderUserName;
    std::string RecorderPassword;
    struct TPollsHooks {
        // Float and show the poll results window; then redraw its rows, counts and chart.
        std::function<void()> ShowPollResults;
        std::function<void()> PollResultsChanged;
        // The breakout tree was rebuilt or a room's members changed (0: the whole tree).
        std::function<void(int32_t room)> BreakoutChanged;
        // The check marks of the recording commands changed.
        std::function<void()> RecordingActionsChanged;
    };
    TPollsHooks PollsHooks;

    // Kind 63: a check (0), beep (1) or poll (2) to a user (0: everybody); the question is cut to
    // 200 bytes of whole characters and the mask to its defined bits.
    bool SendPoll(int32_t target, uint16_t type, const std::string& question, bool mustReply, bool multipleAnswers,
                  uint32_t answerMask);
    // Kind 66: the chosen option (1..26) back to the poll's sender; other options send nothing.
    bool SendPollAnswer(int32_t pollSender, int32_t answer);
    bool SendStartServerRecording();  // 96 with the recorder account
    bool SendStopServerRecording();   // 97
    bool SendPauseServerRecording();  // 98
    // The recording commands: start only while not recording, stop and pause only while recording.
    bool StartRecordingCommand();
    bool StopRecordingCommand();
    bool PauseRecordingCommand();
    bool SendCreateBreakoutRoom(const std::string& name);  // 133
    bool SendBreakoutRoomListRequest();                    // 134
    bool SendBreakoutMembersRequest(int32_t room);         // 135
    bool SendMoveToRoom(int32_t user, int32_t room);       // 137
    // A poll from the main window's menu: results emptied, question kept, poll sent to everybody.
    bool StartPoll(const std::string& question, uint32_t answerMask, bool mustReply, bool multipleAnswers);
    // Breakout window: moves of a drop (nothing for a room node or the same room) and of "return all".
    bool MoveByDrop(const orb::polls::TBreakoutNode& dragged, const orb::polls::TBreakoutNode& target);
    int ReturnAllToMainRoom();
    // ---- end of polls

    // ---- video: Web cams: video connection, capture, codec, video windows

    // The video server's port (kind 113; the room server's host serves it) and the reply's second
    // value, kept and not used.
    int32_t VideoPort = 0;
    int32_t VideoPortReserved = 0;
    // Every open video window, publishing or viewing, in opening order. Not owned.
    std::vector<orb::video::IVideoWindow*> VideoWindows;
    void AddVideoWindow(orb::video::IVideoWindow* window);
    void RemoveVideoWindow(orb::video::IVideoWindow* window);
    // The window that views the user's camera, or null; a window publishing the own camera is
    // never returned.
    orb::video::IVideoWindow* FindVideoViewer(int32_t user) const;
    // Closes every video window, each on its own: a failing close does not keep the others open.
    void CloseVideoWindows();
    bool SendVideoPortRequest();  // 113, header only
    // The head of the video registration (kind 106): own id, user name and password.
    orb::TLoginRequest VideoRegistration() const;

    struct TVideoHooks {
        // Creates and shows a video window that publishes (publish) or views the user, and starts
        // it; null when it could not be made.
        std::function<orb::video::IVideoWindow*(int32_t user, bool publish)> OpenVideoWindow;
        // The settings dialog on its video page.
        std::function<void()> OpenVideoSettings;
    };
    TVideoHooks VideoHooks;
    // The video commands: start publishing (nothing while publishing), view a user's camera (the
    // open viewer of that user comes to the front instead of a second one), the video settings
    // (not while publishing).
    void StartVideoSession();
    void ViewWebCam(int32_t user);
    void VideoSessionSettings();

    // ---- end of video

    // ---- sharing: Application sharing: session, viewer, settings and control bar
    // The share of this room (both schemes, both sides); made on first use. Its view, screen and
    // input injector are set by the program.
    orb::sharing::TShareSession& Sharing();
    bool SharingExists() const { return sharing_ != nullptr; }
    std::unique_ptr<orb::sharing::TShareSession> sharing_;
    // Senders of the share (each nothing while the room connection is down).
    bool SendAppShareStart(const orb::appshare::TAppShareDescriptor& d, uint32_t window = 0);  // 141
    bool SendAppShareStop();                                                                   // 142
    bool SendAppShareState();   // 149: the Pause action (pause or resume the own share)
    bool SendRemoteControlGrant(int32_t user, bool on);                                        // 145
    bool SendRemoteInput(const TRemoteInputEvent& e);                                          // 147
    bool SendPaneStamps();                                                                     // 91
    bool SendShareCursorRequest();                                                             // 93
    // The sharing viewer's window (WM_APP_PANESNAPSHOTREQUEST, WM_APP_PANECURSORREQUEST go there).
    orb::WindowHandle ShareViewerWindow = 0;
    // A participant row's share icon changed (0 none, 1 sharing, 2 remote control); for the
    // participant list, which also finds every current state in Sharing().RowStates().
    std::function<void(int32_t user, int state)> OnShareRowState;
    // ---- end of sharing

    // ---- settings: Settings dialog
    // ---- end of settings


private:
    void OpenSessionRelay();
    void CloseSessionRelayWhenIdle();
    void CollectRetiredReaders();

    orb::IEventLoop& loop_;
    orb::WindowHandle mainWindow_;

    std::unique_ptr<TVCRWriterThread> writer_;
    std::unique_ptr<TReaderThread> reader_;
    // Readers stopped from inside their own dispatch; joined once that dispatch has returned.
    std::vector<std::unique_ptr<TReaderThread>> retiredReaders_;

    uint64_t generation_ = 0;
    // Shared with the relay window's handler, which may outlive a session.
    std::shared_ptr<std::atomic<uint64_t>> liveGeneration_;
    orb::WindowHandle relay_ = 0;

    TVCRHeader currentHeader_;
    std::span<const uint8_t> currentStream_;
    int dispatchDepth_ = 0;
    bool sliced_ = false;  // the current dispatch may leave work in slices
    // The records of a participant list (kind 2) not rendered yet.
    struct TUserListSlices {
        std::vector<uint8_t> records;
        size_t next = 0, count = 0;
        orb::TRenderContext context;
    } userListSlices_;
};
