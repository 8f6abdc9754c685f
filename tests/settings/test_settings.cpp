// The settings store: defaults, range corrections, wrong-typed values, saving and loading across
// processes, and the typed registry routines under it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "registry/registry.h"
#include "settings/colour_text.h"
#include "settings/reg_helpers.h"
#include "settings/settings.h"
#include "test_support.h"
#include "util/scramble.h"

namespace fs = std::filesystem;
using namespace orb;
using orb::test::ReadFile;
using orb::test::TempDir;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folders = {dir.path() / "user", dir.path() / "machine"};
        reg::Registry::Default().Reconfigure(folders);
        program = (dir.path() / "prog").string() + "/";
        fs::create_directories(program);
    }
    reg::Key Key() { return reg::CreateKey(reg::HKEY_CURRENT_USER, kSettingsKey); }

    TempDir dir;
    reg::Registry::Folders folders;
    std::string program;
};

// A settings object with every field away from its default.
Settings Unusual(const std::string& folder) {
    Settings s;
    s.ShowModeratorTips = false;
    s.ColorTheme = 5;
    s.MuteSpeakersWhileTalking = true;
    s.InputAudioQueueSizeEx = 6;
    s.PushToTalkKey = 30;
    s.AudioOutDeviceID = 2;
    s.AudioInDeviceID = 1;
    s.DefaultVideoCaptureDriver = 9;
    s.SyntheticVideoCamera = true;
    s.DefaultVideoCompressor = 0x44495658;
    s.VideoFrameRate = 10;
    s.VideoKFR = 30;
    s.VideoBPS = 65536;
    s.VideoBitCount = 16;
    s.RecSessionsFolder = folder;
    s.InvitationURL = "http://invite.example/Room?Id=7";
    s.RecorderUserName = "Robot Two";
    s.RecorderPassword = "rec pässwörd";
    s.RecordOnServer = false;
    s.UseProxy = true;
    s.SocksVersion = 2;
    s.ProxyHost = "proxy.example";
    s.ProxyPort = 3128;
    s.ProxyAuthentication = true;
    s.ProxyUserName = "proxy user";
    s.ProxyPassword = "прокси";
    s.TextBoxFont = "DejaVu Sans";
    s.TextBoxFontColor = 0x0000FF;
    s.TextBoxFontSize = 14;
    s.BoardGridSize = 40;
    s.BlockPopups = s.BeepOnUserConnect = s.BeepOnUserDisconnect = s.BeepOnNewMessage = true;
    s.DonPopUpChatMessages = s.FlashOnActions = s.BeepOnUserMotions = s.NoPopUpsOnPostIt = s.ShowMe = true;
    s.AppShare_RefreshRate61 = 1000;
    s.AppShare_CursorRefreshRate = 200;
    s.AppShare_PixelFormat = 6;
    s.DefPenWidth = 5;
    s.DefPenColor = 0x123456;
    s.Room_LeftSplitter = 300;
    s.Room_MidSplitter = 400;
    s.SuppressSilence = true;
    s.SilenceSuppressionLevel = 0;
    s.StoredMicVolume = 12000;
    s.StoredWavVolume = 0;
    return s;
}

// The fields SaveSettings writes, compared one by one so a failure names the field.
void ExpectSavedFieldsEqual(const Settings& a, const Settings& b) {
#define F(x) EXPECT_EQ(a.x, b.x) << #x
    F(ShowModeratorTips); F(ColorTheme); F(MuteSpeakersWhileTalking); F(InputAudioQueueSizeEx);
    F(PushToTalkKey); F(AudioOutDeviceID); F(AudioInDeviceID); F(DefaultVideoCaptureDriver);
    F(SyntheticVideoCamera);
    F(DefaultVideoCompressor); F(VideoFrameRate); F(VideoKFR); F(VideoBPS); F(VideoBitCount);
    F(RecSessionsFolder); F(InvitationURL); F(RecorderUserName); F(RecorderPassword); F(UseProxy);
    F(SocksVersion); F(ProxyHost); F(ProxyPort); F(ProxyAuthentication); F(ProxyUserName); F(ProxyPassword);
    F(TextBoxFont); F(TextBoxFontColor); F(TextBoxFontSize); F(BoardGridSize); F(BlockPopups);
    F(BeepOnUserConnect); F(BeepOnUserDisconnect); F(BeepOnNewMessage); F(DonPopUpChatMessages);
    F(FlashOnActions); F(BeepOnUserMotions); F(NoPopUpsOnPostIt); F(ShowMe); F(AppShare_RefreshRate61);
    F(AppShare_CursorRefreshRate); F(AppShare_PixelFormat); F(DefPenWidth); F(DefPenColor);
    F(Room_LeftSplitter); F(Room_MidSplitter); F(SuppressSilence); F(SilenceSuppressionLevel);
    F(StoredMicVolume); F(StoredWavVolume);
#undef F
}

}  // namespace

