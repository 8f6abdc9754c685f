// Two real clients in one room of the test room server, driven through XTest: the participant
// raises a hand, the moderator gives the microphone and promotes, the participant takes the floor;
// each step shows in the other's participant list (checked on the screen by its icons).

#include <thread>

#include "audio_test_util.h"
#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "wire/bytes.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
// Items of the row menu, as distances below the pressed point: "Promote the user to Moderator" and
// "Give this participant a microphone" (items of 22 pixels, separators of 2).
constexpr int kPromoteDy = 78;
constexpr int kGiveVoiceDy = 148;
// The "Actions" title in the main window's menu bar (File, Share Resources, Actions).
const QPoint kActionsMenu(180, 8);
// The participant list lies within this many pixels of the screen's left edge.
constexpr int kListWidth = 300;
const QColor kHand(0xf5, 0xc0, 0x80), kMikeAllowed(0x20, 0x60, 0xd0), kMikeSpeaking(0x10, 0xb0, 0x10);

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 20 && std::abs(a.green() - b.green()) < 20 && std::abs(a.blue() - b.blue()) < 20;
}

// The first pixel of a colour in the participant list (left panel, below the tool bars), scanning
// rows from the top.
std::optional<QPoint> FindColour(const QImage& img, const QColor& c, int maxX) {
    for (int y = 90; y < std::min(img.height(), 400); ++y)
        for (int x = 0; x < std::min(maxX, img.width()); ++x)
            if (Near(img.pixelColor(x, y), c)) return QPoint(x, y);
    return std::nullopt;
}

bool ColourIn(const QImage& img, const QRect& r, const QColor& c) {
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (Near(img.pixelColor(x, y), c)) return true;
    return false;
}

