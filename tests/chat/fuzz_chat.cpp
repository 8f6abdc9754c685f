// Arbitrary bodies of the chat, note and request kinds through the data module's handlers, and
// arbitrary text through the smiley recogniser and the RTF writer: nothing may read out of bounds,
// and every picture number stays in range.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "chat/rtf_writer.h"
#include "chat/smileys.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"

namespace {

struct NullView : orb::chat::IChatView {
    void AddChatMessage(int32_t, const std::u16string&, bool, uint32_t, const std::u16string& t) override {
        for (const auto& p : orb::chat::SplitSmileys(t))
            if (p.picture < -1 || p.picture >= orb::chat::kSmileyCount) std::abort();
    }
    void AddNoteRow(const orb::chat::TNoteRow&) override {}
    void ClearNotes() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orb::FakeClock clock;
    static orb::PlainEventLoop loop{clock};
    static orb::WindowHandle main = loop.RegisterWindow([](uint32_t, std::intptr_t, std::intptr_t) {});
    static TDM dm(loop, main);
    static NullView view;
    dm.ChatView = &view;
    dm.OwnUserId = 7;
    if (dm.Participants.Count() == 0) dm.Participants.AddUser(9, "Bea").level = 1000;
    if (size < 1) return 0;
    static const uint16_t kinds[] = {vkAnsiTextMessage, vkAnsiPrivateTextMessage, vkUserRequest, vkClearNotes,
                                     vkChatPermissionQuery, vkChatPermission, vkTextMessage, vkPrivateTextMessage};
    const uint16_t kind = kinds[data[0] % (sizeof kinds / sizeof kinds[0])];
    TVCRHeader h;
    InitVCRHeader(kind, 9, 0, h);
    h.bodyLength = int32_t(size - 1);
    dm.DispatchCommand(h, BuildPacketStream(h, data + 1, size - 1));
    loop.ProcessPending();

    std::u16string text((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
    orb::chat::TRtfWriter w;
    w.Text(text, data[0] & 1, 0x123456, data[0]);
    const std::string doc = w.Document();
    if (doc.find("\\rtf1") == std::string::npos) std::abort();
    return 0;
}
