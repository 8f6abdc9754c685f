// The chat area without windows: smiley recognition, the exports read back by independent
// readers, the command rules, and the chat handlers against fabricated and relayed messages.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

#include "chat/chat_input.h"
#include "chat/command_rules.h"
#include "chat/csv_writer.h"
#include "chat/rtf_writer.h"
#include "chat/smileys.h"
#include "dm/dm.h"
#include "helpers.h"
#include "loop/plain_event_loop.h"
#include "main/main_controller.h"
#include "protocol/wm_app.h"
#include "roomserver/extensions.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_service.h"
#include "wire/text.h"

using namespace orb;
using namespace orb::chat;
using orbtest::MakeTempDir;
using orbtest::Shell;
using orbtest::WriteFile;
using orbtest::RemoveDir;

namespace {

struct ChatLine {
    int32_t key;
    std::string sender, text;
    bool notice;
    uint32_t colour;
};

struct FakeChatView : IChatView {
    std::vector<ChatLine> lines;
    std::vector<TNoteRow> notes;
    std::vector<std::string> popups, noteTexts;
    int cleared = 0;
    bool pageActive = true;
    void AddChatMessage(int32_t key, const std::u16string& s, bool notice, uint32_t colour,
                        const std::u16string& t) override {
        lines.push_back({key, Utf16ToUtf8(s), Utf16ToUtf8(t), notice, colour});
    }
    void AddNoteRow(const TNoteRow& r) override { notes.push_back(r); }
    void ClearNotes() override { ++cleared; }
    void ShowChatPopup(const std::u16string& s, const std::u16string&) override { popups.push_back(Utf16ToUtf8(s)); }
    void ShowUserNote(const std::string& s, const std::u16string& t, double) override {
        popups.push_back("note " + s);
        noteTexts.push_back(Utf16ToUtf8(t));
    }
    bool ChatPageActive() const override { return pageActive; }
};

std::string Describe(const std::vector<TChatPiece>& pieces) {
    std::string s;
    for (auto& p : pieces) s += p.picture >= 0 ? "[" + std::to_string(p.picture) + "]" : Utf16ToUtf8(p.text);
    return s;
}

}  // namespace

TEST(Smileys, RecognisedCodesAndOverlaps) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u":-)", "[11]"},           {u":-) hi", "[11] hi"},     {u"a:)b", "a[11]b"},
        {u":,-(", "[2]"},           {u":,(", "[2]"},            {u"sad :-", "sad :-"},
        {u"hi O :-)", "hi [6]"},    {u"LO :-)", "L[6]"},        {u"LOL", "[8]"},
        {u":-O", ":-O"},            {u":-o", "[12]"},           {u"<b>x</b>", "<b>x</b>"},
        {u"(blush)(blus", "[3](blus"}, {u":k)", ":k)"},         {u"8-);-):-\\", "[1][15][14]"},
        {u"::)", ":[11]"},          {u"", ""},
    };
    for (auto& [text, expected] : cases) EXPECT_EQ(Describe(SplitSmileys(text)), expected) << Utf16ToUtf8(text);
    // Every code of the menu is one picture on its own.
    for (auto& code : MenuSmileyCodes()) {
        auto pieces = SplitSmileys(code);
        ASSERT_EQ(pieces.size(), 1u) << Utf16ToUtf8(code);
        EXPECT_EQ(pieces[0].picture, SmileyPicture(code));
    }
}

