// The main window's commands as a person reaches them: a moderator and a participant in the same
// room, under openbox, each with every menu item, tool-bar button and pop-up item of the main window
// pressed through the accessibility tree (AT-SPI on a private D-Bus session bus of the test). Every
// enabled item must show an effect of the pressing client's own within two seconds: a window of it, a
// message or voice registration it sent, or a visible change where its own windows show (the other
// client's screen never counts). The buttons of the main window's panels are walked the same way, on
// a private sound server, in the states that enable Speak and Reconnect Audio; a mouse user speaks
// and reconnects the audio. The board-images window lists the server's pictures for a participant,
// and a slide chosen on the board's tool bar reaches the other client.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegion>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "roomserver/ext_voice.h"
#include "support/peer_process.h"
#include "support/pulse_server.h"

// Xlib last: its macros (Status, Bool, None) clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace orb;
using namespace orb::test;
namespace fs = std::filesystem;

namespace {

constexpr int kRoom = 1002;
constexpr int kEffectMs = 2000;
#ifdef __SANITIZE_ADDRESS__
// The client is the AddressSanitizer build too: a first window that loads a large module (the web
// view's engine) takes several seconds to show there.
constexpr int kSlowEffectMs = 3 * kEffectMs;
#else
constexpr int kSlowEffectMs = kEffectMs;
#endif
constexpr size_t kRecord = 773;

std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }

void PutShort(std::string& record, size_t offset, const std::string& text) {
    record[offset] = char(text.size());
    record.replace(offset + 1, text.size(), text);
}
void PutI32(std::string& s, size_t offset, int32_t v) {
    for (int i = 0; i < 4; ++i) s[offset + size_t(i)] = char((uint32_t(v) >> (8 * i)) & 0xFF);
}
std::string Record(int32_t id, const std::string& name, const std::string& description, int32_t number) {
    std::string r(kRecord, '\0');
    PutI32(r, 0, id);
    PutShort(r, 4, name);
    PutShort(r, 410, ".JPG");
    PutShort(r, 431, description);
    PutShort(r, 632, "Moderator1 Tester");
    PutI32(r, 769, number);
    return r;
}
std::string ShortAt(const std::string& s, size_t offset) {
    if (offset >= s.size()) return {};
    const size_t n = std::min<size_t>(uint8_t(s[offset]), s.size() - offset - 1);
    return s.substr(offset + 1, n);
}