TEST_F(SettingsTest, EmptyStoreLoadsEveryDefaultAndCreatesTheKey) {
    Settings s = Unusual("/nowhere");
    s.VideoFormatSize = 2;
    s.ShowChatTiming = true;
    s.ChatFontSize = 20;
    s.ConnectionSpeedBytesPerSec = 5;
    s.ConnectionSpeedDefaultUsed = false;
    LoadSettings(s, program);

    Settings d;  // the declared defaults
    d.RecSessionsFolder = program + "Sessions";
    d.RecordOnServer = true;
    ExpectSavedFieldsEqual(s, d);
    EXPECT_EQ(s.VideoFormatSize, 0);
    EXPECT_EQ(s.DefaultVideoCompressor, 0x33564D57);  // "WMV3"
    EXPECT_EQ(s.RecorderUserName, "Session Recorder (Robot)");
    EXPECT_EQ(s.PushToTalkKey, 17);
    EXPECT_EQ(s.StoredMicVolume, -1);
    EXPECT_FALSE(s.ShowChatTiming);
    EXPECT_EQ(s.ChatFontSize, 8);
    EXPECT_EQ(s.ConnectionSpeedBytesPerSec, 131072);
    EXPECT_TRUE(s.ConnectionSpeedDefaultUsed);

    EXPECT_TRUE(reg::Registry::Default().KeyExists(reg::HKEY_CURRENT_USER, kSettingsKey));
    EXPECT_TRUE(fs::is_directory(program + "Sessions"));
    EXPECT_EQ(Key().ReadString("RecSessionsFolder"), program + "Sessions");
}

