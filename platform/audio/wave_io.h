#pragma once
// Wave capture (WaveIn) and playback (WaveOut) over ALSA, in the queued-buffer style the capture and
// playback components expect: the owner queues headers, a device thread fills or plays them and
// reports each finished header through the callback (from the device thread, or from the caller's
// thread for headers returned by Reset). The callback must only hand the notice on; the header
// belongs to the owner again once it has been reported.
//
// Each device keeps one stream open from Open to Close. A sound server tears a stream down and
// makes a new one whenever it is prepared again (after running dry), losing what it still held and
// starting late: so playback keeps the device fed with silence between blocks (paced by the clock,
// since a file device takes everything at once), more of it after each time it ran dry, reports a
// block once it has been played out, and pauses the stream (keeping it) once it has had nothing to
// play for a while; capture keeps reading while the owner has no buffer queued, keeping what it read
// for the next one.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/acm.h"
#include "audio/mm_result.h"
#include "audio/wave_format.h"

typedef struct _snd_pcm snd_pcm_t;

namespace orb::audio {

constexpr uint32_t kWhdrDone = 0x01;
constexpr uint32_t kWhdrPrepared = 0x02;
constexpr uint32_t kWhdrInQueue = 0x10;

// Open flag: the caller allows a mapper in between. A playback device opened with it (or the
// mapper device, -1) takes a codec format and decodes each block to PCM through the installed
// codecs before it plays it; PCM formats always go to the device as they are.
constexpr uint32_t kWaveMapped = 0x04;

struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uintptr_t user = 0;
    uint32_t flags = 0;
    uint32_t loops = 0;
    uint32_t reserved = 0;  // the device's progress through the buffer; the owner leaves it alone
};

enum class WaveMsg { InData, OutDone };
using WaveCallback = std::function<void(WaveMsg, WaveHeader*)>;

class WaveDevice {
public:
    virtual ~WaveDevice();
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    MmResult PrepareHeader(WaveHeader* h);
    MmResult UnprepareHeader(WaveHeader* h);
    // Stops the device and hands every queued header back, marked done, in queue order.
    MmResult Reset();
    // Fails with kWaveErrStillPlaying while headers are queued.
    MmResult Close();
    // How often the stream had to be started again after running dry or over (0 on a device that
    // was kept fed).
    int Restarts() const;
    // Playback: how often the device ran dry (the thread came too late), and the lead of silence
    // it keeps now.
    int Underruns() const;
    double LowWaterMs() const;
    // Playback: the stream is paused for want of anything to play.
    bool Paused() const { return pausedNow_.load(); }
    // Frames read (capture) or written (playback) since Open: a capture stream that advances is
    // running, however late its buffers are.
    uint64_t FramesTransferred() const { return frames_.load(); }
    const WaveFormat& Format() const { return format_; }

protected:
    WaveDevice(int deviceId, const WaveFormat& fmt, WaveCallback cb, bool capture);
    static MmResult OpenPcm(bool capture, int deviceId, const WaveFormat& fmt, snd_pcm_t** pcm, size_t& periodFrames,
                            size_t& bufferFrames);
    MmResult Queue(WaveHeader* h);
    void StartThread();
    void StopThread();
    void Run();
    // The first queued header (nullptr when none), once the stream has not failed; false when the
    // device stops.
    bool NextQueued(WaveHeader*& h);
    void RunPlayback();
    void RunCapture();
    // Writes from the front header as far as the device takes it; true when all of it is written.
    bool WriteFrom(WaveHeader* h);
    // Silence up to the low-water mark (and `extraMs` beyond it) when nothing is queued.
    void FeedSilence(double extraMs = 0);
    // The stream ran dry: keep a longer lead from now on.
    void RanDry();
    // Writes frames, applying the device's volume; the frames taken, or a negative ALSA error.
    long WriteFrames(const uint8_t* src, size_t frames);
    // Frames the device still holds; a negative ALSA error when the stream broke.
    long Held();
    void Recover(long error);
    // Reports the headers whose last frame has been played.
    void ReportPlayed();
    void MapBlock(const WaveHeader* h);
    double LeadMs();

    int deviceId_;
    WaveFormat format_;
    WaveCallback cb_;
    bool capture_;
    snd_pcm_t* pcm_ = nullptr;
    size_t periodFrames_ = 0;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<WaveHeader*> queue_;
    bool stop_ = false;
    bool closed_ = false;
    bool failed_ = false;  // the device broke; nothing more is transferred until a reset
    std::thread thread_;
    std::vector<uint8_t> scratch_;
    std::vector<uint8_t> silence_;
    // What the device itself plays or records: the open format, or the PCM a mapped codec format
    // is decoded to.
    WaveFormat deviceFormat_;
    std::unique_ptr<AcmStream> mapper_;
    // The device thread's decoded copy of the header being played through the mapper.
    const WaveHeader* mappedFor_ = nullptr;
    std::vector<uint8_t> mapped_;
    size_t mappedPos_ = 0;
    // Playback, device thread only: frames written since the stream started, and when what was
    // written will have been played by the clock.
    uint64_t written_ = 0;
    std::chrono::steady_clock::time_point playedBy_{};
    size_t bufferFrames_ = 0;
    // Playback: headers written whole, waiting until the device has played their last frame (under
    // mu_; they still count as queued).
    struct Written {
        WaveHeader* header;
        uint64_t end;
    };
    std::deque<Written> writtenHeaders_;
    // Capture, device thread only: what was read while the owner had no buffer queued.
    std::deque<uint8_t> overflow_;
    std::chrono::steady_clock::time_point lastSpare_{};
    std::atomic<int> restarts_{0};
    std::atomic<int> underruns_{0};
    std::atomic<uint64_t> frames_{0};
    // Playback, device thread only: the lead kept while no block plays, whether something was
    // written since the stream last ran dry, whether the device can pause and whether it is paused.
    double lowWaterMs_ = 150;
    bool fed_ = false;
    bool canPause_ = false;
    bool paused_ = false;
    std::atomic<double> lowWater_{150};
    std::atomic<bool> pausedNow_{false};
};

class WaveIn final : public WaveDevice {
public:
    static MmResult Open(std::unique_ptr<WaveIn>& out, int deviceId, const WaveFormat& fmt, WaveCallback cb,
                         uint32_t flags = 0);
    ~WaveIn() override;
    MmResult AddBuffer(WaveHeader* h) { return Queue(h); }
    MmResult Start();
    // The device a live capture handle was opened on (for the mixer's handle identifiers).
    static bool DeviceOfHandle(const void* handle, int& deviceId);

private:
    using WaveDevice::WaveDevice;
};

class WaveOut final : public WaveDevice {
public:
    static MmResult Open(std::unique_ptr<WaveOut>& out, int deviceId, const WaveFormat& fmt, WaveCallback cb,
                         uint32_t flags = 0);
    MmResult Write(WaveHeader* h) { return Queue(h); }

private:
    using WaveDevice::WaveDevice;
};

}  // namespace orb::audio
