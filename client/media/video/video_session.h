#pragma once
// What one video window does, without widgets: publish the own camera (capture, convert,
// compress, queue, send) or view another attendee's camera (ask, poll on a timer, decode, show).
// The window is the view; timers run on the event loop, so the whole start-up, the polling and
// the closing run on a fake clock in tests.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "loop/event_loop.h"
#include "video_buffer.h"
#include "video_cap.h"
#include "video_codec.h"
#include "video_records.h"
#include "video_thread.h"

namespace orb::video {

struct TVideoSettings {
    int driverIndex = 0;                          // DefaultVideoCaptureDriver
    bool syntheticCamera = false;                 // SyntheticVideoCamera: the user chose the test picture
    uint32_t compressor = kFourccWMV3;            // DefaultVideoCompressor
    int frameRate = 5;                            // VideoFrameRate
    int bytesPerSecond = 7168;                    // VideoBPS
};

struct TVideoEnvironment {
    IEventLoop* loop = nullptr;
    std::string host;
    uint16_t port = 0;
    std::function<bool(TTcpClient&, const std::string&, uint16_t, int)> connect;
    std::function<void(TTcpClient&)> release;
    TVideoSettings settings;
    // The capture devices (unset: the machine's, ListCaptureDrivers()); the synthetic camera is
    // added only by the settings' choice or ORB_SYNTHETIC_CAMERA.
    std::function<std::vector<TCaptureDriver>()> drivers;
    std::function<void(bool)> setPublishing;  // the data module's publishing flag
    std::function<void()> openVideoSettings;  // the settings dialog on its video page
    std::function<void()> addToList;          // into the data module's video-window list
};

class IVideoView {
public:
    virtual ~IVideoView() = default;
    virtual void ShowInfo(const std::string& text) = 0;  // lbInfo, repainted at once
    virtual void ShowMessagePanel() = 0;
    virtual void ShowPicturePanel() = 0;
    virtual void ShowCameraPanel() = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual void ShowPicture(const TPicture& picture) = 0;
    virtual void ShowBufferingLabel(const std::string& text, bool visible) = 0;  // Label4
    virtual void SetOptionsIsStop() = 0;  // "Options" becomes "Stop"
    virtual void CloseWindow() = 0;       // closes later, never inside this call
};

// Texts of the window.
namespace texts {
inline constexpr const char* kInitCamera = "Initializing the video camera.";
inline constexpr const char* kCheckingFormat = "Checking video format.";
inline constexpr const char* kUpdatingFormat = "Updating video format.";
inline constexpr const char* kWmv9Missing = "The Windows Media Video 9 \r\ncodec is not installed.";
inline constexpr const char* kInitCompressor = "Initializing the video compressor...";
inline constexpr const char* kCommunicating = "Communicating with server...";
inline constexpr const char* kUpdatingCompression = "Updating compression info...";
inline constexpr const char* kInitTransmission = "Initializing transmission...";
inline constexpr const char* kNoServer = "Unable to connect to video server.";
inline constexpr const char* kViewInit = "Initializing the camera.";
inline constexpr const char* kViewCommunicating = "Communicating with the server...";
inline constexpr const char* kGettingInfo = "Getting video information...";
inline constexpr const char* kViewNoServer = "Unable to connect to video server.\r\nPlease try again in a few seconds.";
inline constexpr const char* kNotAvailable = "Video is not available.\r\nNo video stream from this user.";
inline constexpr const char* kFailed = "Video failed.\r\nReason:";
inline constexpr const char* kCompressorFailed = "Video compressor failed. \r\nPlease try again.";
inline constexpr const char* kStopped = "Video stopped!";
inline constexpr const char* kBuffering = "Buffering....";
}  // namespace texts

class TVideoSession {
public:
    static constexpr int64_t kCloseDelayMs = 2500;
    static constexpr int kPublishWidth = 160;
    static constexpr int kPublishHeight = 120;
    static constexpr int kPublishKeyInterval = 2;
    static constexpr int kQuality = 1000;

    TVideoSession(TVideoEnvironment env, IVideoView& view);
    ~TVideoSession();
    TVideoSession(const TVideoSession&) = delete;
    TVideoSession& operator=(const TVideoSession&) = delete;

    // Set by the creator before starting.
    int32_t UserId = 0;
    TLoginRequest Registration;
    int16_t Room = 0;

    void StartPublishing();
    void StartViewing();
    // Stops timers, capture, codec and connection (each step on its own); safe to call twice.
    void FormClose();

    int Mode() const { return mode_; }
    const TBitmapInfoHeader& InputFormat() const { return input_; }
    const TBitmapInfoHeader& OutputFormat() const { return output_; }
    bool ReadTimerRunning() const { return tmrRead != 0; }
    bool CloseTimerRunning() const { return tmrClose != 0; }
    int64_t ReadIntervalMs() const { return readInterval_; }
    int CameraReconfigurations() const { return reconfigurations_; }
    uint64_t FramesShown() const { return framesShown_; }
    std::vector<uint8_t> LastCompressedFrame() const;
    TVideoCap* Cap() { return cap_.get(); }
    TVideoThread* Thread() { return thread_.get(); }
    TVideoCoDec* Codec() { return codec_.get(); }

    // The camera's frame event (capture thread).
    void VidCapVideoStream(const uint8_t* data, size_t size);
    // WM_APP_VIDEOFORMAT / WM_APP_VIDEOFRAME and the preview, as they reach the window.
    void HandleMessage(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);
    // A kind 112 reply (main thread).
    void VideoFrameReceived(int result, const TVideoFrameRec& rec, std::span<const uint8_t> data);

private:
    void VideoFormatReceived(int result);
    void StartCloseTimer();
    void StopReadTimer();
    // The viewer's frame poll, one request per tick.
    void tmrReadTimer();
    // Closes the window once, a while after the last notice.
    void tmrCloseTimer();
    void Fail(const std::string& text);
    void ShowPreview();
    TVideoConnectionParams ConnectionParams(uint32_t mode);

    TVideoEnvironment env_;
    IVideoView& view_;
    WindowHandle handle_ = 0;
    int mode_ = -1;
    int converterId_ = 0;
    int fps_ = 5;
    int keyInterval_ = kPublishKeyInterval;
    int frameCounter_ = 0;
    int reconfigurations_ = 0;
    TBitmapInfoHeader camera_;
    TBitmapInfoHeader input_;
    TBitmapInfoHeader output_;
    std::unique_ptr<TVideoCap> cap_;
    std::unique_ptr<TVideoCoDec> codec_;
    std::unique_ptr<TeVideoBuffer> buffer_;
    std::unique_ptr<TVideoThread> thread_;
    TimerId tmrRead = 0;
    TimerId tmrClose = 0;
    int64_t readInterval_ = 0;
    uint64_t framesShown_ = 0;
    bool publishing_ = false;
    bool closed_ = false;

    // Camera thread to main thread: the last picture for the preview.
    mutable std::mutex previewMu_;
    TPicture preview_;
    bool previewPending_ = false;
    std::vector<uint8_t> lastCompressed_;
    std::vector<uint32_t> scratch_;  // camera thread only
};

}  // namespace orb::video
