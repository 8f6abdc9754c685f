// What the chat area adds to the test room server: public chat lines go to the whole room, the
// sender included (who sees the own line come back); private messages go to the addressee and
// back to the sender; a note addressed to one user reaches that user only. Requests, clearing the
// notes and the permissions are relayed to the room as every other kind is.
#include "protocol/records.h"
#include "roomserver/extensions.h"
#include "wire/bytes.h"

namespace orb::test {

namespace {

class TChatExtension : public TRoomExtension {};

void SendTo(TRoomServer& server, const TRoomConnection& from, int32_t user, const TVCRHeader& h,
            std::span<const uint8_t> body, bool echo) {
    for (int id : server.Connections()) {
        PRoomConnection c = server.Connection(id);
        if (!c || c->room.load() != from.room.load()) continue;
        const bool addressee = user == 0 ? c->id != from.id : c->userId.load() == user && c->id != from.id;
        if (addressee || (echo && c->id == from.id)) server.SendHeader(id, h, body);
    }
}

void RelayText(TRoomServer& server, TRoomConnection& from, const TVCRHeader& header, std::span<const uint8_t> body) {
    TVCRHeader h = header;
    h.bodyLength = int32_t(body.size());
    ByteReader r(body);
    TTextMessageInfo info;
    if (!TTextMessageInfo::Decode(r, info)) return;
    switch (info.messageType) {
    case TTextMessageInfo::mtPublic:
        server.TellRoom(from.room.load(), h, body);
        SendTo(server, from, 0, h, body, true);
        break;
    case TTextMessageInfo::mtPrivate:
        if (info.toId != 0) SendTo(server, from, info.toId, h, body, true);
        break;
    default: SendTo(server, from, info.toId, h, body, false); break;
    }
}

}  // namespace

PRoomExtension InstallChatExtension(TRoomExtensionContext& context) {
    context.server.OnKind(vkTextMessage, RelayText);
    context.server.OnKind(vkPrivateTextMessage, RelayText);
    return std::make_unique<TChatExtension>();
}

}  // namespace orb::test
