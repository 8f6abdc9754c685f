// What a stream of messages can cost the client program: a burst of error replies opens a few boxes
// and the heartbeat is still answered; a chat burst behind the Notes page keeps one slide-in window,
// gone once the chat stops; a long flood leaves memory where the views' caps put it.

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "protocol/records.h"
#include "roomserver/flood.h"

// After the test headers: Xlib's macros would clash with theirs.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
constexpr uint16_t kResultWithoutText = 5;
const std::string kBoxTitle = "Orbelo Live Browser";
const std::string kMainTitle = "Ana Tester in a virtual session";
// The "Notes and Questions" page header, below the chat input at the left of the main window.
constexpr int kNotesHeaderX = 90;
constexpr int kNotesHeaderFromBottom = 40;

// Resident memory of a process in KiB (0 when it cannot be read).
int64_t ResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    int64_t value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

class E2EBounded : public TEndToEnd {
protected:
#ifdef __SANITIZE_ADDRESS__
    // The client is the AddressSanitizer build too: its quarantine would hold freed memory back
    // from reuse, which is not what these bounds are about.
    static void SetUpTestSuite() { ::setenv("ASAN_OPTIONS", "quarantine_size_mb=0", 1); }
#endif
    // Ana in the room by join link, her main window painted and the progress window gone.
    int EnterRoom(TClientProcess*& client) {
        client = StartClient("ana", {JoinLink("ana", "pw", kRoom)});
        if (!client) return 0;
        const int connection = WaitForSignIn();
        if (connection == 0 || !WaitFor(connection, vkRoomProfile)) return 0;
        auto main = x_.WaitForTitle(kMainTitle, client->Pid(), kWaitMs);
        if (!main || !WaitForPainted(*main)) return 0;
        main_ = *main;
        for (int waited = 0; waited < kWaitMs; waited += 100) {
            if (!x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, "Progress"); },
                               client->Pid()))
                break;
            usleep(100 * 1000);
        }
        return connection;
    }
    // The process's top-level windows on the screen (mapped children of the root), all of them or
    // those showing a caption.
    int TopLevelWindows(pid_t pid, const std::string& caption = {}) {
        Display* d = x_.X();
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) return -1;
        const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
        int count = 0;
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            long owner = -1;
            if (pidAtom && XGetWindowProperty(d, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                              &items, &after, &data) == Success && data) {
                if (items == 1) owner = *reinterpret_cast<long*>(data);
                XFree(data);
            }
            if (owner != pid) continue;
            if (!caption.empty() && !TXDriver::ShowsCaption(x_.Title(children[i]), caption)) continue;
            ++count;
        }
        if (children) XFree(children);
        return count;
    }
    size_t HeartBeats(int connection) const { return From(connection, vkHeartBeat).size(); }
    // Lets the program settle, then its memory.
    int64_t SettledKiB(pid_t pid) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return ResidentKiB(pid);
    }
    TXDriver::Window main_ = 0;
};

}  // namespace

// 1,000 replies of kind 86 refused with a result that has no text of its own: one box (counting
// them), the keep-alive after them answered, and memory within 40 MiB of before.
TEST_F(E2EBounded, AThousandErrorRepliesOpenAFewBoxesAndTheHeartbeatIsAnswered) {
    constexpr int64_t kBoundKiB = 40 * 1024;
    StartRoomServer();
    TClientProcess* client = nullptr;
    const int connection = EnterRoom(client);
    ASSERT_NE(connection, 0) << "not in the room";
    const int64_t before = SettledKiB(client->Pid());
    ASSERT_GT(before, 0);

    const size_t beats = HeartBeats(connection);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(server_.Send(connection, vkShareStarted, {}, 0, kRoom, kResultWithoutText));
    ASSERT_TRUE(server_.SendKeepAlive(connection));
    EXPECT_TRUE(server_.WaitUntil([&] { return HeartBeats(connection) > beats; }, kWaitMs))
        << "no heartbeat answered the keep-alive after the burst";
    auto box = x_.WaitForTitle(kBoxTitle, client->Pid(), kWaitMs);
    ASSERT_TRUE(box) << "no error box\n" << x_.DescribeWindows();
    ASSERT_TRUE(WaitForPainted(*box));
    const int64_t after = SettledKiB(client->Pid());
    const int boxes = TopLevelWindows(client->Pid(), kBoxTitle);
    EXPECT_GE(boxes, 1);
    EXPECT_LE(boxes, 3) << x_.DescribeWindows();
    EXPECT_LT(after - before, kBoundKiB) << "before " << before << " KiB, after " << after << " KiB";
    Screenshot("e2e_bounded_error_replies");
}

