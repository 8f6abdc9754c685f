#pragma once
// The web-cam capture component: chooses one of up to ten capture drivers, opens it, reads and
// sets its video format and delivers every captured frame through OnVideoStream (on the capture
// thread). Drivers are the V4L2 devices /dev/video0..9 that capture video, named by their card
// name. The synthetic camera (a moving test picture in any of the converter table's layouts) is
// never one of them: it is used only when the user chose it in the settings or when
// ORB_SYNTHETIC_CAMERA forces it, so a machine without a camera never publishes it by accident.
//
// Pictures leave the component in the layouts of the converter table (yuv_converts.h): V4L2
// formats are mapped to them, motion-JPEG cameras are decoded to YUY2, RGB is a bottom-up 24-bit
// picture.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "video_records.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace orb::video {

struct TCaptureDriver {
    std::string name;
    std::string path;  // the device node; empty for the synthetic camera
    bool synthetic = false;
    // Synthetic camera: its first layout (a converter-table code; 0 = YUY2) at 320 x 240.
    uint32_t layout = 0;
};

inline constexpr const char* kSyntheticCameraName = "Synthetic test camera (no device)";

// The capture devices under deviceDir (video0..video9).
std::vector<TCaptureDriver> ListCaptureDrivers(const std::string& deviceDir = "/dev");
// The synthetic camera; its first layout may be named by ORB_SYNTHETIC_CAMERA (a code such as
// "I420"; any other non-empty value keeps YUY2).
TCaptureDriver SyntheticCameraDriver();
// True when ORB_SYNTHETIC_CAMERA is set (not empty): the synthetic camera is used whatever the
// settings say.
bool SyntheticCameraForced();
// What the settings' camera list offers: the devices, then the synthetic camera as a choice.
std::vector<TCaptureDriver> SelectableCaptureDrivers(const std::string& deviceDir = "/dev");
// The one driver a publisher opens: the synthetic camera when chosen or forced, else the device
// at driverIndex; none (nullopt) when there is no such device.
std::optional<TCaptureDriver> ChooseCaptureDriver(const std::vector<TCaptureDriver>& devices, int driverIndex,
                                                  bool syntheticChosen);
// The drivers' names into list (cleared first); true when at least one device exists.
bool FillCaptureDrivers(std::vector<std::string>& list);

// What the driver can do (the capture library's 44-byte capabilities, as far as V4L2 tells them).
struct TCaptureDriverCaps {
    bool captureInitialized = false;  // the driver is open
    bool hasOverlay = false;          // never here: X has no video overlay for V4L2 devices
    bool hasDlgVideoSource = false;   // the device has controls (brightness, contrast, ...)
    bool hasDlgVideoFormat = false;   // the device offers more than one format or size
    bool hasDlgVideoDisplay = false;  // never here: V4L2 has no display settings of a capture
    bool operator==(const TCaptureDriverCaps&) const = default;
};

// The capture status (the capture library's 76-byte status, as far as it applies).
struct TCaptureStatus {
    int imageWidth = 0;
    int imageHeight = 0;
    uint32_t compression = 0;  // the current layout's code
    bool liveWindow = false;   // preview on
    bool overlayWindow = false;
    bool capturingNow = false;
    uint64_t currentVideoFrame = 0;  // frames delivered since the capture started
    uint64_t videoFramesDropped = 0;  // buffers that could not be turned into a picture
};

// One control of the device, as the source dialog shows it.
struct TCaptureControl {
    enum Type { Integer, Boolean, Menu, Button };
    uint32_t id = 0;
    std::string name;
    Type type = Integer;
    int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
    std::vector<std::pair<int32_t, std::string>> menu;  // menu entries: value and name
};

// One format and size the device offers, as the format dialog shows it.
struct TCaptureFormatChoice {
    uint32_t compression = 0;  // the component's layout code
    std::string description;   // the device's name for the format
    int width = 0, height = 0;
    bool operator==(const TCaptureFormatChoice&) const = default;
};

class ECaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
#define ORB_CAPTURE_ERROR(Name, Text)                  \
    class Name : public ECaptureError {                 \
    public:                                             \
        Name() : ECaptureError(Text) {}                 \
    };
