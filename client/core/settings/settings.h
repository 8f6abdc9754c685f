#pragma once
// The client's settings: one registry key per user, loaded once when the data module is created
// (defaults applied wherever a value is missing or out of range) and saved once when it ends.

#include <cstdint>
#include <string>
#include <vector>

namespace orb {

// Under HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKey = "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6\\Browser";
inline constexpr const char* kProductVersion = "6.2";
inline constexpr const char* kProductVersionDate = "Mar-01-2009";
inline constexpr const char* kDefaultRecorderUserName = "Session Recorder (Robot)";
inline constexpr int32_t kDefaultConnectionSpeed = 131072;
// "WMV3" as a little-endian four-character code.
inline constexpr int32_t kDefaultVideoCompressor = 'W' | ('M' << 8) | ('V' << 16) | ('3' << 24);

// Every value of the key, as loaded by LoadSettings and saved by SaveSettings (the first group), or
// loaded here and saved by their own commands (the second group).
struct Settings {
    bool ShowModeratorTips = true;
    int32_t ColorTheme = 0;
    bool MuteSpeakersWhileTalking = false;
    int32_t InputAudioQueueSizeEx = 3;
    int32_t PushToTalkKey = 17;
    int32_t AudioOutDeviceID = 0;
    int32_t AudioInDeviceID = 0;
    int32_t DefaultVideoCaptureDriver = 0;
    bool SyntheticVideoCamera = false;  // the test picture instead of a camera, only by the user's choice
    int32_t DefaultVideoCompressor = kDefaultVideoCompressor;
    int32_t VideoFrameRate = 5;
    int32_t VideoFormatSize = 0;
    int32_t VideoKFR = 7;
    int32_t VideoBPS = 7168;
    int32_t VideoBitCount = 24;
    std::string RecSessionsFolder;
    std::string InvitationURL;
    std::string RecorderUserName = kDefaultRecorderUserName;
    std::string RecorderPassword;  // plain; stored scrambled
    bool RecordOnServer = true;
    bool UseProxy = false;
    int32_t SocksVersion = 0;
    std::string ProxyHost;
    int32_t ProxyPort = 1080;
    bool ProxyAuthentication = false;
    std::string ProxyUserName;
    std::string ProxyPassword;  // plain; stored scrambled
    std::string TextBoxFont = "Arial";
    int32_t TextBoxFontColor = 0;  // 0x00BBGGRR; stored as colour text
    int32_t TextBoxFontSize = 12;
    int32_t BoardGridSize = 25;
    bool BlockPopups = false;
    bool BeepOnUserConnect = false;
    bool BeepOnUserDisconnect = false;
    bool BeepOnNewMessage = false;
    bool DonPopUpChatMessages = false;
    bool FlashOnActions = false;
    bool BeepOnUserMotions = false;
    bool NoPopUpsOnPostIt = false;
    bool ShowMe = false;
    int32_t AppShare_RefreshRate61 = 750;
    int32_t AppShare_CursorRefreshRate = 350;
    uint8_t AppShare_PixelFormat = 3;
    int32_t DefPenWidth = 3;
    int32_t DefPenColor = 0;  // 0x00BBGGRR; stored as colour text
    int32_t Room_LeftSplitter = 290;
    int32_t Room_MidSplitter = 325;
    bool SuppressSilence = false;
    int32_t SilenceSuppressionLevel = 4;
    int32_t StoredMicVolume = -1;
    int32_t StoredWavVolume = -1;

    // Loaded here, saved by the "Show Timing", chat font size and connection-speed commands.
    bool ShowChatTiming = false;
    int32_t ChatFontSize = 8;
    // The speed to apply through the data module's bandwidth setter (without sending it), and
    // whether it is the default because none was stored.
    int32_t ConnectionSpeedBytesPerSec = kDefaultConnectionSpeed;
    bool ConnectionSpeedDefaultUsed = true;
};

// Loads every setting with its default and range rule. `programFolder` ends with "/"; a
// RecSessionsFolder that is empty or not an existing folder becomes programFolder + "Sessions",
// which is written back at once and created.
void LoadSettings(Settings& s, const std::string& programFolder);
// Saves the first group in its order, passwords scrambled and colours as colour text; one write of
// the settings file. False when it could not be written.
bool SaveSettings(const Settings& s);

// The DebugLevel value; 0 when it cannot be read.
int32_t ReadDebugLevel();
// Version, VersionDate and InstallPath (the executable's full path), written at start.
void WriteVersionValues(const std::string& executablePath);

// The sign-in values: written at sign-in, read by the login dialog.
struct SignInSettings {
    std::string ServerIP;
    int32_t ServerPort = -1;  // -1 when missing
    bool RememberMe = false;
    int32_t UserID = -1;
    std::string UserName;
    std::string Password;  // plain; stored scrambled
};
SignInSettings ReadSignInSettings();
// With RememberMe off, the user id is stored as 0 and the user name and password as empty.
bool SaveSignInSettings(const SignInSettings& s);
std::string ReadHelpURL();

// A scrambled string value of the settings key, read back as plain text ("" when missing), and
// written scrambled.
std::string ReadScrambledSetting(const char* name);
bool WriteScrambledSetting(const char* name, const std::string& plain);

// Writes a text file: header, an empty line, one line per row (the cells joined with "," and
// quoted with blanks where needed), an empty line, footer. An existing file is first moved to the
// same name with the extension ".bak" (an older ".bak" is replaced). False on any failure.
bool SaveListViewToFile(const std::string& file, const std::vector<std::vector<std::string>>& rows,
                        const std::string& header, const std::string& footer);

}  // namespace orb
