// What the polls area adds to the test room server: poll answers go to the poll's sender only,
// and breakout rooms are kept with their members: created (133), listed (134), their members
// (135), entered (75), moves by moderators (137) and the notice of every move to moderators (136).
#include <map>
#include <mutex>
#include <set>

#include "protocol/message_kinds.h"
#include "roomserver/extensions.h"
#include "roomserver/record_bytes.h"
#include "wire/bytes.h"

namespace orb::test {

namespace {

constexpr int32_t kFirstBreakoutRoom = 2001;
constexpr size_t kMaxBreakoutRooms = 50;

int32_t BodyI32At(std::span<const uint8_t> body, size_t offset) {
    ByteReader r(body);
    int32_t v = 0;
    if (!r.skip(offset) || !r.i32(v)) return 0;
    return v;
}

std::string RoomRecord(int32_t number, const std::string& name) {
    std::string r(1430, '\0');
    PutI32(r, 0, number);
    PutShort(r, 4, 255, name);
    r[1354] = 1;
    PutI32(r, 1355, 2);
    PutI32(r, 1363, 4);
    return r;
}

class TPollsExtension final : public TRoomExtension {
public:
    explicit TPollsExtension(TRoomExtensionContext& ctx) : server_(ctx.server), handshake_(ctx.handshake), log_(ctx.log) {
        auto on = [this](uint16_t kind, void (TPollsExtension::*fn)(TRoomConnection&, const TVCRHeader&,
                                                                    std::span<const uint8_t>)) {
            server_.OnKind(kind, [this, fn](TRoomServer&, TRoomConnection& c, const TVCRHeader& h,
                                            std::span<const uint8_t> body) { (this->*fn)(c, h, body); });
        };
        on(vkPollAnswer, &TPollsExtension::PollAnswer);
        on(vkCreateBreakoutRoom, &TPollsExtension::CreateRoom);
        on(vkBreakoutRoomList, &TPollsExtension::RoomList);
        on(vkBreakoutMembers, &TPollsExtension::Members);
        on(vkMoveToRoom, &TPollsExtension::Move);
        on(vkEnterRoom, &TPollsExtension::Enter);
        on(vkBreakoutAllowed, &TPollsExtension::Allowed);
    }

private:
    void Say(const std::string& line) {
        if (log_) log_(line);
    }
    bool Moderator(const TRoomConnection& c) const {
        TAccount a;
        return handshake_->AccountOf(c.id, a) && a.Moderator();
    }
    // Connections of a signed-in user.
    std::vector<int> ConnectionsOf(int32_t user) const {
        std::vector<int> out;
        for (int id : server_.Connections())
            if (auto c = server_.Connection(id); c && c->userId.load() == user) out.push_back(id);
        return out;
    }

    void PollAnswer(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        const int32_t pollSender = BodyI32At(body, 0);
        for (int id : ConnectionsOf(pollSender)) server_.Send(id, vkPollAnswer, body, c.userId.load(), h.room);
    }

    void CreateRoom(TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t> body) {
        if (!Moderator(c)) return;
        ByteReader r(body);
        std::string name;
        r.shortString(199, name);
        {
            std::lock_guard lk(mu_);
            if (rooms_.size() >= kMaxBreakoutRooms) return;
            if (mainRoom_ == 0) mainRoom_ = c.room.load();
            const int32_t id = kFirstBreakoutRoom + int32_t(rooms_.size());
            rooms_[id] = name.empty() ? "Breakout Room " + std::to_string(rooms_.size() + 1) : name;
        }
        server_.Send(c.id, vkCreateBreakoutRoom, {}, 0, c.room.load());
    }

    void RoomList(TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        std::string body;
        {
            std::lock_guard lk(mu_);
            if (mainRoom_ != 0)
                for (auto& [number, name] : handshake_->Script().rooms)
                    if (number == mainRoom_) body += RoomRecord(number, name);
            for (auto& [id, name] : rooms_) body += RoomRecord(id, name);
        }
        server_.Send(c.id, vkBreakoutRoomList, Bytes(body), 0, c.room.load());
    }

    void Members(TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t> body) {
        const int32_t room = BodyI32At(body, 0);
        std::string reply = I32(room);
        for (int id : server_.Connections()) {
            auto m = server_.Connection(id);
            TAccount a;
            if (m && m->room.load() == room && room != 0 && handshake_->AccountOf(id, a))
                reply += TRoomHandshake::AccountRecord(a, int16_t(room));
        }
        server_.Send(c.id, vkBreakoutMembers, Bytes(reply), 0, c.room.load());
    }

    // Only moderators move people; the moved user's client enters the room itself.
    void Move(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        if (!Moderator(c) || body.size() < 8) return;
        for (int id : ConnectionsOf(BodyI32At(body, 0))) server_.Send(id, vkMoveToRoom, body, c.userId.load(), h.room);
    }

    void Enter(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        const int32_t target = BodyI32At(body, 0);
        const int16_t previous = c.room.load();
        bool breakout = false;
        std::string name;
        {
            std::lock_guard lk(mu_);
            if (auto it = rooms_.find(target); it != rooms_.end()) breakout = true, name = it->second;
        }
        if (!breakout) {
            handshake_->EnterRoom(server_, c, h, body);
        } else {
            TAccount account;
            if (h.room != int16_t(target) || !handshake_->AccountOf(c.id, account)) {
                server_.Send(c.id, vkEnterRoom, {}, 0, 0, 18);
                return;
            }
            std::string validation(54, '\0');
            PutI32(validation, 25, handshake_->Script().voicePort);
            PutI32(validation, 50, handshake_->Script().fileTransferPort);
            c.room.store(int16_t(target));
            server_.Send(c.id, vkEnterRoom,
                         Bytes(validation + RoomRecord(target, name) + TRoomHandshake::AccountRecord(account, int16_t(target))));
            // The room left hears the leave and the breakout room the join, as for any room.
            handshake_->Entered(server_, c, previous);
        }
        const int16_t now = c.room.load();
        if (now == previous || previous == 0) return;
        // Moderators see every move between rooms.
        std::string moved = I32(previous) + I32(now);
        for (int id : server_.Connections()) {
            auto m = server_.Connection(id);
            if (m && id != c.id && Moderator(*m)) server_.Send(id, vkBreakoutUserMoved, Bytes(moved), c.userId.load(), m->room.load());
        }
    }

    void Allowed(TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        server_.Send(c.id, vkBreakoutAllowed, Bytes(std::string(1, Moderator(c) ? '\1' : '\0')), 0, c.room.load());
    }

    TRoomServer& server_;
    std::shared_ptr<TRoomHandshake> handshake_;
    std::function<void(const std::string&)> log_;
    std::mutex mu_;
    std::map<int32_t, std::string> rooms_;
    int16_t mainRoom_ = 0;
};

}  // namespace

PRoomExtension InstallPollsExtension(TRoomExtensionContext& context) { return std::make_unique<TPollsExtension>(context); }

}  // namespace orb::test
