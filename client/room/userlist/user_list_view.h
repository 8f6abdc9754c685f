#pragma once
// The participant list control: a scroll box of rows, one painted widget per row of the plain
// TParticipantList. Rows draw their name, role, presence, icons and (expanded) the picture, the
// times and "More Options"; every text is drawn as plain text. The control keeps no protocol state:
// it renders the list and reports clicks.

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
    void Sync();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    // The row pops its own menu up on the press; the list's menu is for the space outside rows.
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool event(QEvent*) override;

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

    // The row widgets in display order.
    TUserRowWidget* RowWidget(int32_t user) const;
    int RowCount() const { return int(rows_.size()); }
    QImage PictureOf(const TParticipantRow& row);
    // Rebuilds the rows from the list (order or length changed), or repaints one.
    void Rebuild();
    void RowChanged(int32_t user);

    // Row events (from the row widgets).
    void RowPressed(int32_t user, Qt::MouseButton button, QPoint globalPos);
    void RowToggle(int32_t user);
    void RowClicked(int32_t user, QPoint pos);

protected:
    void wheelEvent(QWheelEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void Layout();
    TParticipantList* list_ = nullptr;
    QWidget* canvas_;
    std::vector<TUserRowWidget*> rows_;
    struct TPicture {
        QImage image;
        QDateTime stamp;
    };
    std::map<std::string, TPicture> pictures_;  // by file path
};

}  // namespace orb::room
