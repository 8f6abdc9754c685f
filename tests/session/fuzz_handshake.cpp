// Arbitrary server and proxy replies through every handshake reader: none may read out of bounds,
// allocate without bound, or write outside its folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "helpers.h"
#include "session/handshake.h"
#include "session/proxy.h"
#include "session/session_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/orb-fuzz-session-XXXXXX";
        char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    // The fuzzer ends through exit(): the folder goes with the run (registered after dir exists,
    // so it runs before dir is destroyed).
    static const bool cleanup = std::atexit([] {
        if (dir != "/tmp") std::filesystem::remove_all(dir);
    }) == 0;
    (void)cleanup;
    if (size < 1) return 0;
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    orbtest::ScriptedChannel ch(input);
    switch (data[0] % 6) {
    case 0: {
        orb::TVersionCheck v = orb::CheckClientVersion(ch);
        orb::TVersionInfo offer;
        if (v.exchanged && v.result != 0 && orb::ReadUpdateOffer(ch, offer))
            orb::ReceiveInstaller(ch, orb::InstallerPath(dir, 1, offer));
        break;
    }
    case 1: {
        orb::TLoginInfo info;
        orb::LoginUser(ch, info);
        break;
    }
    case 2: {
        orb::TStartupInfo info;
        orb::RequestStartupInfo(ch, 1, dir, info);
        break;
    }
    case 3: {
        orb::TSocksInfo info;
        std::string error;
        orb::HttpProxyConnect(ch, info, "h", 1, error);
        break;
    }
    case 4: {
        orb::TSocksInfo info;
        info.authentication = orb::TSocksAuthentication::UsernamePassword;
        std::string error;
        orb::NegotiateSocks5(ch, info, "room.example", 1, error);
        break;
    }
    default: {
        if (input.size() >= orb::TRoomListItem::kSize) {
            std::array<uint8_t, orb::TRoomListItem::kSize> raw;
            std::memcpy(raw.data(), input.data(), raw.size());
            orb::TRoomListItem::Decode(raw);
        }
        if (input.size() >= orb::TVersionInfo::kSize) {
            std::array<uint8_t, orb::TVersionInfo::kSize> raw;
            std::memcpy(raw.data(), input.data(), raw.size());
            orb::TVersionInfo::Decode(raw).SafeVersionForFileName();
        }
        break;
    }
    }
    // Whatever was received stays inside the folder.
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename() == "Versions") std::filesystem::remove_all(e.path());
        else std::filesystem::remove(e.path());
    }
    return 0;
}
