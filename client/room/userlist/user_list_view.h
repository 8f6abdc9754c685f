#pragma once
// The participant list control: a scroll box of rows of the plain TParticipantList, each row a
// painted widget. Only the rows in view (and the focused one) have a widget; the widgets are reused
// as rows scroll in and out, so a room of a thousand costs the widgets of the rows on screen, and a
// change to one row touches that row only. Changes are gathered and applied once the loop turns.
// Rows draw their name, role, presence, icons and (expanded) the picture, the times and "More
// Options"; every text is drawn as plain text. The control keeps no protocol state: it renders the
// list and reports clicks.

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QRect>
#include <QScrollArea>
#include <QWidget>

#include <functional>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "participants/participant_list.h"

namespace orb::room {

// Where a row's parts are, for a row panel of `width` (the layout of the row).
struct TRowGeometry {
    QRect name, mike, cam, gesture, handOrder, share, typing, status;
    QRect pictureFrame, picture, role, userTime, login, moreOptions, presence, border;
};
TRowGeometry RowGeometry(int width, bool expanded);

// A picture file read with caps on its size (user pictures come from the network).
QImage LoadPicture(const QString& path);

class TOrbeloUserList;

class TUserRowWidget final : public QWidget {
    Q_OBJECT
public:
    TUserRowWidget(TOrbeloUserList& owner, int32_t userId);
    int32_t UserId() const { return userId_; }
    // Shows another row (a reused widget).
    void Assign(int32_t userId);
    void Sync();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    // The row pops its own menu up on the press; the list's menu is for the space outside rows.
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool event(QEvent*) override;
    // Tab goes through the rows in list order, also to rows out of view.
    bool focusNextPrevChild(bool next) override;

private:
    const TParticipantRow* Row() const;
    TOrbeloUserList& owner_;
    int32_t userId_;
};

class TOrbeloUserList final : public QScrollArea {
    Q_OBJECT
public:
    explicit TOrbeloUserList(QWidget* parent = nullptr);
    ~TOrbeloUserList() override;

    // The rows to show (not owned); the control listens to its changes.
    void SetList(TParticipantList* list);
    TParticipantList* List() const { return list_; }

    // Shown on a right click on a row and by "More Options".
    QPointer<QMenu> UserMenu;
    std::function<void(int32_t user, bool expanded)> OnItemExpand;
    std::function<void(int32_t user)> OnMikeImageClick;
    std::function<void(int32_t user)> OnCamImageClick;
    // Shown when a row has no picture of its own (the program folder's "noface.jpg").
    QImage NoFace;

    // The widget of a row in view (or focused); null for a row out of view.
    TUserRowWidget* RowWidget(int32_t user);
    int RowCount() const { return list_ ? int(list_->Count()) : 0; }
    QImage PictureOf(const TParticipantRow& row);
    // Applies the changes gathered so far (the loop does it on its next turn).
    void Flush();
    // Scrolls a row into view and gives its widget the focus (the list itself when it has none).
    void FocusRow(int32_t user);
    // Below the last row a band of free space stays, where a right click opens the list's menu.
    static constexpr int kFreeSpace = kRowHeight;
    // Widget work done for rows so far (a widget filled, refreshed or given up), and the widgets
    // that exist.
    uint64_t RowUpdates() const { return rowUpdates_; }
    int WidgetCount() const { return int(shown_.size() + spare_.size()); }

    // Row events (from the row widgets).
    void RowPressed(int32_t user, Qt::MouseButton button, QPoint globalPos);
    void RowToggle(int32_t user);
    void RowClicked(int32_t user, QPoint pos);
    // The wheel, wherever it turns over the list: by rows.
    void Wheel(QWheelEvent* e);

protected:
    void wheelEvent(QWheelEvent* e) override { Wheel(e); }
    void resizeEvent(QResizeEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Schedule();
    void Release(TUserRowWidget* w);
    // The top of a row and its index (-1 when the list has no such row).
    int RowTop(int32_t user, int* index = nullptr) const;
    TParticipantList* list_ = nullptr;
    QWidget* canvas_;
    std::unordered_map<int32_t, TUserRowWidget*> shown_;  // by user id
    std::vector<TUserRowWidget*> spare_;
    std::unordered_set<int32_t> dirty_;
    bool allDirty_ = true;
    bool flushQueued_ = false;
    size_t expandedSeen_ = 0;
    uint64_t rowUpdates_ = 0;
    int wheelRest_ = 0;
    struct TPicture {
        QImage image;
        QDateTime stamp;
    };
    std::map<std::string, TPicture> pictures_;  // by file path
};

}  // namespace orb::room
