#include "dm_life.h"

#include <cctype>

namespace orb {

void TDataModuleLife::Guard(const char* /*step*/, const std::function<void()>& fn) {
    if (!fn) return;
    try {
        fn();
    } catch (...) {
        // A failed step is skipped; the next one runs.
    }
}

void TDataModuleLife::DataModuleCreate(const std::filesystem::path& executable, const std::vector<std::string>& args) {
    created_ = true;
    debugLevel_ = 0;
    Guard("DebugLevel", [&] {
        if (s_.readDebugLevel) {
            int level = s_.readDebugLevel();
            debugLevel_ = level < 0 ? 0 : level;  // a missing value reads as -1
        }
    });

    if (s_.caretBlinkTime) Guard("CaretBlinkTime", [&] { savedCaretBlink_ = s_.caretBlinkTime(); });
    tipsNotShown_ = true;

    std::filesystem::path temp;
    if (s_.temporaryFolder) Guard("TemporaryFolder", [&] {
        if (auto t = s_.temporaryFolder()) temp = *t;
    });
    folders_ = TProgramFolders::ForExecutable(executable, temp);
    if (s_.loadPenCursor) Guard("PenCursor", [&] { s_.loadPenCursor(folders_.program / "Cursors" / "pen_2.cur"); });
    if (s_.writeVersionValues) Guard("VersionValues", [&] { s_.writeVersionValues(); });
    CreateProgramFolders(folders_);

    // "PLAY <recording>": the path is kept exactly as typed, since file names are case-sensitive here.
    if (IsPlayCommand(args)) {
        playbackMode_ = true;
        recordingName_ = args.size() > 1 ? args[1] : std::string();
    }

    if (s_.writeInstallPath) Guard("InstallPath", [&] { s_.writeInstallPath(executable.string()); });

    std::string programFolder = folders_.program.string() + "/";
    if (s_.loadSettings) Guard("LoadSettings", [&] { s_.loadSettings(programFolder); });
    if (s_.registerShellTypes)
        Guard("RegisterShellTypes", [&] {
            s_.registerShellTypes(executable.string(), ".ob6", kRecordedSessionDescription,
                                  executable.string() + ",0");
        });
    if (s_.setScriptDebuggerDisabled) Guard("ScriptDebugger", [&] { s_.setScriptDebuggerDisabled("yes"); });
    Guard("KeyboardHook", [&] {
        if (s_.installKeyboardHook && !(s_.keyboardHookInstalled && s_.keyboardHookInstalled()))
            s_.installKeyboardHook();
    });
    if (s_.writeVersionFile) Guard("VersionFile", [&] { s_.writeVersionFile(programFolder); });
}

void TDataModuleLife::DataModuleDestroy() {
    if (!created_ || destroyed_) return;
    destroyed_ = true;
    // Every step has its own guard, and the threads are stopped before the objects and folders they
    // use go away: a failed settings save must not leave a transfer writing into a deleted folder.
    if (s_.saveSettings) Guard("SaveSettings", [&] {
        if (!s_.saveSettings()) throw 0;
    });
    if (s_.setCaretBlinkTime && savedCaretBlink_ > 0)
        Guard("CaretBlinkTime", [&] { s_.setCaretBlinkTime(savedCaretBlink_); });
    Guard("LeaveSession", s_.leaveSession);
    Guard("StopTransfers", s_.stopTransfers);
    clock_.SleepMs(200);
    Guard("Disconnect", [&] {
        if (s_.disconnectRoom && (!s_.roomConnected || s_.roomConnected())) s_.disconnectRoom();
    });
    Guard("FreeSharedObjects", s_.freeSharedObjects);
    Guard("EmptyTempFolder", [&] {
        if (folders_.temp.empty() || !s_.deleteFolder) return;
        // Made again only when it really went: a folder that could not be deleted stays as it is.
        if (!s_.deleteFolder(folders_.temp.string())) throw 0;
        CreateProgramFolders(folders_);
    });
}

}  // namespace orb
