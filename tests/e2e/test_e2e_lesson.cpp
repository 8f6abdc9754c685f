// A lesson on the test room as scripts/run serves it, with real clients on a private X server: a
// student who comes late, or back from a breakout room, sees the slide the moderator showed; the
// third client's participant list follows the breakout moves; the lab is recorded (chat, strokes,
// voice on a private PulseAudio) and replayed through its play link; an account of the accounts
// file is refused with a wrong password and signs in with its own.

#include <X11/keysym.h>
#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QPainter>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio_test_util.h"
#include "e2e_test.h"
#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "protocol/message_kinds.h"
#include "support/pulse_server.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kMainHall = 1002;
constexpr int kLab = 1003;  // the room that records
constexpr int kBreakoutRoom = 2001;  // the first breakout room the server makes

std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }

std::vector<uint8_t> I32(int32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), uint32_t(v));
    return b;
}

// Slide 2 of a presentation: three blocks of colour no board shows by itself.
QImage SlidePicture() {
    QImage img(480, 320, QImage::Format_RGB32);
    img.fill(QColor(20, 40, 200));
    QPainter p(&img);
    p.fillRect(240, 0, 240, 160, QColor(250, 140, 0));
    p.fillRect(0, 160, 240, 160, QColor(0, 160, 60));
    return img;
}
bool SlideColour(QRgb c) {
    auto near = [c](int r, int g, int b) {
        return std::abs(qRed(c) - r) < 40 && std::abs(qGreen(c) - g) < 40 && std::abs(qBlue(c) - b) < 40;
    };
    return near(20, 40, 200) || near(250, 140, 0) || near(0, 160, 60);
}

// The part of a window's area that shows the slide: its rows' runs of slide colours at least 40
// pixels long (tool icons and list marks are smaller); empty when none shows.
QRect SlideOnScreen(const QImage& screen, const TScreenRect& area) {
    QRect box;
    const QRect inside = QRect(area.x, area.y, area.width, area.height) & screen.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right();) {
            int end = x;
            while (end <= inside.right() && SlideColour(screen.pixel(end, y))) ++end;
            if (end - x >= 40) box |= QRect(x, y, end - x, 1);
            x = end + 1;
        }
    return box;
}

// Pixels that differ between two crops of the same size (any channel by more than 40).
int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::abs(qRed(p) - qRed(q)) > 40 || std::abs(qGreen(p) - qGreen(q)) > 40 ||
                 std::abs(qBlue(p) - qBlue(q)) > 40;
        }
    return n;
}

// Dark (text) pixels of the third row of a main window's participant list: the row under the
// moderator's and Tom's.
int ThirdRowInk(const QImage& screen, const TScreenRect& area) {
    int n = 0;
    for (int y = area.y + 141; y <= area.y + 157; ++y)
        for (int x = area.x + 5; x <= area.x + 150; ++x) n += qGray(screen.pixel(x, y)) < 128;
    return n;
}

