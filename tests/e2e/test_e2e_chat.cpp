// Two people chat in a room: real client programs on a private X server, typing into the chat
// input through XTest; the test room server relays the lines, and screenshots show both windows.

#include <X11/keysym.h>

#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "protocol/records.h"
#include "wire/bytes.h"
#include "wire/text.h"

// From Xlib, declared here: Xlib's macros clash with the test framework's names.
extern "C" int XRaiseWindow(Display*, unsigned long);
extern "C" int XSync(Display*, int);

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;
// The chat input: at the left of the window, above the "Notes and Questions" page header.
constexpr int kInputX = 90;
constexpr int kInputFromBottom = 65;

std::string MainTitle(const std::string& fullName) { return fullName + " in a virtual session"; }

class E2EChat : public TEndToEnd {
protected:
    // The texts of the chat lines (kind 130) the server wrote to a connection.
    std::vector<std::string> LinesSentTo(int connection) {
        std::vector<std::string> out;
        for (auto& m : server_.SentOfKind(connection, vkTextMessage)) {
            ByteReader r(m.body);
            TTextMessage t;
            if (DecodeTextMessage(r, true, t)) out.push_back(Utf16ToUtf8(t.text));
        }
        return out;
    }
    bool WaitForLine(int connection, const std::string& text) {
        return server_.WaitUntil([&] {
            for (auto& l : LinesSentTo(connection))
                if (l == text) return true;
            return false;
        }, kWaitMs);
    }
    void Raise(TXDriver::Window w) {
        XRaiseWindow(x_.X(), w);
        XSync(x_.X(), 0);
        usleep(300 * 1000);
    }
    void Say(TXDriver::Window w, const std::string& text) {
        Raise(w);
        auto box = x_.Geometry(w);
        ASSERT_TRUE(box);
        x_.Click(box->x + kInputX, box->y + box->height - kInputFromBottom);
        usleep(200 * 1000);
        ASSERT_TRUE(x_.Type(text));
        x_.Key(XK_Return);
    }
};

}  // namespace

TEST_F(E2EChat, TwoClientsChatInPublicWithSmileys) {
    StartRoomServer();
    TClientProcess* a = StartClient("ana", {JoinLink("ana", "pw", kRoom)});
    ASSERT_TRUE(a);
    const int connectionA = WaitForSignIn();
    ASSERT_NE(connectionA, 0);
    ASSERT_TRUE(WaitFor(connectionA, vkRoomProfile)) << "the first client did not enter the room";
    TClientProcess* b = StartClient("bea", {JoinLink("bea", "pw", kRoom)});
    ASSERT_TRUE(b);
    const int connectionB = WaitForSignIn();
    ASSERT_NE(connectionB, 0);
    ASSERT_TRUE(WaitFor(connectionB, vkRoomProfile)) << "the second client did not enter the room";

    auto mainA = x_.WaitForTitle(MainTitle("Ana Tester"), a->Pid(), kWaitMs);
    auto mainB = x_.WaitForTitle(MainTitle("Bea Tester"), b->Pid(), kWaitMs);
    ASSERT_TRUE(mainA && mainB);
    ASSERT_TRUE(WaitForPainted(*mainA));
    ASSERT_TRUE(WaitForPainted(*mainB));
    // The progress windows go once the boards are in.
    for (pid_t pid : {a->Pid(), b->Pid()})
        for (int waited = 0; waited < kWaitMs; waited += 100) {
            if (!x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, "Progress"); }, pid)) break;
            usleep(100 * 1000);
        }

    Say(*mainA, "Hello from Ana :-) 8-)");
    ASSERT_TRUE(WaitForLine(connectionB, "Hello from Ana :-) 8-)")) << "Bea was not sent Ana's line";
    EXPECT_TRUE(WaitForLine(connectionA, "Hello from Ana :-) 8-)")) << "Ana's own line did not come back";
    Say(*mainB, "Hi Ana ;-) <b>not bold</b> LOL");
    ASSERT_TRUE(WaitForLine(connectionA, "Hi Ana ;-) <b>not bold</b> LOL")) << "Ana was not sent Bea's line";

    // Each line went out once, as a public line from its writer.
    auto fromA = From(connectionA, vkTextMessage);
    ASSERT_EQ(fromA.size(), 1u);
    ByteReader r(fromA[0].body);
    TTextMessage t;
    ASSERT_TRUE(DecodeTextMessage(r, true, t));
    EXPECT_EQ(t.info.messageType, TTextMessageInfo::mtPublic);
    EXPECT_EQ(t.info.fromId, server_.Connection(connectionA)->userId.load());
    // Typing was announced and withdrawn.
    auto typing = From(connectionA, vkTypingState);
    ASSERT_GE(typing.size(), 2u);
    EXPECT_EQ(typing.front().body.at(0), 1);
    EXPECT_EQ(typing.back().body.at(0), 0);

    usleep(500 * 1000);
    Raise(*mainA);
    Screenshot("e2e_chat_ana");
    Raise(*mainB);
    Screenshot("e2e_chat_bea");
}
