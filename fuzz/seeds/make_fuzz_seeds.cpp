// Seed inputs for the fuzz targets, made from the records the tests use: the demo recording of the
// test room server (room entry, strokes, chat, voice), the breakout tests' rooms and members, and
// the launch tests' links; media_seeds.cpp and record_seeds.cpp add the other targets' records.
// Each seed is shaped the way its target splits its input.
//   orb_fuzz_seeds <folder>   writes <folder>/<target>/<seed>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "participants/user_info.h"
#include "printnotice/print_notice.h"
#include "protocol/message_kinds.h"
#include "roomserver/playback_service.h"
#include "roomserver/recording_writer.h"
#include "session/session_records.h"
#include "seeds.h"
#include "wire/bytes.h"

namespace fs = std::filesystem;
using orb::seeds::Bytes;
using orb::seeds::Write;

bool orb::seeds::Write(const fs::path& folder, const std::string& target, const std::string& name, const Bytes& bytes) {
    std::error_code ec;
    fs::create_directories(folder / target, ec);
    std::ofstream out(folder / target / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// As the breakout tests build them: a room record with its number and name, and a members reply.
Bytes RoomRecord(int32_t id, const std::string& name) {
    Bytes r;
    orb::ByteWriter w(r);
    w.i32(id);
    w.shortString(orb::TRoomInfo::kNameCapacity, name);
    r.resize(orb::TRoomInfo::kSize, 0);
    return r;
}

Bytes Members(int32_t room, std::initializer_list<int32_t> users) {
    Bytes b;
    orb::ByteWriter(b).i32(room);
    for (int32_t u : users) {
        orb::TLoginInfo m;
        m.SetUserId(u);
        b.insert(b.end(), m.Raw().begin(), m.Raw().end());
    }
    return b;
}

// fuzz_breakout_replies: a count of room records, the records, then the members reply.
Bytes BreakoutInput(const std::vector<std::pair<int32_t, std::string>>& rooms, const Bytes& members) {
    Bytes in{uint8_t(rooms.size())};
    for (const auto& [id, name] : rooms) {
        const Bytes r = RoomRecord(id, name);
        in.insert(in.end(), r.begin(), r.end());
    }
    in.insert(in.end(), members.begin(), members.end());
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    bool ok = true;

    const orb::test::TRecordingWriter demo = orb::test::DemoRecording();
    // The room connection's stream: the demo's messages one after the other.
    Bytes stream;
    for (const Bytes& m : demo.Each()) stream.insert(stream.end(), m.begin(), m.end());
    ok &= Write(folder, "fuzz_room_protocol", "demo-messages", stream);
    for (size_t i = 0; i < demo.Each().size(); ++i)
        ok &= Write(folder, "fuzz_room_protocol", "demo-message-" + std::to_string(i), demo.Each()[i]);

    // Recording files: with the session record in front (an odd first byte says so), and without.
    Bytes withHead = demo.Bytes(true);
    if (!withHead.empty()) withHead[0] |= 1;
    ok &= Write(folder, "fuzz_recording_reader", "demo-with-head", withHead);
    Bytes bare = demo.Bytes(false);
    if (!bare.empty()) bare[0] &= 0xFE;
    ok &= Write(folder, "fuzz_recording_reader", "demo-without-head", bare);

    ok &= Write(folder, "fuzz_breakout_replies", "two-rooms-members-of-the-second",
                BreakoutInput({{1002, "Main"}, {2001, "<b>A</b>"}}, Members(2001, {5, 6})));
    ok &= Write(folder, "fuzz_breakout_replies", "main-room-one-member", BreakoutInput({{1002, "Main"}}, Members(1002, {4})));

    // Board messages (a kind selector, the result, the body): the demo's strokes; chat (a kind
    // selector, then the body): the demo's chat lines. Selector 0 is strokes, 6 a wide text line.
    for (int strokes : {1, 3}) {
        Bytes in{0, 0};
        const Bytes body = orb::test::StrokesBody(1, strokes, 0x00FF00);
        in.insert(in.end(), body.begin(), body.end());
        ok &= Write(folder, "fuzz_board_messages", "strokes-" + std::to_string(strokes), in);
    }
    for (const char16_t* line : {u"Hello from the recording", u"Goodbye"}) {
        Bytes in{6};
        const Bytes body = orb::test::ChatBody(7, 3, line);
        in.insert(in.end(), body.begin(), body.end());
        ok &= Write(folder, "fuzz_chat", "line-" + std::to_string(in.size()), in);
    }
    // Participant messages (a kind selector, the sender, the body's length in eighths, the body):
    // two users join (selector 1) and one leaves (selector 2).
    Bytes people;
    for (int32_t id : {5, 6}) {
        orb::TUserInfo u;
        u.SetUserId(id);
        u.SetFirstName(id == 5 ? "Ana" : "Bob");
        u.SetDisplayName(id == 5 ? "Ana Tester" : "Bob Tester");
        Bytes body;
        orb::ByteWriter w(body);
        u.Encode(w);
        body.resize((body.size() + 7) / 8 * 8, 0);
        people.insert(people.end(), {1, uint8_t(id), uint8_t(body.size() / 8)});
        people.insert(people.end(), body.begin(), body.end());
    }
    people.insert(people.end(), {2, 6, 0});
    ok &= Write(folder, "fuzz_participant_messages", "two-join-one-leaves", people);

    // Print notices as the print tests send them: the job's pages begun and saved.
    Bytes pages;
    for (int32_t page : {1, 2})
        for (int32_t kind : {orb::pnPageBegun, orb::pnPageSaved}) {
            const Bytes n = orb::EncodePrintNotice(orb::BuildPrintNotice(
                1, "", page, "/tmp/orb-fuzz-gate/Slide_" + std::to_string(page) + ".jpg", page, kind));
            pages.insert(pages.end(), n.begin(), n.end());
        }
    ok &= Write(folder, "fuzz_print_notice_gate", "two-pages", pages);

    // Registry text as the registry tests write it.
    ok &= Write(folder, "fuzz_reg_text", "values",
                Text("; Orbelo Live registry: HKEY_CURRENT_USER\n[Software\\Vendor\\Prod%5Duct]\r\n"
                     "\"Count\"=dword:0000002a\n\"Big\"=qword:0102030405060708\n\"Blob\"=hex:00,ff,10\n"
                     "\"Empty\"=hex:\n\"Esc\"=\"a\\\"b\\\\c\\nd\\x01\"\n@=\"default\"\n\n[Software\\Other]\n; end\n"));

    // Launch arguments as the launch tests give them.
    const char* links[] = {"ORB6JOIN://h,9910,u,p,12", "ORB6JOIN:///h,9910,u,p,12/", "ORB6JOIN://h,9910,u%20v,p%2C,12",
                           "ORB6URL://127.0.0.1:8080/rec/a.ob6", "PLAY", "ORB6JOIN://[::1],9910,u,p,12"};
    for (size_t i = 0; i < std::size(links); ++i) ok &= Write(folder, "fuzz_launch", "link-" + std::to_string(i), Text(links[i]));

    ok &= orb::seeds::WriteMediaSeeds(folder);
    ok &= orb::seeds::WriteRecordSeeds(folder);

    if (!ok) std::fprintf(stderr, "could not write every seed under %s\n", folder.c_str());
    return ok ? 0 : 1;
}
