#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <tuple>

#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"
#include "wire/bytes.h"

using namespace orb;
using orb::test::TRoomConnection;
using orb::test::TRoomServer;

extern char** environ;

namespace {

bool ReadMessage(TTcpClient& c, TVCRHeader& h, std::vector<uint8_t>& stream) {
    return ReadVCRMessage([&](void* b, size_t n) { return c.ReadExact(b, n); }, h, stream) == TReadResult::Message;
}

bool SendMessage(TTcpClient& c, uint16_t kind, std::vector<uint8_t> body = {}) {
    TVCRHeader h;
    InitVCRHeader(kind, 1, 0, h);
    h.bodyLength = int32_t(body.size());
    auto bytes = BuildPacketStream(h, body.data(), body.size());
    return c.WriteAll(bytes.data(), bytes.size());
}

}  // namespace

TEST(RoomServer, HandshakeThenFramedMessagesHandlersAndRecord) {
    TRoomServer server;
    server.SetHandshake([](TRoomServer&, TRoomConnection& c) {
        char hello[5];
        if (!c.socket.ReadExact(hello, 5) || std::memcmp(hello, "HELLO", 5) != 0) return false;
        c.userId = 42;
        c.room = 7;
        return c.Write("OK", 2);
    });
    server.OnKind(vkHeartBeat, [](TRoomServer& s, TRoomConnection& c, const TVCRHeader&, std::span<const uint8_t>) {
        s.Send(c.id, vkKeepAlive, {}, 0, c.room);
    });
    ASSERT_TRUE(server.Start());
    ASSERT_NE(server.Port(), 0);

    TTcpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), 2000));
    ASSERT_TRUE(client.WriteAll("HELLO", 5));
    char ok[2];
    ASSERT_TRUE(client.ReadExact(ok, 2));
    ASSERT_TRUE(SendMessage(client, vkTextMessage, {1, 2, 3}));
    ASSERT_TRUE(SendMessage(client, vkHeartBeat));
    TVCRHeader h;
    std::vector<uint8_t> stream;
    ASSERT_TRUE(ReadMessage(client, h, stream));
    EXPECT_EQ(h.kind, vkKeepAlive);
    EXPECT_EQ(h.room, 7);
    ASSERT_TRUE(server.WaitForKind(vkHeartBeat));
    auto text = server.ReceivedOfKind(vkTextMessage);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].body, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(server.Connection(text[0].connection)->userId, 42);

    // A failed handshake closes the connection before any framing.
    TTcpClient bad;
    ASSERT_TRUE(bad.Connect("127.0.0.1", server.Port(), 2000));
    ASSERT_TRUE(bad.WriteAll("HOLA!", 5));
    char b;
    EXPECT_FALSE(bad.ReadExact(&b, 1));
}

