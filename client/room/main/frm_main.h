#pragma once
// TfOrbeloMain, the main window: created first, so closing it ends the run. Laid out in
// frm_main.ui; its decisions are TMainController's, which it forwards its events and posted
// notifications to, and renders through IMainView.

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

#include "main/main_controller.h"
#include "main/main_view.h"

namespace Ui {
class TfOrbeloMain;
}
namespace orb::media {
class TTonePlayer;
}
class QActionGroup;
class QMenu;

class TfOrbeloMain final : public QMainWindow, public orb::IMainView {
    Q_OBJECT
public:
    explicit TfOrbeloMain(QWidget* parent = nullptr);
    ~TfOrbeloMain() override;

    Ui::TfOrbeloMain& Ui() { return *ui_; }
    // The controller and data module, once both exist (before the window is first shown).
    void Bind(orb::TMainController* controller, TDM* dm, int audioOutDevice);
    // The windows that live inside the main window.
    struct TDockedForms {
        QWidget* userList = nullptr;
        QWidget* board = nullptr;
        QWidget* browser = nullptr;
        QWidget* shareViewer = nullptr;
    };
    void SetDockedForms(const TDockedForms& forms) { docked_ = forms; }
    // Runs the room list modally; returns the chosen room number.
    std::function<int()> RoomListRunner;
    // Replaces the modal message boxes (tests record them instead); returns the button pressed.
    std::function<int(int icon, const std::string& text, int buttons)> MessageBoxOverride;
    // Shows the welcome window (set by the program; unset: no welcome window).
    std::function<void(const std::string& address, bool tips, const orb::TScreenRect& where, bool dontShowAgain)>
        WelcomePageRunner;
    // The exit code this run ends with, once one was asked for.
    std::optional<int> PendingExitCode() const { return exitCode_; }

    // The public chat view's text (until the chat views of their own exist).
    QString PublicChatText() const;
    // A new room starts with empty chat views.
    void FreeChatViews();

    // ---- IMainView
    void ShowError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void CheckConnectionSpeedItem(int32_t tag) override;
    void ApplyColorTheme(int styleTheme) override;
    void DockWindows() override;
    void PlaceAtWorkArea() override;
    void PlaceFullScreen() override;
    // The replay's layout: no menu, tool bars, audio panel or connection status; the text chat page
    // in front; no notes page; no caption bar; the whole screen.
    void ApplyPlaybackLayout() override;
    // The player's full-screen switch: down hides the controls panel as well.
    void SetPlayerFullScreen(bool down);
    void BringToFront() override;
    int ScreenHeight() const override;
    bool ScreenAt96Dpi() const override;
    void SetLiveCommandsEnabled(bool enabled) override;
    void SetSplitters(int leftWidth, int participantHeight) override;
    int RunRoomList() override;
    void SetRoomCaption(const std::string& caption) override;
    void SetRecorderToolVisible(bool visible) override;
    void SetChatPermissionsMenuVisible(bool visible) override;
    void SetClearMotionsVisible(bool visible) override;
    void SetBoardToolBoxVisible(bool visible) override;
    orb::TScreenRect RoomArea() const override;
    void CloseWithoutQuestion() override;
    void Quit(int exitCode) override;
    void SetResetButtonVisible(bool visible) override;
    void AddChatLine(const std::string& sender, const std::string& text, uint32_t colour, bool notice) override;
    void Beep(int frequency, int durationMs) override;
    void ShowView(int view) override;
    void ShowWelcomePage(const std::string& address, bool tips, const orb::TScreenRect& where,
                         bool dontShowAgain) override;
    void HideShareViewer() override;
    void Flash(bool on) override;
    bool IsMaximized() const override;
    void SetMotionCounts(int hands, int yes, int no) override;
    void SetAudioControls(bool reconnectVisible, bool speakBarVisible) override;
    void SetMicrophoneMeter(int percent) override;
    void SetSpeakerMeter(int percent) override;
    void SetChatPermission(const orb::TChatPermissionLayout& layout) override;
    void SetNotesEnabled(bool enabled) override;
    void SetSpeakChecked(bool checked) override;
    void LoadUserPicture(int32_t user, const std::string& path) override;

    QMenu* ChatPermissionsMenu() const { return miChatPermissions_; }
    QAction* ChatPerm(int tag) const;

signals:
    // Once, after the window is first on screen: the start-up driver runs from here.
    void FirstShown();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetIcons();
    void DockInto(QWidget* form, QWidget* place);
    void ResetConnectionExecute();
    int MessageBox(int icon, const std::string& text, int buttons);

    std::unique_ptr<Ui::TfOrbeloMain> ui_;
    orb::TMainController* controller_ = nullptr;
    TDM* dm_ = nullptr;
    std::unique_ptr<orb::media::TTonePlayer> tones_;
    TDockedForms docked_;
    QMenu* pmChat_ = nullptr;
    QMenu* miChatPermissions_ = nullptr;
    QAction* chatPerm_[3] = {};
    QActionGroup* speedGroup_ = nullptr;
    bool shown_ = false;
    bool closeWithoutQuestion_ = false;
    bool closing_ = false;
    std::optional<int> exitCode_;
    QString headerStyle_;
};
