#pragma once
// TVoiceThread: one voice connection per stay in a room. Registers on the voice server, captures
// the microphone in half-second buffers, encodes each with the room's codec and sends it while the
// floor is held (kind 9), receives the other speakers (kind 27) on a thread of its own and plays
// each on a player of its own, and keeps the connection alive (kind 100) while not transmitting.
//
// Threads: the capture handler, the keep-alive tick, ConnectVoice and the setters run in the main
// thread and are the only writers of the socket; the receive thread is its only reader. The
// receive thread reaches the main thread only through posts, so Stop can always join it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/acm_converter.h"
#include "audio/acm_in.h"
#include "audio/acm_player.h"
#include "audio/wave_format.h"
#include "loop/event_loop.h"
#include "net/tcp_client.h"
#include "protocol/vcr_header.h"

// What the audio set-up takes from the settings.
struct TVoiceAudioConfig {
    int captureDevice = 0;
    int playbackDevice = 0;
    int queueSize = 3;           // InputAudioQueueSizeEx
    int32_t storedMicVolume = -1;  // applied when 0 or more
    int32_t storedWavVolume = -1;
    // Refreshes the main window's volume controls from the mixer (may be empty).
    std::function<void()> initVolumeControls;
    // A line for the user in the chat (a chosen device that is not there; may be empty).
    std::function<void(const std::string& text)> notice;
};

class TVoiceThread {
public:
    static constexpr int kResultUnreachable = 13;
    static constexpr int kResultAudioFailed = 35;
    static constexpr int64_t kKeepAliveIntervalMs = 60000;
    static constexpr int kConnectTimeoutMs = 20000;
    // Players (and their formats) kept at most.
    static constexpr int kMaxSpeakers = 6;
    static constexpr int kDefaultThreshold = 20;
    // How often the microphone is looked after; two looks without a buffer and without the capture
    // stream advancing mean it stopped (a stream that advances is only late).
    static constexpr int64_t kMicWatchIntervalMs = 1500;

    // Connects the client to host:port within the time-out (the data module's goes through the proxy).
    using Connector = std::function<bool(orb::TTcpClient&, const std::string& host, uint16_t port, int timeoutMs)>;

    // Sets up the audio (AudioReady tells whether it worked); not connected, not running.
    TVoiceThread(orb::IEventLoop& loop, int codecIndex, orb::WindowHandle mainWindow, int16_t room, int32_t userId,
                 int speakers, TVoiceAudioConfig config);
    // Stops and joins the receive thread first.
    ~TVoiceThread();
    TVoiceThread(const TVoiceThread&) = delete;
    TVoiceThread& operator=(const TVoiceThread&) = delete;

    bool AudioReady() const { return audioReady_; }

    // Registers: 0 accepted (the keep-alive is armed), 13 when connecting, writing or reading failed,
    // otherwise the server's result code.
    int ConnectVoice(const std::string& host, uint16_t port, int16_t room, const std::string& password, int32_t userId,
                     const Connector& connect = {});
    // Starts the receive thread (once).
    void Resume();
    // Stop flag, shutdown of the socket (a blocked read returns), then join. Idempotent.
    void Stop();

    void SetTransmit(bool on);
    bool Transmit() const { return transmit_.load(); }
    void SetSilenceSuppression(bool on) { suppress_ = on; }
    // 0..1000 peak scale (the settings give 0..20).
    void SetSilenceThreshold(int threshold) { threshold_ = threshold; }
    bool SilenceSuppression() const { return suppress_.load(); }
    int SilenceThreshold() const { return threshold_.load(); }
    void SetMuteSpeakersWhileTalking(bool on) { muteWhileTalking_ = on; }
    // Every player's number of playback buffers (the InputAudioQueueSizeEx setting, 2 to 6).
    void SetPlaybackBuffers(int count);
    std::vector<int> PlaybackBuffers() const;

    // One filled capture buffer (main thread).
    void OnMicBuffer(const uint8_t* data, uint32_t size);
    // The keep-alive tick (main thread).
    void SendVoiceKeepAlive();
    // The microphone watch (main thread): a capture that could not be opened, or that stopped
    // delivering, is told to the main window once (audio state 1).
    void WatchMicrophone();

    orb::TTcpClient& Client() { return client_; }
    bool Connected() const { return client_.Connected(); }
    bool Capturing() const { return capture_ && capture_->IsOpen(); }
    const void* CaptureHandle() const { return capture_ ? capture_->Handle() : nullptr; }
    // The devices the audio was set up on: the configured ones, or the default where a configured
    // one is past the end of its list.
    int CaptureDevice() const { return captureDevice_; }
    int PlaybackDevice() const { return playbackDevice_; }
    const orb::audio::WaveFormat& CodecFormat() const { return codecFormat_; }
    const orb::audio::WaveFormat& PcmFormat() const { return pcmFormat_; }
    size_t PlayerCount() const { return players_.size(); }
    // The speaker each player carries (0 free); read it while the receive thread is not running.
    std::vector<int32_t> PlayerSpeakers() const;

    // Every decoded block, in the receive thread, before it is played (tests and measurements).
    std::function<void(int32_t sender, const uint8_t* pcm, size_t size)> OnDecoded;
    // Every voice message written, in the main thread (measurements).
    std::function<void(const uint8_t* message, size_t size)> OnSent;

private:
    bool SetupVoiceAudio(int codecIndex);
    void Execute();
    void PlayVoicePacket(int32_t sender, const uint8_t* body, uint32_t size);
    void Post(uint32_t msg, std::intptr_t w, std::intptr_t l);

    orb::IEventLoop& loop_;
    orb::WindowHandle mainWindow_;
    int32_t userId_;
    int16_t room_;
    int speakers_;
    TVoiceAudioConfig config_;

    TVCRHeader sendTemplate_;
    std::vector<uint8_t> sendBuffer_;
    std::atomic<bool> transmit_{false};
    std::mutex lock_;      // the transmit flag's writers
    std::mutex writeMu_;   // one message on the socket at a time
    std::atomic<bool> suppress_{true};
    std::atomic<int> threshold_{kDefaultThreshold};
    std::atomic<bool> muteWhileTalking_{false};

    orb::audio::WaveFormat codecFormat_, pcmFormat_;
    std::unique_ptr<orb::media::TAcmLiveConverter> encoder_;
    std::unique_ptr<orb::media::TACMIn> capture_;
    std::vector<std::unique_ptr<orb::media::TACMPlayer>> players_;
    bool audioReady_ = false;
    int captureDevice_ = 0, playbackDevice_ = 0;

    orb::TTcpClient client_;
    orb::TimerId keepAlive_ = 0;
    orb::TimerId micWatch_ = 0;
    uint64_t micBuffers_ = 0;  // main thread
    uint64_t micSeen_ = 0;
    uint64_t micFramesSeen_ = 0;
    int micQuietLooks_ = 0;
    bool micTold_ = false;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};