TEST(RoomServer, BroadcastRelayAndClose) {
    TRoomServer server;
    server.OnConnect([](TRoomServer&, TRoomConnection& c) { c.room = int16_t(c.id <= 2 ? 5 : 6); });
    server.OnOtherKinds([](TRoomServer& s, TRoomConnection& c, const TVCRHeader& h, std::span<const uint8_t> body) {
        s.Relay(c, h, body);
    });
    ASSERT_TRUE(server.Start("::1"));
    TTcpClient a, b, other;
    ASSERT_TRUE(a.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(1));
    ASSERT_TRUE(b.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(2));
    ASSERT_TRUE(other.Connect("::1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(3));
    // Rooms are set by the connect hook in each connection's thread: wait for all three.
    ASSERT_TRUE(server.WaitUntil([&] {
        int set = 0;
        for (int id : server.Connections()) {
            auto c = server.Connection(id);
            set += c && c->room != 0;
        }
        return set == 3;
    }));
    for (auto* c : {&a, &b}) c->SetReadTimeout(5000);

    EXPECT_EQ(server.Broadcast(5, vkClearMotions), 2);
    TVCRHeader h;
    std::vector<uint8_t> s;
    ASSERT_TRUE(ReadMessage(a, h, s));
    EXPECT_EQ(h.kind, vkClearMotions);
    ASSERT_TRUE(ReadMessage(b, h, s));

    ASSERT_TRUE(SendMessage(a, vkBoardStrokes, std::vector<uint8_t>(24, 9)));
    ASSERT_TRUE(ReadMessage(b, h, s));  // relayed to the room's other member only
    EXPECT_EQ(h.kind, vkBoardStrokes);
    EXPECT_EQ(s.size(), 22u + 24);

    other.SetReadTimeout(50);
    char x;
    EXPECT_FALSE(other.ReadExact(&x, 1));  // another room heard nothing

    server.CloseClient(1);
    EXPECT_FALSE(a.ReadExact(&x, 1));
    ASSERT_TRUE(server.WaitUntil([&] { return server.Connections().size() == 2; }));
}

TEST(RoomServer, ExtraPortsServeTheirOwnConnections) {
    TRoomServer server;
    ASSERT_TRUE(server.Start());
    uint16_t port = server.AddPort("echo", [](TRoomServer&, TTcpClient& c) {
        char buf[4];
        if (c.ReadExact(buf, 4)) c.WriteAll(buf, 4);
    });
    ASSERT_NE(port, 0);
    EXPECT_EQ(server.PortOf("echo"), port);
    TTcpClient c;
    ASSERT_TRUE(c.Connect("127.0.0.1", port, 2000));
    ASSERT_TRUE(c.WriteAll("ping", 4));
    char got[4];
    ASSERT_TRUE(c.ReadExact(got, 4));
    EXPECT_EQ(0, std::memcmp(got, "ping", 4));
    server.Stop();  // with a client still connected to the room port's neighbour
}

// ---- Rooms: a client of raw sockets through the handshake, room entry and the room's answers.

namespace {

using orb::test::TRoomHandshakeScript;
using orb::test::TRoomService;

int32_t I32At(const std::vector<uint8_t>& b, size_t off) { return int32_t(LoadU32(b.data() + off)); }

std::string ShortAt(const std::vector<uint8_t>& b, size_t off) {
    return std::string(reinterpret_cast<const char*>(b.data() + off + 1), b[off]);
}

std::vector<uint8_t> I32Body(int32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), uint32_t(v));
    return b;
}

struct RawClient {
    TTcpClient s;
    std::vector<uint8_t> account;  // the 1119-byte account of the login reply

    uint16_t loginResult = 0;

    bool SignIn(uint16_t port, const std::string& name, const std::string& password = {}) {
        if (!s.Connect("127.0.0.1", port, 2000)) return false;
        s.SetReadTimeout(5000);
        uint8_t version[32] = {};
        TVCRHeader h;
        std::vector<uint8_t> m;
        uint8_t login[106] = {};
        login[4] = uint8_t(password.size());
        std::memcpy(login + 5, password.data(), password.size());
        login[55] = uint8_t(name.size());
        std::memcpy(login + 56, name.data(), name.size());
        uint8_t head[22];
        if (!s.WriteAll(version, 32) || !s.ReadExact(head, 22) || !s.WriteAll(login, 106) || !ReadMessage(s, h, m))
            return false;
        loginResult = h.result;
        if (h.result != 0) return false;
        account.assign(m.begin() + 22, m.end());
        std::vector<uint8_t> startup(519);
        return SendMessage(s, vkStartupInfo) && s.ReadExact(head, 22) && s.ReadExact(startup.data(), 519);
    }
    int32_t Id() const { return I32At(account, 0); }
    bool Send(uint16_t kind, std::vector<uint8_t> body = {}, int16_t room = 0) {
        TVCRHeader h;
        InitVCRHeader(kind, Id(), room, h);
        h.bodyLength = int32_t(body.size());
        auto bytes = BuildPacketStream(h, body.data(), body.size());
        return s.WriteAll(bytes.data(), bytes.size());
    }
    // The next message of a kind; other kinds on the way are skipped.
    bool Next(uint16_t kind, TVCRHeader& h, std::vector<uint8_t>& body) {
        std::vector<uint8_t> m;
        while (ReadMessage(s, h, m))
            if (h.kind == kind) {
                body.assign(m.begin() + 22, m.end());
                return true;
            }
        return false;
    }
    bool Enter(int16_t room) {
        TVCRHeader h;
        std::vector<uint8_t> body;
        return Send(vkEnterRoom, I32Body(room), room) && Next(vkEnterRoom, h, body) && h.result == 0;
    }
};

}  // namespace

