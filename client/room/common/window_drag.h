#pragma once
// A borderless window moved by dragging, with the left button, the parts that stand for its title.

#include <QObject>
#include <QPoint>

#include <initializer_list>

class QWidget;

namespace orb::room {

class TWindowDrag : public QObject {
public:
    // Watches `handles` (the window itself may be one); owned by the window.
    TWindowDrag(QWidget* window, std::initializer_list<QWidget*> handles);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* window_;
    QPoint windowStart_, pointerStart_;
    bool dragging_ = false;
};

}  // namespace orb::room
