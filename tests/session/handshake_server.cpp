#include "handshake_server.h"

#include <chrono>
#include <cstring>

#include "wire_bytes.h"

namespace orbtest {

namespace {

std::string Account(const HandshakeScript& s, int16_t room, const std::string& password) {
    std::string a(1119, '\0');
    PutLE(a, 0, uint32_t(s.userId), 4);
    PutLE(a, 4, uint16_t(room), 2);
    PutShort(a, 29, 128, s.fullName);
    PutLE(a, 647, uint32_t(s.level), 4);
    PutShort(a, 663, 50, password);
    PutShort(a, 1036, 31, "server-token");
    PutShort(a, 1068, 50, "ana");
    return a;
}

std::string Room(int32_t number, const std::string& name, const std::string& welcome) {
    std::string r(1430, '\0');
    PutLE(r, 0, uint32_t(number), 4);
    PutShort(r, 4, 255, name);
    PutShort(r, 1101, 252, welcome);
    PutLE(r, 1355, 2, 4);
    PutLE(r, 1363, 4, 4);
    return r;
}

}  // namespace

HandshakeServer::HandshakeServer(HandshakeScript script) : script_(std::move(script)) {
    listener_.Listen("127.0.0.1", 0);
    acceptThread_ = std::thread([this] {
        while (!stop_) {
            int fd = listener_.Accept(50);
            if (fd < 0) continue;
            ++connections_;
            clients_.emplace_back([this, fd] { Serve(fd); });
        }
    });
}

HandshakeServer::~HandshakeServer() {
    stop_ = true;
    listener_.Close();
    acceptThread_.join();
    {
        std::lock_guard lk(mu_);
        if (current_) current_->Shutdown();
    }
    for (auto& t : clients_) t.join();
}

std::string HandshakeServer::LoginName() const {
    std::lock_guard lk(mu_);
    return loginName_;
}
std::string HandshakeServer::LoginPassword() const {
    std::lock_guard lk(mu_);
    return loginPassword_;
}
std::vector<uint16_t> HandshakeServer::Kinds() const {
    std::lock_guard lk(mu_);
    return kinds_;
}
std::pair<int32_t, int32_t> HandshakeServer::Bandwidth() const {
    std::lock_guard lk(mu_);
    return bandwidth_;
}
int32_t HandshakeServer::TimeZoneBias() const {
    std::lock_guard lk(mu_);
    return timeZoneBias_;
}

bool HandshakeServer::WaitFor(const std::function<bool()>& pred, int limitMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    std::unique_lock lk(mu_);
    while (true) {
        lk.unlock();
        bool ok = pred();
        lk.lock();
        if (ok) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        cv_.wait_for(lk, std::chrono::milliseconds(5));
    }
}

void HandshakeServer::SendKeepAlive() {
    std::shared_ptr<orb::TTcpClient> c;
    {
        std::lock_guard lk(mu_);
        c = current_;
    }
    if (c) Send(*c, 100, 0, "");
}

void HandshakeServer::DropClient() {
    std::lock_guard lk(mu_);
    if (current_) current_->Shutdown();
}

bool HandshakeServer::Send(orb::TTcpClient& c, uint16_t kind, uint16_t result, const std::string& body) {
    std::string m = Header(kind, int32_t(body.size()), result) + body;
    std::lock_guard lk(sendMu_);
    return c.WriteAll(m.data(), m.size());
}

void HandshakeServer::Serve(int fd) {
    auto c = std::make_shared<orb::TTcpClient>();
    c->Adopt(fd);
    {
        std::lock_guard lk(mu_);
        current_ = c;
    }
    c->SetReadTimeout(10000);
    if (Handshake(*c)) {
        c->SetReadTimeout(0);
        Framed(*c);
    }
    c->Disconnect();
}

bool HandshakeServer::Handshake(orb::TTcpClient& c) {
    uint8_t version[32];
    if (!c.ReadExact(version, 32)) return false;
    if (script_.closeAfterVersion) return false;
    if (script_.versionResult != 0) {
        std::string offer(32, '\0');
        PutShort(offer, 0, 10, script_.offerVersion);
        PutShort(offer, 11, 20, "Jan-02-2010");
        std::string size(4, '\0');
        PutLE(size, 0, uint32_t(script_.installer.size()), 4);
        std::string m = Header(0, 32, script_.versionResult) + offer + size + script_.installer;
        c.WriteAll(m.data(), m.size());
        return false;
    }
    if (!Send(c, 0, 0, "")) return false;

    uint8_t login[106];
    if (!c.ReadExact(login, 106)) return false;
    {
        std::lock_guard lk(mu_);
        loginPassword_.assign(reinterpret_cast<char*>(login + 5), std::min<size_t>(login[4], 50));
        loginName_.assign(reinterpret_cast<char*>(login + 56), std::min<size_t>(login[55], 50));
    }
    if (script_.loginResult != 0) {
        Send(c, 0, script_.loginResult, "");
        return false;
    }
    if (!Send(c, 0, 0, script_.shortLoginReply ? std::string(100, '\0') : Account(script_, 0, LoginPassword()))) return false;

    uint8_t head[22];
    if (!c.ReadExact(head, 22) || head[0] != 92) return false;
    std::string startup(519, '\0');
    startup[0] = 1;
    PutShort(startup, 1, 255, script_.startupFileName);
    startup[257] = 1;
    PutShort(startup, 258, 255, script_.welcome);
    PutLE(startup, 514, uint32_t(script_.startupFile.size()), 4);
    return Send(c, 92, 0, startup + script_.startupFile);
}

void HandshakeServer::Framed(orb::TTcpClient& c) {
    while (!stop_) {
        uint8_t raw[22];
        if (!c.ReadExact(raw, 22)) return;
        uint16_t kind = uint16_t(raw[0] | raw[1] << 8);
        int16_t room = int16_t(raw[6] | raw[7] << 8);
        int32_t len;
        std::memcpy(&len, raw + 16, 4);
        if (len < 0 || len > (1 << 20)) return;
        std::string body(size_t(len), '\0');
        if (len > 0 && !c.ReadExact(body.data(), body.size())) return;
        auto i32 = [&](size_t off) {
            int32_t v = 0;
            if (body.size() >= off + 4) std::memcpy(&v, body.data() + off, 4);
            return v;
        };
        {
            std::lock_guard lk(mu_);
            kinds_.push_back(kind);
            if (kind == 154) bandwidth_ = {i32(0), i32(4)};
            if (kind == 114) timeZoneBias_ = i32(0);
        }
        if (kind == 57) ++heartBeats_;
        cv_.notify_all();
        if (kind == 74) {
            std::string rows;
            for (auto& [number, name] : script_.rooms) {
                std::string item(404, '\0');
                PutLE(item, 0, uint32_t(number), 4);
                PutShort(item, 58, 255, name);
                PutLE(item, 392, 1, 4);
                rows += item;
            }
            Send(c, 74, 0, rows);
        } else if (kind == 75) {
            int32_t target = i32(0);
            const std::pair<int32_t, std::string>* listed = nullptr;
            for (auto& r : script_.rooms)
                if (r.first == target) listed = &r;
            auto refused = script_.refusedRooms.find(target);
            if (refused != script_.refusedRooms.end()) {
                Send(c, 75, refused->second, "");
            } else if (!listed || room != int16_t(target)) {
                Send(c, 75, 18, "");
            } else if (script_.shortEnterReply) {
                Send(c, 75, 0, std::string(60, '\0'));
            } else {
                std::string validation(54, '\0');
                PutLE(validation, 25, uint32_t(script_.voicePort), 4);
                PutLE(validation, 50, uint32_t(script_.fileTransferPort), 4);
                Send(c, 75, 0, validation + Room(target, listed->second, "Hello room") + Account(script_, int16_t(target), LoginPassword()));
            }
        }
    }
}

}  // namespace orbtest
