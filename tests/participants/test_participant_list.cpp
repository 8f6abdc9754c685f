// The participant list without a window: records, counters, hand queue, sort modes and timers.

#include <gtest/gtest.h>

#include "loop/plain_event_loop.h"
#include "participants/participant_list.h"
#include "wire/bytes.h"

using namespace orb;

namespace {

TUserInfo Info(int32_t id, const std::string& name, int32_t level = 1, int32_t offset = 0) {
    TUserInfo u;
    u.SetUserId(id);
    u.SetDisplayName(name);
    u.SetLevel(level);
    u.SetGmtOffset(offset);
    return u;
}

std::vector<int32_t> Order(const TParticipantList& l) {
    std::vector<int32_t> ids;
    for (size_t i = 0; i < l.Count(); ++i) ids.push_back(l.Row(i).userId);
    return ids;
}

std::vector<int32_t> Hands(TParticipantList& l, std::initializer_list<int32_t> ids) {
    std::vector<int32_t> out;
    for (int32_t id : ids) out.push_back(l.FindUser(id)->handOrder);
    return out;
}

}  // namespace

TEST(UserInfo, HostileRecordsDecodeSafely) {
    // Short bodies fail without touching the output.
    std::vector<uint8_t> bytes(TUserInfo::kSize - 1, 0);
    ByteReader shortReader(bytes);
    TUserInfo out = Info(7, "kept");
    EXPECT_FALSE(TUserInfo::Decode(shortReader, out));
    EXPECT_EQ(out.DisplayName(), "kept");

    // Length bytes of 255 are clamped to each field, and a clamp never leaves half a character.
    bytes.assign(TUserInfo::kSize, 0);
    for (size_t off : {size_t(4), size_t(25), size_t(154), size_t(283), size_t(342), size_t(354), size_t(455), size_t(584)})
        bytes[off] = 255;
    for (size_t i = 26; i < 26 + 126; i += 2) bytes[i] = 0xD0, bytes[i + 1] = 0x96;  // "Ж" * 63
    bytes[152] = 0xE4, bytes[153] = 0xB8;  // a three-byte character cut by the field's end
    ByteReader r(bytes);
    ASSERT_TRUE(TUserInfo::Decode(r, out));
    EXPECT_EQ(out.FirstName().size(), 20u);
    EXPECT_EQ(out.DisplayName().size(), 126u);
    EXPECT_EQ(out.DisplayName().substr(0, 4), "\xD0\x96\xD0\x96");
    EXPECT_EQ(out.Gender().size(), 11u);
    EXPECT_EQ(out.Languages().size(), 112u);

    // Written names keep whole characters too.
    TUserInfo w;
    w.SetDisplayName(std::string(200, 'a') + "\xE4\xB8\xAD");
    EXPECT_EQ(w.DisplayName(), std::string(128, 'a'));
    w.SetFirstName("\xE5\xBC\xA0\xE4\xB8\x89\xE5\xBC\xA0\xE4\xB8\x89\xE5\xBC\xA0\xE4\xB8\x89\xE5\xBC\xA0");  // 7 CJK chars
    EXPECT_EQ(w.FirstName().size(), 18u);
}

TEST(UserInfo, OffsetsOfRealTimeZonesAreKept) {
    struct Case {
        int32_t in, kept;
    } cases[] = {{-840, -840}, {720, 720}, {-780, -780}, {-120, -120}, {721, 0}, {-841, 0}, {800, 0}, {INT32_MIN, 0}};
    for (const Case& c : cases) {
        TParticipantList l;
        TParticipantRow& row = l.RenderUserNode(Info(1, "A", 1, c.in), {});
        EXPECT_EQ(row.gmtOffset, c.kept) << c.in;
        EXPECT_EQ(row.info.GmtOffset(), c.kept) << c.in;
    }
    EXPECT_EQ(UserTimeText(45000.5, -120), "User Time is: 14:00 (GMT+2:00)");
    EXPECT_EQ(UserTimeText(45000.5, 330), "User Time is: 06:30 (GMT-5:30)");
    EXPECT_EQ(UserTimeText(45000.5, 0), "User Time is: 12:00 (GMT 0:00)");
}

TEST(ParticipantList, RenderAndRepeatedJoinKeepOneRowPerId) {
    TParticipantList l;
    TRenderContext own;
    own.ownUserId = 2;
    own.showMe = true;
    l.RenderUserNode(Info(1, "Ana"), own);
    l.RenderUserNode(Info(2, "Me"), own);
    l.RenderUserNode(Info(3, "Teacher", 1000), own);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{3, 1, 2}));  // moderators go first
    EXPECT_EQ(l.OwnRow()->caption, "Me (Me)");
    EXPECT_EQ(l.FindUser(3)->mikeState, msAllowed);
    EXPECT_TRUE(l.FindUser(3)->maySpeak);
    EXPECT_EQ(l.FindUser(1)->mikeState, msNotAllowed);
    l.SetMotion(*l.FindUser(1), kMotionHand);

    // Joining again updates the row where it is; its raised hand stays counted once.
    l.RenderUserNode(Info(1, "Ana Lima"), own);
    EXPECT_EQ(l.Count(), 3u);
    EXPECT_EQ(l.FindUser(1)->caption, "Ana Lima");
    EXPECT_EQ(l.HandsCount(), 1);

    TRenderContext playback;
    playback.playback = true;
    EXPECT_EQ(l.RenderUserNode(Info(4, "Replayed"), playback).mikeState, msAllowed);

    l.Clear();
    EXPECT_EQ(l.Count(), 0u);
    EXPECT_EQ(l.OwnRow(), nullptr);
    EXPECT_EQ(l.HandsCount(), 0);
}

