#include "roomserver/room_handshake.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "protocol/date_time.h"
#include "roomserver/record_bytes.h"
#include "wire/bytes.h"

namespace orb::test {

std::string TRoomHandshake::RoomRecordOf(int32_t number, const std::string& name) const {
    std::string r(1430, '\0');
    PutI32(r, 0, number);
    PutShort(r, 4, 255, name);
    PutShort(r, 1101, 252, "Hello room");
    r[1099] = 1;         // moderators get the document tools (share, present, libraries)
    r[1354] = 1;         // moderators may use a camera
    PutI32(r, 1355, 2);  // voice codec
    PutI32(r, 1363, 4);  // speakers
    r[1097] = char(script_.recordingRooms.count(number) ? 1 : 0);  // server recording allowed
    return r;
}

namespace {

std::string Lower(std::string s) {
    for (char& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

bool LoadAccountsFile(const std::string& path, std::map<std::string, TRoomHandshakeScript::TFixedAccount>& out,
                      std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        std::string name, password, flag, extra;
        if (!(words >> name) || name[0] == '#') continue;
        words >> password >> flag >> extra;
        // Names and passwords travel as short strings of 50 bytes.
        if (password.empty() || name.size() > 50 || password.size() > 50 || !extra.empty() ||
            !(flag.empty() || flag == "0" || flag == "1")) {
            error = path + ":" + std::to_string(number) + ": expected: name password [0|1]";
            return false;
        }
        out[Lower(name)] = {password, flag == "1"};
    }
    return true;
}

TAccount MakeAccount(int32_t userId, const std::string& userName) {
    TAccount a;
    a.userId = userId;
    a.userName = userName;
    // Plain ASCII letters, digits and a few marks of the typed name, first letter in capitals.
    std::string name;
    for (char ch : userName) {
        auto u = static_cast<unsigned char>(ch);
        if (std::isalnum(u) || ch == '.' || ch == '-' || ch == '_') name += ch;
    }
    if (name.empty()) name = "User";
    name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
    a.fullName = name.substr(0, 40) + " Tester";
    std::string prefix = userName.substr(0, 3);
    for (auto& ch : prefix) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    a.level = prefix == "mod" ? 1000 : 1;
    a.loginTime = NowDateTime();
    return a;
}

std::string TRoomHandshake::LoginName() const {
    std::lock_guard lk(mu_);
    return loginName_;
}

std::string TRoomHandshake::LoginPassword() const {
    std::lock_guard lk(mu_);
    return loginPassword_;
}

std::string TRoomHandshake::Account(int16_t room) const {
    TAccount account;
    if (!AccountOf(lastConnection_.load(), account)) {
        account.userId = script_.userId;
        account.fullName = script_.fullName;
        account.level = script_.level;
        account.userName = LoginName();
        account.password = LoginPassword();
    }
    return AccountRecord(account, room);
}

std::string TRoomHandshake::AccountRecord(const TAccount& account, int16_t room) {
    std::string a(1119, '\0');
    PutI32(a, 0, account.userId);
    StoreU16(reinterpret_cast<uint8_t*>(a.data()) + 4, uint16_t(room));
    // The first word of the full name is the first name; the address is made up, never mailed.
    PutShort(a, 8, 20, account.fullName.substr(0, account.fullName.find(' ')));
    PutShort(a, 29, 128, account.fullName);
    PutShort(a, 158, 128, account.userName + "@example.test");
    PutI32(a, 647, account.level);
    PutShort(a, 663, 50, account.password);
    PutShort(a, 1036, 31, "server-token");
    PutShort(a, 1068, 50, account.userName);
    return a;
}

bool TRoomHandshake::AccountOf(int connection, TAccount& out) const {
    std::lock_guard lk(mu_);
    auto it = accounts_.find(connection);
    if (it == accounts_.end()) return false;
    out = it->second;
    return true;
}

bool TRoomHandshake::Run(TRoomServer& server, TRoomConnection& c) {
    ++started_;
    TTcpClient& s = c.socket;
    s.SetReadTimeout(10000);
    auto reply = [&](uint16_t kind, uint16_t result, const std::string& body) {
        TVCRHeader h;
        InitVCRHeader(kind, 0, 0, h);
        h.bodyLength = int32_t(body.size());
        h.result = result;
        std::vector<uint8_t> m = BuildPacketStream(h, body.data(), body.size());
        return c.Write(m.data(), m.size());
    };

    uint8_t version[32];
    if (!s.ReadExact(version, sizeof version) || script_.closeAfterVersion) return false;
    if (script_.versionResult != 0) {
        // The offer: a header with the result, the offer record, the size and the installer.
        std::string offer(32, '\0');
        PutShort(offer, 0, 10, script_.offerVersion);
        PutShort(offer, 11, 20, "Jan-02-2010");
        std::string size(4, '\0');
        PutI32(size, 0, int32_t(script_.installer.size()));
        TVCRHeader h;
        InitVCRHeader(0, 0, 0, h);
        h.bodyLength = 32;
        h.result = script_.versionResult;
        std::vector<uint8_t> m = BuildPacketStream(h, offer.data(), offer.size());
        if (script_.offerCut) {
            m.resize(TVCRHeader::kSize);
        } else {
            m.insert(m.end(), size.begin(), size.end());
            m.insert(m.end(), script_.installer.begin(), script_.installer.end());
        }
        c.Write(m.data(), m.size());
        return false;
    }
    if (!reply(0, 0, "")) return false;

    uint8_t login[106];
    if (!s.ReadExact(login, sizeof login)) return false;
    TAccount account;
    {
        std::lock_guard lk(mu_);
        loginPassword_.assign(reinterpret_cast<char*>(login + 5), std::min<size_t>(login[4], 50));
        loginName_.assign(reinterpret_cast<char*>(login + 56), std::min<size_t>(login[55], 50));
        if (script_.perLoginAccounts) {
            account = MakeAccount(script_.userId + logins_, loginName_);
        } else {
            account.userId = script_.userId;
            account.userName = loginName_;
            account.fullName = script_.fullName;
            account.level = script_.level;
            account.loginTime = NowDateTime();
        }
        ++logins_;
        account.password = loginPassword_;
    }
    uint16_t refusal = script_.loginResult;
    if (auto fixed = script_.fixedAccounts.find(Lower(account.userName)); fixed != script_.fixedAccounts.end()) {
        if (fixed->second.password != account.password) refusal = script_.wrongPasswordResult;
        account.level = fixed->second.moderator ? 1000 : 1;
    }
    if (refusal != 0) {
        reply(0, refusal, "");
        return false;
    }
    if (!reply(0, 0, script_.shortLoginReply ? std::string(100, '\0') : AccountRecord(account, 0))) return false;

    uint8_t head[22];
    TVCRHeader request;
    if (!s.ReadExact(head, sizeof head) || !TVCRHeader::Decode(head, request) || request.kind != vkStartupInfo)
        return false;
    std::string startup(519, '\0');
    startup[0] = 1;
    PutShort(startup, 1, 255, script_.startupFileName);
    startup[257] = 1;
    PutShort(startup, 258, 255, script_.welcome);
    PutI32(startup, 514, int32_t(script_.startupFile.size()));
    if (!reply(vkStartupInfo, 0, startup + script_.startupFile)) return false;

    s.SetReadTimeout(0);
    c.userId = account.userId;
    {
        std::lock_guard lk(mu_);
        accounts_[c.id] = account;
    }
    lastConnection_ = c.id;
    if (onLogin_) onLogin_(server, c, account);
    return true;
}

void TRoomHandshake::RoomList(TRoomServer& server, TRoomConnection& c) {
    std::string rows;
    for (auto& [number, name] : script_.rooms) {
        std::string item(404, '\0');
        PutI32(item, 0, number);
        PutShort(item, 58, 255, name);
        PutI32(item, 392, 1);
        rows += item;
    }
    server.Send(c.id, vkRoomList, Bytes(rows));
}

void TRoomHandshake::EnterRoom(TRoomServer& server, TRoomConnection& c, const TVCRHeader& h,
                               std::span<const uint8_t> body) {
    ByteReader r(body);
    int32_t target = 0;
    r.i32(target);
    const std::pair<int32_t, std::string>* listed = nullptr;
    for (auto& room : script_.rooms)
        if (room.first == target) listed = &room;
    auto refused = script_.refusedRooms.find(target);
    if (refused != script_.refusedRooms.end()) {
        server.Send(c.id, vkEnterRoom, {}, 0, 0, refused->second);
    } else if (!listed || h.room != int16_t(target)) {
        server.Send(c.id, vkEnterRoom, {}, 0, 0, 18);
    } else if (script_.shortEnterReply) {
        server.Send(c.id, vkEnterRoom, Bytes(std::string(60, '\0')));
    } else {
        std::string validation(54, '\0');
        PutI32(validation, 25, script_.voicePort);
        PutI32(validation, 50, script_.fileTransferPort);
        TAccount account;
        if (!AccountOf(c.id, account)) return;
        int16_t previous = c.room.exchange(int16_t(target));
        server.Send(c.id, vkEnterRoom,
                    Bytes(validation + RoomRecordOf(target, listed->second) + AccountRecord(account, int16_t(target))));
        if (onEnter_) onEnter_(server, c, previous);
    }
}

void InstallRoomHandshake(TRoomServer& server, const std::shared_ptr<TRoomHandshake>& handshake) {
    server.SetHandshake([handshake](TRoomServer& s, TRoomConnection& c) { return handshake->Run(s, c); });
    server.OnKind(vkRoomList, [handshake](TRoomServer& s, TRoomConnection& c, const TVCRHeader&,
                                          std::span<const uint8_t>) { handshake->RoomList(s, c); });
    server.OnKind(vkEnterRoom, [handshake](TRoomServer& s, TRoomConnection& c, const TVCRHeader& h,
                                           std::span<const uint8_t> body) { handshake->EnterRoom(s, c, h, body); });
}

}  // namespace orb::test