ORB_CAPTURE_ERROR(ENoDriverException, "No capture driver selected")
ORB_CAPTURE_ERROR(ENoCapWindowException, "Unable to create a capture window.")
ORB_CAPTURE_ERROR(ENotConnectException,
                  "Unable to initialize the camera. It is either not present or in use. \r\nPlease make sure your "
                  "camera is plugged in and that no other application is using it at the moment.")
ORB_CAPTURE_ERROR(ENotOpen, "Driver not Open")
ORB_CAPTURE_ERROR(EFalseFormat,
                  "Your camera does not support the current video format. Please adjust the video settings.")
ORB_CAPTURE_ERROR(ENoOverlayException, "Driver has no overlay mode")
ORB_CAPTURE_ERROR(EBufferFileError, "Could not create tmp file")
#undef ORB_CAPTURE_ERROR

// One opened capture source.
class ICaptureDevice {
public:
    virtual ~ICaptureDevice() = default;
    virtual bool Open() = 0;
    virtual TBitmapInfoHeader Format() const = 0;
    virtual bool SetFormat(const TBitmapInfoHeader& wanted) = 0;
    using FrameFn = std::function<void(const uint8_t*, size_t)>;
    virtual bool Start(FrameFn onFrame, int64_t microSecPerFrame) = 0;
    virtual void Stop() = 0;
    // One picture now (not while streaming).
    virtual bool Grab(std::vector<uint8_t>& out) = 0;
    // The device's controls and the formats and sizes it offers (empty when it has none).
    virtual std::vector<TCaptureControl> Controls() { return {}; }
    virtual bool SetControl(uint32_t, int32_t) { return false; }
    virtual std::vector<TCaptureFormatChoice> FormatChoices() { return {}; }
    // Buffers the device delivered that could not be turned into a picture.
    virtual uint64_t DroppedFrames() const { return 0; }
};
std::unique_ptr<ICaptureDevice> MakeSyntheticCamera();
std::unique_ptr<ICaptureDevice> MakeV4L2Camera(const std::string& path);

// The synthetic camera's picture number n in a layout (also used by benchmarks and tests).
std::vector<uint8_t> SyntheticPicture(const TBitmapInfoHeader& format, uint32_t n);
// Bytes of one picture of the format in the component's layouts (0 when unknown).
size_t CapturePictureBytes(const TBitmapInfoHeader& format);

// Audio of a capture to file (this client captures without a file; kept for the settings).
struct TAudioFormat {
    int channels = 1;   // mono
    int frequency = 0;  // 0 = 8000 Hz, 1 = 11025, 2 = 22050, 3 = 44100
    int bits = 8;       // 8 or 16
    int SamplesPerSecond() const;
};

struct TPreviewRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const TPreviewRect&) const = default;
};
// Where the preview goes in a control: the picture's own size when not scaled; the largest
// rectangle of the picture's proportions when scaled proportionally (full height when the control
// is wider than the picture's ratio, else full width); else the whole control. Always at (0, 0).
TPreviewRect PreviewRect(int controlWidth, int controlHeight, int pictureWidth, int pictureHeight, bool scaleToWindow,
                         bool proportional);

// A picture of the component's layouts as a top-down 32-bit picture (for previews); false when
// the format is unknown or the data too short.
bool CapturePictureToRgb(const TBitmapInfoHeader& format, std::span<const uint8_t> data, std::vector<uint32_t>& out);

