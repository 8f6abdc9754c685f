// Answer masks, stored-poll keys, exam files, the results tally and chart, and the breakout tree
// with the moves of dragging and returning everybody.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "polls/breakout_tree.h"
#include "polls/poll_results.h"
#include "polls/poll_store.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::polls;
namespace fs = std::filesystem;

namespace {

struct TTempDir {
    fs::path path = fs::temp_directory_path() / ("orb_polls_" + std::to_string(::getpid()) + "_" +
                                                 std::to_string(reinterpret_cast<uintptr_t>(this)));
    TTempDir() { fs::create_directories(path); }
    ~TTempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::array<bool, 26> Checks(std::initializer_list<int> options) {
    std::array<bool, 26> c{};
    for (int k : options) c[size_t(k - 1)] = true;
    return c;
}

}  // namespace

TEST(PollMask, ChecksGiveTheirBits) {
    struct Case {
        std::initializer_list<int> options;
        uint32_t mask;
    };
    for (const Case& c : {Case{{1}, 33554432u}, Case{{26}, 1u}, Case{{1, 26}, 33554433u}, Case{{}, 0u},
                          Case{{2, 3}, (1u << 24) | (1u << 23)}})
        EXPECT_EQ(AnswerMaskFromChecks(Checks(c.options)), c.mask);
    // Bits above the 26 options never reach a record.
    EXPECT_EQ(uint32_t(NewPollRecord("q", 0xFC000001u).answerMask), 1u);
}

TEST(StoredPolls, SlashesStayInOneKeyAndLongQuestionsAreCutOnCharacters) {
    TTempDir dir;
    reg::Registry registry({dir.path / "user", dir.path / "machine"});
    TStoredPolls store(registry, "Software\\Test\\StoredPolls");

    // 199 ASCII bytes and a two-byte character: the cut must drop the whole character.
    const std::string longQuestion = std::string(199, 'x') + "\xC3\xA9" + "tail";
    EXPECT_EQ(RecordQuestion(longQuestion), std::string(199, 'x'));
    EXPECT_EQ(RecordQuestion("  a\xE2\x82\xAC  "), "a\xE2\x82\xAC");

    for (const std::string& q : std::vector<std::string>{"Is 1/2 more than 1\\3?", "100% sure", longQuestion}) {
        TPollInfo p = NewPollRecord(q, AnswerMaskFromChecks(Checks({1, 2})));
        p.mustReply = 1;
        ASSERT_TRUE(store.SaveStoredPoll(p)) << q;
        const std::string caption = RecordQuestion(q);
        auto back = store.LoadStoredPoll(caption);
        ASSERT_TRUE(back) << q;
        EXPECT_EQ(back->question, caption);
        EXPECT_EQ(uint32_t(back->answerMask), (1u << 25) | (1u << 24));
        EXPECT_EQ(back->mustReply, 1);
    }
    auto names = store.GetStoredPollNames();
    ASSERT_EQ(names.size(), 3u);
    for (const auto& n : names) EXPECT_TRUE(store.LoadStoredPoll(n)) << n;
    EXPECT_FALSE(registry.KeyExists(reg::HKEY_CURRENT_USER, "Software\\Test\\StoredPolls\\Is 1"));
    EXPECT_TRUE(store.DeleteStoredPoll("Is 1/2 more than 1\\3?"));
    EXPECT_FALSE(store.LoadStoredPoll("Is 1/2 more than 1\\3?"));
    EXPECT_EQ(store.GetStoredPollNames().size(), 2u);
}

TEST(ExamFiles, RoundTripPartialRecordsAndTheLoadLimit) {
    TTempDir dir;
    const fs::path file = dir.path / "exam.exm";
    TPollInfo p = NewPollRecord("Capital of France?", AnswerMaskFromChecks(Checks({17, 18})));
    ASSERT_TRUE(WriteExamFile(file, p));
    EXPECT_EQ(fs::file_size(file), TPollInfo::kSize);
    TExamFile f = ReadExamFile(file);
    ASSERT_EQ(f.records.size(), 1u);
    EXPECT_EQ(f.records[0].question, "Capital of France?");
    EXPECT_EQ(f.records[0].answerMask, p.answerMask);
    EXPECT_EQ(f.records[0].pingType, TPollInfo::ptPoll);
    EXPECT_EQ(f.trailingBytes, 0u);

    // A record and a half: the whole record is read and the rest reported.
    {
        std::ofstream out(file, std::ios::binary | std::ios::app);
        out << std::string(100, '\x7F');
    }
    f = ReadExamFile(file);
    EXPECT_EQ(f.records.size(), 1u);
    EXPECT_EQ(f.trailingBytes, 100u);

    // A hostile record: a question length beyond its capacity and stray mask bits.
    std::vector<uint8_t> many;
    ByteWriter w(many);
    for (int i = 0; i < 5; ++i) NewPollRecord("q" + std::to_string(i), 1).Encode(w);
    many[20] = 0xFF;
    many[16 + 3] = 0xFF;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(many.data()), std::streamsize(many.size()));
    }
    f = ReadExamFile(file, 3);
    EXPECT_EQ(f.records.size(), 3u);
    EXPECT_TRUE(f.truncated);
    EXPECT_EQ(f.records[0].question.size(), 200u);
    EXPECT_EQ(uint32_t(f.records[0].answerMask) & ~0x3FFFFFFu, 0u);
    EXPECT_FALSE(ReadExamFile(dir.path / "missing.exm").opened);
}