// 200 chat lines a second for 10 s while the Notes page is in front: at most two windows more than
// before at any time (the chat slide-in, and a tool window of the desktop's own), none left 30 s
// after the chat stopped. Then sixteen notes: one note window.
TEST_F(E2EBounded, AChatBurstBehindTheNotesPageKeepsOneSlideInThatLeaves) {
    StartRoomServer();
    TClientProcess* client = nullptr;
    const int connection = EnterRoom(client);
    ASSERT_NE(connection, 0) << "not in the room";
    const pid_t pid = client->Pid();
    auto area = x_.Geometry(main_);
    ASSERT_TRUE(area);
    x_.Click(area->x + kNotesHeaderX, area->y + area->height - kNotesHeaderFromBottom);
    usleep(500 * 1000);
    Screenshot("e2e_bounded_notes_in_front");
    const int baseline = TopLevelWindows(pid);
    ASSERT_GE(baseline, 1);

    int most = baseline, slideIns = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int tick = 0; tick < 200; ++tick) {  // 50 ms each: 10 lines a tick
        for (int i = 0; i < 10; ++i) {
            const auto line = NewWideTextRecord(7000 + i, 0, kRoom, u"Burst line " + std::u16string(size_t(i), u'x'),
                                                TTextMessageInfo::mtPublic);
            ASSERT_TRUE(server_.Send(connection, vkTextMessage, EncodeWideTextMessage(*line), 7000 + i, kRoom));
        }
        if (tick % 5 == 0) {
            most = std::max(most, TopLevelWindows(pid));
            slideIns = std::max(slideIns, TopLevelWindows(pid, "New Chat Message"));
        }
        std::this_thread::sleep_until(start + std::chrono::milliseconds(50 * (tick + 1)));
    }
    Screenshot("e2e_bounded_chat_burst");
    EXPECT_EQ(slideIns, 1) << "the chat slide-in did not show, or showed more than once";
    EXPECT_LE(most, baseline + 2);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    EXPECT_EQ(TopLevelWindows(pid), baseline) << x_.DescribeWindows();
    EXPECT_EQ(TopLevelWindows(pid, "New Chat Message"), 0);
    Screenshot("e2e_bounded_chat_burst_after");

    // Sixteen notes to everybody: one note window lists them.
    for (int i = 0; i < 16; ++i) {
        const auto note = NewWideTextRecord(7000 + i, 0, kRoom, u"Can you repeat this again ?", TTextMessageInfo::mtNote);
        ASSERT_TRUE(server_.Send(connection, vkTextMessage, EncodeWideTextMessage(*note), 7000 + i, kRoom));
    }
    auto note = x_.WaitForTitle("Session Note", pid, kWaitMs);
    ASSERT_TRUE(note) << x_.DescribeWindows();
    ASSERT_TRUE(WaitForPainted(*note));
    usleep(1000 * 1000);
    EXPECT_EQ(TopLevelWindows(pid, "Session Note"), 1);
    EXPECT_EQ(TopLevelWindows(pid), baseline + 1);
    Screenshot("e2e_bounded_notes");
}

// 30 s of 10,000 messages a second (chat lines, strokes, joins and leaves, keep-alives), then 30 s of
// quiet: memory comes back to within 48 MiB of its level before the flood (without the chat view's
// cap it grew by some 280 MiB).
TEST_F(E2EBounded, MemoryAfterAFloodAndQuietComesBackToWhatTheViewsHold) {
    constexpr int64_t kBoundKiB = 48 * 1024;
    constexpr size_t kPerSecond = 10'000;
    constexpr size_t kSeconds = 30;
    StartRoomServer();
    TClientProcess* client = nullptr;
    const int connection = EnterRoom(client);
    ASSERT_NE(connection, 0) << "not in the room";
    const pid_t pid = client->Pid();

    // Whole turns of the flood's users (each joins, talks, draws and leaves): the room ends as it was.
    const TFlood flood = MakeFlood(kPerSecond * kSeconds, 1000, kRoom);

    const int64_t before = SettledKiB(pid);
    ASSERT_GT(before, 0);
    const size_t beats = HeartBeats(connection);
    ASSERT_TRUE(SendFlood(server_, connection, flood, double(kPerSecond)));
    const int64_t peak = ResidentKiB(pid);
    EXPECT_GT(HeartBeats(connection), beats) << "no keep-alive of the flood was answered";
    std::this_thread::sleep_for(std::chrono::seconds(30));
    const int64_t after = ResidentKiB(pid);
    EXPECT_TRUE(client->Running()) << client->Ending();
    EXPECT_LT(after - before, kBoundKiB) << "before " << before << " KiB, at the end of the flood " << peak
                                         << " KiB, 30 s later " << after << " KiB";
    std::cout << "resident memory: before " << before << " KiB, end of flood " << peak << " KiB, 30 s later " << after
              << " KiB\n";
    Screenshot("e2e_bounded_after_flood");
}