TEST(RoomService, MembersSeeEachOtherAndHearJoinsAndLeaves) {
    TRoomServer server;
    TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    auto handshake = orb::test::InstallRoomHandshake(server, script);
    std::mutex logMu;
    std::vector<std::string> log;
    TRoomService rooms(server, handshake, [&](const std::string& line) {
        std::lock_guard lk(logMu);
        log.push_back(line);
    });
    ASSERT_TRUE(server.Start());

    RawClient ana, mod;
    ASSERT_TRUE(ana.SignIn(server.Port(), "ana"));
    ASSERT_TRUE(ana.Enter(1002));
    ASSERT_TRUE(mod.SignIn(server.Port(), "Moderator"));
    ASSERT_TRUE(mod.Enter(1002));
    EXPECT_EQ(ana.Id(), 501);
    EXPECT_EQ(mod.Id(), 502);
    EXPECT_EQ(ShortAt(mod.account, 29), "Moderator Tester");
    EXPECT_EQ(I32At(mod.account, 647), 1000);

    // The newcomer sees itself and the first member, in the order they came.
    TVCRHeader h;
    std::vector<uint8_t> b;
    ASSERT_TRUE(mod.Send(vkUserList, {}, 1002));
    ASSERT_TRUE(mod.Next(vkUserList, h, b));
    ASSERT_EQ(b.size(), 761u * 3);
    EXPECT_EQ(I32At(b, 0), 2);
    struct Row {
        int32_t id;
        const char* first;
        const char* display;
        int32_t level;
    };
    for (size_t i = 0; const Row& r : {Row{501, "Ana", "Ana Tester", 1}, Row{502, "Moderator", "Moderator Tester", 1000}}) {
        size_t at = 761 * ++i;
        EXPECT_EQ(I32At(b, at), r.id);
        EXPECT_EQ(ShortAt(b, at + 4), r.first);
        EXPECT_EQ(ShortAt(b, at + 25), r.display);
        EXPECT_EQ(I32At(b, at + 338), r.level);
    }

    // The first member heard of the join: the user and the rights (a moderator may speak and draw).
    ASSERT_TRUE(ana.Next(vkUserJoinedEx, h, b));
    ASSERT_EQ(b.size(), 761u + 15);
    EXPECT_EQ(h.sender, 502);
    EXPECT_EQ(I32At(b, 0), 502);
    EXPECT_EQ(I32At(b, 761), 502);
    EXPECT_EQ(b[761 + 5], 2);
    EXPECT_EQ(b[761 + 7], 1);

    // Moving to another room, and closing the connection, are departures.
    ASSERT_TRUE(mod.Enter(1003));
    ASSERT_TRUE(ana.Next(vkUserLeft, h, b));
    EXPECT_EQ(h.sender, 502);
    EXPECT_EQ(h.room, 1002);
    EXPECT_TRUE(b.empty());
    ASSERT_TRUE(ana.Enter(1003));
    ASSERT_TRUE(mod.Next(vkUserJoinedEx, h, b));
    EXPECT_EQ(b[761 + 5], 0);  // a participant starts without the floor
    EXPECT_EQ(rooms.Members(1003), (std::vector<int32_t>{501, 502}));
    ana.s.Disconnect();
    ASSERT_TRUE(mod.Next(vkUserLeft, h, b));
    EXPECT_EQ(h.sender, 501);
    EXPECT_TRUE(server.WaitUntil([&] { return rooms.Members(1003).size() == 1; }));
    server.Stop();

    // Connections log from their own threads, so only one connection's lines keep their order.
    std::lock_guard lk(logMu);
    ASSERT_GE(log.size(), 8u);
    std::vector<std::string> first;
    std::copy_if(log.begin(), log.end(), std::back_inserter(first),
                 [](const std::string& line) { return line.find(" #1") != std::string::npos; });
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(first[0].rfind("connect #1 from 127.0.0.1:", 0), 0u) << first[0];
    EXPECT_EQ(first[1], "login #1: user ana (501) level 1");
    EXPECT_EQ(first[2], "enter #1: user ana (501) room 1002");
    EXPECT_EQ(first[3], "enter #1: user ana (501) room 1003");
    EXPECT_EQ(first[4], "disconnect #1: user ana (501)");
}

