// The data module's voice routines: starting, stopping and rebuilding the voice connection, the
// main window's volume controls, and the senders of the remote audio control and room audio kinds.

#include <algorithm>

#include "audio/init_sound.h"
#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "voice/voice_records.h"
#include "voice/voice_thread.h"

using namespace orb;
using namespace orb::media;

namespace {

constexpr uint32_t kSystemGrey = 8421504;

Settings& AudioSettingsOf(Settings* s) {
    static Settings defaults;
    return s ? *s : defaults;
}

}  // namespace

int TDM::StartVoiceThread(int codecIndex, const std::string& voiceHost, int32_t room, const std::string& password,
                          int32_t userId, int32_t voicePort) {
    // There is at most one voice connection.
    StopVoiceThread();
    Settings& s = AudioSettingsOf(AudioSettings);
    std::shared_ptr<TVoiceThread> t;
    try {
        TVoiceAudioConfig config;
        config.captureDevice = s.AudioInDeviceID;
        config.playbackDevice = s.AudioOutDeviceID;
        config.queueSize = s.InputAudioQueueSizeEx;
        config.storedMicVolume = s.StoredMicVolume;
        config.storedWavVolume = s.StoredWavVolume;
        config.initVolumeControls = [this] { InitVolumeControls(); };
        config.notice = [this](const std::string& text) {
            if (VoiceHooks.AddChatLine) VoiceHooks.AddChatLine("System", text, kSystemGrey);
        };
        t = std::make_shared<TVoiceThread>(loop_, codecIndex, mainWindow_, int16_t(room), userId, Speakers, config);
        AttachProxyHandler(t->Client());
        t->SetSilenceSuppression(s.SuppressSilence);
        t->SetSilenceThreshold(s.SilenceSuppressionLevel);
        t->SetMuteSpeakersWhileTalking(s.MuteSpeakersWhileTalking);
        int result = TVoiceThread::kResultAudioFailed;
        if (t->AudioReady()) {
            if (voicePort <= 0 || voicePort > 65535)
                result = TVoiceThread::kResultUnreachable;
            else
                result = t->ConnectVoice(voiceHost, uint16_t(voicePort), int16_t(room), password, userId,
                                         [this](TTcpClient& c, const std::string& h, uint16_t p, int ms) {
                                             return ConnectClient(c, h, p, ms);
                                         });
        }
        if (result == 0) {
            Voice.thread = t;
            t->Resume();
            loop_.Post(mainWindow_, WM_APP_AUDIOSTATE, 0, 0);
        } else {
            t->Stop();
            DetachProxyHandler(t->Client());
        }
        return result;
    } catch (...) {
        if (t) {
            t->Stop();
            DetachProxyHandler(t->Client());
        }
        return TVoiceThread::kResultAudioFailed;
    }
}

int TDM::StartRoomVoice(int32_t room, int32_t userId) {
    return StartVoiceThread(VoiceCodecIndex, ServerHost, room, OwnLoginInfo.Password(), userId, VoicePort);
}

void TDM::StopVoiceThread() {
    std::shared_ptr<TVoiceThread> t = std::move(Voice.thread);
    Voice.thread.reset();
    if (!t) return;
    try {
        t->Stop();
    } catch (...) {
    }
    DetachProxyHandler(t->Client());
}

void TDM::SetVoiceTransmit(bool on) {
    if (Voice.thread) Voice.thread->SetTransmit(on);
}

int TDM::ReconnectAudio() {
    if (VoiceHooks.BusyCursor) VoiceHooks.BusyCursor(true);
    // Gives the floor up first, so nothing is sent on a connection that is going away.
    if (Room.SpeakOn) SpeakToggle();
    StopVoiceThread();
    int result = StartRoomVoice(RoomInfo.RoomNumber(), OwnUserId);
    // Voice that runs without a microphone is not restored audio: the user is asked as for any
    // audio that cannot be set up (the others are still heard meanwhile).
    if (result == 0 && Voice.thread && !Voice.thread->Capturing()) result = TVoiceThread::kResultAudioFailed;
    if (result != 0) {
        if (VoiceHooks.SendToMainWindow)
            VoiceHooks.SendToMainWindow(WM_APP_AUDIOSTATE, 4, 0);
        else
            loop_.Post(mainWindow_, WM_APP_AUDIOSTATE, 4, 0);
        auto ask = [this](const std::string& text) { return SessionHooks.AskYesNo && SessionHooks.AskYesNo(text); };
        if (result != TVoiceThread::kResultUnreachable) {
            if (ask("Orbelo is unable to restore your audio. Do you want to try to reconnect to the session?")) {
                loop_.Post(mainWindow_, WM_APP_CONNECTIONLOST, 3, 0);
                if (VoiceHooks.ReconnectSession) VoiceHooks.ReconnectSession();
            }
        } else if (Room.ConnectionState > 0) {
            if (ask("Orbelo is unable to restore your audio.\r\nYour connection to the server was lost.\r\nThis may be "
                    "because you have temporarily lost your Internet connection. \r\nDo you want to try to reconnect "
                    "to the session?")) {
                if (VoiceHooks.ReconnectSession) VoiceHooks.ReconnectSession();
            }
        } else if (SessionHooks.ShowError) {
            SessionHooks.ShowError(
                "Orbelo is unable to restore your audio.\r\nThis may be because you have temporaryly lost your "
                "Internet connection. \r\nPlease wait for a few seconds and try again. ");
        }
    } else if (VoiceHooks.AddChatLine) {
        VoiceHooks.AddChatLine("System", "The audio connection was re-established.", kSystemGrey);
    }
    if (VoiceHooks.BusyCursor) VoiceHooks.BusyCursor(false);
    return result;
}

