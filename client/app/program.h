#pragma once
// The program body: the application, the main window first (so it is the main form), the data
// module, then every long-lived window in a fixed order; the message loop; and the shut-down that
// frees them again.

#include <QCursor>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dm/dm.h"
#include "main/main_controller.h"
#include "dm_life.h"
#include "forms.h"
#include "launch/launch.h"
#include "notices/post_it.h"
#include "qt_event_loop.h"
#include "settings/settings.h"

namespace orb::board {
class TDMBoardLink;
class TBoardEngine;
class TBoardMessages;
}  // namespace orb::board

namespace orb {

struct TProgramOptions {
    std::filesystem::path executable;
    std::vector<std::string> args;  // after the program name
    // Unset fields take the program's own (registry, keyboard hook, session threads).
    TDataModuleServices services;
    IClock* clock = nullptr;        // null: the system clock
    // Told the class name of each object as it is created (main window, data module, windows).
    std::function<void(const std::string&)> onCreated;
    // Replaces the login dialog; false when the user cancels (the run then ends with exit code -1).
    std::function<bool()> showLoginDialog;
    // Replaces the program's own start of the run after the launch argument is classified (and,
    // for kind 0, the dialog accepted; for recordings, checked). Unset: the session starts.
    std::function<void(LaunchKind, const std::string& value)> startRun;
    // Lets a caller adjust the data module once it exists (its hooks, its inputs).
    std::function<void(TDM&)> configureDataModule;
    // Error boxes that end the run (default: a modal message box over the main window).
    std::function<void(const std::string&)> showError;
};

class TProgram {
public:
    static constexpr const char* kTitle = "Orbelo Live Browser";

    // Needs a QApplication. Sets the application title.
    explicit TProgram(TProgramOptions options);
    ~TProgram();

    // Creates the 24 objects in order; the data module's creation runs in between.
    void CreateForms();
    // Shows the main window, runs the message loop until it closes, shuts down; returns the exit code.
    int Run();
    // Closes the windows the data module opened, frees the windows, then the data module, then the
    // main window. Called by Run; safe to call twice.
    void Shutdown();

    TfOrbeloMain* Main() const { return main_.get(); }
    TMainController& Controller() { return *controller_; }
    TDataModuleLife& DM() { return *dm_; }
    TDM& DataModule() { return *tdm_; }
    // The client's settings, loaded at the data module's creation and saved at its end.
    Settings& ClientSettings() { return settings_; }
    QtEventLoop& Loop() { return *loop_; }
    const std::vector<QWidget*>& Windows() const { return windowOrder_; }
    template <class T>
    T* Form() const {
        for (QWidget* w : windowOrder_)
            if (auto* t = qobject_cast<T*>(w)) return t;
        return nullptr;
    }
    // Screen cursor number 1: the pen of the boards (the arrow when its file could not be loaded).
    const QCursor& PenCursor() const { return penCursor_; }

    // Takes a docked tool window out of its parent and floats it, always on top. The breakout-rooms
    // and presentations windows keep their own frame; the others become sizeable tool windows.
    void FloatToolForm(QWidget* form);

    // A slide-in notice for a chat message at the lower right of the work area, stamped with the
    // current time in the chat's "hh:mm" form; none while chat pop-ups are off or a recording is
    // replayed. One such window at a time: a later line takes its place in it.
    TfrmPostIt* ShowChatPopup(const QString& text, const QString& sender);
    // The chat and session-note slide-ins (created on first use).
    TNoticeWindows& Notices();

    // The audio setup wizard with what surrounds it in a live room (presence, floor, voice
    // connection), modal over `parent`.
    void RunAudioWizard(QWidget* parent);

    // Windows opened on demand by the data module (closed at shut-down).
    QList<QPointer<QWidget>>& OpenedWindows() { return opened_; }
    // Windows a received message opens (a poll, a pushed document's question): at most this many of
    // a kind at once, so a stream of such messages cannot multiply windows.
    static constexpr int kMaxReceivedWindows = 3;
    // The opened windows of type T still open; the list forgets the ones that were freed.
    template <class T>
    int OpenedOf() {
        opened_.removeIf([](const QPointer<QWidget>& w) { return w.isNull(); });
        int n = 0;
        for (const auto& w : opened_) n += qobject_cast<T*>(w.data()) != nullptr && w->isVisible();
        return n;
    }

private:
    void FormShow();
    void SetDataModuleHooks();
    void SetControllerHooks();
    // Each area binds its windows and the data module's hooks in its own file, setup_<area>.cpp;
    // CreateForms calls them in this order once every window exists.
    void SetupParticipants();
    void SetupChat();
    void SetupVoice();
    void SetupPlayback();
    void SetupBoard();
    void SetupLibraries();
    void SetupPrint();
    void SetupPolls();
    void SetupVideo();
    void SetupSharing();
    void SetupSettings();
    // What binds the areas to each other, once all of them are set up.
    void SetupLinks();
    // Steps an area needs at shut-down, run in reverse order before the windows are freed.
    std::vector<std::function<void()>> shutdownSteps_;

    bool CheckRecording(const std::string& error);
    TDataModuleServices Services();

    TProgramOptions o_;
    // Keeps modal windows above the stay-on-top ones (an application event filter).
    std::unique_ptr<QObject> modalAbove_;
    std::unique_ptr<QtEventLoop> loop_;
    // After the loop: its windows' timers run on it.
    std::unique_ptr<TNoticeWindows> notices_;
    std::unique_ptr<TfOrbeloMain> main_;
    WindowHandle mainHandle_ = 0;
    std::unique_ptr<TDM> tdm_;
    std::unique_ptr<TDataModuleLife> dm_;
    std::unique_ptr<TMainController> controller_;
    // The whiteboard engine and its message handlers, bound to the data module.
    std::unique_ptr<board::TDMBoardLink> boardLink_;
    std::unique_ptr<board::TBoardEngine> boardEngine_;
    std::unique_ptr<board::TBoardMessages> boardMessages_;
    Settings settings_;
    QCursor penCursor_;
    std::vector<std::unique_ptr<QWidget>> windows_;
    std::vector<QWidget*> windowOrder_;
    QList<QPointer<QWidget>> opened_;
    bool shutDown_ = false;
};

}  // namespace orb