// The walker script's two FIFOs: one command line out, one JSON line back.
class TWalker {
public:
    bool Start(const fs::path& folder, const std::string& display, const std::string& bus, std::string* error) {
        cmdPath_ = folder / "walk.cmd";
        replyPath_ = folder / "walk.reply";
        if (::mkfifo(cmdPath_.c_str(), 0600) != 0 || ::mkfifo(replyPath_.c_str(), 0600) != 0) {
            *error = "mkfifo failed";
            return false;
        }
        if (!process_.Start("/usr/bin/python3", {ORB_MENU_WALKER, cmdPath_.string(), replyPath_.string()},
                            {"DISPLAY=" + display, "DBUS_SESSION_BUS_ADDRESS=" + bus}, folder / "walker.log", error))
            return false;
        reply_ = ::open(replyPath_.c_str(), O_RDONLY | O_NONBLOCK);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((cmd_ = ::open(cmdPath_.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            if (std::chrono::steady_clock::now() > deadline || !process_.Running()) {
                *error = "the walker did not start";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::fcntl(cmd_, F_SETFL, 0);
        return true;
    }
    void Stop() {
        if (cmd_ >= 0) {
            const char quit[] = "quit\n";
            (void)!::write(cmd_, quit, sizeof quit - 1);
            ::close(cmd_);
        }
        if (reply_ >= 0) ::close(reply_);
        cmd_ = reply_ = -1;
        process_.Stop();
    }
    // The answer to one command; a null document when none came within the wait.
    QJsonDocument Ask(const std::string& command, int timeoutMs = 20000) {
        if (cmd_ < 0) return {};
        const std::string line = command + "\n";
        if (::write(cmd_, line.data(), line.size()) != ssize_t(line.size())) return {};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                const std::string answer = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return QJsonDocument::fromJson(QByteArray::fromStdString(answer));
            }
            pollfd p{reply_, POLLIN, 0};
            ::poll(&p, 1, 50);
            char chunk[65536];
            const ssize_t n = ::read(reply_, chunk, sizeof chunk);
            if (n > 0) buffer_.append(chunk, size_t(n));
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }
    std::string Log() const {
        std::ifstream f(process_.Log());
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

private:
    TPeerProcess process_;
    fs::path cmdPath_, replyPath_;
    int cmd_ = -1, reply_ = -1;
    std::string buffer_;
};

struct TItem {
    std::string id, name;
    bool enabled = false, checkable = false, checked = false;
};

std::vector<TItem> Items(const QJsonDocument& doc) {
    std::vector<TItem> items;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        items.push_back({o["id"].toString().toStdString(), o["name"].toString().toStdString(), o["enabled"].toBool(),
                         o["checkable"].toBool(), o["checked"].toBool()});
    }
    return items;
}

class MenuWalk : public TEndToEnd {
protected:
    void SetUp() override {
        TEndToEnd::SetUp();
        if (HasFatalFailure()) return;
        std::string error;
        ASSERT_TRUE(StartOpenbox(wm_, xvfb_.Display(), root_ / "openbox", &error)) << error;
        // One private session bus, reached by the clients through their own runtime folders (where
        // the D-Bus library looks when no address is given) and by the walker through its address.
        fs::create_directories(root_ / "a11y");
        std::string listen;
        for (const char* client : {"moderator1", "bea"}) {
            const fs::path runtime = root_ / client / "runtime";
            fs::create_directories(runtime);
            ::chmod(runtime.c_str(), 0700);
            listen += "  <listen>unix:path=" + (runtime / "bus").string() + "</listen>\n";
        }
        const fs::path busSocket = root_ / "a11y" / "bus";
        listen += "  <listen>unix:path=" + busSocket.string() + "</listen>\n";
        std::ofstream(root_ / "a11y" / "session.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n  <type>session</type>\n"
            << listen
            << "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
        ASSERT_TRUE(bus_.Start("dbus-daemon", {"--config-file=" + (root_ / "a11y" / "session.conf").string(), "--nofork"},
                               {}, root_ / "a11y" / "dbus.log", &error))
            << error;
        busAddress_ = "unix:path=" + busSocket.string();
        for (int i = 0; i < 200 && !fs::exists(busSocket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        ASSERT_TRUE(fs::exists(busSocket)) << "the session bus did not start";
        // The accessibility bus's socket goes into a runtime folder of this test.
        const fs::path a11yRuntime = root_ / "a11y" / "runtime";
        fs::create_directories(a11yRuntime);
        ::chmod(a11yRuntime.c_str(), 0700);
        ASSERT_TRUE(launcher_.Start("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"},
                                    {"DBUS_SESSION_BUS_ADDRESS=" + busAddress_, "DISPLAY=" + xvfb_.Display(),
                                     "XDG_RUNTIME_DIR=" + a11yRuntime.string(), "HOME=" + (root_ / "a11y").string()},
                                    root_ / "a11y" / "launcher.log", &error))
            << error;
        ::setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
        // The desktop's "open" is ours: it notes the address instead of starting a browser.
        fs::create_directories(root_ / "bin");
        std::ofstream(root_ / "bin" / "xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << (root_ / "opened.txt").string() << "'\n";
        fs::permissions(root_ / "bin" / "xdg-open", fs::perms::owner_all);
        const char* path = ::getenv("PATH");
        path_ = path ? path : "/usr/bin:/bin";
        ::setenv("PATH", ((root_ / "bin").string() + ":" + path_).c_str(), 1);
        ASSERT_TRUE(walker_.Start(root_ / "a11y", xvfb_.Display(), busAddress_, &error)) << error;
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "walker:\n" << walker_.Log() << std::endl;
        walker_.Stop();
        if (!path_.empty()) ::setenv("PATH", path_.c_str(), 1);
        launcher_.Stop();
        bus_.Stop();
        TEndToEnd::TearDown();
        wm_.Stop();
    }

    // The room server with a board-image library, a presentation of three slides and slides that
    // reach the whole room.
    void StartServer() {
        StartRoomServer();
        server_.OnKind(vkBoardImageList, [](TRoomServer& s, TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
            std::string body(kRecord, '\0');
            PutI32(body, 0, 2);
            body += Record(1, "orbit.png", "Orbit chart", 0) + Record(2, "moon.png", "Moon phases", 0);
            s.Send(c.id, vkBoardImageList, std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 0,
                   c.room);
        });
        server_.OnKind(vkPresentationList, [](TRoomServer& s, TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
            std::string body(kRecord, '\0');
            PutI32(body, 0, 1);
            body += Record(7, "Lecture One", "lecture-one", 3);
            s.Send(c.id, vkPresentationList, std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 0,
                   c.room);
        });
        QImage slide(64, 48, QImage::Format_RGB32);
        slide.fill(Qt::blue);
        QByteArray jpeg;
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        slide.save(&out, "JPG");
        server_.OnKind(vkSlideToBoard, [jpeg = jpeg.toStdString()](TRoomServer& s, TRoomConnection& c, const TVCRHeader&,
                                                                    std::span<const uint8_t> body) {
            if (body.size() != 4 + kRecord) return;
            std::string reply(body.begin(), body.end());
            PutI32(reply, 4 + 406, int32_t(jpeg.size()));
            reply += jpeg;
            s.Broadcast(c.room, vkSlideToBoard, std::span(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()),
                        c.userId);
        });
    }

    struct TClient {
        TClientProcess* process = nullptr;
        int connection = 0;
        TXDriver::Window main = 0;
        std::string title;
    };
    TClient Join(const std::string& login, const std::string& fullName) {
        TClient c;
        c.process = StartClient(login, {JoinLink(login, "pw", kRoom)});
        if (!c.process) return c;
        c.connection = WaitForSignIn();
        auto main = x_.WaitForTitle(MainTitle(fullName), c.process->Pid(), kWaitMs);
        if (!c.connection || !main || !WaitFor(c.connection, vkRoomProfile) || !WaitForPainted(*main)) return {};
        c.main = *main;
        c.title = MainTitle(fullName);
        return c;
    }

    // The client's viewable windows (managed or pop-up), found through the whole window tree.
    std::set<TXDriver::Window> Windows(pid_t pid) {
        std::set<TXDriver::Window> found;
        Display* d = x_.X();
        const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
        std::function<void(Window)> visit = [&](Window w) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return;
            Atom type;
            int format;
            unsigned long n = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
                data) {
                const bool own = n == 1 && pid_t(*reinterpret_cast<unsigned long*>(data)) == pid;
                XFree(data);
                if (own) found.insert(w);
                // A program's window ends the descent: its native children (a web view's, say) are
                // parts of it, not windows of their own to close.
                if (n == 1) return;
            }
            Window root, parent, *kids = nullptr;
            unsigned count = 0;
            if (XQueryTree(d, w, &root, &parent, &kids, &count)) {
                for (unsigned i = 0; i < count; ++i) visit(kids[i]);
                if (kids) XFree(kids);
            }
        };
        visit(DefaultRootWindow(d));
        return found;
    }
    bool OverrideRedirect(TXDriver::Window w) {
        XWindowAttributes a;
        return XGetWindowAttributes(x_.X(), w, &a) && a.override_redirect;
    }
    // Closes windows as the title bar's close button does; pop-ups take Escape.
    void CloseWindows(pid_t pid, const std::set<TXDriver::Window>& keep) {
        Display* d = x_.X();
        const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False), del = XInternAtom(d, "WM_DELETE_WINDOW", False);
        std::vector<TXDriver::Window> extra;
        for (int round = 0; round < 6; ++round) {
            extra.clear();
            for (auto w : Windows(pid))
                if (!keep.count(w) && x_.Title(w).find(MainTitle("")) == std::string::npos) extra.push_back(w);
            if (extra.empty()) return;
            for (auto w : extra) {
                if (OverrideRedirect(w)) {
                    x_.Key(XK_Escape);
                    continue;
                }
                XEvent e{};
                e.xclient.type = ClientMessage;
                e.xclient.window = w;
                e.xclient.message_type = protocols;
                e.xclient.format = 32;
                e.xclient.data.l[0] = long(del);
                e.xclient.data.l[1] = CurrentTime;
                XSendEvent(d, w, False, NoEventMask, &e);
            }
            XFlush(d);
            // On to the next round as soon as these are gone (a question asked on closing comes up
            // in their place).
            for (int i = 0; i < 10; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const auto now = Windows(pid);
                if (std::none_of(extra.begin(), extra.end(), [&](auto w) { return now.count(w); })) break;
            }
        }
        for (auto w : extra)
            if (Windows(pid).count(w))
                std::cout << "left open: \"" << x_.Title(w) << "\"" << (OverrideRedirect(w) ? " (pop-up)" : "") << std::endl;
    }
    // The main window as it is now: showing a web view for the first time makes the program
    // create the room window's native window anew.
    void Activate(const TClient& c) {
        const auto now = x_.FindWindow([&](const std::string& t) { return TXDriver::ShowsCaption(t, c.title); },
                                       c.process->Pid());
        Activate(now ? *now : c.main);
    }
    void Activate(TXDriver::Window w) {
        Display* d = x_.X();
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        if (unsigned long frame = orb::test::FrameOf(xvfb_.Display(), w)) XRaiseWindow(d, frame);
        XRaiseWindow(d, w);
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
        XSync(d, False);
        // The program takes its time to see the focus come; a window that has it already needs none.
        std::this_thread::sleep_for(std::chrono::milliseconds(focus == w ? 50 : 300));
    }
    // What the clients handed to the desktop to open (through the test's own xdg-open).
    std::vector<std::string> OpenedAddresses() {
        std::vector<std::string> lines;
        std::ifstream f(root_ / "opened.txt");
        for (std::string line; std::getline(f, line);) lines.push_back(line);
        return lines;
    }
    size_t Sent(int connection) {
        size_t n = 0;
        for (const TReceivedMessage& m : server_.Received())
            if (m.connection == connection && m.header.kind != vkHeartBeat) ++n;
        return n;
    }
    // Pixels that differ within the area.
    static int Differing(const QImage& a, const QImage& b, const QRegion& area) {
        if (a.size() != b.size()) return 1 << 30;
        int n = 0;
        for (const QRect& r : area & QRegion(a.rect()))
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
        return n;
    }
    // What the client's own windows show of the screen: the top-level windows bottom to top, each
    // of the client's adding its window, every other one (the other client's, the window manager's)
    // taking away what it covers. The other client's screen never counts as an effect.
    QRegion OwnArea(pid_t pid) {
        Display* d = x_.X();
        const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
        std::function<std::pair<Window, long>(Window, int)> owner = [&](Window w, int depth) -> std::pair<Window, long> {
            XWindowAttributes a;
            if (depth > 4 || !XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return {0, 0};
            Atom type;
            int format;
            unsigned long n = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
                data) {
                const long p = n == 1 ? long(*reinterpret_cast<unsigned long*>(data)) : 0;
                XFree(data);
                if (n == 1) return {w, p};
            }
            Window root, parent, *kids = nullptr;
            unsigned count = 0;
            std::pair<Window, long> found{0, 0};
            if (XQueryTree(d, w, &root, &parent, &kids, &count)) {
                for (unsigned i = 0; i < count && !found.first; ++i) found = owner(kids[i], depth + 1);
                if (kids) XFree(kids);
            }
            return found;
        };
        QRegion area;
        Window root, parent, *kids = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &count)) return area;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(d, kids[i], &a) || a.map_state != IsViewable) continue;
            const auto [w, p] = owner(kids[i], 0);
            const bool own = w && p == long(pid);
            if (const auto g = x_.Geometry(own ? w : kids[i])) {
                const QRect r(g->x, g->y, g->width, g->height);
                area = own ? area.united(r) : area.subtracted(r);
            }
        }
        if (kids) XFree(kids);
        return area;
    }

    // Presses one item and watches for its effect; the effect, or empty when there was none.
    std::string PressAndWatch(const TClient& c, const std::string& id) {
        const pid_t pid = c.process->Pid();
        if (id.size() >= 10 && id.compare(id.size() - 10, 10, "Select All") == 0) {
            // The selection an earlier Select All left would leave nothing to select: a click into
            // the chat drops it.
            const QJsonObject view = Shown(pid, "Message history");
            if (!view.isEmpty()) {
                x_.Click(view["x"].toInt() + view["w"].toInt() / 2, view["y"].toInt() + view["h"].toInt() / 2);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        }
        const auto windows = Windows(pid);
        const size_t sent = Sent(c.connection);
        TVoiceExtension* voice = Voice();
        const int registered = voice ? Registrations(c) : 0;
        const QImage before = x_.Capture();
        const QRegion own = OwnArea(pid);
        const bool checked = walker_.Ask("state " + id).object()["checked"].toBool();
        const size_t opened = OpenedAddresses().size();
        // A copy is seen on the clipboard: the test holds it before the press.
        Display* d = x_.X();
        const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
        const bool copies = id.size() >= 4 && id.compare(id.size() - 4, 4, "Copy") == 0;
        if (copies) {
            if (!clipHolder_) clipHolder_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
            XSetSelectionOwner(d, clipboard, clipHolder_, CurrentTime);
            // The program claims the clipboard with the time of the last X event it saw, and the X
            // server ignores a claim older than ours. A press through the accessibility bus brings it
            // no X event, so a property change on its windows tells it the time first.
            const Atom tick = XInternAtom(d, "ORB_TEST_TICK", False);
            const unsigned char one = 1;
            for (auto w : windows) XChangeProperty(d, w, tick, XA_CARDINAL, 8, PropModeReplace, &one, 1);
            XSync(d, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const QJsonObject done = walker_.Ask("do " + id).object();
        if (done.contains("error")) return {};
        std::string effect;
        // A ticked radio item needs no effect: it is not waited for longer than usual.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(checked ? kEffectMs : kSlowEffectMs);
        while (effect.empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            for (auto w : Windows(pid))
                if (!windows.count(w)) effect = "window \"" + x_.Title(w) + "\"";
            if (effect.empty() && voice && Registrations(c) > registered) effect = "voice registration";
            if (effect.empty() && Sent(c.connection) > sent) {
                const auto all = server_.Received();
                for (auto it = all.rbegin(); it != all.rend(); ++it)
                    if (it->connection == c.connection && it->header.kind != vkHeartBeat) {
                        effect = "message kind " + std::to_string(it->header.kind);
                        break;
                    }
            }
            if (effect.empty() && Differing(before, x_.Capture(), own & OwnArea(pid)) > 30) effect = "visible change";
            if (effect.empty() && OpenedAddresses().size() > opened) effect = "opened " + OpenedAddresses().back();
            if (effect.empty() && copies && XGetSelectionOwner(d, clipboard) != clipHolder_) effect = "clipboard";
            // A menu's check mark is seen the next time the menu opens.
            if (effect.empty() && walker_.Ask("state " + id).object()["checked"].toBool() != checked) effect = "check mark";
        }
        // The test lets go of the clipboard, so that no program waits on it for a paste.
        if (copies && XGetSelectionOwner(d, clipboard) == clipHolder_) XSetSelectionOwner(d, clipboard, 0, CurrentTime);
        // A choice of a group that is already in force (a ticked radio item) needs no effect.
        if (effect.empty() && checked) effect = "already chosen";
        // So is the item of a drop-down that shows its choice as its caption (the board selector).
        if (effect.empty()) {
            const size_t last = id.rfind('/');
            const size_t prev = last == std::string::npos || last == 0 ? std::string::npos : id.rfind('/', last - 1);
            if (prev != std::string::npos && id.compare(prev + 1, last - prev - 1, id, last + 1) == 0)
                effect = "already chosen";
        }
        return effect;
    }

    TVoiceExtension* Voice() {
        for (auto& e : extensions_)
            if (auto* v = dynamic_cast<TVoiceExtension*>(e.get())) return v;
        return nullptr;
    }
    int32_t UserId(const TClient& c) {
        const PRoomConnection conn = server_.Connection(c.connection);
        return conn ? conn->userId.load() : 0;
    }
    int Registrations(const TClient& c) {
        TVoiceExtension* voice = Voice();
        return voice ? voice->Registrations(UserId(c)) : 0;
    }

    // Walks the push buttons, tool buttons and check boxes of the client's main window and its
    // panels: every enabled one pressed and watched; `required` are the ones whose rule enables
    // them in the client's state, so shown and enabled. The buttons that failed, with why.
    std::vector<std::string> WalkButtons(const TClient& c, const std::string& role, const std::set<std::string>& required,
                                         const std::set<std::string>& only = {}) {
        const pid_t pid = c.process->Pid();
        const std::string pidText = std::to_string(pid);
        CloseWindows(pid, {});
        Activate(c);
        const auto keep = Windows(pid);
        std::vector<std::string> failed;
        const QJsonDocument listed = walker_.Ask("buttons " + pidText);
        const std::vector<TItem> buttons = Items(listed);
        auto where = [&](const std::string& id) {
            for (const QJsonValue& v : listed.array())
                if (v.toObject()["id"].toString().toStdString() == id) return v.toObject();
            return QJsonObject();
        };
        std::cout << role << ": " << buttons.size() << " buttons" << std::endl;
        for (const std::string& name : required) {
            const auto b = std::find_if(buttons.begin(), buttons.end(), [&](const TItem& i) { return i.name == name; });
            if (b == buttons.end())
                failed.push_back("panel:" + name + " (not shown)");
            else if (!b->enabled)
                failed.push_back(b->id + " (disabled where its rule enables it)");
        }
        // A press without an effect is tried once more after the others: a page button pressed
        // while its page is already shown (the chat's, first) acts once another page was opened.
        std::vector<TItem> again;
        for (int round = 0; round < 2; ++round) {
            for (const TItem& b : round == 0 ? buttons : std::vector<TItem>(again)) {
                if (!only.empty() && !only.count(b.name)) continue;
                const QJsonObject current = walker_.Ask("state " + b.id).object();
                if (!current["enabled"].toBool()) {
                    if (round == 0) std::cout << role << ": " << b.id << " (disabled)" << std::endl;
                    continue;
                }
                Activate(c);
                if (b.name == "Send") {
                    // Sending wants a text: the chat input beside the button gets one first.
                    const QJsonObject at = where(b.id);
                    QJsonObject input;
                    for (const QJsonValue& v : walker_.Ask("roles " + pidText + " text").array()) {
                        const QJsonObject o = v.toObject();
                        const int dy = std::abs(o["y"].toInt() - at["y"].toInt());
                        if (o["w"].toInt() > 0 && o["x"].toInt() < at["x"].toInt() &&
                            (input.isEmpty() || dy < std::abs(input["y"].toInt() - at["y"].toInt())))
                            input = o;
                    }
                    if (!input.isEmpty()) {
                        const size_t typing = From(c.connection, vkTypingState).size();
                        x_.Click(input["x"].toInt() + 10, input["y"].toInt() + input["h"].toInt() / 2);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        x_.Type("walk");
                        // The typing notice is no effect of the press: it is waited for first.
                        server_.WaitUntil([&] { return From(c.connection, vkTypingState).size() > typing; }, 5000);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    }
                }
                const std::string e = PressAndWatch(c, b.id);
                std::cout << role << ": " << b.id << " -> " << (e.empty() ? "NOTHING" : e) << std::endl;
                if (e.empty()) (round == 0 ? again.push_back(b) : failed.push_back(b.id));
                CloseWindows(pid, keep);
                // A toggle is put back so that the next buttons find the window as it was.
                const QJsonObject after = walker_.Ask("state " + b.id).object();
                if (after["enabled"].toBool() && after["checked"].toBool() != current["checked"].toBool()) {
                    walker_.Ask("do " + b.id);
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    CloseWindows(pid, keep);
                }
            }
        }
        Activate(c);
        return failed;
    }

    // A private sound server: a null sink per client (its monitor is what the client played) and a
    // pipe source per client as its microphone.
    void StartPulse(const std::vector<std::string>& clients) {
        // "mic_none" has no writer: the default source, where the streams of a source that goes
        // away end up, gives nothing.
        std::vector<std::string> sinks, sources = {"mic_none"};
        for (const auto& c : clients) {
            sinks.push_back("spk_" + c);
            sources.push_back("mic_" + c);
        }
        std::string error;
        ASSERT_TRUE(pulse_.Start(root_ / "pulse", sinks, sources, &error)) << error;
        ASSERT_EQ(pulse_.Tool({"pactl", "set-default-source", "mic_none"}), 0);
        // A source taken away closes its pipe under the microphone's writer.
        ::signal(SIGPIPE, SIG_IGN);
    }
    // Joins with the client's own sink and source as its default sound device.
    TClient JoinWithSound(const std::string& login, const std::string& fullName) {
        const auto conf = root_ / ("asound-" + login + ".conf");
        pulse_.AlsaConfig(conf, "spk_" + login, "mic_" + login);
        ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        ::setenv("PULSE_SERVER", pulse_.ServerAddress().c_str(), 1);
        TClient c = Join(login, fullName);
        ::unsetenv("ALSA_CONFIG_PATH");
        ::unsetenv("PULSE_SERVER");
        return c;
    }
    void GiveMicrophone(const TClient& moderator, const TClient& participant) {
        const int32_t user = UserId(participant);
        uint8_t body[4];
        for (int i = 0; i < 4; ++i) body[i] = uint8_t((uint32_t(user) >> (8 * i)) & 0xFF);
        for (const TClient* c : {&moderator, &participant})
            server_.Send(c->connection, vkGiveMicrophone, body, UserId(moderator), kRoom);
    }
    // The microphones' sources go away. The sound server moves their recording streams to its
    // default source, which here is one that nobody feeds, so each client's microphone stops.
    void RemoveMicrophones() {
        const std::string cmd = "PULSE_SERVER='" + pulse_.ServerAddress() + "' pactl list short modules";
        std::vector<std::string> modules;
        if (FILE* p = ::popen(cmd.c_str(), "r")) {
            char line[1024];
            while (std::fgets(line, sizeof line, p)) {
                const std::string l(line);
                if (l.find("module-pipe-source") != std::string::npos && l.find("source_name=mic_") != std::string::npos &&
                    l.find("source_name=mic_none") == std::string::npos)
                    modules.push_back(l.substr(0, l.find('\t')));
            }
            ::pclose(p);
        }
        ASSERT_FALSE(modules.empty());
        for (const std::string& m : modules) EXPECT_EQ(pulse_.Tool({"pactl", "unload-module", m}), 0);
    }
    void RestoreMicrophone(const std::string& client) {
        ASSERT_EQ(pulse_.Tool({"pactl", "load-module", "module-pipe-source", "source_name=mic_" + client,
                               "file=" + pulse_.SourcePipe("mic_" + client).string(), "format=s16le",
                               "rate=" + std::to_string(TPulseServer::kMicRate), "channels=1"}),
                  0);
    }
    // The button named so, shown in the client's main window, as the walker sees it now.
    QJsonObject Button(const TClient& c, const std::string& name, bool enabled, int timeoutMs = kWaitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            for (const QJsonValue& v : walker_.Ask("buttons " + std::to_string(c.process->Pid())).array()) {
                const QJsonObject o = v.toObject();
                if (o["name"].toString().toStdString() == name && o["w"].toInt() > 0 && o["enabled"].toBool() == enabled)
                    return o;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }
    void ClickOn(const QJsonObject& o) { x_.Click(o["x"].toInt() + o["w"].toInt() / 2, o["y"].toInt() + o["h"].toInt() / 2); }
    // Records a sink's monitor for a while; what was heard of the tone.
    THeardTone Listen(const std::string& sink, int ms) {
        const auto file = root_ / (sink + "-" + std::to_string(++recordings_) + ".raw");
        TPeerProcess parec;
        std::string error;
        EXPECT_TRUE(parec.Start("parec",
                                {"-d", sink + ".monitor", "--raw", "--format=s16le",
                                 "--rate=" + std::to_string(TPulseServer::kMicRate), "--channels=1", "--latency-msec=50",
                                 file.string()},
                                {"PULSE_SERVER=" + pulse_.ServerAddress()}, root_ / "parec.log", &error))
            << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        parec.Stop();
        std::ifstream in(file, std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), {});
        std::vector<int16_t> samples(raw.size() / 2);
        std::memcpy(samples.data(), raw.data(), samples.size() * 2);
        return ToneHeard(samples);
    }

    // Walks every enabled item of the client's main window; the items without an effect.
    std::vector<std::string> Walk(const TClient& c, const TClient& other, const std::string& role) {
        const pid_t pid = c.process->Pid();
        // What the other's walk brought up here (a poll to answer, a note) is closed first: a modal
        // window left open would make the program refuse to close the others.
        for (auto w : Windows(pid))
            if (x_.Title(w).find(MainTitle("")) == std::string::npos)
                std::cout << role << ": open before the walk: \"" << x_.Title(w) << "\"" << std::endl;
        CloseWindows(pid, {});
        Activate(c);
        const auto keep = Windows(pid);
        std::vector<TItem> items = Items(walker_.Ask("list " + std::to_string(pid)));
        EXPECT_GT(items.size(), 20u) << role << ": the accessibility tree shows too few items";
        // Leaving the session goes last.
        std::stable_partition(items.begin(), items.end(), [](const TItem& i) { return i.name != "Exit Current Session"; });
        std::vector<std::string> dead;
        int walked = 0;
        bool popupsWalked = false;
        const auto walkPopups = [&] {
            CloseWindows(pid, keep);
            WalkPopups(c, other, role, keep, dead);
            popupsWalked = true;
        };
        for (const TItem& item : items) {
            // The state is read again before each press: an earlier item may have changed the rules.
            // The pop-ups are walked while the client is still in the room.
            if (item.name == "Exit Current Session" && !popupsWalked) walkPopups();
            const QJsonObject current = walker_.Ask("state " + item.id).object();
            if (!current["enabled"].toBool()) continue;
            ++walked;
            std::string effect = PressAndWatch(c, item.id);
            // A pop-up menu: each of its items is pressed in turn, the menu opened again each time.
            std::vector<TItem> popup = Items(walker_.Ask("popups " + std::to_string(pid)));
            if (!popup.empty()) {
                CloseWindows(pid, keep);
                for (const TItem& p : popup) {
                    if (!p.enabled) continue;
                    walker_.Ask("do " + item.id);
                    std::this_thread::sleep_for(std::chrono::milliseconds(400));
                    if (Items(walker_.Ask("popups " + std::to_string(pid))).empty()) continue;
                    const std::string e = PressAndWatch(c, p.id);
                    std::cout << role << ": " << p.id << " -> " << (e.empty() ? "NOTHING" : e) << std::endl;
                    if (e.empty()) dead.push_back(p.id);
                    CloseWindows(pid, keep);
                    Activate(c);
                }
            }
            std::cout << role << ": " << item.id << " -> " << (effect.empty() ? "NOTHING" : effect) << std::endl;
            if (effect.empty()) dead.push_back(item.id);
            CloseWindows(pid, keep);
            // A toggle is put back so that the next items find the window as it was.
            const QJsonObject after = walker_.Ask("state " + item.id).object();
            if (after.contains("checked") && after["checked"].toBool() != current["checked"].toBool() &&
                item.id.find("Recording") == std::string::npos) {
                walker_.Ask("do " + item.id);
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
                CloseWindows(pid, keep);
            }
            Activate(c);
        }
        EXPECT_GT(walked, 15) << role;
        if (!popupsWalked) walkPopups();
        return dead;
    }

    // The first shown accessible named so, as {x, y, w, h}; empty when none is shown.
    QJsonObject Shown(pid_t pid, const std::string& name) {
        for (const QJsonValue& v : walker_.Ask("find " + std::to_string(pid) + " " + name).array()) {
            const QJsonObject o = v.toObject();
            if (o["w"].toInt() > 0 && o["h"].toInt() > 0) return o;
        }
        return {};
    }
    // Opens a pop-up menu as a person does (a click of the given button at the point), then Down:
    // the menu's current item takes the focus, and through it the walker finds the menu. Down is
    // pressed again when the menu was not up yet.
    std::vector<TItem> OpenPopup(pid_t pid, const std::string& name, int x, int y, int button) {
        walker_.Ask("watch");
        x_.Click(x, y, button);
        std::vector<TItem> items;
        for (int attempt = 0; attempt < 3 && items.empty(); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            x_.Key(XK_Down);
            items = Items(walker_.Ask("caught " + std::to_string(pid) + " " + name));
        }
        return items;
    }
    // The pop-up menus of the main window that are no part of the tree until shown: each opened
    // once, its enabled items pressed one by one through the tree.
    void WalkPopups(const TClient& c, const TClient& other, const std::string& role,
                    const std::set<TXDriver::Window>& keep, std::vector<std::string>& dead) {
        const pid_t pid = c.process->Pid();
        // The moderator's name sorts after the participant's: with the moderator's hand raised,
        // sorting by hands differs from sorting by names.
        const std::string otherName = role == "moderator" ? "Bea Tester" : "Moderator1 Tester";
        const PRoomConnection mod = server_.Connection(role == "moderator" ? c.connection : other.connection);
        const uint8_t hand[4] = {1, 0, 0, 0};
        if (mod) server_.Send(c.connection, vkUserFeedback, hand, mod->userId.load(), kRoom);
        // A raised hand blinks for a while; no press is watched before it has stopped.
        const auto blinked = std::chrono::steady_clock::now() + std::chrono::milliseconds(4800);
        struct TTarget {
            std::string name, accessible;
            int button;
            bool below;  // the empty space below the rows (or the middle of the list), not the top
        };
        const TTarget targets[] = {{"participant row", otherName, 3, false},
                                   {"participant list", "Participant list", 3, true},
                                   {"chat", "Message history", 3, false},
                                   {"request", "Request", 1, false},
                                   {"send to", "Public Messages", 1, false},
                                   {"notes", "Notes list", 3, true}};
        for (const TTarget& t : targets) {
            CloseWindows(pid, keep);
            Activate(c);
            if (t.name == "notes") {
                // The notes share the navigator with the chat: their page is opened first.
                const QJsonObject page = Shown(pid, "Notes and Questions");
                if (!page.isEmpty()) {
                    x_.Click(page["x"].toInt() + page["w"].toInt() / 2, page["y"].toInt() + page["h"].toInt() / 2);
                    std::this_thread::sleep_for(std::chrono::milliseconds(400));
                }
            }
            const QJsonObject where = Shown(pid, t.accessible);
            if (where.isEmpty()) {
                dead.push_back("popup:" + t.name + " (no \"" + t.accessible + "\" shown)");
                continue;
            }
            const int x = where["x"].toInt() + std::min(40, where["w"].toInt() / 2);
            // The notes' list has a scroll bar at its foot: its middle is the empty space there.
            const int y = !t.below ? where["y"].toInt() + std::min(12, where["h"].toInt() / 2)
                          : t.name == "notes" ? where["y"].toInt() + where["h"].toInt() / 2
                                              : where["y"].toInt() + where["h"].toInt() - 8;
            const std::vector<TItem> items = OpenPopup(pid, t.name, x, y, t.button);
            CloseWindows(pid, keep);
            std::this_thread::sleep_until(blinked);
            std::cout << role << ": pop-up of the " << t.name << ": " << items.size() << " items" << std::endl;
            if (items.empty()) {
                Screenshot("e2e_menus_" + role + "_popup_closed");
                dead.push_back("popup:" + t.name + " (did not open)");
                continue;
            }
            for (const TItem& p : items) {
                const QJsonObject current = walker_.Ask("state " + p.id).object();
                if (!current["enabled"].toBool()) {
                    std::cout << role << ": " << p.id << " (disabled)" << std::endl;
                    continue;
                }
                // The choice in force among the item's group (a submenu of choices, or the
                // addressees), to be made again afterwards.
                const std::string group = p.id.substr(0, p.id.rfind('/'));
                std::string before;
                const bool choice = group != "popup:" + t.name || t.name == "send to";
                if (choice)
                    for (const TItem& q : items)
                        if (q.id != p.id && q.checked && q.id.substr(0, q.id.rfind('/')) == group) before = q.id;
                Activate(c);
                const std::string e = PressAndWatch(c, p.id);
                std::cout << role << ": " << p.id << " -> " << (e.empty() ? "NOTHING" : e) << std::endl;
                if (e.empty()) dead.push_back(p.id);
                CloseWindows(pid, keep);
                // The room is left as it was for the items still to come: a choice goes back to the
                // one in force, a toggle and a promotion are undone.
                std::string undo;
                const QJsonObject after = walker_.Ask("state " + p.id).object();
                if (after["checked"].toBool() && !current["checked"].toBool()) undo = before.empty() ? p.id : before;
                // A choice pressed again when already in force may take its own tick away.
                if (choice && !after["checked"].toBool() && current["checked"].toBool()) undo = p.id;
                if (p.name.rfind("Promote", 0) == 0) undo = p.id;
                if (!undo.empty()) {
                    walker_.Ask("do " + undo);
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    CloseWindows(pid, keep);
                }
            }
        }
        // Back to the chat's page, and the moderator's hand down again.
        const QJsonObject chatPage = Shown(pid, "Text Chat");
        if (!chatPage.isEmpty())
            x_.Click(chatPage["x"].toInt() + chatPage["w"].toInt() / 2, chatPage["y"].toInt() + chatPage["h"].toInt() / 2);
        const uint8_t down[4] = {0, 0, 0, 0};
        if (mod) server_.Send(c.connection, vkUserFeedback, down, mod->userId.load(), kRoom);
        Activate(c);
    }

    TPeerProcess wm_, bus_, launcher_;
    TPulseServer pulse_;
    int recordings_ = 0;
    TWalker walker_;
    std::string busAddress_, path_;
    unsigned long clipHolder_ = 0;
};

std::string Lines(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& i : v) s += "\n  " + i;
    return s;
}

}  // namespace