TEST(RoomService, AnswersTheRoomEntryRequests) {
    TRoomServer server;
    TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    auto handshake = orb::test::InstallRoomHandshake(server, script);
    TRoomService rooms(server, handshake);
    ASSERT_TRUE(server.Start());
    RawClient mod, ana;
    ASSERT_TRUE(mod.SignIn(server.Port(), "MODdy"));
    ASSERT_TRUE(mod.Enter(1002));
    ASSERT_TRUE(ana.SignIn(server.Port(), "ana"));
    ASSERT_TRUE(ana.Enter(1002));

    std::vector<uint8_t> rights(30, 0);
    StoreU32(rights.data(), 501);
    rights[5] = rights[6] = 2;
    rights[7] = 1;
    StoreU32(rights.data() + 15, 502);
    std::vector<uint8_t> video = I32Body(9913);
    video.resize(8);
    struct Case {
        uint16_t kind;
        std::vector<uint8_t> body;  // what the server answers
    };
    for (const Case& c : {Case{vkUserRights, rights}, Case{vkBoardContents, {}}, Case{vkCurrentBoard, I32Body(1)},
                          Case{vkWebPage, std::vector<uint8_t>(251, 0)}, Case{vkViewModeQuery, I32Body(0)},
                          Case{vkChatPermissionQuery, I32Body(0)}, Case{vkNotesSwitchQuery, I32Body(0)},
                          Case{vkBreakoutAllowed, {0}}, Case{vkRoomProfile, std::vector<uint8_t>(604, 0)},
                          Case{vkVideoPort, video}}) {
        ASSERT_TRUE(ana.Send(c.kind, c.kind == vkBoardContents || c.kind == vkCurrentBoard ? I32Body(1) : std::vector<uint8_t>{}, 1002));
        TVCRHeader h;
        std::vector<uint8_t> b;
        ASSERT_TRUE(ana.Next(c.kind, h, b)) << c.kind;
        EXPECT_EQ(b, c.body) << c.kind;
        EXPECT_EQ(h.result, 0) << c.kind;
    }

    // What a moderator sets is the room's from then on, and the members hear it.
    ASSERT_TRUE(mod.Send(vkSelectBoard, I32Body(3), 1002));
    ASSERT_TRUE(mod.Send(vkChatPermission, I32Body(2), 1002));
    ASSERT_TRUE(mod.Send(vkNotesSwitch, I32Body(1), 1002));
    using Setting = std::tuple<uint16_t, uint16_t, int32_t>;
    const Setting settings[] = {{vkSelectBoard, vkCurrentBoard, 3}, {vkChatPermission, vkChatPermissionQuery, 2},
                                {vkNotesSwitch, vkNotesSwitchQuery, 1}};
    for (auto [set, query, value] : settings) {
        TVCRHeader h;
        std::vector<uint8_t> b;
        ASSERT_TRUE(ana.Next(set, h, b)) << set;
        EXPECT_EQ(h.sender, 501);
        EXPECT_EQ(b, I32Body(value));
    }
    for (auto [set, query, value] : settings) {
        TVCRHeader h;
        std::vector<uint8_t> b;
        ASSERT_TRUE(ana.Send(query, query == vkCurrentBoard ? I32Body(1) : std::vector<uint8_t>{}, 1002));
        ASSERT_TRUE(ana.Next(query, h, b)) << query;
        EXPECT_EQ(b, I32Body(value)) << query;
    }
    // A board keeps what was drawn on it, as whole messages, until it is cleared.
    std::vector<uint8_t> strokes = I32Body(2);
    strokes.resize(4 + 20, 7);
    ASSERT_TRUE(mod.Send(vkBoardStrokes, strokes, 1002));
    ASSERT_TRUE(mod.Send(vkBoardStrokes, I32Body(9), 1002));  // no such board: relayed only
    for (bool cleared : {false, true}) {
        TVCRHeader h;
        std::vector<uint8_t> b;
        if (cleared) {
            ASSERT_TRUE(mod.Send(vkClearBoard, I32Body(2), 1002));
        }
        ASSERT_TRUE(ana.Next(cleared ? vkClearBoard : vkBoardStrokes, h, b));  // relayed first
        ASSERT_TRUE(ana.Send(vkBoardContents, I32Body(2), 1002));
        ASSERT_TRUE(ana.Next(vkBoardContents, h, b));
        if (cleared) {
            EXPECT_TRUE(b.empty());
            continue;
        }
        ASSERT_EQ(b.size(), 22u + 24);
        EXPECT_EQ(LoadU16(b.data()), vkBoardStrokes);
        EXPECT_EQ(I32At(b, 2), 501);
        EXPECT_EQ(I32At(b, 16), 24);
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 22, b.end()), strokes);
    }

    // Everything else still goes to the room.
    ASSERT_TRUE(mod.Send(vkTypingState, I32Body(1), 1002));
    TVCRHeader h;
    std::vector<uint8_t> b;
    ASSERT_TRUE(ana.Next(vkTypingState, h, b));
    EXPECT_EQ(b, I32Body(1));
}