// A moderator's own connection that runs the breakout commands ("Breakout Rooms..." creates a
// room, drags a member into it, "Return All"), as the breakout window sends them; it signs in and
// enters no room, so no list shows it.
class TBreakoutDesk {
public:
    bool SignIn(uint16_t port) {
        if (!s_.Connect("127.0.0.1", port, 5000)) return false;
        s_.SetReadTimeout(10000);
        uint8_t version[32] = {}, head[22];
        uint8_t login[106] = {};
        const std::string name = "moddesk";
        login[4] = 2;
        std::memcpy(login + 5, "pw", 2);
        login[55] = uint8_t(name.size());
        std::memcpy(login + 56, name.data(), name.size());
        std::vector<uint8_t> m, startup(519);
        TVCRHeader h;
        return s_.WriteAll(version, 32) && s_.ReadExact(head, 22) && s_.WriteAll(login, 106) && Read(h, m) &&
               h.result == 0 && Send(vkStartupInfo, {}) && s_.ReadExact(head, 22) && s_.ReadExact(startup.data(), 519);
    }
    bool CreateRoom() {
        TVCRHeader h;
        std::vector<uint8_t> m;
        if (!Send(vkCreateBreakoutRoom, std::vector<uint8_t>(200, 0))) return false;
        while (Read(h, m))
            if (h.kind == vkCreateBreakoutRoom) return true;
        return false;
    }
    bool Move(int32_t user, int32_t room) {
        std::vector<uint8_t> body = I32(user);
        const auto r = I32(room);
        body.insert(body.end(), r.begin(), r.end());
        return Send(vkMoveToRoom, body);
    }

private:
    bool Send(uint16_t kind, const std::vector<uint8_t>& body) {
        TVCRHeader h;
        InitVCRHeader(kind, 0, 0, h);
        h.bodyLength = int32_t(body.size());
        const auto bytes = BuildPacketStream(h, body.data(), body.size());
        return s_.WriteAll(bytes.data(), bytes.size());
    }
    bool Read(TVCRHeader& h, std::vector<uint8_t>& m) {
        return ReadVCRMessage([this](void* b, size_t n) { return s_.ReadExact(b, n); }, h, m) == TReadResult::Message;
    }
    TTcpClient s_;
};

class Lesson : public TEndToEnd {
protected:
    struct TUser {
        TClientProcess* client = nullptr;
        int connection = 0;
        int32_t id = 0;
        TXDriver::Window main = 0;
    };
    // A client that joins the room by its link and has finished the room entry.
    TUser Join(const std::string& name, const std::string& fullName, int room = kMainHall) {
        TUser u;
        u.client = StartClient(name, {JoinLink(name, "pw", room)});
        if (!u.client) return u;
        u.connection = WaitForSignIn();
        EXPECT_NE(u.connection, 0) << name << " did not sign in";
        if (!u.connection) return u;
        u.id = server_.Connection(u.connection)->userId;
        auto main = x_.WaitForTitle(MainTitle(fullName), u.client->Pid(), kWaitMs);
        EXPECT_TRUE(main) << "no main window of " << name;
        if (main) u.main = *main;
        EXPECT_TRUE(WaitFor(u.connection, vkRoomProfile)) << name << " did not finish the room entry";
        EXPECT_TRUE(main && WaitForPainted(*main));
        return u;
    }
    // Brings a client's window to the front and takes the screen; the slide's part of its window.
    QRect ShownSlide(const TUser& u, const std::string& shot, QImage& screen) {
        x_.Raise(u.main);
        usleep(700 * 1000);
        screen = Screenshot(shot);
        auto area = x_.Geometry(u.main);
        return area && !screen.isNull() ? SlideOnScreen(screen, *area) : QRect();
    }
    // Whether the server told a connection of that user's leave (13) or join (153), `count` times.
    bool Told(int connection, uint16_t kind, int32_t user, size_t count = 1) {
        return server_.WaitUntil(
            [&] {
                size_t n = 0;
                for (auto& m : server_.SentOfKind(connection, kind))
                    n += m.header.sender == user;
                return n >= count;
            },
            kWaitMs);
    }
};

}  // namespace

