// Two clients in one room of the test room server: each sees the other's row change as that one
// raises a hand, is given the microphone, takes the floor, is promoted and is removed; and user
// pictures come from the room's web site.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "main/main_controller.h"
#include "support/null_main_view.h"
#include "protocol/wm_app.h"
#include "roomserver/extensions.h"

using namespace orb;
using namespace orb::test;

namespace {

class FakeMainView final : public orb::test::TNullMainView {
public:
    void ShowError(const std::string& t) override { boxes.push_back(t); }
    void ShowWarning(const std::string& t) override { boxes.push_back(t); }
    void ShowInformation(const std::string& t) override { boxes.push_back(t); }
    int ScreenHeight() const override { return 1080; }
    void CloseWithoutQuestion() override { closed = true; }
    void AddChatLine(const std::string&, const std::string& text, uint32_t, bool) override { chat.push_back(text); }
    bool IsMaximized() const override { return true; }
    void SetMotionCounts(int h, int, int) override { hands = h; }

    std::vector<std::string> boxes, chat;
    bool closed = false;
    int hands = -1;
};

// One client: the data module, the main window's controller and a view that records.
struct Client {
    Client(PlainEventLoop& loop, uint16_t port, const std::string& user, const std::string& folder)
        : window(loop.RegisterWindow([this](uint32_t m, std::intptr_t w, std::intptr_t l) {
              posted.push_back({0, m, w, l, 0});
              if (controller) controller->HandleMessage(m, w, l);
          })),
          dm(loop, window) {
        dm.ServerHost = "127.0.0.1";
        dm.ServerPort = port;
        dm.ProgramFolder = folder + "/";
        dm.UserImagesFolder = folder + "/";
        dm.ConnectionSpeed = 1'000'000;
        dm.OwnLoginInfo.SetUserName(user);
        dm.OwnLoginInfo.SetPassword("pw");
        dm.RoomHooks.SetTransmit = [this](bool on) { transmit.push_back(on); };
        controller = std::make_unique<TMainController>(dm, settings, view, window);
    }
    ~Client() {
        controller.reset();
        dm.LeaveSession();
    }
    const TParticipantRow* Row(int32_t id) const { return dm.Participants.FindUser(id); }

    WindowHandle window;
    std::vector<PostedMessage> posted;
    TDM dm;
    Settings settings;
    FakeMainView view;
    std::unique_ptr<TMainController> controller;
    std::vector<bool> transmit;
};

class TwoClients : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("orb-participants-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_ / "mod");
        std::filesystem::create_directories(folder_ / "ana");
        ASSERT_TRUE(room_.server.Start());
        mod_ = std::make_unique<Client>(loop_, room_.server.Port(), "moderator", (folder_ / "mod").string());
        ana_ = std::make_unique<Client>(loop_, room_.server.Port(), "ana", (folder_ / "ana").string());
        for (Client* c : {mod_.get(), ana_.get()}) {
            ASSERT_TRUE(c->dm.StartSession());
            ASSERT_TRUE(c->dm.SendEnterRoom(1002));
            ASSERT_TRUE(loop_.RunUntil([c] { return c->dm.Room.InRoom; }));
        }
        modId_ = mod_->dm.OwnUserId;
        anaId_ = ana_->dm.OwnUserId;
        // Both lists hold both users, and the room profile has arrived.
        ASSERT_TRUE(Until([&] {
            return mod_->Row(anaId_) && ana_->Row(modId_) && ana_->Row(anaId_) && mod_->Row(modId_) &&
                   !mod_->dm.RoomProfile.WebBase().empty();
        }));
    }
    void TearDown() override {
        ana_.reset();
        mod_.reset();
        std::filesystem::remove_all(folder_);
    }
    bool Until(const std::function<bool()>& pred) { return loop_.RunUntil(pred, 10000); }

    PlainEventLoop loop_;
    TTestRoom room_{[] {
        TRoomHandshakeScript script;
        script.perLoginAccounts = true;
        return script;
    }()};
    std::filesystem::path folder_;
    std::unique_ptr<Client> mod_, ana_;
    int32_t modId_ = 0, anaId_ = 0;
};

}  // namespace

