#pragma once
// A main window that does nothing: tests derive from it and record only what they look at.

#include <cstdint>
#include <string>

#include "main/main_view.h"

namespace orb::test {

struct TNullMainView : IMainView {
    void ShowError(const std::string&) override {}
    void ShowWarning(const std::string&) override {}
    void ShowInformation(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void CheckConnectionSpeedItem(int32_t) override {}
    void ApplyColorTheme(int) override {}
    void DockWindows() override {}
    void PlaceAtWorkArea() override {}
    void PlaceFullScreen() override {}
    void BringToFront() override {}
    int ScreenHeight() const override { return 800; }
    bool ScreenAt96Dpi() const override { return true; }
    void SetLiveCommandsEnabled(bool) override {}
    void SetSplitters(int, int) override {}
    int RunRoomList() override { return 0; }
    void SetRoomCaption(const std::string&) override {}
    void SetRecorderToolVisible(bool) override {}
    void SetChatPermissionsMenuVisible(bool) override {}
    void SetClearMotionsVisible(bool) override {}
    void SetBoardToolBoxVisible(bool) override {}
    TScreenRect RoomArea() const override { return {}; }
    void CloseWithoutQuestion() override {}
    void Quit(int) override {}
    void SetResetButtonVisible(bool) override {}
    void AddChatLine(const std::string&, const std::string&, uint32_t, bool) override {}
    void Beep(int, int) override {}
    void ShowView(int) override {}
    void HideShareViewer() override {}
    void Flash(bool) override {}
    bool IsMaximized() const override { return false; }
    void SetMotionCounts(int, int, int) override {}
    void SetAudioControls(bool, bool) override {}
    void SetMicrophoneMeter(int) override {}
    void SetSpeakerMeter(int) override {}
    void SetChatPermission(const TChatPermissionLayout&) override {}
    void SetNotesEnabled(bool) override {}
};

}  // namespace orb::test