TEST(ParticipantList, CountersCountByBitInBothDirections) {
    TParticipantList l;
    for (int32_t id : {1, 2, 3}) l.RenderUserNode(Info(id, "U" + std::to_string(id)), {});
    TParticipantRow& a = *l.FindUser(1);
    l.SetMotion(a, kMotionHand | kMotionSmile);  // 3
    EXPECT_EQ(l.HandsCount(), 1);
    EXPECT_EQ(a.handOrder, 1);
    EXPECT_EQ(a.gestureIcon, kIconHand);
    l.SetMotion(a, 0);
    EXPECT_EQ(l.HandsCount(), 0);
    l.SetMotion(a, 0);
    EXPECT_EQ(l.HandsCount(), 0);
    l.SetMotion(a, kMotionYes | kMotionNo | kMotionHand);
    EXPECT_EQ(std::make_tuple(l.HandsCount(), l.PositiveCount(), l.NegativeCount()), std::make_tuple(1, 1, 1));
    l.SetMotion(a, kMotionYes);
    EXPECT_EQ(std::make_tuple(l.HandsCount(), l.PositiveCount(), l.NegativeCount()), std::make_tuple(0, 1, 0));

    // Rows that leave with a raised hand give their number back; the next hand gets a free one.
    l.SetMotion(*l.FindUser(1), kMotionHand);
    l.SetMotion(*l.FindUser(2), kMotionHand);
    l.SetMotion(*l.FindUser(3), kMotionHand | kMotionNo);
    EXPECT_EQ(Hands(l, {1, 2, 3}), (std::vector<int32_t>{1, 2, 3}));
    l.DeleteUser(1);
    EXPECT_EQ(Hands(l, {2, 3}), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(std::make_tuple(l.HandsCount(), l.PositiveCount(), l.NegativeCount()), std::make_tuple(2, 0, 1));
    l.RenderUserNode(Info(4, "U4"), {});
    l.SetMotion(*l.FindUser(4), kMotionHand);
    EXPECT_EQ(l.FindUser(4)->handOrder, 3);
    l.DeleteUser(2);
    l.DeleteUser(3);
    l.DeleteUser(4);
    EXPECT_EQ(std::make_tuple(l.HandsCount(), l.PositiveCount(), l.NegativeCount()), std::make_tuple(0, 0, 0));
}

TEST(ParticipantList, HandNumbersKeepQueueOrderUnderEverySortMode) {
    for (int mode : {int(smName), int(smMicrophone), int(smRole), int(smHands), 2}) {
        SCOPED_TRACE(mode);
        TParticipantList l;
        // Raised in the order D, C, B, A: the queue is 1 D, 2 C, 3 B, 4 A.
        for (auto [id, name] : {std::pair{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}}) l.RenderUserNode(Info(id, name), {});
        for (int32_t id : {4, 3, 2, 1}) l.SetMotion(*l.FindUser(id), kMotionHand);
        l.Sort(mode);
        l.SetMotion(*l.FindUser(3), 0);  // C (2) lowers its hand
        EXPECT_EQ(Hands(l, {4, 2, 1}), (std::vector<int32_t>{1, 2, 3}));
        EXPECT_EQ(l.FindUser(3)->handOrder, 0);
        EXPECT_EQ(l.HandsCount(), 3);
        if (mode == smHands) {
            l.Sort(smHands);
            EXPECT_EQ(Order(l), (std::vector<int32_t>{4, 2, 1, 3}));
        }
    }
}

TEST(ParticipantList, SortModes) {
    TParticipantList l;
    // Non-Latin captions order by code point unless the window gives a collation.
    const std::string zh = "\xE5\xBC\xA0", ru = "\xD0\x90\xD0\xBD\xD1\x8F", el = "\xCE\xA9";
    l.RenderUserNode(Info(1, zh), {});
    l.RenderUserNode(Info(2, ru), {});
    l.RenderUserNode(Info(3, "bob"), {});
    l.RenderUserNode(Info(4, el, 1000), {});
    l.RenderUserNode(Info(5, "Bob"), {});
    l.SetExpanded(*l.FindUser(1), true);
    l.Sort(smName);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{5, 3, 4, 2, 1}));
    EXPECT_FALSE(l.FindUser(1)->expanded);  // sorting collapses every row
    l.Sort(smRole);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{4, 5, 3, 2, 1}));
    l.SetMikeState(*l.FindUser(2), msSpeaking);
    l.SetMikeState(*l.FindUser(1), msRequested);
    l.Sort(smMicrophone);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{2, 5, 3, 4, 1}));
    l.Sort(smHands);  // no hands: by caption only
    EXPECT_EQ(Order(l), (std::vector<int32_t>{5, 3, 4, 2, 1}));
    l.CompareCaptions = [](const std::string& a, const std::string& b) { return b.compare(a); };
    l.Sort(smName);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{1, 2, 4, 3, 5}));
    l.Sort(7);
    EXPECT_EQ(Order(l), (std::vector<int32_t>{1, 2, 4, 3, 5}));
}