TEST_F(Lesson, LateComersAndReturnersSeeTheSlideAndTheListsFollowTheBreakout) {
    StartRoomServer();
    const TUser mod = Join("mod", "Mod Tester");
    const TUser tom = Join("tom", "Tom Tester");
    ASSERT_TRUE(mod.main && tom.main);

    // The moderator's presentation shows slide 2 on board 1: the room sends it to everybody, as it
    // does for the moderator's slide request.
    QByteArray jpeg;
    {
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(SlidePicture().save(&out, "JPG", 90));
    }
    std::vector<uint8_t> slide = I32(1);
    slide.resize(4 + 773, 0);
    const std::string name = "Slide_2.JPG";
    slide[4 + 4] = uint8_t(name.size());
    std::memcpy(slide.data() + 4 + 5, name.data(), name.size());
    StoreU32(slide.data() + 4 + 406, uint32_t(jpeg.size()));
    slide[4 + 410] = 4;
    std::memcpy(slide.data() + 4 + 411, ".JPG", 4);
    StoreU32(slide.data() + 4 + 769, 2);
    slide.insert(slide.end(), jpeg.begin(), jpeg.end());
    server_.Broadcast(kMainHall, vkSlideToBoard, slide, mod.id);
    usleep(1500 * 1000);
    QImage modScreen;
    const QRect modSlide = ShownSlide(mod, "e2e_lesson_moderator_slide2", modScreen);
    ASSERT_GE(modSlide.width(), 300) << "the moderator's board shows no slide";
    ASSERT_GE(modSlide.height(), 200);
    const QImage shown = modScreen.copy(modSlide);

    // Pia comes late: her board request is answered with the slide.
    const TUser pia = Join("pia", "Pia Tester");
    ASSERT_TRUE(pia.main);
    usleep(1500 * 1000);
    QImage piaScreen;
    QRect piaSlide = ShownSlide(pia, "e2e_lesson_late_student_slide2", piaScreen);
    ASSERT_EQ(piaSlide.size(), modSlide.size()) << "the late student's board does not show the moderator's slide";
    EXPECT_LE(Differing(piaScreen.copy(piaSlide), shown), shown.width() * shown.height() / 100);

    // Tom's list before the breakout.
    x_.Raise(tom.main);
    usleep(500 * 1000);
    const auto tomArea = x_.Geometry(tom.main);
    ASSERT_TRUE(tomArea);
    EXPECT_GT(ThirdRowInk(Screenshot("e2e_lesson_third_list_before"), *tomArea), 20) << "Tom's list lacks Pia";

    // A breakout room for Pia: Tom's list loses her, her breakout room has boards of its own.
    TBreakoutDesk desk;
    ASSERT_TRUE(desk.SignIn(Port()));
    ASSERT_TRUE(desk.CreateRoom());
    ASSERT_TRUE(desk.Move(pia.id, kBreakoutRoom));
    ASSERT_TRUE(Told(tom.connection, vkUserLeft, pia.id)) << "Tom was not told that Pia left the main room";
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.Connection(pia.connection)->room == kBreakoutRoom; }, kWaitMs));
    ASSERT_TRUE(server_.WaitUntil([&] { return From(pia.connection, vkRoomProfile).size() >= 2; }, kWaitMs));
    usleep(1500 * 1000);
    x_.Raise(tom.main);
    usleep(500 * 1000);
    EXPECT_EQ(ThirdRowInk(Screenshot("e2e_lesson_third_list_during_breakout"), *tomArea), 0)
        << "Tom's list still shows Pia";
    QImage breakoutScreen;
    EXPECT_LT(ShownSlide(pia, "e2e_lesson_student_in_breakout", breakoutScreen).width(), 50)
        << "the breakout room shows the main room's slide";

    // Return All: Tom's list has her again, and her board the slide.
    ASSERT_TRUE(desk.Move(pia.id, kMainHall));
    ASSERT_TRUE(Told(tom.connection, vkUserJoinedEx, pia.id)) << "Tom was not told that Pia came back";
    ASSERT_TRUE(server_.WaitUntil([&] { return From(pia.connection, vkRoomProfile).size() >= 3; }, kWaitMs));
    usleep(2000 * 1000);
    x_.Raise(tom.main);
    usleep(500 * 1000);
    EXPECT_GT(ThirdRowInk(Screenshot("e2e_lesson_third_list_after_return"), *tomArea), 20)
        << "Tom's list did not get Pia back";
    piaSlide = ShownSlide(pia, "e2e_lesson_returned_student_slide2", piaScreen);
    ASSERT_EQ(piaSlide.size(), modSlide.size()) << "the returned student's board does not show the slide";
    EXPECT_LE(Differing(piaScreen.copy(piaSlide), shown), shown.width() * shown.height() / 100);
    EXPECT_TRUE(mod.client->Running() && tom.client->Running() && pia.client->Running());
}

