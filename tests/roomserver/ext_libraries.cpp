// What the libraries area adds to the test room server: each room keeps its shared documents,
// web links and presentations (with their slide pictures), lists them, adds and
// deletes entries, remembers the page of the guided tour and the view mode, and sends a slide's
// picture to the whole room. Records are read and written by hand from the record's offsets.
#include <algorithm>
#include <map>
#include <mutex>

#include "protocol/message_kinds.h"
#include "roomserver/ext_libraries.h"
#include "wire/bytes.h"

namespace orb::test {

namespace {

constexpr size_t kRecord = 773;
constexpr uint16_t kNotFound = 18;

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Field(const std::string& record, size_t offset, size_t capacity) {
    const size_t n = std::min<size_t>(uint8_t(record[offset]), capacity);
    return record.substr(offset + 1, n);
}

class TLibrariesExtension final : public TRoomExtension {
public:
    TLibrariesExtension(TRoomServer& server, TFileTransferPort* transfers, std::function<void(const std::string&)> log)
        : server_(server), log_(std::move(log)), transfers_(transfers) {
        if (transfers_) transfers_->OnUpload([this](int type, const TReceivedTransfer& t) { Uploaded(type, t); });
        auto on = [this](uint16_t kind, void (TLibrariesExtension::*fn)(TRoomConnection&, const TVCRHeader&,
                                                                          std::span<const uint8_t>)) {
            server_.OnKind(kind, [this, fn](TRoomServer&, TRoomConnection& c, const TVCRHeader& h,
                                            std::span<const uint8_t> body) { (this->*fn)(c, h, body); });
        };
        // Board images (kinds 20, 39, 127) are the board area's.
        for (uint16_t k : {vkDocumentList, vkWebLinkList, vkPresentationList})
            on(k, &TLibrariesExtension::List);
        on(vkAddWebLink, &TLibrariesExtension::AddLink);
        for (uint16_t k : {vkDeleteDocument, vkDeleteWebLink, vkDeletePresentation})
            on(k, &TLibrariesExtension::Delete);
        on(vkOpenWebLink, &TLibrariesExtension::PushPage);
        on(vkWebPage, &TLibrariesExtension::CurrentPage);
        on(vkViewMode, &TLibrariesExtension::ViewMode);
        on(vkViewModeQuery, &TLibrariesExtension::ViewModeQuery);
        on(vkSlideToBoard, &TLibrariesExtension::SlideToBoard);
    }

    ~TLibrariesExtension() override {
        if (transfers_) transfers_->OnUpload({});
    }

private:
    struct TLibrary {
        std::map<uint16_t, std::vector<std::string>> lists;  // by list kind
        std::map<std::pair<std::string, std::string>, std::string> slides;  // (presentation id, NAME) -> JPEG
        std::string page;
        int32_t view = 0;
    };

    static uint16_t ListOfType(int type) {
        switch (type) {
        case 0: return vkDocumentList;
        case 2: return vkWebLinkList;
        case 4: return vkPresentationList;
        default: return 0;
        }
    }
    static uint16_t ListOfDelete(uint16_t kind) {
        switch (kind) {
        case vkDeleteDocument: return vkDocumentList;
        case vkDeleteWebLink: return vkWebLinkList;
        default: return vkPresentationList;
        }
    }

    void Say(const std::string& line) {
        if (log_) log_(line);
    }

    // Keeps a record under the next id of the server.
    void Store(int16_t room, uint16_t list, std::string record) {
        StoreU32(reinterpret_cast<uint8_t*>(record.data()), uint32_t(++lastId_));
        rooms_[room].lists[list].push_back(std::move(record));
    }

    void Uploaded(int type, const TReceivedTransfer& t) {
        std::lock_guard lk(mu_);
        std::string record(t.descriptor.begin(), t.descriptor.end());
        if (type == 5) {
            rooms_[t.room].slides[{Field(record, 431, 200), Upper(Field(record, 4, 200))}] = t.bytes;
        } else if (uint16_t list = ListOfType(type)) {
            Store(t.room, list, record);
            Say("library: room " + std::to_string(t.room) + " stored " + Field(record, 4, 200));
        }
    }

    void Send(TRoomConnection& c, uint16_t kind, const std::string& body, uint16_t result = 0) {
        server_.Send(c.id, kind, {reinterpret_cast<const uint8_t*>(body.data()), body.size()}, 0, c.room.load(),
                     result);
    }