// The two walks run in rooms of their own, so the suite's longest run is split in two that run side
// by side.
TEST_F(MenuWalk, EveryEnabledItemOfTheModeratorHasAnEffect) {
    StartServer();
    const TClient moderator = Join("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = Join("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);

    const std::vector<std::string> dead = Walk(moderator, participant, "moderator");
    // The audio wizard ran inside its sequence: presence 2 before it, 0 after it.
    std::vector<int> presence;
    for (const TReceivedMessage& m : From(moderator.connection, vkPresence))
        if (!m.body.empty()) presence.push_back(m.body[0]);
    const auto wizard = std::find(presence.begin(), presence.end(), 2);
    EXPECT_NE(wizard, presence.end()) << "no presence 2 around the audio wizard";
    EXPECT_NE(std::find(wizard, presence.end(), 0), presence.end()) << "no presence 0 after the audio wizard";
    Screenshot("e2e_menus_moderator_walked");
    EXPECT_TRUE(dead.empty()) << "moderator's items without effect:" << Lines(dead);
}

TEST_F(MenuWalk, EveryEnabledItemOfTheParticipantHasAnEffect) {
    StartServer();
    const TClient moderator = Join("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = Join("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);

    const std::vector<std::string> dead = Walk(participant, moderator, "participant");
    Screenshot("e2e_menus_participant_walked");
    EXPECT_TRUE(dead.empty()) << "participant's items without effect:" << Lines(dead);
}

