// What the board area adds to the test room server: the board image library. Pictures uploaded
// on the file-transfer port (kind 22) are listed (kind 20), shown on a board for the whole room
// (kind 127, the picture after its record) and deleted (kind 39). Strokes, pictures and texts are
// relayed and kept by the room service itself.
#include <cstring>
#include <mutex>
#include <set>

#include "protocol/message_kinds.h"
#include "roomserver/extensions.h"
#include "roomserver/file_transfer_port.h"

namespace orb::test {

namespace {

constexpr size_t kRecord = 773;
constexpr size_t kNameAt = 4, kSizeAt = 406;

void PutI32(std::string& s, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(uint32_t(v) >> (8 * i));
}

class TBoardLibrary : public TRoomExtension {
public:
    explicit TBoardLibrary(TRoomExtensionContext& c) : transfers_(*c.transfers), log_(c.log) {
        TRoomServer& server = c.server;
        server.OnKind(vkBoardImageList, [this](TRoomServer& s, TRoomConnection& conn, const TVCRHeader&, std::span<const uint8_t>) {
            const auto rows = Rows();
            std::string body(kRecord, '\0');
            PutI32(body, 0, int32_t(rows.size()));
            for (const std::string& r : rows) body += r;
            s.Send(conn.id, vkBoardImageList, std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 0,
                   conn.room);
        });
        server.OnKind(vkDeleteBoardImage, [this](TRoomServer& s, TRoomConnection& conn, const TVCRHeader&, std::span<const uint8_t> body) {
            uint16_t result = TFileTransferPort::kNotFound;
            if (body.size() >= kRecord) {
                const std::string name = Name(std::vector<uint8_t>(body.begin(), body.begin() + kRecord));
                std::lock_guard lk(mu_);
                if (Find(name) && deleted_.insert(name).second) result = 0;
            }
            s.Send(conn.id, vkDeleteBoardImage, body, 0, conn.room, result);
            Log("board library: delete " + std::to_string(result));
        });
        server.OnKind(vkLibraryImageToBoard, [this](TRoomServer& s, TRoomConnection& conn, const TVCRHeader&, std::span<const uint8_t> body) {
            if (body.size() < 4 + kRecord) return;
            const std::vector<uint8_t> record(body.begin() + 4, body.begin() + 4 + long(kRecord));
            const std::string name = Name(record);
            std::string file;
            {
                std::lock_guard lk(mu_);
                if (Find(name)) file = transfers_.File(1, name);
            }
            if (file.empty()) {
                s.Send(conn.id, vkLibraryImageToBoard, {}, 0, conn.room, TFileTransferPort::kNotFound);
                return;
            }
            std::string reply(reinterpret_cast<const char*>(body.data()), 4 + kRecord);
            PutI32(reply, 4 + kSizeAt, int32_t(file.size()));
            reply += file;
            s.Broadcast(conn.room, vkLibraryImageToBoard,
                        std::span(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()), conn.userId);
            Log("board library: " + name + " shown on the board");
        });
    }

private:
    static std::string Name(const std::vector<uint8_t>& record) { return TFileTransferPort::ShortString(record, kNameAt, 200); }

    // Caller holds mu_.
    bool Find(const std::string& name) const {
        if (deleted_.count(name)) return false;
        // Only uploads the port accepted and stored are in the library.
        return !transfers_.File(1, name).empty();
    }

    std::vector<std::string> Rows() {
        std::lock_guard lk(mu_);
        std::vector<std::string> rows;
        std::set<std::string> seen;
        for (const TReceivedTransfer& u : transfers_.Uploads()) {
            if (u.kind != vkUploadBoardImage || u.descriptor.size() < kRecord) continue;
            const std::string name = Name(u.descriptor);
            if (deleted_.count(name) || transfers_.File(1, name).empty() || !seen.insert(name).second) continue;
            std::string row(reinterpret_cast<const char*>(u.descriptor.data()), kRecord);
            PutI32(row, 0, int32_t(rows.size() + 1));
            PutI32(row, kSizeAt, int32_t(u.bytes.size()));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    void Log(const std::string& line) {
        if (log_) log_(line);
    }

    TFileTransferPort& transfers_;
    std::function<void(const std::string&)> log_;
    std::mutex mu_;
    std::set<std::string> deleted_;
};

}  // namespace

PRoomExtension InstallBoardExtension(TRoomExtensionContext& context) {
    if (!context.transfers) return nullptr;
    return std::make_unique<TBoardLibrary>(context);
}

}  // namespace orb::test