TEST_F(SettingsTest, OutOfRangeValuesTakeTheirDefaults) {
    reg::Key k = Key();
    const std::pair<const char*, int32_t> stored[] = {
        {"PushToTalkKey", 31},           {"ColorTheme", 6},         {"InputAudioQueueSizeEx", 1},
        {"VideoFormatSize", 2},          {"ConnectionSpeedBytesPerSec", 0}, {"VideoFrameRate", 11},
        {"VideoKFR", 0},                 {"VideoBPS", 65537},       {"VideoBitCount", 25},
        {"DefaultVideoCompressor", 0},   {"DefaultVideoCaptureDriver", -1}, {"AudioOutDeviceID", -2},
        {"ChatFontSize", 6},             {"AppShare_PixelFormat", 300}, {"SilenceSuppressionLevel", -1},
        {"TextBoxFontSize", 0},          {"BoardGridSize", -5},     {"AppShare_RefreshRate61", 0},
        {"DefPenWidth", 0},              {"Room_LeftSplitter", 0},  {"Room_MidSplitter", -1},
    };
    for (const auto& [name, v] : stored) ASSERT_TRUE(k.WriteDWord(name, static_cast<uint32_t>(v)));
    k.WriteString("RecSessionsFolder", (dir.path() / "deleted").string());
    k.WriteString("RecorderUserName", "   ");
    k.WriteString("TextBoxFontColor", "clRed");
    k.WriteString("DefPenColor", "not a colour");

    Settings s;
    LoadSettings(s, program);
    EXPECT_EQ(s.PushToTalkKey, 17);
    EXPECT_EQ(s.ColorTheme, 0);
    EXPECT_EQ(s.InputAudioQueueSizeEx, 3);
    EXPECT_EQ(s.VideoFormatSize, 0);
    EXPECT_EQ(s.ConnectionSpeedBytesPerSec, 131072);
    EXPECT_TRUE(s.ConnectionSpeedDefaultUsed);
    EXPECT_EQ(s.VideoFrameRate, 5);
    EXPECT_EQ(s.VideoKFR, 7);
    EXPECT_EQ(s.VideoBPS, 7168);
    EXPECT_EQ(s.VideoBitCount, 24);
    EXPECT_EQ(s.DefaultVideoCompressor, kDefaultVideoCompressor);
    EXPECT_EQ(s.DefaultVideoCaptureDriver, 0);
    EXPECT_EQ(s.AudioOutDeviceID, 0);
    EXPECT_EQ(s.ChatFontSize, 8);
    EXPECT_EQ(s.AppShare_PixelFormat, 3);
    EXPECT_EQ(s.SilenceSuppressionLevel, 4);
    EXPECT_EQ(s.TextBoxFontSize, 12);
    EXPECT_EQ(s.BoardGridSize, 25);
    EXPECT_EQ(s.AppShare_RefreshRate61, 750);
    EXPECT_EQ(s.DefPenWidth, 3);
    EXPECT_EQ(s.Room_LeftSplitter, 290);
    EXPECT_EQ(s.Room_MidSplitter, 325);
    EXPECT_EQ(s.RecSessionsFolder, program + "Sessions");
    EXPECT_TRUE(fs::is_directory(program + "Sessions"));
    EXPECT_EQ(s.RecorderUserName, "Session Recorder (Robot)");
    EXPECT_EQ(s.TextBoxFontColor, 0x0000FF);
    EXPECT_EQ(s.DefPenColor, 0);

    // The edges of the ranges are kept.
    k.WriteDWord("PushToTalkKey", 0);
    k.WriteDWord("ColorTheme", 5);
    k.WriteDWord("InputAudioQueueSizeEx", 6);
    k.WriteDWord("ConnectionSpeedBytesPerSec", 65536);
    k.WriteDWord("ChatFontSize", 7);
    k.WriteDWord("SilenceSuppressionLevel", 0);
    k.WriteDWord("AppShare_PixelFormat", 255);
    LoadSettings(s, program);
    EXPECT_EQ(s.PushToTalkKey, 0);
    EXPECT_EQ(s.ColorTheme, 5);
    EXPECT_EQ(s.InputAudioQueueSizeEx, 6);
    EXPECT_EQ(s.ConnectionSpeedBytesPerSec, 65536);
    EXPECT_FALSE(s.ConnectionSpeedDefaultUsed);
    EXPECT_EQ(s.ChatFontSize, 7);
    EXPECT_EQ(s.SilenceSuppressionLevel, 0);
    EXPECT_EQ(s.AppShare_PixelFormat, 255);

    // VideoFormatSize is saved as the 0 it was loaded as.
    ASSERT_TRUE(SaveSettings(s));
    EXPECT_EQ(k.ReadDWord("VideoFormatSize"), 0u);
}

