#include "settings/settings.h"

#include <filesystem>
#include <fstream>

#include "registry/registry.h"
#include "settings/colour_text.h"
#include "settings/reg_helpers.h"
#include "util/scramble.h"
#include "util/text_util.h"

namespace fs = std::filesystem;

namespace orb {

namespace {

constexpr bool kCU = true;

int32_t Int(const char* name) { return RegReadInteger(kSettingsKey, name, kCU); }
bool Bool(const char* name) { return RegReadBool(kSettingsKey, name, kCU); }
std::string Str(const char* name) { return RegReadString(kSettingsKey, name, kCU); }

// The stored integer, or `fallback` when the value is missing or not an integer.
int32_t IntOr(const char* name, int32_t fallback) {
    return RegValueReadable(kSettingsKey, name, RegValueKind::Integer, kCU) ? Int(name) : fallback;
}

int32_t InRange(int32_t v, int32_t lo, int32_t hi, int32_t fallback) { return (v < lo || v > hi) ? fallback : v; }
int32_t AtLeast(int32_t v, int32_t lo, int32_t fallback) { return v < lo ? fallback : v; }

int32_t Colour(const char* name) {
    std::string text = Str(name);
    // Empty (or not a colour at all): black.
    return StringToColor(text).value_or(0);
}

bool W(const char* name, const RegVariant& v) { return RegWriteVariant(kSettingsKey, name, v, kCU); }

std::string ChangeExtension(const std::string& file, const std::string& ext) {
    fs::path p(file);
    p.replace_extension(ext);
    return p.string();
}

// One row as delimited text: "," between cells; a cell holding a blank, a control character or a
// comma is enclosed in blanks with its own blanks doubled.
std::string DelimitedRow(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::string& c = cells[i];
        bool quote = false;
        for (char ch : c)
            if ((static_cast<unsigned char>(ch) >= 1 && static_cast<unsigned char>(ch) <= ' ') || ch == ',') quote = true;
        if (i) out += ',';
        if (!quote) {
            out += c;
            continue;
        }
        out += ' ';
        for (char ch : c) {
            out += ch;
            if (ch == ' ') out += ' ';
        }
        out += ' ';
    }
    return out;
}

}  // namespace

