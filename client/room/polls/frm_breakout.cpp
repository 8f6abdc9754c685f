#include "frm_breakout.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>

#include "common/message_box.h"
#include "dm/dm.h"
#include "protocol/wm_app.h"
#include "ui_frm_breakout.h"

namespace {
constexpr int kRoleIsRoom = Qt::UserRole + 1;
constexpr int kRoleRoom = Qt::UserRole + 2;
constexpr int kRoleUser = Qt::UserRole + 3;
}  // namespace

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmBreakOutRooms>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmBreakOutRooms"));
    auto* menu = new QMenu(this);
    menu->addAction(ui_->acNewBORoom);
    menu->addAction(ui_->acEnterBORoom);
    menu->addAction(ui_->acReturnToMain);
    menu->addAction(ui_->acReturnAllToMain);
    ui_->btnTitle->setMenu(menu);
    connect(ui_->acNewBORoom, &QAction::triggered, this, &TfrmBreakOutRooms::NewRoom);
    connect(ui_->acEnterBORoom, &QAction::triggered, this, &TfrmBreakOutRooms::EnterSelectedRoom);
    connect(ui_->acReturnToMain, &QAction::triggered, this, &TfrmBreakOutRooms::ReturnToMain);
    connect(ui_->acReturnAllToMain, &QAction::triggered, this, &TfrmBreakOutRooms::ReturnAllToMain);
    connect(ui_->btnNewRoom, &QPushButton::clicked, this, &TfrmBreakOutRooms::NewRoom);
    connect(ui_->btnReturnAll, &QPushButton::clicked, this, &TfrmBreakOutRooms::ReturnAllToMain);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::close);
    connect(ui_->lvBORooms, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const auto node = NodeOf(item);
        if (node.isRoom && dm_) dm_->SendBreakoutMembersRequest(node.roomId);
    });
    ui_->lvBORooms->setDragEnabled(false);
    ui_->lvBORooms->viewport()->installEventFilter(this);
    ui_->pHeader->installEventFilter(this);
}

TfrmBreakOutRooms::~TfrmBreakOutRooms() = default;

orb::polls::TBreakoutNode TfrmBreakOutRooms::NodeOf(const QTreeWidgetItem* item) {
    orb::polls::TBreakoutNode n;
    if (!item) return n;
    n.isRoom = item->data(0, kRoleIsRoom).toBool();
    n.roomId = item->data(0, kRoleRoom).toInt();
    n.userId = item->data(0, kRoleUser).toInt();
    return n;
}

QTreeWidgetItem* TfrmBreakOutRooms::FindItem(int32_t room, int32_t user) const {
    for (int i = 0; i < ui_->lvBORooms->topLevelItemCount(); ++i) {
        QTreeWidgetItem* r = ui_->lvBORooms->topLevelItem(i);
        if (NodeOf(r).roomId != room) continue;
        if (user == 0) return r;
        for (int j = 0; j < r->childCount(); ++j)
            if (NodeOf(r->child(j)).userId == user) return r->child(j);
    }
    return nullptr;
}

void TfrmBreakOutRooms::Rebuild() {
    if (!dm_) return;
    QTreeWidget* tree = ui_->lvBORooms;
    const auto selected = NodeOf(tree->currentItem());
    tree->clear();
    QFont base(QStringLiteral("Tahoma"));
    base.setPointSize(8);
    for (const auto& room : dm_->Breakout.Rooms()) {
        auto* r = new QTreeWidgetItem(tree);
        r->setText(0, orb::room::FromUtf8(room.Caption()));
        r->setData(0, kRoleIsRoom, true);
        r->setData(0, kRoleRoom, room.Id());
        QFont f = base;
        f.setBold(true);
        f.setItalic(room.Id() == dm_->OwnRoom);
        r->setFont(0, f);
        for (const auto& m : room.members) {
            auto* c = new QTreeWidgetItem(r);
            c->setText(0, orb::room::FromUtf8(m.FullName()));
            c->setData(0, kRoleIsRoom, false);
            c->setData(0, kRoleRoom, room.Id());
            c->setData(0, kRoleUser, m.UserId());
            c->setFont(0, base);
        }
        r->setExpanded(true);
    }
    if (QTreeWidgetItem* again = FindItem(selected.roomId, selected.isRoom ? 0 : selected.userId))
        tree->setCurrentItem(again);
}