TEST_F(TwoClients, RowsFollowHandFloorPromotionAndRemoval) {
    EXPECT_EQ(mod_->Row(modId_)->role, urModerator);
    EXPECT_EQ(mod_->Row(anaId_)->mikeState, msNone);  // as the rights record says
    EXPECT_EQ(ana_->dm.Participants.Row(0).userId, modId_);  // moderators on top

    // A hand goes up and is counted and numbered on both sides.
    ASSERT_TRUE(ana_->dm.SendUserFeedback(kMotionHand));
    ASSERT_TRUE(Until([&] { return mod_->Row(anaId_)->handOrder == 1 && ana_->Row(anaId_)->HandRaised(); }));
    EXPECT_EQ(mod_->dm.Participants.HandsCount(), 1);
    EXPECT_TRUE(Until([&] { return mod_->view.hands == 1; }));

    // A participant's forged rights change nothing: the server and the clients drop them.
    ASSERT_TRUE(ana_->dm.SendRightChange(false, true, modId_));
    ASSERT_TRUE(ana_->dm.SendKickUser(modId_, "forged"));

    // The moderator gives the microphone; the participant takes the floor.
    ASSERT_TRUE(mod_->dm.SendRightChange(true, true, anaId_));
    ASSERT_TRUE(Until([&] { return ana_->dm.Room.VoiceRight && mod_->Row(anaId_)->mikeState == msAllowed; }));
    ana_->controller->SpeakToggle();
    ASSERT_TRUE(Until([&] {
        return ana_->Row(anaId_)->mikeState == msSpeaking && mod_->Row(anaId_)->mikeState == msSpeaking;
    }));
    EXPECT_TRUE(ana_->dm.Transmitting);
    EXPECT_EQ(mod_->dm.Participants.Row(0).userId, anaId_);  // the speaker moves to the top
    ana_->controller->SpeakToggle();
    // Sending stops when the floor is given back, and again when the server confirms it.
    ASSERT_TRUE(Until([&] {
        return mod_->Row(anaId_)->mikeState == msAllowed && ana_->Row(anaId_)->mikeState == msAllowed &&
               ana_->transmit.size() == 3;
    }));
    EXPECT_EQ(ana_->transmit, (std::vector<bool>{true, false, false}));
    EXPECT_FALSE(ana_->dm.Transmitting);

    // Promotion reaches both lists and the promoted user's own rights.
    ASSERT_TRUE(mod_->dm.SendUserLevel(anaId_, 1000));
    ASSERT_TRUE(Until([&] { return mod_->Row(anaId_)->role == urModerator && ana_->dm.IsModerator(); }));
    EXPECT_TRUE(ana_->dm.BoardRight);
    EXPECT_EQ(mod_->Row(modId_)->mikeState, msAllowed);  // the forged revoke did not land
    EXPECT_FALSE(mod_->view.closed);

    // Removal: the removed user is told who removed it and why, and the window closes.
    ASSERT_TRUE(mod_->dm.SendKickUser(anaId_, "  Time is up  "));
    ASSERT_TRUE(Until([&] { return ana_->view.closed; }));
    ASSERT_FALSE(ana_->view.boxes.empty());
    EXPECT_EQ(ana_->view.boxes.back(), "You've just been removed from the session by Moderator Tester\r\nReason: Time is up");
}

