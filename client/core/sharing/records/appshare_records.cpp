#include "sharing/records/appshare_records.h"

#include "wire/text.h"

namespace orb::appshare {

bool ReadAppShareDescriptor(ByteReader& r, TAppShareDescriptor& out) {
    TAppShareDescriptor d;
    r.i32(d.shareMode);
    r.i32(d.userId);
    r.u8(d.pixelFormat);
    r.i32(d.sourceLeft);
    r.i32(d.sourceTop);
    r.i32(d.sourceWidth);
    r.i32(d.sourceHeight);
    r.i32(d.pictureWidth);
    r.i32(d.pictureHeight);
    r.f64(d.horizontalScale);
    r.f64(d.verticalScale);
    r.i32(d.unused9);
    r.i32(d.segmentsPerLine);
    r.u8(d.drawCursor);
    r.i32(d.frameInterval);
    r.shortString(TAppShareDescriptor::kNameCapacity, d.sharerName);
    r.shortString(TAppShareDescriptor::kTitleCapacity, d.title);
    if (!r.ok()) return false;
    out = std::move(d);
    return true;
}

void WriteAppShareDescriptor(ByteWriter& w, const TAppShareDescriptor& d) {
    w.i32(d.shareMode);
    w.i32(d.userId);
    w.u8(d.pixelFormat);
    w.i32(d.sourceLeft);
    w.i32(d.sourceTop);
    w.i32(d.sourceWidth);
    w.i32(d.sourceHeight);
    w.i32(d.pictureWidth);
    w.i32(d.pictureHeight);
    w.f64(d.horizontalScale);
    w.f64(d.verticalScale);
    w.i32(d.unused9);
    w.i32(d.segmentsPerLine);
    w.u8(d.drawCursor);
    w.i32(d.frameInterval);
    // Cut on a character boundary so a long name never ends in half a character.
    w.shortString(TAppShareDescriptor::kNameCapacity,
                  CutUtf8(d.sharerName, TAppShareDescriptor::kNameCapacity));
    w.shortString(TAppShareDescriptor::kTitleCapacity,
                  CutUtf8(d.title, TAppShareDescriptor::kTitleCapacity));
}

bool ReadAppShareStart(ByteReader& r, TAppShareDescriptor& d, uint8_t& shareState) {
    TAppShareDescriptor tmp;
    uint8_t state = 0;
    if (!ReadAppShareDescriptor(r, tmp) || !r.u8(state)) return false;
    d = std::move(tmp);
    shareState = state;
    return true;
}

bool ReadAppShareFrameHeader(ByteReader& r, TAppShareFrameHeader& out) {
    TAppShareFrameHeader h;
    r.i32(h.frameNumber);
    r.u8(h.keyFrame);
    r.u8(h.delta);
    r.i32(h.streamLength);
    r.i32(h.interval);
    if (!r.ok()) return false;
    out = h;
    return true;
}

void WriteAppShareFrameHeader(ByteWriter& w, const TAppShareFrameHeader& h) {
    w.i32(h.frameNumber);
    w.u8(h.keyFrame);
    w.u8(h.delta);
    w.i32(h.streamLength);
    w.i32(h.interval);
}

bool ReadAppShareFrame(std::span<const uint8_t> body, TAppShareFrameHeader& h,
                       std::span<const uint8_t>& stream) {
    ByteReader r(body);
    TAppShareFrameHeader tmp;
    if (!ReadAppShareFrameHeader(r, tmp) || tmp.streamLength < 0) return false;
    auto s = r.view(static_cast<size_t>(tmp.streamLength));
    if (!r.ok()) return false;
    h = tmp;
    stream = s;
    return true;
}

bool ReadPaneShareInfo(ByteReader& r, TPaneShareInfo& out) {
    TPaneShareInfo p;
    r.i32(p.userId);
    r.shortString(TPaneShareInfo::kNameCapacity, p.sharerName);
    r.shortString(TPaneShareInfo::kTitleCapacity, p.title);
    r.u8(p.active);
    r.i32(p.width);
    r.i32(p.height);
    r.i32(p.columns);
    r.i32(p.rows);
    r.u8(p.pixelFormat);
    r.skip(8);
    if (!r.ok()) return false;
    out = std::move(p);
    return true;
}

void WritePaneShareInfo(ByteWriter& w, const TPaneShareInfo& p) {
    w.i32(p.userId);
    w.shortString(TPaneShareInfo::kNameCapacity, CutUtf8(p.sharerName, TPaneShareInfo::kNameCapacity));
    w.shortString(TPaneShareInfo::kTitleCapacity, CutUtf8(p.title, TPaneShareInfo::kTitleCapacity));
    w.u8(p.active);
    w.i32(p.width);
    w.i32(p.height);
    w.i32(p.columns);
    w.i32(p.rows);
    w.u8(p.pixelFormat);
    w.zeros(8);
}

bool ReadPaneHeader(ByteReader& r, TPaneHeader& out) {
    TPaneHeader h;
    r.i32(h.index);
    r.i32(h.stamp);
    r.i32(h.pngLength);
    r.i32(h.reserved);
    r.i32(h.width);
    r.i32(h.height);
    r.i32(h.top);
    r.i32(h.left);
    if (!r.ok()) return false;
    out = h;
    return true;
}

void WritePaneHeader(ByteWriter& w, const TPaneHeader& h) {
    w.i32(h.index);
    w.i32(h.stamp);
    w.i32(h.pngLength);
    w.i32(h.reserved);
    w.i32(h.width);
    w.i32(h.height);
    w.i32(h.top);
    w.i32(h.left);
}

bool ReadSharePanes(std::span<const uint8_t> body, std::vector<PaneTile>& tiles) {
    ByteReader r(body);
    while (r.remaining() > 0) {
        PaneTile t;
        if (!ReadPaneHeader(r, t.header) || t.header.pngLength < 0) return false;
        t.png = r.view(static_cast<size_t>(t.header.pngLength));
        if (!r.ok()) return false;
        tiles.push_back(t);
    }
    return true;
}

void WritePaneStamps(ByteWriter& w, std::span<const int32_t> stamps) {
    for (int32_t s : stamps) w.i32(s);
}

bool ReadShareCursorHeader(ByteReader& r, TShareCursorHeader& out) {
    TShareCursorHeader h;
    r.i32(h.x);
    r.i32(h.y);
    r.i32(h.pngLength);
    r.i32(h.reserved);
    if (!r.ok()) return false;
    out = h;
    return true;
}

void WriteShareCursorHeader(ByteWriter& w, const TShareCursorHeader& h) {
    w.i32(h.x);
    w.i32(h.y);
    w.i32(h.pngLength);
    w.i32(h.reserved);
}

bool ReadShareCursor(std::span<const uint8_t> body, TShareCursorHeader& h,
                     std::span<const uint8_t>& png) {
    ByteReader r(body);
    TShareCursorHeader tmp;
    if (!ReadShareCursorHeader(r, tmp)) return false;
    std::span<const uint8_t> p;
    if (tmp.pngLength > 0) {
        p = r.view(static_cast<size_t>(tmp.pngLength));
        if (!r.ok()) return false;
    }
    h = tmp;
    png = p;
    return true;
}

bool ReadRemoteControlGrant(ByteReader& r, TRemoteControlGrant& out) {
    TRemoteControlGrant g;
    r.i32(g.userId);
    r.i32(g.on);
    if (!r.ok()) return false;
    out = g;
    return true;
}

void WriteRemoteControlGrant(ByteWriter& w, const TRemoteControlGrant& g) {
    w.i32(g.userId);
    w.i32(g.on);
}

bool ReadAppShareState(ByteReader& r, uint8_t& state) {
    uint8_t s = 0;
    if (!r.u8(s)) return false;
    if (s != kShareStateSharing && s != kShareStatePaused) {
        r.fail();
        return false;
    }
    state = s;
    return true;
}

void WriteAppShareState(ByteWriter& w, uint8_t state) { w.u8(state); }

}  // namespace orb::appshare
