#pragma once
// One application share of the segment-stream scheme from start to stop, on both sides, plus the
// viewer side of the tile scheme and the hand-over of remote control.
//
// Sharer: every tick of the frame timer only takes the screen and hands the plain picture to an
// encoder thread, which reduces it to the share's pixel format, XORs it with the last picture that
// was sent and compresses it, one frame at a time and in frame order; so the room window keeps
// turning while a large key frame is made. The frame is queued when its encoding is done, and only
// then does its picture become the one the next difference is taken against. Every
// KeyFrameIntervalMs a whole key frame goes out, so viewers who came late or lost a frame recover.
// Viewer: frames apply in order from a key frame on; after a gap or a refused frame nothing
// applies until the next key frame.
// Remote input is replayed only while this client shares (not paused), only from the user the
// sharer last granted control, and only with the flags a viewer builds.
//
// Everything here runs on the main thread except the encoder, which owns only its job.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sharing/codec/segment_codec.h"
#include "sharing/records/appshare_records.h"
#include "loop/event_loop.h"
#include "protocol/records.h"
#include "protocol/vcr_header.h"
#include "sharing/remote_input.h"
#include "sharing/share_geometry.h"
#include "sharing/tile_share.h"

namespace orb::sharing {

using appshare::ShareBitmap;
using appshare::TAppShareDescriptor;
using appshare::TPaneShareInfo;

// Participant-row share states.
enum : int { kRowNoShare = 0, kRowSharing = 1, kRowRemoteControl = 2 };

// The sharer's screen.
class IShareScreen {
public:
    virtual ~IShareScreen() = default;
    virtual TRect ScreenRect() = 0;
    virtual bool WindowExists(uint32_t window) = 0;
    // One capture by the descriptor's mode into `target`, 0x00RRGGBB at the descriptor's picture
    // size (the encoder reduces it to the pixel format); false when the screen could not be read.
    virtual bool Capture(const TAppShareDescriptor& d, uint32_t window, bool captureTranslucent, bool showBorder,
                         TRgbPicture& target) = 0;
};

// What the windows do for a share. Every call has an empty default.
class ISharingView {
public:
    virtual ~ISharingView() = default;
    virtual void ShowError(const std::string& /*text*/) {}
    // Viewer of a segment share.
    virtual void OpenShareViewer(const TAppShareDescriptor& /*d*/, const std::string& /*caption*/) {}
    virtual void PictureChanged(const ShareBitmap& /*picture*/, const TRect& /*dirty*/) {}
    virtual void SetViewCaption(const std::string& /*caption*/) {}
    virtual void CloseViewer() {}
    // This viewer holds remote control (forwards its input) or not any more.
    virtual void RemoteControl(bool /*on*/) {}
    // Sharer: the main window hides and the control bar shows; and back.
    virtual void SharerStarted(const TAppShareDescriptor& /*d*/) {}
    virtual void SharerStopping() {}
    virtual void SharerStopped() {}
    virtual void PauseChanged(bool /*paused*/) {}
    // The share icon of a participant row (kRowNoShare, kRowSharing, kRowRemoteControl).
    virtual void SetShareState(int32_t /*user*/, int /*state*/) {}
    // Viewer of a tile share.
    virtual void ShowPaneViewer(const TPaneShareInfo& /*info*/, const TRgbPicture& /*picture*/,
                                const std::string& /*caption*/) {}
    virtual void TilePictureChanged(const TRgbPicture& /*picture*/, const TRect& /*dirty*/) {}
    virtual void TileCursorChanged(const TRect& /*rect*/, const TRgbPicture& /*image*/) {}
    virtual void CloseTileViewer() {}
};

// What the session needs of the room connection.
struct TShareTransport {
    std::function<bool(uint16_t kind, std::span<const uint8_t> body)> Send;
    std::function<bool()> Connected;
    std::function<int64_t()> QueuedBytes;
    std::function<int64_t()> SendLimit;
    std::function<void(uint16_t kind)> DropQueuedKind;
    std::function<int32_t()> OwnUserId;
    std::function<bool()> PlaybackMode;
    // Bytes per second the send queue writes (unset or 0: not known).
    std::function<int64_t()> SendRate;
};

// "<name>\t sharing " (cut to 209 characters together) followed by the title, and " (PAUSED)".
std::string ShareCaption(const std::string& name, const std::string& title, bool paused);
// The tile scheme's caption: "<name> sharing <title>".
std::string TileShareCaption(const std::string& name, const std::string& title);
// The part of the screen the picture stands for: the source rectangle for the desktop (stretched
// into the picture); the whole picture for an area or a window (copied at their screen position).
TRect PictureSourceRect(const TAppShareDescriptor& d);
// A descriptor a viewer or sharer can run: known format and mode, picture within bounds, segments
// per line in range. The frame interval is brought into 250..2000.
bool AcceptDescriptor(TAppShareDescriptor& d);

class TShareSession {
public:
    static constexpr int64_t kDefaultKeyFrameIntervalMs = 10000;
    // Key frames take at most this share of the link: on a slow link they come less often.
    static constexpr int64_t kKeyFrameLinkShare = 5;

