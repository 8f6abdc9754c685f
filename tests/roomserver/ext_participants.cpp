// What the participants area adds to the test room server: the floor, rights, levels, motions,
// presence and removal as a room server answers them (moderators only where it matters), the rights
// as they stand for late joiners, the room profile with a web base, and that web site: a small HTTP
// server with a picture for every user at /userimages/<id>.jpg. The server's handlers and the web
// site's workers use the extension: stop the server before freeing it.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include <jpeglib.h>

#include "protocol/message_kinds.h"
#include "roomserver/extensions.h"
#include "wire/bytes.h"

namespace orb::test {

namespace {

using Body = std::span<const uint8_t>;


int32_t I32At(Body b, size_t at, int32_t fallback = 0) {
    ByteReader r(b);
    int32_t v = fallback;
    return r.seek(at) && r.i32(v) ? v : fallback;
}

}  // namespace

// A picture of a user: a tile in a colour of its own with a face, as a baseline JPEG.
std::vector<uint8_t> UserPictureJpeg(int32_t userId) {
    constexpr int w = 96, h = 72;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    const uint8_t r0 = uint8_t(60 + (userId * 53) % 160), g0 = uint8_t(60 + (userId * 97) % 160),
                  b0 = uint8_t(60 + (userId * 31) % 160);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            const int dx = x - w / 2, dy = y - h / 2 + 4;
            const bool head = dx * dx + dy * dy < 22 * 22;
            const bool eye = ((x - 40) * (x - 40) + (y - 30) * (y - 30) < 9) || ((x - 56) * (x - 56) + (y - 30) * (y - 30) < 9);
            p[0] = eye ? 30 : head ? 245 : r0;
            p[1] = eye ? 30 : head ? 210 : g0;
            p[2] = eye ? 30 : head ? 170 : b0;
        }
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &rgb[size_t(c.next_scanline) * w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> jpeg(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return jpeg;
}

namespace {

class TParticipantsExtension final : public TRoomExtension {
public:
    explicit TParticipantsExtension(TRoomExtensionContext& ctx) : ctx_(ctx) {
        TRoomServer& s = ctx.server;
        httpPort_ = s.AddPort("userimages", [this](TRoomServer&, TTcpClient& sock) { ServePicture(sock); });
        auto on = [&s](uint16_t kind, std::function<void(TRoomConnection&, const TVCRHeader&, Body)> fn) {
            s.OnKind(kind, [fn = std::move(fn)](TRoomServer&, TRoomConnection& c, const TVCRHeader& h, Body b) {
                fn(c, h, b);
            });
        };
        on(vkRoomProfile, [this](TRoomConnection& c, const TVCRHeader&, Body) {
            std::vector<uint8_t> profile(604, 0);
            const std::string base = "http://127.0.0.1:" + std::to_string(httpPort_);
            profile[455] = uint8_t(base.size());
            std::memcpy(profile.data() + 456, base.data(), base.size());
            ctx_.server.Send(c.id, vkRoomProfile, profile, 0, c.room.load());
        });
        on(vkUserRights, [this](TRoomConnection& c, const TVCRHeader&, Body) {
            std::vector<uint8_t> body;
            for (int32_t id : ctx_.rooms.Members(c.room.load())) {
                auto r = RightsOf(id);
                body.insert(body.end(), r.begin(), r.end());
            }
            ctx_.server.Send(c.id, vkUserRights, body, 0, c.room.load());
        });
        // The floor: granted to a user who may speak (the answer to the asker, the news to the rest).
        on(vkTakeMicrophone, [this](TRoomConnection& c, const TVCRHeader& h, Body b) {
            TAccount a;
            if (!Account(c, a)) return;
            bool may;
            {
                std::lock_guard lk(mu_);
                auto& r = Rights(a.userId);
                may = r[5] == 2 || r[5] == 4;
                if (may) r[5] = 4;
            }
            if (!may) {
                ctx_.server.Send(c.id, vkTakeMicrophone, {}, a.userId, c.room.load(), 54);
                return;
            }
            ctx_.server.Send(c.id, vkTakeMicrophone, {}, a.userId, c.room.load());
            ctx_.server.Relay(c, h, b);
        });
        on(vkReleaseMicrophone, [this](TRoomConnection& c, const TVCRHeader& h, Body b) {
            TAccount a;
            if (!Account(c, a)) return;
            {
                std::lock_guard lk(mu_);
                auto& r = Rights(a.userId);
                if (r[5] == 4) r[5] = 2;
            }
            ctx_.server.Send(c.id, vkReleaseMicrophone, {}, a.userId, c.room.load());
            ctx_.server.Relay(c, h, b);
        });
        // Moderators' commands reach the whole room, the moderator included.
        for (uint16_t kind : {vkGiveMicrophone, vkRevokeMicrophone, vkGiveBoard, vkRevokeBoard, vkUserLevel, vkClearMotions})
            on(kind, [this, kind](TRoomConnection& c, const TVCRHeader&, Body b) {
                TAccount a;
                if (!Account(c, a) || !Moderator(a)) return;
                const int32_t user = I32At(b, 0);
                {
                    std::lock_guard lk(mu_);
                    if (kind == vkGiveMicrophone) Rights(user)[5] = 2;
                    if (kind == vkRevokeMicrophone) Rights(user)[5] = 3;
                    if (kind == vkGiveBoard) Rights(user)[7] = 1;
                    if (kind == vkRevokeBoard) Rights(user)[7] = 0;
                    if (kind == vkUserLevel) {
                        const int32_t level = I32At(b, 4);
                        levels_[user] = level;
                        Rights(user)[5] = level >= 1000 ? 2 : 3;
                    }
                    if (kind == vkClearMotions)
                        for (auto& [id, r] : rights_) std::memset(r.data() + 9, 0, 4);
                }
                ctx_.server.Broadcast(c.room.load(), kind, b, a.userId);
                Say("#" + std::to_string(c.id) + " kind " + std::to_string(kind) + " for " + std::to_string(user));
            });
        on(vkUserFeedback, [this](TRoomConnection& c, const TVCRHeader&, Body b) {
            TAccount a;
            if (!Account(c, a)) return;
            {
                std::lock_guard lk(mu_);
                StoreU32(Rights(a.userId).data() + 9, uint32_t(I32At(b, 0)));
            }
            ctx_.server.Broadcast(c.room.load(), vkUserFeedback, b, a.userId);
        });
        on(vkPresence, [this](TRoomConnection& c, const TVCRHeader&, Body b) {
            TAccount a;
            if (Account(c, a)) ctx_.server.Broadcast(c.room.load(), vkPresence, b, a.userId);
        });
        // Removal goes to the removed user alone.
        on(vkKickUser, [this](TRoomConnection& c, const TVCRHeader&, Body b) {
            TAccount a;
            if (!Account(c, a) || !Moderator(a)) return;
            const int32_t user = I32At(b, 0);
            for (int id : ctx_.server.Connections()) {
                auto other = ctx_.server.Connection(id);
                TAccount o;
                if (other && other->room.load() == c.room.load() && ctx_.handshake->AccountOf(id, o) && o.userId == user)
                    ctx_.server.Send(id, vkKickUser, b, a.userId, c.room.load());
            }
        });
    }

    uint16_t HttpPort() const { return httpPort_; }

private:
    bool Account(TRoomConnection& c, TAccount& a) { return ctx_.handshake->AccountOf(c.id, a); }

    bool Moderator(const TAccount& a) {
        std::lock_guard lk(mu_);
        auto it = levels_.find(a.userId);
        return (it == levels_.end() ? a.level : it->second) >= 1000;
    }

    // Under mu_: the user's rights record, made from the account the first time.
    std::array<uint8_t, 15>& Rights(int32_t user) {
        auto it = rights_.find(user);
        if (it != rights_.end()) return it->second;
        std::array<uint8_t, 15> r{};
        StoreU32(r.data(), uint32_t(user));
        for (int id : ctx_.server.Connections()) {
            TAccount a;
            if (ctx_.handshake->AccountOf(id, a) && a.userId == user) {
                const std::string s = TRoomService::RightsRecord(a);
                std::memcpy(r.data(), s.data(), r.size());
                break;
            }
        }
        return rights_.emplace(user, r).first->second;
    }

    std::array<uint8_t, 15> RightsOf(int32_t user) {
        std::lock_guard lk(mu_);
        return Rights(user);
    }

    void Say(const std::string& line) {
        if (ctx_.log) ctx_.log("participants: " + line);
    }

    void ServePicture(TTcpClient& sock) {
        sock.SetReadTimeout(5000);
        std::string request;
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192) {
            long n = sock.ReadSome(buf, sizeof buf);
            if (n <= 0) return;
            request.append(buf, size_t(n));
        }
        const std::string prefix = "GET /userimages/";
        int32_t id = -1;
        if (request.compare(0, prefix.size(), prefix) == 0) {
            size_t i = prefix.size(), start = i;
            while (i < request.size() && i - start < 9 && request[i] >= '0' && request[i] <= '9') ++i;
            if (i > start && request.compare(i, 5, ".jpg ") == 0) id = std::stoi(request.substr(start, i - start));
        }
        if (id < 0) {
            const std::string notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            sock.WriteAll(notFound.data(), notFound.size());
            return;
        }
        const std::vector<uint8_t> jpeg = UserPictureJpeg(id);
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 std::to_string(jpeg.size()) + "\r\nConnection: close\r\n\r\n";
        sock.WriteAll(head.data(), head.size());
        sock.WriteAll(jpeg.data(), jpeg.size());
        Say("picture " + std::to_string(id));
    }

    TRoomExtensionContext ctx_;
    uint16_t httpPort_ = 0;
    std::mutex mu_;
    std::map<int32_t, std::array<uint8_t, 15>> rights_;
    std::map<int32_t, int32_t> levels_;
};

}  // namespace

PRoomExtension InstallParticipantsExtension(TRoomExtensionContext& context) {
    return std::make_unique<TParticipantsExtension>(context);
}

}  // namespace orb::test