void LoadSettings(Settings& s, const std::string& programFolder) {
    s.ShowModeratorTips = RegValueExists(kSettingsKey, "ShowModeratorTips", kCU) ? Bool("ShowModeratorTips") : true;
    s.ColorTheme = InRange(Int("ColorTheme"), 0, 5, 0);
    s.MuteSpeakersWhileTalking = Bool("MuteSpeakersWhileTalking");
    s.InputAudioQueueSizeEx = InRange(Int("InputAudioQueueSizeEx"), 2, 6, 3);
    s.PushToTalkKey = InRange(Int("PushToTalkKey"), 0, 30, 17);
    s.AudioOutDeviceID = AtLeast(Int("AudioOutDeviceID"), 0, 0);
    s.AudioInDeviceID = AtLeast(Int("AudioInDeviceID"), 0, 0);
    s.DefaultVideoCaptureDriver = InRange(Int("DefaultVideoCaptureDriver"), 0, 9, 0);
    s.SyntheticVideoCamera = Bool("SyntheticVideoCamera");
    s.DefaultVideoCompressor = AtLeast(Int("DefaultVideoCompressor"), 1, kDefaultVideoCompressor);
    s.VideoFrameRate = InRange(Int("VideoFrameRate"), 1, 10, 5);
    s.VideoFormatSize = 0;
    s.VideoKFR = InRange(Int("VideoKFR"), 1, 30, 7);
    s.VideoBPS = InRange(Int("VideoBPS"), 0, 65536, 7168);
    s.VideoBitCount = InRange(Int("VideoBitCount"), 1, 24, 24);

    s.RecSessionsFolder = Str("RecSessionsFolder");
    std::error_code ec;
    if (s.RecSessionsFolder.empty() || !fs::is_directory(s.RecSessionsFolder, ec)) {
        s.RecSessionsFolder = programFolder + "Sessions";
        W("RecSessionsFolder", s.RecSessionsFolder);
        fs::create_directories(s.RecSessionsFolder, ec);
    }
    s.InvitationURL = Str("InvitationURL");
    s.RecorderUserName = Str("RecorderUserName");
    if (Trim(s.RecorderUserName).empty()) s.RecorderUserName = kDefaultRecorderUserName;
    s.RecorderPassword = ReadScrambledSetting("RecorderPassword");
    s.RecordOnServer = true;
    s.UseProxy = Bool("UseProxy");
    s.SocksVersion = IntOr("SocksVersion", 0);
    s.ProxyHost = Str("ProxyHost");
    s.ProxyPort = IntOr("ProxyPort", 1080);
    s.ProxyAuthentication = Bool("ProxyAuthentication");
    s.ProxyUserName = Str("ProxyUserName");
    s.ProxyPassword = ReadScrambledSetting("ProxyPassword");
    s.TextBoxFont = Str("TextBoxFont");
    if (s.TextBoxFont.empty()) s.TextBoxFont = "Arial";
    s.TextBoxFontColor = Colour("TextBoxFontColor");
    s.TextBoxFontSize = AtLeast(Int("TextBoxFontSize"), 1, 12);
    s.BoardGridSize = AtLeast(Int("BoardGridSize"), 1, 25);
    s.BlockPopups = Bool("BlockPopups");
    s.BeepOnUserConnect = Bool("BeepOnUserConnect");
    s.BeepOnUserDisconnect = Bool("BeepOnUserDisconnect");
    s.BeepOnNewMessage = Bool("BeepOnNewMessage");
    s.DonPopUpChatMessages = Bool("DonPopUpChatMessages");
    s.FlashOnActions = Bool("FlashOnActions");
    s.BeepOnUserMotions = Bool("BeepOnUserMotions");
    s.NoPopUpsOnPostIt = Bool("NoPopUpsOnPostIt");
    s.ShowMe = Bool("ShowMe");
    s.AppShare_RefreshRate61 = AtLeast(Int("AppShare_RefreshRate61"), 1, 750);
    s.AppShare_CursorRefreshRate = AtLeast(Int("AppShare_CursorRefreshRate"), 1, 350);
    // Held as a byte: a value that does not fit one takes the default instead of wrapping.
    s.AppShare_PixelFormat = static_cast<uint8_t>(InRange(Int("AppShare_PixelFormat"), 1, 255, 3));
    s.DefPenWidth = AtLeast(Int("DefPenWidth"), 1, 3);
    s.DefPenColor = Colour("DefPenColor");
    s.Room_LeftSplitter = AtLeast(Int("Room_LeftSplitter"), 1, 290);
    s.Room_MidSplitter = AtLeast(Int("Room_MidSplitter"), 1, 325);
    s.SuppressSilence = Bool("SuppressSilence");
    s.SilenceSuppressionLevel = AtLeast(Int("SilenceSuppressionLevel"), 0, 4);
    s.StoredMicVolume = Int("StoredMicVolume");
    s.StoredWavVolume = Int("StoredWavVolume");

    s.ShowChatTiming = Bool("ShowChatTiming");
    s.ChatFontSize = AtLeast(Int("ChatFontSize"), 7, 8);
    int32_t speed = Int("ConnectionSpeedBytesPerSec");
    s.ConnectionSpeedDefaultUsed = speed <= 0;
    s.ConnectionSpeedBytesPerSec = speed > 0 ? speed : kDefaultConnectionSpeed;
}