void TfrmBreakOutRooms::HandleMessage(uint32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (!dm_) return;
    if (msg == WM_APP_BREAKOUTUSERMOVED) {
        if (dm_->Breakout.RemoveMember(int32_t(lParam), int32_t(wParam))) Rebuild();
    } else if (msg == WM_APP_BREAKOUTROOMREFRESH) {
        dm_->SendBreakoutMembersRequest(int32_t(wParam));
    }
}

void TfrmBreakOutRooms::NewRoom() {
    if (dm_) dm_->SendCreateBreakoutRoom("");
}

void TfrmBreakOutRooms::EnterSelectedRoom() {
    const auto node = NodeOf(ui_->lvBORooms->currentItem());
    if (!dm_ || !node.isRoom || node.roomId <= 0) return;
    dm_->SendEnterRoom(node.roomId);
    dm_->SendBreakoutMembersRequest(node.roomId);
}

void TfrmBreakOutRooms::ReturnToMain() {
    if (dm_ && dm_->MainRoomNumber > 0) dm_->SendEnterRoom(dm_->MainRoomNumber);
}

void TfrmBreakOutRooms::ReturnAllToMain() {
    if (dm_) dm_->ReturnAllToMainRoom();
}

void TfrmBreakOutRooms::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (dm_) dm_->SendBreakoutRoomListRequest();
}

bool TfrmBreakOutRooms::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->lvBORooms->viewport()) {
        QTreeWidget* tree = ui_->lvBORooms;
        if (event->type() == QEvent::MouseButtonPress) {
            auto* m = static_cast<QMouseEvent*>(event);
            const auto node = NodeOf(tree->itemAt(m->position().toPoint()));
            pressed_.reset();
            dragging_ = false;
            if (m->button() == Qt::LeftButton && orb::polls::CanDrag(node)) {
                pressed_ = node;
                pressPos_ = m->position().toPoint();
            }
        } else if (event->type() == QEvent::MouseMove && pressed_) {
            auto* m = static_cast<QMouseEvent*>(event);
            if (!dragging_ &&
                (m->position().toPoint() - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
                dragging_ = true;
                tree->viewport()->setCursor(Qt::DragMoveCursor);
            }
            if (dragging_) {
                // Only a room accepts the drop.
                const auto target = NodeOf(tree->itemAt(m->position().toPoint()));
                tree->viewport()->setCursor(target.isRoom ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
            }
        } else if (event->type() == QEvent::MouseButtonRelease && pressed_) {
            auto* m = static_cast<QMouseEvent*>(event);
            const auto dragged = *pressed_;
            const bool dropped = dragging_;
            pressed_.reset();
            dragging_ = false;
            tree->viewport()->unsetCursor();
            if (dropped) {
                QTreeWidgetItem* target = tree->itemAt(m->position().toPoint());
                if (dm_) dm_->MoveByDrop(dragged, NodeOf(target));
                return true;
            }
        }
    } else if (watched == ui_->pHeader) {
        // Read as a mouse event only once the type says it is one.
        const auto type = event->type();
        auto* m = type == QEvent::MouseButtonPress || type == QEvent::MouseMove ? static_cast<QMouseEvent*>(event)
                                                                                : nullptr;
        if (type == QEvent::MouseButtonPress && m->button() == Qt::LeftButton) {
            movingWindow_ = true;
            windowOffset_ = m->globalPosition().toPoint() - window()->pos();
        } else if (type == QEvent::MouseMove && movingWindow_) {
            window()->move(m->globalPosition().toPoint() - windowOffset_);
            window()->raise();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            movingWindow_ = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}
