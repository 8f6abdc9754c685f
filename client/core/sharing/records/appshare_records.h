#pragma once
// Records carried after the message header by the two application-sharing schemes: the
// segment-stream share this client sends and views (kinds 141, 142, 144, 145, 149) and the tile
// share it only views (kinds 86, 87, 91, 93, 95). Packed, little-endian, fixed size.
//
// Every Read* takes the bytes of an untrusted body: it fails (and leaves the reader failed) when the
// record does not fit; values are range-checked by the code that uses them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "wire/bytes.h"

namespace orb::appshare {

// Pixel format ordinals of the descriptor, the tile share and the segment stream.
enum : uint8_t {
    kPixelFormat4 = 2,  // reserved, never offered
    kPixelFormat8 = 3,
    kPixelFormat16 = 5,
    kPixelFormat24 = 6,
};

enum : int32_t {
    kShareModeDesktop = 0,
    kShareModeArea = 1,
    kShareModeWindow = 2,
};

enum : uint8_t {
    kShareStateNone = 0,
    kShareStateSharing = 1,
    kShareStatePaused = 2,
};

constexpr int32_t kDefaultSegmentsPerLine = 5;

// Body of kind 141: what is shared, how and by whom.
struct TAppShareDescriptor {
    static constexpr size_t kSize = 519;
    static constexpr size_t kNameCapacity = 200;
    static constexpr size_t kTitleCapacity = 255;

    int32_t shareMode = kShareModeDesktop;
    int32_t userId = 0;
    uint8_t pixelFormat = kPixelFormat8;
    int32_t sourceLeft = 0;
    int32_t sourceTop = 0;
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    double horizontalScale = 1.0;  // written as 1.0, never interpreted
    double verticalScale = 1.0;
    int32_t unused9 = 9;  // written as 9, no reader
    int32_t segmentsPerLine = kDefaultSegmentsPerLine;
    uint8_t drawCursor = 0;
    int32_t frameInterval = 1000;  // milliseconds, 250..2000
    std::string sharerName;        // UTF-8, at most 200 bytes on the wire
    std::string title;             // at most 255 bytes on the wire
};

bool ReadAppShareDescriptor(ByteReader& r, TAppShareDescriptor& d);
void WriteAppShareDescriptor(ByteWriter& w, const TAppShareDescriptor& d);

// Kind 141 as the server relays it: the descriptor and one byte of share state.
bool ReadAppShareStart(ByteReader& r, TAppShareDescriptor& d, uint8_t& shareState);

// Head of kind 144; the compressed segment stream follows.
struct TAppShareFrameHeader {
    static constexpr size_t kSize = 14;

    int32_t frameNumber = 0;
    uint8_t keyFrame = 0;
    uint8_t delta = 0;
    int32_t streamLength = 0;
    int32_t interval = 0;  // milliseconds since the previous frame was sent
};

bool ReadAppShareFrameHeader(ByteReader& r, TAppShareFrameHeader& h);
void WriteAppShareFrameHeader(ByteWriter& w, const TAppShareFrameHeader& h);

// Kind 144 body split into its header and stream. Fails when the stream length is negative or
// larger than what the body holds; bytes after the stream are ignored.
bool ReadAppShareFrame(std::span<const uint8_t> body, TAppShareFrameHeader& h,
                       std::span<const uint8_t>& stream);

// Body of kinds 86 and 95: the tile grid of a tile share.
struct TPaneShareInfo {
    static constexpr size_t kSize = 487;
    static constexpr size_t kNameCapacity = 200;
    static constexpr size_t kTitleCapacity = 255;

    int32_t userId = 0;
    std::string sharerName;  // UTF-8
    std::string title;
    uint8_t active = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    uint8_t pixelFormat = kPixelFormat24;
};

bool ReadPaneShareInfo(ByteReader& r, TPaneShareInfo& p);
void WritePaneShareInfo(ByteWriter& w, const TPaneShareInfo& p);

// Head of one tile picture in a server-sent kind 91.
struct TPaneHeader {
    static constexpr size_t kSize = 32;

    int32_t index = 0;  // column x rows + row
    int32_t stamp = 0;
    int32_t pngLength = 0;  // 0: no picture follows
    int32_t reserved = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t top = 0;
    int32_t left = 0;
};

bool ReadPaneHeader(ByteReader& r, TPaneHeader& h);
void WritePaneHeader(ByteWriter& w, const TPaneHeader& h);

// One tile of a server-sent kind 91: its header and a view of its PNG bytes inside the body.
struct PaneTile {
    TPaneHeader header;
    std::span<const uint8_t> png;
};

// Splits a kind 91 body into tiles. Fails on a cut header, a negative PNG length or one that passes
// the end of the body; tiles read before the fault are kept in `tiles`.
bool ReadSharePanes(std::span<const uint8_t> body, std::vector<PaneTile>& tiles);

// A viewer's kind 91: one stamp per tile in tile-index order.
void WritePaneStamps(ByteWriter& w, std::span<const int32_t> stamps);

// Head of the server's kind 93; a PNG of a 32 x 32 cursor follows.
struct TShareCursorHeader {
    static constexpr size_t kSize = 16;

    int32_t x = 0;  // top-left of the cursor picture, picture pixels
    int32_t y = 0;
    int32_t pngLength = 0;  // below 1: no cursor picture
    int32_t reserved = 0;
};

bool ReadShareCursorHeader(ByteReader& r, TShareCursorHeader& h);
void WriteShareCursorHeader(ByteWriter& w, const TShareCursorHeader& h);

// Kind 93 body split into its head and the cursor PNG (empty when the length is below 1). Fails when
// the PNG length passes the end of the body.
bool ReadShareCursor(std::span<const uint8_t> body, TShareCursorHeader& h,
                     std::span<const uint8_t>& png);

// Body of kind 145: the attendee given (on = 1) or relieved of (on = 0) remote control.
struct TRemoteControlGrant {
    static constexpr size_t kSize = 8;

    int32_t userId = 0;
    int32_t on = 0;
};

bool ReadRemoteControlGrant(ByteReader& r, TRemoteControlGrant& g);
void WriteRemoteControlGrant(ByteWriter& w, const TRemoteControlGrant& g);

// Body of kind 149: one state byte, 1 sharing or 2 paused. Other values fail.
bool ReadAppShareState(ByteReader& r, uint8_t& state);
void WriteAppShareState(ByteWriter& w, uint8_t state);

}  // namespace orb::appshare
