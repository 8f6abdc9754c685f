#include "voice/voice_thread.h"

#include <algorithm>

#include "audio/init_sound.h"
#include "audio/peak_level.h"
#include "protocol/wm_app.h"
#include "voice/voice_records.h"

using namespace orb;
using namespace orb::media;

TVoiceThread::TVoiceThread(IEventLoop& loop, int codecIndex, WindowHandle mainWindow, int16_t room, int32_t userId,
                           int speakers, TVoiceAudioConfig config)
    : loop_(loop),
      mainWindow_(mainWindow),
      userId_(userId),
      room_(room),
      // The formats are kept for at most six speakers; more would only share the first player.
      speakers_(std::clamp(speakers, 0, kMaxSpeakers)),
      config_(std::move(config)) {
    audioReady_ = SetupVoiceAudio(codecIndex);
}

TVoiceThread::~TVoiceThread() {
    Stop();
    if (capture_) {
        try {
            capture_->Close();
        } catch (...) {
        }
    }
    capture_.reset();
    players_.clear();
    encoder_.reset();
    client_.Disconnect();
}

bool TVoiceThread::SetupVoiceAudio(int codecIndex) {
    // A chosen device past the end of the list (unplugged since) gives way to the default one; the
    // volume controls follow the device that is opened, not the setting.
    bool micFellBack = false, speakersFellBack = false;
    captureDevice_ = UsableDevice(true, config_.captureDevice, &micFellBack);
    playbackDevice_ = UsableDevice(false, config_.playbackDevice, &speakersFellBack);
    if (config_.initVolumeControls) config_.initVolumeControls();
    bool pastEncoder = false;
    bool ok = false;
    try {
        [&] {
            if (!BuildCodecFormat(codecIndex, codecFormat_)) return;
            auto pcm = BuildPcmFormat(codecFormat_.bitsPerSample, codecFormat_.samplesPerSec);
            if (!pcm) return;
            pcmFormat_ = *pcm;
            encoder_ = std::make_unique<TAcmLiveConverter>();
            if (!encoder_->Open(pcmFormat_, codecFormat_, true)) return;
            pastEncoder = true;
            // Capture in half-second buffers; a microphone that cannot be opened leaves the thread
            // able to hear the others.
            try {
                capture_ = std::make_unique<TACMIn>(loop_);
                capture_->SetBufferSize(pcmFormat_.avgBytesPerSec / 2);
                capture_->SetNumBuffers(2);
                capture_->OnBufferFull = [this](TACMIn&, const uint8_t* d, uint32_t n) {
                    ++micBuffers_;
                    OnMicBuffer(d, n);
                };
                if (micFellBack && config_.notice)
                    config_.notice("The chosen microphone is not available; the default microphone is used.");
                capture_->Open(pcmFormat_, captureDevice_);
            } catch (...) {
            }
            if (speakersFellBack && config_.notice)
                config_.notice("The chosen speakers are not available; the default speakers are used.");
            for (int i = 0; i < speakers_; ++i) {
                audio::WaveFormat codec;
                if (!BuildCodecFormat(codecIndex, codec)) continue;
                auto pcmOut = BuildPcmFormat(codec.bitsPerSample, codec.samplesPerSec);
                if (!pcmOut) continue;
                players_.push_back(
                    std::make_unique<TACMPlayer>(loop_, codec, *pcmOut, config_.queueSize, playbackDevice_));
            }
            InitVCRHeader(vkVoiceOut, userId_, room_, sendTemplate_);
            sendTemplate_.time = 0;
            ok = true;
        }();
    } catch (...) {
        ok = false;
    }
    if (pastEncoder) {
        if (config_.storedWavVolume >= 0) SetWaveOutVolume(playbackDevice_, uint32_t(config_.storedWavVolume));
        if (config_.storedMicVolume >= 0)
            SetMicVolume(captureDevice_, uint32_t(config_.storedMicVolume), audio::MixerIdKind::WaveIn);
        if (config_.initVolumeControls) config_.initVolumeControls();
    }
    return ok;
}

