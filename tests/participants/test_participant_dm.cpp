// The participant handlers of the data module, fed messages directly (no connection).

#include <gtest/gtest.h>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"

using namespace orb;

namespace {

constexpr WindowHandle kMain = 900;
constexpr int32_t kOwn = 10, kMod = 20, kAna = 30;

std::vector<uint8_t> UserRecord(int32_t id, const std::string& name, int32_t level = 1, const std::string& first = {}) {
    TUserInfo u;
    u.SetUserId(id);
    u.SetDisplayName(name);
    u.SetFirstName(first);
    u.SetLevel(level);
    return {u.raw.begin(), u.raw.end()};
}

std::vector<uint8_t> Rights(int32_t id, uint8_t mic, uint8_t cam, uint8_t board, int32_t motion = 0) {
    std::vector<uint8_t> r(15, 0);
    StoreU32(r.data(), uint32_t(id));
    r[5] = mic, r[6] = cam, r[7] = board;
    StoreU32(r.data() + 9, uint32_t(motion));
    return r;
}

std::vector<uint8_t> I32s(std::initializer_list<int32_t> v) {
    std::vector<uint8_t> b;
    ByteWriter w(b);
    for (int32_t x : v) w.i32(x);
    return b;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ParticipantDm : public ::testing::Test {
protected:
    ParticipantDm() {
        dm.OwnUserId = kOwn;
        auto& h = dm.ParticipantHooks;
        h.AddNotice = [this](const std::string& who, const std::string& text, uint32_t colour) {
            notices.push_back(who + "|" + text + "|" + std::to_string(colour));
        };
        h.Beep = [this](int f, int ms) { beeps.push_back({f, ms}); };
        h.ShowInformation = [this](const std::string& t) { infos.push_back(t); };
        h.SetParticipantsCaption = [this](const std::string& t) { caption = t; };
        h.BoardRightsChanged = [this](bool reset) { boardResets += reset; };
        dm.RoomHooks.SetTransmit = [this](bool on) { transmit.push_back(on); };
        // The room as the user list gives it: this user, a moderator and a participant.
        Dispatch(vkUserList, 0, I32s({3}) + std::vector<uint8_t>(757, 0) + UserRecord(kOwn, "Me") +
                                    UserRecord(kMod, "Teacher", 1000) + UserRecord(kAna, "Ana"));
        loop.ProcessPending();
        loop.TakeLog();
    }
    void Dispatch(uint16_t kind, int32_t sender, const std::vector<uint8_t>& body = {}, uint16_t result = 0) {
        TVCRHeader h;
        InitVCRHeader(kind, sender, 1002, h);
        h.result = result;
        h.bodyLength = int32_t(body.size());
        std::vector<uint8_t> stream = BuildPacketStream(h, body.data(), body.size());
        dm.DispatchCommand(h, stream);
    }
    std::vector<PostedMessage> Posts(uint32_t msg) {
        loop.ProcessPending();
        std::vector<PostedMessage> out;
        for (auto& m : loop.Log())
            if (m.msg == msg) out.push_back(m);
        return out;
    }

    PlainEventLoop loop;
    TDM dm{loop, kMain};
    std::vector<std::string> notices, infos;
    std::vector<std::pair<int, int>> beeps;
    std::vector<bool> transmit;
    std::string caption;
    int boardResets = 0;
};

}  // namespace

TEST_F(ParticipantDm, UserListCountsNeverExceedTheRecordsThatFollow) {
    EXPECT_EQ(dm.Participants.Count(), 3u);
    EXPECT_EQ(caption, " Participants [3]");
    EXPECT_EQ(dm.Participants.Row(0).userId, kMod);
    struct Case {
        int32_t count;
        size_t records;
        size_t rows;
    } cases[] = {{5, 2, 2}, {-1, 2, 0}, {0, 0, 0}, {INT32_MAX, 1, 1}, {2, 3, 2}};
    for (const Case& c : cases) {
        std::vector<uint8_t> body = I32s({c.count}) + std::vector<uint8_t>(757, 0);
        for (size_t i = 0; i < c.records; ++i) body = body + UserRecord(int32_t(100 + i), "U");
        body.resize(body.size() + 100);  // a torn record at the end
        Dispatch(vkUserList, 0, body);
        EXPECT_EQ(dm.Participants.Count(), c.rows) << c.count;
    }
    // A body shorter than the count block changes nothing.
    Dispatch(vkUserList, 0, I32s({1}));
    EXPECT_EQ(dm.Participants.Count(), 2u);
}

TEST_F(ParticipantDm, JoinsAndLeaves) {
    dm.BeepOnUserConnect = dm.BeepOnUserDisconnect = true;
    Dispatch(vkUserJoinedEx, 40, UserRecord(40, "Bo <b>") + Rights(40, 2, 0, 1, kMotionHand));
    const TParticipantRow* bo = dm.Participants.FindUser(40);
    EXPECT_TRUE(bo->maySpeak);
    EXPECT_TRUE(bo->boardRight);
    EXPECT_EQ(bo->handOrder, 1);
    Dispatch(vkUserJoined, 40, UserRecord(40, "Bo <b>"));  // again: updated in place
    ASSERT_EQ(dm.Participants.Count(), 4u);
    EXPECT_EQ(dm.Participants.FindUser(40), bo);
    EXPECT_EQ(dm.Participants.HandsCount(), 1);
    EXPECT_EQ(notices.at(0), "System|\xC2\xBB Bo <b> joined the session|0");
    EXPECT_EQ(beeps.at(0), std::make_pair(3000, 300));
    // Rights in a join that name another user are not applied.
    Dispatch(vkUserJoinedEx, 41, UserRecord(41, "Cy") + Rights(kOwn, 2, 2, 1));
    EXPECT_FALSE(dm.Room.VoiceRight);

    Dispatch(vkUserLeft, 40);
    EXPECT_EQ(dm.Participants.FindUser(40), nullptr);
    EXPECT_EQ(dm.Participants.HandsCount(), 0);
    EXPECT_EQ(notices.back(), "System|\xC2\xAB Bo <b> left the session|0");
    EXPECT_EQ(beeps.back(), std::make_pair(10000, 300));
    EXPECT_EQ(caption, " Participants [4]");
    Dispatch(vkUserLeft, 999);  // unknown: no notice
    EXPECT_EQ(notices.size(), 4u);

    // Notices name a user as the chat does: first name, and the moderator's mark.
    Dispatch(vkUserJoined, 42, UserRecord(42, "Dora Day", 1000, "Dora"));
    Dispatch(vkUserLeft, 42);
    EXPECT_EQ(notices.at(4), "System|\xC2\xBB Dora (Moderator) joined the session|0");
    EXPECT_EQ(notices.at(5), "System|\xC2\xAB Dora (Moderator) left the session|0");
}

// A request of type 4..9 as the moderator's window shows it: the icon each slot paints, the hand
// number, and the counters under the list, all read from the list the window draws.
TEST_F(ParticipantDm, RequestsShowOnTheSendersRow) {
    Dispatch(vkUserJoined, 40, UserRecord(40, "Bo"));
    auto request = [&](int32_t from, uint8_t type) {
        TRequestInfo r;
        r.senderId = from;
        r.requestType = type;
        ByteWriter w;
        r.Encode(w);
        Dispatch(vkUserRequest, from, w.buffer());
    };
    const TMikeCamIcons& icons = dm.Participants.Icons;
    auto painted = [&](int32_t user) {
        const TParticipantRow& r = *dm.Participants.FindUser(user);
        return std::array<int32_t, 4>{r.gestureVisible ? r.gestureIcon : -1, r.handOrder,
                                      r.mikeVisible ? MikeIcon(icons, r.mikeState) : -1,
                                      r.camVisible ? CamIcon(icons, r.camState) : -1};
    };
    struct Step {
        int32_t from;
        uint8_t type;  // 36: the moderator clears the motions
        std::array<int32_t, 4> ana;  // gesture, hand number, microphone, camera
        int32_t boHand, hands;
    } steps[] = {
        {kAna, 4, {kIconHand, 1, 50, -1}, 0, 1},
        {40, 4, {kIconHand, 1, 50, -1}, 2, 2},
        {kAna, 4, {-1, 0, 50, -1}, 1, 1},       // lowered: Bo moves up to 1
        {kAna, 6, {kIconApplause, 0, 50, -1}, 1, 1},
        {kAna, 6, {-1, 0, 50, -1}, 1, 1},
        {kAna, 7, {kIconSmile, 0, 50, -1}, 1, 1},
        {kAna, 7, {-1, 0, 50, -1}, 1, 1},
        {kAna, 8, {-1, 0, 12, -1}, 1, 1},       // a forbidden microphone is requested
        {kAna, 9, {-1, 0, 12, 46}, 1, 1},
        {kMod, 36, {-1, 0, -1, -1}, 0, 0},      // cleared: no hands, no requests
        {kAna, 8, {-1, 0, 12, -1}, 0, 0},       // requested again after the clear
        {kAna, 9, {-1, 0, 12, 46}, 0, 0},
        {kAna, 4, {kIconHand, 1, 12, 46}, 0, 1},
        {kAna, 8, {kIconHand, 1, -1, 46}, 0, 1},  // withdrawn
        {kAna, 9, {kIconHand, 1, -1, -1}, 0, 1},
        {kAna, 5, {kIconHand, 1, -1, -1}, 0, 1},  // no action of its own
    };
    for (const Step& step : steps) {
        const std::string where = std::to_string(step.from) + "/" + std::to_string(step.type);
        if (step.type == 36) Dispatch(vkClearMotions, step.from);
        else request(step.from, step.type);
        EXPECT_EQ(painted(kAna), step.ana) << where;
        EXPECT_EQ(dm.Participants.FindUser(40)->handOrder, step.boHand) << where;
        EXPECT_EQ(dm.Participants.HandsCount(), step.hands) << where;
        if (step.type != 36) {
            const auto posted = Posts(WM_APP_USERLISTCHANGED);
            ASSERT_FALSE(posted.empty());
            EXPECT_EQ(std::make_pair(posted.back().wParam, posted.back().lParam),
                      std::make_pair(std::intptr_t(step.type), std::intptr_t(step.from))) << where;
        }
    }
    request(999, 4);  // nobody's row
    EXPECT_EQ(dm.Participants.HandsCount(), 1);
}

TEST_F(ParticipantDm, RightsComeOnlyFromTheServerOrAModerator) {
    // 31 bytes: two records, the last byte ignored.
    Dispatch(vkUserRights, 0, Rights(kOwn, 2, 2, 1) + Rights(kAna, 1, 1, 0, kMotionYes) + std::vector<uint8_t>{7});
    EXPECT_TRUE(dm.Room.VoiceRight);
    EXPECT_TRUE(dm.Room.VideoRight);
    EXPECT_TRUE(dm.BoardRight);
    EXPECT_EQ(dm.Participants.FindUser(kAna)->mikeState, msRequested);
    EXPECT_EQ(dm.Participants.PositiveCount(), 1);
    EXPECT_EQ(Posts(WM_APP_USERLISTCHANGED).size(), 1u);

    // A participant's forged rights, level, removal and floor rights change nothing.
    Dispatch(vkUserRights, kAna, Rights(kOwn, 3, 3, 0));
    Dispatch(vkRevokeMicrophone, kAna, I32s({kOwn}));
    Dispatch(vkRevokeBoard, kAna, I32s({kOwn}));
    Dispatch(vkUserLevel, kAna, I32s({kAna, 1000}));
    Dispatch(vkKickUser, kAna, I32s({kOwn}) + std::vector<uint8_t>(50, 0));
    Dispatch(vkClearMotions, kAna);
    EXPECT_TRUE(dm.Room.VoiceRight);
    EXPECT_TRUE(dm.BoardRight);
    EXPECT_EQ(dm.Participants.PositiveCount(), 1);
    for (uint32_t m : {WM_APP_VOICERIGHT, WM_APP_USERLEVEL, WM_APP_KICKED}) EXPECT_TRUE(Posts(m).empty());

    // The moderator's take effect; a board change for another user still resets the own tool.
    Dispatch(vkRevokeMicrophone, kMod, I32s({kOwn}));
    Dispatch(vkRevokeBoard, kMod, I32s({kAna}));
    Dispatch(vkUserLevel, kMod, I32s({kAna, 1000}));
    EXPECT_FALSE(dm.Room.VoiceRight);
    EXPECT_TRUE(dm.BoardRight);
    EXPECT_EQ(boardResets, 1);
    ASSERT_EQ(Posts(WM_APP_VOICERIGHT).size(), 1u);
    EXPECT_EQ(Posts(WM_APP_VOICERIGHT)[0].wParam, 1);
    EXPECT_EQ(Posts(WM_APP_VOICERIGHT)[0].lParam, kOwn);
    EXPECT_EQ(Posts(WM_APP_USERLEVEL).at(0).lParam, 1000);
    Dispatch(vkClearMotions, kMod);
    EXPECT_EQ(dm.Participants.PositiveCount(), 0);
    EXPECT_EQ(dm.Participants.FindUser(kAna)->mikeState, msNone);

    // In playback everybody may speak: a forbidden microphone shows as allowed.
    dm.PlaybackMode = true;
    Dispatch(vkUserRights, 0, Rights(kAna, 3, 4, 0));
    EXPECT_EQ(dm.Participants.FindUser(kAna)->mikeState, msAllowed);
    EXPECT_EQ(dm.Participants.FindUser(kAna)->camState, csNone);
}

TEST_F(ParticipantDm, RemovalNamesThisUser) {
    std::vector<uint8_t> reason(50, 0);
    reason[0] = 255;  // clamped to the 49 bytes of the field
    std::fill(reason.begin() + 1, reason.end(), 'x');
    Dispatch(vkKickUser, kMod, I32s({kAna}) + reason);
    EXPECT_TRUE(Posts(WM_APP_KICKED).empty());
    Dispatch(vkKickUser, kMod, I32s({kOwn}) + reason);
    ASSERT_EQ(Posts(WM_APP_KICKED).size(), 1u);
    EXPECT_EQ(Posts(WM_APP_KICKED)[0].wParam, kMod);
    EXPECT_EQ(dm.Room.KickReason, std::string(49, 'x'));
    Dispatch(vkKickUser, 0, I32s({kOwn}));  // short: nothing
    EXPECT_EQ(Posts(WM_APP_KICKED).size(), 1u);
}

TEST_F(ParticipantDm, FloorAnswers) {
    Dispatch(vkTakeMicrophone, kAna);
    Dispatch(vkTakeMicrophone, kOwn);
    EXPECT_TRUE(dm.Room.SpeakOn);
    EXPECT_TRUE(dm.Transmitting);
    Dispatch(vkReleaseMicrophone, kOwn);
    EXPECT_FALSE(dm.Room.SpeakOn);
    EXPECT_FALSE(dm.Transmitting);
    EXPECT_EQ(transmit, (std::vector<bool>{true, false}));
    auto speaking = Posts(WM_APP_USERSPEAKING);
    ASSERT_EQ(speaking.size(), 3u);
    EXPECT_EQ(std::make_pair(speaking[0].wParam, speaking[0].lParam), std::make_pair(std::intptr_t(kAna), std::intptr_t(1)));
    EXPECT_EQ(std::make_pair(speaking[2].wParam, speaking[2].lParam), std::make_pair(std::intptr_t(kOwn), std::intptr_t(0)));
    EXPECT_EQ(Posts(WM_APP_SPEAKERLEVEL).size(), 1u);

    // No free microphone: a box without the keyboard hook, chat lines with it.
    Dispatch(vkTakeMicrophone, kOwn, {}, 54);
    EXPECT_EQ(infos.back(), "No more free microphones. Please wait for a microphone and try later.");
    dm.HookInstalled = true;
    dm.OwnLoginInfo.SetLevel(1000);
    Dispatch(vkTakeMicrophone, kOwn, {}, 54);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].substr(0, 6), "Audio|");
    EXPECT_EQ(notices[1].substr(notices[1].size() - 9), "|16711680");
    Dispatch(vkTakeMicrophone, kOwn, {}, 33);
    EXPECT_EQ(Posts(WM_APP_SHOWERROR).back().lParam, 33);
    EXPECT_FALSE(dm.Transmitting);
    // Another user's floor is always news for the window, whatever its result says.
    Dispatch(vkTakeMicrophone, kMod, {}, 33);
    EXPECT_EQ(std::make_pair(Posts(WM_APP_USERSPEAKING).back().wParam, Posts(WM_APP_USERSPEAKING).back().lParam),
              std::make_pair(std::intptr_t(kMod), std::intptr_t(1)));
}

TEST_F(ParticipantDm, MotionsTypingPresenceAndAcknowledge) {
    dm.BeepOnUserMotions = true;
    Dispatch(vkUserFeedback, kAna, I32s({kMotionHand | kMotionSmile}));
    EXPECT_EQ(dm.Participants.HandsCount(), 1);
    EXPECT_EQ(beeps.size(), 1u);
    Dispatch(vkUserFeedback, kAna, I32s({0}));
    EXPECT_EQ(dm.Participants.HandsCount(), 0);
    EXPECT_EQ(beeps.size(), 1u);  // lowering does not beep
    EXPECT_EQ(Posts(WM_APP_USERLISTCHANGED).back().lParam, kAna);
    Dispatch(vkTypingState, kAna, I32s({1}));
    Dispatch(vkAcknowledge, kAna);
    Dispatch(vkPresence, kAna, {1});
    const TParticipantRow* ana = dm.Participants.FindUser(kAna);
    EXPECT_EQ(ana->typingState, 1);
    EXPECT_EQ(ana->statusIcon, kIconAcknowledged);
    EXPECT_EQ(Posts(WM_APP_USERSTATUS).at(0).lParam, 1);
}
