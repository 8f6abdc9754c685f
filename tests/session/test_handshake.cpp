#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "helpers.h"
#include "session/handshake.h"
#include "wire_bytes.h"

using namespace orb;
using namespace orbtest;
namespace fs = std::filesystem;

namespace {
std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}
std::string I32(int32_t v) {
    std::string s;
    PutLE(s, 0, uint32_t(v), 4);
    return s;
}
struct TempDir {
    std::string path = MakeTempDir();
    ~TempDir() { RemoveDir(path); }
};
}  // namespace

TEST(Handshake, VersionReplyBodiesAreConsumedAndABrokenExchangeIsNoOffer) {
    ScriptedChannel ok(Header(0, 3, 0) + "abc" + "N");
    TVersionCheck v = CheckClientVersion(ok);
    EXPECT_TRUE(v.exchanged);
    EXPECT_EQ(v.result, 0);
    EXPECT_EQ(ok.sent.size(), 32u);
    EXPECT_EQ(ok.sent.substr(0, 4), "\x03" "6.2");
    EXPECT_EQ(ok.Left(), 1u);

    ScriptedChannel cut(Header(0, 0, 0).substr(0, 10));
    EXPECT_FALSE(CheckClientVersion(cut).exchanged);

    std::string offer(32, '\0');
    PutShort(offer, 0, 10, "6.3");
    ScriptedChannel offered(Header(0, 32, 21) + offer);
    v = CheckClientVersion(offered);
    EXPECT_TRUE(v.exchanged);
    EXPECT_EQ(v.result, 21);
    TVersionInfo got;
    ASSERT_TRUE(ReadUpdateOffer(offered, got));
    EXPECT_EQ(got.version, "6.3");
}

TEST(Handshake, InstallerIsSavedWholeUnderASafeNameOrNotAtAll) {
    TempDir dir;
    TVersionInfo offer;
    offer.version = "6.3";
    std::string path = InstallerPath(dir.path, 1234, offer);
    EXPECT_EQ(path, dir.path + "/Versions/1234OrbeloBrowserSetup6.3.exe");
    ScriptedChannel ch(I32(5) + "MZ123" + "N");
    EXPECT_EQ(ReceiveInstaller(ch, path), TDownloadResult::Received);
    EXPECT_EQ(ReadAll(path), "MZ123");
    EXPECT_EQ(ch.Left(), 1u);

    offer.version = "../../../x";
    EXPECT_EQ(InstallerPath(dir.path, 7, offer), dir.path + "/Versions/7OrbeloBrowserSetup.exe");

    std::string other = dir.path + "/Versions/other.exe";
    ScriptedChannel empty(I32(0));
    EXPECT_EQ(ReceiveInstaller(empty, other), TDownloadResult::EmptyOffer);
    ScriptedChannel negative(I32(-5));
    EXPECT_EQ(ReceiveInstaller(negative, other), TDownloadResult::Failed);
    ScriptedChannel huge(I32(0x7fffffff));
    EXPECT_EQ(ReceiveInstaller(huge, other), TDownloadResult::Failed);
    ScriptedChannel truncated(I32(10) + "MZ");
    EXPECT_EQ(ReceiveInstaller(truncated, other), TDownloadResult::Failed);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_FALSE(fs::exists(other + ".part"));
}

TEST(Handshake, LoginReplacesTheAccountOnlyWithAWholeOne) {
    TLoginInfo info;
    info.SetUserName("ana");
    info.SetPassword("pw");
    std::string account(1119, '\0');
    PutLE(account, 0, 501, 4);
    PutShort(account, 1068, 50, "ana");
    PutShort(account, 1036, 31, "tok");
    ScriptedChannel ok(Header(0, 1119 + 2, 0) + account + "xx" + "N");
    TLoginReply r = LoginUser(ok, info);
    EXPECT_TRUE(r.exchanged);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(info.UserId(), 501);
    EXPECT_EQ(info.LoginText(), "tok");
    EXPECT_EQ(ok.Left(), 1u);
    // The request: user id 0, password, user name.
    ASSERT_EQ(ok.sent.size(), 106u);
    EXPECT_EQ(ok.sent.substr(0, 7), std::string("\0\0\0\0\x02pw", 7));
    EXPECT_EQ(ok.sent.substr(55, 4), "\x03" "ana");

    TLoginInfo before = info;
    ScriptedChannel refused(Header(0, 4, 15) + "abcd" + "N");
    r = LoginUser(refused, info);
    EXPECT_EQ(r.result, 15);
    EXPECT_EQ(refused.Left(), 1u);
    ScriptedChannel shortOk(Header(0, 100, 0) + std::string(100, '\1') + "N");
    r = LoginUser(shortOk, info);
    EXPECT_TRUE(r.exchanged);
    EXPECT_EQ(r.result, 33);
    EXPECT_EQ(shortOk.Left(), 1u);
    EXPECT_EQ(info.Raw(), before.Raw());
    ScriptedChannel lying(Header(0, -1, 0));
    EXPECT_FALSE(LoginUser(lying, info).exchanged);
}