TEST(RoomService, AccountsPerLogin) {
    struct Case {
        const char* typed;
        const char* fullName;
        int32_t level;
    };
    for (const Case& c : {Case{"Ana", "Ana Tester", 1}, Case{"mod", "Mod Tester", 1000}, Case{"MODERATOR", "MODERATOR Tester", 1000},
                          Case{"modest", "Modest Tester", 1000}, Case{"mo", "Mo Tester", 1}, Case{"x mod", "Xmod Tester", 1},
                          Case{"", "User Tester", 1}, Case{"\xc3\xa9l\x01i", "Li Tester", 1}}) {
        auto a = orb::test::MakeAccount(600, c.typed);
        EXPECT_EQ(a.fullName, c.fullName) << c.typed;
        EXPECT_EQ(a.level, c.level) << c.typed;
        EXPECT_EQ(a.userName, c.typed);
    }
}

TEST(RoomServer, KeepAlivesInOneWrite) {
    TRoomServer server;
    ASSERT_TRUE(server.Start());
    TTcpClient c;
    ASSERT_TRUE(c.Connect("127.0.0.1", server.Port(), 2000));
    ASSERT_TRUE(server.WaitForConnections(1));
    c.SetReadTimeout(5000);
    ASSERT_TRUE(server.SendKeepAlive(server.Connections().at(0), 3));
    for (int i = 0; i < 3; ++i) {
        TVCRHeader h;
        std::vector<uint8_t> s;
        ASSERT_TRUE(ReadMessage(c, h, s));
        EXPECT_EQ(h.kind, vkKeepAlive);
        EXPECT_EQ(s.size(), 22u);
    }
}

namespace {
// One line of a child's output, waiting at most 5 s for it.
bool ReadLine(int fd, std::string& line) {
    line.clear();
    char ch;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0 || ::read(fd, &ch, 1) != 1) return false;
        if (ch == '\n') return true;
        line += ch;
    }
}
}  // namespace

TEST(RoomServerProgram, LogsConnectionsLoginsEntriesAndDisconnections) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::vector<std::string> argv = {ORB_ROOMSERVER_PROGRAM, "--address", "127.0.0.1", "--port", "0"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    // Stopped by its process id, also when an assertion below ends the test early.
    struct Stop {
        pid_t pid;
        int fd;
        int status = -1;
        void operator()() {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, &status, 0);
                ::close(fd);
                pid = -1;
            }
        }
        ~Stop() { (*this)(); }
    } stop{pid, out[0]};

    std::string line;
    unsigned port = 0;
    ASSERT_TRUE(ReadLine(out[0], line));
    EXPECT_EQ(std::sscanf(line.c_str(), "Room server listening on 127.0.0.1 port %u", &port), 1) << line;
    RawClient mod;
    ASSERT_TRUE(mod.SignIn(uint16_t(port), "Mod Ana"));
    EXPECT_EQ(ShortAt(mod.account, 29), "ModAna Tester");
    ASSERT_TRUE(mod.Enter(1003));
    mod.s.Disconnect();
    std::vector<std::string> lines;
    for (int i = 0; i < 4 && ReadLine(out[0], line); ++i) lines.push_back(line);
    stop();
    EXPECT_TRUE(WIFEXITED(stop.status) && WEXITSTATUS(stop.status) == 0);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("connect #1 from 127.0.0.1:", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "login #1: user Mod Ana (501) level 1000");
    EXPECT_EQ(lines[2], "enter #1: user Mod Ana (501) room 1003");
    EXPECT_EQ(lines[3], "disconnect #1: user Mod Ana (501)");
}

// ---- The test room of scripts/run: kept boards, breakout moves, passwords, recordings.

#include <filesystem>
#include <fstream>

#include "protocol/records.h"
#include "roomserver/extensions.h"
#include "roomserver/recording_writer.h"