int TVoiceThread::ConnectVoice(const std::string& host, uint16_t port, int16_t room, const std::string& password,
                               int32_t userId, const Connector& connect) {
    try {
        const bool connected =
            connect ? connect(client_, host, port, kConnectTimeoutMs) : client_.Connect(host, port, kConnectTimeoutMs);
        if (!connected) return kResultUnreachable;
        TVoiceRegistration reg;
        reg.userId = userId;
        reg.password = password;
        reg.room = room;
        const auto login = reg.LoginPart();
        const auto roomBytes = reg.RoomPart();
        std::array<uint8_t, TVCRHeader::kSize> reply{};
        {
            std::lock_guard lk(writeMu_);
            if (!client_.WriteAll(login.data(), login.size()) || !client_.WriteAll(roomBytes.data(), roomBytes.size()))
                return kResultUnreachable;
        }
        client_.SetReadTimeout(kConnectTimeoutMs);
        const bool read = client_.ReadExact(reply.data(), reply.size());
        client_.SetReadTimeout(0);
        TVCRHeader h;
        if (!read || !TVCRHeader::Decode(reply, h)) return kResultUnreachable;
        if (h.result == 0 && !keepAlive_)
            keepAlive_ = loop_.SetTimer(kKeepAliveIntervalMs, [this] { SendVoiceKeepAlive(); });
        if (h.result == 0 && !micWatch_) micWatch_ = loop_.SetTimer(kMicWatchIntervalMs, [this] { WatchMicrophone(); });
        return h.result;
    } catch (...) {
        return kResultUnreachable;
    }
}

void TVoiceThread::Resume() {
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { Execute(); });
}

