#include "roomserver/room_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>

#include "protocol/framing.h"
#include "protocol/message_kinds.h"

namespace orb::test {

bool TRoomConnection::Write(const void* bytes, size_t count) {
    std::lock_guard lk(writeMu_);
    return socket.WriteAll(bytes, count);
}

TRoomServer::TRoomServer() = default;

TRoomServer::~TRoomServer() { Stop(); }

bool TRoomServer::Start(const std::string& address, uint16_t port) {
    address_ = address;
    if (!listener_.Listen(address, port)) {
        lastError_ = listener_.LastError();
        return false;
    }
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TRoomServer::Stop() {
    stopping_ = true;
    listener_.Close();
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<PRoomConnection> all;
    {
        std::lock_guard lk(mu_);
        for (auto& [id, c] : connections_) all.push_back(c);
        for (auto& c : finished_) all.push_back(c);
        connections_.clear();
        finished_.clear();
    }
    for (auto& c : all) c->socket.Shutdown();
    for (auto& c : all)
        if (c->thread_.joinable()) c->thread_.join();
    for (auto& p : ports_) {
        p->listener->Close();
        if (p->acceptThread.joinable()) p->acceptThread.join();
        for (auto& s : p->sockets) s->Shutdown();
        for (auto& w : p->workers)
            if (w.joinable()) w.join();
    }
    ports_.clear();
}

void TRoomServer::SetHandshake(HandshakeHook hook) {
    std::lock_guard lk(mu_);
    handshake_ = std::move(hook);
}

void TRoomServer::OnAccept(ConnectionHook hook) {
    std::lock_guard lk(mu_);
    onAccept_ = std::move(hook);
}

void TRoomServer::OnConnect(ConnectionHook hook) {
    std::lock_guard lk(mu_);
    onConnect_ = std::move(hook);
}

void TRoomServer::OnDisconnect(ConnectionHook hook) {
    std::lock_guard lk(mu_);
    onDisconnect_ = std::move(hook);
}

void TRoomServer::SetGate(Gate gate) {
    std::lock_guard lk(mu_);
    gate_ = std::move(gate);
}

void TRoomServer::OnKind(uint16_t kind, Handler handler) {
    std::lock_guard lk(mu_);
    handlers_[kind] = std::move(handler);
}

void TRoomServer::OnOtherKinds(Handler handler) {
    std::lock_guard lk(mu_);
    otherKinds_ = std::move(handler);
}

void TRoomServer::Notify() { changed_.notify_all(); }

namespace {
std::string PeerOf(int fd) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return {};
    char host[INET6_ADDRSTRLEN] = {};
    uint16_t port = 0;
    if (sa.ss_family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&sa);
        ::inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
        port = ntohs(a->sin_port);
    } else if (sa.ss_family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&sa);
        ::inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
        port = ntohs(a->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}
}  // namespace

void TRoomServer::AcceptLoop() {
    while (!stopping_) {
        int fd = listener_.Accept(-1);
        if (fd < 0) break;
        auto c = std::make_shared<TRoomConnection>();
        c->peer = PeerOf(fd);
        c->socket.Adopt(fd);
        {
            std::lock_guard lk(mu_);
            if (stopping_) {
                c->socket.Disconnect();
                break;
            }
            c->id = nextId_++;
            connections_[c->id] = c;
            c->thread_ = std::thread([this, c] { Serve(c); });
        }
        Notify();
    }
}

void TRoomServer::Serve(PRoomConnection c) {
    HandshakeHook handshake;
    ConnectionHook onAccept, onConnect;
    {
        std::lock_guard lk(mu_);
        handshake = handshake_;
        onAccept = onAccept_;
        onConnect = onConnect_;
    }
    if (onAccept) onAccept(*this, *c);
    bool ok = !handshake || handshake(*this, *c);
    if (ok && onConnect) onConnect(*this, *c);
    auto readExact = [&c](void* buf, size_t n) { return c->socket.ReadExact(buf, n); };
    TVCRHeader header;
    std::vector<uint8_t> stream;
    while (ok && !stopping_) {
        if (ReadVCRMessage(readExact, header, stream) != TReadResult::Message) break;
        std::span<const uint8_t> body(stream.data() + TVCRHeader::kSize, stream.size() - TVCRHeader::kSize);
        Handler handler;
        Gate gate;
        {
            std::lock_guard lk(mu_);
            received_.push_back({c->id, header, std::vector<uint8_t>(body.begin(), body.end())});
            auto it = handlers_.find(header.kind);
            handler = it != handlers_.end() ? it->second : otherKinds_;
            gate = gate_;
        }
        Notify();
        if (gate && !gate(*this, *c, header)) break;
        if (handler) handler(*this, *c, header, body);
    }
    ConnectionHook onDisconnect;
    {
        std::lock_guard lk(mu_);
        onDisconnect = onDisconnect_;
    }
    if (onDisconnect) onDisconnect(*this, *c);
    c->socket.Shutdown();
    {
        std::lock_guard lk(mu_);
        // Its thread is joined by Stop; the entry leaves the live list now.
        if (connections_.erase(c->id)) finished_.push_back(c);
    }
    Notify();
}

uint16_t TRoomServer::AddPort(const std::string& name, PortHandler handler, uint16_t port) {
    auto p = std::make_unique<ExtraPort>();
    p->name = name;
    p->listener = std::make_unique<TTcpListener>();
    p->handler = std::move(handler);
    if (!p->listener->Listen(address_.empty() ? "127.0.0.1" : address_, port)) {
        lastError_ = p->listener->LastError();
        return 0;
    }
    ExtraPort* raw = p.get();
    raw->acceptThread = std::thread([this, raw] {
        while (!stopping_) {
            int fd = raw->listener->Accept(-1);
            if (fd < 0) break;
            auto sock = std::make_shared<TTcpClient>();
            sock->Adopt(fd);
            std::lock_guard lk(mu_);
            raw->sockets.push_back(sock);
            raw->workers.emplace_back([this, raw, sock] {
                try {
                    raw->handler(*this, *sock);
                } catch (...) {
                }
                sock->Disconnect();
            });
        }
    });
    uint16_t bound = raw->listener->Port();
    std::lock_guard lk(mu_);
    ports_.push_back(std::move(p));
    return bound;
}

uint16_t TRoomServer::PortOf(const std::string& name) const {
    std::lock_guard lk(mu_);
    for (auto& p : ports_)
        if (p->name == name) return p->listener->Port();
    return 0;
}

bool TRoomServer::SendHeader(int connection, const TVCRHeader& header, std::span<const uint8_t> body) {
    auto c = Connection(connection);
    if (!c) return false;
    auto bytes = BuildPacketStream(header, body.data(), body.size());
    if (!c->Write(bytes.data(), bytes.size())) return false;
    {
        std::lock_guard lk(mu_);
        sent_.push_back({connection, header, std::vector<uint8_t>(body.begin(), body.end())});
    }
    Notify();
    return true;
}

std::vector<TReceivedMessage> TRoomServer::SentOfKind(int connection, uint16_t kind) const {
    std::lock_guard lk(mu_);
    std::vector<TReceivedMessage> out;
    for (auto& m : sent_)
        if (m.connection == connection && m.header.kind == kind) out.push_back(m);
    return out;
}

bool TRoomServer::Send(int connection, uint16_t kind, std::span<const uint8_t> body, int32_t sender, int16_t room,
                       uint16_t result) {
    TVCRHeader h;
    InitVCRHeader(kind, sender, room, h);
    h.bodyLength = int32_t(body.size());
    h.result = result;
    return SendHeader(connection, h, body);
}

bool TRoomServer::SendRaw(int connection, std::span<const uint8_t> bytes) {
    auto c = Connection(connection);
    return c && c->Write(bytes.data(), bytes.size());
}

bool TRoomServer::SendKeepAlive(int connection, int count) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        TVCRHeader h;
        InitVCRHeader(vkKeepAlive, 0, 0, h);
        auto one = BuildPacketStream(h, nullptr, 0);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return SendRaw(connection, bytes);
}

