#pragma once
// The breakout rooms window: every room with its members in a tree. Members are dragged from one
// room onto another (press, move, release: a drop on another room moves the member), rooms are
// created and entered, and everybody can be sent back to the main room.

#include <QPoint>
#include <QWidget>
#include <memory>
#include <optional>

#include "polls/breakout_tree.h"

namespace Ui {
class TfrmBreakOutRooms;
}
class QTreeWidgetItem;
class TDM;

class TfrmBreakOutRooms : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBreakOutRooms(QWidget* parent = nullptr);
    ~TfrmBreakOutRooms() override;

    // The data module whose tree the window shows and whose senders it uses (not owned).
    void Bind(TDM* dm) { dm_ = dm; }
    // Rebuilds the tree from the data module's rooms and members.
    void Rebuild();
    // WM_APP_BREAKOUTUSERMOVED and WM_APP_BREAKOUTROOMREFRESH.
    void HandleMessage(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);

    void NewRoom();
    void EnterSelectedRoom();
    void ReturnToMain();
    void ReturnAllToMain();

    static orb::polls::TBreakoutNode NodeOf(const QTreeWidgetItem* item);
    // The item of a room, or of a member under that room (user 0: the room itself).
    QTreeWidgetItem* FindItem(int32_t room, int32_t user = 0) const;
    Ui::TfrmBreakOutRooms& Ui() { return *ui_; }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmBreakOutRooms> ui_;
    TDM* dm_ = nullptr;
    // A member pressed on, and whether the pointer has moved far enough to drag it.
    std::optional<orb::polls::TBreakoutNode> pressed_;
    QPoint pressPos_;
    bool dragging_ = false;
    bool movingWindow_ = false;
    QPoint windowOffset_;
};