TEST(PollResults, TallyIsCaseInsensitiveAndTheChartReadsPercentages) {
    TParticipantList list;
    list.AddUser(1, "Moderator");
    list.AddUser(2, "Ana");
    list.AddUser(3, "Bob");
    list.AddUser(4, "Cid");
    list.AddUser(5, "Dee");
    TPollResults r;
    r.question = "Ready?";
    r.AddMissingRows(list, 1);
    ASSERT_EQ(r.Rows().size(), 4u);
    EXPECT_TRUE(r.SetAnswer(2, "Ana", 1));
    EXPECT_TRUE(r.SetAnswer(3, "Bob", 1));
    EXPECT_TRUE(r.SetAnswer(4, "Cid", 2));
    // Options outside 1..26 are no answer at all.
    EXPECT_FALSE(r.SetAnswer(5, "Dee", 27));
    EXPECT_FALSE(r.SetAnswer(5, "Dee", 0));
    EXPECT_EQ(r.CountAnswered(), 3);
    r.AddMissingRows(list, 1);
    EXPECT_EQ(r.Rows().size(), 4u);

    auto bars = r.Refresh(300);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[0].label, "Yes (50.00% or 2 users)");
    EXPECT_EQ(bars[0].width, 10);
    EXPECT_EQ(bars[0].left, 300 - 10 - 20);
    EXPECT_EQ(bars[1].top, 25);
    EXPECT_EQ(bars[2].label, "<No Answer> (25.00% or 1 users)");
    EXPECT_FALSE(bars[2].bold);
    EXPECT_TRUE(bars[0].bold);
    EXPECT_NE(r.SaveText().find("Ready?"), std::string::npos);
    EXPECT_NE(r.SaveText().find("<No Answer> (25.00% or 1 users)\r\n"), std::string::npos);
    EXPECT_EQ(PercentText(1, 0), "0.00%");

    TPollResults mixed;
    mixed.AddRow({7, "Eve", "yes"});
    mixed.AddRow({8, "Fay", "Yes"});
    mixed.TallyAnswers();
    ASSERT_EQ(mixed.Entries().size(), 1u);
    EXPECT_EQ(mixed.Entries()[0].count, 2);
}