// One V4L2 buffer turned into the component's layout: lines compacted from the driver's bytes per
// line, BGR24 turned bottom-up, motion JPEG decoded to YUY2.
class TV4L2Picture {
public:
    TV4L2Picture() = default;
    ~TV4L2Picture();
    TV4L2Picture(const TV4L2Picture&) = delete;
    TV4L2Picture& operator=(const TV4L2Picture&) = delete;
    // The driver's pixel format and bytes per line, and the format the component reports for it.
    void Setup(uint32_t pixelFormat, uint32_t bytesPerLine, const TBitmapInfoHeader& format);
    // False for a buffer too short for the format, or a picture that does not decode to it.
    bool Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    // The compression code the component reports for a V4L2 pixel format (0xFFFFFFFF: none).
    static uint32_t CompressionOf(uint32_t pixelFormat);

private:
    bool DecodeJpeg(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    void FreeDecoder();
    uint32_t pixel_ = 0;
    uint32_t bytesPerLine_ = 0;
    TBitmapInfoHeader format_;
    AVCodecContext* dec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* pkt_ = nullptr;
    SwsContext* sws_ = nullptr;
};

class TVideoCap {
public:
    explicit TVideoCap(std::vector<TCaptureDriver> drivers = ListCaptureDrivers());
    ~TVideoCap();
    TVideoCap(const TVideoCap&) = delete;
    TVideoCap& operator=(const TVideoCap&) = delete;

    int DriverIndex() const { return driverIndex_; }
    // Closes the driver; an index without a driver becomes -1.
    void SetDriverIndex(int index);
    std::string DriverName() const;
    void SetDriverName(const std::string& name);

    bool DriverOpen() const { return device_ != nullptr; }
    // Opening throws ENoDriverException or ENotConnectException.
    void SetDriverOpen(bool open);

    int PreviewRate() const { return previewRate_; }
    void SetPreviewRate(int rate) { previewRate_ = rate < 1 ? 1 : rate > 30 ? 30 : rate; }
    bool VideoPreview = false;
    int64_t MicroSecPerFrame() const { return microSecPerFrame_; }
    void SetMicroSecPerFrame(int64_t us) { microSecPerFrame_ = us < 33333 ? 33333 : us; }
    int FrameRate() const;
    void SetFrameRate(int rate);

    bool PreviewScaleToWindow = false;
    bool PreviewScaleProportional = false;
    // Overlay needs a driver capability no device here has: switching it on raises
    // ENoOverlayException.
    bool VideoOverlay() const { return false; }
    void SetVideoOverlay(bool on);
    // Capture-to-file settings, kept and clamped; this client streams without a file.
    std::string VideoFileName = "Video.avi";
    std::string SingleImageFile = "Capture.bmp";
    bool CapToFile = true;
    int CapIndexSize() const { return capIndexSize_; }
    void SetCapIndexSize(int size) { capIndexSize_ = size <= 0 ? 0 : size < 1800 ? 1800 : size > 324000 ? 324000 : size; }
    int BufferFileSize = 0;
    int CapTimeLimit = 0;
    bool CapAudio = false;
    TAudioFormat CapAudioFormat;

    // Throw ENotOpen while closed; setting throws EFalseFormat when the driver refuses.
    TBitmapInfoHeader VideoFormatHeader() const;
    void SetVideoFormat(const TBitmapInfoHeader& format);

    // Streaming capture without a file: every frame goes to OnVideoStream on the capture thread.
    void StartCapture();
    void StopCapture();
    bool Capturing() const { return capturing_; }
    // One frame through OnVideoStream in the calling thread (not while capturing).
    bool GrabFrame();

    // What the driver can do, and the capture's status (both read fresh from the open driver;
    // ENotOpen while closed).
    TCaptureDriverCaps GetDriverCaps() const;
    TCaptureStatus Status() const;
    // The source dialog's controls and the format dialog's choices (ENotOpen while closed).
    std::vector<TCaptureControl> Controls() const;
    bool SetControl(uint32_t id, int32_t value);
    std::vector<TCaptureFormatChoice> FormatChoices() const;

    std::function<void(const uint8_t* data, size_t size)> OnVideoStream;
    std::function<void(const std::string&)> OnStatus;

private:
    std::vector<TCaptureDriver> drivers_;
    int driverIndex_ = -1;
    int previewRate_ = 30;
    int64_t microSecPerFrame_ = 66667;
    int capIndexSize_ = 0;
    std::unique_ptr<ICaptureDevice> device_;
    bool capturing_ = false;
    std::atomic<uint64_t> frames_{0};
    // The synthetic camera keeps its format across closing and opening, as a device would.
    TBitmapInfoHeader syntheticFormat_;
};

}  // namespace orb::video