TEST(ChatInput, TypingCaretPushedNamesAndCaps) {
    bool typing = false;
    EXPECT_EQ(TypingChange(typing, false), std::optional<int>(1));
    EXPECT_EQ(TypingChange(typing, false), std::nullopt);  // still typing: nothing more
    EXPECT_EQ(TypingChange(typing, true), std::optional<int>(0));
    EXPECT_EQ(TypingChange(typing, true), std::nullopt);
    TDraft d = InsertAtCaret(u"hello", 2, u":-)");
    EXPECT_EQ(d.text, u"he:-)llo");
    EXPECT_EQ(d.caret, 5);
    EXPECT_EQ(InsertAtCaret(u"ab", 99, u";-)").text, u"ab;-)");
    EXPECT_EQ(InsertAtCaret(u"ab", -3, u"LOL").text, u"LOLab");
    const std::pair<std::string, std::string> names[] = {
        {"report.pdf", "report.pdf"},          {"../../etc/passwd", "passwd"},
        {"C:\\Users\\x\\notes.txt", "notes.txt"}, {"..", ""},
        {".bashrc", "bashrc"},                 {"a\x01" "b|c.doc", "a_b_c.doc"},
        {"weird.ex e", "weird"},               {"", ""},
        {std::string(300, 'n') + ".txt", std::string(100, 'n') + ".txt"},
    };
    for (auto& [in, out] : names) EXPECT_EQ(SafeDocumentName(in), out) << in;
    for (const char* risky : {"setup.exe", "run.SH", "x.desktop", "y.jar", "noextension", "a.AppImage"})
        EXPECT_TRUE(IsExecutableType(risky)) << risky;
    for (const char* fine : {"a.pdf", "b.DOCX", "c.png", "d.txt"}) EXPECT_FALSE(IsExecutableType(fine)) << fine;
    EXPECT_EQ(SlideMenuCount(-5), 0);
    EXPECT_EQ(SlideMenuCount(12), 12);
    EXPECT_EQ(SlideMenuCount(2000000000), kMaxSlideMenuItems);
    EXPECT_EQ(SendToCaption("Bea", 1000), "Bea (Moderator)");
    EXPECT_EQ(SendToCaption("Bea", 999), "Bea");
    // 9 December 2026, 14:05 as a date-time.
    const double when = 46365.0 + (14 * 60 + 5) / 1440.0;
    EXPECT_EQ(ExportFileName("Orbelo Text Messages ", when, ".rtf"), "Orbelo Text Messages Dec-09-2026 1405.rtf");
    EXPECT_EQ(ExportDateText(when), "Dec-09-2026 14:05");
    EXPECT_EQ(ExportDateText(std::nan("")), "");
}

TEST(Exports, RtfOfAChatReadsBackThroughUnrtf) {
    EXPECT_EQ(TRtfWriter::Escape(u"{}\\"), "\\{\\}\\\\");
    EXPECT_EQ(TRtfWriter::Escape(u"\u00e9\u0416\U0001F642"), "\\u233?\\u1046?\\u-10179?\\u-8638?");
    TRtfWriter w;
    w.Text(u"Ana [10:15]\n", true, kChatBlack, 8);
    w.Text(u"brace {}\\ and ", false, kChatBlue, 8);
    // A one-pixel PNG in place of a smiley.
    const std::vector<uint8_t> png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0};
    w.Picture(png, 16, 16);
    w.Text(u" \u041f\u0440\u0438\u0432\u0435\u0442 \u4f60\u597d\n", false, kChatBlue, 8);
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/chat.rtf", w.Document());
    // unrtf's HTML output keeps every character (as entities); its text output does not.
    const std::string text = Shell("cd " + dir + " && unrtf --html chat.rtf 2>/dev/null | python3 -c \"import html, re, "
                                   "sys; print(html.unescape(re.sub('<[^>]*>', '', sys.stdin.read())))\"");
    EXPECT_NE(text.find("Ana [10:15]"), std::string::npos) << text;
    EXPECT_NE(text.find("brace {}\\ and"), std::string::npos) << text;
    EXPECT_NE(text.find("\u041f\u0440\u0438\u0432\u0435\u0442 \u4f60\u597d"), std::string::npos) << text;
    RemoveDir(dir);
}

