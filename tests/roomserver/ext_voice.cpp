// What the voice area adds to the test room server.
#include "roomserver/ext_voice.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "wire/bytes.h"

namespace orb::test {

namespace {
constexpr int kMaxBody = 64 * 1024;
constexpr int32_t kRoomSpeakers = 4;  // what the handshake's room records offer
}  // namespace

struct TVoiceExtension::TState {
    TRoomServer* server = nullptr;
    std::shared_ptr<TRoomHandshake> handshake;
    std::function<void(const std::string&)> log;
    uint16_t port = 0;

    struct Member {
        int32_t user = 0;
        int16_t room = 0;
        TTcpClient* socket = nullptr;
        std::shared_ptr<std::mutex> writeMu = std::make_shared<std::mutex>();
    };
    mutable std::mutex mu;
    mutable std::condition_variable changed;
    uint16_t refusal = 0;
    std::vector<Member> members;
    std::map<int16_t, std::set<int32_t>> floor;
    std::map<int32_t, int> registrations, keepAlives, voiceMessages;
    std::map<int32_t, std::string> extraAccounts;

    void Say(const std::string& line) {
        if (log) log(line);
    }
    void Bump(std::map<int32_t, int>& counter, int32_t user) {
        std::lock_guard lk(mu);
        ++counter[user];
        changed.notify_all();
    }
    int Get(const std::map<int32_t, int>& counter, int32_t user) const {
        std::lock_guard lk(mu);
        auto it = counter.find(user);
        return it == counter.end() ? 0 : it->second;
    }

    // The password of a signed-in account with that id (false: no such login).
    bool AccountPassword(int32_t user, std::string& password) const {
        {
            std::lock_guard lk(mu);
            if (auto it = extraAccounts.find(user); it != extraAccounts.end()) {
                password = it->second;
                return true;
            }
        }
        if (!handshake) return false;
        for (int id : server->Connections()) {
            TAccount a;
            if (handshake->AccountOf(id, a) && a.userId == user) {
                password = a.password;
                return true;
            }
        }
        return false;
    }

    static bool Reply(TTcpClient& s, std::mutex& wmu, uint16_t result) {
        TVCRHeader h;
        h.result = result;
        std::array<uint8_t, TVCRHeader::kSize> raw{};
        h.Encode(raw.data());
        std::lock_guard lk(wmu);
        return s.WriteAll(raw.data(), raw.size());
    }

    void Serve(TTcpClient& s) {
        std::array<uint8_t, 108> reg{};
        s.SetReadTimeout(10000);
        if (!s.ReadExact(reg.data(), reg.size())) return;
        s.SetReadTimeout(0);
        const int32_t user = int32_t(LoadU32(reg.data()));
        const size_t len = std::min<size_t>(reg[4], 50);
        const std::string password(reinterpret_cast<const char*>(reg.data() + 5), len);
        const int16_t room = int16_t(LoadU16(reg.data() + 106));
        Member m{user, room, &s};
        uint16_t result = 0;
        std::string expected;
        {
            std::lock_guard lk(mu);
            result = refusal;
        }
        if (result == 0 && (!AccountPassword(user, expected) || expected != password)) result = 1;
        // A member from before its answer: whoever hears the answer finds it registered.
        if (result == 0) {
            std::lock_guard lk(mu);
            members.push_back(m);
            ++registrations[user];
            changed.notify_all();
        }
        Reply(s, *m.writeMu, result);
        Say("voice registration of user " + std::to_string(user) + " for room " + std::to_string(room) + ": " +
            std::to_string(result));
        if (result != 0) return;
        Loop(s, m);
        {
            std::lock_guard lk(mu);
            members.erase(std::remove_if(members.begin(), members.end(),
                                         [&](const Member& x) { return x.socket == &s; }),
                          members.end());
            changed.notify_all();
        }
        Say("voice connection of user " + std::to_string(user) + " ended");
    }

    void Loop(TTcpClient& s, const Member& m) {
        std::array<uint8_t, TVCRHeader::kSize> raw{};
        std::vector<uint8_t> body;
        while (s.ReadExact(raw.data(), raw.size())) {
            TVCRHeader h;
            TVCRHeader::Decode(raw, h);
            if (h.bodyLength < 0 || h.bodyLength > kMaxBody) return;
            body.resize(size_t(h.bodyLength));
            if (!body.empty() && !s.ReadExact(body.data(), body.size())) return;
            if (h.kind == vkKeepAlive) {
                Bump(keepAlives, m.user);
            } else if (h.kind == vkVoiceOut) {
                Bump(voiceMessages, m.user);
                Relay(m, body);
            }
        }
    }