void TDM::InitVolumeControls() {
    IVolumeView* view = Voice.volumeView;
    if (!view) return;
    Settings& s = AudioSettingsOf(AudioSettings);
    view->SetVolumeHandlersAttached(false);
    // The devices actually opened: a configured one that is gone has given way to the default.
    if (Voice.thread) {
        Voice.volumeCaptureDevice = Voice.thread->CaptureDevice();
        Voice.volumePlaybackDevice = Voice.thread->PlaybackDevice();
    } else {
        Voice.volumeCaptureDevice = UsableDevice(true, s.AudioInDeviceID);
        Voice.volumePlaybackDevice = UsableDevice(false, s.AudioOutDeviceID);
    }
    uint32_t volume = 0;
    bool micOk = false;
    if (Voice.thread && Voice.thread->CaptureHandle())
        micOk = GetMicVolume(intptr_t(Voice.thread->CaptureHandle()), volume, audio::MixerIdKind::WaveInHandle);
    else
        micOk = GetMicVolume(Voice.volumeCaptureDevice, volume, audio::MixerIdKind::WaveIn);
    view->SetMicrophoneVolume(micOk, micOk ? volume : 0);
    uint32_t boost = 0;
    const bool boostOk = micOk && GetMicBoost(Voice.volumeCaptureDevice, boost);
    view->SetMicrophoneBoost(boostOk, boostOk && boost == 1);
    uint32_t wave = 0;
    const bool waveOk = GetWaveOutVolume(Voice.volumePlaybackDevice, wave);
    view->SetSpeakerVolume(waveOk, waveOk ? wave : 0);
    view->SetVolumeHandlersAttached(true);
}

bool TDM::SendRemoteAudioState(const TRemoteAudioState& state) {
    if (!vcrClient.Connected()) return false;
    TRemoteAudioState out = state;
    // The buffer count never travels: a target changes it only through its own settings.
    out.bufferCount = -1;
    const auto body = out.Encode();
    return SendCommand(vkRemoteAudio, body.data(), body.size());
}

bool TDM::SendRemoteAudioQuery(int32_t target) {
    TRemoteAudioState q;
    q.requester = OwnUserId;
    q.target = target;
    q.command = TRemoteAudioState::cmdQuery;
    return SendRemoteAudioState(q);
}

bool TDM::SendRemoteAudioCommand(int32_t target, int32_t command, uint16_t speakerVolume, uint16_t micVolume,
                                 int32_t boost) {
    TRemoteAudioState c;
    c.requester = OwnUserId;
    c.target = target;
    c.command = command;
    c.speakerVolume = speakerVolume;
    c.micVolume = micVolume;
    c.boost = boost;
    return SendRemoteAudioState(c);
}

bool TDM::SendForcedCodec(int32_t codecIndex) {
    if (!vcrClient.Connected() || !IsRoomCodecIndex(codecIndex)) return false;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(codecIndex);
    return SendCommand(vkForcedCodec, body);
}

bool TDM::SendMaxSpeakers(int32_t count) {
    if (!vcrClient.Connected()) return false;
    std::vector<uint8_t> body;
    ByteWriter(body).i32(std::clamp(count, 1, 5));
    return SendCommand(vkMaxSpeakers, body);
}

TRemoteAudioState TDM::OwnAudioState(const TRemoteAudioState& asked) {
    Settings& s = AudioSettingsOf(AudioSettings);
    TRemoteAudioState a = asked;
    a.voiceStatus = Voice.thread && Voice.thread->Connected() ? 1 : 0;
    uint32_t v = 0;
    if (GetWaveOutVolume(s.AudioOutDeviceID, v)) {
        a.playbackDevice = s.AudioOutDeviceID;
        a.speakerVolume = uint16_t(std::min<uint32_t>(v, 0xFFFF));
    } else {
        a.playbackDevice = -1;
        a.speakerVolume = 0;
    }
    if (GetMicVolume(s.AudioInDeviceID, v, audio::MixerIdKind::WaveIn)) {
        a.captureDevice = s.AudioInDeviceID;
        a.micVolume = uint16_t(std::min<uint32_t>(v, 0xFFFF));
    } else {
        a.captureDevice = -1;
        a.micVolume = 0;
    }
    a.bufferCount = s.InputAudioQueueSizeEx;
    uint32_t boost = 0;
    a.boost = GetMicBoost(s.AudioInDeviceID, boost) ? int32_t(boost) : -1;
    return a;
}
