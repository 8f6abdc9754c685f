#include "roomserver/file_transfer_port.h"

#include <algorithm>
#include <cstring>

namespace orb::test {
namespace {

constexpr size_t kDescriptor = 773;
constexpr size_t kHeader = 22;
constexpr int32_t kMaxBody = 64 << 20;

template <class T>
T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // the wire is little-endian, as this host
    return v;
}

template <class T>
void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

std::vector<uint8_t> Header(uint16_t kind, int32_t bodyLength, uint16_t result) {
    std::vector<uint8_t> h(kHeader, 0);
    Store<uint16_t>(&h[0], kind);
    Store<int32_t>(&h[16], bodyLength);
    Store<uint16_t>(&h[20], result);
    return h;
}

void PutShort(std::vector<uint8_t>& d, size_t offset, size_t capacity, const std::string& s) {
    size_t n = std::min(s.size(), capacity);
    d[offset] = static_cast<uint8_t>(n);
    std::memcpy(&d[offset + 1], s.data(), n);
}

int UploadType(uint16_t kind) {
    switch (kind) {
        case 16: return 0;
        case 22: return 1;
        case 25: return 2;
        case 34: return 3;
        case 50: return 4;
        case 51: return 5;
        default: return -1;
    }
}

uint16_t UploadReplyKind(uint16_t kind) {
    switch (kind) {
        case 16: return 17;
        case 22: return 23;
        case 50:
        case 51: return 52;
        default: return kind;
    }
}

int DownloadType(uint16_t kind) {
    switch (kind) {
        case 19: return 0;
        case 21: return 1;
        case 35: return 3;
        case 54: return 5;
        default: return -1;
    }
}

}  // namespace

TFileTransferPort::TFileTransferPort(TRoomServer& server) {
    port_ = server.AddPort("filetransfer", [this](TRoomServer&, TTcpClient& socket) { Serve(socket); });
}

void TFileTransferPort::Serve(TTcpClient& socket) {
    socket.SetReadTimeout(5000);
    uint8_t h[kHeader];
    if (!socket.ReadExact(h, kHeader)) return;
    uint16_t kind = Load<uint16_t>(h);
    int32_t sender = Load<int32_t>(h + 2);
    int16_t room = Load<int16_t>(h + 6);
    int32_t body = Load<int32_t>(h + 16);
    if (body < static_cast<int32_t>(kDescriptor) || body > kMaxBody) return;
    std::vector<uint8_t> d(kDescriptor);
    if (!socket.ReadExact(d.data(), d.size())) return;
    std::string name = ShortString(d, 4, 200);

    if (int type = UploadType(kind); type >= 0) {
        std::string bytes(static_cast<size_t>(body) - kDescriptor, '\0');
        if (!bytes.empty() && !socket.ReadExact(bytes.data(), bytes.size())) return;
        uint16_t result = 0;
        std::function<void(int, const TReceivedTransfer&)> observer;
        {
            std::lock_guard lk(mu_);
            observer = onUpload_;
            uploads_.push_back({kind, sender, room, body, d, bytes});
            if (auto it = refused_.find(name); it != refused_.end())
                result = it->second;
            else if (I32(d, 406) != static_cast<int32_t>(bytes.size()))
                result = kSizeMismatch;
            else
                files_[{type, name}] = Stored(bytes);
        }
        if (result == 0 && observer) observer(type, TReceivedTransfer{kind, sender, room, body, d, bytes});
        auto reply = Header(UploadReplyKind(kind), 0, result);
        socket.WriteAll(reply.data(), reply.size());
        return;
    }
    int type = DownloadType(kind);
    if (type < 0 || body != static_cast<int32_t>(kDescriptor)) return;
    TStoredFile file;
    uint16_t result = 0;
    {
        std::lock_guard lk(mu_);
        requests_.push_back({kind, sender, room, body, d, {}});
        auto it = files_.find({type, name});
        if (auto r = refused_.find(name); r != refused_.end())
            result = r->second;
        else if (it == files_.end())
            result = kNotFound;
        else
            file = it->second;
    }
    if (result) {
        auto reply = Header(kind, 0, result);
        socket.WriteAll(reply.data(), reply.size());
        return;
    }
    int64_t size = static_cast<int64_t>(file.bytes.size());
    int64_t headerBytes = file.headerFileBytes >= 0 ? file.headerFileBytes : size;
    std::vector<uint8_t> out = Header(kind, static_cast<int32_t>(kDescriptor + headerBytes), 0);
    std::vector<uint8_t> desc(kDescriptor, 0);
    Store<int32_t>(&desc[0], 7);
    PutShort(desc, 4, 200, file.serverName.empty() ? name : file.serverName);
    PutShort(desc, 205, 200, "/srv/files/" + name);
    Store<int32_t>(&desc[406], static_cast<int32_t>(file.descriptorSize == -1 ? size : file.descriptorSize));
    PutShort(desc, 431, 200, "served");
    out.insert(out.end(), desc.begin(), desc.end());
    out.insert(out.end(), file.bytes.begin(), file.bytes.end());
    if (file.hangUpAfter >= 0 && static_cast<size_t>(file.hangUpAfter) < out.size())
        out.resize(static_cast<size_t>(file.hangUpAfter));
    socket.WriteAll(out.data(), out.size());
}

void TFileTransferPort::OnUpload(std::function<void(int, const TReceivedTransfer&)> observer) {
    std::lock_guard lk(mu_);
    onUpload_ = std::move(observer);
}

void TFileTransferPort::Put(int type, const std::string& name, TStoredFile file) {
    std::lock_guard lk(mu_);
    files_[{type, name}] = std::move(file);
}

void TFileTransferPort::Refuse(const std::string& name, uint16_t resultCode) {
    std::lock_guard lk(mu_);
    refused_[name] = resultCode;
}

std::vector<TReceivedTransfer> TFileTransferPort::Uploads() const {
    std::lock_guard lk(mu_);
    return uploads_;
}

std::vector<TReceivedTransfer> TFileTransferPort::Requests() const {
    std::lock_guard lk(mu_);
    return requests_;
}

std::string TFileTransferPort::File(int type, const std::string& name) const {
    std::lock_guard lk(mu_);
    auto it = files_.find({type, name});
    return it == files_.end() ? std::string() : it->second.bytes;
}

std::string TFileTransferPort::ShortString(const std::vector<uint8_t>& d, size_t offset, size_t capacity) {
    size_t n = std::min<size_t>(d[offset], capacity);
    return std::string(reinterpret_cast<const char*>(&d[offset + 1]), n);
}

int32_t TFileTransferPort::I32(const std::vector<uint8_t>& d, size_t offset) { return Load<int32_t>(&d[offset]); }
double TFileTransferPort::F64(const std::vector<uint8_t>& d, size_t offset) { return Load<double>(&d[offset]); }

}  // namespace orb::test