    void List(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t>) {
        std::string body;
        {
            std::lock_guard lk(mu_);
            const std::vector<std::string>& list = rooms_[c.room.load()].lists[h.kind];
            body.assign(h.kind == vkWebLinkList ? 4 : kRecord, '\0');
            StoreU32(reinterpret_cast<uint8_t*>(body.data()), uint32_t(list.size()));
            for (const std::string& r : list) body += r;
        }
        Send(c, h.kind, body);
    }

    void AddLink(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        uint16_t result = 0;
        if (body.size() != kRecord) {
            result = 2;
        } else {
            std::lock_guard lk(mu_);
            Store(c.room.load(), vkWebLinkList, std::string(body.begin(), body.end()));
        }
        Send(c, h.kind, {}, result);
    }

    void Delete(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        uint16_t result = kNotFound;
        if (body.size() == kRecord) {
            const int32_t id = int32_t(LoadU32(body.data()));
            std::lock_guard lk(mu_);
            std::vector<std::string>& list = rooms_[c.room.load()].lists[ListOfDelete(h.kind)];
            auto it = std::find_if(list.begin(), list.end(), [id](const std::string& r) {
                return int32_t(LoadU32(reinterpret_cast<const uint8_t*>(r.data()))) == id;
            });
            if (it != list.end()) {
                list.erase(it);
                result = 0;
            }
        }
        Send(c, h.kind, {}, result);
    }

    void PushPage(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        if (body.size() == 4 + kRecord) {
            std::lock_guard lk(mu_);
            rooms_[c.room.load()].page = Field(std::string(body.begin() + 4, body.end()), 4, 200);
        }
        server_.Relay(c, h, body);
    }

    void CurrentPage(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t>) {
        std::string body(251, '\0');
        {
            std::lock_guard lk(mu_);
            const std::string& page = rooms_[c.room.load()].page;
            body[0] = char(page.size());
            std::copy(page.begin(), page.end(), body.begin() + 1);
        }
        Send(c, h.kind, body);
    }

    void ViewMode(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        if (body.size() >= 4) {
            std::lock_guard lk(mu_);
            rooms_[c.room.load()].view = int32_t(LoadU32(body.data()));
        }
        server_.Relay(c, h, body);
    }

    void ViewModeQuery(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t>) {
        std::string body(4, '\0');
        {
            std::lock_guard lk(mu_);
            StoreU32(reinterpret_cast<uint8_t*>(body.data()), uint32_t(rooms_[c.room.load()].view));
        }
        Send(c, h.kind, body);
    }

    // The slide's picture goes to everybody in the room, the sender too.
    void SlideToBoard(TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        if (body.size() != 4 + kRecord) return Send(c, h.kind, {}, kNotFound);
        std::string out(body.begin(), body.end());
        std::string record = out.substr(4);
        std::string jpeg;
        {
            std::lock_guard lk(mu_);
            auto& slides = rooms_[c.room.load()].slides;
            auto it = slides.find({Field(record, 431, 200), Upper(Field(record, 4, 200))});
            if (it == slides.end()) return Send(c, h.kind, {}, kNotFound);
            jpeg = it->second;
        }
        StoreU32(reinterpret_cast<uint8_t*>(out.data()) + 4 + 406, uint32_t(jpeg.size()));
        out += jpeg;
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(out.data()), out.size());
        server_.Broadcast(c.room.load(), h.kind, bytes, c.userId.load());
        Say("library: slide " + Field(record, 4, 200) + " to room " + std::to_string(c.room.load()));
    }

    TRoomServer& server_;
    std::function<void(const std::string&)> log_;
    TFileTransferPort* transfers_;
    std::mutex mu_;
    std::map<int16_t, TLibrary> rooms_;
    int32_t lastId_ = 0;
};

}  // namespace

PRoomExtension MakeLibrariesExtension(TRoomServer& server, TFileTransferPort* transfers,
                                      std::function<void(const std::string&)> log) {
    return std::make_unique<TLibrariesExtension>(server, transfers, std::move(log));
}

PRoomExtension InstallLibrariesExtension(TRoomExtensionContext& context) {
    return MakeLibrariesExtension(context.server, context.transfers, context.log);
}

}  // namespace orb::test
