// Polls, recording, web cams, remote input, remote audio and pane-share request handlers.

#include <algorithm>

#include "audio/init_sound.h"
#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "util/answers.h"
#include "voice/voice_records.h"
#include "voice/voice_thread.h"

// Accepted and ignored.
void TDM::HandleKind120() {}

// Not built yet: these messages are accepted and have no effect so far.

// A check, beep or poll; the main window answers it (a short body is ignored).
void TDM::HandlePoll() {
    orb::ByteReader r = BodyReader();
    TPollInfo p;
    if (!TPollInfo::Decode(r, p)) return;
    p.answerMask = int32_t(uint32_t(p.answerMask) & orb::kAnswerMaskBits);
    ReceivedPoll = std::move(p);
    Loop().Post(MainWindow(), WM_APP_POLLRECEIVED, 0, 0);
}

// An answer to a poll of this user: the results window shows every participant with the answer
// so far. An answer meant for someone else, or an option outside 1..26, changes nothing.
void TDM::HandlePollAnswer() {
    orb::ByteReader r = BodyReader();
    int32_t pollSender = 0, answer = 0;
    if (!r.i32(pollSender) || !r.i32(answer)) return;
    if (pollSender != OwnUserId) return;
    if (PollsHooks.ShowPollResults) PollsHooks.ShowPollResults();
    try {
        PollResults.AddMissingRows(Participants, OwnUserId);
        if (const orb::TParticipantRow* row = Participants.FindUser(CurrentHeader().sender))
            PollResults.SetAnswer(row->userId, row->caption, answer);
        PollResults.TallyAnswers();
    } catch (...) {
    }
    if (PollsHooks.PollResultsChanged) PollsHooks.PollResultsChanged();
}

// The server's answers to the recording commands (result code in the header).
void TDM::HandleRecording() {
    const TVCRHeader& h = CurrentHeader();
    const int result = h.result;
    if (h.kind == vkStartRecording) {
        if (result == 0) {
            ServerRecording = 1;
            RecordingStartChecked = true;
            RecordingStopChecked = false;
            Loop().Post(MainWindow(), WM_APP_RECORDINGSTATUS, 0, 0);
            if (PollsHooks.RecordingActionsChanged) PollsHooks.RecordingActionsChanged();
            return;
        }
        // 42: a recording already runs.
        if (result == 42) ServerRecording = 1;
        Loop().Post(MainWindow(), WM_APP_RECORDINGSTATUS, 1, result);
    } else if (h.kind == vkStopRecording) {
        if (result == 0) {
            ServerRecording = 0;
            Loop().Post(MainWindow(), WM_APP_RECORDINGSTATUS, 2, 0);
        } else {
            // 45: no recording runs.
            if (result == 45) ServerRecording = 0;
            Loop().Post(MainWindow(), WM_APP_RECORDINGSTATUS, 3, result);
        }
    } else {
        return;
    }
    RecordingStopChecked = true;
    RecordingStartChecked = false;
    if (PollsHooks.RecordingActionsChanged) PollsHooks.RecordingActionsChanged();
}

// The server asks which tile versions the viewer holds; answered only while a tile share exists.
void TDM::HandlePaneSnapshotRequest() {
    if (!SharingExists() || !Sharing().Tiles().Exists()) return;
    if (ShareViewerWindow)
        loop_.Post(ShareViewerWindow, WM_APP_PANESNAPSHOTREQUEST, 0, 0);
    else
        SendPaneStamps();
}

void TDM::HandlePaneCursorRequest() {
    if (!SharingExists() || !Sharing().Tiles().Exists()) return;
    if (ShareViewerWindow)
        loop_.Post(ShareViewerWindow, WM_APP_PANECURSORREQUEST, 0, 0);
    else
        SendShareCursorRequest();
}

void TDM::HandlePaneControl() { Sharing().OnTileControl(CurrentHeader(), CurrentHeader().kind == vkPaneControlOn); }

void TDM::HandleRemoteInput() {
    std::span<const uint8_t> s = CurrentMessage();
    Sharing().OnRemoteInput(CurrentHeader(), s.size() > TVCRHeader::kSize ? s.subspan(TVCRHeader::kSize)
                                                                         : std::span<const uint8_t>());
}

// The header's sender started (107) or stopped (108) publishing a camera.
void TDM::HandleWebcamState() {
    const TVCRHeader& h = CurrentHeader();
    Loop().Post(MainWindow(), WM_APP_USERVIDEO, h.sender, h.kind == vkWebcamStarted ? 1 : 0);
}