TEST_F(MenuWalk, ParticipantBrowsesTheImageLibraryAndSlidesReachTheRoom) {
    StartServer();
    const TClient moderator = Join("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = Join("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);

    // The participant opens the image library from the menu; it asks for the list and shows it.
    Activate(participant.main);
    const std::string pidB = std::to_string(participant.process->Pid());
    const QJsonDocument listed0 = walker_.Ask("list " + pidB);
    const std::vector<TItem> items = Items(listed0);
    ASSERT_FALSE(items.empty()) << listed0.toJson().toStdString();
    const auto images = std::find_if(items.begin(), items.end(),
                                     [](const TItem& i) { return i.name == "Slides and Stored Board Items"; });
    ASSERT_NE(images, items.end());
    ASSERT_TRUE(images->enabled);
    const size_t asked = From(participant.connection, vkBoardImageList).size();
    walker_.Ask("do " + images->id);
    ASSERT_TRUE(server_.WaitUntil([&] { return From(participant.connection, vkBoardImageList).size() > asked; }, kWaitMs));
    ASSERT_TRUE(x_.WaitForTitle("Images", participant.process->Pid(), kWaitMs));
    bool listed = false;
    for (int i = 0; i < 50 && !listed; ++i) {
        listed = !walker_.Ask("find " + pidB + " Orbit chart").array().isEmpty() &&
                 !walker_.Ask("find " + pidB + " Moon phases").array().isEmpty();
        if (!listed) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Screenshot("e2e_menus_image_library");
    EXPECT_TRUE(listed) << "the image library does not list the server's pictures";

    // The moderator starts the presentation once, then moves on from the board's tool bar.
    Activate(moderator.main);
    const std::string pidA = std::to_string(moderator.process->Pid());
    const std::vector<TItem> modItems = Items(walker_.Ask("list " + pidA));
    const auto presentations =
        std::find_if(modItems.begin(), modItems.end(), [](const TItem& i) { return i.name == "Presentations Storage"; });
    ASSERT_NE(presentations, modItems.end());
    walker_.Ask("do " + presentations->id);
    QJsonArray row;
    for (int i = 0; i < 50 && row.isEmpty(); ++i) {
        row = walker_.Ask("find " + pidA + " Lecture One").array();
        if (row.isEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(row.isEmpty()) << "the presentation is not listed";
    const QJsonObject cell = row.first().toObject();
    const int x = cell["x"].toInt() + 10, y = cell["y"].toInt() + cell["h"].toInt() / 2;
    x_.Click(x, y);
    x_.Click(x, y);
    ASSERT_TRUE(server_.WaitUntil([&] { return !From(moderator.connection, vkSlideToBoard).empty(); }, kWaitMs))
        << "opening the presentation sent no slide";
    Activate(moderator.main);

    auto slideOf = [](const TReceivedMessage& m) { return ShortAt(std::string(m.body.begin(), m.body.end()), 4 + 4); };
    std::vector<TItem> bar;
    for (int i = 0; i < 20; ++i) {
        bar = Items(walker_.Ask("list " + pidA));
        const auto next = std::find_if(bar.begin(), bar.end(), [](const TItem& t) {
            return t.id.rfind("tool:", 0) == 0 && t.name == "Next" && t.enabled;
        });
        if (next != bar.end()) {
            walker_.Ask("do " + next->id);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_TRUE(server_.WaitUntil(
        [&] {
            for (const auto& m : server_.SentOfKind(participant.connection, vkSlideToBoard))
                if (slideOf(m) == "Slide_2.JPG") return true;
            return false;
        },
        kWaitMs))
        << "the board tool bar's Next did not reach the participant";
    Screenshot("e2e_menus_slide_two");
}

TEST_F(MenuWalk, SharedDocumentOpensAndAPushedDocumentIsOffered) {
    StartServer();
    std::string doc = Record(5, "notes.pdf", "Course notes", 0);
    PutShort(doc, 410, ".PDF");
    server_.OnKind(vkDocumentList, [doc](TRoomServer& s, TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        std::string body(kRecord, '\0');
        PutI32(body, 0, 1);
        body += doc;
        s.Send(c.id, vkDocumentList, std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 0, c.room);
    });
    transfers_->Put(0, "notes.pdf", Stored("%PDF-1.4\n%%EOF\n"));
    const auto downloads = [this] {
        size_t n = 0;
        for (const TReceivedTransfer& t : transfers_->Requests()) n += t.kind == vkDownloadDocument;
        return n;
    };
    const TClient moderator = Join("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = Join("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);

    // The moderator opens the shared documents, picks the one listed and presses "Open": the
    // document is asked for.
    Activate(moderator.main);
    const std::string pidA = std::to_string(moderator.process->Pid());
    const std::vector<TItem> items = Items(walker_.Ask("list " + pidA));
    const auto library = std::find_if(items.begin(), items.end(), [](const TItem& i) { return i.id == "menu:Share Resources/Library"; });
    ASSERT_NE(library, items.end());
    walker_.Ask("do " + library->id);
    ASSERT_TRUE(x_.WaitForTitle("Shared Documents", moderator.process->Pid(), kWaitMs));
    QJsonObject row;
    for (int i = 0; i < 50 && row.isEmpty(); ++i) {
        row = Shown(moderator.process->Pid(), "notes.pdf");
        if (row.isEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(row.isEmpty()) << "the shared documents do not list the server's document";
    x_.Click(row["x"].toInt() + 10, row["y"].toInt() + row["h"].toInt() / 2);
    const QJsonObject open = Shown(moderator.process->Pid(), "Open");
    ASSERT_FALSE(open.isEmpty()) << "no \"Open\" button in the shared documents";
    x_.Click(open["x"].toInt() + open["w"].toInt() / 2, open["y"].toInt() + open["h"].toInt() / 2);
    EXPECT_TRUE(server_.WaitUntil([&] { return downloads() > 0; }, kWaitMs))
        << "\"Open\" did not ask the server for the document";
    Screenshot("e2e_menus_shared_document_open");

    // The document pushed to the participant is offered in a question that leaves the room usable.
    CloseWindows(moderator.process->Pid(), {moderator.main});
    Activate(participant.main);
    std::string push(4, '\0');
    push += doc;
    const PRoomConnection mod = server_.Connection(moderator.connection);
    ASSERT_TRUE(mod);
    const size_t asked = downloads();
    server_.Send(participant.connection, vkOpenDocument,
                 std::span(reinterpret_cast<const uint8_t*>(push.data()), push.size()), mod->userId.load(), kRoom);
    const auto offer = x_.WaitForTitle("Orbelo Live Browser", participant.process->Pid(), kWaitMs);
    ASSERT_TRUE(offer) << "no offer of the pushed document";
    Display* d = x_.X();
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False), modal = XInternAtom(d, "_NET_WM_STATE_MODAL", False);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    bool isModal = false;
    if (XGetWindowProperty(d, *offer, state, 0, 32, False, XA_ATOM, &type, &format, &n, &after, &data) == Success && data) {
        for (unsigned long i = 0; i < n; ++i) isModal |= reinterpret_cast<Atom*>(data)[i] == modal;
        XFree(data);
    }
    EXPECT_FALSE(isModal) << "the offer blocks the room window";
    const std::string pidB = std::to_string(participant.process->Pid());
    Screenshot("e2e_menus_pushed_document_offer");
    QJsonObject ok;
    for (const QJsonValue& v : walker_.Ask("find " + pidB + " OK").array())
        if (v.toObject()["w"].toInt() > 0) ok = v.toObject();
    ASSERT_FALSE(ok.isEmpty()) << "the offer has no OK button";
    x_.Click(ok["x"].toInt() + ok["w"].toInt() / 2, ok["y"].toInt() + ok["h"].toInt() / 2);
    EXPECT_TRUE(server_.WaitUntil([&] { return downloads() > asked; }, kWaitMs))
        << "accepting the offer did not ask for the document";
}

// The buttons, tool buttons and check boxes of the main window and its panels, pressed through the
// accessibility tree as the menus are, in the states that enable the audio panel's buttons: a
// participant with the microphone right and a working microphone, a moderator holding the floor,
// and a microphone that stopped.
TEST_F(MenuWalk, EveryEnabledButtonHasAnEffectAndFollowsItsRule) {
    StartServer();
    StartPulse({"moderator1", "bea"});
    TToneMicrophone micModerator(pulse_.SourcePipe("mic_moderator1"));
    TToneMicrophone micParticipant(pulse_.SourcePipe("mic_bea"));
    const TClient moderator = JoinWithSound("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = JoinWithSound("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice);
    ASSERT_TRUE(voice->WaitUntil(
        [&] { return voice->Connected(UserId(moderator)) && voice->Connected(UserId(participant)); }, kWaitMs));

    GiveMicrophone(moderator, participant);
    Activate(participant);
    EXPECT_FALSE(Button(participant, "Speak", true).isEmpty()) << "Speak stays disabled with the microphone right";
    const std::vector<std::string> failedParticipant = WalkButtons(participant, "participant", {"Speak"});
    Screenshot("e2e_buttons_participant_walked");

    Activate(moderator);
    const QJsonObject speak = Button(moderator, "Speak", true);
    ASSERT_FALSE(speak.isEmpty()) << "the moderator's Speak is not enabled";
    ClickOn(speak);
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->HoldsFloor(UserId(moderator)); }, kWaitMs)) << "Speak took no floor";
    const std::vector<std::string> failedModerator = WalkButtons(moderator, "moderator", {"Speak"});
    Screenshot("e2e_buttons_moderator_walked");

    // The microphones' sources go away: the participant's panel offers Reconnect Audio.
    RemoveMicrophones();
    Activate(participant);
    EXPECT_FALSE(Button(participant, "Reconnect Audio", true).isEmpty()) << "no Reconnect Audio for a stopped microphone";
    const std::vector<std::string> failedStopped =
        WalkButtons(participant, "participant, microphone stopped", {"Reconnect Audio"}, {"Reconnect Audio"});
    Screenshot("e2e_buttons_microphone_stopped");
    EXPECT_TRUE(failedParticipant.empty()) << "participant's buttons:" << Lines(failedParticipant);
    EXPECT_TRUE(failedModerator.empty()) << "moderator's buttons:" << Lines(failedModerator);
    EXPECT_TRUE(failedStopped.empty()) << "with a stopped microphone:" << Lines(failedStopped);
}

// A mouse user speaks and reconnects the audio: Speak clicked takes the floor and the moderator hears
// the tone, clicked again gives the floor up; the microphone's source goes away, Reconnect Audio
// appears, the source comes back and a click on the button registers the voice anew, and the tone is
// heard again.
TEST_F(MenuWalk, AParticipantSpeaksAndReconnectsTheAudioWithTheMouse) {
    StartServer();
    StartPulse({"moderator1", "bea"});
    auto microphone = std::make_unique<TToneMicrophone>(pulse_.SourcePipe("mic_bea"));
    const TClient moderator = JoinWithSound("moderator1", "Moderator1 Tester");
    ASSERT_TRUE(moderator.process && moderator.main);
    const TClient participant = JoinWithSound("bea", "Bea Tester");
    ASSERT_TRUE(participant.process && participant.main);
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice);
    const int32_t bea = UserId(participant);
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Connected(UserId(moderator)) && voice->Connected(bea); }, kWaitMs));
    GiveMicrophone(moderator, participant);

    Activate(participant);
    const QJsonObject speak = Button(participant, "Speak", true);
    ASSERT_FALSE(speak.isEmpty()) << "Speak is not enabled with the microphone right";
    ClickOn(speak);
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->HoldsFloor(bea); }, kWaitMs)) << "the click took no floor";
    const THeardTone heard = Listen("spk_moderator1", 4000);
    Screenshot("e2e_buttons_speaking");
    EXPECT_GE(heard.seconds, 2.5) << "the moderator heard " << heard.seconds << " s of 4 s of tone";
    ClickOn(speak);
    EXPECT_TRUE(voice->WaitUntil([&] { return !voice->HoldsFloor(bea); }, kWaitMs)) << "Speak again kept the floor";

    // The source goes away (its writer sees the pipe close), and the panel offers to reconnect.
    RemoveMicrophones();
    microphone.reset();
    const QJsonObject reconnect = Button(participant, "Reconnect Audio", true);
    Screenshot("e2e_buttons_reconnect_offered");
    ASSERT_FALSE(reconnect.isEmpty()) << "Reconnect Audio did not appear";
    RestoreMicrophone("bea");
    microphone = std::make_unique<TToneMicrophone>(pulse_.SourcePipe("mic_bea"));
    const int registered = voice->Registrations(bea);
    Activate(participant);
    ClickOn(reconnect);
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Registrations(bea) > registered; }, kWaitMs))
        << "the click registered no voice connection";

    const QJsonObject again = Button(participant, "Speak", true);
    ASSERT_FALSE(again.isEmpty()) << "Speak did not come back after the reconnection";
    ClickOn(again);
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->HoldsFloor(bea); }, kWaitMs)) << "the click took no floor";
    const THeardTone heardAgain = Listen("spk_moderator1", 4000);
    Screenshot("e2e_buttons_reconnected");
    EXPECT_GE(heardAgain.seconds, 2.5) << "after the reconnection the moderator heard " << heardAgain.seconds << " s";

    // The smilies button opens the chat's menu on a click; its smiley ":-&" shows its "&".
    const QJsonObject smilies = Button(participant, "Smilies", true);
    ASSERT_FALSE(smilies.isEmpty());
    ClickOn(smilies);
    const QJsonObject insert = Shown(participant.process->Pid(), "Insert smilies");
    ASSERT_FALSE(insert.isEmpty()) << "the smilies button opened no menu";
    ClickOn(insert);
    QJsonObject code;
    for (int i = 0; i < 20 && code.isEmpty(); ++i) {
        code = Shown(participant.process->Pid(), ":-&");
        if (code.isEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Screenshot("e2e_buttons_smilies_menu");
    EXPECT_FALSE(code.isEmpty()) << "no smiley \":-&\" on the menu";
    CloseWindows(participant.process->Pid(), {participant.main});
}
