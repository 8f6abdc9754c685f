#include "video_thread.h"

#include "protocol/message_kinds.h"
#include "protocol/wm_app.h"
#include "wire/bytes.h"

namespace orb::video {

TVideoThread::TVideoThread(TVideoConnectionParams params) : p_(std::move(params)) {}

TVideoThread::~TVideoThread() { Stop(); }

bool TVideoThread::WriteMessage(uint16_t kind, std::span<const uint8_t> body, std::span<const uint8_t> extra) {
    TVCRHeader h;
    InitVCRHeader(kind, p_.registration.userId, p_.room, h);
    h.bodyLength = int32_t(body.size() + extra.size());
    uint8_t head[TVCRHeader::kSize];
    h.Encode(head);
    std::lock_guard lock(writeMu_);
    return client_.WriteAll(head, sizeof head) && (body.empty() || client_.WriteAll(body.data(), body.size())) &&
           (extra.empty() || client_.WriteAll(extra.data(), extra.size()));
}

// Reads one reply header (and drops a bounded body); its result code, or 33.
int TVideoThread::ReadReplyResult() {
    client_.SetReadTimeout(kReplyTimeoutMs);
    uint8_t head[TVCRHeader::kSize];
    TVCRHeader h;
    int result = kVideoExchangeFailed;
    if (client_.ReadExact(head, sizeof head) && TVCRHeader::Decode(head, h) && h.bodyLength >= 0 &&
        h.bodyLength <= kMaxVideoBody) {
        std::vector<uint8_t> body(size_t(h.bodyLength));
        if (body.empty() || client_.ReadExact(body.data(), body.size())) result = h.result;
    }
    client_.SetReadTimeout(0);
    if (result == kVideoExchangeFailed) client_.Shutdown();
    return result;
}

int TVideoThread::RegisterVideo() {
    if (!client_.Connected()) {
        bool ok = p_.connect ? p_.connect(client_, p_.host, p_.port, kConnectTimeoutMs)
                             : client_.Connect(p_.host, p_.port, kConnectTimeoutMs);
        if (!ok) return kVideoNoConnection;
    }
    std::vector<uint8_t> body = EncodeVideoRegistration(p_.registration, p_.room, p_.mode);
    if (!WriteMessage(vkVideoRegister, body)) return kVideoExchangeFailed;
    return ReadReplyResult();
}

int TVideoThread::SendVideoFormat() {
    auto rec = Format.Encode();
    if (!WriteMessage(vkVideoFormat, rec)) return kVideoExchangeFailed;
    return ReadReplyResult();
}

int TVideoThread::RequestVideo() {
    uint8_t body[4];
    StoreU32(body, uint32_t(p_.viewUser));
    WriteMessage(vkVideoView, body);
    return 0;
}

int TVideoThread::PollVideoFrame() {
    if (client_.Connected()) WriteMessage(vkVideoFrameRequest, {});
    return 0;
}

TVideoFormatRec TVideoThread::ReceivedFormat() const {
    std::lock_guard lock(formatMu_);
    return received_;
}

void TVideoThread::Resume() {
    if (reader_.joinable() || stopped_) return;
    reader_ = std::thread([this] { ReadLoop(); });
    if (p_.mode == kVideoPublish && p_.buffer) writer_ = TVideoWriter([this] { WriteLoop(); });
}

void TVideoThread::ReadLoop() {
    std::vector<uint8_t> body;
    while (!stop_ && client_.Connected()) {
        uint8_t head[TVCRHeader::kSize];
        TVCRHeader h;
        if (!client_.ReadExact(head, sizeof head) || !TVCRHeader::Decode(head, h)) break;
        if (h.bodyLength < 0 || h.bodyLength > kMaxVideoBody) break;
        body.resize(size_t(h.bodyLength));
        if (!body.empty() && !client_.ReadExact(body.data(), body.size())) break;
        if (h.kind == vkVideoView) {
            if (h.result == 0) {
                TVideoFormatRec rec;
                if (!TVideoFormatRec::Decode(body, rec)) break;
                std::lock_guard lock(formatMu_);
                received_ = rec;
            }
            p_.loop->Post(p_.window, WM_APP_VIDEOFORMAT, h.result, 0);
        } else if (h.kind == vkVideoFrameRequest) {
            TVideoFrameRec rec;
            std::span<const uint8_t> data;
            if (h.result == 0 && !ParseFrameBody(body, rec, data)) break;
            int result = h.result;
            p_.loop->InvokeSync([&] { if (OnFrame) OnFrame(result, rec, data); }, &stop_);
        }
    }
    client_.Shutdown();
    if (p_.buffer) p_.buffer->Wake();
    p_.loop->Post(p_.window, WM_APP_VIDEOFRAME, kVideoLoopEnded, 0);
}

void TVideoThread::WriteLoop() {
    while (!stop_) {
        if (!client_.Connected()) break;
        PVideoFrame f = p_.buffer->TakeWait(50);
        if (!f) continue;
        f->rec.size = uint32_t(f->data.size());
        auto rec = f->rec.Encode();
        std::vector<uint8_t> body(rec.begin(), rec.end());
        // A failed write drops this frame; the loop ends once the connection is gone.
        WriteMessage(vkVideoFrame, body, f->data);
    }
}

void TVideoThread::Stop() {
    if (stopped_) return;
    stopped_ = true;
    stop_ = true;
    client_.Shutdown();
    if (p_.buffer) p_.buffer->Wake();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
    client_.Disconnect();
    if (p_.release) p_.release(client_);
}

}  // namespace orb::video