TEST(PollResults, AnswerWindowOpensOnlyForModeratorsPolls) {
    TParticipantList list;
    list.AddUser(1, "Mod").level = 1000;
    list.AddUser(2, "Ana").level = 1;
    struct Case {
        int32_t from, to;
        uint16_t type;
        bool opens;
    };
    for (const Case& c : {Case{1, 0, TPollInfo::ptPoll, true}, Case{1, 3, TPollInfo::ptPoll, true},
                          Case{1, 4, TPollInfo::ptPoll, false}, Case{2, 0, TPollInfo::ptPoll, false},
                          Case{9, 0, TPollInfo::ptPoll, false}, Case{1, 0, TPollInfo::ptBeep, false},
                          Case{3, 0, TPollInfo::ptPoll, false}}) {
        TPollInfo p;
        p.fromId = c.from;
        p.toId = c.to;
        p.pingType = c.type;
        EXPECT_EQ(PollOpensAnswerWindow(p, list, 3), c.opens) << c.from << " " << c.to;
    }
}

namespace {
std::vector<uint8_t> RoomRecord(int32_t id, const std::string& name) {
    std::vector<uint8_t> r(TRoomInfo::kSize, 0);
    ByteWriter w(r);
    r.clear();
    w.i32(id);
    w.shortString(255, name);
    r.resize(TRoomInfo::kSize, 0);
    return r;
}
std::vector<uint8_t> Members(int32_t room, std::initializer_list<int32_t> users, size_t extra = 0) {
    std::vector<uint8_t> b;
    ByteWriter(b).i32(room);
    for (int32_t u : users) {
        TLoginInfo m;
        m.SetUserId(u);
        b.insert(b.end(), m.Raw().begin(), m.Raw().end());
    }
    b.resize(b.size() + extra, 0xEE);
    return b;
}
}  // namespace

TEST(BreakoutTree, HostileRoomAndMemberListsAndTheMovesThatFollow) {
    TBreakoutTree t;
    std::vector<uint8_t> list;
    for (auto& [id, name] : std::vector<std::pair<int32_t, std::string>>{{1002, "Main"}, {2001, "<b>A</b>"}, {2001, "dup"}})
        for (uint8_t b : RoomRecord(id, name)) list.push_back(b);
    list.resize(list.size() + 700, 0xFF);  // half a record at the end
    EXPECT_EQ(t.SetRooms(list), (std::vector<int32_t>{1002, 2001}));
    EXPECT_EQ(t.Rooms()[1].Caption(), "#2001: <b>A</b>");
    // A name length byte beyond the capacity reads no further than the record.
    auto wild = RoomRecord(7, "x");
    wild[4] = 0xFF;
    t.SetRooms(wild);
    ASSERT_EQ(t.Rooms().size(), 1u);
    EXPECT_LE(t.Rooms()[0].info.RoomName().size(), 255u);
    EXPECT_TRUE(t.SetRooms({}).empty());
    EXPECT_TRUE(t.Rooms().empty());

    t.SetRooms(list);
    EXPECT_TRUE(t.SetMembers(Members(2001, {5, 6}, 100)));
    EXPECT_EQ(t.Find(2001)->members.size(), 2u);
    EXPECT_FALSE(t.SetMembers(Members(3000, {7})));  // not in the tree
    EXPECT_FALSE(t.SetMembers(Members(0, {7})));
    EXPECT_FALSE(t.SetMembers(std::vector<uint8_t>{1, 2}));
    EXPECT_TRUE(t.SetMembers(Members(1002, {4})));
    EXPECT_EQ(t.ReturnAllMoves(1002), (std::vector<TBreakoutMove>{{4, 1002}, {5, 1002}, {6, 1002}}));
    EXPECT_TRUE(t.RemoveMember(2001, 5));
    EXPECT_FALSE(t.RemoveMember(2001, 5));

    const TBreakoutNode room1{true, 1002, 0}, room2{true, 2001, 0}, member{false, 1002, 4};
    EXPECT_EQ(DropMove(member, room2), (TBreakoutMove{4, 2001}));
    EXPECT_FALSE(DropMove(member, room1));       // its own room
    EXPECT_FALSE(DropMove(room1, room2));        // rooms are not dragged
    EXPECT_FALSE(DropMove(member, {false, 2001, 6}));  // only rooms take a drop
}
