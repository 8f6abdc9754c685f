#include "dm_life.h"

#include <cctype>

namespace orb {

void TDataModuleLife::Guard(const char* step, const std::function<void()>& fn) {
    if (!fn) return;
    try {
        fn();
    } catch (...) {
        failed_.push_back(step);
    }
}

void TDataModuleLife::DataModuleCreate(const std::filesystem::path& executable, const std::vector<std::string>& args,
                                       const std::filesystem::path& tempRoot) {
    created_ = true;
    debugLevel_ = 0;
    Guard("DebugLevel", [&] {
        if (s_.readDebugLevel) {
            int level = s_.readDebugLevel();
            debugLevel_ = level < 0 ? 0 : level;  // a missing value reads as -1
        }
    });

    ClearLinkParams(link_);
    kind_ = lkNone;
    if (s_.caretBlinkTime) Guard("CaretBlinkTime", [&] { savedCaretBlink_ = s_.caretBlinkTime(); });
    tipsNotShown_ = true;

    folders_ = TProgramFolders::ForExecutable(executable, tempRoot);
    if (s_.loadPenCursor) Guard("PenCursor", [&] { s_.loadPenCursor(folders_.program / "Cursors" / "pen_2.cur"); });
    if (s_.writeString) {
        Guard("Version", [&] { s_.writeString("Version", kVersion); });
        Guard("VersionDate", [&] { s_.writeString("VersionDate", kVersionDate); });
    }
    CreateProgramFolders(folders_);

    // "PLAY <recording>": the path is kept exactly as typed, since file names are case-sensitive here.
    if (!args.empty()) {
        std::string first = args[0];
        for (auto& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (first == "PLAY") {
            playbackMode_ = true;
            recordingName_ = args.size() > 1 ? args[1] : std::string();
        }
    }

    if (s_.writeString) Guard("InstallPath", [&] { s_.writeString("InstallPath", executable.string()); });
    Guard("LoadSettings", s_.loadSettings);
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
    Guard("VersionFile", s_.writeVersionFile);
}

void TDataModuleLife::DataModuleDestroy() {
    if (!created_ || destroyed_) return;
    destroyed_ = true;
    // Every step has its own guard, and the threads are stopped before the objects and folders they
    // use go away: a failed settings save must not leave a transfer writing into a deleted folder.
    Guard("SaveSettings", s_.saveSettings);
    if (s_.setCaretBlinkTime && savedCaretBlink_ > 0)
        Guard("CaretBlinkTime", [&] { s_.setCaretBlinkTime(savedCaretBlink_); });
    Guard("LeaveSession", s_.leaveSession);
    Guard("StopTransfers", [&] { transfers_.StopAll(); });
    clock_.SleepMs(200);
    Guard("Disconnect", [&] {
        if (s_.disconnectRoom && (!s_.roomConnected || s_.roomConnected())) s_.disconnectRoom();
    });
    Guard("FreeSharedObjects", s_.freeSharedObjects);
    Guard("EmptyTempFolder", [&] {
        if (!folders_.temp.empty() && !EmptyFolder(folders_.temp)) throw 0;
    });
}

}  // namespace orb
