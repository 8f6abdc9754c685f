#include "roomserver/room_service.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "protocol/message_kinds.h"
#include "roomserver/record_bytes.h"
#include "wire/bytes.h"

namespace orb::test {

namespace {

// Names from clients end up in a log line: control bytes are not printed as they came.
std::string Printable(const std::string& s) {
    std::string out;
    for (char ch : s) {
        auto u = static_cast<unsigned char>(ch);
        out += u < 0x20 || u == 0x7f ? '?' : ch;
    }
    return out;
}

std::string Who(const TAccount& a) { return "user " + Printable(a.userName) + " (" + std::to_string(a.userId) + ")"; }

}  // namespace

TRoomService::TRoomService(TRoomServer& server, std::shared_ptr<TRoomHandshake> handshake, Log log)
    : server_(server), handshake_(std::move(handshake)), log_(std::move(log)) {
    Install();
}

TRoomService::~TRoomService() { server_.Stop(); }

std::string TRoomService::UserInfoRecord(const TAccount& a, int32_t timeZoneBias) {
    std::string r(761, '\0');
    PutI32(r, 0, a.userId);
    std::string first = a.fullName.substr(0, a.fullName.find(' '));
    PutShort(r, 4, 20, first);
    PutShort(r, 25, 128, a.fullName);
    std::string mail;
    for (char ch : first) mail += char(std::tolower(static_cast<unsigned char>(ch)));
    PutShort(r, 154, 128, mail + "@example.com");
    PutShort(r, 283, 54, "Test Lane 1");
    PutI32(r, 338, a.level);
    PutShort(r, 354, 100, a.Moderator() ? "Teacher" : "Student");
    PutShort(r, 455, 128, "Test Lane 1, Test Town");
    PutShort(r, 584, 112, "English");
    PutF64(r, 697, a.loginTime);
    PutI32(r, 705, timeZoneBias);
    r[709] = 0;  // online
    return r;
}

std::string TRoomService::RightsRecord(const TAccount& a) {
    // Moderators may speak, use a camera and write on the boards; participants start with nothing.
    std::string r(15, '\0');
    PutI32(r, 0, a.userId);
    r[5] = char(a.Moderator() ? 2 : 0);
    r[6] = char(a.Moderator() ? 2 : 0);
    r[7] = char(a.Moderator() ? 1 : 0);
    return r;
}

std::vector<std::pair<int, TAccount>> TRoomService::Accounts(int16_t room) const {
    std::vector<std::pair<int, TAccount>> out;
    for (int id : server_.Connections()) {
        auto c = server_.Connection(id);
        TAccount a;
        if (c && c->room.load() == room && handshake_->AccountOf(id, a)) out.emplace_back(id, a);
    }
    return out;
}

std::vector<int32_t> TRoomService::Members(int16_t room) const {
    std::vector<int32_t> ids;
    for (auto& [id, a] : Accounts(room)) ids.push_back(a.userId);
    return ids;
}

int32_t TRoomService::CurrentBoard(int16_t room) const {
    std::lock_guard lk(mu_);
    auto it = rooms_.find(room);
    return it == rooms_.end() ? 1 : it->second.board;
}

std::string TRoomService::BoardItems(int16_t room, int32_t board) const {
    std::lock_guard lk(mu_);
    auto r = rooms_.find(room);
    if (r == rooms_.end()) return {};
    auto b = r->second.boards.find(board);
    return b == r->second.boards.end() ? std::string() : b->second;
}

int32_t TRoomService::TimeZoneBias(int connection) const {
    std::lock_guard lk(mu_);
    auto it = timeZones_.find(connection);
    return it == timeZones_.end() ? 0 : it->second;
}

void TRoomService::Reply(TRoomConnection& c, uint16_t kind, const std::string& body) {
    server_.Send(c.id, kind, {reinterpret_cast<const uint8_t*>(body.data()), body.size()}, 0, c.room.load());
}

void TRoomService::Say(const std::string& line) {
    if (log_) log_(line);
}

void TRoomService::Entered(TRoomConnection& c, int16_t previous) {
    TAccount a;
    if (!handshake_->AccountOf(c.id, a)) return;
    int16_t room = c.room.load();
    Say("enter #" + std::to_string(c.id) + ": " + Who(a) + " room " + std::to_string(room));
    if (previous == room) return;
    if (previous != 0) Left(c, previous, a);
    std::string body = UserInfoRecord(a, TimeZoneBias(c.id)) + RightsRecord(a);
    server_.Broadcast(room, vkUserJoinedEx, {reinterpret_cast<const uint8_t*>(body.data()), body.size()}, a.userId,
                      c.id);
}

void TRoomService::Left(TRoomConnection& c, int16_t room, const TAccount& a) {
    server_.Broadcast(room, vkUserLeft, {}, a.userId, c.id);
}

void TRoomService::Disconnected(TRoomConnection& c) {
    TAccount a;
    bool known = handshake_->AccountOf(c.id, a);
    Say("disconnect #" + std::to_string(c.id) + (known ? ": " + Who(a) : std::string()));
    if (known && c.room.load() != 0) Left(c, c.room.load(), a);
    std::lock_guard lk(mu_);
    timeZones_.erase(c.id);
}

void TRoomService::Install() {
    server_.OnAccept([this](TRoomServer&, TRoomConnection& c) {
        Say("connect #" + std::to_string(c.id) + " from " + c.peer);
    });
    handshake_->OnLogin([this](TRoomServer&, TRoomConnection& c, const TAccount& a) {
        Say("login #" + std::to_string(c.id) + ": " + Who(a) + " level " + std::to_string(a.level));
    });
    handshake_->OnEnter([this](TRoomServer&, TRoomConnection& c, int16_t previous) { Entered(c, previous); });
    server_.OnDisconnect([this](TRoomServer&, TRoomConnection& c) { Disconnected(c); });
    server_.OnOtherKinds([](TRoomServer& s, TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        s.Relay(c, h, body);
    });

    auto on = [this](uint16_t kind, std::function<void(TRoomConnection&, const TVCRHeader&, std::span<const uint8_t>)> fn) {
        server_.OnKind(kind, [fn = std::move(fn)](TRoomServer&, TRoomConnection& c, const TVCRHeader& h,
                                                  std::span<const uint8_t> body) { fn(c, h, body); });
    };
    auto state = [this](TRoomConnection& c) -> TRoomState& { return rooms_[c.room.load()]; };

    // The user list: a 761-byte block whose first int32 is the count, then one record per member.
    on(vkUserList, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        auto members = Accounts(c.room.load());
        std::string body(761, '\0');
        PutI32(body, 0, int32_t(members.size()));
        for (auto& [id, a] : members) body += UserInfoRecord(a, TimeZoneBias(id));
        Reply(c, vkUserList, body);
    });
    on(vkUserRights, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        std::string body;
        for (auto& [id, a] : Accounts(c.room.load())) body += RightsRecord(a);
        Reply(c, vkUserRights, body);
    });
    // What is drawn on a shared board is kept as the items of the whole-board reply: each one the
    // message's header and its body (the board number, then the drawing).
    for (uint16_t kind : {vkBoardStrokes, vkBoardImage, vkBoardText})
        on(kind, [this, state](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
            int32_t board = BodyI32(body, 0);
            if (board >= 1 && board <= 5) {
                TVCRHeader item = h;
                item.bodyLength = int32_t(body.size());
                std::vector<uint8_t> bytes = BuildPacketStream(item, body.data(), body.size());
                std::lock_guard lk(mu_);
                std::string& kept = state(c).boards[board];
                if (kept.size() + bytes.size() <= kMaxBoardBytes) kept.append(bytes.begin(), bytes.end());
            }
            server_.Relay(c, h, body);
        });
    // A slide or library picture covers its whole board: it stands for everything drawn before it
    // there, so a newcomer is shown the current slide and what was drawn on it since.
    server_.OnRoomMessage([this](int16_t room, const TVCRHeader& h, std::span<const uint8_t> body) {
        if ((h.kind != vkSlideToBoard && h.kind != vkLibraryImageToBoard) || h.result != 0) return;
        const int32_t board = BodyI32(body, 0);
        if (board < 1 || board > 5 || body.size() > kMaxBoardBytes) return;
        TVCRHeader item = h;
        item.bodyLength = int32_t(body.size());
        std::vector<uint8_t> bytes = BuildPacketStream(item, body.data(), body.size());
        std::lock_guard lk(mu_);
        rooms_[room].boards[board].assign(bytes.begin(), bytes.end());
    });
    on(vkClearBoard, [this, state](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        {
            std::lock_guard lk(mu_);
            state(c).boards.erase(BodyI32(body, 0));
        }
        server_.Relay(c, h, body);
    });
    on(vkBoardContents, [this, state](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t> body) {
        std::string items;
        {
            std::lock_guard lk(mu_);
            auto& boards = state(c).boards;
            auto it = boards.find(BodyI32(body, 0));
            if (it != boards.end()) items = it->second;
        }
        Reply(c, vkBoardContents, items);
    });
    // A client reports its board after entering; the answer is the board the room is on.
    on(vkCurrentBoard, [this, state](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        int32_t board;
        {
            std::lock_guard lk(mu_);
            board = state(c).board;
        }
        Reply(c, vkCurrentBoard, I32(board));
    });
    on(vkSelectBoard, [this, state](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        int32_t board = BodyI32(body, 0);
        if (board >= 1 && board <= 5) {
            std::lock_guard lk(mu_);
            state(c).board = board;
        }
        server_.Relay(c, h, body);
    });
    // No pushed web page, and the whiteboard view.
    on(vkWebPage, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Reply(c, vkWebPage, std::string(251, '\0'));
    });
    on(vkViewModeQuery, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Reply(c, vkViewModeQuery, I32(0));
    });
    // Accepted, and of no interest to the other members.
    for (uint16_t kind : {vkKind148, vkHeartBeat, vkBandwidth})
        on(kind, [](TRoomConnection&, const TVCRHeader&, std::span<const uint8_t>) {});
    // Room-wide switches that a member sets (relayed to the others) and a newcomer asks for.
    auto stored = [&](uint16_t query, uint16_t set, int32_t TRoomState::*field) {
        on(query, [this, state, query, field](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
            int32_t value;
            {
                std::lock_guard lk(mu_);
                value = state(c).*field;
            }
            Reply(c, query, I32(value));
        });
        on(set, [this, state, field](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
            {
                std::lock_guard lk(mu_);
                state(c).*field = BodyI32(body, state(c).*field);
            }
            server_.Relay(c, h, body);
        });
    };
    stored(vkChatPermissionQuery, vkChatPermission, &TRoomState::chatPermission);
    stored(vkNotesSwitchQuery, vkNotesSwitch, &TRoomState::notesSwitch);
    // Breakout rooms are not offered by this server.
    on(vkBreakoutAllowed, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Reply(c, vkBreakoutAllowed, std::string(1, '\0'));
    });
    // Room type 0 and no web site for user pictures.
    on(vkRoomProfile, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Reply(c, vkRoomProfile, std::string(604, '\0'));
    });
    on(vkVideoPort, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Reply(c, vkVideoPort, I32(handshake_->Script().videoPort) + I32(0));
    });
    on(vkTimeZone, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t> body) {
        ByteReader r(body);
        int32_t bias = 0;
        if (!r.i32(bias)) return;
        std::lock_guard lk(mu_);
        timeZones_[c.id] = bias;
    });
}

}  // namespace orb::test
