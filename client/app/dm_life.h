#pragma once
// Creation and destruction of the data module: debug level, version values, program folders,
// playback switch, settings, shell registration, keyboard hook and version file at creation; the
// guarded, ordered shut-down at destruction. The pieces it drives (settings store, session, hook
// loader, shell registration) are reached through TDataModuleServices, so the order and the
// guards can be checked on their own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "launch/launch.h"
#include "launch/program_folders.h"
#include "loop/clock.h"
#include "transfer/worker.h"

namespace orb {

struct TDataModuleServices {
    // Settings key values.
    std::function<int()> readDebugLevel;
    // Version and VersionDate.
    std::function<void()> writeVersionValues;
    // InstallPath: the executable's full path.
    std::function<void(const std::string& executable)> writeInstallPath;
    std::function<void(const std::string& programFolder)> loadSettings;
    // False when the settings could not be written.
    std::function<bool()> saveSettings;
    // Shell and browser registrations (executable, extension, description, icon reference).
    std::function<void(const std::string&, const std::string&, const std::string&, const std::string&)>
        registerShellTypes;
    std::function<void(const std::string&)> setScriptDebuggerDisabled;
    std::function<void(const std::string& programFolder)> writeVersionFile;
    // The user's private temporary folder (nothing when it cannot be had).
    std::function<std::optional<std::string>()> temporaryFolder;
    // Deletes a folder with its contents; false when anything stayed.
    std::function<bool(const std::string&)> deleteFolder;
    // The pen cursor file; failures are ignored.
    std::function<void(const std::filesystem::path&)> loadPenCursor;
    // Caret blink time of the desktop, saved at creation and restored at the end.
    std::function<int()> caretBlinkTime;
    std::function<void(int)> setCaretBlinkTime;
    // Keyboard hook on the main window.
    std::function<bool()> keyboardHookInstalled;
    std::function<void()> installKeyboardHook;
    // Session end: stops heartbeat, voice, receive and send threads.
    std::function<void()> leaveSession;
    // Stops and joins every transfer thread of the run.
    std::function<void()> stopTransfers;
    std::function<bool()> roomConnected;
    std::function<void()> disconnectRoom;
    std::function<void()> freeSharedObjects;
};

class TDataModuleLife {
public:
    static constexpr const char* kVersion = "6.2";
    static constexpr const char* kVersionDate = "Mar-01-2009";
    static constexpr const char* kRecordedSessionDescription = "Orbelo Live 6 Recorded Session";

    TDataModuleLife(TDataModuleServices services, IClock& clock = SystemClock::Instance())
        : s_(std::move(services)), clock_(clock) {}

    // `args` are the command-line arguments after the program name.
    void DataModuleCreate(const std::filesystem::path& executable, const std::vector<std::string>& args);
    void DataModuleDestroy();

    int DebugLevel() const { return debugLevel_; }
    const TProgramFolders& Folders() const { return folders_; }
    bool PlaybackMode() const { return playbackMode_; }
    const std::string& RecordingName() const { return recordingName_; }
    bool TipsNotShown() const { return tipsNotShown_; }

private:
    void Guard(const char* step, const std::function<void()>& fn);

    TDataModuleServices s_;
    IClock& clock_;
    int debugLevel_ = 0;
    int savedCaretBlink_ = -1;
    TProgramFolders folders_;
    bool playbackMode_ = false;
    std::string recordingName_;
    bool tipsNotShown_ = false;
    bool created_ = false;
    bool destroyed_ = false;
};

}  // namespace orb