TEST_F(Lesson, AWrongPasswordIsRefusedAndTheAccountsOwnSignsIn) {
    TRoomHandshakeScript script = PerLoginScript();
    script.fixedAccounts["teacher"] = {"lesson42", true};
    StartRoomServer(script);
    const std::string login = "Orbelo Live - Authentication Required";
    auto signIn = [&](const std::string& folder, const std::string& password) -> TClientProcess* {
        TClientProcess* c = StartClient(folder);
        if (!c) return nullptr;
        auto dialog = x_.WaitForTitle(login, c->Pid(), kWaitMs);
        EXPECT_TRUE(dialog) << "no login dialog";
        if (!dialog || !WaitForPainted(*dialog)) return nullptr;
        auto box = x_.Geometry(*dialog);
        if (!box) return nullptr;
        x_.Click(box->x + 200, box->y + 142);  // the host box
        x_.Key(XK_a, {XK_Control_L});
        x_.Type("127.0.0.1:" + std::to_string(Port()) + "\tteacher\t" + password);
        x_.Key(XK_Return);
        return c;
    };
    TClientProcess* wrong = signIn("wrong", "lesson41");
    ASSERT_TRUE(wrong);
    // The refusal: the server's result in the "Access Denied" box, and no session.
    auto refused = x_.WaitForTitle("Orbelo Live Browser", wrong->Pid(), kWaitMs);
    ASSERT_TRUE(refused) << "no refusal shown";
    ASSERT_TRUE(WaitForPainted(*refused));
    Screenshot("e2e_lesson_wrong_password");
    EXPECT_EQ(handshake_->LoginPassword(), "lesson41");
    for (int id : server_.Connections()) EXPECT_EQ(server_.Connection(id)->userId, 0);
    x_.Key(XK_Return);

    TClientProcess* right = signIn("right", "lesson42");
    ASSERT_TRUE(right);
    const int c = WaitForSignIn();
    ASSERT_NE(c, 0) << "the right password did not sign in";
    TAccount account;
    ASSERT_TRUE(handshake_->AccountOf(c, account));
    EXPECT_TRUE(account.Moderator());
    auto rooms = x_.WaitForTitle("Welcome to Orbelo Live", right->Pid(), kWaitMs);
    ASSERT_TRUE(rooms) << "no room list after the right password";
    ASSERT_TRUE(WaitForPainted(*rooms));
    Screenshot("e2e_lesson_right_password");
}

// ---- Recording the lab and replaying it

