#include "common/window_drag.h"

#include <QMouseEvent>
#include <QWidget>

namespace orb::room {

TWindowDrag::TWindowDrag(QWidget* window, std::initializer_list<QWidget*> handles)
    : QObject(window), window_(window) {
    for (QWidget* h : handles) h->installEventFilter(this);
}

bool TWindowDrag::eventFilter(QObject* watched, QEvent* e) {
    // Only mouse events are read as mouse events; the handles get many other kinds.
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        dragging_ = m->button() == Qt::LeftButton;
        windowStart_ = window_->pos();
        pointerStart_ = m->globalPosition().toPoint();
        return true;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragging_ && (m->buttons() & Qt::LeftButton)) {
            window_->move(windowStart_ + (m->globalPosition().toPoint() - pointerStart_));
            window_->raise();
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}

}  // namespace orb::room