    TShareSession(IEventLoop& loop, TShareTransport transport);
    ~TShareSession();
    TShareSession(const TShareSession&) = delete;
    TShareSession& operator=(const TShareSession&) = delete;

    ISharingView* View = nullptr;
    IShareScreen* Screen = nullptr;
    IInputInjector* Injector = nullptr;
    int64_t KeyFrameIntervalMs = kDefaultKeyFrameIntervalMs;

    // ---- State
    uint8_t State() const { return state_; }
    bool Running() const { return state_ != appshare::kShareStateNone; }
    bool OwnShare() const { return Running() && sharer_; }
    const TAppShareDescriptor& Descriptor() const { return descriptor_; }
    int32_t Controller() const { return controller_; }
    bool Controlling() const { return controlling_; }
    int32_t FrameCounter() const { return frameCounter_; }
    int32_t LastAppliedFrame() const { return lastApplied_; }
    bool WaitingForKeyFrame() const { return waitingForKey_; }
    const ShareBitmap& ViewerPicture() const { return decoder_.Picture(); }
    // The last picture that was queued (with the encoder, so empty, while a frame is made).
    const ShareBitmap& PreviousPicture() const { return previous_; }
    bool EncodeInFlight() const { return encoding_; }
    // Called on the encoder thread before each of its steps of a frame ("reduce", "xor",
    // "encode") with the frame's capture serial; for tests that prove where the work runs.
    std::function<void(const char* step, uint64_t frame)> EncoderStep;
    const TAppShareObject& Tiles() const { return tiles_; }
    bool TileControl() const { return tileControl_; }
    int TimerId() const { return tmrAppShareFrame; }
    // The time after a key frame when the next one is due.
    int64_t KeyFrameDueAfterMs() const;
    // The share icon of every participant row that has one (user id to kRowSharing or
    // kRowRemoteControl).
    const std::map<int32_t, int>& RowStates() const { return rows_; }
    // Both the Show-border box of the settings and the capture-translucent box.
    bool ShowBorder = false;
    bool CaptureTranslucent = false;

    // ---- Senders
    bool SendStart(const TAppShareDescriptor& d, uint32_t window = 0);  // 141
    // Closes the participants window, stops the timer, drops queued frames, queues 142.
    bool SendStop();
    // Pause and resume of the own share (149); false when not sharing.
    bool TogglePause();
    // 145: give (on) or take control; applied here at once as well, the server's echo changes
    // nothing more.
    bool GrantControl(int32_t user, bool on);
    // 147, only while this viewer holds control of a segment or tile share.
    bool SendRemoteInput(const TRemoteInputEvent& e);
    // 91 with one stamp per tile, and 93: only while a tile share exists.
    bool SendPaneStamps();
    bool SendShareCursorRequest();