namespace {

constexpr int kRate = TPulseServer::kMicRate;
constexpr int kToneHz = 440;
constexpr double kToneSeconds = 2.5;

// Where things are in the main window, from its top-left corner (or its bottom): the chat input,
// and the recorder tool bar's Start and Stop buttons.
constexpr int kChatInputX = 90;
constexpr int kChatInputFromBottom = 65;
constexpr int kRecordStartX = 29, kRecordStopX = 95, kRecordY = 47;

bool White(const QImage& img, int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF; }

// The top-left pixel of the board: the first white rectangle of at least 400 x 300 in the area.
std::optional<QPoint> FindBoard(const QImage& screen, QRect area) {
    area &= screen.rect();
    for (int y = area.top() + 1; y < area.bottom() - 300; ++y)
        for (int x = area.left() + 1; x < area.right() - 400; ++x) {
            if (!White(screen, x, y) || White(screen, x - 1, y) || White(screen, x, y - 1)) continue;
            bool ok = true;
            for (int i = 0; i < 400 && ok; ++i) ok = White(screen, x + i, y);
            for (int i = 0; i < 300 && ok; ++i) ok = White(screen, x, y + i);
            if (ok) return QPoint(x, y);
        }
    return std::nullopt;
}

// When the tone starts in a recording of a sink's monitor: the first of ten 20 ms windows in a
// row that are loud and cross zero as a 440 Hz tone does (seconds from the start; -1: never).
double ToneStart(const std::vector<int16_t>& s) {
    constexpr size_t kWindow = kRate / 50;
    int run = 0;
    for (size_t at = 0; at + kWindow <= s.size(); at += kWindow) {
        run = ToneWindow(&s[at], kWindow, kToneHz) ? run + 1 : 0;
        if (run == 10) return double(at + kWindow - 10 * kWindow) / kRate;
    }
    return -1;
}

class LessonRecording : public Lesson {
protected:
    void StartMicrophone(const std::string& source) {
        mic_ = std::thread([this, source] {
            // Not blocking: once nobody records from the source, the pipe fills and chunks are dropped.
            const int fd = open(pulse_.SourcePipe(source).c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) return;
            std::vector<int16_t> samples(size_t(kToneSeconds * kRate));
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = int16_t(std::lround(8000 * std::sin(2 * M_PI * kToneHz * double(i) / kRate)));
            const auto tone = audiotest::ToBytes(samples);
            const std::vector<uint8_t> silence(kRate / 50 * 2, 0);
            size_t at = 0;
            auto next = std::chrono::steady_clock::now();
            while (!micStop_) {
                const uint8_t* chunk = silence.data();
                if (toneAsked_ && at < tone.size()) {
                    chunk = tone.data() + at;
                    at += silence.size();
                    if (at >= tone.size()) toneDone_ = true;
                }
                if (write(fd, chunk, silence.size()) < 0 && errno != EAGAIN) break;
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
            close(fd);
        });
    }
    TClientProcess* StartWithDevice(const std::string& name, const std::string& sink, const std::string& source,
                                    const std::vector<std::string>& args) {
        const auto conf = root_ / ("asound-" + name + ".conf");
        pulse_.AlsaConfig(conf, sink, source);
        setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        setenv("PULSE_SERVER", pulse_.ServerAddress().c_str(), 1);
        return StartClient(name, args);
    }
    void Say(TXDriver::Window w, const std::string& text) {
        x_.Raise(w);
        usleep(300 * 1000);
        auto box = x_.Geometry(w);
        ASSERT_TRUE(box);
        x_.Click(box->x + kChatInputX, box->y + box->height - kChatInputFromBottom);
        usleep(200 * 1000);
        ASSERT_TRUE(x_.Type(text));
        x_.Key(XK_Return);
    }
    void TearDown() override {
        micStop_ = true;
        if (mic_.joinable()) mic_.join();
        parec_.Stop();
        TEndToEnd::TearDown();
    }

    TPulseServer pulse_;
    TPeerProcess parec_;
    std::thread mic_;
    std::atomic<bool> micStop_{false}, toneAsked_{false}, toneDone_{false};
};

}  // namespace

TEST_F(LessonRecording, TheLabIsRecordedAndItsPlayLinkReplaysChatStrokesAndVoiceInOrder) {
    std::string error;
    ASSERT_TRUE(pulse_.Start(root_ / "pulse", {"spk_mod", "spk_play"}, {"mic_mod"}, &error)) << error;
    StartMicrophone("mic_mod");
    StartRoomServer();
    TUser mod;
    mod.client = StartWithDevice("mod", "spk_mod", "mic_mod", {JoinLink("mod", "pw", kLab)});
    ASSERT_TRUE(mod.client);
    mod.connection = WaitForSignIn();
    ASSERT_NE(mod.connection, 0);
    mod.id = server_.Connection(mod.connection)->userId;
    auto main = x_.WaitForTitle(MainTitle("Mod Tester"), mod.client->Pid(), kWaitMs);
    ASSERT_TRUE(main);
    mod.main = *main;
    ASSERT_TRUE(WaitFor(mod.connection, vkRoomProfile));
    ASSERT_TRUE(WaitForPainted(mod.main));
    usleep(1000 * 1000);
    auto area = x_.Geometry(mod.main);
    ASSERT_TRUE(area);
    // The lab shows the moderator the recorder tool bar.
    const QImage lab = Screenshot("e2e_lesson_lab_recorder");
    const auto board = FindBoard(lab, QRect(area->x, area->y, area->width, area->height));
    ASSERT_TRUE(board) << "no board on the screen";

    // The moderator takes the floor (F3) before the recording starts.
    for (int attempt = 0; attempt < 3 && From(mod.connection, vkTakeMicrophone).empty(); ++attempt) {
        x_.MoveTo(area->x + area->width / 2, area->y + area->height - 8);
        x_.Click(area->x + area->width / 2, area->y + area->height - 8);
        x_.Key(XK_F3);
        server_.WaitUntil([&] { return !From(mod.connection, vkTakeMicrophone).empty(); }, 4000);
    }
    ASSERT_FALSE(From(mod.connection, vkTakeMicrophone).empty()) << "F3 asked for no floor";

    // Start; a chat line; a stroke; the tone; another chat line; stop (about ten seconds).
    x_.Click(area->x + kRecordStartX, area->y + kRecordY);
    ASSERT_TRUE(WaitFor(mod.connection, vkStartRecording)) << "the recorder's Start sent nothing";
    ASSERT_TRUE(server_.WaitUntil([&] { return !server_.SentOfKind(mod.connection, vkStartRecording).empty(); }));
    EXPECT_EQ(server_.SentOfKind(mod.connection, vkStartRecording)[0].header.result, 0);
    usleep(800 * 1000);
    Screenshot("e2e_lesson_recording_started");
    x_.Key(XK_Return);  // the recorder's notice
    usleep(300 * 1000);
    Say(mod.main, "First line of the lab");
    ASSERT_TRUE(WaitFor(mod.connection, vkTextMessage));
    usleep(1000 * 1000);
    const QPoint pen = *board + QPoint(9 + 5 * 27, -51);  // the free-hand tool
    x_.Click(pen.x(), pen.y());
    std::vector<std::pair<int, int>> stroke;
    for (int i = 0; i <= 30; ++i)
        stroke.emplace_back(board->x() + 60 + i * 10, board->y() + 120 + int(60 * std::sin(i / 4.0)));
    x_.Drag(stroke);
    ASSERT_TRUE(WaitFor(mod.connection, vkBoardStrokes)) << "the stroke was not sent";
    usleep(1500 * 1000);
    toneAsked_ = true;
    for (int waited = 0; waited < 10000 && !toneDone_; waited += 100) usleep(100 * 1000);
    ASSERT_TRUE(toneDone_);
    usleep(1000 * 1000);
    Say(mod.main, "Second line of the lab");
    ASSERT_TRUE(server_.WaitUntil([&] { return From(mod.connection, vkTextMessage).size() >= 2; }, kWaitMs));
    usleep(1000 * 1000);
    Screenshot("e2e_lesson_recording_before_stop");
    x_.Click(area->x + kRecordStopX, area->y + kRecordY);
    ASSERT_TRUE(WaitFor(mod.connection, vkStopRecording)) << "the recorder's Stop sent nothing";
    ASSERT_TRUE(server_.WaitUntil([&] { return !server_.SentOfKind(mod.connection, vkStopRecording).empty(); }));
    EXPECT_EQ(server_.SentOfKind(mod.connection, vkStopRecording)[0].header.result, 0);
    ASSERT_TRUE(mod.client->Stop());

    // The replay through the play link, heard on its own sink and watched on the screen. The
    // recording of the sink starts some time after parec does: its first bytes tell when.
    const auto t0 = std::chrono::steady_clock::now();
    const auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    const std::string heard = (root_ / "spk_play.raw").string();
    ASSERT_TRUE(parec_.Start("parec",
                             {"-d", "spk_play.monitor", "--raw", "--format=s16le", "--rate=" + std::to_string(kRate),
                              "--channels=1", "--latency-msec=20", heard},
                             {"PULSE_SERVER=" + pulse_.ServerAddress()}, root_ / "parec.log", &error))
        << error;
    double audioStart = -1;
    for (int i = 0; i < 1000 && audioStart < 0; ++i) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(heard, ec);
        if (!ec && size > 0) audioStart = since() - double(size) / (2.0 * kRate);
        else usleep(5 * 1000);
    }
    ASSERT_GE(audioStart, 0) << "parec recorded nothing";
    setenv("ORB_PLAYER_TRACE", "1", 1);  // the player's status on its standard error
    TClientProcess* play = StartWithDevice(
        "play", "spk_play", "", {"ORB6PLAY://127.0.0.1," + std::to_string(Port()) + ",mod,pw,101"});
    ASSERT_TRUE(play);
    // In the replay's layout (the whole screen) the public chat is at the left, between the
    // participants and the player; the board is the white area at the right.
    const QRect chatArea(5, 380, 275, 240);
    QRect boardArea;
    struct TFrame {
        double at;
        int chat, board;
    };
    std::vector<TFrame> frames;
    QImage last;
    while (since() < 30) {
        const double before = since();
        const QImage frame = x_.Capture();
        const double at = (before + since()) / 2;
        if (frame.isNull()) continue;
        if (boardArea.isEmpty()) {
            // Once playing, the window has the replay's layout.
            if (play->Output().find("player status: PLAYING") == std::string::npos) {
                usleep(50 * 1000);
                continue;
            }
            if (auto b = FindBoard(frame, frame.rect())) boardArea = QRect(*b, QSize(400, 300));
            usleep(100 * 1000);
            continue;
        }
        TFrame f{at, 0, 0};
        for (int y = chatArea.top(); y <= chatArea.bottom(); ++y)
            for (int x = chatArea.left(); x <= chatArea.right(); ++x) f.chat += qGray(frame.pixel(x, y)) < 128;
        for (int y = boardArea.top(); y <= boardArea.bottom(); y += 2)
            for (int x = boardArea.left(); x <= boardArea.right(); x += 2) f.board += !White(frame, x, y);
        frames.push_back(f);
        // Every step shows by now: the player has stopped at the end of the recording.
        const std::string status = play->Output();
        const size_t playing = status.find("player status: PLAYING");
        if (!last.isNull() && f.chat == frames[frames.size() - 2].chat && playing != std::string::npos &&
            status.find("player status: STOPPED", playing) != std::string::npos)
            break;
        last = frame;
        usleep(50 * 1000);
    }
    Screenshot("e2e_lesson_replay_end");
    parec_.Stop();
    const double toneStart = ToneStart(audiotest::ToSamples(audiotest::ReadFile(heard)));
    const double toneAt = toneStart < 0 ? -1 : audioStart + toneStart;
    // The first chat line, then a second one (clearly more text), and the first strokes.
    double chat1At = -1, chat2At = -1, strokesAt = -1;
    int level1 = 0;
    for (const TFrame& f : frames) {
        if (strokesAt < 0 && f.board > 20) strokesAt = f.at;
        if (chat1At < 0 && f.chat > 50) chat1At = f.at;
        if (chat1At >= 0 && f.at < chat1At + 0.5) level1 = std::max(level1, f.chat);
        if (chat1At >= 0 && f.at >= chat1At + 0.5 && chat2At < 0 && f.chat > level1 + 50) chat2At = f.at;
    }
    std::printf("replay (s from its start): chat %.2f, strokes %.2f, tone %.2f, chat %.2f\n", chat1At, strokesAt,
                toneAt, chat2At);
    EXPECT_TRUE(play->Running()) << play->Ending();
    ASSERT_GE(chat1At, 0) << "the first chat line did not come back";
    ASSERT_GE(strokesAt, 0) << "the strokes did not come back";
    ASSERT_GE(toneAt, 0) << "the tone did not come back";
    ASSERT_GE(chat2At, 0) << "the second chat line did not come back";
    EXPECT_LT(chat1At, strokesAt);
    EXPECT_LT(strokesAt, toneAt);
    EXPECT_LT(toneAt, chat2At);
}
