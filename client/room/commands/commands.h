#pragma once
// The room commands as actions owned by the data module's command object: one QAction per command
// with its caption, hint, shortcut and image, placed in the main window's menus and tool bars, and
// enabled, shown and captioned by its Update rule (chat/command_rules) on a short idle timer.
// Commands whose windows come with other parts of the client stay disabled until an Execute handler
// is set for them (SetExecute).

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

#include "chat/command_rules.h"

class QAbstractButton;
class QAction;
class QMenu;
class QTimer;
class TDM;
class TfOrbeloMain;

namespace orb {
class TMainController;
}

namespace orb::room {

class TCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kUpdateIntervalMs = 250;

    TCommands(TDM& dm, TMainController& controller, TfOrbeloMain& window, QObject* parent = nullptr);
    ~TCommands() override;

    QAction* Action(chat::TCommand id) const { return actions_[size_t(id)]; }
    // Gives a command its Execute handler; the command is then enabled by its Update rule.
    void SetExecute(chat::TCommand id, std::function<void()> execute);

    // What the rules read beyond the data module (unset: none, not recording, no share, ...).
    struct TStateHooks {
        std::function<int32_t()> selectedUser;
        std::function<bool()> recording;
        std::function<uint8_t()> shareState;
        std::function<int32_t()> sharingUser;
        std::function<bool()> playing;
        std::function<int32_t()> roomType;
        std::function<bool()> breakoutAllowed;
        std::function<bool()> rowSelectedInNotes;
    };
    TStateHooks StateHooks;

    chat::TCommandState State() const;
    // Runs every Update rule once (the timer does this while the program is idle).
    void UpdateAll();
    // An Execute handler of ours, or a window item of the command that another part handles.
    bool Available(chat::TCommand id) const;
    static int TriggerReceivers(const QAction* action);
    int OtherHandlers(const QAction* place) const;
    // The view selector.
    QMenu* ViewSelector() const { return pmViewSelector_; }
    // A button of the window's panels that stands for a command: enabled by the command's Update
    // rule, and a click runs it as the command's menu item does.
    void BindButton(QAbstractButton* button, chat::TCommand id);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void CreateActions();
    void PlaceInWindow();
    void SetBuiltInExecutes();
    void Feedback(int32_t bit);
    void FullScreen(bool on);
    void SelectView(int view);
    void Execute(chat::TCommand id);

    TDM& dm_;
    TMainController& controller_;
    TfOrbeloMain& window_;
    std::array<QAction*, chat::kCommandCount> actions_{};
    std::array<std::function<void()>, chat::kCommandCount> executes_{};
    // The window's menu and tool-bar items of each command.
    std::vector<std::pair<QAction*, chat::TCommand>> places_;
    // The window's own items handled elsewhere (settings pages, about, profile, silence window).
    std::vector<QAction*> locals_;
    std::vector<std::pair<QPointer<QAbstractButton>, chat::TCommand>> buttons_;
    QTimer* timer_ = nullptr;
    QMenu* pmResources_ = nullptr;
    QMenu* pmViewSelector_ = nullptr;
    QPointer<QWidget> navBoardView_;

    // The room's word on the four moderation actions (give and take voice and board); until it
    // speaks, the own levels decide.
    std::optional<bool> moderationShown_;
};

}  // namespace orb::room
