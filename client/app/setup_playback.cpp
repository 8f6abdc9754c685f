// Recorded sessions: download, replay and the player window: what the program binds for this area.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "audio/init_sound.h"
#include "boardmsg/board_messages.h"
#include "board/engine/board_engine.h"
#include "common/message_box.h"
#include "launch/launch.h"
#include "program.h"
#include "replay_voice.h"
#include "ui_frm_main.h"
#include "util/folders.h"
#include "util/url.h"

namespace orb {

void TProgram::SetupPlayback() {
    auto* player = Form<TfrmPlayer>();
    TDM& dm = *tdm_;
    playback::TPlayback& pb = dm.Playback();
    pb.MainWindow = mainHandle_;
    if (player) pb.PlayerWindow = loop_->RegisterObject(player);
    if (auto cache = ProgramCacheFolder())
        pb.DownloadFolder = *cache;
    else if (auto temp = ProgramTempFolder())
        pb.DownloadFolder = *temp;
    if (player) {
        player->hide();
        player->SetPlayback(&pb);
        // The volume of the device the recorded voice plays on: the default one where the chosen
        // one is past the end of the list.
        player->GetVolume = [this](uint32_t& v) {
            return media::GetWaveOutVolume(media::UsableDevice(false, settings_.AudioOutDeviceID), v);
        };
        player->SetVolume = [this](uint32_t v) {
            media::SetWaveOutVolume(media::UsableDevice(false, settings_.AudioOutDeviceID), v);
        };
        player->OnFullScreen = [this](bool down) { main_->SetPlayerFullScreen(down); };
    }

    auto& h = pb.Hooks;
    h.ShowError = [this](const std::string& text) { CheckRecording(text); };
    h.Quit = [this](int code) { main_->Quit(code); };
    h.AskYesNo = [this](const std::string& text) {
        return room::PlainMessageBox(main_.get(), QMessageBox::Question, room::FromUtf8(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    h.ActivateMain = [this] {
        main_->show();
        main_->activateWindow();
    };
    h.ProgressStep = [this](int position, const std::string& text) {
        if (tdm_->Progress) tdm_->Progress->SetStep(position, text);
    };
    h.ClearOwnRights = [this] {
        tdm_->Room.VoiceRight = tdm_->BoardRight = tdm_->Room.DocumentRight = false;
        tdm_->Room.VideoRight = tdm_->Room.VideoPublishing = false;
    };
    h.InitWhiteboards = [this] {
        if (tdm_->SessionHooks.InitWhiteboards) tdm_->SessionHooks.InitWhiteboards();
        for (int32_t board = 1; board <= 5; ++board) tdm_->ClearBoard(board);
    };
    h.SetWindowTitle = [this](const std::string& t) { main_->setWindowTitle(room::FromUtf8(t)); };
    h.SetServerCaption = [this](const std::string& t) { main_->Ui().pServerInfo->setText(room::FromUtf8(t)); };
    h.SetRoomCaption = [this](const std::string& t) { main_->SetRoomCaption(t); };
    h.HideProgress = [this] {
        if (tdm_->Progress) tdm_->Progress->HideProgress();
    };
    h.ShowPlayer = [this, player](bool docked) {
        if (!player) return;
        if (docked) {
            // At the bottom of the left control panel.
            player->Dock(main_->Ui().pControls);
        } else {
            // Always on top at the bottom right of the screen.
            player->setParent(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
            player->adjustSize();
            if (QScreen* s = main_->screen()) {
                const QRect area = s->availableGeometry();
                player->move(area.right() - player->width() - 4, area.bottom() - player->height() - 4);
            }
        }
        player->show();
        player->raise();
    };
    h.SetPlayerStatus = [player](const std::string& text, uint32_t colour) {
        if (player) player->SetStatus(room::FromUtf8(text), colour);
    };
    h.SetPlayerCaption = [player](const std::string& text) {
        if (player) player->SetCaption(room::FromUtf8(text));
    };
    h.CloseMain = [this] { main_->CloseWithoutQuestion(); };
    h.CreateVoice = [this](int32_t codec) -> std::unique_ptr<playback::IReplayVoice> {
        auto voice = std::make_unique<media::TReplayVoicePlayers>(*loop_, codec, settings_.AudioOutDeviceID);
        if (voice->Players() == 0) return nullptr;
        return voice;
    };
    h.SetVoiceCodecIndex = [this](int32_t codec) { tdm_->VoiceCodecIndex = codec; };
    h.SetSessionRunning = [this](bool on) { tdm_->SessionRunning = on; };

    // Replayed messages the whiteboard takes itself, and the empty room a jump back starts from.
    dm.PlaybackRoomHooks.ReplayBoardFile = [this](const TVCRHeader& header, std::span<const uint8_t> body) {
        if (boardEngine_) boardEngine_->ReplayBoardFile(header, body);
    };
    dm.PlaybackRoomHooks.ReplayBoardContents = [this](const TVCRHeader& header, std::span<const uint8_t> body) {
        if (boardMessages_) boardMessages_->ReplayBoardContents(header, body);
    };
    dm.PlaybackRoomHooks.ClearRoomViews = [this] {
        tdm_->ResetRoomState();
        main_->FreeChatViews();
    };

    // The launch forms. A recording is checked first; a caller's own start of the run replaces the
    // replay after that.
    auto& c = controller_->Hooks;
    c.OpenRecordedSession = [this](const std::string& path) {
        if (!CheckRecording(CheckRecordingFile(path))) return false;
        if (o_.startRun) {
            o_.startRun(lkRecordingFile, path);
            return true;
        }
        return tdm_->Playback().OpenRecordedSession(path, false);
    };
    c.OpenRecordedSessionURL = [this](const std::string& address) {
        // Scheme and host compare without case; the path is the server's and keeps its own.
        const std::string url = LowerSchemeAndHost(address);
        if (GetURLStatusCode(url) != 200 &&
            !CheckRecording("The specified URL cannot be accessed.\r\n" + url + "\r\n" +
                            "This recorded session may no longer be available."))
            return false;
        if (o_.startRun) {
            o_.startRun(lkRecordingUrl, url);
            return true;
        }
        return tdm_->Playback().OpenRecordedSessionURL(url, [](const std::string&) { return 200; },
                                                       tdm_->ProxySettings);
    };
    c.PlayLinkSession = [this](const std::string& name) { return tdm_->Playback().PlayLinkSession(name); };
    dm.SessionHooks.PlayRecordedFile = [this] { tdm_->Playback().PlayRecordedFile(); };
    dm.SessionHooks.StopReplay = [this] { tdm_->StopPlayback(); };
    shutdownSteps_.push_back([this] { tdm_->StopPlayback(); });
}

}  // namespace orb
