// What the playback area adds to the test room server: recordings over kinds 83 and 84 (the demo
// recording under play ids 1 and 2), and the server recordings of the rooms that allow them.
#include "roomserver/extensions.h"
#include "roomserver/playback_service.h"
#include "roomserver/session_recorder.h"

#include "protocol/message_kinds.h"

namespace orb::test {

TPlaybackService::TPlaybackService(TRoomServer& server) {
    server.OnKind(vkOpenSession, [this](TRoomServer& s, TRoomConnection& c, const TVCRHeader&,
                                        std::span<const uint8_t> body) { Open(s, c, body); });
    server.OnKind(vkNextSessionRecord, [this](TRoomServer& s, TRoomConnection& c, const TVCRHeader&,
                                              std::span<const uint8_t>) { Next(s, c); });
}

void TPlaybackService::AddRecording(int32_t playId, const TRecordingWriter& recording, int cutAfter) {
    std::lock_guard<std::mutex> lock(mu_);
    recordings_[playId] = TServed{recording.Head(playId), recording.Each(), cutAfter};
}

int TPlaybackService::Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

void TPlaybackService::Open(TRoomServer& s, TRoomConnection& c, std::span<const uint8_t> body) {
    int32_t id = 0;
    if (body.size() >= 4) id = int32_t(uint32_t(body[0]) | uint32_t(body[1]) << 8 | uint32_t(body[2]) << 16 |
                                       uint32_t(body[3]) << 24);
    std::vector<uint8_t> head;
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = recordings_.find(id);
        if (it != recordings_.end()) {
            head = it->second.head;
            cursors_[c.id] = TCursor{id, 0};
        }
    }
    if (head.empty()) {
        s.Send(c.id, vkOpenSession, {}, 0, 0, kRefused);
        return;
    }
    s.Send(c.id, vkOpenSession, head);
}

void TPlaybackService::Next(TRoomServer& s, TRoomConnection& c) {
    std::vector<uint8_t> message;
    bool cut = false;
    {
        std::lock_guard<std::mutex> lock(mu_);
        ++requests_;
        auto cur = cursors_.find(c.id);
        if (cur != cursors_.end()) {
            const TServed& r = recordings_[cur->second.playId];
            const size_t n = cur->second.next;
            if (r.cutAfter >= 0 && n >= size_t(r.cutAfter) && n < r.messages.size()) {
                cut = true;
                message = r.messages[n];
                message.resize(message.size() / 2);
            } else if (n < r.messages.size()) {
                message = r.messages[n];
                cur->second.next = n + 1;
            }
        }
    }
    if (message.empty()) {
        s.Send(c.id, vkNextSessionRecord, {}, 0, 0, 1);
        return;
    }
    s.Send(c.id, vkNextSessionRecord);
    s.SendRaw(c.id, message);
    if (cut) s.CloseClient(c.id);
}

TRecordingWriter DemoRecording() {
    TRecordingWriter w;
    w.Add(vkEnterRoom, 0, RoomEntryBody(2), 7, 3);
    w.Add(vkBoardStrokes, 400, StrokesBody(1, 3, 0x0000FF), 7, 3);
    w.Add(vkTextMessage, 900, ChatBody(7, 3, u"Hello from the recording"), 7, 3);
    for (int i = 0; i < 8; ++i) {
        w.Add(vkVoiceIn, 1000 + 500 * i, VoiceBody(uint8_t(i)), 7, 3);
        if (i == 3) w.Add(vkBoardStrokes, 2600, StrokesBody(1, 2, 0x00FF00), 7, 3);
    }
    w.Add(vkTextMessage, 4600, ChatBody(7, 3, u"Goodbye"), 7, 3);
    return w;
}

namespace {

class TPlaybackExtension final : public TRoomExtension {
public:
    explicit TPlaybackExtension(TRoomExtensionContext& context)
        : service_(context.server), recorder_(context, service_, context.recordingsFolder) {
        const TRecordingWriter demo = DemoRecording();
        service_.AddRecording(1, demo);
        service_.AddRecording(2, demo, 3);
    }

private:
    TPlaybackService service_;
    TSessionRecorder recorder_;
};

}  // namespace

PRoomExtension InstallPlaybackExtension(TRoomExtensionContext& context) {
    return std::make_unique<TPlaybackExtension>(context);
}

}  // namespace orb::test