// The video server's port, and a second value that is kept and not used. A short body changes
// nothing.
void TDM::HandleVideoPort() {
    orb::ByteReader r = BodyReader();
    int32_t port = 0, reserved = 0;
    if (!r.i32(port)) return;
    VideoPort = port;
    if (r.i32(reserved)) VideoPortReserved = reserved;
}

void TDM::HandleRemoteAudioState() {
    orb::TRemoteAudioState s;
    if (!orb::TRemoteAudioState::Decode(CurrentMessage().subspan(std::min<size_t>(22, CurrentMessage().size())), s))
        return;
    const int32_t sender = CurrentHeader().sender;
    // Our own messages coming back answer nothing and command nothing.
    if (sender == OwnUserId) return;
    // An answer comes from the user it describes, for the user who asked.
    if (s.requester == OwnUserId && sender == s.target) {
        std::string name;
        if (const orb::TParticipantRow* row = Participants.FindUser(s.target)) name = row->caption;
        if (Voice.remoteAudioView) Voice.remoteAudioView->ShowRemoteState(s, name);
        return;
    }
    // A query or command comes from the moderator who asks, about us.
    if (s.target != OwnUserId || sender != s.requester || PlaybackMode) return;
    const orb::TParticipantRow* from = Participants.FindUser(sender);
    if (!from || (from->level < 1000 && from->role == orb::urParticipant)) return;
    if (s.command == orb::TRemoteAudioState::cmdReconnect) {
        // The reconnect may ask the user: it runs once this handler has returned, so the reader is
        // not held while the question is open. The answer follows the reconnect.
        Voice.forcedCodecTimer.Kill();
        Voice.forcedCodecTimer.loop = &Loop();
        Voice.forcedCodecTimer.id = Loop().SetTimer(0, [this, s] {
            Voice.forcedCodecTimer.Kill();
            ReconnectAudio();
            SendRemoteAudioState(OwnAudioState(s));
        });
        return;
    } else if (s.command == orb::TRemoteAudioState::cmdApply) {
        orb::Settings* settings = AudioSettings;
        orb::Settings fallback;
        orb::Settings& st = settings ? *settings : fallback;
        if (s.playbackDevice >= 0) st.AudioOutDeviceID = s.playbackDevice;
        if (s.captureDevice >= 0) st.AudioInDeviceID = s.captureDevice;
        orb::media::SetWaveOutVolume(st.AudioOutDeviceID, s.speakerVolume);
        orb::media::SetMicVolume(st.AudioInDeviceID, s.micVolume, orb::audio::MixerIdKind::WaveIn);
        // Sliders follow through the mixer, with their handlers detached meanwhile.
        InitVolumeControls();
        if (s.bufferCount > 0) st.InputAudioQueueSizeEx = std::min(s.bufferCount, 6);
        if (s.boost != -1 && orb::media::SetMicBoost(st.AudioInDeviceID, uint32_t(s.boost != 0)) &&
            VoiceHooks.AddChatLine)
            VoiceHooks.AddChatLine(OwnLoginInfo.FullName(), "Adjusted your microphone boost level.", 0);
    } else if (s.command != orb::TRemoteAudioState::cmdQuery) {
        return;
    }
    SendRemoteAudioState(OwnAudioState(s));
}

void TDM::HandleForcedCodec() {
    const TVCRHeader& h = CurrentHeader();
    if (h.result != 0) {
        if (h.sender == OwnUserId) Loop().Post(MainWindow(), WM_APP_AUDIOSETTINGFAILED, h.result, 0);
        return;
    }
    int32_t codec = 0;
    orb::ByteReader r = BodyReader();
    // Only the room codecs: a PCM or unknown index would leave the room without a voice.
    if (!r.i32(codec) || !orb::IsRoomCodecIndex(codec) || PlaybackMode) return;
    orb::StoreU32(RoomInfo.Raw().data() + 1355, uint32_t(codec));
    VoiceCodecIndex = codec;
    if (VoiceHooks.AddChatLine)
        VoiceHooks.AddChatLine("Audio",
                               "The moderator forced an audio setting change. Orbelo will now try to reestablish your "
                               "audio connection. ",
                               0x000080);
    Voice.forcedCodecTimer.Kill();
    Voice.forcedCodecTimer.loop = &Loop();
    Voice.forcedCodecTimer.id = Loop().SetTimer(VoiceHooks.ForcedCodecDelayMs, [this] {
        Voice.forcedCodecTimer.Kill();
        ReconnectAudio();
    });
}

void TDM::HandleMaxSpeakers() {
    int32_t count = 0;
    orb::ByteReader r = BodyReader();
    if (!r.i32(count)) return;
    // Takes effect at the next start of the voice connection.
    Speakers = std::clamp(count, 1, 5);
    orb::StoreU32(RoomInfo.Raw().data() + 1363, uint32_t(Speakers));
}
