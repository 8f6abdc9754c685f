// The participant list at 50, 300 and 1,000 participants: the whole list (kind 2, in the slices the
// reader runs it in, the loop turning between them), a join (kind 12), a leave (kind 13) and a hand
// raised and lowered (kind 117), each through the data module's handler and the list control
// shown offscreen and applied to it at once, with the loop's turns (painting) of a burst shared out;
// a join on its own with its whole turn of the loop is reported beside. The anchor is the list
// model alone doing the same (no handler, no view). The whole list also reports the longest time
// the main thread was held at once (one slice, or one turn of the loop that shows it).
#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../bench_summary.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "userlist/user_list_view.h"

using namespace orb;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

TUserInfo Info(int32_t id) {
    TUserInfo u;
    u.SetUserId(id);
    // Formatted in place: a short literal put in front of a string is an overlapping copy to GCC 12.
    char name[32];
    std::snprintf(name, sizeof name, "Participant %d", int(id));
    u.SetDisplayName(name);
    std::snprintf(name, sizeof name, "P%d", int(id));
    u.SetFirstName(name);
    u.SetLevel(id % 40 == 0 ? 1000 : 1);
    return u;
}

std::vector<uint8_t> Stream(uint16_t kind, int32_t sender, const std::vector<uint8_t>& body) {
    TVCRHeader h;
    InitVCRHeader(kind, sender, 1002, h);
    h.bodyLength = int32_t(body.size());
    return BuildPacketStream(h, body.data(), body.size());
}

void Dispatch(TDM& dm, const std::vector<uint8_t>& stream, bool sliced = false) {
    TVCRHeader h;
    TVCRHeader::Decode(stream, h);
    if (sliced) dm.DispatchInSlices(h, stream);
    else dm.DispatchCommand(h, stream);
}

std::vector<uint8_t> UserList(int n) {
    std::vector<uint8_t> body(TUserInfo::kSize, 0);
    StoreU32(body.data(), uint32_t(n));
    for (int32_t id = 1; id <= n; ++id) {
        const TUserInfo u = Info(id);
        body.insert(body.end(), u.raw.begin(), u.raw.end());
    }
    return body;
}

std::vector<uint8_t> I32(int32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), uint32_t(v));
    return b;
}

struct TResult {
    double whole = 0, longest = 0, join = 0, leave = 0, hand = 0, loneJoin = 0;
};

constexpr int kRepeats = 200;

// Through the handlers and the view.
TResult Program(int n) {
    PlainEventLoop loop;
    TDM dm(loop, 900);
    dm.OwnUserId = 1;
    room::TOrbeloUserList view;
    view.resize(265, 331);
    view.show();
    view.SetList(&dm.Participants);
    QApplication::processEvents();
    TResult r;

    const std::vector<uint8_t> list = Stream(vkUserList, 0, UserList(n));
    auto held = [&r](Clock::time_point a) {
        const auto b = Clock::now();
        r.longest = std::max(r.longest, Ms(a, b));
        return b;
    };
    auto t0 = Clock::now();
    auto t = t0;
    Dispatch(dm, list, true);
    t = held(t);
    for (;;) {
        QApplication::processEvents();  // the loop's turn: the view applies and paints
        t = held(t);
        if (!dm.SlicesLeft()) break;
        dm.RunSlice();
        t = held(t);
    }
    r.whole = Ms(t0, t);
    loop.TakeLog();

    // Joins at the end of the list and leaves of the same users; the view at its middle.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    QApplication::processEvents();
    std::vector<std::vector<uint8_t>> joins, leaves;
    for (int k = 0; k < kRepeats; ++k) {
        const TUserInfo u = Info(100000 + k);
        joins.push_back(Stream(vkUserJoined, 0, {u.raw.begin(), u.raw.end()}));
        leaves.push_back(Stream(vkUserLeft, 100000 + k, {}));
    }
    // In a burst, as the reader hands them over: each change handled and applied to the view at
    // once, the loop turning (and painting) after every 50 as between two turns of the queue.
    auto burst = [&](const std::vector<std::vector<uint8_t>>& messages) {
        const auto a = Clock::now();
        for (size_t k = 0; k < messages.size(); ++k) {
            Dispatch(dm, messages[k]);
            view.Flush();
            if (k % 50 == 49) QApplication::processEvents();
        }
        QApplication::processEvents();
        return Ms(a, Clock::now()) / double(messages.size());
    };
    r.join = burst(joins);
    r.leave = burst(leaves);
    // Hands up and down, spread over the list (in view and out of it).
    std::vector<std::vector<uint8_t>> hands;
    for (int k = 0; k < kRepeats; ++k) {
        const int32_t id = 1 + (k * 7919) % n;
        hands.push_back(Stream(vkUserFeedback, id, I32(kMotionHand)));
        hands.push_back(Stream(vkUserFeedback, id, I32(0)));
    }
    r.hand = burst(hands);
    // A join on its own, with a whole turn of the loop after it (the scroll bar repainted).
    t = Clock::now();
    for (auto& j : joins) {
        Dispatch(dm, j);
        QApplication::processEvents();
    }
    r.loneJoin = Ms(t, Clock::now()) / kRepeats;
    for (auto& l : leaves) Dispatch(dm, l);
    QApplication::processEvents();
    loop.TakeLog();
    view.SetList(nullptr);
    return r;
}

