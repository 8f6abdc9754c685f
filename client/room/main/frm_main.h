#pragma once
// TfOrbeloMain, the main window: created first, so closing it ends the run. Laid out in
// frm_main.ui; its decisions are TMainController's, which it forwards its events and posted
// notifications to, and renders through IMainView.

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

#include "chat/chat_view.h"
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
class QTreeWidgetItem;
class TfrmChatHolder;
class QToolButton;
namespace orb {
struct Settings;
}
namespace orb::room {
class TChatViews;
}

class TfOrbeloMain final : public QMainWindow, public orb::IMainView, public orb::chat::IChatView {
    Q_OBJECT
public:
    // Rows the notes-and-requests list keeps (the oldest leave first).
    static constexpr int kMaxNoteRows = 500;

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
    // Opens the answer window of a received poll, and fills the recent-polls menu (set by the
    // program; unset: nothing).
    std::function<void(const ::TPollInfo&)> PollWindowOpener;
    std::function<void()> RecentPollsFiller;
    // The participant panel's close button: the attendee selection window, centred on the screen.
    std::function<void()> ShowAttendeeWindow;
    // Shows the welcome window (set by the program; unset: no welcome window).
    std::function<void(const std::string& address, bool tips, const orb::TScreenRect& where, bool dontShowAgain)>
        WelcomePageRunner;
    // The public chat view's text (empty while it does not exist).
    QString PublicChatText() const;
    // A new room starts with no chat views.
    void FreeChatViews();

    // ---- Chat, notes, menus and the volume sliders (frm_main_chat.cpp)

    // What the chat needs beyond the data module: the settings it reads and writes, its windows,
    // and the slide-in notices.
    struct TChatBindings {
        orb::Settings* settings = nullptr;
        std::function<bool()> saveSettings;
        TfrmChatHolder* holder = nullptr;
        // The "Session Message" prompt for an addressee: the text to send, false when cancelled.
        std::function<bool(const QString& addressee, QString& text)> askSessionMessage;
        std::function<void(const QString& sender, const QString& text)> chatPopup;
        std::function<void(const QString& sender, const QString& text, double dateTime)> textNote;
        // File dialogs (tests answer them): the chosen file, or empty for Cancel.
        std::function<QString(const QString& title, const QString& proposed, const QString& filter)> askSaveFile;
        // Opens a web address (Help and Support).
        std::function<void(const QString&)> openUrl;
        // The profile card of a user and the own profile editor, once they exist.
        std::function<void(int32_t user)> showUserCard;
        std::function<void()> showProfileEditor;
    };
    void BindChat(TChatBindings bindings);
    orb::room::TChatViews& ChatViews() { return *chatViews_; }
    // The chat input: sends the visible input's text to the chat target; empty text sends nothing.
    void SendChatInput();
    // Puts smiley code `index` of the menu at the caret of the visible input.
    void InsertSmiley(int index);
    void SetMultiLine(bool on);
    // The send-to menu: "Public Messages" and one item per other participant.
    QMenu* SendToMenu() const { return pmSendTo_; }
    void FillSendToMenu();
    void ChooseSendTo(QAction* item);
    QMenu* ChatMenu() const { return pmChat_; }
    QMenu* NotesMenu() const { return pmNotes_; }
    bool SavePublicChat(const QString& file);
    bool SaveNotes(const QString& file);
    // The board's slides menu for a document of `pageCount` pages (capped), the current one checked.
    void FillSlidesMenu(QMenu* menu, int32_t pageCount, int current, QToolButton* jump);
    void ClearSlidesMenu(QMenu* menu);
    // Reads the volumes from the mixer into the sliders (through the data module's volume view).
    void ReadVolumes();
    // The "Microphone Boost" item: enabled when the boost could be read, checked when it is on.
    void SetMicrophoneBoostItem(bool enabled, bool checked);
    bool TypingFlag() const { return typing_; }

    // ---- orb::chat::IChatView
    void AddChatMessage(int32_t key, const std::u16string& sender, bool notice, uint32_t colour,
                        const std::u16string& text) override;
    void AddNoteRow(const orb::chat::TNoteRow& row) override;
    void ClearNotes() override;
    void ShowChatPopup(const std::u16string& sender, const std::u16string& text) override;
    void ShowUserNote(const std::string& sender, const std::u16string& text, double dateTime) override;
    bool FullScreen() const override;
    bool ChatPageActive() const override;
    bool SeparateChatWindow() const override;
    bool AskSessionMessage(const std::string& addressee, std::u16string& text) override;

    // ---- IMainView
    void ShowError(const std::string& text) override;
    void ShowReceivedError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void CheckConnectionSpeedItem(int32_t tag) override;
    void ApplyColorTheme(int styleTheme) override;
    void DockWindows() override;
    void PlaceAtWorkArea() override;
    void PlaceFullScreen() override;
    // The full-screen view: the window manager's full-screen state, which takes the frame away and
    // gives it back with the window's former place; the window's flags never change for it.
    void SetFullScreenView(bool on);
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
    void ShowPoll(const ::TPollInfo& poll) override;
    void LoadRecentPollsMenu() override;
    void LoadUserPicture(int32_t user, const std::string& path) override;
    void SelectChatTarget(int type, int32_t user) override;

    QAction* ChatPerm(int tag) const;

signals:
    // Once, after the window is first on screen: the start-up driver runs from here.
    void FirstShown();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PopUpOnClick(QToolButton* button);
    // Places the window with its frame inside `area`: the title bar stays on the screen. Done again
    // when the window manager's frame turns out other than it was (first framed, or framed again
    // after full screen).
    void PlaceWithin(const QRect& area);
    void Replace();
    QMargins FrameMargins() const;
    void SetupChatUi();
    void InputChanged();
    QString InputText() const;
    void ClearInput();
    void FocusInput();
    void SetChatHeader(const QString& text);
    void NotesCommand(int command);
    void ShowSelectedNote();
    void StrikeOut(QTreeWidgetItem* item);
    void ChangeFontSize(int size);
    void ApplyTheme(int tag);
    void ChooseSpeed(QAction* item);
    void StepVolume(bool microphone, int delta);
    void ToggleMicBoost();
    void ToggleSeparateChat();
    QString AskSaveFile(const QString& title, const QString& proposed, const QString& filter);
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
    std::optional<QRect> placeArea_;
    QMargins placedMargins_;
    QString headerStyle_;

    std::unique_ptr<orb::room::TChatViews> chatViews_;
    TChatBindings chat_;
    QMenu* pmSendTo_ = nullptr;
    QMenu* pmNotes_ = nullptr;
    QMenu* pmRequest_ = nullptr;
    QAction* miShowTiming_ = nullptr;
    QAction* miSeparateChat_ = nullptr;
    QAction* miMicBoost_ = nullptr;
    QAction* miNotesPerm_[2] = {};
    QActionGroup* fontGroup_ = nullptr;
    QActionGroup* themeGroup_ = nullptr;
    bool multiLine_ = false;
    bool typing_ = false;
};