bool SaveSettings(const Settings& s) {
    reg::Registry& r = reg::Registry::Default();
    reg::Registry::Batch batch(r, reg::HKEY_CURRENT_USER);
    bool ok = true;
    auto w = [&](const char* name, const RegVariant& v) { ok = W(name, v) && ok; };
    w("ShowModeratorTips", s.ShowModeratorTips);
    w("ColorTheme", s.ColorTheme);
    w("MuteSpeakersWhileTalking", s.MuteSpeakersWhileTalking);
    w("InputAudioQueueSizeEx", s.InputAudioQueueSizeEx);
    w("PushToTalkKey", s.PushToTalkKey);
    w("AudioOutDeviceID", s.AudioOutDeviceID);
    w("AudioInDeviceID", s.AudioInDeviceID);
    w("DefaultVideoCaptureDriver", s.DefaultVideoCaptureDriver);
    w("DefaultVideoCompressor", s.DefaultVideoCompressor);
    w("VideoFrameRate", s.VideoFrameRate);
    w("VideoFormatSize", s.VideoFormatSize);
    w("VideoKFR", s.VideoKFR);
    w("VideoBPS", s.VideoBPS);
    w("VideoBitCount", s.VideoBitCount);
    w("RecSessionsFolder", s.RecSessionsFolder);
    w("InvitationURL", s.InvitationURL);
    w("RecorderUserName", s.RecorderUserName);
    w("RecorderPassword", ScrambleText(s.RecorderPassword));
    w("RecordOnServer", s.RecordOnServer);
    w("UseProxy", s.UseProxy);
    w("SocksVersion", s.SocksVersion);
    w("ProxyHost", s.ProxyHost);
    w("ProxyPort", s.ProxyPort);
    w("ProxyAuthentication", s.ProxyAuthentication);
    w("ProxyUserName", s.ProxyUserName);
    w("ProxyPassword", ScrambleText(s.ProxyPassword));
    w("TextBoxFont", s.TextBoxFont);
    w("TextBoxFontColor", ColorToString(s.TextBoxFontColor));
    w("TextBoxFontSize", s.TextBoxFontSize);
    w("BoardGridSize", s.BoardGridSize);
    w("BlockPopups", s.BlockPopups);
    w("BeepOnUserConnect", s.BeepOnUserConnect);
    w("BeepOnUserDisconnect", s.BeepOnUserDisconnect);
    w("BeepOnNewMessage", s.BeepOnNewMessage);
    w("DonPopUpChatMessages", s.DonPopUpChatMessages);
    w("FlashOnActions", s.FlashOnActions);
    w("BeepOnUserMotions", s.BeepOnUserMotions);
    w("NoPopUpsOnPostIt", s.NoPopUpsOnPostIt);
    w("ShowMe", s.ShowMe);
    w("AppShare_RefreshRate61", s.AppShare_RefreshRate61);
    w("AppShare_CursorRefreshRate", s.AppShare_CursorRefreshRate);
    w("AppShare_PixelFormat", static_cast<int32_t>(s.AppShare_PixelFormat));
    w("DefPenWidth", s.DefPenWidth);
    w("DefPenColor", ColorToString(s.DefPenColor));
    w("Room_LeftSplitter", s.Room_LeftSplitter);
    w("Room_MidSplitter", s.Room_MidSplitter);
    w("SuppressSilence", s.SuppressSilence);
    w("SilenceSuppressionLevel", s.SilenceSuppressionLevel);
    w("StoredMicVolume", s.StoredMicVolume);
    w("StoredWavVolume", s.StoredWavVolume);
    // Ours, after the table: the test picture instead of a camera.
    w("SyntheticVideoCamera", s.SyntheticVideoCamera);
    return batch.Commit() && ok;
}

int32_t ReadDebugLevel() { return IntOr("DebugLevel", 0); }

void WriteVersionValues(const std::string& executablePath) {
    W("Version", std::string(kProductVersion));
    W("VersionDate", std::string(kProductVersionDate));
    W("InstallPath", executablePath);
}

SignInSettings ReadSignInSettings() {
    SignInSettings s;
    s.ServerIP = Str("ServerIP");
    s.ServerPort = Int("ServerPort");
    s.RememberMe = Bool("RememberMe");
    s.UserID = Int("UserID");
    s.UserName = Str("UserName");
    s.Password = ReadScrambledSetting("Password");
    return s;
}

bool SaveSignInSettings(const SignInSettings& s) {
    reg::Registry::Batch batch(reg::Registry::Default(), reg::HKEY_CURRENT_USER);
    bool ok = W("ServerIP", s.ServerIP);
    ok = W("ServerPort", s.ServerPort) && ok;
    ok = W("RememberMe", s.RememberMe) && ok;
    ok = W("UserID", s.RememberMe ? s.UserID : 0) && ok;
    ok = W("UserName", s.RememberMe ? s.UserName : std::string()) && ok;
    ok = WriteScrambledSetting("Password", s.RememberMe ? s.Password : std::string()) && ok;
    return batch.Commit() && ok;
}

std::string ReadHelpURL() { return Str("HelpURL"); }

std::string ReadScrambledSetting(const char* name) { return UnscrambleText(Str(name)); }

bool WriteScrambledSetting(const char* name, const std::string& plain) { return W(name, ScrambleText(plain)); }

bool SaveListViewToFile(const std::string& file, const std::vector<std::vector<std::string>>& rows,
                        const std::string& header, const std::string& footer) {
    try {
        std::error_code ec;
        if (fs::exists(file, ec)) {
            std::string bak = ChangeExtension(file, ".bak");
            if (bak == file) return false;
            fs::remove(bak, ec);
            fs::rename(file, bak, ec);
            if (ec) return false;
        }
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << header << "\n\n";
        for (const auto& row : rows) out << DelimitedRow(row) << "\n";
        out << "\n" << footer << "\n";
        out.flush();
        return static_cast<bool>(out);
    } catch (...) {
        return false;
    }
}

}  // namespace orb
