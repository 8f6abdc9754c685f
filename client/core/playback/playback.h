#pragma once
// The data module's recorded-session routines, in the main thread: opening a recording from a file,
// from a web address or from the room server (play link), starting, pausing and stopping the replay
// thread and the downloads, and the slider's jumps. Waits of the opening run on the event loop's
// timers, so the room window keeps turning while a download gets going.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "playback/playback_shared.h"
#include "playback/player_thread.h"
#include "playback/session_download.h"
#include "playback/session_info.h"

namespace orb::playback {

// Bytes the folder's file system gives an unprivileged user (-1: unknown).
int64_t FreeBytes(const std::string& folder);
// The refusal of a download that would not fit: sizes in MiB, rounded up for the need.
std::string NoRoomForDownloadText(int64_t needed, int64_t available, const std::string& folder);

// What the opening of a recording needs of the windows and the rest of the data module. Unset
// hooks do nothing.
struct TPlaybackHooks {
    // Error box, then the run ends (Quit with 0).
    std::function<void(const std::string&)> ShowError;
    std::function<void(int)> Quit;
    std::function<bool(const std::string&)> AskYesNo;
    std::function<void()> ActivateMain;
    // The steps of the room start that playback shares: own rights and video flags cleared,
    // whiteboards initialised (with the progress texts), captions, progress hidden.
    std::function<void(int, const std::string&)> ProgressStep;
    std::function<void()> ClearOwnRights;
    std::function<void()> InitWhiteboards;
    std::function<void(const std::string&)> SetWindowTitle;
    std::function<void(const std::string&)> SetServerCaption;
    std::function<void(const std::string&)> SetRoomCaption;
    std::function<void()> HideProgress;
    // The player window: shown always on top at the bottom right (file, web) or docked into the
    // left panel (play link); its status text and colour (0x00BBGGRR); its title.
    std::function<void(bool docked)> ShowPlayer;
    std::function<void(const std::string&, uint32_t colour)> SetPlayerStatus;
    std::function<void(const std::string&)> SetPlayerCaption;
    std::function<void()> CloseMain;
    // The replay players for a codec index (null: no voice).
    std::function<std::unique_ptr<IReplayVoice>(int32_t codecIndex)> CreateVoice;
    // The voice codec index of the recording, for the data module.
    std::function<void(int32_t)> SetVoiceCodecIndex;
    // The data module's session-running flag.
    std::function<void(bool)> SetSessionRunning;
};

constexpr uint32_t kStatusGreen = 0x008000;
constexpr uint32_t kStatusBlue = 0xFF0000;
constexpr uint32_t kStatusRed = 0x0000FF;
constexpr uint32_t kStatusBlack = 0x000000;

class TPlayback {
public:
    static constexpr int kWaitStepMs = 3000;
    // Waits for the first 740 bytes before the opening gives up.
    static constexpr int kMaxHeadWaits = 5;
    static constexpr int kStartDelayMs = 3000;
    static constexpr int kPlayLinkDelayMs = 2000;

    TPlayback(IEventLoop& loop, TTcpClient& roomConnection, IReplayTarget& target);
    ~TPlayback();
    TPlayback(const TPlayback&) = delete;
    TPlayback& operator=(const TPlayback&) = delete;

    TPlaybackHooks Hooks;
    // The player window (status, position, download notices).
    WindowHandle PlayerWindow = 0;
    WindowHandle MainWindow = 0;
    // Where downloads go: the user's cache folder, on disk (the private runtime folder is often
    // memory, and a recording may be hundreds of megabytes). A download is removed when the replay
    // stops for good (StopPlayback) or the playback goes.
    std::string DownloadFolder = "/tmp/";
    // The free bytes of a folder (FreeBytes; tests give their own).
    std::function<int64_t(const std::string&)> FreeSpace = FreeBytes;

    // ---- Opening (the launch forms)

    // A recording file: checks it exists and ends in .ob6 or .tm6 (any case); false (after the
    // error box) when it cannot be played. streaming: a download is still filling it.
    bool OpenRecordedSession(const std::string& path, bool streaming = false);
    // A web address: status 200 starts the download into a temporary file and opens it. The
    // status is asked through `statusOf` (the shared URL helper).
    bool OpenRecordedSessionURL(const std::string& address, const std::function<int(const std::string&)>& statusOf,
                                TProxySettings proxy = {});
    // The session start in playback mode: a session reader on the room connection into a new
    // temporary file, suspended.
    void PlayRecordedFile();
    // A play link, once signed in: asks the server for the named recording, then replays it while
    // it streams. False when the server refused it (the caller tells the user).
    bool PlayLinkSession(const std::string& name);

    // ---- The replay

    // Starts a replay thread on a file.
    bool StartPlayer(const std::string& fileName, bool noTiming, bool hasHead);
    // Stops the replay thread and the session reader (dropping the room connection). Never waits
    // for a thread that may be waiting for the main thread: called from inside a replayed message,
    // the threads are collected later.
    void StopPlayback();

    // Player commands: play (resume or start again), pause toggle, stop (asks, then ends the run).
    void Play();
    void PauseToggle();
    void Stop();
    // The slider's release (see TPlayerThread::ReleaseSlider).
    void ReleaseSlider(uint32_t target);
    void SetNoTiming(bool on);

    // WM_APP_PLAYERSTOPPED reached the player window.
    void PlayerStopped();

    bool Running() const { return running_; }
    bool Playing() const { return playing_; }
    // The replay position of the player window.
    uint32_t Position = 0;
    TPlayerThread* PlayerThread() { return player_.get(); }
    TSessionReaderThread* SessionReader() { return sessionReader_.get(); }
    TSessionURLReaderThread* URLReader() { return urlReader_.get(); }
    TPlaybackShared& Shared() { return shared_; }
    const TSessionInfoRec& SessionInfo() const { return info_; }
    TSessionInfoRec& SessionInfo() { return info_; }
    // The launch came from a file or a web address (the file has its session record).
    bool FileHasHead = true;

    // The file a download is filling (empty: none).
    const std::string& DownloadFile() const { return downloadFile_; }

private:
    void Fail(const std::string& text);
    // False (and the user told) when the folder has less room than the download's announced size
    // still needs; `endRun`: the run ends too.
    bool RoomForDownload(int64_t announced, int64_t alreadyThere, bool endRun);
    void RemoveDownload();
    void WaitForHead(int waits);
    void HeadArrived();
    void KillTimer(TimerId& id);
    void CollectRetired();
    struct TTargets;

    IEventLoop& loop_;
    TTcpClient& room_;
    IReplayTarget& target_;
    std::unique_ptr<TTargets> targets_;
    TPlaybackShared shared_;
    TSessionInfoRec info_;
    std::string sessionFile_;
    std::string downloadFile_;
    bool streaming_ = false;
    bool running_ = false;
    bool playing_ = false;
    std::unique_ptr<IReplayVoice> voice_;
    std::unique_ptr<TPlayerThread> player_;
    std::unique_ptr<TSessionReaderThread> sessionReader_;
    std::unique_ptr<TSessionURLReaderThread> urlReader_;
    // Threads stopped while one of them waited for the main thread; joined once they have ended.
    std::vector<std::unique_ptr<TPlayerThread>> retiredPlayers_;
    std::vector<std::unique_ptr<IReplayVoice>> retiredVoices_;
    TimerId waitTimer_ = 0;
    TimerId startTimer_ = 0;
    TimerId collectTimer_ = 0;
};

}  // namespace orb::playback
