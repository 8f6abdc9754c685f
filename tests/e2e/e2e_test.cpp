#include "e2e_test.h"

// After the test headers: Xlib's macros would clash with theirs.
#include <X11/Xlib.h>

#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;

namespace orb::test {

void TEndToEnd::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() / ("orb_e2e_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    std::string error;
    ASSERT_TRUE(xvfb_.Start(kScreenWidth, kScreenHeight, 24, &error)) << error;
    ASSERT_TRUE(x_.Open(xvfb_.Display(), &error)) << error;
    StartSessionBus();
}

void TEndToEnd::StartSessionBus() {
    // Without a bus, Qt's D-Bus thread keeps a failed connection's allocation for the rest of the run,
    // which LeakSanitizer reports at exit; a desktop always has one. No service activation: nothing on
    // it starts programs of the machine's own.
    std::string folder = (fs::temp_directory_path() / "orbbus.XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr) << "cannot make a folder for the session bus";
    busFolder_ = folder;
    const fs::path socket = busFolder_ / "bus";
    std::ofstream(root_ / "session-bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n  <type>session</type>\n"
        << "  <listen>unix:path=" << socket.string() << "</listen>\n  <auth>EXTERNAL</auth>\n"
        << "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    std::string error;
    ASSERT_TRUE(sessionBus_.Start("dbus-daemon", {"--config-file=" + (root_ / "session-bus.conf").string(), "--nofork"},
                                  {}, root_ / "session-bus.log", &error))
        << error;
    for (int i = 0; i < 400 && !fs::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(fs::exists(socket)) << "the test's session bus did not start";
    busAddress_ = "unix:path=" + socket.string();
}

void TEndToEnd::TearDown() {
    const bool failed = HasFailure();
    if (failed && x_.X()) {
        // What was on the screen when it went wrong.
        std::cerr << "windows shown:\n" << x_.DescribeWindows();
        Screenshot(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_failed");
    }
    for (auto& c : clients_) {
        c->Stop();
        if (failed)
            std::cerr << "client " << c->Folder().filename().string() << " (" << c->Ending() << ")\n"
                      << c->Output() << std::endl;
    }
    clients_.clear();
    windowManager_.Stop();
    sessionBus_.Stop();
    server_.Stop();
    extensions_.clear();
    x_.Close();
    xvfb_.Stop();
    std::error_code ec;
    if (!busFolder_.empty()) fs::remove_all(busFolder_, ec);
    fs::remove_all(root_, ec);
}

void TEndToEnd::StartRoomServer(TRoomHandshakeScript script) {
    transfers_ = std::make_unique<TFileTransferPort>(server_);
    script.fileTransferPort = transfers_->Port();
    handshake_ = InstallRoomHandshake(server_, std::move(script));
    service_ = std::make_unique<TRoomService>(server_, handshake_);
    TRoomExtensionContext context{server_, handshake_, *service_, {}};
    context.transfers = transfers_.get();
    extensions_ = InstallRoomExtensions(context);
    ASSERT_TRUE(server_.Start("127.0.0.1", 0)) << server_.LastError();
}

std::string TEndToEnd::JoinLink(const std::string& user, const std::string& password, int room) const {
    return "ORB6JOIN://127.0.0.1," + std::to_string(Port()) + "," + user + "," + password + "," + std::to_string(room);
}

TClientProcess* TEndToEnd::StartClient(const std::string& name, const std::vector<std::string>& args) {
    auto client = std::make_unique<TClientProcess>();
    std::string error;
    if (!fs::exists(root_ / name / "runtime" / "bus")) client->SetSessionBus(busAddress_);
    if (!client->Start(ORB_E2E_CLIENT, args, xvfb_.Display(), root_ / name, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    clients_.push_back(std::move(client));
    return clients_.back().get();
}

int TEndToEnd::WaitForSignIn() {
    int found = 0;
    server_.WaitUntil(
        [&] {
            for (int id : server_.Connections()) {
                auto c = server_.Connection(id);
                // The handshake gives the connection its user once the sign-in has passed.
                if (c && c->userId != 0 && !signedIn_.count(id)) {
                    found = id;
                    return true;
                }
            }
            return false;
        },
        kWaitMs);
    if (found) signedIn_.insert(found);
    return found;
}

std::vector<TReceivedMessage> TEndToEnd::From(int connection, uint16_t kind) const {
    std::vector<TReceivedMessage> out;
    for (auto& m : server_.ReceivedOfKind(kind))
        if (m.connection == connection) out.push_back(m);
    return out;
}

bool TEndToEnd::WaitFor(int connection, uint16_t kind) {
    return server_.WaitUntil([&] { return !From(connection, kind).empty(); }, kWaitMs);
}

bool TEndToEnd::WaitForClosed(int connection) {
    return server_.WaitUntil(
        [&] {
            auto open = server_.Connections();
            return std::find(open.begin(), open.end(), connection) == open.end();
        },
        kWaitMs);
}

void TEndToEnd::StartWindowManager() {
    std::string error;
    ASSERT_TRUE(StartOpenbox(windowManager_, xvfb_.Display(), root_ / "openbox", &error)) << error;
}

TXDriver::Window TEndToEnd::FrameOf(TXDriver::Window window) { return orb::test::FrameOf(xvfb_.Display(), window); }

bool TEndToEnd::Decorated(TXDriver::Window window) {
    const TXDriver::Window frame = FrameOf(window);
    if (!frame) return false;
    auto outer = x_.Geometry(frame);
    auto inner = x_.Geometry(window);
    // A title bar is far more than a border's few pixels, and a person sees it only on the screen.
    return outer && inner && inner->y - outer->y >= 10 && outer->height >= inner->height + 10 && outer->y >= 0 &&
           outer->x >= 0 && outer->y < kScreenHeight;
}

void TEndToEnd::Activate(TXDriver::Window window) {
    Display* d = x_.X();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: the manager does as asked
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d, False);
    // The manager has done it once the window has the focus (bounded).
    for (int i = 0; i < 40; ++i) {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        if (focus == window) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

QImage TEndToEnd::Screenshot(const std::string& name) {
    // The clients paint after the input or message that changed them: take the picture once two
    // looks in a row agree (bounded), so it shows what a person would see.
    QImage screen = x_.Capture();
    for (int i = 0; i < 30 && !screen.isNull(); ++i) {
        usleep(100 * 1000);
        QImage again = x_.Capture();
        if (again == screen) break;
        screen = again;
    }
    EXPECT_FALSE(screen.isNull()) << "no picture of the screen for " << name;
    if (screen.isNull()) return screen;
    fs::create_directories(ORB_E2E_ARTIFACTS);
    const std::string path = std::string(ORB_E2E_ARTIFACTS) + "/" + name + ".png";
    EXPECT_TRUE(screen.save(QString::fromStdString(path), "PNG")) << "cannot write " << path;
    return screen;
}

bool TEndToEnd::WaitForPainted(TXDriver::Window window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    for (;;) {
        auto area = x_.Geometry(window);
        if (!area) return false;
        const QImage shot = x_.Capture(window);
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if ((shot.pixel(x, y) & 0xffffff) != 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace orb::test