    // ---- The frame timer's step.
    void SendAppShareFrame();

    // ---- Handlers (the header of the message and its body)
    void OnStart(const TVCRHeader& h, std::span<const uint8_t> body);   // 141
    void OnStop(const TVCRHeader& h);                                     // 142
    void OnFrame(const TVCRHeader& h, std::span<const uint8_t> body);   // 144
    void OnState(const TVCRHeader& h, std::span<const uint8_t> body);   // 149
    void OnRemoteControl(const TVCRHeader& h, std::span<const uint8_t> body);  // 145
    // 147 and 105: true when replayed.
    bool OnRemoteInput(const TVCRHeader& h, std::span<const uint8_t> body);
    void OnTileStarted(const TVCRHeader& h, std::span<const uint8_t> body);     // 86
    void OnTileDescriptor(const TVCRHeader& h, std::span<const uint8_t> body);  // 95
    void OnTileStopped();                                                    // 87
    void OnTilePanes(const TVCRHeader& h, std::span<const uint8_t> body);       // 91
    void OnTileCursor(const TVCRHeader& h, std::span<const uint8_t> body);      // 93
    void OnTileControl(const TVCRHeader& h, bool on);                        // 103, 104

    // Ends a share on this client without a message (connection lost).
    void StopLocally();

private:
    struct Encoder;
    struct EncodeResult;

    int32_t Own() const { return transport_.OwnUserId ? transport_.OwnUserId() : 0; }
    bool Playback() const { return transport_.PlaybackMode && transport_.PlaybackMode(); }
    bool Connected() const { return transport_.Connected && transport_.Connected(); }
    bool Send(uint16_t kind, std::span<const uint8_t> body);
    bool FromSharer(const TVCRHeader& h) const;
    void EndShare();
    void StartTimer();
    void StopTimer();
    // The frame timer's handler: one SendAppShareFrame, whatever it throws swallowed.
    void tmrAppShareFrameTimer();
    void EncodeDone();
    void WarmUp();
    void ApplyGrant(int32_t user, bool on);
    void SetControlling(bool on);
    void OpenTiles(const TPaneShareInfo& info);
    void SetRow(int32_t user, int state);

    IEventLoop& loop_;
    TShareTransport transport_;
    WindowHandle self_ = 0;

    // The share.
    TAppShareDescriptor descriptor_;
    uint8_t state_ = appshare::kShareStateNone;
    bool sharer_ = false;
    uint32_t window_ = 0;          // window mode: the window to capture
    uint32_t pendingWindow_ = 0;   // as sent with 141, taken when it comes back
    // This client asked to share: only then does a kind 141 naming the own user start capturing,
    // so no message can make it send its screen unasked.
    bool startRequested_ = false;
    uint64_t serial_ = 0;          // one per share; encodings of an older one are dropped
    bool stopSent_ = false;

    // Sharer.
    int tmrAppShareFrame = 0;
    int32_t frameCounter_ = 0;
    int64_t lastFrameTime_ = 0;
    int64_t lastKeyTime_ = 0;
    size_t lastKeyBytes_ = 0;
    // The last picture that was queued, in the share's format; with the encoder while a frame is
    // being made.
    ShareBitmap previous_;
    TRgbPicture capture_;    // the screen as the tick took it
    ShareBitmap current_;    // spare pictures the encoder reuses
    ShareBitmap delta_;
    uint64_t captures_ = 0;
    bool encoding_ = false;
    std::unique_ptr<Encoder> encoder_;

    // Viewer.
    appshare::SegmentDecoder decoder_;
    int32_t lastApplied_ = 0;
    bool waitingForKey_ = true;

    // Remote control.
    int32_t controller_ = 0;
    bool granted_ = false;
    bool controlling_ = false;

    std::map<int32_t, int> rows_;

    // Tile scheme.
    TAppShareObject tiles_;
    bool tileControl_ = false;
};

}  // namespace orb::sharing
