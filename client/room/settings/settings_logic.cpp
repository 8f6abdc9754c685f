#include "settings_logic.h"

#include <cerrno>
#include <cstdlib>

#include "registry/registry.h"
#include "util/text_util.h"

namespace orb::prefs {

int PushToTalkIndex(int key) {
    for (int i = 0; i < 4; ++i)
        if (kPushToTalkKeys[i] == key) return i;
    return -1;
}

int PushToTalkKeyOf(int index, int keep) { return index >= 0 && index < 4 ? kPushToTalkKeys[index] : keep; }

int RefreshIndex(int rate) {
    for (int i = 0; i < 3; ++i)
        if (kRefreshRates[i] == rate) return i;
    return -1;
}

int RefreshRateOf(int index, int keep) { return index >= 0 && index < 3 ? kRefreshRates[index] : keep; }

std::optional<int> ParseNumber(const std::string& text) {
    const std::string t(Trim(text));
    if (t.empty() || t.size() > 9) return std::nullopt;
    for (size_t i = 0; i < t.size(); ++i)
        if (!(t[i] >= '0' && t[i] <= '9') && !(i == 0 && t[i] == '-' && t.size() > 1)) return std::nullopt;
    return int(std::strtol(t.c_str(), nullptr, 10));
}

TSettingsForm FormFromSettings(const Settings& s) {
    TSettingsForm f;
    // A proxy is in use only with a version; a stored version outside the list shows "no proxy".
    f.proxyVersion = s.UseProxy && s.SocksVersion >= 1 && s.SocksVersion <= 4 ? s.SocksVersion : 0;
    f.proxyHost = s.ProxyHost;
    f.proxyPort = std::to_string(s.ProxyPort);
    f.proxyAuthentication = s.ProxyAuthentication;
    f.proxyUserName = s.ProxyUserName;
    f.proxyPassword = s.ProxyPassword;
    f.pushToTalk = PushToTalkIndex(s.PushToTalkKey);
    f.bufferSize = s.InputAudioQueueSizeEx;
    f.muteSpeakers = s.MuteSpeakersWhileTalking;
    f.suppressSilence = s.SuppressSilence;
    f.threshold = s.SilenceSuppressionLevel;
    f.rollOutNotes = !s.NoPopUpsOnPostIt;
    f.rollOutChat = !s.DonPopUpChatMessages;
    f.blockPopups = s.BlockPopups;
    f.showMe = s.ShowMe;
    f.beepOnConnect = s.BeepOnUserConnect;
    f.beepOnDisconnect = s.BeepOnUserDisconnect;
    f.beepOnMessage = s.BeepOnNewMessage;
    f.beepOnMotion = s.BeepOnUserMotions;
    f.showModeratorTips = s.ShowModeratorTips;
    f.flashWindow = s.FlashOnActions;
    f.recorderUserName = s.RecorderUserName;
    f.gridSize = std::to_string(s.BoardGridSize);
    f.textBoxFont = s.TextBoxFont;
    f.textBoxFontSize = std::to_string(s.TextBoxFontSize);
    f.textBoxFontColor = uint32_t(s.TextBoxFontColor);
    f.refresh = RefreshIndex(s.VideoFrameRate);
    f.formatSize = s.VideoFormatSize >= 0 && s.VideoFormatSize <= 3 ? s.VideoFormatSize : 0;
    return f;
}

std::optional<TFormProblem> ValidateForm(const TSettingsForm& f) {
    if (f.proxyVersion > 0) {
        if (Trim(f.proxyHost).empty())
            return TFormProblem{tsConnection, "eProxyHost", "Please enter the address of the proxy server."};
        const auto port = ParseNumber(f.proxyPort);
        if (!port || *port < 1 || *port > 65535)
            return TFormProblem{tsConnection, "eProxyPort", "Please enter a proxy port number from 1 to 65535."};
    }
    const auto grid = ParseNumber(f.gridSize);
    if (!grid || *grid < kMinGrid || *grid > kMaxGrid)
        return TFormProblem{tsWhiteboard, "eGridSize", "Please enter a grid size from 5 to 50."};
    if (Trim(f.textBoxFont).empty())
        return TFormProblem{tsWhiteboard, "cbTextBoxFont", "Please choose a font for the text boxes."};
    const auto size = ParseNumber(f.textBoxFontSize);
    if (!size || *size < kMinFontSize || *size > kMaxFontSize)
        return TFormProblem{tsWhiteboard, "eTextBoxFontSize", "Please enter a font size from 6 to 100."};
    return std::nullopt;
}

void ApplyForm(const TSettingsForm& f, Settings& s) {
    s.InputAudioQueueSizeEx = f.bufferSize < kMinBuffer ? kMinBuffer : f.bufferSize > kMaxBuffer ? kMaxBuffer : f.bufferSize;
    s.PushToTalkKey = PushToTalkKeyOf(f.pushToTalk, s.PushToTalkKey);
    s.MuteSpeakersWhileTalking = f.muteSpeakers;

    s.UseProxy = f.proxyVersion > 0;
    s.SocksVersion = f.proxyVersion;
    s.ProxyHost = std::string(Trim(f.proxyHost));
    // Without a proxy the port box is unused: a number there is kept, anything else is ignored.
    if (const auto port = ParseNumber(f.proxyPort); port && *port >= 1 && *port <= 65535) s.ProxyPort = *port;
    s.ProxyAuthentication = f.proxyAuthentication;
    s.ProxyUserName = f.proxyUserName;
    s.ProxyPassword = f.proxyPassword;

    // A blank name is the default recorder's, at once and not only after the next start.
    s.RecorderUserName = Trim(f.recorderUserName).empty() ? std::string(kDefaultRecorderUserName) : f.recorderUserName;

    s.BoardGridSize = ParseNumber(f.gridSize).value_or(s.BoardGridSize);
    s.TextBoxFont = std::string(Trim(f.textBoxFont));
    s.TextBoxFontSize = ParseNumber(f.textBoxFontSize).value_or(s.TextBoxFontSize);
    s.TextBoxFontColor = int32_t(f.textBoxFontColor);

    s.NoPopUpsOnPostIt = !f.rollOutNotes;
    s.DonPopUpChatMessages = !f.rollOutChat;
    s.BlockPopups = f.blockPopups;
    s.BeepOnUserConnect = f.beepOnConnect;
    s.BeepOnUserDisconnect = f.beepOnDisconnect;
    s.BeepOnNewMessage = f.beepOnMessage;
    s.BeepOnUserMotions = f.beepOnMotion;
    s.FlashOnActions = f.flashWindow;
    s.ShowMe = f.showMe;
    s.ShowModeratorTips = f.showModeratorTips;

    s.SilenceSuppressionLevel = f.threshold;
    s.SuppressSilence = f.suppressSilence;
    s.VideoFrameRate = RefreshRateOf(f.refresh, s.VideoFrameRate);
    s.VideoFormatSize = f.formatSize >= 0 && f.formatSize <= 3 ? f.formatSize : 0;
}

bool PageSelectable(TSettingsPage page, const TRoomFacts& f) {
    if (page == tsConnection) return true;
    if (!f.inRoom) return false;
    return page != tsVoice || RoomVoiceStepsAllowed(f);
}

bool RoomVoiceStepsAllowed(const TRoomFacts& f) {
    return f.inRoom && f.connected && !f.playback && f.moderator && f.voiceRunning;
}

bool AudioReconnectAllowed(const TRoomFacts& f) { return f.inRoom && f.connected && !f.playback; }

std::string BufferHint(int value) { return "Max " + std::to_string(value / 2) + " s."; }

std::vector<std::string> GetStoredPollNames() {
    reg::Key key = reg::CreateKey(reg::HKEY_CURRENT_USER, kStoredPollsKey);
    return key ? key.SubKeyNames() : std::vector<std::string>{};
}

bool DeleteStoredPoll(const std::string& name) {
    // A name is one subkey: an empty one or one with a separator would reach other keys.
    if (name.empty() || name.find('\\') != std::string::npos) return false;
    reg::Key key = reg::OpenKey(reg::HKEY_CURRENT_USER, kStoredPollsKey);
    if (!key || !key.OpenSubKey(name)) return true;
    return key.DeleteSubKey(name);
}

}  // namespace orb::prefs