TEST(ParticipantList, DeletingTheSelectedRowSelectsTheFirst) {
    TParticipantList l;
    for (int32_t id : {1, 2, 3}) l.RenderUserNode(Info(id, "U"), {});
    l.SetSelected(2);
    EXPECT_TRUE(l.FindUser(2)->selected);
    l.DeleteUser(2);
    EXPECT_EQ(l.SelectedUser(), 1);
    l.SetSelected(3);
    l.DeleteUser(1);  // another row leaves: the first row is selected, and only it
    EXPECT_EQ(l.SelectedUser(), 3);
    l.RenderUserNode(Info(1, "U"), {});
    l.SetSelected(1);
    l.DeleteUser(99);
    l.DeleteUser(3);
    EXPECT_TRUE(l.FindUser(1)->selected);
    l.RenderUserNode(Info(3, "U"), {});
    l.SetSelected(3);
    l.RenderUserNode(Info(4, "U"), {});
    l.DeleteUser(4);
    EXPECT_FALSE(l.FindUser(3)->selected);
    EXPECT_TRUE(l.FindUser(1)->selected);
    EXPECT_FALSE(l.DeleteUser(99));
    l.DeleteUser(1);
    l.DeleteUser(3);
    EXPECT_EQ(l.Selected(), nullptr);
}

TEST(ParticipantList, GesturesBlinkElevenTicksOnTheFakeClock) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    TParticipantList l;
    l.SetLoop(&loop);
    l.RenderUserNode(Info(1, "A"), {});
    l.RenderUserNode(Info(2, "B"), {});
    TParticipantRow& a = *l.FindUser(1);
    TParticipantRow& b = *l.FindUser(2);
    l.SetMotion(a, kMotionApplause);
    l.SetMotion(b, kMotionYes);
    EXPECT_TRUE(a.blinking);
    EXPECT_FALSE(b.blinking);  // yes and no do not blink
    int toggles = 0;
    bool last = a.gestureVisible;
    for (int i = 0; i < 20; ++i) {
        clock.Advance(kBlinkIntervalMs);
        loop.ProcessPending();
        toggles += a.gestureVisible != last;
        last = a.gestureVisible;
    }
    EXPECT_EQ(a.blinkCount, kBlinkTicks);
    EXPECT_FALSE(a.blinking);
    EXPECT_TRUE(a.gestureVisible);
    EXPECT_GE(toggles, 10);
    EXPECT_TRUE(b.gestureVisible);

    // The user time of expanded rows follows the minute timer.
    double now = 45000.5;
    l.NowUtc = [&] { return now; };
    l.SetExpanded(a, true);
    EXPECT_EQ(a.userTimeText, "User Time is: 12:00 (GMT 0:00)");
    now += 1.0 / 24;
    clock.Advance(kUserTimeIntervalMs);
    loop.ProcessPending();
    EXPECT_EQ(a.userTimeText, "User Time is: 13:00 (GMT 0:00)");
    l.SetLoop(nullptr);
}

TEST(ParticipantList, RowTexts) {
    TMikeCamIcons icons;
    struct Case {
        uint8_t state;
        int32_t mike, cam;
        const char* mikeHint;
    } cases[] = {{0, -1, -1, ""},
                 {1, 12, 46, "The user is requesting a microphone"},
                 {2, 58, -1, "The user is allowed to speak"},
                 {3, 50, -1, "The user's microphone is forbidden."},
                 {4, 42, 49, "The user is currently speaking"},
                 {9, -1, -1, ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(MikeIcon(icons, c.state), c.mike);
        EXPECT_EQ(CamIcon(icons, c.state), c.cam);
        EXPECT_EQ(MikeHint(c.state), c.mikeHint);
    }
    TParticipantList l;
    TParticipantRow& row = l.AddUser(1, "Ana");
    l.SetMikeState(row, msAllowed);
    l.SetMikeState(row, 9);  // other values keep the image's visibility
    EXPECT_TRUE(row.mikeVisible);
    l.SetPresence(row, 1);
    EXPECT_EQ(NameLabelText(row), "Away - Ana");
    l.SetPresence(row, 2);
    EXPECT_EQ(NameLabelText(row), "(In Audio Test) - Ana");
    TRenderContext c;
    c.ownBias = -90;
    c.roomTimeOffset = 60;
    c.machineBias = -120;
    EXPECT_EQ(LoginTimeText(45000.25, c), "Logged In at: 09:00 (GMT+1:30)");
}