TEST(Exports, NotesCsvReadsBackThroughPythonCsv) {
    const std::vector<std::vector<std::string>> rows = {
        {"Orbelo Live Session Notes and Question"},
        {"10:15", "Ana, the \"first\"", "line one\r\nline two", "Pending", "501"},
        {"10:16", " spaced ", "\u00e9t\u00e9", "Complete", ""}};
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/notes.csv", CsvRows(rows));
    const std::string out = Shell("python3 -c \"import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], "
                                "newline='', encoding='utf-8')))))\" " +
                                dir + "/notes.csv");
    EXPECT_EQ(out,
              "[[\"Orbelo Live Session Notes and Question\"], [\"10:15\", \"Ana, the \\\"first\\\"\", \"line one\\r\\nline "
              "two\", \"Pending\", \"501\"], [\"10:16\", \" spaced \", \"\\u00e9t\\u00e9\", \"Complete\", \"\"]]\n");
    RemoveDir(dir);
}

TEST(CommandRules, EnablingTable) {
    TCommandState mod;
    mod.level1 = 1000;
    mod.ownUser = 7;
    mod.voiceRight = mod.documentRight = true;
    TCommandState part;
    part.level1 = 1;
    part.ownUser = 8;
    auto with = [](TCommandState s, auto f) {
        f(s);
        return s;
    };
    auto other = [](TCommandState& s) {
        s.selectedUser = 9;
        s.selectedHasRecord = true;
    };
    auto own = [](TCommandState& s) { s.selectedUser = s.ownUser; };
    struct Row {
        const char* what;
        TCommand cmd;
        TCommandState s;
        bool enabled;
        bool visible = true;
    };
    const Row rows[] = {
        {"moderator, other row: give voice", acGiveVoice, with(mod, other), true},
        {"moderator, own row: give voice", acGiveVoice, with(mod, own), false},
        {"moderator, own row: kick", acKick, with(mod, own), false},
        {"moderator, own row: remote audio", acRemoteAudioControl, with(mod, own), false},
        {"moderator, no row: ban board", acBanBoard, mod, false},
        {"participant, other row: kick", acKick, with(part, other), false},
        {"level 3 moderates", acKick, with(with(part, other), [](auto& s) { s.level3 = 1000; }), true},
        {"participant: clear motions hidden", acClearMotions, part, false, false},
        {"moderator: clear motions", acClearMotions, mod, true},
        {"participant: polling", acArrangeExam, part, false},
        {"promote own row", acToggleModeratorStatus, with(mod, own), false},
        {"promote in room type 5", acToggleModeratorStatus, with(with(mod, other), [](auto& s) { s.roomType = 5; }),
         false},
        {"speak without voice right", acCaptureVoice, part, false},
        {"speak with voice right", acCaptureVoice, mod, true},
        {"speak with a stopped microphone", acCaptureVoice, with(mod, [](auto& s) { s.microphone = false; }), false},
        {"floor given up with a stopped microphone", acCaptureVoice,
         with(mod, [](auto& s) { s.microphone = false, s.speakOn = true; }), true},
        {"share with document right", acStartAppShare, mod, true},
        {"share while a share runs", acStartAppShare, with(mod, [](auto& s) { s.shareState = 1; }), false},
        {"give control, not the sharer", acAppSharegiveControl,
         with(with(mod, other), [](auto& s) { s.shareState = 1, s.sharingUser = 9; }), false},
        {"give control as sharer", acAppSharegiveControl,
         with(with(mod, other), [](auto& s) { s.shareState = 1, s.sharingUser = 7; }), true},
        {"pause own share", acAppShare_Pause, with(mod, [](auto& s) { s.shareState = 2, s.sharingUser = 7; }), true},
        {"present: participant", acPresent, part, false},
        {"present: level 2 presenter", acPresent, with(part, [](auto& s) { s.level2 = 1000; }), true},
        {"reconnect in playback", acResetConnection, with(part, [](auto& s) { s.playback = true; }), false},
        {"raise hand in playback", acRaiseHand, with(part, [](auto& s) { s.playback = true; }), false},
        {"pause recording while recording", acPauseRecording, with(mod, [](auto& s) { s.recording = true; }), true},
        {"pause recording idle", acPauseRecording, mod, false},
        {"play while playing", acPlay, with(part, [](auto& s) { s.playing = true; }), false},
        {"player pause while playing", acPlay_Pause, with(part, [](auto& s) { s.playing = true; }), true},
        {"video while publishing", acStartVideoSession,
         with(part, [](auto& s) { s.videoRight = s.videoPublishing = true; }), false},
        {"view web cam on a row", acViewWebCam, with(part, other), true},
        {"request microphone with the right", acRequestMicrophone, mod, false},
        {"request microphone without", acRequestMicrophone, part, true},
        {"new note while notes disabled", acNewNote, with(part, [](auto& s) { s.notesDisabled = true; }), false},
        {"notes switch for level 1 only", acEnableDisableNotes, with(part, [](auto& s) { s.level3 = 1000; }), false},
        {"breakout needs the room's consent", acBreakoutRooms, with(mod, [](auto& s) { s.sessionLive = true; }),
         false},
    };
    for (const Row& r : rows) {
        TCommandUpdate u = UpdateCommand(r.cmd, r.s);
        EXPECT_EQ(u.enabled, r.enabled) << r.what;
        EXPECT_EQ(u.visible, r.visible) << r.what;
    }
    EXPECT_EQ(UpdateCommand(acToggleModeratorStatus, with(with(mod, other), [](auto& s) { s.selectedLevel = 1000; }))
                  .caption,
              "Demote the user to Participant");
    // One key, one command: Ctrl+F4 starts a share and nothing else.
    std::map<int, int> keys;
    for (auto& c : Commands()) {
        EXPECT_EQ(&CommandInfo(c.id), &c);
        if (c.shortcut) ++keys[c.shortcut];
    }
    for (auto [key, count] : keys) EXPECT_EQ(count, 1) << key;
    EXPECT_EQ(CommandInfo(acStartAppShare).shortcut, 16384 + 115);
}

