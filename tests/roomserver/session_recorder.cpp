#include "roomserver/session_recorder.h"

#include <filesystem>
#include <fstream>

#include "protocol/message_kinds.h"
#include "roomserver/record_bytes.h"

namespace orb::test {

namespace {

constexpr size_t kMaxRecordingBytes = 64 << 20;  // beyond it a recording keeps its start only

}  // namespace

TSessionRecorder::TSessionRecorder(TRoomExtensionContext& context, TPlaybackService& playback, std::string folder)
    : server_(context.server),
      handshake_(context.handshake),
      rooms_(context.rooms),
      log_(context.log),
      playback_(playback),
      folder_(std::move(folder)) {
    for (uint16_t kind : {vkStartRecording, vkStopRecording, vkPauseRecording})
        server_.OnKind(kind, [this](TRoomServer&, TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t>) {
            Command(c, h);
        });
    server_.OnRoomMessage(
        [this](int16_t room, const TVCRHeader& h, std::span<const uint8_t> body) { Heard(room, h, body); });
}

std::vector<TSessionRecorder::TStored> TSessionRecorder::Stored() const {
    std::lock_guard lk(mu_);
    return stored_;
}

bool TSessionRecorder::Running(int16_t room) const {
    std::lock_guard lk(mu_);
    return running_.count(room) != 0;
}

void TSessionRecorder::Say(const std::string& line) {
    if (log_) log_(line);
}

void TSessionRecorder::AddNow(TRunning& r, uint16_t kind, std::span<const uint8_t> body, int32_t sender, int16_t room,
                              uint16_t result) {
    if (r.bytes + TVCRHeader::kSize + body.size() > kMaxRecordingBytes) return;
    r.bytes += TVCRHeader::kSize + body.size();
    const auto at = std::chrono::steady_clock::now() - r.start - r.paused;
    r.writer.Add(kind, std::chrono::duration_cast<std::chrono::milliseconds>(at).count(),
                 std::vector<uint8_t>(body.begin(), body.end()), sender, room, result);
}

void TSessionRecorder::Begin(TRunning& r, TRoomConnection& c) {
    const int16_t room = c.room.load();
    std::string name;
    for (auto& [number, n] : handshake_->Script().rooms)
        if (number == room) name = n;
    // The room entry as its owner got it: the replay takes the voice codec from its room record.
    std::string validation(54, '\0');
    PutI32(validation, 25, handshake_->Script().voicePort);
    PutI32(validation, 50, handshake_->Script().fileTransferPort);
    AddNow(r, vkEnterRoom,
           Bytes(validation + handshake_->RoomRecordOf(room, name) + TRoomHandshake::AccountRecord(r.owner, room)),
           r.owner.userId, room, 0);
    std::string users(761, '\0'), rights;
    int32_t count = 0;
    for (int id : server_.Connections()) {
        auto m = server_.Connection(id);
        TAccount a;
        if (!m || m->room.load() != room || !handshake_->AccountOf(id, a)) continue;
        ++count;
        users += TRoomService::UserInfoRecord(a, 0);
        rights += TRoomService::RightsRecord(a);
    }
    PutI32(users, 0, count);
    AddNow(r, vkUserList, Bytes(users), 0, room, 0);
    AddNow(r, vkUserRights, Bytes(rights), 0, room, 0);
    for (int32_t board = 1; board <= 5; ++board) {
        const std::string items = rooms_.BoardItems(room, board);
        if (!items.empty()) AddNow(r, vkBoardContents, Bytes(items), 0, room, 0);
    }
    AddNow(r, vkCurrentBoard, Bytes(I32(rooms_.CurrentBoard(room))), 0, room, 0);
}

TSessionRecorder::TStored TSessionRecorder::Finish(int16_t room, TRunning& r) {
    TStored s;
    s.playId = nextPlayId_++;
    s.room = room;
    s.messages = r.writer.Count();
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder_, ec);
        const std::string path = (std::filesystem::path(folder_) / ("recording-" + std::to_string(s.playId) + ".ob6")).string();
        std::vector<uint8_t> bytes = r.writer.Head(s.playId);
        bytes.insert(bytes.end(), r.writer.Messages().begin(), r.writer.Messages().end());
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (file.flush()) s.path = path;
    }
    s.link = "ORB6PLAY://" + server_.Address() + "," + std::to_string(server_.Port()) + "," + r.owner.userName + "," +
             r.owner.password + "," + std::to_string(s.playId);
    playback_.AddRecording(s.playId, r.writer);
    stored_.push_back(s);
    return s;
}

void TSessionRecorder::Command(TRoomConnection& c, const TVCRHeader& h) {
    const int16_t room = c.room.load();
    TAccount account;
    const bool moderator = handshake_->AccountOf(c.id, account) && account.Moderator();
    const bool allowed = moderator && handshake_->Script().recordingRooms.count(room);
    uint16_t result = 0;
    std::string line;
    TStored done;
    {
        std::lock_guard lk(mu_);
        auto it = running_.find(room);
        const auto now = std::chrono::steady_clock::now();
        if (!allowed) {
            result = kNotAllowed;
        } else if (h.kind == vkStopRecording) {
            if (it == running_.end()) {
                result = 45;
            } else {
                if (it->second.isPaused) it->second.paused += now - it->second.pausedAt;
                done = Finish(room, it->second);
                running_.erase(it);
            }
        } else if (it != running_.end() && it->second.isPaused) {
            // Pause again, or start, goes on where the pause began.
            it->second.paused += now - it->second.pausedAt;
            it->second.isPaused = false;
            line = "resumed";
        } else if (h.kind == vkPauseRecording) {
            if (it == running_.end()) {
                result = 45;
            } else {
                it->second.isPaused = true;
                it->second.pausedAt = now;
                line = "paused";
            }
        } else if (it != running_.end()) {
            result = 42;
        } else {
            TRunning& r = running_[room];
            r.start = now;
            r.owner = account;
            Begin(r, c);
            line = "started";
        }
    }
    Say("recording kind " + std::to_string(h.kind) + " in room " + std::to_string(room) + " -> " +
        std::to_string(result) + (line.empty() ? "" : " (" + line + ")"));
    if (done.playId) {
        Say("recording " + std::to_string(done.playId) + " of room " + std::to_string(room) + ": " +
            std::to_string(done.messages) + " messages" + (done.path.empty() ? "" : ", written to " + done.path));
        Say("replay it with: scripts/run '" + done.link + "'");
    }
    server_.Send(c.id, h.kind, {}, 0, room, result);
}

void TSessionRecorder::Heard(int16_t room, const TVCRHeader& h, std::span<const uint8_t> body) {
    std::lock_guard lk(mu_);
    auto it = running_.find(room);
    if (it == running_.end() || it->second.isPaused) return;
    AddNow(it->second, h.kind, body, h.sender, room, h.result);
}

}  // namespace orb::test
