#pragma once
// Message boxes of the room windows: the text is always plain text, so nothing a server or
// another user sent can turn into markup or a link.

#include <QMessageBox>
#include <functional>
#include <string>

namespace orb::room {

// Modal: runs a loop of its own until the user answers. Only for what the user started.
int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// Shown without a loop of its own: the caller returns at once and the box frees itself when closed.
// What a received message makes us say goes this way, since the reader waits for its handler and a
// waiting reader answers no heartbeat. `answered` (if set) runs with the button pressed.
QMessageBox* ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                              std::function<void(int)> answered = {});
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace orb::room