// Messages dispatched into a data module without a connection.
TEST(ChatHandlers, TextNotesAndRequests) {
    FakeClock clock;
    PlainEventLoop loop{clock};
    std::vector<std::pair<uint32_t, std::intptr_t>> posted;
    WindowHandle main = loop.RegisterWindow([&](uint32_t m, std::intptr_t, std::intptr_t l) { posted.push_back({m, l}); });
    TDM dm(loop, main);
    FakeChatView view;
    dm.ChatView = &view;
    dm.OwnUserId = 7;
    dm.Participants.AddUser(7, "Me");
    // Chat lines name a sender by the record's first name, notes by its display name.
    TUserInfo bea;
    bea.SetUserId(9);
    bea.SetFirstName("Bea");
    bea.SetDisplayName("Bea Black");
    bea.SetLevel(1000);
    dm.Participants.RenderUserNode(bea, TRenderContext{});
    auto dispatch = [&](uint16_t kind, const std::vector<uint8_t>& body) {
        TVCRHeader h;
        InitVCRHeader(kind, 0, 0, h);
        h.bodyLength = int32_t(body.size());
        dm.DispatchCommand(h, BuildPacketStream(h, body.data(), body.size()));
        loop.ProcessPending();
    };
    auto text = [&](int32_t from, int32_t to, int16_t type, std::u16string t, uint16_t kind = vkTextMessage) {
        const std::u16string lines[] = {t};
        auto rec = NewWideTextRecord(from, to, 0, lines, type);
        dispatch(kind, EncodeWideTextMessage(*rec));
    };
    text(9, 0, 0, u"  hello :-)  ");
    text(7, 0, 0, u"mine");
    text(55, 0, 0, u"   ");
    text(9, 7, 1, u"psst", vkPrivateTextMessage);
    text(7, 9, 1, u"echo", vkPrivateTextMessage);
    text(9, 12, 1, u"not for me", vkPrivateTextMessage);
    view.pageActive = false;
    text(9, 0, 0, u"while away");
    ASSERT_EQ(view.lines.size(), 6u);
    EXPECT_EQ(view.lines[0].sender, "Bea (Moderator)");
    EXPECT_EQ(view.lines[0].text, "hello :-)");
    EXPECT_EQ(view.lines[0].colour, kChatBlack);
    EXPECT_EQ(view.lines[1].colour, kChatBlue);
    EXPECT_EQ(view.lines[2].sender, "Unknown");
    EXPECT_EQ(view.lines[2].text, "");
    EXPECT_EQ(view.lines[3].key, 9);   // private from Bea
    EXPECT_EQ(view.lines[3].colour, kChatBlack);
    EXPECT_EQ(view.lines[4].key, 9);   // own echo shown with the addressee
    EXPECT_EQ(view.lines[4].colour, kChatBlue);
    // Only the line that came while the chat page was out of sight pops up.
    EXPECT_EQ(view.popups, std::vector<std::string>{"Bea (Moderator)"});
    EXPECT_EQ(posted.back(), (std::pair<uint32_t, std::intptr_t>{WM_APP_CHATTARGET, 9}));

    // While talking privately, a public line leaves the chat target alone.
    dm.Room.ChatTargetType = 1;
    posted.clear();
    text(9, 0, 0, u"public meanwhile");
    EXPECT_TRUE(posted.empty());
    dm.Room.ChatTargetType = 0;

    // A note to everybody and one to somebody else.
    view.popups.clear();
    text(9, 0, 5, u"note to all");
    text(9, 12, 5, u"not mine");
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_EQ(view.notes[0].sender, "Bea Black");
    EXPECT_EQ(view.notes[0].status, "Pending");
    EXPECT_EQ(view.notes[0].senderId, "9");
    EXPECT_EQ(view.popups, std::vector<std::string>{"note Bea Black"});

    // Requests: type 10 is a note row, type 9 only the camera request, unknown senders dropped.
    auto request = [&](int32_t from, uint8_t type, std::string text = "question") {
        TRequestInfo r;
        r.senderId = from;
        r.requestType = type;
        r.time = 45000.5;  // 12:00
        r.text = text;
        ByteWriter w;
        r.Encode(w);
        dispatch(vkUserRequest, w.buffer());
    };
    request(9, 10);
    request(9, 9);
    request(44, 2);
    request(9, 4);
    ASSERT_EQ(view.notes.size(), 2u);
    EXPECT_EQ(view.notes[1].time, "12:00");
    EXPECT_EQ(dm.Participants.FindUser(9)->camState, 1);
    EXPECT_EQ(dm.Participants.FindUser(9)->motions, kMotionHand);
    EXPECT_EQ(posted.back(), (std::pair<uint32_t, std::intptr_t>{WM_APP_USERLISTCHANGED, 9}));
    // The request menu's types arrive without text: the note and its window say what was asked.
    const char* asked[] = {"I want to speak...", "I want to use the board...", "Can you repeat this again ?",
                           "Another thing..."};
    view.popups.clear();
    for (uint8_t type = 0; type < 4; ++type) request(9, type, type == 3 ? "  " : "");
    request(9, 10, "");
    ASSERT_EQ(view.notes.size(), 7u);
    for (int type = 0; type < 4; ++type) EXPECT_EQ(Utf16ToUtf8(view.notes[size_t(2 + type)].text), asked[type]);
    EXPECT_EQ(view.notes[6].text, u"");  // no caption of its own
    ASSERT_GE(view.noteTexts.size(), 5u);
    EXPECT_EQ(view.noteTexts[view.noteTexts.size() - 3], asked[2]);
    view.notes.resize(2);
    // Short bodies change nothing.
    dispatch(vkUserRequest, {1, 2, 3});
    dispatch(vkTextMessage, {1, 2, 3});
    EXPECT_EQ(view.notes.size(), 2u);
    dispatch(vkClearNotes, {});
    EXPECT_EQ(view.cleared, 1);
}

