// Room and session handlers: room information, room list, room entry and the server keep-alive.

#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "session/result_texts.h"

using namespace orb;

void TDM::HandleRoomInfo() {
    ByteReader r = BodyReader();
    std::array<uint8_t, TRoomInfo::kSize> raw;
    if (!r.bytes(raw.data(), raw.size())) return;
    RoomInfo.Assign(raw);
    Speakers = RoomInfo.Speakers();
    VoiceCodecIndex = RoomInfo.VoiceCodecIndex();
}

void TDM::HandleRoomList() {
    ByteReader r = BodyReader();
    RoomList.clear();
    // Whole rows only; a torn last row is left out.
    std::array<uint8_t, TRoomListItem::kSize> raw;
    while (r.remaining() >= raw.size() && r.bytes(raw.data(), raw.size()))
        RoomList.push_back(TRoomListItem::Decode(raw));
    Loop().Post(MainWindow(), WM_APP_ROOMLIST, CurrentHeader().result, 0);
}

void TDM::HandleEnterRoom() {
    if (PlaybackMode) return;
    int result = CurrentHeader().result;
    if (result != 0) {
        MainRoomNumber = 0;
        Loop().Post(MainWindow(), WM_APP_ROOMENTERED, result, 0);
        return;
    }
    ByteReader r = BodyReader();
    std::array<uint8_t, TRoomValidation::kSize> validation;
    std::array<uint8_t, TRoomInfo::kSize> room;
    std::array<uint8_t, TLoginInfo::kSize> account;
    if (!r.bytes(validation.data(), validation.size()) || !r.bytes(room.data(), room.size()) ||
        !r.bytes(account.data(), account.size())) {
        // A short reply stores nothing, but the window still hears of it and does not wait for ever.
        Loop().Post(MainWindow(), WM_APP_ROOMENTERED, kResultOperationFailed, 0);
        return;
    }
    TRoomValidation v = TRoomValidation::Decode(validation);
    FileTransferPort = v.fileTransferPort;
    VoicePort = v.voicePort;
    RoomInfo.Assign(room);
    OwnLoginInfo.Assign(account);
    OwnUserId = OwnLoginInfo.UserId();
    OwnRoom = OwnLoginInfo.Room();
    Speakers = RoomInfo.Speakers();
    VoiceCodecIndex = RoomInfo.VoiceCodecIndex();
    if (RoomInfo.RoomNumber() >= 1000) MainRoomNumber = RoomInfo.RoomNumber();
    Loop().Post(MainWindow(), WM_APP_ROOMENTERED, 0, 0);
}

void TDM::HandleKeepAlive() {
    // One waiting heartbeat answers any number of keep-alives: a flood of them from the server
    // must not grow the send queue.
    if (TVCRWriterThread* w = WriterThread(); w && w->HasQueuedKind(vkHeartBeat)) return;
    SendHeartBeat();
}