namespace {

using orb::test::TRoomExtensionContext;

// The server with every area, as the program runs it (recordings written to `folder`).
struct LabRoom {
    explicit LabRoom(TRoomHandshakeScript script, std::string folder = {}) {
        script.perLoginAccounts = true;
        handshake = orb::test::InstallRoomHandshake(server, std::move(script));
        rooms = std::make_unique<TRoomService>(server, handshake);
        TRoomExtensionContext context{server, handshake, *rooms, {}};
        context.recordingsFolder = std::move(folder);
        extensions = orb::test::InstallRoomExtensions(context);
    }
    ~LabRoom() { server.Stop(); }
    TRoomServer server;
    std::shared_ptr<orb::test::TRoomHandshake> handshake;
    std::unique_ptr<TRoomService> rooms;
    std::vector<orb::test::PRoomExtension> extensions;
};

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The items of a whole-board reply: (kind, body after the board number).
std::vector<std::pair<uint16_t, std::vector<uint8_t>>> Items(const std::vector<uint8_t>& body) {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> out;
    for (size_t at = 0; at + 22 <= body.size();) {
        TVCRHeader h;
        if (!TVCRHeader::Decode(std::span<const uint8_t>(body).subspan(at, 22), h) || h.bodyLength < 4 || at + 22 + size_t(h.bodyLength) > body.size())
            break;
        out.emplace_back(h.kind, std::vector<uint8_t>(body.begin() + long(at) + 22, body.begin() + long(at) + 22 + h.bodyLength));
        at += 22 + size_t(h.bodyLength);
    }
    return out;
}

}  // namespace

TEST(RecordingWriter, TextRecordsReadBackByTheClientByteForByte) {
    for (const std::u16string& text : {std::u16string(), std::u16string(u"a"), std::u16string(u"Hello from the recording"),
                                       std::u16string(u"\u00e4\u20ac\r\nline two")}) {
        const std::vector<uint8_t> body = orb::test::ChatBody(7, 3, text);
        // The same line as the client's own chat sender writes it.
        auto record = NewWideTextRecord(7, 0, 3, text, TTextMessageInfo::mtPublic);
        EXPECT_EQ(body, EncodeWideTextMessage(*record));
        EXPECT_EQ(body.size(), text.empty() ? 18u : 18 + (text.size() + 1) * 2 + 1);
        ByteReader r(body);
        TTextMessage m;
        ASSERT_TRUE(DecodeTextMessage(r, true, m));
        EXPECT_EQ(r.remaining(), 0u);
        EXPECT_EQ(m.text, text);
    }
}

TEST(TestRoom, BoardsKeepTheSlideAndBreakoutRoomsTellTheMoves) {
    LabRoom lab({});
    ASSERT_TRUE(lab.server.Start());
    RawClient mod, ana, bob;
    for (auto [c, name] : {std::pair{&mod, "mod"}, {&ana, "ana"}, {&bob, "bob"}}) {
        ASSERT_TRUE(c->SignIn(lab.server.Port(), name));
        ASSERT_TRUE(c->Enter(1002));
    }
    // A slide on board 1 covers what was there; strokes drawn on it afterwards stay with it.
    const auto strokes = orb::test::StrokesBody(1, 1);
    ASSERT_TRUE(mod.Send(vkBoardStrokes, strokes, 1002));
    std::vector<uint8_t> slide = Cat(I32Body(1), std::vector<uint8_t>(773, 0));
    slide = Cat(slide, {0xFF, 0xD8, 0xFF, 0xD9});
    StoreU32(slide.data() + 4 + 406, 4);
    TVCRHeader h;
    std::vector<uint8_t> b;
    ASSERT_TRUE(ana.Next(vkBoardStrokes, h, b));
    lab.server.Broadcast(1002, vkSlideToBoard, slide, mod.Id());
    const auto after = orb::test::StrokesBody(1, 2);
    ASSERT_TRUE(mod.Send(vkBoardStrokes, after, 1002));
    ASSERT_TRUE(ana.Next(vkBoardStrokes, h, b));
    // Board 2 is cleared after its slide: nothing is left of it.
    std::vector<uint8_t> slide2 = slide;
    StoreU32(slide2.data(), 2);
    lab.server.Broadcast(1002, vkSlideToBoard, slide2, mod.Id());
    ASSERT_TRUE(mod.Send(vkClearBoard, I32Body(2), 1002));
    ASSERT_TRUE(ana.Next(vkClearBoard, h, b));

    ASSERT_TRUE(bob.Send(vkBoardContents, I32Body(1), 1002));
    ASSERT_TRUE(bob.Next(vkBoardContents, h, b));
    auto items = Items(b);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, vkSlideToBoard);
    EXPECT_EQ(items[0].second, slide);
    EXPECT_EQ(items[1].first, vkBoardStrokes);
    EXPECT_EQ(items[1].second, after);
    ASSERT_TRUE(bob.Send(vkBoardContents, I32Body(2), 1002));
    ASSERT_TRUE(bob.Next(vkBoardContents, h, b));
    EXPECT_TRUE(b.empty());

    // Ana goes to a breakout room: the main room hears her leave, the breakout room has boards of
    // its own, and the main room hears her come back.
    ASSERT_TRUE(mod.Send(vkCreateBreakoutRoom, std::vector<uint8_t>(200, 0), 1002));
    ASSERT_TRUE(mod.Next(vkCreateBreakoutRoom, h, b));
    ASSERT_TRUE(mod.Send(vkMoveToRoom, Cat(I32Body(ana.Id()), I32Body(2001)), 1002));
    ASSERT_TRUE(ana.Next(vkMoveToRoom, h, b));
    ASSERT_TRUE(ana.Enter(2001));
    ASSERT_TRUE(bob.Next(vkUserLeft, h, b));
    EXPECT_EQ(h.sender, ana.Id());
    EXPECT_EQ(h.room, 1002);
    ASSERT_TRUE(ana.Send(vkBoardContents, I32Body(1), 2001));
    ASSERT_TRUE(ana.Next(vkBoardContents, h, b));
    EXPECT_TRUE(b.empty());
    ASSERT_TRUE(ana.Enter(1002));
    ASSERT_TRUE(bob.Next(vkUserJoinedEx, h, b));
    EXPECT_EQ(h.sender, ana.Id());
    EXPECT_EQ(I32At(b, 0), ana.Id());
    ASSERT_TRUE(ana.Send(vkBoardContents, I32Body(1), 1002));
    ASSERT_TRUE(ana.Next(vkBoardContents, h, b));
    EXPECT_EQ(Items(b).size(), 2u);
}