TEST_F(SettingsTest, WrongTypedValuesCountAsMissing) {
    reg::Key k = Key();
    k.WriteString("ColorTheme", "3");
    k.WriteString("ShowModeratorTips", "yes");
    k.WriteString("ProxyPort", "8080");
    k.WriteString("SocksVersion", "5");
    k.WriteDWord("ProxyHost", 7);
    k.WriteDWord("TextBoxFont", 1);
    k.WriteString("UseProxy", "1");
    const uint8_t four[4] = {1, 0, 0, 0};
    k.WriteBinary("StoredMicVolume", four);
    k.WriteString("DebugLevel", "9");

    Settings s;
    LoadSettings(s, program);
    EXPECT_EQ(s.ColorTheme, 0);
    EXPECT_FALSE(s.ShowModeratorTips);  // present, but not a boolean: false, not the "absent" true
    EXPECT_EQ(s.ProxyPort, 1080);
    EXPECT_EQ(s.SocksVersion, 0);
    EXPECT_EQ(s.ProxyHost, "");
    EXPECT_EQ(s.TextBoxFont, "Arial");
    EXPECT_FALSE(s.UseProxy);
    EXPECT_EQ(s.StoredMicVolume, -1);
    EXPECT_EQ(ReadDebugLevel(), 0);

    // The typed routines' missing results.
    EXPECT_EQ(RegReadInteger(kSettingsKey, "ProxyHost", true), 7);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "ColorTheme", true), -1);
    EXPECT_EQ(RegReadFloat(kSettingsKey, "ProxyHost", true), -1.0);
    EXPECT_EQ(RegReadFloat(kSettingsKey, "StoredMicVolume", true), -1.0);  // binary, but not 8 bytes
    EXPECT_FALSE(RegReadBool(kSettingsKey, "UseProxy", true));
    EXPECT_EQ(RegReadString(kSettingsKey, "ProxyHost", true), "");
    EXPECT_EQ(RegReadString("Software\\Nothing\\Here", "X", true), "");
    EXPECT_TRUE(reg::Registry::Default().KeyExists(reg::HKEY_CURRENT_USER, "Software\\Nothing\\Here"));
    EXPECT_TRUE(RegValueExists(kSettingsKey, "colortheme", true));
    EXPECT_FALSE(RegValueExists(kSettingsKey, "ColorTheme", false));
    EXPECT_FALSE(RegValueExists("Software\\Missing", "X", true));
}

TEST_F(SettingsTest, TypedWritesByValueType) {
    const char* key = "Software\\Test";
    EXPECT_TRUE(RegWriteVariant(key, "I8", int8_t(-1), true));
    EXPECT_TRUE(RegWriteVariant(key, "U32", uint32_t(4000000000u), true));
    EXPECT_TRUE(RegWriteVariant(key, "U16", uint16_t(65535), true));
    EXPECT_TRUE(RegWriteVariant(key, "F", 1.5f, true));
    EXPECT_TRUE(RegWriteVariant(key, "D", -2.25, true));
    EXPECT_TRUE(RegWriteVariant(key, "B", true, true));
    EXPECT_TRUE(RegWriteVariant(key, "S", std::string("text"), true));
    EXPECT_FALSE(RegWriteVariant(key, "None", std::monostate{}, true));
    EXPECT_TRUE(RegWriteVariant(key, "Machine", int32_t(5), false));

    reg::Key k = reg::OpenKey(reg::HKEY_CURRENT_USER, key);
    EXPECT_EQ(k.TypeOf("I8"), reg::ValueType::DWord);
    EXPECT_EQ(RegReadInteger(key, "I8", true), -1);
    EXPECT_EQ(RegReadInteger(key, "U32", true), static_cast<int32_t>(4000000000u));
    EXPECT_EQ(RegReadInteger(key, "U16", true), 65535);
    EXPECT_EQ(k.TypeOf("F"), reg::ValueType::Binary);
    EXPECT_EQ(RegReadFloat(key, "F", true), 1.5);
    EXPECT_EQ(RegReadFloat(key, "D", true), -2.25);
    const uint8_t d[8] = {0, 0, 0, 0, 0, 0, 0x02, 0xC0};  // -2.25 as a little-endian double
    EXPECT_EQ(k.ReadBinary("D"), std::vector<uint8_t>(d, d + 8));
    EXPECT_EQ(k.ReadDWord("B"), 1u);
    EXPECT_TRUE(RegReadBool(key, "B", true));
    EXPECT_EQ(RegReadString(key, "S", true), "text");
    EXPECT_FALSE(k.ValueExists("None"));
    EXPECT_EQ(RegReadInteger(key, "Machine", false), 5);
    EXPECT_EQ(RegReadInteger(key, "Machine", true), -1);
    EXPECT_EQ(std::get<int32_t>(RegReadVariant(key, "Missing", RegValueKind::Integer, true)), -1);
    EXPECT_EQ(std::get<bool>(RegReadVariant(key, "Missing", RegValueKind::Boolean, true)), false);
}

