// The room connection's whole road under a flood: messages per second from the server's socket
// through the reader, the main thread's dispatch and the handlers into the program's windows
// (offscreen), for a mix of chat lines, strokes, joins and leaves, against the same flood through
// the data module alone (reader, dispatch and handlers, no windows) measured in the same run. Then
// the program under 10,000 messages a second with the server's keep-alives among them: the time
// from each keep-alive leaving the server to the heartbeat answer arriving there.
//   bench_dispatch [messages] [flood seconds]

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "program.h"
#include "protocol/message_kinds.h"
#include "registry/registry.h"
#include "roomserver/flood.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"

namespace fs = std::filesystem;
using namespace orb;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int16_t kRoom = 12;
constexpr double kFloodRate = 10'000;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The data module alone: reader, dispatch and handlers with a plain loop and no windows.
double CoreRate(const test::TFlood& flood) {
    test::TRoomServer server;
    if (!server.Start()) return 0;
    FakeClock clock;
    PlainEventLoop loop(clock);
    const WindowHandle mainWindow = loop.RegisterWindow([](uint32_t, std::intptr_t, std::intptr_t) {});
    TDM dm(loop, mainWindow);
    dm.OwnUserId = 7;
    dm.OwnRoom = kRoom;
    if (!dm.vcrClient.Connect("127.0.0.1", server.Port(), 5000) || !server.WaitForConnections(1)) return 0;
    size_t handled = 0;
    dm.DispatchObserver = [&](const TVCRHeader&, std::span<const uint8_t>) { ++handled; };
    dm.StartReaderThread();
    dm.StartWriterThread(100'000'000);
    const auto t0 = Clock::now();
    std::thread sender([&] { test::SendFlood(server, server.Connections().at(0), flood, 0); });
    const bool all = loop.RunUntil([&] { return handled >= flood.kinds.size(); }, 300'000);
    const double s = Seconds(Clock::now() - t0);
    sender.join();
    dm.StopReaderThread();
    dm.StopWriterThread();
    return all ? double(flood.kinds.size()) / s : 0;
}

struct ProgramRun {
    double rate = 0;                  // messages a second through the windows
    std::vector<double> latencies;    // keep-alive to heartbeat, seconds
    size_t keepAlives = 0;
    bool entered = false;
};

ProgramRun ProgramRates(const fs::path& root, const test::TFlood& burst, const test::TFlood& paced) {
    ProgramRun out;
    test::TRoomServer server;
    test::TRoomHandshakeScript script;
    script.rooms = {{kRoom, "Flood"}};
    auto handshake = test::InstallRoomHandshake(server, script);
    std::mutex mu;
    std::vector<Clock::time_point> beats;
    server.OnKind(vkHeartBeat, [&](test::TRoomServer&, test::TRoomConnection&, const TVCRHeader&,
                                   std::span<const uint8_t>) {
        std::lock_guard lk(mu);
        beats.push_back(Clock::now());
    });
    if (!server.Start()) return out;

    TProgramOptions opts;
    opts.executable = root / "bin" / "OrbeloLive6";
    opts.services.installKeyboardHook = [] {};
    opts.args = {"orb6join:/127.0.0.1," + std::to_string(server.Port()) + ",ana,pass,12/"};
    opts.showLoginDialog = [] { return false; };
    std::atomic<size_t> handled{0};
    std::atomic<bool> inRoom{false};
    opts.configureDataModule = [&](TDM& dm) {
        dm.SessionHooks.ShowError = [](const std::string& e) { std::fprintf(stderr, "error: %s\n", e.c_str()); };
        dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
            if (h.kind == vkEnterRoom) inRoom = true;
            ++handled;
        };
    };
    TProgram program(opts);
    program.CreateForms();
    program.Main()->MessageBoxOverride = [](int, const std::string& text, int buttons) {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return int(buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    };

    std::thread driver([&] {
        auto finish = [&] { QMetaObject::invokeMethod(program.Main(), "close", Qt::QueuedConnection); };
        const auto give = Clock::now() + std::chrono::seconds(20);
        while (!inRoom && Clock::now() < give) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto enters = server.ReceivedOfKind(vkEnterRoom);
        if (!inRoom || enters.empty()) return finish();
        out.entered = true;
        const int connection = enters.front().connection;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the room window settles

        // As fast as the socket takes it.
        size_t start = handled.load();
        auto t0 = Clock::now();
        test::SendFlood(server, connection, burst, 0);
        while (handled - start < burst.kinds.size() && Clock::now() - t0 < std::chrono::seconds(300))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (handled - start >= burst.kinds.size()) out.rate = double(burst.kinds.size()) / Seconds(Clock::now() - t0);

        // 10,000 a second with keep-alives among them.
        std::vector<Clock::time_point> sentAt;
        start = handled.load();
        {
            std::lock_guard lk(mu);
            beats.clear();
        }
        test::SendFlood(server, connection, paced, kFloodRate, nullptr, [&](size_t from, size_t to) {
            const auto now = Clock::now();
            for (size_t k : paced.keepAlives)
                if (k >= from && k < to) sentAt.push_back(now);
        });
        t0 = Clock::now();
        while (handled - start < paced.kinds.size() && Clock::now() - t0 < std::chrono::seconds(120))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        {
            std::lock_guard lk(mu);
            // Each keep-alive is answered by the first heartbeat that arrives after it left (one
            // heartbeat still waiting to be written answers several).
            for (auto s : sentAt) {
                auto it = std::lower_bound(beats.begin(), beats.end(), s);
                out.latencies.push_back(it == beats.end() ? -1.0 : Seconds(*it - s));
            }
        }
        out.keepAlives = sentAt.size();
        finish();
    });
    program.Run();
    driver.join();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 && std::atoi(argv[1]) > 0 ? size_t(std::atoi(argv[1])) : 20'000;
    const double floodSeconds = argc > 2 && std::atof(argv[2]) > 0 ? std::atof(argv[2]) : 5.0;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The program's settings, folders and registry in a folder of this run.
    const fs::path root = fs::temp_directory_path() / ("orb_bench_dispatch_" + std::to_string(::getpid()));
    fs::create_directories(root / "bin");
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
        fs::create_directories(root / var);
        ::setenv(var, (root / var).c_str(), 1);
    }
    reg::Registry::Default().Reconfigure({root / "registry", root / "machine"});
    QApplication app(argc, argv);

    const test::TFlood burst = test::MakeFlood(count, 0, kRoom);
    // A keep-alive ten times a second.
    const test::TFlood paced = test::MakeFlood(size_t(kFloodRate * floodSeconds), size_t(kFloodRate / 10), kRoom);
    CoreRate(test::MakeFlood(2000, 0, kRoom));  // warm-up
    const double core = CoreRate(burst);
    const ProgramRun run = ProgramRates(root, burst, paced);
    fs::remove_all(root);
    if (!run.entered) {
        std::fprintf(stderr, "the program did not enter the room\n");
        return 1;
    }
    std::vector<double> lat = run.latencies;
    std::sort(lat.begin(), lat.end());
    const bool unanswered = !lat.empty() && lat.front() < 0;
    const double median = lat.empty() ? 0 : lat[lat.size() / 2];
    const double worst = lat.empty() ? 0 : lat.back();
    std::printf("flood: %zu messages (chat, strokes, joins, leaves)\n", count);
    std::printf("data module alone (reader, dispatch, handlers): %10.0f msg/s\n", core);
    std::printf("program (reader, dispatch, handlers, windows):  %10.0f msg/s  (goal >= 10000)\n", run.rate);
    std::printf("ratio (program / data module alone): %.3f\n", core > 0 ? run.rate / core : 0.0);
    std::printf("heartbeat answer under %.0f msg/s for %.0f s: %zu keep-alives, median %.3f s, worst %.3f s%s"
                "  (goal < 1 s)\n",
                kFloodRate, floodSeconds, run.keepAlives, median, worst, unanswered ? ", some unanswered" : "");
    std::printf("ratio (worst answer / 1 s): %.3f\n", unanswered ? 99.0 : worst);
    return 0;
}
