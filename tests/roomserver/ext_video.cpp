// What the video area adds to the test room server: the video port and the reply to kind 113.
#include "roomserver/extensions.h"
#include "roomserver/video_port.h"

#include "wire/bytes.h"

namespace orb::test {

struct TVideoPort::State {
    TRoomServer* server = nullptr;
    mutable std::mutex mu;
    std::map<int32_t, TVideoPublisherState> publishers;
    uint16_t refuse = 0;
};

namespace {

constexpr int32_t kMaxBody = 1 << 20;

bool ReadMessage(TTcpClient& s, TVCRHeader& h, std::vector<uint8_t>& body) {
    uint8_t head[TVCRHeader::kSize];
    if (!s.ReadExact(head, sizeof head) || !TVCRHeader::Decode(head, h)) return false;
    if (h.bodyLength < 0 || h.bodyLength > kMaxBody) return false;
    body.resize(size_t(h.bodyLength));
    return body.empty() || s.ReadExact(body.data(), body.size());
}

bool Reply(TTcpClient& s, uint16_t kind, uint16_t result, const std::vector<uint8_t>& body = {}) {
    TVCRHeader h;
    InitVCRHeader(kind, 0, 0, h);
    h.result = result;
    h.bodyLength = int32_t(body.size());
    std::vector<uint8_t> out;
    h.AppendTo(out);
    out.insert(out.end(), body.begin(), body.end());
    return s.WriteAll(out.data(), out.size());
}

void Serve(const std::shared_ptr<TVideoPort::State>& st, TTcpClient& s) {
    TVCRHeader h;
    std::vector<uint8_t> body;
    if (!ReadMessage(s, h, body) || h.kind != vkVideoRegister || body.size() != 112) return;
    const int32_t user = int32_t(LoadU32(body.data()));
    const int16_t room = int16_t(LoadU16(body.data() + 106));
    const uint32_t mode = LoadU32(body.data() + 108);
    uint16_t refuse;
    {
        std::lock_guard lock(st->mu);
        refuse = st->refuse;
    }
    if (!Reply(s, vkVideoRegister, refuse) || refuse) return;
    int32_t watched = 0;
    bool announced = false;
    while (ReadMessage(s, h, body)) {
        if (mode == 0 && h.kind == vkVideoFormat && body.size() == 46) {
            {
                std::lock_guard lock(st->mu);
                TVideoPublisherState fresh;
                fresh.format = body;
                st->publishers[user] = fresh;
            }
            Reply(s, vkVideoFormat, 0);
            if (!announced) st->server->Broadcast(room, vkWebcamStarted, {}, user);
            announced = true;
        } else if (mode == 0 && h.kind == vkVideoFrame && body.size() >= 13 &&
                   LoadU32(body.data() + 1) == body.size() - 13) {
            std::lock_guard lock(st->mu);
            auto& p = st->publishers[user];
            p.lastFrame = body;
            ++p.frames;
            p.sequences.push_back(LoadU32(body.data() + 9));
        } else if (mode == 1 && h.kind == vkVideoView && body.size() == 4) {
            watched = int32_t(LoadU32(body.data()));
            std::vector<uint8_t> format;
            {
                std::lock_guard lock(st->mu);
                auto it = st->publishers.find(watched);
                if (it != st->publishers.end() && it->second.live) format = it->second.format;
            }
            if (format.empty()) Reply(s, vkVideoView, 47);
            else Reply(s, vkVideoView, 0, format);
        } else if (mode == 1 && h.kind == vkVideoFrameRequest) {
            std::vector<uint8_t> frame;
            bool live = false;
            {
                std::lock_guard lock(st->mu);
                auto it = st->publishers.find(watched);
                if (it != st->publishers.end()) {
                    live = it->second.live;
                    frame = it->second.lastFrame;
                }
            }
            if (!live) Reply(s, vkVideoFrameRequest, 47);
            else if (frame.empty()) Reply(s, vkVideoFrameRequest, 48);
            else Reply(s, vkVideoFrameRequest, 0, frame);
        }
    }
    if (mode == 0 && announced) {
        {
            std::lock_guard lock(st->mu);
            st->publishers[user].live = false;
        }
        st->server->Broadcast(room, vkWebcamStopped, {}, user);
    }
}

}  // namespace

TVideoPort::TVideoPort(TRoomServer& server) : state_(std::make_shared<State>()) {
    state_->server = &server;
    port_ = server.AddPort("video", [st = state_](TRoomServer&, TTcpClient& s) { Serve(st, s); });
}

TVideoPublisherState TVideoPort::Publisher(int32_t user) const {
    std::lock_guard lock(state_->mu);
    auto it = state_->publishers.find(user);
    return it == state_->publishers.end() ? TVideoPublisherState{} : it->second;
}

void TVideoPort::RefuseRegistrations(uint16_t result) {
    std::lock_guard lock(state_->mu);
    state_->refuse = result;
}

// The room service answers kind 113 with the script's port: make it this one.
TVideoExtension::TVideoExtension(TRoomExtensionContext& c) : port(c.server) {
    if (c.handshake) c.handshake->MutableScript().videoPort = port.Port();
}

std::vector<int32_t> TVideoPort::PublisherIds() const {
    std::lock_guard lock(state_->mu);
    std::vector<int32_t> ids;
    for (const auto& [id, p] : state_->publishers) ids.push_back(id);
    return ids;
}

PRoomExtension InstallVideoExtension(TRoomExtensionContext& context) {
    return std::make_unique<TVideoExtension>(context);
}

}  // namespace orb::test