void TRoomServer::OnRoomMessage(RoomListener listener) {
    std::lock_guard lk(mu_);
    roomListeners_.push_back(std::move(listener));
}

void TRoomServer::TellRoom(int16_t room, const TVCRHeader& header, std::span<const uint8_t> body) {
    std::vector<RoomListener> listeners;
    {
        std::lock_guard lk(mu_);
        listeners = roomListeners_;
    }
    for (auto& l : listeners) l(room, header, body);
}

int TRoomServer::Broadcast(int16_t room, uint16_t kind, std::span<const uint8_t> body, int32_t sender,
                           int exceptConnection, uint16_t result) {
    {
        TVCRHeader h;
        InitVCRHeader(kind, sender, room, h);
        h.bodyLength = int32_t(body.size());
        h.result = result;
        TellRoom(room, h, body);
    }
    int n = 0;
    for (int id : Connections()) {
        auto c = Connection(id);
        if (!c || id == exceptConnection || c->room.load() != room) continue;
        if (Send(id, kind, body, sender, room, result)) ++n;
    }
    return n;
}

int TRoomServer::Relay(const TRoomConnection& from, const TVCRHeader& header, std::span<const uint8_t> body) {
    int n = 0;
    TVCRHeader h = header;
    h.bodyLength = int32_t(body.size());
    TellRoom(from.room.load(), h, body);
    for (int id : Connections()) {
        auto c = Connection(id);
        if (!c || id == from.id || c->room.load() != from.room.load()) continue;
        if (SendHeader(id, h, body)) ++n;
    }
    return n;
}

void TRoomServer::CloseClient(int connection) {
    if (auto c = Connection(connection)) c->socket.Shutdown();
}

PRoomConnection TRoomServer::Connection(int id) const {
    std::lock_guard lk(mu_);
    auto it = connections_.find(id);
    return it == connections_.end() ? nullptr : it->second;
}

std::vector<int> TRoomServer::Connections() const {
    std::lock_guard lk(mu_);
    std::vector<int> ids;
    for (auto& [id, c] : connections_) ids.push_back(id);
    return ids;
}

bool TRoomServer::WaitForConnections(size_t count, int timeoutMs) {
    std::unique_lock lk(mu_);
    return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return connections_.size() >= count; });
}

std::vector<TReceivedMessage> TRoomServer::Received() const {
    std::lock_guard lk(mu_);
    return received_;
}

std::vector<TReceivedMessage> TRoomServer::ReceivedOfKind(uint16_t kind) const {
    std::lock_guard lk(mu_);
    std::vector<TReceivedMessage> out;
    for (auto& m : received_)
        if (m.header.kind == kind) out.push_back(m);
    return out;
}

void TRoomServer::ClearReceived() {
    std::lock_guard lk(mu_);
    received_.clear();
}

bool TRoomServer::WaitForKind(uint16_t kind, size_t count, int timeoutMs) {
    std::unique_lock lk(mu_);
    return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
        size_t n = 0;
        for (auto& m : received_) n += m.header.kind == kind;
        return n >= count;
    });
}

bool TRoomServer::WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::unique_lock lk(mu_);
        changed_.wait_for(lk, std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace orb::test
