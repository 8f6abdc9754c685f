#include "playback/playback.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "protocol/date_time.h"
#include "protocol/wm_app.h"

namespace orb::playback {

namespace {

template <class F, class... A>
void Call(const F& f, A&&... a) {
    if (f) f(std::forward<A>(a)...);
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

// Counts the replayed messages that the main thread is running, so a stop from inside one of them
// never joins the thread that waits for it.
class TCountingTarget final : public IReplayTarget {
public:
    TCountingTarget(IReplayTarget& inner, int& depth) : inner_(inner), depth_(depth) {}
    void ReplayRecord(const TVCRHeader& header, std::span<const uint8_t> message) override {
        ++depth_;
        struct Leave {
            int& d;
            ~Leave() { --d; }
        } leave{depth_};
        inner_.ReplayRecord(header, message);
    }
    void ClearRoomViews() override {
        ++depth_;
        struct Leave {
            int& d;
            ~Leave() { --d; }
        } leave{depth_};
        inner_.ClearRoomViews();
    }

private:
    IReplayTarget& inner_;
    int& depth_;
};

}  // namespace

struct TPlayback::TTargets {
    int depth = 0;
    std::unique_ptr<TCountingTarget> counting;
};

TPlayback::TPlayback(IEventLoop& loop, TTcpClient& roomConnection, IReplayTarget& target)
    : loop_(loop), room_(roomConnection), target_(target), targets_(std::make_unique<TTargets>()) {
    targets_->counting = std::make_unique<TCountingTarget>(target_, targets_->depth);
}

int64_t FreeBytes(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

std::string NoRoomForDownloadText(int64_t needed, int64_t available, const std::string& folder) {
    constexpr int64_t kMiB = int64_t(1) << 20;
    return "There is not enough free disk space to download this recorded session.\r\nIt needs " +
           std::to_string((needed + kMiB - 1) / kMiB) + " MB; " + folder + " has " +
           std::to_string(std::max<int64_t>(available, 0) / kMiB) + " MB free.";
}

bool TPlayback::RoomForDownload(int64_t announced, int64_t alreadyThere, bool endRun) {
    if (announced <= 0) return true;  // nothing announced: the download's own cap bounds it
    const int64_t needed = announced - std::max<int64_t>(alreadyThere, 0);
    const int64_t available = FreeSpace ? FreeSpace(DownloadFolder) : -1;
    if (available < 0 || available >= needed) return true;
    const std::string text = NoRoomForDownloadText(needed, available, DownloadFolder);
    if (endRun)
        Fail(text);
    else
        Call(Hooks.ShowError, text);
    return false;
}

void TPlayback::RemoveDownload() {
    if (downloadFile_.empty()) return;
    ::unlink(downloadFile_.c_str());
    downloadFile_.clear();
}

TPlayback::~TPlayback() {
    KillTimer(waitTimer_);
    KillTimer(startTimer_);
    KillTimer(collectTimer_);
    // The loop no longer runs synchronous calls at shut-down; every thread can be joined.
    try {
        if (player_) player_->Terminate();
        for (auto& p : retiredPlayers_) p->Terminate();
        player_.reset();
        retiredPlayers_.clear();
        if (sessionReader_) {
            room_.Shutdown();
            sessionReader_.reset();
        }
        urlReader_.reset();
    } catch (...) {
    }
    RemoveDownload();
}

void TPlayback::KillTimer(TimerId& id) {
    if (id) loop_.KillTimer(id);
    id = 0;
}

void TPlayback::Fail(const std::string& text) {
    Call(Hooks.ShowError, text);
    Call(Hooks.Quit, 0);
}

bool TPlayback::OpenRecordedSession(const std::string& path, bool streaming) {
    const int64_t size = SizeOf(path);
    if (size < 0) {
        Fail("The file cannot be located.\r\n" + path);
        return false;
    }
    const std::string ext = LowerExtension(path);
    if (ext != ".ob6" && ext != ".tm6") {
        Fail("The file/stream cannot be played with the current version.\r\nUnknown file extension (" + ext + ").");
        return false;
    }
    sessionFile_ = path;
    streaming_ = streaming;
    FileHasHead = true;
    Call(Hooks.ActivateMain);
    if (!streaming) {
        shared_.SetAvailableBytes(size);
        shared_.SetComplete(true);
    }
    KillTimer(waitTimer_);
    WaitForHead(0);
    return true;
}

void TPlayback::WaitForHead(int waits) {
    if (shared_.GetAvailableBytes() >= int64_t(TSessionInfoRec::kSize)) {
        HeadArrived();
        return;
    }
    if (waits >= kMaxHeadWaits || (shared_.Complete() && shared_.GetAvailableBytes() < int64_t(TSessionInfoRec::kSize))) {
        Fail("Unable to play the resource. Please try again later.");
        return;
    }
    KillTimer(waitTimer_);
    waitTimer_ = loop_.SetTimer(kWaitStepMs, [this, waits] {
        KillTimer(waitTimer_);
        WaitForHead(waits + 1);
    });
}

void TPlayback::HeadArrived() {
    if (PlayerWindow) loop_.Post(PlayerWindow, WM_APP_PLAYERDOWNLOAD, 0, 0);
    std::ifstream in(sessionFile_, std::ios::binary);
    std::vector<uint8_t> head(TSessionInfoRec::kSize);
    if (!in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size())) || !info_.Decode(head)) {
        Fail("Unable to play the resource. Please try again later.");
        return;
    }
    // A web download announces its size in its record: it must fit in what the disk has left.
    if (urlReader_ && !RoomForDownload(info_.TotalSize(), shared_.GetAvailableBytes(), true)) {
        urlReader_->Terminate();
        urlReader_->WaitFor();
        urlReader_.reset();
        RemoveDownload();
        return;
    }
    shared_.SetTotalSize(info_.TotalSize());
    shared_.SetMessageCount(info_.MessageCount());
    Call(Hooks.ClearOwnRights);
    Call(Hooks.ProgressStep, 4, std::string("Init whiteboards..."));
    Call(Hooks.InitWhiteboards);
    Call(Hooks.ProgressStep, 5, std::string("Starting communication services..."));
    Call(Hooks.SetSessionRunning, true);
    Call(Hooks.SetWindowTitle, std::string("Playback mode"));
    Call(Hooks.SetServerCaption, std::string(" Server: Local"));
    Call(Hooks.SetRoomCaption, std::string(" Room: Not selected"));
    Call(Hooks.HideProgress);
    playing_ = false;
    Call(Hooks.ShowPlayer, false);
    KillTimer(startTimer_);
    startTimer_ = loop_.SetTimer(kStartDelayMs, [this] {
        KillTimer(startTimer_);
        if (StartPlayer(sessionFile_, false, true)) {
            playing_ = true;
            Call(Hooks.SetPlayerStatus, std::string("PLAYING"), kStatusGreen);
        }
    });
}

bool TPlayback::OpenRecordedSessionURL(const std::string& address,
                                       const std::function<int(const std::string&)>& statusOf, TProxySettings proxy) {
    const int status = statusOf ? statusOf(address) : 0;
    if (status != 200) {
        Fail("The specified URL cannot be accessed.\r\n" + address + "\r\n" +
             "This recorded session may no longer be available.");
        return false;
    }
    const std::string file = MakeSessionTempFile(DownloadFolder);
    if (file.empty()) {
        Fail("Unable to play the resource. Please try again later.");
        return false;
    }
    downloadFile_ = file;
    shared_.SetComplete(false);
    shared_.SetAvailableBytes(0);
    urlReader_ = std::make_unique<TSessionURLReaderThread>(loop_, address, file, PlayerWindow, shared_,
                                                           std::move(proxy));
    urlReader_->Resume();
    return OpenRecordedSession(file, true);
}

void TPlayback::PlayRecordedFile() {
    RemoveDownload();
    sessionFile_ = MakeSessionTempFile(DownloadFolder);
    downloadFile_ = sessionFile_;
    FileHasHead = false;
    shared_.SetComplete(false);
    shared_.SetAvailableBytes(0);
    sessionReader_.reset();
    if (sessionFile_.empty()) return;
    sessionReader_ = std::make_unique<TSessionReaderThread>(loop_, room_, sessionFile_, PlayerWindow, shared_);
}

bool TPlayback::PlayLinkSession(const std::string& name) {
    if (!sessionReader_) PlayRecordedFile();
    if (!sessionReader_ || !sessionReader_->FileCreated()) return false;
    // The play id travels as a number; a name that is not one asks for recording 0.
    long long id = 0;
    try {
        size_t used = 0;
        id = std::stoll(name, &used);
        if (used != name.size() || id < INT32_MIN || id > INT32_MAX) id = 0;
    } catch (...) {
        id = 0;
    }
    const int result = OpenSession(room_, int32_t(id), NowDateTime(), info_);
    shared_.SetDownloadedMessages(0);
    if (result != 0) return false;
    // The stream has no head of its own: its size is the record's less those 740 bytes.
    if (!RoomForDownload(int64_t(info_.TotalSize()) - int64_t(TSessionInfoRec::kSize), 0, false)) {
        room_.Shutdown();
        sessionReader_.reset();
        RemoveDownload();
        return false;
    }
    shared_.SetTotalSize(info_.TotalSize());
    shared_.SetMessageCount(info_.MessageCount());
    Call(Hooks.HideProgress);
    playing_ = false;
    Call(Hooks.ShowPlayer, true);
    sessionReader_->Resume();
    KillTimer(startTimer_);
    startTimer_ = loop_.SetTimer(kPlayLinkDelayMs, [this] {
        KillTimer(startTimer_);
        if (StartPlayer(sessionFile_, false, false)) {
            playing_ = true;
            Call(Hooks.SetPlayerStatus, std::string("PLAYING"), kStatusGreen);
        }
    });
    return true;
}

bool TPlayback::StartPlayer(const std::string& fileName, bool noTiming, bool hasHead) {
    CollectRetired();
    if (player_) return true;
    TPlayerThreadConfig config;
    config.fileName = fileName;
    config.noTiming = noTiming;
    config.hasHead = hasHead;
    config.playerWindow = PlayerWindow;
    config.mainWindow = MainWindow;
    config.voiceFactory = [this](int32_t codec) -> IReplayVoice* {
        Call(Hooks.SetVoiceCodecIndex, codec);
        if (!voice_ && Hooks.CreateVoice) voice_ = Hooks.CreateVoice(codec);
        return voice_.get();
    };
    auto player = std::make_unique<TPlayerThread>(loop_, std::move(config), shared_, *targets_->counting, nullptr);
    if (!player->Opened()) return false;
    player_ = std::move(player);
    player_->Resume();
    running_ = true;
    return true;
}

void TPlayback::CollectRetired() {
    for (auto it = retiredPlayers_.begin(); it != retiredPlayers_.end();) {
        if ((*it)->Finished() || targets_->depth == 0) {
            (*it)->WaitFor();
            it = retiredPlayers_.erase(it);
        } else {
            ++it;
        }
    }
    if (retiredPlayers_.empty()) {
        retiredVoices_.clear();
        KillTimer(collectTimer_);
    }
}

void TPlayback::StopPlayback() {
    KillTimer(waitTimer_);
    KillTimer(startTimer_);
    try {
        if (player_) {
            player_->Terminate();
            if (targets_->depth > 0) {
                // Called from inside a replayed message: the thread waits for this very call, so it
                // is joined once the call has returned.
                retiredPlayers_.push_back(std::move(player_));
                if (voice_) retiredVoices_.push_back(std::move(voice_));
                if (!collectTimer_) collectTimer_ = loop_.SetTimer(50, [this] { CollectRetired(); });
            } else {
                player_->WaitFor();
                player_.reset();
            }
        }
        if (sessionReader_) {
            // Wakes a blocked read; the reader never waits for the main thread.
            sessionReader_->Terminate();
            room_.Shutdown();
            sessionReader_->WaitFor();
            room_.Disconnect();
            sessionReader_.reset();
        }
        if (urlReader_) {
            urlReader_->Terminate();
            urlReader_->WaitFor();
            urlReader_.reset();
        }
    } catch (...) {
    }
    // The replay has ended for good (the player closes or the run ends): the download goes. A
    // replay thread still being collected keeps reading its open file.
    RemoveDownload();
    if (!player_) voice_.reset();
    running_ = false;
    playing_ = false;
}

void TPlayback::Play() {
    if (player_) {
        if (player_->Suspended()) player_->Resume();
        if (sessionReader_ && sessionReader_->Suspended()) sessionReader_->Resume();
        if (urlReader_ && urlReader_->Suspended()) urlReader_->Resume();
    } else if (!sessionFile_.empty()) {
        if (!StartPlayer(sessionFile_, false, FileHasHead)) return;
    } else {
        return;
    }
    playing_ = true;
    Call(Hooks.SetPlayerStatus, std::string("PLAYING"), kStatusGreen);
}

void TPlayback::PauseToggle() {
    if (!player_) return;
    const bool complete = shared_.Complete();
    if (player_->Suspended()) {
        if (!complete) {
            if (sessionReader_) sessionReader_->Resume();
            if (urlReader_) urlReader_->Resume();
        }
        player_->Resume();
        playing_ = true;
        Call(Hooks.SetPlayerStatus, std::string("PLAYING"), kStatusGreen);
    } else {
        player_->Suspend();
        if (!complete) {
            if (sessionReader_) sessionReader_->Suspend();
            if (urlReader_) urlReader_->Suspend();
        }
        playing_ = false;
        Call(Hooks.SetPlayerStatus, std::string("PAUSED"), kStatusBlack);
    }
}

void TPlayback::Stop() {
    if (Hooks.AskYesNo && !Hooks.AskYesNo("Do you want to exit?")) return;
    Call(Hooks.SetPlayerCaption, std::string("Orbelo Live Player - Stopping..."));
    StopPlayback();
    Call(Hooks.CloseMain);
}

void TPlayback::ReleaseSlider(uint32_t target) {
    if (player_) player_->ReleaseSlider(target);
}

void TPlayback::SetNoTiming(bool on) {
    if (player_) player_->SetNoTiming(on);
}

void TPlayback::PlayerStopped() {
    running_ = false;
    playing_ = false;
    // A thread that has ended waits for nothing; a newer thread keeps running.
    if (player_ && player_->Finished()) {
        player_->WaitFor();
        player_.reset();
    }
    CollectRetired();
}

}  // namespace orb::playback