TEST_F(SettingsTest, SaveWritesTheTableInOrderWithScrambledPasswordsAndColourTexts) {
    Settings s = Unusual((dir.path() / "recs").string());
    fs::create_directories(s.RecSessionsFolder);
    ASSERT_TRUE(SaveSettings(s));
    reg::Key k = Key();
    std::vector<std::string> names = k.ValueNames();
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(names.front(), "ShowModeratorTips");
    EXPECT_EQ(names[14], "RecSessionsFolder");
    EXPECT_EQ(names[18], "RecordOnServer");
    EXPECT_EQ(names[49], "StoredWavVolume");
    EXPECT_EQ(names.back(), "SyntheticVideoCamera");
    EXPECT_EQ(k.ReadDWord("RecordOnServer"), 0u);
    EXPECT_EQ(k.ReadString("TextBoxFontColor"), "clRed");
    EXPECT_EQ(k.ReadString("DefPenColor"), "$00123456");
    auto stored = k.ReadString("RecorderPassword");
    ASSERT_TRUE(stored);
    EXPECT_NE(*stored, "rec pässwörd");
    EXPECT_EQ(UnscrambleText(*stored), "rec pässwörd");
    EXPECT_EQ(ReadFile(reg::Registry::Default().FileOf(reg::HKEY_CURRENT_USER)).find("прокси"), std::string::npos);
}