TEST_F(TwoClients, PicturesComeFromTheRoomsWebSiteToTheWindowThatAsked) {
    std::vector<PostedMessage> card;
    const WindowHandle cardWindow = loop_.RegisterWindow([&](uint32_t m, std::intptr_t w, std::intptr_t l) {
        card.push_back({0, m, w, l, 0});
    });
    EXPECT_EQ(mod_->dm.RoomProfile.WebBase(), "http://127.0.0.1:" + std::to_string(room_.server.PortOf("userimages")));
    ASSERT_TRUE(mod_->dm.DownloadUserImage(anaId_, cardWindow, WM_APP_DOWNLOADDONE));
    ASSERT_TRUE(Until([&] { return !card.empty(); }));
    EXPECT_EQ(card[0].msg, WM_APP_DOWNLOADDONE);
    EXPECT_EQ(card[0].wParam, anaId_);
    EXPECT_EQ(card[0].lParam, 0);
    std::ifstream f(folder_ / "mod" / (std::to_string(anaId_) + ".jpg"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
    // The main window heard nothing of it, and no board message either.
    for (const PostedMessage& m : mod_->posted) {
        EXPECT_NE(m.msg, WM_APP_DOWNLOADDONE);
        EXPECT_NE(m.msg, WM_APP_BOARDUPDATED);
    }
    // A base that is not a web address fetches nothing.
    mod_->dm.RoomProfile.SetWebBase("file:///etc");
    EXPECT_FALSE(mod_->dm.DownloadUserImage(anaId_, cardWindow, WM_APP_DOWNLOADDONE));
    mod_->dm.Transfers.StopAll();
}

// Every room message the windows and commands send about participants, chat and requests is
// built by one data-module sender; its bytes against the record tables, written out here by hand.
TEST(ParticipantSenders, BytesOfEachSender) {
    TRoomServer server;
    ASSERT_TRUE(server.Start());
    PlainEventLoop loop;
    TDM dm(loop, 900);
    dm.OwnUserId = 0x0A0B0C0D;
    dm.OwnRoom = 1002;
    ASSERT_TRUE(dm.vcrClient.Connect("127.0.0.1", server.Port(), 20000));
    dm.StartWriterThread(1'000'000);
    using Bytes = std::vector<uint8_t>;
    auto zeros = [](size_t n) { return Bytes(n, 0); };
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const Bytes user{0x04, 0x03, 0x02, 0x01};  // 0x01020304
    const int32_t kUser = 0x01020304;
    Bytes kick = cat({user, {49}, Bytes(49, 'r')});
    // A text record without text: the 18-byte head alone, N = 0.
    const Bytes emptyText = cat({{0x0D, 0x0C, 0x0B, 0x0A}, user, {0xEA, 0x03}, zeros(8)});
    struct Case {
        const char* name;
        std::function<bool()> send;
        uint16_t kind;
        Bytes body;
    } cases[] = {
        {"give microphone", [&] { return dm.SendRightChange(true, true, kUser); }, 41, user},
        {"give board", [&] { return dm.SendRightChange(true, false, kUser); }, 42, user},
        {"take microphone", [&] { return dm.SendRightChange(false, true, kUser); }, 43, user},
        {"take board", [&] { return dm.SendRightChange(false, false, kUser); }, 44, user},
        {"kick", [&] { return dm.SendKickUser(kUser, "  " + std::string(60, 'r') + " "); }, 60, kick},
        {"presence", [&] { return dm.SendPresence(2); }, 64, {2}},
        {"level", [&] { return dm.SendUserLevel(kUser, 1000); }, 99, cat({user, {0xE8, 0x03, 0, 0}})},
        {"feedback", [&] { return dm.SendUserFeedback(16); }, 117, {16, 0, 0, 0}},
        {"typing", [&] { return dm.SendTypingState(1); }, 151, {1, 0, 0, 0}},
        {"acknowledge", [&] { return dm.SendAcknowledge(kUser); }, 55, user},
        {"clear motions", [&] { return dm.SendClearMotions(); }, 36, {}},
        {"clear notes", [&] { return dm.SendClearNotes(); }, 37, {}},
        {"notes switch", [&] { return dm.SendNotesSwitch(true); }, 138, {1, 0, 0, 0}},
        {"chat permission", [&] { return dm.SendChatPermission(3); }, 129, {3, 0, 0, 0}},
        {"empty text", [&] {
             const std::u16string none[] = {u""};
             return dm.SendTextRecord(dm.OwnUserId, kUser, none, 1002, 0);
         }, 130, emptyText},
        {"video port", [&] { return dm.SendVideoPortRequest(); }, 113, {}},
        {"image list", [&] { return dm.SendBoardImageListRequest(); }, 20, {}},
        {"presentation list", [&] { return dm.SendPresentationListRequest(); }, 49, {}},
    };
    for (const Case& c : cases) {
        server.ClearReceived();
        ASSERT_TRUE(c.send()) << c.name;
        ASSERT_TRUE(server.WaitForKind(c.kind)) << c.name;
        const TReceivedMessage m = server.ReceivedOfKind(c.kind).at(0);
        EXPECT_EQ(m.header.sender, dm.OwnUserId) << c.name;
        EXPECT_EQ(m.header.room, 1002) << c.name;
        EXPECT_EQ(m.header.bodyLength, int32_t(c.body.size())) << c.name;
        EXPECT_EQ(m.body, c.body) << c.name;
    }

    // Nobody, and this user's own push, are not acknowledged.
    EXPECT_FALSE(dm.SendAcknowledge(0));
    EXPECT_FALSE(dm.SendAcknowledge(dm.OwnUserId));

    // A request from the menus: the first carries sequence 1, no text, flag 0.
    server.ClearReceived();
    ASSERT_TRUE(dm.SendUserRequest(0, 9));
    ASSERT_TRUE(server.WaitForKind(vkUserRequest));
    const Bytes r = server.ReceivedOfKind(vkUserRequest).at(0).body;
    ASSERT_EQ(r.size(), 221u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 10), cat({{1, 0}, {0x0D, 0x0C, 0x0B, 0x0A}, zeros(4)}));
    EXPECT_EQ(Bytes(r.begin() + 18, r.end()), cat({{9}, zeros(202)}));

    // A check to everybody: no question, no answers.
    server.ClearReceived();
    ASSERT_TRUE(dm.SendPoll(0, 0, "", false, false, 0));
    ASSERT_TRUE(server.WaitForKind(vkPoll));
    const Bytes p = server.ReceivedOfKind(vkPoll).at(0).body;
    ASSERT_EQ(p.size(), 221u);
    EXPECT_EQ(Bytes(p.begin() + 4, p.end()), cat({{0x0D, 0x0C, 0x0B, 0x0A}, zeros(213)}));
    dm.StopWriterThread();
}