// The list model alone: the same records and changes, no handler and no view.
TResult Model(int n) {
    TParticipantList list;
    TRenderContext context;
    context.ownUserId = 1;
    std::vector<TUserInfo> infos;
    for (int32_t id = 1; id <= n; ++id) infos.push_back(Info(id));
    TResult r;
    auto t = Clock::now();
    for (const TUserInfo& u : infos) list.RenderUserNode(u, context);
    r.whole = Ms(t, Clock::now());
    std::vector<TUserInfo> joiners;
    for (int k = 0; k < kRepeats; ++k) joiners.push_back(Info(100000 + k));
    t = Clock::now();
    for (const TUserInfo& u : joiners) list.RenderUserNode(u, context);
    r.join = Ms(t, Clock::now()) / kRepeats;
    t = Clock::now();
    for (int k = 0; k < kRepeats; ++k) list.DeleteUser(100000 + k);
    r.leave = Ms(t, Clock::now()) / kRepeats;
    t = Clock::now();
    for (int k = 0; k < kRepeats; ++k) {
        TParticipantRow* row = list.FindUser(1 + (k * 7919) % n);
        list.SetMotion(*row, kMotionHand);
        list.SetMotion(*row, 0);
    }
    r.hand = Ms(t, Clock::now()) / (2 * kRepeats);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%-6s %-12s %12s %12s %8s\n", "rows", "measure", "program ms", "model ms", "ratio");
    TResult at1000;
    for (int n : {50, 300, 1000}) {
        Program(n);  // warm-up: fonts, icons, allocations
        const TResult p = Program(n), m = Model(n);
        const std::pair<const char*, std::pair<double, double>> rows[] = {
            {"whole list", {p.whole, m.whole}}, {"join", {p.join, m.join}},
            {"leave", {p.leave, m.leave}},      {"hand", {p.hand, m.hand}}};
        for (auto& [what, v] : rows)
            std::printf("%-6d %-12s %12.4f %12.4f %8.1f\n", n, what, v.first, v.second,
                        v.second > 0 ? v.first / v.second : 0.0);
        std::printf("%-6d %-12s %12.4f\n", n, "longest hold", p.longest);
        std::printf("%-6d %-12s %12.4f\n", n, "lone join", p.loneJoin);
        if (n == 1000) at1000 = p;
    }
    bench::Summary("participants: whole list of 1,000 (ms)", "< 50", at1000.whole, at1000.whole < 50);
    bench::Summary("participants: longest hold, list of 1,000 (ms)", "< 16", at1000.longest, at1000.longest < 16);
    bench::Summary("participants: join at 1,000 (ms)", "< 0.1", at1000.join, at1000.join < 0.1);
    bench::Summary("participants: lone join with repaint at 1,000 (ms)", "-", at1000.loneJoin, "-");
    bench::Summary("participants: leave at 1,000 (ms)", "-", at1000.leave, "-");
    bench::Summary("participants: hand at 1,000 (ms)", "-", at1000.hand, "-");
    return 0;
}