TEST_F(SettingsTest, RoundTripThroughASecondProcess) {
    Settings saved = Unusual((dir.path() / "recs").string());
    fs::create_directories(saved.RecSessionsFolder);
    ASSERT_TRUE(SaveSettings(saved));
    pid_t pid = ::fork();
    if (pid == 0) {
        // A fresh process view of the same files.
        reg::Registry::Default().Reconfigure(folders);
        Settings loaded;
        LoadSettings(loaded, program);
        Settings expected = Unusual((dir.path() / "recs").string());
        expected.RecordOnServer = true;  // always on after loading
        ExpectSavedFieldsEqual(loaded, expected);
        if (::testing::Test::HasFailure()) ::_exit(1);
        // Change something for the parent to see.
        loaded.ColorTheme = 2;
        loaded.ProxyPassword = "new ✓";
        ::_exit(SaveSettings(loaded) ? 0 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    Settings back;
    LoadSettings(back, program);
    EXPECT_EQ(back.ColorTheme, 2);
    EXPECT_EQ(back.ProxyPassword, "new ✓");
    EXPECT_EQ(back.ProxyHost, "proxy.example");
}

TEST_F(SettingsTest, KilledSaveLosesNoEarlierSettings) {
    Settings first = Unusual((dir.path() / "recs").string());
    fs::create_directories(first.RecSessionsFolder);
    ASSERT_TRUE(SaveSettings(first));
    pid_t pid = ::fork();
    if (pid == 0) {
        reg::Registry::Default().Reconfigure(folders);
        reg::test_hooks::SetBeforeRenameHook([] { ::raise(SIGKILL); });
        Settings changed = first;
        changed.ColorTheme = 1;
        changed.ProxyHost = "half written";
        SaveSettings(changed);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    reg::Registry::Default().Reconfigure(folders);
    Settings back;
    LoadSettings(back, program);
    first.RecordOnServer = true;
    ExpectSavedFieldsEqual(back, first);
}

TEST_F(SettingsTest, SignInAndStartValues) {
    SignInSettings in{"room.example", 9910, true, 42, "Zoë", "p@ss word"};
    ASSERT_TRUE(SaveSignInSettings(in));
    SignInSettings out = ReadSignInSettings();
    EXPECT_EQ(out.ServerIP, "room.example");
    EXPECT_EQ(out.ServerPort, 9910);
    EXPECT_TRUE(out.RememberMe);
    EXPECT_EQ(out.UserID, 42);
    EXPECT_EQ(out.UserName, "Zoë");
    EXPECT_EQ(out.Password, "p@ss word");
    EXPECT_NE(Key().ReadString("Password"), "p@ss word");

    in.RememberMe = false;
    ASSERT_TRUE(SaveSignInSettings(in));
    out = ReadSignInSettings();
    EXPECT_EQ(out.ServerIP, "room.example");
    EXPECT_EQ(out.UserID, 0);
    EXPECT_EQ(out.UserName, "");
    EXPECT_EQ(out.Password, "");

    EXPECT_EQ(ReadDebugLevel(), 0);
    Key().WriteDWord("DebugLevel", 3);
    EXPECT_EQ(ReadDebugLevel(), 3);
    WriteVersionValues("/opt/orbelo/orbelo");
    EXPECT_EQ(Key().ReadString("Version"), "6.2");
    EXPECT_EQ(Key().ReadString("VersionDate"), "Mar-01-2009");
    EXPECT_EQ(Key().ReadString("InstallPath"), "/opt/orbelo/orbelo");
    Key().WriteString("HelpURL", "http://help.example/");
    EXPECT_EQ(ReadHelpURL(), "http://help.example/");

    // Without the browser's key nothing is written, and the key is not made.
    const char* ie = "Software\\Microsoft\\Internet Explorer\\Main";
    SetScriptDebuggerDisabled("yes");
    EXPECT_FALSE(reg::Registry::Default().KeyExists(reg::HKEY_CURRENT_USER, ie));
    reg::CreateKey(reg::HKEY_CURRENT_USER, ie);
    SetScriptDebuggerDisabled("yes");
    EXPECT_EQ(reg::OpenKey(reg::HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main")
                  .ReadString("Disable Script Debugger"),
              "yes");
}

TEST(ColourText, NamesAndNumbers) {
    EXPECT_EQ(ColorToString(0), "clBlack");
    EXPECT_EQ(ColorToString(0xFF), "clRed");
    EXPECT_EQ(ColorToString(0xFFFFFF), "clWhite");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_EQ(ColorToString(-1), "$FFFFFFFF");
    EXPECT_EQ(StringToColor("clred"), 0xFF);
    EXPECT_EQ(StringToColor(" clSkyBlue "), 0xF0CAA6);
    EXPECT_EQ(StringToColor("$00123456"), 0x123456);
    EXPECT_EQ(StringToColor("0xFF"), 0xFF);
    EXPECT_EQ(StringToColor("255"), 255);
    EXPECT_EQ(StringToColor("-16777201"), -16777201);
    EXPECT_EQ(StringToColor("$FFFFFFFF"), -1);
    EXPECT_FALSE(StringToColor(""));
    EXPECT_FALSE(StringToColor("red"));
    EXPECT_FALSE(StringToColor("$1FFFFFFFF"));
    EXPECT_FALSE(StringToColor("12abc"));
    for (int32_t c : {0, 0x80, 0xC0DCC0, 0x1FFFFFFF, 0x00ABCDEF, -5}) EXPECT_EQ(StringToColor(ColorToString(c)), c);
}

TEST(ListExport, LinesBackupAndFailures) {
    TempDir dir;
    std::string file = (dir.path() / "results.rtf").string();
    std::vector<std::vector<std::string>> rows = {{"Yes", "3"}, {"Not sure", "1, maybe"}, {"", "0"}};
    ASSERT_TRUE(SaveListViewToFile(file, rows, "Question?", "Total: 4"));
    EXPECT_EQ(ReadFile(file), "Question?\n\nYes,3\n Not  sure , 1,  maybe \n,0\n\nTotal: 4\n");

    ASSERT_TRUE(SaveListViewToFile(file, {{"second"}}, "H2", "F2"));
    EXPECT_EQ(ReadFile(dir.path() / "results.bak"), "Question?\n\nYes,3\n Not  sure , 1,  maybe \n,0\n\nTotal: 4\n");
    ASSERT_TRUE(SaveListViewToFile(file, {{"third"}}, "H3", "F3"));
    EXPECT_EQ(ReadFile(dir.path() / "results.bak"), "H2\n\nsecond\n\nF2\n");
    EXPECT_EQ(ReadFile(file), "H3\n\nthird\n\nF3\n");

    EXPECT_FALSE(SaveListViewToFile((dir.path() / "missing" / "x.rtf").string(), rows, "h", "f"));
}
