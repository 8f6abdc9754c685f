#pragma once
// The participant list window ("Attendees List"), docked into the main window's participant panel:
// the list control lvUsers, its pop-up menu pmUsers and the handlers of its row events (picture on
// expanding, microphone and camera clicks, profile and private note).

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "loop/event_loop.h"

class TDM;

namespace Ui {
class TfrmUserList;
}

namespace orb::room {
class TOrbeloUserList;
}

class TfrmUserList final : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUserList(QWidget* parent = nullptr);
    ~TfrmUserList() override;

    // The data module whose participants are shown; the main window is told of downloaded pictures.
    void Bind(TDM* dm, orb::WindowHandle mainWindow, const std::string& programFolder);
    orb::room::TOrbeloUserList* lvUsers() const;
    QMenu* pmUsers() const { return pmUsers_; }
    // The list's own menu (a right click where there is no row): orders, expanding, breakout rooms.
    QMenu* pmUserCommonAction() const { return pmUserCommon_; }

    // The commands of the pop-up menu, by name (the main window's actions and this area's own).
    // Unknown names get a disabled placeholder so the menu keeps its order.
    // The lookup is kept: the menu is filled again before it shows, so commands that are bound
    // later (the command object) take their places.
    void SetMenuActions(const std::function<QAction*(const char* name)>& find);
    void RefreshMenuActions();
    QAction* MenuAction(const char* name) const;

    // Handlers.
    void lvUsersItemExpand(int32_t user, bool expanded);
    void lvUsersMikeImageClick(int32_t user);
    void lvUsersCamImageClick(int32_t user);
    void ShowProfile1Click();
    void SendRequest1Click();

    // The profile card and the session-note prompt (the room's commands), and the yes/no
    // question of the microphone click (a message box unless replaced).
    std::function<void(int32_t user)> OnShowProfile;
    std::function<void(int32_t user)> OnSendNote;
    std::function<bool(const QString&)> AskYesNo;
    // Brings the commands' enabling up to the selected row before the menu shows or a row click
    // runs one (a command left disabled from the previous selection ignores its trigger).
    std::function<void()> UpdateCommands;

private:
    std::unique_ptr<Ui::TfrmUserList> ui_;
    QMenu* pmUsers_;
    QMenu* pmUserCommon_;
    QAction* breakoutItem_ = nullptr;  // the command's item, or a disabled stand-in
    TDM* dm_ = nullptr;
    orb::WindowHandle mainWindow_ = 0;
    std::string programFolder_;
    std::vector<std::pair<std::string, QAction*>> menuActions_;
    std::function<QAction*(const char* name)> find_;
    std::vector<QAction*> placeholders_;
};