class ParticipantsE2E : public TEndToEnd {
protected:
    // Puts a client's main window on top and the pointer over it (the keyboard follows the pointer).
    void Front(TXDriver::Window w) {
        XRaiseWindow(x_.X(), w);
        XSetInputFocus(x_.X(), w, RevertToPointerRoot, CurrentTime);
        XSync(x_.X(), False);
        x_.MoveTo(kScreenWidth - 40, kScreenHeight / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Waits for a message of a kind from a connection whose first int32 (when given) is `value`.
    bool WaitForBody(int connection, uint16_t kind, std::optional<int32_t> value = std::nullopt) {
        return server_.WaitUntil([&] {
            for (auto& m : From(connection, kind)) {
                if (!value) return true;
                if (m.body.size() >= 4 && int32_t(LoadU32(m.body.data())) == *value) return true;
            }
            return false;
        }, kWaitMs);
    }
    // Waits until the screen shows `colour` in the rectangle.
    bool WaitForScreen(const QRect& r, const QColor& colour) {
        for (int waited = 0; waited < kWaitMs; waited += 200) {
            if (ColourIn(x_.Capture(), r, colour)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    // The pop-up menu of a row: right click on the row, then a click on the item `itemDy` pixels
    // below the pressed point (the menu opens there; its items are in a fixed order).
    void RowMenu(QPoint rowPoint, int itemDy, const std::string& shot, pid_t pid) {
        // The pop-up is a window of its own; a click that did not open it is repeated.
        for (int attempt = 0; attempt < 5; ++attempt) {
            x_.Click(rowPoint.x(), rowPoint.y(), 3);
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            if (x_.FindWindow([](const std::string& t) { return t == "Orbelo Live Browser"; }, pid)) break;
        }
        Screenshot(shot);
        x_.Click(rowPoint.x() + 60, rowPoint.y() + itemDy);
    }
};

}  // namespace

TEST_F(ParticipantsE2E, EachSeesTheOthersHandMicrophoneFloorAndPromotion) {
    // A client asks for the floor only with a microphone that works: file-backed sound devices.
    audiotest::TempDir sound;
    audiotest::WriteFile(sound.file("mic.raw"), std::vector<uint8_t>(32000, 0));
    audiotest::InstallAlsaConfig(sound, {{"mic", "Microphone", sound.file("mic.raw")}},
                                 {{"spk", "Speakers", sound.file("out.raw")}});
    StartRoomServer();
    TClientProcess* mod = StartClient("moderator", {JoinLink("moderator", "pw", kRoom)});
    ASSERT_TRUE(mod);
    const int modConnection = WaitForSignIn();
    ASSERT_NE(modConnection, 0);
    auto modMain = x_.WaitForTitle("Moderator Tester in a virtual session", mod->Pid(), kWaitMs);
    ASSERT_TRUE(modMain);
    ASSERT_TRUE(WaitFor(modConnection, vkRoomProfile));

    TClientProcess* ana = StartClient("ana", {JoinLink("ana", "pw", kRoom)});
    ASSERT_TRUE(ana);
    const int anaConnection = WaitForSignIn();
    ASSERT_NE(anaConnection, 0);
    auto anaMain = x_.WaitForTitle("Ana Tester in a virtual session", ana->Pid(), kWaitMs);
    ASSERT_TRUE(anaMain);
    ASSERT_TRUE(WaitFor(anaConnection, vkRoomProfile));
    ASSERT_TRUE(WaitForPainted(*anaMain));
    const int32_t anaId = server_.Connection(anaConnection)->userId;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the progress window goes
    Screenshot("e2e_participants_ana_joined");

    // Ana raises a hand from the Actions menu (its first command), clicked in the menu bar.
    Front(*anaMain);
    x_.Click(kActionsMenu.x(), kActionsMenu.y());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot("e2e_participants_actions_menu");
    x_.Click(kActionsMenu.x() + 30, kActionsMenu.y() + 21);
    ASSERT_TRUE(WaitForBody(anaConnection, vkUserFeedback, 1)) << "no raised hand sent";

    // The moderator's list shows Ana's hand.
    Front(*modMain);
    std::optional<QPoint> hand;
    for (int waited = 0; waited < kWaitMs && !hand; waited += 200) {
        hand = FindColour(x_.Capture(), kHand, kListWidth);
        if (!hand) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(hand) << "the moderator's list shows no raised hand";
    Screenshot("e2e_participants_hand_raised");
    // Columns from the gesture icon: the camera 17 and the microphone 34 to its right.
    const int rowTop = hand->y() - 8;
    const QRect anaMike(hand->x() - 8 + 34, rowTop, 20, 20);
    const QPoint anaRow(hand->x() - 120, rowTop + 10);

    // The moderator gives Ana the microphone from the row's pop-up menu.
    RowMenu(anaRow, kGiveVoiceDy, "e2e_participants_row_menu", mod->Pid());
    ASSERT_TRUE(WaitForBody(modConnection, vkGiveMicrophone, anaId)) << "no microphone given";
    EXPECT_TRUE(WaitForScreen(anaMike, kMikeAllowed)) << "Ana's row shows no microphone";
    Screenshot("e2e_participants_microphone_given");

    // Ana takes the floor (F3); the moderator's list shows her speaking.
    Front(*anaMain);
    x_.Key(XK_F3);
    ASSERT_TRUE(WaitFor(anaConnection, vkTakeMicrophone)) << "no floor request";
    Front(*modMain);
    std::optional<QPoint> speaking;
    for (int waited = 0; waited < kWaitMs && !speaking; waited += 200) {
        speaking = FindColour(x_.Capture(), kMikeSpeaking, kListWidth);
        if (!speaking) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(speaking) << "the moderator's list shows nobody speaking";
    Screenshot("e2e_participants_speaking");

    // The moderator promotes Ana (the speaker now heads the list: find her row again by her hand).
    // The gesture icon blinks: look again until a picture shows it.
    hand.reset();
    for (int waited = 0; waited < kWaitMs && !hand; waited += 100) {
        hand = FindColour(x_.Capture(), kHand, kListWidth);
        if (!hand) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(hand);
    RowMenu(QPoint(40, hand->y() + 4), kPromoteDy, "e2e_participants_row_menu_promote", mod->Pid());
    ASSERT_TRUE(WaitForBody(modConnection, vkUserLevel, anaId)) << "no promotion sent";
    EXPECT_TRUE(server_.WaitUntil([&] { return !server_.SentOfKind(anaConnection, vkUserLevel).empty(); }, kWaitMs));
    Front(*anaMain);
    Screenshot("e2e_participants_promoted_ana");

    // The moderator expands Ana's row: her picture comes from the room's web site into the row.
    Front(*modMain);
    const QImage before = x_.Capture();
    hand = FindColour(before, kHand, kListWidth);
    ASSERT_TRUE(hand);
    x_.Click(40, hand->y() + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    x_.Click(40, hand->y() + 4);
    // The test server's pictures show a face of this colour.
    EXPECT_TRUE(WaitForScreen(QRect(0, hand->y(), kScreenWidth / 4, 90), QColor(245, 210, 170)))
        << "no picture in the expanded row";
    Screenshot("e2e_participants_expanded_picture");
}