TEST(Handshake, StartupInformationWithAndWithoutAFile) {
    TempDir dir;
    auto record = [](const std::string& name, int32_t size) {
        std::string st(519, '\0');
        st[0] = 1;
        PutShort(st, 1, 255, name);
        st[257] = 1;
        PutShort(st, 258, 255, "Hi");
        PutLE(st, 514, uint32_t(size), 4);
        return st;
    };
    TStartupInfo info;
    // File inside the announced body.
    ScriptedChannel inBody(Header(92, 519 + 4, 0) + record("intro.html", 4) + "<p/>" + "N");
    TStartupReply r = RequestStartupInfo(inBody, 501, dir.path, info);
    EXPECT_TRUE(r.received);
    EXPECT_TRUE(r.fileWritten);
    EXPECT_EQ(ReadAll(dir.path + "/intro.html"), "<p/>");
    EXPECT_EQ(info.WelcomeText(), "Hi");
    EXPECT_EQ(inBody.Left(), 1u);
    // The request: kind 92, own id, room 0, no body.
    ASSERT_EQ(inBody.sent.size(), 22u);
    EXPECT_EQ(inBody.sent.substr(0, 8), std::string("\x5c\0\xf5\x01\0\0\0\0", 8));
    EXPECT_EQ(inBody.sent.substr(16, 6), std::string(6, '\0'));

    // File right after a body of just the record; an existing file of that name is replaced.
    ScriptedChannel after(Header(92, 519, 0) + record("intro.html", 3) + "new" + "N");
    EXPECT_TRUE(RequestStartupInfo(after, 501, dir.path, info).fileWritten);
    EXPECT_EQ(ReadAll(dir.path + "/intro.html"), "new");
    EXPECT_EQ(after.Left(), 1u);

    ScriptedChannel none(Header(92, 519, 0) + record("unused.html", 0) + "N");
    r = RequestStartupInfo(none, 501, dir.path, info);
    EXPECT_TRUE(r.received);
    EXPECT_FALSE(fs::exists(dir.path + "/unused.html"));

    // A name that leaves our folder is refused; its bytes are still consumed.
    ScriptedChannel evil(Header(92, 519 + 3, 0) + record("../evil.txt", 3) + "bad" + "N");
    r = RequestStartupInfo(evil, 501, dir.path + "/", info);
    EXPECT_TRUE(r.received);
    EXPECT_TRUE(r.fileRefused);
    EXPECT_FALSE(fs::exists(dir.path + "/../evil.txt"));
    EXPECT_EQ(evil.Left(), 1u);

    // Nor may it replace the program's code or one of its folders, which share that folder.
    std::string program = dir.path + "/OrbeloLive6";
    WriteFile(program, "ELF");
    fs::permissions(program, fs::perms::owner_all);
    fs::create_directory(dir.path + "/LocalData");
    for (const char* name : {"libvornex.so", "libfoo.so.6", "Setup.EXE", "OrbeloLive6", "LocalData"}) {
        ScriptedChannel code(Header(92, 519 + 3, 0) + record(name, 3) + "bad" + "N");
        r = RequestStartupInfo(code, 501, dir.path, info);
        EXPECT_TRUE(r.received) << name;
        EXPECT_TRUE(r.fileRefused) << name;
        EXPECT_EQ(code.Left(), 1u) << name;
    }
    EXPECT_FALSE(fs::exists(dir.path + "/libvornex.so"));
    EXPECT_EQ(ReadAll(program), "ELF");
    EXPECT_TRUE(fs::is_directory(dir.path + "/LocalData"));

    ScriptedChannel refused(Header(92, 2, 7) + "zz" + "N");
    r = RequestStartupInfo(refused, 501, dir.path, info);
    EXPECT_FALSE(r.received);
    EXPECT_FALSE(r.streamBroken);
    EXPECT_FALSE(info.Valid());
    EXPECT_FALSE(info.Welcome());
    EXPECT_EQ(refused.Left(), 1u);

    ScriptedChannel hugeFile(Header(92, 519, 0) + record("big.bin", -1));
    EXPECT_TRUE(RequestStartupInfo(hugeFile, 501, dir.path, info).streamBroken);
}

TEST(Bandwidth, SendLimitFigures) {
    EXPECT_EQ(BandwidthSendLimit(65536), 10035);
    EXPECT_EQ(BandwidthSendLimit(131072), 23142);
    EXPECT_EQ(BandwidthSendLimit(7168), 2048);
    EXPECT_EQ(BandwidthSendLimit(0), 2048);
    EXPECT_EQ(BandwidthSendLimit(25598), 2048);   // 5119.6 rounds up to 5120: 2048 either way
    EXPECT_EQ(BandwidthSendLimit(25603), 2049);   // 5120.6 -> 5121
    EXPECT_EQ(BandwidthSendLimit(-5), 2048);
}