    void Relay(const Member& from, const std::vector<uint8_t>& body) {
        std::vector<Member> to;
        {
            std::lock_guard lk(mu);
            if (!floor[from.room].count(from.user)) return;
            for (const Member& x : members)
                if (x.room == from.room && x.user != from.user) to.push_back(x);
        }
        TVCRHeader h;
        InitVCRHeader(vkVoiceIn, from.user, from.room, h);
        h.bodyLength = int32_t(body.size());
        // What the room hears (a recording keeps it), also when nobody else is listening.
        server->TellRoom(from.room, h, body);
        const auto message = BuildPacketStream(h, body.data(), body.size());
        for (const Member& x : to) {
            std::lock_guard lk(*x.writeMu);
            x.socket->WriteAll(message.data(), message.size());
        }
    }
};

TVoiceExtension::TVoiceExtension(TRoomExtensionContext& context) : state_(std::make_shared<TState>()) {
    state_->server = &context.server;
    state_->handshake = context.handshake;
    state_->log = context.log;
    std::shared_ptr<TState> st = state_;
    state_->port = context.server.AddPort("voice", [st](TRoomServer&, TTcpClient& s) { st->Serve(s); });
    if (context.handshake && state_->port) context.handshake->MutableScript().voicePort = state_->port;

    // The floor: granted while the room has fewer holders than speakers; told to the whole room.
    context.server.OnKind(vkTakeMicrophone, [st](TRoomServer& server, TRoomConnection& c, const TVCRHeader& h,
                                                 std::span<const uint8_t>) {
        const int16_t room = c.room.load();
        const int32_t user = c.userId.load() ? c.userId.load() : h.sender;
        {
            std::lock_guard lk(st->mu);
            auto& holders = st->floor[room];
            if (!holders.count(user) && int32_t(holders.size()) >= kRoomSpeakers) return;
            holders.insert(user);
            st->changed.notify_all();
        }
        server.Broadcast(room, vkTakeMicrophone, {}, user);
    });
    context.server.OnKind(vkReleaseMicrophone, [st](TRoomServer& server, TRoomConnection& c, const TVCRHeader& h,
                                                    std::span<const uint8_t>) {
        const int16_t room = c.room.load();
        const int32_t user = c.userId.load() ? c.userId.load() : h.sender;
        {
            std::lock_guard lk(st->mu);
            st->floor[room].erase(user);
            st->changed.notify_all();
        }
        server.Broadcast(room, vkReleaseMicrophone, {}, user);
    });
    // Room-wide audio settings come from moderators and reach everybody, their sender included.
    for (uint16_t kind : {uint16_t(vkForcedCodec), uint16_t(vkMaxSpeakers)}) {
        context.server.OnKind(kind, [st, kind](TRoomServer& server, TRoomConnection& c, const TVCRHeader& h,
                                               std::span<const uint8_t> body) {
            TAccount a;
            if (!st->handshake || !st->handshake->AccountOf(c.id, a) || !a.Moderator()) {
                server.Send(c.id, kind, {}, h.sender, c.room.load(), 1);
                return;
            }
            server.Broadcast(c.room.load(), kind, body, h.sender);
        });
    }
}

TVoiceExtension::~TVoiceExtension() = default;

uint16_t TVoiceExtension::Port() const { return state_->port; }

void TVoiceExtension::SetRefusal(uint16_t code) {
    std::lock_guard lk(state_->mu);
    state_->refusal = code;
}

int TVoiceExtension::Registrations(int32_t user) const { return state_->Get(state_->registrations, user); }
int TVoiceExtension::KeepAlives(int32_t user) const { return state_->Get(state_->keepAlives, user); }
int TVoiceExtension::VoiceMessages(int32_t user) const { return state_->Get(state_->voiceMessages, user); }

void TVoiceExtension::DropVoice(int32_t user) {
    std::lock_guard lk(state_->mu);
    for (auto& m : state_->members)
        if (m.user == user) m.socket->Shutdown();
}

void TVoiceExtension::AddAccount(int32_t user, const std::string& password) {
    std::lock_guard lk(state_->mu);
    state_->extraAccounts[user] = password;
}

void TVoiceExtension::GrantFloor(int16_t room, int32_t user) {
    std::lock_guard lk(state_->mu);
    state_->floor[room].insert(user);
}

bool TVoiceExtension::Connected(int32_t user) const {
    std::lock_guard lk(state_->mu);
    for (auto& m : state_->members)
        if (m.user == user) return true;
    return false;
}

bool TVoiceExtension::HoldsFloor(int32_t user) const {
    std::lock_guard lk(state_->mu);
    for (auto& [room, holders] : state_->floor)
        if (holders.count(user)) return true;
    return false;
}

bool TVoiceExtension::WaitUntil(const std::function<bool()>& pred, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

PRoomExtension InstallVoiceExtension(TRoomExtensionContext& context) {
    return std::make_unique<TVoiceExtension>(context);
}

}  // namespace orb::test
