#pragma once
// The settings dialog's decisions without widgets: which value each control shows for a setting,
// what OK writes back, what OK refuses, which steps may act on the room, and the stored-poll names
// the polls page lists and deletes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace orb::prefs {

// The pages, in the order of the tree and the stacked pages.
enum TSettingsPage : int {
    tsConnection = 0,
    tsAudio,
    tsVoice,
    tsSilenceSuppression,
    tsSounds,
    tsRecorder,
    tsWhiteboard,
    tsVideo,
    tsPolls,
    kSettingsPageCount
};

// Push-to-talk items "<Disabled>", "Ctrl", "Shift", "Esc" and their virtual keys.
inline constexpr int kPushToTalkKeys[] = {0, 17, 16, 27};
// -1 for a key none of the items names.
int PushToTalkIndex(int key);
// The key of an item; `keep` for no item.
int PushToTalkKeyOf(int index, int keep);

// Refresh items "Slower", "Faster (Default)", "Fastest" and their frame rates.
inline constexpr int kRefreshRates[] = {2, 5, 10};
int RefreshIndex(int rate);  // -1: other rates leave the group unchecked
int RefreshRateOf(int index, int keep);

inline constexpr const char* kFormatSizes[] = {"160x120", "176x144", "320x240", "352x288"};

// Ranges the pages accept.
inline constexpr int kMinBuffer = 2, kMaxBuffer = 6;
inline constexpr int kMinThreshold = 1, kMaxThreshold = 20;
inline constexpr int kMinGrid = 5, kMaxGrid = 50;
inline constexpr int kMinFontSize = 6, kMaxFontSize = 100;

// Every control's value as plain data. Numbers typed by the user stay text until OK checks them.
struct TSettingsForm {
    // tsConnection
    int proxyVersion = 0;  // 0 direct, 1 SOCKS4, 2 SOCKS4A, 3 SOCKS5, 4 HTTPS
    std::string proxyHost;
    std::string proxyPort;
    bool proxyAuthentication = false;
    std::string proxyUserName;
    std::string proxyPassword;
    // tsAudio
    int pushToTalk = 1;  // item index, -1 none
    int bufferSize = 3;
    bool muteSpeakers = false;
    // tsSilenceSuppression
    bool suppressSilence = false;
    int threshold = 4;
    // tsSounds (the first two are the settings' opposites)
    bool rollOutNotes = true;
    bool rollOutChat = true;
    bool blockPopups = false;
    bool showMe = false;
    bool beepOnConnect = false;
    bool beepOnDisconnect = false;
    bool beepOnMessage = false;
    bool beepOnMotion = false;
    bool showModeratorTips = true;
    bool flashWindow = false;
    // tsRecorder
    std::string recorderUserName;
    // tsWhiteboard
    std::string gridSize;
    std::string textBoxFont;
    std::string textBoxFontSize;
    uint32_t textBoxFontColor = 0;
    // tsVideo
    int refresh = 1;  // item index, -1 none
    int formatSize = 0;
};

// What the controls show for the settings (devices, talkers, codec and capture driver are lists
// filled from the machine and the room; the dialog selects them itself).
TSettingsForm FormFromSettings(const Settings& s);

struct TFormProblem {
    TSettingsPage page = tsConnection;
    std::string control;  // the object name of the control to focus
    std::string message;
};
// The first value OK cannot store, in page order; none when everything can be written.
std::optional<TFormProblem> ValidateForm(const TSettingsForm& f);

// Writes the form into the settings (call only after ValidateForm found nothing). Values a control
// does not name (no push-to-talk item, no refresh item, a port left unused without a proxy) keep
// their settings.
void ApplyForm(const TSettingsForm& f, Settings& s);

// A whole number in the text (blanks around allowed); none for anything else or an overflow.
std::optional<int> ParseNumber(const std::string& text);

// What the room steps depend on.
struct TRoomFacts {
    bool inRoom = false;        // the room entry succeeded
    bool connected = false;     // the room connection is up
    bool playback = false;      // a recording is replayed
    bool moderator = false;     // level 1 or level 3 is 1000 or more
    bool voiceRunning = false;  // a voice connection exists
};
// Pages other than the connection page open only after room entry.
bool PageSelectable(TSettingsPage page, const TRoomFacts& f);
// Talkers and codec are the room's: only a moderator in a live room with voice changes them.
bool RoomVoiceStepsAllowed(const TRoomFacts& f);
// Rebuilding the own voice connection needs a live room.
bool AudioReconnectAllowed(const TRoomFacts& f);

// The buffer slider's hint, "Max " + (value div 2) + " s.".
std::string BufferHint(int value);

// Stored polls: one subkey per poll question under the settings key's StoredPolls subkey.
inline constexpr const char* kStoredPollsKey = "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6\\Browser\\StoredPolls";
// The subkey names (the key is created when missing).
std::vector<std::string> GetStoredPollNames();
// Deletes the poll's subkey when it exists; false when it could not be deleted.
bool DeleteStoredPoll(const std::string& name);

}  // namespace orb::prefs