TEST(TestRoom, AccountsOfTheFileSignInOnlyWithTheirPassword) {
    const auto dir = std::filesystem::temp_directory_path() / ("orb_accounts_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::map<std::string, TRoomHandshakeScript::TFixedAccount> accounts;
    std::string error;
    {
        std::ofstream(dir / "bad.txt") << "teacher\n";
        std::ofstream(dir / "good.txt") << "# name password moderator\n\nTeacher lesson42 1\npupil secret\n";
    }
    EXPECT_FALSE(orb::test::LoadAccountsFile((dir / "bad.txt").string(), accounts, error));
    EXPECT_NE(error.find("bad.txt:1"), std::string::npos) << error;
    EXPECT_FALSE(orb::test::LoadAccountsFile((dir / "none.txt").string(), accounts, error));
    ASSERT_TRUE(orb::test::LoadAccountsFile((dir / "good.txt").string(), accounts, error)) << error;
    std::filesystem::remove_all(dir);
    ASSERT_EQ(accounts.size(), 2u);

    TRoomHandshakeScript script;
    script.fixedAccounts = accounts;
    LabRoom lab(script);
    ASSERT_TRUE(lab.server.Start());
    struct Case {
        const char* name;
        const char* password;
        uint16_t result;
        int32_t level;
    };
    for (const Case& c : {Case{"teacher", "wrong", 1, 0}, Case{"TEACHER", "lesson42", 0, 1000},
                          Case{"pupil", "", 1, 0}, Case{"pupil", "secret", 0, 1}, Case{"modern", "anything", 0, 1000}}) {
        RawClient client;
        EXPECT_EQ(client.SignIn(lab.server.Port(), c.name, c.password), c.result == 0) << c.name;
        EXPECT_EQ(client.loginResult, c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(I32At(client.account, 647), c.level) << c.name;
        }
    }
}

TEST(TestRoom, RecordsTheLabAndServesTheRecordingForReplay) {
    const auto dir = std::filesystem::temp_directory_path() / ("orb_recordings_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    LabRoom lab({}, dir.string());
    ASSERT_TRUE(lab.server.Start());
    RawClient mod, ana;
    ASSERT_TRUE(mod.SignIn(lab.server.Port(), "mod"));
    ASSERT_TRUE(ana.SignIn(lab.server.Port(), "ana"));
    TVCRHeader h;
    std::vector<uint8_t> b;
    int16_t room = 1002;
    auto command = [&](uint16_t kind) {
        if (!mod.Send(kind, {}, room) || !mod.Next(kind, h, b)) return -1;
        return int(h.result);
    };
    // The main hall does not record; the lab does, for its moderators.
    ASSERT_TRUE(mod.Enter(1002));
    EXPECT_EQ(command(vkStartRecording), 31);
    ASSERT_TRUE(mod.Enter(1003));
    room = 1003;
    ASSERT_TRUE(ana.Enter(1003));
    ASSERT_TRUE(ana.Send(vkStartRecording, {}, 1003));
    ASSERT_TRUE(ana.Next(vkStartRecording, h, b));
    EXPECT_EQ(h.result, 31);
    EXPECT_EQ(command(vkStopRecording), 45);
    EXPECT_EQ(command(vkStartRecording), 0);
    EXPECT_EQ(command(vkStartRecording), 42);
    // Chat heard while the recording runs is kept, while it is paused it is not.
    auto say = [&](const std::u16string& text) {
        ASSERT_TRUE(ana.Send(vkTextMessage, orb::test::ChatBody(ana.Id(), 1003, text), 1003));
        ASSERT_TRUE(mod.Next(vkTextMessage, h, b));
    };
    say(u"one");
    EXPECT_EQ(command(vkPauseRecording), 0);
    say(u"not kept");
    EXPECT_EQ(command(vkPauseRecording), 0);
    say(u"two");
    EXPECT_EQ(command(vkStopRecording), 0);
    EXPECT_EQ(command(vkStopRecording), 45);

    // Replay through the room connection, as a play link opens it.
    RawClient viewer;
    ASSERT_TRUE(viewer.s.Connect("127.0.0.1", lab.server.Port(), 2000));
    viewer.s.SetReadTimeout(5000);
    uint8_t version[32] = {}, head[22];
    ASSERT_TRUE(viewer.s.WriteAll(version, 32) && viewer.s.ReadExact(head, 22));
    std::vector<uint8_t> login(106, 0);
    ASSERT_TRUE(viewer.s.WriteAll(login.data(), login.size()));
    std::vector<uint8_t> m;
    ASSERT_TRUE(ReadMessage(viewer.s, h, m));
    ASSERT_TRUE(SendMessage(viewer.s, vkStartupInfo) && ReadMessage(viewer.s, h, m));
    std::vector<uint8_t> open(740, 0);
    StoreU32(open.data(), 101);
    ASSERT_TRUE(SendMessage(viewer.s, vkOpenSession, open));
    ASSERT_TRUE(ReadMessage(viewer.s, h, m));
    ASSERT_EQ(h.result, 0);
    ASSERT_EQ(m.size(), 22u + 740);
    const std::vector<uint8_t> sessionHead(m.begin() + 22, m.end());
    std::vector<uint8_t> all;
    std::vector<uint16_t> kinds;
    std::vector<std::u16string> lines;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(SendMessage(viewer.s, vkNextSessionRecord));
        ASSERT_TRUE(ReadMessage(viewer.s, h, m));
        if (h.result != 0) break;
        ASSERT_TRUE(ReadMessage(viewer.s, h, m));
        all.insert(all.end(), m.begin(), m.end());
        kinds.push_back(h.kind);
        if (h.kind == vkTextMessage) {
            ByteReader r(std::span<const uint8_t>(m).subspan(22));
            TTextMessage text;
            ASSERT_TRUE(DecodeTextMessage(r, true, text));
            lines.push_back(text.text);
        }
    }
    ASSERT_GE(kinds.size(), 6u);
    // It starts as an entry does; the room record lets the replay find the room's voice codec.
    EXPECT_EQ((std::vector<uint16_t>(kinds.begin(), kinds.begin() + 4)),
              (std::vector<uint16_t>{vkEnterRoom, vkUserList, vkUserRights, vkCurrentBoard}));
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"one", u"two"}));
    EXPECT_EQ(I32At(sessionHead, 225), int32_t(740 + all.size()));
    EXPECT_EQ(I32At(sessionHead, 480), int32_t(kinds.size()));
    // The file holds the same: the session record, then the messages.
    std::ifstream file(dir / "recording-101.ob6", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(bytes.size(), 740 + all.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 740, bytes.end()), all);
    EXPECT_EQ(I32At(bytes, 0), 101);
}
