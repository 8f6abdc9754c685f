// What the sharing area adds to the test room server.
#include "roomserver/ext_sharing.h"

#include "protocol/message_kinds.h"

namespace orb::test {

namespace {

constexpr size_t kDescriptorSize = 519;

void PutU32Be(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}
void PutI32(std::vector<uint8_t>& v, int32_t x) {
    for (int s = 0; s < 32; s += 8) v.push_back(uint8_t(uint32_t(x) >> s));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    static uint32_t table[256];
    static std::once_flag once;
    std::call_once(once, [] {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    });
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutU32Be(png, uint32_t(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutU32Be(png, Crc32(typed.data(), typed.size()));
}

}  // namespace

std::vector<uint8_t> TSharingExtension::SolidPng(int32_t width, int32_t height, uint32_t rgb) {
    std::vector<uint8_t> raw;
    for (int32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int32_t x = 0; x < width; ++x) {
            raw.push_back(uint8_t(rgb >> 16));
            raw.push_back(uint8_t(rgb >> 8));
            raw.push_back(uint8_t(rgb));
        }
    }
    // zlib stream of stored blocks.
    std::vector<uint8_t> z{0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutU32Be(z, (b << 16) | a);
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    PutU32Be(ihdr, uint32_t(width));
    PutU32Be(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

TSharingExtension::TSharingExtension(TRoomExtensionContext& context) : server_(context.server) {
    auto on = [this](uint16_t kind, std::function<void(TRoomConnection&, const TVCRHeader&, std::span<const uint8_t>)> fn) {
        server_.OnKind(kind, [fn = std::move(fn)](TRoomServer&, TRoomConnection& c, const TVCRHeader& h,
                                                  std::span<const uint8_t> body) { fn(c, h, body); });
    };
    on(vkAppShareStart, [this](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        if (body.size() < kDescriptorSize) return;
        std::vector<uint8_t> relayed(body.begin(), body.begin() + kDescriptorSize);
        {
            std::lock_guard lk(mu_);
            shares_[c.room.load()] = {h.sender, relayed, 1};
        }
        relayed.push_back(1);
        server_.Broadcast(c.room.load(), vkAppShareStart, relayed, h.sender);
    });
    on(vkAppShareStop, [this](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t>) {
        {
            std::lock_guard lk(mu_);
            shares_.erase(c.room.load());
        }
        server_.Broadcast(c.room.load(), vkAppShareStop, {}, h.sender);
    });
    on(vkAppShareState, [this](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        {
            std::lock_guard lk(mu_);
            auto it = shares_.find(c.room.load());
            if (it != shares_.end() && !body.empty()) it->second.state = body[0];
        }
        server_.Relay(c, h, body);
    });
    on(vkRemoteControl, [this](TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        server_.Broadcast(c.room.load(), vkRemoteControl, body, h.sender);
    });
    // Sent by every client after entering a room: the running share, if any.
    on(vkKind148, [this](TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        Share s;
        {
            std::lock_guard lk(mu_);
            auto it = shares_.find(c.room.load());
            if (it == shares_.end()) return;
            s = it->second;
        }
        s.descriptor.push_back(s.state);
        server_.Send(c.id, vkAppShareStart, s.descriptor, s.sharer, c.room.load());
    });
}

bool TSharingExtension::ShareRunning(int16_t room) const {
    std::lock_guard lk(mu_);
    return shares_.count(room) != 0;
}

void TSharingExtension::PlayTileShare(int16_t room, int32_t sharer, int32_t width, int32_t height, int32_t columns,
                                      int32_t rows, const std::vector<uint32_t>& colours) {
    std::vector<uint8_t> info;
    PutI32(info, sharer);
    const std::string name = "Tile sharer", title = "Tiles";
    info.push_back(uint8_t(name.size()));
    info.insert(info.end(), name.begin(), name.end());
    info.resize(4 + 201, 0);
    info.push_back(uint8_t(title.size()));
    info.insert(info.end(), title.begin(), title.end());
    info.resize(461, 0);
    info.push_back(1);
    PutI32(info, width);
    PutI32(info, height);
    PutI32(info, columns);
    PutI32(info, rows);
    info.push_back(6);
    info.resize(487, 0);
    server_.Broadcast(room, vkShareStarted, info, sharer);
    std::vector<uint8_t> panes;
    const int32_t tw = width / columns, th = height / rows;
    for (int32_t c = 0; c < columns; ++c)
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t index = c * rows + r;
            const int32_t w = c == columns - 1 ? width - tw * c : tw, h = r == rows - 1 ? height - th * r : th;
            auto png = SolidPng(w, h, colours.empty() ? 0x808080 : colours[size_t(index) % colours.size()]);
            for (int32_t v : {index, 1, int32_t(png.size()), 0, w, h, th * r, tw * c}) PutI32(panes, v);
            panes.insert(panes.end(), png.begin(), png.end());
        }
    server_.Broadcast(room, vkSharePanes, panes, 0);
}

void TSharingExtension::StopTileShare(int16_t room) { server_.Broadcast(room, vkShareStopped, {}, 0); }

PRoomExtension InstallSharingExtension(TRoomExtensionContext& context) {
    return std::make_unique<TSharingExtension>(context);
}

}  // namespace orb::test
