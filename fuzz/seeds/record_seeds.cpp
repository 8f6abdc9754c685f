// Seeds of the library lists, the handshake's replies and the printer stream, built as their
// tests build them: resource records through their encoder, the server's and proxies' replies
// with the session tests' byte writers, printer streams with the print monitor tests' writer.
#include <string>

#include "protocol/records.h"
#include "roomserver/record_bytes.h"
#include "seeds.h"
#include "session/session_records.h"
#include "test_support.h"
#include "wire/bytes.h"
#include "wire_bytes.h"

namespace orb::seeds {
namespace {

namespace fs = std::filesystem;

Bytes FromText(const std::string& s) { return Bytes(s.begin(), s.end()); }

TResourceInfo Resource(const std::string& name, const std::string& ext, int32_t size, int32_t number) {
    TResourceInfo r;
    r.id = 40 + number;
    r.fileName = name;
    r.localPath = name;
    r.fileSize = size;
    r.extension = ext;
    r.description = "Week 3";
    r.ownerName = "Ana Tester";
    r.added = 39873.5;
    r.number = number;
    return r;
}

bool LibrarySeeds(const fs::path& folder) {
    bool ok = true;
    // Documents, board images and presentations: a 773-byte block holding the count, then the
    // records. Web links: a bare count, then the records.
    auto list = [](bool countBlock, const std::vector<TResourceInfo>& records) {
        Bytes b;
        ByteWriter w(b);
        w.i32(int32_t(records.size()));
        if (countBlock) b.resize(TResourceInfo::kSize, 0);
        ByteWriter rest(b);
        for (const TResourceInfo& r : records) r.Encode(rest);
        return b;
    };
    ok &= Write(folder, "fuzz_library_lists", "documents",
                list(true, {Resource("syllabus.pdf", ".pdf", 1536, 0), Resource("notes.doc", ".doc", 20480, 0)}));
    ok &= Write(folder, "fuzz_library_lists", "presentations", list(true, {Resource("lecture.ppt", ".ppt", 90000, 12)}));
    ok &= Write(folder, "fuzz_library_lists", "web-links",
                list(false, {Resource("https://example.org/course/week3.html", "WWW", 0, 0),
                             Resource("http://127.0.0.1:8080/a b.html", "WWW", 0, 0)}));
    return ok;
}

bool HandshakeSeeds(const fs::path& folder) {
    using orbtest::Header;
    using orbtest::PutLE;
    using orbtest::PutShort;
    bool ok = true;
    // The selector (the reader), then what the server or proxy answers.
    auto seed = [&](uint8_t selector, const std::string& name, const std::string& reply) {
        ok &= Write(folder, "fuzz_session_handshake", name, FromText(std::string(1, char(selector)) + reply));
    };
    auto i32 = [](int32_t v) {
        std::string s;
        PutLE(s, 0, uint32_t(v), 4);
        return s;
    };
    seed(0, "version-accepted", Header(0, 3, 0) + "abc");
    TVersionInfo offer;
    offer.version = "6.3";
    offer.versionDate = "Apr-02-2009";
    const auto o = offer.Encode();
    seed(0, "version-offer-with-installer", Header(0, 32, 21) + std::string(o.begin(), o.end()) + i32(5) + "MZ123");

    TLoginInfo account;
    account.SetUserId(501);
    account.SetUserName("ana");
    account.SetFullName("Ana Lima");
    account.SetLevel(1000);
    account.SetLoginTime(46000.5);
    seed(1, "login-accepted", Header(0, int32_t(TLoginInfo::kSize), 0) +
                                  std::string(account.Raw().begin(), account.Raw().end()));
    seed(1, "login-refused", Header(0, 4, 15) + "abcd");

    auto startup = [](const std::string& name, int32_t size) {
        std::string st(TStartupInfo::kSize, '\0');
        st[0] = 1;
        PutShort(st, 1, 255, name);
        st[257] = 1;
        PutShort(st, 258, 255, "Welcome to the test server");
        PutLE(st, 514, uint32_t(size), 4);
        return st;
    };
    seed(2, "startup-file-in-body", Header(92, int32_t(TStartupInfo::kSize) + 4, 0) + startup("intro.html", 4) + "<p/>");
    seed(2, "startup-file-after-body", Header(92, int32_t(TStartupInfo::kSize), 0) + startup("intro.html", 3) + "new");

    seed(3, "http-proxy-established", "HTTP/1.0 200 Connection established\r\nProxy-agent: x\r\n\r\n");
    seed(4, "socks5-password-domain", std::string("\x05\x02" "\x01\x00" "\x05\x00\x00\x03\x03" "abc\x00\x50", 14));
    seed(4, "socks5-password-ipv4", std::string("\x05\x02" "\x01\x00" "\x05\x00\x00\x01" "\x7f\x00\x00\x01\x26\xb6", 14));

    // A room list row as the test room server writes it, and a version record.
    std::string row(TRoomListItem::kSize, '\0');
    test::PutI32(row, 0, 1002);
    test::PutShort(row, 58, TRoomListItem::kNameCapacity, "Main hall");
    test::PutI32(row, 392, 4);
    seed(5, "room-list-row", row);
    seed(5, "version-record", std::string(o.begin(), o.end()));
    return ok;
}

// A short document at the lowest resolution (pages painted within the fuzzer's bitmap limit): two
// pages of runs, raw and of one colour, and a return to the left margin.
testpm::Stream Document(uint8_t paper, uint8_t resolution) {
    testpm::Stream s;
    s.cmd(0x71).cmd(0x74).cmd(paper).cmd(resolution).cmd(0x83).param(0x50, 0x1234);
    for (int page = 0; page < 2; ++page) {
        s.cmd(page == 1 ? 0x02 : 0x01).cmd(0x72);
        for (int row = 0; row < 24; ++row) {
            s.y(uint16_t(100 + row * 40)).x(uint16_t(200 + row * 13));
            std::vector<uint8_t> bytes(size_t(30 + row * 3));
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + size_t(row));
            s.run(bytes);
            if (row % 5 == 0) s.cmd(0x94).fill(12, 200, 10, 10);
        }
        s.cmd(0x73);
    }
    return s;
}

bool PrinterSeeds(const fs::path& folder) {
    bool ok = true;
    // The first byte: the buffer sizes (low bits) and a second document from the middle (0x80).
    auto seed = [&](uint8_t first, const std::string& name, const testpm::Stream& s) {
        Bytes in{first};
        Append(in, s.b);
        ok &= Write(folder, "fuzz_printer_stream", name, in);
    };
    seed(6, "a4-portrait", Document(0x25, 0x45));
    seed(0x80 | 2, "letter-landscape-twice", Document(0x22, 0x45));
    seed(11, "a3-portrait", Document(0x27, 0x45));
    return ok;
}

}  // namespace

bool WriteRecordSeeds(const fs::path& folder) {
    bool ok = LibrarySeeds(folder);
    ok &= HandshakeSeeds(folder);
    ok &= PrinterSeeds(folder);
    return ok;
}

}  // namespace orb::seeds