void TVoiceThread::Stop() {
    stopping_ = true;
    if (keepAlive_) {
        loop_.KillTimer(keepAlive_);
        keepAlive_ = 0;
    }
    if (micWatch_) {
        loop_.KillTimer(micWatch_);
        micWatch_ = 0;
    }
    // The receive thread only posts to the main thread, never waits for it: after the shutdown
    // wakes its read it always comes home.
    client_.Shutdown();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TVoiceThread::SetTransmit(bool on) {
    std::lock_guard lk(lock_);
    transmit_ = on;
}

std::vector<int32_t> TVoiceThread::PlayerSpeakers() const {
    std::vector<int32_t> ids;
    for (const auto& p : players_) ids.push_back(p->SpeakerId);
    return ids;
}

void TVoiceThread::Post(uint32_t msg, std::intptr_t w, std::intptr_t l) {
    if (mainWindow_) loop_.Post(mainWindow_, msg, w, l);
}

void TVoiceThread::Execute() {
    std::vector<uint8_t> body;
    const TVoiceRead read = [this](void* buffer, size_t count) { return client_.ReadExact(buffer, count); };
    const TVoicePlay play = [this](const TVCRHeader& h, std::span<const uint8_t> b) {
        if (muteWhileTalking_ && transmit_) return;
        try {
            PlayVoicePacket(h.sender, b.data(), uint32_t(b.size()));
        } catch (...) {
        }
    };
    while (!stopping_ && client_.Connected())
        if (!ReceiveVoiceMessage(read, codecFormat_.blockAlign, body, play)) break;
    client_.Shutdown();
    Post(WM_APP_AUDIOSTATE, 3, 0);
}

void TVoiceThread::PlayVoicePacket(int32_t sender, const uint8_t* data, uint32_t size) {
    if (players_.empty()) return;
    TACMPlayer* player = nullptr;
    for (auto& p : players_)
        if (p->SpeakerId == sender || p->SpeakerId == 0) {
            player = p.get();
            break;
        }
    // Ids are never cleared: once every player has carried a speaker, a new one takes the first.
    if (!player) player = players_.front().get();
    player->SpeakerId = sender;
    int peak = 0;
    std::vector<uint8_t> pcm;
    uint32_t produced = 0;
    if (player->Success() && player->Decoder().Convert(data, size, produced, pcm) && produced > 0) {
        if (OnDecoded) OnDecoded(sender, pcm.data(), pcm.size());
        player->Out().Play(pcm.data(), produced);
        peak = std::max(0, PeakLevel(pcm.data(), pcm.size(), player->PcmFormat().bitsPerSample
                                                                  ? player->PcmFormat().bitsPerSample
                                                                  : 16));
    }
    Post(WM_APP_SPEAKERLEVEL, peak, 0);
}

void TVoiceThread::OnMicBuffer(const uint8_t* data, uint32_t size) {
    if (!data || size == 0) return;
    try {
        const int peak = std::max(0, PeakLevel(data, size, pcmFormat_.bitsPerSample ? pcmFormat_.bitsPerSample : 16));
        const bool silent = suppress_ && threshold_ > peak;
        if (!silent && encoder_) {
            std::vector<uint8_t> encoded;
            uint32_t n = 0;
            // An encode that yields nothing (samples kept for the next block) sends nothing.
            if (encoder_->Convert(data, size, n, encoded) && n > 0 && n <= uint32_t(kMaxVoiceBody)) {
                TVCRHeader h = sendTemplate_;
                h.bodyLength = int32_t(n);
                sendBuffer_.clear();
                h.AppendTo(sendBuffer_);
                sendBuffer_.insert(sendBuffer_.end(), encoded.begin(), encoded.begin() + n);
                if (transmit_) {
                    std::lock_guard lk(writeMu_);
                    if (!client_.WriteAll(sendBuffer_.data(), sendBuffer_.size())) {
                        Post(WM_APP_AUDIOSTATE, 1, 0);
                    } else if (OnSent) {
                        OnSent(sendBuffer_.data(), sendBuffer_.size());
                    }
                }
            }
        }
        Post(WM_APP_MICLEVEL, peak, transmit_ ? 1 : 0);
    } catch (...) {
        Post(WM_APP_AUDIOSTATE, 1, 0);
    }
}

void TVoiceThread::SendVoiceKeepAlive() {
    if (!client_.Connected() || transmit_) return;
    try {
        TVCRHeader h;
        InitVCRHeader(vkKeepAlive, userId_, room_, h);
        std::array<uint8_t, TVCRHeader::kSize> raw{};
        h.Encode(raw.data());
        std::lock_guard lk(writeMu_);
        if (!client_.WriteAll(raw.data(), raw.size())) Post(WM_APP_AUDIOSTATE, 2, 0);
    } catch (...) {
        Post(WM_APP_AUDIOSTATE, 2, 0);
    }
}

void TVoiceThread::WatchMicrophone() {
    if (micTold_) return;
    bool stopped = !capture_ || !capture_->IsOpen();
    if (!stopped) {
        const uint64_t frames = capture_->FramesCaptured();
        if (micBuffers_ != micSeen_ || frames != micFramesSeen_) {
            micSeen_ = micBuffers_;
            micFramesSeen_ = frames;
            micQuietLooks_ = 0;
        } else {
            stopped = ++micQuietLooks_ >= 2;
        }
    }
    if (!stopped) return;
    micTold_ = true;
    Post(WM_APP_AUDIOSTATE, 1, 0);
}

void TVoiceThread::SetPlaybackBuffers(int count) {
    // The players are made once with the thread; each guards its own buffer count.
    const auto n = uint8_t(std::clamp(count, 2, 6));
    config_.queueSize = n;
    for (auto& p : players_) p->Out().SetNumBuffers(n);
}

std::vector<int> TVoiceThread::PlaybackBuffers() const {
    std::vector<int> counts;
    for (const auto& p : players_) counts.push_back(p->Out().NumBuffers());
    return counts;
}