// Two data modules in one room of the test room server.
TEST(ChatRoundTrip, PrivateChatAndPermissionsThroughTheServer) {
    test::TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    test::TTestRoom room(script);
    test::TRoomServer& server = room.server;
    test::TRoomService& rooms = room.rooms;
    ASSERT_TRUE(server.Start());

    PlainEventLoop loop;
    std::vector<std::pair<uint32_t, std::intptr_t>> posted[2];
    struct Client {
        std::unique_ptr<TDM> dm;
        FakeChatView view;
    } clients[2];
    const char* names[] = {"moderator", "pat"};
    for (int i = 0; i < 2; ++i) {
        WindowHandle w = loop.RegisterWindow([&, i](uint32_t m, std::intptr_t wp, std::intptr_t) {
            posted[i].push_back({m, wp});
        });
        auto& dm = clients[i].dm = std::make_unique<TDM>(loop, w);
        dm->ChatView = &clients[i].view;
        dm->ServerHost = "127.0.0.1";
        dm->ServerPort = server.Port();
        dm->ProgramFolder = MakeTempDir();
        dm->OwnLoginInfo.SetUserName(names[i]);
        dm->OwnLoginInfo.SetPassword("pw");
        ASSERT_TRUE(dm->StartSession());
        ASSERT_TRUE(dm->SendEnterRoom(1002));
        ASSERT_TRUE(loop.RunUntil([&] { return rooms.Members(1002).size() == size_t(i + 1); }, 5000));
        dm->Participants.AddUser(dm->OwnUserId, names[i]);
    }
    TDM& mod = *clients[0].dm;
    TDM& pat = *clients[1].dm;
    mod.Participants.AddUser(pat.OwnUserId, "Pat").level = 1;
    pat.Participants.AddUser(mod.OwnUserId, "Mo").level = 1000;

    mod.Room.ChatTargetType = 1;
    mod.Room.ChatTargetUser = pat.OwnUserId;
    ASSERT_TRUE(mod.SendChatText(u"private \u00e9 :-)"));
    pat.Room.ChatTargetType = 0;
    ASSERT_TRUE(pat.SendChatText(u"to all"));
    auto& mv = clients[0].view.lines;
    auto& pv = clients[1].view.lines;
    ASSERT_TRUE(loop.RunUntil([&] { return mv.size() >= 2 && pv.size() >= 2; }, 5000));
    auto find = [](const std::vector<ChatLine>& v, const std::string& text) {
        for (auto& l : v)
            if (l.text == text) return l;
        return ChatLine{-1, "", "", false, 0};
    };
    ChatLine got = find(pv, "private \u00e9 :-)");
    EXPECT_EQ(got.key, mod.OwnUserId);
    EXPECT_EQ(got.sender, "Mo (Moderator)");
    ChatLine echo = find(mv, "private \u00e9 :-)");
    EXPECT_EQ(echo.key, pat.OwnUserId);  // the sender sees it in the conversation with Pat
    EXPECT_EQ(echo.colour, kChatBlue);
    EXPECT_EQ(find(mv, "to all").key, 0);
    EXPECT_EQ(find(pv, "to all").colour, kChatBlue);

    // A text longer than the record's byte count can carry arrives cut, not lost.
    ASSERT_TRUE(mod.SendChatText(std::u16string(40000, u'x')));
    ASSERT_TRUE(loop.RunUntil([&] { return pv.size() >= 3; }, 5000));
    EXPECT_EQ(pv.back().text.size(), kMaxTextChars);

    // The moderator's chat permission modes reach the participant, who shows them by the rule.
    for (int mode = 0; mode <= 3; ++mode) {
        ASSERT_TRUE(mod.SendChatPermission(mode));
        ASSERT_TRUE(loop.RunUntil([&] {
            return !posted[1].empty() && posted[1].back() == std::pair<uint32_t, std::intptr_t>{WM_APP_CHATPERMISSION, mode};
        }, 5000)) << mode;
        EXPECT_EQ(pat.ChatPermission, mode);
        TChatPermissionLayout asPat = ChatPermissionLayout(mode, 1);
        TChatPermissionLayout asMod = ChatPermissionLayout(mode, 1000);
        EXPECT_TRUE(asMod.inputVisible) << mode;
        EXPECT_EQ(asPat.inputVisible, mode != 3) << mode;
        EXPECT_EQ(asPat.sendToMenu, mode == 0 || mode == 2) << mode;
        EXPECT_EQ(asPat.disabledHeader, mode == 3) << mode;
    }
    for (auto& c : clients) {
        std::string dir = c.dm->ProgramFolder;
        c.dm->LeaveSession();
        RemoveDir(dir);
    }
}
